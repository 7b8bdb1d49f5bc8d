// The application detection built-ins and the preferences key, run through
// the script engine with the setup's BuiltinTable: files held open by this
// test, registry keys it creates, windows of a class of its own, and the
// install log.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <iostream>
#include <string>
#include <vector>

#include "FunctionsTestSupport.h"
#include "InstallLog.h"

using fntest::ScriptReturning;
using fntest::SetupScriptRun;

namespace {

// A text as a script string constant: backslashes and quotes escaped.
std::string Quoted(const std::string& text)
{
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"')
            quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

// Runs f() of a script returning `expression` after `statements`.
ScriptValue RunScript(const std::string& expression, const std::string& statements = "")
{
    return fntest::RunWithoutReports(ScriptReturning(expression, "", statements), "f",
                                     statements + " return " + expression);
}

class AppBuiltins : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetSetupState();
        ReleaseInstallLog(&TheInstallLog);
    }
    void TearDown() override
    {
        ReleaseInstallLog(&TheInstallLog);
        ResetSetupState();
    }
};

// ---------------------------------------------------------------------------
// fileinuse

FILETIME LastWriteTime(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data);
    return data.ftLastWriteTime;
}

// The file is held open by this test in the given way while the script runs.
struct Holder {
    const char* what;
    DWORD access;
    DWORD share;
};

TEST_F(AppBuiltins, FileInUse)
{
    fntest::TempFolder folder;
    const std::string file = folder.path + "\\held.txt";
    const std::string contents = "the product's data\r\n";
    ASSERT_TRUE(fntest::WriteFileBytes(file, contents)) << file;
    FILETIME written = LastWriteTime(file);

    struct Case {
        Holder holder;   // access 0: not held
        std::string path;
        ScriptValue result;
    };
    const Holder free = {"not held", 0, 0};
    const Holder exclusive = {"held without sharing", GENERIC_READ | GENERIC_WRITE, 0};
    const Holder readers = {"held sharing reading only", GENERIC_READ, FILE_SHARE_READ};
    const Holder everyone = {"held sharing reading and writing", GENERIC_READ,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE};
    const Case cases[] = {
        {free, folder.path + "\\missing.txt", 0},
        {free, folder.path + "\\no folder\\missing.txt", 0},
        {free, file, 0},
        {exclusive, file, 1},
        {readers, file, 1},
        // An exclusive open fails while any other handle is open.
        {everyone, file, 1},
        {exclusive, folder.path + "\\missing.txt", 0},
        {exclusive, "%APPDIR%\\held.txt", 1},
        {exclusive, "%appdir%\\HELD.TXT", 1},
        {free, "%APPDIR%\\held.txt", 0},
        {exclusive, "%APPDIR%\\missing.txt", 0},
    };
    fntest::SetPathBuffer(InstallDir, folder.path);
    for (const Case& c : cases) {
        std::string what = c.path + ", " + c.holder.what;
        HANDLE held = INVALID_HANDLE_VALUE;
        if (c.holder.access) {
            held = CreateFileA(file.c_str(), c.holder.access, c.holder.share, nullptr, OPEN_EXISTING, 0, nullptr);
            ASSERT_NE(held, INVALID_HANDLE_VALUE) << what;
        }
        EXPECT_EQ(RunScript("fileinuse(" + Quoted(c.path) + ")"), c.result) << what;
        if (held != INVALID_HANDLE_VALUE)
            CloseHandle(held);
        // Only ever opened, never written: neither the bytes nor the time change.
        EXPECT_EQ(fntest::ReadFileBytes(file), contents) << what;
        FILETIME now = LastWriteTime(file);
        EXPECT_EQ(CompareFileTime(&now, &written), 0) << what;
        EXPECT_FALSE(fntest::IsFile(folder.path + "\\missing.txt")) << what << ": created";
    }
}

// Write access refused counts as "in use": the file cannot be replaced.  A
// folder is refused everywhere; a read-only file too, except to wine run by
// root, which opens it for writing all the same.
TEST_F(AppBuiltins, FileInUseWriteAccessRefused)
{
    fntest::TempFolder folder;
    EXPECT_EQ(RunScript("fileinuse(" + Quoted(folder.path) + ")"), 1);

    const std::string file = folder.path + "\\locked.txt";
    ASSERT_TRUE(fntest::WriteFileBytes(file, "x")) << file;
    ASSERT_TRUE(SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_READONLY));
    HANDLE probe = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (probe != INVALID_HANDLE_VALUE) {
        CloseHandle(probe);
        std::cout << "note: a read-only file opens for writing here; only the folder was tested\n";
    } else {
        EXPECT_EQ(RunScript("fileinuse(" + Quoted(file) + ")"), 1);
    }
    SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(RunScript("fileinuse(" + Quoted(file) + ")"), 0);
}

