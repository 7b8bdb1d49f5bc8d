// Where an installation's time goes (install_bench runs it under wine): the
// steps Setup.exe takes for a package, each timed on its own with the units
// the setup uses, in the order the setup takes them:
//   verification  OpenPackage: the mapping, the Adler-32 of the whole data
//                 region, the directory inflated and indexed
//   folders       CreateDirectoryTree of every folder (makedir)
//   creates       every new file created (CREATE_NEW); the setup does this
//                 on its helper thread while the entry inflates
//   inflate       ExtractPackageEntry of every file: the entry found, its
//                 block allocated, its stream mapped whole and inflated by
//                 the one-block decoder (BlockInflater.h: libdeflate), which
//                 checks the content's Adler-32 on the way (the checksum
//                 alone is timed again afterwards, so its share shows)
//   writes        the block written into the new file, which is closed
//                 (the version rule has nothing to compare where no file was)
//   log           LogAddDirectory / LogAddFile of every change, the log
//                 written, and its SHA-256 for the uninstall entry
// What the setup does besides (the script engine, the registration, the
// process itself) is the rest of its measured time.
//
// With --streamed every file goes through the entry stream instead
// (EntryStream.h: inflated in 1 MB chunks on this thread, written on a
// helper): the inflate and writes rows are then one row, "streamed", and
// memory stays bounded whatever the files' sizes.
//
// usage: install_profile [--streamed] PACKAGE.exe FOLDER      (FOLDER must not exist)
//        install_profile --nothing                           (the cost of starting a program)
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "BlockInflater.h"
#include "EntryStream.h"
#include "FileCreation.h"
#include "FileInstall.h"
#include "FileWriters.h"
#include "Handles.h"
#include "InstallLog.h"
#include "LogDigest.h"
#include "Package.h"
#include "PathMacros.h"
#include "SetupState.h"

namespace {

double Frequency()
{
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<double>(f.QuadPart);
}

struct Stopwatch {
    double* total;
    LARGE_INTEGER start;
    explicit Stopwatch(double* sum) : total(sum) { QueryPerformanceCounter(&start); }
    ~Stopwatch()
    {
        LARGE_INTEGER end;
        QueryPerformanceCounter(&end);
        *total += static_cast<double>(end.QuadPart - start.QuadPart) / Frequency();
    }
};

// The path of every entry below the root, backslash-separated.
std::vector<std::string> EntryPaths(const PackageHandle* handle)
{
    std::vector<std::string> paths(handle->entryCount);
    for (uint32_t i = 1; i < handle->entryCount; ++i) {
        const PackageEntry& e = handle->entries[i];
        paths[i] = e.parent <= 0 ? std::string(e.name) : paths[static_cast<size_t>(e.parent)] + "\\" + e.name;
    }
    return paths;
}

// --helpers N: copyfolder's way.  The folders first, then every file of one
// chunk at most through NewFileWriters with N threads, each of which
// inflates, creates, writes and closes its files side by side with the
// others (larger files, which copyfolder streams, are left out and counted).
int ProfileHelpers(const PackageHandle* handle, const std::vector<std::string>& paths, const std::string& folder,
                   int helpers, double verification)
{
    double folders = 0, files = 0;
    std::vector<std::string> destinations(handle->entryCount);
    std::vector<NewFileJob> jobs(handle->entryCount);
    uint64_t bytes = 0;
    uint32_t count = 0, large = 0;
    {
        Stopwatch watch(&folders);
        for (uint32_t i = 1; i < handle->entryCount; ++i) {
            const PackageEntry& e = handle->entries[i];
            if (e.parent == 0)
                continue;
            destinations[i] = folder + "\\" + paths[i];
            if (e.attributes & PackageAttributeDirectory)
                CreateDirectoryTree(&destinations[i][0]);
        }
    }
    {
        Stopwatch watch(&files);
        NewFileWriters writers(handle, helpers);
        for (uint32_t i = 1; i < handle->entryCount; ++i) {
            const PackageEntry& e = handle->entries[i];
            if (e.parent == 0 || (e.attributes & PackageAttributeDirectory))
                continue;
            if (e.size > EntryStreamChunkBytes) {
                ++large;
                continue;
            }
            jobs[i].entry = &e;
            jobs[i].path = destinations[i].c_str();
            writers.Add(&jobs[i]);
            bytes += e.size;
            ++count;
        }
        writers.Wait();
    }
    for (const NewFileJob& job : jobs)
        if (job.entry && job.outcome != NewFileJob::Written) {
            fprintf(stderr, "install_profile: %s was not written\n", job.path);
            return 1;
        }
    printf("copyfolder's way, %d helper thread%s: %u files, %.1f MB (%u larger ones left out)\n", helpers,
           helpers == 1 ? "" : "s", count, bytes / 1e6, large);
    printf("  verification %7.3f s\n  folders      %7.3f s\n  files        %7.3f s  inflated, created, written and "
           "closed by the helpers\n",
           verification, folders, files);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && strcmp(argv[1], "--nothing") == 0)
        return 0;
    bool streamed = argc == 4 && strcmp(argv[1], "--streamed") == 0;
    if (streamed) {
        --argc;
        ++argv;
    }
    int helpers = 0;
    if (argc == 5 && strcmp(argv[1], "--helpers") == 0) {
        helpers = atoi(argv[2]);
        argc -= 2;
        argv += 2;
    }
    if (argc != 3 || (helpers < 0 || helpers > 4)) {
        fprintf(stderr, "usage: install_profile [--streamed | --helpers N] PACKAGE.exe FOLDER | --nothing\n");
        return 2;
    }
    IsWindowsNT = 1;
    const std::string folder = argv[2];
    double verification = 0, folders = 0, creates = 0, inflate = 0, adler = 0, writes = 0, log = 0;
    uint64_t bytes = 0;

