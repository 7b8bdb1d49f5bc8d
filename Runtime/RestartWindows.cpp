#include "RestartWindows.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Handles.h"
#include "SetupState.h"

void RestartWindows()
{
    const char* privilege = "skipped";
    if (IsWindowsNT) {
        privilege = "failed";
        KernelHandle process(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, GetCurrentProcessId()));
        HANDLE opened = NULL;
        if (process.IsOpen() && OpenProcessToken(process.Get(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &opened)) {
            KernelHandle token(opened);
            TOKEN_PRIVILEGES privileges;
            memset(&privileges, 0, sizeof privileges);
            if (LookupPrivilegeValueA(NULL, "SeShutdownPrivilege", &privileges.Privileges[0].Luid)) {
                privileges.PrivilegeCount = 1;
                privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
                if (AdjustTokenPrivileges(token.Get(), FALSE, &privileges, sizeof privileges, NULL, NULL))
                    privilege = "enabled";
            }
        }
    }
#ifdef VM_TEST_HOOKS
    if (const char* log = getenv("VELLMARK_TEST_REBOOT_LOG")) {
        if (FILE* f = fopen(log, "a")) {
            fprintf(f, "ExitWindowsEx(EWX_REBOOT) privilege=%s\n", privilege);
            fclose(f);
        }
        return;
    }
#endif
    (void)privilege;
    ExitWindowsEx(EWX_REBOOT, 0);
}
