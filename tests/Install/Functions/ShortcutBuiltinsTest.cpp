// The Start-menu shortcuts: where shortcut, shortcutc and shortcutwww put
// their files on each Windows family, what the saved links hold when the
// shell loads them back, the Internet shortcut's bytes, what is logged, and
// the undo that removes them with their folders.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <cstdint>
#include <string>
#include <vector>

#include "InstallTestSupport.h"
#include "Installation.h"
#include "Playback.h"
#include "ShellLinks.h"

using fntest::InstallScript;
using fntest::IsFile;
using fntest::IsFolder;
using fntest::ReadFileBytes;
using fntest::SetupScriptRun;
using namespace installtest;

namespace {

constexpr char ShellFolders[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr char BothNames[] = "// Company=Vellmark Unit Tests\r\n// Product=Tool\r\n";
// Without a company the product's folder lies directly in the programs
// folder, and shortcutc puts its link there: names of their own.
constexpr char ProductOnly[] = "// Product=Vellmark Unit Tool\r\n";
constexpr char LoneLink[] = "Vellmark Unit Link";

// The programs folder of a family, read here as the shell keeps it.
std::string ProgramsFolder(bool nt)
{
    return fntest::ReadTextValue(nt ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, ShellFolders,
                                 nt ? "Common Programs" : "Programs");
}

class Shortcuts : public InstallFixture {
protected:
    void SetUp() override
    {
        InstallFixture::SetUp();
        CreateDirectoryTree(InstallDir);
        RemoveMenuTraces();
    }
    void TearDown() override
    {
        RemoveMenuTraces();
        InstallFixture::TearDown();
    }
    // Whatever the shortcuts of these tests leave in both programs folders.
    static void RemoveMenuTraces()
    {
        for (bool nt : {true, false}) {
            const std::string programs = ProgramsFolder(nt);
            fntest::RemoveTree(programs + "\\Vellmark Unit Tests");
            fntest::RemoveTree(programs + "\\Vellmark Unit Tool");
            DeleteFileA((programs + "\\Vellmark Unit Tests").c_str());
            DeleteFileA((programs + "\\" + LoneLink + ".lnk").c_str());
        }
    }

    // Runs install() with `body` and the settings; its result.
    ScriptValue Run(const std::string& settings, const std::string& body)
    {
        return fntest::RunWithoutReports(InstallScript(settings, "var t;\r\n" + body), "install", body);
    }
};

TEST_F(Shortcuts, LinksLandInTheFolderOfTheFamilyAndTheNamesAndLoadBack)
{
    struct Case {
        bool nt;
        const char* settings;
        const char* call;          // the built-in's name
        const char* name;
        const char* description;   // a script expression: null or a text
        const char* arguments;
        const char* folder;        // below the programs folder ("" for itself)
    };
    const Case cases[] = {
        {true, BothNames, "shortcut", "Tool", "\"Runs the tool\"", "\"--fast /q\"", "\\Vellmark Unit Tests\\Tool"},
        {true, BothNames, "shortcutc", "Tool", "null", "null", "\\Vellmark Unit Tests"},
        {false, BothNames, "shortcut", "Tool", "\"\"", "null", "\\Vellmark Unit Tests\\Tool"},
        {false, BothNames, "shortcutc", "Tool", "null", "\"-x\"", "\\Vellmark Unit Tests"},
        {true, ProductOnly, "shortcut", "Tool", "null", "null", "\\Vellmark Unit Tool"},
        {true, ProductOnly, "shortcutc", LoneLink, "null", "null", ""},
        {false, ProductOnly, "shortcutc", LoneLink, "\"d\"", "\"a\"", ""},
    };
    for (const Case& c : cases) {
        const std::string context = std::string(c.call) + (c.nt ? " NT " : " 95 ") + c.settings;
        RemoveMenuTraces();
        ReleaseInstallLog(&TheInstallLog);
        IsWindowsNT = c.nt ? 1 : 0;
        const std::string target = AppDir() + "\\tool.exe";
        ASSERT_TRUE(fntest::WriteFileBytes(target, "tool")) << context;
        // The target is a variable, so that the script's text can be looked
        // at after the call: prefskey records it unchanged.
        EXPECT_EQ(Run(c.settings, std::string("t = \"%APPDIR%\\\\tool.exe\";\r\nreturn ") + c.call + "(\"" + c.name +
                                      "\", t, " + c.description + ", " + c.arguments + ") + prefskey(t);"),
                  0)
            << context;

        const std::string link = ProgramsFolder(c.nt) + c.folder + "\\" + c.name + ".lnk";
        ASSERT_TRUE(IsFile(link)) << context << ": " << link;
        fntest::LinkProperties loaded = fntest::LoadLink(link);
        ASSERT_TRUE(loaded.loaded) << context;
        EXPECT_EQ(loaded.path, target) << context;
        EXPECT_EQ(loaded.workingDirectory, AppDir()) << context;
        const bool hasDescription = std::string(c.description) != "null";
        const bool hasArguments = std::string(c.arguments) != "null";
        EXPECT_EQ(loaded.description, hasDescription ? std::string(c.description + 1, strlen(c.description) - 2) : "")
            << context;
        EXPECT_EQ(loaded.arguments, hasArguments ? std::string(c.arguments + 1, strlen(c.arguments) - 2) : "")
            << context;
        EXPECT_EQ((loaded.flags & fntest::LinkHasName) != 0, hasDescription) << context << ": 0 leaves it unset";
        EXPECT_EQ((loaded.flags & fntest::LinkHasArguments) != 0, hasArguments) << context << ": 0 leaves it unset";
        EXPECT_NE(loaded.flags & fntest::LinkHasWorkingDir, 0u) << context;
        // The script's target now holds its folder.
        EXPECT_EQ(Describe(&TheInstallLog),
                  (std::vector<std::string>{"File|" + link + "|-|-", "PrefsKey|" + AppDir() + "|-|-"}))
            << context;
    }
}

TEST_F(Shortcuts, AnInternetShortcutHoldsExactlyTwoLines)
{
    for (bool nt : {true, false}) {
        RemoveMenuTraces();
        ReleaseInstallLog(&TheInstallLog);
        IsWindowsNT = nt ? 1 : 0;
        EXPECT_EQ(Run(BothNames, "return shortcutwww(\"Home page\", \"http://tool.example/a?b=1&c=%41\");"), 0);
        const std::string file = ProgramsFolder(nt) + "\\Vellmark Unit Tests\\Tool\\Home page.url";
        EXPECT_EQ(ReadFileBytes(file), "[InternetShortcut]\r\nURL=http://tool.example/a?b=1&c=%41\r\n") << nt;
        EXPECT_EQ(Describe(&TheInstallLog), std::vector<std::string>{"File|" + file + "|-|-"}) << nt;
    }
    // A second one of the same name replaces the first.
    EXPECT_EQ(Run(BothNames, "return shortcutwww(\"Home page\", \"http://other.example/\");"), 0);
    EXPECT_EQ(ReadFileBytes(ProgramsFolder(false) + "\\Vellmark Unit Tests\\Tool\\Home page.url"),
              "[InternetShortcut]\r\nURL=http://other.example/\r\n");
}

TEST_F(Shortcuts, WhatCannotBeWrittenIsLoggedAllTheSame)
{
    // A file where the company's folder should be: no folder, no shortcut.
    IsWindowsNT = 1;
    const std::string blocker = ProgramsFolder(true) + "\\Vellmark Unit Tests";
    ASSERT_TRUE(fntest::WriteFileBytes(blocker, "in the way"));
    EXPECT_EQ(Run(BothNames, "shortcut(\"Tool\", \"%APPDIR%\\\\tool.exe\", null, null);\r\n"
                             "shortcutc(\"Tool\", \"%APPDIR%\\\\tool.exe\", null, null);\r\n"
                             "return shortcutwww(\"Home page\", \"http://tool.example/\");"),
              0);
    EXPECT_FALSE(IsFolder(blocker));
    EXPECT_EQ(Describe(&TheInstallLog), (std::vector<std::string>{
                                            "File|" + blocker + "\\Tool\\Tool.lnk|-|-",
                                            "File|" + blocker + "\\Tool.lnk|-|-",
                                            "File|" + blocker + "\\Tool\\Home page.url|-|-",
                                        }));
}

TEST_F(Shortcuts, ShortcutsThatCannotBeNamedAreNeitherMadeNorLogged)
{
    IsWindowsNT = 1;
    const std::string folder = ProgramsFolder(true) + "\\Vellmark Unit Tests\\Tool";
    // The longest name whose link path has 259 characters, and one more.
    const size_t longest = 259 - (folder.size() + strlen("\\.lnk"));
    const std::string fits(longest, 'n'), tooLong(longest + 1, 'n');
    const std::vector<std::string> refused = {
        "shortcut(null, \"%APPDIR%\\\\tool.exe\", null, null)",
        "shortcut(\"Tool\", null, null, null)",
        "shortcut(\"Tool\", 5, null, null)",
        "shortcut(\"Tool\", \"\", null, null)",
        "shortcut(\"Tool\", \"%APPDIR%\\\\tool.exe\", 5, null)",
        "shortcutc(\"Tool\", \"%APPDIR%\\\\tool.exe\", null, 5)",
        "shortcut(\"" + tooLong + "\", \"%APPDIR%\\\\tool.exe\", null, null)",
        "shortcutwww(null, \"http://tool.example/\")",
        "shortcutwww(\"Home page\", null)",
        "shortcutwww(\"Home page\", \"http://tool.example/\\r\\nIconFile=C:\\\\x.ico\")",
        "shortcutwww(\"Home page\", \"http://tool.example/\\n\")",
    };
    for (const std::string& call : refused) {
        ReleaseInstallLog(&TheInstallLog);
        EXPECT_EQ(Run(BothNames, "return " + call + ";"), 0) << call;
        EXPECT_FALSE(IsFolder(ProgramsFolder(true) + "\\Vellmark Unit Tests")) << call;
        EXPECT_EQ(Describe(&TheInstallLog), std::vector<std::string>{}) << call;
    }
    // 259 characters: saved, and the shell loads it back.
    ASSERT_TRUE(fntest::WriteFileBytes(AppDir() + "\\tool.exe", "tool"));
    EXPECT_EQ(Run(BothNames, "return shortcut(\"" + fits + "\", \"%APPDIR%\\\\tool.exe\", null, null);"), 0);
    const std::string link = folder + "\\" + fits + ".lnk";
    EXPECT_EQ(link.size(), 259u);
    EXPECT_EQ(fntest::LoadLink(link).path, AppDir() + "\\tool.exe");
    EXPECT_EQ(Describe(&TheInstallLog), std::vector<std::string>{"File|" + link + "|-|-"});
}

TEST_F(Shortcuts, WithoutAProgramsFolderNothingIsDone)
{
    IsWindowsNT = 1;
    const std::string programs = ProgramsFolder(true);
    ASSERT_NE(programs, "(none)");
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, ShellFolders, 0, KEY_SET_VALUE, &key), ERROR_SUCCESS);
    RegDeleteValueA(key, "Common Programs");
    RegCloseKey(key);
    EXPECT_EQ(Run(BothNames, "shortcut(\"Tool\", \"%APPDIR%\\\\tool.exe\", null, null);\r\n"
                             "shortcutc(\"Tool\", \"%APPDIR%\\\\tool.exe\", null, null);\r\n"
                             "return shortcutwww(\"Home page\", \"http://tool.example/\");"),
              0);
    EXPECT_TRUE(fntest::SetTextValue(HKEY_LOCAL_MACHINE, ShellFolders, "Common Programs", programs));
    EXPECT_FALSE(IsFolder(programs + "\\Vellmark Unit Tests"));
    EXPECT_EQ(Describe(&TheInstallLog), std::vector<std::string>{});
}

