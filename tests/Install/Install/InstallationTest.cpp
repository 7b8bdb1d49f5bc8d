// The installation run: install inside a logged transaction, then the
// registration of the product or the undo.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FileInstall.h"
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

TEST_F(InstallationRun, SuccessRecordsEveryChangeAndRegistersTheProduct)
{
    SetupScriptRun run(InstallScript(FullSettings, FullInstall + "return 1;"));
    ASSERT_TRUE(run.accepted);
    ReadNoUninstall();
    EXPECT_EQ(RunInstallation(), 1);
    EXPECT_EQ(Joined(run.record.reports), "");

    const std::string dir = AppDir();
    EXPECT_EQ(std::string(LogFilePath), dir + "\\Tool.log");
    EXPECT_TRUE(ReadFileBytes(dir + "\\Bin\\app.exe") == AppImage()) << "the bytes of " << dir + "\\Bin\\app.exe";
    EXPECT_EQ(ReadFileBytes(dir + "\\readme.txt"), ReadmeText);
    EXPECT_TRUE(ReadFileBytes(dir + "\\shared.dll") == SharedImage()) << "the bytes of " << dir + "\\shared.dll";
    EXPECT_EQ(DescribeLogFile(LogFilePath), (std::vector<std::string>{
                                                "Product|Vellmark Unit Tests|Tool|" + dir,
                                                "Directory|" + dir + "\\Bin|-|-",
                                                "File|" + dir + "\\Bin\\app.exe|-|-",
                                                "File|" + dir + "\\readme.txt|-|-",
                                                "SharedFile|" + dir + "\\shared.dll|shared.dll|-",
                                                "PrefsKey|Software\\Vellmark Unit Tests\\Tool|-|-",
                                            }));
    EXPECT_EQ(TheInstallLog.count, 0u) << "the list is released";

    EXPECT_EQ(ReadTextValue(HKEY_LOCAL_MACHINE, ProductKey, "Version"), "1.2.0");
    EXPECT_EQ(ReadTextValue(HKEY_LOCAL_MACHINE, ProductKey, "URL"), "http://tool.example");
    EXPECT_EQ(ReadTextValue(HKEY_LOCAL_MACHINE, ProductKey, "Email"), "tool@example.com");
    EXPECT_EQ(ReadTextValue(HKEY_LOCAL_MACHINE, ProductKey, "Path"), dir);
    EXPECT_EQ(ReadTextValue(HKEY_LOCAL_MACHINE, CompanyKey, "URL"), "http://example.com");
    EXPECT_EQ(ReadTextValue(HKEY_LOCAL_MACHINE, CompanyKey, "Email"), "info@example.com");
    EXPECT_EQ(ReadNumberValue(HKEY_LOCAL_MACHINE, SharedFilesKey, "shared.dll"), 1);

    const std::string uninstaller = WindowsFile("vuninst.exe");
    const std::string entry = UninstallEntry;
    EXPECT_TRUE(ReadFileBytes(uninstaller) == UninstallerImage()) << "the bytes of " << uninstaller;
    EXPECT_EQ(ReadTextValue(HKEY_LOCAL_MACHINE, entry, "DisplayName"), "Unit Tool");
    EXPECT_EQ(ReadTextValue(HKEY_LOCAL_MACHINE, entry, "UninstallString"), "\"" + uninstaller + "\" " + dir + "\\Tool.log");

    // What Programs and Features and deployment tools read.
    EXPECT_EQ(ReadTextValue(HKEY_LOCAL_MACHINE, entry, "QuietUninstallString"),
              "\"" + uninstaller + "\" /S " + dir + "\\Tool.log");
    EXPECT_EQ(ReadTextValue(HKEY_LOCAL_MACHINE, entry, "DisplayVersion"), "1.2.0");
    EXPECT_EQ(ReadTextValue(HKEY_LOCAL_MACHINE, entry, "Publisher"), "Vellmark Unit Tests");
    EXPECT_EQ(ReadTextValue(HKEY_LOCAL_MACHINE, entry, "InstallLocation"), dir);
    EXPECT_EQ(ReadTextValue(HKEY_LOCAL_MACHINE, entry, "URLInfoAbout"), "http://tool.example");
    EXPECT_EQ(ReadNumberValue(HKEY_LOCAL_MACHINE, entry, "NoModify"), 1);
    EXPECT_EQ(ReadNumberValue(HKEY_LOCAL_MACHINE, entry, "NoRepair"), 1);
    // The files the log records, in KB rounded up: the log itself and the
    // uninstaller are not among them.
    const size_t bytes = AppImage().size() + strlen(ReadmeText) + SharedImage().size();
    EXPECT_EQ(ReadNumberValue(HKEY_LOCAL_MACHINE, entry, "EstimatedSize"), static_cast<long long>((bytes + 1023) / 1024));
}

