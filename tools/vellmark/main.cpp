// vellmark: the publisher's command-line tool.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Commands.h"
#include "ShippedFiles.h"
#include "VellmarkRelease.h"

namespace {

struct Command {
    const char* name;
    int (*run)(int argc, char** argv);
    const char* summary;
};

const Command Commands[] = {
    {"pack", RunPackCommand, "pack a product folder and a setup program into one setup executable"},
    {"list", RunListCommand, "list the entries of a setup executable's package"},
    {"extract", RunExtractCommand, "write one entry of a setup executable's package, or all of them into a folder"},
    {"check", RunCheckCommand, "check an Install.ini as the setup program will, or dry-run one of its functions"},
    {"log", RunLogCommand, "print an install log file"},
    {"try", RunTryCommand, "install and remove a setup in a throw-away wine prefix and report what it changed"},
    {"verify", RunVerifyCommand, "check a setup executable's package, PE checksum and signature"},
    {"manifest", RunManifestCommand, "write the winget manifest of a setup executable"},
};

void PrintUsage(FILE* out)
{
    fprintf(out, "usage: vellmark COMMAND [ARGS...]\n\ncommands:\n");
    for (const Command& c : Commands)
        fprintf(out, "  %-9s %s\n", c.name, c.summary);
    fprintf(out, "\n'vellmark COMMAND --help' describes a command's options;\n"
                 "'vellmark --version' the release and the Windows programs this tool finds.\n");
}

// The release, then what the tool ships with and where it found each (the
// first place ShippedFiles.h names that has it), or "not found": what a
// publisher looks at first when pack or try cannot find a program.
void PrintVersion()
{
    printf("vellmark %s\n", VM_RELEASE_TEXT);
    struct Shipped {
        const char* arch;
        const char* name;
        const char* use;
    };
    const Shipped programs[] = {
        {"win32", "Setup.exe", "pack --arch win32"},   {"win32", "Uninstall.exe", "pack --arch win32"},
        {"win64", "Setup.exe", "pack --arch win64"},   {"win64", "Uninstall.exe", "pack --arch win64"},
        {"win64", "uidriver.exe", "try"},
    };
    for (const Shipped& p : programs) {
        std::filesystem::path found = FindWindowsProgram(p.arch, p.name);
        printf("%s %-13s %s  (%s)\n", p.arch, p.name, found.empty() ? "not found" : found.u8string().c_str(), p.use);
    }
    std::filesystem::path python = FindSharedFile("python/vellmark_try.py");
    printf("share %-13s %s  (try)\n", "python", python.empty() ? "not found" : python.parent_path().u8string().c_str());
    if (const char* dir = getenv("VELLMARK_STUB_DIR"))
        printf("VELLMARK_STUB_DIR=%s (looked in first)\n", dir);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        PrintUsage(stderr);
        return 2;
    }
    if (!strcmp(argv[1], "--help") || !strcmp(argv[1], "-h") || !strcmp(argv[1], "help")) {
        PrintUsage(stdout);
        return 0;
    }
    if (!strcmp(argv[1], "--version") || !strcmp(argv[1], "-V")) {
        if (argc > 2) {
            fprintf(stderr, "vellmark: --version takes no arguments\n");
            return 2;
        }
        PrintVersion();
        return 0;
    }
    for (const Command& c : Commands)
        if (!strcmp(argv[1], c.name))
            return c.run(argc - 1, argv + 1);
    fprintf(stderr, "vellmark: unknown command '%s'\n", argv[1]);
    PrintUsage(stderr);
    return 2;
}
