// Out of memory and failing disks, through the injection points of the test
// build.  Each test makes the Nth call fail for N = 1, 2, ... until an
// operation gets through untouched, and checks the outcome after every one.
#include "LogTestSupport.h"

using namespace logtest;

namespace {

std::vector<Entry> Sample()
{
    return {{1, "Acme", "Tool", "C:\\Tool"},       {2, "C:\\Tool", Absent, Absent},
            {3, "C:\\Tool\\a.exe", Absent, Absent}, {4, "C:\\Win\\b.dll", "b.dll", Absent},
            {7, "C:\\d.sys", "Drv", ""},           {8, Absent, Absent, Absent}};
}

std::string SampleBytes()
{
    InstallLog list{};
    for (const Entry& e : Sample())
        Add(list, e);
    std::string bytes = SaveBytes(list);
    ReleaseInstallLog(&list);
    return bytes;
}

// Adding under memory exhaustion records the entry whole or leaves the list
// exactly as it was.  32 entries come first so that the index has to grow.
TEST_F(LogTest, AddingWhenMemoryRunsOut)
{
    for (bool persistent : {false, true}) {
        for (long n = 1;; ++n) {
            ASSERT_LT(n, MaxAttempts);
            ReleaseInstallLog(&list);
            for (int i = 0; i < 32; ++i)
                LogAddFile(&list, ("C:\\f" + std::to_string(i)).c_str());
            std::vector<Entry> before = Entries(list);

            TheLogTestHooks.allocation = {n, persistent, 0};
            int added = LogAddSharedFile(&list, "C:\\Win\\b.dll", "b.dll");
            bool fired = TheLogTestHooks.allocation.calls >= n;
            ResetLogTestHooks();

            if (!fired) {
                EXPECT_EQ(added, 1);
                break;
            }
            SCOPED_TRACE("allocation " + std::to_string(n) + (persistent ? " and after" : ""));
            EXPECT_EQ(added, 0);
            EXPECT_EQ(Entries(list), before);
            // The list still works, and the refused entry was not half-indexed.
            EXPECT_EQ(LogAddSharedFile(&list, "C:\\Win\\b.dll", "b.dll"), 1);
            EXPECT_EQ(LogAddFile(&list, "c:\\F7"), 0);
        }
    }
}

// Loading under memory exhaustion keeps the entries before the failed one,
// in order, and stops; nothing leaks (the sanitizer build checks that).
TEST_F(LogTest, LoadingWhenMemoryRunsOut)
{
    const std::string bytes = SampleBytes();
    const std::vector<Entry> all = Sample();
    for (bool persistent : {false, true}) {
        for (long n = 1;; ++n) {
            ASSERT_LT(n, MaxAttempts);
            TheLogTestHooks.allocation = {n, persistent, 0};
            LogLoadStatus status = LoadBytes(list, bytes);
            bool fired = TheLogTestHooks.allocation.calls >= n;
            ResetLogTestHooks();

            std::vector<Entry> got = Entries(list);
            if (!fired) {
                EXPECT_EQ(status, LogLoadComplete);
                EXPECT_EQ(got, all);
                break;
            }
            SCOPED_TRACE("allocation " + std::to_string(n) + (persistent ? " and after" : ""));
            EXPECT_EQ(status, LogLoadOutOfMemory);
            ASSERT_LT(got.size(), all.size());
            EXPECT_EQ(got, std::vector<Entry>(all.begin(), all.begin() + got.size()));
        }
    }
}

// A read that fails anywhere ends the load with the entries before it, never
// a garbage entry and never a loop that does not end.
TEST_F(LogTest, LoadingWhenAReadFails)
{
    const std::string bytes = SampleBytes();
    const std::vector<Entry> all = Sample();
    for (long n = 1;; ++n) {
        ASSERT_LT(n, static_cast<long>(bytes.size()) + 10);
        TheLogTestHooks.read = {n, false, 0};
        LogLoadStatus status = LoadBytes(list, bytes);
        bool fired = TheLogTestHooks.read.calls >= n;
        ResetLogTestHooks();

        std::vector<Entry> got = Entries(list);
        if (!fired) {
            EXPECT_EQ(status, LogLoadComplete);
            EXPECT_EQ(got, all);
            break;
        }
        SCOPED_TRACE("read " + std::to_string(n));
        EXPECT_EQ(status, got.empty() && n == 1 ? LogLoadNotALog : LogLoadTruncated);
        ASSERT_LT(got.size(), all.size());
        EXPECT_EQ(got, std::vector<Entry>(all.begin(), all.begin() + got.size()));
    }
}

// Saving over an existing log while the disk fails: every write, the flush,
// the close and the final replace may fail.  The old log must survive each
// one byte for byte, the temporary file must be gone, and the list released.
class SaveFailureTest : public LogTest {
protected:
    void SetUp() override
    {
        LogTest::SetUp();
        path = dir.File("Tool.log");
        LogAddProduct(&list, "Acme", "Tool", "C:\\Tool");
        LogAddFile(&list, "C:\\Tool\\old.exe");
        oldBytes = SaveBytes(list);
        ASSERT_EQ(SaveInstallLog(&list, path.c_str()), LogSaveWritten);
    }

