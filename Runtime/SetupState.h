// The setup program's shared state: program-wide variables that the start-up
// code, the wizard and the built-ins read and write.  Flags are 32-bit signed
// integers; any non-zero value counts as set.
#ifndef VELLMARK_SETUPSTATE_H
#define VELLMARK_SETUPSTATE_H

#include <windows.h>

#include "Package.h"
#include "PathText.h"   // WorkBufferSize: the executable path and work buffers
#include "Settings.h"   // SetupScript: the text of Install.ini

constexpr size_t SetupPathSize = 512;     // InstallDir, ProgramFilesPath, LogFilePath

extern HINSTANCE InstanceHandle;
extern int IsWindowsNT;                 // 1 when GetVersionExA reports the NT platform
extern PackageHandle* SetupPackage;     // the open package, from start-up until the wizard has closed
extern char SetupProgramPath[WorkBufferSize];  // the file the package was opened from
extern char* LicenseText;               // License.txt, or null when the package has none
extern int UpdateMode;                  // setting Update, built-in setupdate
extern int NoLicense;                   // setting NoLicense; 1 when License.txt is missing
extern int NoUninstall;                 // setting NoUninstall, built-in setnouninstall
extern int RebootRequested;             // setreboot, installdriver, the Finished page
extern int LoggingEnabled;              // logon / logoff
extern int CopyError;                   // set by a failed copy; never cleared
extern HWND WizardWindow;               // the wizard's frame, null until it exists
extern HWND ProgressBarWindow;          // the Install page's progress bar, null until it exists
extern char InstallDir[SetupPathSize];
extern char ProgramFilesPath[SetupPathSize];
extern char LogFilePath[SetupPathSize];
// Set by /S: no wizard and no message box; what a box would say goes to the
// transcript (Transcript.h), and Windows is never restarted.
extern int UnattendedMode;

// Resets every variable above to its initial value (tests run several setups
// in one process).
void ResetSetupState();

#endif
