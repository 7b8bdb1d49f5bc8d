// Reading a "log1" file into the list.
#include "InstallLog.h"
#include "LittleEndian.h"
#include "LogEntryAppend.h"
#include "LogFile.h"
#include "LogMemory.h"

#include <cstring>

namespace {

// Reads exactly `size` bytes; 0 when the file ends or a read fails first.
int ReadExactly(LogFile* file, unsigned char* buffer, uint32_t size)
{
    uint32_t got = 0;
    while (got < size) {
        uint32_t done = 0;
        if (!LogFileRead(file, buffer + got, size - got, &done) || done == 0)
            return 0;
        got += done;
    }
    return 1;
}

// Reads one record into a new entry.  On anything but LogLoadComplete the
// record is dropped and *entry stays null.
LogLoadStatus ReadRecord(LogFile* file, char* line, LogEntry** result)
{
    unsigned char fields[8];  // kind, then presence flags
    if (!ReadExactly(file, fields, sizeof(fields)))
        return LogLoadTruncated;
    LogEntry* entry = LogNewEntry(static_cast<int32_t>(ReadLittle32(fields)));
    if (!entry)
        return LogLoadOutOfMemory;

    // Only bits 0 to 2 of the low byte mean anything; writers set no others,
    // and a reader ignores them.
    unsigned flags = fields[4];
    char** texts[3] = {&entry->text1, &entry->text2, &entry->text3};
    for (int i = 0; i < 3; ++i) {
        if (!(flags & (1u << i)))
            continue;
        LogLineEnd end;
        ReadLogLine(file, line, static_cast<int>(LogLineCapacity), &end);
        // A string that ran into the end of the file was cut by a write that
        // never finished; a shortened path must not become an entry.
        if (end == LogLineEndEOF) {
            LogDiscardEntry(entry);
            return LogLoadTruncated;
        }
        *texts[i] = LogCopyText(line);
        if (!*texts[i]) {
            LogDiscardEntry(entry);
            return LogLoadOutOfMemory;
        }
    }
    *result = entry;
    return LogLoadComplete;
}

}  // namespace

LogLoadStatus ReadInstallLogFile(InstallLog* list, LogFile* file)
{
    unsigned char magic[LogMagicSize];
    if (!ReadExactly(file, magic, sizeof(magic)) || std::memcmp(magic, LogMagic, LogMagicSize) != 0)
        return LogLoadNotALog;

    char line[LogLineCapacity];
    for (;;) {
        uint64_t position = 0, size = 0;
        if (!LogFilePosition(file, &position) || !LogFileSize(file, &size))
            return LogLoadTruncated;
        if (position >= size)
            return LogLoadComplete;

        LogEntry* entry = nullptr;
        LogLoadStatus status = ReadRecord(file, line, &entry);
        if (status != LogLoadComplete)
            return status;
        if (!LogAppendEntry(list, entry)) {
            LogDiscardEntry(entry);
            return LogLoadOutOfMemory;
        }
    }
}

LogLoadStatus LoadInstallLogStatus(InstallLog* list, const char* path)
{
    // The list is normally empty here; whatever it still holds is freed
    // rather than forgotten.
    ReleaseInstallLog(list);
    LogFile file;
    if (!path || !LogFileOpenRead(&file, path))
        return LogLoadNoFile;
    LogLoadStatus status = ReadInstallLogFile(list, &file);
    LogFileClose(&file);
    return status;
}

int LoadInstallLog(InstallLog* list, const char* path)
{
    return LoadInstallLogStatus(list, path) == LogLoadNotALog ? 0 : 1;
}
