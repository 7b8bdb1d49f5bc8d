// The test of a file in use, shared by the built-in fileinuse and the
// uninstaller, which removes nothing while a file of the product is in use.
#ifndef VELLMARK_FILEINUSE_H
#define VELLMARK_FILEINUSE_H

// 1 when the file exists but cannot be opened for exclusive writing (another
// program holds it open: a sharing violation; or write access is refused),
// else 0 (also when there is no such file).  The file is opened without
// writing and closed again, so it is left exactly as it was.
int IsFileInUse(const char* path);

#endif
