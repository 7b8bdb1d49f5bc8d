// The installation's journal, its journaled changes and their rollback.
#include "Transaction.h"

#include <cstdio>
#include <cstring>

#include "AnsiText.h"
#include "Handles.h"
#include "LittleEndian.h"
#include "SetupState.h"
#include "TestHooks.h"

namespace {

// Records of new files and folders are flushed in groups of this many: a
// flush costs about as much as creating a small file, and a file or folder
// that a power loss leaves unrecorded is only an empty or unused leftover.
// Everything whose loss would lose data or count twice (a file moved aside,
// a registry value, a service) is flushed before it is changed.
constexpr uint32_t FlushGroup = 64;

// The exit code of a process the crash hook ends.
constexpr UINT CrashedExitCode = 99;

enum FlushPolicy {
    FlushInGroup,   // new files and folders
    FlushAtOnce,    // everything else
};

struct RunState {
    bool open;
    JournalWriter writer;
    char journalPath[WorkBufferSize];
    uint32_t unflushed;      // records since the last flush
    uint32_t records;        // records of this run
    uint32_t changes;        // changes made
    uint32_t names;          // temporary and aside names handed out
    long crashAfterChange;   // test hooks: end the process abruptly
    long crashAfterRecord;
    bool flushEveryChange;   // test hook: no flushes in groups
};

// A block from the process heap, freed when it goes.
struct HeapBlock {
    uint8_t* bytes = nullptr;
    HeapBlock() = default;
    HeapBlock(const HeapBlock&) = delete;
    HeapBlock& operator=(const HeapBlock&) = delete;
    ~HeapBlock()
    {
        if (bytes)
            HeapFree(GetProcessHeap(), 0, bytes);
    }
    bool Allocate(size_t size)
    {
        bytes = static_cast<uint8_t*>(HeapAlloc(GetProcessHeap(), 0, size));
        return bytes != nullptr;
    }
};

RunState Run;

// Folders the setup created before the transaction began (the Destination
// folder page, the unattended setup's folder), oldest first.
constexpr int PendingFolderLimit = 32;
char PendingFolders[PendingFolderLimit][SetupPathSize];
int PendingFolderCount = 0;

// The test build's crash points: TerminateProcess leaves the journal and
// everything else as a killed process or a crash does.
void CrashIfAsked(long count, long point)
{
    if (point > 0 && count == point)
        TerminateProcess(GetCurrentProcess(), CrashedExitCode);
}

int Flush()
{
    if (!JournalFlush(&Run.writer))
        return 0;
    Run.unflushed = 0;
    return 1;
}

// Appends a record ahead of its change.  0 when it did not reach the
// journal: the change must not be made.
int Record(const JournalRecord& record, FlushPolicy policy)
{
    if (!Run.open)
        return 1;
    if (!JournalAppend(&Run.writer, record))
        return 0;
    ++Run.records;
    ++Run.unflushed;
    bool flushNow = policy == FlushAtOnce || Run.unflushed >= FlushGroup || Run.flushEveryChange;
    if (flushNow && !Flush())
        return 0;
    CrashIfAsked(static_cast<long>(Run.records), Run.crashAfterRecord);
    return 1;
}

void ChangeMade()
{
    ++Run.changes;
    CrashIfAsked(static_cast<long>(Run.changes), Run.crashAfterChange);
}

int RecordPath(JournalKind kind, const char* path, FlushPolicy policy)
{
    JournalRecord record;
    JournalStart(&record, kind);
    JournalAddText(&record, path);
    return Record(record, policy);
}

// The root of a registry path as the journal keeps it: the low 32 bits of the
// predefined handle (HKEY_LOCAL_MACHINE is 0x80000002 on every Windows).
uint32_t RootNumber(HKEY root)
{
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(root));
}

HKEY RootOf(uint32_t number)
{
    if (number == RootNumber(HKEY_LOCAL_MACHINE))
        return HKEY_LOCAL_MACHINE;
    if (number == RootNumber(HKEY_CURRENT_USER))
        return HKEY_CURRENT_USER;
    return nullptr;
}

