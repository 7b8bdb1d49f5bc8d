// Windows files for both programs: the "A" calls, available from Windows 95
// and NT 4.0 on.
#include "LogFileOs.h"
#include "LogTestHooks.h"

#include <windows.h>

#include <cstring>

namespace {

HANDLE Handle(intptr_t handle)
{
    return reinterpret_cast<HANDLE>(handle);
}

bool Exists(const char* path)
{
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

bool MoveFileExMissing()
{
#ifdef VM_TEST_HOOKS
    if (TheLogTestHooks.moveFileExMissing) {
        SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        return true;
    }
#endif
    return false;
}

// The Windows 95 family has MoveFileA only, which does not replace.  The old
// file goes aside first and comes back when the new one cannot take its place,
// so the path never ends up without a log.
int ReplaceWithoutMoveFileEx(const char* from, const char* to)
{
    char aside[1024];
    size_t length = std::strlen(to);
    if (length + sizeof(".old") > sizeof(aside))
        return 0;
    std::memcpy(aside, to, length);
    std::memcpy(aside + length, ".old", sizeof(".old"));

    DeleteFileA(aside);  // a leftover of an earlier interrupted replace
    bool hadOld = Exists(to);
    if (hadOld && !MoveFileA(to, aside))
        return 0;
    if (!MoveFileA(from, to)) {
        if (hadOld)
            MoveFileA(aside, to);
        return 0;
    }
    if (hadOld)
        DeleteFileA(aside);
    return 1;
}

}  // namespace

int LogOsOpenRead(const char* path, intptr_t* handle)
{
    HANDLE h = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_FLAG_RANDOM_ACCESS | FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return 0;
    *handle = reinterpret_cast<intptr_t>(h);
    return 1;
}

int LogOsCreate(const char* path, intptr_t* handle, bool shareRead)
{
    HANDLE h = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, shareRead ? FILE_SHARE_READ : 0, nullptr, CREATE_ALWAYS,
                           FILE_FLAG_RANDOM_ACCESS | FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return 0;
    *handle = reinterpret_cast<intptr_t>(h);
    return 1;
}

int LogOsRead(intptr_t handle, void* buffer, uint32_t size, uint32_t* done)
{
    DWORD count = 0;
    if (!ReadFile(Handle(handle), buffer, size, &count, nullptr))
        return 0;
    *done = count;
    return 1;
}

int LogOsWrite(intptr_t handle, const void* data, uint32_t size)
{
    DWORD count = 0;
    if (!WriteFile(Handle(handle), data, size, &count, nullptr))
        return 0;
    return count == size ? 1 : 0;
}

int LogOsPosition(intptr_t handle, uint64_t* position)
{
    LONG high = 0;
    SetLastError(NO_ERROR);
    DWORD low = SetFilePointer(Handle(handle), 0, &high, FILE_CURRENT);
    if (low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR)
        return 0;
    *position = (static_cast<uint64_t>(static_cast<DWORD>(high)) << 32) | low;
    return 1;
}

int LogOsSize(intptr_t handle, uint64_t* size)
{
    DWORD high = 0;
    SetLastError(NO_ERROR);
    DWORD low = GetFileSize(Handle(handle), &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR)
        return 0;
    *size = (static_cast<uint64_t>(high) << 32) | low;
    return 1;
}

int LogOsFlush(intptr_t handle)
{
    return FlushFileBuffers(Handle(handle)) ? 1 : 0;
}

int LogOsClose(intptr_t handle)
{
    return CloseHandle(Handle(handle)) ? 1 : 0;
}

int LogOsReplace(const char* from, const char* to)
{
    // The new file's bytes were flushed before it gets here; no
    // other flag, so that the oldest NT versions take the call as it is.
    if (!MoveFileExMissing()) {
        if (MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING))
            return 1;
    }
    if (GetLastError() != ERROR_CALL_NOT_IMPLEMENTED)
        return 0;
    return ReplaceWithoutMoveFileEx(from, to);
}

int LogOsRemove(const char* path)
{
    return DeleteFileA(path) ? 1 : 0;
}
