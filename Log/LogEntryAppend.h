// Building entries inside the unit: the loader fills entries itself and
// appends them without the duplicate rule.
#ifndef VELLMARK_LOGENTRYAPPEND_H
#define VELLMARK_LOGENTRYAPPEND_H

#include "InstallLog.h"

// A zero-filled entry of `kind`, or null when memory ran out.
LogEntry* LogNewEntry(int32_t kind);
// Frees an entry that was never appended, with its strings.  Null is allowed.
void LogDiscardEntry(LogEntry* entry);
// Appends at the end of the list and indexes its text1 (the first entry of a
// key stays the indexed one).  0 when the index could not grow: the entry is
// then not appended and still the caller's.
int LogAppendEntry(InstallLog* list, LogEntry* entry);

#endif