// Values that are no text test nothing; the script goes on.  "%APPDIR%"
// before the wizard exists expands to the empty text.
TEST_F(AppBuiltins, FileInUseWithoutAPath)
{
    for (const char* expression : {"fileinuse(null)", "fileinuse(0)", "fileinuse(7)", "fileinuse(\"\")",
                                   "fileinuse(\"%APPDIR%\")"})
        EXPECT_EQ(RunScript(expression + std::string(" + 10")), 10) << expression;
}

// ---------------------------------------------------------------------------
// isappinstalled, against keys this test creates under HKEY_LOCAL_MACHINE

const char* const TestCompany = "Vellmark AppBuiltins Company";
const char* const TestProduct = "Vellmark AppBuiltins Product";   // directly under Software

class AppInstalled : public AppBuiltins {
protected:
    void SetUp() override
    {
        AppBuiltins::SetUp();
        RemoveKeys();
        CreateKey(std::string("Software\\") + TestCompany + "\\Tool");
        CreateKey(std::string("Software\\") + TestProduct);
    }
    void TearDown() override
    {
        RemoveKeys();
        AppBuiltins::TearDown();
    }

    static void CreateKey(const std::string& path)
    {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                                  nullptr),
                  ERROR_SUCCESS)
            << path;
        RegCloseKey(key);
    }
    static void RemoveKeys()
    {
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, (std::string("Software\\") + TestCompany + "\\Tool").c_str());
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, (std::string("Software\\") + TestCompany).c_str());
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, (std::string("Software\\") + TestProduct).c_str());
    }
};

