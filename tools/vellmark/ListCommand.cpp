// vellmark list / vellmark extract: read a setup executable as the setup program does.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "Commands.h"
#include "ListingPath.h"
#include "OutputFile.h"
#include "Package.h"
#include "ToolText.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

// The message the setup program shows for an open code; code 2 gets the
// system's own reason.
std::string OpenFailureText(const char* path, int code)
{
    switch (code) {
    case PackageNoMemory:
        return "Not enough memory.";
    case PackageOutOfBounds:
    case PackageBadChecksum:
        return "File corrupted, possible download error.";
    case PackageCannotOpen: {
        FILE* probe = fopen(path, "rb");
        if (!probe)
            return strerror(errno);
        fclose(probe);
        return "cannot be opened as a file";
    }
    default:
        return "Internal Error 1";
    }
}

std::string ExtractFailureText(int code, const std::string& entry)
{
    switch (code) {
    case ExtractNotFound:
        return "no entry \"" + entry + "\" in the package";
    case ExtractNoMemory:
        return "not enough memory to extract \"" + entry + "\"";
    case ExtractBadStream:
        return "the data of \"" + entry + "\" does not decompress to its recorded size";
    case ExtractBadChecksum:
        return "the content of \"" + entry + "\" does not match its checksum";
    default:
        return "\"" + entry + "\" cannot be extracted";
    }
}

bool WantsHelp(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i)
        if (!strcmp(argv[i], "--help") || !strcmp(argv[i], "-h"))
            return true;
    return false;
}

int Open(const char* path, PackageHandle** handle)
{
    int code = OpenPackage(path, handle);
    if (code != PackageOpened)
        fprintf(stderr, "vellmark: %s: %s (code %d)\n", path, OpenFailureText(path, code).c_str(), code);
    return code;
}

}  // namespace

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
    if (Open(argv[1], &h) != PackageOpened)
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

int RunExtractCommand(int argc, char** argv)
{
    if (WantsHelp(argc, argv)) {
        printf("usage: vellmark extract SETUP.exe PATH [-o FILE]\n\n"
               "Writes the package entry PATH (backslashes or slashes between folders, any\n"
               "letter case) of SETUP.exe to standard output, or to FILE with -o.  FILE is\n"
               "written under a temporary name beside it and replaced only when the whole\n"
               "entry was written; a folder, a device or a file you may not write is refused.\n"
               "On failure prints 'vellmark: FILE: MESSAGE (code N)' and exits with 2.\n");
        return 0;
    }
    const char* setup = nullptr;
    const char* entryPath = nullptr;
    const char* output = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (!strcmp(argv[i], "-o") || !strcmp(argv[i], "--output")) {
            if (++i >= argc) {
                fprintf(stderr, "vellmark: -o needs a file name\n");
                return 2;
            }
            output = argv[i];
        } else if (!setup) {
            setup = argv[i];
        } else if (!entryPath) {
            entryPath = argv[i];
        } else {
            fprintf(stderr, "vellmark: usage: vellmark extract SETUP.exe PATH [-o FILE]\n");
            return 2;
        }
    }
    if (!setup || !entryPath) {
        fprintf(stderr, "vellmark: usage: vellmark extract SETUP.exe PATH [-o FILE]\n");
        return 2;
    }
    std::string ansiPath;
    if (!AnsiFromTerminal(entryPath, &ansiPath)) {
        fprintf(stderr, "vellmark: %s: the path cannot be written in the Windows-1252 code page\n", entryPath);
        return 2;
    }
    for (char& c : ansiPath)
        if (c == '/')
            c = '\\';

    // The output is prepared first: a destination that cannot be written is
    // refused before anything else, and is never touched by a failure.
    OutputFile out;
    std::string error;
    if (output && !out.Open(output, &error)) {
        fprintf(stderr, "vellmark: %s\n", error.c_str());
        return 2;
    }

    PackageHandle* h = nullptr;
    if (Open(setup, &h) != PackageOpened)
        return 2;
    uint8_t* data = nullptr;
    uint32_t size = 0;
    int code = ExtractPackageEntry(h, ansiPath.c_str(), &data, &size);
    ClosePackage(h);
    if (code != ExtractOk) {
        fprintf(stderr, "vellmark: %s: %s (code %d)\n", setup, ExtractFailureText(code, entryPath).c_str(), code);
        return 2;
    }
    int result = 0;
    if (output) {
        bool written = fwrite(data, 1, size, out.Stream()) == size;
        if (!written)
            error = std::string(output) + ": cannot be written (" + strerror(errno) + ")";
        if (!written || !out.Commit(&error)) {
            out.Abandon();
            fprintf(stderr, "vellmark: %s\n", error.c_str());
            result = 2;
        }
    } else {
#ifdef _WIN32
        _setmode(_fileno(stdout), _O_BINARY);
#endif
        if (fwrite(data, 1, size, stdout) != size || fflush(stdout) != 0)
            result = 2;
    }
    FreePackageBlock(data);
    return result;
}
