// Script calls and the binding of built-ins.
#include "BuiltinTable.h"
#include "ScriptInternal.h"

#include "AnsiText.h"

#include <cstring>

ScriptValue ArgumentList[ScriptParameterLimit];

const BuiltinSignature BuiltinSignatures[BuiltinCount] = {
#define VM_BUILTIN_SIGNATURE(index, name, handler, parameterCount, parameterKinds) \
    {name, parameterCount, parameterKinds},
    VM_BUILTINS(VM_BUILTIN_SIGNATURE)
#undef VM_BUILTIN_SIGNATURE
};

// Each row's count is the number of its kinds.
#define VM_BUILTIN_CHECK(index, name, handler, parameterCount, parameterKinds) \
    static_assert(sizeof(parameterKinds) - 1 == (parameterCount), name ": one kind per parameter");
VM_BUILTINS(VM_BUILTIN_CHECK)
#undef VM_BUILTIN_CHECK

namespace {

const BuiltinRow EmptyTable[] = {{nullptr, nullptr, 0}};
const BuiltinRow* Builtins = EmptyTable;

const BuiltinRow* FindBuiltinRow(const char* name, bool ignoreCase)
{
    for (const BuiltinRow* row = Builtins; row->name; ++row) {
        if (ignoreCase ? AnsiCompareNoCase(row->name, name) == 0 : strcmp(row->name, name) == 0)
            return row;
    }
    return nullptr;
}

int FindScriptFunctionIgnoringCase(const char* name)
{
    for (int i = 0; i < FunctionTable.count; ++i)
        if (AnsiCompareNoCase(FunctionTable.functions[i].name, name) == 0)
            return i;
    return -1;
}

}  // namespace

void MakeBuiltinTable(const BuiltinHandler (&handlers)[BuiltinCount],
                      BuiltinRow (&table)[BuiltinCount + 1])
{
    for (int i = 0; i < BuiltinCount; ++i)
        table[i] = {BuiltinSignatures[i].name, handlers[i], BuiltinSignatures[i].parameterCount};
    table[BuiltinCount] = {nullptr, nullptr, 0};
}

void InstallBuiltinTable(const BuiltinRow* table)
{
    Builtins = table ? table : EmptyTable;
}

int ReadCallArguments(int count, ScriptValue* values)
{
    for (int i = 0; i < count; ++i) {
        values[i] = EvaluateExpression();
        ExpectToken(i + 1 < count ? TokenComma : TokenRparen);
        if (ScriptErrorFlag)
            return 0;
    }
    if (count == 0)
        ExpectToken(TokenRparen);
    return ScriptErrorFlag ? 0 : 1;
}

int ReadBuiltinArguments(BuiltinIndex index, ScriptValue* values)
{
    return ReadCallArguments(BuiltinSignatures[index].parameterCount, values);
}

int ScriptFunctionExists(const char* name)
{
    return name && FindScriptFunctionIgnoringCase(name) >= 0 ? 1 : 0;
}

int ScriptFunctionCount()
{
    return FunctionTable.count;
}

const char* ScriptFunctionName(int index)
{
    return index >= 0 && index < FunctionTable.count ? FunctionTable.functions[index].name : nullptr;
}

int ScriptFunctionParameterCount(int index)
{
    return index >= 0 && index < FunctionTable.count ? FunctionTable.functions[index].parameterCount : 0;
}

const char* ScriptFunctionParameterName(int index, int parameter)
{
    if (index < 0 || index >= FunctionTable.count || parameter < 0 ||
        parameter >= FunctionTable.functions[index].parameterCount)
        return nullptr;
    return FunctionTable.functions[index].parameterNames[parameter];
}

int ScriptTokenPosition()
{
    return Lexer.tokenPosition;
}

bool IsBuiltin(const char* name)
{
    return FindBuiltinRow(name, false) != nullptr;
}

ScriptValue CallBuiltin(const char* name)
{
    if (DeclarationPass)
        return 0;
    const BuiltinRow* row = FindBuiltinRow(name, false);
    if (!row || !row->handler)
        return 0;
    return row->handler();
}

bool CheckArgumentCount(const char* name, int count)
{
    if (const BuiltinRow* row = FindBuiltinRow(name, true))
        return row->parameterCount == -1 || row->parameterCount == count;
    int index = FindScriptFunctionIgnoringCase(name);
    return index >= 0 && FunctionTable.functions[index].parameterCount == count;
}

ScriptValue CallScriptFunction(const char* name)
{
    if (!name || !EnterLevel(1))
        return 0;
    LexerSnapshot caller;
    SaveLexer(&caller);
    int callerFunction = CurrentFunction;

    ScriptValue result = 0;
    int index = FindScriptFunctionIgnoringCase(name);
    if (index >= 0) {
        ScriptFunction& function = FunctionTable.functions[index];
        RestoreLexer(&function.body);
        CurrentFunction = index;
        memcpy(function.parameterValues, ArgumentList,
               sizeof(ScriptValue) * static_cast<size_t>(function.parameterCount));
        StatementOutcome outcome = ExecuteStatement();
        if (outcome != OutcomeNormal)
            result = ReturnValue;
        // A script error ends the function with 0, whatever it returned.
        if (ScriptErrorFlag)
            result = 0;
    }

    CurrentFunction = callerFunction;
    RestoreLexer(&caller);
    LeaveLevel(1);
    return result;
}
