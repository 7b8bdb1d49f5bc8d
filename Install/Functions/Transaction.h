// The installation as a transaction.  An installation that does not
// complete, for whatever reason (install returned 0, the setup was killed or
// crashed, the machine lost power), leaves the machine exactly as it was
// before it started.
//
// Before its first change the run opens a journal (Journal.h) in a folder
// that only administrators can write (JournalFolderName below the Windows
// folder), copies a recovery program beside it and registers that program
// under RunOnce, so that Windows rolls the run back at its next start if the
// run never gets to its end.  Every change of the run is recorded in the
// journal before it is made (write-ahead): a folder or file created, a file
// replaced (the old one is moved aside in its own folder, a rename, and comes
// back on rollback), a registry key created, a value written (its earlier
// data kept), a service created.  On success the run commits: the files moved
// aside are deleted and the journal, the recovery program and its RunOnce
// value go.  On failure it rolls back: the changes are undone newest first,
// and then the same three go.
//
// The install log is written as always, once, at the end of a successful run;
// a failed run never writes it, so an earlier installation's log stays as it
// was.
//
// The journaled operations below work the same without a transaction (the
// unit tests call built-ins on their own, and the test build can switch the
// journal off to measure it): they make the change and record nothing.
#ifndef VELLMARK_TRANSACTION_H
#define VELLMARK_TRANSACTION_H

#include <windows.h>

#include <cstdint>

#include "Journal.h"
#include "PathText.h"
#include "RegistryKey.h"

// The folder of the journals below the Windows folder.
constexpr char JournalFolderName[] = "Vellmark";
// The key whose values Windows runs once at its next start.
constexpr char RunOnceKeyPath[] = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
// The switch of the recovery program: "/rollback JOURNAL".
constexpr char RecoverySwitch[] = "/rollback";

// What a run's journal names in its first record.
struct TransactionNames {
    const char* company;      // null where the setting is missing
    const char* product;
    const char* installDir;
    const char* logPath;
};

// Where the recovery program comes from: the package's uninstaller (signed
// with the setup, when the publisher signs), or else the image of the setup
// program itself, without its package.  Both run the rollback with
// RecoverySwitch.
struct RecoveryImage {
    const uint8_t* bytes;
    uint32_t size;
};

// Begins the run's transaction: the journal, the recovery program and its
// RunOnce value, and the folders this run created on the way to InstallDir
// before the journal existed (the Destination folder page and the unattended
// setup make the installation folder first).  1 when the transaction is
// open; 0 when it cannot be (the journal folder cannot be written): then
// nothing has been changed, and the run must not start.  With the test hook
// "no-journal" nothing is begun and the result is 1.
int BeginTransaction(const TransactionNames& names, const RecoveryImage& recovery);

// Whether a transaction is open.
bool TransactionOpen();

// Ends the transaction after a successful run: the files moved aside are
// deleted, then the RunOnce value, the recovery program and the journal.
void CommitTransaction();

// Ends it after a failed run: every change is undone, newest first, and
// then the RunOnce value, the recovery program and the journal go.
void RollBackTransaction();

// The records and flushes of the last run's journal (the installation
// benchmark counts them).
uint32_t TransactionRecords();
uint32_t TransactionFlushes();

// ---------------------------------------------------------------------------
// Journaled changes.  Each returns 1 when it made its change (or had none to
// make) and 0 when it did not: also when the journal could not take its
// record, since a change the journal does not know could not be undone.

// Folders: called by CreateDirectoryTree for each folder it creates.  Before
// the transaction the folder is remembered, and the transaction records it
// when it begins when it lies on the way to InstallDir.
int RecordFolderCreation(const char* path);
// After the folder was created (the crash hook counts it).
void FolderCreated();

// A file the run is about to create where none is.  After its creation
// failed because another file appeared there first, FileNotCreated says that
// the file is not the run's.
int RecordFileCreation(const char* path);
void FileNotCreated(const char* path);
// After the file was created.
void FileCreated();

// A new file beside `destination` for its new contents: a name of its own in
// the same folder, recorded, and the file created empty (the caller writes
// and closes it).  0 when no such file can be made; `temporary` then holds
// nothing to remove.
int CreateTemporaryBeside(const char* destination, char (&temporary)[WorkBufferSize], HANDLE* file);

// Puts the complete file `temporary` in the place of `destination`: the file
// that is there is moved aside first (recorded, and back on rollback), then
// the temporary file takes its name.  1 on success; 0 with `destination` as it
// was (the caller removes `temporary`).
int ReplaceWithTemporary(const char* temporary, const char* destination);

// Moves the file at `path`, when there is one, aside before the run writes its
// own there in place (a shortcut saved over an earlier one): recorded, back
// on rollback, deleted on commit; `aside` gets its name (empty when nothing
// was there).  Where no file is, records the file's creation instead.  1 when
// the path is free for the run's file.  When the run's file could not be
// written after all, WrittenInPlace(path, aside, false) puts the earlier file
// back at once; after a written one, WrittenInPlace(path, aside, true).
int ClearForWriting(const char* path, char (&aside)[WorkBufferSize]);
void WrittenInPlace(const char* path, const char* aside, bool written);

// A registry key the run writes to: created with its missing parents, each
// key recorded before it is made, and its values written with their earlier
// data recorded.
class JournaledKey {
public:
    JournaledKey() = default;
    JournaledKey(const JournaledKey&) = delete;
    JournaledKey& operator=(const JournaledKey&) = delete;

    // Opens the key `path` below `root` (HKEY_LOCAL_MACHINE or
    // HKEY_CURRENT_USER), creating what is missing.  false when it cannot be
    // had.
    bool Create(HKEY root, const char* path, REGSAM access = KEY_QUERY_VALUE | KEY_SET_VALUE);
    // A value of any type; `name` null or "" is the default value.
    bool SetValue(const char* name, DWORD type, const void* data, DWORD size);
    bool SetText(const char* name, const char* text);
    bool SetNumber(const char* name, DWORD value);
    RegistryKey& Key() { return key_; }

private:
    HKEY root_ = nullptr;
    char path_[WorkBufferSize] = "";
    RegistryKey key_;
};

// A service the run is about to create; after it was created, ServiceCreated.
int RecordServiceCreation(const char* serviceName);
void ServiceCreated();

// ---------------------------------------------------------------------------
// Rolling back a journal: the undo of a run and the recovery after a crash.

// What a rollback found.
struct RollbackResult {
    bool committed;                        // the run had committed: only its cleanup was left
    uint32_t changes;                      // changes undone
    char product[2 * SettingValueSize];    // "Company Product" as the journal names them
};

// Rolls back (or, for a committed run, completes) the run the journal `path`
// describes, then deletes the journal, the recovery program (unless it is
// `runningProgram`, the caller's own image, which cannot be deleted while it
// runs) and the RunOnce value its first record names.  false when the file
// is no journal of ours.
bool RollBackJournal(const char* path, const char* runningProgram, RollbackResult* result);

// The folder of the journals, `%WINDIR%\Vellmark`.  0 when it does not fit.
int BuildJournalFolder(char (&folder)[WorkBufferSize]);

#endif
