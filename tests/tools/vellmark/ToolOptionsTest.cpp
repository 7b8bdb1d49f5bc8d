// How every vellmark command reads its command line: long and short options,
// values in both forms, --, --help and -h, and the one format of its errors.
#include <gtest/gtest.h>

#include <cstdio>
#include <iterator>
#include <string>
#include <vector>

#include "ToolOptions.h"

namespace {

const OptionSpec DemoOptions[] = {
    {"output", 'o', "FILE"},
    {"force", 0, nullptr},
    {"level", 0, "N"},
    {"directory", 'd', "DIR"},
};

const CommandSpec Demo = {"demo", DemoOptions, std::size(DemoOptions), "usage: vellmark demo X\n",
                          "\nWhat demo does.\n"};

// argv for the command: its name, then the arguments.
std::vector<char*> Argv(std::vector<std::string>& arguments)
{
    std::vector<char*> argv;
    static char name[] = "demo";
    argv.push_back(name);
    for (std::string& a : arguments)
        argv.push_back(&a[0]);
    return argv;
}

// What the parser made of the arguments, in one line: the options given in
// the table's order ("name=value", a switch as "name"), then every operand in
// brackets; "help", or "fault: TEXT".
std::string Parsed(std::vector<std::string> arguments)
{
    std::vector<char*> argv = Argv(arguments);
    CommandOptions line;
    std::string fault;
    switch (ParseOptions(Demo, static_cast<int>(argv.size()), argv.data(), &line, &fault)) {
    case OptionsHelp:
        return "help";
    case OptionsFault:
        return "fault: " + fault;
    default:
        break;
    }
    std::string shown;
    for (size_t k = 0; k < std::size(DemoOptions); ++k) {
        if (!line.Given(k))
            continue;
        shown += shown.empty() ? "" : " ";
        shown += DemoOptions[k].name;
        if (DemoOptions[k].value)
            shown += std::string("=") + line.Value(k);
    }
    for (const char* operand : line.operands)
        shown += std::string(shown.empty() ? "" : " ") + "[" + operand + "]";
    return shown;
}

TEST(CommandOptions, ArgumentsToOptionsAndOperands)
{
    struct Case {
        std::vector<std::string> arguments;
        const char* parsed;
    } cases[] = {
        {{}, ""},
        {{"setup.exe", "Docs"}, "[setup.exe] [Docs]"},
        {{""}, "[]"},
        {{"-"}, "[-]"},
        // a value after the option, or joined to it
        {{"--output", "a.exe"}, "output=a.exe"},
        {{"--output=a.exe"}, "output=a.exe"},
        {{"-o", "a.exe"}, "output=a.exe"},
        {{"-oa.exe"}, "output=a.exe"},
        {{"--output="}, "output="},
        {{"--output=x=y"}, "output=x=y"},
        // options and operands in any order; the last value counts
        {{"-o", "a.exe", "src", "--force", "more"}, "output=a.exe force [src] [more]"},
        {{"src", "-d", "out", "--level", "3"}, "level=3 directory=out [src]"},
        {{"-o", "a.exe", "--output", "b.exe"}, "output=b.exe"},
        // a value is taken as it stands
        {{"--level", "-1"}, "level=-1"},
        {{"-o", "--force"}, "output=--force"},
        {{"-o", "--help"}, "output=--help"},
        {{"-o", "--"}, "output=--"},
        // -- ends the options
        {{"--", "-o", "--help", "-h"}, "[-o] [--help] [-h]"},
        {{"a", "--force", "--", "--", "b"}, "force [a] [--] [b]"},
        {{"--"}, ""},
        // faults
        {{"--bogus"}, "fault: unknown option '--bogus'"},
        {{"--bogus=1"}, "fault: unknown option '--bogus'"},
        {{"--out", "a.exe"}, "fault: unknown option '--out'"},
        {{"-x"}, "fault: unknown option '-x'"},
        {{"-xyz"}, "fault: unknown option '-xyz'"},
        {{"-hx"}, "fault: unknown option '-hx'"},
        {{"--=x"}, "fault: unknown option '--'"},
        {{"-o"}, "fault: no FILE given after -o"},
        {{"src", "--directory"}, "fault: no DIR given after --directory"},
        {{"--force=yes"}, "fault: --force takes no value"},
        {{"--help=yes"}, "fault: --help takes no value"},
        {{"--bogus", "-o"}, "fault: unknown option '--bogus'"},
        // --help and -h, wherever they stand among the options
        {{"--help"}, "help"},
        {{"-h"}, "help"},
        {{"src", "-o", "a.exe", "-h"}, "help"},
        {{"--bogus", "--help", "-o"}, "help"},
    };
    for (const Case& c : cases) {
        std::string shown;
        for (const std::string& a : c.arguments)
            shown += " '" + a + "'";
        EXPECT_EQ(Parsed(c.arguments), c.parsed) << "arguments:" << shown;
    }
}

TEST(CommandOptions, RefusedLineLeavesTheOutputsAlone)
{
    std::vector<std::string> arguments = {"src", "--bogus"};
    std::vector<char*> argv = Argv(arguments);
    CommandOptions line;
    line.operands.push_back("kept");
    EXPECT_EQ(ParseOptions(Demo, static_cast<int>(argv.size()), argv.data(), &line, nullptr), OptionsFault);
    ASSERT_EQ(line.operands.size(), 1u);
    EXPECT_STREQ(line.operands[0], "kept");
    EXPECT_TRUE(line.values.empty());
}

struct Printed {
    bool goesOn;
    int exitCode;
    std::string out;
    std::string err;
};

Printed Read(std::vector<std::string> arguments)
{
    std::vector<char*> argv = Argv(arguments);
    CommandOptions line;
    Printed p{false, -1, "", ""};
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    p.goesOn = ReadOptions(Demo, static_cast<int>(argv.size()), argv.data(), &line, &p.exitCode);
    fflush(stdout);
    fflush(stderr);
    p.out = testing::internal::GetCapturedStdout();
    p.err = testing::internal::GetCapturedStderr();
    return p;
}

TEST(CommandOptions, HelpGoesToStdoutAndEndsTheCommandWithZero)
{
    Printed p = Read({"src", "--help"});
    EXPECT_FALSE(p.goesOn);
    EXPECT_EQ(p.exitCode, 0);
    EXPECT_EQ(p.out, "usage: vellmark demo X\n\nWhat demo does.\n");
    EXPECT_EQ(p.err, "");
}

TEST(CommandOptions, FaultsAreOneErrorLineAndExitCodeTwo)
{
    struct Case {
        std::vector<std::string> arguments;
        const char* line;
    } cases[] = {
        {{"--bogus"}, "vellmark demo: unknown option '--bogus' (see 'vellmark demo --help')\n"},
        {{"src", "-o"}, "vellmark demo: no FILE given after -o (see 'vellmark demo --help')\n"},
        {{"--force=1"}, "vellmark demo: --force takes no value (see 'vellmark demo --help')\n"},
    };
    for (const Case& c : cases) {
        Printed p = Read(c.arguments);
        EXPECT_FALSE(p.goesOn) << c.line;
        EXPECT_EQ(p.exitCode, CommandFailed) << c.line;
        EXPECT_EQ(p.out, "") << c.line;
        EXPECT_EQ(p.err, c.line);
    }
}

TEST(CommandOptions, ParsedLineGoesOnSilently)
{
    Printed p = Read({"src", "-o", "a.exe"});
    EXPECT_TRUE(p.goesOn);
    EXPECT_EQ(p.out + p.err, "");
}

TEST(CommandOptions, ErrorLinesOfACommand)
{
    testing::internal::CaptureStderr();
    EXPECT_EQ(CommandError("demo", "x.exe: no such file"), CommandFailed);
    EXPECT_EQ(UsageError(Demo, "no X given"), CommandFailed);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "vellmark demo: x.exe: no such file\n"
              "vellmark demo: no X given (see 'vellmark demo --help')\n");
}

}  // namespace
