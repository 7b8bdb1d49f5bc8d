// The control, environment and message built-ins and the setup BuiltinTable,
// run through the script engine.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "FunctionsTestSupport.h"
#include "MessageBox.h"
#include "Transcript.h"
#include "WindowsVersion.h"

using fntest::ScriptReturning;
using fntest::SetupScriptRun;

namespace {

class ControlBuiltins : public ::testing::Test {
protected:
    void SetUp() override { ResetSetupState(); }
    void TearDown() override { ResetSetupState(); }
};

// ---------------------------------------------------------------------------
// The table

TEST_F(ControlBuiltins, TableBindsEveryNameWithItsCount)
{
    for (int i = 0; i < BuiltinCount; ++i) {
        const BuiltinSignature& s = BuiltinSignatures[i];
        ASSERT_NE(SetupBuiltinHandlers[i], nullptr) << s.name;
        std::string arguments, tooMany;
        for (int k = 0; k < s.parameterCount; ++k)
            arguments += k ? ", 0" : "0";
        tooMany = arguments.empty() ? "0" : arguments + ", 0";
        {
            SetupScriptRun run(ScriptReturning(std::string(s.name) + "(" + arguments + ")"));
            EXPECT_TRUE(run.accepted) << s.name;
            EXPECT_TRUE(IsBuiltin(s.name)) << s.name;
        }
        {
            SetupScriptRun run(ScriptReturning(std::string(s.name) + "(" + tooMany + ")"));
            EXPECT_FALSE(run.accepted) << s.name;
            ASSERT_FALSE(run.record.reports.empty()) << s.name;
            EXPECT_NE(run.record.reports[0].find("Incompatible number of parameters"), std::string::npos) << s.name;
        }
    }
}

// ---------------------------------------------------------------------------
// Flags

TEST_F(ControlBuiltins, Flags)
{
    struct Case {
        const char* statements;
        const char* expression;
        ScriptValue result;
        int reboot, update, noUninstall, logging;
    };
    // Initial state: RebootRequested 0, UpdateMode 0, NoUninstall 1, LoggingEnabled 1.
    const Case cases[] = {
        {"", "setreboot(2)", 0, 2, 0, 1, 1},
        {"", "setreboot(-1)", 0, -1, 0, 1, 1},
        {"setreboot(1);", "setreboot(0)", 0, 0, 0, 1, 1},
        {"", "setupdate(1)", 0, 0, 1, 1, 1},
        {"", "setupdate(3 * 4)", 0, 0, 12, 1, 1},
        {"", "setnouninstall(0)", 0, 0, 0, 0, 1},
        {"", "setnouninstall(5)", 0, 0, 0, 5, 1},
        {"", "logoff()", 0, 0, 0, 1, 0},
        {"logoff();", "logon()", 0, 0, 0, 1, 1},
        {"logoff(); logon();", "logoff()", 0, 0, 0, 1, 0},
        {"", "setreboot(setupdate(4) + 9)", 0, 9, 4, 1, 1},   // a built-in inside an argument
    };
    for (const Case& c : cases) {
        ResetSetupState();
        SetupScriptRun run(ScriptReturning(c.expression, "", c.statements));
        ASSERT_TRUE(run.accepted) << c.expression;
        EXPECT_EQ(run.Call("f"), c.result) << c.expression;
        EXPECT_EQ(RebootRequested, c.reboot) << c.expression;
        EXPECT_EQ(UpdateMode, c.update) << c.expression;
        EXPECT_EQ(NoUninstall, c.noUninstall) << c.expression;
        EXPECT_EQ(LoggingEnabled, c.logging) << c.expression;
        EXPECT_TRUE(run.record.reports.empty()) << c.expression;
    }
}

TEST_F(ControlBuiltins, IsCopyError)
{
    for (int copyError : {0, 1}) {
        CopyError = copyError;
        SetupScriptRun run(ScriptReturning("iscopyerror() * 10 + iscopyerror()"));
        EXPECT_EQ(run.Call("f"), copyError * 11);
        EXPECT_EQ(CopyError, copyError);
    }
}

// ---------------------------------------------------------------------------
// Message boxes, through the test hook in place of MessageBoxA

struct MessageBoxCall {
    HWND owner;
    std::string text, caption;
    UINT style;
};
std::vector<MessageBoxCall> MessageBoxCalls;
int MessageBoxAnswer = IDOK;

int WINAPI RecordMessageBox(HWND owner, LPCSTR text, LPCSTR caption, UINT style)
{
    MessageBoxCalls.push_back({owner, text ? text : "(null)", caption ? caption : "(null)", style});
    return MessageBoxAnswer;
}

class MessageBoxes : public ControlBuiltins {
protected:
    void SetUp() override
    {
        ControlBuiltins::SetUp();
        MessageBoxCalls.clear();
        MessageBoxHook = RecordMessageBox;
    }
    void TearDown() override
    {
        MessageBoxHook = MessageBoxA;
        ControlBuiltins::TearDown();
    }
};

TEST_F(MessageBoxes, Cases)
{
    HWND wizard = CreateWindowExA(0, "STATIC", "wizard", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    if (!wizard && fntest::WindowsUnavailableHere())
        GTEST_SKIP() << "no window driver here; windows-versions.sh runs this with one";
    ASSERT_NE(wizard, nullptr);
    struct Case {
        const char* expression;
        HWND owner;
        int answer;
        ScriptValue result;
        bool shown;
        const char* text;
        const char* caption;
        UINT style;
    };
    const Case cases[] = {
        {R"(msgboxok("Hello\nWorld"))", nullptr, IDOK, 0, true, "Hello\nWorld", "Information", 0x40},
        {R"(msgboxok("From install"))", wizard, IDCANCEL, 0, true, "From install", "Information", 0x40},
        {R"(msgboxyesno("Go on?"))", nullptr, IDYES, 1, true, "Go on?", "Question", 0x24},
        {R"(msgboxyesno("Go on?"))", wizard, IDNO, 0, true, "Go on?", "Question", 0x24},
        {R"(msgboxyesno("Go on?"))", wizard, IDCANCEL, 0, true, "Go on?", "Question", 0x24},
        {R"(msgboxok(""))", nullptr, IDOK, 0, true, "", "Information", 0x40},
        // Values that are no text: nothing is shown.
        {"msgboxok(null)", nullptr, IDOK, 0, false, "", "", 0},
        {"msgboxok(42)", nullptr, IDOK, 0, false, "", "", 0},
        {"msgboxyesno(null)", wizard, IDYES, 0, false, "", "", 0},
        {"msgboxyesno(7)", wizard, IDYES, 0, false, "", "", 0},
    };
    for (const Case& c : cases) {
        MessageBoxCalls.clear();
        WizardWindow = c.owner;
        MessageBoxAnswer = c.answer;
        SetupScriptRun run(ScriptReturning(c.expression));
        ASSERT_TRUE(run.accepted) << c.expression;
        EXPECT_EQ(run.Call("f"), c.result) << c.expression;
        if (!c.shown) {
            EXPECT_TRUE(MessageBoxCalls.empty()) << c.expression;
            continue;
        }
        ASSERT_EQ(MessageBoxCalls.size(), 1u) << c.expression;
        EXPECT_EQ(MessageBoxCalls[0].owner, c.owner) << c.expression;
        EXPECT_EQ(MessageBoxCalls[0].text, c.text) << c.expression;
        EXPECT_EQ(MessageBoxCalls[0].caption, c.caption) << c.expression;
        EXPECT_EQ(MessageBoxCalls[0].style, c.style) << c.expression;
    }
    WizardWindow = nullptr;
    DestroyWindow(wizard);
}

// An unattended run shows no box: the default button answers (OK; Yes, the
// first button, for a question) and the transcript has the text and the answer.
TEST_F(MessageBoxes, UnattendedTheDefaultButtonAnswersAndTheTranscriptSaysSo)
{
    fntest::TempFolder folder;
    const std::string transcript = folder.path + "\\setup log.txt";
    ASSERT_EQ(OpenTranscript(transcript.c_str()), 1);
    UnattendedMode = 1;
    SetupScriptRun run(ScriptReturning(R"(msgboxok("Hello\nWorld") * 10 + msgboxyesno("Go on?"))", "",
                                       R"(msgboxok(null); msgboxyesno(7);)"));
    ASSERT_TRUE(run.accepted);
    MessageBoxAnswer = IDNO;   // what a box would answer: never asked
    EXPECT_EQ(run.Call("f"), 1);
    EXPECT_TRUE(MessageBoxCalls.empty());
    CloseTranscript();
    EXPECT_EQ(fntest::ReadFileBytes(transcript),
              "message \"Information\": Hello\\nWorld -> OK\r\n"
              "message \"Question\": Go on? -> Yes\r\n");
}

// During the check of the script nothing is shown, even in conditions.
TEST_F(MessageBoxes, NotDuringTheDeclarationPass)
{
    SetupScriptRun run(ScriptReturning("1", "", R"(if (msgboxyesno("Sure?")) msgboxok("Yes");)"));
    ASSERT_TRUE(run.accepted);
    EXPECT_TRUE(MessageBoxCalls.empty());
    MessageBoxAnswer = IDYES;
    EXPECT_EQ(run.Call("f"), 1);
    ASSERT_EQ(MessageBoxCalls.size(), 2u);
    EXPECT_EQ(MessageBoxCalls[1].text, "Yes");
}

// The path given to `version` and to `fileinuse` is expanded in the script's
// own text, as for the other built-ins that take a path: the message box
// shows the variable after the call.
TEST_F(MessageBoxes, PathArgumentsAreExpandedInPlace)
{
    fntest::SetPathBuffer(InstallDir, "C:\\Target");
    struct Case {
        const char* file;
        const char* call;   // of the variable p, which holds %APPDIR%\<file>
    };
    const Case cases[] = {
        {"lib.dll", "version(\"lib.dll\", p)"},
        {"tool.exe", "fileinuse(p)"},
    };
    for (const Case& c : cases) {
        MessageBoxCalls.clear();
        SetupScriptRun run(ScriptReturning("1", "", std::string("var p;\r\np = \"%APPDIR%\\\\") + c.file + "\";\r\n" +
                                                        c.call + ";\r\nmsgboxok(p);"));
        ASSERT_TRUE(run.accepted) << c.call;
        EXPECT_EQ(run.Call("f"), 1) << c.call;
        EXPECT_TRUE(run.record.reports.empty()) << c.call << ": " << Joined(run.record.reports);
        ASSERT_EQ(MessageBoxCalls.size(), 1u) << c.call;
        EXPECT_EQ(MessageBoxCalls[0].text, std::string("C:\\Target\\") + c.file) << c.call;
    }
}

// ---------------------------------------------------------------------------
// Progress bar: a real progress bar control stands in for the Install page's.

class ProgressBar : public ControlBuiltins {
protected:
    void SetUp() override
    {
        ControlBuiltins::SetUp();
        INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS};
        ASSERT_TRUE(InitCommonControlsEx(&controls));
        bar = CreateWindowExA(0, PROGRESS_CLASSA, "", WS_POPUP, 0, 0, 200, 20, nullptr, nullptr, nullptr, nullptr);
        if (!bar && fntest::WindowsUnavailableHere())
            GTEST_SKIP() << "no window driver here; windows-versions.sh runs this with one";
        ASSERT_NE(bar, nullptr);
        // Something else than a fresh bar's range and step, so that both are seen to change.
        SendMessageA(bar, PBM_SETRANGE32, 0, 50);
        SendMessageA(bar, PBM_SETSTEP, 7, 0);
        ProgressBarWindow = bar;
    }
    void TearDown() override
    {
        ProgressBarWindow = nullptr;
        if (bar)
            DestroyWindow(bar);
        ControlBuiltins::TearDown();
    }

    void ExpectRange(int low, int high, const std::string& what)
    {
        PBRANGE range = {};
        SendMessageA(bar, PBM_GETRANGE, TRUE, reinterpret_cast<LPARAM>(&range));
        EXPECT_EQ(range.iLow, low) << what;
        EXPECT_EQ(range.iHigh, high) << what;
    }
    int Position() { return static_cast<int>(SendMessageA(bar, PBM_GETPOS, 0, 0)); }

    HWND bar = nullptr;
};

TEST_F(ProgressBar, Steps)
{
    struct Case {
        const char* statements;
        int high;
        int position;
    };
    const Case cases[] = {
        {"setprogsteps(4);", 4, 0},
        {"setprogsteps(4); progstep(); progstep(); progstep();", 4, 3},
        {"setprogsteps(4); progstep(); progstep(); progstep(); progstep();", 4, 4},
        {"setprogsteps(65537);", 1, 0},   // the low 16 bits
        {"setprogsteps(65537); progstep();", 1, 1},
        {"setprogsteps(0);", 0, 0},
        {"setprogsteps(300); progstep();", 300, 1},   // the step is 1 whatever it was
    };
    for (const Case& c : cases) {
        SendMessageA(bar, PBM_SETPOS, 0, 0);
        SendMessageA(bar, PBM_SETSTEP, 7, 0);
        SetupScriptRun run(ScriptReturning("0", "", c.statements));
        ASSERT_TRUE(run.accepted) << c.statements;
        EXPECT_EQ(run.Call("f"), 0) << c.statements;
        ExpectRange(0, c.high, c.statements);
        EXPECT_EQ(Position(), c.position) << c.statements;
    }
}

TEST_F(ProgressBar, BeforeTheWizardNothingHappens)
{
    ProgressBarWindow = nullptr;
    SendMessageA(bar, PBM_SETPOS, 3, 0);
    SetupScriptRun run(ScriptReturning("progstep() + setprogsteps(9) + 5"));
    EXPECT_EQ(run.Call("f"), 5);
    ExpectRange(0, 50, "untouched");
    EXPECT_EQ(Position(), 3);
}

// ---------------------------------------------------------------------------
// Windows version tests, on the Windows this test runs on.
// windows-versions.sh runs them again under each Windows version that wine
// can pretend, with VM_EXPECT_WINDOWS naming it.

const char* const VersionBuiltins[WindowsVersionTestCount] = {
    "iswin95", "iswin98", "iswinme", "iswinnt", "iswin2000", "iswinfamilynt", "iswinfamily9x"};

struct ExpectedWindows {
    const char* name;   // as wine's Version setting names it
    int results[WindowsVersionTestCount];
};

const ExpectedWindows ExpectedResults[] = {
    {"win95", {1, 0, 0, 0, 0, 0, 1}},
    {"win98", {0, 1, 0, 0, 0, 0, 1}},
    {"winme", {0, 0, 1, 0, 0, 0, 1}},
    {"nt40", {0, 0, 0, 1, 0, 1, 0}},
    {"win2k", {0, 0, 0, 0, 1, 1, 0}},
    {"winxp", {0, 0, 0, 0, 0, 1, 0}},
    {"win7", {0, 0, 0, 0, 0, 1, 0}},
    {"win10", {0, 0, 0, 0, 0, 1, 0}},
};

std::vector<ScriptValue> RunVersionBuiltins()
{
    std::vector<ScriptValue> results;
    for (const char* name : VersionBuiltins) {
        SetupScriptRun run(ScriptReturning(std::string(name) + "()"));
        EXPECT_TRUE(run.accepted) << name;
        results.push_back(run.Call("f"));
    }
    return results;
}

TEST_F(ControlBuiltins, WindowsVersionAsReported)
{
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof info;
    ASSERT_TRUE(GetVersionExA(&info));
    std::vector<ScriptValue> results = RunVersionBuiltins();
    for (int i = 0; i < WindowsVersionTestCount; ++i)
        EXPECT_EQ(results[i], WindowsVersionMatches(static_cast<WindowsVersionTest>(i), info.dwPlatformId,
                                                    info.dwMajorVersion, info.dwMinorVersion))
            << VersionBuiltins[i] << " on " << info.dwPlatformId << " " << info.dwMajorVersion << "."
            << info.dwMinorVersion;
    // Exactly one family.
    EXPECT_EQ(results[WindowsFamilyNT] + results[WindowsFamily9x], 1);
}

TEST_F(ControlBuiltins, WindowsVersionExpected)
{
    const char* expected = getenv("VM_EXPECT_WINDOWS");
    if (!expected || !*expected)
        GTEST_SKIP() << "VM_EXPECT_WINDOWS is not set: run by windows-versions.sh";
    const ExpectedWindows* row = nullptr;
    for (const ExpectedWindows& candidate : ExpectedResults)
        if (strcmp(candidate.name, expected) == 0)
            row = &candidate;
    ASSERT_NE(row, nullptr) << "unknown Windows " << expected;
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof info;
    ASSERT_TRUE(GetVersionExA(&info));
    std::vector<ScriptValue> results = RunVersionBuiltins();
    for (int i = 0; i < WindowsVersionTestCount; ++i)
        EXPECT_EQ(results[i], row->results[i])
            << VersionBuiltins[i] << " as " << expected << " (reported " << info.dwPlatformId << " "
            << info.dwMajorVersion << "." << info.dwMinorVersion << ")";
}

}  // namespace
