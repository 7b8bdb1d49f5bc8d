// vellmark list: the entries of a setup executable, read as the setup program reads them.
#include <cstdio>
#include <cstring>
#include <string>

#include "Commands.h"
#include "ListingPath.h"
#include "Package.h"
#include "PackageMessages.h"

int RunListCommand(int argc, char** argv)
{
    if (WantsHelp(argc, argv)) {
        printf("usage: vellmark list SETUP.exe\n\n"
               "Opens SETUP.exe exactly as the setup program does (verifying every checksum)\n"
               "and prints one line per package entry, the root left out:\n"
               "  d|f SIZE COMPRESSED-SIZE PATH\n"
               "d marks a folder, f a file; PATH uses backslashes.  Bytes that a terminal\n"
               "would act on (control bytes, 0x7F), and '\"' and '\\' inside a name, are\n"
               "shown as \\xNN; a parent that is no entry of the package is shown as '?'.\n"
               "An entry whose chain of parents is deeper than a path can be (%u folders,\n"
               "or a loop) is reported on stderr instead, and the exit code is then 1.\n"
               "On failure prints 'vellmark: FILE: MESSAGE (code N)' and exits with 2.\n",
               static_cast<unsigned>(ListingPathDepthLimit));
        return 0;
    }
    if (argc != 2) {
        fprintf(stderr, "vellmark: usage: vellmark list SETUP.exe\n");
        return 2;
    }
    PackageHandle* h = nullptr;
    if (OpenPackageForTool(argv[1], &h) != PackageOpened)
        return 2;
    int result = 0;
    std::string path;
    for (uint32_t i = 1; i < h->entryCount; ++i) {
        const PackageEntry& e = h->entries[i];
        if (BuildListingPath(h->entries, h->entryCount, i, &path) != ListingPathOk) {
            fflush(stdout);
            fprintf(stderr, "vellmark: %s: entry %u: its parents go deeper than %u folders (a loop?); not listed\n",
                    argv[1], i, static_cast<unsigned>(ListingPathDepthLimit));
            result = 1;
            continue;
        }
        printf("%c %u %u %s\n", (e.attributes & PackageAttributeDirectory) ? 'd' : 'f', e.size,
               e.compressedSize, path.c_str());
    }
    ClosePackage(h);
    return fflush(stdout) == 0 ? result : 2;
}
