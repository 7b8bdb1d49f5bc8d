// Windows test support for the units of both programs: temporary folders,
// files and registry values made and read back, the setup's path buffers.
#ifndef VELLMARK_TESTS_WINDOWS_SUPPORT_H
#define VELLMARK_TESTS_WINDOWS_SUPPORT_H

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace fntest {

// The text in capitals (ASCII): Windows compares paths and keys without case.
inline std::string Upper(std::string text)
{
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return text;
}

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

// A scratch folder in the current folder, which lies outside the C: drive
// when the tests run from the build (Z:): what a test keeps there is no part
// of the machine it takes snapshots of.  Removed when it goes.
class ScratchOutsideC {
public:
    ScratchOutsideC()
    {
        char base[MAX_PATH];
        GetCurrentDirectoryA(sizeof base, base);
        path = std::string(base) + "\\vmscratch" + std::to_string(GetCurrentProcessId());
        CreateDirectoryA(path.c_str(), nullptr);
    }
    ~ScratchOutsideC() { RemoveTree(path); }
    ScratchOutsideC(const ScratchOutsideC&) = delete;
    ScratchOutsideC& operator=(const ScratchOutsideC&) = delete;

    std::string path;
};

// The registry as the tests look at it.
inline bool KeyExists(HKEY root, const std::string& path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

// A text value, or "(none)" when the key or the value is missing.
inline std::string ReadTextValue(HKEY root, const std::string& path, const char* name)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return "(none)";
    char text[2048];
    DWORD size = sizeof text - 1;
    DWORD type = 0;
    LONG status = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || type != REG_SZ)
        return "(none)";
    text[size] = '\0';
    return text;
}

// A REG_DWORD value, or -1 when the key or the value is missing.
inline long long ReadNumberValue(HKEY root, const std::string& path, const char* name)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return -1;
    DWORD value = 0, size = sizeof value, type = 0;
    LONG status = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS && type == REG_DWORD ? static_cast<long long>(value) : -1;
}

inline void SetNumberValue(HKEY root, const std::string& path, const char* name, DWORD value)
{
    HKEY key = nullptr;
    if (RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    RegCloseKey(key);
}

// Creates the key when it is missing and sets the text value; whether both worked.
inline bool SetTextValue(HKEY root, const std::string& path, const char* name, const std::string& text)
{
    HKEY key = nullptr;
    if (RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    LONG status = RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                                 static_cast<DWORD>(text.size() + 1));
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

// Deletes a key with everything below it.
inline void DeleteKeyTree(HKEY root, const std::string& path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_ENUMERATE_SUB_KEYS, &key) == ERROR_SUCCESS) {
        char name[256];
        while (RegEnumKeyA(key, 0, name, sizeof name) == ERROR_SUCCESS) {
            DeleteKeyTree(root, path + "\\" + name);
            if (KeyExists(root, path + "\\" + name))
                break;
        }
        RegCloseKey(key);
    }
    RegDeleteKeyA(root, path.c_str());
}

// A file's bytes, or "(none)" when it cannot be read.
inline std::string ReadFileBytes(const std::string& path)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return "(none)";
    std::string bytes;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
        bytes.append(buffer, got);
    CloseHandle(file);
    return bytes;
}

inline bool WriteFileBytes(const std::string& path, const std::string& bytes)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    bool ok = bytes.empty() || (WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                                written == bytes.size());
    return CloseHandle(file) && ok;
}

// The names in a folder (files and folders, without . and ..), sorted.
inline std::vector<std::string> FolderNames(const std::string& path)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((path + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        std::string name = found.cFileName;
        if (name != "." && name != "..")
            names.push_back(name);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

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

// The key of the machine's environment, which holds its Path.
constexpr char MachineEnvironmentKey[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";

// The machine's Path, of either text type.
inline std::string MachinePath()
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, MachineEnvironmentKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return "(none)";
    std::string text(32768, '\0');
    DWORD size = static_cast<DWORD>(text.size() - 1);
    DWORD type = 0;
    LONG status = RegQueryValueExA(key, "Path", nullptr, &type, reinterpret_cast<BYTE*>(&text[0]), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ))
        return "(none)";
    text.resize(strlen(text.c_str()));
    return text;
}

// The type of the Path value (REG_EXPAND_SZ, ...), 0 when there is none.
inline DWORD MachinePathType()
{
    HKEY key = nullptr;
    DWORD type = 0;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, MachineEnvironmentKey, 0, KEY_QUERY_VALUE, &key) == ERROR_SUCCESS) {
        RegQueryValueExA(key, "Path", nullptr, &type, nullptr, nullptr);
        RegCloseKey(key);
    }
    return type;
}

// Writes the machine's Path, as REG_EXPAND_SZ.
inline void SetMachinePath(const std::string& path)
{
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, MachineEnvironmentKey, 0, KEY_SET_VALUE, &key), ERROR_SUCCESS);
    RegSetValueExA(key, "Path", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                   static_cast<DWORD>(path.size() + 1));
    RegCloseKey(key);
}

}  // namespace fntest

#endif
