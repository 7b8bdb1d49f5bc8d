// The uninstaller's command line and the log it plays back.
#include "UninstallLog.h"

#include <cstring>

#include "CommandLine.h"

int TakeLogPath(const char* commandLine, char* path, size_t capacity)
{
    if (capacity == 0)
        return 0;
    path[0] = '\0';
    const char* text = commandLine ? commandLine : "";
    size_t length = strlen(text);
    if (length >= 2 && text[0] == '"' && text[length - 1] == '"') {
        ++text;
        length -= 2;
    }
    if (length >= capacity)
        return 0;
    memcpy(path, text, length);
    path[length] = '\0';
    return 1;
}

namespace {

// "/LOG=FILE " at `*rest`, the word in quotes when it has a blank: FILE into
// `transcript`, `*rest` past the word and its blanks.  false for a /LOG=
// without a file or with one that does not fit.
bool TakeTranscriptSwitch(const char** rest, char* transcript, size_t capacity)
{
    const char* p = *rest;
    size_t length = 0;
    bool quoted = false;
    bool fits = true;
    for (; *p && (quoted || (*p != ' ' && *p != '\t')); ++p) {
        if (*p == '"') {
            quoted = !quoted;
            continue;
        }
        if (length + 1 < capacity)
            transcript[length++] = *p;
        else
            fits = false;
    }
    transcript[length] = '\0';
    while (*p == ' ' || *p == '\t')
        ++p;
    *rest = p;
    // The word without its quotes begins with "/LOG=".
    if (!fits || length <= 5) {
        transcript[0] = '\0';
        return false;
    }
    memmove(transcript, transcript + 5, length - 5 + 1);
    return true;
}

bool StartsWithLogSwitch(const char* text)
{
    if (*text == '"')
        ++text;
    return (text[0] == '/') && (text[1] == 'L' || text[1] == 'l') && (text[2] == 'O' || text[2] == 'o') &&
           (text[3] == 'G' || text[3] == 'g') && text[4] == '=';
}

}  // namespace

UninstallCommandLineStatus TakeUninstallCommandLine(const char* commandLine, char* path, size_t capacity,
                                                    bool* unattended, char* transcript, size_t transcriptCapacity)
{
    const char* rest = nullptr;
    if (transcript && transcriptCapacity > 0)
        transcript[0] = '\0';
    *unattended = TakeUnattendedSwitch(commandLine, &rest);
    if (!*unattended)
        return TakeLogPath(commandLine, path, capacity) ? UninstallCommandLineOk : UninstallPathTooLong;
    if (transcript && transcriptCapacity > 0 && StartsWithLogSwitch(rest) &&
        !TakeTranscriptSwitch(&rest, transcript, transcriptCapacity)) {
        if (capacity > 0)
            path[0] = '\0';
        return UninstallBadTranscript;
    }
    if (!TakeLogPath(rest, path, capacity))
        return UninstallPathTooLong;
    if (path[0] == '/') {
        path[0] = '\0';
        return UninstallUnknownSwitch;
    }
    return path[0] != '\0' ? UninstallCommandLineOk : UninstallPathMissing;
}

namespace {

// A string of the Product entry as a name: null where it is absent or empty.
const char* NameOrNull(const char* text)
{
    return text && text[0] != '\0' ? text : nullptr;
}

}  // namespace

UninstallLogStatus OpenUninstallLog(InstallLog* list, const char* path, UninstallProduct* product)
{
    switch (LoadInstallLogStatus(list, path)) {
    case LogLoadNotALog:
        return UninstallLogNotALog;
    case LogLoadTruncated:
    case LogLoadOutOfMemory:
        return UninstallLogCorrupted;
    case LogLoadNoFile:
        return UninstallLogMissing;
    case LogLoadComplete:
        break;
    }
    const LogEntry* entry = FindLogEntry(list, nullptr, LogKindProduct);
    if (!entry)
        return UninstallLogCorrupted;
    product->company = NameOrNull(entry->text1);
    product->product = NameOrNull(entry->text2);
    product->installDir = NameOrNull(entry->text3);
    return UninstallLogReady;
}

const char* UninstallLogMessage(UninstallLogStatus status)
{
    switch (status) {
    case UninstallLogReady:
        break;
    case UninstallLogNotALog:
        return "Couldn't open log file\nor this is not valid uninstallation file...";
    case UninstallLogCorrupted:
    case UninstallLogMissing:
        return "Log file corrupted!\nDeinstalation aborted!";
    }
    return nullptr;
}

bool LogRecordsDriver(const InstallLog* list)
{
    return FindLogEntry(list, nullptr, LogKindDriver) != nullptr;
}
