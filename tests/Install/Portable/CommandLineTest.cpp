// The setup's command line: without /S it means nothing (the wizard runs as
// it always has); with /S every word must be one of ours, and /D= takes the
// rest of the line as it stands.
#include <gtest/gtest.h>

#include <string>

#include "CommandLine.h"

namespace {

TEST(SetupCommandLine, ATableOfCommandLines)
{
    struct Case {
        const char* line;
        bool unattended;
        CommandLineStatus status;
        const char* installDir;
        const char* transcript;
        const char* refused;
    };
    const Case cases[] = {
        // Without /S nothing is read, whatever is there.
        {"", false, CommandLineOk, "", "", ""},
        {"   ", false, CommandLineOk, "", "", ""},
        {"/D=C:\\Apps /LOG=x.txt", false, CommandLineOk, "", "", ""},
        {"/X /Y", false, CommandLineOk, "", "", ""},
        {"/SILENT", false, CommandLineOk, "", "", ""},
        {"/D=C:\\Apps /S", false, CommandLineOk, "", "", ""},          // /S inside the folder
        // /S alone, in either case, among blanks and tabs.
        {"/S", true, CommandLineOk, "", "", ""},
        {"/s", true, CommandLineOk, "", "", ""},
        {"  \t/S  ", true, CommandLineOk, "", "", ""},
        {"\"/S\"", true, CommandLineOk, "", "", ""},
        {"/S /S", true, CommandLineOk, "", "", ""},
        // /D= takes the rest of the line, blanks included, without quotes.
        {"/S /D=C:\\Program Files\\Acme Tools", true, CommandLineOk, "C:\\Program Files\\Acme Tools", "", ""},
        {"/s /d=c:\\x  y  ", true, CommandLineOk, "c:\\x  y", "", ""},
        {"/S /D=C:\\Apps\\Tool\\", true, CommandLineOk, "C:\\Apps\\Tool", "", ""},
        {"/S /D=C:\\Apps\\\\\\", true, CommandLineOk, "C:\\Apps", "", ""},
        {"/S /D=C:\\", true, CommandLineOk, "C:\\", "", ""},
        {"/S /D=C:\\\\", true, CommandLineOk, "C:\\", "", ""},
        {"/S /D=\\\\server\\share\\Tool\\", true, CommandLineOk, "\\\\server\\share\\Tool", "", ""},
        // ... so a /LOG= after it would be part of the folder: the slash refuses it.
        {"/S /D=C:\\Apps /LOG=C:\\t.txt", true, CommandLineBadFolder, "", "", "C:\\Apps /LOG=C:\\t.txt"},
        // /LOG= is one word; quotes group blanks and go.
        {"/S /LOG=C:\\t.txt", true, CommandLineOk, "", "C:\\t.txt", ""},
        {"/LOG=C:\\t.txt /S", true, CommandLineOk, "", "C:\\t.txt", ""},
        {"/S /log=\"C:\\My Logs\\t.txt\" /D=D:\\A B", true, CommandLineOk, "D:\\A B", "C:\\My Logs\\t.txt", ""},
        {"/S \"/LOG=C:\\My Logs\\t.txt\"", true, CommandLineOk, "", "C:\\My Logs\\t.txt", ""},
        // Faults: the first is reported, a later /LOG= is still taken.
        {"/S /X", true, CommandLineUnknownSwitch, "", "", "/X"},
        {"/S /SILENT /LOG=C:\\t.txt", true, CommandLineUnknownSwitch, "", "C:\\t.txt", "/SILENT"},
        {"/S C:\\Apps", true, CommandLineUnknownSwitch, "", "", "C:\\Apps"},
        {"/S /D", true, CommandLineUnknownSwitch, "", "", "/D"},
        {"/S /DIR=C:\\x", true, CommandLineUnknownSwitch, "", "", "/DIR=C:\\x"},
        {"/S /LOG=", true, CommandLineBadTranscript, "", "", "/LOG="},
        {"/S /LOG=a.txt /LOG=b.txt", true, CommandLineBadTranscript, "", "a.txt", "/LOG=b.txt"},
        {"/S /D=", true, CommandLineBadFolder, "", "", ""},
        {"/S /D=   ", true, CommandLineBadFolder, "", "", ""},
        {"/S /D=\"C:\\Program Files\\Acme\"", true, CommandLineBadFolder, "", "", "\"C:\\Program Files\\Acme\""},
        // The whole switch in quotes: the folder without them, still last.
        {"/S \"/D=C:\\Program Files\\Acme\"", true, CommandLineOk, "C:\\Program Files\\Acme", "", ""},
        {"/S \"/d=C:\\Program Files\\Acme\\\"  ", true, CommandLineOk, "C:\\Program Files\\Acme", "", ""},
        {"/S \"/D=C:\\A B\" /LOG=t.txt", true, CommandLineBadFolder, "", "", "\"/D=C:\\A B\" /LOG=t.txt"},
        {"/S \"/D=Apps\\Tool\"", true, CommandLineBadFolder, "", "", "\"/D=Apps\\Tool\""},
        {"/S \"/D=\"", true, CommandLineBadFolder, "", "", "\"/D=\""},
        {"/S /D=Apps\\Tool", true, CommandLineBadFolder, "", "", "Apps\\Tool"},
        {"/S /D=\\Apps", true, CommandLineBadFolder, "", "", "\\Apps"},
        {"/S /D=C:Apps", true, CommandLineBadFolder, "", "", "C:Apps"},
        {"/S /D=C:/Apps", true, CommandLineBadFolder, "", "", "C:/Apps"},
        {"/S /D=\\\\", true, CommandLineBadFolder, "", "", "\\\\"},
        {"/S /D=\\\\\\x", true, CommandLineBadFolder, "", "", "\\\\\\x"},
        {"/S /X /D=C:\\Apps", true, CommandLineUnknownSwitch, "C:\\Apps", "", "/X"},
    };
    for (const Case& c : cases) {
        SetupCommandLine command;
        ParseSetupCommandLine(c.line, &command);
        EXPECT_EQ(command.unattended, c.unattended) << c.line;
        EXPECT_EQ(command.status, c.status) << c.line;
        EXPECT_STREQ(command.installDir, c.installDir) << c.line;
        EXPECT_STREQ(command.transcriptPath, c.transcript) << c.line;
        EXPECT_STREQ(command.refused, c.refused) << c.line;
    }
}

TEST(SetupCommandLine, NullIsAnEmptyLine)
{
    SetupCommandLine command;
    ParseSetupCommandLine(nullptr, &command);
    EXPECT_FALSE(command.unattended);
    EXPECT_EQ(command.status, CommandLineOk);
}

TEST(SetupCommandLine, AFolderAsLongAsTheDestinationBoxTakesAndNoLonger)
{
    // The Destination folder page's box takes 260 characters; /D= no more.
    std::string folder = "C:\\" + std::string(DestinationLengthLimit - 3, 'a');
    SetupCommandLine command;
    ParseSetupCommandLine(("/S /D=" + folder).c_str(), &command);
    EXPECT_EQ(command.status, CommandLineOk);
    EXPECT_EQ(std::string(command.installDir), folder);

    ParseSetupCommandLine(("/S /D=" + folder + "b").c_str(), &command);
    EXPECT_EQ(command.status, CommandLineBadFolder);
    EXPECT_STREQ(command.installDir, "") << "never cut to fit";

    // Blanks and backslashes at the end do not count.
    ParseSetupCommandLine(("/S /D=" + folder + "\\   ").c_str(), &command);
    EXPECT_EQ(command.status, CommandLineOk);
    EXPECT_EQ(std::string(command.installDir), folder);
}

TEST(SetupCommandLine, ATranscriptPathThatWouldNotFitIsRefusedNeverCut)
{
    std::string path = "C:\\" + std::string(CommandLinePathSize, 'a');
    SetupCommandLine command;
    ParseSetupCommandLine(("/S /LOG=" + path).c_str(), &command);
    EXPECT_EQ(command.status, CommandLineBadTranscript);
    EXPECT_STREQ(command.transcriptPath, "");
    EXPECT_EQ(strlen(command.refused), CommandLinePathSize - 1) << "the report is cut, the path is not used";

    std::string fits = "C:\\" + std::string(CommandLinePathSize - 5 - 4, 'a');   // "/LOG=" + path + NUL
    ParseSetupCommandLine(("/S /LOG=" + fits).c_str(), &command);
    EXPECT_EQ(command.status, CommandLineOk);
    EXPECT_EQ(std::string(command.transcriptPath), fits);
}

TEST(SetupCommandLine, EveryFaultHasItsSentence)
{
    EXPECT_EQ(CommandLineMessage(CommandLineOk), nullptr);
    for (CommandLineStatus status : {CommandLineUnknownSwitch, CommandLineBadFolder, CommandLineBadTranscript})
        EXPECT_NE(CommandLineMessage(status), nullptr) << status;
}

TEST(UnattendedSwitch, OnlyTheWordSAtTheStart)
{
    struct Case {
        const char* line;
        bool taken;
        const char* rest;
    };
    const Case cases[] = {
        {"/S C:\\Apps\\Tool.log", true, "C:\\Apps\\Tool.log"},
        {"/s   C:\\My Apps\\Tool.log", true, "C:\\My Apps\\Tool.log"},
        {"/S\tC:\\x.log", true, "C:\\x.log"},
        {"/S", true, ""},
        {"/SC:\\x.log", false, nullptr},
        {"C:\\x.log /S", false, nullptr},
        {" /S C:\\x.log", false, nullptr},
        {"\"/S\" C:\\x.log", false, nullptr},
        {"", false, nullptr},
    };
    for (const Case& c : cases) {
        const char* rest = nullptr;
        EXPECT_EQ(TakeUnattendedSwitch(c.line, &rest), c.taken) << c.line;
        if (c.taken) {
            EXPECT_STREQ(rest, c.rest) << c.line;
        }
    }
    const char* rest = nullptr;
    EXPECT_FALSE(TakeUnattendedSwitch(nullptr, &rest));
}

}  // namespace
