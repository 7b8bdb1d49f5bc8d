// The write-access probe of HKEY_LOCAL_MACHINE.
#include "RegistryProbe.h"

#include <windows.h>

#include "RegistryKey.h"

const char RegistryProbeKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Vellmark";

int ProbeRegistryWritable()
{
    RegistryKey key;
    bool created = false;
    if (!key.Create(HKEY_LOCAL_MACHINE, RegistryProbeKey, KEY_SET_VALUE, &created))
        return 0;
    key.Close();
    // An existing key belongs to whoever made it; on the Windows 95 family
    // RegDeleteKeyA would even take its subkeys along.
    if (created)
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, RegistryProbeKey);
    return 1;
}
