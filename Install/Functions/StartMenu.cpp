// The Start menu's programs folder and the desktop.
#include "StartMenu.h"

#include <cstring>

#include "RegistryKey.h"

namespace {

int ReadShellFolder(const char* commonName, const char* userName, char (&folder)[SetupPathSize])
{
    static const char ShellFolders[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
    char value[SetupPathSize];
    RegistryKey key;
    if (!key.Open(IsWindowsNT ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, ShellFolders, KEY_QUERY_VALUE))
        return 0;
    DWORD type = 0;
    if (!key.QueryText(IsWindowsNT ? commonName : userName, value, sizeof value, &type) ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return 0;
    if (value[0] == '\0')
        return 0;
    memcpy(folder, value, sizeof folder);
    return 1;
}

}  // namespace

int ReadProgramsFolder(char (&folder)[SetupPathSize])
{
    return ReadShellFolder("Common Programs", "Programs", folder);
}

int ReadDesktopFolder(char (&folder)[SetupPathSize])
{
    return ReadShellFolder("Common Desktop", "Desktop", folder);
}