bool FileExists(const char* path)
{
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

// Whether a folder stands where the run would put a file: it is never moved
// aside (it is no file the run could replace), and the write fails.
bool FolderThere(const char* path)
{
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The folder part of `path` into `folder`: 0 when there is none or it does not fit.
int FolderPart(const char* path, char (&folder)[WorkBufferSize])
{
    const char* slash = strrchr(path, '\\');
    if (!slash)
        return 0;
    size_t length = static_cast<size_t>(slash - path);
    if (length == 2 && path[1] == ':')
        ++length;   // "C:\file": the root, backslash included
    if (length >= sizeof folder)
        return 0;
    memcpy(folder, path, length);
    folder[length] = '\0';
    return 1;
}

// A new name in the folder of `beside`: "vm<process>-<n>.<suffix>".  Only a
// name that is free now is given; its owner creates it at once.
int FreeNameBeside(const char* beside, const char* suffix, char (&name)[WorkBufferSize])
{
    char folder[WorkBufferSize];
    if (!FolderPart(beside, folder))
        return 0;
    for (int attempt = 0; attempt < 1000; ++attempt) {
        unsigned serial = ++Run.names;
        int length = snprintf(name, sizeof name, "%s%svm%lx-%u.%s", folder,
                              folder[strlen(folder) - 1] == '\\' ? "" : "\\",
                              static_cast<unsigned long>(GetCurrentProcessId()), serial, suffix);
        if (length < 0 || static_cast<size_t>(length) >= sizeof name || length >= MAX_PATH)
            return 0;
        if (!FileExists(name))
            return 1;
    }
    return 0;
}

// Whether `folder` is `installDir` or lies above it.
bool OnTheWayTo(const char* folder, const char* installDir)
{
    size_t length = strlen(folder);
    size_t full = strlen(installDir);
    if (length == 0 || length > full || AnsiCompareNoCase(folder, length, installDir, length) != 0)
        return false;
    return length == full || installDir[length] == '\\';
}

// ---------------------------------------------------------------------------
// Undoing one record.

// A value's old data back, or the value gone when it had none.
void RestoreValue(const JournalRecord& record)
{
    uint32_t root = 0;
    const char* path = JournalText(record, 1);
    HKEY rootKey = JournalNumber(record, 0, &root) ? RootOf(root) : nullptr;
    if (!rootKey || !path)
        return;
    const char* name = JournalText(record, 2);
    uint32_t type = 0;
    if (!JournalNumber(record, 3, &type)) {
        RegistryKey key;
        if (key.Open(rootKey, path, KEY_SET_VALUE))
            RegDeleteValueA(key.Get(), name);
        return;
    }
    RegistryKey key;
    if (!key.Create(rootKey, path, KEY_SET_VALUE))
        return;
    const JournalField& data = record.fields[4];
    RegSetValueExA(key.Get(), name, 0, type, data.bytes, data.bytes ? data.size : 0);
}

// A key the run created goes when nothing is left in it.
void RemoveCreatedKey(const JournalRecord& record)
{
    uint32_t root = 0;
    const char* path = JournalText(record, 1);
    HKEY rootKey = JournalNumber(record, 0, &root) ? RootOf(root) : nullptr;
    if (!rootKey || !path)
        return;
    RegistryKey key;
    if (!key.Open(rootKey, path, KEY_QUERY_VALUE))
        return;
    bool empty = key.IsEmpty();
    key.Close();
    // The 95 family deletes a key with all it holds: only an empty one goes.
    if (empty)
        RegDeleteKeyA(rootKey, path);
}

void DeleteCreatedService(const char* name)
{
    if (!name || !IsWindowsNT)
        return;
    ServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager.IsOpen())
        return;
    ServiceHandle service(OpenServiceA(manager.Get(), name, SERVICE_ALL_ACCESS));
    if (service.IsOpen())
        DeleteService(service.Get());
}

// A file moved aside comes back; the run's own file in its place goes.
void PutBack(const char* path, const char* aside)
{
    if (!path || !aside || !FileExists(aside))
        return;
    SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(path);
    MoveFileA(aside, path);
}

void DeleteCreatedFile(const char* path)
{
    if (!path)
        return;
    SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(path);
}

// Whether a record after `index` says that the file of a FileCreated record
// was not created by the run.
bool CreationCancelled(const Journal& journal, uint32_t index, const char* path)
{
    JournalRecord later;
    for (uint32_t i = index + 1; JournalRecordAt(&journal, i, &later); ++i) {
        const char* other = JournalText(later, 0);
        if (later.kind == JournalFileNotCreated && other && AnsiCompareNoCase(other, path) == 0)
            return true;
        // The same path created again later is another creation.
        if (later.kind == JournalFileCreated && other && AnsiCompareNoCase(other, path) == 0)
            return false;
    }
    return false;
}

bool UndoRecord(const Journal& journal, uint32_t index)
{
    JournalRecord record;
    if (!JournalRecordAt(&journal, index, &record))
        return false;
    const char* path = JournalText(record, 0);
    switch (record.kind) {
    case JournalFolderCreated:
        if (path)
            RemoveDirectoryA(path);
        return true;
    case JournalFileCreated:
        if (path && !CreationCancelled(journal, index, path))
            DeleteCreatedFile(path);
        return true;
    case JournalFileReplaced:
        PutBack(path, JournalText(record, 1));
        return true;
    case JournalKeyCreated:
        RemoveCreatedKey(record);
        return true;
    case JournalValueSet:
        RestoreValue(record);
        return true;
    case JournalServiceCreated:
        DeleteCreatedService(path);
        return true;
    default:
        // Begin, Committed, FileNotCreated, and kinds of newer builds.
        return false;
    }
}

// The RunOnce value, the recovery program and the journal of a run; the
// journal's folder too when nothing else is left in it.
void RemoveRunTraces(const JournalRecord& begin, const char* journalPath, const char* runningProgram)
{
    const char* runOnceName = JournalText(begin, 6);
    if (runOnceName) {
        RegistryKey runOnce;
        if (runOnce.Open(HKEY_LOCAL_MACHINE, RunOnceKeyPath, KEY_SET_VALUE))
            RegDeleteValueA(runOnce.Get(), runOnceName);
    }
    const char* program = JournalText(begin, 5);
    if (program && (!runningProgram || AnsiCompareNoCase(program, runningProgram) != 0))
        DeleteCreatedFile(program);
    DeleteCreatedFile(journalPath);
    char folder[WorkBufferSize];
    if (BuildJournalFolder(folder))
        RemoveDirectoryA(folder);
}

}  // namespace

