// The installation run: the script function install inside a logged
// transaction, then the registration of the product or the undo.
#include "Installation.h"

#include <cstdio>
#include <cstring>

#include "InstallLog.h"
#include "LogDigest.h"
#include "PathMacros.h"
#include "Recovery.h"
#include "Registration.h"
#include "Script.h"
#include "SetupState.h"
#include "Settings.h"
#include "Transaction.h"

int BuildLogFilePath()
{
    char product[SettingValueSize] = "";
    GetSetting("Product", product, sizeof product);

    // The LogPath setting (its macros expanded), or the installation folder.
    char folder[SetupPathSize];
    if (GetSetting("LogPath", folder, sizeof folder)) {
        if (!ExpandPathMacros(folder, sizeof folder))
            folder[0] = '\0';
    } else {
        memcpy(folder, InstallDir, sizeof folder);
    }
    PathText path;
    path.Append(folder);
    path.Append("\\");
    path.Append(product);
    path.Append(".log");
    return path.CopyTo(LogFilePath, sizeof LogFilePath);
}

namespace {

bool NotStarted = false;

// The log, written through the journal: the earlier log moved aside (and
// back on rollback), the new one written beside it and put in its place.
int WriteLogOfThisRun()
{
    char aside[WorkBufferSize];
    char temporary[WorkBufferSize];
    if (snprintf(temporary, sizeof temporary, "%s.tmp", LogFilePath) >= static_cast<int>(sizeof temporary) ||
        !RecordFileCreation(temporary) || !ClearForWriting(LogFilePath, aside))
        return 0;
    bool written = WriteInstallLog(&TheInstallLog, LogFilePath) == LogSaveWritten;
    WrittenInPlace(LogFilePath, aside, written);
    return written ? 1 : 0;
}

}  // namespace

bool InstallationNotStarted()
{
    return NotStarted;
}

int RunInstallation()
{
    NotStarted = false;
    // A missing Company or Product setting counts as the empty text.
    ProductSettings names;
    const char* company = names.company ? names.company : "";
    const char* product = names.product ? names.product : "";

    // Without a log nothing could be undone or uninstalled: nothing is done.
    if (!BuildLogFilePath())
        return 0;

    // A log of an earlier installation at the same path is loaded and grows;
    // a missing one gives an empty list.  A log that differs from the digest
    // its registration keeps was changed by someone else: it is not grown,
    // and the new log starts afresh.
    if (LogMatchesRegistration(LogFilePath))
        LoadInstallLog(&TheInstallLog, LogFilePath);
    else
        ReleaseInstallLog(&TheInstallLog);
    LogAddProduct(&TheInstallLog, company, product, InstallDir);

    // Nothing is changed before the journal can record it.
    RecoveryProgram recovery;
    TransactionNames run = {names.company, names.product, InstallDir, LogFilePath};
    if (!recovery.Load() || !BeginTransaction(run, recovery.Image())) {
        NotStarted = true;
        ReleaseInstallLog(&TheInstallLog);
        return 0;
    }
    CreateDirectoryTree(InstallDir);

    int result = 1;
    if (ScriptFunctionExists("install"))
        result = CallScriptFunction("install") != 0 ? 1 : 0;

    // Measured now: files that a version check kept count with the size they have.
    uint64_t installedBytes = result ? MeasureLoggedFiles(&TheInstallLog) : 0;
    // A product whose log cannot be written could never be removed: that
    // installation fails too.
    if (result && !WriteLogOfThisRun())
        result = 0;
    ReleaseInstallLog(&TheInstallLog);
    if (!result) {
        RollBackTransaction();
        return 0;
    }
    RegisterUninstaller(installedBytes);
    RegisterProductKey();
    RegisterLogDigest(LogFilePath);
    CommitTransaction();
    return 1;
}
