// Version values from PE images and version texts.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "ImageVersion.h"
#include "Package.h"
#include "PackageWriter.h"
#include "TestImage.h"
#include "VersionImages.h"

using testimage::MakePeImage;
using testimage::Put16;
using testimage::Put32;
using versionimages::PutFixedFileInfo;

namespace {

constexpr int64_t Version1234 = MakeVersion(1, 2, 3, 4);
constexpr size_t SectionTable = 0x80 + 24 + 224;   // section table of MakePeImage's images

// Runs GetImageVersion over an exact-size copy, so that a read past the end
// is a read outside the allocation (which the sanitizers catch).
int64_t VersionOf(const std::vector<uint8_t>& image)
{
    std::vector<uint8_t> exact(image);
    exact.shrink_to_fit();
    return GetImageVersion(exact.empty() ? nullptr : exact.data(), exact.size());
}

struct ImageCase {
    const char* name;
    std::function<std::vector<uint8_t>()> make;
    int64_t expected;
};

std::vector<uint8_t> RsrcWithRecordAt(uint32_t rawSize, uint32_t offset, bool roomAfter)
{
    std::vector<testimage::Section> sections = {{".rsrc", 0x400, rawSize}};
    if (roomAfter)
        sections.push_back({".reloc", 0x400 + rawSize, 0x40});
    std::vector<uint8_t> image = MakePeImage(sections);
    std::vector<uint8_t> copy = image;
    PutFixedFileInfo(copy, 0x400 + offset, 0x00010002, 0x00030004);
    // Keep the image's own length: a record beyond it must not be invented.
    copy.resize(image.size());
    return copy;
}

const ImageCase ImageCases[] = {
    {"record at the start of .rsrc", [] { return RsrcWithRecordAt(0x200, 0, false); }, Version1234},
    {"record inside .rsrc", [] { return RsrcWithRecordAt(0x200, 0x123, false); }, Version1234},
    {"record at the last search offset, image goes on", [] { return RsrcWithRecordAt(0x200, 0x200 - 11, true); }, Version1234},
    {"record at the last search offset, image ends", [] { return RsrcWithRecordAt(0x200, 0x200 - 11, false); }, -1},
    {"record one past the last search offset", [] { return RsrcWithRecordAt(0x200, 0x200 - 10, true); }, -1},
    {"raw size 11 has one search offset", [] { return RsrcWithRecordAt(11, 0, true); }, Version1234},
    {"raw size 10 is not searched", [] { return RsrcWithRecordAt(10, 0, true); }, -1},
    {"record in .text only",
     [] {
         auto image = MakePeImage({{".text", 0x200, 0x200}, {".data", 0x400, 0x200}});
         PutFixedFileInfo(image, 0x210, 0x00010002, 0x00030004);
         return image;
     },
     -1},
    {"first record decides",
     [] {
         auto image = MakePeImage({{".rsrc", 0x400, 0x200}});
         PutFixedFileInfo(image, 0x420, 0x00050006, 0x00070008);
         PutFixedFileInfo(image, 0x480, 0x00010002, 0x00030004);
         return image;
     },
     MakeVersion(5, 6, 7, 8)},
    {"second .rsrc searched when the first has no record",
     [] {
         auto image = MakePeImage({{".rsrc", 0x400, 0x100}, {".rsrc", 0x500, 0x100}});
         PutFixedFileInfo(image, 0x540, 0x00010002, 0x00030004);
         return image;
     },
     Version1234},
    {"name longer than .rsrc does not count",
     [] {
         auto image = MakePeImage({{".rsrcxyz", 0x400, 0x200}});
         PutFixedFileInfo(image, 0x440, 0x00010002, 0x00030004);
         return image;
     },
     -1},
    {"raw data pointing outside the image",
     [] {
         auto image = RsrcWithRecordAt(0x200, 0, false);
         Put32(image, SectionTable + 20, 0x100000);
         return image;
     },
     -1},
    {"raw data reaching past the image",
     [] {
         auto image = RsrcWithRecordAt(0x200, 0, false);
         Put32(image, SectionTable + 16, 0x10000);
         return image;
     },
     -1},
    {"raw pointer near 4 GiB does not wrap",
     [] {
         auto image = RsrcWithRecordAt(0x200, 0, false);
         Put32(image, SectionTable + 20, 0xFFFFFFF0u);
         Put32(image, SectionTable + 16, 0x20);
         return image;
     },
     -1},
    {"section table past the image",
     [] {
         auto image = RsrcWithRecordAt(0x200, 0, false);
         Put16(image, 0x80 + 6, 0xFFFF);
         Put32(image, SectionTable, 0);   // the first section is no .rsrc: the search goes on
         return image;
     },
     -1},
    {"optional header size moves the table",
     [] {
         auto image = RsrcWithRecordAt(0x200, 0, false);
         Put16(image, 0x80 + 20, 224 + 40);   // the table now starts one header later
         return image;
     },
     -1},
    {"no MZ", [] { auto image = RsrcWithRecordAt(0x200, 0, false); image[0] = 'N'; return image; }, -1},
    {"old relocation offset below 0x40",
     [] { auto image = RsrcWithRecordAt(0x200, 0, false); Put16(image, 0x18, 0x3F); return image; }, -1},
    {"no PE signature",
     [] { auto image = RsrcWithRecordAt(0x200, 0, false); image[0x81] = 'X'; return image; }, -1},
    {"PE header offset outside",
     [] { auto image = RsrcWithRecordAt(0x200, 0, false); Put32(image, 0x3C, 0xFFFFFF00u); return image; }, -1},
    {"PE header without its 248 bytes",
     [] {
         auto image = MakePeImage({});
         image.resize(0x80 + 247);
         return image;
     },
     -1},
    {"fewer than 64 bytes",
     [] {
         auto image = RsrcWithRecordAt(0x200, 0, false);
         image.resize(63);
         return image;
     },
     -1},
    {"text file",
     [] {
         std::string text = "MZ is how this text begins, but it is a readme and no program at all.\r\n";
         return std::vector<uint8_t>(text.begin(), text.end());
     },
     -1},
    {"empty", [] { return std::vector<uint8_t>(); }, -1},
};

TEST(GetImageVersion, Cases)
{
    for (const ImageCase& c : ImageCases)
        EXPECT_EQ(VersionOf(c.make()), c.expected) << c.name;
}

TEST(GetImageVersion, VersionsOrderAsNumbers)
{
    int64_t v1234 = VersionOf(versionimages::VersionedImage(1, 2, 3, 4));
    EXPECT_EQ(v1234, Version1234);
    EXPECT_GT(v1234, VersionOf(versionimages::VersionedImage(1, 2, 3, 3)));
    EXPECT_LT(v1234, VersionOf(versionimages::VersionedImage(1, 3, 0, 0)));
    EXPECT_GT(VersionOf(versionimages::VersionedImage(1, 10, 0, 0)), VersionOf(versionimages::VersionedImage(1, 9, 0, 0)));
}

TEST(GetImageVersion, FirstNumberFrom32768IsNegative)
{
    int64_t high = VersionOf(versionimages::VersionedImage(32768, 0, 0, 1));
    EXPECT_LT(high, 0);
    EXPECT_LT(high, NoVersion);
    EXPECT_GT(VersionOf(versionimages::VersionedImage(32767, 0, 0, 0)), 0);
}

// The version of `image` as the setup reads it from a package entry: packed,
// opened with tiny windows, read through PackageEntryReader.
int64_t EntryVersionOf(const std::vector<uint8_t>& image, bool* failed)
{
    std::vector<uint8_t> package = testimage::MakePackage(
        {testimage::Root(), testimage::File("tool.exe", 0, versionimages::AsString(image))});
    std::string path = ::testing::TempDir() + "image-version-entry.exe";
    EXPECT_TRUE(testimage::WriteBytes(path, package));
    PackageWindowBytes = 61;
    PackageHandle* h = nullptr;
    EXPECT_EQ(OpenPackage(path.c_str(), &h), PackageOpened);
    PackageWindowBytes = 0;
    if (!h)
        return -2;
    int64_t version = GetPackageEntryVersion(h, FindPackageEntry(h, "tool.exe"), failed);
    ClosePackage(h);
    return version;
}

// The rule read from a package entry, bounded, gives what it gives on the
// whole image in memory, for every case.
TEST(GetPackageEntryVersion, SameAsTheWholeImage)
{
    for (const ImageCase& c : ImageCases) {
        bool failed = true;
        EXPECT_EQ(EntryVersionOf(c.make(), &failed), c.expected) << c.name;
        EXPECT_FALSE(failed) << c.name;
    }
}

// Images larger than one piece of the search and than the part the reader
// keeps: records across the 64 KB edges of the search, resources far into
// the image, and a section table whose order makes the reader go back.
TEST(GetPackageEntryVersion, LargeImages)
{
    struct LargeCase {
        const char* name;
        std::vector<testimage::Section> sections;
        size_t recordAt;
        int64_t expected;
    };
    const uint32_t far = 3u << 20;
    const LargeCase cases[] = {
        {"record straddling the search's first piece", {{".rsrc", 0x400, 0x30000}}, 0x400 + 0x10000 - 6, Version1234},
        {"record right after the first piece", {{".rsrc", 0x400, 0x30000}}, 0x400 + 0x10000, Version1234},
        {"resources 3 MB into the image", {{".text", 0x400, far}, {".rsrc", 0x400 + far, 0x1000}},
         0x400 + far + 0x20, Version1234},
        {"first .rsrc far, second near: the reader goes back",
         {{".rsrc", 0x400 + far, 0x1000}, {".rsrc", 0x20000, 0x1000}}, 0x20040, Version1234},
    };
    for (const LargeCase& c : cases) {
        std::vector<uint8_t> image = MakePeImage(c.sections);
        PutFixedFileInfo(image, c.recordAt, 0x00010002, 0x00030004);
        for (size_t i = 0; i < image.size(); i += 997)
            if (i > 0x400 && (i < c.recordAt || i > c.recordAt + 16))
                image[i] = static_cast<uint8_t>(i * 7);   // noise, so the stream is not all zeros
        ASSERT_EQ(VersionOf(image), c.expected) << c.name;
        bool failed = true;
        EXPECT_EQ(EntryVersionOf(image, &failed), c.expected) << c.name;
        EXPECT_FALSE(failed) << c.name;
    }
}

// A stream that ends before the bytes the rule reads fails the read instead
// of giving "no version" as a clean answer.
TEST(GetPackageEntryVersion, StreamShorterThanItsRecordFails)
{
    // .rsrc claims 64 KB from 0x400; the image holds 0x200 of them, noise.
    std::vector<uint8_t> image = MakePeImage({{".rsrc", 0x400, 0x200}});
    for (size_t i = 0x400; i < image.size(); ++i)
        image[i] = static_cast<uint8_t>((i * 2654435761u) >> 13);
    Put32(image, SectionTable + 16, 0x10000);
    std::vector<uint8_t> package = testimage::MakePackage(
        {testimage::Root(), testimage::File("tool.exe", 0, versionimages::AsString(image))});
    std::string path = ::testing::TempDir() + "image-version-short.exe";
    ASSERT_TRUE(testimage::WriteBytes(path, package));
    PackageHandle* h = nullptr;
    ASSERT_EQ(OpenPackage(path.c_str(), &h), PackageOpened);
    PackageEntry* record = const_cast<PackageEntry*>(FindPackageEntry(h, "tool.exe"));
    bool failed = true;
    EXPECT_EQ(GetPackageEntryVersion(h, record, &failed), NoVersion);   // the section lies past the image
    EXPECT_FALSE(failed);
    record->size = 0x400 + 0x10000;   // now it lies inside, past the stream's end
    EXPECT_EQ(GetPackageEntryVersion(h, record, &failed), NoVersion);
    EXPECT_TRUE(failed);
    ClosePackage(h);
}

// Every prefix of a versioned image: no read outside the bytes given, and a
// version only once the whole record is inside.
TEST(GetImageVersion, EveryTruncation)
{
    std::vector<uint8_t> image = versionimages::VersionedImage(1, 2, 3, 4);
    for (size_t length = 0; length <= image.size(); ++length) {
        std::vector<uint8_t> prefix(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(length));
        // The .rsrc raw data must lie inside the image to be searched at all.
        int64_t expected = length >= 0x600 ? Version1234 : -1;
        ASSERT_EQ(VersionOf(prefix), expected) << "length " << length;
    }
}

struct ParseCase {
    const char* text;
    int64_t expected;
};

const ParseCase ParseCases[] = {
    {"1.2.3.4", MakeVersion(1, 2, 3, 4)},
    {"2.0", MakeVersion(2, 0, 0, 0)},
    {"2", MakeVersion(2, 0, 0, 0)},
    {"1.5.0", MakeVersion(1, 5, 0, 0)},
    {"1.2.3.4.5", MakeVersion(1, 2, 3, 4)},
    {"1.2.3.4x.9", MakeVersion(1, 2, 3, 4 * 10 + ('x' - 48))},
    {"1..2", MakeVersion(1, 0, 2, 0)},
    {"1.", MakeVersion(1, 0, 0, 0)},
    {"", 0},
    {"65535.1", MakeVersion(65535, 1, 0, 0)},
    {"65537.1", MakeVersion(1, 1, 0, 0)},             // low 16 bits only
    {"1a", MakeVersion(1 * 10 + ('a' - 48), 0, 0, 0)},  // every character counts as a digit
    {"v2", MakeVersion(('v' - 48) * 10 + 2, 0, 0, 0)},
    {"40000", static_cast<int64_t>(0x9C40000000000000ull)},
};

TEST(ParseVersionString, Cases)
{
    for (const ParseCase& c : ParseCases)
        EXPECT_EQ(ParseVersionString(c.text), c.expected) << '"' << c.text << '"';
    EXPECT_EQ(ParseVersionString(nullptr), 0);
}

TEST(ParseVersionString, Order)
{
    EXPECT_GT(ParseVersionString("1.10"), ParseVersionString("1.9"));
    EXPECT_EQ(ParseVersionString("2.0"), ParseVersionString("2.0.0.0"));
    EXPECT_LT(ParseVersionString("1.4.9"), ParseVersionString("1.5"));
    EXPECT_LT(ParseVersionString("1.5"), ParseVersionString("1.6"));
    EXPECT_LT(ParseVersionString("40000"), 0);
}

}  // namespace

namespace {

TEST(IsPlainVersion, NumbersAndDotsOnly)
{
    struct Case {
        const char* text;
        bool plain;
    };
    const Case cases[] = {
        {"2", true},        {"1.10.3", true},    {"1.0.0.0", true},  {"65535.0", true},
        {"", false},        {"v1", false},       {"1..2", false},    {"1.2-beta", false},
        {".1", false},      {"1.", false},       {"1.2.3.4.5", false}, {"65536", false},
        {"1 .2", false},    {"000001", false},   {"1.2 ", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsPlainVersion(c.text), c.plain) << '"' << c.text << '"';
    EXPECT_FALSE(IsPlainVersion(nullptr));
}

}  // namespace
