// The control, environment and message built-ins: which Windows this is, the
// setup flags, logging on and off, message boxes and the progress bar.
#include <windows.h>

#include <commctrl.h>

#include "MessageBox.h"
#include "SetupBuiltins.h"
#include "SetupState.h"
#include "WindowsVersion.h"
#include "WindowsVersionQuery.h"

namespace {

ScriptValue TestWindowsVersion(BuiltinIndex index, WindowsVersionTest test)
{
    ReadBuiltinArguments(index, nullptr);
    WindowsVersionInfo version = QueryWindowsVersion();
    if (!version.reported)
        return 0;
    return WindowsVersionMatches(test, version.platformId, version.major, version.minor);
}

// Reads one value and stores it unchanged: any non-zero word counts as set.
ScriptValue SetFlag(BuiltinIndex index, int* flag)
{
    ScriptValue value = 0;
    ReadBuiltinArguments(index, &value);
    *flag = value;
    return 0;
}

// Shows the script's text; nothing is shown for a value that is no text.
// Owned by the wizard once it exists, ownerless while init runs.  An
// unattended run shows nothing: the box's default button answers (OK, and
// Yes for a question) and the transcript says so.
int ShowScriptMessage(BuiltinIndex index, const char* caption, UINT style)
{
    ScriptValue value = 0;
    ReadBuiltinArguments(index, &value);
    const char* text = ScriptTextOf(value);
    if (!text)
        return 0;
    return ShowMessage(WizardWindow, text, caption, style);
}

}  // namespace

ScriptValue IsWin95Builtin() { return TestWindowsVersion(BuiltinIswin95, Windows95); }
ScriptValue IsWin98Builtin() { return TestWindowsVersion(BuiltinIswin98, Windows98); }
ScriptValue IsWinMeBuiltin() { return TestWindowsVersion(BuiltinIswinme, WindowsMe); }
ScriptValue IsWinNTBuiltin() { return TestWindowsVersion(BuiltinIswinnt, WindowsNT4); }
ScriptValue IsWin2000Builtin() { return TestWindowsVersion(BuiltinIswin2000, Windows2000); }
ScriptValue IsWinFamilyNTBuiltin() { return TestWindowsVersion(BuiltinIswinfamilynt, WindowsFamilyNT); }
ScriptValue IsWinFamily9xBuiltin() { return TestWindowsVersion(BuiltinIswinfamily9x, WindowsFamily9x); }

ScriptValue SetRebootBuiltin() { return SetFlag(BuiltinSetreboot, &RebootRequested); }
ScriptValue SetUpdateBuiltin() { return SetFlag(BuiltinSetupdate, &UpdateMode); }
ScriptValue SetNoUninstallBuiltin() { return SetFlag(BuiltinSetnouninstall, &NoUninstall); }

ScriptValue LogOnBuiltin()
{
    ReadBuiltinArguments(BuiltinLogon, nullptr);
    LoggingEnabled = 1;
    return 0;
}

ScriptValue LogOffBuiltin()
{
    ReadBuiltinArguments(BuiltinLogoff, nullptr);
    LoggingEnabled = 0;
    return 0;
}

ScriptValue MsgBoxOkBuiltin()
{
    ShowScriptMessage(BuiltinMsgboxok, "Information", MB_OK | MB_ICONINFORMATION);
    return 0;
}

ScriptValue MsgBoxYesNoBuiltin()
{
    return ShowScriptMessage(BuiltinMsgboxyesno, "Question", MB_YESNO | MB_ICONQUESTION) == IDYES ? 1 : 0;
}

ScriptValue IsCopyErrorBuiltin()
{
    ReadBuiltinArguments(BuiltinIscopyerror, nullptr);
    return CopyError;
}

// Before the Install page exists there is no bar, and the steps go nowhere.
ScriptValue SetProgStepsBuiltin()
{
    ScriptValue steps = 0;
    ReadBuiltinArguments(BuiltinSetprogsteps, &steps);
    if (ProgressBarWindow) {
        // The range message carries 16-bit bounds: 65537 steps become 1.
        SendMessageA(ProgressBarWindow, PBM_SETRANGE, 0, MAKELPARAM(0, static_cast<WORD>(steps & 0xFFFF)));
        SendMessageA(ProgressBarWindow, PBM_SETSTEP, 1, 0);
    }
    return 0;
}

ScriptValue ProgStepBuiltin()
{
    ReadBuiltinArguments(BuiltinProgstep, nullptr);
    if (ProgressBarWindow)
        SendMessageA(ProgressBarWindow, PBM_STEPIT, 0, 0);
    return 0;
}
