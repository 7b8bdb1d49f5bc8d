// make-test-package: the packages the GUI tests need that `vellmark pack`
// will not write.
//
//   make-test-package bare SETUP.exe OUT.exe
//       SETUP.exe with a package that has no Install.ini (the setup must end
//       silently with exit code 1)
//   make-test-package big-script SETUP.exe OUT.exe
//       SETUP.exe with a sound script padded with blank lines to one byte more
//       than the setup program accepts (it must refuse it as a script error)
//   make-test-package flip PACKED.exe OUT.exe
//       a copy of a packed setup with one byte of the first file's data
//       flipped (the setup must report a damaged download)
//
// Like `vellmark pack`, each cuts what follows the image's last section (the
// symbols of an unstripped build): the package starts right after it.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "Package.h"
#include "PackageWriter.h"
#include "Script.h"

namespace {

bool ReadAll(const char* path, std::vector<uint8_t>* bytes)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

bool WriteAll(const char* path, const std::vector<uint8_t>& bytes)
{
    FILE* out = fopen(path, "wb");
    if (out == nullptr)
        return false;
    bool written = fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    return fclose(out) == 0 && written;
}

// Where the package starts: the end of the image's last section, the place
// the setup program looks first.  0 when the file is no PE image.
size_t ImageEnd(const std::vector<uint8_t>& image)
{
    uint64_t end = LocateImageEnd(image.data(), image.size());
    return end <= image.size() ? static_cast<size_t>(end) : 0;
}

int Fail(const std::string& reason)
{
    fprintf(stderr, "make-test-package: %s\n", reason.c_str());
    return 2;
}

// SETUP.exe's image with a package of the given top-level files.
int MakePackage(const char* setup, const char* output, const std::vector<std::pair<std::string, std::string>>& files)
{
    std::vector<uint8_t> image;
    if (!ReadAll(setup, &image))
        return Fail(std::string("cannot read ") + setup);
    size_t end = ImageEnd(image);
    if (end == 0)
        return Fail(std::string(setup) + " is no Windows program");
    image.resize(end);

    std::vector<PackItem> items(1);
    items[0].name = ".";
    items[0].parent = -1;
    items[0].directory = true;
    for (const auto& file : files) {
        PackItem item;
        item.name = file.first;
        item.parent = 0;
        item.content = file.second;
        items.push_back(item);
    }

    MemorySink sink;
    std::string error;
    if (!sink.Write(image.data(), image.size()) ||
        !WritePackageArchive(items, image.size(), sink, PackOptions(), &error))
        return Fail(error.empty() ? "cannot build the package" : error);
    return WriteAll(output, sink.bytes) ? 0 : Fail(std::string("cannot write ") + output);
}

int MakeBare(const char* setup, const char* output)
{
    return MakePackage(setup, output, {{"readme.txt", "A package without a setup script.\r\n"}});
}

// A script the engine accepts (it would show the wizard), made one byte too
// long by blank lines after it.
int MakeBigScript(const char* setup, const char* output)
{
    std::string script = "// Company=Vellmark Tests\r\n"
                         "// Product=Big Script\r\n"
                         "// Name=Big Script\r\n"
                         "// Version=1.0\r\n"
                         "init() { return 1; }\r\n";
    script.resize(ScriptTextLimit + 1, '\n');
    return MakePackage(setup, output, {{"Install.ini", script}});
}

int FlipByte(const char* packed, const char* output)
{
    std::vector<uint8_t> bytes;
    if (!ReadAll(packed, &bytes))
        return Fail(std::string("cannot read ") + packed);
    size_t end = ImageEnd(bytes);
    size_t target = end + PackageHeaderSize + 8;
    if (end == 0 || target >= bytes.size())
        return Fail(std::string(packed) + " carries no package");
    bytes[target] ^= 0x5A;
    return WriteAll(output, bytes) ? 0 : Fail(std::string("cannot write ") + output);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && strcmp(argv[1], "bare") == 0)
        return MakeBare(argv[2], argv[3]);
    if (argc == 4 && strcmp(argv[1], "big-script") == 0)
        return MakeBigScript(argv[2], argv[3]);
    if (argc == 4 && strcmp(argv[1], "flip") == 0)
        return FlipByte(argv[2], argv[3]);
    fprintf(stderr, "usage: make-test-package bare SETUP.exe OUT.exe\n"
                    "       make-test-package big-script SETUP.exe OUT.exe\n"
                    "       make-test-package flip PACKED.exe OUT.exe\n");
    return 64;
}