// ---------------------------------------------------------------------------

int BuildJournalFolder(char (&folder)[WorkBufferSize])
{
    char windows[SetupPathSize];
    UINT length = GetWindowsDirectoryA(windows, sizeof windows);
    if (length == 0 || length >= sizeof windows)
        return 0;
    PathText path;
    path.Append(windows);
    if (windows[length - 1] != '\\')
        path.Append("\\");
    path.Append(JournalFolderName);
    return path.CopyTo(folder, sizeof folder);
}

bool TransactionOpen()
{
    return Run.open;
}

uint32_t TransactionRecords()
{
    return Run.records;
}

uint32_t TransactionFlushes()
{
    return Run.writer.flushes;
}

int BeginTransaction(const TransactionNames& names, const RecoveryImage& recovery)
{
    if (Run.open)
        return 1;
    memset(&Run, 0, sizeof Run);
    Run.crashAfterChange = TestHookNumber("VELLMARK_TEST_CRASH_AFTER_CHANGE");
    Run.crashAfterRecord = TestHookNumber("VELLMARK_TEST_CRASH_AFTER_RECORD");
    Run.flushEveryChange = TestHook("flush-every-change");
    if (TestHook("no-journal"))
        return 1;

    char folder[WorkBufferSize];
    if (!BuildJournalFolder(folder))
        return 0;
    CreateDirectoryA(folder, nullptr);

    // A name no other run has: the process and the moment.
    char id[40];
    snprintf(id, sizeof id, "%08lx-%08lx", static_cast<unsigned long>(GetCurrentProcessId()),
             static_cast<unsigned long>(GetTickCount()));
    char program[WorkBufferSize];
    char runOnceName[64];
    snprintf(runOnceName, sizeof runOnceName, "Vellmark recovery %s", id);
    if (snprintf(Run.journalPath, sizeof Run.journalPath, "%s\\%s.journal", folder, id) >=
            static_cast<int>(sizeof Run.journalPath) ||
        snprintf(program, sizeof program, "%s\\%s.exe", folder, id) >= static_cast<int>(sizeof program)) {
        RemoveDirectoryA(folder);
        return 0;
    }

    if (!JournalCreate(&Run.writer, Run.journalPath)) {
        RemoveDirectoryA(folder);
        return 0;
    }
    JournalRecord begin;
    JournalStart(&begin, JournalBegin);
    JournalAddText(&begin, id);
    JournalAddText(&begin, names.company);
    JournalAddText(&begin, names.product);
    JournalAddText(&begin, names.installDir);
    JournalAddText(&begin, names.logPath);
    JournalAddText(&begin, program);
    JournalAddText(&begin, runOnceName);
    bool begun = JournalAppend(&Run.writer, begin) && JournalFlush(&Run.writer);

    // The recovery program, complete before Windows is told to run it.
    if (begun) {
        KernelHandle file(CreateFileA(program, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                      nullptr));
        DWORD written = 0;
        begun = file.IsOpen() && recovery.bytes &&
                WriteFile(file.Get(), recovery.bytes, recovery.size, &written, nullptr) && written == recovery.size &&
                FlushFileBuffers(file.Get());
        begun = file.Close() && begun;
    }

    Run.open = begun;
    if (begun) {
        // Windows runs the recovery at its next start unless the run removes
        // the value first.  The key is made through the journal; the value goes
        // by its name at the end.
        char command[3 * WorkBufferSize];
        JournaledKey runOnce;
        begun = snprintf(command, sizeof command, "\"%s\" %s \"%s\"", program, RecoverySwitch, Run.journalPath) <
                    static_cast<int>(sizeof command) &&
                runOnce.Create(HKEY_LOCAL_MACHINE, RunOnceKeyPath, KEY_SET_VALUE) &&
                runOnce.Key().SetText(runOnceName, command);
        if (begun)
            RegFlushKey(runOnce.Key().Get());
    }

    // The folders made on the way to the installation folder before now.
    for (int i = 0; begun && i < PendingFolderCount; ++i)
        if (OnTheWayTo(PendingFolders[i], InstallDir))
            begun = RecordPath(JournalFolderCreated, PendingFolders[i], FlushInGroup) != 0;
    PendingFolderCount = 0;

    if (!begun) {
        // Nothing of the run has been changed: the traces go again.
        bool wasOpen = Run.open;
        Run.open = false;
        JournalClose(&Run.writer);
        if (wasOpen) {
            RollbackResult ignored;
            RollBackJournal(Run.journalPath, nullptr, &ignored);
        } else {
            DeleteCreatedFile(program);
            DeleteCreatedFile(Run.journalPath);
            RemoveDirectoryA(folder);
        }
        return 0;
    }
    return 1;
}

