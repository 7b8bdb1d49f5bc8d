// The owners of the Win32 handles both programs open: each handle is closed
// when its owner goes, on every path, and exactly once.  An owner is
// move-only; the registry key (RegistryKey.h) has the same shape.
//
//   Get()      the handle, still the owner's
//   IsOpen()   whether a handle is owned (null, and for a kernel handle
//              INVALID_HANDLE_VALUE, are none)
//   Close()    closes it now; false only when the system reported a failure
//              (a failed CloseHandle after writes is a failed write)
//   Release()  hands the handle over: the caller closes it
//
// Package/FileView.cpp and the log's file layer keep their own C-style
// handles: they are portable units with a Win32 half, below Runtime.
#ifndef VELLMARK_HANDLES_H
#define VELLMARK_HANDLES_H

#include <windows.h>

// What a kind of handle is: its type, which values mean none, how it closes.
struct KernelHandleKind {
    typedef HANDLE Type;
    // CreateFileA reports none with INVALID_HANDLE_VALUE, the others with null.
    static bool Held(HANDLE handle) { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }
    static bool Free(HANDLE handle) { return CloseHandle(handle) != 0; }
};

struct MappedViewKind {
    typedef const void* Type;
    static bool Held(const void* view) { return view != nullptr; }
    static bool Free(const void* view) { return UnmapViewOfFile(view) != 0; }
};

struct ServiceHandleKind {
    typedef SC_HANDLE Type;
    static bool Held(SC_HANDLE handle) { return handle != nullptr; }
    static bool Free(SC_HANDLE handle) { return CloseServiceHandle(handle) != 0; }
};

struct LoadedModuleKind {
    typedef HMODULE Type;
    static bool Held(HMODULE module) { return module != nullptr; }
    static bool Free(HMODULE module) { return FreeLibrary(module) != 0; }
};

struct RegistryKeyKind {
    typedef HKEY Type;
    static bool Held(HKEY key) { return key != nullptr; }
    static bool Free(HKEY key) { return RegCloseKey(key) == ERROR_SUCCESS; }
};

template <typename Kind>
class OwnedHandle {
public:
    typedef typename Kind::Type Type;

    constexpr OwnedHandle() = default;
    explicit OwnedHandle(Type handle) : handle_(handle) {}
    ~OwnedHandle() { Close(); }
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;
    OwnedHandle(OwnedHandle&& other) noexcept : handle_(other.Release()) {}
    OwnedHandle& operator=(OwnedHandle&& other) noexcept
    {
        if (this != &other) {
            Close();
            handle_ = other.Release();
        }
        return *this;
    }

    Type Get() const { return handle_; }
    bool IsOpen() const { return Kind::Held(handle_); }

    bool Close()
    {
        bool closed = true;
        if (Kind::Held(handle_))
            closed = Kind::Free(handle_);
        handle_ = Type();
        return closed;
    }

    Type Release()
    {
        Type handle = handle_;
        handle_ = Type();
        return handle;
    }

private:
    Type handle_ = Type();
};

typedef OwnedHandle<KernelHandleKind> KernelHandle;     // a file, event, thread, process or token: CloseHandle
typedef OwnedHandle<MappedViewKind> MappedView;         // a view of a file mapping: UnmapViewOfFile
typedef OwnedHandle<ServiceHandleKind> ServiceHandle;   // the service control manager or a service
typedef OwnedHandle<LoadedModuleKind> LoadedModule;     // a library loaded with LoadLibraryA: FreeLibrary

#endif
