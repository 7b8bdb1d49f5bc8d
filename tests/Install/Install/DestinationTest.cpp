// The destination folder's default: the Program Files folder as the registry
// gives it, expanded and only as a full path, and the folder an installed
// product is registered in, which an update and /S without /D= keep.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "Destination.h"
#include "InstallTestSupport.h"

using fntest::InstallScript;
using fntest::SetupScriptRun;
using namespace installtest;

namespace {

constexpr char CurrentVersionKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";

// The Program Files folder of the machine, written back after each test.
class Destination : public InstallFixture {
protected:
    void SetUp() override
    {
        InstallFixture::SetUp();
        HKEY key = nullptr;
        ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, CurrentVersionKey, 0, KEY_QUERY_VALUE, &key), ERROR_SUCCESS);
        char value[1024];
        DWORD size = sizeof value;
        DWORD type = 0;
        hadProgramFiles = RegQueryValueExA(key, "ProgramFilesDir", nullptr, &type, reinterpret_cast<BYTE*>(value),
                                           &size) == ERROR_SUCCESS;
        RegCloseKey(key);
        if (hadProgramFiles) {
            programFiles.assign(value, size);
            programFilesType = type;
        }
    }
    void TearDown() override
    {
        if (hadProgramFiles)
            SetProgramFiles(programFiles, programFilesType);
        InstallFixture::TearDown();
    }

    static void SetProgramFiles(const std::string& bytes, DWORD type)
    {
        HKEY key = nullptr;
        ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, CurrentVersionKey, 0, KEY_SET_VALUE, &key), ERROR_SUCCESS);
        RegSetValueExA(key, "ProgramFilesDir", 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                       static_cast<DWORD>(bytes.size()));
        RegCloseKey(key);
    }
    static void SetProgramFilesText(const std::string& text, DWORD type)
    {
        SetProgramFiles(text + std::string(1, '\0'), type);
    }

    bool hadProgramFiles = false;
    std::string programFiles;
    DWORD programFilesType = REG_SZ;
};

std::string Expanded(const char* text)
{
    char expanded[1024];
    DWORD length = ExpandEnvironmentStringsA(text, expanded, sizeof expanded);
    return length > 0 && length <= sizeof expanded ? expanded : "";
}

TEST_F(Destination, TheProgramFilesFolderExpandedAndOnlyAsAFullPath)
{
    SetupScriptRun run(InstallScript(Settings, "return 1;"));
    ASSERT_TRUE(run.accepted);
    const std::string systemDrive = Expanded("%SystemDrive%");
    ASSERT_FALSE(systemDrive.empty());
    struct Case {
        const char* stored;
        DWORD type;
        std::string programFiles;   // what ProgramFilesPath holds; "" for none
    };
    const Case cases[] = {
        {"C:\\Program Files", REG_SZ, "C:\\Program Files"},
        {"%SystemDrive%\\Program Files", REG_SZ, systemDrive + "\\Program Files"},
        {"%SystemDrive%\\Program Files", REG_EXPAND_SZ, systemDrive + "\\Program Files"},
        {"\\\\server\\apps", REG_SZ, "\\\\server\\apps"},
        // Taken relative to the current folder, they would put the product
        // wherever the setup happened to be started.
        {"Program Files", REG_SZ, ""},
        {"\\Program Files", REG_SZ, ""},
        {"%NoSuchVariableHere%\\Program Files", REG_SZ, ""},
        {"", REG_SZ, ""},
    };
    for (const Case& c : cases) {
        SetProgramFilesText(c.stored, c.type);
        DestinationSource source = SetDefaultDestination(false);
        EXPECT_EQ(std::string(ProgramFilesPath), c.programFiles) << c.stored;
        if (c.programFiles.empty()) {
            EXPECT_EQ(source, DestinationNone) << c.stored;
            EXPECT_STREQ(InstallDir, "") << c.stored;
        } else {
            EXPECT_EQ(source, DestinationDefault) << c.stored;
            EXPECT_EQ(std::string(InstallDir), c.programFiles + "\\Vellmark Unit Tests\\Tool") << c.stored;
        }
    }
}

TEST_F(Destination, AnInstalledProductStaysWhereItIsRegistered)
{
    SetupScriptRun run(InstallScript(Settings, "return 1;"));
    ASSERT_TRUE(run.accepted);
    SetProgramFilesText("C:\\Program Files", REG_SZ);
    const std::string chosen = temp.path + "\\Chosen\\Notes Suite";
    std::string made = chosen;
    CreateDirectoryTree(&made[0]);
    const std::string file = MakeFile(temp.path + "\\a-file");
    struct Case {
        std::string path;   // the product key's Path; "-": none
        bool preferred;
        DestinationSource source;
        std::string installDir;
    };
    const std::string byDefault = "C:\\Program Files\\Vellmark Unit Tests\\Tool";
    const Case cases[] = {
        {chosen, true, DestinationRegistered, chosen},
        {fntest::Upper(chosen), true, DestinationRegistered, fntest::Upper(chosen)},
        {chosen, false, DestinationDefault, byDefault},                 // a first choice: the page's default
        {"-", true, DestinationDefault, byDefault},
        {temp.path + "\\Gone", true, DestinationDefault, byDefault},     // removed since
        {file, true, DestinationDefault, byDefault},                     // a file, no folder
        {"Chosen\\Notes Suite", true, DestinationDefault, byDefault},    // no full path
        {"", true, DestinationDefault, byDefault},
    };
    for (const Case& c : cases) {
        fntest::DeleteKeyTree(HKEY_LOCAL_MACHINE, ProductKey);
        if (c.path != "-")
            fntest::SetTextValue(HKEY_LOCAL_MACHINE, ProductKey, "Path", c.path);
        EXPECT_EQ(SetDefaultDestination(c.preferred), c.source) << c.path;
        EXPECT_EQ(std::string(InstallDir), c.installDir) << c.path;
    }
}

}  // namespace
