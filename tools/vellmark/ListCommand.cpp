// vellmark list: the entries of a setup executable, read as the setup program reads them.
#include <cstdio>
#include <cstring>
#include <string>

#include "ToolOptions.h"
#include "Commands.h"
#include "ListingPath.h"
#include "Package.h"
#include "PackageMessages.h"

namespace {

const char ListUsage[] = "usage: vellmark list SETUP.exe\n";

const char ListDescription[] =
    "\n"
    "Opens SETUP.exe exactly as the setup program does (verifying every checksum)\n"
    "and prints one line per package entry, the root left out:\n"
    "  d|f SIZE COMPRESSED-SIZE PATH\n"
    "d marks a folder, f a file; PATH uses backslashes.  Bytes that a terminal\n"
    "would act on (control bytes, 0x7F), and '\"' and '\\' inside a name, are\n"
    "shown as \\xNN; a parent that is no entry of the package is shown as '?'.\n"
    "An entry whose chain of parents is deeper than a path can be (130 folders,\n"
    "or a loop) is reported on stderr instead, and the exit code is then 1.\n"
    "On failure prints 'vellmark list: FILE: MESSAGE (code N)' and exits with 2.\n";

static_assert(ListingPathDepthLimit == 130, "the depth in the text above");

const CommandSpec List = {"list", nullptr, 0, ListUsage, ListDescription};

}  // namespace

int RunListCommand(int argc, char** argv)
{
    CommandOptions line;
    int exitCode = 0;
    if (!ReadOptions(List, argc, argv, &line, &exitCode))
        return exitCode;
    if (line.operands.size() != 1)
        return UsageError(List, line.operands.empty() ? "no SETUP.exe given" : "one SETUP.exe only");
    const char* setup = line.operands[0];
    PackageHandle* h = nullptr;
    if (OpenPackageForTool(List.name, setup, &h) != PackageOpened)
        return CommandFailed;
    int result = 0;
    std::string path;
    for (uint32_t i = 1; i < h->entryCount; ++i) {
        const PackageEntry& e = h->entries[i];
        if (BuildListingPath(h->entries, h->entryCount, i, &path) != ListingPathOk) {
            CommandError(List.name, std::string(setup) + ": entry " + std::to_string(i) +
                                        ": its parents go deeper than " + std::to_string(ListingPathDepthLimit) +
                                        " folders (a loop?); not listed");
            result = 1;
            continue;
        }
        printf("%c %u %u %s\n", (e.attributes & PackageAttributeDirectory) ? 'd' : 'f', e.size,
               e.compressedSize, path.c_str());
    }
    ClosePackage(h);
    return fflush(stdout) == 0 ? result : CommandFailed;
}
