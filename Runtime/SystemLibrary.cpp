#include "SystemLibrary.h"

#include <cstring>

void RestrictDllSearch()
{
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    if (!kernel)
        return;
    // Windows 8, and Windows 7 / Vista with the security update: system folder only.
    typedef BOOL(WINAPI * SetDefaultDllDirectoriesFn)(DWORD);
    SetDefaultDllDirectoriesFn setDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(
        reinterpret_cast<void (*)()>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
    if (setDefault)
        setDefault(0x00000800 /* LOAD_LIBRARY_SEARCH_SYSTEM32 */);
    // Windows XP SP1 and later: at least the current folder leaves the search.
    typedef BOOL(WINAPI * SetDllDirectoryFn)(LPCSTR);
    SetDllDirectoryFn setDirectory =
        reinterpret_cast<SetDllDirectoryFn>(reinterpret_cast<void (*)()>(GetProcAddress(kernel, "SetDllDirectoryA")));
    if (setDirectory)
        setDirectory("");
}

HMODULE LoadSystemLibrary(const char* name)
{
    char path[MAX_PATH + 64];
    UINT length = GetSystemDirectoryA(path, MAX_PATH);
    size_t nameLength = strlen(name);
    if (length == 0 || length >= MAX_PATH || length + 1 + nameLength >= sizeof path)
        return nullptr;
    path[length] = '\\';
    memcpy(path + length + 1, name, nameLength + 1);
    return LoadLibraryA(path);
}

FARPROC SystemLibraryFunction(const char* library, const char* function)
{
    HMODULE module = GetModuleHandleA(library);
    if (!module)
        module = LoadSystemLibrary(library);
    return module ? GetProcAddress(module, function) : nullptr;
}

void StartProgramLibraries()
{
    RestrictDllSearch();
    typedef void(WINAPI * InitCommonControlsFn)();
    if (InitCommonControlsFn init = SystemFunction<InitCommonControlsFn>("comctl32.dll", "InitCommonControls"))
        init();
}
