// The playback of an install log: what the undo and the uninstaller remove,
// in which order, and what they leave.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "InstallTestSupport.h"
#include "Playback.h"

using fntest::FolderNames;
using fntest::IsFile;
using fntest::IsFolder;
using fntest::KeyExists;
using fntest::ReadNumberValue;
using namespace installtest;

namespace {

class PlaybackTest : public InstallFixture {
protected:
    PlaybackOptions Options()
    {
        PlaybackOptions options = {};
        options.company = Company;
        options.product = "Tool";
        options.installDir = InstallDir;
        options.logPath = LogFilePath;
        return options;
    }

    InstallLog list = {};
    void TearDown() override
    {
        ReleaseInstallLog(&list);
        InstallFixture::TearDown();
    }
};

TEST_F(PlaybackTest, SharedReferencesCountDown)
{
    struct Case {
        const char* what;
        long long before;      // -1: no value
        long long after;
        int released;
        bool otherValue;       // a second value keeps the key alive
        bool keyAfter;
    };
    const Case cases[] = {
        {"3 becomes 2", 3, 2, 0, false, true},
        {"1 becomes 0: the value goes, and the key with its last value", 1, -1, 1, false, false},
        {"1 becomes 0 beside another value", 1, -1, 1, true, true},
        {"no value: nothing changes", -1, -1, 0, true, true},
    };
    for (const Case& c : cases) {
        fntest::DeleteKeyTree(HKEY_LOCAL_MACHINE, SharedFilesKey);
        if (c.before >= 0)
            fntest::SetNumberValue(HKEY_LOCAL_MACHINE, SharedFilesKey, "lib.dll", static_cast<DWORD>(c.before));
        if (c.otherValue)
            fntest::SetNumberValue(HKEY_LOCAL_MACHINE, SharedFilesKey, "other.dll", 4);
        EXPECT_EQ(ReleaseSharedReference("lib.dll", Company, "Tool"), c.released) << c.what;
        EXPECT_EQ(ReadNumberValue(HKEY_LOCAL_MACHINE, SharedFilesKey, "lib.dll"), c.after) << c.what;
        EXPECT_EQ(KeyExists(HKEY_LOCAL_MACHINE, SharedFilesKey), c.keyAfter) << c.what;
    }
    // Without a company the product names the key.
    fntest::SetNumberValue(HKEY_LOCAL_MACHINE, "Software\\Tool\\Shared Files", "lib.dll", 1);
    EXPECT_EQ(ReleaseSharedReference("lib.dll", nullptr, "Tool"), 1);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\Tool\\Shared Files"));
}

TEST_F(PlaybackTest, SharedFilesGoOnlyWithTheirLastReference)
{
    const std::string kept = MakeFile(temp.path + "\\Sys\\kept.dll");
    const std::string last = MakeFile(temp.path + "\\Sys\\last.dll");
    const std::string uncounted = MakeFile(temp.path + "\\Sys\\uncounted.dll");
    fntest::SetNumberValue(HKEY_LOCAL_MACHINE, SharedFilesKey, "kept.dll", 3);
    fntest::SetNumberValue(HKEY_LOCAL_MACHINE, SharedFilesKey, "last.dll", 1);
    LogAddSharedFile(&list, kept.c_str(), "kept.dll");
    LogAddSharedFile(&list, last.c_str(), "last.dll");
    LogAddSharedFile(&list, uncounted.c_str(), "uncounted.dll");
    PlayBackInstallLog(&list, Options());
    EXPECT_TRUE(IsFile(kept));
    EXPECT_FALSE(IsFile(last));
    EXPECT_TRUE(IsFile(uncounted)) << "a file that was there before has no count and stays";
    EXPECT_EQ(ReadNumberValue(HKEY_LOCAL_MACHINE, SharedFilesKey, "kept.dll"), 2);
}

// A log of a newer build: the entries of kinds this build does not know
// are passed over, and every entry around them is still removed.
TEST_F(PlaybackTest, EntriesOfUnknownKindsArePassedOver)
{
    const std::string first = MakeFile(temp.path + "\\Apps\\first.txt");
    const std::string unknownPath = MakeFile(temp.path + "\\Apps\\unknown.txt");
    const std::string last = MakeFile(temp.path + "\\Apps\\last.txt");
    LogAddFile(&list, first.c_str());
    ASSERT_EQ(LogAddEntry(&list, LogKindLast + 1, unknownPath.c_str(), "x", nullptr), 1);
    ASSERT_EQ(LogAddEntry(&list, 1000, nullptr, nullptr, nullptr), 1);
    LogAddFile(&list, last.c_str());
    PlayBackInstallLog(&list, Options());
    EXPECT_FALSE(IsFile(first));
    EXPECT_FALSE(IsFile(last));
    EXPECT_TRUE(IsFile(unknownPath)) << "an unknown kind's change is not guessed at";
}

// Registry values go with the keys the write created, as far as they are
// empty; a value or subkey that another program added meanwhile keeps them.
TEST_F(PlaybackTest, RegistryValuesGoWithTheKeysTheirWriteCreated)
{
    const std::string base = "Software\\Vellmark Playback Values";
    fntest::DeleteKeyTree(HKEY_LOCAL_MACHINE, base);
    fntest::SetNumberValue(HKEY_LOCAL_MACHINE, base + "\\A\\B", "mine", 1);
    fntest::SetNumberValue(HKEY_LOCAL_MACHINE, base + "\\Kept\\C", "mine", 1);
    fntest::SetNumberValue(HKEY_LOCAL_MACHINE, base + "\\Kept", "theirs", 2);
    LogAddRegValue(&list, ("HKLM\\" + base + "\\A\\B\\\\mine").c_str(), ("HKLM\\" + base + "\\A").c_str());
    LogAddRegValue(&list, ("HKLM\\" + base + "\\Kept\\C\\\\mine").c_str(), ("HKLM\\" + base + "\\Kept").c_str());
    PlayBackInstallLog(&list, Options());
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, base + "\\A")) << "the keys the write created go";
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, base)) << "a key that was there stays";
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, base + "\\Kept\\C"));
    EXPECT_EQ(ReadNumberValue(HKEY_LOCAL_MACHINE, base + "\\Kept", "theirs"), 2)
        << "another program's value keeps its key";
    fntest::DeleteKeyTree(HKEY_LOCAL_MACHINE, base);
}