TEST_F(Shortcuts, NothingIsRecordedWhileLoggingIsOff)
{
    IsWindowsNT = 1;
    LoggingEnabled = 0;
    EXPECT_EQ(Run(BothNames, "shortcut(\"Tool\", \"%APPDIR%\\\\tool.exe\", null, null);\r\n"
                             "return shortcutwww(\"Home page\", \"http://tool.example/\");"),
              0);
    const std::string folder = ProgramsFolder(true) + "\\Vellmark Unit Tests\\Tool";
    EXPECT_TRUE(IsFile(folder + "\\Tool.lnk"));
    EXPECT_TRUE(IsFile(folder + "\\Home page.url"));
    EXPECT_EQ(Describe(&TheInstallLog), std::vector<std::string>{});
}

TEST_F(Shortcuts, TheUndoRemovesTheShortcutsAndTheirEmptyFolders)
{
    for (bool nt : {true, false}) {
        RemoveMenuTraces();
        ReleaseInstallLog(&TheInstallLog);
        IsWindowsNT = nt ? 1 : 0;
        const std::string programs = ProgramsFolder(nt);
        SetupScriptRun run(InstallScript(BothNames,
                                         "shortcut(\"Tool\", \"%APPDIR%\\\\tool.exe\", \"Runs the tool\", null);\r\n"
                                         "shortcutc(\"Tool\", \"%APPDIR%\\\\tool.exe\", null, null);\r\n"
                                         "shortcutwww(\"Home page\", \"http://tool.example/\");\r\n"
                                         "return 0;"));
        ASSERT_TRUE(run.accepted);
        EXPECT_EQ(RunInstallation(), 0) << nt;
        EXPECT_FALSE(IsFolder(programs + "\\Vellmark Unit Tests")) << nt;
        EXPECT_TRUE(IsFolder(programs)) << "the programs folder itself stays";
    }
}

}  // namespace
