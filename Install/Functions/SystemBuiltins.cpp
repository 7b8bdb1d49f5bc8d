// The built-ins that change the system beyond the product's files: registry
// values (regsetstring, regsetdword), a file type (fileassoc), a folder on
// the machine's PATH (addpath), and running a program (runprogram).
//
// Every change goes through the installation's journal (Transaction.h), so
// that a failed installation gives every key and value back as it was, and
// is recorded in the install log (while logging is on) for the uninstaller.
// Nothing here shows a message or sets CopyError; a failure is the result.
// When an argument could not be read (an error in the script) nothing is done.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "AnsiText.h"
#include "Handles.h"
#include "InstallLog.h"
#include "PathList.h"
#include "PathMacros.h"
#include "SetupBuiltins.h"
#include "SetupState.h"
#include "SystemChanges.h"
#include "Transaction.h"
#include "Transcript.h"

namespace {

// The registry's limit on a key path, which no key of ours comes near.
constexpr size_t KeyPathLimit = 255 * 2;

// A key path as the script gave it, without backslashes at either end,
// copied into `out`.  0 for one that is empty then, holds two backslashes
// in a row, or is too long.
int KeyPathArgument(const char* text, char (&out)[WorkBufferSize])
{
    if (!text)
        return 0;
    while (*text == '\\')
        ++text;
    size_t length = strlen(text);
    while (length > 0 && text[length - 1] == '\\')
        --length;
    if (length == 0 || length > KeyPathLimit)
        return 0;
    memcpy(out, text, length);
    out[length] = '\0';
    return strstr(out, "\\\\") ? 0 : 1;
}

// The outermost key of `path` that does not exist yet, as "ROOT\path", or
// "" when the whole path exists.  0 when it does not fit.
int OutermostMissingKey(HKEY root, const char* rootName, const char* path, char (&out)[WorkBufferSize])
{
    out[0] = '\0';
    char partial[WorkBufferSize];
    size_t length = strlen(path);
    for (size_t end = 1; end <= length; ++end) {
        if (end < length && path[end] != '\\')
            continue;
        memcpy(partial, path, end);
        partial[end] = '\0';
        RegistryKey existing;
        if (existing.Open(root, partial, KEY_QUERY_VALUE))
            continue;
        PathText missing;
        missing.Append(rootName);
        missing.Append("\\");
        missing.Append(partial);
        return missing.CopyTo(out, sizeof out);
    }
    return 1;
}

// regsetstring and regsetdword once their value is known.
ScriptValue SetScriptValue(const ScriptValue (&arguments)[4], DWORD type, const void* data, DWORD size)
{
    const char* rootName = nullptr;
    HKEY root = ScriptRegistryRoot(ScriptTextOf(arguments[0]), &rootName);
    char keyPath[WorkBufferSize];
    const char* name = nullptr;
    if (!root || !KeyPathArgument(ScriptTextOf(arguments[1]), keyPath) ||
        !OptionalTextArgument(arguments[2], &name))
        return 0;
    char logged[WorkBufferSize];
    char created[WorkBufferSize];
    if (!LogBuildRegValuePath(rootName, keyPath, name, logged, sizeof logged) || strlen(logged) > LogMaxTextLength ||
        !OutermostMissingKey(root, rootName, keyPath, created))
        return 0;

    JournaledKey key;
    if (!key.Create(root, keyPath, KEY_QUERY_VALUE | KEY_SET_VALUE) ||
        !key.SetValue(name && name[0] ? name : nullptr, type, data, size))
        return 0;
    if (LoggingEnabled)
        LogAddRegValue(&TheInstallLog, logged, created[0] ? created : nullptr);
    return 1;
}

// Writes the default value of Classes\<progId><sub>.
bool SetClassesDefault(const char* progId, const char* sub, const char* text)
{
    PathText path;
    path.Append(ClassesKeyPath);
    path.Append("\\");
    path.Append(progId);
    path.Append(sub);
    JournaledKey key;
    return !path.overlong && key.Create(HKEY_LOCAL_MACHINE, path.text) && key.SetText(nullptr, text);
}

// A name for a key of Software\Classes: not empty, no backslash.
bool ClassesName(const char* text)
{
    return text && text[0] && !strchr(text, '\\') && strlen(text) < 200;
}

// The text of an argument that may hold a leading folder macro, expanded in
// place; null for a value that is no text or whose expansion does not fit.
const char* ExpandedText(ScriptValue value)
{
    size_t room = 0;
    char* text = ScriptWritableTextOf(value, &room);
    if (!text || !ExpandPathMacros(text, room))
        return nullptr;
    return text;
}

}  // namespace

