// A read-only file seen through bounded windows: the file-mapping layer under
// the package reader and the version reader.  The file and its mapping stay
// open; only a window of a few megabytes is mapped at a time and moved as the
// reader goes, so that a file of any size the format describes can be read
// in a 32-bit process, whose address space holds no mapping of gigabytes.
// Windows maps with CreateFileA / CreateFileMappingA / MapViewOfFile,
// everything else with POSIX mmap.
#ifndef VELLMARK_FILEVIEW_H
#define VELLMARK_FILEVIEW_H

#include <cstdint>

struct FileView {
    void* file;              // HANDLE of the open file (Windows); unused elsewhere
    void* mapping;           // HANDLE of the file mapping (Windows); unused elsewhere
    int descriptor;          // file descriptor (POSIX); -1 elsewhere
    uint64_t size;           // bytes the file holds: no window reaches past them
    uint32_t reportedSize;   // the file size as the directory listing reports it
    uint32_t granularity;    // a window starts at a multiple of it (64 KB on Windows, a page elsewhere)
};

// One mapped window of a FileView.  A window belongs to one thread at a time;
// several windows of one view may be mapped at once.
struct FileWindow {
    const uint8_t* base;     // first mapped byte; null when nothing is mapped
    uint64_t offset;         // its file offset (a multiple of the granularity)
    uint64_t length;         // bytes mapped from there
};

// The bytes a window maps beyond the first one asked for, unless the caller
// asks for another size: a few megabytes, so that the mapping is moved some
// hundred times for a package of gigabytes, and the pages it holds stay few.
constexpr uint32_t FileWindowDefaultBytes = 4u << 20;

// Result codes of OpenFileView, chosen to match the package reader's codes:
enum {
    FileviewOk = 0,
    FileviewCannotOpen = 2,   // the file cannot be opened for reading
    FileviewCannotMap = 3     // the mapping cannot be created (an empty file included)
};

// Opens `path` read-only and creates its mapping; nothing is mapped yet.  On
// FileviewOk `*view` is filled; otherwise everything opened on the way is
// closed again and `*view` is untouched.
int OpenFileView(const char* path, FileView* view);

// Unmaps nothing (every window is unmapped by its owner first) and closes
// the mapping and the file.
void CloseFileView(FileView* view);

// The `length` bytes at `offset` (offset + length at most the file size), or
// null when they lie outside the file or cannot be mapped.  The window is
// kept when it covers them already; otherwise it is moved so that it starts
// at or before `offset` and holds at least `length` bytes and, where the
// file has them, `windowBytes` more after `offset`.  The pointer is valid
// until the window moves or is unmapped.
const uint8_t* MapFileWindow(const FileView* view, FileWindow* window, uint64_t offset, uint64_t length,
                             uint64_t windowBytes);

// How many bytes from `offset` the window holds (0 when it does not hold
// `offset`).
inline uint64_t FileWindowAvailable(const FileWindow* window, uint64_t offset)
{
    if (!window->base || offset < window->offset || offset >= window->offset + window->length)
        return 0;
    return window->offset + window->length - offset;
}

// Unmaps the window; an empty one is left as it is.
void UnmapFileWindow(FileWindow* window);

#endif