// A failed run undoes its own changes and nothing else: an earlier
// installation keeps its registration, its log (byte for byte) and its
// counts, and nothing of the run is left, its journal included.
TEST_F(InstallationRun, AFailedRunLeavesTheMachineAsItWasBeforeIt)
{
    SetupScriptRun run(InstallScript(FullSettings, FullInstall + "return 0;"));
    ASSERT_TRUE(run.accepted);
    ASSERT_EQ(BuildLogFilePath(), 1);
    const std::string log = LogFilePath;
    const std::string earlierCommand = "\"" + WindowsFile("vuninst.exe") + "\" " + log;
    fntest::SetTextValue(HKEY_LOCAL_MACHINE, ProductKey, "Version", "1.0.0");
    fntest::SetTextValue(HKEY_LOCAL_MACHINE, ProductKey, "Path", InstallDir);
    fntest::SetTextValue(HKEY_LOCAL_MACHINE, UninstallEntry, "DisplayName", "Unit Tool");
    fntest::SetTextValue(HKEY_LOCAL_MACHINE, UninstallEntry, "UninstallString", earlierCommand);
    fntest::SetTextValue(HKEY_LOCAL_MACHINE, CompanyKey, "URL", "http://example.com");
    fntest::SetTextValue(HKEY_CURRENT_USER, "Software\\Vellmark Unit Tests\\Tool", "Skin", "blue");
    fntest::SetNumberValue(HKEY_LOCAL_MACHINE, SharedFilesKey, "other.dll", 2);
    InstallLog earlier = {};
    LogAddProduct(&earlier, Company, "Tool", InstallDir);
    LogAddFile(&earlier, (AppDir() + "\\old.txt").c_str());
    std::string folder = AppDir();
    CreateDirectoryTree(&folder[0]);
    SaveInstallLog(&earlier, log.c_str());
    const std::string earlierLog = ReadFileBytes(log);
    ASSERT_FALSE(earlierLog.empty());

    EXPECT_EQ(RunInstallation(), 0);

    EXPECT_EQ(ReadFileBytes(log), earlierLog);
    EXPECT_EQ(FolderNames(AppDir()), (std::vector<std::string>{"Tool.log"}));
    EXPECT_EQ(ReadNumberValue(HKEY_LOCAL_MACHINE, SharedFilesKey, "shared.dll"), -1);
    EXPECT_EQ(ReadNumberValue(HKEY_LOCAL_MACHINE, SharedFilesKey, "other.dll"), 2);
    EXPECT_EQ(ReadTextValue(HKEY_LOCAL_MACHINE, ProductKey, "Version"), "1.0.0");
    EXPECT_EQ(ReadTextValue(HKEY_LOCAL_MACHINE, UninstallEntry, "UninstallString"), earlierCommand);
    EXPECT_EQ(ReadTextValue(HKEY_LOCAL_MACHINE, UninstallEntry, "DisplayName"), "Unit Tool");
    EXPECT_EQ(ReadTextValue(HKEY_LOCAL_MACHINE, UninstallEntry, "DisplayVersion"), "(none)");
    EXPECT_EQ(ReadTextValue(HKEY_LOCAL_MACHINE, CompanyKey, "URL"), "http://example.com");
    EXPECT_EQ(ReadTextValue(HKEY_CURRENT_USER, "Software\\Vellmark Unit Tests\\Tool", "Skin"), "blue");
    EXPECT_FALSE(IsFile(WindowsFile("vuninst.exe")));
    ExpectNoRunTraces();
}

// A failed installation over the user's own files leaves each of them with
// its bytes: an older program it replaced, a newer one it kept, a text of
// the user's it wrote over.
TEST_F(InstallationRun, AFailedRunGivesTheUsersFilesBack)
{
    SetupScriptRun run(InstallScript(FullSettings, FullInstall + "return 0;"));
    ASSERT_TRUE(run.accepted);
    const std::string older = AsString(VersionedImage(1, 1, 0, 0, "the user's older program"));
    const std::string newer = AsString(VersionedImage(3, 0, 0, 0, "the user's newer library"));
    const std::string text = "the user's own notes\r\n";
    std::string folder = AppDir() + "\\Bin";
    CreateDirectoryTree(&folder[0]);
    ASSERT_TRUE(fntest::WriteFileBytes(AppDir() + "\\Bin\\app.exe", older));
    ASSERT_TRUE(fntest::WriteFileBytes(AppDir() + "\\shared.dll", newer));
    ASSERT_TRUE(fntest::WriteFileBytes(AppDir() + "\\readme.txt", text));

    EXPECT_EQ(RunInstallation(), 0);
    EXPECT_EQ(ReadFileBytes(AppDir() + "\\Bin\\app.exe"), older);
    EXPECT_EQ(ReadFileBytes(AppDir() + "\\shared.dll"), newer);
    EXPECT_EQ(ReadFileBytes(AppDir() + "\\readme.txt"), text);
    // Nothing else: no file moved aside, no temporary file, no log.
    EXPECT_EQ(FolderNames(AppDir()), (std::vector<std::string>{"Bin", "readme.txt", "shared.dll"}));
    EXPECT_EQ(FolderNames(AppDir() + "\\Bin"), (std::vector<std::string>{"app.exe"}));
    ExpectNoRunTraces();
}

