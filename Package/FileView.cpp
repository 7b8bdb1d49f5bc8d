#include "FileView.h"

#ifdef _WIN32
#include <windows.h>

int OpenFileView(const char* path, FileView* view)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                              FILE_FLAG_RANDOM_ACCESS | FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return FileviewCannotOpen;

    // The size the reader works with comes from the directory listing; the
    // real size of what is mapped bounds every read all the same.
    uint32_t reportedSize = 0xFFFFFFFFu;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(path, &found);
    if (search != INVALID_HANDLE_VALUE) {
        reportedSize = found.nFileSizeLow;
        FindClose(search);
    }

    int result = FileviewCannotMap;
    HANDLE mapping = CreateFileMappingA(file, NULL, PAGE_READONLY, 0, 0, NULL);
    if (mapping) {
        const void* base = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
        if (base) {
            DWORD high = 0;
            DWORD low = GetFileSize(file, &high);
            view->file = file;
            view->mapping = mapping;
            view->descriptor = -1;
            view->base = static_cast<const uint8_t*>(base);
            view->mappedSize = (static_cast<uint64_t>(high) << 32) | low;
            view->reportedSize = reportedSize;
            return FileviewOk;
        }
        CloseHandle(mapping);
    }
    CloseHandle(file);
    return result;
}

void CloseFileView(FileView* view)
{
    if (view->base)
        UnmapViewOfFile(view->base);
    if (view->mapping)
        CloseHandle(view->mapping);
    if (view->file && view->file != INVALID_HANDLE_VALUE)
        CloseHandle(view->file);
    view->base = nullptr;
    view->mapping = nullptr;
    view->file = nullptr;
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
    size_t length = static_cast<size_t>(status.st_size);
    void* base = mmap(nullptr, length, PROT_READ, MAP_PRIVATE, descriptor, 0);
    if (base == MAP_FAILED) {
        close(descriptor);
        return FileviewCannotMap;
    }
    // The whole payload is read once at opening; let the kernel read ahead.
    madvise(base, length, MADV_SEQUENTIAL);
    madvise(base, length, MADV_WILLNEED);
    view->file = nullptr;
    view->mapping = nullptr;
    view->descriptor = descriptor;
    view->base = static_cast<const uint8_t*>(base);
    view->mappedSize = length;
    view->reportedSize = static_cast<uint32_t>(length > 0xFFFFFFFFu ? (length & 0xFFFFFFFFu) : length);
    return FileviewOk;
}

void CloseFileView(FileView* view)
{
    if (view->base)
        munmap(const_cast<uint8_t*>(view->base), static_cast<size_t>(view->mappedSize));
    if (view->descriptor >= 0)
        close(view->descriptor);
    view->base = nullptr;
    view->descriptor = -1;
}
#endif
