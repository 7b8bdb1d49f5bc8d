// The package reader against archives built here, sound and damaged.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>
#include <zlib.h>

#include "AnsiText.h"
#include "CollidingNames.h"
#include "Package.h"
#include "PackageWriter.h"
#include "TestImage.h"

using namespace testimage;
namespace fs = std::filesystem;

namespace {

std::string TempPath(const std::string& name)
{
    // A folder of this run's own: the suite runs twice at once in ctest -j
    // (package_tests and package_tests_windowed).
    // It goes when the program ends.
    struct RunFolder {
        fs::path path;
        ~RunFolder()
        {
            std::error_code ec;
            fs::remove_all(path, ec);
        }
    };
    static const RunFolder run = {
        fs::temp_directory_path() /
        ("vellmark-package-tests-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()))};
    fs::create_directories(run.path);
    return (run.path / name).string();
}

// Opens `bytes` written to a file; returns the code and leaves the handle open in *h.
int OpenBytes(const std::vector<uint8_t>& bytes, PackageHandle** h, const std::string& name = "p.exe")
{
    std::string path = TempPath(name);
    EXPECT_TRUE(WriteBytes(path, bytes));
    return OpenPackage(path.c_str(), h);
}

std::vector<uint8_t> Zlib(const std::string& content)
{
    uLongf bound = compressBound(static_cast<uLong>(content.size()));
    std::vector<uint8_t> out(bound);
    compress2(out.data(), &bound, reinterpret_cast<const Bytef*>(content.data()), static_cast<uLong>(content.size()), 6);
    out.resize(bound);
    return out;
}

PackageEntry Record(const std::string& name, int32_t parent, uint32_t attributes)
{
    PackageEntry e;
    memset(&e, 0, sizeof e);
    memcpy(e.name, name.data(), name.size());
    e.parent = parent;
    e.attributes = attributes;
    return e;
}

// An archive from hand-made records, for directories the writer would refuse.
// Each file record gets the stream of `contents[i]` (when not empty).
std::vector<uint8_t> RawArchive(std::vector<PackageEntry> dir, const std::vector<std::string>& contents,
                                uint32_t countField = UINT32_MAX)
{
    std::vector<uint8_t> data;
    for (size_t i = 0; i < dir.size(); ++i) {
        if (i >= contents.size() || (dir[i].attributes & PackageAttributeDirectory) || i == 0)
            continue;
        std::vector<uint8_t> stream = Zlib(contents[i]);
        dir[i].size = static_cast<uint32_t>(contents[i].size());
        dir[i].compressedSize = static_cast<uint32_t>(stream.size());
        dir[i].offset = static_cast<uint32_t>(data.size());
        dir[i].checksum = adler32(1, reinterpret_cast<const Bytef*>(contents[i].data()), static_cast<uInt>(contents[i].size()));
        data.insert(data.end(), stream.begin(), stream.end());
    }
    std::string raw(reinterpret_cast<const char*>(dir.data()), dir.size() * sizeof(PackageEntry));
    std::vector<uint8_t> packedDir = Zlib(raw);
    std::vector<uint8_t> file = MakeStub();
    size_t h = file.size();
    file.resize(h + 28);
    Put32(file, h, PackageMagic);
    Put32(file, h + 4, static_cast<uint32_t>(data.size()));
    Put32(file, h + 8, static_cast<uint32_t>(packedDir.size()));
    Put32(file, h + 16, countField == UINT32_MAX ? static_cast<uint32_t>(dir.size()) : countField);
    Put32(file, h + 20, adler32(1, data.data(), static_cast<uInt>(data.size())));
    Put32(file, h + 24, adler32(1, packedDir.data(), static_cast<uInt>(packedDir.size())));
    file.insert(file.end(), data.begin(), data.end());
    file.insert(file.end(), packedDir.begin(), packedDir.end());
    while (file.size() % 4)
        file.push_back(0);
    return file;
}

// Recomputes both header checksums after a test changed the archive on purpose.
void Reseal(std::vector<uint8_t>& file, size_t headerAt)
{
    uint32_t dataSize = Get32(file, headerAt + 4), dirSize = Get32(file, headerAt + 8);
    const uint8_t* data = &file[headerAt + 28];
    Put32(file, headerAt + 20, adler32(1, data, dataSize));
    Put32(file, headerAt + 24, adler32(1, data + dataSize, dirSize));
}

// The sample product used by most tests:
//   0 .   1 Install.ini   2 License.txt   3 Docs\   4 Empty.txt   5 Docs\readme.txt   6 Docs\Sub\   7 Docs\Sub\deep.bin
std::vector<PackItem> SampleItems()
{
    std::string deep(70000, '\0');
    for (size_t i = 0; i < deep.size(); ++i)
        deep[i] = static_cast<char>((i * 7919) >> 3);
    return {Root(),
            File("Install.ini", 0, "// Company=Acme\r\ninit() { return 1; }\r\n"),
            File("License.txt", 0, "Licence text"),
            Folder("Docs", 0),
            File("Empty.txt", 0, ""),
            File("readme.txt", 3, "Read me"),
            Folder("Sub", 3),
            File("deep.bin", 6, deep)};
}

// The look-up as the format defines it, by walking the directory: the
// reader's index must give the same entry for every path.
int ReferenceFind(const std::vector<PackageEntry>& dir, const std::string& path)
{
    if (path.empty())
        return 0;
    int32_t parent = 0;
    size_t start = 0, at = 0;
    for (;;) {
        size_t end = path.find('\\', at);
        std::string component = path.substr(at, end == std::string::npos ? std::string::npos : end - at);
        size_t next = end == std::string::npos ? path.size() : end + 1;
        if (component == ".")
            parent = -1;
        if (component.empty() || component.size() >= PackageNameSize)
            return -1;
        int match = -1;
        for (size_t i = start; i < dir.size() && match < 0; ++i)
            if (dir[i].parent == parent && AnsiCompareNoCase(dir[i].name, component.c_str()) == 0)
                match = static_cast<int>(i);
        if (match < 0 || next >= path.size())
            return match;
        if (!(dir[match].attributes & PackageAttributeDirectory))
            return -1;
        parent = match;
        start = static_cast<size_t>(match);
        at = next;
    }
}

struct OpenPackageFixture : ::testing::Test {
    PackageHandle* h = nullptr;
    void TearDown() override
    {
        PackageAllocationsBeforeFailure = -1;
        PackageWindowBytes = 0;
        ClosePackage(h);
    }
};

// A sink that collects what it is given, in buffers of `capacity` bytes;
// it stops after `stopAfter` buffers when that is not 0.
struct CollectingSink : PackageEntrySink {
    explicit CollectingSink(uint32_t capacity, uint32_t stopAfter = 0) : buffer(capacity), stopAfter(stopAfter) {}
    uint8_t* NextBuffer(uint32_t* capacity) override
    {
        EXPECT_FALSE(lent) << "a buffer was asked for before the last one came back";
        lent = true;
        *capacity = static_cast<uint32_t>(buffer.size());
        return buffer.data();
    }
    bool Consume(uint8_t* bytes, uint32_t length) override
    {
        EXPECT_TRUE(lent);
        EXPECT_EQ(bytes, buffer.data());
        EXPECT_GE(length, 1u);
        EXPECT_LE(length, buffer.size());
        lent = false;
        content.append(reinterpret_cast<char*>(bytes), length);
        ++chunks;
        return stopAfter == 0 || chunks < stopAfter;
    }
    std::vector<uint8_t> buffer;
    uint32_t stopAfter;
    bool lent = false;
    uint32_t chunks = 0;
    std::string content;
};

// A product whose streams and directory are larger than the windows the
// windowed tests force: 400 files with long names in three folders (a
// compressed directory of some kilobytes), an incompressible file, a long
// text, an empty file.  Paths and contents, in directory order.
std::vector<PackItem> WideItems()
{
    std::vector<PackItem> items = {Root(), Folder("Alpha", 0), Folder("Beta", 0), Folder("Gamma", 2)};
    uint32_t seed = 12345;
    for (int i = 0; i < 400; ++i) {
        char name[80];
        snprintf(name, sizeof name, "a rather long file name number %03d with words.txt", i * 37 % 1000);
        std::string content = "file " + std::to_string(i) + "\r\n";
        for (int k = 0; k < i % 13; ++k)
            content += "line " + std::to_string(seed % 1000) + " of the file\r\n", seed = seed * 1103515245u + 12345u;
        items.push_back(File(name, 1 + i % 3, content));
    }
    std::string random(150000, '\0');
    for (char& c : random)
        c = static_cast<char>((seed = seed * 1103515245u + 12345u) >> 23);
    items.push_back(File("random.bin", 3, random));
    std::string text;
    while (text.size() < 200000)
        text += "The quick brown fox jumps over the lazy dog " + std::to_string(text.size() % 977) + "\n";
    items.push_back(File("text.txt", 2, text));
    items.push_back(File("empty.dat", 1, ""));
    return items;
}

// The path of every item of a product built by hand (parents stand before children).
std::vector<std::string> ItemPaths(const std::vector<PackItem>& items)
{
    std::vector<std::string> paths(items.size());
    for (size_t i = 1; i < items.size(); ++i)
        paths[i] = items[i].parent == 0 ? items[i].name : paths[static_cast<size_t>(items[i].parent)] + "\\" + items[i].name;
    return paths;
}

}  // namespace

TEST(PackageImage, LocatesTheEndOfTheLastSectionHeader)
{
    struct Case {
        const char* what;
        std::vector<uint8_t> image;
        uint64_t end;
    };
    std::vector<uint8_t> good = MakeStub();
    std::vector<uint8_t> noMz = good;
    noMz[0] = 'X';
    std::vector<uint8_t> lowLfarlc = good;
    Put16(lowLfarlc, 0x18, 0x3F);
    std::vector<uint8_t> farPe = good;
    Put32(farPe, 0x3C, static_cast<uint32_t>(good.size()) - 100);
    std::vector<uint8_t> badSignature = good;
    badSignature[0x81] = 'X';
    std::vector<uint8_t> shortFile(good.begin(), good.begin() + 63);
    // The last table entry decides, not the section that reaches furthest.
    std::vector<uint8_t> lastNotLargest = MakePeImage({{".text", 0x800, 0x400}, {".rsrc", 0x400, 0x100}});
    std::vector<Case> cases = {
        {"two sections", good, 0x600},
        {"last entry, not the largest", lastNotLargest, 0x500},
        {"no MZ", noMz, 0},
        {"e_lfarlc below 0x40", lowLfarlc, 0},
        {"PE header beyond the file", farPe, 0},
        {"no PE signature", badSignature, 0},
        {"fewer than 64 bytes", shortFile, 0},
        {"no sections", MakePeImage({}), 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(LocateImageEnd(c.image.data(), c.image.size()), c.end) << c.what;
}

TEST_F(OpenPackageFixture, RoundTripsEveryEntry)
{
    std::vector<PackItem> items = SampleItems();
    std::vector<uint8_t> file = MakePackage(items);
    ASSERT_FALSE(file.empty());
    EXPECT_EQ(file.size() % 4, 0u);
    ASSERT_EQ(OpenBytes(file, &h), PackageOpened);
    EXPECT_EQ(h->entryCount, items.size());
    const char* paths[] = {nullptr, "Install.ini", "License.txt", nullptr, "Empty.txt", "Docs\\readme.txt",
                           nullptr, "Docs\\Sub\\deep.bin"};
    for (size_t i = 0; i < items.size(); ++i) {
        if (!paths[i])
            continue;
        uint8_t* data = nullptr;
        uint32_t size = 12345;
        ASSERT_EQ(ExtractPackageEntry(h, paths[i], &data, &size), ExtractOk) << paths[i];
        ASSERT_EQ(size, items[i].content.size()) << paths[i];
        EXPECT_EQ(std::string(reinterpret_cast<char*>(data), size), items[i].content) << paths[i];
        EXPECT_EQ(data[size], 0) << "a text entry ends with a NUL";
        FreePackageBlock(data);
        EXPECT_EQ(PackageEntrySize(h, paths[i]), items[i].content.size());
    }
}

// A signed setup: the signer pads the file to 8 bytes and appends its
// certificate table, naming it in the image's security directory entry.  The
// reader finds the package from the image end, so what follows the package
// does not disturb it; a byte of the package changed after signing still is
// damage.
TEST_F(OpenPackageFixture, OpensAPackageThatACertificateTableFollows)
{
    std::vector<PackItem> items = SampleItems();
    std::vector<uint8_t> file = MakePackage(items);
    ASSERT_FALSE(file.empty());
    const size_t directoryEnd = 0x600 + 28 + Get32(file, 0x600 + 4) + Get32(file, 0x600 + 8);
    file.resize((file.size() + 7) & ~size_t(7), 0);
    const size_t tableAt = file.size();
    file.resize(tableAt + 0x500, 0xC3);    // WIN_CERTIFICATE: length, revision 2.0, PKCS#7 signed data
    Put32(file, tableAt, 0x500);
    Put16(file, tableAt + 4, 0x0200);
    Put16(file, tableAt + 6, 0x0002);
    Put32(file, 0x80 + 24 + 96 + 32, static_cast<uint32_t>(tableAt));
    Put32(file, 0x80 + 24 + 96 + 36, 0x500);

    ASSERT_EQ(OpenBytes(file, &h, "signed.exe"), PackageOpened);
    EXPECT_EQ(h->entryCount, items.size());
    PackageBlock block;
    ASSERT_EQ(ExtractPackageEntry(h, "Docs\\Sub\\deep.bin", &block.data, &block.size), ExtractOk);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(block.data), block.size), items[7].content);
    ClosePackage(h);
    h = nullptr;

    // One byte of the data region, or of the directory, changed after signing.
    for (size_t at : {size_t(0x600 + 28 + 5), directoryEnd - 1}) {
        std::vector<uint8_t> changed = file;
        changed[at] ^= 0x01;
        EXPECT_EQ(OpenBytes(changed, &h, "changed.exe"), PackageBadChecksum) << "byte " << at;
        ClosePackage(h);
        h = nullptr;
    }
}

TEST_F(OpenPackageFixture, FindsPathsExactlyAsTheSetupDoes)
{
    ASSERT_EQ(OpenBytes(MakePackage(SampleItems()), &h), PackageOpened);
    struct Case {
        std::string path;
        int index;   // -1: none
    };
    const std::vector<Case> cases = {
        {"", 0},
        {".", 0},
        {"Install.ini", 1},
        {"INSTALL.INI", 1},
        {"install.ini", 1},
        {"Docs", 3},
        {"Docs\\", 3},
        {"docs\\README.TXT", 5},
        {"Docs\\Sub\\deep.bin", 7},
        {"readme.txt", -1},              // only inside Docs
        {"\\Install.ini", -1},           // leading backslash: an empty component
        {"Docs\\\\readme.txt", -1},      // two backslashes in a row
        {".\\Install.ini", -1},          // the root carries no directory attribute
        {"License.txt\\x", -1},          // a file has no children
        {"Docs\\readme.txt\\", 5},        // one trailing backslash is skipped
        {"Docs\\Sub\\..\\readme.txt", -1},
        {"Missing", -1},
        {std::string(260, 'a'), -1},     // longer than a name field
        {"Docs\\.", -1},                 // "." inside a folder looks for the root from that folder on
    };
    for (const Case& c : cases) {
        const PackageEntry* e = FindPackageEntry(h, c.path.c_str());
        if (c.index < 0)
            EXPECT_EQ(e, nullptr) << c.path;
        else
            EXPECT_EQ(e, &h->entries[c.index]) << c.path;
    }
    EXPECT_EQ(PackageEntrySize(h, "Missing"), PackageEntryNotFound);
    EXPECT_EQ(PackageEntrySize(h, "Docs"), 0u);
    EXPECT_EQ(PackageEntrySize(h, "Docs\\Sub\\deep.bin"), 70000u);
}

TEST_F(OpenPackageFixture, KeepsFirstMatchOrderAndSearchStart)
{
    // 0 .  1 dir  2 "A.TXT" in dir (parent 1)  3 "a.txt" in dir  4 "x" in dir placed
    // before... (index 4 > 1 is fine); 5 top-level "late" whose record names parent 6,
    // a folder that stands after it, so the search from folder 6 never sees it.
    std::vector<PackageEntry> dir = {Record(".", -1, 0),
                                     Record("dir", 0, PackageAttributeDirectory),
                                     Record("A.TXT", 1, PackageAttributeFile),
                                     Record("a.txt", 1, PackageAttributeFile),
                                     Record("early", 6, PackageAttributeFile),
                                     Record("ok", 6, PackageAttributeFile),
                                     Record("late", 0, PackageAttributeDirectory)};
    ASSERT_EQ(OpenBytes(RawArchive(dir, {"", "", "first", "second", "e", "o", ""}), &h), PackageOpened);
    EXPECT_EQ(FindPackageEntry(h, "dir\\a.txt"), &h->entries[2]);
    EXPECT_EQ(FindPackageEntry(h, "late\\early"), nullptr);
    EXPECT_EQ(FindPackageEntry(h, "late\\ok"), nullptr);   // also before its parent
    uint8_t* data = nullptr;
    uint32_t size = 0;
    ASSERT_EQ(ExtractPackageEntry(h, "DIR\\a.TXT", &data, &size), ExtractOk);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(data), size), "first");
    FreePackageBlock(data);
}

