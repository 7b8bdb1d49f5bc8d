// Whether a package entry's name can be a file or folder name on disk as it
// stands: one plain component that Windows keeps as written.
#ifndef VELLMARK_ENTRY_NAME_H
#define VELLMARK_ENTRY_NAME_H

#include <cstddef>

// Null when the `length` bytes of Windows-1252 text at `name` are a plain
// file name; otherwise why not, as a phrase ("holds a path separator").
// Refused: an empty name, "." and "..", a separator ('/' or '\\'), a colon
// (a drive letter, or an NTFS stream name), control bytes and DEL, the other
// characters Windows forbids (<>"|?*), a trailing dot or blank (Windows drops
// it, so the file would get another name), the device names Windows reserves
// in every folder (CON, PRN, AUX, NUL, COM1-9, LPT1-9, with any extension),
// the five bytes Windows-1252 leaves undefined (they have no UTF-8 form) and
// names of 260 bytes or more (no terminator fits the name field).
const char* EntryNameProblem(const char* name, size_t length);

#endif
