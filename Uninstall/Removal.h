// The removal of the product an install log names: what the uninstaller's
// Remove button does, and what an unattended removal (/S) does without the
// dialog.  It works on TheInstallLog and RemovedProduct (RemovalDialog.h),
// loaded by start-up, and on LogFilePath.
#ifndef VELLMARK_REMOVAL_H
#define VELLMARK_REMOVAL_H

#include "InstallLog.h"
#include "PathText.h"
#include "Playback.h"
#include "SetupState.h"
#include "Settings.h"

// The first File entry whose file is in use (held open by a program), or
// null.  Nothing is removed while there is one.
const LogEntry* FindFileInUse(const InstallLog* list);

// Plays the log back with the product's names, its folder and its log file
// (Playback.h), the preference keys too when `deleteSettings` is set;
// `progress` (may be null) is called at each step of the playback.  When the
// product's uninstall entry registers another log (this one is older or
// orphaned), that live log is read too, and what it records stays with the
// registration.  Returns what the playback did: a driver that went (Windows
// should restart), another installation's registration left in place.
PlaybackResult RemoveLoggedProduct(bool deleteSettings, void (*progress)(void* context), void* progressContext);

// The journal of the removal of the log at `logPath` (in the installations'
// journal folder, named after the path): it records each count the removal
// releases before it releases it, and goes when the removal has ended.  1
// with `path` filled.
int BuildRemovalJournalPath(const char* logPath, char (&path)[WorkBufferSize]);

// The names of a product whose removal was interrupted after its log was
// deleted (a removal deletes the log before the folders and the
// registration): copies, since there is no log to point into.
struct UninstallProductNames {
    char company[SettingValueSize];
    char product[SettingValueSize];
    char installDir[SetupPathSize];
};

// Whether a removal of the log at `logPath` was interrupted: its journal is
// there.  Fills `names` from it.
bool InterruptedRemovalOf(const char* logPath, UninstallProductNames* names);

// Completes such a removal: the installation folder and its empty parents,
// the Start-menu folders when empty, the product key and the uninstall
// entry (when they are this log's), then the journal.
void CompleteInterruptedRemoval(const UninstallProductNames& names);

// The transcript lines of an unattended removal for what it left in place.
void TranscribeKeptRegistration(const PlaybackResult& result);

#endif
