// Which Windows the version built-ins (iswin95 ... iswinfamily9x) recognise.
// Portable: the decision is made on the three fields GetVersionExA reports,
// so it can be checked without the Windows it describes.
#ifndef VELLMARK_WINDOWSVERSION_H
#define VELLMARK_WINDOWSVERSION_H

#include <cstdint>

constexpr uint32_t PlatformWin32Windows = 1;   // VER_PLATFORM_WIN32_WINDOWS: the 95 family
constexpr uint32_t PlatformWin32NT = 2;        // VER_PLATFORM_WIN32_NT: the NT family
constexpr uint32_t AnyVersionPart = 0xFFFFFFFFu;

enum WindowsVersionTest {
    Windows95,
    Windows98,
    WindowsMe,
    WindowsNT4,
    Windows2000,
    WindowsFamilyNT,
    WindowsFamily9x,
    WindowsVersionTestCount
};

struct WindowsVersionRow {
    uint32_t platformId;
    uint32_t majorVersion;   // AnyVersionPart matches every value
    uint32_t minorVersion;
};

// Exact matches only: there is no "or later", so XP (NT 5.1) is neither
// Windows 2000 nor NT 4.0, only of the NT family.
constexpr WindowsVersionRow WindowsVersionRows[WindowsVersionTestCount] = {
    {PlatformWin32Windows, 4, 0},                          // Windows 95
    {PlatformWin32Windows, 4, 10},                         // Windows 98
    {PlatformWin32Windows, 4, 90},                         // Windows Me
    {PlatformWin32NT, 4, 0},                               // Windows NT 4.0
    {PlatformWin32NT, 5, 0},                               // Windows 2000
    {PlatformWin32NT, AnyVersionPart, AnyVersionPart}, // any NT
    {PlatformWin32Windows, AnyVersionPart, AnyVersionPart},  // any 95 family
};

// 1 when the reported platform id and version match the test, else 0.
constexpr int WindowsVersionMatches(WindowsVersionTest test, uint32_t platformId, uint32_t major, uint32_t minor)
{
    const WindowsVersionRow& row = WindowsVersionRows[test];
    return row.platformId == platformId &&
                   (row.majorVersion == AnyVersionPart || row.majorVersion == major) &&
                   (row.minorVersion == AnyVersionPart || row.minorVersion == minor)
               ? 1
               : 0;
}

#endif
