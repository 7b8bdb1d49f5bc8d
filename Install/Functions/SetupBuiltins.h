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
extern const BuiltinHandler SetupBuiltinHandlers[BuiltinCount];

// The control, environment and message built-ins.
ScriptValue IsWin95Builtin();
ScriptValue IsWin98Builtin();
ScriptValue IsWinMeBuiltin();
ScriptValue IsWinNTBuiltin();
ScriptValue IsWin2000Builtin();
ScriptValue IsWinFamilyNTBuiltin();
ScriptValue IsWinFamily9xBuiltin();
ScriptValue SetRebootBuiltin();
ScriptValue SetUpdateBuiltin();
ScriptValue SetNoUninstallBuiltin();
ScriptValue LogOnBuiltin();
ScriptValue LogOffBuiltin();
ScriptValue MsgBoxOkBuiltin();
ScriptValue MsgBoxYesNoBuiltin();
ScriptValue IsCopyErrorBuiltin();
ScriptValue SetProgStepsBuiltin();
ScriptValue ProgStepBuiltin();

// The application detection built-ins and the preferences key.  Only the
// constant null leaves out a window class or title (any matches) or a company
// or product name; any other value that is no text names nothing and gives 0.
// A call whose arguments could not be read does nothing.
ScriptValue FileInUseBuiltin();       // 1: the file exists but cannot be opened for exclusive writing
ScriptValue IsAppInstalledBuiltin();  // 1: HKLM\Software[\company][\product] exists
ScriptValue IsAppRunningBuiltin();    // the first matching top-level window (WindowHandleValue), or 0
ScriptValue CloseAppBuiltin();        // WM_CLOSE to the first matching window (none for null, null); 0
ScriptValue PrefsKeyBuiltin();        // records a PrefsKey entry while logging is on; 0

// A window handle as a ScriptValue: its low 32 bits, which carry the whole
// handle (64-bit Windows sign-extends 32-bit handles), and 1 for a window
// whose low bits are all 0, so that a found window never reads as none.
ScriptValue WindowHandleValue(HWND window);

// version(entry, path): CompareEntryVersion of the entry against the path
// after its macros are expanded in place; -2 when either is no text or the
// expanded path would not fit the script's text.
ScriptValue VersionBuiltin();

#ifdef VM_TEST_HOOKS
// Test builds only: the function the message built-ins show their box with
// (MessageBoxA unless a test replaces it).
typedef int(WINAPI* MessageBoxFunction)(HWND owner, LPCSTR text, LPCSTR caption, UINT style);
extern MessageBoxFunction ScriptMessageBox;
#endif

#endif
