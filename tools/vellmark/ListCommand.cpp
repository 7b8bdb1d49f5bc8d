// vellmark list / vellmark extract: read a setup executable as the setup program does.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "Commands.h"
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

// The backslash path of entry `index`, built from its parents.  A damaged
// directory whose parents loop or point outside it gets "?" for the rest.
std::string EntryPath(const PackageHandle* h, uint32_t index)
{
    std::vector<uint32_t> chain;
    uint32_t at = index;
    while (at != 0) {
        if (chain.size() > h->entryCount) {
            chain.push_back(UINT32_MAX);
            break;
        }
        chain.push_back(at);
        int32_t parent = h->entries[at].parent;
        if (parent < 0 || static_cast<uint32_t>(parent) >= h->entryCount) {
            chain.push_back(UINT32_MAX);
            break;
        }
        at = static_cast<uint32_t>(parent);
    }
    std::string path;
    for (size_t k = chain.size(); k-- > 0;) {
        if (!path.empty())
            path += '\\';
        if (chain[k] == UINT32_MAX) {
            path += '?';
            continue;
        }
        const PackageEntry& e = h->entries[chain[k]];
        path += std::string(e.name, strnlen(e.name, PackageNameSize));
    }
    return path;
}

}  // namespace

int RunListCommand(int argc, char** argv)
{
    if (WantsHelp(argc, argv)) {
        printf("usage: vellmark list SETUP.exe\n\n"
               "Opens SETUP.exe exactly as the setup program does (verifying every checksum)\n"
               "and prints one line per package entry, the root left out:\n"
               "  d|f SIZE COMPRESSED-SIZE PATH\n"
               "d marks a folder, f a file; PATH uses backslashes.\n"
               "On failure prints 'vellmark: FILE: MESSAGE (code N)' and exits with 2.\n");
        return 0;
    }
    if (argc != 2) {
        fprintf(stderr, "vellmark: usage: vellmark list SETUP.exe\n");
        return 2;
    }
    PackageHandle* h = nullptr;
    if (Open(argv[1], &h) != PackageOpened)
        return 2;
    for (uint32_t i = 1; i < h->entryCount; ++i) {
        const PackageEntry& e = h->entries[i];
        printf("%c %u %u %s\n", (e.attributes & PackageAttributeDirectory) ? 'd' : 'f', e.size,
               e.compressedSize, AnsiForTerminal(EntryPath(h, i)).c_str());
    }
    ClosePackage(h);
    return fflush(stdout) == 0 ? 0 : 2;
}

int RunExtractCommand(int argc, char** argv)
{
    if (WantsHelp(argc, argv)) {
        printf("usage: vellmark extract SETUP.exe PATH [-o FILE]\n\n"
               "Writes the package entry PATH (backslashes or slashes between folders, any\n"
               "letter case) of SETUP.exe to standard output, or to FILE with -o.\n"
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
        FILE* out = fopen(output, "wb");
        bool written = out && fwrite(data, 1, size, out) == size;
        if (out && fclose(out) != 0)
            written = false;
        if (!written) {
            fprintf(stderr, "vellmark: %s: %s\n", output, strerror(errno));
            remove(output);
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
