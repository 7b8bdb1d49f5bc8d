// The setup program's BuiltinTable.
#include "SetupBuiltins.h"

#include "PathMacros.h"
#include "Versions.h"

void ReadBuiltinArguments(BuiltinIndex index, ScriptValue* values)
{
    int count = BuiltinSignatures[index].parameterCount;
    for (int i = 0; i < count; ++i) {
        values[i] = EvaluateExpression();
        ExpectToken(i + 1 < count ? TOKEN_COMMA : TOKEN_RPAREN);
    }
    if (count == 0)
        ExpectToken(TOKEN_RPAREN);
}

ScriptValue BuiltinVersion()
{
    ScriptValue arguments[2] = {};
    ReadBuiltinArguments(BUILTIN_VERSION, arguments);
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
    ScriptValue arguments[SCRIPT_PARAMETER_LIMIT] = {};
    ReadBuiltinArguments(index, arguments);
    ReportScriptError("Not available in this version");
    return 0;
}

BuiltinRow SetupBuiltinTable[BUILTIN_COUNT + 1];

}  // namespace

const BuiltinHandler SetupBuiltinHandlers[BUILTIN_COUNT] = {
    BuiltinIsWin95,
    BuiltinIsWin98,
    BuiltinIsWinMe,
    BuiltinIsWinNT,
    BuiltinIsWin2000,
    BuiltinIsWinFamilyNT,
    BuiltinIsWinFamily9x,
    BuiltinSetReboot,
    BuiltinSetUpdate,
    BuiltinSetNoUninstall,
    BuiltinLogOn,
    BuiltinLogOff,
    NotAvailable<BUILTIN_FILEINUSE>,
    NotAvailable<BUILTIN_ISAPPINSTALLED>,
    NotAvailable<BUILTIN_ISAPPRUNNING>,
    NotAvailable<BUILTIN_CLOSEAPP>,
    BuiltinVersion,
    BuiltinMsgBoxOk,
    BuiltinMsgBoxYesNo,
    NotAvailable<BUILTIN_COPY>,
    NotAvailable<BUILTIN_COPYSHARED>,
    BuiltinIsCopyError,
    NotAvailable<BUILTIN_MAKEDIR>,
    NotAvailable<BUILTIN_INSTALLDRIVER>,
    NotAvailable<BUILTIN_SHORTCUT>,
    NotAvailable<BUILTIN_SHORTCUTC>,
    NotAvailable<BUILTIN_SHORTCUTWWW>,
    NotAvailable<BUILTIN_PREFSKEY>,
    BuiltinSetProgSteps,
    BuiltinProgStep,
};

void InstallSetupBuiltins()
{
    MakeBuiltinTable(SetupBuiltinHandlers, SetupBuiltinTable);
    InstallBuiltinTable(SetupBuiltinTable);
}
