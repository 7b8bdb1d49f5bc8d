// A read-only view of a whole file: the file-mapping layer under the package
// reader.  Windows maps with CreateFileA / CreateFileMappingA / MapViewOfFile,
// everything else with POSIX mmap.
#ifndef VELLMARK_FILEVIEW_H
#define VELLMARK_FILEVIEW_H

#include <cstdint>

struct FileView {
    void* file;              // HANDLE of the open file (Windows); unused elsewhere
    void* mapping;           // HANDLE of the file mapping (Windows); unused elsewhere
    int descriptor;          // file descriptor (POSIX); -1 elsewhere
    const uint8_t* base;     // first byte of the view
    uint64_t mappedSize;     // bytes that may be read from base
    uint32_t reportedSize;   // the file size as the directory listing reports it
};

// Result codes of OpenFileView, chosen to match the package reader's codes:
enum {
    FileviewOk = 0,
    FileviewCannotOpen = 2,   // the file cannot be opened for reading
    FileviewCannotMap = 3     // the mapping or its view cannot be created (an empty file included)
};

// Opens `path` read-only and maps all of it.  On FileviewOk `*view` is filled;
// otherwise everything opened on the way is closed again and `*view` is untouched.
int OpenFileView(const char* path, FileView* view);

// Unmaps the view and closes the mapping and the file, in that order.
void CloseFileView(FileView* view);

#endif
