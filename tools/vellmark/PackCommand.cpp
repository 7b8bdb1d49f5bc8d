// vellmark pack: a product folder and a setup program become one setup executable.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "AnsiText.h"
#include "ToolOptions.h"
#include "Commands.h"
#include "EntryName.h"
#include "OutputFile.h"
#include "Package.h"
#include "PackageWriter.h"
#include "Script.h"
#include "StreamCompressor.h"
#include "ToolText.h"

#ifdef _WIN32
#include <windows.h>
#include <io.h>
#define isatty _isatty
#else
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

const char PackUsage[] =
    "usage: vellmark pack SOURCE_DIR -o OUT.exe [--arch win32|win64 | --stub SETUP.exe] [options]\n";

const char PackDescription[] =
    "\n"
    "Packs the tree under SOURCE_DIR into a package archive and appends it to the\n"
    "setup program SETUP.exe, giving the setup executable OUT.exe.  The top level of\n"
    "SOURCE_DIR holds Install.ini, an optional License.txt and the product's files\n"
    "and folders.\n"
    "\n"
    "options:\n"
    "  -o, --output OUT.exe    the setup executable to write (replaced only when\n"
    "                          packing succeeded)\n"
    "  --arch win32|win64      which of our setup programs carries the package\n"
    "                          (default win32, the one that runs on every Windows);\n"
    "                          it is looked for beside this tool: ../ARCH/Setup.exe,\n"
    "                          ARCH/Setup.exe, or the folder named by VELLMARK_STUB_DIR\n"
    "  --stub SETUP.exe        any other setup program to append the package to (overrides\n"
    "                          --arch); data after its last section is left out\n"
    "  --uninstaller FILE      adds FILE as Uninstall.exe at the top level instead of\n"
    "                          ours\n"
    "  --no-uninstaller        adds no uninstaller\n"
    "  --level N               compression level, 0 (stored, no compression) to 12\n"
    "                          (smallest, slowest); default 7.  The Linux tool\n"
    "                          compresses with libdeflate and these are its levels\n"
    "                          (7 no larger than makensis, 10 to 12 its slowest); the\n"
    "                          Windows tool with zlib, whose levels are 0 to 9\n"
    "                          (10 to 12 compress as 9)\n"
    "  --no-check              pack even when Install.ini's script is rejected\n"
    "  -h, --help              this text\n"
    "\n"
    "The package carries our uninstaller as Uninstall.exe at the top level: the\n"
    "Uninstall.exe beside the setup program it is packed with (for build/win64/Setup.exe\n"
    "build/win64/Uninstall.exe), unless SOURCE_DIR holds an Uninstall.exe of its own.\n"
    "A setup program without one beside it needs --uninstaller or --no-uninstaller.\n"
    "The setup installs it only when the script's settings ask for it (NoUninstall=0).\n"
    "\n"
    "Names are converted to the Windows-1252 code page and must fit it, be at most\n"
    "259 bytes long and be valid Windows file names.  Files and the whole package\n"
    "must stay below 4 GB.  On any error nothing is written and the exit code is 2.\n";

static_assert(CompressionLevelDefault == 7 && CompressionLevelMost == 12, "the --level text above");

enum PackOption {
    PackOutput,
    PackArch,
    PackStub,
    PackUninstaller,
    PackNoUninstaller,
    PackLevel,
    PackNoCheck,
    PackOptionCount
};
const OptionSpec PackOptionTable[] = {
    {"output", 'o', "OUT.exe"},
    {"arch", 0, "win32|win64"},
    {"stub", 0, "SETUP.exe"},
    {"uninstaller", 0, "FILE"},
    {"no-uninstaller", 0, nullptr},
    {"level", 0, "N"},
    {"no-check", 0, nullptr},
};
static_assert(std::size(PackOptionTable) == PackOptionCount, "one row per PackOption");

const CommandSpec Pack = {"pack", PackOptionTable, PackOptionCount, PackUsage, PackDescription};

