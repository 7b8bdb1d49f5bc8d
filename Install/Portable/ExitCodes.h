// The exit codes of an unattended setup or removal (/S), by which whoever
// deploys tells what happened.  Where Windows Installer has a number for the
// outcome, that number is used: deployment tools already know it.  Every
// other stop has the Windows error number whose text (net helpmsg N) says
// what went wrong.
//
// Interactive runs keep their codes: the setup ends with 0, or 1 when the
// package has no Install.ini; the uninstaller with 0, or 1 after a start-up
// failure.
#ifndef VELLMARK_EXITCODES_H
#define VELLMARK_EXITCODES_H

enum ExitCode {
    ExitSuccess = 0,
    ExitRestartNeeded = 3010,         // ERROR_SUCCESS_REBOOT_REQUIRED: done; Windows must restart
    ExitInstallFailed = 1603,         // ERROR_INSTALL_FAILURE: install returned 0, every change undone
    ExitPackageDamaged = 1620,        // ERROR_INSTALL_PACKAGE_INVALID: the package is damaged
    ExitSameVersion = 1638,           // ERROR_PRODUCT_VERSION: this version is registered already
    ExitInitDeclined = 1602,          // ERROR_INSTALL_USEREXIT: the script's init returned 0
    ExitUsage = 1639,                 // ERROR_INVALID_COMMAND_LINE
    ExitWrongWindows = 1150,          // ERROR_OLD_WIN_VERSION: Win32s, NT before 4.0, NoWin95 on 95
    ExitNoRights = 5,                 // ERROR_ACCESS_DENIED: HKLM not writable, service manager refused
    ExitDriverDatabase = 1065,        // ERROR_DATABASE_DOES_NOT_EXIST: the service manager failed otherwise
    ExitScriptRejected = 13,          // ERROR_INVALID_DATA: Install.ini does not parse or is too large
    ExitScriptMissing = 2,            // ERROR_FILE_NOT_FOUND: the package has no Install.ini
    ExitNoMemory = 8,                 // ERROR_NOT_ENOUGH_MEMORY
    ExitDestinationNotWritable = 82,  // ERROR_CANNOT_MAKE: no file can be created in the folder
    ExitInstallInProgress = 1618,     // ERROR_INSTALL_ALREADY_RUNNING: another setup or removal runs
    // The uninstaller's own.
    ExitNotInstalled = 1605,          // ERROR_UNKNOWN_PRODUCT: there is no log at that path
    ExitLogRefused = 1610,            // ERROR_BAD_CONFIGURATION: not a log, cut, without a product, changed
    ExitFilesInUse = 32,              // ERROR_SHARING_VIOLATION: a file is in use; nothing was removed
};

#endif
