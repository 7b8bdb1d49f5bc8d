// Playing an install log back: the engine that removes what the log records,
// for the uninstaller's removal (its dialog and /S), with an options record
// for what differs between them.  (A failed installation is undone from its
// own journal instead, Transaction.h: only the changes of that run, and an
// earlier installation left as it was.)
#ifndef VELLMARK_PLAYBACK_H
#define VELLMARK_PLAYBACK_H

#include "InstallLog.h"

struct PlaybackOptions {
    // The product's names, which name its keys and Start-menu folders: the
    // log's first Product entry.  Null where there is none.
    const char* company;
    const char* product;
    // The installation folder, removed with its empty parents.
    const char* installDir;
    // The log file, deleted after the first pass.
    const char* logPath;
    // Whether PrefsKey entries go too (the uninstaller, when the user keeps
    // "Delete program settings" ticked); the undo leaves them.
    bool deletePrefsKeys;
    // The log of the product's live installation, the one its uninstall
    // entry registers, when that is another log than this one (an older or
    // orphaned log is being played back): a file, folder or key that it
    // records too stays, since the live installation still has it.  Null
    // when there is none.
    const InstallLog* liveLog;
    // Called before the reference count of a SharedFile or Driver entry is
    // released, with the entry's index in list order (may be null).  false
    // says that an earlier removal of the same log, interrupted, released it
    // already: a count released twice would take the file from another
    // product that holds it.  The entry's count is then left alone (a shared
    // file whose count is gone altogether is still deleted).
    bool (*releasing)(uint32_t index, void* context);
    void* releasingContext;
    // Called once after each entry of the first pass, after each Directory
    // entry, after the Start-menu folders and at the end (may be null).
    void (*progress)(void* context);
    void* progressContext;
};

// What a playback did that its caller reports.
struct PlaybackResult {
    bool driverRemoved;        // a driver's count reached zero and it was removed
    // The registration of another installation of the product, left in place.
    bool uninstallEntryKept;   // the uninstall entry registers another log
    bool productKeyKept;       // the product key's "Path" names another folder
    unsigned entriesKept;      // files, folders and keys the live log records too
};

// Removes what `list` records, in this order: files, shared files, drivers,
// user keys, registry values, file types and PATH folders (list order;
// entries of kinds this build does not know are passed over); the log file; the Directory entries (list
// order, empty ones only); the empty folders between the installation folder
// and the Directory entries inside it; the installation folder and its empty
// parents;
// the product's and the company's Start-menu folders when empty; the
// product key's values and key; the uninstall entry.  Nothing stops it: a
// deletion that fails is skipped.  The list is left as it was.
//
// The registration goes only when it belongs to the log being played back:
// the uninstall entry when its UninstallString names this log, the product
// key unless its "Path" names another folder than this installation's.  A
// newer installation of the same product elsewhere keeps its place in the
// list of installed programs and its version, and so do the files, folders
// and keys that its log (options.liveLog) records too.
PlaybackResult PlayBackInstallLog(const InstallLog* list, const PlaybackOptions& options);

// Lowers the reference count of `sharedName` in the shared files key of the
// product named by company/product (see BuildSharedFilesKeyPath); deletes the
// value at zero and the key when it holds no value any more.  Returns 1 when
// the count reached zero by this call; 0 otherwise, also when there was no
// count (a file that was on the system before is never removed).
int ReleaseSharedReference(const char* sharedName, const char* company, const char* product);

// Releases the driver's reference; at zero removes its service (NT family),
// its three service keys (every family), waits 500 ms and deletes the file.
// Returns 1 when the driver was removed.  A serviceName that is no service
// name (IsServiceName: empty, with a backslash, too long) is refused at once.
int RemoveDriver(const char* driverPath, const char* serviceName, const char* company, const char* product);

// Deletes the key `keyPath` under HKEY_CURRENT_USER with all its subkeys.  A
// subkey that cannot be deleted is passed over, so the walk always ends.  A
// path with fewer than two names (empty, or a top-level key such as
// "Software") is refused: no product keeps its settings there, and a damaged
// or empty entry must not empty the user's registry.
void DeleteUserKeyTree(const char* keyPath);

#endif
