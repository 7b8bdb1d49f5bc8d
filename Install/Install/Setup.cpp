// Setup.exe: the main line of the setup program.  Checks the Windows version,
// opens the package appended to its own executable, loads and checks the
// setup script, runs the start checks and the script's init, shows the
// wizard, releases everything and restarts Windows when asked to.
//
// With /S (CommandLine.h) the same start-up runs unattended: no wizard and
// no message box, the installation runs at once, Windows is never
// restarted, and the exit code tells how it ended (ExitCodes.h).
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "CommandLine.h"
#include "ExitCodes.h"
#include "InstallationLock.h"
#include "Installation.h"
#include "MessageBox.h"
#include "Package.h"
#include "Recovery.h"
#include "RestartWindows.h"
#include "Script.h"
#include "SetupBuiltins.h"
#include "SetupOutcome.h"
#include "SetupState.h"
#include "Settings.h"
#include "StartChecks.h"
#include "SystemLibrary.h"
#include "TestHooks.h"
#include "Transcript.h"
#include "VerificationWindow.h"
#include "Versions.h"
#include "WindowsVersion.h"
#include "WindowsVersionQuery.h"
#include "Wizard.h"
#include "resource.h"

static char ExecutablePath[WorkBufferSize];

// The exit code of each end: the interactive one has always been 0 but for
// a package without Install.ini; an unattended run tells every end apart.
struct OutcomeRow {
    SetupOutcome outcome;
    int interactiveCode;
    int unattendedCode;
    const char* description;   // the transcript's last line
};

static const OutcomeRow OutcomeTable[] = {
    {SetupGoesOn, 0, ExitSuccess, "ended"},
    {SetupWizardClosed, 0, ExitSuccess, "the wizard closed"},
    {SetupInstalled, 0, ExitSuccess, "installed"},
    {SetupInstallFailed, 0, ExitInstallFailed, "the installation failed and was undone"},
    {SetupUsageError, 0, ExitUsage, "stopped: usage error"},
    {SetupWrongWindows, 0, ExitWrongWindows, "stopped: this Windows is not supported"},
    {SetupPackageNoMemory, 0, ExitNoMemory, "stopped: not enough memory"},
    {SetupPackageDamaged, 0, ExitPackageDamaged, "stopped: the package is damaged"},
    {SetupScriptMissing, 1, ExitScriptMissing, "stopped: the package has no Install.ini"},
    {SetupScriptNoMemory, 1, ExitNoMemory, "stopped: not enough memory"},
    {SetupScriptDamaged, 1, ExitPackageDamaged, "stopped: the package is damaged"},
    {SetupScriptRejected, 0, ExitScriptRejected, "stopped: the script was rejected"},
    {SetupNoRights, 0, ExitNoRights, "stopped: no administrator rights"},
    {SetupDriverDatabase, 0, ExitDriverDatabase, "stopped: the driver database cannot be opened"},
    {SetupInitDeclined, 0, ExitInitDeclined, "stopped: init returned 0"},
    {SetupSameVersion, 0, ExitSameVersion, "stopped: this version is registered already"},
    {SetupDestinationNotWritable, 0, ExitDestinationNotWritable, "stopped: the destination is not writable"},
    {SetupInstallInProgress, 0, ExitInstallInProgress, "stopped: another installation is in progress"},
};

static const OutcomeRow& OutcomeRowOf(SetupOutcome outcome)
{
    for (const OutcomeRow& row : OutcomeTable)
        if (row.outcome == outcome)
            return row;
    return OutcomeTable[0];
}

// Script errors are shown one box per report, without an owner (in an
// unattended run: the transcript's line).
static void ShowScriptError(const char* text, int /*position*/, void* /*context*/)
{
    ShowMessage(NULL, text, "Script error", MB_OK);
}

