// Path macros and folder helpers.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "FunctionsTestSupport.h"
#include "PathMacros.h"

using fntest::SystemFolder;
using fntest::TempFolder;
using fntest::WindowsFolder;

namespace {

const char AcmeTool[] = "// Company=Acme\r\n// Product=Tool\r\n";

class PathMacrosTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetSetupState();
        fntest::SetPathBuffer(InstallDir, "D:\\Apps\\Tool");
        fntest::SetPathBuffer(ProgramFilesPath, "C:\\Program Files");
        SetupScript = AcmeTool;
    }
    void TearDown() override
    {
        SetupScript = nullptr;
        ResetSetupState();
    }

    // Expands `text` in a 512-byte text with guard bytes behind it.
    std::string Expand(const std::string& text, int* result = nullptr)
    {
        memset(storage, '#', sizeof storage);
        memcpy(storage, text.c_str(), text.size() + 1);
        int r = ExpandPathMacros(storage, 512);
        if (result)
            *result = r;
        for (size_t i = 512; i < sizeof storage; ++i)
            EXPECT_EQ(storage[i], '#') << "written past the text at " << i;
        return storage;
    }

    char storage[512 + 32];
};

TEST_F(PathMacrosTest, EveryMacro)
{
    struct Case {
        std::string text, expected;
    };
    const std::string windows = WindowsFolder(), system = SystemFolder();
    const Case cases[] = {
        {"%WINDIR%\\win.ini", windows + "\\win.ini"},
        {"%windir%\\win.ini", windows + "\\win.ini"},
        {"%WinSysDir%\\x.dll", system + "\\x.dll"},
        {"%WINSYSDIR%", system},
        {"%DRIVERDIR%\\mydrv.sys", windows + "\\System32\\Drivers\\mydrv.sys"},
        {"%APPDIR%", "D:\\Apps\\Tool"},
        {"%AppDir%\\Data", "D:\\Apps\\Tool\\Data"},
        {"%APPDIR%x", "D:\\Apps\\Toolx"},   // no separator is added
        {"%PROGFILESDIR%\\Shared", "C:\\Program Files\\Shared"},
        {"%PRODUCTDIR%\\a.txt", "C:\\Program Files\\Acme\\Tool\\a.txt"},
        {"%productdir%", "C:\\Program Files\\Acme\\Tool"},
        {"%COMPANYDIR%\\Common", "C:\\Program Files\\Acme\\Common"},
        {"%APPDIR%%APPDIR%", "D:\\Apps\\Tool%APPDIR%"},   // one macro at most
        // Left alone:
        {"C:\\%WINDIR%", "C:\\%WINDIR%"},
        {" %WINDIR%", " %WINDIR%"},
        {"%TEMP%\\x", "%TEMP%\\x"},
        {"%APPDIR", "%APPDIR"},
        {"%APP DIR%", "%APP DIR%"},
        {"%", "%"},
        {"", ""},
        {"relative\\path", "relative\\path"},
    };
    for (const Case& c : cases) {
        int result = 0;
        EXPECT_EQ(Expand(c.text, &result), c.expected) << c.text;
        EXPECT_EQ(result, 1) << c.text;
    }
}

TEST_F(PathMacrosTest, AppDirBeforeTheWizardIsEmpty)
{
    InstallDir[0] = '\0';
    EXPECT_EQ(Expand("%APPDIR%"), "");
    EXPECT_EQ(Expand("%APPDIR%\\a"), "\\a");
}

TEST_F(PathMacrosTest, MissingCompanyOrProductIsLeftOut)
{
    struct Case {
        const char* settings;
        const char* product;
        const char* company;
    };
    const Case cases[] = {
        {"// Product=Tool\r\n", "C:\\Program Files\\Tool\\x", "C:\\Program Files\\x"},
        {"// Company=Acme\r\n", "C:\\Program Files\\Acme\\x", "C:\\Program Files\\Acme\\x"},
        {"// Name=Nothing else\r\n", "C:\\Program Files\\x", "C:\\Program Files\\x"},
        {"// Company=\r\n// Product=Tool\r\n", "C:\\Program Files\\\\Tool\\x", "C:\\Program Files\\\\x"},
    };
    for (const Case& c : cases) {
        SetupScript = c.settings;
        EXPECT_EQ(Expand("%PRODUCTDIR%\\x"), c.product) << c.settings;
        EXPECT_EQ(Expand("%COMPANYDIR%\\x"), c.company) << c.settings;
    }
}

// An expansion that does not fit the text's storage is refused: the text is
// emptied rather than cut, and nothing is written past the storage.
TEST_F(PathMacrosTest, OverlongExpansionIsRefused)
{
    std::string dir(500, 'd');
    fntest::SetPathBuffer(InstallDir, dir);
    struct Case {
        std::string text;
        int result;
        std::string expected;
    };
    const Case cases[] = {
        {"%APPDIR%\\" + std::string(10, 'x'), 1, dir + "\\" + std::string(10, 'x')},   // 511 characters
        {"%APPDIR%\\" + std::string(11, 'x'), 0, ""},                                  // 512 characters
        {"%APPDIR%\\" + std::string(400, 'x'), 0, ""},
        {std::string(511, 'y'), 1, std::string(511, 'y')},   // no macro: untouched
    };
    for (const Case& c : cases) {
        int result = -1;
        EXPECT_EQ(Expand(c.text, &result), c.expected) << c.text.size();
        EXPECT_EQ(result, c.result) << c.text.size();
    }
}