void CommitTransaction()
{
    if (!Run.open)
        return;
    JournalRecord committed;
    JournalStart(&committed, JournalCommitted);
    Record(committed, FlushAtOnce);
    Run.open = false;
    JournalClose(&Run.writer);
    // What is left is the same work as the recovery of a committed run.
    RollbackResult result;
    RollBackJournal(Run.journalPath, nullptr, &result);
}

void RollBackTransaction()
{
    if (!Run.open)
        return;
    Flush();
    Run.open = false;
    JournalClose(&Run.writer);
    RollbackResult result;
    RollBackJournal(Run.journalPath, nullptr, &result);
}

bool RollBackJournal(const char* path, const char* runningProgram, RollbackResult* result)
{
    memset(result, 0, sizeof *result);
    Journal journal = {};
    JournalRecord begin;
    if (JournalLoad(&journal, path) != JournalLoaded || !JournalRecordAt(&journal, 0, &begin) ||
        begin.kind != JournalBegin) {
        JournalRelease(&journal);
        return false;
    }
    snprintf(result->product, sizeof result->product, "%s%s%s", JournalText(begin, 1) ? JournalText(begin, 1) : "",
             JournalText(begin, 1) && JournalText(begin, 2) ? " " : "", JournalText(begin, 2) ? JournalText(begin, 2) : "");

    JournalRecord record;
    for (uint32_t i = 1; JournalRecordAt(&journal, i, &record); ++i)
        if (record.kind == JournalCommitted)
            result->committed = true;

    if (result->committed) {
        // The run completed: the files it moved aside are no longer needed.
        for (uint32_t i = 1; JournalRecordAt(&journal, i, &record); ++i) {
            const char* aside = record.kind == JournalFileReplaced ? JournalText(record, 1) : nullptr;
            if (aside && FileExists(aside)) {
                SetFileAttributesA(aside, FILE_ATTRIBUTE_NORMAL);
                // One still in use goes when Windows restarts.
                if (!DeleteFileA(aside) && IsWindowsNT)
                    MoveFileExA(aside, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
            }
        }
    } else {
        for (uint32_t i = journal.count; i-- > 1;)
            if (UndoRecord(journal, i))
                ++result->changes;
    }
    // The Begin record points into the journal: the traces go before it does.
    RemoveRunTraces(begin, path, runningProgram);
    JournalRelease(&journal);
    return true;
}

// ---------------------------------------------------------------------------
// Journaled changes

int RecordFolderCreation(const char* path)
{
    if (Run.open)
        return RecordPath(JournalFolderCreated, path, FlushInGroup);
    // Before the transaction: remembered, recorded when it begins.
    size_t length = path ? strlen(path) : 0;
    if (length > 0 && length < SetupPathSize && PendingFolderCount < PendingFolderLimit)
        memcpy(PendingFolders[PendingFolderCount++], path, length + 1);
    return 1;
}

void FolderCreated()
{
    if (Run.open)
        ChangeMade();
}

int RecordFileCreation(const char* path)
{
    return RecordPath(JournalFileCreated, path, FlushInGroup);
}

void FileNotCreated(const char* path)
{
    RecordPath(JournalFileNotCreated, path, FlushInGroup);
}

void FileCreated()
{
    if (Run.open)
        ChangeMade();
}

int CreateTemporaryBeside(const char* destination, char (&temporary)[WorkBufferSize], HANDLE* file)
{
    *file = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 8; ++attempt) {
        if (!FreeNameBeside(destination, "tmp", temporary) || !RecordFileCreation(temporary)) {
            temporary[0] = '\0';
            return 0;
        }
        HANDLE created = CreateFileA(temporary, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                     FILE_FLAG_RANDOM_ACCESS | FILE_ATTRIBUTE_NORMAL, nullptr);
        if (created != INVALID_HANDLE_VALUE) {
            FileCreated();
            *file = created;
            return 1;
        }
        DWORD error = GetLastError();
        // Another file took the name after all: not the run's to remove.
        FileNotCreated(temporary);
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)
            break;
    }
    temporary[0] = '\0';
    return 0;
}