// regsetstring(root, key, name, text): a REG_SZ value.  `root` is "HKLM" or
// "HKCU" in any case; `key` a path below it (backslashes at its ends are
// dropped; it is created with its missing parents); `name` 0 or "" for the
// key's default value.  A leading folder macro of `text` is expanded.  1
// when the value was written, 0 when nothing was: a root, key, name or text
// that is no text (a name may be 0), an empty key, a key with two
// backslashes in a row, an expansion that does not fit.
ScriptValue RegSetStringBuiltin()
{
    ScriptValue arguments[4] = {};
    if (!ReadBuiltinArguments(BuiltinRegsetstring, arguments))
        return 0;
    const char* text = ExpandedText(arguments[3]);
    if (!text)
        return 0;
    return SetScriptValue(arguments, REG_SZ, text, static_cast<DWORD>(strlen(text) + 1));
}

// regsetdword(root, key, name, number): a REG_DWORD value, the number's 32
// bits as they are (-1 is 0xFFFFFFFF); otherwise as regsetstring.
ScriptValue RegSetDwordBuiltin()
{
    ScriptValue arguments[4] = {};
    if (!ReadBuiltinArguments(BuiltinRegsetdword, arguments))
        return 0;
    DWORD number = static_cast<DWORD>(arguments[3]);
    return SetScriptValue(arguments, REG_DWORD, &number, sizeof number);
}

// fileassoc(extension, progid, description, icon, program): registers the
// file type below HKLM\Software\Classes: ".ext" (the dot is added when
// missing) names the ProgID, whose default value is the description (0: none
// is written), whose DefaultIcon is `icon` (0: none) and whose
// shell\open\command is "PROGRAM" "%1".  Leading folder macros of the icon and
// the program are expanded.  Then the shell is told.  1 when everything was
// written; 0 when an argument is no text (or no name: empty, with a
// backslash), or a write failed (what was written stays until the
// installation ends, and goes with it if it fails).
ScriptValue FileAssocBuiltin()
{
    ScriptValue arguments[5] = {};
    if (!ReadBuiltinArguments(BuiltinFileassoc, arguments))
        return 0;
    const char* given = ScriptTextOf(arguments[0]);
    const char* progId = ScriptTextOf(arguments[1]);
    const char* description = nullptr;
    const char* icon = nullptr;
    if (!given || !ClassesName(progId) || !OptionalTextArgument(arguments[2], &description) ||
        (arguments[3] != 0 && !(icon = ExpandedText(arguments[3]))))
        return 0;
    char* program = ExpandedPathArgument(arguments[4]);
    if (!program || strchr(program, '"'))
        return 0;
    char extension[WorkBufferSize];
    int made = snprintf(extension, sizeof extension, "%s%s", given[0] == '.' ? "" : ".", given);
    if (made < 0 || static_cast<size_t>(made) >= sizeof extension || !ClassesName(extension) || extension[1] == '\0')
        return 0;
    char command[WorkBufferSize];
    made = snprintf(command, sizeof command, "\"%s\" \"%%1\"", program);
    if (made < 0 || static_cast<size_t>(made) >= sizeof command)
        return 0;

    // What the extension named before, for the uninstaller to give back.
    char earlier[WorkBufferSize] = "";
    PathText extensionPath;
    extensionPath.Append(ClassesKeyPath);
    extensionPath.Append("\\");
    extensionPath.Append(extension);
    {
        RegistryKey existing;
        DWORD type = 0;
        if (existing.Open(HKEY_LOCAL_MACHINE, extensionPath.text, KEY_QUERY_VALUE) &&
            (!existing.QueryText(nullptr, earlier, sizeof earlier, &type) || type != REG_SZ ||
             AnsiCompareNoCase(earlier, progId) == 0 || !ClassesName(earlier)))
            earlier[0] = '\0';
    }

    bool written = (!description || SetClassesDefault(progId, "", description)) &&
                   (!icon || SetClassesDefault(progId, "\\DefaultIcon", icon)) &&
                   SetClassesDefault(progId, "\\shell\\open\\command", command);
    if (written) {
        JournaledKey key;
        written = !extensionPath.overlong && key.Create(HKEY_LOCAL_MACHINE, extensionPath.text) &&
                  key.SetText(nullptr, progId);
    }
    // Logged once anything may have been written: the uninstaller removes
    // only what is there and still ours.
    if (LoggingEnabled)
        LogAddFileType(&TheInstallLog, extension, progId, earlier[0] ? earlier : nullptr);
    NotifyFileTypesChanged();
    return written ? 1 : 0;
}

