// The removal behind the Remove button and the unattended removal.
#include "Removal.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

#include "AnsiText.h"
#include "FileInUse.h"
#include "Journal.h"
#include "LogDigest.h"
#include "Playback.h"
#include "RemovalDialog.h"
#include "SetupState.h"
#include "Sha256.h"
#include "TestHooks.h"
#include "Transaction.h"
#include "Transcript.h"

const LogEntry* FindFileInUse(const InstallLog* list)
{
    for (const LogEntry* entry = FindLogEntry(list, nullptr, LogKindFile); entry;
         entry = FindLogEntry(list, entry, LogKindFile)) {
        if (entry->text1 && IsFileInUse(entry->text1))
            return entry;
    }
    return nullptr;
}

namespace {

// The journal of a removal: which counts it released already, so that a
// removal that was interrupted (killed, or Windows stopped) and is run again
// completes it without releasing a count twice.  Named after the log, in the
// installations' journal folder.
struct RemovalJournal {
    char path[WorkBufferSize];
    JournalWriter writer;
    bool open;
    // The entries an interrupted removal released, by index.
    bool* released;
    uint32_t releasedCount;
    // The test build's crash point: the removal's K-th step.
    long crashAfterStep;
    long steps;
    void (*progress)(void* context);
    void* progressContext;
};

RemovalJournal Removing;

void ReleaseRemovalJournal()
{
    if (Removing.open)
        JournalClose(&Removing.writer);
    HeapFree(GetProcessHeap(), 0, Removing.released);
    Removing.released = nullptr;
    Removing.releasedCount = 0;
    Removing.open = false;
}

bool Releasing(uint32_t index, void*)
{
    if (index < Removing.releasedCount && Removing.released[index])
        return false;
    if (Removing.open) {
        JournalRecord record;
        JournalStart(&record, JournalRemovalEntry);
        JournalAddNumber(&record, index);
        JournalAppend(&Removing.writer, record);
        JournalFlush(&Removing.writer);
    }
    return true;
}

void Stepped(void*)
{
    ++Removing.steps;
    if (Removing.crashAfterStep > 0 && Removing.steps == Removing.crashAfterStep)
        TerminateProcess(GetCurrentProcess(), 99);
    if (Removing.progress)
        Removing.progress(Removing.progressContext);
}

// Reads what an interrupted removal of this log released, and opens the
// journal of this one (its records appended after the earlier ones, so that
// a third run knows both).
void OpenRemovalJournal(const InstallLog* list)
{
    memset(&Removing, 0, sizeof Removing);
    if (!BuildRemovalJournalPath(LogFilePath, Removing.path))
        return;
    Journal earlier = {};
    bool resumed = JournalLoad(&earlier, Removing.path) == JournalLoaded;
    uint32_t count = static_cast<uint32_t>(list->count);
    Removing.released = static_cast<bool*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, count ? count : 1));
    if (Removing.released)
        Removing.releasedCount = count;
    JournalRecord record;
    for (uint32_t i = 0; resumed && JournalRecordAt(&earlier, i, &record); ++i) {
        uint32_t index = 0;
        if (record.kind == JournalRemovalEntry && JournalNumber(record, 0, &index) && index < Removing.releasedCount)
            Removing.released[index] = true;
    }
    // A new journal holding the earlier records, then this removal's.
    char folder[WorkBufferSize];
    if (BuildJournalFolder(folder))
        CreateDirectoryA(folder, nullptr);
    JournalWriter writer;
    if (JournalCreate(&writer, Removing.path)) {
        JournalStart(&record, JournalRemovalBegin);
        JournalAddText(&record, RemovedProduct.company);
        JournalAddText(&record, RemovedProduct.product);
        JournalAddText(&record, RemovedProduct.installDir);
        JournalAddText(&record, LogFilePath);
        bool written = JournalAppend(&writer, record) != 0;
        for (uint32_t i = 0; written && i < Removing.releasedCount; ++i) {
            if (!Removing.released[i])
                continue;
            JournalStart(&record, JournalRemovalEntry);
            JournalAddNumber(&record, i);
            written = JournalAppend(&writer, record) != 0;
        }
        if (written && JournalFlush(&writer)) {
            Removing.writer = writer;
            Removing.open = true;
        } else {
            JournalClose(&writer);
        }
    }
    JournalRelease(&earlier);
    Removing.crashAfterStep = TestHookNumber("VELLMARK_TEST_CRASH_AFTER_STEP");
}

// After the whole removal: its journal goes, and the folder when empty.
void CloseRemovalJournal()
{
    bool opened = Removing.open;
    ReleaseRemovalJournal();
    if (opened || Removing.path[0]) {
        DeleteFileA(Removing.path);
        char folder[WorkBufferSize];
        if (BuildJournalFolder(folder))
            RemoveDirectoryA(folder);
    }
}

