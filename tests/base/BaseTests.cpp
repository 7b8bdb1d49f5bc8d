// The portable base: the Windows-1252 conversion of names.
#include <gtest/gtest.h>

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
