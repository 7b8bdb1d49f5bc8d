// The system-wide changes of the registry, file-type, PATH and program
// built-ins (SystemBuiltins.cpp), and their removal by the playback of an
// install log.  A failed installation is undone from its journal instead
// (Transaction.h), which gives every key and value back as it was.
#ifndef VELLMARK_SYSTEMCHANGES_H
#define VELLMARK_SYSTEMCHANGES_H

#include <windows.h>

#include "InstallLog.h"

// The key of the machine's environment, whose "Path" value addpath edits.
constexpr char EnvironmentKeyPath[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
// The file types' key below HKEY_LOCAL_MACHINE.
constexpr char ClassesKeyPath[] = "Software\\Classes";

// The root a script names: "HKLM" or "HKCU" in any case; null for anything
// else.  `canonical`, when given, receives "HKLM" or "HKCU".
HKEY ScriptRegistryRoot(const char* text, const char** canonical = nullptr);

// The machine's Path into a new heap block (HeapFree it), with its type;
// null when there is none (`*type` is then REG_EXPAND_SZ, the type a new
// one gets) or it cannot be read.
char* ReadMachinePath(DWORD* type);

// Tells the running programs that the environment changed, and the shell
// that file types did.
void BroadcastEnvironmentChange();
void NotifyFileTypesChanged();

// The removals of the playback, one per kind; each does what it can and
// reports nothing.
//   RegValue: the value.  Once every value is gone, RemoveRegValueKeys takes
//   its key and each parent up to the outermost key the write created, as far
//   as they are empty (another value of the same key may be recorded later
//   in the log, without the keys that the first write created).
void RemoveRegValue(const LogEntry* entry);
void RemoveRegValueKeys(const LogEntry* entry);
//   FileType: the ProgID's command, icon and description, their keys when
//   empty; the extension's default only while it still names this ProgID
//   (then the ProgID it named before comes back when that one still exists),
//   and the extension's key when empty.
void RemoveFileType(const LogEntry* entry);
//   PathFolder: every item of the machine's Path that names the folder; the
//   other items stay as they are.
void RemovePathFolder(const LogEntry* entry);

#endif
