// The built-in functions as the script sees them: names, parameter counts and
// the calling convention.  Each program supplies its own handlers.
//
// Calling convention of a handler:
//   1. When it starts, the engine has consumed the built-in's name and the
//      '('; the current token is the first token of the first argument, or
//      the ')' of an empty list.
//   2. It reads all its arguments with ReadBuiltinArguments before it acts:
//      in order, each with EvaluateExpression(), with ExpectToken(TokenComma)
//      between two and ExpectToken(TokenRparen) after the last (a built-in
//      without parameters only expects the ')').
//   3. A text argument is turned into a text with ScriptTextOf (Script.h);
//      nullptr means no text (null, an integer, or an error while the argument
//      was read) and the handler must not act on it.
//   4. It returns one ScriptValue, the value of the call.
//   5. It need not test ScriptErrorFlag: ReadBuiltinArguments returns 0 after
//      an error, and the values it did not read keep what they held (the
//      handler's zeros), which no built-in acts on.  A handler that would act
//      on a 0 (a window search, a recorded key) tests that result instead.
// During the declaration pass no handler runs; calls are only counted.
#ifndef VELLMARK_BUILTIN_TABLE_H
#define VELLMARK_BUILTIN_TABLE_H

#include "BuiltinList.h"
#include "Script.h"

typedef ScriptValue (*BuiltinHandler)();

// One row of a program's table.  A table ends with a row whose name is null.
// A parameter count of -1 would accept any number of arguments.
struct BuiltinRow {
    const char* name;
    BuiltinHandler handler;
    int parameterCount;
};

// What every program's table agrees on.  `parameterKinds` has one letter per
// parameter: 't' a text, 'i' an integer.
struct BuiltinSignature {
    const char* name;
    int parameterCount;
    const char* parameterKinds;
};

// The built-ins in table order (BuiltinList.h); BuiltinSignatures[Builtin<name>]
// describes it.
enum BuiltinIndex {
#define VM_BUILTIN_INDEX(index, name, handler, parameterCount, parameterKinds) index,
    VM_BUILTINS(VM_BUILTIN_INDEX)
#undef VM_BUILTIN_INDEX
    BuiltinCount
};

extern const BuiltinSignature BuiltinSignatures[BuiltinCount];

// Reads the arguments of built-in `index` by the convention above, with
// ReadCallArguments and the built-in's parameter count; `values` has room for
// that count (may be null for none).  1 when all were read, 0 after an error.
int ReadBuiltinArguments(BuiltinIndex index, ScriptValue* values);

// Fills `table` with one row per built-in in table order, each with its
// handler from `handlers` (indexed by BuiltinIndex), and the ending row.
void MakeBuiltinTable(const BuiltinHandler (&handlers)[BuiltinCount],
                      BuiltinRow (&table)[BuiltinCount + 1]);

// The table that calls and the declaration pass look names up in; it must
// stay alive while installed.  nullptr installs an empty table.
void InstallBuiltinTable(const BuiltinRow* table);

// ---------------------------------------------------------------------------
// Dry-run built-ins, for `vellmark check --run`, the tests and the fuzzer.
//
// Each reads its arguments by the convention above, describes the call as one
// line "name(arg, ...)" (a text argument quoted as the built-in sees it, with
// C escapes for control characters and quotes; an integer, or a text argument
// that is no text, as a decimal number), hands the line to `output` (may be
// null for silence) and returns 0; msgboxyesno returns `yesNoAnswer`.
typedef void (*DryRunOutput)(const char* line, void* context);

// A dry run's answer to a call, for runs that play a situation through (an
// installed product): given the built-in and the arguments it read, it sets
// *result and returns true, or returns false to leave the usual answer.
typedef bool (*DryRunAnswer)(BuiltinIndex index, const ScriptValue* arguments, void* context, ScriptValue* result);

void InstallDryRunBuiltins(DryRunOutput output, void* context, ScriptValue yesNoAnswer = 1,
                           DryRunAnswer answer = nullptr);

#endif
