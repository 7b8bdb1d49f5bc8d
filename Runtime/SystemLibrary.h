// Libraries that are not part of every process are loaded from the system
// folder only, by full path, never through the search order: a setup program
// typically runs from a Downloads folder where anyone may have left a DLL.
#ifndef VELLMARK_SYSTEMLIBRARY_H
#define VELLMARK_SYSTEMLIBRARY_H

#include <windows.h>

// Removes the program's own folder and the current folder from the DLL search
// for everything loaded later, as far as the running Windows offers it.
void RestrictDllSearch();

// The first steps of our programs: RestrictDllSearch, then the common
// controls of the system folder's comctl32 registered for the dialogs.
void StartProgramLibraries();

// LoadLibraryA of "<system folder>\<name>"; null when it cannot be loaded.
// The module stays loaded for the life of the process.
HMODULE LoadSystemLibrary(const char* name);

// GetProcAddress of `function` in the system library `library`, or null.
FARPROC SystemLibraryFunction(const char* library, const char* function);

// The same, typed: SystemFunction<BOOL(WINAPI*)(LPCSTR)>("x.dll", "Name").
// The cast goes through the generic function pointer type void (*)().
template <typename Function>
Function SystemFunction(const char* library, const char* function)
{
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(SystemLibraryFunction(library, function)));
}

#endif
