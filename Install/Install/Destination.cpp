// The destination folder: its default and its write test.
#include "Destination.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

#include "CommandLine.h"

#include "Handles.h"
#include "PathMacros.h"
#include "RegistryKey.h"
#include "SetupState.h"

namespace {

constexpr int WriteTestNames = 100;         // temp.temp, temp1.temp ... temp99.temp

// The Program Files folder from the registry into ProgramFilesPath: its
// variables expanded (wine and some Windows store "%SystemDrive%\Program
// Files"), and empty unless the result is a full path.
void ReadProgramFilesFolder()
{
    ProgramFilesPath[0] = '\0';
    RegistryKey key;
    char stored[SetupPathSize];
    DWORD type = 0;
    if (!key.Open(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion", KEY_QUERY_VALUE) ||
        !key.QueryText("ProgramFilesDir", stored, sizeof stored, &type))
        return;
    if (type == REG_EXPAND_SZ || strchr(stored, '%')) {
        DWORD length = ExpandEnvironmentStringsA(stored, ProgramFilesPath, SetupPathSize);
        if (length == 0 || length > SetupPathSize)
            ProgramFilesPath[0] = '\0';
    } else {
        memcpy(ProgramFilesPath, stored, sizeof stored);
    }
    if (!IsFullPath(ProgramFilesPath))
        ProgramFilesPath[0] = '\0';
}

}  // namespace

int ReadRegisteredFolder(char (&folder)[SetupPathSize])
{
    char keyPath[WorkBufferSize];
    RegistryKey key;
    DWORD type = 0;
    if (!BuildProductPath("Software", ProductNamesCompanyAndProduct, keyPath, sizeof keyPath) ||
        !key.Open(HKEY_LOCAL_MACHINE, keyPath, KEY_QUERY_VALUE) ||
        !key.QueryText("Path", folder, SetupPathSize, &type) || type != REG_SZ) {
        folder[0] = '\0';
        return 0;
    }
    DWORD attributes = GetFileAttributesA(folder);
    if (!IsFullPath(folder) || strlen(folder) > DestinationLengthLimit || attributes == INVALID_FILE_ATTRIBUTES ||
        !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        folder[0] = '\0';
        return 0;
    }
    return 1;
}

DestinationSource SetDefaultDestination(bool preferRegistered)
{
    ReadProgramFilesFolder();
    if (preferRegistered && ReadRegisteredFolder(InstallDir))
        return DestinationRegistered;

    // The default folder: Program Files, the company and the product.
    if (!BuildProductPath(ProgramFilesPath, ProductNamesCompanyAndProduct, InstallDir, SetupPathSize) ||
        !IsFullPath(InstallDir)) {
        InstallDir[0] = '\0';
        return DestinationNone;
    }
    return DestinationDefault;
}

bool FolderWritable(const char* folder)
{
    for (int attempt = 0; attempt < WriteTestNames; ++attempt) {
        char testFile[WorkBufferSize];
        if (attempt == 0)
            snprintf(testFile, sizeof testFile, "%s\\temp.temp", folder);
        else
            snprintf(testFile, sizeof testFile, "%s\\temp%d.temp", folder, attempt);
        // The NT family removes the file when it is closed, even when the
        // program dies first; the Windows 95 family is not relied on for
        // that, so the file is deleted by name there.
        DWORD flags = FILE_FLAG_RANDOM_ACCESS | FILE_ATTRIBUTE_NORMAL;
        if (IsWindowsNT)
            flags |= FILE_FLAG_DELETE_ON_CLOSE;
        KernelHandle file(CreateFileA(testFile, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW, flags, nullptr));
        if (file.IsOpen()) {
            file.Close();   // before the deletion by name
            if (!IsWindowsNT)
                DeleteFileA(testFile);
            return true;
        }
        if (!PathExists(testFile))
            return false;  // not taken, just not writable
    }
    return false;
}