// The name of our setup programs, in the build folder of each architecture
// and in VELLMARK_STUB_DIR.
const char SetupProgramName[] = "Setup.exe";

// The folder this tool runs from, for finding our setup programs beside it.
fs::path ToolFolder()
{
#ifdef _WIN32
    wchar_t buffer[32768];
    DWORD n = GetModuleFileNameW(NULL, buffer, 32768);
    if (n > 0 && n < 32768)
        return fs::path(buffer).parent_path();
#else
    std::error_code ec;
    fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (!ec)
        return self.parent_path();
#endif
    return fs::current_path();
}

// Our setup program for `arch`, or an empty path.
fs::path DefaultStub(const std::string& arch)
{
    std::vector<fs::path> candidates;
    if (const char* dir = getenv("VELLMARK_STUB_DIR"))
        candidates.push_back(fs::u8path(dir) / SetupProgramName);
    fs::path tool = ToolFolder();
    candidates.push_back(tool / ".." / arch / SetupProgramName);
    candidates.push_back(tool / arch / SetupProgramName);
    if (tool.filename() == arch)
        candidates.push_back(tool / SetupProgramName);
    std::error_code ec;
    for (const fs::path& c : candidates)
        if (fs::is_regular_file(c, ec))
            return c.lexically_normal();
    return fs::path();
}

// Our uninstaller for a setup program: the Uninstall.exe in the same folder
// (build/win64/Uninstall.exe for build/win64/Setup.exe), or an empty path.
fs::path UninstallerBeside(const fs::path& setup)
{
    std::error_code ec;
    fs::path candidate = setup.parent_path() / PackageUninstallerName;
    if (fs::is_regular_file(candidate, ec))
        return candidate;
    return fs::path();
}

std::string Shown(const fs::path& p)
{
    return p.u8string();
}

struct TreeWalk {
    std::vector<PackItem> items;
    fs::path skip;          // the output itself, should it lie inside the tree
    std::string error;
};

// Appends the children of `dir` (item `parentIndex`) contiguously, sorted by
// name, then walks the subfolders in the same order.
bool WalkDirectory(TreeWalk& walk, const fs::path& dir, int32_t parentIndex)
{
    struct Child {
        std::string ansi;
        fs::path path;
        bool directory;
    };
    std::vector<Child> children;
    std::error_code ec;
    fs::directory_iterator it(dir, ec), end;
    if (ec) {
        walk.error = Shown(dir) + ": cannot be read (" + ec.message() + ")";
        return false;
    }
    for (; it != end; it.increment(ec)) {
        if (ec) {
            walk.error = Shown(dir) + ": cannot be read (" + ec.message() + ")";
            return false;
        }
        const fs::path& p = it->path();
        std::error_code same;
        if (!walk.skip.empty() && fs::equivalent(p, walk.skip, same))
            continue;
        Child child;
        child.path = p;
        std::string utf8 = p.filename().u8string();
        if (!AnsiFromTerminal(utf8, &child.ansi))
            return walk.error = Shown(p) + ": the name cannot be written in the Windows-1252 code page", false;
        if (child.ansi.size() > PackageNameSize - 1)
            return walk.error = Shown(p) + ": the name is longer than 259 bytes", false;
        if (const char* problem = EntryNameProblem(child.ansi.data(), child.ansi.size()))
            return walk.error = Shown(p) + ": not a valid Windows file name (it " + problem + ")", false;
        fs::file_status status = fs::status(p, ec);
        if (ec)
            return walk.error = Shown(p) + ": cannot be read (" + ec.message() + ")", false;
        if (fs::is_directory(status))
            child.directory = true;
        else if (fs::is_regular_file(status))
            child.directory = false;
        else
            return walk.error = Shown(p) + ": neither a file nor a folder", false;
        children.push_back(std::move(child));
    }
    std::sort(children.begin(), children.end(), [](const Child& a, const Child& b) {
        int byName = AnsiCompareNoCase(a.ansi.c_str(), b.ansi.c_str());
        return byName != 0 ? byName < 0 : a.ansi < b.ansi;
    });
    for (size_t k = 1; k < children.size(); ++k)
        if (AnsiCompareNoCase(children[k - 1].ansi.c_str(), children[k].ansi.c_str()) == 0)
            return walk.error = Shown(children[k].path) + ": differs from " + Shown(children[k - 1].path.filename()) +
                                " only in letter case, which Windows cannot keep apart",
                   false;

    size_t first = walk.items.size();
    for (Child& c : children) {
        PackItem item;
        item.name = c.ansi;
        item.parent = parentIndex;
        item.directory = c.directory;
        if (!c.directory)
            item.source = c.path;
        walk.items.push_back(std::move(item));
    }
    for (size_t k = 0; k < children.size(); ++k)
        if (children[k].directory &&
            !WalkDirectory(walk, children[k].path, static_cast<int32_t>(first + k)))
            return false;
    return true;
}

