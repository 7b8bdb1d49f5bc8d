// The signing fields of executable images and the PE checksum, against
// images made here and, under wine, the test program's own image, whose
// checksum the mingw linker wrote.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "PeImage.h"
#include "TestImage.h"

#ifdef _WIN32
#include <windows.h>
#endif

using namespace testimage;

namespace {

constexpr size_t Pe = 0x80;                 // MakePeImage's NT headers
constexpr size_t Optional = Pe + 24;        // its optional header
constexpr size_t ChecksumField = Optional + 64;
constexpr size_t SecurityEntry32 = Optional + 96 + 4 * 8;

// MakeStub with an optional header of `optionalSize` bytes, the section
// table moved behind it.
std::vector<uint8_t> Reshaped(std::vector<uint8_t> b, uint16_t optionalSize)
{
    const size_t table = Optional + 224;
    std::vector<uint8_t> sections(b.begin() + table, b.begin() + table + 80);
    std::fill(b.begin() + table, b.begin() + table + 80, 0);
    Put16(b, Pe + 20, optionalSize);
    std::copy(sections.begin(), sections.end(), b.begin() + Optional + optionalSize);
    return b;
}

// MakeStub in the 64-bit form: magic 0x20B and the 240-byte optional header,
// whose count of directories and directories stand 16 bytes later.
std::vector<uint8_t> MakeStub64()
{
    std::vector<uint8_t> b = Reshaped(MakeStub(), 240);
    Put16(b, Optional, 0x020B);
    Put32(b, Optional + 92, 0);
    Put32(b, Optional + 108, 16);
    return b;
}

// The checksum as the PE format defines it, one word at a time and folded
// after every word: the reference the streaming sum is compared with.
uint32_t ReferenceChecksum(std::vector<uint8_t> b, size_t field)
{
    for (size_t i = field; i < field + 4 && i < b.size(); ++i)
        b[i] = 0;
    uint32_t sum = 0;
    for (size_t i = 0; i < b.size(); i += 2) {
        sum += b[i] | (i + 1 < b.size() ? b[i + 1] << 8 : 0);
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    return ((sum & 0xFFFF) + (sum >> 16)) + static_cast<uint32_t>(b.size());
}

}  // namespace

TEST(PeImage, ReadsWhereTheSigningFieldsLie)
{
    std::vector<uint8_t> signedStub = MakeStub();
    Put32(signedStub, SecurityEntry32, 0x600);
    Put32(signedStub, SecurityEntry32 + 4, 0x48);
    Put32(signedStub, ChecksumField, 0x1234);
    std::vector<uint8_t> fourDirectories = MakeStub();
    Put32(fourDirectories, Optional + 92, 4);
    // Directories counted, but no room for the fifth; no room for CheckSum.
    std::vector<uint8_t> shortOptional = Reshaped(MakeStub(), 96 + 4 * 8);
    std::vector<uint8_t> tooShortForChecksum = Reshaped(MakeStub(), 64);
    std::vector<uint8_t> romImage = MakeStub();
    Put16(romImage, Optional, 0x0107);
    std::vector<uint8_t> signed64 = MakeStub64();
    Put32(signed64, Optional + 112 + 32, 0x608);
    Put32(signed64, Optional + 112 + 36, 0x10);

    struct Case {
        const char* what;
        std::vector<uint8_t> image;
        bool read;
        bool pe32Plus;
        uint64_t securityEntryAt;
        uint32_t tableAt, tableSize, checksum;
    };
    const Case cases[] = {
        {"a stub never signed", MakeStub(), true, false, SecurityEntry32, 0, 0, 0},
        {"a signed stub", signedStub, true, false, SecurityEntry32, 0x600, 0x48, 0x1234},
        {"a 64-bit image", MakeStub64(), true, true, Optional + 112 + 32, 0, 0, 0},
        {"a signed 64-bit image", signed64, true, true, Optional + 112 + 32, 0x608, 0x10, 0},
        {"four data directories: no security entry", fourDirectories, true, false, 0, 0, 0, 0},
        {"an optional header without room for it", shortOptional, true, false, 0, 0, 0, 0},
        {"an optional header without a CheckSum", tooShortForChecksum, false, false, 0, 0, 0, 0},
        {"an unknown optional header", romImage, false, false, 0, 0, 0, 0},
        {"no image", std::vector<uint8_t>(0x600, 'M'), false, false, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        PeImageLayout layout;
        layout.checksum = 0xDEAD;
        ASSERT_EQ(ReadPeImageLayout(c.image.data(), c.image.size(), &layout), c.read) << c.what;
        if (!c.read) {
            EXPECT_EQ(layout.checksum, 0xDEADu) << c.what << ": written on failure";
            continue;
        }
        EXPECT_EQ(layout.imageEnd, 0x600u) << c.what;
        EXPECT_EQ(layout.pe32Plus, c.pe32Plus) << c.what;
        EXPECT_EQ(layout.checksumAt, ChecksumField) << c.what;
        EXPECT_EQ(layout.checksum, c.checksum) << c.what;
        EXPECT_EQ(layout.securityEntryAt, c.securityEntryAt) << c.what;
        EXPECT_EQ(layout.certificateTableAt, c.tableAt) << c.what;
        EXPECT_EQ(layout.certificateTableSize, c.tableSize) << c.what;
    }
}

TEST(PeImage, ClearingTouchesTheTwelveSigningBytesOnly)
{
    for (std::vector<uint8_t> image : {MakeStub(), MakeStub64()}) {
        for (size_t i = 0x200; i < image.size(); ++i)
            image[i] = static_cast<uint8_t>(i * 7 + 1);
        PeImageLayout layout;
        ASSERT_TRUE(ReadPeImageLayout(image.data(), image.size(), &layout));
        for (uint64_t at : {layout.checksumAt, layout.securityEntryAt, layout.securityEntryAt + 4})
            Put32(image, at, 0x01020304);
        std::vector<uint8_t> cleared = image;
        ClearSigningFields(cleared.data(), layout);
        size_t changed = 0;
        for (size_t i = 0; i < image.size(); ++i) {
            bool field = (i >= layout.checksumAt && i < layout.checksumAt + 4) ||
                         (i >= layout.securityEntryAt && i < layout.securityEntryAt + 8);
            if (field)
                EXPECT_EQ(cleared[i], 0) << "byte " << i;
            else
                EXPECT_EQ(cleared[i], image[i]) << "byte " << i;
            changed += cleared[i] != image[i];
        }
        EXPECT_EQ(changed, 12u);
        ASSERT_TRUE(ReadPeImageLayout(cleared.data(), cleared.size(), &layout));
        EXPECT_EQ(layout.certificateTableAt, 0u);
        EXPECT_EQ(layout.certificateTableSize, 0u);
        EXPECT_EQ(layout.checksum, 0u);
    }
}

TEST(PeChecksum, KnownSums)
{
    // Words are little-endian; the sum folds its carries back in; the
    // length comes last.
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        uint64_t field;
        uint32_t checksum;
    };
    const Case cases[] = {
        {"nothing", {}, 64, 0},
        {"one word", {0x01, 0x02}, 64, 0x0201 + 2},
        {"an odd last byte is a word of its own", {0x01, 0x02, 0x03}, 64, 0x0201 + 0x0003 + 3},
        {"a carry folds back", {0xFF, 0xFF, 0x02, 0x00}, 64, 0x0002 + 4},
        {"the all-ones sum stays", {0xFF, 0xFF}, 64, 0xFFFF + 2},
        {"the field counts as zero", {0x10, 0x00, 0xAA, 0xBB, 0xCC, 0xDD, 0x20, 0x00}, 2, 0x0030 + 8},
        {"a field cut by the end", {0x10, 0x00, 0x20, 0x00, 0xAA, 0xBB}, 4, 0x0030 + 6},
        {"a field at an odd offset", {0x01, 0xAA, 0xBB, 0xCC, 0xDD, 0x02}, 1, 0x0001 + 0x0200 + 6},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ComputePeChecksum(c.bytes.data(), c.bytes.size(), c.field), c.checksum) << c.what;
}

TEST(PeChecksum, PiecesGiveTheSumOfTheWhole)
{
    std::mt19937 random(7);
    std::vector<uint8_t> file(3 * 1024 * 1024 + 3);
    for (uint8_t& b : file)
        b = static_cast<uint8_t>(random());
    const size_t field = ChecksumField;
    uint32_t whole = ComputePeChecksum(file.data(), file.size(), field);
    EXPECT_EQ(whole, ReferenceChecksum(file, field));
    // Splits at every offset around the field, odd ones included, and in
    // uneven pieces through the rest.
    const size_t small = 4097;
    const uint32_t smallWhole = ComputePeChecksum(file.data(), small, field);
    EXPECT_EQ(smallWhole, ReferenceChecksum(std::vector<uint8_t>(file.begin(), file.begin() + small), field));
    for (size_t split = 0; split < 300; ++split) {
        PeChecksum checksum(field);
        checksum.Add(file.data(), split);
        checksum.Add(file.data() + split, small - split);
        ASSERT_EQ(checksum.Value(), smallWhole) << "split at " << split;
    }
    PeChecksum pieces(field);
    for (size_t at = 0, step = 1; at < file.size(); at += step, step = step * 3 + 1 > 65537 ? 1 : step * 3 + 1)
        pieces.Add(file.data() + at, std::min(step, file.size() - at));
    EXPECT_EQ(pieces.Value(), whole);
}

#ifdef _WIN32
// The mingw linker writes the checksum of every program it links, this one's too.
TEST(PeChecksum, MatchesWhatTheLinkerWrote)
{
    char path[MAX_PATH];
    ASSERT_GT(GetModuleFileNameA(NULL, path, MAX_PATH), 0u);
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> self((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    PeImageLayout layout;
    ASSERT_TRUE(ReadPeImageLayout(self.data(), self.size(), &layout));
    ASSERT_NE(layout.checksum, 0u) << "the linker wrote no checksum";
    EXPECT_EQ(ComputePeChecksum(self.data(), self.size(), layout.checksumAt), layout.checksum);
}
#endif

TEST(CertificateTable, WhatTheSecurityEntryNames)
{
    // A signed file: image, package up to 0x7FC, padding to 0x800, then a
    // table of two records (0x2C and 0x10 bytes, the first padded to 0x30).
    std::vector<uint8_t> base = MakeStub();
    base.resize(0x800, 0x5A);
    const uint64_t contentEnd = 0x7FC;
    auto record = [](std::vector<uint8_t>& b, uint32_t length, uint16_t revision) {
        size_t at = b.size();
        b.resize(at + ((length + 7) & ~7u), 0);
        Put32(b, at, length);
        Put16(b, at + 4, revision);
        Put16(b, at + 6, 2);
    };
    auto signedFile = [&](uint32_t tableAt, uint32_t tableSize, std::vector<uint8_t> b) {
        Put32(b, SecurityEntry32, tableAt);
        Put32(b, SecurityEntry32 + 4, tableSize);
        return b;
    };
    std::vector<uint8_t> table = base;
    record(table, 0x2C, 0x0200);
    record(table, 0x10, 0x0200);
    std::vector<uint8_t> oldRevision = base;
    record(oldRevision, 0x2C, 0x0100);
    std::vector<uint8_t> emptyRecord = base;
    record(emptyRecord, 8, 0x0200);
    std::vector<uint8_t> followed = table;
    followed.resize(followed.size() + 8, 0);
    std::vector<uint8_t> shortRecord = table;
    Put32(shortRecord, 0x800, 0x60);     // claims more than the table holds

    struct Case {
        const char* what;
        std::vector<uint8_t> file;
        int code;
    };
    const Case cases[] = {
        {"unsigned", base, CertificateTableNone},
        {"two sound records", signedFile(0x800, 0x40, table), CertificateTableSound},
        {"a signed stub's entry, now inside the package", signedFile(0x600, 0x48, table), CertificateTableOverlaps},
        {"an entry beyond the end", signedFile(0x800, 0x80, table), CertificateTableOutside},
        {"bytes appended after signing", signedFile(0x800, 0x40, followed), CertificateTableNotAtEnd},
        {"a misaligned table", signedFile(0x804, 0x3C, table), CertificateTableMalformed},
        {"a record longer than the table", signedFile(0x800, 0x40, shortRecord), CertificateTableMalformed},
        {"a record of the old revision", signedFile(0x800, 0x30, oldRevision), CertificateTableMalformed},
        {"a record with no certificate", signedFile(0x800, 0x8, emptyRecord), CertificateTableMalformed},
        {"a size without an offset", signedFile(0, 0x40, table), CertificateTableOverlaps},
    };
    for (const Case& c : cases) {
        PeImageLayout layout;
        ASSERT_TRUE(ReadPeImageLayout(c.file.data(), c.file.size(), &layout)) << c.what;
        EXPECT_EQ(CheckCertificateTable(c.file.data(), c.file.size(), layout, contentEnd), c.code) << c.what;
    }
    // An image without a security entry is unsigned, whatever follows it.
    std::vector<uint8_t> noEntry = signedFile(0x800, 0x40, table);
    Put32(noEntry, Optional + 92, 4);
    PeImageLayout layout;
    ASSERT_TRUE(ReadPeImageLayout(noEntry.data(), noEntry.size(), &layout));
    EXPECT_EQ(CheckCertificateTable(noEntry.data(), noEntry.size(), layout, contentEnd), CertificateTableNone);
}
