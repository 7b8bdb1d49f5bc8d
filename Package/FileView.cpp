#include "FileView.h"

// Where the window goes for [offset, offset + length): from the granule that
// holds `offset` to windowBytes past it (at least to offset + length), cut
// at the end of the file.  false when the bytes lie outside the file.
static bool PlaceWindow(const FileView* view, uint64_t offset, uint64_t length, uint64_t windowBytes,
                        uint64_t* start, uint64_t* mapped)
{
    if (offset > view->size || length > view->size - offset)
        return false;
    uint64_t end = offset + (length > windowBytes ? length : windowBytes);
    if (end > view->size || end < offset)
        end = view->size;
    *start = offset - offset % view->granularity;
    *mapped = end - *start;
    return *mapped > 0;
}

#ifdef _WIN32
#include <windows.h>

int OpenFileView(const char* path, FileView* view)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN | FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return FileviewCannotOpen;

    // The size the reader works with comes from the directory listing; the
    // real size bounds every window all the same.
    uint32_t reportedSize = 0xFFFFFFFFu;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(path, &found);
    if (search != INVALID_HANDLE_VALUE) {
        reportedSize = found.nFileSizeLow;
        FindClose(search);
    }

    HANDLE mapping = CreateFileMappingA(file, NULL, PAGE_READONLY, 0, 0, NULL);
    if (!mapping) {
        CloseHandle(file);
        return FileviewCannotMap;
    }
    DWORD high = 0;
    DWORD low = GetFileSize(file, &high);
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    view->file = file;
    view->mapping = mapping;
    view->descriptor = -1;
    view->size = (static_cast<uint64_t>(high) << 32) | low;
    view->reportedSize = reportedSize;
    view->granularity = system.dwAllocationGranularity ? system.dwAllocationGranularity : 65536;
    return FileviewOk;
}

void CloseFileView(FileView* view)
{
    if (view->mapping)
        CloseHandle(view->mapping);
    if (view->file && view->file != INVALID_HANDLE_VALUE)
        CloseHandle(view->file);
    view->mapping = nullptr;
    view->file = nullptr;
}

// The bytes [start, start + length) of the file, mapped; nullptr when they
// cannot be.
static const uint8_t* MapBytes(const FileView* view, uint64_t start, uint64_t length)
{
    return static_cast<const uint8_t*>(MapViewOfFile(view->mapping, FILE_MAP_READ, static_cast<DWORD>(start >> 32),
                                                     static_cast<DWORD>(start), static_cast<SIZE_T>(length)));
}

static void UnmapBytes(const uint8_t* base, uint64_t)
{
    UnmapViewOfFile(base);
}

#else
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

int OpenFileView(const char* path, FileView* view)
{
    int descriptor = open(path, O_RDONLY | O_CLOEXEC);
    if (descriptor < 0)
        return FileviewCannotOpen;
    struct stat status;
    if (fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
        // A directory or a special file cannot be opened as a file on Windows either.
        close(descriptor);
        return FileviewCannotOpen;
    }
    if (status.st_size <= 0) {
        // An empty file cannot be mapped (Windows refuses the mapping too).
        close(descriptor);
        return FileviewCannotMap;
    }
    uint64_t length = static_cast<uint64_t>(status.st_size);
    long page = sysconf(_SC_PAGESIZE);
    view->file = nullptr;
    view->mapping = nullptr;
    view->descriptor = descriptor;
    view->size = length;
    view->reportedSize = static_cast<uint32_t>(length & 0xFFFFFFFFu);
    view->granularity = page > 0 ? static_cast<uint32_t>(page) : 4096;
    return FileviewOk;
}

void CloseFileView(FileView* view)
{
    if (view->descriptor >= 0)
        close(view->descriptor);
    view->descriptor = -1;
}

static const uint8_t* MapBytes(const FileView* view, uint64_t start, uint64_t length)
{
    void* base = mmap(nullptr, static_cast<size_t>(length), PROT_READ, MAP_PRIVATE, view->descriptor,
                      static_cast<off_t>(start));
    if (base == MAP_FAILED)
        return nullptr;
    // The reader goes through a window from its start to its end.
    madvise(base, static_cast<size_t>(length), MADV_SEQUENTIAL);
    madvise(base, static_cast<size_t>(length), MADV_WILLNEED);
    return static_cast<const uint8_t*>(base);
}

static void UnmapBytes(const uint8_t* base, uint64_t length)
{
    munmap(const_cast<uint8_t*>(base), static_cast<size_t>(length));
}
#endif

const uint8_t* MapFileWindow(const FileView* view, FileWindow* window, uint64_t offset, uint64_t length,
                             uint64_t windowBytes)
{
    if (window->base && offset >= window->offset && length <= window->length &&
        offset - window->offset <= window->length - length)
        return window->base + (offset - window->offset);
    uint64_t start = 0, mapped = 0;
    if (!PlaceWindow(view, offset, length, windowBytes, &start, &mapped) || mapped > SIZE_MAX)
        return nullptr;
    UnmapFileWindow(window);
    const uint8_t* base = MapBytes(view, start, mapped);
    if (!base)
        return nullptr;
    window->base = base;
    window->offset = start;
    window->length = mapped;
    return window->base + (offset - start);
}

void UnmapFileWindow(FileWindow* window)
{
    if (window->base)
        UnmapBytes(window->base, window->length);
    window->base = nullptr;
    window->offset = 0;
    window->length = 0;
}

