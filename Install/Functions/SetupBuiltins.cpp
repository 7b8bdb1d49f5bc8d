// The setup program's BuiltinTable.
#include "SetupBuiltins.h"

#include "PathMacros.h"
#include "Versions.h"

// version(entry, path): CompareEntryVersion of the entry against the path
// after its macros are expanded in place; -2 when either is no text or the
// expanded path would not fit the script's text.
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
#define VM_BUILTIN_HANDLER(index, name, handler, parameterCount, parameterKinds) handler,
    VM_BUILTINS(VM_BUILTIN_HANDLER)
#undef VM_BUILTIN_HANDLER
};

void InstallSetupBuiltins()
{
    MakeBuiltinTable(SetupBuiltinHandlers, SetupBuiltinTable);
    InstallBuiltinTable(SetupBuiltinTable);
}
