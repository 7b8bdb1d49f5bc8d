// Editing the machine's search path: which items name a folder, adding it
// once, and removing exactly that folder while the other items, added or
// removed by others meanwhile, stay as they are.
#include <gtest/gtest.h>

#include <string>

#include "PathList.h"

namespace {

struct HasCase {
    const char* name;
    const char* list;
    const char* folder;
    bool has;
};

const HasCase HasCases[] = {
    {"the same spelling", "C:\\Windows;C:\\Acme\\bin", "C:\\Acme\\bin", true},
    {"case does not matter", "C:\\Windows;c:\\ACME\\Bin", "C:\\Acme\\bin", true},
    {"a trailing backslash on the list's item", "C:\\Acme\\bin\\;C:\\Windows", "C:\\Acme\\bin", true},
    {"a trailing backslash on the folder", "C:\\Acme\\bin", "C:\\Acme\\bin\\", true},
    {"quotes around the item", "\"C:\\Program Files\\Acme\";C:\\Windows", "C:\\Program Files\\Acme", true},
    {"blanks around the item", "C:\\Windows; C:\\Acme ;D:\\", "C:\\Acme", true},
    {"a longer folder is another", "C:\\Acme\\bin2", "C:\\Acme\\bin", false},
    {"a parent is another", "C:\\Acme", "C:\\Acme\\bin", false},
    {"empty items match nothing", ";;", "", false},
    {"an empty list", "", "C:\\Acme", false},
    {"no list", nullptr, "C:\\Acme", false},
};

TEST(PathList, Has)
{
    for (const HasCase& c : HasCases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(PathListHas(c.list, c.folder), c.has);
    }
}

struct AddCase {
    const char* name;
    const char* list;
    const char* folder;
    const char* result;   // null: refused
};

const AddCase AddCases[] = {
    {"appended after a separator", "C:\\Windows", "C:\\Acme", "C:\\Windows;C:\\Acme"},
    {"no second separator after a trailing one", "C:\\Windows;", "C:\\Acme", "C:\\Windows;C:\\Acme"},
    {"an empty list", "", "C:\\Acme", "C:\\Acme"},
    {"no list", nullptr, "C:\\Acme", "C:\\Acme"},
    {"written as given", "C:\\Windows", "C:\\Program Files\\Acme\\", "C:\\Windows;C:\\Program Files\\Acme\\"},
    {"a folder with a separator is two items", "C:\\Windows", "C:\\A;C:\\B", nullptr},
    {"an empty folder", "C:\\Windows", "", nullptr},
    {"blanks are no folder", "C:\\Windows", "  ", nullptr},
};

TEST(PathList, Add)
{
    for (const AddCase& c : AddCases) {
        SCOPED_TRACE(c.name);
        char out[256];
        int added = PathListAdd(c.list, c.folder, out, sizeof out);
        EXPECT_EQ(added, c.result ? 1 : 0);
        EXPECT_EQ(std::string(out), c.result ? c.result : "");
    }
}

TEST(PathList, AddRefusesAResultThatDoesNotFit)
{
    char out[13];
    EXPECT_EQ(PathListAdd("C:\\Windows", "CD", out, sizeof out), 0);
    EXPECT_STREQ(out, "");
    EXPECT_EQ(PathListAdd("C:\\Windows", "C", out, sizeof out), 1) << "12 characters and the terminator fit";
    EXPECT_STREQ(out, "C:\\Windows;C");
}

struct RemoveCase {
    const char* name;
    const char* list;
    const char* folder;
    const char* result;
    int removed;
};

const RemoveCase RemoveCases[] = {
    {"at the start", "C:\\Acme;C:\\Windows;C:\\Tools", "C:\\Acme", "C:\\Windows;C:\\Tools", 1},
    {"in the middle", "C:\\Windows;C:\\Acme;C:\\Tools", "C:\\Acme", "C:\\Windows;C:\\Tools", 1},
    {"at the end", "C:\\Windows;C:\\Tools;C:\\Acme", "C:\\Acme", "C:\\Windows;C:\\Tools", 1},
    {"the only item", "C:\\Acme", "C:\\Acme", "", 1},
    {"another case and a trailing backslash", "C:\\Windows;c:\\acme\\", "C:\\Acme", "C:\\Windows", 1},
    {"in quotes", "C:\\Windows;\"C:\\Program Files\\Acme\";D:\\", "C:\\Program Files\\Acme", "C:\\Windows;D:\\", 1},
    {"every copy goes", "C:\\Acme;C:\\Windows;C:\\ACME", "C:\\Acme", "C:\\Windows", 2},
    {"not there: unchanged", "C:\\Windows;C:\\Tools", "C:\\Acme", "C:\\Windows;C:\\Tools", 0},
    {"a longer folder stays", "C:\\Acme\\bin;C:\\Acme", "C:\\Acme", "C:\\Acme\\bin", 1},
    {"empty items elsewhere stay", "C:\\Windows;;C:\\Acme;C:\\Tools;", "C:\\Acme", "C:\\Windows;;C:\\Tools;", 1},
    {"a trailing separator stays", "C:\\Windows;C:\\Acme;", "C:\\Acme", "C:\\Windows;", 1},
    {"other items keep their spelling", " C:\\Windows ;C:\\Acme;%SystemRoot%\\x\\", "C:\\Acme",
     " C:\\Windows ;%SystemRoot%\\x\\", 1},
    // Others changed the list after the installation added C:\Acme at its end.
    {"a folder added after ours", "C:\\Windows;C:\\Acme;C:\\Later", "C:\\Acme", "C:\\Windows;C:\\Later", 1},
    {"a folder before ours removed", "C:\\Acme;C:\\Later", "C:\\Acme", "C:\\Later", 1},
    {"ours moved to the front by someone", "C:\\Acme;C:\\Windows;C:\\Later", "C:\\Acme", "C:\\Windows;C:\\Later", 1},
    {"an empty folder removes nothing", "C:\\Windows;;C:\\Tools", "", "C:\\Windows;;C:\\Tools", 0},
    {"an empty list", "", "C:\\Acme", "", 0},
};

TEST(PathList, Remove)
{
    for (const RemoveCase& c : RemoveCases) {
        SCOPED_TRACE(c.name);
        char out[256];
        EXPECT_EQ(PathListRemove(c.list, c.folder, out, sizeof out), c.removed);
        EXPECT_EQ(std::string(out), c.result);
        EXPECT_FALSE(PathListHas(out, c.folder));
    }
}

TEST(PathList, AddThenRemoveGivesTheListBack)
{
    for (const char* list : {"C:\\Windows", "", "C:\\Windows;;C:\\Tools"}) {
        SCOPED_TRACE(list);
        char added[256], removed[256];
        ASSERT_EQ(PathListAdd(list, "C:\\Acme", added, sizeof added), 1);
        EXPECT_EQ(PathListRemove(added, "C:\\Acme", removed, sizeof removed), 1);
        std::string expected = list;
        EXPECT_EQ(std::string(removed), expected);
    }
}

TEST(PathList, RemoveRefusesAResultThatDoesNotFit)
{
    char out[8];
    EXPECT_EQ(PathListRemove("C:\\Windows;C:\\Acme", "C:\\Acme", out, sizeof out), -1);
    EXPECT_STREQ(out, "");
}

}  // namespace
