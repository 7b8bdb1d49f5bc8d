// Version checks against files on disk, package entries and the installed product.
#include "Versions.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

#include "Package.h"
#include "Settings.h"
#include "SetupState.h"

namespace {

// Owners of the handles a version read opens; each closes what it holds.
struct FileHandle {
    HANDLE handle = INVALID_HANDLE_VALUE;
    ~FileHandle()
    {
        if (handle != INVALID_HANDLE_VALUE)
            CloseHandle(handle);
    }
};

struct MappingHandle {
    HANDLE handle = nullptr;
    ~MappingHandle()
    {
        if (handle)
            CloseHandle(handle);
    }
};

struct MappedView {
    const void* view = nullptr;
    ~MappedView()
    {
        if (view)
            UnmapViewOfFile(view);
    }
};

struct RegistryKey {
    HKEY key = nullptr;
    ~RegistryKey()
    {
        if (key)
            RegCloseKey(key);
    }
};

struct PackageBlock {
    uint8_t* data = nullptr;
    ~PackageBlock()
    {
        if (data)
            FreePackageBlock(data);
    }
};

// "Software", then "\Company" and "\Product" for the settings that exist.
void ProductKeyPath(char* path, size_t capacity)
{
    char company[SETTING_VALUE_SIZE];
    char product[SETTING_VALUE_SIZE];
    bool hasCompany = GetSetting("Company", company, sizeof company) == 1;
    bool hasProduct = GetSetting("Product", product, sizeof product) == 1;
    snprintf(path, capacity, "Software%s%s%s%s", hasCompany ? "\\" : "", hasCompany ? company : "",
             hasProduct ? "\\" : "", hasProduct ? product : "");
}

}  // namespace

int64_t ReadFileVersion(const char* path)
{
    int64_t version = NO_VERSION;
    if (!path)
        return version;

    FileHandle file;
    MappingHandle mapping;
    MappedView view;
    LARGE_INTEGER size = {};
    file.handle = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_RANDOM_ACCESS, nullptr);
    if (file.handle != INVALID_HANDLE_VALUE && GetFileSizeEx(file.handle, &size) && size.QuadPart > 0 &&
        static_cast<uint64_t>(size.QuadPart) <= SIZE_MAX)
        mapping.handle = CreateFileMappingA(file.handle, nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (mapping.handle)
        view.view = MapViewOfFile(mapping.handle, FILE_MAP_READ, 0, 0, 0);
    if (view.view)
        version = GetImageVersion(static_cast<const uint8_t*>(view.view), static_cast<uint64_t>(size.QuadPart));
    return version;
}

int CompareEntryVersion(const char* entry, const char* path)
{
    if (!entry || !path || !SetupPackage)
        return -2;

    PackageBlock block;
    uint32_t size = 0;
    if (ExtractPackageEntry(SetupPackage, entry, &block.data, &size) != EXTRACT_OK)
        return -2;
    int64_t packaged = GetImageVersion(block.data, size);
    int64_t installed = ReadFileVersion(path);

    if (packaged == NO_VERSION || packaged > installed)
        return 1;
    return packaged < installed ? -1 : 0;
}

int CompareInstalledVersion()
{
    char keyPath[SETUP_WORK_SIZE];
    ProductKeyPath(keyPath, sizeof keyPath);

    RegistryKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_QUERY_VALUE, &key.key) != ERROR_SUCCESS) {
        key.key = nullptr;
        return 1;
    }
    // Room for a terminator even when the value was stored without one.
    char text[SETTING_VALUE_SIZE];
    DWORD length = sizeof text - 1;
    if (RegQueryValueExA(key.key, "Version", nullptr, nullptr, reinterpret_cast<BYTE*>(text), &length) !=
        ERROR_SUCCESS)
        return 1;
    text[length < sizeof text ? length : sizeof text - 1] = '\0';

    int64_t installed = ParseVersionString(text);
    // Without a Version setting the buffer keeps the registered text: the
    // product then counts as installed in this very version.
    GetSetting("Version", text, sizeof text);
    int64_t wanted = ParseVersionString(text);
    if (installed > wanted)
        return -1;
    return installed == wanted ? 0 : 1;
}
