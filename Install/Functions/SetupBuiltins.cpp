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

bool OptionalTextArgument(ScriptValue value, const char** text)
{
    *text = ScriptTextOf(value);
    return *text != nullptr || value == 0;
}

namespace {

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
    CopyBuiltin,
    CopySharedBuiltin,
    IsCopyErrorBuiltin,
    MakeDirBuiltin,
    InstallDriverBuiltin,
    ShortcutBuiltin,
    ShortcutCBuiltin,
    ShortcutWwwBuiltin,
    PrefsKeyBuiltin,
    SetProgStepsBuiltin,
    ProgStepBuiltin,
};

void InstallSetupBuiltins()
{
    MakeBuiltinTable(SetupBuiltinHandlers, SetupBuiltinTable);
    InstallBuiltinTable(SetupBuiltinTable);
}