TEST_F(OpenPackageFixture, LookupInALargeDirectory)
{
    std::vector<PackItem> items = {Root()};
    for (int d = 0; d < 100; ++d) {
        items.push_back(Folder("dir" + std::to_string(d), 0));
        int32_t parent = static_cast<int32_t>(items.size() - 1);
        for (int f = 0; f < 1000; ++f)
            items.push_back(File("file" + std::to_string(f) + ".txt", parent, ""));
    }
    ASSERT_EQ(OpenBytes(MakePackage(items, MakeStub(), 1), &h, "large.exe"), PackageOpened);
    EXPECT_EQ(h->entryCount, 100101u);
    EXPECT_NE(h->hashSlots, nullptr) << "ordinary names keep the hash";
    const PackageEntry* e = FindPackageEntry(h, "DIR57\\FILE999.TXT");
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e - h->entries, 1 + 57 * 1001 + 1000);
    EXPECT_EQ(FindPackageEntry(h, "dir57\\file1000.txt"), nullptr);
    EXPECT_EQ(FindPackageEntry(h, "file3.txt"), nullptr);
}

TEST_F(OpenPackageFixture, CollidingNamesGiveTheSameLookups)
{
    // Names chosen to share one hash slot, top level and in a folder, among
    // the first-match and search-start cases: duplicates in any case, entries
    // that stand before their parent.  A crafted package must not make the
    // index quadratic: it gives up the hash for the sorted array, and every
    // look-up still finds what walking the directory finds.
    std::vector<PackageEntry> base = {Record(".", -1, 0),
                                      Record("dir", 0, PackageAttributeDirectory),
                                      Record("A.TXT", 1, PackageAttributeFile),
                                      Record("a.txt", 1, PackageAttributeFile),
                                      Record("early", 6, PackageAttributeFile),
                                      Record("ok", 6, PackageAttributeFile),
                                      Record("late", 0, PackageAttributeDirectory),
                                      Record("Sub", 1, PackageAttributeDirectory),
                                      Record("deep.bin", 7, PackageAttributeFile)};
    std::vector<std::string> top = MakeCollidingNames(1600, 0, 20);
    std::vector<std::string> inDir = MakeCollidingNames(400, 1, 20);
    std::vector<PackageEntry> colliding = base;
    for (size_t i = 0; i < 1500; ++i)
        colliding.push_back(Record(top[i], 0, i % 7 ? PackageAttributeFile : PackageAttributeDirectory));
    for (size_t i = 0; i < 300; ++i)
        colliding.push_back(Record(inDir[i], 1, PackageAttributeFile));
    colliding.push_back(Record(top[10], 0, PackageAttributeFile));            // a later duplicate
    colliding.push_back(Record("N" + top[14].substr(1), 0, PackageAttributeFile));   // the same in capitals
    colliding.push_back(Record(inDir[3], 1, PackageAttributeFile));
    colliding.push_back(Record("child", 7 + 9, PackageAttributeFile));        // inside top[7], a folder

    std::vector<std::string> paths = {"", ".", "dir", "dir\\a.txt", "DIR\\A.txt", "late\\early", "late\\ok",
                                      "dir\\sub\\DEEP.BIN", "dir\\Sub\\", "missing", "dir\\missing"};
    for (size_t i = 0; i < top.size(); i += 7) {
        paths.push_back(top[i]);                                  // present, or one of the 100 absent
        paths.push_back(top[i] + "\\child");
        paths.push_back("dir\\" + top[i]);
    }
    for (size_t i = 0; i < inDir.size(); i += 3) {
        paths.push_back("dir\\" + inDir[i]);
        paths.push_back(inDir[i]);
    }
    paths.push_back("N" + top[14].substr(1));
    paths.push_back(top[7] + "\\child");

    struct Case {
        const char* what;
        std::vector<PackageEntry> dir;
        bool hashed;
    };
    const Case cases[] = {{"ordinary names", base, true}, {"colliding names", colliding, false}};
    for (const Case& c : cases) {
        ClosePackage(h);
        h = nullptr;
        ASSERT_EQ(OpenBytes(RawArchive(c.dir, {}), &h), PackageOpened) << c.what;
        EXPECT_EQ(h->hashSlots != nullptr, c.hashed) << c.what;
        for (const std::string& path : paths) {
            int expected = ReferenceFind(c.dir, path);
            const PackageEntry* e = FindPackageEntry(h, path.c_str());
            EXPECT_EQ(e ? static_cast<int>(e - h->entries) : -1, expected) << c.what << ": " << path;
        }
    }
}

