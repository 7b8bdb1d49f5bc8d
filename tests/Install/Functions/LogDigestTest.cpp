// The log's digest in its uninstall entry: written after the log, and a log
// that differs from it is neither grown nor played back.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "InstallTestSupport.h"
#include "Installation.h"
#include "LogDigest.h"

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

TEST_F(InstallationRun, TheRegistrationKeepsTheLogsDigest)
{
    SetupScriptRun run(InstallScript(FullSettings, "copy(\"readme.txt\", \"%APPDIR%\\\\readme.txt\");\r\nreturn 1;"));
    ReadNoUninstall();
    EXPECT_EQ(RunInstallation(), 1);
    char digest[Sha256TextSize];
    ASSERT_EQ(DigestFile(LogFilePath, digest), 1);
    EXPECT_EQ(ReadTextValue(HKEY_LOCAL_MACHINE, UninstallEntry, "LogDigest"), digest);
    EXPECT_EQ(LogMatchesRegistration(LogFilePath), 1);
    EXPECT_EQ(LogMatchesRegistration((temp.path + "\\other.log").c_str()), 1) << "no entry registers it";
}

TEST_F(InstallationRun, AChangedLogIsNeitherGrownNorPlayedBack)
{
    // Someone who may write the installation folder adds an entry naming a
    // file of theirs choosing to the registered log.
    const std::string victim = temp.path + "\\victim.txt";
    ASSERT_TRUE(fntest::WriteFileBytes(victim, "precious"));
    {
        SetupScriptRun run(InstallScript(FullSettings, "copy(\"readme.txt\", \"%APPDIR%\\\\readme.txt\");\r\nreturn 1;"));
        ReadNoUninstall();
        EXPECT_EQ(RunInstallation(), 1);
    }
    InstallLog changed = {};
    LoadInstallLog(&changed, LogFilePath);
    LogAddFile(&changed, victim.c_str());
    SaveInstallLog(&changed, LogFilePath);
    EXPECT_EQ(LogMatchesRegistration(LogFilePath), 0);

    // An update that fails is undone: the changed log is not loaded, so the
    // undo plays only what this run recorded.
    SetupScriptRun run(InstallScript(FullSettings, "copy(\"Data\\\\info.txt\", \"%APPDIR%\\\\info.txt\");\r\nreturn 0;"));
    EXPECT_EQ(RunInstallation(), 0);
    EXPECT_EQ(ReadFileBytes(victim), "precious");
    EXPECT_FALSE(IsFile(AppDir() + "\\info.txt"));
}

}  // namespace
