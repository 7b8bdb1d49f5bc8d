// vellmark try: what a setup does to a machine.  The command reads its
// options here and hands the run to the Python program it ships with
// (share/vellmark/python/vellmark_try.py, see ShippedFiles.h), which makes
// a throw-away wine prefix, snapshots it around the setup and the removal
// it registered, and reports the changes.  It runs only in the Linux tool.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include "Commands.h"
#include "ExitCodes.h"
#include "ShippedFiles.h"
#include "ToolOptions.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

const char TryUsage[] =
    "usage: vellmark try SETUP.exe [--wizard] [--windows VERSION] [--report DIR] [--json] [--keep]\n"
    "                    [-- SETUP-ARGS...]\n";

const char TryDescription[] =
    "\n"
    "Installs SETUP.exe in a throw-away wine64 prefix (on a private Xvfb display\n"
    "when there is no $DISPLAY), removes it again with the uninstall command it\n"
    "registered, and reports what each step changed: a snapshot of the prefix's\n"
    "files (sizes and contents) and registry (HKLM\\Software, the services,\n"
    "HKCU\\Software) before the setup, after it and after the removal.  The prefix\n"
    "and every wine process of it are gone at the end.\n"
    "\n"
    "It prints the setup's exit code with its meaning and its transcript, what the\n"
    "installation changed (files, folders, registry keys and values, shortcuts and\n"
    "their targets, services, the Programs and Features entry), and what the\n"
    "removal left behind: the shared uninstaller vuninst.exe and the company key\n"
    "with its URL and Email are expected to stay; anything else is a leftover.\n"
    "\n"
    "options:\n"
    "  --wizard            walk the wizard as a user would (accept the licence, keep\n"
    "                      the default folder, Next to the end; no restart) and take\n"
    "                      a picture of every page, then remove through the\n"
    "                      UninstallString and its dialog; by default the setup runs\n"
    "                      with /S /LOG=... and the removal with the\n"
    "                      QuietUninstallString\n"
    "  --windows VERSION   the Windows that wine shows the setup: win95, win98, winme,\n"
    "                      nt40, win2k, winxp, win7, win8, win81, win10 (default) ...\n"
    "  --report DIR        also write DIR/index.html (one page with the pictures, the\n"
    "                      changes and the transcripts), DIR/try.txt and DIR/try.json\n"
    "  --json              print the report as one JSON document instead of text\n"
    "  --keep              keep the work folder (prefix, snapshots, transcripts) and\n"
    "                      say where it is\n"
    "  -- SETUP-ARGS...    more arguments for the setup (after /S /LOG=...), such\n"
    "                      as /D=C:\\Apps\\Tool\n"
    "\n"
    "Exit status: 0 when the setup succeeded and the removal left nothing\n"
    "unexpected; 1 when the setup failed or something was left behind; 2 for a\n"
    "usage error, a missing wine64, Xvfb or python3 (the message names the\n"
    "Debian package), or a run that could not be made.\n";

enum TryOption { TryWizard, TryWindows, TryReport, TryJson, TryKeep, TryOptionCount };
const OptionSpec TryOptionTable[] = {
    {"wizard", 0, nullptr},
    {"windows", 0, "VERSION"},
    {"report", 0, "DIR"},
    {"json", 0, nullptr},
    {"keep", 0, nullptr},
};
static_assert(std::size(TryOptionTable) == TryOptionCount, "one row per TryOption");

const CommandSpec Try = {"try", TryOptionTable, TryOptionCount, TryUsage, TryDescription};

// The versions wine can pretend (winecfg's list), as its registry value
// HKCU\Software\Wine\Version takes them.
const char* const WindowsVersions[] = {
    "win11", "win10", "win81", "win8", "win2008r2", "win7", "win2008", "vista", "win2003", "winxp64",
    "winxp", "win2k", "winme", "win98", "win95", "nt40", "nt351", "win31", "win30", "win20",
};

// The Python program that runs a try, and the UI driver it starts under wine.
const char TryProgram[] = "python/vellmark_try.py";
const char UiDriverName[] = "uidriver.exe";

#ifndef _WIN32
std::string JsonText(const char* text)
{
    std::string out = "\"";
    for (const char* p = text; *p; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += *p;
        } else if (c < 0x20) {
            char escape[8];
            snprintf(escape, sizeof escape, "\\u%04x", c);
            out += escape;
        } else {
            out += *p;
        }
    }
    return out + "\"";
}

