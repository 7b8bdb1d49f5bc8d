// Which Windows is running, as GetVersionExA reports it: the one place both
// programs ask.  What the answer means (the version built-ins, the setup's
// gate, the family) is decided on these fields by the portable rules
// (WindowsVersion.h) and by the callers.
#ifndef VELLMARK_WINDOWSVERSIONQUERY_H
#define VELLMARK_WINDOWSVERSIONQUERY_H

#include <cstdint>

#include "WindowsVersion.h"

struct WindowsVersionInfo {
    uint32_t platformId;   // dwPlatformId: 0 Win32s, PlatformWin32Windows, PlatformWin32NT
    uint32_t major;        // dwMajorVersion
    uint32_t minor;        // dwMinorVersion
    bool reported;         // false when GetVersionExA failed

    // The NT family: IsWindowsNT.
    bool NTFamily() const { return platformId == PlatformWin32NT; }
};

// GetVersionExA of a zeroed 148-byte OSVERSIONINFOA.  The fields are copied
// whether or not the call succeeded, so a failed call reads as the zeroed
// record (platform 0, version 0.0), which start-up relies on; the version
// built-ins look at `reported` instead.
WindowsVersionInfo QueryWindowsVersion();

#endif
