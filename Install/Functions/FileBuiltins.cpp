// File installation: the built-ins copy, copyshared and makedir, and the
// operations they share with the driver built-in and the registrations.
#include "FileInstall.h"

#include <cstdio>
#include <cstring>
#include <utility>

#include "FileCreation.h"
#include "InstallLog.h"
#include "LogFile.h"
#include "PathMacros.h"
#include "RegistryKey.h"
#include "SetupBuiltins.h"
#include "SetupState.h"
#include "Versions.h"

namespace {

// The folder part of a path: everything before its last backslash, or "."
// for a bare name.  0 when it does not fit.
int FolderOf(const char* path, char (&folder)[WorkBufferSize])
{
    const char* slash = strrchr(path, '\\');
    if (!slash) {
        strcpy(folder, ".");
        return 1;
    }
    size_t length = static_cast<size_t>(slash - path);
    // "C:\file": the folder is the drive's root, backslash included.
    if (length == 2 && path[1] == ':')
        ++length;
    if (length >= sizeof folder)
        return 0;
    memcpy(folder, path, length);
    folder[length] = '\0';
    return 1;
}

// Writes `size` bytes into a new temporary file in the destination's folder
// and moves it over the destination.  1 on success; 0 with the destination as
// it was and no temporary file left.
int WriteBesideAndReplace(const char* destination, const uint8_t* data, uint32_t size)
{
    char folder[WorkBufferSize];
    char temporary[MAX_PATH + 16];
    if (!FolderOf(destination, folder) || strlen(folder) > MAX_PATH - 14)
        return 0;
    // A name of its own in that folder, created empty; never one that exists.
    if (GetTempFileNameA(folder, "vm", 0, temporary) == 0)
        return 0;

    KernelHandle file(CreateFileA(temporary, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  WrittenFileFlags, nullptr));
    // A file that does not close cleanly may not hold every byte.
    bool written = file.IsOpen() && WriteBlockToFile(file.Get(), data, size);
    written = file.Close() && written;
    if (written && LogFileReplace(temporary, destination))
        return 1;
    DeleteFileA(temporary);
    return 0;
}

// The shared files key of the product the settings name.  0 when it would
// not fit.
int SharedFilesKeyOfSettings(char (&keyPath)[WorkBufferSize])
{
    ProductSettings names;
    return BuildSharedFilesKeyPath(names.company, names.product, keyPath, sizeof keyPath);
}

// Whether some installation holds a reference to `sharedName`.
bool SharedReferenceExists(const char* sharedName)
{
    char keyPath[WorkBufferSize];
    RegistryKey key;
    DWORD count = 0;
    return SharedFilesKeyOfSettings(keyPath) && key.Open(HKEY_LOCAL_MACHINE, keyPath, KEY_QUERY_VALUE) &&
           key.QueryNumber(sharedName, &count) && count > 0;
}

// copy and copyshared: entry, destination and (copyshared) the shared name.
// Every text must be there; a copy that cannot even be named fails like one
// that cannot be written, so the script sees the failure and the
// installation is undone instead of missing a file silently.
ScriptValue CopyEntry(BuiltinIndex index)
{
    ScriptValue arguments[3] = {};
    ReadBuiltinArguments(index, arguments);
    const bool shared = index == BuiltinCopyshared;
    char* destination = ExpandedPathArgument(arguments[1]);
    const char* entry = ScriptTextOf(arguments[0]);
    const char* sharedName = shared ? ScriptTextOf(arguments[2]) : nullptr;

    if (CopyError)
        return 1;
    if (!entry || !destination || (shared && !sharedName)) {
        CopyError = 1;
        return 1;
    }

    int existed = shared ? PathExists(destination) : 1;
    CopyError = ExtractEntryToFile(entry, destination) == 1 ? 0 : 1;
    if (CopyError)
        return 1;
    bool recorded = false;
    if (LoggingEnabled) {
        if (shared)
            recorded = LogAddSharedFile(&TheInstallLog, destination, sharedName) != 0;
        else
            LogAddFile(&TheInstallLog, destination);
    }
    // The count tells how many installed products hold the file.  A file that
    // was not there is counted.  One that was there is counted only when it
    // is counted already (another product installed it) and this product's
    // log did not record it yet: a file that came from elsewhere has no count
    // and is never removed, and a product installed again over itself holds
    // its one reference already.  Without the second rule the first of two
    // products removed would take the file from the other.
    if (shared && (!existed || (recorded && SharedReferenceExists(sharedName))))
        AddSharedReference(sharedName);
    return CopyError;
}

}  // namespace

