// The helper threads that write new files.
#include "FileWriters.h"

#include <utility>

#include "EntryStream.h"
#include "FileInstall.h"
#include "Handles.h"

NewFileWriters::NewFileWriters(const PackageHandle* package, int threads) : package_(package)
{
    InitializeCriticalSection(&lock_);
    available_ = CreateSemaphoreA(nullptr, 0, Lead + MaxThreads, nullptr);
    finished_ = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (!available_ || !finished_ || !package)
        return;
    if (threads > MaxThreads)
        threads = MaxThreads;
    for (int i = 0; i < threads; ++i) {
        HANDLE thread = CreateThread(nullptr, 0, ThreadMain, this, 0, nullptr);
        if (!thread)
            break;
        threads_[threadCount_++] = thread;
    }
}

NewFileWriters::~NewFileWriters()
{
    if (threadCount_ > 0) {
        Stop();
        // One end marker (a null job) for each thread.
        EnterCriticalSection(&lock_);
        for (int i = 0; i < threadCount_; ++i) {
            queue_[(head_ + count_) % (Lead + MaxThreads)] = nullptr;
            ++count_;
        }
        LeaveCriticalSection(&lock_);
        ReleaseSemaphore(available_, threadCount_, nullptr);
        WaitForMultipleObjects(static_cast<DWORD>(threadCount_), threads_, TRUE, INFINITE);
        for (int i = 0; i < threadCount_; ++i)
            CloseHandle(threads_[i]);
    }
    if (available_)
        CloseHandle(available_);
    if (finished_)
        CloseHandle(finished_);
    DeleteCriticalSection(&lock_);
}

int NewFileWriters::SuitableThreads()
{
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    int processors = static_cast<int>(system.dwNumberOfProcessors);
    return processors < 2 ? 2 : processors > MaxThreads ? MaxThreads : processors;
}

void NewFileWriters::Add(NewFileJob* job)
{
    while (added_ - done_ >= Lead)
        WaitForSingleObject(finished_, INFINITE);
    job->outcome = NewFileJob::Pending;
    EnterCriticalSection(&lock_);
    queue_[(head_ + count_) % (Lead + MaxThreads)] = job;
    ++count_;
    LeaveCriticalSection(&lock_);
    InterlockedIncrement(&added_);
    ReleaseSemaphore(available_, 1, nullptr);
}

void NewFileWriters::Wait()
{
    while (done_ < added_)
        WaitForSingleObject(finished_, INFINITE);
}

DWORD WINAPI NewFileWriters::ThreadMain(LPVOID self)
{
    static_cast<NewFileWriters*>(self)->Run();
    return 0;
}

void NewFileWriters::Run()
{
    // One buffer for every entry this thread extracts: the largest entry it
    // is given, and the NUL the reader puts after the content.
    const uint32_t capacity = EntryStreamChunkBytes + 1;
    auto* buffer = static_cast<uint8_t*>(VirtualAlloc(nullptr, capacity, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    for (;;) {
        WaitForSingleObject(available_, INFINITE);
        EnterCriticalSection(&lock_);
        NewFileJob* job = queue_[head_];
        head_ = (head_ + 1) % (Lead + MaxThreads);
        --count_;
        LeaveCriticalSection(&lock_);
        if (!job)
            break;
        if (stopped_)
            job->outcome = NewFileJob::Skipped;
        else if (!buffer)
            job->outcome = NewFileJob::Failed;
        else
            Work(job, buffer, capacity);
        if (job->outcome == NewFileJob::Failed)
            InterlockedExchange(&failed_, 1);
        InterlockedIncrement(&done_);
        SetEvent(finished_);
    }
    if (buffer)
        VirtualFree(buffer, 0, MEM_RELEASE);
}

void NewFileWriters::Work(NewFileJob* job, uint8_t* buffer, uint32_t capacity)
{
    // The entry first: a damaged one leaves no file behind at all.
    if (ExtractPackageRecordInto(package_, job->entry, buffer, capacity) != ExtractOk) {
        job->outcome = NewFileJob::Failed;
        return;
    }
    KernelHandle file(CreateFileA(job->path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW, WrittenFileFlags,
                                  nullptr));
    if (!file.IsOpen()) {
        DWORD error = GetLastError();
        job->outcome = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ? NewFileJob::AlreadyThere
                                                                                    : NewFileJob::Failed;
        return;
    }
    job->outcome = WriteNewFile(std::move(file), job->path, buffer, job->entry->size) ? NewFileJob::Written
                                                                                    : NewFileJob::Failed;
}
