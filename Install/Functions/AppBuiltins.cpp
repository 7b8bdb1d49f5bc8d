// The application detection built-ins and the preferences key: whether a file
// is held open, whether a product is installed or a program is running, asking
// a program's window to close, and naming the key where the product keeps its
// user settings so that the uninstaller can remove it.
//
// None of them shows a message or sets CopyError; every failure is a 0 result.
// When an argument could not be read (an error in the script) none of them
// acts: the script stops anyway, and a half-read call must not close a window
// or record a key.
#include <windows.h>

#include <cstdint>

#include "FileInUse.h"
#include "InstallLog.h"
#include "PathMacros.h"
#include "RegistryKey.h"
#include "SetupBuiltins.h"
#include "SetupState.h"

namespace {

// The window the script's class and title name, or null.  Either may be
// null (0) and is then left out, so that FindWindowA matches any class or
// any title; any other value that is no text names no window.
HWND FindScriptWindow(const ScriptValue (&arguments)[2])
{
    const char* windowClass = nullptr;
    const char* title = nullptr;
    if (!OptionalTextArgument(arguments[0], &windowClass) || !OptionalTextArgument(arguments[1], &title))
        return nullptr;
    return FindWindowA(windowClass, title);
}

// Whether a key path names a key below its root: anything but backslashes.
bool NamesSubkey(const char* keyPath)
{
    while (*keyPath == '\\')
        ++keyPath;
    return *keyPath != '\0';
}

}  // namespace

// Window handles are 32-bit values, sign-extended on 64-bit Windows, so their
// low 32 bits carry the whole handle.  A ScriptValue is 32 bits wide and the
// script only tests it against 0, so a handle whose low bits were all 0 would
// read as "no window": such a handle gives 1 instead.
ScriptValue WindowHandleValue(HWND window)
{
    if (!window)
        return 0;
    uint32_t low = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(window));
    return low ? static_cast<ScriptValue>(low) : 1;
}

// fileinuse(path): 1 when the file exists but cannot be opened for exclusive
// writing (another program holds it open, or write access is refused), else
// 0.  A path that is no text (null, an integer, an error), or one whose
// macro expansion would not fit its text, tests nothing and gives 0.
ScriptValue FileInUseBuiltin()
{
    ScriptValue argument = 0;
    int read = ReadBuiltinArguments(BuiltinFileinuse, &argument);
    char* path = ExpandedPathArgument(argument);
    if (!read || !path)
        return 0;

    return IsFileInUse(path);
}

// isappinstalled(company, product): 1 when HKEY_LOCAL_MACHINE holds the key
// "Software\company\product", else 0.  Either name may be null (0) and is then
// left out together with its backslash, so (null, null) tests "Software"
// itself.  Any other value that is no text names no product and gives 0
// without looking: "Software" exists everywhere, and an integer passed by
// mistake must not read as "installed".  A key that would not fit the work
// buffer cannot exist (a key name is far shorter) and gives 0.
ScriptValue IsAppInstalledBuiltin()
{
    ScriptValue arguments[2] = {};
    if (!ReadBuiltinArguments(BuiltinIsappinstalled, arguments))
        return 0;
    PathText keyPath;
    keyPath.Append("Software");
    for (ScriptValue name : arguments) {
        const char* text = ScriptTextOf(name);
        if (!text && name != 0)
            return 0;
        if (text) {
            keyPath.Append("\\");
            keyPath.Append(text);
        }
    }
    if (keyPath.overlong)
        return 0;

    RegistryKey key;
    return key.Open(HKEY_LOCAL_MACHINE, keyPath.text, KEY_QUERY_VALUE) ? 1 : 0;
}

// isapprunning(class, title): the first top-level window with that class and
// title, as WindowHandleValue gives it, or 0.  Either may be null (0) to match
// any; any other value that is no text matches no window.
ScriptValue IsAppRunningBuiltin()
{
    ScriptValue arguments[2] = {};
    if (!ReadBuiltinArguments(BuiltinIsapprunning, arguments))
        return 0;
    return WindowHandleValue(FindScriptWindow(arguments));
}

// closeapp(class, title): sends WM_CLOSE to the first top-level window with
// that class and title and returns 0.  SendMessageA waits until the window has
// handled the message; whether the program then really ends is not checked.
// Either name may be null (0) to match any, but not both: that names no
// program at all and would ask whichever window comes first (the wizard
// itself, as like as not) to close, so nothing is sent.  Any other value that
// is no text matches no window.
ScriptValue CloseAppBuiltin()
{
    ScriptValue arguments[2] = {};
    if (!ReadBuiltinArguments(BuiltinCloseapp, arguments))
        return 0;
    if (arguments[0] == 0 && arguments[1] == 0)
        return 0;
    HWND window = FindScriptWindow(arguments);
    if (window)
        SendMessageA(window, WM_CLOSE, 0, 0);
    return 0;
}

// prefskey(keyPath): while logging is on, records the key (under
// HKEY_CURRENT_USER) as a PrefsKey entry of the install log, as written:
// it names the installed program's own key and is not a file path, so no
// macro is expanded.  The registry is not touched.  A key path that is no
// text records nothing, and neither does one that names no key (empty, or
// only backslashes): the uninstaller deletes the recorded key with all its
// subkeys, and such a path would stand for HKEY_CURRENT_USER itself.
// Returns 0.
ScriptValue PrefsKeyBuiltin()
{
    ScriptValue argument = 0;
    int read = ReadBuiltinArguments(BuiltinPrefskey, &argument);
    const char* keyPath = ScriptTextOf(argument);
    if (read && keyPath && NamesSubkey(keyPath) && LoggingEnabled)
        LogAddPrefsKey(&TheInstallLog, keyPath);
    return 0;
}
