// Streaming package entries into files: inflate on one thread, writes on another.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "EntryStream.h"
#include "Handles.h"
#include "Package.h"
#include "PackageWriter.h"
#include "TestImage.h"
#include "VersionImages.h"
#include "WindowsTestSupport.h"

using fntest::TempFolder;

namespace {

std::string ReadAll(const std::string& path)
{
    std::string content;
    FILE* in = fopen(path.c_str(), "rb");
    if (!in)
        return "(none)";
    char buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, in)) > 0)
        content.append(buffer, n);
    fclose(in);
    return content;
}

// Several chunks of incompressible bytes and a text that packs small.
std::string Noise(size_t length, uint32_t seed)
{
    std::string bytes(length, '\0');
    for (char& c : bytes)
        c = static_cast<char>((seed = seed * 1103515245u + 12345u) >> 23);
    return bytes;
}

struct StreamFixture : ::testing::Test {
    TempFolder temp;
    PackageHandle* package = nullptr;
    std::vector<PackItem> items;

    void Open(const std::vector<uint8_t>& bytes, uint64_t window)
    {
        std::string path = temp.path + "\\package.exe";
        ASSERT_TRUE(testimage::WriteBytes(path, bytes));
        PackageWindowBytes = window;
        ASSERT_EQ(OpenPackage(path.c_str(), &package), PackageOpened);
        PackageWindowBytes = 0;
    }
    void SetUp() override
    {
        std::string text;
        while (text.size() < 3 * EntryStreamChunkBytes + 12345)
            text += "line " + std::to_string(text.size() % 7919) + " of a long log file\r\n";
        items = {testimage::Root(),
                 testimage::File("noise.bin", 0, Noise(2 * EntryStreamChunkBytes + 77, 7)),
                 testimage::File("log.txt", 0, text),
                 testimage::File("small.txt", 0, "small"),
                 testimage::File("empty.txt", 0, ""),
                 testimage::Folder("Docs", 0)};
    }
    void TearDown() override { ClosePackage(package); }

    // Streams the entry into a new file; its content afterwards.
    int StreamTo(const char* entry, const std::string& path, EntryStreamReport* report, DWORD access = GENERIC_WRITE)
    {
        KernelHandle file(CreateFileA(path.c_str(), access, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        EXPECT_TRUE(file.IsOpen());
        return StreamEntryToFile(package, FindPackageEntry(package, entry), file.Get(), report);
    }
};

// Every kind of entry, through windows down to 4 KB, arrives byte for byte,
// several in a row through the same chunks.
TEST_F(StreamFixture, WritesEveryEntryExactly)
{
    std::vector<uint8_t> bytes = testimage::MakePackage(items);
    for (uint64_t window : {4093ull, 0ull}) {
        Open(bytes, window);
        for (int round = 0; round < 2; ++round) {
            for (size_t i = 1; i < 5; ++i) {
                std::string path = temp.path + "\\" + items[i].name;
                EntryStreamReport report = {};
                ASSERT_EQ(StreamTo(items[i].name.c_str(), path, &report), 1) << items[i].name;
                EXPECT_EQ(report.extract, ExtractOk);
                EXPECT_EQ(report.writeError, 0u);
                EXPECT_EQ(report.written, items[i].content.size());
                EXPECT_EQ(ReadAll(path), items[i].content) << items[i].name << ", window " << window;
            }
        }
        ClosePackage(package);
        package = nullptr;
    }
}

// A damaged entry gives 0 with the reader's code, after which the next
// entry streams as usual (the chunks all came back).
TEST_F(StreamFixture, DamagedEntryFailsAndTheNextOneWorks)
{
    std::vector<uint8_t> bytes = testimage::MakePackage(items);
    ASSERT_TRUE(testimage::RewriteDirectory(bytes, testimage::MakeStub().size(), [](std::vector<PackageEntry>& dir) {
        dir[1].checksum ^= 1;       // noise.bin: every byte arrives, the sum is wrong
        dir[2].size -= 1000;        // log.txt: more content than its record says
    }));
    Open(bytes, 0);
    EntryStreamReport report = {};
    for (int round = 0; round < 4; ++round) {
        EXPECT_EQ(StreamTo("noise.bin", temp.path + "\\noise.bin", &report), 0);
        EXPECT_EQ(report.extract, ExtractBadChecksum);
        EXPECT_EQ(report.written, items[1].content.size());
        EXPECT_EQ(StreamTo("log.txt", temp.path + "\\log.txt", &report), 0);
        EXPECT_EQ(report.extract, ExtractBadStream);
        EXPECT_EQ(StreamTo("small.txt", temp.path + "\\small.txt", &report), 1);
        EXPECT_EQ(ReadAll(temp.path + "\\small.txt"), "small");
    }
    EXPECT_EQ(StreamEntryToFile(package, FindPackageEntry(package, "Docs"), INVALID_HANDLE_VALUE, &report), 0);
    EXPECT_EQ(report.extract, ExtractNotFound);
    EXPECT_EQ(StreamEntryToFile(package, nullptr, INVALID_HANDLE_VALUE, nullptr), 0);
}

// A write that fails stops the stream at once and says why.
TEST_F(StreamFixture, FailedWriteStopsTheStream)
{
    Open(testimage::MakePackage(items), 0);
    EntryStreamReport report = {};
    EXPECT_EQ(StreamTo("noise.bin", temp.path + "\\readonly.bin", &report, GENERIC_READ), 0);
    EXPECT_EQ(report.extract, ExtractStopped);
    EXPECT_NE(report.writeError, 0u);
    EXPECT_EQ(report.written, 0u);
    // An entry of one chunk is written by the calling thread: the same answer.
    EXPECT_EQ(StreamTo("small.txt", temp.path + "\\readonly.txt", &report, GENERIC_READ), 0);
    EXPECT_EQ(report.extract, ExtractStopped);
    EXPECT_NE(report.writeError, 0u);
    EXPECT_EQ(StreamTo("log.txt", temp.path + "\\log.txt", &report), 1);
    EXPECT_EQ(ReadAll(temp.path + "\\log.txt"), items[2].content);
}

// The version rule on a streamed entry: the same answers as for the block.
TEST_F(StreamFixture, VersionRule)
{
    items.push_back(testimage::File("tool.exe", 0, versionimages::AsString(versionimages::VersionedImage(1, 2, 0, 0))));
    Open(testimage::MakePackage(items), 509);
    const PackageEntry* tool = FindPackageEntry(package, "tool.exe");
    struct Case {
        const char* name;
        std::string installed;   // "-": no file
        bool needsWriting;
    };
    const Case cases[] = {
        {"no file", "-", true},
        {"older", versionimages::AsString(versionimages::VersionedImage(1, 1, 9, 9)), true},
        {"same", versionimages::AsString(versionimages::VersionedImage(1, 2, 0, 0)), false},
        {"newer", versionimages::AsString(versionimages::VersionedImage(1, 3, 0, 0)), false},
        {"no version there", "plain text", true},
    };
    for (const Case& c : cases) {
        std::string path = temp.path + "\\installed.exe";
        DeleteFileA(path.c_str());
        if (c.installed != "-") {
            ASSERT_TRUE(testimage::WriteBytes(path, std::vector<uint8_t>(c.installed.begin(), c.installed.end())));
        }
        EXPECT_EQ(StreamedEntryNeedsWriting(package, tool, path.c_str()), c.needsWriting) << c.name;
    }
    // An entry without a version always replaces.
    EXPECT_TRUE(StreamedEntryNeedsWriting(package, FindPackageEntry(package, "log.txt"), (temp.path + "\\installed.exe").c_str()));
}

}  // namespace