TEST_F(PlaybackTest, FoldersGoInTheOrderTheyWereRecordedAndOnlyWhenEmpty)
{
    // A then A\B: A is tried first, still holds B and stays; then B goes.
    const std::string a = temp.path + "\\A", b = temp.path + "\\A\\B";
    CreateDirectoryA(a.c_str(), nullptr);
    CreateDirectoryA(b.c_str(), nullptr);
    LogAddDirectory(&list, a.c_str());
    LogAddDirectory(&list, b.c_str());
    // The installation folder and its empty parents go; a parent that holds
    // something else stays, and so does everything above it.
    MakeFile(temp.path + "\\Apps\\keep.txt");
    CreateDirectoryTree(InstallDir);
    PlayBackInstallLog(&list, Options());
    EXPECT_TRUE(IsFolder(a));
    EXPECT_FALSE(IsFolder(b));
    EXPECT_FALSE(IsFolder(temp.path + "\\Apps\\Vendor"));
    EXPECT_EQ(FolderNames(temp.path + "\\Apps"), std::vector<std::string>{"keep.txt"});
}

TEST_F(PlaybackTest, FoldersMadeOnTheWayInsideTheInstallationFolderGoToo)
{
    // makedir of %APPDIR%\Data\Skins made Data too but recorded only Skins.
    const std::string skins = AppDir() + "\\Data\\Skins";
    std::string path = skins;
    CreateDirectoryTree(&path[0]);
    LogAddDirectory(&list, skins.c_str());
    PlayBackInstallLog(&list, Options());
    EXPECT_EQ(FolderNames(temp.path), std::vector<std::string>{"setup1.exe"});
}

TEST_F(PlaybackTest, TheLogGoesBeforeTheFolderThatHoldsIt)
{
    CreateDirectoryTree(InstallDir);
    fntest::SetPathBuffer(LogFilePath, AppDir() + "\\Tool.log");
    MakeFile(LogFilePath);
    const std::string file = MakeFile(AppDir() + "\\a.txt");
    LogAddFile(&list, file.c_str());
    PlayBackInstallLog(&list, Options());
    EXPECT_EQ(FolderNames(temp.path), std::vector<std::string>{"setup1.exe"});
}

