// The installation lock: a named mutex, held until the process ends.
#include "InstallationLock.h"

#include <windows.h>

#include <cstdio>

#include "WindowsVersionQuery.h"

namespace {

// Never closed: the system releases it when the process ends.
HANDLE Lock = nullptr;

}  // namespace

bool AcquireInstallationLock()
{
    if (Lock)
        return true;
    // Windows NT 4.0 and the 95 family have no Global namespace (and refuse a
    // name with a backslash); there every name is global already.
    WindowsVersionInfo version = QueryWindowsVersion();
    char name[64];
    snprintf(name, sizeof name, "%s%s", version.NTFamily() && version.major >= 5 ? "Global\\" : "",
             InstallationLockName);
    HANDLE mutex = CreateMutexA(nullptr, FALSE, name);
    if (!mutex)
        return false;
    DWORD waited = WaitForSingleObject(mutex, 0);
    if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
        CloseHandle(mutex);
        return false;
    }
    Lock = mutex;
    return true;
}
