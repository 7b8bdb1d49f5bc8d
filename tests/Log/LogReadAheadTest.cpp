// The read-ahead of log files opened for reading: loading from disk gives
// what loading the same bytes from memory gives (memory files read exactly
// what is asked), wherever the read-ahead's end falls; positions count the
// bytes handed out; failing reads leave the file where it was.
#include "LogTestSupport.h"

using namespace logtest;

namespace {

const std::string Magic = "log1";

// Records of exactly `bytes` bytes (0, or at least 10: kind, flags, CR LF).
std::string Padding(size_t bytes)
{
    const size_t Overhead = 10;
    const size_t Largest = Overhead + LogLineCapacity - 1;
    std::string out;
    while (bytes > 0) {
        size_t n = bytes < Largest ? bytes : Largest;
        if (bytes - n > 0 && bytes - n < Overhead)
            n = bytes - Overhead;
        out += Record(2, 1, {std::string(n - Overhead, 'p')});
        bytes -= n;
    }
    return out;
}

// The records the read-ahead's end is moved across: a line cut at the
// capacity whose rest is the next field, an empty string, flags without
// strings, LF-only lines.
const std::string Tail = Record(4, 3, {std::string(511, 'a') + "b" + std::string(88, 'c')}) +
                         Record(7, 7, {"C:\\d.sys", "Drv", ""}) + Record(5, 0x0700u, {}) +
                         U32(4) + U32(3) + "a\nb\n" + Record(3, 1, {"C:\\X"});

// A log whose read-ahead ends `offset` bytes into Tail.
std::string LogEndingAt(size_t offset)
{
    return Magic + Padding(LogReadAheadSize - Magic.size() - offset) + Tail;
}

class LogReadAhead : public LogTest {
protected:
    // Loads `bytes` from a file and from memory; both must agree.
    void ExpectSameAsMemory(const std::string& bytes)
    {
        WriteBytes(path, bytes);
        LogLoadStatus fromDisk = LoadInstallLogStatus(&list, path.c_str());
        std::vector<Entry> diskEntries = Entries(list);
        LogLoadStatus fromMemory = LoadBytes(list, bytes);
        EXPECT_EQ(fromDisk, fromMemory);
        EXPECT_EQ(diskEntries, Entries(list));
    }