// addpath(folder): appends the folder (a leading folder macro expanded) to
// the machine's Path, a REG_EXPAND_SZ value (a REG_SZ one keeps its type),
// and tells the running programs.  A folder that is on the Path already
// (compared as PathList.h does) is not added again and not logged.  1 when
// the folder is on the Path afterwards; 0 for a folder that is no text,
// empty or holds a ";", or when the value could not be written.
ScriptValue AddPathBuiltin()
{
    ScriptValue argument = 0;
    int read = ReadBuiltinArguments(BuiltinAddpath, &argument);
    char* folder = ExpandedPathArgument(argument);
    if (!read || !folder || strchr(folder, ';') || strlen(folder) > LogMaxTextLength)
        return 0;
    DWORD type = REG_EXPAND_SZ;
    char* list = ReadMachinePath(&type);
    if (PathListHas(list, folder)) {
        HeapFree(GetProcessHeap(), 0, list);
        return 1;
    }
    size_t capacity = (list ? strlen(list) : 0) + strlen(folder) + 2;
    auto* edited = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, capacity));
    bool written = false;
    if (edited && PathListAdd(list, folder, edited, capacity)) {
        JournaledKey key;
        written = key.Create(HKEY_LOCAL_MACHINE, EnvironmentKeyPath) &&
                  key.SetValue("Path", type, edited, static_cast<DWORD>(strlen(edited) + 1));
    }
    if (edited)
        HeapFree(GetProcessHeap(), 0, edited);
    if (list)
        HeapFree(GetProcessHeap(), 0, list);
    if (!written)
        return 0;
    if (LoggingEnabled)
        LogAddPathFolder(&TheInstallLog, folder);
    BroadcastEnvironmentChange();
    return 1;
}

// runprogram(program, arguments, wait): starts the program (a leading
// folder macro expanded) in its own folder.  The system is given the program
// as the file to run, and the command line the program sees begins with its
// path in double quotes, then a blank and `arguments` (0: none).  With `wait`
// non-zero the call waits for the program to end and gives its exit code;
// otherwise 0 once it has started.  -1 when it could not be started (a
// program or arguments value that is no text, a program path with a double
// quote).  Nothing of what the program does is logged or undone.  The
// transcript of an unattended setup records the call and its outcome.
ScriptValue RunProgramBuiltin()
{
    ScriptValue arguments[3] = {};
    if (!ReadBuiltinArguments(BuiltinRunprogram, arguments))
        return -1;
    char* program = ExpandedPathArgument(arguments[0]);
    const char* programArguments = nullptr;
    if (!program || strchr(program, '"') || !OptionalTextArgument(arguments[1], &programArguments)) {
        TranscriptLine("runprogram: %s: not started (no program)", program ? program : "");
        return -1;
    }
    char commandLine[2 * WorkBufferSize];
    int made = snprintf(commandLine, sizeof commandLine, "\"%s\"%s%s", program,
                        programArguments && programArguments[0] ? " " : "",
                        programArguments ? programArguments : "");
    char folder[WorkBufferSize];
    size_t length = strlen(program);
    while (length > 0 && program[length - 1] != '\\')
        --length;
    if (length > 0 && !(length == 3 && program[1] == ':'))
        --length;   // the folder without its backslash, but "C:\" whole
    memcpy(folder, program, length);
    folder[length] = '\0';
    if (made < 0 || static_cast<size_t>(made) >= sizeof commandLine) {
        TranscriptLine("runprogram: %s: not started (the command line is too long)", program);
        return -1;
    }

    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(program, commandLine, nullptr, nullptr, FALSE, 0, nullptr, length ? folder : nullptr,
                        &startup, &process)) {
        TranscriptLine("runprogram: %s: not started (error %lu)", commandLine,
                       static_cast<unsigned long>(GetLastError()));
        return -1;
    }
    KernelHandle thread(process.hThread);
    KernelHandle running(process.hProcess);
    if (arguments[2] == 0) {
        TranscriptLine("runprogram: %s: started", commandLine);
        return 0;
    }
    DWORD exitCode = 0;
    WaitForSingleObject(running.Get(), INFINITE);
    if (!GetExitCodeProcess(running.Get(), &exitCode)) {
        TranscriptLine("runprogram: %s: ended, its exit code unknown", commandLine);
        return -1;
    }
    TranscriptLine("runprogram: %s: exit code %ld", commandLine, static_cast<long>(static_cast<int32_t>(exitCode)));
    return static_cast<ScriptValue>(exitCode);
}