int ReplaceWithTemporary(const char* temporary, const char* destination)
{
    char aside[WorkBufferSize];
    if (FolderThere(destination))
        return 0;
    if (!FileExists(destination)) {
        if (!RecordFileCreation(destination) || !MoveFileA(temporary, destination))
            return 0;
        FileCreated();
        return 1;
    }
    if (!FreeNameBeside(destination, "old", aside))
        return 0;
    JournalRecord record;
    JournalStart(&record, JournalFileReplaced);
    JournalAddText(&record, destination);
    JournalAddText(&record, aside);
    if (!Record(record, FlushAtOnce))
        return 0;
    if (!MoveFileA(destination, aside))
        return 0;
    if (!MoveFileA(temporary, destination)) {
        MoveFileA(aside, destination);
        return 0;
    }
    ChangeMade();
    // Without a transaction nothing could bring the old file back: it goes now.
    if (!Run.open) {
        SetFileAttributesA(aside, FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(aside);
    }
    return 1;
}

int ClearForWriting(const char* path, char (&aside)[WorkBufferSize])
{
    aside[0] = '\0';
    if (FolderThere(path))
        return 0;
    if (!FileExists(path))
        return RecordFileCreation(path);
    // Without a transaction the file is written over, as it always was.
    if (!Run.open)
        return 1;
    if (!FreeNameBeside(path, "old", aside))
        return 0;
    JournalRecord record;
    JournalStart(&record, JournalFileReplaced);
    JournalAddText(&record, path);
    JournalAddText(&record, aside);
    if (!Record(record, FlushAtOnce) || !MoveFileA(path, aside)) {
        aside[0] = '\0';
        return 0;
    }
    ChangeMade();
    return 1;
}

void WrittenInPlace(const char* path, const char* aside, bool written)
{
    if (written) {
        FileCreated();
        return;
    }
    if (aside && aside[0] != '\0')
        PutBack(path, aside);
}

int RecordServiceCreation(const char* serviceName)
{
    return RecordPath(JournalServiceCreated, serviceName, FlushAtOnce);
}

void ServiceCreated()
{
    if (Run.open)
        ChangeMade();
}

// ---------------------------------------------------------------------------
// JournaledKey

bool JournaledKey::Create(HKEY root, const char* path, REGSAM access)
{
    root_ = root;
    path_[0] = '\0';
    size_t length = path ? strlen(path) : 0;
    if (length == 0 || length >= sizeof path_)
        return false;
    memcpy(path_, path, length + 1);
    if (key_.Open(root, path, access))
        return true;

    // Each missing key from the first one on, recorded before it is made.
    char partial[WorkBufferSize];
    for (size_t end = 0; end <= length; ++end) {
        if (end < length && path[end] != '\\')
            continue;
        memcpy(partial, path, end);
        partial[end] = '\0';
        if (end == 0)
            continue;
        RegistryKey existing;
        if (existing.Open(root, partial, KEY_QUERY_VALUE))
            continue;
        JournalRecord record;
        JournalStart(&record, JournalKeyCreated);
        JournalAddNumber(&record, RootNumber(root));
        JournalAddText(&record, partial);
        if (!Record(record, FlushAtOnce))
            return false;
        bool created = false;
        if (!existing.Create(root, partial, KEY_QUERY_VALUE, &created))
            return false;
        if (created)
            ChangeMade();
    }
    return key_.Open(root, path, access);
}

bool JournaledKey::SetValue(const char* name, DWORD type, const void* data, DWORD size)
{
    if (!key_.IsOpen())
        return false;
    if (Run.open) {
        // The earlier data, read whole (a value larger than a record can
        // carry cannot be brought back, so it is not written over).
        DWORD oldType = 0;
        DWORD oldSize = 0;
        LONG asked = RegQueryValueExA(key_.Get(), name, nullptr, &oldType, nullptr, &oldSize);
        JournalRecord record;
        JournalStart(&record, JournalValueSet);
        JournalAddNumber(&record, RootNumber(root_));
        JournalAddText(&record, path_);
        JournalAddText(&record, name && name[0] ? name : nullptr);
        HeapBlock old;
        if (asked == ERROR_SUCCESS) {
            if (oldSize > JournalBodyLimit - WorkBufferSize - 64)
                return false;
            if (!old.Allocate(oldSize ? oldSize : 1))
                return false;
            DWORD got = oldSize;
            if (RegQueryValueExA(key_.Get(), name, nullptr, &oldType, old.bytes, &got) != ERROR_SUCCESS)
                return false;
            JournalAddNumber(&record, oldType);
            JournalAddBytes(&record, old.bytes, got);
        } else {
            JournalAddBytes(&record, nullptr, 0);
            JournalAddBytes(&record, nullptr, 0);
        }
        if (!Record(record, FlushAtOnce))
            return false;
    }
    if (RegSetValueExA(key_.Get(), name, 0, type, static_cast<const BYTE*>(data), size) != ERROR_SUCCESS)
        return false;
    if (Run.open)
        ChangeMade();
    return true;
}

bool JournaledKey::SetText(const char* name, const char* text)
{
    return SetValue(name, REG_SZ, text, static_cast<DWORD>(strlen(text) + 1));
}

bool JournaledKey::SetNumber(const char* name, DWORD value)
{
    return SetValue(name, REG_DWORD, &value, sizeof value);
}
