// What `vellmark extract -d` plans to write: the names it refuses, broken
// parents, duplicates, depth, the chosen subtrees and the paths under DIR.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "EntryName.h"
#include "ExtractPlan.h"

namespace {

PackageEntry Record(const std::string& name, int32_t parent, bool folder = false)
{
    PackageEntry e;
    memset(&e, 0, sizeof e);
    memcpy(e.name, name.data(), std::min<size_t>(name.size(), PackageNameSize));
    e.parent = parent;
    e.attributes = folder ? PackageAttributeDirectory : PackageAttributeFile;
    return e;
}

PackageEntry Folder(const std::string& name, int32_t parent)
{
    return Record(name, parent, true);
}

std::vector<std::string> Paths(const std::vector<PackageEntry>& dir, const std::vector<uint32_t>& indices)
{
    std::vector<std::string> paths;
    for (uint32_t i : indices)
        paths.push_back(ExtractedPath(dir.data(), i));
    return paths;
}

int Plan(const std::vector<PackageEntry>& dir, const std::vector<uint32_t>& chosen, ExtractPlan* plan)
{
    return PlanExtraction(dir.data(), static_cast<uint32_t>(dir.size()), chosen, plan);
}

}  // namespace

TEST(EntryName, RefusesEveryNameThatIsNoPlainFileName)
{
    struct Case {
        std::string name;
        bool plain;
    };
    const Case cases[] = {
        {"readme.txt", true},
        {"caf\xe9 \x80 \x9f.txt", true},    // Windows-1252 letters, the euro sign
        {"..a", true},
        {"a..", false},                     // a trailing dot
        {".hidden", true},
        {"COM0", true},
        {"LPT10", true},
        {"console", true},
        {"", false},
        {".", false},
        {"..", false},
        {"a/b", false},
        {"/etc", false},
        {"a\\b", false},
        {"\\server", false},
        {"C:", false},
        {"C:evil", false},
        {"file.txt:stream", false},
        {"tab\there", false},
        {"line\nfeed", false},
        {"del\x7f", false},
        {"esc\x1b[2J", false},
        {"a<b", false},
        {"a>b", false},
        {"a\"b", false},
        {"a|b", false},
        {"a?b", false},
        {"a*b", false},
        {"blank ", false},
        {"con", false},
        {"CON.txt", false},
        {"Aux.tar.gz", false},
        {"nul", false},
        {"com1", false},
        {"LPT9.log", false},
        {"COM\xb9", false},
        {"undefined\x81", false},
        {"undefined\x9d", false},
        {std::string(259, 'n'), true},
        {std::string(260, 'n'), false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(EntryNameProblem(c.name.data(), c.name.size()) == nullptr, c.plain) << "'" << c.name << "'";
}

TEST(ExtractPlan, WholePackageFoldersFirstInDirectoryOrder)
{
    std::vector<PackageEntry> dir = {
        Folder(".", -1),                // 0
        Folder("Docs", 0),              // 1
        Record("Install.ini", 0),       // 2
        Folder("Sub", 1),               // 3
        Record("caf\xe9.txt", 3),       // 4
        Record("readme.txt", 1),        // 5
        Folder("Empty", 0),             // 6
    };
    for (const std::vector<uint32_t>& chosen : {std::vector<uint32_t>{}, std::vector<uint32_t>{0}}) {
        ExtractPlan plan;
        ASSERT_EQ(Plan(dir, chosen, &plan), ExtractPlanOk) << plan.error;
        EXPECT_EQ(Paths(dir, plan.folders), (std::vector<std::string>{"Docs", "Docs/Sub", "Empty"}));
        EXPECT_EQ(Paths(dir, plan.files),
                  (std::vector<std::string>{"Install.ini", "Docs/Sub/caf\xc3\xa9.txt", "Docs/readme.txt"}));
    }
}

TEST(ExtractPlan, ChosenSubtreesWithTheFoldersAboveThem)
{
    std::vector<PackageEntry> dir = {
        Folder(".", -1),                // 0
        Folder("A", 0),                 // 1
        Folder("B", 1),                 // 2
        Record("b.txt", 2),             // 3
        Record("a.txt", 1),             // 4
        Folder("C", 0),                 // 5
        Record("c.txt", 5),             // 6
        Record("early", 7),             // 7 its own parent: never inside anything
        Record("top.txt", 0),           // 8
    };
    struct Case {
        std::vector<uint32_t> chosen;
        std::vector<std::string> folders;
        std::vector<std::string> files;
    };
    const Case cases[] = {
        {{2}, {"A", "A/B"}, {"A/B/b.txt"}},                  // a/b only: a.txt stays out
        {{1}, {"A", "A/B"}, {"A/B/b.txt", "A/a.txt"}},
        {{3}, {"A", "A/B"}, {"A/B/b.txt"}},                  // one file, its folders made
        {{6, 2}, {"A", "A/B", "C"}, {"A/B/b.txt", "C/c.txt"}},
        {{2, 1, 2}, {"A", "A/B"}, {"A/B/b.txt", "A/a.txt"}}, // overlapping choices
        {{8}, {}, {"top.txt"}},
    };
    for (const Case& c : cases) {
        ExtractPlan plan;
        ASSERT_EQ(Plan(dir, c.chosen, &plan), ExtractPlanOk) << plan.error;
        EXPECT_EQ(Paths(dir, plan.folders), c.folders) << c.chosen[0];
        EXPECT_EQ(Paths(dir, plan.files), c.files) << c.chosen[0];
    }
    // The whole package holds entry 7, whose parent is broken.
    ExtractPlan plan;
    EXPECT_EQ(Plan(dir, {}, &plan), ExtractPlanBadParent);
    EXPECT_EQ(plan.entry, 7u);
}

TEST(ExtractPlan, RefusesBeforeAnythingIsPlanned)
{
    struct Case {
        const char* what;
        std::vector<PackageEntry> dir;
        std::vector<uint32_t> chosen;
        int result;
        uint32_t entry;
    };
    const Case cases[] = {
        {"dot-dot file", {Folder(".", -1), Record("..", 0)}, {}, ExtractPlanBadName, 1},
        {"dot-dot folder above a file", {Folder(".", -1), Folder("..", 0), Record("x", 1)}, {2}, ExtractPlanBadName, 1},
        {"separator", {Folder(".", -1), Record("../../etc/passwd", 0)}, {}, ExtractPlanBadName, 1},
        {"backslash", {Folder(".", -1), Record("..\\..\\x", 0)}, {}, ExtractPlanBadName, 1},
        {"drive letter", {Folder(".", -1), Record("C:", 0)}, {}, ExtractPlanBadName, 1},
        {"stream", {Folder(".", -1), Record("a:b", 0)}, {}, ExtractPlanBadName, 1},
        {"control byte", {Folder(".", -1), Record("a\rb", 0)}, {}, ExtractPlanBadName, 1},
        {"empty name", {Folder(".", -1), Record("", 0)}, {}, ExtractPlanBadName, 1},
        {"parent after", {Folder(".", -1), Record("x", 2), Folder("d", 0)}, {}, ExtractPlanBadParent, 1},
        {"own parent", {Folder(".", -1), Folder("x", 1)}, {}, ExtractPlanBadParent, 1},
        {"loop", {Folder(".", -1), Folder("x", 2), Folder("y", 1)}, {}, ExtractPlanBadParent, 1},
        {"negative parent", {Folder(".", -1), Record("x", -1)}, {}, ExtractPlanBadParent, 1},
        {"far parent", {Folder(".", -1), Record("x", 70000)}, {}, ExtractPlanBadParent, 1},
        {"file as parent", {Folder(".", -1), Record("f", 0), Record("x", 1)}, {}, ExtractPlanBadParent, 2},
        {"same name", {Folder(".", -1), Record("a.txt", 0), Record("a.txt", 0)}, {}, ExtractPlanSameName, 2},
        {"same name, other case", {Folder(".", -1), Record("A.TXT", 0), Folder("a.txt", 0)}, {}, ExtractPlanSameName, 2},
        {"chosen under a bad name", {Folder(".", -1), Folder("a:", 0), Record("x", 1)}, {2}, ExtractPlanBadName, 1},
    };
    for (const Case& c : cases) {
        ExtractPlan plan;
        plan.files = {99};
        EXPECT_EQ(Plan(c.dir, c.chosen, &plan), c.result) << c.what;
        EXPECT_EQ(plan.entry, c.entry) << c.what;
        EXPECT_TRUE(plan.files.empty() && plan.folders.empty()) << c.what;
        EXPECT_NE(plan.error.find("entry " + std::to_string(c.entry) + " ("), std::string::npos) << plan.error;
    }
    // A bad name outside the chosen subtree does not matter.
    std::vector<PackageEntry> dir = {Folder(".", -1), Record("..", 0), Folder("ok", 0), Record("f", 2)};
    ExtractPlan plan;
    EXPECT_EQ(Plan(dir, {2}, &plan), ExtractPlanOk);
    EXPECT_EQ(Paths(dir, plan.files), std::vector<std::string>{"ok/f"});
    // Names that differ in a letter outside ASCII are two names, as for the setup.
    dir = {Folder(".", -1), Record("\xe9", 0), Record("\xc9", 0)};
    EXPECT_EQ(Plan(dir, {}, &plan), ExtractPlanOk);
}

TEST(ExtractPlan, AtMostTheDeepestPathAListingShows)
{
    std::vector<PackageEntry> dir = {Folder(".", -1)};
    for (uint32_t k = 1; k <= ExtractDepthLimit; ++k)
        dir.push_back(Folder("d", static_cast<int32_t>(k - 1)));
    ExtractPlan plan;
    EXPECT_EQ(Plan(dir, {}, &plan), ExtractPlanOk) << plan.error;
    EXPECT_EQ(plan.folders.size(), ExtractDepthLimit);
    EXPECT_EQ(Plan(dir, {ExtractDepthLimit}, &plan), ExtractPlanOk) << plan.error;
    // One level more: refused whether it is chosen, inside a chosen folder, or
    // part of the whole package.
    dir.push_back(Record("f", static_cast<int32_t>(ExtractDepthLimit)));
    const std::vector<uint32_t> choices[] = {{}, {ExtractDepthLimit + 1}, {ExtractDepthLimit}, {1}};
    for (const std::vector<uint32_t>& chosen : choices) {
        EXPECT_EQ(Plan(dir, chosen, &plan), ExtractPlanTooDeep);
        EXPECT_EQ(plan.entry, ExtractDepthLimit + 1);
    }
    EXPECT_EQ(ExtractDepthLimit, 130u);
}
