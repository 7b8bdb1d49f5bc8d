// Path macros and folder helpers.
#include "PathMacros.h"

#include <cstring>

#include "SetupState.h"
#include "Settings.h"

namespace {

// A text built piece by piece in a fixed buffer.  A piece that does not fit
// marks the whole text as overlong instead of being cut: a path cut short can
// name a different file.
struct PathBuilder {
    char text[PATH_WORK_SIZE];
    size_t length = 0;
    bool overlong = false;

    PathBuilder() { text[0] = '\0'; }

    void Append(const char* piece)
    {
        size_t n = strlen(piece);
        if (overlong || n >= sizeof text - length) {
            overlong = true;
            return;
        }
        memcpy(text + length, piece, n + 1);
        length += n;
    }
};

// The result of a Windows folder query into a work-size buffer: the folder,
// or the empty text when the query failed or the folder would not fit.
void AppendWindowsFolder(PathBuilder* out, UINT (WINAPI* query)(LPSTR, UINT))
{
    char folder[PATH_WORK_SIZE];
    UINT n = query(folder, sizeof folder);
    if (n == 0 || n >= sizeof folder)
        folder[0] = '\0';
    out->Append(folder);
}

// "\" and a setting's value, or nothing when the setting is missing.
void AppendSettingComponent(PathBuilder* out, const char* key)
{
    char value[SETTING_VALUE_SIZE];
    if (GetSetting(key, value, sizeof value)) {
        out->Append("\\");
        out->Append(value);
    }
}

void AppendWindowsFolderPath(PathBuilder* out) { AppendWindowsFolder(out, GetWindowsDirectoryA); }
void AppendSystemFolderPath(PathBuilder* out) { AppendWindowsFolder(out, GetSystemDirectoryA); }

void AppendDriverFolder(PathBuilder* out)
{
    AppendWindowsFolder(out, GetWindowsDirectoryA);
    out->Append("\\System32\\Drivers");
}

void AppendInstallDir(PathBuilder* out) { out->Append(InstallDir); }
void AppendProgramFiles(PathBuilder* out) { out->Append(ProgramFilesPath); }

void AppendProductFolder(PathBuilder* out)
{
    out->Append(ProgramFilesPath);
    AppendSettingComponent(out, "Company");
    AppendSettingComponent(out, "Product");
}

void AppendCompanyFolder(PathBuilder* out)
{
    out->Append(ProgramFilesPath);
    AppendSettingComponent(out, "Company");
}

struct PathMacro {
    const char* name;
    void (*expand)(PathBuilder* out);
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
        PathBuilder result;
        macro.expand(&result);
        result.Append(path + macroLength);
        if (result.overlong || result.length >= capacity) {
            path[0] = '\0';
            return 0;
        }
        memcpy(path, result.text, result.length + 1);
        return 1;
    }
    return 1;
}

void CreateDirectoryTree(char* path)
{
    if (!path)
        return;
    size_t length = strlen(path);
    for (size_t i = 0; i < length; ++i) {
        if (path[i] != '\\')
            continue;
        path[i] = '\0';
        CreateDirectoryA(path, nullptr);
        path[i] = '\\';
    }
    CreateDirectoryA(path, nullptr);
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
