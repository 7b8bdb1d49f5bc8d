// Which Windows the version built-ins recognise, from the fields GetVersionExA reports.
#include <gtest/gtest.h>

#include "WindowsVersion.h"

namespace {

struct VersionCase {
    const char* windows;
    uint32_t platform, major, minor;
    // iswin95, iswin98, iswinme, iswinnt, iswin2000, iswinfamilynt, iswinfamily9x
    int expected[WindowsVersionTestCount];
};

const VersionCase VersionCases[] = {
    {"Windows 95", 1, 4, 0, {1, 0, 0, 0, 0, 0, 1}},
    {"Windows 98", 1, 4, 10, {0, 1, 0, 0, 0, 0, 1}},
    {"Windows Me", 1, 4, 90, {0, 0, 1, 0, 0, 0, 1}},
    {"95 family, unknown minor", 1, 4, 3, {0, 0, 0, 0, 0, 0, 1}},
    {"Windows NT 4.0", 2, 4, 0, {0, 0, 0, 1, 0, 1, 0}},
    {"Windows NT 3.51", 2, 3, 51, {0, 0, 0, 0, 0, 1, 0}},
    {"Windows 2000", 2, 5, 0, {0, 0, 0, 0, 1, 1, 0}},
    {"Windows XP", 2, 5, 1, {0, 0, 0, 0, 0, 1, 0}},
    {"Windows XP x64", 2, 5, 2, {0, 0, 0, 0, 0, 1, 0}},
    {"Windows Vista", 2, 6, 0, {0, 0, 0, 0, 0, 1, 0}},
    {"Windows 10", 2, 10, 0, {0, 0, 0, 0, 0, 1, 0}},
    {"Win32s", 0, 3, 10, {0, 0, 0, 0, 0, 0, 0}},
    {"95 numbers on the NT platform", 2, 4, 10, {0, 0, 0, 0, 0, 1, 0}},
    {"NT numbers on the 95 platform", 1, 5, 0, {0, 0, 0, 0, 0, 0, 1}},
};

TEST(WindowsVersionMatches, Table)
{
    for (const VersionCase& c : VersionCases)
        for (int test = 0; test < WindowsVersionTestCount; ++test)
            EXPECT_EQ(WindowsVersionMatches(static_cast<WindowsVersionTest>(test), c.platform, c.major, c.minor),
                      c.expected[test])
                << c.windows << ", test " << test;
}

}  // namespace
