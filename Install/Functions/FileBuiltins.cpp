// File installation: the built-ins copy, copyshared and makedir, and the
// operations they share with the driver built-in and the registrations.
#include "FileInstall.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "EntryName.h"
#include "EntryStream.h"
#include "FileCreation.h"
#include "FileInUse.h"
#include "FileWriters.h"
#include "InstallLog.h"
#include "PathMacros.h"
#include "RegistryKey.h"
#include "SetupBuiltins.h"
#include "SetupState.h"
#include "Transaction.h"
#include "Versions.h"

namespace {

// Fills `file`, a file the run created at `path`, with write(handle); 1 when
// every byte is written and the file closed cleanly (a file that does not
// close cleanly may not hold every byte), else 0 with `path` deleted: it is
// the run's to remove.
template <typename Write>
int FillCreatedFile(KernelHandle file, const char* path, Write write)
{
    bool written = write(file.Get());
    written = file.Close() && written;
    if (written)
        return 1;
    DeleteFileA(path);
    return 0;
}

// Fills a new temporary file in the destination's folder with write(handle)
// and puts it in the destination's place (the file there moved aside, so that
// a rollback brings it back).  1 on success; 0 with the destination as it was
// and no temporary file left.  A file that another program holds open is not
// replaced: the copy fails, as it always has.
template <typename Write>
int ReplaceThroughTemporary(const char* destination, Write write)
{
    if (IsFileInUse(destination))
        return 0;
    char temporary[WorkBufferSize];
    HANDLE handle = INVALID_HANDLE_VALUE;
    if (!CreateTemporaryBeside(destination, temporary, &handle))
        return 0;
    if (!FillCreatedFile(KernelHandle(handle), temporary, write))
        return 0;
    if (ReplaceWithTemporary(temporary, destination))
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
    return FillCreatedFile(std::move(created), destination,
                           [=](HANDLE file) { return WriteBlockToFile(file, data, size); });
}

bool EntryNeedsWriting(const uint8_t* block, uint32_t size, const char* destination)
{
    // An entry without a version always replaces: the file there is not read.
    int64_t packaged = GetImageVersion(block, size);
    return packaged < 0 || packaged > ReadFileVersion(destination);
}

namespace {

// Streams the entry into a file; true when every byte is written and checked.
auto StreamEntryInto(const PackageEntry* found)
{
    return [found](HANDLE file) { return StreamEntryToFile(SetupPackage, found, file) != 0; };
}

// An entry larger than one chunk of the entry stream: streamed in bounded
// chunks instead of inflated whole, so that the setup's memory does not grow
// with the size of any entry.
int ExtractLargeEntry(const PackageEntry* found, const char* destination)
{
    if (!PathExists(destination)) {
        if (!RecordFileCreation(destination))
            return 0;
        KernelHandle created(CreateFileA(destination, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                         WrittenFileFlags, nullptr));
        if (created.IsOpen()) {
            FileCreated();
            return FillCreatedFile(std::move(created), destination, StreamEntryInto(found));
        }
        FileNotCreated(destination);
        if (!PathExists(destination))
            return 0;
    }
    // The version rule reads what it needs of the entry, bounded.
    if (!StreamedEntryNeedsWriting(SetupPackage, found, destination))
        return 1;
    return ReplaceThroughTemporary(destination, StreamEntryInto(found));
}

}  // namespace

int ExtractEntryToFile(const char* entry, const char* destination)
{
    if (!entry || !destination || !SetupPackage)
        return 0;
    const PackageEntry* found = FindPackageEntry(SetupPackage, entry);
    if (!found || (found->attributes & PackageAttributeDirectory))
        return 0;
    if (found->size > EntryStreamChunkBytes)
        return ExtractLargeEntry(found, destination);

    // A small entry, nearly all of them: where no file is, the file is
    // created while the entry inflates into one block (creating a file costs
    // more than inflating a small one, so the two overlap), and the block is
    // written straight into it.  A file that is there is left to the version
    // rule.  The creation is recorded in the journal before it is started.
    const bool creating = !PathExists(destination);
    if (creating && !RecordFileCreation(destination))
        return 0;
    FileCreation creation;
    if (creating)
        creation.Start(destination, WrittenFileFlags);
    PackageBlock block;
    int extracted = ExtractPackageEntry(SetupPackage, entry, &block.data, &block.size);
    if (extracted != ExtractOk)
        return 0;   // the creation's file, if any, goes with it
    if (creating) {
        KernelHandle created = creation.Finish();
        if (created.IsOpen()) {
            FileCreated();
            return WriteNewFile(std::move(created), destination, block.data, block.size);
        }
        // Another file appeared there first (or none can be made): it is not
        // the run's, and the version rule decides.
        FileNotCreated(destination);
        if (!PathExists(destination))
            return 0;
    }

    // Never replace a file of the same or a newer version; a skip counts as success.
    if (!EntryNeedsWriting(block.data, block.size, destination))
        return 1;
    return ReplaceThroughTemporary(destination, [&block](HANDLE file) {
        return WriteBlockToFile(file, block.data, block.size);
    });
}

void AddSharedReference(const char* sharedName)
{
    char keyPath[WorkBufferSize];
    if (!sharedName || !SharedFilesKeyOfSettings(keyPath))
        return;
    JournaledKey key;
    if (!key.Create(HKEY_LOCAL_MACHINE, keyPath, KEY_QUERY_VALUE | KEY_SET_VALUE))
        return;
    DWORD count = 0;
    if (!key.Key().QueryNumber(sharedName, &count))
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

namespace {

// One entry of the folder copyfolder installs.
struct FolderMember {
    uint32_t index;         // its record in the package's directory
    std::string entry;      // its package path
    std::string path;       // where it goes
    bool folder;
};

// The entries below the folder record `top` (not `top` itself), parents
// before their children, with their package paths and destinations; false
// when a name is no plain file name or a destination does not fit a path,
// so that nothing is written for a folder that cannot be installed whole.
bool CollectFolder(const PackageHandle* package, uint32_t top, const std::string& entry, const std::string& destination,
                   std::vector<FolderMember>* members)
{
    const uint32_t count = package->entryCount;
    // Our packer writes every folder before what it holds; a directory
    // that does not (a damaged or foreign one) could hide entries from one
    // pass, and is refused.
    for (uint32_t i = 1; i < count; ++i)
        if (package->entries[i].parent >= 0 && static_cast<uint32_t>(package->entries[i].parent) >= i)
            return false;
    // The position in `members` of each entry below `top`; -1 elsewhere.
    std::vector<int32_t> position(count, -1);
    for (uint32_t i = top + 1; i < count; ++i) {
        const PackageEntry& record = package->entries[i];
        const bool atTop = record.parent >= 0 && static_cast<uint32_t>(record.parent) == top;
        if (!atTop && (record.parent < 0 || position[record.parent] < 0))
            continue;
        const size_t length = PackageNameLength(record);
        if (EntryNameProblem(record.name, length))
            return false;
        const std::string name(record.name, length);
        const FolderMember* parent = atTop ? nullptr : &(*members)[static_cast<size_t>(position[record.parent])];
        FolderMember member{i, (atTop ? entry : parent->entry) + "\\" + name,
                            (atTop ? destination : parent->path) + "\\" + name,
                            (record.attributes & PackageAttributeDirectory) != 0};
        if (member.path.size() >= MAX_PATH)
            return false;
        position[i] = static_cast<int32_t>(members->size());
        members->push_back(std::move(member));
    }
    return true;
}

// Copies one member file on this thread, as copy does.
bool CopyMemberHere(const FolderMember& member)
{
    return ExtractEntryToFile(member.entry.c_str(), member.path.c_str()) == 1;
}

// copyfolder's work: true when every file of the folder is in place.
bool CopyPackageFolder(const char* entry, char* destination)
{
    const PackageEntry* top = FindPackageEntry(SetupPackage, entry);
    if (!top || top == SetupPackage->entries || !(top->attributes & PackageAttributeDirectory))
        return false;
    std::string folderEntry(entry);
    while (!folderEntry.empty() && folderEntry.back() == '\\')
        folderEntry.pop_back();
    std::vector<FolderMember> members;
    if (!CollectFolder(SetupPackage, static_cast<uint32_t>(top - SetupPackage->entries), folderEntry, destination,
                       &members))
        return false;

    // The folders, parents first, each recorded like makedir's; in the log
    // deepest first, so that the removal, which takes recorded folders in
    // their order and only when empty, finds each one empty wherever the
    // destination lies.
    CreateDirectoryTree(destination);
    std::vector<size_t> folders;
    for (size_t i = 0; i < members.size(); ++i)
        if (members[i].folder) {
            CreateDirectoryTree(&members[i].path[0]);
            folders.push_back(i);
        }
    if (LoggingEnabled) {
        for (size_t k = folders.size(); k-- > 0;)
            LogAddDirectory(&TheInstallLog, members[folders[k]].path.c_str());
        LogAddDirectory(&TheInstallLog, destination);
    }

    // The files, in the package's order.  A new file of one chunk at most goes
    // to the helper threads once its creation is recorded; a file that is
    // there already (the version rule decides) and a larger entry (streamed)
    // are copied here, meanwhile.
    NewFileWriters writers(SetupPackage, NewFileWriters::SuitableThreads());
    std::vector<NewFileJob> jobs(members.size());
    std::vector<int8_t> done(members.size(), 0);   // copied here, successfully
    bool failed = false;
    for (size_t i = 0; i < members.size() && !failed; ++i) {
        const FolderMember& member = members[i];
        if (member.folder)
            continue;
        if (writers.AnyFailed()) {
            failed = true;
            break;
        }
        const PackageEntry* record = &SetupPackage->entries[member.index];
        if (writers.Threads() > 0 && record->size <= EntryStreamChunkBytes && !PathExists(member.path.c_str())) {
            if (!RecordFileCreation(member.path.c_str())) {
                failed = true;
                break;
            }
            jobs[i].entry = record;
            jobs[i].path = member.path.c_str();
            writers.Add(&jobs[i]);
        } else if (CopyMemberHere(member)) {
            done[i] = 1;
        } else {
            failed = true;
        }
    }
    if (failed)
        writers.Stop();
    writers.Wait();

    // The outcomes, in the package's order: each file the helpers created is
    // a change made; a name another file took first is not the run's, and
    // that file is left to the version rule, here.
    for (size_t i = 0; i < members.size(); ++i) {
        if (!jobs[i].entry)
            continue;
        switch (jobs[i].outcome) {
        case NewFileJob::Written:
            FileCreated();
            done[i] = 1;
            break;
        case NewFileJob::AlreadyThere:
            FileNotCreated(members[i].path.c_str());
            if (!failed && CopyMemberHere(members[i]))
                done[i] = 1;
            else
                failed = true;
            break;
        case NewFileJob::Skipped:
            FileNotCreated(members[i].path.c_str());
            failed = true;
            break;
        default:
            failed = true;
            break;
        }
    }
    if (LoggingEnabled)
        for (size_t i = 0; i < members.size(); ++i)
            if (done[i])
                LogAddFile(&TheInstallLog, members[i].path.c_str());
    return !failed;
}

}  // namespace

// copyfolder(entry, destination): the package's folder `entry` with all it
// holds, into the folder `destination` (made with its missing parents).
ScriptValue CopyFolderBuiltin()
{
    ScriptValue arguments[2] = {};
    ReadBuiltinArguments(BuiltinCopyfolder, arguments);
    char* destination = ExpandedPathArgument(arguments[1]);
    const char* entry = ScriptTextOf(arguments[0]);
    if (CopyError)
        return 1;
    if (!entry || !destination || !CopyPackageFolder(entry, destination))
        CopyError = 1;
    return CopyError;
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
