// Uninstall.exe: the uninstaller.  The setup copies it into the Windows folder
// as vuninst.exe and registers it with the product's install log as its
// command line.  It reads the log, checks that it may remove what the log
// records, asks once, removes the product and offers to restart Windows when
// a driver went with it.
//
// "/S LOGPATH" removes unattended: no dialog and no message box, the
// product's settings deleted as with the box ticked, Windows never
// restarted; the exit code tells how it went (ExitCodes.h).
#include <windows.h>
#include <commdlg.h>

#include <cstring>

#include "ExitCodes.h"
#include "InstallLog.h"
#include "LogDigest.h"
#include "MessageBox.h"
#include "Removal.h"
#include "RemovalDialog.h"
#include "RestartWindows.h"
#include "SetupState.h"
#include "StartChecks.h"
#include "SystemLibrary.h"
#include "UninstallLog.h"
#include "UninstallResource.h"
#include "WindowsVersionQuery.h"

namespace {

// Lets the user pick the log: the open dialog proposes install.log in the
// current folder, which is set back afterwards (the dialog may change it).
// Returns 1 with LogFilePath set, 0 when the user cancelled (or the dialog
// cannot be shown).
int ChooseLogFile()
{
    typedef BOOL(WINAPI * GetOpenFileNameFn)(OPENFILENAMEA*);
    GetOpenFileNameFn getOpenFileName = SystemFunction<GetOpenFileNameFn>("comdlg32.dll", "GetOpenFileNameA");
    if (!getOpenFileName)
        return 0;

    char folder[WorkBufferSize];
    DWORD length = GetCurrentDirectoryA(sizeof folder, folder);
    if (length == 0 || length >= sizeof folder)
        folder[0] = '\0';

    // The proposal: the current folder, "\" and "install.log" (only the name
    // when the folder would not fit).
    static const char ProposedName[] = "install.log";
    char file[SetupPathSize] = "";
    size_t folderLength = strlen(folder);
    if (folderLength > 0 && folderLength + 1 + sizeof ProposedName <= sizeof file) {
        memcpy(file, folder, folderLength);
        file[folderLength] = '\\';
        memcpy(file + folderLength + 1, ProposedName, sizeof ProposedName);
    } else {
        memcpy(file, ProposedName, sizeof ProposedName);
    }

    OPENFILENAMEA dialog;
    memset(&dialog, 0, sizeof dialog);
    // The size every Windows from 95 and NT 4.0 on accepts.
    dialog.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    dialog.hwndOwner = NULL;
    dialog.lpstrFilter = "Log files (*.log)\0*.log\0";
    dialog.lpstrFile = file;
    dialog.nMaxFile = sizeof file;
    dialog.Flags = OFN_EXPLORER | OFN_NONETWORKBUTTON | OFN_NOREADONLYRETURN | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST;
    BOOL chosen = getOpenFileName(&dialog);
    if (folder[0] != '\0')
        SetCurrentDirectoryA(folder);
    if (!chosen)
        return 0;
    memcpy(LogFilePath, file, sizeof LogFilePath);
    return 1;
}

// How a run of the uninstaller ends, with its exit code when the dialog
// asked (interactive) and when /S removed without asking (unattended).
enum UninstallOutcome {
    UninstallRemoved,          // removed (the restart question or the completion message follow)
    UninstallLeft,             // Exit, the close box, or no log chosen: nothing removed
    UninstallUsageError,       // /S without a path, or with another switch
    UninstallPathRefused,      // a path longer than the log path buffer
    UninstallNoLog,            // no file at the log's path
    UninstallLogBad,           // not a log, cut, no product, changed since the setup wrote it
    UninstallNoRights,         // HKEY_LOCAL_MACHINE not writable, service manager refused
    UninstallDriverDatabase,   // the service manager failed for another reason
    UninstallFilesInUse,       // unattended: a file of the product is in use
};

struct UninstallOutcomeRow {
    UninstallOutcome outcome;
    int interactiveCode;
    int unattendedCode;
};

const UninstallOutcomeRow UninstallOutcomeTable[] = {
    {UninstallRemoved, 0, ExitSuccess},
    {UninstallLeft, 0, ExitSuccess},
    {UninstallUsageError, 1, ExitUsage},
    {UninstallPathRefused, 1, ExitUsage},
    {UninstallNoLog, 1, ExitNotInstalled},
    {UninstallLogBad, 1, ExitLogRefused},
    {UninstallNoRights, 1, ExitNoRights},
    {UninstallDriverDatabase, 1, ExitDriverDatabase},
    {UninstallFilesInUse, 1, ExitFilesInUse},
};

int ExitCodeOf(UninstallOutcome outcome)
{
    for (const UninstallOutcomeRow& row : UninstallOutcomeTable)
        if (row.outcome == outcome)
            return UnattendedMode ? row.unattendedCode : row.interactiveCode;
    return 1;
}

// A log that cannot be played back: its message, and why.
UninstallOutcome RefuseLog(UninstallLogStatus status)
{
    ReportError(UninstallLogMessage(status));
    return status == UninstallLogMissing && GetFileAttributesA(LogFilePath) == INVALID_FILE_ATTRIBUTES
               ? UninstallNoLog
               : UninstallLogBad;
}

// From the command line to the end of the dialog, or of the unattended
// removal (which needs no dialog: the box stays ticked, so the product's
// settings go too).
UninstallOutcome RunUninstall(const char* commandLine)
{
    bool unattended = false;
    UninstallCommandLineStatus command =
        TakeUninstallCommandLine(commandLine, LogFilePath, sizeof LogFilePath, &unattended);
    UnattendedMode = unattended ? 1 : 0;
    if (command == UninstallPathTooLong) {
        ReportError(UninstallLogMessage(UninstallLogNotALog));
        return UninstallPathRefused;
    }
    if (command != UninstallCommandLineOk)
        return UninstallUsageError;
    if (LogFilePath[0] == '\0' && !ChooseLogFile())
        return UninstallLeft;

    UninstallLogStatus status = OpenUninstallLog(&TheInstallLog, LogFilePath, &RemovedProduct);
    // A log that differs from the digest its uninstall entry keeps was changed
    // after the setup wrote it: whoever may write the installation folder
    // must not choose what an administrator's removal deletes.
    if (status == UninstallLogReady && !LogMatchesRegistration(LogFilePath))
        status = UninstallLogCorrupted;
    if (status != UninstallLogReady)
        return RefuseLog(status);
    if (LogRecordsDriver(&TheInstallLog) && IsWindowsNT) {
        ServiceManagerCheck manager = CheckServiceManager();
        if (manager != ServiceManagerReady)
            return manager == ServiceManagerDenied ? UninstallNoRights : UninstallDriverDatabase;
    }
    if (!RegistryWritable())
        return UninstallNoRights;

    if (UnattendedMode) {
        if (FindFileInUse(&TheInstallLog))
            return UninstallFilesInUse;
        if (RemoveLoggedProduct(true, nullptr, nullptr))
            RebootNeeded = 1;
        return UninstallRemoved;
    }
    INT_PTR result = DialogBoxParamA(InstanceHandle, MAKEINTRESOURCEA(IDD_UNINSTALL), NULL, TableDialogProc,
                                     reinterpret_cast<LPARAM>(RemovalMessageTable));
    return result == 1 ? UninstallRemoved : UninstallLeft;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int)
{
    // Nothing is loaded from the program's own folder from here on.
    StartProgramLibraries();
    InstanceHandle = instance;

    IsWindowsNT = QueryWindowsVersion().NTFamily() ? 1 : 0;

    UninstallOutcome outcome = RunUninstall(commandLine);
    // The product's names point into the list: they go with it.
    RemovedProduct = UninstallProduct();
    SaveInstallLog(&TheInstallLog, nullptr);
    if (outcome != UninstallRemoved)
        return ExitCodeOf(outcome);

    // An unattended removal never restarts Windows: the exit code says that
    // it should be.
    if (UnattendedMode)
        return RebootNeeded ? ExitRestartNeeded : ExitSuccess;
    if (RebootNeeded) {
        if (ShowMessage(NULL, "In order to conform changes Windows needs to be rebooted.\nDo you want to do it now?",
                        "Uninstall", MB_YESNO | MB_ICONQUESTION) == IDYES)
            RestartWindows();
    } else {
        ShowMessage(NULL, "Removing completed succesfully.\nThere is no need to reboot Windows.", "Uninstall",
                    MB_ICONINFORMATION);
    }
    return 0;
}