bool ReadFile(const fs::path& path, std::string* content)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    content->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

// Progress on a terminal only: a line that rewrites itself.
struct Progress {
    bool enabled = false;
    std::chrono::steady_clock::time_point last;
    void Show(uint64_t done, uint64_t total)
    {
        if (!enabled)
            return;
        auto now = std::chrono::steady_clock::now();
        if (done < total && now - last < std::chrono::milliseconds(200))
            return;
        last = now;
        unsigned percent = total ? static_cast<unsigned>(done * 100 / total) : 100;
        fprintf(stderr, "\rpacking: %3u%% (%llu of %llu MB)", percent,
                static_cast<unsigned long long>(done >> 20), static_cast<unsigned long long>(total >> 20));
        fflush(stderr);
    }
    void End()
    {
        if (enabled)
            fprintf(stderr, "\r%60s\r", "");
    }
};

// The --level value, or -1 when it is not a number from 0 to 12.
int ParseLevel(const char* text)
{
    size_t length = strlen(text);
    if (length == 0 || length > 2 || !isdigit(static_cast<unsigned char>(text[0])) ||
        (length == 2 && !isdigit(static_cast<unsigned char>(text[1]))))
        return -1;
    int level = atoi(text);
    return level <= CompressionLevelMost ? level : -1;
}

// What the command line asks of `pack`.  The texts point into argv.
struct PackRequest {
    const char* source = nullptr;
    const char* output = nullptr;
    const char* stub = nullptr;          // nullptr: our setup program for `arch`
    std::string arch = "win32";
    const char* uninstaller = nullptr;   // nullptr: ours, or the tree's own
    bool noUninstaller = false;
    int level = CompressionLevelDefault;
    bool checkScript = true;
};

// The command line as a request.  False when the command ends here with
// *exitCode: its help was printed, or the command line is refused.
bool ReadPackRequest(int argc, char** argv, PackRequest* request, int* exitCode)
{
    CommandOptions line;
    if (!ReadOptions(Pack, argc, argv, &line, exitCode))
        return false;
    auto refuse = [exitCode](int code) {
        *exitCode = code;
        return false;
    };
    PackRequest r;
    if (const char* arch = line.Value(PackArch)) {
        r.arch = arch;
        if (r.arch != "win32" && r.arch != "win64")
            return refuse(CommandError(Pack.name, "--arch takes win32 or win64, not '" + r.arch + "'"));
    }
    if (const char* level = line.Value(PackLevel)) {
        r.level = ParseLevel(level);
        if (r.level < 0)
            return refuse(
                CommandError(Pack.name, std::string("--level takes a number from 0 to 12, not '") + level + "'"));
    }
    if (line.operands.empty())
        return refuse(UsageError(Pack, "no SOURCE_DIR given"));
    if (line.operands.size() > 1)
        return refuse(UsageError(Pack, "more than one SOURCE_DIR given"));
    r.source = line.operands[0];
    r.output = line.Value(PackOutput);
    if (!r.output)
        return refuse(UsageError(Pack, "no -o OUT.exe given"));
    r.stub = line.Value(PackStub);
    r.uninstaller = line.Value(PackUninstaller);
    r.noUninstaller = line.Given(PackNoUninstaller);
    if (r.uninstaller && r.noUninstaller)
        return refuse(CommandError(Pack.name, "--uninstaller and --no-uninstaller exclude each other"));
    r.checkScript = !line.Given(PackNoCheck);
    *request = r;
    return true;
}

