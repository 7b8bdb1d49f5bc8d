// The entry stream: inflate on the caller's thread, writes on a helper.
#include "EntryStream.h"

#include "Handles.h"
#include "ImageVersion.h"
#include "Package.h"
#include "Versions.h"

namespace {

// The chunks and the hand-over between the two threads.  A chunk goes round:
// free -> being inflated (the sink's buffer) -> queued -> being written ->
// free.  `free` counts the free chunks, `queued` the chunks waiting for the
// writer; a queued chunk of length 0 asks the writer to report that the
// stream is complete.
struct Pipeline {
    uint8_t* chunks[EntryStreamChunks];
    uint32_t lengths[EntryStreamChunks];
    HANDLE free;        // semaphore: free chunks
    HANDLE queued;      // semaphore: chunks for the writer
    HANDLE drained;     // auto-reset event: the writer reached the end marker
    HANDLE file;        // the file of the current stream
    volatile LONG failed;
    DWORD writeError;
    uint64_t written;
    uint32_t nextFill;    // the chunk the inflater takes next
    uint32_t nextWrite;   // the chunk the writer takes next
};

Pipeline Pipe;
bool PipeTried = false;
bool PipeReady = false;   // chunks and semaphores are there
bool HelperRunning = false;

// Writes one chunk; the first failure is kept and the rest of the stream
// is not written.
void WriteChunk(uint32_t index)
{
    if (Pipe.failed)
        return;
    DWORD done = 0;
    if (!WriteFile(Pipe.file, Pipe.chunks[index], Pipe.lengths[index], &done, nullptr) ||
        done != Pipe.lengths[index]) {
        Pipe.writeError = GetLastError() ? GetLastError() : ERROR_WRITE_FAULT;
        InterlockedExchange(&Pipe.failed, 1);
        return;
    }
    Pipe.written += done;
}

DWORD WINAPI WriterThread(LPVOID)
{
    for (;;) {
        if (WaitForSingleObject(Pipe.queued, INFINITE) != WAIT_OBJECT_0)
            return 0;
        uint32_t index = Pipe.nextWrite;
        Pipe.nextWrite = (Pipe.nextWrite + 1) % EntryStreamChunks;
        if (Pipe.lengths[index] == 0) {
            ReleaseSemaphore(Pipe.free, 1, nullptr);
            SetEvent(Pipe.drained);
            continue;
        }
        WriteChunk(index);
        ReleaseSemaphore(Pipe.free, 1, nullptr);
    }
}

// Sets the chunks and the helper up on first use.  false when not even the
// chunks can be had; without a helper the caller's thread writes.
bool PipelineAvailable()
{
    if (PipeTried)
        return PipeReady;
    PipeTried = true;
    for (uint32_t i = 0; i < EntryStreamChunks; ++i) {
        Pipe.chunks[i] = static_cast<uint8_t*>(
            VirtualAlloc(nullptr, EntryStreamChunkBytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
        if (!Pipe.chunks[i]) {
            for (uint32_t k = 0; k < i; ++k)
                VirtualFree(Pipe.chunks[k], 0, MEM_RELEASE);
            return false;
        }
    }
    PipeReady = true;
    KernelHandle freeChunks(CreateSemaphoreA(nullptr, EntryStreamChunks, EntryStreamChunks, nullptr));
    KernelHandle queued(CreateSemaphoreA(nullptr, 0, EntryStreamChunks, nullptr));
    KernelHandle drained(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    Pipe.free = freeChunks.Get();
    Pipe.queued = queued.Get();
    Pipe.drained = drained.Get();
    // The thread runs until the process ends; its handle is not needed.
    KernelHandle thread(freeChunks.IsOpen() && queued.IsOpen() && drained.IsOpen()
                            ? CreateThread(nullptr, 0, WriterThread, nullptr, 0, nullptr)
                            : nullptr);
    if (thread.IsOpen()) {
        // The semaphores and the event stay with the thread, for the life of the process.
        freeChunks.Release();
        queued.Release();
        drained.Release();
        HelperRunning = true;
    } else {
        Pipe.free = Pipe.queued = Pipe.drained = nullptr;   // the caller's thread writes
    }
    return true;
}

// The sink of StreamPackageRecord: hands each filled chunk to the writer
// (or writes it at once without one), and stops once a write failed.
class PipelineSink : public PackageEntrySink {
public:
    // `direct`: the entry fits one chunk, which this thread writes itself
    // (handing one chunk to the helper and waiting for it costs more than
    // it saves).
    explicit PipelineSink(bool direct) : direct_(direct) {}

    uint8_t* NextBuffer(uint32_t* capacity) override
    {
        if (Pipe.failed)
            return nullptr;
        if (direct_) {
            *capacity = EntryStreamChunkBytes;
            return Pipe.chunks[Pipe.nextFill];
        }
        if (HelperRunning)
            WaitForSingleObject(Pipe.free, INFINITE);
        holding = true;
        *capacity = EntryStreamChunkBytes;
        return Pipe.chunks[Pipe.nextFill];
    }

    bool Consume(uint8_t*, uint32_t length) override
    {
        holding = false;
        if (direct_) {
            Pipe.lengths[Pipe.nextFill] = length;
            WriteChunk(Pipe.nextFill);
            return !Pipe.failed;
        }
        uint32_t index = Pipe.nextFill;
        Pipe.nextFill = (Pipe.nextFill + 1) % EntryStreamChunks;
        Pipe.lengths[index] = length;
        if (HelperRunning)
            ReleaseSemaphore(Pipe.queued, 1, nullptr);
        else
            WriteChunk(index);
        return !Pipe.failed;
    }

    // A chunk was taken and not handed back: the stream ended inside it.
    bool holding = false;

private:
    bool direct_;
};

// Waits until the writer has written (or dropped) every chunk queued.  The
// end marker goes in the chunk the sink still holds, if it holds one.
void Drain(bool holding)
{
    if (!HelperRunning)
        return;
    if (!holding)
        WaitForSingleObject(Pipe.free, INFINITE);
    uint32_t index = Pipe.nextFill;
    Pipe.nextFill = (Pipe.nextFill + 1) % EntryStreamChunks;
    Pipe.lengths[index] = 0;
    ReleaseSemaphore(Pipe.queued, 1, nullptr);
    WaitForSingleObject(Pipe.drained, INFINITE);
}

}  // namespace

int StreamEntryToFile(const PackageHandle* package, const PackageEntry* entry, HANDLE file, EntryStreamReport* report)
{
    EntryStreamReport result = {ExtractNoMemory, 0, 0};
    if (!package || !entry || (entry->attributes & PackageAttributeDirectory) || file == INVALID_HANDLE_VALUE) {
        result.extract = ExtractNotFound;
    } else if (PipelineAvailable()) {
        Pipe.file = file;
        Pipe.failed = 0;
        Pipe.writeError = 0;
        Pipe.written = 0;
        bool direct = entry->size <= EntryStreamChunkBytes;
        PipelineSink sink(direct);
        result.extract = StreamPackageRecord(package, entry, &sink);
        if (!direct)
            Drain(sink.holding);
        result.writeError = Pipe.writeError;
        result.written = Pipe.written;
        if (Pipe.failed && result.extract == ExtractOk)
            result.extract = ExtractStopped;
        Pipe.file = INVALID_HANDLE_VALUE;
    }
    if (report)
        *report = result;
    return result.extract == ExtractOk && result.writeError == 0 ? 1 : 0;
}

bool StreamedEntryNeedsWriting(const PackageHandle* package, const PackageEntry* entry, const char* destination)
{
    bool failed = false;
    int64_t packaged = GetPackageEntryVersion(package, entry, &failed);
    if (failed)
        return true;
    return packaged < 0 || packaged > ReadFileVersion(destination);
}
