// What the uninstaller reads before it asks anything: the log's path from its
// command line, and the log with the product it names.  A log that cannot be
// read whole is never played back.
#include "LogTestSupport.h"
#include "UninstallLog.h"

using namespace logtest;

namespace {

TEST(TakeLogPath, TheCommandLineIsThePathWithoutOneSurroundingPairOfQuotes)
{
    struct Case {
        const char* commandLine;
        const char* path;
    };
    const Case cases[] = {
        {"C:\\Program Files\\Acme\\Tool\\Tool.log", "C:\\Program Files\\Acme\\Tool\\Tool.log"},
        {"\"C:\\Program Files\\Acme\\Tool\\Tool.log\"", "C:\\Program Files\\Acme\\Tool\\Tool.log"},
        {"\"\"C:\\x.log\"\"", "\"C:\\x.log\""},          // one pair only
        {"\"C:\\x.log", "\"C:\\x.log"},                   // no pair: unchanged
        {"C:\\x.log\"", "C:\\x.log\""},
        {"C:\\a \"b\".log", "C:\\a \"b\".log"},           // quotes inside stay
        {" C:\\x.log ", " C:\\x.log "},                   // blanks are part of it
        {"\"", "\""},
        {"\"\"", ""},                                     // nothing left: the user picks
        {"", ""},
    };
    for (const Case& c : cases) {
        char path[512] = "unchanged";
        EXPECT_EQ(TakeLogPath(c.commandLine, path, sizeof path), 1) << c.commandLine;
        EXPECT_STREQ(path, c.path) << c.commandLine;
    }
    char path[512] = "unchanged";
    EXPECT_EQ(TakeLogPath(nullptr, path, sizeof path), 1);
    EXPECT_STREQ(path, "");
}

TEST(TakeLogPath, APathThatWouldNotFitIsRefusedNeverCut)
{
    // A cut path could name another file, and the removal deletes the log.
    char path[16];
    EXPECT_EQ(TakeLogPath("C:\\123456789.log", path, sizeof path), 0);   // 16 characters
    EXPECT_STREQ(path, "");
    EXPECT_EQ(TakeLogPath("\"C:\\123456789.log\"", path, sizeof path), 0);
    EXPECT_EQ(TakeLogPath("C:\\12345678.log", path, sizeof path), 1);    // 15 fit
    EXPECT_STREQ(path, "C:\\12345678.log");
    EXPECT_EQ(TakeLogPath("\"C:\\12345678.log\"", path, sizeof path), 1);
    EXPECT_STREQ(path, "C:\\12345678.log");
}

TEST(UninstallCommandLine, SlashSRemovesUnattendedAndAnythingElseIsThePath)
{
    struct Case {
        const char* commandLine;
        bool unattended;
        UninstallCommandLineStatus status;
        const char* path;
    };
    const Case cases[] = {
        // Without /S: exactly the path TakeLogPath takes.
        {"C:\\Program Files\\Acme\\Tool.log", false, UninstallCommandLineOk, "C:\\Program Files\\Acme\\Tool.log"},
        {"\"C:\\My Apps\\Tool.log\"", false, UninstallCommandLineOk, "C:\\My Apps\\Tool.log"},
        {"", false, UninstallCommandLineOk, ""},
        {"/SC:\\x.log", false, UninstallCommandLineOk, "/SC:\\x.log"},
        {" /S C:\\x.log", false, UninstallCommandLineOk, " /S C:\\x.log"},
        // /S and the path, blanks and all, with or without quotes.
        {"/S C:\\Program Files\\Acme\\Tool.log", true, UninstallCommandLineOk, "C:\\Program Files\\Acme\\Tool.log"},
        {"/s \"C:\\My Apps\\Tool.log\"", true, UninstallCommandLineOk, "C:\\My Apps\\Tool.log"},
        {"/S   C:\\x.log", true, UninstallCommandLineOk, "C:\\x.log"},
        // Nobody can pick a log in an unattended removal; no path starts with "/".
        {"/S", true, UninstallPathMissing, ""},
        {"/S   ", true, UninstallPathMissing, ""},
        {"/S \"\"", true, UninstallPathMissing, ""},
        {"/S /X C:\\x.log", true, UninstallUnknownSwitch, ""},
    };
    for (const Case& c : cases) {
        char path[512] = "unchanged";
        bool unattended = !c.unattended;
        EXPECT_EQ(TakeUninstallCommandLine(c.commandLine, path, sizeof path, &unattended), c.status) << c.commandLine;
        EXPECT_EQ(unattended, c.unattended) << c.commandLine;
        EXPECT_STREQ(path, c.path) << c.commandLine;
    }

    char small[16];
    bool unattended = false;
    EXPECT_EQ(TakeUninstallCommandLine("/S C:\\123456789.log", small, sizeof small, &unattended), UninstallPathTooLong);
    EXPECT_TRUE(unattended);
    EXPECT_STREQ(small, "");
    EXPECT_EQ(TakeUninstallCommandLine("C:\\123456789.log", small, sizeof small, &unattended), UninstallPathTooLong);
    EXPECT_FALSE(unattended);
}

TEST(UninstallCommandLine, AnUnattendedRemovalMayWriteATranscript)
{
    struct Case {
        const char* commandLine;
        UninstallCommandLineStatus status;
        const char* transcript;
        const char* path;
    };
    const Case cases[] = {
        {"/S C:\\x.log", UninstallCommandLineOk, "", "C:\\x.log"},
        {"/S /LOG=C:\\t.txt C:\\Program Files\\x.log", UninstallCommandLineOk, "C:\\t.txt", "C:\\Program Files\\x.log"},
        {"/s /log=t.txt   \"C:\\My Apps\\x.log\"", UninstallCommandLineOk, "t.txt", "C:\\My Apps\\x.log"},
        {"/S \"/LOG=C:\\My Logs\\t.txt\" C:\\x.log", UninstallCommandLineOk, "C:\\My Logs\\t.txt", "C:\\x.log"},
        {"/S /LOG=\"C:\\My Logs\\t.txt\" C:\\x.log", UninstallCommandLineOk, "C:\\My Logs\\t.txt", "C:\\x.log"},
        {"/S /LOG= C:\\x.log", UninstallBadTranscript, "", ""},
        {"/S /LOG=t.txt", UninstallPathMissing, "t.txt", ""},
        {"/S /LOG=t.txt /X C:\\x.log", UninstallUnknownSwitch, "t.txt", ""},
        // Without /S a /LOG= is part of the log's path, as every text is.
        {"/LOG=t.txt C:\\x.log", UninstallCommandLineOk, "", "/LOG=t.txt C:\\x.log"},
    };
    for (const Case& c : cases) {
        char path[512] = "unchanged";
        char transcript[512] = "unchanged";
        bool unattended = false;
        EXPECT_EQ(TakeUninstallCommandLine(c.commandLine, path, sizeof path, &unattended, transcript, sizeof transcript),
                  c.status)
            << c.commandLine;
        EXPECT_STREQ(transcript, c.transcript) << c.commandLine;
        EXPECT_STREQ(path, c.path) << c.commandLine;
    }
    // A transcript path that would not fit is refused, never cut.
    char path[512];
    char small[8];
    bool unattended = false;
    EXPECT_EQ(TakeUninstallCommandLine("/S /LOG=C:\\long.txt C:\\x.log", path, sizeof path, &unattended, small,
                                       sizeof small),
              UninstallBadTranscript);
    EXPECT_STREQ(small, "");
}

class UninstallLogTest : public LogTest {
protected:
    // Writes the entries as a log file and opens it as the uninstaller does.
    UninstallLogStatus Open(const std::vector<Entry>& entries)
    {
        InstallLog source{};
        for (const Entry& e : entries)
            EXPECT_EQ(Add(source, e), 1);
        WriteBytes(path, SaveBytes(source));
        ReleaseInstallLog(&source);
        return OpenUninstallLog(&list, path.c_str(), &product);
    }

