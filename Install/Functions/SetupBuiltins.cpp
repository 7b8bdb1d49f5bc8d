// The setup program's BuiltinTable.
#include "SetupBuiltins.h"

#include "PathMacros.h"
#include "Versions.h"

ScriptValue VersionBuiltin()
{
    ScriptValue arguments[2] = {};
    ReadBuiltinArguments(BuiltinVersion, arguments);
    size_t room = 0;
    char* path = ScriptWritableTextOf(arguments[1], &room);
    const char* entry = ScriptTextOf(arguments[0]);
    if (!entry || !path || !ExpandPathMacros(path, room))
        return -2;
    return CompareEntryVersion(entry, path);
}

namespace {

// ---------------------------------------------------------------------------
// Not built yet: file installation (copy, copyshared, makedir), drivers
// (installdriver), shortcuts (shortcut, shortcutc, shortcutwww) and
// application detection (fileinuse, isappinstalled, isapprunning, closeapp,
// prefskey).  Each reads its arguments like the real one will and then stops
// the script with an error, so a script that relies on one fails instead of
// going on as if it had worked.
template <BuiltinIndex index>
ScriptValue NotAvailable()
{
    ScriptValue arguments[ScriptParameterLimit] = {};
    ReadBuiltinArguments(index, arguments);
    ReportScriptError("Not available in this version");
    return 0;
}

BuiltinRow SetupBuiltinTable[BuiltinCount + 1];

}  // namespace

const BuiltinHandler SetupBuiltinHandlers[BuiltinCount] = {
    IsWin95Builtin,
    IsWin98Builtin,
    IsWinMeBuiltin,
    IsWinNTBuiltin,
    IsWin2000Builtin,
    IsWinFamilyNTBuiltin,
    IsWinFamily9xBuiltin,
    SetRebootBuiltin,
    SetUpdateBuiltin,
    SetNoUninstallBuiltin,
    LogOnBuiltin,
    LogOffBuiltin,
    FileInUseBuiltin,
    IsAppInstalledBuiltin,
    IsAppRunningBuiltin,
    CloseAppBuiltin,
    VersionBuiltin,
    MsgBoxOkBuiltin,
    MsgBoxYesNoBuiltin,
    NotAvailable<BuiltinCopy>,
    NotAvailable<BuiltinCopyshared>,
    IsCopyErrorBuiltin,
    NotAvailable<BuiltinMakedir>,
    NotAvailable<BuiltinInstalldriver>,
    NotAvailable<BuiltinShortcut>,
    NotAvailable<BuiltinShortcutc>,
    NotAvailable<BuiltinShortcutwww>,
    PrefsKeyBuiltin,
    SetProgStepsBuiltin,
    ProgStepBuiltin,
};

void InstallSetupBuiltins()
{
    MakeBuiltinTable(SetupBuiltinHandlers, SetupBuiltinTable);
    InstallBuiltinTable(SetupBuiltinTable);
}
