// Windows test support for the built-ins: temporary folders, the settings
// text, and scripts run through the engine with the setup's BuiltinTable.
#ifndef VELLMARK_TESTS_FUNCTIONS_SUPPORT_H
#define VELLMARK_TESTS_FUNCTIONS_SUPPORT_H

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "Script.h"
#include "ScriptSession.h"
#include "SetupBuiltins.h"
#include "SetupState.h"
#include "Settings.h"

namespace fntest {

// Copies `text` into one of the setup's fixed path buffers (InstallDir,
// ProgramFilesPath, ...): a text that would not fit fails the test instead
// of being written past the buffer.
template <size_t Size>
void SetPathBuffer(char (&buffer)[Size], const std::string& text)
{
    ASSERT_LT(text.size(), Size) << "a test path longer than its buffer: " << text;
    memcpy(buffer, text.c_str(), text.size() + 1);
}

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

inline void InstallSetupFor(ScriptRecord*, ScriptValue)
{
    InstallSetupBuiltins();
}

// One setup script: its text is the SetupScript the settings are read from
// and the script the engine runs, with the setup program's built-ins.  It is
// declared at once; `accepted` tells the outcome.
class SetupScriptRun : public ScriptSession {
public:
    explicit SetupScriptRun(const std::string& text) : ScriptSession(text, 1, InstallSetupFor)
    {
        accepted = Declare();
    }
};

// A script whose function f() returns `expression` after running `statements`.
inline std::string ScriptReturning(const std::string& expression, const std::string& settings = "",
                                   const std::string& statements = "")
{
    return settings + "f()\r\n{\r\n" + statements + "\r\nreturn " + expression + ";\r\n}\r\n";
}

}  // namespace fntest

#endif
