// Expressions and statements: values, precedence, grouping, loops and their
// snapshots, and the run-time errors.
#include "ScriptTestSupport.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

struct ValueCase {
    const char* body;     // of t(), which the case runs
    ScriptValue value;
};

const ValueCase ValueCases[] = {
    // Precedence and grouping.
    {"return 1 + 2 * 3;", 7},
    {"return (1 + 2) * 3;", 9},
    {"return -2 * -3;", 6},
    {"return - -3;", 3},
    {"return !5;", 0},
    {"return !0;", 1},
    {"return !!7;", 1},
    {"return -!0;", -1},
    {"return 7 - 2 - 1;", 4},
    {"return 100 / 10 / 5;", 2},
    {"return 2 * 3 / 4;", 1},
    {"return 7 / 2;", 3},
    {"return -7 / 2;", -3},
    {"return 7 / -2;", -3},
    {"return 1 < 2 == 1;", 1},
    {"return 1 + 1 == 2;", 1},
    {"return 1 || 0 && 0;", 1},
    {"return 0 && 1 || 1;", 1},
    // Comparisons are signed and give exactly 0 or 1.
    {"return 1 < 2;", 1},
    {"return 2 <= 2;", 1},
    {"return 3 > 4;", 0},
    {"return 4 >= 5;", 0},
    {"return -1 < 0;", 1},
    {"return 0x80000000 < 0;", 1},
    {"return 5 == 5;", 1},
    {"return 5 != 5;", 0},
    {"return 2 && 3;", 1},
    {"return 0 || 9;", 1},
    {"return 0 || 0;", 0},
    // 32-bit wrap-around.
    {"return 2147483647 + 1;", INT_MIN},
    {"return -2147483647 - 2;", INT_MAX},
    {"return 65536 * 65536;", 0},
    {"return 0x7fffffff * 2;", -2},
    {"return -(0x80000000);", INT_MIN},
    {"return 0x80000000 / -1;", INT_MIN},
    {"return 0x80000000 / 1;", INT_MIN},
    {"var x; x = 0x80000000; x /= -1; return x;", INT_MIN},
    // Variables, assignment and postfix operators.
    {"var x; x = 5; return x++;", 5},
    {"var x; x = 5; x++; return x;", 6},
    {"var x; x = 5; x--; x--; return x;", 3},
    {"var x, y; x = y = 3; return x * 10 + y;", 33},
    {"var x; return x = 4;", 4},
    {"var x; x = 3; x += 4; return x;", 7},
    {"var x; x = 3; x -= 4; return x;", -1},
    {"var x; x = 3; x *= 4; return x;", 12},
    {"var x; x = 13; x /= 4; return x;", 3},
    {"var x; x = 3; return x += 4;", 7},
    // The compound forms read the variable after the right side ran, but
    // their value uses the left side as it was.
    {"var x; x = 2; x += x = 5; return x;", 10},
    {"var x; x = 2; return x += x = 5;", 7},
    {"var x; x = 2; x *= x = 5; return x;", 25},
    {"var x; x = 2; return x *= x = 5;", 10},
    {"var x; x = 9; return x -= x = 5;", 4},
    {"var x; x = 8; return x /= x = 2;", 4},
    {"var x; x = 1; x++ = 7; return x;", 7},
    // Constants and texts.
    {"return true + true + false + null;", 2},
    {"return \"abc\" == \"abc\";", 0},
    {"var s; s = \"abc\"; return s == s;", 1},
    {"var s, u; s = \"abc\"; u = s + 1; return u - s;", 1},
    // Empty expressions: true before ';', 0 before ')'.
    {"return;", 1},
    {"return ();", 0},
    {"var x; x = 1;", 0},
    {"if (1) ; else return 5;", 0},
    // if and else.
    {"if (0) return 1; else return 2;", 2},
    {"if (1) return 1; else return 2;", 1},
    {"if (0) return 1; return 3;", 3},
    {"if (1) if (0) return 1; else return 2; return 3;", 2},
    {"if (0) if (1) return 1; else return 2; return 3;", 3},
    {"if (0) return 1; else if (0) return 2; else return 3;", 3},
    {"var x; if (x = 4) return x; return -1;", 4},
    // for: init once, condition, body, step.
    {"var i, n; for (i = 0; i < 10; i++) n += 2; return n;", 20},
    {"var i; for (;;) { i++; if (i == 5) break; } return i;", 5},
    {"var i, n; for (i = 0; i < 10; i++) { if (i == 3) continue; n++; } return n;", 9},
    {"var i, n; for (i = 0; i < 10; i++) { if (i == 4) break; n++; } return i * 100 + n;", 404},
    {"var i; for (i = 0; i < 10; i++) if (i == 6) return i; return -1;", 6},
    {"var i, j, n; for (i = 0; i < 4; i++) for (j = 0; j < 3; j++) n++; return n;", 12},
    {"var i, j, n; for (i = 0; i < 4; i++) for (j = 0; j < 3; j++) { if (j == 1) break; n++; } "
     "return n * 100 + i;", 404},
    {"var i; for (i = 5; i < 3; i++) return 99; return i;", 5},
    // while.
    {"var i; while (i < 7) i++; return i;", 7},
    {"var i; while (1) { i++; if (i > 3) return i * 10; }", 40},
    {"var i, n; while (i < 10) { i++; if (i > 5) continue; n++; } return n * 100 + i;", 510},
    {"var i; while (1) { if (i == 3) break; i++; } return i;", 3},
    {"var i; while (0) return 1; return 2;", 2},
    // Nested blocks and statements after a loop.
    {"var i, n; { { for (i = 0; i < 3; i++) { { n++; } } } } n++; return n;", 4},
};

