// The in-memory list: adding with the duplicate rule, walking, releasing.
#include "InstallLog.h"
#include "LogEntryAppend.h"
#include "LogIndex.h"
#include "LogMemory.h"

#include <cstring>

InstallLog TheInstallLog;

namespace {

// Names of the kinds by code; null where no kind has that code.
const char* const KindNames[] = {
    nullptr,        // 0: the wildcard of FindLogEntry, never stored
    "Product",      // 1
    "Directory",    // 2
    "File",         // 3
    "SharedFile",   // 4
    "PrefsKey",     // 5
    nullptr,        // 6: never assigned
    "Driver",       // 7
    "UserKey",      // 8
    "RegValue",     // 9
    "FileType",     // 10
    "PathFolder",   // 11
};
static_assert(sizeof(KindNames) / sizeof(KindNames[0]) == LogKindLast + 1,
              "one name per code up to the last kind");

// Whether the log file can carry a string: one line of at most 511 bytes.
bool FitsOneLine(const char* text)
{
    if (!text)
        return true;
    size_t length = 0;
    for (; text[length]; ++length) {
        if (text[length] == '\r' || text[length] == '\n')
            return false;
    }
    return length <= LogMaxTextLength;
}

void FreeEntry(LogEntry* entry)
{
    LogFree(entry->text1);
    LogFree(entry->text2);
    LogFree(entry->text3);
    LogFree(entry);
}

}  // namespace

LogEntry* LogNewEntry(int32_t kind)
{
    auto* entry = static_cast<LogEntry*>(LogAllocate(1, sizeof(LogEntry)));
    if (entry)
        entry->kind = kind;
    return entry;
}

void LogDiscardEntry(LogEntry* entry)
{
    if (entry)
        FreeEntry(entry);
}

int LogAppendEntry(InstallLog* list, LogEntry* entry)
{
    if (entry->text1) {
        if (!LogIndexReserve(list))
            return 0;
        LogIndexInsert(list, entry, LogIndexHash(entry->kind, entry->text1));
    }
    entry->next = nullptr;
    if (list->last)
        list->last->next = entry;
    else
        list->first = entry;
    list->last = entry;
    ++list->count;
    return 1;
}

int LogAddEntry(InstallLog* list, int32_t kind, const char* text1, const char* text2,
                const char* text3)
{
    if (kind == LogKindAny)
        return 0;
    if (!FitsOneLine(text1) || !FitsOneLine(text2) || !FitsOneLine(text3))
        return 0;
    if (text1 && LogIndexFind(list, kind, text1, LogIndexHash(kind, text1)))
        return 0;

    LogEntry* entry = LogNewEntry(kind);
    if (!entry)
        return 0;
    entry->text1 = LogCopyText(text1);
    entry->text2 = LogCopyText(text2);
    entry->text3 = LogCopyText(text3);
    // A string that could not be copied would leave an entry that names the
    // wrong thing (a File entry without its path); record nothing instead.
    if ((text1 && !entry->text1) || (text2 && !entry->text2) || (text3 && !entry->text3) ||
        !LogAppendEntry(list, entry)) {
        FreeEntry(entry);
        return 0;
    }
    return 1;
}

int LogAddProduct(InstallLog* list, const char* company, const char* product, const char* installDir)
{
    return LogAddEntry(list, LogKindProduct, company, product, installDir);
}

int LogAddDirectory(InstallLog* list, const char* path)
{
    return LogAddEntry(list, LogKindDirectory, path, nullptr, nullptr);
}

int LogAddFile(InstallLog* list, const char* path)
{
    return LogAddEntry(list, LogKindFile, path, nullptr, nullptr);
}

int LogAddSharedFile(InstallLog* list, const char* path, const char* sharedName)
{
    return LogAddEntry(list, LogKindSharedFile, path, sharedName, nullptr);
}

int LogAddPrefsKey(InstallLog* list, const char* keyPath)
{
    return LogAddEntry(list, LogKindPrefsKey, keyPath, nullptr, nullptr);
}

int LogAddDriver(InstallLog* list, const char* path, const char* serviceName)
{
    return LogAddEntry(list, LogKindDriver, path, serviceName, nullptr);
}

int LogAddRegValue(InstallLog* list, const char* valuePath, const char* createdKey)
{
    return LogAddEntry(list, LogKindRegValue, valuePath, createdKey, nullptr);
}

int LogAddFileType(InstallLog* list, const char* extension, const char* progId, const char* earlierProgId)
{
    return LogAddEntry(list, LogKindFileType, extension, progId, earlierProgId);
}

int LogAddPathFolder(InstallLog* list, const char* folder)
{
    return LogAddEntry(list, LogKindPathFolder, folder, nullptr, nullptr);
}

int LogBuildRegValuePath(const char* root, const char* keyPath, const char* name, char* out, size_t capacity)
{
    if (capacity == 0)
        return 0;
    out[0] = '\0';
    if (!root || !keyPath || !*keyPath || keyPath[0] == '\\' || keyPath[strlen(keyPath) - 1] == '\\' ||
        strstr(keyPath, "\\\\"))
        return 0;
    if (!name)
        name = "";
    size_t rootLength = strlen(root), keyLength = strlen(keyPath), nameLength = strlen(name);
    size_t total = rootLength + 1 + keyLength + 2 + nameLength;
    if (total >= capacity)
        return 0;
    memcpy(out, root, rootLength);
    out[rootLength] = '\\';
    memcpy(out + rootLength + 1, keyPath, keyLength);
    memcpy(out + rootLength + 1 + keyLength, "\\\\", 2);
    memcpy(out + rootLength + 1 + keyLength + 2, name, nameLength + 1);
    return 1;
}

int LogSplitRegValuePath(char* text, const char** root, const char** keyPath, const char** name)
{
    if (!text)
        return 0;
    char* rootEnd = strchr(text, '\\');
    char* keyEnd = strstr(text, "\\\\");
    // The root ends at the first backslash, which must not be the doubled
    // one: there has to be a key between them.
    if (!rootEnd || !keyEnd || rootEnd == text || keyEnd == rootEnd)
        return 0;
    *rootEnd = '\0';
    *keyEnd = '\0';
    *root = text;
    *keyPath = rootEnd + 1;
    *name = keyEnd + 2;
    return 1;
}

const LogEntry* FindLogEntryByText(const InstallLog* list, int32_t kind, const char* text1)
{
    if (!list || !text1 || list->indexCapacity == 0)
        return nullptr;
    return LogIndexFind(list, kind, text1, LogIndexHash(kind, text1));
}

const LogEntry* FindLogEntry(const InstallLog* list, const LogEntry* after, int32_t kind)
{
    const LogEntry* entry = after ? after->next : list->first;
    while (entry && kind != LogKindAny && entry->kind != kind)
        entry = entry->next;
    return entry;
}

const char* LogKindName(int32_t kind)
{
    if (kind < 0 || kind > LogKindLast)
        return nullptr;
    return KindNames[kind];
}

void ReleaseInstallLog(InstallLog* list)
{
    LogEntry* entry = list->first;
    while (entry) {
        LogEntry* next = entry->next;
        FreeEntry(entry);
        entry = next;
    }
    LogIndexRelease(list);
    list->first = nullptr;
    list->last = nullptr;
    list->count = 0;
}
