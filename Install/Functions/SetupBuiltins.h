// The setup program's built-ins: the handlers behind the names of the
// BuiltinTable, and the call that installs them into the script engine.
// Each handler is documented where it is defined.
#ifndef VELLMARK_SETUPBUILTINS_H
#define VELLMARK_SETUPBUILTINS_H

#include <windows.h>

#include "BuiltinTable.h"

// Installs the setup program's table (every built-in, in table order) as the
// engine's BuiltinTable.  Call once before DeclareScript; the table is static
// and stays installed until another one is.
void InstallSetupBuiltins();

// The handler of each built-in, indexed by BuiltinIndex.
extern const BuiltinHandler SetupBuiltinHandlers[BuiltinCount];

// One handler per row of BuiltinList.h.
#define VM_BUILTIN_HANDLER(index, name, handler, parameterCount, parameterKinds) ScriptValue handler();
VM_BUILTINS(VM_BUILTIN_HANDLER)
#undef VM_BUILTIN_HANDLER

// A path argument with its leading folder macro expanded in place (the
// script's text then holds the expansion).  Null when the value is no text,
// when the expansion would not fit the script's text (which is then empty),
// or when the path is empty: a built-in acts on no such path.
char* ExpandedPathArgument(ScriptValue value);

// An argument that may be left out: `*text` is its text, or null for 0.
// false for a value that is neither 0 nor a text (it names nothing).
bool OptionalTextArgument(ScriptValue value, const char** text);

// A window handle as a ScriptValue: its low 32 bits, which carry the whole
// handle (64-bit Windows sign-extends 32-bit handles), and 1 for a window
// whose low bits are all 0, so that a found window never reads as none.
ScriptValue WindowHandleValue(HWND window);

#endif