TEST_F(OpenPackageFixture, OpenCodes)
{
    std::vector<uint8_t> good = MakePackage(SampleItems());
    const size_t headerAt = MakeStub().size();
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        int code;
    };
    std::vector<Case> cases;
    cases.push_back({"sound package", good, PackageOpened});
    cases.push_back({"stub without an archive", MakeStub(), PackageNoHeader});
    cases.push_back({"empty file", {}, PackageCannotMap});
    {
        // Wrong image end, header on a 4-byte boundary: found by the scan.
        std::vector<uint8_t> b = MakeStub();
        b.insert(b.end(), 8, 0);
        std::vector<uint8_t> archive(good.begin() + headerAt, good.end());
        b.insert(b.end(), archive.begin(), archive.end());
        cases.push_back({"header after the image end, aligned", b, PackageOpened});
        // Unaligned: not found.
        std::vector<uint8_t> u = MakeStub();
        u.insert(u.end(), 2, 0);
        u.insert(u.end(), archive.begin(), archive.end());
        cases.push_back({"header after the image end, unaligned", u, PackageNoHeader});
        // The magic value also stands at an aligned place before the real header.
        std::vector<uint8_t> decoy = b;
        Put32(decoy, 0x100, PackageMagic);
        Put32(decoy, 0x104, 0xFFFFFF00u);
        cases.push_back({"aligned magic inside the image", decoy, PackageOutOfBounds});
        std::vector<uint8_t> decoy2 = b;
        Put32(decoy2, 0x100, PackageMagic);
        cases.push_back({"aligned magic inside the image, small sizes", decoy2, PackageBadChecksum});
    }
    {
        std::vector<uint8_t> b = good;
        Put32(b, headerAt + 4, static_cast<uint32_t>(good.size()));
        cases.push_back({"data region beyond the file", b, PackageOutOfBounds});
        b = good;
        Put32(b, headerAt + 8, 0xFFFFFFF0u);
        cases.push_back({"directory beyond the file", b, PackageOutOfBounds});
        b = MakeStub();
        b.resize(b.size() + 8);
        Put32(b, 0x600, PackageMagic);
        cases.push_back({"header cut short by the end of the file", b, PackageOutOfBounds});
    }
    {
        // One flipped byte anywhere in the data region, also in an entry never extracted.
        std::vector<uint8_t> b = good;
        b[headerAt + 28 + 3] ^= 0x40;
        cases.push_back({"flipped data byte", b, PackageBadChecksum});
        b = good;
        b[headerAt + 28 + Get32(good, headerAt + 4) + 5] ^= 0x01;
        cases.push_back({"flipped directory byte", b, PackageBadChecksum});
    }
    {
        // Checksums that agree with a directory that is no zlib stream.
        std::vector<uint8_t> b = good;
        size_t dirAt = headerAt + 28 + Get32(good, headerAt + 4);
        b[dirAt] = 0xFF;
        b[dirAt + 1] = 0xFF;
        Reseal(b, headerAt);
        cases.push_back({"directory is no zlib stream", b, PackageBadDirectory});
        // Fewer records announced than the stream holds: the stream does not fit.
        b = good;
        Put32(b, headerAt + 16, 3);
        cases.push_back({"entry count too small", b, PackageBadDirectory});
        // More announced than present: accepted, the rest stays zero.
        b = good;
        Put32(b, headerAt + 16, 20);
        cases.push_back({"entry count too large", b, PackageOpened});
        b = good;
        Put32(b, headerAt + 16, 0x01000000u);   // 16M records need more than 4 GB
        cases.push_back({"directory larger than 4 GB", b, PackageNoMemory});
        // A zlib stream inflates to at most 1032 times its size: a count
        // beyond that is refused before the records are allocated.
        uint64_t most = 1032ull * Get32(good, headerAt + 8) / PackageEntryRecordSize;
        b = good;
        Put32(b, headerAt + 16, static_cast<uint32_t>(most));
        cases.push_back({"entry count the directory stream could hold", b, PackageOpened});
        b = good;
        Put32(b, headerAt + 16, static_cast<uint32_t>(most + 1));
        cases.push_back({"entry count beyond what the stream can hold", b, PackageBadDirectory});
        b = good;
        Put32(b, headerAt + 16, 0x00E00000u);   // 14.7M records: 3.9 GB, within 32 bits
        cases.push_back({"directory of 4 GB from a few hundred bytes", b, PackageBadDirectory});
    }
    for (size_t i = 0; i < cases.size(); ++i) {
        PackageHandle* opened = reinterpret_cast<PackageHandle*>(&cases);
        int code = OpenBytes(cases[i].bytes, &opened, "case" + std::to_string(i) + ".exe");
        EXPECT_EQ(code, cases[i].code) << cases[i].what;
        if (code == PackageOpened) {
            EXPECT_NE(opened, nullptr);
            uint8_t* data = nullptr;
            EXPECT_EQ(ExtractPackageEntry(opened, "Docs\\readme.txt", &data, nullptr), ExtractOk) << cases[i].what;
            FreePackageBlock(data);
        } else {
            EXPECT_EQ(opened, nullptr) << cases[i].what;
        }
        ClosePackage(code == PackageOpened ? opened : nullptr);
    }
    PackageHandle* missing = nullptr;
    EXPECT_EQ(OpenPackage(TempPath("does-not-exist.exe").c_str(), &missing), PackageCannotOpen);
    EXPECT_EQ(missing, nullptr);
}

