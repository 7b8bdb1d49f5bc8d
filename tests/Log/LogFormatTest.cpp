// The "log1" file: exact bytes written, records read back, damaged files,
// and the path-level load and save.
#include "LogTestSupport.h"

using namespace logtest;

namespace {

const std::string Magic = "log1";

// ---- ReadLogLine and WriteLogLine -----------------------------------------

struct ReadLineCase {
    const char* name;
    std::string input;
    int capacity;
    std::string expected;
    LogLineEnd end;
    std::string rest;  // what is left in the file afterwards
};

const ReadLineCase ReadLineCases[] = {
    {"CR LF line", "C:\\X\r\nnext", 512, "C:\\X", LogLineEndLF, "next"},
    {"bare LF ends a line too", "C:\\X\nnext", 512, "C:\\X", LogLineEndLF, "next"},
    {"empty line", "\r\nnext", 512, "", LogLineEndLF, "next"},
    {"CR anywhere is dropped", "a\rb\r\r\nc", 512, "ab", LogLineEndLF, "c"},
    {"end of file before LF", "C:\\Ap", 512, "C:\\Ap", LogLineEndEOF, ""},
    {"nothing left", "", 512, "", LogLineEndEOF, ""},
    {"bytes above 127 are kept", "\xE9t\xE9\r\n", 512, "\xE9t\xE9", LogLineEndLF, ""},
    {"NUL is stored like any byte", std::string("a\0b\n", 4), 512, std::string("a\0b", 3), LogLineEndLF, ""},
    {"capacity - 1 characters fit", "abc\r\n", 4, "abc", LogLineEndLF, ""},
    {"a full buffer loses the last byte read", "abcdef\r\n", 4, "abc", LogLineEndCut, "ef\r\n"},
    {"capacity 1 stores nothing but consumes a byte", "ab\n", 1, "", LogLineEndCut, "b\n"},
    {"capacity 0 reads nothing", "ab\n", 0, "", LogLineEndCut, "ab\n"},
};

TEST(ReadLogLine, Table)
{
    for (const ReadLineCase& c : ReadLineCases) {
        SCOPED_TRACE(c.name);
        LogFile file;
        LogFileOpenMemory(&file, c.input.data(), c.input.size());
        std::string buffer(600, '#');
        LogLineEnd end = LogLineEndLF;
        int count = ReadLogLine(&file, &buffer[0], c.capacity, &end);
        EXPECT_EQ(count, static_cast<int>(c.expected.size()));
        if (c.capacity > 0) {
            EXPECT_EQ(buffer.substr(0, count), c.expected);
            EXPECT_EQ(buffer[count], '\0');
        }
        EXPECT_EQ(end, c.end);
        EXPECT_EQ(c.input.substr(file.position), c.rest);
        LogFileClose(&file);
    }
}

TEST(WriteLogLine, WritesTheBytesThenCrLf)
{
    const struct {
        const char* text;
        std::string bytes;
    } rows[] = {{"", "\r\n"}, {"C:\\X", "C:\\X\r\n"}, {"\xE9", "\xE9\r\n"}};
    for (const auto& row : rows) {
        LogFile file;
        LogFileCreateMemory(&file);
        EXPECT_EQ(WriteLogLine(&file, row.text), 1);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(file.bytes), file.size), row.bytes);
        LogFileClose(&file);
    }
}

// ---- Records ---------------------------------------------------------------

TEST_F(LogTest, KnownEntryIsSavedByteForByte)
{
    ScratchDir dir;
    std::string path = dir.File("Tool.log");
    ASSERT_EQ(LogAddFile(&list, "C:\\X"), 1);
    EXPECT_EQ(SaveInstallLog(&list, path.c_str()), LogSaveWritten);
    EXPECT_EQ(ReadBytes(path), std::string("log1"
                                           "\x03\x00\x00\x00"
                                           "\x01\x00\x00\x00"
                                           "C:\\X\r\n",
                                           18));
    EXPECT_EQ(list.count, 0u) << "saving releases the list";
    EXPECT_EQ(dir.List(), std::vector<std::string>{"Tool.log"}) << "no temporary file is left";
}

TEST_F(LogTest, EmptyLogIsTheFourBytesLog1)
{
    ScratchDir dir;
    std::string path = dir.File("Empty.log");
    EXPECT_EQ(SaveInstallLog(&list, path.c_str()), LogSaveWritten);
    EXPECT_EQ(ReadBytes(path), "log1");
    EXPECT_EQ(LoadInstallLogStatus(&list, path.c_str()), LogLoadComplete);
    EXPECT_EQ(LoadInstallLog(&list, path.c_str()), 1);
    EXPECT_EQ(list.count, 0u);
}

// Every field of the writer: flags from presence (an empty string is present),
// strings in slot order, negative and unassigned kinds kept as they are.
struct SaveCase {
    const char* name;
    Entry entry;
    std::string bytes;  // the record, after the magic
};

