// Running the signing tool: what it is given, what comes back, how it ended.
#include <gtest/gtest.h>

#include <string>

#include "ChildProcess.h"

TEST(ChildProcess, RunsAProgramWithItsArgumentsAsGiven)
{
    ChildRun run;
    run.arguments = {"printf", "%s|", "two words", "", "$HOME", "'quoted'"};
    ChildResult result;
    ASSERT_TRUE(RunChild(run, &result)) << result.error;
    EXPECT_TRUE(result.started);
    EXPECT_TRUE(result.exited);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.output, "two words||$HOME|'quoted'|");
}

TEST(ChildProcess, FeedsItsInputAndCollectsBothOutputs)
{
    ChildRun run;
    run.shellLine = "read line; echo \"out:$line\"; echo \"err:$line\" >&2";
    run.input = "the password";
    ChildResult result;
    ASSERT_TRUE(RunChild(run, &result)) << result.error;
    EXPECT_EQ(result.output, "out:the password\nerr:the password\n");

    // Without input, its standard input is at its end: nothing waits for a terminal.
    ChildRun empty;
    empty.shellLine = "cat; echo done";
    ASSERT_TRUE(RunChild(empty, &result));
    EXPECT_EQ(result.output, "done\n");
}

TEST(ChildProcess, HowItEnded)
{
    struct Case {
        const char* what;
        ChildRun run;
        bool started, exited;
        int exitCode;
        const char* error;
    };
    ChildRun failing;
    failing.shellLine = "exit 3";
    ChildRun killed;
    killed.shellLine = "kill -TERM $$";
    ChildRun missing;
    missing.arguments = {"vellmark-no-such-program"};
    ChildRun ignoresInput;     // ends before reading what it is given
    ignoresInput.shellLine = "exit 0";
    ignoresInput.input = std::string(1 << 20, 'x');
    const Case cases[] = {
        {"a failing exit", failing, true, true, 3, "exit code 3"},
        {"a signal", killed, true, false, -1, "ended by signal 15"},
        {"no such program", missing, false, false, -1, "not found"},
        {"input it never reads", ignoresInput, true, true, 0, ""},
    };
    for (const Case& c : cases) {
        ChildResult result;
        EXPECT_EQ(RunChild(c.run, &result), c.exited && c.exitCode == 0) << c.what;
        EXPECT_EQ(result.started, c.started) << c.what;
        EXPECT_EQ(result.exited, c.exited) << c.what;
        EXPECT_EQ(result.exitCode, c.exitCode) << c.what;
        EXPECT_EQ(result.error, c.error) << c.what;
    }
}

TEST(ChildProcess, FindsProgramsOnThePath)
{
    std::string path;
    ASSERT_TRUE(FindProgram("sh", &path));
    EXPECT_EQ(path.substr(path.size() - 3), "/sh");
    EXPECT_TRUE(FindProgram("/bin/sh", &path));
    EXPECT_EQ(path, "/bin/sh");
    EXPECT_FALSE(FindProgram("vellmark-no-such-program", &path));
    EXPECT_FALSE(FindProgram("/etc/passwd", &path)) << "not executable";
    EXPECT_FALSE(FindProgram("/bin", &path)) << "a folder";
    EXPECT_FALSE(FindProgram("", &path));
}

// As the Windows C runtime splits a command line back into arguments.
TEST(ChildProcess, QuotesArgumentsForWindows)
{
    struct Case {
        const char* argument;
        const char* quoted;
    };
    const Case cases[] = {
        {"plain", "plain"},
        {"C:\\Program Files\\Setup.exe", "\"C:\\Program Files\\Setup.exe\""},
        {"", "\"\""},
        {"say \"hi\"", "\"say \\\"hi\\\"\""},
        {"C:\\dir\\", "C:\\dir\\"},
        {"C:\\my dir\\", "\"C:\\my dir\\\\\""},
        {"a\\\\\"b", "\"a\\\\\\\\\\\"b\""},
        {"tab\there", "\"tab\there\""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(WindowsArgumentQuoted(c.argument), c.quoted) << c.argument;
}
