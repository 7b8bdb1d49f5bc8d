// How a run of the setup program ends, and the unattended installation.
#ifndef VELLMARK_SETUPOUTCOME_H
#define VELLMARK_SETUPOUTCOME_H

// Every end of a run.  Each has its exit code for an interactive run and for
// an unattended one (Setup.cpp's table, ExitCodes.h).
enum SetupOutcome {
    SetupGoesOn = 0,              // not an end: the next step follows
    SetupWizardClosed,            // the wizard ran, whatever its end
    SetupInstalled,               // unattended: installed (and registered)
    SetupInstallFailed,           // unattended: install returned 0; every change undone
    SetupUsageError,              // unattended: a command line that cannot be followed
    SetupWrongWindows,            // Win32s, NT before 4.0, NoWin95 on Windows 95
    SetupPackageNoMemory,         // the package cannot be opened for want of memory
    SetupPackageDamaged,          // the package does not verify or cannot be opened
    SetupScriptMissing,           // the package has no Install.ini
    SetupScriptNoMemory,          // Install.ini cannot be extracted for want of memory
    SetupScriptDamaged,           // Install.ini does not inflate or verify
    SetupScriptRejected,          // the script does not parse, or is too large
    SetupNoRights,                // HKEY_LOCAL_MACHINE not writable, service manager refused
    SetupDriverDatabase,          // the service manager failed for another reason
    SetupInitDeclined,            // init returned 0
    SetupSameVersion,             // no init, and this version is registered
    SetupDestinationNotWritable,  // unattended: no file can be created in the folder
    SetupInstallInProgress,       // another setup or removal runs
};

// The installation of an unattended run, after the start checks: the
// licence counts as accepted, the destination is `installDir` or, when it
// is empty, the default folder of the Destination folder page; the folder is
// created and must pass the page's write test; then the installation runs
// as from the Install page.  Nothing is shown; the transcript says what
// happened.  Returns SetupInstalled, SetupInstallFailed or
// SetupDestinationNotWritable.
SetupOutcome InstallUnattended(const char* installDir);

#endif