TEST(Evaluation, ReturnsTheseValues)
{
    for (const ValueCase& c : ValueCases) {
        std::string script = std::string("t() { ") + c.body + " }";
        ScriptSession session(script);
        ScriptValue value = session.Run("t");
        EXPECT_TRUE(session.accepted) << c.body << "\n" << Joined(session.record.reports);
        EXPECT_EQ(value, c.value) << c.body;
        EXPECT_EQ(Joined(session.record.reports), "") << c.body;
    }
}

struct RunCase {
    const char* script;    // runs t()
    ScriptValue value;
    const char* calls;     // dry-run lines, in order
    const char* reports;
};

const RunCase RunCases[] = {
    // No short-circuit: both sides of && and || always run.
    {"t() { if (0 && msgboxok(\"and\")) return 1; return 2; }", 2, "msgboxok(\"and\")\n", ""},
    {"t() { if (1 || msgboxok(\"or\")) return 1; return 2; }", 1, "msgboxok(\"or\")\n", ""},
    // Loop headers: the initialisation once, the condition before every pass,
    // the step after every pass that did not break.
    {"t() { var i; for (msgboxok(\"init\"); msgboxok(\"cond\") == 0 && i < 2; msgboxok(\"step\")) i++; "
     "return i; }",
     2,
     "msgboxok(\"init\")\nmsgboxok(\"cond\")\nmsgboxok(\"step\")\nmsgboxok(\"cond\")\n"
     "msgboxok(\"step\")\nmsgboxok(\"cond\")\n",
     ""},
    {"t() { var i; for (i = 0; i < 3; msgboxok(\"step\")) { i++; continue; msgboxok(\"never\"); } "
     "return i; }",
     3, "msgboxok(\"step\")\nmsgboxok(\"step\")\nmsgboxok(\"step\")\n", ""},
    {"t() { for (;; msgboxok(\"step\")) { break; } msgboxok(\"after\"); }", 0, "msgboxok(\"after\")\n",
     ""},
    {"t() { var i; while (msgboxok(\"cond\") == 0) { i++; if (i == 2) break; } msgboxok(\"after\"); "
     "return i; }",
     2, "msgboxok(\"cond\")\nmsgboxok(\"cond\")\nmsgboxok(\"after\")\n", ""},
    {"t() { var i; while (i < 2) { i++; continue; msgboxok(\"never\"); } msgboxok(\"after\"); }", 0,
     "msgboxok(\"after\")\n", ""},
    // A false condition skips its statement without running anything in it.
    {"t() { if (0) { msgboxok(\"then\"); } else msgboxok(\"else\"); }", 0, "msgboxok(\"else\")\n", ""},
    {"t() { while (0) { msgboxok(\"body\"); } for (; 0; msgboxok(\"step\")) msgboxok(\"body\"); }", 0,
     "", ""},
    // Texts in loops: every pass scans its constants again from the same slots.
    {"t() { var i; for (i = 0; i < 3; i++) msgboxok(\"pass\"); }", 0,
     "msgboxok(\"pass\")\nmsgboxok(\"pass\")\nmsgboxok(\"pass\")\n", ""},
    {"t() { var s; s = \"abc\"; msgboxok(s + 1); }", 0, "msgboxok(\"bc\")\n", ""},
    // Errors at run time end the function with 0.
    {"t() { var z; return 7 / z; }", 0, "", "Error: Divide by zero at 25 (z)\n"},
    {"t() { var z; msgboxok(\"before\"); z = 1 / z; msgboxok(\"after\"); return 5; }", 0,
     "msgboxok(\"before\")\n", "Error: Divide by zero at 42 (z)\n"},
    {"t() { var i, z; while (1) { i++; if (i == 3) z = i / z; } }", 0, "",
     "Error: Divide by zero at 54 (z)\n"},
    // One report per fault: what follows the error is not reported as missing.
    {"t() { var z, y; y = 1 / z + y; return 1; }", 0, "", "Error: Divide by zero at 26 (z)\n"},
    {"t() { var z; copy(1 / z + 1, \"x\"); return 1; }", 0, "copy(0, 0)\n",
     "Error: Divide by zero at 24 (z)\n"},
};

