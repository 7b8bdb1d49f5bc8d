// vellmark extract: one entry of a setup executable to a file or standard
// output, or whole subtrees into a folder.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <memory>
#include <new>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ToolOptions.h"
#include "Commands.h"
#include "ExtractPlan.h"
#include "OutputFile.h"
#include "Package.h"
#include "PackageMessages.h"
#include "ToolText.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace fs = std::filesystem;

namespace {

const char ExtractUsage[] =
    "usage: vellmark extract SETUP.exe PATH [-o FILE]\n"
    "       vellmark extract SETUP.exe -d DIR [--force] [PATH...]\n";

const char ExtractDescription[] =
    "\n"
    "The first form writes the package entry PATH of SETUP.exe to standard output,\n"
    "or to FILE with -o.  FILE is written under a temporary name beside it and\n"
    "replaced only when the whole entry was written; a folder, a device or a file\n"
    "you may not write is refused.\n"
    "\n"
    "The second form writes every entry (or only the folders and files PATH...,\n"
    "with everything under them) into the folder DIR, under their paths in the\n"
    "package; DIR and the folders are created as needed.  Names are converted\n"
    "from Windows-1252 to UTF-8.  Files are written in parallel, each under a\n"
    "temporary name that takes the real one only when complete.  Before anything\n"
    "is written the whole extraction is checked, and refused when an entry's name\n"
    "would leave DIR or is no plain file name (\"..\", a separator, a drive letter\n"
    "or stream name with ':', control characters, a name Windows reserves), when\n"
    "an entry's parents are broken, when two entries would share a path, when a\n"
    "path runs through a link or through a file, or when a file exists already.\n"
    "\n"
    "options:\n"
    "  -o, --output FILE   write the one entry PATH to FILE\n"
    "  -d, --directory DIR write the entries into the folder DIR\n"
    "  --force             with -d: replace files that exist (a link in a file's\n"
    "                      place is replaced itself, never written through)\n"
    "  -h, --help          this text\n"
    "\n"
    "PATH uses backslashes or slashes between folders, in any letter case.  On\n"
    "failure prints 'vellmark extract: ...' lines and exits with 2 (a package the\n"
    "setup program would refuse: 'vellmark extract: FILE: MESSAGE (code N)').\n";

enum ExtractOption { ExtractOutput, ExtractDirectory, ExtractForce, ExtractOptionCount };
const OptionSpec ExtractOptionTable[] = {
    {"output", 'o', "FILE"},
    {"directory", 'd', "DIR"},
    {"force", 0, nullptr},
};
static_assert(std::size(ExtractOptionTable) == ExtractOptionCount, "one row per ExtractOption");

const CommandSpec Extract = {"extract", ExtractOptionTable, ExtractOptionCount, ExtractUsage, ExtractDescription};

int Refuse(const std::string& message)
{
    return CommandError(Extract.name, message);
}

// A package path as the user typed it, in the package's code page and with
// backslashes; false when it has no Windows-1252 form.
bool PackagePath(const char* typed, std::string* ansi)
{
    if (!AnsiFromTerminal(typed, ansi)) {
        Refuse(std::string(typed) + ": the path cannot be written in the Windows-1252 code page");
        return false;
    }
    std::replace(ansi->begin(), ansi->end(), '/', '\\');
    return true;
}

int ExtractOne(const char* setup, const char* entryPath, const char* output)
{
    std::string ansiPath;
    if (!PackagePath(entryPath, &ansiPath))
        return CommandFailed;

    // The output is prepared first: a destination that cannot be written is
    // refused before anything else, and is never touched by a failure.
    OutputFile out;
    std::string error;
    if (output && !out.Open(output, &error))
        return Refuse(error);

    PackageHandle* h = nullptr;
    if (OpenPackageForTool(Extract.name, setup, &h) != PackageOpened)
        return CommandFailed;
    uint8_t* data = nullptr;
    uint32_t size = 0;
    int code = ExtractPackageEntry(h, ansiPath.c_str(), &data, &size);
    ClosePackage(h);
    if (code != ExtractOk)
        return Refuse(std::string(setup) + ": " + ExtractFailureText(code, entryPath) + " (code " +
                      std::to_string(code) + ")");
    int result = 0;
    if (output) {
        if (!out.WriteAndCommit(data, size, &error))
            result = Refuse(error);
    } else {
#ifdef _WIN32
        _setmode(_fileno(stdout), _O_BINARY);
#endif
        if (fwrite(data, 1, size, stdout) != size || fflush(stdout) != 0)
            result = CommandFailed;
    }
    FreePackageBlock(data);
    return result;
}

// --- extract -d -------------------------------------------------------------------

struct Target {
    fs::path path;        // in the file system's form
    std::string shown;    // for messages
};

Target TargetOf(const fs::path& dir, const std::string& shownDir, const PackageEntry* entries, uint32_t index)
{
    std::string relative = ExtractedPath(entries, index);
    Target t;
    t.path = dir / fs::u8path(relative);
#ifdef _WIN32
    const char separator = '\\';
    std::replace(relative.begin(), relative.end(), '/', separator);
#else
    const char separator = '/';
#endif
    t.shown = shownDir + (shownDir.empty() || shownDir.back() == separator ? "" : std::string(1, separator)) + relative;
    return t;
}

// Problems found on disk before anything is written; the first few are shown.
struct Refusals {
    std::vector<std::string> lines;
    size_t count = 0;
    void Add(const std::string& line)
    {
        if (++count <= 5)
            lines.push_back(line);
    }
};

// What stands at a folder's place: nothing, or a real folder (not a link to one).
void CheckFolderPlace(const Target& t, Refusals& refusals)
{
    std::error_code ec;
    fs::file_status s = fs::symlink_status(t.path, ec);
    if (!fs::exists(s) || fs::is_directory(s))
        return;
    if (fs::is_symlink(s))
        refusals.Add(t.shown + ": is a link; extract writes through no links");
    else
        refusals.Add(t.shown + ": exists and is not a folder");
}

// What stands at a file's place: nothing, or (with --force) a file or a link
// that the extracted file replaces.
void CheckFilePlace(const Target& t, bool force, Refusals& refusals)
{
    std::error_code ec;
    fs::file_status s = fs::symlink_status(t.path, ec);
    if (!fs::exists(s))
        return;
    if (fs::is_directory(s))
        refusals.Add(t.shown + ": is a folder");
    else if (!fs::is_regular_file(s) && !fs::is_symlink(s))
        refusals.Add(t.shown + ": exists and is not a regular file");
    else if (!force)
        refusals.Add(t.shown + ": exists already (--force replaces it)");
}

// Inflates and writes the plan's files on `threads` threads; the first
// failure stops the others.  Returns false with *error set.
bool WriteFiles(const PackageHandle* h, const std::string& setup, const std::vector<Target>& targets,
                const std::vector<uint32_t>& files, bool force, uint64_t* bytes, std::string* error)
{
    std::atomic<size_t> next(0);
    std::atomic<bool> failed(false);
    std::atomic<uint64_t> written(0);
    std::mutex lock;
    auto fail = [&](const std::string& why) {
        std::lock_guard<std::mutex> guard(lock);
        if (!failed.exchange(true))
            *error = why;
    };
    auto worker = [&]() {
        OutputFileMode mode;
        mode.followLink = false;
        mode.replace = force;
        // One buffer per thread, grown to the largest file it meets: no
        // fresh memory (and its page faults) per file.
        std::unique_ptr<uint8_t[]> buffer;
        uint64_t capacity = 0;
        for (;;) {
            size_t k = next++;
            if (k >= files.size() || failed)
                return;
            const Target& t = targets[k];
            const PackageEntry& e = h->entries[files[k]];
            uint32_t size = e.size;
            // The reader checks that the stream can hold the size before the
            // buffer is grown for it, so no record makes us set aside gigabytes.
            int code = ExtractPackageRecordInto(h, &e, buffer.get(), capacity);
            if (code == ExtractNoMemory && capacity < static_cast<uint64_t>(e.size) + 1) {
                buffer.reset();
                capacity = static_cast<uint64_t>(e.size) + 1;
                buffer.reset(new (std::nothrow) uint8_t[capacity]);
                if (!buffer)
                    capacity = 0;
                code = ExtractPackageRecordInto(h, &e, buffer.get(), capacity);
            }
            if (code != ExtractOk) {
                fail(setup + ": " + ExtractFailureText(code, t.shown) + " (code " + std::to_string(code) + ")");
                return;
            }
            OutputFile out;
            std::string why;
            if (!out.Open(t.path, t.shown, &why, mode) || !out.WriteAndCommit(buffer.get(), size, &why)) {
                fail(why);
                return;
            }
            written += size;
        }
    };
    unsigned threads = std::max(1u, std::thread::hardware_concurrency());
    std::vector<std::thread> pool;
    for (unsigned t = 1; t < threads && t < files.size(); ++t)
        pool.emplace_back(worker);
    worker();
    for (std::thread& t : pool)
        t.join();
    *bytes = written;
    return !failed;
}

int ExtractIntoFolder(const char* setup, const std::string& shownDir, const std::vector<const char*>& paths,
                      bool force)
{
    std::vector<std::string> ansiPaths;
    for (const char* p : paths) {
        std::string ansi;
        if (!PackagePath(p, &ansi))
            return CommandFailed;
        ansiPaths.push_back(ansi);
    }
    PackageHandle* h = nullptr;
    if (OpenPackageForTool(Extract.name, setup, &h) != PackageOpened)
        return CommandFailed;
    struct Closer {
        PackageHandle* h;
        ~Closer() { ClosePackage(h); }
    } closer{h};

    std::vector<uint32_t> chosen;
    for (size_t k = 0; k < ansiPaths.size(); ++k) {
        const PackageEntry* e = FindPackageEntry(h, ansiPaths[k].c_str());
        if (!e)
            return Refuse(std::string(setup) + ": " + ExtractFailureText(ExtractNotFound, paths[k]) + " (code " +
                          std::to_string(ExtractNotFound) + ")");
        chosen.push_back(static_cast<uint32_t>(e - h->entries));
    }
    // Records past those the directory stream filled are zero and no entry.
    ExtractPlan plan;
    if (PlanExtraction(h->entries, h->lookupCount, chosen, &plan) != ExtractPlanOk)
        return Refuse(std::string(setup) + ": " + plan.error + "; nothing was written");

    // Everything on disk is checked before the first folder is made.
    fs::path dir(shownDir);
    std::error_code ec;
    fs::file_status dirStatus = fs::status(dir, ec);
    if (fs::exists(dirStatus) && !fs::is_directory(dirStatus))
        return Refuse(shownDir + ": exists and is not a folder; nothing was written");
    std::vector<Target> folders, files;
    for (uint32_t i : plan.folders)
        folders.push_back(TargetOf(dir, shownDir, h->entries, i));
    for (uint32_t i : plan.files)
        files.push_back(TargetOf(dir, shownDir, h->entries, i));
    Refusals refusals;
    for (const Target& t : folders)
        CheckFolderPlace(t, refusals);
    for (const Target& t : files)
        CheckFilePlace(t, force, refusals);
    if (refusals.count > 0) {
        for (const std::string& line : refusals.lines)
            Refuse(line);
        if (refusals.count > refusals.lines.size())
            Refuse("... and " + std::to_string(refusals.count - refusals.lines.size()) + " more");
        return Refuse("nothing was written");
    }

    fs::create_directories(dir, ec);
    if (ec || !fs::is_directory(dir))
        return Refuse(shownDir + ": cannot be created (" + ec.message() + ")");
    for (const Target& t : folders) {
        fs::create_directory(t.path, ec);
        fs::file_status s = fs::symlink_status(t.path, ec);
        if (!fs::is_directory(s))
            return Refuse(t.shown + ": cannot be created (" + (ec ? ec.message() : "something else is there") + ")");
    }
    uint64_t bytes = 0;
    std::string error;
    if (!WriteFiles(h, setup, files, plan.files, force, &bytes, &error))
        return Refuse(error);
    printf("%s: %zu files and %zu folders extracted, %llu bytes\n", shownDir.c_str(), files.size(), folders.size(),
           static_cast<unsigned long long>(bytes));
    return fflush(stdout) == 0 ? 0 : CommandFailed;
}

}  // namespace

int RunExtractCommand(int argc, char** argv)
{
    CommandOptions line;
    int exitCode = 0;
    if (!ReadOptions(Extract, argc, argv, &line, &exitCode))
        return exitCode;
    const std::vector<const char*>& operands = line.operands;
    if (operands.empty())
        return UsageError(Extract, "no SETUP.exe given");
    if (const char* directory = line.Value(ExtractDirectory)) {
        if (line.Given(ExtractOutput))
            return UsageError(Extract, "-o and -d exclude each other");
        std::vector<const char*> paths(operands.begin() + 1, operands.end());
        return ExtractIntoFolder(operands[0], directory, paths, line.Given(ExtractForce));
    }
    if (line.Given(ExtractForce))
        return UsageError(Extract, "--force goes with -d only");
    if (operands.size() != 2)
        return UsageError(Extract, operands.size() == 1 ? "no PATH given (or -d DIR for every entry)"
                                                        : "one PATH only without -d");
    return ExtractOne(operands[0], operands[1], line.Value(ExtractOutput));
}
