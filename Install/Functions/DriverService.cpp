// A driver's service: its registry values and, on the NT family, its entry
// in the service control manager.
#include "DriverService.h"

#include <windows.h>

#include <cstring>
#include <initializer_list>

#include "Handles.h"
#include "PathText.h"
#include "RegistryKey.h"
#include "SetupState.h"

#ifdef VM_TEST_HOOKS
unsigned long DriverServiceWaitTime = DriverServiceWait;
#define VM_DRIVER_SERVICE_WAIT DriverServiceWaitTime
#else
#define VM_DRIVER_SERVICE_WAIT DriverServiceWait
#endif

void WaitForDriverService()
{
    Sleep(VM_DRIVER_SERVICE_WAIT);
}

bool NamesDriverService(const char* driverPath, const char* serviceName)
{
    char keyPath[ServiceKeyPathSize];
    char imagePath[DriverImagePathSize];
    return BuildServiceKeyPath(serviceName, nullptr, keyPath, sizeof keyPath) &&
           BuildDriverImagePath(driverPath, imagePath, sizeof imagePath);
}

int RegisterDriverService(const char* driverPath, const char* serviceName)
{
    char keyPath[ServiceKeyPathSize];
    char imagePath[DriverImagePathSize];
    if (!BuildServiceKeyPath(serviceName, nullptr, keyPath, sizeof keyPath) ||
        !BuildDriverImagePath(driverPath, imagePath, sizeof imagePath))
        return 0;

    WaitForDriverService();
    // A manager that cannot be opened is not reported here: creating the
    // service then fails, and the keys are cleaned up as for any failure.
    ServiceHandle manager(IsWindowsNT ? OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS) : nullptr);

    RegistryKey key;
    if (!key.Create(HKEY_LOCAL_MACHINE, keyPath, KEY_ALL_ACCESS))
        return 0;
    key.SetNumber("Start", SERVICE_AUTO_START);
    key.SetNumber("Type", SERVICE_KERNEL_DRIVER);
    key.SetNumber("ErrorControl", SERVICE_ERROR_NORMAL);
    RegSetValueExA(key.Get(), "DisplayName", 0, REG_SZ, reinterpret_cast<const BYTE*>(serviceName),
                   static_cast<DWORD>(strlen(serviceName)));
    key.Close();

    if (!IsWindowsNT)
        return 1;
    ServiceHandle service(CreateServiceA(manager.Get(), serviceName, serviceName, SERVICE_ALL_ACCESS,
                                         SERVICE_KERNEL_DRIVER, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL, imagePath,
                                         nullptr, nullptr, nullptr, nullptr, nullptr));
    if (!service.IsOpen() && GetLastError() != ERROR_SERVICE_EXISTS) {
        manager.Close();
        DeleteDriverServiceKeys(serviceName);
        return 0;
    }
    return 1;
}

void DeleteDriverService(const char* serviceName)
{
    if (!IsWindowsNT || !IsServiceName(serviceName))
        return;
    ServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager.IsOpen())
        return;
    ServiceHandle service(OpenServiceA(manager.Get(), serviceName, SERVICE_ALL_ACCESS));
    if (service.IsOpen())
        DeleteService(service.Get());
}

void DeleteDriverServiceKeys(const char* serviceName)
{
    for (const char* subkey : {"Enum", "Security", static_cast<const char*>(nullptr)}) {
        char path[ServiceKeyPathSize];
        if (BuildServiceKeyPath(serviceName, subkey, path, sizeof path))
            RegDeleteKeyA(HKEY_LOCAL_MACHINE, path);
    }
}
