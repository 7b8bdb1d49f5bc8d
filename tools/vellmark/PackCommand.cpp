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
#include "PeImage.h"
#include "ShippedFiles.h"
#include "Script.h"
#include "Signing.h"
#include "StreamCompressor.h"
#include "ToolText.h"

#ifdef _WIN32
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
    "                          it is looked for in the folder named by\n"
    "                          VELLMARK_STUB_DIR, then beside this tool:\n"
    "                          ../ARCH/Setup.exe, ARCH/Setup.exe,\n"
    "                          ../share/vellmark/ARCH/Setup.exe ('vellmark --version'\n"
    "                          shows which it finds)\n"
    "  --stub SETUP.exe        any other setup program to append the package to\n"
    "                          instead; data after its last section is left out.  Its\n"
    "                          architecture is read from its PE header (and printed);\n"
    "                          with --arch too, the two must agree\n"
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
    "signing (Authenticode, SHA-256: first the uninstaller the package carries, so\n"
    "that every vuninst.exe the setup writes is signed, then the setup itself):\n"
    "  --sign PFX              sign with the certificate and key of the PKCS#12\n"
    "                          file PFX, through osslsigncode\n"
    "  --sign-password-file FILE  the PFX's password is the content of FILE;\n"
    "                          otherwise it is taken from the environment variable\n"
    "                          VELLMARK_SIGN_PASSWORD, if set (never from the\n"
    "                          command line, which other users can read)\n"
    "  --sign-timestamp URL    have the signature timestamped by the RFC 3161\n"
    "                          server at URL, so that it stays valid after the\n"
    "                          certificate expires\n"
    "  --sign-description TEXT  the program's name in the signature (Windows shows it\n"
    "                          when it asks for administrator rights)\n"
    "  --sign-url URL          the address the description leads to\n"
    "  --sign-tool PROGRAM     the osslsigncode to run (default: the one on PATH)\n"
    "  --sign-command CMD      instead of --sign: run CMD for each of the two files\n"
    "                          (a hardware token, a signing service); {} in CMD is\n"
    "                          the path of the file, which CMD signs in place\n"
    "\n"
    "With SOURCE_DATE_EPOCH set (seconds since 1970), it is the signature's\n"
    "signing time: the same tree, setup program and certificate then give the\n"
    "same bytes (a timestamp server's answer differs every time).\n"
    "\n"
    "A setup program that was signed itself is packed without its signature: the\n"
    "output names no certificate table unless it is signed anew.  The output's PE\n"
    "checksum is always written.\n"
    "\n"
    "The package carries our uninstaller as Uninstall.exe at the top level: the\n"
    "Uninstall.exe beside the setup program it is packed with (for build/win64/Setup.exe\n"
    "build/win64/Uninstall.exe), unless SOURCE_DIR holds an Uninstall.exe of its own.\n"
    "A setup program without one beside it needs --uninstaller or --no-uninstaller.\n"
    "The setup program and a Windows program carried as Uninstall.exe must both be\n"
    "of the architecture packed for (x86 PE32 for win32, x86-64 PE32+ for win64):\n"
    "a mismatch is refused.\n"
    "The setup installs it only when the script's settings ask for it (NoUninstall=0).\n"
    "\n"
    "Names are converted to the Windows-1252 code page and must fit it, be at most\n"
    "259 bytes long and be valid Windows file names.  Files and the whole package\n"
    "must stay below 4 GB.  On any error (a failed signing included) nothing is\n"
    "written and the exit code is 2.\n";

static_assert(CompressionLevelDefault == 7 && CompressionLevelMost == 12, "the --level text above");

enum PackOption {
    PackOutput,
    PackArch,
    PackStub,
    PackUninstaller,
    PackNoUninstaller,
    PackLevel,
    PackNoCheck,
    PackSign,
    PackSignPasswordFile,
    PackSignTimestamp,
    PackSignDescription,
    PackSignUrl,
    PackSignTool,
    PackSignCommand,
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
    {"sign", 0, "PFX"},
    {"sign-password-file", 0, "FILE"},
    {"sign-timestamp", 0, "URL"},
    {"sign-description", 0, "TEXT"},
    {"sign-url", 0, "URL"},
    {"sign-tool", 0, "PROGRAM"},
    {"sign-command", 0, "CMD"},
};
static_assert(std::size(PackOptionTable) == PackOptionCount, "one row per PackOption");

