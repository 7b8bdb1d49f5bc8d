// Writing many new files side by side: the files of a folder that copyfolder
// installs.  Creating, writing and closing a file costs more than inflating
// a small one (under wine, far more), and those costs lie in the system and
// the file system, where several of them proceed at once on several
// processors.  A few helper threads take the new files one after the other:
// each inflates its entry into a buffer of its own (the package reader
// serves several threads at once), creates the file where none is
// (CREATE_NEW), writes and closes it, and deletes it again when any step
// after its creation fails.  Everything else (the journal, the install log,
// the script and the setup state) stays on the program's one thread, which
// records each file's creation in the journal before it hands the file over.
//
// Memory does not depend on the number or the size of the files: each
// thread holds one buffer of EntryStreamChunkBytes, and larger entries are
// never handed over (the caller streams them itself).
#ifndef VELLMARK_FILEWRITERS_H
#define VELLMARK_FILEWRITERS_H

#include <windows.h>

#include <cstdint>

#include "Package.h"

// One new file: set by the caller, `outcome` by a helper thread.
struct NewFileJob {
    enum Outcome : LONG {
        Pending = 0,
        Written,        // created, every byte written and checked, closed
        AlreadyThere,   // another file took the name first: nothing written
        Failed,         // not written (a damaged entry, no room, no right); nothing left
        Skipped         // not begun, because the writers were stopped
    };
    const PackageEntry* entry = nullptr;   // a file record of the package's directory, at most
                                           // EntryStreamChunkBytes large
    const char* path = nullptr;            // where it goes; stays valid until Wait returns
    volatile LONG outcome = Pending;
};

class NewFileWriters {
public:
    // Starts up to `threads` helper threads (fewer when not all can run)
    // that extract from `package`.
    NewFileWriters(const PackageHandle* package, int threads);
    // Stops taking jobs and waits for the threads.
    ~NewFileWriters();
    NewFileWriters(const NewFileWriters&) = delete;
    NewFileWriters& operator=(const NewFileWriters&) = delete;

    // How many helper threads run; with none, Add must not be called.
    int Threads() const { return threadCount_; }
    // The helpers that suit this machine: one for each processor, two at
    // the least (a file's creation waits on the system, not on a processor)
    // and four at the most.
    static int SuitableThreads();

    // Hands a job over; it stays the caller's and must live until Wait.  When
    // `lead` jobs handed over are not finished yet, waits for one of them.
    void Add(NewFileJob* job);
    // Whether a job handed over has failed (a cheap look, for stopping early).
    bool AnyFailed() const { return failed_ != 0; }
    // The jobs not yet begun become Skipped.
    void Stop() { InterlockedExchange(&stopped_, 1); }
    // Waits until every job handed over has its outcome.
    void Wait();

private:
    static DWORD WINAPI ThreadMain(LPVOID self);
    void Run();
    void Work(NewFileJob* job, uint8_t* buffer, uint32_t capacity);

    static constexpr int MaxThreads = 4;
    static constexpr LONG Lead = 32;   // jobs handed over and not finished, at the most

    const PackageHandle* package_;
    HANDLE threads_[MaxThreads] = {};
    int threadCount_ = 0;
    CRITICAL_SECTION lock_;
    HANDLE available_ = nullptr;   // semaphore: one count per job (or end marker) in the queue
    HANDLE finished_ = nullptr;    // auto-reset: a job got its outcome
    NewFileJob* queue_[Lead + MaxThreads] = {};   // a ring
    LONG head_ = 0;                // next to take
    LONG count_ = 0;               // in the ring
    volatile LONG added_ = 0;
    volatile LONG done_ = 0;
    volatile LONG failed_ = 0;
    volatile LONG stopped_ = 0;
};

#endif
