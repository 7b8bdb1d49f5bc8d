// Failure injection for the install log's tests.  It exists only in the test
// build of the unit (VM_TEST_HOOKS); the shipped programs have none of it.
//
// Each countdown names the Nth call from now that fails: 1 fails the next
// call, 0 fails none.  Once it has fired a countdown stays at 0, unless
// `persistent` is set, in which case every later call fails as well (the way
// memory stays exhausted once it has run out).
#ifndef VELLMARK_LOGTESTHOOKS_H
#define VELLMARK_LOGTESTHOOKS_H

#ifdef VM_TEST_HOOKS

#include <cstddef>

struct LogFailCountdown {
    long countdown;
    bool persistent;
    long calls;  // every call counted, failed or not: lets a test size its loop
};

struct LogTestHooks {
    LogFailCountdown allocation;  // heap allocations of entries, strings, index, memory files
    LogFailCountdown write;       // LogFileWrite
    long shortWriteBytes;         // a failing write first writes this many bytes (a full disk)
    LogFailCountdown read;        // LogFileRead
    LogFailCountdown flush;       // LogFileFlush
    LogFailCountdown close;       // LogFileClose reports a failure (after closing)
    LogFailCountdown replace;     // LogFileReplace
    // Behave as the Windows 95 family, where MoveFileExA is not implemented.
    // Only the Windows build has that path; natively it changes nothing.
    bool moveFileExMissing;
};

extern LogTestHooks TheLogTestHooks;

// Counts a call and tells whether it is to fail.
bool LogHookFails(LogFailCountdown* hook);

// Clears every hook.
void ResetLogTestHooks();

#define VM_LOG_HOOK_FAILS(name) LogHookFails(&TheLogTestHooks.name)

#else

#define VM_LOG_HOOK_FAILS(name) false

#endif

#endif
