// The registry, file-type and PATH changes and their removal.
#include "SystemChanges.h"

#include <cstring>

#include "AnsiText.h"
#include "PathList.h"
#include "PathText.h"
#include "RegistryKey.h"
#include "SystemLibrary.h"

namespace {

// Whether a key holds nothing: no value and no subkey.
bool KeyEmpty(HKEY root, const char* path)
{
    RegistryKey key;
    return key.Open(root, path, KEY_QUERY_VALUE) && key.IsEmpty();
}

// Deletes `path` when it is empty, then each parent while it is empty and
// its path is at least `stop` characters long.  The text is cut in place.
void DeleteEmptyKeys(HKEY root, char* path, size_t stop)
{
    size_t length = strlen(path);
    for (;;) {
        if (!KeyEmpty(root, path) || RegDeleteKeyA(root, path) != ERROR_SUCCESS)
            return;
        while (length > 0 && path[length - 1] != '\\')
            --length;
        if (length == 0)
            return;
        --length;
        path[length] = '\0';
        if (length < stop)
            return;
    }
}

// Deletes the default value of Classes\<progId><sub> and the key when empty.
void DeleteClassesDefault(const char* progId, const char* sub)
{
    PathText path;
    path.Append(ClassesKeyPath);
    path.Append("\\");
    path.Append(progId);
    path.Append(sub);
    if (path.overlong)
        return;
    RegistryKey key;
    if (key.Open(HKEY_LOCAL_MACHINE, path.text, KEY_SET_VALUE)) {
        RegDeleteValueA(key.Get(), nullptr);
        key.Close();
    }
    if (KeyEmpty(HKEY_LOCAL_MACHINE, path.text))
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, path.text);
}

// A name that can be one key's name: not empty, no backslash.
bool KeyName(const char* text)
{
    return text && *text && !strchr(text, '\\');
}

}  // namespace

namespace {

// A RegValue entry's root, with its name, key path and value name in `text`.
// Null for an entry that names no value of ours.
HKEY SplitRegValue(const LogEntry* entry, char (&text)[WorkBufferSize], const char** rootName, const char** keyPath,
                   const char** name)
{
    size_t length = entry->text1 ? strlen(entry->text1) : 0;
    if (length == 0 || length >= sizeof text)
        return nullptr;
    memcpy(text, entry->text1, length + 1);
    return LogSplitRegValuePath(text, rootName, keyPath, name) ? ScriptRegistryRoot(*rootName) : nullptr;
}

}  // namespace

HKEY ScriptRegistryRoot(const char* text, const char** canonical)
{
    if (!text)
        return nullptr;
    if (AnsiCompareNoCase(text, "HKLM") == 0) {
        if (canonical)
            *canonical = "HKLM";
        return HKEY_LOCAL_MACHINE;
    }
    if (AnsiCompareNoCase(text, "HKCU") == 0) {
        if (canonical)
            *canonical = "HKCU";
        return HKEY_CURRENT_USER;
    }
    return nullptr;
}

char* ReadMachinePath(DWORD* type)
{
    *type = REG_EXPAND_SZ;
    RegistryKey key;
    if (!key.Open(HKEY_LOCAL_MACHINE, EnvironmentKeyPath, KEY_QUERY_VALUE))
        return nullptr;
    DWORD size = 0;
    DWORD found = 0;
    if (RegQueryValueExA(key.Get(), "Path", nullptr, &found, nullptr, &size) != ERROR_SUCCESS ||
        (found != REG_SZ && found != REG_EXPAND_SZ))
        return nullptr;
    // Room for a terminator the registry does not promise.
    auto* text = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, size + 1));
    if (!text)
        return nullptr;
    DWORD got = size;
    if (RegQueryValueExA(key.Get(), "Path", nullptr, &found, reinterpret_cast<BYTE*>(text), &got) != ERROR_SUCCESS) {
        HeapFree(GetProcessHeap(), 0, text);
        return nullptr;
    }
    text[got < size + 1 ? got : size] = '\0';
    *type = found;
    return text;
}

void BroadcastEnvironmentChange()
{
    DWORD_PTR answer = 0;
    SendMessageTimeoutA(HWND_BROADCAST, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>("Environment"),
                        SMTO_ABORTIFHUNG, 5000, &answer);
}

void NotifyFileTypesChanged()
{
    auto notify = SystemFunction<void(WINAPI*)(LONG, UINT, LPCVOID, LPCVOID)>("shell32.dll", "SHChangeNotify");
    if (notify)
        notify(0x08000000 /* SHCNE_ASSOCCHANGED */, 0 /* SHCNF_IDLIST */, nullptr, nullptr);
}

