// The registry, file-type, PATH, desktop and program built-ins called on
// their own through the script engine: what each refuses (and then leaves
// the registry and the log untouched), what each records, and what
// runprogram gives back.  The installation run, its undo and the uninstaller
// are tested with the setup program itself (setup_tests).
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "FunctionsTestSupport.h"
#include "InstallLog.h"

using fntest::ScriptReturning;

namespace {

constexpr char TestKey[] = "Software\\Vellmark Unit Values";

ScriptValue RunScript(const std::string& expression)
{
    return fntest::RunWithoutReports(ScriptReturning(expression), "f", expression);
}

std::vector<std::string> LoggedEntries()
{
    std::vector<std::string> entries;
    for (const LogEntry* e = FindLogEntry(&TheInstallLog, nullptr, LogKindAny); e;
         e = FindLogEntry(&TheInstallLog, e, LogKindAny))
        entries.push_back(std::string(LogKindName(e->kind) ? LogKindName(e->kind) : "?") + " " +
                          (e->text1 ? e->text1 : "-") + " | " + (e->text2 ? e->text2 : "-") + " | " +
                          (e->text3 ? e->text3 : "-"));
    return entries;
}

class SystemBuiltins : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetSetupState();
        ReleaseInstallLog(&TheInstallLog);
        LoggingEnabled = 1;
        fntest::DeleteKeyTree(HKEY_LOCAL_MACHINE, TestKey);
        fntest::DeleteKeyTree(HKEY_CURRENT_USER, TestKey);
        path = fntest::MachinePath();
    }
    void TearDown() override
    {
        fntest::DeleteKeyTree(HKEY_LOCAL_MACHINE, TestKey);
        fntest::DeleteKeyTree(HKEY_CURRENT_USER, TestKey);
        fntest::DeleteKeyTree(HKEY_LOCAL_MACHINE, "Software\\Classes\\.vmunit");
        fntest::DeleteKeyTree(HKEY_LOCAL_MACHINE, "Software\\Classes\\VellmarkUnit.Type");
        fntest::SetMachinePath(path);
        ReleaseInstallLog(&TheInstallLog);
        ResetSetupState();
    }
    std::string path;
};

// Calls that write nothing, log nothing and give 0 (runprogram: -1).
TEST_F(SystemBuiltins, RefusedCallsChangeNothing)
{
    struct Case {
        const char* call;
        ScriptValue result;
    };
    const Case cases[] = {
        {"regsetstring(\"HKCR\", \"Software\\\\Vellmark Unit Values\", \"x\", \"t\")", 0},
        {"regsetstring(null, \"Software\\\\Vellmark Unit Values\", \"x\", \"t\")", 0},
        {"regsetstring(\"HKLM\", null, \"x\", \"t\")", 0},
        {"regsetstring(\"HKLM\", \"\\\\\", \"x\", \"t\")", 0},
        {"regsetstring(\"HKLM\", \"Software\\\\\\\\Vellmark Unit Values\", \"x\", \"t\")", 0},
        {"regsetstring(\"HKLM\", \"Software\\\\Vellmark Unit Values\", 5, \"t\")", 0},
        {"regsetstring(\"HKLM\", \"Software\\\\Vellmark Unit Values\", \"x\", null)", 0},
        {"regsetdword(\"HKLM\", 7, \"x\", 1)", 0},
        {"fileassoc(\"vmunit\", \"VellmarkUnit\\\\Type\", null, null, \"C:\\\\x.exe\")", 0},
        {"fileassoc(\"\", \"VellmarkUnit.Type\", null, null, \"C:\\\\x.exe\")", 0},
        {"fileassoc(\".\", \"VellmarkUnit.Type\", null, null, \"C:\\\\x.exe\")", 0},
        {"fileassoc(\"vmunit\", \"VellmarkUnit.Type\", null, null, null)", 0},
        {"fileassoc(\"vmunit\", \"VellmarkUnit.Type\", 3, null, \"C:\\\\x.exe\")", 0},
        {"addpath(\"C:\\\\Vellmark A;C:\\\\Vellmark B\")", 0},
        {"addpath(\"\")", 0},
        {"addpath(null)", 0},
        {"shortcutdesk(\"..\\\\Vellmark Unit\", \"C:\\\\x.exe\", null, null)", 0},
        {"shortcutdesk(null, \"C:\\\\x.exe\", null, null)", 0},
        {"runprogram(null, null, 1)", -1},
        {"runprogram(\"C:\\\\Vellmark no such program.exe\", null, 1)", -1},
        {"runprogram(\"%WINSYSDIR%\\\\cmd.exe\", 4, 1)", -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.call);
        EXPECT_EQ(RunScript(c.call), c.result);
        EXPECT_FALSE(fntest::KeyExists(HKEY_LOCAL_MACHINE, TestKey));
        EXPECT_FALSE(fntest::KeyExists(HKEY_LOCAL_MACHINE, "Software\\Classes\\.vmunit"));
        EXPECT_EQ(fntest::MachinePath(), path);
        EXPECT_EQ(LoggedEntries(), std::vector<std::string>{});
    }
}

