// The installation run: the script function install inside a logged
// transaction, then the registration of the product or the undo.
#include "Installation.h"

#include <cstring>

#include "InstallLog.h"
#include "LogDigest.h"
#include "PathMacros.h"
#include "Playback.h"
#include "Registration.h"
#include "Script.h"
#include "SetupState.h"
#include "Settings.h"

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

int RunInstallation()
{
    // A missing Company or Product setting counts as the empty text.
    ProductSettings names;
    const char* company = names.company ? names.company : "";
    const char* product = names.product ? names.product : "";

    // Without a log nothing could be undone or uninstalled: nothing is done.
    if (!BuildLogFilePath())
        return 0;

    // A log of an earlier installation at the same path is loaded and grows;
    // a missing one gives an empty list.  A log that differs from the digest
    // its registration keeps was changed by someone else: it is neither
    // played back nor grown, and the new log starts afresh.
    if (LogMatchesRegistration(LogFilePath))
        LoadInstallLog(&TheInstallLog, LogFilePath);
    else
        ReleaseInstallLog(&TheInstallLog);
    LogAddProduct(&TheInstallLog, company, product, InstallDir);
    CreateDirectoryTree(InstallDir);

    int result = 1;
    if (ScriptFunctionExists("install"))
        result = CallScriptFunction("install") != 0 ? 1 : 0;

    // The log is written in both outcomes before anything else happens.
    LogSaveStatus saved = WriteInstallLog(&TheInstallLog, LogFilePath);
    if (result) {
        // Measured now: files that a version check kept count with the size they have.
        uint64_t installedBytes = MeasureLoggedFiles(&TheInstallLog);
        ReleaseInstallLog(&TheInstallLog);
        RegisterUninstaller(installedBytes);
        RegisterProductKey();
        RegisterLogDigest(LogFilePath);
    } else if (saved == LogSaveWritten) {
        ReleaseInstallLog(&TheInstallLog);
        UndoInstallLog();
    } else {
        // The log could not be written: the undo plays the changes of this
        // run from memory rather than an older file that lacks them.
        UndoLoadedLog(&TheInstallLog);
        ReleaseInstallLog(&TheInstallLog);
    }
    return result;
}