    PackageHandle* handle = nullptr;
    {
        Stopwatch watch(&verification);
        if (OpenPackage(argv[1], &handle) != PackageOpened) {
            fprintf(stderr, "install_profile: cannot open %s\n", argv[1]);
            return 1;
        }
    }
    std::vector<std::string> paths = EntryPaths(handle);
    InstallLog list = {};
    LogAddProduct(&list, "Vellmark Bench", "Bench", folder.c_str());
    CreateDirectoryA(folder.c_str(), nullptr);

    if (helpers > 0)
        return ProfileHelpers(handle, paths, folder, helpers, verification);

    // The product's files lie below its top folder; Install.ini and the
    // uninstaller at the top are not installed.
    for (uint32_t i = 1; i < handle->entryCount; ++i) {
        const PackageEntry& e = handle->entries[i];
        if (e.parent == 0)
            continue;
        std::string destination = folder + "\\" + paths[i];
        if (e.attributes & PackageAttributeDirectory) {
            {
                Stopwatch watch(&folders);
                std::vector<char> path(destination.begin(), destination.end());
                path.push_back('\0');
                CreateDirectoryTree(path.data());
            }
            Stopwatch watch(&log);
            LogAddDirectory(&list, destination.c_str());
            continue;
        }
        KernelHandle created;
        {
            Stopwatch watch(&creates);
            FileCreation creation;
            creation.Start(destination.c_str(), WrittenFileFlags);
            created = creation.Finish();
        }
        if (streamed) {
            if (!created.IsOpen()) {
                fprintf(stderr, "install_profile: cannot create %s\n", destination.c_str());
                return 1;
            }
            int done;
            {
                Stopwatch watch(&inflate);
                done = StreamEntryToFile(handle, &e, created.Get());
                done = created.Close() && done;
            }
            if (!done) {
                fprintf(stderr, "install_profile: %s does not stream\n", paths[i].c_str());
                return 1;
            }
            bytes += e.size;
            Stopwatch watch(&log);
            LogAddFile(&list, destination.c_str());
            continue;
        }
        PackageBlock block;
        {
            Stopwatch watch(&inflate);
            if (ExtractPackageEntry(handle, paths[i].c_str(), &block.data, &block.size) != ExtractOk) {
                fprintf(stderr, "install_profile: %s does not extract\n", paths[i].c_str());
                return 1;
            }
        }
        {
            Stopwatch watch(&adler);
            volatile uint32_t sum = PackageAdler32(block.data, block.size);
            (void)sum;
        }
        if (!created.IsOpen()) {
            fprintf(stderr, "install_profile: cannot create %s\n", destination.c_str());
            return 1;
        }
        {
            Stopwatch watch(&writes);
            if (!WriteNewFile(std::move(created), destination.c_str(), block.data, block.size)) {
                fprintf(stderr, "install_profile: cannot write %s\n", destination.c_str());
                return 1;
            }
        }
        bytes += block.size;
        Stopwatch watch(&log);
        LogAddFile(&list, destination.c_str());
    }
    {
        Stopwatch watch(&log);
        std::string logPath = folder + "\\Bench.log";
        SaveInstallLog(&list, logPath.c_str());
        char digest[Sha256TextSize];
        DigestFile(logPath.c_str(), digest);
    }
    ClosePackage(handle);

    double sum = verification + folders + creates + inflate + writes + log;
    auto row = [&](const char* name, double seconds, const char* note) {
        printf("  %-13s %7.3f s  %5.1f%%  %s\n", name, seconds, 100.0 * seconds / sum, note);
    };
    printf("where the time goes (%.1f MB written):\n", bytes / 1e6);
    row("verification", verification, "OpenPackage: Adler-32 of the data region, the directory");
    row("folders", folders, "makedir of every folder");
    row("creates", creates, "CreateFileA of every new file (overlaps inflate in the setup)");
    char inflateNote[96];
    snprintf(inflateNote, sizeof inflateNote, "ExtractPackageEntry: %s's inflate, with the content's Adler-32",
             BlockInflaterName());
    if (streamed) {
        row("streamed", inflate, "StreamEntryToFile: 1 MB chunks inflated here, written on a helper");
    } else {
        row("inflate", inflate, inflateNote);
        printf("    of which the Adler-32 (timed alone): %.3f s\n", adler);
        row("writes", writes, "WriteFile of the block and CloseHandle");
    }
    row("log", log, "log entries, the log written, its SHA-256");
    printf("  %-13s %7.3f s\n", "sum", sum);
    return 0;
}
