// Writing the list as a "log1" file, and releasing it.
#include "InstallLog.h"
#include "LittleEndian.h"
#include "LogFile.h"
#include "LogMemory.h"

#include <cstring>

namespace {

// The temporary file beside the log: the log's path followed by this.
const char TemporarySuffix[] = ".tmp";

int WriteRecord(LogFile* file, const LogEntry* entry)
{
    // Present means the string exists, even when it is empty.
    uint32_t flags = (entry->text1 ? 1u : 0u) | (entry->text2 ? 2u : 0u) | (entry->text3 ? 4u : 0u);
    unsigned char fields[8];
    WriteLittle32(fields, static_cast<uint32_t>(entry->kind));
    WriteLittle32(fields + 4, flags);
    if (!LogFileWrite(file, fields, sizeof(fields)))
        return 0;
    const char* texts[3] = {entry->text1, entry->text2, entry->text3};
    for (const char* text : texts) {
        if (text && !WriteLogLine(file, text))
            return 0;
    }
    return 1;
}

// Writes the whole list to `path`.<suffix> and then puts that file in the
// log's place.  Whatever goes wrong, the old log stays and the temporary file
// is removed.
LogSaveStatus WriteBesideAndReplace(const InstallLog* list, const char* path)
{
    size_t length = std::strlen(path);
    auto* temporary = static_cast<char*>(LogAllocate(length + sizeof(TemporarySuffix), 1));
    if (!temporary)
        return LogSaveFailed;
    std::memcpy(temporary, path, length);
    std::memcpy(temporary + length, TemporarySuffix, sizeof(TemporarySuffix));

    LogSaveStatus status = LogSaveFailed;
    LogFile file;
    if (LogFileCreate(&file, temporary)) {
        bool written = WriteInstallLogFile(list, &file) && LogFileFlush(&file);
        written = LogFileClose(&file) && written;
        if (written && LogFileReplace(temporary, path))
            status = LogSaveWritten;
        else
            LogFileRemove(temporary);
    }
    LogFree(temporary);
    return status;
}

}  // namespace

int WriteInstallLogFile(const InstallLog* list, LogFile* file)
{
    if (!LogFileWrite(file, LogMagic, LogMagicSize))
        return 0;
    for (const LogEntry* entry = list->first; entry; entry = entry->next) {
        if (!WriteRecord(file, entry))
            return 0;
    }
    return 1;
}

LogSaveStatus WriteInstallLog(const InstallLog* list, const char* path)
{
    return path ? WriteBesideAndReplace(list, path) : LogSaveReleased;
}

LogSaveStatus SaveInstallLog(InstallLog* list, const char* path)
{
    LogSaveStatus status = WriteInstallLog(list, path);
    ReleaseInstallLog(list);
    return status;
}
