// Windows test support for the built-ins: temporary folders, the settings
// text, and scripts run through the engine with the setup's BuiltinTable.
#ifndef VELLMARK_TESTS_FUNCTIONS_SUPPORT_H
#define VELLMARK_TESTS_FUNCTIONS_SUPPORT_H

#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "Script.h"
#include "SetupBuiltins.h"
#include "SetupState.h"
#include "Settings.h"

namespace fntest {

inline bool IsFolder(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

inline bool IsFile(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

inline void RemoveTree(const std::string& path)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((path + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            if (name == "." || name == "..")
                continue;
            std::string child = path + "\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(child);
            else
                DeleteFileA(child.c_str());
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(path.c_str());
}

// A fresh folder under the temporary folder, removed with everything in it.
class TempFolder {
public:
    TempFolder()
    {
        char base[MAX_PATH];
        GetTempPathA(sizeof base, base);
        static int counter = 0;
        path = std::string(base) + "vmfn" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(++counter);
        CreateDirectoryA(path.c_str(), nullptr);
    }
    ~TempFolder() { RemoveTree(path); }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    std::string path;
};

inline std::string WindowsFolder()
{
    char folder[MAX_PATH];
    GetWindowsDirectoryA(folder, sizeof folder);
    return folder;
}

inline std::string SystemFolder()
{
    char folder[MAX_PATH];
    GetSystemDirectoryA(folder, sizeof folder);
    return folder;
}

// Whether a window that could not be created is to be skipped rather than
// failed: a plain run without an X display and without wine's null graphics
// driver cannot create windows.  windows-versions.sh runs the same tests with
// the null driver, and there (VM_EXPECT_WINDOWS set) a missing window fails.
inline bool WindowsUnavailableHere()
{
    const char* display = getenv("DISPLAY");
    const char* driverRun = getenv("VM_EXPECT_WINDOWS");
    return (!display || !*display) && (!driverRun || !*driverRun);
}

struct ScriptReports {
    std::vector<std::string> texts;
};

inline void CollectReport(const char* text, int, void* context)
{
    static_cast<ScriptReports*>(context)->texts.emplace_back(text);
}

// One setup script: its text is the SetupScript the settings are read from
// and the script the engine runs, with the setup program's built-ins.
class SetupScriptRun {
public:
    explicit SetupScriptRun(const std::string& text) : buffer(text.begin(), text.end())
    {
        buffer.push_back('\0');
        SetScriptErrorSink(CollectReport, &reports);
        InstallSetupBuiltins();
        PrepareScript(buffer.data());
        SetupScript = buffer.data();
        accepted = DeclareScript() == 1;
    }
    ~SetupScriptRun()
    {
        SetScriptErrorSink(nullptr, nullptr);
        InstallBuiltinTable(nullptr);
        SetupScript = nullptr;
    }
    SetupScriptRun(const SetupScriptRun&) = delete;
    SetupScriptRun& operator=(const SetupScriptRun&) = delete;

    ScriptValue Call(const char* function) { return accepted ? CallScriptFunction(function) : 0; }

    std::vector<char> buffer;
    ScriptReports reports;
    bool accepted = false;
};

// A script whose function f() returns `expression` after running `statements`.
inline std::string ScriptReturning(const std::string& expression, const std::string& settings = "",
                                   const std::string& statements = "")
{
    return settings + "f()\r\n{\r\n" + statements + "\r\nreturn " + expression + ";\r\n}\r\n";
}

}  // namespace fntest

#endif
