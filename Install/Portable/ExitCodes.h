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

// What each code means, for the unattended setup and for the unattended
// removal ("" where that program never ends so; "the same" where the removal
// means what the setup does).  The README's table "Exit codes of /S runs" is
// these rows in this order, word for word (ExitCodesTest holds them alike),
// and `vellmark try` prints them beside the codes it sees.
struct ExitCodeMeaning {
    int code;
    const char* setup;
    const char* removal;
};

inline constexpr ExitCodeMeaning ExitCodeMeanings[] = {
    {ExitSuccess, "installed", "removed"},
    {ExitRestartNeeded, "installed; Windows must be restarted (`setreboot`, a driver)",
     "removed; a driver went, Windows must be restarted"},
    {ExitInstallFailed,
     "the installation failed (`install` returned 0, or its log could not be written) and every change it made was "
     "undone; an earlier installation stays as it was",
     ""},
    {ExitPackageDamaged, "the package is damaged (\"File corrupted\", \"Internal Error 1\", a damaged `Install.ini`)", ""},
    {ExitSameVersion,
     "this same version is registered already (no `init`; an older or a newer registered version goes on)", ""},
    {ExitInitDeclined, "`init` returned 0", ""},
    {ExitUsage, "usage error: an unknown switch, a bad `/D=` or `/LOG=`, a transcript file that cannot be created",
     "usage error: no log path, or another switch"},
    {ExitWrongWindows, "this Windows is not supported (Win32s, NT before 4.0, `NoWin95` on Windows 95)", ""},
    {ExitNoRights,
     "no administrator rights: `HKEY_LOCAL_MACHINE` not writable, or the service control manager refused access "
     "(driver packages, NT family)",
     "the same"},
    {ExitDriverDatabase, "the service control manager failed for another reason (\"Can't open driver database!\")",
     "the same"},
    {ExitScriptRejected, "the script was rejected (it does not parse, or is larger than 16 MB)", ""},
    {ExitScriptMissing, "the package has no `Install.ini`", ""},
    {ExitNoMemory, "not enough memory", ""},
    {ExitDestinationNotWritable,
     "the destination folder is not writable (or the default one would be too long, or is no full path)", ""},
    {ExitInstallInProgress, "another setup or removal is running: one installation at a time", "the same"},
    {ExitNotInstalled, "", "there is no log at that path (the product is not installed)"},
    {ExitLogRefused, "",
     "the log is refused: not a log, cut inside a record, without a product, or changed since the setup wrote it"},
    {ExitFilesInUse, "", "a file of the product is in use; nothing was removed"},
};

#endif
