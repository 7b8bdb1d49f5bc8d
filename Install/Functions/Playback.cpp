// The playback of an install log: undo and uninstall.
#include "Playback.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "AnsiText.h"
#include "DriverService.h"
#include "LogDigest.h"
#include "PathText.h"
#include "RegistryKey.h"
#include "SetupState.h"
#include "StartMenu.h"
#include "SystemChanges.h"

namespace {

// How deep DeleteUserKeyTree follows subkeys: far beyond any product's
// settings, and each level costs a key path on the stack.
constexpr int UserKeyDepthLimit = 64;
// A value's name: the registry allows 16,383 characters; ours are short,
// and a longer one does not fit and is passed over.
constexpr DWORD ValueNameSize = 1024;

void Step(const PlaybackOptions& options)
{
    if (options.progress)
        options.progress(options.progressContext);
}

// Whether the count of an entry is this removal's to release.
bool FirstRelease(const PlaybackOptions& options, uint32_t index)
{
    return !options.releasing || options.releasing(index, options.releasingContext);
}

// Whether the shared files key still counts `sharedName`.
bool SharedReferenceCounted(const char* sharedName, const char* company, const char* product)
{
    char keyPath[WorkBufferSize];
    RegistryKey key;
    DWORD count = 0;
    return sharedName && BuildSharedFilesKeyPath(company, product, keyPath, sizeof keyPath) &&
           key.Open(HKEY_LOCAL_MACHINE, keyPath, KEY_QUERY_VALUE) && key.QueryNumber(sharedName, &count);
}

// Whether the live installation's log records the same change: a file (or
// shortcut), a folder, a shared file, a driver or a user's key of the same
// path.  Only the Product entry is never compared.
bool RecordedByLiveLog(const PlaybackOptions& options, const LogEntry* entry)
{
    return options.liveLog && entry->kind != LogKindProduct && entry->text1 &&
           FindLogEntryByText(options.liveLog, entry->kind, entry->text1) != nullptr;
}

// The number of names in a key path ("Software\Acme" has two).
int CountKeyNames(const char* path)
{
    int names = 0;
    bool inName = false;
    for (const char* p = path; *p; ++p) {
        if (*p == '\\') {
            inName = false;
        } else if (!inName) {
            inName = true;
            ++names;
        }
    }
    return names;
}

void DeleteUserKeyTreeAt(const char* keyPath, int depth)
{
    RegistryKey key;
    if (depth > UserKeyDepthLimit || !key.Open(HKEY_CURRENT_USER, keyPath, KEY_ENUMERATE_SUB_KEYS))
        return;
    // Each subkey is gone before the next question, so index 0 is asked
    // again; one that stays (no right to delete it) moves the walk past it.
    DWORD index = 0;
    char name[256];
    while (RegEnumKeyA(key.Get(), index, name, sizeof name) == ERROR_SUCCESS) {
        char child[WorkBufferSize];
        int length = snprintf(child, sizeof child, "%s\\%s", keyPath, name);
        if (length < 0 || static_cast<size_t>(length) >= sizeof child) {
            ++index;
            continue;
        }
        DeleteUserKeyTreeAt(child, depth + 1);
        RegistryKey stayed;
        if (stayed.Open(HKEY_CURRENT_USER, child, KEY_QUERY_VALUE))
            ++index;
    }
    key.Close();
    RegDeleteKeyA(HKEY_CURRENT_USER, keyPath);
}

// RemoveDirectoryA of `base` followed by the names asked for, when they add
// something: the programs folder itself is never the product's.
void RemoveMenuFolder(const char* base, ProductNames names, const PlaybackOptions& options)
{
    PathText folder;
    folder.Append(base);
    size_t baseLength = folder.length;
    AppendProductNamesOf(&folder, names, options.company, options.product);
    if (!folder.overlong && folder.length > baseLength)
        RemoveDirectoryA(folder.text);
}

// Each parent of `folder` (`length` characters) whose path is longer than
// `keep` characters, deepest first; only empty folders go.  The text is cut
// in place.
void RemoveEmptyParents(char* folder, size_t length, size_t keep)
{
    for (size_t i = length - 1; i > keep; --i) {
        if (folder[i] != '\\')
            continue;
        folder[i] = '\0';
        RemoveDirectoryA(folder);
    }
}

// The installation folder, then each parent whose part before a backslash
// is not empty: C:\Apps\Vendor\Tool, C:\Apps\Vendor, C:\Apps, C:.  Only
// empty folders go.
void RemoveInstallFolder(const char* installDir)
{
    char folder[WorkBufferSize];
    size_t length = installDir ? strlen(installDir) : 0;
    if (length == 0 || length >= sizeof folder)
        return;
    memcpy(folder, installDir, length + 1);
    RemoveDirectoryA(folder);
    RemoveEmptyParents(folder, length, 0);
}

// The folders that makedir created on the way to a recorded folder inside
// the installation folder ("Data" of "%APPDIR%\Data\Skins") are not
// recorded themselves; left empty they would keep the installation folder
// alive.  Each recorded folder's parents inside the installation folder are
// removed when empty, deepest first.  Folders outside it are left alone.
void RemoveEmptyParentsInside(const InstallLog* list, const char* installDir)
{
    size_t base = installDir ? strlen(installDir) : 0;
    if (base == 0)
        return;
    for (const LogEntry* entry = FindLogEntry(list, nullptr, LogKindDirectory); entry;
         entry = FindLogEntry(list, entry, LogKindDirectory)) {
        char folder[WorkBufferSize];
        size_t length = entry->text1 ? strlen(entry->text1) : 0;
        if (length <= base + 1 || length >= sizeof folder || entry->text1[base] != '\\' ||
            AnsiCompareNoCase(entry->text1, base, installDir, base) != 0)
            continue;
        memcpy(folder, entry->text1, length + 1);
        RemoveEmptyParents(folder, length, base);
    }
}

// The product key's values (those RegisterProductKey writes) and the key itself.  Keys are opened, never
// created: a removal must not leave behind the parent keys that creating one
// would make.  The key is never
// HKEY_LOCAL_MACHINE\Software itself (no company and no product): that one
// only loses the values.  A key whose "Path" names another folder than this
// installation's belongs to another installation of the product and stays.
void RemoveProductKey(const PlaybackOptions& options, PlaybackResult* result)
{
    PathText path;
    path.Append("Software");
    AppendProductNamesOf(&path, ProductNamesCompanyAndProduct, options.company, options.product);
    if (path.overlong)
        return;
    RegistryKey key;
    if (key.Open(HKEY_LOCAL_MACHINE, path.text, KEY_QUERY_VALUE | KEY_SET_VALUE)) {
        char folder[SetupPathSize];
        DWORD type = 0;
        if (key.QueryText("Path", folder, sizeof folder, &type) && type == REG_SZ &&
            AnsiCompareNoCase(folder, options.installDir ? options.installDir : "") != 0) {
            result->productKeyKept = true;
            return;
        }
        for (const char* value : {"Version", "Path", "URL", "Email"})
            RegDeleteValueA(key.Get(), value);
        key.Close();
    }
    if (CountKeyNames(path.text) > 1)
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, path.text);
}

