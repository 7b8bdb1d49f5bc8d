// Path macros and folder helpers.
#include "PathMacros.h"

#include <cstring>

#include "SetupState.h"
#include "Transaction.h"

namespace {

// The result of a Windows folder query into a work-size buffer: the folder,
// or the empty text when the query failed or the folder would not fit.
void AppendWindowsFolder(PathText* out, UINT (WINAPI* query)(LPSTR, UINT))
{
    char folder[WorkBufferSize];
    UINT n = query(folder, sizeof folder);
    if (n == 0 || n >= sizeof folder)
        folder[0] = '\0';
    out->Append(folder);
}

void AppendWindowsFolderPath(PathText* out) { AppendWindowsFolder(out, GetWindowsDirectoryA); }
void AppendSystemFolderPath(PathText* out) { AppendWindowsFolder(out, GetSystemDirectoryA); }

void AppendDriverFolder(PathText* out)
{
    AppendWindowsFolder(out, GetWindowsDirectoryA);
    out->Append("\\System32\\Drivers");
}

void AppendInstallDir(PathText* out) { out->Append(InstallDir); }
void AppendProgramFiles(PathText* out) { out->Append(ProgramFilesPath); }

void AppendProductFolder(PathText* out)
{
    out->Append(ProgramFilesPath);
    AppendProductNames(out, ProductNamesCompanyAndProduct);
}

void AppendCompanyFolder(PathText* out)
{
    out->Append(ProgramFilesPath);
    AppendProductNames(out, ProductNamesCompany);
}

struct PathMacro {
    const char* name;
    void (*expand)(PathText* out);
};

// Tested in this order; the first that matches is the only one replaced.
const PathMacro PathMacros[] = {
    {"%WINDIR%", AppendWindowsFolderPath},
    {"%WINSYSDIR%", AppendSystemFolderPath},
    {"%DRIVERDIR%", AppendDriverFolder},
    {"%APPDIR%", AppendInstallDir},
    {"%PROGFILESDIR%", AppendProgramFiles},
    {"%PRODUCTDIR%", AppendProductFolder},
    {"%COMPANYDIR%", AppendCompanyFolder},
};

}  // namespace

int ExpandPathMacros(char* path, size_t capacity)
{
    if (!path || capacity == 0)
        return 0;
    size_t length = strnlen(path, capacity);
    if (length == capacity)
        return 0;   // not a text we could safely extend

    for (const PathMacro& macro : PathMacros) {
        size_t macroLength = strlen(macro.name);
        if (length < macroLength || _strnicmp(path, macro.name, macroLength) != 0)
            continue;
        PathText result;
        macro.expand(&result);
        result.Append(path + macroLength);
        return result.CopyTo(path, capacity);
    }
    return 1;
}

namespace {

// One folder of the tree: recorded in the installation's journal before it
// is made, when it is not there.  false when the journal could not take it.
bool CreateOneFolder(const char* folder)
{
    if (GetFileAttributesA(folder) != INVALID_FILE_ATTRIBUTES)
        return true;
    if (!RecordFolderCreation(folder))
        return false;
    if (CreateDirectoryA(folder, nullptr))
        FolderCreated();
    return true;
}

}  // namespace

void CreateDirectoryTree(char* path)
{
    if (!path)
        return;
    size_t length = strlen(path);
    for (size_t i = 0; i < length; ++i) {
        if (path[i] != '\\' || i == 0 || path[i - 1] == ':' || path[i - 1] == '\\')
            continue;
        path[i] = '\0';
        bool made = CreateOneFolder(path);
        path[i] = '\\';
        if (!made)
            return;
    }
    CreateOneFolder(path);
}

int PathExists(const char* path)
{
    if (!path)
        return 0;
    if (path[0] == '\0')
        return 1;
    if (strlen(path) == 3 && path[1] == ':' && path[2] == '\\')
        return GetDriveTypeA(path) != DRIVE_NO_ROOT_DIR ? 1 : 0;
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES ? 1 : 0;
}