// One run of `pack`, a step at a time.  Each step uses what the steps before
// it found; a step that fails leaves the one-line reason in `error`, and
// nothing has been written then.
class Packing {
public:
    explicit Packing(const PackRequest& request) : request(request) {}

    bool FindSetupProgram();     // the setup program the package is appended to
    bool CheckSourceFolder();
    bool ReadSetupImage();       // its bytes, and where its image ends
    bool WalkSourceTree();       // the package's entries, checked as Windows will hold them
    bool CheckScript();          // the top-level Install.ini, as the setup program will read it
    bool AddUninstaller();       // the uninstaller the package carries, if any
    bool WriteSetup();           // the setup executable, replacing the output only when whole
    void PrintSummary() const;

    std::string error;

private:
    bool Fail(const std::string& why)
    {
        error = why;
        return false;
    }
    bool TopLevelHas(const char* name) const;

    const PackRequest& request;
    std::string stubPath;
    fs::path sourceDir;
    std::string stubBytes;
    uint64_t imageEnd = 0;
    TreeWalk walk;
};

bool Packing::FindSetupProgram()
{
    if (request.stub) {
        stubPath = request.stub;
        return true;
    }
    fs::path found = DefaultStub(request.arch);
    if (found.empty())
        return Fail("no " + request.arch + " " + SetupProgramName +
                    " found beside this tool; build it or name one with --stub");
    stubPath = found.u8string();
    return true;
}

bool Packing::CheckSourceFolder()
{
    std::error_code ec;
    sourceDir = fs::u8path(request.source);
    if (!fs::is_directory(sourceDir, ec))
        return Fail(std::string(request.source) + ": no such folder");
    return true;
}

// The stub must be a PE image; only the image up to its last section is kept.
bool Packing::ReadSetupImage()
{
    if (!ReadFile(fs::u8path(stubPath), &stubBytes))
        return Fail(stubPath + ": cannot be read (" + strerror(errno) + ")");
    imageEnd = LocateImageEnd(reinterpret_cast<const uint8_t*>(stubBytes.data()), stubBytes.size());
    if (imageEnd == 0 || imageEnd > stubBytes.size())
        return Fail(stubPath + ": not a Windows executable image");
    return true;
}

bool Packing::WalkSourceTree()
{
    std::error_code ec;
    walk.skip = fs::u8path(request.output);
    if (!fs::exists(walk.skip, ec))
        walk.skip.clear();
    PackItem root;
    root.name = ".";
    root.parent = -1;
    root.directory = true;
    walk.items.push_back(root);
    if (!WalkDirectory(walk, sourceDir, 0))
        return Fail(walk.error);
    return true;
}

bool Packing::TopLevelHas(const char* name) const
{
    for (const PackItem& item : walk.items)
        if (item.parent == 0 && AnsiCompareNoCase(item.name.c_str(), name) == 0)
            return true;
    return false;
}

