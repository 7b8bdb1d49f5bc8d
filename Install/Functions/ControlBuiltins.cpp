// The control, environment and message built-ins: which Windows this is, the
// setup flags, logging on and off, message boxes and the progress bar.
#include <windows.h>

#include <commctrl.h>

#include "SetupBuiltins.h"
#include "SetupState.h"
#include "WindowsVersion.h"

#ifdef VM_TEST_HOOKS
MessageBoxFunction ScriptMessageBox = MessageBoxA;
#define VM_MESSAGE_BOX ScriptMessageBox
#else
#define VM_MESSAGE_BOX MessageBoxA
#endif

namespace {

ScriptValue TestWindowsVersion(BuiltinIndex index, WindowsVersionTest test)
{
    ReadBuiltinArguments(index, nullptr);
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof info;   // 148
    if (!GetVersionExA(&info))
        return 0;
    return WindowsVersionMatches(test, info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion);
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
// Owned by the wizard once it exists, ownerless while init runs.
int ShowScriptMessage(BuiltinIndex index, const char* caption, UINT style)
{
    ScriptValue value = 0;
    ReadBuiltinArguments(index, &value);
    const char* text = ScriptTextOf(value);
    if (!text)
        return 0;
    return VM_MESSAGE_BOX(WizardWindow, text, caption, style);
}

}  // namespace

static_assert(sizeof(OSVERSIONINFOA) == 148, "the version record GetVersionExA fills");

ScriptValue BuiltinIsWin95() { return TestWindowsVersion(BUILTIN_ISWIN95, WINDOWS_95); }
ScriptValue BuiltinIsWin98() { return TestWindowsVersion(BUILTIN_ISWIN98, WINDOWS_98); }
ScriptValue BuiltinIsWinMe() { return TestWindowsVersion(BUILTIN_ISWINME, WINDOWS_ME); }
ScriptValue BuiltinIsWinNT() { return TestWindowsVersion(BUILTIN_ISWINNT, WINDOWS_NT4); }
ScriptValue BuiltinIsWin2000() { return TestWindowsVersion(BUILTIN_ISWIN2000, WINDOWS_2000); }
ScriptValue BuiltinIsWinFamilyNT() { return TestWindowsVersion(BUILTIN_ISWINFAMILYNT, WINDOWS_FAMILY_NT); }
ScriptValue BuiltinIsWinFamily9x() { return TestWindowsVersion(BUILTIN_ISWINFAMILY9X, WINDOWS_FAMILY_9X); }

ScriptValue BuiltinSetReboot() { return SetFlag(BUILTIN_SETREBOOT, &RebootRequested); }
ScriptValue BuiltinSetUpdate() { return SetFlag(BUILTIN_SETUPDATE, &UpdateMode); }
ScriptValue BuiltinSetNoUninstall() { return SetFlag(BUILTIN_SETNOUNINSTALL, &NoUninstall); }

ScriptValue BuiltinLogOn()
{
    ReadBuiltinArguments(BUILTIN_LOGON, nullptr);
    LoggingEnabled = 1;
    return 0;
}

ScriptValue BuiltinLogOff()
{
    ReadBuiltinArguments(BUILTIN_LOGOFF, nullptr);
    LoggingEnabled = 0;
    return 0;
}

ScriptValue BuiltinMsgBoxOk()
{
    ShowScriptMessage(BUILTIN_MSGBOXOK, "Information", MB_OK | MB_ICONINFORMATION);
    return 0;
}

ScriptValue BuiltinMsgBoxYesNo()
{
    return ShowScriptMessage(BUILTIN_MSGBOXYESNO, "Question", MB_YESNO | MB_ICONQUESTION) == IDYES ? 1 : 0;
}

ScriptValue BuiltinIsCopyError()
{
    ReadBuiltinArguments(BUILTIN_ISCOPYERROR, nullptr);
    return CopyError;
}

// Before the Install page exists there is no bar, and the steps go nowhere.
ScriptValue BuiltinSetProgSteps()
{
    ScriptValue steps = 0;
    ReadBuiltinArguments(BUILTIN_SETPROGSTEPS, &steps);
    if (ProgressBarWindow) {
        // The range message carries 16-bit bounds: 65537 steps become 1.
        SendMessageA(ProgressBarWindow, PBM_SETRANGE, 0, MAKELPARAM(0, static_cast<WORD>(steps & 0xFFFF)));
        SendMessageA(ProgressBarWindow, PBM_SETSTEP, 1, 0);
    }
    return 0;
}

ScriptValue BuiltinProgStep()
{
    ReadBuiltinArguments(BUILTIN_PROGSTEP, nullptr);
    if (ProgressBarWindow)
        SendMessageA(ProgressBarWindow, PBM_STEPIT, 0, 0);
    return 0;
}