const CommandSpec Pack = {"pack", PackOptionTable, PackOptionCount, PackUsage, PackDescription};

// The name of our setup programs, in the build folder of each architecture
// and in VELLMARK_STUB_DIR.
const char SetupProgramName[] = "Setup.exe";

// Our setup program for `arch` (ShippedFiles.h says where), or an empty path.
fs::path DefaultStub(const std::string& arch)
{
    return FindWindowsProgram(arch, SetupProgramName);
}

// The architecture a Windows program is built for, as --arch names it:
// "win32" for an x86 PE32 image, "win64" for an x86-64 PE32+ one; empty for
// any other machine, or a machine and optional header that disagree.
std::string ImageArch(const PeImageLayout& layout)
{
    if (layout.machine == PeMachineI386 && !layout.pe32Plus)
        return "win32";
    if (layout.machine == PeMachineAmd64 && layout.pe32Plus)
        return "win64";
    return std::string();
}

// What an image is built for, for messages: "win64 (x86-64, PE32+)",
// "neither win32 nor win64 (machine 0xAA64, PE32+)".
std::string ImageKind(const PeImageLayout& layout)
{
    char machine[32];
    if (layout.machine == PeMachineI386)
        snprintf(machine, sizeof machine, "x86");
    else if (layout.machine == PeMachineAmd64)
        snprintf(machine, sizeof machine, "x86-64");
    else
        snprintf(machine, sizeof machine, "machine 0x%04X", layout.machine);
    std::string arch = ImageArch(layout);
    return (arch.empty() ? std::string("neither win32 nor win64") : arch) + " (" + machine + ", " +
           (layout.pe32Plus ? "PE32+" : "PE32") + ")";
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
    bool archGiven = false;              // --arch named it; otherwise a --stub tells it
    const char* uninstaller = nullptr;   // nullptr: ours, or the tree's own
    bool noUninstaller = false;
    int level = CompressionLevelDefault;
    bool checkScript = true;
    SigningRequest signing;              // nothing requested: the output is not signed
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
        r.archGiven = true;
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

    if (line.Given(PackSign) && line.Given(PackSignCommand))
        return refuse(CommandError(Pack.name, "--sign and --sign-command exclude each other"));
    if (line.Given(PackSign)) {
        r.signing.pfx = line.Value(PackSign);
        if (r.signing.pfx.empty())
            return refuse(UsageError(Pack, "--sign takes the PKCS#12 file, not an empty name"));
        std::string error;
        if (!ReadSourceDateEpoch(&r.signing.signingTime, &error))
            return refuse(CommandError(Pack.name, error));
    }
    if (line.Given(PackSignCommand)) {
        r.signing.command = line.Value(PackSignCommand);
        if (r.signing.command.find_first_not_of(" \t") == std::string::npos)
            return refuse(UsageError(Pack, "--sign-command takes a command, not an empty one"));
    }
    // What only osslsigncode is given.
    const PackOption withSign[] = {PackSignPasswordFile, PackSignTimestamp, PackSignDescription, PackSignUrl,
                                   PackSignTool};
    for (PackOption option : withSign)
        if (line.Given(option) && !line.Given(PackSign))
            return refuse(UsageError(Pack, std::string("--") + PackOptionTable[option].name + " goes with --sign PFX"));
    if (const char* file = line.Value(PackSignPasswordFile))
        r.signing.passwordFile = file;
    if (const char* url = line.Value(PackSignTimestamp))
        r.signing.timestampUrl = url;
    if (const char* text = line.Value(PackSignDescription))
        r.signing.description = text;
    if (const char* url = line.Value(PackSignUrl))
        r.signing.url = url;
    if (const char* tool = line.Value(PackSignTool))
        r.signing.tool = tool;
    *request = r;
    return true;
}

// One run of `pack`, a step at a time.  Each step uses what the steps before
// it found; a step that fails leaves the one-line reason in `error`, and
// nothing has been written then.
class Packing {
public:
    explicit Packing(const PackRequest& request) : request(request), signer(request.signing) {}

