// vellmark: the publisher's command-line tool.
#include <cstdio>
#include <cstring>

#include "Commands.h"

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
        fprintf(out, "  %-8s %s\n", c.name, c.summary);
    fprintf(out, "\n'vellmark COMMAND --help' describes a command's options.\n");
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
    for (const Command& c : Commands)
        if (!strcmp(argv[1], c.name))
            return c.run(argc - 1, argv + 1);
    fprintf(stderr, "vellmark: unknown command '%s'\n", argv[1]);
    PrintUsage(stderr);
    return 2;
}
