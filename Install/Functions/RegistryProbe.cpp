// The write-access probe of HKEY_LOCAL_MACHINE.
#include "RegistryProbe.h"

#include <windows.h>

const char RegistryProbeKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Vellmark";

int ProbeRegistryWritable()
{
    HKEY key = NULL;
    DWORD disposition = 0;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, RegistryProbeKey, 0, const_cast<char*>(""), REG_OPTION_NON_VOLATILE,
                        KEY_SET_VALUE, NULL, &key, &disposition) != ERROR_SUCCESS)
        return 0;
    RegCloseKey(key);
    // An existing key belongs to whoever made it; on the Windows 95 family
    // RegDeleteKeyA would even take its subkeys along.
    if (disposition == REG_CREATED_NEW_KEY)
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, RegistryProbeKey);
    return 1;
}
