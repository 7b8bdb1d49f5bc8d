// The declaration pass: every message and limit, with its offset and the
// identifier text it names.
#include "ScriptTestSupport.h"

#include <gtest/gtest.h>

namespace {

struct DeclarationCase {
    const char* script;
    bool accepted;
    const char* reports;
};

const DeclarationCase DeclarationCases[] = {
    {"", true, ""},
    {"// Company=Acme\r\n// Product=Widget\r\n", true, ""},
    {"define answer 42 f() { return answer; }", true, ""},
    // Top-level items.
    {"define a 5 ;", false,
     "Expected define or function definition at 10 (a)\nExpected ; at 10 (a)\n"},
    {"5", false, "Expected define or function definition at 0 ()\nExpected int const at 0 ()\n"},
    {"define 5 5", false, "Expected identifier at 6 (define)\n"},
    {"define x y", false, "Expected int const at 8 (y)\n"},
    {"define x -1", false, "Expected int const at 8 (x)\n"},
    {"define true 5", false, "Error: Constant already defined at 13 (true)\n"},
    {"define x 1 define x 2", false, "Error: Constant already defined at 21 (x)\n"},
    {"f() { } f() { }", false, "Error: Function already defined at 8 (f)\n"},
    // Parameters.
    {"f(a,b,c,d,e,g,h,i) { var j,k,l,m,n,o,p,q; }", true, ""},
    {"f(a,b,c,d,e,g,h,i,j) { }", false, "Error: Too much params at 18 (j)\n"},
    {"f(a,a) { }", false, "Error: Param already defined at 4 (a)\n"},
    {"f(1) { }", false, "Expected identifier at 2 (f)\n"},
    {"f(a,) { }", false, "Expected identifier at 4 (a)\n"},
    {"f(a b) { }", false, "Expected ) or , at 3 (b)\n"},
    {"f(a", false, "Error: Unexpected end of file at 3 (a)\n"},
    {"f x) { }", false, "Expected ( at 1 (x)\n"},
    // Locals.
    {"f() { var a,b,c,d,e,g,h,i,j; }", false, "Error: Too much locals at 26 (j)\n"},
    {"f(a) { var a; }", false, "Error: Variable already defined at 11 (a)\n"},
    {"f() { var x; var x; }", false, "Error: Variable already defined at 17 (x)\n"},
    {"f() { if (1) { var x; } }", false, "Error: Can't declare nested vars. at 15 (var)\n"},
    {"f() { g(); var y; } g() { }", true, ""},
    {"f() { var a b; }", true, ""},
    {"f() { var a + b; }", false, "Expected , or ; at 11 (a)\n"},
    {"f() { var", false, "Error: Unexpected end of file at 9 (var)\n"},
    {"f() {", false, "Error: Unexpected end of file at 5 (f)\n"},
    // Names of parameters and locals against functions, also later ones.
    {"f(g) { } g() { }", false,
     "Error: g at 16 (g)\nError: Function with that name already defined at 16 (g)\n"},
    {"f() { var g; } g() { }", false,
     "Error: g at 22 (g)\nError: Function with that name already defined at 22 (g)\n"},
    // Bodies: names, calls and argument counts, loops.
    {"f() { undefined(); }", false,
     "Error: Unknown identifier at 15 (undefined)\nExpected identifier at 15 (undefined)\n"},
    {"f() { var x; x = nope + 1; }", false,
     "Error: Unknown identifier at 22 (nope)\nExpected identifier at 21 (nope)\n"},
    {"f() { g(1); } g() { }", false, "Error: Incompatible number of parameters at 10 (g)\n"},
    {"f() { msgboxok(); }", false, "Error: Incompatible number of parameters at 16 (msgboxok)\n"},
    {"f() { MsgBoxOK(\"a\", 2); }", false,
     "Error: Incompatible number of parameters at 22 (msgboxok)\n"},
    {"f() { msgboxok(\"a\" \"b\"); }", false, "Expected , or ) at 18 (msgboxok)\n"},
    {"f() { msgboxok(1", false, "Error: Unexpected end of file at 16 (msgboxok)\n"},
    {"f() { break; }", false, "Error: Can't break without loop. at 6 (break)\n"},
    {"f() { continue; }", false, "Error: Can't continue without loop. at 6 (continue)\n"},
    {"f() { for (;;) ; break; }", false, "Error: Can't break without loop. at 17 (break)\n"},
    {"f() { while (1) { if (1) break; else continue; } for (;;) break; }", true, ""},
    {"f() { return; } g() { return 1 }", false, "Expected ; at 30 (return)\n"},
    {"f() { x = 1\r\n  y = 2; } ", false,
     "Error: Unknown identifier at 8 (x)\nExpected identifier at 7 (x)\n"},
    {"f() { var x, y; x = 1\r\n  y = 2; } ", false, "Expected ; at 21 (y)\n"},
    {"f() { var a,b,c; a == b == c; }", false, "Expected ; at 23 (b)\n"},
    {"f() { var a,b,c; a < b < c; }", false, "Expected ; at 22 (b)\n"},
    {"f() { 5 = 3; }", false, "Expected l-expr variable at 7 (f)\n"},
        // The offset is the look-ahead token's: the assignment test scanned it.
    {"f() { var x; ++x; }", false, "Expected l-expr variable at 15 (x)\n"},
    {"f() { true = 1; }", false, "Expected l-expr variable at 10 (true)\n"},
    {"f() { var x; (x) = 1; }", false, "Expected l-expr variable at 16 (x)\n"},
    {"f() { if (1 { } }", false, "Expected ) at 11 (if)\n"},
    // Syntax that the check lets through.
    {"f() { for (;;) ; if (1) ; else ; else ; return; }", true, ""},
    // Every variable reads 0 during the check: a variable divisor is no error there.
    {"f() { var x, y; x = 1 / y; x /= y; return x / (y - y); }", true, ""},
    // Lexical errors come first, wherever they are.
    {"f() { nope(); } g() { x & }", false, "Error: Illegal char at 24 (x)\n"},
    // Block comments are folded like code, and a quote in one toggles the
    // folding: the capital after it reaches the lexer.  It is the first token,
    // so the preparation reports it before the declaration pass does.
    {"/* \" */ F() { } /* \" */", false,
     "Error: Illegal char at 8 ()\nError: Illegal char at 8 ()\n"},
    {"/* x */ F() { } // \"", true, ""},
};

TEST(Declaration, AcceptsOrRejectsWithTheseReports)
{
    for (const DeclarationCase& c : DeclarationCases) {
        ScriptSession session(c.script);
        EXPECT_EQ(session.Declare(), c.accepted) << c.script;
        EXPECT_EQ(Joined(session.record.reports), c.reports) << c.script;
        EXPECT_TRUE(session.record.calls.empty()) << c.script;
    }
}

std::string Functions(int count)
{
    std::string script;
    for (int i = 0; i < count; ++i)
        script += "f" + std::to_string(i) + "() { return " + std::to_string(i) + "; }\r\n";
    return script;
}

std::string Constants(int count)
{
    std::string script;
    for (int i = 0; i < count; ++i)
        script += "define c" + std::to_string(i) + " " + std::to_string(i) + "\r\n";
    return script;
}

TEST(Declaration, TablesHoldSixteenFunctionsAndSixtyFourConstants)
{
    {
        ScriptSession session(Functions(16));
        EXPECT_TRUE(session.Declare());
        EXPECT_EQ(FunctionTable.count, 16);
        EXPECT_EQ(CallScriptFunction("f15"), 15);
    }
    {
        // The 17th function and the 62nd constant of a script fail without a
        // report of their own.
        ScriptSession session(Functions(17));
        EXPECT_FALSE(session.Declare());
        EXPECT_TRUE(session.record.reports.empty());
    }
    {
        ScriptSession session(Constants(61) + "f() { return c60; }");
        EXPECT_TRUE(session.Declare());
        EXPECT_EQ(ConstantTable.count, ScriptConstantLimit);
        EXPECT_EQ(CallScriptFunction("f"), 60);
    }
    {
        ScriptSession session(Constants(62));
        EXPECT_FALSE(session.Declare());
        EXPECT_TRUE(session.record.reports.empty());
    }
}

TEST(Declaration, RecordsFunctionsParametersAndLocalsInTextOrder)
{
    ScriptSession session(
        "// Name=Demo\r\n"
        "define big 0x10\r\n"
        "Install(Path, Mode) { var Done; var Count, Total; return 1; }\r\n"
        "init() { }\r\n");
    ASSERT_TRUE(session.Declare());
    ASSERT_EQ(FunctionTable.count, 2);
    const ScriptFunction& install = FunctionTable.functions[0];
    EXPECT_STREQ(install.name, "install");
    ASSERT_EQ(install.parameterCount, 2);
    EXPECT_STREQ(install.parameterNames[0], "path");
    EXPECT_STREQ(install.parameterNames[1], "mode");
    ASSERT_EQ(install.localCount, 3);
    EXPECT_STREQ(install.localNames[0], "done");
    EXPECT_STREQ(install.localNames[2], "total");
    EXPECT_STREQ(FunctionTable.functions[1].name, "init");
    ScriptValue value = 0;
    EXPECT_TRUE(FindConstant("big", &value));
    EXPECT_EQ(value, 16);
    EXPECT_STREQ(ConstantTable.constants[0].name, "null");
    EXPECT_STREQ(ConstantTable.constants[1].name, "true");
    EXPECT_STREQ(ConstantTable.constants[2].name, "false");
    EXPECT_EQ(DeclarationPass, 0);
}

TEST(Declaration, NoBuiltinRunsDuringTheCheck)
{
    ScriptSession session(
        "init() { if (msgboxyesno(\"Sure?\")) { copy(\"a\", \"b\"); } while (msgboxok(\"x\")) break; }");
    EXPECT_TRUE(session.Declare());
    EXPECT_TRUE(session.record.calls.empty());
}

TEST(Declaration, RejectedScriptStaysInTheDeclarationPass)
{
    ScriptSession session("f() { nope(); }");
    EXPECT_FALSE(session.Declare());
    EXPECT_EQ(DeclarationPass, 1);
    EXPECT_EQ(ScriptErrorFlag, 1);
}

}  // namespace