TEST_F(OpenPackageFixture, OutOfMemoryDuringOpen)
{
    std::vector<uint8_t> good = MakePackage(SampleItems());
    // Fail each allocation of the open in turn, the first one first, until
    // the open needs no more than succeed: every failure is "no memory" and
    // leaves nothing open.
    int failing = 0;
    for (;; ++failing) {
        ASSERT_LT(failing, 100) << "the open never succeeded";
        PackageAllocationsBeforeFailure = failing;
        PackageHandle* opened = nullptr;
        int code = OpenBytes(good, &opened);
        if (code == PackageOpened) {
            h = opened;
            break;
        }
        EXPECT_EQ(code, PackageNoMemory) << "allocation " << failing;
        EXPECT_EQ(opened, nullptr) << "allocation " << failing;
    }
    EXPECT_GT(failing, 0) << "the open allocates";
    PackageAllocationsBeforeFailure = 0;
    uint8_t* data = reinterpret_cast<uint8_t*>(&good);
    uint32_t size = 77;
    EXPECT_EQ(ExtractPackageEntry(h, "License.txt", &data, &size), ExtractNoMemory);
    EXPECT_EQ(data, reinterpret_cast<uint8_t*>(&good)) << "outputs untouched on failure";
    EXPECT_EQ(size, 77u);
}