TEST_F(PlaybackTest, PreferenceKeysGoOnlyWhenAskedAndUserKeysAlways)
{
    const std::string prefs = "Software\\Vellmark Unit Tests\\Tool";
    const std::string user = "Software\\Vellmark Unit Tests\\Cache";
    for (bool deletePrefs : {false, true}) {
        fntest::SetTextValue(HKEY_CURRENT_USER, prefs + "\\Window\\Main", "x", "1");
        fntest::SetTextValue(HKEY_CURRENT_USER, user + "\\Deep\\Deeper", "y", "2");
        ReleaseInstallLog(&list);
        LogAddPrefsKey(&list, prefs.c_str());
        LogAddEntry(&list, LogKindUserKey, user.c_str(), nullptr, nullptr);
        PlaybackOptions options = Options();
        options.deletePrefsKeys = deletePrefs;
        PlayBackInstallLog(&list, options);
        EXPECT_EQ(KeyExists(HKEY_CURRENT_USER, prefs), !deletePrefs);
        EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, user));
    }
}

TEST_F(PlaybackTest, KeyPathsWithoutTwoNamesAreNeverDeleted)
{
    fntest::SetTextValue(HKEY_CURRENT_USER, "Software\\Vellmark Unit Tests\\Keep", "z", "3");
    for (const char* path : {"", "Software", "\\Software\\", "Vellmark Unit Tests"}) {
        DeleteUserKeyTree(path);
        EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "Software\\Vellmark Unit Tests\\Keep")) << "'" << path << "'";
    }
}

TEST_F(PlaybackTest, ProductKeyAndUninstallEntryGoTheCompanyKeyStays)
{
    const std::string entry = UninstallEntry;
    fntest::SetTextValue(HKEY_LOCAL_MACHINE, ProductKey, "Version", "1.0");
    fntest::SetTextValue(HKEY_LOCAL_MACHINE, entry, "DisplayName", "Tool");
    fntest::SetTextValue(HKEY_LOCAL_MACHINE, CompanyKey, "URL", "http://example.com");
    PlayBackInstallLog(&list, Options());
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, ProductKey));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, entry));
    EXPECT_EQ(fntest::ReadTextValue(HKEY_LOCAL_MACHINE, CompanyKey, "URL"), "http://example.com");

    // Without a product the entry is the company's; without either there is
    // none, and HKEY_LOCAL_MACHINE\Software itself is never deleted.
    const std::string companyEntry = std::string(UninstallKey) + "\\" + Company;
    fntest::SetTextValue(HKEY_LOCAL_MACHINE, companyEntry, "DisplayName", "x");
    PlaybackOptions options = Options();
    options.product = nullptr;
    PlayBackInstallLog(&list, options);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, companyEntry));
    options.company = nullptr;
    PlayBackInstallLog(&list, options);
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, UninstallKey));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, "Software"));
}

// The registration goes with the log it belongs to, and only with that one:
// an older log, orphaned when a newer version went elsewhere, leaves the
// newer one's entry and key.
TEST_F(PlaybackTest, TheRegistrationGoesOnlyWithItsOwnLog)
{
    const std::string entry = UninstallEntry;
    const std::string ours = std::string("\"C:\\windows\\vuninst.exe\" ") + LogFilePath;
    const std::string theirs = "\"C:\\windows\\vuninst.exe\" D:\\Elsewhere\\Tool.log";
    struct Case {
        const char* what;
        std::string uninstallString;   // "-": none
        std::string path;              // the product key's Path; "-": none
        bool entryGoes;
        bool keyGoes;
    };
    const Case cases[] = {
        {"this log's registration", ours, InstallDir, true, true},
        {"the same paths in other letters", ours, fntest::Upper(InstallDir), true, true},
        {"another log registered in another folder", theirs, "D:\\Elsewhere", false, false},
        {"no UninstallString, no Path", "-", "-", true, true},
        {"an entry that is not of our shape", "msiexec /x {1234}", InstallDir, false, true},
    };
    for (const Case& c : cases) {
        fntest::SetTextValue(HKEY_LOCAL_MACHINE, ProductKey, "Version", "1.0");
        fntest::SetTextValue(HKEY_LOCAL_MACHINE, entry, "DisplayName", "Tool");
        if (c.uninstallString != "-")
            fntest::SetTextValue(HKEY_LOCAL_MACHINE, entry, "UninstallString", c.uninstallString);
        if (c.path != "-")
            fntest::SetTextValue(HKEY_LOCAL_MACHINE, ProductKey, "Path", c.path);
        PlaybackResult result = PlayBackInstallLog(&list, Options());
        EXPECT_EQ(KeyExists(HKEY_LOCAL_MACHINE, entry), !c.entryGoes) << c.what;
        EXPECT_EQ(KeyExists(HKEY_LOCAL_MACHINE, ProductKey), !c.keyGoes) << c.what;
        EXPECT_EQ(result.uninstallEntryKept, !c.entryGoes) << c.what;
        EXPECT_EQ(result.productKeyKept, !c.keyGoes) << c.what;
        // A key that stays keeps every value it had.
        if (!c.keyGoes) {
            EXPECT_EQ(fntest::ReadTextValue(HKEY_LOCAL_MACHINE, ProductKey, "Version"), "1.0") << c.what;
        }
        fntest::DeleteKeyTree(HKEY_LOCAL_MACHINE, entry);
        fntest::DeleteKeyTree(HKEY_LOCAL_MACHINE, ProductKey);
    }
}

