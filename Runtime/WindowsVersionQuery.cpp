#include "WindowsVersionQuery.h"

#include <windows.h>

static_assert(sizeof(OSVERSIONINFOA) == 148, "the version record GetVersionExA fills");
static_assert(VER_PLATFORM_WIN32_WINDOWS == PlatformWin32Windows && VER_PLATFORM_WIN32_NT == PlatformWin32NT,
              "the platform ids of the portable rules");

WindowsVersionInfo QueryWindowsVersion()
{
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof info;
    bool reported = GetVersionExA(&info) != 0;
    return {info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion, reported};
}