TEST_F(OpenPackageFixture, ExtractCodes)
{
    std::vector<PackageEntry> dir = {Record(".", -1, 0),
                                     Record("good.txt", 0, PackageAttributeFile),
                                     Record("long.txt", 0, PackageAttributeFile),
                                     Record("short.txt", 0, PackageAttributeFile),
                                     Record("sum.txt", 0, PackageAttributeFile),
                                     Record("outside.txt", 0, PackageAttributeFile),
                                     Record("empty.txt", 0, PackageAttributeFile),
                                     Record("Folder", 0, PackageAttributeDirectory)};
    std::vector<uint8_t> file =
        RawArchive(dir, {"", "good content", "twelve bytes", "twelve bytes", "checked", "x", ""});
    // Patch records in the compressed directory: decode, change, re-encode.
    const size_t headerAt = MakeStub().size();
    const uint32_t dataSize = Get32(file, headerAt + 4);
    ASSERT_TRUE(RewriteDirectory(file, headerAt, [dataSize](std::vector<PackageEntry>& decoded) {
        decoded[2].size = 5;                          // inflates to more than its size
        decoded[3].size = 20;                         // inflates to less than its size
        decoded[4].checksum ^= 1;                     // right length, wrong checksum
        decoded[5].offset = dataSize - 2;             // stream runs past the data region
        decoded[5].compressedSize = 100;
    }));
    ASSERT_EQ(OpenBytes(file, &h), PackageOpened);

    struct Case {
        const char* path;
        int code;
    };
    const Case cases[] = {
        {"good.txt", ExtractOk},   {"missing.txt", ExtractNotFound}, {"long.txt", ExtractBadStream},
        {"short.txt", ExtractBadStream}, {"sum.txt", ExtractBadChecksum}, {"outside.txt", ExtractBadStream},
        {"empty.txt", ExtractOk},  {"", ExtractBadStream},           {".", ExtractBadStream},
        {"Folder", ExtractBadStream},
    };
    for (const Case& c : cases) {
        uint8_t* block = nullptr;
        uint32_t size = 999;
        int code = ExtractPackageEntry(h, c.path, &block, &size);
        EXPECT_EQ(code, c.code) << c.path;
        if (code == ExtractOk) {
            EXPECT_EQ(size, PackageEntrySize(h, c.path));
            EXPECT_EQ(block[size], 0);
            FreePackageBlock(block);
        } else {
            EXPECT_EQ(block, nullptr) << c.path;
            EXPECT_EQ(size, 999u) << c.path;
        }
        // Streamed, every entry ends with the code of the whole block.
        const PackageEntry* entry = FindPackageEntry(h, c.path);
        if (entry) {
            CollectingSink sink(3);
            EXPECT_EQ(StreamPackageRecord(h, entry, &sink), c.code) << c.path;
        }
    }
}

