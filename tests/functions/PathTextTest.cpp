// Paths built from pieces and the product's names: the one rule that a path
// which does not fit is refused, never cut.
#include <gtest/gtest.h>

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

}  // namespace
