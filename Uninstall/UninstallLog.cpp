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

UninstallCommandLineStatus TakeUninstallCommandLine(const char* commandLine, char* path, size_t capacity,
                                                    bool* unattended)
{
    const char* rest = nullptr;
    *unattended = TakeUnattendedSwitch(commandLine, &rest);
    if (!*unattended)
        return TakeLogPath(commandLine, path, capacity) ? UninstallCommandLineOk : UninstallPathTooLong;
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
