#include "SetupState.h"

HINSTANCE InstanceHandle = nullptr;
int IsWindowsNT = 0;
PackageHandle* SetupPackage = nullptr;
char SetupProgramPath[WorkBufferSize] = "";
char* LicenseText = nullptr;
int UpdateMode = 0;
int NoLicense = 1;
int NoUninstall = 1;
int RebootRequested = 0;
int LoggingEnabled = 1;
int CopyError = 0;
HWND WizardWindow = nullptr;
HWND ProgressBarWindow = nullptr;
char InstallDir[SetupPathSize] = "";
char ProgramFilesPath[SetupPathSize] = "";
char LogFilePath[SetupPathSize] = "";
int UnattendedMode = 0;

void ResetSetupState()
{
    IsWindowsNT = 0;
    SetupPackage = nullptr;
    SetupProgramPath[0] = '\0';
    LicenseText = nullptr;
    UpdateMode = 0;
    NoLicense = 1;
    NoUninstall = 1;
    RebootRequested = 0;
    LoggingEnabled = 1;
    CopyError = 0;
    WizardWindow = nullptr;
    ProgressBarWindow = nullptr;
    InstallDir[0] = '\0';
    ProgramFilesPath[0] = '\0';
    LogFilePath[0] = '\0';
    UnattendedMode = 0;
}