    bool FindSetupProgram();     // the setup program the package is appended to
    bool CheckSourceFolder();
    bool ReadSetupImage();       // its bytes, where its image ends, and its architecture
    bool WalkSourceTree();       // the package's entries, checked as Windows will hold them
    bool CheckScript();          // the top-level Install.ini, as the setup program will read it
    bool AddUninstaller();       // the uninstaller the package carries, if any, of the setup's architecture
    bool PrepareSigning();       // the signing tool and its files, before anything is signed
    bool SignUninstaller();      // a signed copy of it goes into the package instead
    bool WriteSetup();           // the setup executable, into a temporary file beside the output
    bool SignSetup();
    bool CommitSetup();          // its PE checksum, then it replaces the output
    void PrintSummary() const;

    std::string error;

private:
    bool Fail(const std::string& why)
    {
        error = why;
        return false;
    }
    bool TopLevelHas(const char* name) const;
    bool CheckUninstallerArch(const fs::path& file);

    const PackRequest& request;
    std::string arch;            // what the package is packed for: --arch, or the --stub's own
    std::string stubPath;
    fs::path sourceDir;
    std::string stubBytes;
    uint64_t imageEnd = 0;
    TreeWalk walk;
    Signer signer;
    bool uninstallerSigned = false;
    OutputFile out;
};