// What the live installation's log records too stays, whatever the letters:
// its files, folders and keys are the live product's.
TEST_F(PlaybackTest, WhatTheLiveLogRecordsStays)
{
    const std::string shared = MakeFile(InstallDir + std::string("\\both.txt"));
    const std::string mine = MakeFile(InstallDir + std::string("\\mine.txt"));
    std::string folder = InstallDir + std::string("\\Data");
    CreateDirectoryTree(&folder[0]);
    fntest::SetTextValue(HKEY_CURRENT_USER, "Software\\Vellmark Unit Tests\\Live", "x", "1");
    LogAddFile(&list, shared.c_str());
    LogAddFile(&list, mine.c_str());
    LogAddDirectory(&list, folder.c_str());
    LogAddPrefsKey(&list, "Software\\Vellmark Unit Tests\\Live");

    InstallLog live = {};
    LogAddProduct(&live, Company, "Tool", "D:\\Elsewhere");
    LogAddFile(&live, fntest::Upper(shared).c_str());
    LogAddDirectory(&live, folder.c_str());
    LogAddPrefsKey(&live, "software\\vellmark unit tests\\live");
    PlaybackOptions options = Options();
    options.deletePrefsKeys = true;
    options.liveLog = &live;
    PlaybackResult result = PlayBackInstallLog(&list, options);
    ReleaseInstallLog(&live);

    EXPECT_TRUE(IsFile(shared));
    EXPECT_FALSE(IsFile(mine));
    EXPECT_TRUE(IsFolder(folder));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "Software\\Vellmark Unit Tests\\Live"));
    // The file, the folder's two passes and the key.
    EXPECT_EQ(result.entriesKept, 4u);
    fntest::DeleteKeyTree(HKEY_CURRENT_USER, "Software\\Vellmark Unit Tests\\Live");
}

TEST_F(PlaybackTest, ADriverGoesWithItsLastReference)
{
    const std::string services = "System\\CurrentControlSet\\Services\\VmUnitDrv";
    const std::string driver = MakeFile(temp.path + "\\Drivers\\vmunit.sys");
    LogAddDriver(&list, driver.c_str(), "VmUnitDrv");
    for (DWORD count : {2u, 1u}) {
        fntest::SetNumberValue(HKEY_LOCAL_MACHINE, SharedFilesKey, "VmUnitDrv", count);
        fntest::SetTextValue(HKEY_LOCAL_MACHINE, services + "\\Enum", "0", "x");
        fntest::SetTextValue(HKEY_LOCAL_MACHINE, services + "\\Security", "s", "y");
        PlaybackResult result = PlayBackInstallLog(&list, Options());
        EXPECT_EQ(result.driverRemoved, count == 1);
        EXPECT_EQ(KeyExists(HKEY_LOCAL_MACHINE, services), count != 1);
        EXPECT_EQ(IsFile(driver), count != 1);
    }
    EXPECT_EQ(RemoveDriver(driver.c_str(), "..\\Tcpip", Company, "Tool"), 0) << "not one key name";
    EXPECT_EQ(RemoveDriver(driver.c_str(), "", Company, "Tool"), 0);
}

int Steps = 0;
void CountStep(void*) { ++Steps; }

TEST_F(PlaybackTest, OneProgressStepPerEntryFolderAndFinalStage)
{
    LogAddProduct(&list, Company, "Tool", InstallDir);
    LogAddFile(&list, (temp.path + "\\x.txt").c_str());
    LogAddDirectory(&list, (temp.path + "\\D1").c_str());
    LogAddDirectory(&list, (temp.path + "\\D2").c_str());
    LogAddPrefsKey(&list, "Software\\Vellmark Unit Tests\\Tool");
    PlaybackOptions options = Options();
    options.progress = CountStep;
    Steps = 0;
    PlayBackInstallLog(&list, options);
    EXPECT_EQ(Steps, 5 + 2 + 2);   // every entry, every folder, menu folders, keys
}

}  // namespace