TEST(Evaluation, RunsTheseScripts)
{
    for (const RunCase& c : RunCases) {
        ScriptSession session(c.script);
        ScriptValue value = session.Run("t");
        EXPECT_TRUE(session.accepted) << c.script << "\n" << Joined(session.record.reports);
        EXPECT_EQ(value, c.value) << c.script;
        EXPECT_EQ(Joined(session.record.calls), c.calls) << c.script;
        EXPECT_EQ(Joined(session.record.reports), c.reports) << c.script;
    }
}

TEST(Evaluation, DivisionByZeroInACompoundAssignmentClearsTheVariable)
{
    ScriptSession session("t() { var x, z; x = 5; x /= z; return 1; }");
    EXPECT_EQ(session.Run("t"), 0);
    EXPECT_EQ(Joined(session.record.reports), "Error: Divide by zero at 29 (z)\n");
    EXPECT_EQ(FunctionTable.functions[0].localValues[0], 0);
}

TEST(Evaluation, AnErrorStopsEveryLaterCall)
{
    ScriptSession session("z() { var q; return 1 / q; } one() { return 1; }");
    ASSERT_TRUE(session.Declare());
    EXPECT_EQ(CallScriptFunction("one"), 1);
    EXPECT_EQ(CallScriptFunction("z"), 0);
    EXPECT_EQ(CallScriptFunction("one"), 0);
    EXPECT_EQ(session.record.reports.size(), 1u);
}

TEST(Evaluation, ElseAfterAnElseThatTheCheckLetThroughFailsAtRunTime)
{
    ScriptSession session("t() { if (1) ; else ; else ; return 5; }");
    EXPECT_EQ(session.Run("t"), 0);
    EXPECT_TRUE(session.accepted);
    // Reported at the token after the stray else, which the assignment
    // look-ahead scanned last.
    EXPECT_EQ(Joined(session.record.reports), "Expected ; at 26 (else)\n");
}

TEST(Evaluation, ReturnInsideNestedLoopsLeavesAllOfThem)
{
    ScriptSession session(
        "t() { var i, j; for (i = 0; i < 5; i++) { while (1) { for (j = 0; ; j++) "
        "{ if (i * 10 + j == 23) return i * 10 + j; if (j == 4) break; } break; } } return -1; }");
    EXPECT_EQ(session.Run("t"), 23);
    EXPECT_EQ(Joined(session.record.reports), "");
}

}  // namespace
