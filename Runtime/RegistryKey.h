// An owned registry key: every key the built-ins, the registrations and the
// playback open is closed when its owner goes, on every path.  The owner has
// the shape of the others (Handles.h): move-only, Get, Close, Release.
#ifndef VELLMARK_REGISTRYKEY_H
#define VELLMARK_REGISTRYKEY_H

#include <windows.h>

#include <cstddef>

#include "Handles.h"

class RegistryKey {
public:
    RegistryKey() = default;
    RegistryKey(RegistryKey&&) = default;
    RegistryKey& operator=(RegistryKey&&) = default;

    // RegOpenKeyExA of an existing key.  false when it cannot be opened.
    bool Open(HKEY root, const char* path, REGSAM access);
    // RegCreateKeyExA: opens the key or creates it with its missing parents
    // (class "", a non-volatile key, no security attributes).  `created`, when
    // given, tells whether the key is new.  false when it cannot be had.
    bool Create(HKEY root, const char* path, REGSAM access, bool* created = nullptr);
    // false only when RegCloseKey reported a failure.
    bool Close() { return key_.Close(); }

    HKEY Get() const { return key_.Get(); }
    bool IsOpen() const { return key_.IsOpen(); }
    // Hands the key over: the caller closes it.
    HKEY Release() { return key_.Release(); }

    // A REG_SZ value of the text's length plus its terminator.
    bool SetText(const char* name, const char* text);
    // A REG_DWORD value.
    bool SetNumber(const char* name, DWORD value);
    // A 4-byte value read into *value (its type is not asked); false when
    // there is no such value or it is larger.
    bool QueryNumber(const char* name, DWORD* value);
    // A value read into `text` of `capacity` bytes and always terminated: the
    // registry does not promise a terminator, so the last byte is kept for
    // one.  `type`, when given, receives the value's type.  false, with
    // `text` empty, when there is no such value or it does not fit.
    bool QueryText(const char* name, char* text, size_t capacity, DWORD* type = nullptr);
    // The number of values the key holds; false when it cannot be asked.
    bool CountValues(DWORD* count);
    // Whether the key holds no value and no subkey; false also when that
    // cannot be asked.
    bool IsEmpty();

private:
    OwnedHandle<RegistryKeyKind> key_;
};

#endif
