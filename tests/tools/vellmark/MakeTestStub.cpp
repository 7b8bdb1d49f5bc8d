// Test inputs for the tool tests that `vellmark pack` will not make.
//
//   make_test_stub OUT             a small PE image, for packing
//   make_test_stub uninstaller OUT another one, of three sections, to carry as
//                                  the uninstaller (both sign like a linked program)
//   make_test_stub MACHINE OUT     the small image for another machine, to pack
//   make_test_stub uninstaller-MACHINE OUT  the uninstaller for it; MACHINE is
//                                  win64 (x86-64, PE32+), win64-pe32 (x86-64
//                                  with a 32-bit optional header) or arm64
//   make_test_stub hostile OUT     a setup whose names hold terminal escapes,
//                                  line feeds, backslashes, quotes and DEL
//   make_test_stub deep OUT        a chain of 140 nested folders (deeper than a
//                                  path can be), and two folders that are each
//                                  other's parent
//   make_test_stub named OUT NAME  a setup with Install.ini, Docs\ok.txt and a
//                                  file named NAME (any bytes: "..", "C:x",
//                                  "a/b") holding "bad", for extract -d to refuse;
//                                  a NAME ending in '/' is a folder holding
//                                  the file inner.txt
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "Package.h"
#include "TestImage.h"

using namespace testimage;

namespace {

// The 32-bit image `b` rebuilt for `machine`: its file header's Machine, and
// with `plus` the PE32+ optional header (240 bytes: an 8-byte ImageBase in
// place of BaseOfData and ImageBase, 8-byte stack and heap sizes), the
// section table moved along behind it.  The images have room for the 16
// bytes it grows by before their first section.
std::vector<uint8_t> ForMachine(const std::vector<uint8_t>& b, uint16_t machine, bool plus)
{
    const size_t pe = Get32(b, 0x3C), optional = pe + 24, oldSize = 224;
    std::vector<uint8_t> out(b);
    Put16(out, pe + 4, machine);
    if (!plus)
        return out;
    uint16_t sections = static_cast<uint16_t>(b[pe + 6] | (b[pe + 7] << 8));
    std::vector<uint8_t> header(240, 0);
    std::copy(b.begin() + optional, b.begin() + optional + 24, header.begin());
    header[0] = 0x0B;
    header[1] = 0x02;
    Put32(header, 24, 0x40000000);                                      // ImageBase, low half
    std::copy(b.begin() + optional + 32, b.begin() + optional + 72, header.begin() + 32);
    std::copy(b.begin() + optional + 88, b.begin() + optional + 224, header.begin() + 104);
    Put16(out, pe + 20, 240);
    Put16(out, pe + 22, 0x0022);                                        // executable, large addresses
    std::copy(header.begin(), header.end(), out.begin() + optional);
    size_t table = optional + oldSize;
    std::copy(b.begin() + table, b.begin() + table + 40 * sections, out.begin() + optional + 240);
    return out;
}

// A MACHINE argument as the machine and the optional header's form; false
// when it is none of them.
bool ReadMachine(const std::string& name, uint16_t* machine, bool* plus)
{
    if (name == "win64")
        return *machine = 0x8664, *plus = true, true;
    if (name == "win64-pe32")
        return *machine = 0x8664, *plus = false, true;
    if (name == "arm64")
        return *machine = 0xAA64, *plus = true, true;
    return false;
}

}  // namespace

int main(int argc, char** argv)
{
    // An output path never starts with '-': "--help" or a mistyped mode must not
    // leave a stub file of that name in the working folder.
    for (int index = 1; index < argc && index < 3; ++index)
        if (argv[index][0] == '-') {
            std::fprintf(stderr, "usage: make-test-stub [MODE] OUTPUT [NAME]\n");
            return 2;
        }
    if (argc == 2)
        return WriteBytes(argv[1], MakeStub()) ? 0 : 1;
    std::string mode = argc > 1 ? argv[1] : "";
    uint16_t machine = 0;
    bool plus = false;
    if (argc == 3 && ReadMachine(mode, &machine, &plus))
        return WriteBytes(argv[2], ForMachine(MakeStub(), machine, plus)) ? 0 : 1;
    if (argc == 3 && mode.rfind("uninstaller-", 0) == 0 && ReadMachine(mode.substr(12), &machine, &plus))
        return WriteBytes(argv[2], ForMachine(MakePeImage({{".text", 0x200, 0x400}, {".data", 0x600, 0x200},
                                                            {".rsrc", 0x800, 0x200}}),
                                              machine, plus))
                   ? 0
                   : 1;
    if (argc != 3 && !(argc == 4 && mode == "named"))
        return 2;
    if (mode == "uninstaller")
        return WriteBytes(argv[2], MakePeImage({{".text", 0x200, 0x400}, {".data", 0x600, 0x200}, {".rsrc", 0x800, 0x200}}))
                   ? 0
                   : 1;
    std::vector<PackItem> items = {Root(), File("Install.ini", 0, "init() { return 1; }\r\n")};
    std::vector<uint8_t> file;
    if (mode == "named") {
        items.push_back(Folder("Docs", 0));
        items.push_back(File("ok.txt", 2, "ok"));
        std::string name = argv[3];
        if (name.size() > 1 && name.back() == '/') {
            name.pop_back();
            items.push_back(Folder(name, 0));
            items.push_back(File("inner.txt", static_cast<int32_t>(items.size() - 1), "bad"));
        } else {
            items.push_back(File(name, 0, "bad"));
        }
        file = MakePackage(items);
    } else if (mode == "hostile") {
        items.push_back(Folder("esc\x1b[2Jclear", 0));
        items.push_back(File("line\nf 1 1 forged.txt", 2, "x"));
        items.push_back(File("back\\slash", 0, "x"));
        items.push_back(File("quote\"del\x7f", 0, "x"));
        items.push_back(File("bell\x07tab\tcr\r", 0, "x"));
        items.push_back(File("caf\xe9.txt", 0, "x"));
        file = MakePackage(items);
    } else if (mode == "deep") {
        int32_t parent = 0;
        for (int depth = 0; depth < 140; ++depth) {
            items.push_back(Folder("d", parent));
            parent = static_cast<int32_t>(items.size() - 1);
        }
        items.push_back(Folder("loop1", 0));
        items.push_back(Folder("loop2", 0));
        size_t loop = items.size() - 2;
        file = MakePackage(items);
        // Parents the writer refuses: the two folders name each other.
        if (file.empty() || !RewriteDirectory(file, MakeStub().size(), [loop](std::vector<PackageEntry>& entries) {
                entries.at(loop).parent = static_cast<int32_t>(loop + 1);
                entries.at(loop + 1).parent = static_cast<int32_t>(loop);
            }))
            return 1;
    } else {
        return 2;
    }
    return !file.empty() && WriteBytes(argv[2], file) ? 0 : 1;
}