bool Packing::CheckScript()
{
    fs::path script;
    for (const PackItem& item : walk.items)
        if (item.parent == 0 && !item.directory && AnsiCompareNoCase(item.name.c_str(), PackageScriptName) == 0)
            script = item.source;
    if (script.empty())
        return Fail(std::string(request.source) + ": no " + PackageScriptName + " at the top level");

    // The setup program refuses a larger script before reading it, whatever
    // it holds, so no package is made with one (--no-check included).
    std::error_code ec;
    uintmax_t scriptSize = fs::file_size(script, ec);
    if (ec)
        return Fail(Shown(script) + ": cannot be read (" + ec.message() + ")");
    if (scriptSize > ScriptTextLimit)
        return Fail(Shown(script) + ": " + ScriptTooLargeText() + "; nothing was written");
    if (!request.checkScript)
        return true;
    std::string text;
    if (!ReadFile(script, &text))
        return Fail(Shown(script) + ": cannot be read");
    if (!CheckSetupScriptText(Shown(script), text))
        return Fail(Shown(script) + ": the script is rejected; nothing was written (--no-check packs it anyway)");
    return true;
}

// Ours (the one beside the setup program) unless the tree holds its own,
// --uninstaller names another or --no-uninstaller asks for none.
bool Packing::AddUninstaller()
{
    bool treeHasUninstaller = TopLevelHas(PackageUninstallerName);
    fs::path uninstallerPath;
    if (request.uninstaller) {
        std::error_code ec;
        uninstallerPath = fs::u8path(request.uninstaller);
        if (!fs::is_regular_file(uninstallerPath, ec))
            return Fail(std::string(request.uninstaller) + ": no such file");
        if (treeHasUninstaller)
            return Fail(std::string(request.source) + ": already holds an " + PackageUninstallerName +
                        "; --uninstaller would add a second one");
    } else if (!request.noUninstaller && !treeHasUninstaller) {
        uninstallerPath = UninstallerBeside(fs::u8path(stubPath));
        if (uninstallerPath.empty())
            return Fail(std::string("no ") + PackageUninstallerName + " beside " + stubPath +
                        " to carry as the uninstaller; name one with --uninstaller FILE, or pack without one "
                        "with --no-uninstaller");
    }
    if (!uninstallerPath.empty()) {
        PackItem item;
        item.name = PackageUninstallerName;
        item.parent = 0;
        item.source = uninstallerPath;
        walk.items.push_back(item);
    }
    return true;
}

// Everything goes to a temporary file beside the output, which replaces the
// output only once every byte has been written; ~OutputFile removes it
// after a failure.
bool Packing::WriteSetup()
{
    OutputFile out;
    if (!out.Open(request.output, &error))
        return false;

    Progress progress;
    progress.enabled = isatty(2);
    PackOptions options;
    options.level = request.level;
    options.progress = [&](uint64_t done, uint64_t total) { progress.Show(done, total); };
    FileSink sink(out.Stream());
    bool ok = sink.Write(stubBytes.data(), static_cast<size_t>(imageEnd));
    if (!ok)
        error = std::string(request.output) + ": cannot be written";
    if (ok && !WritePackageArchive(walk.items, imageEnd, sink, options, &error))
        ok = false;
    progress.End();
    if (ok && !out.Commit(&error))
        ok = false;
    return ok;
}

void Packing::PrintSummary() const
{
    size_t files = 0, folders = 0;
    for (size_t i = 1; i < walk.items.size(); ++i)
        (walk.items[i].directory ? folders : files)++;
    std::error_code ec;
    uintmax_t written = fs::file_size(fs::u8path(request.output), ec);
    printf("%s: %zu files and %zu folders packed, %llu bytes\n", request.output, files, folders,
           static_cast<unsigned long long>(written));
}

}  // namespace

int RunPackCommand(int argc, char** argv)
{
    PackRequest request;
    int exitCode = 0;
    if (!ReadPackRequest(argc, argv, &request, &exitCode))
        return exitCode;
    Packing packing(request);
    bool packed = packing.FindSetupProgram() && packing.CheckSourceFolder() && packing.ReadSetupImage() &&
                  packing.WalkSourceTree() && packing.CheckScript() && packing.AddUninstaller() &&
                  packing.WriteSetup();
    if (!packed)
        return CommandError(Pack.name, packing.error);
    packing.PrintSummary();
    return 0;
}
