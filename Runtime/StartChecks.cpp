#include "StartChecks.h"

#include <windows.h>

#include "Handles.h"
#include "MessageBox.h"
#include "RegistryProbe.h"
#include "TestHooks.h"

int ReportError(const char* text)
{
    ShowMessage(NULL, text, "Error", MB_ICONERROR);
    return 0;
}

int RegistryWritable()
{
    if (TestHook("deny-hklm") || !ProbeRegistryWritable())
        return ReportError("Unable to access system registry!\nLog on as an Administrator or SuperUser and try again...");
    return 1;
}

ServiceManagerCheck CheckServiceManager()
{
    ServiceHandle manager;
    DWORD error = 0;
    if (TestHook("deny-scm")) {
        error = ERROR_ACCESS_DENIED;
    } else if (TestHook("fail-scm")) {
        error = ERROR_INVALID_PARAMETER;
    } else {
        manager = ServiceHandle(OpenSCManagerA(NULL, NULL, SC_MANAGER_ALL_ACCESS));
        if (!manager.IsOpen())
            error = GetLastError();
    }
    if (!manager.IsOpen()) {
        if (error == ERROR_ACCESS_DENIED) {
            ReportError("You must have Administrator privileges in order to deinstall drivers!\n"
                        "Log on as an administrator and try again...");
            return ServiceManagerDenied;
        }
        ReportError("Can't open driver database!");
        return ServiceManagerFailed;
    }
    return ServiceManagerReady;
}
