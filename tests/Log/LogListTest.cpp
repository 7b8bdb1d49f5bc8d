// The in-memory list: the duplicate rule, the typed adders and the walk.
#include "LogTestSupport.h"

#include <cstring>

using namespace logtest;

namespace {

struct AddStep {
    Entry entry;
    int added;  // the expected result of LogAddEntry
};

struct DuplicateCase {
    const char* name;
    std::vector<AddStep> steps;
    std::vector<Entry> expected;
};

const std::string Line511(511, 'x');
const std::string Line512(512, 'x');

const DuplicateCase DuplicateCases[] = {
    {"same path, other case",
     {{{3, "C:\\App\\a.txt", Absent, Absent}, 1}, {{3, "c:\\app\\A.TXT", Absent, Absent}, 0}},
     {{3, "C:\\App\\a.txt", Absent, Absent}}},
    {"same path as File and as SharedFile",
     {{{3, "C:\\App\\a.dll", Absent, Absent}, 1}, {{4, "C:\\App\\a.dll", "a.dll", Absent}, 1}},
     {{3, "C:\\App\\a.dll", Absent, Absent}, {4, "C:\\App\\a.dll", "a.dll", Absent}}},
    {"second Product with the same company keeps the first's strings",
     {{{1, "Acme", "Tool", "C:\\Tool"}, 1}, {{1, "ACME", "Other", "D:\\Other"}, 0}},
     {{1, "Acme", "Tool", "C:\\Tool"}}},
    {"absent text1 never collides",
     {{{8, Absent, "a", Absent}, 1}, {{8, Absent, "a", Absent}, 1}},
     {{8, Absent, "a", Absent}, {8, Absent, "a", Absent}}},
    {"empty text1 is present and collides with another empty one",
     {{{2, "", Absent, Absent}, 1}, {{2, "", "x", Absent}, 0}, {{2, Absent, Absent, Absent}, 1}},
     {{2, "", Absent, Absent}, {2, Absent, Absent, Absent}}},
    {"only text1 counts",
     {{{4, "C:\\a", "one", Absent}, 1}, {{4, "C:\\b", "one", Absent}, 1}, {{4, "c:\\A", "two", Absent}, 0}},
     {{4, "C:\\a", "one", Absent}, {4, "C:\\b", "one", Absent}}},
    {"a prefix is a different text",
     {{{3, "C:\\a", Absent, Absent}, 1}, {{3, "C:\\ab", Absent, Absent}, 1}, {{3, "C:\\A", Absent, Absent}, 0}},
     {{3, "C:\\a", Absent, Absent}, {3, "C:\\ab", Absent, Absent}}},
    {"letters above ASCII do not fold",
     {{{3, "C:\\\xC9t\xE9", Absent, Absent}, 1}, {{3, "C:\\\xE9t\xE9", Absent, Absent}, 1},
      {{3, "c:\\\xC9T\xE9", Absent, Absent}, 0}},
     {{3, "C:\\\xC9t\xE9", Absent, Absent}, {3, "C:\\\xE9t\xE9", Absent, Absent}}},
    {"folding is only A-Z: '@' and '`', '[' and '{' stay apart",
     {{{3, "@[", Absent, Absent}, 1}, {{3, "`{", Absent, Absent}, 1}},
     {{3, "@[", Absent, Absent}, {3, "`{", Absent, Absent}}},
    {"the wildcard kind is never stored",
     {{{0, "C:\\a", Absent, Absent}, 0}},
     {}},
    {"strings the file cannot carry are refused whole",
     {{{3, "C:\\a\r\nb", Absent, Absent}, 0}, {{4, "C:\\a", "x\ny", Absent}, 0},
      {{1, "Acme", "Tool", "C:\\\rX"}, 0}, {{3, Line512, Absent, Absent}, 0},
      {{3, Line511, Absent, Absent}, 1}},
     {{3, Line511, Absent, Absent}}},
};

TEST(LogDuplicateRule, Table)
{
    for (const DuplicateCase& c : DuplicateCases) {
        SCOPED_TRACE(c.name);
        InstallLog list{};
        for (const AddStep& step : c.steps)
            EXPECT_EQ(Add(list, step.entry), step.added) << step.entry;
        EXPECT_EQ(Entries(list), c.expected);
        EXPECT_EQ(list.count, c.expected.size());
        ReleaseInstallLog(&list);
    }
}

TEST(LogDuplicateRule, StringsAreCopiedNotKept)
{
    InstallLog list{};
    char path[] = "C:\\App\\a.txt";
    ASSERT_EQ(LogAddFile(&list, path), 1);
    std::strcpy(path, "C:\\Changed");
    EXPECT_EQ(Entries(list), (std::vector<Entry>{{3, "C:\\App\\a.txt", Absent, Absent}}));
    EXPECT_EQ(LogAddFile(&list, "C:\\APP\\A.TXT"), 0);
    ReleaseInstallLog(&list);
}

// A table for the adders: which kind each records and in which slots.
struct AdderCase {
    const char* name;
    int (*add)(InstallLog*);
    Entry expected;
};

const AdderCase AdderCases[] = {
    {"product", [](InstallLog* l) { return LogAddProduct(l, "Acme", "Tool", "C:\\Tool"); },
     {1, "Acme", "Tool", "C:\\Tool"}},
    {"product without company", [](InstallLog* l) { return LogAddProduct(l, nullptr, "Tool", ""); },
     {1, Absent, "Tool", ""}},
    {"directory", [](InstallLog* l) { return LogAddDirectory(l, "C:\\Tool"); }, {2, "C:\\Tool", Absent, Absent}},
    {"file", [](InstallLog* l) { return LogAddFile(l, "C:\\Tool\\a.exe"); }, {3, "C:\\Tool\\a.exe", Absent, Absent}},
    {"shared file", [](InstallLog* l) { return LogAddSharedFile(l, "C:\\Sys\\b.dll", "b.dll"); },
     {4, "C:\\Sys\\b.dll", "b.dll", Absent}},
    {"prefs key", [](InstallLog* l) { return LogAddPrefsKey(l, "Software\\Acme\\Tool"); },
     {5, "Software\\Acme\\Tool", Absent, Absent}},
    {"driver", [](InstallLog* l) { return LogAddDriver(l, "C:\\Sys\\d.sys", "AcmeDrv"); },
     {7, "C:\\Sys\\d.sys", "AcmeDrv", Absent}},
    {"driver without service", [](InstallLog* l) { return LogAddDriver(l, "C:\\Sys\\d.sys", nullptr); },
     {7, "C:\\Sys\\d.sys", Absent, Absent}},
};

TEST(LogAdders, RecordTheirKindAndSlots)
{
    for (const AdderCase& c : AdderCases) {
        SCOPED_TRACE(c.name);
        InstallLog list{};
        EXPECT_EQ(c.add(&list), 1);
        EXPECT_EQ(c.add(&list), c.expected.text1 ? 0 : 1) << "the second call is a duplicate";
        EXPECT_EQ(Entries(list).front(), c.expected);
        ReleaseInstallLog(&list);
    }
}

TEST(LogKindNames, Table)
{
    const struct {
        int32_t kind;
        const char* name;
    } rows[] = {{0, nullptr},         {1, "Product"}, {2, "Directory"}, {3, "File"},
                {4, "SharedFile"},    {5, "PrefsKey"}, {6, nullptr},    {7, "Driver"},
                {8, "UserKey"},       {9, "RegValue"}, {10, "FileType"}, {11, "PathFolder"},
                {12, nullptr},        {-1, nullptr},   {INT32_MIN, nullptr}};
    for (const auto& row : rows) {
        const char* name = LogKindName(row.kind);
        if (row.name)
            EXPECT_STREQ(name, row.name) << row.kind;
        else
            EXPECT_EQ(name, nullptr) << row.kind;
    }
}

class FindLogEntryTest : public LogTest {
protected:
    void SetUp() override
    {
        LogTest::SetUp();
        LogAddProduct(&list, "Acme", "Tool", "C:\\Tool");
        LogAddDirectory(&list, "C:\\Tool");
        LogAddFile(&list, "C:\\Tool\\a.exe");
        LogAddDirectory(&list, "C:\\Tool\\Data");
        LogAddFile(&list, "C:\\Tool\\b.exe");
        LogAddDriver(&list, "C:\\d.sys", "D");
    }
    std::vector<std::string> Walk(int32_t kind)
    {
        std::vector<std::string> texts;
        for (const LogEntry* e = FindLogEntry(&list, nullptr, kind); e; e = FindLogEntry(&list, e, kind))
            texts.push_back(e->text1);
        return texts;
    }
};

TEST_F(FindLogEntryTest, WalksOneKindOrAllInListOrder)
{
    using V = std::vector<std::string>;
    EXPECT_EQ(Walk(LogKindAny), (V{"Acme", "C:\\Tool", "C:\\Tool\\a.exe", "C:\\Tool\\Data", "C:\\Tool\\b.exe", "C:\\d.sys"}));
    EXPECT_EQ(Walk(LogKindDirectory), (V{"C:\\Tool", "C:\\Tool\\Data"}));
    EXPECT_EQ(Walk(LogKindFile), (V{"C:\\Tool\\a.exe", "C:\\Tool\\b.exe"}));
    EXPECT_EQ(Walk(LogKindDriver), (V{"C:\\d.sys"}));
    EXPECT_EQ(Walk(LogKindUserKey), V{});
    EXPECT_EQ(Walk(6), V{});
}

TEST_F(FindLogEntryTest, StartsAfterTheGivenEntryAndEndsWithNull)
{
    const LogEntry* dir = FindLogEntry(&list, nullptr, LogKindDirectory);
    ASSERT_NE(dir, nullptr);
    const LogEntry* file = FindLogEntry(&list, dir, LogKindFile);
    ASSERT_NE(file, nullptr);
    EXPECT_STREQ(file->text1, "C:\\Tool\\a.exe");
    EXPECT_EQ(FindLogEntry(&list, list.last, LogKindAny), nullptr);
    InstallLog empty{};
    EXPECT_EQ(FindLogEntry(&empty, nullptr, LogKindAny), nullptr);
}

TEST_F(FindLogEntryTest, ReleaseEmptiesTheList)
{
    ReleaseInstallLog(&list);
    EXPECT_EQ(list.count, 0u);
    EXPECT_EQ(FindLogEntry(&list, nullptr, LogKindAny), nullptr);
    // A released list takes entries again, with a fresh duplicate index.
    EXPECT_EQ(LogAddFile(&list, "C:\\Tool\\a.exe"), 1);
    EXPECT_EQ(LogAddFile(&list, "c:\\tool\\A.EXE"), 0);
}

// The index must keep the rule exact when it is large and has grown many times:
// every key found again under another case, none confused with its neighbours.
TEST(LogDuplicateIndex, HoldsTheRuleAcrossManyEntries)
{
    constexpr int N = 100000;
    InstallLog list{};
    char path[64];
    for (int i = 0; i < N; ++i) {
        std::snprintf(path, sizeof(path), "C:\\Program Files\\App\\file%06d.dat", i);
        ASSERT_EQ(LogAddFile(&list, path), 1) << i;
    }
    ASSERT_EQ(LogAddSharedFile(&list, "C:\\Program Files\\App\\file000000.dat", "s"), 1);
    int refused = 0;
    for (int i = 0; i < N; ++i) {
        std::snprintf(path, sizeof(path), "c:\\PROGRAM FILES\\app\\FILE%06d.DAT", i);
        refused += LogAddFile(&list, path) == 0;
    }
    EXPECT_EQ(refused, N);
    std::snprintf(path, sizeof(path), "C:\\Program Files\\App\\file%06d.dat", N);
    EXPECT_EQ(LogAddFile(&list, path), 1);
    EXPECT_EQ(list.count, static_cast<size_t>(N + 2));
    EXPECT_STREQ(list.first->text1, "C:\\Program Files\\App\\file000000.dat");
    EXPECT_STREQ(list.last->text1, path);
    ReleaseInstallLog(&list);
}

TEST(TheInstallLog, StartsEmpty)
{
    EXPECT_EQ(TheInstallLog.count, 0u);
    EXPECT_EQ(FindLogEntry(&TheInstallLog, nullptr, LogKindAny), nullptr);
}

}  // namespace