char* ExpandedPathArgument(ScriptValue value)
{
    size_t room = 0;
    char* path = ScriptWritableTextOf(value, &room);
    if (!path || !ExpandPathMacros(path, room) || path[0] == '\0')
        return nullptr;
    return path;
}

bool WriteBlockToFile(HANDLE file, const void* block, uint32_t size)
{
    DWORD written = 0;
    return WriteFile(file, block, size, &written, nullptr) && written == size;
}

int WriteNewFile(KernelHandle created, const char* destination, const uint8_t* data, uint32_t size)
{
    bool written = WriteBlockToFile(created.Get(), data, size);
    written = created.Close() && written;
    if (written)
        return 1;
    // Created by this installation where no file was: it is its to remove.
    DeleteFileA(destination);
    return 0;
}

bool EntryNeedsWriting(const uint8_t* block, uint32_t size, const char* destination)
{
    // An entry without a version always replaces: the file there is not read.
    int64_t packaged = GetImageVersion(block, size);
    return packaged < 0 || packaged > ReadFileVersion(destination);
}

int ExtractEntryToFile(const char* entry, const char* destination)
{
    if (!entry || !destination || !SetupPackage)
        return 0;
    const PackageEntry* found = FindPackageEntry(SetupPackage, entry);
    if (!found || (found->attributes & PackageAttributeDirectory))
        return 0;

    // Where no file is, the file is created while the entry inflates: the
    // version rule has nothing to compare then, and the block is written
    // straight into it.  A file that is there is left to the version rule.
    FileCreation creation;
    creation.Start(destination, WrittenFileFlags);
    PackageBlock block;
    int extracted = ExtractPackageEntry(SetupPackage, entry, &block.data, &block.size);
    if (extracted != ExtractOk)
        return 0;   // the creation's file, if any, goes with it
    KernelHandle created = creation.Finish();
    if (created.IsOpen())
        return WriteNewFile(std::move(created), destination, block.data, block.size);

    // Never replace a file of the same or a newer version; a skip counts as success.
    if (!EntryNeedsWriting(block.data, block.size, destination))
        return 1;
    return WriteBesideAndReplace(destination, block.data, block.size);
}

void AddSharedReference(const char* sharedName)
{
    char keyPath[WorkBufferSize];
    if (!sharedName || !SharedFilesKeyOfSettings(keyPath))
        return;
    RegistryKey key;
    if (!key.Create(HKEY_LOCAL_MACHINE, keyPath, KEY_QUERY_VALUE | KEY_SET_VALUE))
        return;
    DWORD count = 0;
    if (!key.QueryNumber(sharedName, &count))
        count = 0;
    key.SetNumber(sharedName, count + 1);
}

ScriptValue CopyBuiltin()
{
    return CopyEntry(BuiltinCopy);
}

ScriptValue CopySharedBuiltin()
{
    return CopyEntry(BuiltinCopyshared);
}

// makedir(folder): creates the folder and its missing parents and records it,
// whether or not it was new.  A folder that is no text, or whose expansion
// would not fit, is neither created nor recorded; makedir never fails (a
// folder that is not there shows up as failed copies into it).
ScriptValue MakeDirBuiltin()
{
    ScriptValue folder = 0;
    ReadBuiltinArguments(BuiltinMakedir, &folder);
    char* path = ExpandedPathArgument(folder);
    if (!path)
        return 0;
    CreateDirectoryTree(path);
    if (LoggingEnabled)
        LogAddDirectory(&TheInstallLog, path);
    return 0;
}
