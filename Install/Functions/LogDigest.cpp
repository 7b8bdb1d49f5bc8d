// The install log's digest in the uninstall entries.
#include "LogDigest.h"

#include <windows.h>

#include <cstring>

#include "AnsiText.h"
#include "Handles.h"
#include "PathText.h"
#include "RegistryKey.h"

namespace {

// The log path an "UninstallString" passes: what follows the quoted program
// path and one blank.  Null when the text has another shape.
const char* LoggedPathOf(const char* command)
{
    if (command[0] != '"')
        return nullptr;
    const char* close = strchr(command + 1, '"');
    if (!close || close[1] != ' ')
        return nullptr;
    return close + 2;
}

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
        const char* logged = LoggedPathOf(command);
        if (logged && AnsiCompareNoCase(logged, logPath) == 0)
            visit(entry);
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
    ForEachEntryOf(logPath, 0, [&](RegistryKey& entry) {
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
    ForEachEntryOf(logPath, KEY_SET_VALUE, [&](RegistryKey& entry) { entry.SetText(LogDigestValueName, digest); });
}