    void FillNewList()
    {
        ReleaseInstallLog(&list);
        for (const Entry& e : Sample())
            Add(list, e);
    }

    // Saves with one hook armed; true when the hook fired.
    bool SaveWith(LogFailCountdown LogTestHooks::*hook, long n)
    {
        FillNewList();
        TheLogTestHooks.*hook = {n, false, 0};
        TheLogTestHooks.shortWriteBytes = 3;  // a full disk takes part of the write
        LogSaveStatus status = SaveInstallLog(&list, path.c_str());
        bool fired = (TheLogTestHooks.*hook).calls >= n;
        ResetLogTestHooks();
        EXPECT_EQ(list.count, 0u) << "the list is released in every case";
        EXPECT_EQ(dir.List(), std::vector<std::string>{"Tool.log"}) << "no temporary file is left";
        EXPECT_EQ(status, fired ? LogSaveFailed : LogSaveWritten);
        return fired;
    }

    ScratchDir dir;
    std::string path;
    std::string oldBytes;
};

TEST_F(SaveFailureTest, TheOldLogSurvivesEveryFailedStep)
{
    const struct {
        const char* name;
        LogFailCountdown LogTestHooks::*hook;
    } steps[] = {
        {"write", &LogTestHooks::write},      {"flush", &LogTestHooks::flush},
        {"close", &LogTestHooks::close},      {"replace", &LogTestHooks::replace},
        {"allocation", &LogTestHooks::allocation},
    };
    for (const auto& step : steps) {
        long failures = 0;
        for (long n = 1;; ++n) {
            ASSERT_LT(n, MaxAttempts);
            SCOPED_TRACE(std::string(step.name) + " " + std::to_string(n));
            bool fired = SaveWith(step.hook, n);
            if (!fired) {
                EXPECT_EQ(ReadBytes(path), SampleBytes());
                break;
            }
            ++failures;
            ASSERT_EQ(ReadBytes(path), oldBytes);
            ASSERT_EQ(LoadInstallLogStatus(&list, path.c_str()), LogLoadComplete);
            ReleaseInstallLog(&list);
        }
        EXPECT_GT(failures, 0) << step.name << " was never reached";
        // Put the old log back for the next step.
        WriteBytes(path, oldBytes);
    }
}

// The Windows 95 family has no MoveFileExA; the replace then goes through
// MoveFileA with the old log moved aside.  Natively the hook changes nothing,
// under Windows it takes the other path; both must end with the new log alone.
TEST_F(SaveFailureTest, ReplacingWithoutMoveFileEx)
{
    FillNewList();
    std::string newBytes = SaveBytes(list);
    TheLogTestHooks.moveFileExMissing = true;
    EXPECT_EQ(SaveInstallLog(&list, path.c_str()), LogSaveWritten);
    EXPECT_EQ(ReadBytes(path), newBytes);
    EXPECT_EQ(dir.List(), std::vector<std::string>{"Tool.log"});

    // A first save, with no old log to move aside.
    std::string fresh = dir.File("Fresh.log");
    LogAddFile(&list, "C:\\X");
    EXPECT_EQ(SaveInstallLog(&list, fresh.c_str()), LogSaveWritten);
    EXPECT_EQ(ReadBytes(fresh), "log1" + Record(3, 1, {"C:\\X"}));
}

}  // namespace
