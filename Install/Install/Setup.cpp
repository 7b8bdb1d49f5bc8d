// Setup.exe: the main line of the setup program.  Checks the Windows version,
// opens the package appended to its own executable, loads and checks the
// setup script, runs the start checks and the script's init, shows the
// wizard, releases everything and restarts Windows when asked to.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "Installation.h"
#include "Package.h"
#include "RestartWindows.h"
#include "Script.h"
#include "SetupBuiltins.h"
#include "SetupState.h"
#include "Settings.h"
#include "StartChecks.h"
#include "SystemLibrary.h"
#include "Versions.h"
#include "Wizard.h"
#include "resource.h"

static char ExecutablePath[WorkBufferSize];

// Script errors are shown one box per report, without an owner.
static void ShowScriptError(const char* text, int /*position*/, void* /*context*/)
{
    MessageBoxA(NULL, text, "Script error", MB_OK);
}

// Non-zero to go on with the wizard, 0 to stop (the failing check has shown
// its message; a stop decided by init or by the installed version shows none).
static int RunStartChecks()
{
    int noWin95 = 0;
    GetSettingInt("Update", &UpdateMode);
    GetSettingInt("NoLicense", &NoLicense);
    GetSettingInt("NoUninstall", &NoUninstall);
    GetSettingInt("NoWin95", &noWin95);

    if (noWin95) {
        OSVERSIONINFOA version;
        memset(&version, 0, sizeof version);
        version.dwOSVersionInfoSize = sizeof version;
        GetVersionExA(&version);
        if (version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS && version.dwMajorVersion == 4 &&
            version.dwMinorVersion == 0)
            return ReportError("Windows 95 is no longer supported... Sorry...");
    }

    int installed = CompareInstalledVersion();

    if (!RegistryWritable())
        return 0;

    char driver[SettingValueSize];
    if (GetSetting("InstallDriver", driver) && IsWindowsNT == 1 && !ServiceManagerAvailable())
        return 0;

    if (ScriptFunctionExists("init"))
        return CallScriptFunction("init");
    return installed;
}

// What start-up holds from the package's opening until the wizard has closed.
static uint8_t* ScriptBlock = nullptr;

// Releases whatever start-up got to hold: the package, the SetupScript block
// and the licence text.  The one release of every start-up path.
static void ReleaseStartup()
{
    ClosePackage(SetupPackage);
    SetupPackage = nullptr;
    SetupScript = nullptr;
    FreePackageBlock(ScriptBlock);
    ScriptBlock = nullptr;
    FreePackageBlock(LicenseText);
    LicenseText = nullptr;
}

// From the opening of the package to the end of the wizard.  Returns the
// exit code; *wizardClosed is set when the wizard ran, whatever its end.
static int RunSetup(bool* wizardClosed)
{
    DWORD pathLength = GetModuleFileNameA(NULL, ExecutablePath, sizeof ExecutablePath);
    if (pathLength == 0 || pathLength >= sizeof ExecutablePath)
        ExecutablePath[0] = '\0';   // a path that fits no buffer cannot be opened: code 2

    switch (OpenPackage(ExecutablePath, &SetupPackage)) {
    case PackageOpened:
        break;
    case PackageNoMemory:
        return ReportError("Not enough memory.");
    case PackageOutOfBounds:
    case PackageBadChecksum:
        return ReportError("File corrupted, possible download error.");
    default:
        return ReportError("Internal Error 1");
    }

    // A script longer than the engine can count through is rejected unread:
    // the reason is shown as the engine shows its own reports, then the
    // rejection as for a script that does not parse.
    const PackageEntry* scriptEntry = FindPackageEntry(SetupPackage, "Install.ini");
    if (scriptEntry && scriptEntry->size > ScriptTextLimit) {
        char reason[ScriptReportSize];
        snprintf(reason, sizeof reason, "Error: Install.ini is larger than %u MB",
                 static_cast<unsigned>(ScriptTextLimit >> 20));
        ShowScriptError(reason, 0, nullptr);
        MessageBoxA(NULL, "Script error", "Vellmark", MB_OK);
        return 0;
    }

    if (ExtractPackageEntry(SetupPackage, "Install.ini", &ScriptBlock, nullptr) != ExtractOk)
        return 1;
    SetupScript = reinterpret_cast<char*>(ScriptBlock);

    InstallSetupBuiltins();
    SetScriptErrorSink(ShowScriptError, nullptr);
    PrepareScript(reinterpret_cast<char*>(ScriptBlock));
    if (!DeclareScript()) {
        MessageBoxA(NULL, "Script error", "Vellmark", MB_OK);
        return 0;
    }

    if (!RunStartChecks())
        return 0;

    uint8_t* license = nullptr;
    if (ExtractPackageEntry(SetupPackage, "License.txt", &license, nullptr) == ExtractOk) {
        LicenseText = reinterpret_cast<char*>(license);
    } else {
        LicenseText = nullptr;
        NoLicense = 1;
    }

    DialogBoxParamA(InstanceHandle, MAKEINTRESOURCEA(IDD_WIZARD), NULL, TableDialogProc,
                    reinterpret_cast<LPARAM>(FrameMessageTable));
    *wizardClosed = true;
    return 0;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
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
    if (version.dwPlatformId == VER_PLATFORM_WIN32s)
        return ReportError("Windows 95 or later required...");
    if (version.dwPlatformId == VER_PLATFORM_WIN32_NT && version.dwMajorVersion < 4)
        return ReportError("Windows NT 4.0 or later required...");
    IsWindowsNT = version.dwPlatformId == VER_PLATFORM_WIN32_NT ? 1 : 0;

    bool wizardClosed = false;
    int exitCode = RunSetup(&wizardClosed);
    ReleaseStartup();
    if (wizardClosed && RebootRequested)
        RestartWindows();
    return exitCode;
}
