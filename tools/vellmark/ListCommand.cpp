// vellmark list: the entries of a setup executable, read as the setup program reads them.
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>

#include "ToolOptions.h"
#include "Commands.h"
#include "JsonWriter.h"
#include "ListingPath.h"
#include "Package.h"
#include "PackageMessages.h"

namespace {

const char ListUsage[] = "usage: vellmark list [--json] SETUP.exe\n";

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
    "On failure prints 'vellmark list: FILE: MESSAGE (code N)' and exits with 2;\n"
    "a file that carries no package at all: 'FILE holds no Vellmark package'.\n"
    "\n"
    "  --json   print {\"setup\", \"entries\": [...]} instead; each entry is\n"
    "           {\"index\", \"kind\": \"file\"|\"folder\", \"name\", \"parent\", \"path\",\n"
    "           \"size\", \"compressedSize\"}, names converted from Windows-1252 to\n"
    "           UTF-8 unescaped, \"path\" null for an entry whose parents are not listed\n";

static_assert(ListingPathDepthLimit == 130, "the depth in the text above");

enum ListOption { ListJson, ListOptionCount };
const OptionSpec ListOptionTable[] = {
    {"json", 0, nullptr},
};
static_assert(std::size(ListOptionTable) == ListOptionCount, "one row per ListOption");

const CommandSpec List = {"list", ListOptionTable, ListOptionCount, ListUsage, ListDescription};

// The entry's path from the root, its names as they are (Windows-1252) and
// joined with backslashes; false when a parent is no entry before it or the
// chain goes deeper than a path can (BuildListingPath then reports it).
bool PlainEntryPath(const PackageHandle* h, uint32_t index, std::string* path)
{
    std::string built;
    uint32_t at = index;
    for (uint32_t depth = 0; at != 0; ++depth) {
        if (at >= h->entryCount || depth == ListingPathDepthLimit)
            return false;
        const PackageEntry& e = h->entries[at];
        std::string name(e.name, PackageNameLength(e));
        built = built.empty() && depth == 0 ? name : name + "\\" + built;
        if (e.parent < 0)
            return false;
        at = static_cast<uint32_t>(e.parent);
    }
    *path = built;
    return true;
}

void AddJsonEntry(JsonWriter* json, const PackageHandle* h, uint32_t i)
{
    const PackageEntry& e = h->entries[i];
    std::string path;
    json->BeginObject();
    json->Key("index").Number(i);
    json->Key("kind").Utf8((e.attributes & PackageAttributeDirectory) ? "folder" : "file");
    json->Key("name").Ansi(std::string(e.name, PackageNameLength(e)));
    json->Key("parent").Number(e.parent);
    if (PlainEntryPath(h, i, &path))
        json->Key("path").Ansi(path);
    else
        json->Key("path").Null();
    json->Key("size").Number(e.size);
    json->Key("compressedSize").Number(e.compressedSize);
    json->EndObject();
}

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
    bool json = line.Given(ListJson);
    JsonWriter document;
    if (json)
        document.BeginObject().Key("setup").Utf8(setup).Key("entries").BeginArray();
    for (uint32_t i = 1; i < h->entryCount; ++i) {
        const PackageEntry& e = h->entries[i];
        if (BuildListingPath(h->entries, h->entryCount, i, &path) != ListingPathOk) {
            CommandError(List.name, std::string(setup) + ": entry " + std::to_string(i) +
                                        ": its parents go deeper than " + std::to_string(ListingPathDepthLimit) +
                                        " folders (a loop?); not listed");
            result = 1;
            if (json)
                AddJsonEntry(&document, h, i);
            continue;
        }
        if (json) {
            AddJsonEntry(&document, h, i);
            continue;
        }
        printf("%c %u %u %s\n", (e.attributes & PackageAttributeDirectory) ? 'd' : 'f', e.size,
               e.compressedSize, path.c_str());
    }
    ClosePackage(h);
    if (json)
        fputs(document.EndArray().EndObject().Text().c_str(), stdout);
    return fflush(stdout) == 0 ? result : CommandFailed;
}
