#include "RestartWindows.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "SetupState.h"

void RestartWindows()
{
    const char* privilege = "skipped";
    if (IsWindowsNT) {
        privilege = "failed";
        HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, GetCurrentProcessId());
        if (process) {
            HANDLE token = NULL;
            if (OpenProcessToken(process, TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
                TOKEN_PRIVILEGES privileges;
                memset(&privileges, 0, sizeof privileges);
                if (LookupPrivilegeValueA(NULL, "SeShutdownPrivilege", &privileges.Privileges[0].Luid)) {
                    privileges.PrivilegeCount = 1;
                    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
                    if (AdjustTokenPrivileges(token, FALSE, &privileges, sizeof privileges, NULL, NULL))
                        privilege = "enabled";
                }
                CloseHandle(token);
            }
            CloseHandle(process);
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
