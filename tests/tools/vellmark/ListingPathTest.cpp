// The path `vellmark list` prints for an entry: names from the top down,
// escaped for the terminal, parents outside the directory as "?", and no
// path at all for a chain of parents deeper than a path can be.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "ListingPath.h"

namespace {

PackageEntry Record(const std::string& name, int32_t parent)
{
    PackageEntry e;
    memset(&e, 0, sizeof e);
    memcpy(e.name, name.data(), name.size());
    e.parent = parent;
    return e;
}

}  // namespace

TEST(ListingPath, BuildsEscapedPathsFromParents)
{
    std::vector<PackageEntry> dir = {
        Record(".", -1),                   // 0
        Record("Docs", 0),                 // 1
        Record("readme.txt", 1),           // 2
        Record("", 0),                     // 3 an empty name
        Record("under empty", 3),          // 4
        Record("far", 999),                // 5 a parent outside the directory
        Record("neg", -7),                 // 6 a negative parent
        Record("esc\x1b[2J", 1),           // 7
        Record("a\\b\"c\x7f\n", 0),        // 8
        Record("caf\xe9", 5),              // 9
        Record("self", 10),                // 10 its own parent
    };
    struct Case {
        uint32_t index;
        int result;
        const char* path;
    };
    const Case cases[] = {
        {1, ListingPathOk, "Docs"},
        {2, ListingPathOk, "Docs\\readme.txt"},
        {3, ListingPathOk, ""},
        {4, ListingPathOk, "\\under empty"},          // the empty level still shows
        {5, ListingPathOk, "?\\far"},
        {6, ListingPathOk, "?\\neg"},
        {7, ListingPathOk, "Docs\\esc\\x1B[2J"},
        {8, ListingPathOk, "a\\x5Cb\\x22c\\x7F\\x0A"},
        {9, ListingPathOk, "?\\far\\caf\xc3\xa9"},
        {10, ListingPathTooDeep, ""},
    };
    for (const Case& c : cases) {
        std::string path = "stale";
        EXPECT_EQ(BuildListingPath(dir.data(), static_cast<uint32_t>(dir.size()), c.index, &path), c.result)
            << c.index;
        EXPECT_EQ(path, c.path) << c.index;
    }
}

TEST(ListingPath, FollowsAtMostTheDeepestPathAFolderTreeCanHold)
{
    // A chain of folders: entry k stands at depth k.
    std::vector<PackageEntry> dir = {Record(".", -1)};
    for (int32_t k = 1; k <= 200; ++k)
        dir.push_back(Record("d", k - 1));
    std::string path;
    ASSERT_EQ(BuildListingPath(dir.data(), static_cast<uint32_t>(dir.size()), ListingPathDepthLimit, &path),
              ListingPathOk);
    EXPECT_EQ(path.size(), 2 * ListingPathDepthLimit - 1);
    EXPECT_EQ(BuildListingPath(dir.data(), static_cast<uint32_t>(dir.size()), ListingPathDepthLimit + 1, &path),
              ListingPathTooDeep);
    EXPECT_EQ(BuildListingPath(dir.data(), static_cast<uint32_t>(dir.size()), 200, &path), ListingPathTooDeep);
    EXPECT_EQ(ListingPathDepthLimit, 130u);
}