    ScratchDir dir;
    const std::string path = dir.File("Tool.log");
    UninstallProduct product = {};
};

std::string Name(const char* text)
{
    return text ? "\"" + std::string(text) + "\"" : "null";
}

TEST_F(UninstallLogTest, TheNamesComeFromTheFirstProductEntryAndAnEmptyOneIsAbsent)
{
    struct Case {
        const char* what;
        Entry product;
        const char* company;
        const char* name;
        const char* folder;
    };
    const Case cases[] = {
        {"all three", {1, "Acme", "Tool", "C:\\Apps\\Tool"}, "Acme", "Tool", "C:\\Apps\\Tool"},
        {"no company setting: recorded empty", {1, "", "Tool", "C:\\Apps\\Tool"}, nullptr, "Tool", "C:\\Apps\\Tool"},
        {"no product setting", {1, "Acme", "", "C:\\Apps"}, "Acme", nullptr, "C:\\Apps"},
        {"strings absent", {1, Absent, Absent, Absent}, nullptr, nullptr, nullptr},
        {"an empty folder", {1, "Acme", "Tool", ""}, "Acme", "Tool", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        product = {};
        ASSERT_EQ(Open({{3, "C:\\Apps\\Tool\\a.exe", Absent, Absent}, c.product, {1, "Other", "Else", "C:\\Else"}}),
                  UninstallLogReady);
        EXPECT_EQ(Name(product.company), Name(c.company));
        EXPECT_EQ(Name(product.product), Name(c.name));
        EXPECT_EQ(Name(product.installDir), Name(c.folder));
        EXPECT_EQ(Entries(list).size(), 3u);
    }
}

TEST_F(UninstallLogTest, WhatIsRefusedAndWithWhichMessage)
{
    const char* corrupted = "Log file corrupted!\nDeinstalation aborted!";
    const char* notALog = "Couldn't open log file\nor this is not valid uninstallation file...";

    EXPECT_EQ(Open({{3, "C:\\a.exe", Absent, Absent}, {5, "Software\\Acme\\Tool", Absent, Absent}}),
              UninstallLogCorrupted) << "no Product entry";
    EXPECT_EQ(Open({}), UninstallLogCorrupted) << "an empty log";
    EXPECT_EQ(OpenUninstallLog(&list, dir.File("missing.log").c_str(), &product), UninstallLogMissing)
        << "no file: an empty list, which names no product";
    WriteBytes(path, "MZ: a program, not a log");
    EXPECT_EQ(OpenUninstallLog(&list, path.c_str(), &product), UninstallLogNotALog);
    WriteBytes(path, "log");
    EXPECT_EQ(OpenUninstallLog(&list, path.c_str(), &product), UninstallLogNotALog);
    EXPECT_EQ(product.company, nullptr) << "a refusal leaves the product as it was";

    EXPECT_STREQ(UninstallLogMessage(UninstallLogCorrupted), corrupted);
    EXPECT_STREQ(UninstallLogMessage(UninstallLogMissing), corrupted);
    EXPECT_STREQ(UninstallLogMessage(UninstallLogNotALog), notALog);
    EXPECT_EQ(UninstallLogMessage(UninstallLogReady), nullptr);
}

// A log cut anywhere inside a record is refused, even when the Product entry
// before the cut is whole: the entries after it would be lost for good.  A
// cut between records cannot be told from a shorter log.
TEST_F(UninstallLogTest, ALogCutInsideARecordIsRefused)
{
    const std::string product = Record(1, 7, {"Acme", "Tool", "C:\\Tool"});
    const std::vector<std::string> records = {product, Record(3, 1, {"C:\\Tool\\a.exe"}),
                                              Record(4, 3, {"C:\\Win\\b.dll", "b.dll"}),
                                              Record(5, 1, {"Software\\Acme\\Tool"})};
    std::string bytes = "log1";
    std::vector<size_t> boundaries = {bytes.size()};
    for (const std::string& record : records) {
        bytes += record;
        boundaries.push_back(bytes.size());
    }
    for (size_t length = 4; length <= bytes.size(); ++length) {
        WriteBytes(path, bytes.substr(0, length));
        bool boundary = std::find(boundaries.begin(), boundaries.end(), length) != boundaries.end();
        UninstallLogStatus expected = boundary && length >= 4 + product.size() ? UninstallLogReady : UninstallLogCorrupted;
        EXPECT_EQ(OpenUninstallLog(&list, path.c_str(), &this->product), expected) << "cut at " << length;
    }
}

// Memory running out at any allocation of the load refuses the log: the
// entries after that point were never read.
TEST_F(UninstallLogTest, ALogThatRanOutOfMemoryIsRefused)
{
    ASSERT_EQ(Open({{1, "Acme", "Tool", "C:\\Tool"}, {3, "C:\\Tool\\a.exe", Absent, Absent},
                    {4, "C:\\Win\\b.dll", "b.dll", Absent}, {7, "C:\\Win\\d.sys", "Drv", Absent}}),
              UninstallLogReady);
    for (long n = 1;; ++n) {
        ASSERT_LT(n, MaxAttempts);
        product = {};
        TheLogTestHooks.allocation = {n, false, 0};
        UninstallLogStatus status = OpenUninstallLog(&list, path.c_str(), &product);
        bool fired = TheLogTestHooks.allocation.calls >= n;
        ResetLogTestHooks();
        if (!fired) {
            EXPECT_EQ(status, UninstallLogReady);
            EXPECT_EQ(Entries(list).size(), 4u);
            break;
        }
        EXPECT_EQ(status, UninstallLogCorrupted) << "allocation " << n;
        EXPECT_EQ(product.company, nullptr) << "allocation " << n;
    }
}

TEST_F(UninstallLogTest, ADriverEntryAsksForTheServiceManager)
{
    ASSERT_EQ(Open({{1, "Acme", "Tool", "C:\\Tool"}, {3, "C:\\Tool\\a.exe", Absent, Absent}}), UninstallLogReady);
    EXPECT_FALSE(LogRecordsDriver(&list));
    ASSERT_EQ(Open({{1, "Acme", "Tool", "C:\\Tool"}, {7, "C:\\Win\\d.sys", "Drv", Absent}}), UninstallLogReady);
    EXPECT_TRUE(LogRecordsDriver(&list));
}

}  // namespace
