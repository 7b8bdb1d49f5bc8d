// Which Windows the version built-ins (iswin95 ... iswinfamily9x) recognise.
// Portable: the decision is made on the three fields GetVersionExA reports,
// so it can be checked without the Windows it describes.
#ifndef VELLMARK_WINDOWSVERSION_H
#define VELLMARK_WINDOWSVERSION_H

#include <cstdint>

constexpr uint32_t PLATFORM_WIN32_WINDOWS = 1;   // VER_PLATFORM_WIN32_WINDOWS: the 95 family
constexpr uint32_t PLATFORM_WIN32_NT = 2;        // VER_PLATFORM_WIN32_NT: the NT family
constexpr uint32_t ANY_VERSION_PART = 0xFFFFFFFFu;

enum WindowsVersionTest {
    WINDOWS_95,
    WINDOWS_98,
    WINDOWS_ME,
    WINDOWS_NT4,
    WINDOWS_2000,
    WINDOWS_FAMILY_NT,
    WINDOWS_FAMILY_9X,
    WINDOWS_VERSION_TEST_COUNT
};

struct WindowsVersionRow {
    uint32_t platformId;
    uint32_t majorVersion;   // ANY_VERSION_PART matches every value
    uint32_t minorVersion;
};

// Exact matches only: there is no "or later", so XP (NT 5.1) is neither
// Windows 2000 nor NT 4.0, only of the NT family.
constexpr WindowsVersionRow WindowsVersionRows[WINDOWS_VERSION_TEST_COUNT] = {
    {PLATFORM_WIN32_WINDOWS, 4, 0},                          // Windows 95
    {PLATFORM_WIN32_WINDOWS, 4, 10},                         // Windows 98
    {PLATFORM_WIN32_WINDOWS, 4, 90},                         // Windows Me
    {PLATFORM_WIN32_NT, 4, 0},                               // Windows NT 4.0
    {PLATFORM_WIN32_NT, 5, 0},                               // Windows 2000
    {PLATFORM_WIN32_NT, ANY_VERSION_PART, ANY_VERSION_PART}, // any NT
    {PLATFORM_WIN32_WINDOWS, ANY_VERSION_PART, ANY_VERSION_PART},  // any 95 family
};

// 1 when the reported platform id and version match the test, else 0.
constexpr int WindowsVersionMatches(WindowsVersionTest test, uint32_t platformId, uint32_t major, uint32_t minor)
{
    const WindowsVersionRow& row = WindowsVersionRows[test];
    return row.platformId == platformId &&
                   (row.majorVersion == ANY_VERSION_PART || row.majorVersion == major) &&
                   (row.minorVersion == ANY_VERSION_PART || row.minorVersion == minor)
               ? 1
               : 0;
}

#endif
