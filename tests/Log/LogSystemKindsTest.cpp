// The kinds of the registry, file-type and PATH built-ins (their names are in
// LogListTest's table): their records byte for byte, the RegValue path that names a value,
// and entries of kinds this build does not know, which a log keeps.
#include "LogTestSupport.h"

#include <cstring>

using namespace logtest;

namespace {

TEST_F(LogTest, NewKindsAreLog1RecordsAndReadBack)
{
    ASSERT_EQ(LogAddRegValue(&list, "HKLM\\Software\\Acme\\\\Version", "HKLM\\Software\\Acme"), 1);
    ASSERT_EQ(LogAddRegValue(&list, "HKCU\\Software\\Acme\\\\", nullptr), 1);
    ASSERT_EQ(LogAddFileType(&list, ".acme", "Acme.Document", "Old.Document"), 1);
    ASSERT_EQ(LogAddFileType(&list, ".acm2", "Acme.Document", nullptr), 1);
    ASSERT_EQ(LogAddPathFolder(&list, "C:\\Program Files\\Acme\\bin"), 1);
    std::string bytes = SaveBytes(list);
    EXPECT_EQ(bytes, "log1" + Record(9, 3, {"HKLM\\Software\\Acme\\\\Version", "HKLM\\Software\\Acme"}) +
                         Record(9, 1, {"HKCU\\Software\\Acme\\\\"}) +
                         Record(10, 7, {".acme", "Acme.Document", "Old.Document"}) +
                         Record(10, 3, {".acm2", "Acme.Document"}) +
                         Record(11, 1, {"C:\\Program Files\\Acme\\bin"}));
    std::vector<Entry> before = Entries(list);
    ASSERT_EQ(LoadBytes(list, bytes), LogLoadComplete);
    EXPECT_EQ(Entries(list), before);
}

TEST_F(LogTest, NewKindsFollowTheDuplicateRule)
{
    EXPECT_EQ(LogAddRegValue(&list, "HKLM\\Software\\Acme\\\\Version", nullptr), 1);
    EXPECT_EQ(LogAddRegValue(&list, "hklm\\software\\acme\\\\VERSION", "HKLM\\Software\\Acme"), 0)
        << "the same value of the same key is recorded once";
    EXPECT_EQ(LogAddRegValue(&list, "HKLM\\Software\\Acme\\\\Path", nullptr), 1)
        << "another value of the same key is another entry";
    EXPECT_EQ(LogAddPathFolder(&list, "C:\\Acme\\bin"), 1);
    EXPECT_EQ(LogAddPathFolder(&list, "c:\\acme\\BIN"), 0);
    EXPECT_EQ(LogAddFileType(&list, ".acme", "A", nullptr), 1);
    EXPECT_EQ(LogAddFileType(&list, ".ACME", "B", nullptr), 0);
    EXPECT_EQ(list.count, 4u);
}

// A log written by a newer build: its kinds are kept in order, with their
// strings, and saved back byte for byte; the kinds this build knows around
// them are read as usual.
TEST_F(LogTest, UnknownKindsAreKeptAndSavedBack)
{
    std::string bytes = "log1" + Record(3, 1, {"C:\\X"}) + Record(12, 7, {"a", "b", "c"}) +
                        Record(1000, 2, {"only text2"}) + Record(11, 1, {"C:\\bin"});
    ASSERT_EQ(LoadBytes(list, bytes), LogLoadComplete);
    EXPECT_EQ(Entries(list), (std::vector<Entry>{{3, "C:\\X", Absent, Absent},
                                                 {12, "a", "b", "c"},
                                                 {1000, Absent, "only text2", Absent},
                                                 {11, "C:\\bin", Absent, Absent}}));
    EXPECT_EQ(LogKindName(12), nullptr);
    EXPECT_EQ(SaveBytes(list), bytes);
}

struct ValuePathCase {
    const char* name;
    const char* root;
    const char* key;
    const char* value;   // null: the default value
    const char* built;   // null: refused
};

const ValuePathCase ValuePathCases[] = {
    {"a named value", "HKLM", "Software\\Acme\\Tool", "Version", "HKLM\\Software\\Acme\\Tool\\\\Version"},
    {"the default value", "HKCU", "Software\\Acme", nullptr, "HKCU\\Software\\Acme\\\\"},
    {"an empty name is the default", "HKCU", "Software\\Acme", "", "HKCU\\Software\\Acme\\\\"},
    {"a name with backslashes", "HKLM", "Software\\Acme", "a\\\\b\\", "HKLM\\Software\\Acme\\\\a\\\\b\\"},
    {"one key", "HKLM", "Acme", "x", "HKLM\\Acme\\\\x"},
    {"empty key", "HKLM", "", "x", nullptr},
    {"key with a leading backslash", "HKLM", "\\Software", "x", nullptr},
    {"key with a trailing backslash", "HKLM", "Software\\", "x", nullptr},
    {"key with an empty name inside", "HKLM", "Software\\\\Acme", "x", nullptr},
};

TEST(LogRegValuePath, BuildsAndSplitsBack)
{
    for (const ValuePathCase& c : ValuePathCases) {
        SCOPED_TRACE(c.name);
        char built[512];
        int made = LogBuildRegValuePath(c.root, c.key, c.value, built, sizeof built);
        if (!c.built) {
            EXPECT_EQ(made, 0);
            EXPECT_STREQ(built, "");
            continue;
        }
        ASSERT_EQ(made, 1);
        EXPECT_STREQ(built, c.built);
        const char *root = nullptr, *key = nullptr, *value = nullptr;
        ASSERT_EQ(LogSplitRegValuePath(built, &root, &key, &value), 1);
        EXPECT_STREQ(root, c.root);
        EXPECT_STREQ(key, c.key);
        EXPECT_STREQ(value, c.value ? c.value : "");
    }
}

TEST(LogRegValuePath, RefusesWhatDoesNotFitOrSplit)
{
    char small[16];
    EXPECT_EQ(LogBuildRegValuePath("HKLM", "Software\\Acme", "Version", small, sizeof small), 0);
    EXPECT_STREQ(small, "");
    for (const char* damaged : {"HKLM", "HKLM\\Software", "\\\\x", "HKLM\\\\x", "\\Software\\\\x"}) {
        SCOPED_TRACE(damaged);
        char text[64];
        strcpy(text, damaged);
        const char *root = nullptr, *key = nullptr, *value = nullptr;
        EXPECT_EQ(LogSplitRegValuePath(text, &root, &key, &value), 0);
    }
}

}  // namespace