// The uninstall entry, named after the product or, without one, the
// company; without either there is no entry of ours to remove.  Every value
// goes before the key, whatever its name: the registration writes more than
// two, and the 95 family and the NT family differ in what deleting a key
// that holds values does.  A value that stays (no right to delete it) moves
// the walk past it, so the walk ends.
void RemoveUninstallEntry(const PlaybackOptions& options, PlaybackResult* result)
{
    char path[WorkBufferSize];
    if (!BuildUninstallEntryPath(options.company, options.product, path, sizeof path))
        return;
    RegistryKey key;
    if (key.Open(HKEY_LOCAL_MACHINE, path, KEY_QUERY_VALUE | KEY_SET_VALUE)) {
        // An entry that registers another log is another installation's.
        char command[WorkBufferSize + SetupPathSize + 8];
        DWORD type = 0;
        if (key.QueryText("UninstallString", command, sizeof command, &type)) {
            const char* logged = UninstallStringLogPath(command);
            if (!logged || AnsiCompareNoCase(logged, options.logPath ? options.logPath : "") != 0) {
                result->uninstallEntryKept = true;
                return;
            }
        }
        DWORD index = 0;
        for (;;) {
            char value[ValueNameSize];
            DWORD size = sizeof value;
            LONG found = RegEnumValueA(key.Get(), index, value, &size, nullptr, nullptr, nullptr, nullptr);
            if (found == ERROR_MORE_DATA)
                ++index;
            else if (found != ERROR_SUCCESS)
                break;
            else if (RegDeleteValueA(key.Get(), value) != ERROR_SUCCESS)
                ++index;
        }
        key.Close();
    }
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, path);
}

}  // namespace