const SaveCase SaveCases[] = {
    {"text2 present but empty", {8, Absent, "", Absent}, Record(8, 2, {""})},
    {"all three", {1, "Acme", "Tool", "C:\\Tool"}, Record(1, 7, {"Acme", "Tool", "C:\\Tool"})},
    {"no strings at all", {2, Absent, Absent, Absent}, Record(2, 0, {})},
    {"text1 and text3", {4, "a", Absent, "c"}, Record(4, 5, {"a", "c"})},
    {"all empty", {7, "", "", ""}, Record(7, 7, {"", "", ""})},
    {"unassigned kind", {6, "x", Absent, Absent}, Record(6, 1, {"x"})},
    {"negative kind", {-2, "x", Absent, Absent}, std::string("\xFE\xFF\xFF\xFF\x01\x00\x00\x00x\r\n", 11)},
};

TEST_F(LogTest, RecordsAreWrittenAndReadBack)
{
    for (const SaveCase& c : SaveCases) {
        SCOPED_TRACE(c.name);
        ReleaseInstallLog(&list);
        ASSERT_EQ(Add(list, c.entry), 1);
        std::string bytes = SaveBytes(list);
        EXPECT_EQ(bytes, Magic + c.bytes);
        EXPECT_EQ(LoadBytes(list, bytes), LogLoadComplete);
        EXPECT_EQ(Entries(list), std::vector<Entry>{c.entry});
    }
}

TEST_F(LogTest, SaveAndLoadKeepOrderAndEveryString)
{
    const std::vector<Entry> entries = {
        {1, "Acme", "Tool", "C:\\Tool"},      {2, "C:\\Tool", Absent, Absent},
        {3, "C:\\Tool\\a.exe", Absent, Absent}, {4, "C:\\Win\\b.dll", "b.dll", Absent},
        {5, "Software\\Acme", Absent, Absent}, {7, "C:\\d.sys", "Drv", Absent},
        {8, "Software\\Acme\\X", Absent, Absent}, {3, std::string(511, 'L'), Absent, Absent},
        {3, "C:\\\x80\xA0\xFF", Absent, Absent}, {2, "C:\\Tool\\Data", Absent, Absent},
    };
    ScratchDir dir;
    std::string path = dir.File("Tool.log");
    for (const Entry& e : entries)
        ASSERT_EQ(Add(list, e), 1) << e;
    ASSERT_EQ(SaveInstallLog(&list, path.c_str()), LogSaveWritten);
    ASSERT_EQ(LoadInstallLogStatus(&list, path.c_str()), LogLoadComplete);
    EXPECT_EQ(Entries(list), entries);
}

// ---- Loading damaged and unusual files ------------------------------------

struct LoadCase {
    const char* name;
    std::string bytes;
    LogLoadStatus status;
    std::vector<Entry> expected;
};

const std::string FileX = Record(3, 1, {"C:\\X"});
const Entry EntryX = {3, "C:\\X", Absent, Absent};
const std::string Long600 = std::string(511, 'a') + "b" + std::string(88, 'c');

const LoadCase LoadCases[] = {
    {"magic only", Magic, LogLoadComplete, {}},
    {"empty file", "", LogLoadNotALog, {}},
    {"short magic", "log", LogLoadNotALog, {}},
    {"magic in capitals", "LOG1" + FileX, LogLoadNotALog, {}},
    {"another version", "log2" + FileX, LogLoadNotALog, {}},
    {"flags above bit 2 are ignored", Magic + Record(3, 0xFFFFFFF9u, {"C:\\X"}), LogLoadComplete, {EntryX}},
    {"only the low byte's bits count", Magic + Record(2, 0x00000700u, {}) + FileX, LogLoadComplete,
     {{2, Absent, Absent, Absent}, EntryX}},
    {"bit 3 alone means no strings", Magic + Record(5, 8, {}), LogLoadComplete, {{5, Absent, Absent, Absent}}},
    {"kinds are kept as read", Magic + Record(0, 1, {"z"}) + Record(6, 1, {"s"}) + Record(INT32_MAX, 0, {}),
     LogLoadComplete, {{0, "z", Absent, Absent}, {6, "s", Absent, Absent}, {INT32_MAX, Absent, Absent, Absent}}},
    {"loading does not apply the duplicate rule", Magic + FileX + Record(3, 1, {"c:\\x"}), LogLoadComplete,
     {EntryX, {3, "c:\\x", Absent, Absent}}},
    {"LF-only lines", Magic + U32(4) + U32(3) + "a\nb\n", LogLoadComplete, {{4, "a", "b", Absent}}},
    {"cut inside the kind", Magic + FileX + "\x03\x00", LogLoadTruncated, {EntryX}},
    {"cut inside the flags", Magic + FileX + U32(3) + "\x01", LogLoadTruncated, {EntryX}},
    {"flags without the strings", Magic + FileX + U32(3) + U32(1), LogLoadTruncated, {EntryX}},
    {"last string without LF", Magic + FileX + U32(3) + U32(1) + "C:\\Ap", LogLoadTruncated, {EntryX}},
    {"last string cut after CR", Magic + FileX + U32(3) + U32(1) + "C:\\Ap\r", LogLoadTruncated, {EntryX}},
    {"second of three strings missing", Magic + FileX + U32(1) + U32(7) + "Acme\r\n", LogLoadTruncated, {EntryX}},
    {"a line of 511 characters is whole", Magic + Record(3, 1, {std::string(511, 'a')}), LogLoadComplete,
     {{3, std::string(511, 'a'), Absent, Absent}}},
    {"a line of 512 loses its last byte, and its CR LF is the next field",
     Magic + Record(4, 3, {std::string(512, 'a')}), LogLoadComplete, {{4, std::string(511, 'a'), "", Absent}}},
    {"the rest of a long line is read as the next field", Magic + Record(4, 3, {Long600}) + FileX,
     LogLoadComplete, {{4, std::string(511, 'a'), std::string(88, 'c'), Absent}, EntryX}},
};

