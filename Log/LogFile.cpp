// The log's file layer: memory files, and the dispatch to the system's files.
#include "LogFile.h"
#include "LogFileOs.h"
#include "LogMemory.h"
#include "LogTestHooks.h"

#include <cstring>

namespace {

constexpr intptr_t NoHandle = -1;

void Clear(LogFile* file)
{
    file->handle = NoHandle;
    file->bytes = nullptr;
    file->size = 0;
    file->capacity = 0;
    file->position = 0;
    file->isMemory = false;
    file->ownsBytes = false;
    file->readsAhead = false;
    file->sizeKnown = false;
    file->aheadNext = 0;
    file->aheadEnd = 0;
    file->systemSize = 0;
    file->systemPosition = 0;
}

// Reads through the read-ahead of a file opened for reading.  What remains
// of a request once the read-ahead is empty goes to the system directly when
// it is at least as large as the read-ahead.
int ReadAhead(LogFile* file, unsigned char* buffer, uint32_t size, uint32_t* done)
{
    uint32_t count = 0;
    while (count < size) {
        uint32_t available = file->aheadEnd - file->aheadNext;
        if (available > 0) {
            uint32_t part = size - count < available ? size - count : available;
            std::memcpy(buffer + count, file->readAhead + file->aheadNext, part);
            file->aheadNext += part;
            count += part;
            continue;
        }
        bool direct = size - count >= LogReadAheadSize;
        uint32_t fetched = 0;
        if (!LogOsRead(file->handle, direct ? buffer + count : file->readAhead,
                       direct ? size - count : LogReadAheadSize, &fetched)) {
            if (count == 0)
                return 0;
            break;  // the bytes served so far are a short read
        }
        if (fetched == 0)
            break;  // the end of the file
        file->systemPosition += fetched;
        if (direct) {
            count += fetched;
        } else {
            file->aheadNext = 0;
            file->aheadEnd = fetched;
        }
    }
    *done = count;
    return 1;
}

int MemoryWrite(LogFile* file, const unsigned char* data, uint32_t size)
{
    if (size > file->capacity - file->size) {
        size_t capacity = file->capacity ? file->capacity : 256;
        while (capacity - file->size < size) {
            if (capacity > SIZE_MAX / 2)
                return 0;
            capacity *= 2;
        }
        auto* bytes = static_cast<unsigned char*>(LogResize(file->bytes, capacity));
        if (!bytes)
            return 0;
        file->bytes = bytes;
        file->capacity = capacity;
    }
    std::memcpy(file->bytes + file->size, data, size);
    file->size += size;
    file->position = file->size;
    return 1;
}

}  // namespace

int LogFileOpenRead(LogFile* file, const char* path)
{
    intptr_t handle;
    if (!path || !LogOsOpenRead(path, &handle))
        return 0;
    Clear(file);
    file->handle = handle;
    file->readsAhead = true;
    return 1;
}

int LogFileCreate(LogFile* file, const char* path)
{
    intptr_t handle;
    if (!path || !LogOsCreate(path, &handle))
        return 0;
    Clear(file);
    file->handle = handle;
    return 1;
}

int LogFileCreateShared(LogFile* file, const char* path)
{
    intptr_t handle;
    if (!path || !LogOsCreate(path, &handle, true))
        return 0;
    Clear(file);
    file->handle = handle;
    return 1;
}

void LogFileOpenMemory(LogFile* file, const void* bytes, size_t size)
{
    Clear(file);
    // Reads never write through the pointer; only a memory file that this
    // layer allocated is ever written.
    file->bytes = static_cast<unsigned char*>(const_cast<void*>(bytes));
    file->size = size;
    file->capacity = size;
    file->isMemory = true;
}

void LogFileCreateMemory(LogFile* file)
{
    Clear(file);
    file->isMemory = true;
    file->ownsBytes = true;
}

int LogFileRead(LogFile* file, void* buffer, uint32_t size, uint32_t* done)
{
    if (VM_LOG_HOOK_FAILS(read))
        return 0;
    if (file->readsAhead)
        return ReadAhead(file, static_cast<unsigned char*>(buffer), size, done);
    if (!file->isMemory)
        return LogOsRead(file->handle, buffer, size, done);
    size_t left = file->size - file->position;
    size_t count = size < left ? size : left;
    if (count)
        std::memcpy(buffer, file->bytes + file->position, count);
    file->position += count;
    *done = static_cast<uint32_t>(count);
    return 1;
}

int LogFileWrite(LogFile* file, const void* data, uint32_t size)
{
#ifdef VM_TEST_HOOKS
    if (VM_LOG_HOOK_FAILS(write)) {
        // A disk that fills up takes the first part of a write and refuses the rest.
        long part = TheLogTestHooks.shortWriteBytes;
        if (part > 0 && static_cast<uint32_t>(part) < size) {
            if (file->isMemory)
                MemoryWrite(file, static_cast<const unsigned char*>(data), static_cast<uint32_t>(part));
            else
                LogOsWrite(file->handle, data, static_cast<uint32_t>(part));
        }
        return 0;
    }
#endif
    if (!file->isMemory)
        return LogOsWrite(file->handle, data, size);
    if (!file->ownsBytes)
        return 0;
    return MemoryWrite(file, static_cast<const unsigned char*>(data), size);
}

int LogFilePosition(LogFile* file, uint64_t* position)
{
    if (file->readsAhead) {
        *position = file->systemPosition - (file->aheadEnd - file->aheadNext);
        return 1;
    }
    if (!file->isMemory)
        return LogOsPosition(file->handle, position);
    *position = file->position;
    return 1;
}

int LogFileSize(LogFile* file, uint64_t* size)
{
    if (file->readsAhead) {
        if (!file->sizeKnown) {
            uint64_t system = 0;
            if (!LogOsSize(file->handle, &system))
                return 0;
            file->systemSize = system;
            file->sizeKnown = true;
        }
        *size = file->systemSize;
        return 1;
    }
    if (!file->isMemory)
        return LogOsSize(file->handle, size);
    *size = file->size;
    return 1;
}

int LogFileFlush(LogFile* file)
{
    if (VM_LOG_HOOK_FAILS(flush))
        return 0;
    return file->isMemory ? 1 : LogOsFlush(file->handle);
}

int LogFileClose(LogFile* file)
{
    int closed = 1;
    if (file->isMemory) {
        if (file->ownsBytes)
            LogFree(file->bytes);
    } else if (file->handle != NoHandle) {
        closed = LogOsClose(file->handle);
    }
    Clear(file);
    if (VM_LOG_HOOK_FAILS(close))
        return 0;
    return closed;
}

int LogFileReplace(const char* from, const char* to)
{
    if (VM_LOG_HOOK_FAILS(replace))
        return 0;
    return LogOsReplace(from, to);
}

int LogFileRemove(const char* path)
{
    return LogOsRemove(path);
}