void RemoveRegValue(const LogEntry* entry)
{
    char text[WorkBufferSize];
    const char *rootName = nullptr, *keyPath = nullptr, *name = nullptr;
    HKEY root = SplitRegValue(entry, text, &rootName, &keyPath, &name);
    if (!root)
        return;
    RegistryKey key;
    if (key.Open(root, keyPath, KEY_SET_VALUE)) {
        RegDeleteValueA(key.Get(), name[0] ? name : nullptr);
        key.Close();
    }
}

void RemoveRegValueKeys(const LogEntry* entry)
{
    char text[WorkBufferSize];
    const char *rootName = nullptr, *keyPath = nullptr, *name = nullptr;
    HKEY root = SplitRegValue(entry, text, &rootName, &keyPath, &name);
    if (!root)
        return;
    // The keys the write created, from the value's own key out to the
    // outermost one, when that one lies on the value's path.
    char created[WorkBufferSize];
    const char* createdPath = entry->text2;
    if (!createdPath)
        return;
    const char* slash = strchr(createdPath, '\\');
    if (!slash || AnsiCompareNoCase(createdPath, static_cast<size_t>(slash - createdPath), rootName,
                                    strlen(rootName)) != 0)
        return;
    const char* createdRoot = slash + 1;
    size_t createdLength = strlen(createdRoot);
    size_t keyLength = strlen(keyPath);
    if (createdLength == 0 || createdLength > keyLength ||
        AnsiCompareNoCase(createdRoot, createdLength, keyPath, createdLength) != 0 ||
        (createdLength < keyLength && keyPath[createdLength] != '\\') || keyLength >= sizeof created)
        return;
    memcpy(created, keyPath, keyLength + 1);
    DeleteEmptyKeys(root, created, createdLength);
}

void RemoveFileType(const LogEntry* entry)
{
    const char* extension = entry->text1;
    const char* progId = entry->text2;
    if (!KeyName(extension) || extension[0] != '.' || !KeyName(progId))
        return;

    PathText extensionPath;
    extensionPath.Append(ClassesKeyPath);
    extensionPath.Append("\\");
    extensionPath.Append(extension);
    if (extensionPath.overlong)
        return;
    RegistryKey key;
    if (key.Open(HKEY_LOCAL_MACHINE, extensionPath.text, KEY_QUERY_VALUE | KEY_SET_VALUE)) {
        char named[WorkBufferSize];
        if (key.QueryText(nullptr, named, sizeof named) && AnsiCompareNoCase(named, progId) == 0) {
            // Still ours: the ProgID it named before comes back while that
            // one is registered; otherwise the extension names none.
            const char* earlier = entry->text3;
            PathText earlierPath;
            earlierPath.Append(ClassesKeyPath);
            earlierPath.Append("\\");
            earlierPath.Append(earlier ? earlier : "");
            RegistryKey earlierKey;
            if (KeyName(earlier) && !earlierPath.overlong &&
                earlierKey.Open(HKEY_LOCAL_MACHINE, earlierPath.text, KEY_QUERY_VALUE))
                key.SetText(nullptr, earlier);
            else
                RegDeleteValueA(key.Get(), nullptr);
        }
        key.Close();
        if (KeyEmpty(HKEY_LOCAL_MACHINE, extensionPath.text))
            RegDeleteKeyA(HKEY_LOCAL_MACHINE, extensionPath.text);
    }

    // The ProgID is the product's own: what fileassoc wrote goes, innermost
    // first, and each key when nothing else is left in it.
    DeleteClassesDefault(progId, "\\shell\\open\\command");
    DeleteClassesDefault(progId, "\\shell\\open");
    DeleteClassesDefault(progId, "\\shell");
    DeleteClassesDefault(progId, "\\DefaultIcon");
    DeleteClassesDefault(progId, "");
    NotifyFileTypesChanged();
}

void RemovePathFolder(const LogEntry* entry)
{
    if (!entry->text1 || !entry->text1[0])
        return;
    DWORD type = REG_EXPAND_SZ;
    char* list = ReadMachinePath(&type);
    if (!list)
        return;
    size_t capacity = strlen(list) + 1;
    auto* edited = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, capacity));
    if (edited && PathListRemove(list, entry->text1, edited, capacity) > 0) {
        RegistryKey key;
        if (key.Open(HKEY_LOCAL_MACHINE, EnvironmentKeyPath, KEY_SET_VALUE)) {
            RegSetValueExA(key.Get(), "Path", 0, type, reinterpret_cast<const BYTE*>(edited),
                           static_cast<DWORD>(strlen(edited) + 1));
            key.Close();
            BroadcastEnvironmentChange();
        }
    }
    if (edited)
        HeapFree(GetProcessHeap(), 0, edited);
    HeapFree(GetProcessHeap(), 0, list);
}