TEST_F(LogTest, LoadTable)
{
    for (const LoadCase& c : LoadCases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(LoadBytes(list, c.bytes), c.status);
        EXPECT_EQ(Entries(list), c.expected);
    }
}

// ---- Loading and saving by path --------------------------------------------

TEST_F(LogTest, MissingLogLoadsAsEmpty)
{
    ScratchDir dir;
    LogAddFile(&list, "C:\\left over");
    EXPECT_EQ(LoadInstallLogStatus(&list, dir.File("none.log").c_str()), LogLoadNoFile);
    EXPECT_EQ(list.count, 0u);
    LogAddFile(&list, "C:\\left over");
    EXPECT_EQ(LoadInstallLog(&list, nullptr), 1);
    EXPECT_EQ(list.count, 0u);
    EXPECT_EQ(LoadInstallLog(&list, dir.File("none.log").c_str()), 1);
    EXPECT_EQ(LoadInstallLogStatus(&list, dir.File("").c_str()), LogLoadNoFile) << "a folder is no log";
}

TEST_F(LogTest, NotALogReturnsZeroWithAnEmptyList)
{
    ScratchDir dir;
    std::string path = dir.File("Tool.log");
    WriteBytes(path, "LOG1" + FileX);
    LogAddFile(&list, "C:\\left over");
    EXPECT_EQ(LoadInstallLog(&list, path.c_str()), 0);
    EXPECT_EQ(list.count, 0u);
}

// A second installation over the first: the old entries stay in front, a
// path recorded again under another case is not added twice, and the save
// writes old and new together.
TEST_F(LogTest, InstallingOverAnEarlierLogAccumulates)
{
    ScratchDir dir;
    std::string path = dir.File("Tool.log");
    LogAddProduct(&list, "Acme", "Tool", "C:\\Tool");
    LogAddFile(&list, "C:\\Tool\\a.exe");
    ASSERT_EQ(SaveInstallLog(&list, path.c_str()), LogSaveWritten);

    ASSERT_EQ(LoadInstallLog(&list, path.c_str()), 1);
    EXPECT_EQ(LogAddProduct(&list, "ACME", "Tool 2", "D:\\Tool"), 0);
    EXPECT_EQ(LogAddFile(&list, "c:\\tool\\A.EXE"), 0);
    EXPECT_EQ(LogAddFile(&list, "C:\\Tool\\b.exe"), 1);
    ASSERT_EQ(SaveInstallLog(&list, path.c_str()), LogSaveWritten);

    ASSERT_EQ(LoadInstallLog(&list, path.c_str()), 1);
    EXPECT_EQ(Entries(list), (std::vector<Entry>{{1, "Acme", "Tool", "C:\\Tool"},
                                                 {3, "C:\\Tool\\a.exe", Absent, Absent},
                                                 {3, "C:\\Tool\\b.exe", Absent, Absent}}));
}

TEST_F(LogTest, SaveReplacesAnOlderLog)
{
    ScratchDir dir;
    std::string path = dir.File("Tool.log");
    WriteBytes(path, "an older and much longer file that must not survive in part");
    LogAddFile(&list, "C:\\X");
    EXPECT_EQ(SaveInstallLog(&list, path.c_str()), LogSaveWritten);
    EXPECT_EQ(ReadBytes(path), Magic + FileX);
    EXPECT_EQ(dir.List(), std::vector<std::string>{"Tool.log"});
}

TEST_F(LogTest, SaveAlwaysReleasesTheList)
{
    ScratchDir dir;
    LogAddFile(&list, "C:\\X");
    EXPECT_EQ(SaveInstallLog(&list, nullptr), LogSaveReleased);
    EXPECT_EQ(list.count, 0u);
    EXPECT_EQ(list.first, nullptr);

    LogAddFile(&list, "C:\\X");
    std::string unreachable = dir.File("no such folder") + "/Tool.log";
    EXPECT_EQ(SaveInstallLog(&list, unreachable.c_str()), LogSaveFailed);
    EXPECT_EQ(list.count, 0u);
    EXPECT_TRUE(dir.List().empty());
}

}  // namespace
