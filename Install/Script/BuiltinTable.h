// The built-in functions as the script sees them: names, parameter counts and
// the calling convention.  Each program supplies its own handlers.
//
// Calling convention of a handler:
//   1. When it starts, the engine has consumed the built-in's name and the
//      '('; the current token is the first token of the first argument, or
//      the ')' of an empty list.
//   2. It reads its arguments in order, each with EvaluateExpression(), with
//      ExpectToken(TOKEN_COMMA) between two and ExpectToken(TOKEN_RPAREN)
//      after the last (a built-in without parameters only expects the ')').
//      All arguments are read before it acts.
//   3. A text argument is turned into a text with ScriptTextOf (Script.h);
//      nullptr means no text (null, an integer, or an error while the argument
//      was read) and the handler must not act on it.
//   4. It returns one ScriptValue, the value of the call.
//   5. It does not test ScriptErrorFlag: after an error every further
//      EvaluateExpression gives 0.
// During the declaration pass no handler runs; calls are only counted.
#ifndef VELLMARK_BUILTIN_TABLE_H
#define VELLMARK_BUILTIN_TABLE_H

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

// The built-ins in table order; BuiltinSignatures[BUILTIN_x] describes x.
enum BuiltinIndex {
    BUILTIN_ISWIN95,
    BUILTIN_ISWIN98,
    BUILTIN_ISWINME,
    BUILTIN_ISWINNT,
    BUILTIN_ISWIN2000,
    BUILTIN_ISWINFAMILYNT,
    BUILTIN_ISWINFAMILY9X,
    BUILTIN_SETREBOOT,
    BUILTIN_SETUPDATE,
    BUILTIN_SETNOUNINSTALL,
    BUILTIN_LOGON,
    BUILTIN_LOGOFF,
    BUILTIN_FILEINUSE,
    BUILTIN_ISAPPINSTALLED,
    BUILTIN_ISAPPRUNNING,
    BUILTIN_CLOSEAPP,
    BUILTIN_VERSION,
    BUILTIN_MSGBOXOK,
    BUILTIN_MSGBOXYESNO,
    BUILTIN_COPY,
    BUILTIN_COPYSHARED,
    BUILTIN_ISCOPYERROR,
    BUILTIN_MAKEDIR,
    BUILTIN_INSTALLDRIVER,
    BUILTIN_SHORTCUT,
    BUILTIN_SHORTCUTC,
    BUILTIN_SHORTCUTWWW,
    BUILTIN_PREFSKEY,
    BUILTIN_SETPROGSTEPS,
    BUILTIN_PROGSTEP,
    BUILTIN_COUNT
};

extern const BuiltinSignature BuiltinSignatures[BUILTIN_COUNT];

// Fills `table` with the 30 rows in table order, each with its handler from
// `handlers` (indexed by BuiltinIndex), and the ending row.
void MakeBuiltinTable(const BuiltinHandler (&handlers)[BUILTIN_COUNT],
                      BuiltinRow (&table)[BUILTIN_COUNT + 1]);

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

void InstallDryRunBuiltins(DryRunOutput output, void* context, ScriptValue yesNoAnswer = 1);

#endif