bool Packing::FindSetupProgram()
{
    if (request.stub) {
        stubPath = request.stub;
        return true;
    }
    fs::path found = DefaultStub(request.arch);
    if (found.empty()) {
        // Every place looked in, so that a publisher sees at once which
        // layout the tool expected (the build tree's or an installation's).
        std::string places;
        for (const fs::path& c : WindowsProgramCandidates(request.arch, SetupProgramName))
            places += "\n  " + c.lexically_normal().u8string();
        const char* dir = getenv("VELLMARK_STUB_DIR");
        std::string env = dir ? std::string("VELLMARK_STUB_DIR is ") + dir
                              : std::string("VELLMARK_STUB_DIR is not set");
        return Fail("no " + request.arch + " " + SetupProgramName + " found; looked for" + places + "\n(" + env +
                    "; it names a folder holding Setup.exe and Uninstall.exe).  Build or install the " +
                    request.arch + " programs, set VELLMARK_STUB_DIR or name a setup program with --stub");
    }
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

// The stub must be a PE image; only the image up to its last section is
// kept.  A stub that was signed loses the signature with what followed its
// last section, so its security directory entry and checksum are cleared
// too: an entry left as it was would name bytes of the package as a
// certificate table, a signature that is not there.
bool Packing::ReadSetupImage()
{
    if (!ReadFile(fs::u8path(stubPath), &stubBytes))
        return Fail(stubPath + ": cannot be read (" + strerror(errno) + ")");
    uint8_t* image = reinterpret_cast<uint8_t*>(&stubBytes[0]);
    PeImageLayout layout;
    if (!ReadPeImageLayout(image, stubBytes.size(), &layout) || layout.imageEnd > stubBytes.size() ||
        layout.checksumAt + 4 > layout.imageEnd || layout.securityEntryAt + PeDataDirectorySize > layout.imageEnd)
        return Fail(stubPath + ": not a Windows executable image");
    std::string imageArch = ImageArch(layout);
    if (imageArch.empty())
        return Fail(stubPath + ": the setup program is " + ImageKind(layout) +
                    "; setups are packed for win32 (x86, PE32) or win64 (x86-64, PE32+)");
    if (request.archGiven || !request.stub) {
        if (imageArch != request.arch)
            return Fail(stubPath + ": the setup program is " + ImageKind(layout) +
                        (request.archGiven ? ", but --arch asked for " + request.arch
                                           : ", but pack makes a " + request.arch + " setup unless --arch says otherwise"));
    }
    arch = imageArch;
    if (request.stub)
        printf("%s: %s setup program\n", stubPath.c_str(), ImageKind(layout).c_str());
    imageEnd = layout.imageEnd;
    ClearSigningFields(image, layout);
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
    if (!uninstallerPath.empty() && !CheckUninstallerArch(uninstallerPath))
        return false;
    if (uninstallerPath.empty() && treeHasUninstaller) {
        for (const PackItem& item : walk.items)
            if (item.parent == 0 && !item.directory &&
                AnsiCompareNoCase(item.name.c_str(), PackageUninstallerName) == 0 && !CheckUninstallerArch(item.source))
                return false;
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

// A Windows program carried as the uninstaller must run where the setup
// does: the setup starts it as the product's uninstaller on the same
// machine.  A file that is no Windows program at all is the publisher's own
// business and packed as it is.
bool Packing::CheckUninstallerArch(const fs::path& file)
{
    std::string bytes;
    if (!ReadFile(file, &bytes))
        return Fail(Shown(file) + ": cannot be read (" + strerror(errno) + ")");
    PeImageLayout layout;
    if (!ReadPeImageLayout(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &layout))
        return true;
    if (ImageArch(layout) != arch)
        return Fail(Shown(file) + ": the uninstaller is " + ImageKind(layout) + ", but the setup is packed for " +
                    arch + (request.archGiven ? " (--arch " + arch + ")" : request.stub ? " (the --stub's)" : ""));
    return true;
}

bool Packing::PrepareSigning()
{
    if (!request.signing.Requested())
        return true;
    std::string why;
    if (!signer.Prepare(&why))
        return Fail(why);
    return true;
}

// The top-level Uninstall.exe, whichever it is (ours, the tree's own, the one
// --uninstaller names), is copied to the signing folder, signed there, and
// packed from there.
bool Packing::SignUninstaller()
{
    if (!request.signing.Requested())
        return true;
    PackItem* uninstaller = nullptr;
    for (PackItem& item : walk.items)
        if (item.parent == 0 && !item.directory && AnsiCompareNoCase(item.name.c_str(), PackageUninstallerName) == 0)
            uninstaller = &item;
    if (!uninstaller)
        return true;
    fs::path copy = signer.WorkFolder() / PackageUninstallerName;
    std::error_code ec;
    if (!uninstaller->source.empty()) {
        fs::copy_file(uninstaller->source, copy, fs::copy_options::overwrite_existing, ec);
        if (ec)
            return Fail(Shown(uninstaller->source) + ": cannot be copied for signing (" + ec.message() + ")");
    } else {
        std::ofstream file(copy, std::ios::binary);
        file.write(uninstaller->content.data(), static_cast<std::streamsize>(uninstaller->content.size()));
        if (!file)
            return Fail(Shown(copy) + ": cannot be written");
    }
    std::string why;
    if (!signer.SignInPlace(copy, PackageUninstallerName, &why))
        return Fail(why);
    uninstaller->source = copy;
    uninstaller->content.clear();
    uninstallerSigned = true;
    return true;
}

// Everything goes to a temporary file beside the output, which replaces the
// output only once every byte has been written and signed; ~OutputFile
// removes it after a failure.
bool Packing::WriteSetup()
{
    OutputFileMode mode;
    mode.temporarySuffix = ".exe";
    if (!out.Open(request.output, &error, mode))
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
    if (ok && !out.Close(&error))
        ok = false;
    return ok;
}

bool Packing::SignSetup()
{
    if (!request.signing.Requested())
        return true;
    std::string why;
    if (!signer.SignInPlace(out.TemporaryPath(), "the setup", &why))
        return Fail(why);
    return true;
}

bool Packing::CommitSetup()
{
    std::string why;
    if (!WritePeChecksum(out.TemporaryPath(), request.output, &why))
        return Fail(why);
    return out.Commit(&error);
}

void Packing::PrintSummary() const
{
    size_t files = 0, folders = 0;
    for (size_t i = 1; i < walk.items.size(); ++i)
        (walk.items[i].directory ? folders : files)++;
    std::error_code ec;
    uintmax_t written = fs::file_size(fs::u8path(request.output), ec);
    const char* signature = "";
    if (request.signing.Requested())
        signature = uninstallerSigned ? ", signed (the setup and its Uninstall.exe)" : ", signed";
    printf("%s: %zu files and %zu folders packed, %llu bytes%s\n", request.output, files, folders,
           static_cast<unsigned long long>(written), signature);
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
                  packing.PrepareSigning() && packing.SignUninstaller() && packing.WriteSetup() &&
                  packing.SignSetup() && packing.CommitSetup();
    if (!packed)
        return CommandError(Pack.name, packing.error);
    packing.PrintSummary();
    return 0;
}
