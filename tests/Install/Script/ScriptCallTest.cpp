// Script calls, host calls, the built-in table and its calling convention,
// the dry-run built-ins and the nesting limit.
#include "ScriptTestSupport.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <iostream>

namespace {

struct CallCase {
    const char* script;    // runs t()
    ScriptValue value;
    const char* calls;
};

const CallCase CallCases[] = {
    {"g() { return 42; } t() { var x; x = g() + 1; return x; }", 43, ""},
    {"f(a, b) { return a * 10 + b; } g(x) { return x + 1; } t() { return f(1, g(2)); }", 13, ""},
    {"f(a, b) { return a * 10 + b; } g(x) { return x + 1; } t() { return f(g(1), g(2)); }", 23, ""},
    {"f() { } t() { return f() + 5; }", 5, ""},
    {"f() { return; } t() { return f(); }", 1, ""},
    {"f() { var x; x = 1; } t() { return f(); }", 0, ""},
    // Locals keep their values from one call to the next.
    {"counter() { var n; n++; return n; } t() { counter(); counter(); return counter(); }", 3, ""},
    // Recursion shares the parameter slots: after the inner calls the outer
    // activation sees the innermost value.
    {"f(n) { if (n == 0) return 0; f(n - 1); return n; } t() { return f(3); }", 0, ""},
    {"fact(n) { if (n <= 1) return 1; return n * fact(n - 1); } t() { return fact(5); }", 120, ""},
    {"fact(n) { if (n <= 1) return 1; return fact(n - 1) * n; } t() { return fact(3); }", 1, ""},
    // A call in a loop condition runs on every pass.
    {"more(i) { return i < 3; } t() { var i; while (more(i)) i++; return i; }", 3, ""},
    // A built-in comes before a script function of the same name.
    {"msgboxok(text) { return 5; } t() { return msgboxok(\"built-in\"); }", 0,
     "msgboxok(\"built-in\")\n"},
    {"t() { return MsgBoxYesNo(\"Go on?\"); }", 1, "msgboxyesno(\"Go on?\")\n"},
    // A returned text is the address of a callee's slot; back in the caller
    // that slot holds the caller's text again.
    {"s() { return \"callee\"; } t() { var r; msgboxok(\"a\"); msgboxok(\"b\"); msgboxok(\"c\"); "
     "msgboxok(\"d\"); msgboxok(\"e\"); msgboxok(\"f\"); msgboxok(\"g\"); msgboxok(\"h\"); r = s(); "
     "msgboxok(r); }",
     0,
     "msgboxok(\"a\")\nmsgboxok(\"b\")\nmsgboxok(\"c\")\nmsgboxok(\"d\")\nmsgboxok(\"e\")\n"
     "msgboxok(\"f\")\nmsgboxok(\"g\")\nmsgboxok(\"h\")\nmsgboxok(\"h\")\n"},
    // The caller continues exactly where it was, with its own texts.
    {"g() { msgboxok(\"inner\"); return 1; } t() { copy(\"first\", \"second\"); g(); "
     "copy(\"third\", \"fourth\"); }",
     0, "copy(\"first\", \"second\")\nmsgboxok(\"inner\")\ncopy(\"third\", \"fourth\")\n"},
};

TEST(Calls, RunTheseScripts)
{
    for (const CallCase& c : CallCases) {
        ScriptSession session(c.script);
        ScriptValue value = session.Run("t");
        EXPECT_TRUE(session.accepted) << c.script << "\n" << Joined(session.record.reports);
        EXPECT_EQ(value, c.value) << c.script;
        EXPECT_EQ(Joined(session.record.calls), c.calls) << c.script;
        EXPECT_EQ(Joined(session.record.reports), "") << c.script;
    }
}

TEST(Calls, HostCallsCompareNamesIgnoringCase)
{
    ScriptSession session("Init() { return 7; } install() { return \"done\"; }");
    ASSERT_TRUE(session.Declare());
    EXPECT_EQ(ScriptFunctionExists("INIT"), 1);
    EXPECT_EQ(ScriptFunctionExists("Install"), 1);
    EXPECT_EQ(ScriptFunctionExists("uninstall"), 0);
    EXPECT_EQ(CallScriptFunction("iNiT"), 7);
    // A text counts as success: it is never 0.
    EXPECT_NE(CallScriptFunction("INSTALL"), 0);
    EXPECT_EQ(CallScriptFunction("missing"), 0);
}

TEST(Calls, HostCallsPassWhatTheArgumentListHolds)
{
    ScriptSession session("show(a, b) { return a * 100 + b; } t() { show(4, 2); }");
    ASSERT_TRUE(session.Declare());
    EXPECT_EQ(CallScriptFunction("show"), 0);
    CallScriptFunction("t");
    EXPECT_EQ(CallScriptFunction("show"), 402);
}

TEST(Calls, HostCallsLeaveTheLexerAndCurrentFunctionAsTheyWere)
{
    ScriptSession session("a() { var x; x = 1; return x; } b() { return 2; }");
    ASSERT_TRUE(session.Declare());
    int function = CurrentFunction;
    const char* position = Lexer.textPointer;
    TokenKind kind = Lexer.tokenKind;
    EXPECT_EQ(CallScriptFunction("a"), 1);
    EXPECT_EQ(CallScriptFunction("b"), 2);
    EXPECT_EQ(CurrentFunction, function);
    EXPECT_EQ(Lexer.textPointer, position);
    EXPECT_EQ(Lexer.tokenKind, kind);
}

TEST(Calls, ArgumentCountsAreCheckedBeforeAnythingRuns)
{
    const char* scripts[] = {
        "t() { msgboxok(\"first\"); } u() { msgboxok(1, 2); }",
        "t() { msgboxok(\"first\"); } u() { setprogsteps(); }",
        "t() { msgboxok(\"first\"); } u() { f(1); } f(a, b) { }",
        "t() { msgboxok(\"first\"); } u() { f(1, 2, 3); } f(a, b) { }",
        "msgboxok(a, b) { } t() { msgboxok(1, 2); }",
    };
    for (const char* script : scripts) {
        ScriptSession session(script);
        EXPECT_EQ(session.Run("t"), 0) << script;
        EXPECT_FALSE(session.accepted) << script;
        EXPECT_TRUE(session.record.calls.empty()) << script;
        ASSERT_EQ(session.record.reports.size(), 1u) << script;
        EXPECT_NE(session.record.reports[0].find("Incompatible number of parameters"), std::string::npos);
    }
}

// A program's own table, built from the shared signature list.
ScriptValue CountingHandler();
int HandlerCalls;
ScriptValue HandlerArguments[2];

ScriptValue CountingHandler()
{
    ++HandlerCalls;
    HandlerArguments[0] = EvaluateExpression();
    ExpectToken(TokenComma);
    HandlerArguments[1] = EvaluateExpression();
    ExpectToken(TokenRparen);
    return 77;
}

TEST(Calls, ProgramTablesCarryTheSharedNamesAndCounts)
{
    BuiltinHandler handlers[BuiltinCount] = {};
    handlers[BuiltinVersion] = CountingHandler;
    BuiltinRow table[BuiltinCount + 1];
    MakeBuiltinTable(handlers, table);
    EXPECT_STREQ(table[0].name, "iswin95");
    EXPECT_STREQ(table[BuiltinProgstep].name, "progstep");
    EXPECT_EQ(table[BuiltinShortcut].parameterCount, 4);
    EXPECT_EQ(table[BuiltinCopyshared].parameterCount, 3);
    EXPECT_EQ(table[BuiltinCount].name, nullptr);
    for (int i = 0; i < BuiltinCount; ++i) {
        EXPECT_EQ(static_cast<int>(strlen(BuiltinSignatures[i].parameterKinds)),
                  BuiltinSignatures[i].parameterCount)
            << BuiltinSignatures[i].name;
    }

    ScriptSession session("t() { return Version(\"pkg\", 3 * 4) + 1; }");
    InstallBuiltinTable(table);
    HandlerCalls = 0;
    EXPECT_EQ(session.Run("t"), 78);
    EXPECT_EQ(HandlerCalls, 1);
    EXPECT_STREQ(ScriptTextOf(HandlerArguments[0]), "pkg");
    EXPECT_EQ(HandlerArguments[1], 12);
    EXPECT_TRUE(IsBuiltin("version"));
    EXPECT_FALSE(IsBuiltin("Version"));
    EXPECT_TRUE(CheckArgumentCount("VERSION", 2));
    EXPECT_FALSE(CheckArgumentCount("version", 1));
}

TEST(Calls, DryRunLinesShowTextsAsTheBuiltinSeesThem)
{
    struct Case {
        const char* body;
        const char* line;
    } cases[] = {
        {"msgboxok(\"Line 1\\nLine 2\\t\\\\ \\\"q\");", "msgboxok(\"Line 1\\nLine 2\\t\\\\ \")"},
        {"msgboxok(null);", "msgboxok(0)"},
        {"msgboxok(40 + 2);", "msgboxok(42)"},
        {"setreboot(1);", "setreboot(1)"},
        {"setprogsteps(-3);", "setprogsteps(-3)"},
        {"copyshared(\"<sys>\\\\a.dll\", \"C:\\\\x\", \"keep\");",
         "copyshared(\"<sys>\\\\a.dll\", \"C:\\\\x\", \"keep\")"},
        {"shortcut(\"Name\", \"<inst>\\\\app.exe\", \"\", \"\");",
         "shortcut(\"Name\", \"<inst>\\\\app.exe\", \"\", \"\")"},
        {"progstep();", "progstep()"},
        {"msgboxok(\"\\b\");", "msgboxok(\"\\x08\")"},
        {"regsetstring(\"HKLM\", \"Software\\\\Acme\", null, \"%APPDIR%\");",
         "regsetstring(\"HKLM\", \"Software\\\\Acme\", 0, \"%APPDIR%\")"},
        {"regsetdword(\"hkcu\", \"Software\\\\Acme\", \"Build\", -1);",
         "regsetdword(\"hkcu\", \"Software\\\\Acme\", \"Build\", -1)"},
        {"fileassoc(\"acme\", \"Acme.Project\", null, null, \"C:\\\\a.exe\");",
         "fileassoc(\"acme\", \"Acme.Project\", 0, 0, \"C:\\\\a.exe\")"},
        {"addpath(\"%APPDIR%\\\\bin\");", "addpath(\"%APPDIR%\\\\bin\")"},
        {"shortcutdesk(\"Acme\", \"C:\\\\a.exe\", null, \"/x\");",
         "shortcutdesk(\"Acme\", \"C:\\\\a.exe\", 0, \"/x\")"},
        {"runprogram(\"C:\\\\a b\\\\c.exe\", \"/q\", 1);", "runprogram(\"C:\\\\a b\\\\c.exe\", \"/q\", 1)"},
        {"copyfolder(\"Bin\", \"%APPDIR%\\\\bin\");", "copyfolder(\"Bin\", \"%APPDIR%\\\\bin\")"},
    };
    for (const Case& c : cases) {
        ScriptSession session(std::string("t() { ") + c.body + " }");
        session.Run("t");
        ASSERT_EQ(session.record.calls.size(), 1u) << c.body << Joined(session.record.reports);
        EXPECT_EQ(session.record.calls[0], c.line) << c.body;
    }
}

// The built-ins that report a change with 1 answer 1 in a dry run, so that
// a script's `if (!regsetstring(...)) return 0;` goes on as on a machine
// where the change can be made; runprogram answers 0, a program that ended
// well.  The declaration pass checks their argument counts.
TEST(Calls, DryRunAnswersOfTheSystemBuiltins)
{
    struct Case {
        const char* call;
        ScriptValue result;
    } cases[] = {
        {"regsetstring(\"HKLM\", \"K\", null, \"t\")", 1}, {"regsetdword(\"HKLM\", \"K\", null, 1)", 1},
        {"fileassoc(\"a\", \"A.B\", null, null, \"C:\\\\a.exe\")", 1}, {"addpath(\"C:\\\\bin\")", 1},
        {"shortcutdesk(\"A\", \"C:\\\\a.exe\", null, null)", 1}, {"runprogram(\"C:\\\\a.exe\", null, 1)", 0},
        {"copy(\"a\", \"C:\\\\a\")", 0}, {"copyfolder(\"a\", \"C:\\\\a\")", 0},
    };
    for (const Case& c : cases) {
        ScriptSession session(std::string("t() { return ") + c.call + "; }");
        EXPECT_EQ(session.Run("t"), c.result) << c.call;
    }
    for (const char* wrong : {"regsetstring(\"HKLM\", \"K\", \"t\")", "regsetdword(\"HKLM\", \"K\", null, 1, 2)",
                              "fileassoc(\"a\", \"A.B\", null, \"C:\\\\a.exe\")", "addpath()",
                              "shortcutdesk(\"A\", \"C:\\\\a.exe\", null)", "runprogram(\"C:\\\\a.exe\", null)",
                              "copyfolder(\"a\")"}) {
        ScriptSession session(std::string("t() { return ") + wrong + "; }");
        EXPECT_FALSE(session.Declare()) << wrong;
    }
}

TEST(Calls, DryRunYesNoGivesTheChosenAnswer)
{
    ScriptSession yes("t() { if (msgboxyesno(\"Sure?\")) return 10; return 20; }", 1);
    EXPECT_EQ(yes.Run("t"), 10);
    ScriptSession no("t() { if (msgboxyesno(\"Sure?\")) return 10; return 20; }", 0);
    EXPECT_EQ(no.Run("t"), 20);
}

// The nesting limit: whatever a script nests, it ends with a report instead
// of running out of stack.

uintptr_t DeepestStackAddress;

ScriptValue ProbeStack()
{
    volatile char marker = 0;
    uintptr_t here = reinterpret_cast<uintptr_t>(&marker);
    if (DeepestStackAddress == 0 || here < DeepestStackAddress)
        DeepestStackAddress = here;
    ExpectToken(TokenRparen);
    return marker;
}

const BuiltinRow ProbeTable[] = {{"probe", ProbeStack, 0}, {nullptr, nullptr, 0}};

struct DeepRun {
    bool accepted = false;
    bool probed = false;
    size_t stackBytes = 0;
    std::string reports;
};

DeepRun RunDeep(const std::string& script)
{
    ScriptSession session(script);
    InstallBuiltinTable(ProbeTable);
    DeepRun run;
    volatile char top = 0;
    DeepestStackAddress = 0;
    session.Run("t");
    run.accepted = session.accepted;
    run.reports = Joined(session.record.reports);
    if (DeepestStackAddress) {
        run.probed = true;
        run.stackBytes = reinterpret_cast<uintptr_t>(&top) - DeepestStackAddress;
    }
    return run;
}

std::string Repeat(const std::string& piece, int count)
{
    std::string all;
    for (int i = 0; i < count; ++i)
        all += piece;
    return all;
}

struct NestingKind {
    const char* name;
    std::string (*script)(int depth);
};

const NestingKind NestingKinds[] = {
    {"parentheses", [](int d) { return "t() { return " + Repeat("(", d) + "probe()" + Repeat(")", d) + "; }"; }},
    {"unary minus", [](int d) { return "t() { return " + Repeat("- ", d) + "probe(); }"; }},
    {"blocks", [](int d) { return "t() { " + Repeat("{ ", d) + "probe();" + Repeat(" }", d) + " }"; }},
    {"if", [](int d) { return "t() { " + Repeat("if (1) ", d) + "probe(); }"; }},
    {"for", [](int d) { return "t() { " + Repeat("for (;;) ", d) + "return probe(); }"; }},
    {"while", [](int d) { return "t() { " + Repeat("while (1) ", d) + "return probe(); }"; }},
    {"assignment", [](int d) {
         return "t() { var x; " + Repeat("x = ", d) + "probe(); }";
     }},
    {"calls", [](int d) {
         return "f(n) { if (n == 0) return probe(); return f(n - 1) + 1; } t() { return f(" +
                std::to_string(d) + "); }";
     }},
    {"calls in loops", [](int d) {
         return "f(n) { for (;;) while (1) { if (n == 0) return probe(); return f(n - 1) + 1; } } "
                "t() { return f(" +
                std::to_string(d) + "); }";
     }},
};

#if defined(__SANITIZE_ADDRESS__)
constexpr size_t StackBudget = 6u << 20;    // sanitizer frames are far larger
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr size_t StackBudget = 6u << 20;
#else
constexpr size_t StackBudget = 512u << 10;
#endif
#else
// Half the 1 MB stack of a Windows thread: the rest is for the host, the
// dialog code that calls in and the built-ins.
constexpr size_t StackBudget = 512u << 10;
#endif

TEST(Nesting, EveryKindEndsWithAReportWithinTheStackBudget)
{
    for (const NestingKind& kind : NestingKinds) {
        // The deepest nesting that still runs, by halving.
        int low = 1, high = 4096;
        ASSERT_TRUE(RunDeep(kind.script(low)).probed) << kind.name;
        DeepRun tooDeep = RunDeep(kind.script(high));
        ASSERT_FALSE(tooDeep.probed) << kind.name;
        EXPECT_NE(tooDeep.reports.find("Error: Nesting too deep at "), std::string::npos)
            << kind.name << ": " << tooDeep.reports;
        while (high - low > 1) {
            int middle = (low + high) / 2;
            if (RunDeep(kind.script(middle)).probed)
                low = middle;
            else
                high = middle;
        }
        DeepRun deepest = RunDeep(kind.script(low));
        EXPECT_EQ(deepest.reports, "") << kind.name;
        EXPECT_LT(deepest.stackBytes, StackBudget) << kind.name;
        // Real scripts nest a handful of levels; these are the ceilings.
        EXPECT_GE(low, 20) << kind.name;
        std::cout << "  " << kind.name << ": deepest " << low << ", " << deepest.stackBytes
                  << " bytes of stack\n";
    }
}

}  // namespace