TEST_F(AppInstalled, Cases)
{
    const std::string company = Quoted(TestCompany);
    const std::string product = Quoted(TestProduct);
    const std::string longName = Quoted(std::string(StringSlotSize - 1, 'k'));
    struct Case {
        std::string arguments;
        ScriptValue result;
    };
    const Case cases[] = {
        {"null, null", 1},   // HKLM\Software itself
        {company + ", null", 1},
        {company + ", \"Tool\"", 1},
        {"\"vellmark appbuiltins COMPANY\", \"TOOL\"", 1},
        {company + ", \"Missing\"", 0},
        {"\"Vellmark AppBuiltins Nobody\", null", 0},
        {"null, " + product, 1},   // Software\product
        {"null, \"Tool\"", 0},
        {company + ", " + product, 0},
        // An integer is no name: not "installed", although Software exists.
        {"5, null", 0},
        {"null, 5", 0},
        {company + ", 1", 0},
        // Two names of 511 characters do not fit the key buffer: no key, no overrun.
        {longName + ", " + longName, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(RunScript("isappinstalled(" + c.arguments + ")"), c.result) << c.arguments;
}

// ---------------------------------------------------------------------------
// isapprunning and closeapp, against top-level windows of a class of this test

const char* const TestWindowClass = "VellmarkAppBuiltinsTest";
const char* const TestWindowTitle = "Vellmark AppBuiltins Window";

std::vector<HWND> ClosedWindows;   // every WM_CLOSE received, in order

LRESULT CALLBACK TestWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CLOSE) {
        // Recorded, and the window stays: the test destroys it itself.
        ClosedWindows.push_back(window);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

class AppWindows : public AppBuiltins {
protected:
    void SetUp() override
    {
        AppBuiltins::SetUp();
        ClosedWindows.clear();
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = TestWindowProc;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = TestWindowClass;
        registered = RegisterClassA(&windowClass) != 0;
        ASSERT_TRUE(registered);
        window = NewWindow();
        if (!window && fntest::WindowsUnavailableHere())
            GTEST_SKIP() << "no window driver here; windows-versions.sh runs this with one";
        ASSERT_NE(window, nullptr);
    }
    void TearDown() override
    {
        for (HWND made : windows)
            DestroyWindow(made);
        if (registered)
            UnregisterClassA(TestWindowClass, GetModuleHandleA(nullptr));
        AppBuiltins::TearDown();
    }

    HWND NewWindow()
    {
        HWND made = CreateWindowExA(0, TestWindowClass, TestWindowTitle, WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                    GetModuleHandleA(nullptr), nullptr);
        if (made)
            windows.push_back(made);
        return made;
    }

    bool registered = false;
    HWND window = nullptr;
    std::vector<HWND> windows;
};

const std::string ClassText = Quoted(TestWindowClass);
const std::string TitleText = Quoted(TestWindowTitle);

TEST_F(AppWindows, IsAppRunning)
{
    const ScriptValue found = WindowHandleValue(window);
    ASSERT_NE(found, 0);
    struct Case {
        std::string arguments;
        ScriptValue result;
    };
    const Case cases[] = {
        {ClassText + ", " + TitleText, found},
        {ClassText + ", null", found},
        {"null, " + TitleText, found},
        {"\"vellmarkappbuiltinstest\", " + TitleText, found},   // class names ignore case
        {ClassText + ", \"Another Window\"", 0},
        {"\"VellmarkNoSuchClass\", " + TitleText, 0},
        {"\"VellmarkNoSuchClass\", null", 0},
        {ClassText + ", 5", 0},   // an integer is no title
        {"5, " + TitleText, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(RunScript("isapprunning(" + c.arguments + ")"), c.result) << c.arguments;
    // Any window at all: this test's is one.
    EXPECT_NE(RunScript("isapprunning(null, null)"), 0);
    EXPECT_TRUE(ClosedWindows.empty());

    DestroyWindow(window);
    windows.clear();
    EXPECT_EQ(RunScript("isapprunning(" + ClassText + ", " + TitleText + ")"), 0);
}

TEST_F(AppWindows, CloseApp)
{
    struct Case {
        std::string arguments;
        bool closes;
    };
    const Case cases[] = {
        {ClassText + ", " + TitleText, true},
        {ClassText + ", null", true},
        {"null, " + TitleText, true},
        {ClassText + ", \"Another Window\"", false},
        {"\"VellmarkNoSuchClass\", null", false},
        {ClassText + ", 5", false},
        {"7, " + TitleText, false},
        // Names no program: the first window of all is not asked to close.
        {"null, null", false},
    };
    for (const Case& c : cases) {
        ClosedWindows.clear();
        EXPECT_EQ(RunScript("closeapp(" + c.arguments + ")"), 0) << c.arguments;
        if (c.closes) {
            ASSERT_EQ(ClosedWindows.size(), 1u) << c.arguments;
            EXPECT_EQ(ClosedWindows[0], window) << c.arguments;
        } else {
            EXPECT_TRUE(ClosedWindows.empty()) << c.arguments;
        }
    }
}

// Only the first matching window is asked, and SendMessageA has delivered it
// by the time the built-in returns.
TEST_F(AppWindows, CloseAppAsksOneWindow)
{
    HWND second = NewWindow();
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(RunScript("closeapp(" + ClassText + ", " + TitleText + ")"), 0);
    ASSERT_EQ(ClosedWindows.size(), 1u);
    EXPECT_TRUE(ClosedWindows[0] == window || ClosedWindows[0] == second);
}

// Nothing is sent while the script is checked, nor when an argument fails.
TEST_F(AppWindows, CloseAppOnlyWhenRunWithItsArguments)
{
    {
        SetupScriptRun run(ScriptReturning("1", "", "if (isapprunning(" + ClassText + ", null)) closeapp(" +
                                                        ClassText + ", " + TitleText + ");"));
        ASSERT_TRUE(run.accepted);
        EXPECT_TRUE(ClosedWindows.empty()) << "closed by the declaration pass";
        EXPECT_EQ(run.Call("f"), 1);
        EXPECT_EQ(ClosedWindows.size(), 1u);
    }
    ClosedWindows.clear();
    {
        // The title fails: with it read as null the class alone would match.
        SetupScriptRun run(ScriptReturning("1", "", "closeapp(" + ClassText + ", 1 / 0);"));
        ASSERT_TRUE(run.accepted);
        EXPECT_EQ(run.Call("f"), 0);
        ASSERT_EQ(run.record.reports.size(), 1u);
        EXPECT_NE(run.record.reports[0].find("Divide by zero"), std::string::npos) << Joined(run.record.reports);
        EXPECT_TRUE(ClosedWindows.empty());
    }
}

// ---------------------------------------------------------------------------
// The window handle as a script value

TEST(WindowHandleValue, LowBitsAndNeverZeroForAWindow)
{
    struct Case {
        uintptr_t handle;
        ScriptValue value;
    };
    const Case cases[] = {
        {0, 0},
        {0x10020, 0x10020},
        {0x7FFFFFFF, 0x7FFFFFFF},
        {0x80001234u, static_cast<ScriptValue>(0x80001234u)},
#ifdef _WIN64
        // Sign-extended on 64-bit Windows: the low half is the handle.
        {static_cast<uintptr_t>(0xFFFFFFFF80001234ull), static_cast<ScriptValue>(0x80001234u)},
        {static_cast<uintptr_t>(0x0000000100010020ull), 0x10020},
        // A window whose low half is 0 is still a window.
        {static_cast<uintptr_t>(0x0000000100000000ull), 1},
        {static_cast<uintptr_t>(0xFFFFFFFF00000000ull), 1},
#endif
    };
    for (const Case& c : cases)
        EXPECT_EQ(WindowHandleValue(reinterpret_cast<HWND>(c.handle)), c.value) << std::hex << c.handle;
}

// ---------------------------------------------------------------------------
// prefskey

std::vector<std::string> PrefsKeys()
{
    std::vector<std::string> keys;
    for (const LogEntry* entry = FindLogEntry(&TheInstallLog, nullptr, LogKindPrefsKey); entry;
         entry = FindLogEntry(&TheInstallLog, entry, LogKindPrefsKey)) {
        keys.push_back(entry->text1 ? entry->text1 : "(absent)");
        EXPECT_EQ(entry->text2, nullptr);
        EXPECT_EQ(entry->text3, nullptr);
    }
    return keys;
}

TEST_F(AppBuiltins, PrefsKey)
{
    const std::string key = "Software\\Vellmark AppBuiltins\\Tool";
    const std::string quoted = Quoted(key);
    struct Case {
        std::string statements;
        std::vector<std::string> recorded;
    };
    const Case cases[] = {
        {"prefskey(" + quoted + ");", {key}},
        {"logoff(); prefskey(" + quoted + ");", {}},
        {"logoff(); logon(); prefskey(" + quoted + ");", {key}},
        {"prefskey(" + quoted + "); prefskey(\"SOFTWARE\\\\vellmark appbuiltins\\\\TOOL\");", {key}},
        {"prefskey(" + quoted + "); prefskey(\"Software\\\\Vellmark AppBuiltins\\\\Other\");",
         {key, "Software\\Vellmark AppBuiltins\\Other"}},
        {"prefskey(" + quoted + "); logoff(); prefskey(\"Software\\\\Later\");", {key}},
        // A key path is not a file path: recorded as written.
        {"prefskey(\"%APPDIR%\\\\Settings\");", {"%APPDIR%\\Settings"}},
        // No text, or no key below HKEY_CURRENT_USER: nothing to record.
        {"prefskey(null); prefskey(0); prefskey(42);", {}},
        {"prefskey(\"\"); prefskey(\"\\\\\"); prefskey(\"\\\\\\\\\");", {}},
    };
    fntest::SetPathBuffer(InstallDir, "C:\\Target");
    for (const Case& c : cases) {
        ReleaseInstallLog(&TheInstallLog);
        LoggingEnabled = 1;
        EXPECT_EQ(RunScript("prefskey(null)", c.statements), 0) << c.statements;
        EXPECT_EQ(PrefsKeys(), c.recorded) << c.statements;
        EXPECT_EQ(TheInstallLog.count, c.recorded.size()) << c.statements << ": other entries";
    }
}

// An earlier installation's entry stays first and is not recorded again; the
// registry is left alone.
TEST_F(AppBuiltins, PrefsKeyAfterAnEarlierLogAndNoRegistryChange)
{
    const char* key = "Software\\Vellmark AppBuiltins Prefs\\Tool";
    RegDeleteKeyA(HKEY_CURRENT_USER, key);
    ASSERT_TRUE(LogAddFile(&TheInstallLog, "C:\\Target\\tool.exe"));
    ASSERT_TRUE(LogAddPrefsKey(&TheInstallLog, key));
    EXPECT_EQ(RunScript("prefskey(\"software\\\\vellmark appbuiltins prefs\\\\tool\")"), 0);
    EXPECT_EQ(PrefsKeys(), std::vector<std::string>{key});
    EXPECT_EQ(TheInstallLog.count, 2u);
    EXPECT_FALSE(fntest::KeyExists(HKEY_CURRENT_USER, key));
}

}  // namespace
