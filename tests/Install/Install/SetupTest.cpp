// The setup program as Windows runs it, killed at every change of an
// installation: whatever point it dies at, the recovery it registered (run
// as Windows runs RunOnce at the next start) or the next setup's start puts
// the machine back exactly as it was before that installation, files, bytes
// and registry; two setups started together give one installation and one
// 1618.  The setup is the test build (SetupTest.exe), whose crash hook ends
// it abruptly (TerminateProcess) right after the K-th change it journaled.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "ExitCodes.h"
#include "MachineSnapshot.h"
#include "Package.h"
#include "ShellLinks.h"
#include "TestImage.h"
#include "VersionImages.h"
#include "WindowsTestSupport.h"

#include <objidl.h>
#include <shlobj.h>
#include <shlwapi.h>

using versionimages::AsString;
using versionimages::VersionedImage;

namespace {

constexpr DWORD CrashedExitCode = 99;   // the crash hook's
constexpr char Company[] = "Vellmark Crash Tests";
constexpr char Product[] = "Sweep";
constexpr char RunOnceKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
constexpr char UninstallEntry[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Sweep";

// A path of the build, which the test gets as a Unix path, as Windows names it.
std::string WindowsPath(const char* unixPath)
{
    std::string path = std::string("Z:") + unixPath;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

std::string Image(const char* unixPath)
{
    return fntest::ReadFileBytes(WindowsPath(unixPath));
}

// The settings and script of both versions: every kind of change there is.
std::string Script(const char* version, bool fails)
{
    std::string text = std::string("// Company=") + Company + "\r\n// Product=" + Product + "\r\n// Version=" + version +
                       "\r\n// NoUninstall=0\r\n// InstallDriver=1\r\n"
                       "install()\r\n{\r\n"
                       "    makedir(\"%APPDIR%\\\\Data\\\\Skins\");\r\n"
                       "    copy(\"Bin\\\\tool.exe\", \"%APPDIR%\\\\tool.exe\");\r\n"
                       "    copy(\"Bin\\\\kept.dll\", \"%APPDIR%\\\\kept.dll\");\r\n"
                       "    copy(\"readme.txt\", \"%APPDIR%\\\\readme.txt\");\r\n"
                       "    copy(\"Data\\\\skin.txt\", \"%APPDIR%\\\\Data\\\\Skins\\\\skin.txt\");\r\n"
                       "    copy(\"Data\\\\big.bin\", \"%APPDIR%\\\\Data\\\\big.bin\");\r\n"
                       "    copyshared(\"System\\\\vmtxshared.dll\", \"%WINSYSDIR%\\\\vmtxshared.dll\", \"vmtxshared.dll\");\r\n"
                       "    installdriver(\"Drivers\\\\vmtxdrv.sys\", \"%DRIVERDIR%\\\\vmtxdrv.sys\", \"vmtxdrv\");\r\n"
                       "    shortcut(\"Sweep Tool\", \"%APPDIR%\\\\tool.exe\", \"The tool\", null);\r\n"
                       "    shortcutwww(\"Sweep on the Web\", \"http://sweep.example/\");\r\n"
                       "    prefskey(\"Software\\\\Vellmark Crash Tests\\\\Sweep\");\r\n"
                       "    if (iscopyerror())\r\n        return 0;\r\n";
    return text + (fails ? "    return 0;\r\n}\r\n" : "    return 1;\r\n}\r\n");
}

// The test build of the setup program with the package of `items`: the
// program up to its image end, where the package begins (the test build
// carries its symbols after its sections).
std::vector<uint8_t> TestSetupWith(const std::vector<PackItem>& items)
{
    std::string stub = Image(VM_SETUP_TEST);
    std::vector<uint8_t> image(stub.begin(), stub.end());
    image.resize(static_cast<size_t>(LocateImageEnd(image.data(), image.size())));
    return testimage::MakePackage(items, image);
}

std::vector<uint8_t> Package(int major, bool fails = false, const char* uninstaller = VM_UNINSTALLER)
{
    using testimage::File;
    using testimage::Folder;
    std::vector<PackItem> items = {testimage::Root()};
    items.push_back(File("Install.ini", 0, Script(major == 1 ? "1.0" : "2.0", fails)));
    items.push_back(File("readme.txt", 0, major == 1 ? "Sweep 1 read me\r\n" : "Sweep 2 read me, longer\r\n"));
    items.push_back(File("Uninstall.exe", 0, Image(uninstaller)));
    items.push_back(Folder("Bin", 0));
    items.push_back(File("tool.exe", 4, AsString(VersionedImage(major, 0, 0, 0, "tool"))));
    items.push_back(File("kept.dll", 4, AsString(VersionedImage(major, 0, 0, 0, "kept"))));
    items.push_back(Folder("Data", 0));
    items.push_back(File("skin.txt", 7, major == 1 ? "blue" : "green"));
    // Larger than a chunk of the entry stream: streamed, never inflated whole.
    std::string big((5u << 19) + static_cast<unsigned>(major), '\0');
    uint32_t seed = static_cast<uint32_t>(major);
    for (char& c : big) {
        seed = seed * 1103515245u + 12345u;
        c = static_cast<char>((seed >> 24) & 0x3F);
    }
    items.push_back(File("big.bin", 7, big));
    items.push_back(Folder("System", 0));
    items.push_back(File("vmtxshared.dll", 10, AsString(VersionedImage(major, 0, 0, 0, "shared"))));
    items.push_back(Folder("Drivers", 0));
    items.push_back(File("vmtxdrv.sys", 12, AsString(VersionedImage(major, 0, 0, 0, "driver"))));
    return TestSetupWith(items);
}

struct Ran {
    DWORD exitCode = 0;
    bool ended = false;
};

// Starts `commandLine` as it stands, with `environment` added, and waits.
Ran RunProcess(const std::string& commandLine, const std::vector<std::string>& environment = {})
{
    std::vector<std::string> added;
    for (const std::string& entry : environment) {
        std::string name = entry.substr(0, entry.find('='));
        added.push_back(name);
        SetEnvironmentVariableA(name.c_str(), entry.substr(name.size() + 1).c_str());
    }
    std::string line = commandLine;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    Ran ran;
    if (CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        ran.ended = WaitForSingleObject(process.hProcess, 120000) == WAIT_OBJECT_0;
        GetExitCodeProcess(process.hProcess, &ran.exitCode);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    for (const std::string& name : added)
        SetEnvironmentVariableA(name.c_str(), nullptr);
    return ran;
}

// The RunOnce values a run registered for its recovery: name and command.
std::vector<std::pair<std::string, std::string>> RecoveryCommands()
{
    std::vector<std::pair<std::string, std::string>> found;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, RunOnceKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return found;
    for (DWORD i = 0;; ++i) {
        char name[256];
        char data[4096];
        DWORD nameSize = sizeof name, dataSize = sizeof data - 1, type = 0;
        if (RegEnumValueA(key, i, name, &nameSize, nullptr, &type, reinterpret_cast<BYTE*>(data), &dataSize) !=
            ERROR_SUCCESS)
            break;
        data[dataSize] = '\0';
        if (strncmp(name, "Vellmark recovery", 17) == 0)
            found.emplace_back(name, data);
    }
    RegCloseKey(key);
    return found;
}

std::string JournalFolder()
{
    char windows[MAX_PATH];
    GetWindowsDirectoryA(windows, sizeof windows);
    return std::string(windows) + "\\Vellmark";
}

// The recovery's copy deletes the recovery program once that has ended.
void WaitForTheJournalFolderToGo()
{
    for (int i = 0; i < 100 && fntest::IsFolder(JournalFolder()); ++i)
        Sleep(100);
}

class SetupProgram : public ::testing::Test {
public:
    void SetUp() override
    {
        work = scratch.path;
        taker.scratch = work;
        for (int major : {1, 2}) {
            std::vector<uint8_t> bytes = Package(major);
            ASSERT_FALSE(bytes.empty());
            setups[major] = work + "\\sweep-" + std::to_string(major) + ".exe";
            ASSERT_TRUE(testimage::WriteBytes(setups[major], bytes));
        }
        failing = work + "\\sweep-2-fails.exe";
        // The uninstaller of its package is the test build, with its crash hook.
        withTestUninstaller = work + "\\sweep-2-test-uninstaller.exe";
        ASSERT_TRUE(testimage::WriteBytes(withTestUninstaller, Package(2, false, VM_UNINSTALLER_TEST)));
        // The drivers' half-second pauses would add up over the crashes.
        SetEnvironmentVariableA("VELLMARK_TEST_DRIVER_WAIT_MS", "0");
        ASSERT_TRUE(testimage::WriteBytes(failing, Package(2, true)));
        RemoveTraces();
    }
    void TearDown() override
    {
        RemoveTraces();
        SetEnvironmentVariableA("VELLMARK_TEST_DRIVER_WAIT_MS", nullptr);
    }

    // Everything the sweep's product can leave, so that each test starts
    // from the machine as it was.
    void RemoveTraces()
    {
        for (const auto& value : RecoveryCommands()) {
            HKEY key = nullptr;
            if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, RunOnceKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
                RegDeleteValueA(key, value.first.c_str());
                RegCloseKey(key);
            }
        }
        fntest::RemoveTree(JournalFolder());
        fntest::RemoveTree("C:\\Program Files\\Vellmark Crash Tests");
        fntest::RemoveTree("C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Vellmark Crash Tests");
        DeleteFileA((fntest::SystemFolder() + "\\vmtxshared.dll").c_str());
        // The shared uninstaller stays after a removal; each test brings its own.
        DeleteFileA((fntest::WindowsFolder() + "\\vuninst.exe").c_str());
        // The service first: while it is registered (or a setup that was
        // killed is still going away) the driver file can stay held.
        if (SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS)) {
            if (SC_HANDLE service = OpenServiceA(manager, "vmtxdrv", SERVICE_ALL_ACCESS)) {
                SERVICE_STATUS status{};
                ControlService(service, SERVICE_CONTROL_STOP, &status);
                DeleteService(service);
                CloseServiceHandle(service);
            }
            CloseServiceHandle(manager);
        }
        const std::string driver = fntest::SystemFolder() + "\\drivers\\vmtxdrv.sys";
        for (int attempt = 0; attempt < 50; ++attempt) {
            if (DeleteFileA(driver.c_str()) || GetFileAttributesA(driver.c_str()) == INVALID_FILE_ATTRIBUTES)
                break;
            Sleep(100);
        }
        fntest::DeleteKeyTree(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Services\\vmtxdrv");
        fntest::DeleteKeyTree(HKEY_LOCAL_MACHINE, std::string("Software\\") + Company);
        fntest::DeleteKeyTree(HKEY_CURRENT_USER, std::string("Software\\") + Company);
        fntest::DeleteKeyTree(HKEY_LOCAL_MACHINE, UninstallEntry);
        ASSERT_EQ(GetFileAttributesA(driver.c_str()), INVALID_FILE_ATTRIBUTES) << "the driver stays: " << driver;
    }

    Ran Setup(int major, const std::vector<std::string>& environment = {})
    {
        return RunProcess("\"" + setups[major] + "\" /S", environment);
    }
    Ran Setup(const std::string& path, const std::vector<std::string>& environment = {})
    {
        return RunProcess("\"" + path + "\" /S", environment);
    }

    // The removal the product registered, unattended.
    Ran Uninstall()
    {
        std::string command = fntest::ReadTextValue(HKEY_LOCAL_MACHINE, UninstallEntry, "QuietUninstallString");
        EXPECT_NE(command, "(none)");
        return RunProcess(command);
    }

    // Version 1 installed, with a newer file of the user's where version 2
    // would put one of its own: the machine that every crash starts from.
    void InstallVersionOne()
    {
        ASSERT_EQ(Setup(1).exitCode, static_cast<DWORD>(ExitRestartNeeded));
        ASSERT_TRUE(fntest::WriteFileBytes("C:\\Program Files\\Vellmark Crash Tests\\Sweep\\kept.dll",
                                           AsString(VersionedImage(9, 0, 0, 0, "the user's newer"))));
    }

    fntest::ScratchOutsideC scratch;
    std::string work;
    std::string setups[3];
    std::string failing;
    std::string withTestUninstaller;
    // One for all the tests: the hashes of the files that did not change.
    static snapshot::Taker taker;
};

snapshot::Taker SetupProgram::taker;

// Killed after every change in turn, from `before`; after each, the
// recovery that Windows would run at its next start, exactly as it is
// registered.  The number of crashes.
int SweepCrashes(SetupProgram* test, const snapshot::Snapshot& before)
{
    int crashes = 0;
    for (int k = 1; k < 500; ++k) {
        Ran ran = test->Setup(2, {"VELLMARK_TEST_CRASH_AFTER_CHANGE=" + std::to_string(k)});
        EXPECT_TRUE(ran.ended) << "change " << k;
        if (ran.exitCode != CrashedExitCode) {
            // Past the last change: the installation completed.
            EXPECT_EQ(ran.exitCode, static_cast<DWORD>(ExitRestartNeeded)) << "change " << k;
            break;
        }
        ++crashes;
        auto commands = RecoveryCommands();
        EXPECT_EQ(commands.size(), 1u) << "change " << k << ": one recovery registered";
        if (commands.size() != 1)
            return crashes;
        Ran recovery = RunProcess(commands[0].second);
        EXPECT_TRUE(recovery.ended);
        EXPECT_EQ(recovery.exitCode, 0u) << "change " << k << ": " << commands[0].second;
        WaitForTheJournalFolderToGo();
        std::string difference = snapshot::Difference(before, test->taker.Take());
        EXPECT_EQ(difference, "") << "after the crash at change " << k;
        if (!difference.empty())
            return crashes;
    }
    return crashes;
}

// A first installation, killed at every change: nothing of it may stay.
TEST_F(SetupProgram, KilledAtEveryChangeOfAFirstInstallation)
{
    snapshot::Snapshot fresh = taker.Take();
    int crashes = SweepCrashes(this, fresh);
    EXPECT_GT(crashes, 30) << "every kind of change was crashed at";
    EXPECT_TRUE(RecoveryCommands().empty());
}

// An update over version 1 (files replaced, a newer one of the user's kept,
// the registration written over), killed at every change.
TEST_F(SetupProgram, KilledAtEveryChangeTheRecoveryRestoresTheMachine)
{
    snapshot::Snapshot fresh = taker.Take();
    InstallVersionOne();
    snapshot::Snapshot before = taker.Take();
    int crashes = SweepCrashes(this, before);
    EXPECT_GT(crashes, 20) << "every kind of change was crashed at";
    EXPECT_TRUE(RecoveryCommands().empty());
    EXPECT_EQ(fntest::ReadFileBytes("C:\\Program Files\\Vellmark Crash Tests\\Sweep\\readme.txt"),
              "Sweep 2 read me, longer\r\n");

    // The update removed: nothing of either version is left but the shared
    // uninstaller and the company's key.
    EXPECT_EQ(Uninstall().exitCode, static_cast<DWORD>(ExitRestartNeeded));
    snapshot::Snapshot removed = taker.Take();
    EXPECT_EQ(snapshot::Difference(fresh, removed, {"c:\\windows\\vuninst.exe", "hklm\\software\\vellmark crash tests"}),
              "");
    EXPECT_EQ(removed.lines.count("key   hklm\\software\\vellmark crash tests"), 1u) << "the company's key stays";
}

// The same crashes, with the next setup start as the recovery: it undoes the
// interrupted run first, then installs; its removal leaves the machine as
// before the first installation.
TEST_F(SetupProgram, TheNextSetupStartRecoversAndInstalls)
{
    snapshot::Snapshot fresh = taker.Take();
    for (int k : {1, 9, 17, 25}) {
        InstallVersionOne();
        ASSERT_EQ(Setup(2, {"VELLMARK_TEST_CRASH_AFTER_CHANGE=" + std::to_string(k)}).exitCode, CrashedExitCode);
        // Windows does not get to run the recovery: the next setup does.
        std::string transcript = work + "\\next.txt";
        Ran next = RunProcess("\"" + setups[2] + "\" /S \"/LOG=" + transcript + "\"");
        EXPECT_EQ(next.exitCode, static_cast<DWORD>(ExitRestartNeeded)) << "change " << k;
        EXPECT_NE(fntest::ReadFileBytes(transcript).find("recovery: an interrupted installation of "
                                                         "Vellmark Crash Tests Sweep was undone"),
                  std::string::npos)
            << fntest::ReadFileBytes(transcript);
        EXPECT_TRUE(RecoveryCommands().empty());
        EXPECT_FALSE(fntest::IsFolder(JournalFolder()));
        EXPECT_EQ(Uninstall().exitCode, static_cast<DWORD>(ExitRestartNeeded));
        std::string difference = snapshot::Difference(fresh, taker.Take(), {"c:\\windows\\vuninst.exe",
                                                                             "hklm\\software\\vellmark crash tests"});
        ASSERT_EQ(difference, "") << "crash at change " << k;
    }
}

// Killed after a record reached the journal and before its change was
// made: the recovery undoes no change that was never made.
TEST_F(SetupProgram, KilledBetweenARecordAndItsChange)
{
    InstallVersionOne();
    snapshot::Snapshot before = taker.Take();
    for (int k : {2, 5, 11, 16, 23, 30}) {
        Ran ran = Setup(2, {"VELLMARK_TEST_CRASH_AFTER_RECORD=" + std::to_string(k)});
        if (ran.exitCode != CrashedExitCode)
            break;
        auto commands = RecoveryCommands();
        ASSERT_EQ(commands.size(), 1u);
        EXPECT_EQ(RunProcess(commands[0].second).exitCode, 0u);
        WaitForTheJournalFolderToGo();
        ASSERT_EQ(snapshot::Difference(before, taker.Take()), "") << "after record " << k;
    }
}

// A failed update takes back only its own changes: version 1 stays byte for
// byte, with its log and its registration, and still uninstalls cleanly.
TEST_F(SetupProgram, AFailedUpdateKeepsTheEarlierVersion)
{
    snapshot::Snapshot fresh = taker.Take();
    InstallVersionOne();
    snapshot::Snapshot before = taker.Take();
    EXPECT_EQ(Setup(failing).exitCode, static_cast<DWORD>(ExitInstallFailed));
    EXPECT_EQ(snapshot::Difference(before, taker.Take()), "");
    EXPECT_EQ(Uninstall().exitCode, static_cast<DWORD>(ExitRestartNeeded));
    EXPECT_EQ(snapshot::Difference(fresh, taker.Take(), {"c:\\windows\\vuninst.exe",
                                                         "hklm\\software\\vellmark crash tests"}),
              "");
}

// Two setups started together: one installs, the other stops with 1618
// before it changes anything; the result is one installation, counted once.
TEST_F(SetupProgram, OneInstallationAtATime)
{
    std::string first = "\"" + setups[2] + "\" /S";
    std::string line = first;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    SetEnvironmentVariableA("VELLMARK_TEST_PAUSE_MS", "3000");
    ASSERT_TRUE(CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process));
    SetEnvironmentVariableA("VELLMARK_TEST_PAUSE_MS", nullptr);
    Sleep(1000);
    Ran second = Setup(2);
    WaitForSingleObject(process.hProcess, 120000);
    DWORD firstCode = 0;
    GetExitCodeProcess(process.hProcess, &firstCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    EXPECT_EQ(second.exitCode, static_cast<DWORD>(ExitInstallInProgress));
    EXPECT_EQ(firstCode, static_cast<DWORD>(ExitRestartNeeded));
    EXPECT_EQ(fntest::ReadNumberValue(HKEY_LOCAL_MACHINE, std::string("Software\\") + Company + "\\Shared Files",
                                      "vmtxshared.dll"),
              1);
    EXPECT_EQ(Uninstall().exitCode, static_cast<DWORD>(ExitRestartNeeded));
    EXPECT_FALSE(fntest::IsFile(fntest::SystemFolder() + "\\vmtxshared.dll"));
}

// A removal killed at each of its steps and run again completes: the
// machine is as before the installation, and a library another product of
// the company holds keeps its count (a count released twice would take it).
TEST_F(SetupProgram, AnInterruptedRemovalRunAgainCompletesIt)
{
    const std::string shared = fntest::SystemFolder() + "\\vmtxshared.dll";
    const std::string sharedKey = std::string("Software\\") + Company + "\\Shared Files";
    ASSERT_TRUE(fntest::WriteFileBytes(shared, AsString(VersionedImage(2, 0, 0, 0, "shared"))));
    fntest::SetNumberValue(HKEY_LOCAL_MACHINE, sharedKey, "vmtxshared.dll", 1);
    snapshot::Snapshot before = taker.Take();
    int crashes = 0;
    for (int k = 1; k < 100; ++k) {
        ASSERT_EQ(Setup(withTestUninstaller).exitCode, static_cast<DWORD>(ExitRestartNeeded)) << "step " << k;
        ASSERT_EQ(fntest::ReadNumberValue(HKEY_LOCAL_MACHINE, sharedKey, "vmtxshared.dll"), 2);
        std::string command = fntest::ReadTextValue(HKEY_LOCAL_MACHINE, UninstallEntry, "QuietUninstallString");
        Ran interrupted = RunProcess(command, {"VELLMARK_TEST_CRASH_AFTER_STEP=" + std::to_string(k)});
        if (interrupted.exitCode != CrashedExitCode) {
            EXPECT_EQ(interrupted.exitCode, static_cast<DWORD>(ExitRestartNeeded)) << "step " << k;
            break;
        }
        ++crashes;
        // Run again as the user would: the same registered command.
        Ran again = RunProcess(command);
        EXPECT_TRUE(again.exitCode == 0 || again.exitCode == static_cast<DWORD>(ExitRestartNeeded))
            << "step " << k << ": " << again.exitCode;
        std::string difference = snapshot::Difference(before, taker.Take(), {"c:\\windows\\vuninst.exe"});
        ASSERT_EQ(difference, "") << "removal interrupted after step " << k;
    }
    EXPECT_GT(crashes, 10);
}

// A drive that fills up during the installation: the copy that cannot be
// written fails like any failed copy, the run rolls back, and the drive and
// the registry are as they were.  It needs a small drive: full-disk.sh
// mounts one and names it in VM_FULL_DISK_DRIVE.
TEST_F(SetupProgram, AFullDiskFailsTheInstallationAndLeavesNothing)
{
    const char* drive = getenv("VM_FULL_DISK_DRIVE");
    if (!drive || !*drive)
        GTEST_SKIP() << "needs a nearly full drive: tests/Install/Install/full-disk.sh runs this case on one";
    // Files that fit, then one that does not.
    std::string big(6 << 20, '\0');
    uint32_t seed = 12345;
    for (char& c : big) {
        seed = seed * 1103515245u + 12345u;
        c = static_cast<char>(seed >> 24);
    }
    using testimage::File;
    std::vector<PackItem> items = {testimage::Root(),
                                   File("Install.ini", 0,
                                        std::string("// Company=") + Company + "\r\n// Product=Full Disk\r\n"
                                        "// NoUninstall=0\r\ninstall()\r\n{\r\n"
                                        "    copy(\"small.txt\", \"%APPDIR%\\\\small.txt\");\r\n"
                                        "    copyshared(\"small.txt\", \"%APPDIR%\\\\shared.txt\", \"vmtxfull.txt\");\r\n"
                                        "    copy(\"big.bin\", \"%APPDIR%\\\\big.bin\");\r\n"
                                        "    if (iscopyerror())\r\n        return 0;\r\n    return 1;\r\n}\r\n"),
                                   File("small.txt", 0, "small"), File("big.bin", 0, big),
                                   File("Uninstall.exe", 0, Image(VM_UNINSTALLER))};
    const std::string setup = work + "\\full-disk.exe";
    ASSERT_TRUE(testimage::WriteBytes(setup, TestSetupWith(items)));

    taker.otherDrive = drive;
    snapshot::Snapshot before = taker.Take();
    Ran ran = RunProcess("\"" + setup + "\" /S /D=" + std::string(drive) + "\\Full Disk");
    snapshot::Snapshot after = taker.Take();
    taker.otherDrive.clear();
    EXPECT_EQ(ran.exitCode, static_cast<DWORD>(ExitInstallFailed));
    EXPECT_EQ(snapshot::Difference(before, after), "");
    EXPECT_TRUE(RecoveryCommands().empty());
}

// A product installed with one copyfolder, whose new files the helper
// threads write side by side: installed byte for byte, removed without a
// trace; and killed after any record of its journal, while files are being
// written, the recovery leaves the machine as it was.
TEST_F(SetupProgram, ACopyfolderInstallationKilledAnywhereIsRolledBackWhole)
{
    using testimage::File;
    using testimage::Folder;
    std::vector<PackItem> items = {testimage::Root(),
                                   File("Install.ini", 0,
                                        std::string("// Company=") + Company + "\r\n// Product=Sweep\r\n"
                                        "// NoUninstall=0\r\ninstall()\r\n{\r\n"
                                        "    copyfolder(\"Product\", \"%APPDIR%\");\r\n"
                                        "    return !iscopyerror();\r\n}\r\n"),
                                   File("Uninstall.exe", 0, Image(VM_UNINSTALLER)), Folder("Product", 0),
                                   Folder("Data", 3), Folder("Deep", 4)};
    std::map<std::string, std::string> expected;
    for (int i = 0; i < 45; ++i) {
        const int32_t parent = 3 + i % 3;
        const std::string name = "f" + std::to_string(i) + ".txt";
        std::string bytes(static_cast<size_t>(100 + i * 997), static_cast<char>('a' + i % 26));
        items.push_back(File(name, parent, bytes));
        expected[(parent == 3 ? "" : parent == 4 ? "Data\\" : "Data\\Deep\\") + name] = bytes;
    }
    std::string big(3 << 19, '\0');   // 1.5 MB: streamed, beside the helpers
    for (size_t k = 0; k < big.size(); ++k)
        big[k] = static_cast<char>((k * 2654435761u) >> 25);
    items.push_back(File("big.bin", 4, big));
    expected["Data\\big.bin"] = big;
    const std::string setup = work + "\\folder.exe";
    ASSERT_TRUE(testimage::WriteBytes(setup, TestSetupWith(items)));
    const std::string installed = "C:\\Program Files\\Vellmark Crash Tests\\Sweep";

    snapshot::Snapshot before = taker.Take();
    ASSERT_EQ(Setup(setup).exitCode, 0u);
    for (const auto& file : expected)
        EXPECT_TRUE(fntest::ReadFileBytes(installed + "\\" + file.first) == file.second) << file.first;
    EXPECT_EQ(Uninstall().exitCode, 0u);
    EXPECT_EQ(snapshot::Difference(before, taker.Take(), {"c:\\windows\\vuninst.exe", "hklm\\software\\vellmark crash tests"}),
              "");
    RemoveTraces();

    int crashes = 0;
    for (int k = 3;; k += 6) {
        Ran ran = Setup(setup, {"VELLMARK_TEST_CRASH_AFTER_RECORD=" + std::to_string(k)});
        if (ran.exitCode != CrashedExitCode)
            break;
        ++crashes;
        auto commands = RecoveryCommands();
        ASSERT_EQ(commands.size(), 1u) << "record " << k;
        EXPECT_EQ(RunProcess(commands[0].second).exitCode, 0u) << "record " << k;
        WaitForTheJournalFolderToGo();
        ASSERT_EQ(snapshot::Difference(before, taker.Take()), "") << "after record " << k;
    }
    EXPECT_GT(crashes, 6) << "the crashes reached into the files";
}

}  // namespace

// ---------------------------------------------------------------------------
// The registry, file-type, PATH, desktop and program built-ins, end to end:
// what an installation leaves, the failed installation that leaves nothing
// (a value that was there before gets its data back), and the uninstaller
// that removes only what the installation did.

namespace {

constexpr char GadgetCompany[] = "Vellmark System Tests";
constexpr char GadgetProduct[] = "Gadget";
constexpr char GadgetFolder[] = "C:\\Program Files\\Vellmark System Tests\\Gadget";
constexpr char GadgetUninstallEntry[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Gadget";
constexpr char GadgetValues[] = "Software\\Vellmark Gadget Values\\Settings";
constexpr char GadgetShared[] = "Software\\Vellmark Gadget Shared";
constexpr char GadgetUserKey[] = "Software\\Vellmark Gadget User";
constexpr char GadgetProgId[] = "VellmarkTests.Gadget";
constexpr char LaterFolder[] = "C:\\Vellmark Later\\bin";

std::string GadgetScript(bool fails)
{
    return std::string("// Company=") + GadgetCompany + "\r\n// Product=" + GadgetProduct +
           "\r\n// Version=1.0\r\n// NoUninstall=0\r\n"
           "install()\r\n{\r\n"
           "    var code;\r\n"
           "    copy(\"Bin\\\\gadget.exe\", \"%APPDIR%\\\\gadget.exe\");\r\n"
           "    if (iscopyerror())\r\n        return 0;\r\n"
           "    if (!regsetstring(\"HKLM\", \"Software\\\\Vellmark Gadget Values\\\\Settings\", \"Home\", \"%APPDIR%\"))\r\n"
           "        return 0;\r\n"
           "    if (!regsetdword(\"hklm\", \"Software\\\\Vellmark Gadget Values\\\\Settings\", \"Build\", -2))\r\n"
           "        return 0;\r\n"
           "    if (!regsetstring(\"HKCU\", \"Software\\\\Vellmark Gadget User\", null, \"default text\"))\r\n"
           "        return 0;\r\n"
           "    if (!regsetstring(\"HKLM\", \"Software\\\\Vellmark Gadget Shared\", \"Owner\", \"Gadget\"))\r\n"
           "        return 0;\r\n"
           "    if (!fileassoc(\"vmgadget\", \"VellmarkTests.Gadget\", \"Gadget document\", \"%APPDIR%\\\\gadget.exe,0\",\r\n"
           "                   \"%APPDIR%\\\\gadget.exe\"))\r\n"
           "        return 0;\r\n"
           "    if (!addpath(\"%APPDIR%\\\\bin\"))\r\n        return 0;\r\n"
           "    if (!shortcutdesk(\"Vellmark Gadget\", \"%APPDIR%\\\\gadget.exe\", \"The gadget\", \"/open\"))\r\n"
           "        return 0;\r\n"
           "    code = runprogram(\"%WINSYSDIR%\\\\cmd.exe\", \"/c exit 7\", 1);\r\n"
           "    if (code != 7)\r\n        return 0;\r\n" +
           (fails ? "    return 0;\r\n}\r\n" : "    return 1;\r\n}\r\n");
}

std::vector<uint8_t> GadgetPackage(bool fails)
{
    using testimage::File;
    using testimage::Folder;
    std::vector<PackItem> items = {testimage::Root()};
    items.push_back(File("Install.ini", 0, GadgetScript(fails)));
    items.push_back(File("Uninstall.exe", 0, Image(VM_UNINSTALLER)));
    items.push_back(Folder("Bin", 0));
    items.push_back(File("gadget.exe", 3, AsString(VersionedImage(1, 0, 0, 0, "gadget"))));
    return TestSetupWith(items);
}

void SetText(HKEY root, const std::string& keyPath, const char* name, const std::string& text)
{
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(root, keyPath.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>(text.size() + 1));
    RegCloseKey(key);
}

std::string DesktopLink()
{
    return fntest::ReadTextValue(HKEY_LOCAL_MACHINE,
                                 "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                                 "Common Desktop") +
           "\\Vellmark Gadget.lnk";
}

std::string AssociatedCommand(const char* extension)
{
    char command[1024] = "";
    DWORD size = sizeof command;
    if (FAILED(AssocQueryStringA(0, ASSOCSTR_COMMAND, extension, "open", command, &size)))
        return "(none)";
    return command;
}

class SystemBuiltins : public ::testing::Test {
public:
    void SetUp() override
    {
        work = scratch.path;
        taker.scratch = work;
        setup = work + "\\gadget.exe";
        failing = work + "\\gadget-fails.exe";
        ASSERT_TRUE(testimage::WriteBytes(setup, GadgetPackage(false)));
        ASSERT_TRUE(testimage::WriteBytes(failing, GadgetPackage(true)));
        originalPath = fntest::MachinePath();
        ASSERT_NE(originalPath, "(none)");
        RemoveTraces();
    }
    void TearDown() override
    {
        RemoveTraces();
        fntest::SetMachinePath(originalPath);
    }

    void RemoveTraces()
    {
        fntest::RemoveTree("C:\\Program Files\\Vellmark System Tests");
        DeleteFileA(DesktopLink().c_str());
        DeleteFileA((fntest::WindowsFolder() + "\\vuninst.exe").c_str());
        for (const char* key : {"Software\\Vellmark System Tests", "Software\\Vellmark Gadget Values", GadgetShared,
                                GadgetUninstallEntry, "Software\\Classes\\.vmgadget",
                                "Software\\Classes\\VellmarkTests.Gadget",
                                "Software\\Classes\\Other.Gadget"})
            fntest::DeleteKeyTree(HKEY_LOCAL_MACHINE, key);
        fntest::DeleteKeyTree(HKEY_CURRENT_USER, GadgetUserKey);
    }

    Ran Install(const std::string& path, const std::string& transcript = "")
    {
        return RunProcess("\"" + path + "\" /S" + (transcript.empty() ? "" : " /LOG=" + transcript));
    }

    fntest::ScratchOutsideC scratch;
    std::string work, setup, failing, originalPath;
    static snapshot::Taker taker;
};

snapshot::Taker SystemBuiltins::taker;

TEST_F(SystemBuiltins, TheInstallationMakesEachChange)
{
    std::string transcript = work + "\\transcript.txt";
    ASSERT_EQ(Install(setup, transcript).exitCode, static_cast<DWORD>(ExitSuccess));

    EXPECT_EQ(fntest::ReadTextValue(HKEY_LOCAL_MACHINE, GadgetValues, "Home"), GadgetFolder);
    DWORD build = 0;
    HKEY key = nullptr;
    DWORD type = 0, size = sizeof build;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, GadgetValues, 0, KEY_QUERY_VALUE, &key), ERROR_SUCCESS);
    EXPECT_EQ(RegQueryValueExA(key, "Build", nullptr, &type, reinterpret_cast<BYTE*>(&build), &size), ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(build, 0xFFFFFFFEu);
    EXPECT_EQ(fntest::ReadTextValue(HKEY_CURRENT_USER, GadgetUserKey, ""), "default text");

    std::string program = std::string(GadgetFolder) + "\\gadget.exe";
    EXPECT_EQ(fntest::ReadTextValue(HKEY_LOCAL_MACHINE, "Software\\Classes\\.vmgadget", ""), GadgetProgId);
    EXPECT_EQ(fntest::ReadTextValue(HKEY_LOCAL_MACHINE, "Software\\Classes\\VellmarkTests.Gadget", ""),
              "Gadget document");
    EXPECT_EQ(fntest::ReadTextValue(HKEY_LOCAL_MACHINE, "Software\\Classes\\VellmarkTests.Gadget\\DefaultIcon", ""),
              program + ",0");
    EXPECT_EQ(AssociatedCommand(".vmgadget"), "\"" + program + "\" \"%1\"");

    EXPECT_EQ(fntest::MachinePath(), originalPath + ";" + GadgetFolder + "\\bin");
    EXPECT_EQ(fntest::MachinePathType(), static_cast<DWORD>(REG_EXPAND_SZ));

    fntest::LinkProperties link = fntest::LoadLink(DesktopLink());
    ASSERT_TRUE(link.loaded) << DesktopLink();
    EXPECT_EQ(link.arguments, "/open");
    EXPECT_EQ(link.description, "The gadget");
    EXPECT_EQ(fntest::ReadFileBytes(DesktopLink()).empty(), false);
    EXPECT_NE(link.path.find("gadget.exe"), std::string::npos) << link.path;

    // The script went on only because runprogram gave cmd's exit code 7.
    std::string lines = fntest::ReadFileBytes(transcript);
    EXPECT_NE(lines.find("runprogram: \"" + fntest::SystemFolder() + "\\cmd.exe\" /c exit 7: exit code 7"),
              std::string::npos)
        << lines;
}

TEST_F(SystemBuiltins, AFailedInstallationLeavesEverythingAsItWas)
{
    // A value the script writes over, which must come back.
    SetText(HKEY_LOCAL_MACHINE, GadgetShared, "Owner", "someone else");
    fntest::SetMachinePath(originalPath + ";C:\\Vellmark Earlier");
    snapshot::Snapshot before = taker.Take();
    std::string path = fntest::MachinePath();
    ASSERT_EQ(Install(failing).exitCode, static_cast<DWORD>(ExitInstallFailed));
    EXPECT_EQ(snapshot::Difference(before, taker.Take()), "");
    EXPECT_EQ(fntest::ReadTextValue(HKEY_LOCAL_MACHINE, GadgetShared, "Owner"), "someone else");
    EXPECT_EQ(fntest::MachinePath(), path);
    EXPECT_EQ(AssociatedCommand(".vmgadget"), "(none)");
    EXPECT_FALSE(fntest::IsFile(DesktopLink()));
}

TEST_F(SystemBuiltins, TheUninstallerRemovesOnlyWhatTheInstallationDid)
{
    snapshot::Snapshot fresh = taker.Take();
    ASSERT_EQ(Install(setup).exitCode, static_cast<DWORD>(ExitSuccess));
    // After the installation another program adds its folder to the PATH and
    // claims the extension for its own ProgID.
    fntest::SetMachinePath(fntest::MachinePath() + ";" + LaterFolder);
    SetText(HKEY_LOCAL_MACHINE, "Software\\Classes\\Other.Gadget\\shell\\open\\command", nullptr,
            "\"C:\\Other\\other.exe\" \"%1\"");
    SetText(HKEY_LOCAL_MACHINE, "Software\\Classes\\.vmgadget", nullptr, "Other.Gadget");

    std::string command = fntest::ReadTextValue(HKEY_LOCAL_MACHINE, GadgetUninstallEntry, "QuietUninstallString");
    ASSERT_NE(command, "(none)");
    EXPECT_EQ(RunProcess(command).exitCode, static_cast<DWORD>(ExitSuccess));

    EXPECT_EQ(fntest::MachinePath(), originalPath + ";" + LaterFolder);
    EXPECT_EQ(fntest::ReadTextValue(HKEY_LOCAL_MACHINE, "Software\\Classes\\.vmgadget", ""), "Other.Gadget");
    EXPECT_EQ(AssociatedCommand(".vmgadget"), "\"C:\\Other\\other.exe\" \"%1\"");
    EXPECT_FALSE(fntest::IsFile(DesktopLink()));

    // Without the other program's changes the machine is as it was.
    fntest::SetMachinePath(originalPath);
    fntest::DeleteKeyTree(HKEY_LOCAL_MACHINE, "Software\\Classes\\.vmgadget");
    fntest::DeleteKeyTree(HKEY_LOCAL_MACHINE, "Software\\Classes\\Other.Gadget");
    EXPECT_EQ(snapshot::Difference(fresh, taker.Take(),
                                   {"c:\\windows\\vuninst.exe", "hklm\\software\\vellmark system tests"}),
              "");
}

}  // namespace
