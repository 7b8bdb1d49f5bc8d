// The duplicate index of an InstallLog: an open-addressing hash set of the
// entries that carry text1, keyed by kind and text1 folded to small ASCII
// letters.  It answers "is there already an entry of this kind with this
// text1?" in constant time, where walking the list would make filling a log
// of n entries cost n * n comparisons.
//
// Only the first entry for a key is kept: a loaded log may hold duplicates
// (loading does not apply the rule), and the first one is the one that wins.
#ifndef VELLMARK_LOGINDEX_H
#define VELLMARK_LOGINDEX_H

#include "InstallLog.h"

#include <cstdint>

struct LogIndexSlot {
    uint32_t hash;
    LogEntry* entry;  // null for a free slot
};

// The hash of a key: kind and folded text1.
uint32_t LogIndexHash(int32_t kind, const char* text1);

// The indexed entry of this kind whose text1 equals `text1` ignoring ASCII
// case, or null.
LogEntry* LogIndexFind(const InstallLog* list, int32_t kind, const char* text1, uint32_t hash);

// Makes room for one more key, growing the table when needed.  0 when memory
// ran out; the index is then unchanged and still valid.
int LogIndexReserve(InstallLog* list);

// Records `entry` (which has text1) under its key unless the key is already
// there.  Needs a successful LogIndexReserve first; cannot fail.
void LogIndexInsert(InstallLog* list, LogEntry* entry, uint32_t hash);

// Frees the table.
void LogIndexRelease(InstallLog* list);

#endif
