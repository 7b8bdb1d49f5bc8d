// Setting look-ups over the text of Install.ini.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "Settings.h"

namespace {

struct TextCase {
    const char* what;
    std::string script;
    const char* key;
    int found;
    std::string value;   // when found
};

struct IntCase {
    const char* what;
    std::string script;
    const char* key;
    int found;
    int value;           // when found; otherwise the untouched start value 4242
};

}  // namespace

TEST(Settings, GetSetting)
{
    const std::string block = "// Company=Acme\r\n// Product=Tool\r\n// ProductURL=http://x\r\n// Name= Big Tool \r\n";
    const TextCase cases[] = {
        {"plain", block, "Company", 1, "Acme"},
        {"prefix key before the longer one", block, "Product", 1, "Tool"},
        {"longer key", block, "ProductURL", 1, "http://x"},
        {"spaces kept on both ends", block, "Name", 1, " Big Tool "},
        {"absent", block, "Version", 0, ""},
        {"case-sensitive", block, "company", 0, ""},
        {"longer key above the prefix key", "// ProductURL=u\r\n// Product=Tool\r\n", "Product", 0, ""},
        {"key inside a string literal first", "f() { msgboxok(\"Company\"); }\r\n// Company=Acme\r\n", "Company", 0, ""},
        {"empty value", "// Version=\r\n// X=1\r\n", "Version", 1, ""},
        {"value at the end of the text", "// Version=1.2", "Version", 1, "1.2"},
        {"LF alone does not end the value", "// Name=a\n// Other=b\r\nrest", "Name", 1, "a\n// Other=b"},
        {"key inside a longer word", "// MyCompany=Acme\r\n", "Company", 1, "Acme"},
        {"lower-cased setting line", "company=acme\r\n", "Company", 0, ""},
    };
    for (const TextCase& c : cases) {
        SetupScript = c.script.c_str();
        char value[SettingValueSize];
        strcpy(value, "untouched");
        EXPECT_EQ(GetSetting(c.key, value), c.found) << c.what;
        EXPECT_EQ(std::string(value), c.found ? c.value : std::string("untouched")) << c.what;
    }
    SetupScript = nullptr;
}

TEST(Settings, LongValueIsCutToTheBuffer)
{
    std::string script = "// Name=" + std::string(300, 'x') + "\r\n";
    SetupScript = script.c_str();
    char value[SettingValueSize + 8];
    memset(value, '#', sizeof value);
    EXPECT_EQ(GetSetting("Name", value), 1);
    EXPECT_EQ(std::string(value), std::string(255, 'x'));
    for (size_t i = SettingValueSize; i < sizeof value; ++i)
        EXPECT_EQ(value[i], '#') << "byte " << i << " past the 256-byte buffer was written";
    char small[4];
    EXPECT_EQ(GetSetting("Name", small, sizeof small), 1);
    EXPECT_STREQ(small, "xxx");
    SetupScript = nullptr;
}

TEST(Settings, GetSettingInt)
{
    const IntCase cases[] = {
        {"plain", "// NoLicense=0\r\n", "NoLicense", 1, 0},
        {"one", "// NoLicense=1\r\n", "NoLicense", 1, 1},
        {"space before the digit", "// NoLicense= 1\r\n", "NoLicense", 1, 0},
        {"space after the digit", "// NoLicense=1 \r\n", "NoLicense", 1, 1},
        {"digits then letters", "// Update=12abc\r\n", "Update", 1, 12},
        {"no digits", "// Update=\r\n", "Update", 1, 0},
        {"sign ends the number", "// Update=-5\r\n", "Update", 1, 0},
        {"'=' on a later line", "// Update\r\n// X=7\r\n", "Update", 1, 7},
        {"wraps in 32 bits", "// Update=4294967297\r\n", "Update", 1, 1},
        {"absent", "// NoLicense=0\r\n", "Update", 0, 4242},
        {"no '=' before the end of the text", "// Update", "Update", 0, 4242},
        {"key in a comment before the block", "// see NoWin95 below\r\n// X=3\r\n// NoWin95=1\r\n", "NoWin95", 1, 3},
    };
    for (const IntCase& c : cases) {
        SetupScript = c.script.c_str();
        int value = 4242;
        EXPECT_EQ(GetSettingInt(c.key, &value), c.found) << c.what;
        EXPECT_EQ(value, c.value) << c.what;
    }
    SetupScript = nullptr;
}

TEST(Settings, NothingToSearch)
{
    SetupScript = nullptr;
    char value[SettingValueSize] = "keep";
    int number = 9;
    EXPECT_EQ(GetSetting("Company", value), 0);
    EXPECT_EQ(GetSettingInt("Update", &number), 0);
    EXPECT_STREQ(value, "keep");
    EXPECT_EQ(number, 9);
}
