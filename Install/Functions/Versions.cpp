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

namespace {

// A file on disk, read through one window of its mapping.
class FileSource : public ImageSource {
public:
    explicit FileSource(const FileView* view) : view_(view) {}
    ~FileSource() override { UnmapFileWindow(&window_); }
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;

    bool ReadAt(uint64_t offset, void* out, uint32_t length) override
    {
        uint8_t* to = static_cast<uint8_t*>(out);
        while (length > 0) {
            uint64_t available = FileWindowAvailable(&window_, offset);
            if (available == 0) {
                if (!MapFileWindow(view_, &window_, offset, 1, FileWindowDefaultBytes))
                    return false;
                available = FileWindowAvailable(&window_, offset);
            }
            uint32_t n = available < length ? static_cast<uint32_t>(available) : length;
            memcpy(to, window_.base + (offset - window_.offset), n);
            to += n;
            offset += n;
            length -= n;
        }
        return true;
    }

private:
    const FileView* view_;
    FileWindow window_ = {};
};

}  // namespace

int64_t ReadFileVersion(const char* path)
{
    // The file is read through a window of its mapping, like the package
    // itself, and only where the version rule looks; an empty file cannot be
    // mapped and has no version.
    FileView view;
    if (!path || OpenFileView(path, &view) != FileviewOk)
        return NoVersion;
    int64_t version;
    {
        FileSource source(&view);
        version = ReadImageVersion(&source, view.size, nullptr);
    }
    CloseFileView(&view);
    return version;
}

int CompareEntryVersion(const char* entry, const char* path)
{
    if (!entry || !path || !SetupPackage)
        return -2;

    // The packaged program is read only as far as its version lies, never
    // inflated whole: an entry of gigabytes costs no more memory.
    const PackageEntry* found = FindPackageEntry(SetupPackage, entry);
    if (!found || (found->attributes & PackageAttributeDirectory))
        return -2;
    bool failed = false;
    int64_t packaged = GetPackageEntryVersion(SetupPackage, found, &failed);
    if (failed)
        return -2;
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
