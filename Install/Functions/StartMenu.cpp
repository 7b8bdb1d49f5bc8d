// The Start menu's programs folder.
#include "StartMenu.h"

#include <cstring>

#include "RegistryKey.h"

int ReadProgramsFolder(char (&folder)[SetupPathSize])
{
    static const char ShellFolders[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
    char value[SetupPathSize];
    RegistryKey key;
    if (!key.Open(IsWindowsNT ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, ShellFolders, KEY_QUERY_VALUE))
        return 0;
    DWORD type = 0;
    DWORD size = sizeof value - 1;   // room for a terminator the value may lack
    if (RegQueryValueExA(key.Handle(), IsWindowsNT ? "Common Programs" : "Programs", nullptr, &type,
                         reinterpret_cast<BYTE*>(value), &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return 0;
    value[size < sizeof value ? size : sizeof value - 1] = '\0';
    if (value[0] == '\0')
        return 0;
    memcpy(folder, value, sizeof folder);
    return 1;
}