    ScratchDir dir;
    std::string path = dir.File("Tool.log");
};

TEST_F(LogReadAhead, PaddingHasTheAskedSize)
{
    for (size_t n : {size_t(0), size_t(10), size_t(11), size_t(520), size_t(521), size_t(522), size_t(530),
                     size_t(531), size_t(8000)})
        EXPECT_EQ(Padding(n).size(), n) << n;
}

// Every byte of Tail once at the read-ahead's end: the kind, the flags, a
// line's text, its CR and its LF, the cut of a long line.
TEST_F(LogReadAhead, RecordsAcrossTheEndLoadAsFromMemory)
{
    for (size_t offset = 0; offset <= Tail.size(); ++offset) {
        SCOPED_TRACE("read-ahead ends at byte " + std::to_string(offset) + " of the tail");
        std::string bytes = LogEndingAt(offset);
        ASSERT_EQ(bytes.size() - Tail.size() + offset, LogReadAheadSize);
        ExpectSameAsMemory(bytes);
        ASSERT_EQ(LoadInstallLogStatus(&list, path.c_str()), LogLoadComplete);
        EXPECT_EQ(Entries(list).back(), (Entry{3, "C:\\X", Absent, Absent}));
    }
}

// A file that ends inside a record, at the read-ahead's end or just after it
// (the refill then finds nothing, or less than it asked for): the same
// truncated outcome as from memory.  The end moves through Tail in steps.
TEST_F(LogReadAhead, FilesCutNearTheEndLoadAsFromMemory)
{
    for (size_t offset = 0; offset <= Tail.size(); offset += 23) {
        std::string bytes = LogEndingAt(offset);
        size_t end = LogReadAheadSize;
        for (size_t cut : {end - 1, end, end + 1, end + 5, end + 9}) {
            if (cut >= bytes.size())
                continue;
            SCOPED_TRACE("read-ahead ends at byte " + std::to_string(offset) + " of the tail, file cut at " +
                         std::to_string(cut));
            ExpectSameAsMemory(bytes.substr(0, cut));
        }
    }
}

// Reads of various sizes hand out the file's bytes in order, and the
// position is the count handed out, whatever the read-ahead holds.
struct ChunkCase {
    const char* name;
    std::vector<uint32_t> sizes;  // repeated until the file is read
};

const ChunkCase ChunkCases[] = {
    {"byte by byte", {1}},
    {"odd sizes across the ends", {7, 3, 8}},
    {"one short of the read-ahead, then a byte", {LogReadAheadSize - 1, 1}},
    {"whole read-aheads", {LogReadAheadSize}},
    {"a few bytes, then more than the read-ahead", {5, LogReadAheadSize + 3}},
    {"two read-aheads at once", {2 * LogReadAheadSize + 1}},
};

TEST_F(LogReadAhead, PositionCountsTheBytesHandedOut)
{
    std::string bytes;
    for (uint32_t i = 0; i < 3 * LogReadAheadSize + 17; ++i)
        bytes += static_cast<char>((i * 7 + i / 251) & 0xFF);
    WriteBytes(path, bytes);

    for (const ChunkCase& c : ChunkCases) {
        SCOPED_TRACE(c.name);
        LogFile file;
        ASSERT_EQ(LogFileOpenRead(&file, path.c_str()), 1);
        uint64_t position = 99, size = 0;
        EXPECT_EQ(LogFilePosition(&file, &position), 1);
        EXPECT_EQ(position, 0u);
        std::string got;
        std::vector<char> buffer(3 * LogReadAheadSize);
        for (size_t i = 0; got.size() < bytes.size(); ++i) {
            uint32_t want = c.sizes[i % c.sizes.size()];
            uint32_t done = 0;
            ASSERT_EQ(LogFileRead(&file, buffer.data(), want, &done), 1);
            ASSERT_GT(done, 0u);
            EXPECT_EQ(done, std::min<size_t>(want, bytes.size() - got.size())) << "files are read in full";
            got.append(buffer.data(), done);
            ASSERT_EQ(LogFilePosition(&file, &position), 1);
            ASSERT_EQ(position, got.size());
        }
        EXPECT_TRUE(got == bytes);
        EXPECT_EQ(LogFileSize(&file, &size), 1);
        EXPECT_EQ(size, bytes.size());
        uint32_t done = 99;
        EXPECT_EQ(LogFileRead(&file, buffer.data(), 1, &done), 1);
        EXPECT_EQ(done, 0u) << "at the end";
        EXPECT_EQ(LogFileClose(&file), 1);
    }
}

// An injected failure while the read-ahead holds bytes: the call fails, the
// file stays where it was and the next call goes on with the next byte.
TEST_F(LogReadAhead, AFailedReadKeepsThePosition)
{
    std::string bytes = LogEndingAt(100);
    WriteBytes(path, bytes);
    LogFile file;
    ASSERT_EQ(LogFileOpenRead(&file, path.c_str()), 1);
    std::vector<char> buffer(LogReadAheadSize);
    uint32_t done = 0;
    ASSERT_EQ(LogFileRead(&file, buffer.data(), 10, &done), 1);

    TheLogTestHooks.read = {1, false, 0};
    char byte = 'x';
    done = 77;
    EXPECT_EQ(LogFileRead(&file, &byte, 1, &done), 0);
    EXPECT_EQ(byte, 'x');
    EXPECT_EQ(done, 77u);
    uint64_t position = 0;
    ASSERT_EQ(LogFilePosition(&file, &position), 1);
    EXPECT_EQ(position, 10u);
    ASSERT_EQ(LogFileRead(&file, &byte, 1, &done), 1);
    EXPECT_EQ(byte, bytes[10]);
    LogFileClose(&file);
}

// The system fails the read that would refill the read-ahead: the bytes
// still held are handed out as a short read, the next read fails and leaves
// the position, and reading goes on once the system delivers again.
TEST_F(LogReadAhead, ASystemFailureAfterAPartlyUsedReadAhead)
{
    std::string bytes = LogEndingAt(0) + std::string(LogReadAheadSize, 'z');
    WriteBytes(path, bytes);
    LogFile file;
    ASSERT_EQ(LogFileOpenRead(&file, path.c_str()), 1);
    std::vector<char> buffer(LogReadAheadSize);
    uint32_t done = 0;
    ASSERT_EQ(LogFileRead(&file, buffer.data(), LogReadAheadSize - 3, &done), 1);
    ASSERT_EQ(done, LogReadAheadSize - 3);
    uint64_t position = 0;
    ASSERT_EQ(LogFilePosition(&file, &position), 1);

    // -1 is no open file to the system: every read of it fails.
    intptr_t real = file.handle;
    file.handle = -1;
    char eight[8] = {};
    ASSERT_EQ(LogFileRead(&file, eight, 8, &done), 1);
    EXPECT_EQ(done, 3u);
    EXPECT_EQ(std::string(eight, 3), bytes.substr(LogReadAheadSize - 3, 3));
    done = 77;
    EXPECT_EQ(LogFileRead(&file, eight, 1, &done), 0);
    EXPECT_EQ(done, 77u);
    ASSERT_EQ(LogFilePosition(&file, &position), 1);
    EXPECT_EQ(position, LogReadAheadSize);

    file.handle = real;
    ASSERT_EQ(LogFileRead(&file, eight, 8, &done), 1);
    EXPECT_EQ(std::string(eight, done), bytes.substr(LogReadAheadSize, 8));
    ASSERT_EQ(LogFilePosition(&file, &position), 1);
    EXPECT_EQ(position, LogReadAheadSize + 8);
    LogFileClose(&file);
}

}  // namespace