TEST_F(SystemBuiltins, ValuesAreWrittenAndLoggedWithTheKeysTheyCreated)
{
    EXPECT_EQ(RunScript("regsetstring(\"hkcu\", \"\\\\Software\\\\Vellmark Unit Values\\\\A\\\\\", \"Name\", "
                        "\"%WINDIR%\\\\x\")"),
              1);
    EXPECT_EQ(RunScript("regsetdword(\"HKCU\", \"Software\\\\Vellmark Unit Values\\\\A\", null, 7)"), 1);
    EXPECT_EQ(RunScript("regsetstring(\"HKCU\", \"Software\\\\Vellmark Unit Values\\\\A\", \"Name\", \"again\")"),
              1);
    EXPECT_EQ(fntest::ReadTextValue(HKEY_CURRENT_USER, std::string(TestKey) + "\\A", "Name"), "again");
    EXPECT_EQ(fntest::ReadNumberValue(HKEY_CURRENT_USER, std::string(TestKey) + "\\A", nullptr), 7);
    EXPECT_EQ(LoggedEntries(),
              (std::vector<std::string>{
                  "RegValue HKCU\\Software\\Vellmark Unit Values\\A\\\\Name | HKCU\\Software\\Vellmark Unit Values | -",
                  "RegValue HKCU\\Software\\Vellmark Unit Values\\A\\\\ | - | -"}));
}

TEST_F(SystemBuiltins, AFileTypeIsRecordedWithTheProgIdItReplaced)
{
    fntest::SetTextValue(HKEY_LOCAL_MACHINE, "Software\\Classes\\.vmunit", nullptr, "Earlier.Type");
    EXPECT_EQ(RunScript("fileassoc(\"vmunit\", \"VellmarkUnit.Type\", null, null, \"%WINDIR%\\\\unit.exe\")"), 1);
    EXPECT_EQ(fntest::ReadTextValue(HKEY_LOCAL_MACHINE, "Software\\Classes\\.vmunit", nullptr), "VellmarkUnit.Type");
    EXPECT_EQ(fntest::ReadTextValue(HKEY_LOCAL_MACHINE, "Software\\Classes\\VellmarkUnit.Type\\shell\\open\\command",
                                    nullptr),
              "\"" + fntest::WindowsFolder() + "\\unit.exe\" \"%1\"");
    EXPECT_FALSE(fntest::KeyExists(HKEY_LOCAL_MACHINE, "Software\\Classes\\VellmarkUnit.Type\\DefaultIcon"))
        << "a null icon writes none";
    EXPECT_EQ(LoggedEntries(), std::vector<std::string>{"FileType .vmunit | VellmarkUnit.Type | Earlier.Type"});
}

TEST_F(SystemBuiltins, AFolderOnThePathIsNeitherAddedNorLoggedAgain)
{
    EXPECT_EQ(RunScript("addpath(\"C:\\\\Vellmark Unit\\\\bin\")"), 1);
    EXPECT_EQ(RunScript("addpath(\"c:\\\\vellmark unit\\\\BIN\\\\\")"), 1);
    EXPECT_EQ(fntest::MachinePath(), path + ";C:\\Vellmark Unit\\bin");
    EXPECT_EQ(LoggedEntries(), std::vector<std::string>{"PathFolder C:\\Vellmark Unit\\bin | - | -"});
}

// The program is the file Windows runs and the first, quoted word of its
// command line: cmd sees its arguments after it and ends with their code.
TEST_F(SystemBuiltins, RunProgramGivesTheExitCodeOrZeroWithoutWaiting)
{
    EXPECT_EQ(RunScript("runprogram(\"%WINSYSDIR%\\\\cmd.exe\", \"/c exit 42\", 1)"), 42);
    EXPECT_EQ(RunScript("runprogram(\"%WINSYSDIR%\\\\cmd.exe\", \"/c exit -3\", 1)"), -3);
    EXPECT_EQ(RunScript("runprogram(\"%WINSYSDIR%\\\\cmd.exe\", \"/c exit 5\", 0)"), 0);
    EXPECT_EQ(LoggedEntries(), std::vector<std::string>{}) << "nothing of a program is logged";
}

// A program whose path has blanks: Windows is given the path itself, so the
// file "Vellmark.exe" beside the folder "Vellmark Run Folder" is never taken
// for the program, as an unquoted command line alone would let it be (and
// would then fail on that file, which is no program).
TEST_F(SystemBuiltins, RunProgramStartsAPathWithBlanksAndNothingElse)
{
    fntest::TempFolder temp;
    const std::string folder = temp.path + "\\Vellmark Run Folder";
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    const std::string program = folder + "\\cmd.exe";
    ASSERT_TRUE(CopyFileA((fntest::SystemFolder() + "\\cmd.exe").c_str(), program.c_str(), FALSE));
    // What the first word of an unquoted command line would name.
    ASSERT_TRUE(fntest::WriteFileBytes(temp.path + "\\Vellmark.exe", "not a program"));
    EXPECT_EQ(RunScript("runprogram(\"" + fntest::ScriptText(program) + "\", \"/c exit 9\", 1)"), 9);
}

}  // namespace
