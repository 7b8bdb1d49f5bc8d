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

// The file installation built-ins (FileBuiltins.cpp).
ScriptValue CopyBuiltin();
ScriptValue CopySharedBuiltin();
ScriptValue MakeDirBuiltin();

// A path argument with its leading folder macro expanded in place (the
// script's text then holds the expansion).  Null when the value is no text,
// when the expansion would not fit the script's text (which is then empty),
// or when the path is empty: a built-in acts on no such path.
char* ExpandedPathArgument(ScriptValue value);

// An argument that may be left out: `*text` is its text, or null for 0.
// false for a value that is neither 0 nor a text (it names nothing).
bool OptionalTextArgument(ScriptValue value, const char** text);

// installdriver(entry, destination, service) (DriverBuiltins.cpp): copies the
// driver like copy, raises its reference count after a successful copy
// (also when the file was there, but not when the product's log records the
// driver already), registers its service and records a Driver entry.  1 when the service is
// registered (or already existed), else 0; the copy reports through
// CopyError.  A call that cannot name its driver (an argument that is no
// text, a destination that is empty or names no file, a service name that
// IsServiceName refuses, an image path that would not fit) does nothing but
// set CopyError, like a copy that cannot be written, and gives 0; arguments
// that could not be read (a script error, which stops the script) do nothing.
ScriptValue InstallDriverBuiltin();

// The Start-menu shortcuts (ShortcutBuiltins.cpp); each gives 0.  A name,
// target or address that is no text, a description or arguments value that
// is neither 0 nor a text, or arguments that could not be read: nothing is
// done.  Without a programs folder nothing is done either, and a shortcut
// whose path would be longer than 259 characters is not made: neither is
// logged.  Otherwise the path is logged whether or not the file was written.
ScriptValue ShortcutBuiltin();      // StartMenuFolder\name.lnk
ScriptValue ShortcutCBuiltin();     // CompanyMenuFolder\name.lnk
ScriptValue ShortcutWwwBuiltin();   // StartMenuFolder\name.url

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
