// The portable base: the Windows-1252 conversion of names.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "Windows1252.h"

TEST(Windows1252, ConvertsBothWays)
{
    struct Case {
        std::string utf8;
        bool ok;
        std::string ansi;
    };
    const std::vector<Case> cases = {
        {"plain.txt", true, "plain.txt"},
        {"caf\xC3\xA9.txt", true, "caf\xE9.txt"},          // é
        {"\xE2\x82\xAC", true, "\x80"},                    // €
        {"\xE2\x84\xA2", true, "\x99"},                    // ™
        {"\xC5\xB8", true, "\x9F"},                        // Ÿ
        {"\xC2\x81", false, ""},                           // U+0081 has no place
        {"\xE6\x97\xA5", false, ""},                       // 日
        {"\xF0\x9F\x98\x80", false, ""},                   // emoji
        {"\xC3", false, ""},                               // cut short
        {"\xC1\x81", false, ""},                           // overlong 'A'
        {"\xFF", false, ""},
    };
    for (const Case& c : cases) {
        std::string ansi;
        EXPECT_EQ(Utf8ToWindows1252(c.utf8, &ansi), c.ok) << c.utf8;
        if (c.ok) {
            EXPECT_EQ(ansi, c.ansi) << c.utf8;
            EXPECT_EQ(Windows1252ToUtf8(ansi), c.utf8);
        }
    }
}

TEST(Windows1252, KnowsTheFiveUndefinedBytes)
{
    const std::set<int> undefined = {0x81, 0x8D, 0x8F, 0x90, 0x9D};
    for (int b = 0; b < 256; ++b) {
        bool expected = undefined.count(b) == 1;
        EXPECT_EQ(Windows1252Undefined(static_cast<unsigned char>(b)), expected) << b;
        // The same five the conversion turns into U+FFFD.
        EXPECT_EQ(Windows1252ToUtf8(std::string(1, static_cast<char>(b))) == "\xEF\xBF\xBD", expected) << b;
    }
}
