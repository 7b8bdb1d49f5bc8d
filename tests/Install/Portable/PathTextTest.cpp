// Paths built from pieces and the product's names: the one rule that a path
// which does not fit is refused, never cut.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "PathText.h"
#include "Settings.h"

namespace {

// The settings text the look-ups read, for one test.
class SettingsText {
public:
    explicit SettingsText(std::string text) : text_(std::move(text)) { SetupScript = text_.c_str(); }
    ~SettingsText() { SetupScript = nullptr; }

private:
    std::string text_;
};

TEST(ProductPath, NamesFollowTheBase)
{
    struct Case {
        const char* settings;
        ProductNames names;
        const char* expected;
    };
    const Case cases[] = {
        {"// Company=Acme\r\n// Product=Tool\r\n", ProductNamesCompanyAndProduct, "Software\\Acme\\Tool"},
        {"// Company=Acme\r\n", ProductNamesCompanyAndProduct, "Software\\Acme"},
        {"// Product=Tool\r\n", ProductNamesCompanyAndProduct, "Software\\Tool"},
        {"", ProductNamesCompanyAndProduct, "Software"},
        {"// Company=Acme\r\n// Product=Tool\r\n", ProductNamesCompany, "Software\\Acme"},
        {"// Product=Tool\r\n", ProductNamesCompany, "Software"},
        {"// Company=Acme\r\n// Product=Tool\r\n", ProductNamesCompanyElseProduct, "Software\\Acme"},
        {"// Product=Tool\r\n", ProductNamesCompanyElseProduct, "Software\\Tool"},
        {"", ProductNamesCompanyElseProduct, "Software"},
        // An empty setting is a setting: its backslash stays.
        {"// Company=\r\n// Product=Tool\r\n", ProductNamesCompanyAndProduct, "Software\\\\Tool"},
    };
    for (const Case& c : cases) {
        SettingsText settings(c.settings);
        char path[64] = "junk";
        EXPECT_EQ(BuildProductPath("Software", c.names, path, sizeof path), 1) << c.settings;
        EXPECT_STREQ(path, c.expected) << c.settings;
    }
}

TEST(ProductPath, APathThatWouldNotFitIsRefusedNotCut)
{
    SettingsText settings("// Company=Acme\r\n// Product=Tool\r\n");
    const std::string full = "C:\\Program Files\\Acme\\Tool";   // 26 characters
    for (size_t capacity : {full.size() + 1, full.size(), size_t(5), size_t(1)}) {
        char path[64];
        memset(path, 'x', sizeof path);
        int fits = BuildProductPath("C:\\Program Files", ProductNamesCompanyAndProduct, path, capacity);
        if (capacity > full.size()) {
            EXPECT_EQ(fits, 1);
            EXPECT_EQ(path, full);
        } else {
            EXPECT_EQ(fits, 0) << capacity;
            EXPECT_STREQ(path, "") << capacity;
        }
        EXPECT_EQ(path[capacity], 'x') << "written past the capacity " << capacity;
    }
}

TEST(ProductPath, LongestSettingsOverflowTheSetupsFolderBuffer)
{
    // Two 255-character names after Program Files need more than the 512
    // bytes of InstallDir: refused, not cut to a folder of another name.
    std::string company(255, 'c'), product(255, 'p');
    SettingsText settings("// Company=" + company + "\r\n// Product=" + product + "\r\n");
    char folder[512];
    EXPECT_EQ(BuildProductPath("C:\\Program Files", ProductNamesCompanyAndProduct, folder, sizeof folder), 0);
    EXPECT_STREQ(folder, "");
    EXPECT_EQ(BuildProductPath("C:\\Program Files", ProductNamesCompany, folder, sizeof folder), 1);
    EXPECT_EQ(std::string(folder), "C:\\Program Files\\" + company);
}

TEST(ProductPath, TheUninstallEntryIsNamedAfterTheProductElseTheCompany)
{
    const std::string list = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
    struct Case {
        const char* company;
        const char* product;
        const char* name;   // null: refused
    };
    const Case cases[] = {
        {"Acme", "Tool", "Tool"},
        {"Acme", nullptr, "Acme"},
        {nullptr, "Tool", "Tool"},
        // No name, or an empty one, would make the list itself the entry.
        {nullptr, nullptr, nullptr},
        {"Acme", "", nullptr},
        {"", nullptr, nullptr},
    };
    for (const Case& c : cases) {
        char path[128] = "junk";
        int built = BuildUninstallEntryPath(c.company, c.product, path, sizeof path);
        EXPECT_EQ(built, c.name ? 1 : 0) << (c.company ? c.company : "(null)") << " " << (c.product ? c.product : "(null)");
        EXPECT_EQ(path, c.name ? list + "\\" + c.name : std::string()) << (c.name ? c.name : "(refused)");
    }
    // A name that would not fit is refused, not cut.
    std::string product(255, 'p');
    char path[64] = "junk";
    EXPECT_EQ(BuildUninstallEntryPath("Acme", product.c_str(), path, sizeof path), 0);
    EXPECT_STREQ(path, "");
}

TEST(ProductPath, ProductSettingsAreNullWithoutTheirSetting)
{
    {
        SettingsText settings("// Company=Acme\r\n// Product=\r\n");
        ProductSettings names;
        ASSERT_NE(names.company, nullptr);
        EXPECT_STREQ(names.company, "Acme");
        ASSERT_NE(names.product, nullptr) << "an empty setting is a setting";
        EXPECT_STREQ(names.product, "");
    }
    {
        SettingsText settings("// Product=Tool\r\n");
        ProductSettings names;
        EXPECT_EQ(names.company, nullptr);
        ASSERT_NE(names.product, nullptr);
        EXPECT_STREQ(names.product, "Tool");
    }
}

TEST(PathText, PiecesAfterAnOverlongOneAreIgnored)
{
    PathText path;
    path.Append(std::string(WorkBufferSize - 2, 'a').c_str());
    path.Append("bc");
    EXPECT_TRUE(path.overlong);
    path.Append("d");
    EXPECT_EQ(path.length, WorkBufferSize - 2);
    char out[WorkBufferSize];
    EXPECT_EQ(path.CopyTo(out, sizeof out), 0);
    EXPECT_STREQ(out, "");
}


// ---------------------------------------------------------------------------
// Drivers

TEST(DriverPaths, ServiceNamesAreOneKeyNameOfAtMost255Characters)
{
    struct Case {
        std::string name;
        bool accepted;
    };
    const Case cases[] = {
        {"vmtdrv", true},
        {"My Driver.v2", true},
        {"a/b", true},   // a slash is an ordinary character in a key name
        {std::string(ServiceNameLimit, 's'), true},
        {"", false},
        {"..\\Tcpip", false},
        {"vmtdrv\\", false},
        {"\\vmtdrv", false},
        {std::string(ServiceNameLimit + 1, 's'), false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsServiceName(c.name.c_str()), c.accepted) << "'" << c.name << "'";
    EXPECT_FALSE(IsServiceName(nullptr));
}

TEST(DriverPaths, ServiceKeysAreBuiltWholeOrRefused)
{
    struct Case {
        std::string name;
        const char* subkey;
        std::string expected;   // "" when refused
    };
    const std::string longest(ServiceNameLimit, 'n');
    const Case cases[] = {
        {"vmtdrv", nullptr, "System\\CurrentControlSet\\Services\\vmtdrv"},
        {"vmtdrv", "Enum", "System\\CurrentControlSet\\Services\\vmtdrv\\Enum"},
        {"vmtdrv", "Security", "System\\CurrentControlSet\\Services\\vmtdrv\\Security"},
        {longest, "Security", "System\\CurrentControlSet\\Services\\" + longest + "\\Security"},
        {longest + "n", nullptr, ""},
        {"", nullptr, ""},
        {"a\\b", "Enum", ""},
    };
    for (const Case& c : cases) {
        char path[ServiceKeyPathSize + 1];
        memset(path, 'x', sizeof path);
        int built = BuildServiceKeyPath(c.name.c_str(), c.subkey, path, ServiceKeyPathSize);
        EXPECT_EQ(built, c.expected.empty() ? 0 : 1) << c.name;
        EXPECT_EQ(std::string(path), c.expected) << c.name;
        EXPECT_EQ(path[ServiceKeyPathSize], 'x') << "written past the buffer for " << c.name;
    }
    // A buffer too small for the path: refused, never cut.
    char small[20];
    EXPECT_EQ(BuildServiceKeyPath("vmtdrv", nullptr, small, sizeof small), 0);
    EXPECT_STREQ(small, "");
}

TEST(DriverPaths, TheImagePathNamesTheFileInTheDriversFolderWhereverItWasCopied)
{
    struct Case {
        const char* destination;
        std::string expected;   // "" when refused
    };
    const std::string prefix = "\\SystemRoot\\System32\\drivers\\";
    // The file name that just fits the image path, and one character more.
    const std::string fits(DriverImagePathSize - 1 - prefix.size(), 'f');
    const std::string longer = fits + "f";
    const std::string fitsPath = "C:\\" + fits, longerPath = "C:\\" + longer;
    const Case cases[] = {
        {"C:\\windows\\system32\\drivers\\mydrv.sys", prefix + "mydrv.sys"},
        {"D:\\Elsewhere\\mydrv.sys", prefix + "mydrv.sys"},
        {"D:/Elsewhere/mydrv.sys", prefix + "mydrv.sys"},
        {"C:\\a/b\\c/mydrv.sys", prefix + "mydrv.sys"},
        {"mydrv.sys", prefix + "mydrv.sys"},
        {fitsPath.c_str(), prefix + fits},
        {longerPath.c_str(), ""},
        {"C:\\Drivers\\", ""},   // names no file
        {"", ""},
    };
    for (const Case& c : cases) {
        char path[DriverImagePathSize + 1];
        memset(path, 'x', sizeof path);
        int built = BuildDriverImagePath(c.destination, path, DriverImagePathSize);
        EXPECT_EQ(built, c.expected.empty() ? 0 : 1) << c.destination;
        EXPECT_EQ(std::string(path), c.expected) << c.destination;
        EXPECT_EQ(path[DriverImagePathSize], 'x') << "written past the buffer for " << c.destination;
    }
    char path[DriverImagePathSize];
    EXPECT_EQ(BuildDriverImagePath(nullptr, path, sizeof path), 0);
    EXPECT_EQ(PathFileName(nullptr), nullptr);
}

// ---------------------------------------------------------------------------
// Shortcuts

TEST(ShortcutPaths, TheTargetIsCutToItsFolder)
{
    struct Case {
        const char* target;
        const char* folder;
    };
    const Case cases[] = {
        {"C:\\Program Files\\Acme\\Tool\\tool.exe", "C:\\Program Files\\Acme\\Tool"},
        {"C:\\tool.exe", "C:"},
        {"C:\\Apps\\", "C:\\Apps"},
        {"tool.exe", ""},
        {"\\tool.exe", ""},   // the only backslash is the first character
        {"", ""},
        {"C:/Apps/tool.exe", ""},   // only backslashes separate
    };
    for (const Case& c : cases) {
        char text[64];
        snprintf(text, sizeof text, "%s", c.target);
        CutToFolder(text);
        EXPECT_STREQ(text, c.folder) << c.target;
    }
    CutToFolder(nullptr);
}

}  // namespace