// A run whose log cannot be written could never be removed: it fails and is
// rolled back like any failed run.
TEST_F(InstallationRun, ARunWhoseLogCannotBeWrittenIsRolledBack)
{
    SetupScriptRun run(InstallScript(FullSettings, FullInstall + "return 1;"));
    ASSERT_TRUE(run.accepted);
    ASSERT_EQ(BuildLogFilePath(), 1);
    // A folder where the log would go: no file can take its name.
    std::string blocker = LogFilePath;
    CreateDirectoryTree(&blocker[0]);
    EXPECT_EQ(RunInstallation(), 0);
    EXPECT_FALSE(IsFile(AppDir() + "\\readme.txt"));
    EXPECT_FALSE(fntest::KeyExists(HKEY_LOCAL_MACHINE, UninstallEntry));
    EXPECT_EQ(ReadNumberValue(HKEY_LOCAL_MACHINE, SharedFilesKey, "shared.dll"), -1);
    ExpectNoRunTraces();
}

// A first installation that fails leaves nothing: its folders, the
// installation folder and its empty parents are gone with its files.
TEST_F(InstallationRun, AFailedFirstInstallationLeavesNothing)
{
    SetupScriptRun run(InstallScript(FullSettings, FullInstall + "return 0;"));
    EXPECT_EQ(RunInstallation(), 0);
    EXPECT_EQ(FolderNames(temp.path), (std::vector<std::string>{"setup1.exe"}));
    EXPECT_FALSE(fntest::KeyExists(HKEY_LOCAL_MACHINE, CompanyKey));
    EXPECT_FALSE(fntest::KeyExists(HKEY_LOCAL_MACHINE, UninstallEntry));
    ExpectNoRunTraces();
}

TEST_F(InstallationRun, WithoutAnInstallFunctionTheRunSucceeds)
{
    SetupScriptRun run(Settings + "init()\r\n{\r\nreturn 1;\r\n}\r\n");
    EXPECT_EQ(RunInstallation(), 1);
    EXPECT_EQ(DescribeLogFile(LogFilePath),
              (std::vector<std::string>{"Product|Vellmark Unit Tests|Tool|" + AppDir()}));
    EXPECT_EQ(ReadTextValue(HKEY_LOCAL_MACHINE, ProductKey, "Path"), AppDir());
    // No NoUninstall setting: no uninstaller and no entry.
    EXPECT_FALSE(IsFile(WindowsFile("vuninst.exe")));
    EXPECT_FALSE(fntest::KeyExists(HKEY_LOCAL_MACHINE, UninstallEntry));
}

TEST_F(InstallationRun, ASecondInstallationKeepsTheFirstProductEntry)
{
    const std::string settings = Settings + "// LogPath=" + temp.path + "\r\n";
    {
        SetupScriptRun run(InstallScript(settings, "copy(\"readme.txt\", \"%APPDIR%\\\\readme.txt\");\r\nreturn 1;"));
        EXPECT_EQ(RunInstallation(), 1);
    }
    const std::string first = AppDir();
    fntest::SetPathBuffer(InstallDir, temp.path + "\\Second");
    {
        SetupScriptRun run(InstallScript("// Company=VELLMARK UNIT TESTS\r\n// Product=Tool\r\n// LogPath=" +
                                             temp.path + "\r\n",
                                         "copy(\"readme.txt\", \"%APPDIR%\\\\readme.txt\");\r\n"
                                         "copy(\"Data\\\\info.txt\", \"%APPDIR%\\\\info.txt\");\r\nreturn 1;"));
        EXPECT_EQ(RunInstallation(), 1);
    }
    EXPECT_EQ(DescribeLogFile(temp.path + "\\Tool.log"), (std::vector<std::string>{
                                                              "Product|Vellmark Unit Tests|Tool|" + first,
                                                              "File|" + first + "\\readme.txt|-|-",
                                                              "File|" + AppDir() + "\\readme.txt|-|-",
                                                              "File|" + AppDir() + "\\info.txt|-|-",
                                                          }));
}

TEST_F(InstallationRun, ALogThatCannotBeWrittenIsUndoneFromMemory)
{
    // The log's folder does not exist: the log cannot be written, and the
    // undo must still remove what this run installed.
    const std::string settings = Settings + "// LogPath=" + temp.path + "\\NoSuchFolder\r\n";
    SetupScriptRun run(InstallScript(settings, FullInstall + "return 0;"));
    EXPECT_EQ(RunInstallation(), 0);
    EXPECT_EQ(FolderNames(temp.path), (std::vector<std::string>{"setup1.exe"}));
    EXPECT_EQ(ReadNumberValue(HKEY_LOCAL_MACHINE, SharedFilesKey, "shared.dll"), -1);
}

}  // namespace