TEST_F(OpenPackageFixture, ExtractRefusesSizesNoStreamCanHold)
{
    // The sound extreme: 16 MB of zeros inflate from about 16 KB.
    std::string zeros(16u << 20, '\0');
    std::vector<PackageEntry> dir = {Record(".", -1, 0), Record("zeros.bin", 0, PackageAttributeFile),
                                     Record("liar.bin", 0, PackageAttributeFile),
                                     Record("edge.bin", 0, PackageAttributeFile),
                                     Record("over.bin", 0, PackageAttributeFile)};
    std::vector<uint8_t> file = RawArchive(dir, {"", zeros, "fourteen bytes", "edge", "over"});
    // Rewrite the size fields of the last three records in the directory.
    ASSERT_TRUE(RewriteDirectory(file, MakeStub().size(), [](std::vector<PackageEntry>& decoded) {
        decoded[2].size = 0xFFFFFFFFu;                        // 4 GB from a stream of a few bytes
        decoded[3].size = 1032 * decoded[3].compressedSize;   // the most a stream of that size can give
        decoded[4].size = 1032 * decoded[4].compressedSize + 1;
    }));
    ASSERT_EQ(OpenBytes(file, &h, "sizes.exe"), PackageOpened);

    uint8_t* data = nullptr;
    uint32_t size = 0;
    ASSERT_EQ(ExtractPackageEntry(h, "zeros.bin", &data, &size), ExtractOk);
    EXPECT_EQ(size, zeros.size());
    FreePackageBlock(data);

    // With every allocation failing, a size that the stream cannot give is
    // refused as a damaged stream: nothing was set aside for it.  One within
    // the bound gets as far as allocating.
    struct Case {
        const char* path;
        int code;
    };
    const Case cases[] = {{"liar.bin", ExtractBadStream}, {"over.bin", ExtractBadStream},
                          {"edge.bin", ExtractNoMemory}, {"zeros.bin", ExtractNoMemory}};
    for (const Case& c : cases) {
        PackageAllocationsBeforeFailure = 0;
        EXPECT_EQ(ExtractPackageEntry(h, c.path, &data, &size), c.code) << c.path;
    }
    PackageAllocationsBeforeFailure = -1;
    EXPECT_EQ(ExtractPackageEntry(h, "edge.bin", &data, &size), ExtractBadStream) << "inflates to 4 bytes";
}

TEST(PackageWriter, SameTreeGivesSameBytes)
{
    std::vector<uint8_t> a = MakePackage(SampleItems());
    std::vector<uint8_t> b = MakePackage(SampleItems());
    ASSERT_FALSE(a.empty());
    EXPECT_EQ(a, b);
    // An unaligned stub still gives a file length that is a multiple of 4.
    std::vector<uint8_t> stub = MakeStub();
    stub.resize(stub.size() + 1);
    Put32(stub, 0x80 + 24 + 224 + 40 + 16, 0x201);   // the last section now ends at 0x601
    EXPECT_EQ(MakePackage(SampleItems(), stub).size() % 4, 0u);
}

TEST(PackageWriter, RefusesMalformedTrees)
{
    struct Case {
        const char* what;
        std::vector<PackItem> items;
    };
    const std::vector<Case> cases = {
        {"no root", {File("a", 0, "")}},
        {"child before its parent", {Root(), File("a", 2, ""), Folder("d", 0)}},
        {"parent is a file", {Root(), File("a", 0, ""), File("b", 1, "")}},
        {"name of 260 bytes", {Root(), File(std::string(260, 'n'), 0, "")}},
        {"empty name", {Root(), File("", 0, "")}},
    };
    for (const Case& c : cases) {
        MemorySink sink;
        std::string error;
        EXPECT_FALSE(WritePackageArchive(c.items, 0, sink, PackOptions(), &error)) << c.what;
        EXPECT_FALSE(error.empty()) << c.what;
    }
}

// Every level of the writer's encoder (libdeflate natively, zlib in the
// Windows builds) gives streams the reader's zlib inflates and verifies; the
// bytes do not depend on the number of threads.
TEST_F(OpenPackageFixture, EveryLevelWritesStreamsTheReaderVerifies)
{
    std::vector<PackItem> items = SampleItems();
    std::string text, noise, mixed;
    uint64_t x = 0x2545F4914F6CDD1Dull;
    while (text.size() < 300000)
        text += "line " + std::to_string(text.size() % 977) + ": the quick brown fox jumps over the lazy dog\r\n";
    for (int i = 0; i < 200000; ++i) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        noise += static_cast<char>(x);
    }
    mixed = text.substr(0, 100000) + noise.substr(0, 100000);
    items.push_back(File("text.txt", 0, text));
    items.push_back(File("noise.bin", 0, noise));
    items.push_back(File("mixed.dat", 3, mixed));
    items.push_back(File("one.txt", 6, "1"));

    const int levels[] = {-3, 0, 1, 6, 8, 9, 10, 12, 40};
    uint64_t storedSize = 0, smallestSize = 0;
    for (int level : levels) {
        std::vector<uint8_t> bytes[2];
        const unsigned threads[2] = {1, 3};
        for (int t = 0; t < 2; ++t) {
            MemorySink sink;
            sink.bytes = MakeStub();
            PackOptions options;
            options.level = level;
            options.threads = threads[t];
            std::string error;
            ASSERT_TRUE(WritePackageArchive(items, sink.bytes.size(), sink, options, &error)) << error;
            bytes[t] = sink.bytes;
        }
        EXPECT_EQ(bytes[0], bytes[1]) << "level " << level << ": one thread and three give other bytes";

        ASSERT_EQ(OpenBytes(bytes[0], &h), PackageOpened) << "level " << level;
        std::vector<uint8_t> buffer(400000);
        uint64_t data = h->dataSize;
        for (uint32_t i = 1; i < h->entryCount; ++i) {
            const PackageEntry& e = h->entries[i];
            if (e.attributes & PackageAttributeDirectory)
                continue;
            ASSERT_EQ(ExtractPackageRecordInto(h, &e, buffer.data(), buffer.size()), ExtractOk)
                << "level " << level << ", " << e.name;
            EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer.data()), e.size), items[i].content)
                << "level " << level << ", " << e.name;
            EXPECT_EQ(buffer[e.size], 0);
            // The stream itself is a zlib stream: CMF 0x78 (DEFLATE, 32 KB window).
            EXPECT_EQ(bytes[0][h->dataOffset + e.offset], 0x78) << "level " << level << ", " << e.name;
        }
        PackageBlock block;
        EXPECT_EQ(ExtractPackageEntry(h, "Docs\\mixed.dat", &block.data, &block.size), ExtractOk);
        EXPECT_EQ(block.size, mixed.size());
        ClosePackage(h);
        h = nullptr;
        if (level <= 0)
            storedSize = data;
        if (level >= 12)
            smallestSize = data;
    }
    EXPECT_GT(storedSize, text.size() + noise.size() + mixed.size()) << "level 0 stores";
    EXPECT_LT(smallestSize * 2, storedSize) << "level 12 compresses the text";
}

