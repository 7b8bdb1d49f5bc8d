// The destination folder: its default and its write test.
#include "Destination.h"

#include <windows.h>

#include <cstdio>

#include "Handles.h"
#include "PathMacros.h"
#include "RegistryKey.h"
#include "SetupState.h"

namespace {

constexpr int WriteTestNames = 100;         // temp.temp, temp1.temp ... temp99.temp

}  // namespace

void SetDefaultDestination()
{
    // The Program Files folder; left empty when it cannot be read.
    ProgramFilesPath[0] = '\0';
    RegistryKey key;
    if (key.Open(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion", KEY_QUERY_VALUE))
        key.QueryText("ProgramFilesDir", ProgramFilesPath, SetupPathSize);

    // The default folder: Program Files, the company and the product.
    BuildProductPath(ProgramFilesPath, ProductNamesCompanyAndProduct, InstallDir, SetupPathSize);
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
