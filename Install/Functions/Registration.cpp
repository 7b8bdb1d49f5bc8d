// The uninstaller's registration and the product's keys.
#include "Registration.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

#include "FileInstall.h"
#include "PathMacros.h"
#include "PathText.h"
#include "RegistryKey.h"
#include "Transaction.h"
#include "SetupState.h"
#include "Settings.h"

namespace {

// Writes the setting `key` as the text value `name` when the setting exists.
void WriteSettingValue(JournaledKey* registryKey, const char* name, const char* key)
{
    char value[SettingValueSize];
    if (GetSetting(key, value, sizeof value))
        registryKey->SetText(name, value);
}

}  // namespace

uint64_t MeasureLoggedFiles(const InstallLog* list)
{
    uint64_t total = 0;
    for (const LogEntry* entry = FindLogEntry(list, nullptr, LogKindAny); entry;
         entry = FindLogEntry(list, entry, LogKindAny)) {
        if ((entry->kind != LogKindFile && entry->kind != LogKindSharedFile && entry->kind != LogKindDriver) ||
            !entry->text1)
            continue;
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (GetFileAttributesExA(entry->text1, GetFileExInfoStandard, &data) &&
            !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            total += (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    }
    return total;
}

void RegisterUninstaller(uint64_t installedBytes)
{
    if (NoUninstall || PackageEntrySize(SetupPackage, PackageUninstallerName) == PackageEntryNotFound)
        return;

    char windows[SetupPathSize];
    UINT length = GetWindowsDirectoryA(windows, sizeof windows);
    char uninstaller[WorkBufferSize];
    if (length == 0 || length >= sizeof windows ||
        snprintf(uninstaller, sizeof uninstaller, "%s\\%s", windows, UninstallerFileName) >=
            static_cast<int>(sizeof uninstaller))
        return;
    if (!ExtractEntryToFile(PackageUninstallerName, uninstaller))
        return;

    ProductSettings names;
    char keyPath[WorkBufferSize];
    JournaledKey key;
    if (!BuildUninstallEntryPath(names.company, names.product, keyPath, sizeof keyPath) ||
        !key.Create(HKEY_LOCAL_MACHINE, keyPath, KEY_QUERY_VALUE | KEY_SET_VALUE))
        return;

    // Without a Name setting the entry shows its own name.
    char name[SettingValueSize];
    if (!GetSetting("Name", name, sizeof name))
        snprintf(name, sizeof name, "%s", names.product ? names.product : names.company);
    key.SetText("DisplayName", name);

    // The log path is not quoted: the uninstaller takes the whole rest of
    // its command line as the path, blanks included.
    char command[WorkBufferSize + SetupPathSize + 8];
    snprintf(command, sizeof command, "\"%s\" %s", uninstaller, LogFilePath);
    key.SetText("UninstallString", command);
    snprintf(command, sizeof command, "\"%s\" /S %s", uninstaller, LogFilePath);
    key.SetText("QuietUninstallString", command);

    // The icon Programs and Features shows: the installed program the
    // DisplayIcon setting names (its macros expanded), or the uninstaller's.
    char icon[SetupPathSize];
    if (GetSetting("DisplayIcon", icon, sizeof icon) && ExpandPathMacros(icon, sizeof icon) && icon[0] != '\0')
        key.SetText("DisplayIcon", icon);
    else
        key.SetText("DisplayIcon", uninstaller);

    // What Programs and Features and deployment tools show and read.
    WriteSettingValue(&key, "DisplayVersion", "Version");
    WriteSettingValue(&key, "Publisher", "Company");
    if (InstallDir[0] != '\0')
        key.SetText("InstallLocation", InstallDir);
    WriteSettingValue(&key, "URLInfoAbout", "ProductURL");
    // Kilobytes, rounded up; a size beyond what the value holds is shown as its largest.
    uint64_t kilobytes = (installedBytes + 1023) / 1024;
    key.SetNumber("EstimatedSize", kilobytes > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<DWORD>(kilobytes));
    // The setup cannot change or repair an installation: only remove it.
    key.SetNumber("NoModify", 1);
    key.SetNumber("NoRepair", 1);
}

void RegisterProductKey()
{
    char path[WorkBufferSize];
    JournaledKey key;
    if (BuildProductPath("Software", ProductNamesCompanyAndProduct, path, sizeof path) &&
        key.Create(HKEY_LOCAL_MACHINE, path, KEY_QUERY_VALUE | KEY_SET_VALUE)) {
        WriteSettingValue(&key, "Version", "Version");
        WriteSettingValue(&key, "URL", "ProductURL");
        WriteSettingValue(&key, "Email", "ProductEmail");
        key.SetText("Path", InstallDir);
    }

    JournaledKey company;
    if (!BuildProductPath("Software", ProductNamesCompany, path, sizeof path) ||
        !company.Create(HKEY_LOCAL_MACHINE, path, KEY_QUERY_VALUE | KEY_SET_VALUE))
        return;
    WriteSettingValue(&company, "URL", "CompanyURL");
    WriteSettingValue(&company, "Email", "CompanyEmail");
}
