// Uninstall.exe: the uninstaller.  The setup copies it into the Windows folder
// as vuninst.exe and registers it with the product's install log as its
// command line.  It reads the log, checks that it may remove what the log
// records, asks once, removes the product and offers to restart Windows when
// a driver went with it.
#include <windows.h>
#include <commdlg.h>

#include <cstring>

#include "InstallLog.h"
#include "LogDigest.h"
#include "RemovalDialog.h"
#include "RestartWindows.h"
#include "SetupState.h"
#include "StartChecks.h"
#include "SystemLibrary.h"
#include "UninstallLog.h"
#include "UninstallResource.h"

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

// The error message of a failed start (no owner, "Error"); the uninstaller
// then ends with 1.
int StartFailed(const char* text)
{
    ReportError(text);
    return 1;
}

// From the log's path to the end of the dialog.  Returns the exit code;
// *removed is set when the dialog ended after a removal.
int RunUninstall(const char* commandLine, bool* removed)
{
    if (!TakeLogPath(commandLine, LogFilePath, sizeof LogFilePath))
        return StartFailed(UninstallLogMessage(UninstallLogNotALog));
    if (LogFilePath[0] == '\0' && !ChooseLogFile())
        return 0;

    UninstallLogStatus status = OpenUninstallLog(&TheInstallLog, LogFilePath, &RemovedProduct);
    // A log that differs from the digest its uninstall entry keeps was changed
    // after the setup wrote it: whoever may write the installation folder
    // must not choose what an administrator's removal deletes.
    if (status == UninstallLogReady && !LogMatchesRegistration(LogFilePath))
        status = UninstallLogCorrupted;
    if (status != UninstallLogReady)
        return StartFailed(UninstallLogMessage(status));
    if (LogRecordsDriver(&TheInstallLog) && IsWindowsNT && !ServiceManagerAvailable())
        return 1;
    if (!RegistryWritable())
        return 1;

    INT_PTR result = DialogBoxParamA(InstanceHandle, MAKEINTRESOURCEA(IDD_UNINSTALL), NULL, TableDialogProc,
                                     reinterpret_cast<LPARAM>(RemovalMessageTable));
    *removed = result == 1;
    return 0;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int)
{
    // Nothing is loaded from the program's own folder from here on.
    RestrictDllSearch();
    typedef void(WINAPI * InitCommonControlsFn)();
    if (InitCommonControlsFn init = SystemFunction<InitCommonControlsFn>("comctl32.dll", "InitCommonControls"))
        init();
    InstanceHandle = instance;

    OSVERSIONINFOA version;
    memset(&version, 0, sizeof version);
    version.dwOSVersionInfoSize = sizeof version;   // 148 bytes
    GetVersionExA(&version);
    IsWindowsNT = version.dwPlatformId == VER_PLATFORM_WIN32_NT ? 1 : 0;

    bool removed = false;
    int exitCode = RunUninstall(commandLine, &removed);
    // The product's names point into the list: they go with it.
    RemovedProduct = UninstallProduct();
    SaveInstallLog(&TheInstallLog, nullptr);
    if (!removed)
        return exitCode;

    if (RebootNeeded) {
        if (MessageBoxA(NULL, "In order to conform changes Windows needs to be rebooted.\nDo you want to do it now?",
                        "Uninstall", MB_YESNO | MB_ICONQUESTION) == IDYES)
            RestartWindows();
    } else {
        MessageBoxA(NULL, "Removing completed succesfully.\nThere is no need to reboot Windows.", "Uninstall",
                    MB_ICONINFORMATION);
    }
    return 0;
}
