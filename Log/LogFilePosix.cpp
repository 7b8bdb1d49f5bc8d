// POSIX files for the native build (the command-line tool, tests, fuzzer).
#include "LogFileOs.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int Descriptor(intptr_t handle)
{
    return static_cast<int>(handle);
}

}  // namespace

int LogOsOpenRead(const char* path, intptr_t* handle)
{
    int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    // Windows cannot open a directory as a file; neither can we.
    struct stat info;
    if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
        ::close(fd);
        return 0;
    }
    *handle = fd;
    return 1;
}

int LogOsCreate(const char* path, intptr_t* handle, bool)
{
    int fd = ::open(path, O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        return 0;
    *handle = fd;
    return 1;
}

int LogOsRead(intptr_t handle, void* buffer, uint32_t size, uint32_t* done)
{
    ssize_t n;
    do {
        n = ::read(Descriptor(handle), buffer, size);
    } while (n < 0 && errno == EINTR);
    if (n < 0)
        return 0;
    *done = static_cast<uint32_t>(n);
    return 1;
}

int LogOsWrite(intptr_t handle, const void* data, uint32_t size)
{
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = ::write(Descriptor(handle), p, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return 0;
        p += n;
        size -= static_cast<uint32_t>(n);
    }
    return 1;
}

int LogOsPosition(intptr_t handle, uint64_t* position)
{
    off_t at = ::lseek(Descriptor(handle), 0, SEEK_CUR);
    if (at < 0)
        return 0;
    *position = static_cast<uint64_t>(at);
    return 1;
}

int LogOsSize(intptr_t handle, uint64_t* size)
{
    struct stat info;
    if (::fstat(Descriptor(handle), &info) != 0)
        return 0;
    *size = static_cast<uint64_t>(info.st_size);
    return 1;
}

int LogOsFlush(intptr_t handle)
{
    return ::fsync(Descriptor(handle)) == 0 ? 1 : 0;
}

int LogOsClose(intptr_t handle)
{
    return ::close(Descriptor(handle)) == 0 ? 1 : 0;
}

int LogOsReplace(const char* from, const char* to)
{
    // rename() replaces `to` in one step.
    return std::rename(from, to) == 0 ? 1 : 0;
}

int LogOsRemove(const char* path)
{
    return ::unlink(path) == 0 ? 1 : 0;
}