// ExitCodeMeanings as the Python program reads them: {"CODE": [setup, removal]},
// "the same" spelled out.
std::string ExitCodesJson()
{
    std::string out = "{";
    for (const ExitCodeMeaning& m : ExitCodeMeanings) {
        const char* removal = strcmp(m.removal, "the same") == 0 ? m.setup : m.removal;
        out += (out.size() > 1 ? ", " : "") + JsonText(std::to_string(m.code).c_str()) + ": [" + JsonText(m.setup) +
               ", " + JsonText(removal) + "]";
    }
    return out + "}";
}
#endif

bool KnownWindowsVersion(const char* name)
{
    for (const char* known : WindowsVersions)
        if (strcmp(known, name) == 0)
            return true;
    return false;
}

std::string WindowsVersionList()
{
    std::string list;
    for (const char* known : WindowsVersions)
        list += (list.empty() ? "" : " ") + std::string(known);
    return list;
}

}  // namespace

int RunTryCommand(int argc, char** argv)
{
    CommandOptions line;
    int exitCode = 0;
    if (!ReadOptions(Try, argc, argv, &line, &exitCode))
        return exitCode;
    if (line.operandsBeforeEnd == 0)
        return UsageError(Try, "no SETUP.exe given");
    if (line.operandsBeforeEnd > 1)
        return UsageError(Try, std::string("one SETUP.exe only; '") + line.operands[1] +
                                   "' and the rest go to the setup after --");
    const char* windows = line.Value(TryWindows);
    if (windows && !KnownWindowsVersion(windows))
        return CommandError(Try.name, std::string("--windows takes one of ") + WindowsVersionList() + ", not '" +
                                          windows + "'");
    const char* setup = line.operands[0];
    std::error_code ec;
    if (!fs::is_regular_file(fs::u8path(setup), ec))
        return CommandError(Try.name, std::string(setup) + ": no such file");
    const char* report = line.Value(TryReport);
    if (report && !*report)
        return UsageError(Try, "--report takes a folder");

#ifdef _WIN32
    return CommandError(Try.name, "runs only in the Linux tool, which tries the setup under wine; on Windows, try "
                                  "it on a virtual machine");
#else
    fs::path program = FindSharedFile(TryProgram);
    if (program.empty())
        return CommandError(Try.name, std::string("no ") + TryProgram + " found beside this tool (in ../share/vellmark "
                                      "or VELLMARK_SHARE_DIR); the tool is not completely installed");
    fs::path driver = FindWindowsProgram("win64", UiDriverName);
    if (driver.empty())
        return CommandError(Try.name, std::string("no win64 ") + UiDriverName + " found beside this tool (in " +
                                          "../share/vellmark/win64, ../win64 or VELLMARK_STUB_DIR); build it or " +
                                          "install the tool completely");

    std::vector<std::string> arguments = {"python3", "-B", "-I", "-S", program.string(),
                                          "--tool", fs::read_symlink("/proc/self/exe", ec).string(),
                                          "--uidriver", fs::absolute(driver).string(),
                                          "--setup", fs::absolute(fs::u8path(setup)).string(),
                                          "--exit-codes", ExitCodesJson()};
    if (line.Given(TryWizard))
        arguments.push_back("--wizard");
    if (windows)
        arguments.insert(arguments.end(), {"--windows", windows});
    if (report)
        arguments.insert(arguments.end(), {"--report", fs::absolute(fs::u8path(report)).string()});
    if (line.Given(TryJson))
        arguments.push_back("--json");
    if (line.Given(TryKeep))
        arguments.push_back("--keep");
    arguments.push_back("--");
    for (size_t k = line.operandsBeforeEnd; k < line.operands.size(); ++k)
        arguments.push_back(line.operands[k]);

    std::vector<char*> pointers;
    for (std::string& a : arguments)
        pointers.push_back(&a[0]);
    pointers.push_back(nullptr);
    fflush(stdout);
    // Debian's python3 first: the program needs nothing but its standard library.
    const char* debianPython = "/usr/bin/python3";
    if (access(debianPython, X_OK) == 0)
        execv(debianPython, pointers.data());
    execvp("python3", pointers.data());
    return CommandError(Try.name, std::string("python3 cannot be started (") + strerror(errno) +
                                      "); install it: apt-get install python3");
#endif
}
