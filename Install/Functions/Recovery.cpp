// Rolling back the installations that never ended.
#include "Recovery.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "AnsiText.h"
#include "ExitCodes.h"
#include "Handles.h"
#include "ImageVersion.h"
#include "InstallationLock.h"
#include "Package.h"
#include "SetupState.h"
#include "VellmarkRelease.h"
#include "WindowsVersionQuery.h"

namespace {

// The uninstaller of this release, the first one that knows RecoverySwitch.
constexpr int64_t RecoveryRelease = MakeVersion(1, 0, VM_RELEASE_MAJOR, VM_RELEASE_MINOR);

// The part after the switch: "/child PIPE PARENT" marks the copy that does
// the work.
constexpr char ChildSwitch[] = "/child";

bool FileExists(const char* path)
{
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

// Whether `path` names a file directly inside the journal folder whose name
// ends with `suffix`: the recovery acts on no file elsewhere, so that a
// command line nobody registered cannot steer it.
bool InJournalFolder(const char* path, const char* suffix)
{
    char folder[WorkBufferSize];
    if (!path || !BuildJournalFolder(folder))
        return false;
    size_t length = strlen(folder);
    size_t total = strlen(path);
    size_t suffixLength = strlen(suffix);
    if (total <= length + 1 + suffixLength || AnsiCompareNoCase(path, length, folder, length) != 0 ||
        path[length] != '\\')
        return false;
    const char* name = path + length + 1;
    return !strchr(name, '\\') && !strchr(name, '/') && !strstr(name, "..") &&
           AnsiCompareNoCase(path + total - suffixLength, suffixLength, suffix, suffixLength) == 0;
}

// The image of the file at `path` up to its last section: the setup program
// without its package.
uint8_t* ReadImage(const char* path, uint32_t* size)
{
    KernelHandle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file.IsOpen())
        return nullptr;
    // The headers and the section table lie in the first pages.
    uint8_t head[4096];
    DWORD got = 0;
    if (!ReadFile(file.Get(), head, sizeof head, &got, nullptr))
        return nullptr;
    uint64_t end = LocateImageEnd(head, got);
    if (end == 0 || end > 64u << 20)
        return nullptr;
    uint8_t* bytes = static_cast<uint8_t*>(HeapAlloc(GetProcessHeap(), 0, static_cast<SIZE_T>(end)));
    if (!bytes)
        return nullptr;
    DWORD read = 0;
    if (SetFilePointer(file.Get(), 0, nullptr, FILE_BEGIN) != 0 ||
        !ReadFile(file.Get(), bytes, static_cast<DWORD>(end), &read, nullptr) || read != end) {
        HeapFree(GetProcessHeap(), 0, bytes);
        return nullptr;
    }
    *size = static_cast<uint32_t>(end);
    return bytes;
}

// The text after the switch: the journal's path, in quotes or up to the end
// (or up to " /child"), into `journal`; the child's pipe and parent, when
// given.  false when there is no path or it does not fit.
bool ParseRecoveryCommand(const char* commandLine, char (&journal)[WorkBufferSize], bool* child, uintptr_t* pipe,
                          DWORD* parent)
{
    const char* p = commandLine + strlen(RecoverySwitch);
    while (*p == ' ' || *p == '\t')
        ++p;
    size_t length = 0;
    if (*p == '"') {
        const char* close = strchr(p + 1, '"');
        if (!close)
            return false;
        length = static_cast<size_t>(close - p - 1);
        if (length >= sizeof journal)
            return false;
        memcpy(journal, p + 1, length);
        p = close + 1;
    } else {
        const char* end = strstr(p, " /child");
        length = end ? static_cast<size_t>(end - p) : strlen(p);
        while (length > 0 && (p[length - 1] == ' ' || p[length - 1] == '\t'))
            --length;
        if (length >= sizeof journal)
            return false;
        memcpy(journal, p, length);
        p += length;
    }
    journal[length] = '\0';
    while (*p == ' ' || *p == '\t')
        ++p;
    *child = strncmp(p, ChildSwitch, strlen(ChildSwitch)) == 0;
    if (*child) {
        char* next = nullptr;
        *pipe = static_cast<uintptr_t>(strtoull(p + strlen(ChildSwitch), &next, 10));
        *parent = static_cast<DWORD>(strtoul(next, nullptr, 10));
    }
    return length > 0;
}

// The work itself, under the installation lock; `running` is a program that
// cannot be deleted yet.
int RollBack(const char* journal, const char* running)
{
    if (!InJournalFolder(journal, ".journal"))
        return ExitLogRefused;
    if (!AcquireInstallationLock())
        return ExitInstallInProgress;
    if (!FileExists(journal))
        return ExitSuccess;   // done already, by a setup that started first
    RollbackResult result;
    return RollBackJournal(journal, running, &result) ? ExitSuccess : ExitLogRefused;
}

// The copy's part: rolls back, tells the program that started it, waits for
// it to end and deletes its file (the recovery program), then the folder.
int RunAsChild(const char* journal, uintptr_t pipe, DWORD parentId)
{
    HANDLE parentProcess = OpenProcess(SYNCHRONIZE, FALSE, parentId);
    char parentPath[WorkBufferSize] = "";
    // The recovery program is the one the journal names; it is running.
    Journal loaded = {};
    JournalRecord begin;
    if (InJournalFolder(journal, ".journal") && JournalLoad(&loaded, journal) == JournalLoaded &&
        JournalRecordAt(&loaded, 0, &begin) && begin.kind == JournalBegin && JournalText(begin, 5))
        snprintf(parentPath, sizeof parentPath, "%s", JournalText(begin, 5));
    JournalRelease(&loaded);

    int code = RollBack(journal, parentPath[0] ? parentPath : nullptr);
    HANDLE answer = reinterpret_cast<HANDLE>(pipe);
    DWORD written = 0;
    WriteFile(answer, &code, sizeof code, &written, nullptr);
    CloseHandle(answer);

    if (parentProcess) {
        WaitForSingleObject(parentProcess, 30000);
        CloseHandle(parentProcess);
    }
    if (code == ExitSuccess && parentPath[0] && InJournalFolder(parentPath, ".exe")) {
        for (int attempt = 0; attempt < 50 && FileExists(parentPath) && !DeleteFileA(parentPath); ++attempt)
            Sleep(100);
        char folder[WorkBufferSize];
        if (BuildJournalFolder(folder))
            RemoveDirectoryA(folder);
    }
    return code;
}

// The program's part: a copy of itself that goes when it ends, which does
// the work; its answer is the exit code.  When no copy can run, the work is
// done here, and the program's own file goes when Windows restarts.
int StartChild(const char* journal)
{
    char self[WorkBufferSize];
    DWORD selfLength = GetModuleFileNameA(nullptr, self, sizeof self);
    char temporaryFolder[WorkBufferSize];
    DWORD folderLength = GetTempPathA(sizeof temporaryFolder, temporaryFolder);
    char copy[WorkBufferSize];
    bool named = selfLength > 0 && selfLength < sizeof self && folderLength > 0 &&
                 folderLength < sizeof temporaryFolder &&
                 snprintf(copy, sizeof copy, "%svmrecover-%lx.exe", temporaryFolder,
                          static_cast<unsigned long>(GetCurrentProcessId())) < static_cast<int>(sizeof copy);

    KernelHandle copyFile;
    if (named && CopyFileA(self, copy, FALSE))
        copyFile = KernelHandle(CreateFileA(copy, GENERIC_READ | DELETE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                            nullptr, OPEN_EXISTING, FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    if (!copyFile.IsOpen()) {
        if (named)
            DeleteFileA(copy);
        int code = RollBack(journal, self);
        if (code == ExitSuccess && IsWindowsNT)
            MoveFileExA(self, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
        return code;
    }

    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    int code = ExitInstallFailed;
    if (CreatePipe(&readEnd, &writeEnd, &inherit, 0)) {
        KernelHandle reader(readEnd), writer(writeEnd);
        SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
        char line[3 * WorkBufferSize];
        snprintf(line, sizeof line, "\"%s\" %s \"%s\" %s %llu %lu", copy, RecoverySwitch, journal, ChildSwitch,
                 static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(writeEnd)),
                 static_cast<unsigned long>(GetCurrentProcessId()));
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process = {};
        if (CreateProcessA(copy, line, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
            KernelHandle thread(process.hThread), child(process.hProcess);
            writer.Close();
            int answer = 0;
            DWORD got = 0;
            code = ReadFile(reader.Get(), &answer, sizeof answer, &got, nullptr) && got == sizeof answer
                       ? answer
                       : ExitInstallFailed;
        }
    }
    return code;
}

}  // namespace

// ---------------------------------------------------------------------------

RecoveryProgram::~RecoveryProgram()
{
    if (packageBlock_)
        FreePackageBlock(bytes_);
    else if (bytes_)
        HeapFree(GetProcessHeap(), 0, bytes_);
}

bool RecoveryProgram::Load()
{
    if (bytes_)
        return true;
    if (SetupPackage && PackageEntrySize(SetupPackage, PackageUninstallerName) != PackageEntryNotFound) {
        uint8_t* block = nullptr;
        uint32_t size = 0;
        if (ExtractPackageEntry(SetupPackage, PackageUninstallerName, &block, &size) == ExtractOk) {
            int64_t version = GetImageVersion(block, size);
            if (version >= RecoveryRelease) {
                bytes_ = block;
                size_ = size;
                packageBlock_ = true;
                return true;
            }
            FreePackageBlock(block);
        }
    }
    if (SetupProgramPath[0] == '\0')
        return false;
    bytes_ = ReadImage(SetupProgramPath, &size_);
    return bytes_ != nullptr;
}

RecoveryReport RecoverInterruptedRuns()
{
    RecoveryReport report = {};
    char folder[WorkBufferSize];
    if (!BuildJournalFolder(folder))
        return report;
    for (const char* pattern : {"*.journal", "*.exe"}) {
        char search[WorkBufferSize];
        if (snprintf(search, sizeof search, "%s\\%s", folder, pattern) >= static_cast<int>(sizeof search))
            continue;
        WIN32_FIND_DATAA found;
        HANDLE walk = FindFirstFileA(search, &found);
        if (walk == INVALID_HANDLE_VALUE)
            continue;
        do {
            char path[WorkBufferSize];
            if (snprintf(path, sizeof path, "%s\\%s", folder, found.cFileName) >= static_cast<int>(sizeof path) ||
                (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                continue;
            if (pattern[2] == 'j') {
                RollbackResult result;
                if (!RollBackJournal(path, nullptr, &result))
                    continue;
                if (result.committed) {
                    ++report.completed;
                } else {
                    ++report.rolledBack;
                    memcpy(report.product, result.product, sizeof report.product);
                }
            } else {
                // A recovery program whose journal is gone.
                DeleteFileA(path);
            }
        } while (FindNextFileA(walk, &found));
        FindClose(walk);
    }
    RemoveDirectoryA(folder);
    return report;
}

bool IsRecoveryCommand(const char* commandLine)
{
    size_t length = strlen(RecoverySwitch);
    return commandLine && AnsiCompareNoCase(commandLine, length, RecoverySwitch, length) == 0 &&
           (commandLine[length] == ' ' || commandLine[length] == '\t');
}

int RunRecoveryCommand(const char* commandLine)
{
    char journal[WorkBufferSize];
    bool child = false;
    uintptr_t pipe = 0;
    DWORD parent = 0;
    if (!IsRecoveryCommand(commandLine) || !ParseRecoveryCommand(commandLine, journal, &child, &pipe, &parent) ||
        !InJournalFolder(journal, ".journal"))
        return ExitLogRefused;
    IsWindowsNT = QueryWindowsVersion().NTFamily() ? 1 : 0;
    if (child)
        return RunAsChild(journal, pipe, parent);
    return StartChild(journal);
}
