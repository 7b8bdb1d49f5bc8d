// The operating system's side of the log's file layer: one implementation for
// Windows (LogFileWin32.cpp) and one for POSIX systems (LogFilePosix.cpp).
// LogFile.cpp puts memory files and the test build's failure injection in
// front of these.  Same results as the LogFile calls they serve.
#ifndef VELLMARK_LOGFILEOS_H
#define VELLMARK_LOGFILEOS_H

#include <cstdint>

int LogOsOpenRead(const char* path, intptr_t* handle);
int LogOsCreate(const char* path, intptr_t* handle, bool shareRead = false);
int LogOsRead(intptr_t handle, void* buffer, uint32_t size, uint32_t* done);
int LogOsWrite(intptr_t handle, const void* data, uint32_t size);
int LogOsPosition(intptr_t handle, uint64_t* position);
int LogOsSize(intptr_t handle, uint64_t* size);
int LogOsFlush(intptr_t handle);
int LogOsClose(intptr_t handle);
int LogOsReplace(const char* from, const char* to);
int LogOsRemove(const char* path);

#endif