int ReleaseSharedReference(const char* sharedName, const char* company, const char* product)
{
    char keyPath[WorkBufferSize];
    if (!sharedName || !BuildSharedFilesKeyPath(company, product, keyPath, sizeof keyPath))
        return 0;
    RegistryKey key;
    if (!key.Open(HKEY_LOCAL_MACHINE, keyPath, KEY_SET_VALUE | KEY_QUERY_VALUE))
        return 0;

    DWORD count = 1;
    DWORD stored = 0;
    if (key.QueryNumber(sharedName, &stored)) {
        if (stored == 0) {
            // A count that says nobody holds the file cannot say that it is
            // ours to delete: the value goes, the file stays.
            RegDeleteValueA(key.Get(), sharedName);
        } else {
            count = stored - 1;
            if (count == 0)
                RegDeleteValueA(key.Get(), sharedName);
            else
                key.SetNumber(sharedName, count);
        }
    }
    DWORD values = 1;
    bool counted = key.CountValues(&values);
    key.Close();
    if (counted && values == 0)
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, keyPath);
    return count == 0 ? 1 : 0;
}

int RemoveDriver(const char* driverPath, const char* serviceName, const char* company, const char* product)
{
    // A service name that is not one key name would reach other keys.
    if (!IsServiceName(serviceName) || !ReleaseSharedReference(serviceName, company, product))
        return 0;

    DeleteDriverService(serviceName);
    DeleteDriverServiceKeys(serviceName);
    WaitForDriverService();
    if (driverPath)
        DeleteFileA(driverPath);
    return 1;
}

void DeleteUserKeyTree(const char* keyPath)
{
    if (!keyPath || CountKeyNames(keyPath) < 2)
        return;
    DeleteUserKeyTreeAt(keyPath, 0);
}

PlaybackResult PlayBackInstallLog(const InstallLog* list, const PlaybackOptions& options)
{
    PlaybackResult result = {};

    // First pass, in list order.
    uint32_t index = 0;
    for (const LogEntry* entry = FindLogEntry(list, nullptr, LogKindAny); entry;
         entry = FindLogEntry(list, entry, LogKindAny), ++index) {
        if (RecordedByLiveLog(options, entry)) {
            ++result.entriesKept;
            Step(options);
            continue;
        }
        switch (entry->kind) {
        case LogKindFile:
            if (entry->text1)
                DeleteFileA(entry->text1);
            break;
        case LogKindSharedFile:
            if (!entry->text1)
                break;
            if (!FirstRelease(options, index)) {
                if (!SharedReferenceCounted(entry->text2, options.company, options.product))
                    DeleteFileA(entry->text1);
            } else if (ReleaseSharedReference(entry->text2, options.company, options.product)) {
                DeleteFileA(entry->text1);
            }
            break;
        case LogKindPrefsKey:
            if (options.deletePrefsKeys)
                DeleteUserKeyTree(entry->text1);
            break;
        case LogKindDriver:
            if (FirstRelease(options, index) &&
                RemoveDriver(entry->text1, entry->text2, options.company, options.product))
                result.driverRemoved = true;
            break;
        case LogKindUserKey:
            DeleteUserKeyTree(entry->text1);
            break;
        case LogKindRegValue:
            RemoveRegValue(entry);
            break;
        case LogKindFileType:
            RemoveFileType(entry);
            break;
        case LogKindPathFolder:
            RemovePathFolder(entry);
            break;
        default:
            // A kind this build does not know (a newer setup wrote it): its
            // change stays, and the removal goes on.
            break;
        }
        Step(options);
    }

    // The keys that registry values were written to go once all their values
    // have gone, as far as the writes created them and they are empty.
    for (const LogEntry* entry = FindLogEntry(list, nullptr, LogKindRegValue); entry;
         entry = FindLogEntry(list, entry, LogKindRegValue))
        if (!RecordedByLiveLog(options, entry))
            RemoveRegValueKeys(entry);

    // The log lies in the installation folder by default: it goes before the
    // folders, so that it does not keep one alive.
    if (options.logPath && options.logPath[0] != '\0')
        DeleteFileA(options.logPath);

    // Second pass: folders in the order they were recorded; only empty ones go.
    for (const LogEntry* entry = FindLogEntry(list, nullptr, LogKindDirectory); entry;
         entry = FindLogEntry(list, entry, LogKindDirectory)) {
        if (RecordedByLiveLog(options, entry))
            ++result.entriesKept;
        else if (entry->text1)
            RemoveDirectoryA(entry->text1);
        Step(options);
    }

    RemoveEmptyParentsInside(list, options.installDir);
    RemoveInstallFolder(options.installDir);

    char programs[SetupPathSize];
    if (ReadProgramsFolder(programs)) {
        RemoveMenuFolder(programs, ProductNamesCompanyAndProduct, options);
        RemoveMenuFolder(programs, ProductNamesCompany, options);
    }
    Step(options);

    RemoveProductKey(options, &result);
    RemoveUninstallEntry(options, &result);
    Step(options);
    return result;
}
