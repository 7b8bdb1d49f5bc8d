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

TEST_F(InstallationRun, FailureUndoesEverythingTheLogRecords)
{
    // An earlier installation's keys: its uninstall entry, which names no
    // other log and goes with the undo, and its product key, which names
    // another folder (C:\Old) and so belongs to that installation and stays;
    // and values the undo leaves: the company's, and the preferences key's.
    fntest::SetTextValue(HKEY_LOCAL_MACHINE, ProductKey, "Version", "1.0.0");
    fntest::SetTextValue(HKEY_LOCAL_MACHINE, ProductKey, "Path", "C:\\Old");
    fntest::SetTextValue(HKEY_LOCAL_MACHINE, UninstallEntry, "DisplayName", "Unit Tool");
    fntest::SetTextValue(HKEY_LOCAL_MACHINE, CompanyKey, "URL", "http://example.com");
    fntest::SetTextValue(HKEY_CURRENT_USER, "Software\\Vellmark Unit Tests\\Tool", "Skin", "blue");
    fntest::SetNumberValue(HKEY_LOCAL_MACHINE, SharedFilesKey, "other.dll", 2);

    SetupScriptRun run(InstallScript(FullSettings, FullInstall + "return 0;"));
    EXPECT_EQ(RunInstallation(), 0);

    // The folders, the installation folder and its empty parents are gone;
    // the temporary folder that holds them is not empty and stays.
    EXPECT_EQ(FolderNames(temp.path), (std::vector<std::string>{"setup1.exe"}));
    EXPECT_FALSE(IsFile(LogFilePath));
    EXPECT_EQ(ReadNumberValue(HKEY_LOCAL_MACHINE, SharedFilesKey, "shared.dll"), -1);
    EXPECT_EQ(ReadNumberValue(HKEY_LOCAL_MACHINE, SharedFilesKey, "other.dll"), 2);
    EXPECT_EQ(ReadTextValue(HKEY_LOCAL_MACHINE, ProductKey, "Path"), "C:\\Old");
    EXPECT_EQ(ReadTextValue(HKEY_LOCAL_MACHINE, ProductKey, "Version"), "1.0.0");
    EXPECT_FALSE(fntest::KeyExists(HKEY_LOCAL_MACHINE, UninstallEntry));
    EXPECT_EQ(ReadTextValue(HKEY_LOCAL_MACHINE, CompanyKey, "URL"), "http://example.com");
    EXPECT_EQ(ReadTextValue(HKEY_CURRENT_USER, "Software\\Vellmark Unit Tests\\Tool", "Skin"), "blue");
    EXPECT_FALSE(IsFile(WindowsFile("vuninst.exe")));
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