// The start checks and init, in their order.  SetupGoesOn to go on with the
// wizard; any other outcome stops the setup (the failing check has shown its
// message; a stop decided by init or by the installed version shows none).
static SetupOutcome RunStartChecks()
{
    int noWin95 = 0;
    GetSettingInt("Update", &UpdateMode);
    const int updateSetting = UpdateMode;
    GetSettingInt("NoLicense", &NoLicense);
    GetSettingInt("NoUninstall", &NoUninstall);
    GetSettingInt("NoWin95", &noWin95);

    if (noWin95) {
        WindowsVersionInfo version = QueryWindowsVersion();
        if (WindowsVersionMatches(Windows95, version.platformId, version.major, version.minor)) {
            ReportError("Windows 95 is no longer supported... Sorry...");
            return SetupWrongWindows;
        }
    }

    int installed = CompareInstalledVersion();
    TranscriptLine(installed > 0    ? "installed version: none, or an older one"
                   : installed == 0 ? "installed version: the same"
                                    : "installed version: a newer one");

    if (!RegistryWritable())
        return SetupNoRights;
    TranscriptLine("registry: HKEY_LOCAL_MACHINE is writable");

    char driver[SettingValueSize];
    if (GetSetting("InstallDriver", driver) && IsWindowsNT == 1) {
        ServiceManagerCheck manager = CheckServiceManager();
        if (manager == ServiceManagerDenied)
            return SetupNoRights;
        if (manager != ServiceManagerReady)
            return SetupDriverDatabase;
        TranscriptLine("driver database: opened");
    }

    SetupOutcome outcome;
    if (ScriptFunctionExists("init")) {
        ScriptValue result = CallScriptFunction("init");
        TranscriptLine("init: returned %d", static_cast<int>(result));
        outcome = result != 0 ? SetupGoesOn : SetupInitDeclined;
    } else {
        // Without init the installed version decides: the same one stops the
        // setup, an older or a newer one lets it go on.
        TranscriptLine("init: none; the installed version decides");
        outcome = installed != 0 ? SetupGoesOn : SetupSameVersion;
    }
    // An update keeps the product where it is registered (and the wizard
    // skips the Destination folder page).
    if (outcome == SetupGoesOn && UpdateMode)
        TranscriptLine("update mode: on (%s)", updateSetting ? "the Update setting" : "setupdate in init");
    return outcome;
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

// From the opening of the package to the end of the wizard, or of the
// unattended installation into `installDir` (/D=, or empty).
static SetupOutcome RunSetup(const char* installDir)
{
    DWORD pathLength = GetModuleFileNameA(NULL, ExecutablePath, sizeof ExecutablePath);
    if (pathLength == 0 || pathLength >= sizeof ExecutablePath)
        ExecutablePath[0] = '\0';   // a path that fits no buffer cannot be opened: code 2
    memcpy(SetupProgramPath, ExecutablePath, sizeof SetupProgramPath);

    // A check that takes long shows its progress (VerificationWindow.h).
    switch (OpenSetupPackage(ExecutablePath, &SetupPackage)) {
    case PackageOpened:
        break;
    case PackageNoMemory:
        ReportError("Not enough memory.");
        return SetupPackageNoMemory;
    case PackageOutOfBounds:
    case PackageBadChecksum:
        ReportError("File corrupted, possible download error.");
        return SetupPackageDamaged;
    default:
        ReportError("Internal Error 1");
        return SetupPackageDamaged;
    }
    TranscriptLine("package: verified, %u entries", static_cast<unsigned>(SetupPackage->entryCount));

    // A script longer than the engine can count through is rejected unread:
    // the reason is shown as the engine shows its own reports, then the
    // rejection as for a script that does not parse.
    const PackageEntry* scriptEntry = FindPackageEntry(SetupPackage, PackageScriptName);
    if (scriptEntry && scriptEntry->size > ScriptTextLimit) {
        char reason[ScriptReportSize];
        snprintf(reason, sizeof reason, "Error: Install.ini is larger than %u MB",
                 static_cast<unsigned>(ScriptTextLimit >> 20));
        ShowScriptError(reason, 0, nullptr);
        ShowMessage(NULL, "Script error", "Vellmark", MB_OK);
        return SetupScriptRejected;
    }

    // A package without its script ends silently.
    switch (ExtractPackageEntry(SetupPackage, PackageScriptName, &ScriptBlock, nullptr)) {
    case ExtractOk:
        break;
    case ExtractNotFound:
        return SetupScriptMissing;
    case ExtractNoMemory:
        return SetupScriptNoMemory;
    default:
        return SetupScriptDamaged;
    }
    SetupScript = reinterpret_cast<char*>(ScriptBlock);

    InstallSetupBuiltins();
    SetScriptErrorSink(ShowScriptError, nullptr);
    PrepareScript(reinterpret_cast<char*>(ScriptBlock));
    if (!DeclareScript()) {
        ShowMessage(NULL, "Script error", "Vellmark", MB_OK);
        return SetupScriptRejected;
    }
    TranscriptLine("script: accepted");

    SetupOutcome checks = RunStartChecks();
    if (checks != SetupGoesOn)
        return checks;

    uint8_t* license = nullptr;
    if (ExtractPackageEntry(SetupPackage, PackageLicenseName, &license, nullptr) == ExtractOk) {
        LicenseText = reinterpret_cast<char*>(license);
    } else {
        LicenseText = nullptr;
        NoLicense = 1;
    }

    if (UnattendedMode)
        return InstallUnattended(installDir);

    DialogBoxParamA(InstanceHandle, MAKEINTRESOURCEA(IDD_WIZARD), NULL, TableDialogProc,
                    reinterpret_cast<LPARAM>(FrameMessageTable));
    return SetupWizardClosed;
}

// One installation at a time, and none over the remains of one that was
// interrupted: the lock, then the rollback of every run that never ended
// (its setup was killed or crashed, or Windows stopped), which the user is
// told about.  SetupGoesOn, or SetupInstallInProgress while another setup
// or removal runs.
static SetupOutcome TakeInstallationLock()
{
    if (!AcquireInstallationLock()) {
        ReportError("Another installation is in progress.\nWait until it has ended, then start this setup again.");
        return SetupInstallInProgress;
    }
    // Test builds: a setup that holds the lock a while, so that a second
    // one started meanwhile finds it taken.
    long pause = TestHookNumber("VELLMARK_TEST_PAUSE_MS");
    if (pause > 0)
        Sleep(static_cast<DWORD>(pause));
    RecoveryReport recovered = RecoverInterruptedRuns();
    if (recovered.rolledBack > 0) {
        char text[WorkBufferSize];
        snprintf(text, sizeof text,
                 "An installation of %s was interrupted before it had finished.\n"
                 "Its changes have been undone: the computer is as it was before it started.",
                 recovered.product[0] ? recovered.product : "a product");
        if (UnattendedMode)
            TranscriptLine("recovery: an interrupted installation of %s was undone",
                           recovered.product[0] ? recovered.product : "a product");
        else
            ShowMessage(NULL, text, "Install", MB_ICONINFORMATION);
    }
    return SetupGoesOn;
}

// The Windows version gate: SetupGoesOn on Windows 95 and NT 4.0 or later,
// with IsWindowsNT set.  A failed query reads as Win32s and stops here.
static SetupOutcome CheckWindowsVersion()
{
    WindowsVersionInfo version = QueryWindowsVersion();
    TranscriptLine("windows: %s %u.%u", version.NTFamily()                                  ? "NT family"
                                        : version.platformId == VER_PLATFORM_WIN32_WINDOWS ? "95 family"
                                                                                           : "Win32s",
                   static_cast<unsigned>(version.major), static_cast<unsigned>(version.minor));
    if (version.platformId == VER_PLATFORM_WIN32s) {
        ReportError("Windows 95 or later required...");
        return SetupWrongWindows;
    }
    if (version.NTFamily() && version.major < 4) {
        ReportError("Windows NT 4.0 or later required...");
        return SetupWrongWindows;
    }
    IsWindowsNT = version.NTFamily() ? 1 : 0;
    return SetupGoesOn;
}

// An unattended run's command line: its transcript opened and its header
// written.  SetupGoesOn, or SetupUsageError when the command line cannot be
// followed (its fault is the transcript's first line after the header).
static SetupOutcome BeginUnattended(const char* commandLine, const SetupCommandLine& command)
{
    UnattendedMode = 1;
    if (command.transcriptPath[0] != '\0' && !OpenTranscript(command.transcriptPath))
        return SetupUsageError;
    TranscriptLine("Vellmark v1.0 unattended setup");
    TranscriptLine("command line: %s", commandLine ? commandLine : "");
    if (command.status != CommandLineOk) {
        TranscriptLine("usage error: %s: %s", CommandLineMessage(command.status), command.refused);
        return SetupUsageError;
    }
    return SetupGoesOn;
}

// The exit code of an end, written to the transcript with its description.
// An unattended installation that needs Windows restarted says so by its
// code instead of restarting.
static int FinishSetup(SetupOutcome outcome)
{
    const OutcomeRow& row = OutcomeRowOf(outcome);
    if (!UnattendedMode)
        return row.interactiveCode;
    int code = row.unattendedCode;
    if (outcome == SetupInstalled && RebootRequested) {
        TranscriptLine("restart: Windows must be restarted; an unattended setup leaves that to you");
        code = ExitRestartNeeded;
    }
    TranscriptLine("outcome: %s (exit %d)", row.description, code);
    CloseTranscript();
    return code;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int)
{
    // Nothing is loaded from the program's own folder from here on.
    StartProgramLibraries();
    InstanceHandle = instance;

    // The recovery program of an interrupted installation (RunOnce).
    if (IsRecoveryCommand(commandLine))
        return RunRecoveryCommand(commandLine);

    // Without /S the command line means nothing, as it always has.
    static SetupCommandLine command;
    ParseSetupCommandLine(commandLine, &command);
    SetupOutcome outcome = command.unattended ? BeginUnattended(commandLine, command) : SetupGoesOn;
    if (outcome != SetupGoesOn)
        return FinishSetup(outcome);

    outcome = CheckWindowsVersion();
    if (outcome != SetupGoesOn)
        return FinishSetup(outcome);

    outcome = TakeInstallationLock();
    if (outcome != SetupGoesOn)
        return FinishSetup(outcome);

    outcome = RunSetup(command.installDir);
    ReleaseStartup();
    if (outcome == SetupWizardClosed && RebootRequested)
        RestartWindows();
    return FinishSetup(outcome);
}
