// The registration after a successful run: the uninstall entry with its
// values, the product key and the company key.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "InstallTestSupport.h"
#include "Installation.h"

using fntest::FolderNames;
using fntest::InstallScript;
using fntest::IsFile;
using fntest::IsFolder;
using fntest::ReadFileBytes;
using fntest::ReadNumberValue;
using fntest::ReadTextValue;
using fntest::SetupScriptRun;
using namespace installtest;

namespace {

using InstallationRun = InstallFixture;

TEST_F(InstallationRun, EstimatedSizeMeasuresTheFilesTheLogRecordsAfterTheRun)
{
    // The files of an earlier installation that the log holds count; a file
    // gone since counts nothing.
    std::string big(5000, 'x');
    const std::string dir = AppDir();
    const std::string settings = FullSettings;
    CreateDirectoryTree(InstallDir);
    ASSERT_TRUE(fntest::WriteFileBytes(dir + "\\big.bin", big));
    SetupScriptRun run(InstallScript(settings, "copy(\"readme.txt\", \"%APPDIR%\\\\readme.txt\");\r\nreturn 1;"));
    InstallLog earlier = {};
    ASSERT_EQ(BuildLogFilePath(), 1);
    LogAddProduct(&earlier, "Vellmark Unit Tests", "Tool", InstallDir);
    LogAddFile(&earlier, (dir + "\\big.bin").c_str());
    LogAddFile(&earlier, (dir + "\\gone.bin").c_str());
    SaveInstallLog(&earlier, LogFilePath);
    ReadNoUninstall();
    EXPECT_EQ(RunInstallation(), 1);
    EXPECT_EQ(ReadNumberValue(HKEY_LOCAL_MACHINE, UninstallEntry, "EstimatedSize"),
              static_cast<long long>((big.size() + strlen(ReadmeText) + 1023) / 1024));
}

TEST_F(InstallationRun, TheSettingsNameTheLogAndTheUninstallEntry)
{
    struct Case {
        const char* what;
        std::string settings;
        std::string logPath;       // "" for the installation folder's Tool.log
        std::string entryName;     // the uninstall entry's key name, "" for none
        std::string displayName;
    };
    const Case cases[] = {
        {"no Name", "// Company=Vellmark Unit Tests\r\n// Product=Tool\r\n// NoUninstall=0\r\n", "", "Tool", "Tool"},
        {"no Product", "// Company=Vellmark Unit Tests\r\n// Name=Unit Tool\r\n// NoUninstall=0\r\n",
         "\\.log", "Vellmark Unit Tests", "Unit Tool"},
        {"no Product, no Name", "// Company=Vellmark Unit Tests\r\n// NoUninstall=0\r\n", "\\.log",
         "Vellmark Unit Tests", "Vellmark Unit Tests"},
        {"LogPath %WINDIR%", Settings + "// LogPath=%WINDIR%\r\n// NoUninstall=0\r\n", fntest::WindowsFolder() + "\\Tool.log",
         "Tool", "Unit Tool"},
        {"NoUninstall 1", Settings + "// NoUninstall=1\r\n", "", "", ""},
    };
    for (const Case& c : cases) {
        ClearProductTraces();
        SetupScriptRun run(InstallScript(c.settings, "return 1;"));
        NoUninstall = 1;
        ReadNoUninstall();
        EXPECT_EQ(RunInstallation(), 1) << c.what;
        std::string expectedLog = c.logPath.empty() ? AppDir() + "\\Tool.log"
                                  : c.logPath[0] == '\\' ? AppDir() + c.logPath : c.logPath;
        EXPECT_EQ(std::string(LogFilePath), expectedLog) << c.what;
        EXPECT_TRUE(IsFile(expectedLog)) << c.what;
        if (c.entryName.empty()) {
            EXPECT_FALSE(IsFile(WindowsFile("vuninst.exe"))) << c.what;
        } else {
            std::string key = std::string(UninstallKey) + "\\" + c.entryName;
            EXPECT_EQ(ReadTextValue(HKEY_LOCAL_MACHINE, key, "DisplayName"), c.displayName) << c.what;
            EXPECT_EQ(ReadTextValue(HKEY_LOCAL_MACHINE, key, "UninstallString"),
                      "\"" + WindowsFile("vuninst.exe") + "\" " + expectedLog)
                << c.what;
            // Only what has a source: no Version and no ProductURL setting here.
            EXPECT_EQ(ReadTextValue(HKEY_LOCAL_MACHINE, key, "DisplayVersion"),
                      c.settings.find("Version=") != std::string::npos ? "1.2.0" : "(none)")
                << c.what;
            EXPECT_EQ(ReadTextValue(HKEY_LOCAL_MACHINE, key, "URLInfoAbout"), "(none)") << c.what;
            EXPECT_EQ(ReadTextValue(HKEY_LOCAL_MACHINE, key, "Publisher"), "Vellmark Unit Tests") << c.what;
        }
        DeleteFileA(expectedLog.c_str());
    }
}

}  // namespace
