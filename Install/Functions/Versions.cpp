// Version checks against files on disk, package entries and the installed product.
#include "Versions.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

#include "FileView.h"
#include "PathText.h"
#include "RegistryKey.h"
#include "Package.h"
#include "Settings.h"
#include "SetupState.h"

int64_t ReadFileVersion(const char* path)
{
    // The file is mapped read-only, like the package itself; an empty file
    // cannot be mapped and has no version.
    FileView view;
    if (!path || OpenFileView(path, &view) != FileviewOk)
        return NoVersion;
    int64_t version = GetImageVersion(view.base, view.mappedSize);
    CloseFileView(&view);
    return version;
}

int CompareEntryVersion(const char* entry, const char* path)
{
    if (!entry || !path || !SetupPackage)
        return -2;

    PackageBlock block;
    if (ExtractPackageEntry(SetupPackage, entry, &block.data, &block.size) != ExtractOk)
        return -2;
    int64_t packaged = GetImageVersion(block.data, block.size);
    int64_t installed = ReadFileVersion(path);

    if (packaged == NoVersion || packaged > installed)
        return 1;
    return packaged < installed ? -1 : 0;
}

int CompareInstalledVersion()
{
    // A key path that does not fit names no key that could exist.
    char keyPath[WorkBufferSize];
    if (!BuildProductPath("Software", ProductNamesCompanyAndProduct, keyPath, sizeof keyPath))
        return 1;

    RegistryKey key;
    if (!key.Open(HKEY_LOCAL_MACHINE, keyPath, KEY_QUERY_VALUE))
        return 1;
    char text[SettingValueSize];
    if (!key.QueryText("Version", text, sizeof text))
        return 1;

    int64_t installed = ParseVersionString(text);
    // Without a Version setting the buffer keeps the registered text: the
    // product then counts as installed in this very version.
    GetSetting("Version", text, sizeof text);
    int64_t wanted = ParseVersionString(text);
    if (installed > wanted)
        return -1;
    return installed == wanted ? 0 : 1;
}
