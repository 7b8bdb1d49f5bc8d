// The helper thread that creates files.
#include "FileCreation.h"

namespace {

// One request at a time: the caller starts it and waits for it before the
// next.  The thread lives as long as the process.
struct CreationRequest {
    const char* path;
    DWORD flags;
    HANDLE result;
};

CreationRequest Request;
HANDLE RequestReady = nullptr;   // auto-reset: a request is there
HANDLE RequestDone = nullptr;    // auto-reset: its result is there
bool HelperTried = false;
bool HelperRunning = false;

HANDLE CreateNewFile(const char* path, DWORD flags)
{
    return CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW, flags, nullptr);
}

DWORD WINAPI CreationThread(LPVOID)
{
    for (;;) {
        if (WaitForSingleObject(RequestReady, INFINITE) != WAIT_OBJECT_0)
            return 0;
        Request.result = CreateNewFile(Request.path, Request.flags);
        SetEvent(RequestDone);
    }
}

// Starts the helper on first use.  false when it cannot run.
bool HelperAvailable()
{
    if (HelperTried)
        return HelperRunning;
    HelperTried = true;
    KernelHandle ready(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    KernelHandle done(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    RequestReady = ready.Get();
    RequestDone = done.Get();
    // The thread runs until the process ends; its handle is not needed.
    KernelHandle thread(ready.IsOpen() && done.IsOpen()
                            ? CreateThread(nullptr, 0, CreationThread, nullptr, 0, nullptr)
                            : nullptr);
    if (thread.IsOpen()) {
        // The events stay with the thread, for the life of the process.
        ready.Release();
        done.Release();
        HelperRunning = true;
    } else {
        RequestReady = RequestDone = nullptr;
    }
    return HelperRunning;
}

}  // namespace

FileCreation::~FileCreation()
{
    if (!started_)
        return;
    KernelHandle file = Finish();
    if (file.IsOpen()) {
        file.Close();
        DeleteFileA(path_);
    }
}

void FileCreation::Start(const char* path, DWORD flags)
{
    path_ = path;
    flags_ = flags;
    started_ = true;
    onHelper_ = HelperAvailable();
    if (onHelper_) {
        Request.path = path;
        Request.flags = flags;
        Request.result = INVALID_HANDLE_VALUE;
        SetEvent(RequestReady);
    }
}

KernelHandle FileCreation::Finish()
{
    if (!started_)
        return KernelHandle();
    started_ = false;
    if (!onHelper_)
        return KernelHandle(CreateNewFile(path_, flags_));
    WaitForSingleObject(RequestDone, INFINITE);
    return KernelHandle(Request.result);
}