// The empty folders below `folder`, deepest first (not `folder` itself): the
// folders of an installation whose log went with an interrupted removal.
// One that holds anything stays.
void RemoveEmptyFoldersBelow(const char* folder, int depth)
{
    char search[WorkBufferSize];
    if (depth > 32 || snprintf(search, sizeof search, "%s\\*", folder) >= static_cast<int>(sizeof search))
        return;
    WIN32_FIND_DATAA found;
    HANDLE walk = FindFirstFileA(search, &found);
    if (walk == INVALID_HANDLE_VALUE)
        return;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || !strcmp(found.cFileName, ".") ||
            !strcmp(found.cFileName, ".."))
            continue;
        char child[WorkBufferSize];
        if (snprintf(child, sizeof child, "%s\\%s", folder, found.cFileName) >= static_cast<int>(sizeof child))
            continue;
        RemoveEmptyFoldersBelow(child, depth + 1);
        RemoveDirectoryA(child);
    } while (FindNextFileA(walk, &found));
    FindClose(walk);
}

}  // namespace

int BuildRemovalJournalPath(const char* logPath, char (&path)[WorkBufferSize])
{
    char folder[WorkBufferSize];
    if (!logPath || !BuildJournalFolder(folder))
        return 0;
    // The digest of the path in small letters: Windows names a file the same
    // whatever its case.
    Sha256 hash;
    for (const char* p = logPath; *p; ++p) {
        char folded = static_cast<char>(AnsiFold(static_cast<unsigned char>(*p)));
        hash.Update(&folded, 1);
    }
    char text[Sha256TextSize];
    hash.FinishText(text);
    text[16] = '\0';
    return snprintf(path, sizeof path, "%s\\removal-%s.journal", folder, text) < static_cast<int>(sizeof path) ? 1
                                                                                                           : 0;
}

bool InterruptedRemovalOf(const char* logPath, UninstallProductNames* names)
{
    char path[WorkBufferSize];
    Journal journal = {};
    JournalRecord begin;
    bool found = BuildRemovalJournalPath(logPath, path) && JournalLoad(&journal, path) == JournalLoaded &&
                 JournalRecordAt(&journal, 0, &begin) && begin.kind == JournalRemovalBegin;
    if (found) {
        snprintf(names->company, sizeof names->company, "%s", JournalText(begin, 0) ? JournalText(begin, 0) : "");
        snprintf(names->product, sizeof names->product, "%s", JournalText(begin, 1) ? JournalText(begin, 1) : "");
        snprintf(names->installDir, sizeof names->installDir, "%s", JournalText(begin, 2) ? JournalText(begin, 2) : "");
    }
    JournalRelease(&journal);
    return found;
}

void CompleteInterruptedRemoval(const UninstallProductNames& names)
{
    // The files went, and the log with them: what is left is the folders
    // and the registration, which an empty list plays back.
    if (names.installDir[0])
        RemoveEmptyFoldersBelow(names.installDir, 0);
    InstallLog nothing = {};
    PlaybackOptions options = {};
    options.company = names.company[0] ? names.company : nullptr;
    options.product = names.product[0] ? names.product : nullptr;
    options.installDir = names.installDir[0] ? names.installDir : nullptr;
    options.logPath = LogFilePath;
    PlayBackInstallLog(&nothing, options);
    char path[WorkBufferSize];
    if (BuildRemovalJournalPath(LogFilePath, path))
        DeleteFileA(path);
    char folder[WorkBufferSize];
    if (BuildJournalFolder(folder))
        RemoveDirectoryA(folder);
}

PlaybackResult RemoveLoggedProduct(bool deleteSettings, void (*progress)(void* context), void* progressContext)
{
    // The log the product's registration names, when it is another one:
    // read whole and unchanged since its setup wrote it, or not at all.
    InstallLog live = {};
    char livePath[SetupPathSize];
    bool haveLive = ReadRegisteredLogPath(RemovedProduct.company, RemovedProduct.product, livePath,
                                          sizeof livePath) &&
                    AnsiCompareNoCase(livePath, LogFilePath) != 0 &&
                    LoadInstallLogStatus(&live, livePath) == LogLoadComplete && LogMatchesRegistration(livePath);

    PlaybackOptions options = {};
    options.company = RemovedProduct.company;
    options.product = RemovedProduct.product;
    options.installDir = RemovedProduct.installDir;
    options.logPath = LogFilePath;
    options.deletePrefsKeys = deleteSettings;
    options.liveLog = haveLive ? &live : nullptr;
    OpenRemovalJournal(&TheInstallLog);
    Removing.progress = progress;
    Removing.progressContext = progressContext;
    options.progress = Stepped;
    options.releasing = Releasing;
    PlaybackResult result = PlayBackInstallLog(&TheInstallLog, options);
    CloseRemovalJournal();
    ReleaseInstallLog(&live);
    return result;
}

void TranscribeKeptRegistration(const PlaybackResult& result)
{
    if (result.uninstallEntryKept)
        TranscriptLine("kept: the uninstall entry; it registers another installation's log");
    if (result.productKeyKept)
        TranscriptLine("kept: the product key; its Path names another installation's folder");
    if (result.entriesKept > 0)
        TranscriptLine("kept: %u files, folders and keys that the installed version's log records too",
                       result.entriesKept);
}
