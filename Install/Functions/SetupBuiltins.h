// The setup program's built-ins: the handlers behind the 30 names of the
// BuiltinTable, and the call that installs them into the script engine.
#ifndef VELLMARK_SETUPBUILTINS_H
#define VELLMARK_SETUPBUILTINS_H

#include <windows.h>

#include "BuiltinTable.h"

// Installs the setup program's table (all 30 rows, in table order) as the
// engine's BuiltinTable.  Call once before DeclareScript; the table is static
// and stays installed until another one is.
void InstallSetupBuiltins();

// The handler of each built-in, indexed by BuiltinIndex.
extern const BuiltinHandler SetupBuiltinHandlers[BUILTIN_COUNT];

// Reads the arguments of built-in `index` by the calling convention: each with
// EvaluateExpression, ',' between two, ')' after the last (only the ')' for a
// built-in without parameters).  `values` has room for the parameter count.
void ReadBuiltinArguments(BuiltinIndex index, ScriptValue* values);

// The control, environment and message built-ins.
ScriptValue BuiltinIsWin95();
ScriptValue BuiltinIsWin98();
ScriptValue BuiltinIsWinMe();
ScriptValue BuiltinIsWinNT();
ScriptValue BuiltinIsWin2000();
ScriptValue BuiltinIsWinFamilyNT();
ScriptValue BuiltinIsWinFamily9x();
ScriptValue BuiltinSetReboot();
ScriptValue BuiltinSetUpdate();
ScriptValue BuiltinSetNoUninstall();
ScriptValue BuiltinLogOn();
ScriptValue BuiltinLogOff();
ScriptValue BuiltinMsgBoxOk();
ScriptValue BuiltinMsgBoxYesNo();
ScriptValue BuiltinIsCopyError();
ScriptValue BuiltinSetProgSteps();
ScriptValue BuiltinProgStep();

// version(entry, path): CompareEntryVersion of the entry against the path
// after its macros are expanded in place; -2 when either is no text or the
// expanded path would not fit the script's text.
ScriptValue BuiltinVersion();

#ifdef VM_TEST_HOOKS
// Test builds only: the function the message built-ins show their box with
// (MessageBoxA unless a test replaces it).
typedef int(WINAPI* MessageBoxFunction)(HWND owner, LPCSTR text, LPCSTR caption, UINT style);
extern MessageBoxFunction ScriptMessageBox;
#endif

#endif