TEST_F(OpenPackageFixture, ExtractIntoTheCallersBuffer)
{
    std::vector<PackItem> items = SampleItems();
    ASSERT_EQ(OpenBytes(MakePackage(items), &h), PackageOpened);
    const PackageEntry* deep = FindPackageEntry(h, "Docs\\Sub\\deep.bin");
    ASSERT_NE(deep, nullptr);
    std::vector<uint8_t> buffer(deep->size + 1, 0xAA);
    struct Case {
        const char* what;
        const PackageEntry* entry;
        uint64_t capacity;
        int code;
    };
    PackageEntry copy = *deep;
    const Case cases[] = {
        {"exactly size + 1", deep, deep->size + 1, ExtractOk},
        {"no room for the NUL", deep, deep->size, ExtractNoMemory},
        {"a record outside the directory", &copy, deep->size + 1, ExtractNotFound},
        {"null", nullptr, deep->size + 1, ExtractNotFound},
        {"a folder has no stream", FindPackageEntry(h, "Docs"), deep->size + 1, ExtractBadStream},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ExtractPackageRecordInto(h, c.entry, buffer.data(), c.capacity), c.code) << c.what;
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer.data()), deep->size), items[7].content);
    EXPECT_EQ(buffer[deep->size], 0);
}

// Through windows of every size, down to a few bytes: the verification, the
// directory (which then lies across many window edges), every lookup, and
// every entry extracted whole and streamed, are what they are with one
// window over the whole file.
TEST_F(OpenPackageFixture, TinyWindowsReadEverything)
{
    std::vector<PackItem> items = WideItems();
    std::vector<std::string> paths = ItemPaths(items);
    std::vector<uint8_t> package = MakePackage(items);
    const uint64_t windows[] = {61, 4099, 70001, 0};
    for (uint64_t window : windows) {
        PackageWindowBytes = window;
        ASSERT_EQ(OpenBytes(package, &h), PackageOpened) << "window " << window;
        if (window > 0) {
            ASSERT_EQ(h->windowBytes, window);
        }
        if (window > 0 && window <= 4099) {
            // What the test is about: the directory and the large streams are
            // longer than a window, so they cross its edges.
            EXPECT_GT(h->directorySize, window);
        }
        ASSERT_EQ(h->lookupCount, items.size());
        for (size_t i = 1; i < items.size(); ++i) {
            const PackageEntry* e = FindPackageEntry(h, paths[i].c_str());
            ASSERT_EQ(e, &h->entries[i]) << paths[i] << ", window " << window;
            if (items[i].directory)
                continue;
            PackageBlock block;
            ASSERT_EQ(ExtractPackageEntry(h, paths[i].c_str(), &block.data, &block.size), ExtractOk) << paths[i];
            ASSERT_EQ(std::string(reinterpret_cast<char*>(block.data), block.size), items[i].content) << paths[i];
            if (items[i].content.size() > 100000 || i % 50 == 0) {
                CollectingSink sink(window ? 4093 : 65536);
                ASSERT_EQ(StreamPackageRecord(h, e, &sink), ExtractOk) << paths[i];
                EXPECT_EQ(sink.content, items[i].content) << paths[i] << ", window " << window;
            }
        }
        ClosePackage(h);
        h = nullptr;
    }
}

// Damage is found through tiny windows as through one: a byte flipped in a
// stream, in the directory, and a directory cut short.
TEST_F(OpenPackageFixture, TinyWindowsFindDamage)
{
    std::vector<uint8_t> package = MakePackage(WideItems());
    const size_t headerAt = MakeStub().size();
    const uint32_t dataSize = Get32(package, headerAt + 4);
    PackageWindowBytes = 61;
    std::vector<uint8_t> data = package;
    data[headerAt + 28 + dataSize / 2] ^= 0x20;
    EXPECT_EQ(OpenBytes(data, &h, "data.exe"), PackageBadChecksum);
    std::vector<uint8_t> directory = package;
    directory[headerAt + 28 + dataSize + 100] ^= 0x20;
    EXPECT_EQ(OpenBytes(directory, &h, "dir.exe"), PackageBadChecksum);
    Reseal(directory, headerAt);
    EXPECT_EQ(OpenBytes(directory, &h, "dir-resealed.exe"), PackageBadDirectory);
    EXPECT_EQ(h, nullptr);
}

// One handle, four threads extracting at once through tiny windows: one of
// them at a time uses the handle's own window, the others their own.
TEST_F(OpenPackageFixture, ThreadsExtractThroughTheirOwnWindows)
{
    std::vector<PackItem> items = WideItems();
    std::vector<std::string> paths = ItemPaths(items);
    PackageWindowBytes = 509;
    ASSERT_EQ(OpenBytes(MakePackage(items), &h), PackageOpened);
    std::vector<int> wrong(4, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            std::vector<uint8_t> buffer(300000);
            for (size_t i = items.size() - 1; i > 0; --i) {
                if (items[i].directory || (i + t) % 2)
                    continue;
                const PackageEntry* e = FindPackageEntry(h, paths[i].c_str());
                if (ExtractPackageRecordInto(h, e, buffer.data(), buffer.size()) != ExtractOk ||
                    std::string(reinterpret_cast<char*>(buffer.data()), e->size) != items[i].content)
                    ++wrong[t];
            }
        });
    }
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(wrong, std::vector<int>(4, 0));
}

