// Heap memory of the install log: entries, their strings, the duplicate index
// and memory files.  Every allocation of the unit goes through here, so that a
// test build can make any one of them fail.
#ifndef VELLMARK_LOGMEMORY_H
#define VELLMARK_LOGMEMORY_H

#include <cstddef>

// Zero-filled block of `count` * `size` bytes, or null when memory ran out
// (or the product overflows).
void* LogAllocate(size_t count, size_t size);
// Grows or shrinks a block from LogAllocate or LogResize; null (and the old
// block untouched) when memory ran out.  New bytes are not cleared.
void* LogResize(void* block, size_t size);
void LogFree(void* block);
// A private copy of a NUL-terminated text (its length plus one byte); null
// for a null text or when memory ran out.
char* LogCopyText(const char* text);

#endif
