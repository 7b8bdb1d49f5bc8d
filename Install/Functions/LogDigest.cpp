// The install log's digest in the uninstall entries.
#include "LogDigest.h"

#include <windows.h>

#include <cstddef>
#include <cstdio>
#include <cstring>

#include "AnsiText.h"
#include "Handles.h"
#include "PathText.h"
#include "RegistryKey.h"
#include "Transaction.h"

const char* UninstallStringLogPath(const char* command)
{
    if (!command || command[0] != '"')
        return nullptr;
    const char* close = strchr(command + 1, '"');
    if (!close || close[1] != ' ')
        return nullptr;
    return close + 2;
}

int ReadRegisteredLogPath(const char* company, const char* product, char* path, size_t capacity)
{
    if (capacity == 0)
        return 0;
    path[0] = '\0';
    char keyPath[WorkBufferSize];
    RegistryKey entry;
    char command[2048];
    DWORD type = 0;
    if (!BuildUninstallEntryPath(company, product, keyPath, sizeof keyPath) ||
        !entry.Open(HKEY_LOCAL_MACHINE, keyPath, KEY_QUERY_VALUE) ||
        !entry.QueryText("UninstallString", command, sizeof command, &type) || type != REG_SZ)
        return 0;
    const char* logged = UninstallStringLogPath(command);
    size_t length = logged ? strlen(logged) : 0;
    if (length == 0 || length >= capacity)
        return 0;
    memcpy(path, logged, length + 1);
    return 1;
}

namespace {

// Calls `visit(key)` for each uninstall entry whose command registers `logPath`.
template <typename Visit>
void ForEachEntryOf(const char* logPath, REGSAM access, Visit visit)
{
    RegistryKey list;
    if (!logPath || !list.Open(HKEY_LOCAL_MACHINE, UninstallKeyPath, KEY_ENUMERATE_SUB_KEYS))
        return;
    char name[256];
    for (DWORD index = 0; RegEnumKeyA(list.Get(), index, name, sizeof name) == ERROR_SUCCESS; ++index) {
        RegistryKey entry;
        if (!entry.Open(list.Get(), name, KEY_QUERY_VALUE | access))
            continue;
        char command[2048];
        DWORD type = 0;
        if (!entry.QueryText("UninstallString", command, sizeof command, &type) || type != REG_SZ)
            continue;
        const char* logged = UninstallStringLogPath(command);
        if (logged && AnsiCompareNoCase(logged, logPath) == 0)
            visit(entry, name);
    }
}

}  // namespace

int DigestFile(const char* path, char (&text)[Sha256TextSize])
{
    KernelHandle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file.IsOpen())
        return 0;
    Sha256 hash;
    char buffer[16384];
    DWORD got = 0;
    bool read = true;
    while ((read = ReadFile(file.Get(), buffer, sizeof buffer, &got, nullptr) != 0) && got > 0)
        hash.Update(buffer, got);
    if (!read)
        return 0;
    hash.FinishText(text);
    return 1;
}

int LogMatchesRegistration(const char* logPath)
{
    char digest[Sha256TextSize];
    bool haveDigest = false;
    bool digestRead = false;
    int matches = 1;
    ForEachEntryOf(logPath, 0, [&](RegistryKey& entry, const char*) {
        char registered[Sha256TextSize + 1];
        DWORD type = 0;
        if (!entry.QueryText(LogDigestValueName, registered, sizeof registered, &type))
            return;
        if (!digestRead) {
            haveDigest = DigestFile(logPath, digest) == 1;
            digestRead = true;
        }
        if (type != REG_SZ || !haveDigest || strcmp(registered, digest) != 0)
            matches = 0;
    });
    return matches;
}

void RegisterLogDigest(const char* logPath)
{
    char digest[Sha256TextSize];
    if (!logPath || !DigestFile(logPath, digest))
        return;
    // Through the installation's journal: a failed run puts the digest of the
    // earlier log back.
    ForEachEntryOf(logPath, 0, [&](RegistryKey&, const char* name) {
        char path[WorkBufferSize];
        JournaledKey entry;
        if (snprintf(path, sizeof path, "%s\\%s", UninstallKeyPath, name) < static_cast<int>(sizeof path) &&
            entry.Create(HKEY_LOCAL_MACHINE, path))
            entry.SetText(LogDigestValueName, digest);
    });
}