TEST_F(PathMacrosTest, StorageBoundaries)
{
    // "D:\Apps\Tool\a" is 14 characters: it fits 15 bytes, not 14.
    struct Case {
        size_t capacity;
        int result;
        const char* expected;
    };
    const Case cases[] = {{15, 1, "D:\\Apps\\Tool\\a"}, {14, 0, ""}, {11, 0, ""}};
    for (const Case& c : cases) {
        char text[32];
        memset(text, '#', sizeof text);
        strcpy(text, "%APPDIR%\\a");
        EXPECT_EQ(ExpandPathMacros(text, c.capacity), c.result) << c.capacity;
        EXPECT_STREQ(text, c.expected) << c.capacity;
        for (size_t i = c.capacity; i < sizeof text; ++i)
            ASSERT_EQ(text[i], '#') << "capacity " << c.capacity << ", byte " << i;
    }
}

// The result is built in a work buffer of 1024 bytes; a longer one is refused
// whatever room the caller has.
TEST_F(PathMacrosTest, WorkBufferLimit)
{
    std::string company(255, 'c'), product(255, 'p');
    std::string settings = "// Company=" + company + "\r\n// Product=" + product + "\r\n";
    SetupScript = settings.c_str();
    fntest::SetPathBuffer(ProgramFilesPath, std::string(511, 'f'));
    std::vector<char> big(4096, '\0');
    strcpy(big.data(), "%PRODUCTDIR%");   // exactly 1023 characters
    EXPECT_EQ(ExpandPathMacros(big.data(), big.size()), 1);
    EXPECT_EQ(strlen(big.data()), 1023u);
    strcpy(big.data(), "%PRODUCTDIR%\\x");
    EXPECT_EQ(ExpandPathMacros(big.data(), big.size()), 0);
    EXPECT_STREQ(big.data(), "");
}

TEST_F(PathMacrosTest, NoTextIsLeftAlone)
{
    EXPECT_EQ(ExpandPathMacros(nullptr, 512), 0);
    char unterminated[8];
    memcpy(unterminated, "%APPDIR%", 8);
    EXPECT_EQ(ExpandPathMacros(unterminated, sizeof unterminated), 0);
    EXPECT_EQ(memcmp(unterminated, "%APPDIR%", 8), 0);
}

TEST(CreateDirectoryTree, CreatesEveryMissingFolder)
{
    TempFolder temp;
    std::string path = temp.path + "\\Apps\\Data\\Skins";
    std::vector<char> text(path.begin(), path.end());
    text.push_back('\0');
    CreateDirectoryTree(text.data());
    EXPECT_STREQ(text.data(), path.c_str()) << "the text is restored";
    EXPECT_TRUE(fntest::IsFolder(temp.path + "\\Apps"));
    EXPECT_TRUE(fntest::IsFolder(temp.path + "\\Apps\\Data"));
    EXPECT_TRUE(fntest::IsFolder(path));

    // Again, with the folders there and one more below: passed over, then made.
    std::string deeper = path + "\\Blue\\";
    std::vector<char> again(deeper.begin(), deeper.end());
    again.push_back('\0');
    CreateDirectoryTree(again.data());
    EXPECT_STREQ(again.data(), deeper.c_str());
    EXPECT_TRUE(fntest::IsFolder(path + "\\Blue"));
}

TEST(CreateDirectoryTree, StopsBelowAFile)
{
    TempFolder temp;
    std::string file = temp.path + "\\plain";
    HANDLE h = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);
    std::string path = file + "\\below";
    std::vector<char> text(path.begin(), path.end());
    text.push_back('\0');
    CreateDirectoryTree(text.data());
    EXPECT_TRUE(fntest::IsFile(file));
    EXPECT_FALSE(fntest::IsFolder(path));
    CreateDirectoryTree(nullptr);   // nothing to do, nothing done
}

// A drive letter that is not present, chosen from the drives of this machine
// (Q first, as the usual example).
std::string AbsentDriveRoot()
{
    DWORD drives = GetLogicalDrives();
    for (const char* letters = "QRSTUVWXYJKLMNOP"; *letters; ++letters)
        if (!(drives & (1u << (*letters - 'A'))))
            return std::string(1, *letters) + ":\\";
    return "";
}

TEST(PathExists, Cases)
{
    TempFolder temp;
    std::string file = temp.path + "\\present.txt";
    HANDLE h = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);
    std::string absent = AbsentDriveRoot();
    ASSERT_FALSE(absent.empty());

    struct Case {
        std::string path;
        int expected;
    };
    const Case cases[] = {
        {"", 1},
        {absent, 0},
        {"C:\\", 1},
        {"c:\\", 1},
        {temp.path, 1},
        {temp.path + "\\", 1},
        {file, 1},
        {temp.path + "\\missing.txt", 0},
        {temp.path + "\\missing\\deeper", 0},
        {absent + "folder", 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PathExists(c.path.c_str()), c.expected) << '"' << c.path << '"';
    EXPECT_EQ(PathExists(nullptr), 0);
}

}  // namespace