// The sink is given the content in its own buffers, at most their size at a
// time; a sink that stops ends the extraction; an empty entry asks for no
// buffer; the content's Adler-32 is checked once every byte has passed.
TEST_F(OpenPackageFixture, StreamedExtraction)
{
    std::vector<PackItem> items = WideItems();
    PackageWindowBytes = 997;
    ASSERT_EQ(OpenBytes(MakePackage(items), &h), PackageOpened);
    const PackageEntry* text = FindPackageEntry(h, "Beta\\text.txt");
    ASSERT_NE(text, nullptr);
    const std::string& content = items[text - h->entries].content;
    for (uint32_t capacity : {1u, 7u, 65536u, 1u << 20}) {
        CollectingSink sink(capacity);
        ASSERT_EQ(StreamPackageRecord(h, text, &sink), ExtractOk) << capacity;
        EXPECT_EQ(sink.content, content) << capacity;
        EXPECT_EQ(sink.chunks, (content.size() + capacity - 1) / capacity) << "every buffer filled but the last";
    }
    CollectingSink stopping(1000, 3);
    EXPECT_EQ(StreamPackageRecord(h, text, &stopping), ExtractStopped);
    EXPECT_EQ(stopping.content, content.substr(0, 3000));

    struct NoBuffer : PackageEntrySink {
        uint8_t* NextBuffer(uint32_t*) override { return nullptr; }
        bool Consume(uint8_t*, uint32_t) override { return true; }
    } none;
    EXPECT_EQ(StreamPackageRecord(h, text, &none), ExtractStopped);
    CollectingSink empty(16);
    EXPECT_EQ(StreamPackageRecord(h, FindPackageEntry(h, "Alpha\\empty.dat"), &empty), ExtractOk);
    EXPECT_EQ(empty.chunks, 0u);
    EXPECT_EQ(StreamPackageRecord(h, nullptr, &empty), ExtractNotFound);
    PackageEntry copy = *text;
    EXPECT_EQ(StreamPackageRecord(h, &copy, &empty), ExtractNotFound);
    EXPECT_EQ(StreamPackageRecord(h, text, nullptr), ExtractNotFound);

    // A wrong checksum is told after the whole content went to the sink.
    const size_t index = static_cast<size_t>(text - h->entries);
    ClosePackage(h);
    h = nullptr;
    std::vector<uint8_t> package = MakePackage(items);
    ASSERT_TRUE(RewriteDirectory(package, MakeStub().size(),
                                 [index](std::vector<PackageEntry>& decoded) { decoded[index].checksum ^= 4; }));
    ASSERT_EQ(OpenBytes(package, &h, "sum.exe"), PackageOpened);
    CollectingSink sink(4096);
    EXPECT_EQ(StreamPackageRecord(h, &h->entries[index], &sink), ExtractBadChecksum);
    EXPECT_EQ(sink.content, content);
}

// Reads at any offset: forward within one pass, from the kept start without
// inflating again, and behind the kept start with a new pass.
TEST_F(OpenPackageFixture, EntryReaderReadsAnywhere)
{
    std::vector<PackItem> items = WideItems();
    PackageWindowBytes = 61;
    ASSERT_EQ(OpenBytes(MakePackage(items), &h), PackageOpened);
    const PackageEntry* text = FindPackageEntry(h, "Beta\\text.txt");
    const std::string& content = items[text - h->entries].content;
    PackageEntryReader reader(h, text);
    EXPECT_EQ(reader.Size(), content.size());
    struct Read {
        uint64_t offset;
        uint32_t length;
        uint32_t passes;   // after the read
    };
    const Read reads[] = {
        {0, 64, 1},           {100, 1, 1},          {65530, 20, 1},       // across the kept part's end
        {150000, 4000, 1},    {10, 100, 1},         // from the kept part: no new pass
        {70000, 10, 2},       {65536 * 2 - 3, 9, 2},   // across a piece's edge
        {199990, 10, 2},
        {0, static_cast<uint32_t>(content.size()), 3},
    };
    for (const Read& r : reads) {
        std::vector<char> out(r.length);
        ASSERT_EQ(reader.Read(r.offset, out.data(), r.length), ExtractOk) << r.offset;
        EXPECT_EQ(std::string(out.data(), r.length), content.substr(r.offset, r.length)) << r.offset;
        EXPECT_EQ(reader.Passes(), r.passes) << r.offset;
    }
    char byte;
    EXPECT_EQ(reader.Read(content.size(), &byte, 1), ExtractBadStream);
    EXPECT_EQ(reader.Read(content.size() - 1, &byte, 1), ExtractOk);
    PackageEntry copy = *text;
    PackageEntryReader outside(h, &copy);
    EXPECT_EQ(outside.Read(0, &byte, 1), ExtractNotFound);
}

// Files of the same content share one stream: the data region holds it once,
// every record extracts, and the bytes do not depend on the threads.
TEST_F(OpenPackageFixture, IdenticalFilesShareOneStream)
{
    std::string content(50000, '\0');
    for (size_t i = 0; i < content.size(); ++i)
        content[i] = static_cast<char>((i * 2654435761u) >> 11);
    std::string other = content;
    other[49999] ^= 1;   // same size, another content
    std::vector<PackItem> items = {Root(),          File("a.bin", 0, content), Folder("Copy", 0),
                                   File("a.bin", 2, content), File("b.bin", 2, other), File("e1", 0, ""),
                                   File("e2", 2, "")};
    std::vector<uint8_t> one = MakePackage(items);
    ASSERT_EQ(OpenBytes(one, &h), PackageOpened);
    const PackageEntry* first = FindPackageEntry(h, "a.bin");
    const PackageEntry* copy = FindPackageEntry(h, "Copy\\a.bin");
    const PackageEntry* changed = FindPackageEntry(h, "Copy\\b.bin");
    EXPECT_EQ(copy->offset, first->offset);
    EXPECT_EQ(copy->compressedSize, first->compressedSize);
    EXPECT_NE(changed->offset, first->offset);
    EXPECT_EQ(FindPackageEntry(h, "e1")->offset, FindPackageEntry(h, "Copy\\e2")->offset);
    uint64_t streams = static_cast<uint64_t>(first->compressedSize) + changed->compressedSize +
                       FindPackageEntry(h, "e1")->compressedSize;
    EXPECT_EQ(h->dataSize, streams) << "each content once";
    const std::pair<const char*, std::string> expected[] = {
        {"a.bin", content}, {"Copy\\a.bin", content}, {"Copy\\b.bin", other}, {"e1", ""}, {"Copy\\e2", ""}};
    for (const auto& [path, bytes] : expected) {
        PackageBlock block;
        ASSERT_EQ(ExtractPackageEntry(h, path, &block.data, &block.size), ExtractOk) << path;
        EXPECT_EQ(std::string(reinterpret_cast<char*>(block.data), block.size), bytes) << path;
    }
    MemorySink sink;
    sink.bytes = MakeStub();
    PackOptions options;
    options.threads = 1;
    options.level = 6;   // MakePackage's
    std::string error;
    ASSERT_TRUE(WritePackageArchive(items, sink.bytes.size(), sink, options, &error)) << error;
    EXPECT_EQ(sink.bytes, one) << "one thread and two give the same bytes";
}
