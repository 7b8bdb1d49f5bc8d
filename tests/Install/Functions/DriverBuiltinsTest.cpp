// installdriver: the copy and its reference count, the reboot flag, the
// service as the service control manager and the registry show it, the
// refusals, and the undo that removes the driver with its last reference.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "InstallTestSupport.h"
#include "DriverService.h"
#include "Installation.h"
#include "Playback.h"

using fntest::InstallScript;
using fntest::IsFile;
using fntest::KeyExists;
using fntest::ReadFileBytes;
using fntest::ReadNumberValue;
using fntest::SetupScriptRun;
using namespace installtest;

namespace {

constexpr char Service[] = "VmUnitDrv";
constexpr char ServiceKey[] = "System\\CurrentControlSet\\Services\\VmUnitDrv";
// A service whose display name is the test service's name: the service
// manager refuses a second service of that display name.
constexpr char Rival[] = "VmUnitRival";
constexpr char ImagePath[] = "\\SystemRoot\\System32\\drivers\\vmunit.sys";

const std::string Settings = "// Company=Vellmark Unit Tests\r\n// Product=Tool\r\n";


// What the service control manager knows of a service.
struct ServiceConfig {
    bool exists = false;
    DWORD type = 0, start = 0, errorControl = 0;
    std::string imagePath, displayName;
};

ServiceConfig QueryService(const char* name)
{
    ServiceConfig config;
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (!manager)
        return config;
    if (SC_HANDLE service = OpenServiceA(manager, name, SERVICE_QUERY_CONFIG)) {
        std::vector<BYTE> buffer(8192);
        DWORD needed = 0;
        auto* data = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data());
        if (QueryServiceConfigA(service, data, static_cast<DWORD>(buffer.size()), &needed)) {
            config.exists = true;
            config.type = data->dwServiceType;
            config.start = data->dwStartType;
            config.errorControl = data->dwErrorControl;
            config.imagePath = data->lpBinaryPathName ? data->lpBinaryPathName : "";
            config.displayName = data->lpDisplayName ? data->lpDisplayName : "";
        }
        CloseServiceHandle(service);
    }
    CloseServiceHandle(manager);
    return config;
}

void DeleteTestService(const char* name)
{
    if (SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS)) {
        if (SC_HANDLE service = OpenServiceA(manager, name, SERVICE_ALL_ACCESS)) {
            DeleteService(service);
            CloseServiceHandle(service);
        }
        CloseServiceHandle(manager);
    }
    fntest::DeleteKeyTree(HKEY_LOCAL_MACHINE, std::string("System\\CurrentControlSet\\Services\\") + name);
}

// A registry value as its type and raw bytes; type 0 when it is missing.
struct RawValue {
    DWORD type = 0;
    std::string bytes;
};

RawValue ReadRawValue(const std::string& keyPath, const char* name)
{
    RawValue value;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return value;
    char data[1024];
    DWORD size = sizeof data;
    DWORD type = 0;
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size) == ERROR_SUCCESS) {
        value.type = type;
        value.bytes.assign(data, size);
    }
    RegCloseKey(key);
    return value;
}

// The four values installdriver writes into the service's key.
void ExpectServiceValues(const std::string& context)
{
    EXPECT_EQ(ReadNumberValue(HKEY_LOCAL_MACHINE, ServiceKey, "Start"), 2) << context;
    EXPECT_EQ(ReadNumberValue(HKEY_LOCAL_MACHINE, ServiceKey, "Type"), 1) << context;
    EXPECT_EQ(ReadNumberValue(HKEY_LOCAL_MACHINE, ServiceKey, "ErrorControl"), 1) << context;
    RawValue display = ReadRawValue(ServiceKey, "DisplayName");
    EXPECT_EQ(display.type, static_cast<DWORD>(REG_SZ)) << context;
    // Written without its terminator; the service manager stores it again
    // with one, and so does the 95 family's registry.
    EXPECT_TRUE(display.bytes == Service || display.bytes == std::string(Service, strlen(Service) + 1))
        << context << ": " << display.bytes.size() << " bytes";
}

class InstallDriver : public InstallFixture {
protected:
    void SetUp() override
    {
        InstallFixture::SetUp();
        std::vector<PackItem> items = StandardItems();
        items.push_back(testimage::Folder("Drivers", 0));
        size_t drivers = items.size() - 1;
        // The driver's bytes: the shared library's image (version 2.0.0.0).
        items.push_back(testimage::File("vmunit.sys", drivers, SharedImage()));
        items.push_back(testimage::File("plain.sys", drivers, "a driver without a version"));
        OpenTestPackage(items);
        DeleteTestService(Service);
        DeleteTestService(Rival);
        CreateDirectoryTree(InstallDir);
        // The half-second pauses of each installation and removal would add
        // up over the cases; what happens between them is the same.
        DriverServiceWaitTime = 0;
        driver = AppDir() + "\\vmunit.sys";
    }
    void TearDown() override
    {
        DriverServiceWaitTime = DriverServiceWait;
        DeleteTestService(Service);
        DeleteTestService(Rival);
        InstallFixture::TearDown();
    }

    // installdriver with the given argument texts (script expressions), in
    // install(); returns its result.
    ScriptValue Install(const std::string& arguments)
    {
        return fntest::RunWithoutReports(InstallScript(Settings, "return installdriver(" + arguments + ");"),
                                         "install", arguments);
    }
    ScriptValue InstallTestDriver(const char* entry = "Drivers\\\\vmunit.sys")
    {
        return Install(std::string("\"") + entry + "\", \"%APPDIR%\\\\vmunit.sys\", \"VmUnitDrv\"");
    }

    std::string DriverEntry() const { return "Driver|" + driver + "|VmUnitDrv|-"; }

    // Back to the state after SetUp, for the next case of a table: the same
    // package and installation folder, nothing installed.
    void StartOver()
    {
        PackageHandle* package = SetupPackage;
        const std::string folder = InstallDir;
        const std::string program = SetupProgramPath;
        ResetSetupState();
        SetupPackage = package;
        fntest::SetPathBuffer(InstallDir, folder);
        fntest::SetPathBuffer(SetupProgramPath, program);
        ReleaseInstallLog(&TheInstallLog);
        ClearProductTraces();
        DeleteTestService(Service);
        DeleteFileA(driver.c_str());
    }

    std::string driver;
};

// ---------------------------------------------------------------------------
// The NT family

TEST_F(InstallDriver, RegistersAnAutoStartKernelDriverOnTheNTFamily)
{
    IsWindowsNT = 1;
    EXPECT_EQ(InstallTestDriver(), 1);
    EXPECT_EQ(CopyError, 0);
    EXPECT_EQ(RebootRequested, 1) << "a driver that was not on the disk needs a restart";
    EXPECT_TRUE(ReadFileBytes(driver) == SharedImage()) << "the bytes of " << driver;
    EXPECT_EQ(ReadNumberValue(HKEY_LOCAL_MACHINE, SharedFilesKey, Service), 1);

    ServiceConfig config = QueryService(Service);
    ASSERT_TRUE(config.exists);
    EXPECT_EQ(config.type, static_cast<DWORD>(SERVICE_KERNEL_DRIVER));
    EXPECT_EQ(config.start, static_cast<DWORD>(SERVICE_AUTO_START));
    EXPECT_EQ(config.errorControl, static_cast<DWORD>(SERVICE_ERROR_NORMAL));
    EXPECT_EQ(config.imagePath, ImagePath) << "the drivers folder, wherever the file was copied";
    EXPECT_EQ(config.displayName, Service);
    ExpectServiceValues("after the install");
    EXPECT_EQ(Describe(&TheInstallLog), std::vector<std::string>{DriverEntry()});
}

TEST_F(InstallDriver, AnotherProductFindsTheServiceThereAndRaisesTheCountAgain)
{
    IsWindowsNT = 1;
    ASSERT_EQ(InstallTestDriver(), 1);
    ASSERT_TRUE(QueryService(Service).exists);
    // Another product's installation (its own log) of the same driver, with
    // the same version on the disk (other bytes, to see that it is not
    // rewritten): no restart is asked for, and the count still goes up.
    ReleaseInstallLog(&TheInstallLog);
    const std::string sameVersion = SharedImage() + "kept";
    ASSERT_TRUE(fntest::WriteFileBytes(driver, sameVersion));
    RebootRequested = 0;
    EXPECT_EQ(InstallTestDriver(), 1) << "a service that exists counts as registered";
    EXPECT_EQ(RebootRequested, 0);
    EXPECT_TRUE(ReadFileBytes(driver) == sameVersion) << "the file on the disk is kept";
    EXPECT_EQ(ReadNumberValue(HKEY_LOCAL_MACHINE, SharedFilesKey, Service), 2);
    EXPECT_TRUE(QueryService(Service).exists);
    ExpectServiceValues("after the second install");
    EXPECT_EQ(Describe(&TheInstallLog), std::vector<std::string>{DriverEntry()});
}

TEST_F(InstallDriver, AProductInstalledAgainOverItselfKeepsItsOneReference)
{
    // The log of the earlier installation is loaded and grows: it records the
    // driver once, and the uninstaller will release one reference.
    IsWindowsNT = 1;
    for (int installation = 1; installation <= 3; ++installation) {
        EXPECT_EQ(InstallTestDriver(), 1) << installation;
        EXPECT_EQ(ReadNumberValue(HKEY_LOCAL_MACHINE, SharedFilesKey, Service), 1) << installation;
    }
    EXPECT_EQ(Describe(&TheInstallLog), std::vector<std::string>{DriverEntry()});
    PlaybackOptions options = {};
    options.company = Company;
    options.product = "Tool";
    PlayBackInstallLog(&TheInstallLog, options);
    EXPECT_FALSE(QueryService(Service).exists);
    EXPECT_FALSE(IsFile(driver));
    EXPECT_EQ(ReadNumberValue(HKEY_LOCAL_MACHINE, SharedFilesKey, Service), -1);
}

// A failed installation takes back what it did to the driver and nothing
// more: the driver, service and key of another product stay with their one
// count; where there was none, all of it goes again.
TEST_F(InstallDriver, AFailedInstallationTakesBackItsOwnChangesOnly)
{
    const std::string folder = InstallDir;
    for (bool otherProduct : {true, false}) {
        const std::string context = otherProduct ? "another product's driver" : "no driver before";
        fntest::SetPathBuffer(InstallDir, folder);
        StartOver();
        IsWindowsNT = 1;
        if (otherProduct) {
            // What another product's installation of the same driver left.
            SetupScriptRun other(InstallScript(
                Settings, "installdriver(\"Drivers\\\\vmunit.sys\", \"%APPDIR%\\\\vmunit.sys\", \"VmUnitDrv\");\r\n"
                          "return 1;"));
            ASSERT_EQ(RunInstallation(), 1) << context;
            ReleaseInstallLog(&TheInstallLog);
            DeleteFileA(LogFilePath);
            fntest::DeleteKeyTree(HKEY_LOCAL_MACHINE, ProductKey);
            ASSERT_TRUE(QueryService(Service).exists) << context;
        }
        const std::string driverBefore = otherProduct ? ReadFileBytes(driver) : "";
        // This installation: a second log, so the driver counts again, then it fails.
        fntest::SetPathBuffer(InstallDir, temp.path + "\\Other\\Tool");
        CreateDirectoryTree(InstallDir);
        SetupScriptRun run(InstallScript(
            Settings, "installdriver(\"Drivers\\\\vmunit.sys\", \"" + fntest::ScriptText(driver) + "\", \"VmUnitDrv\");\r\n"
                      "return 0;"));
        EXPECT_EQ(RunInstallation(), 0) << context;
        EXPECT_EQ(QueryService(Service).exists, otherProduct) << context;
        EXPECT_EQ(KeyExists(HKEY_LOCAL_MACHINE, ServiceKey), otherProduct) << context;
        EXPECT_EQ(IsFile(driver), otherProduct) << context;
        if (otherProduct) {
            EXPECT_EQ(ReadFileBytes(driver), driverBefore) << context;
        }
        EXPECT_EQ(ReadNumberValue(HKEY_LOCAL_MACHINE, SharedFilesKey, Service), otherProduct ? 1 : -1) << context;
        ExpectNoRunTraces();
    }
}

TEST_F(InstallDriver, AServiceTheManagerRefusesLeavesNoKeysAndIsUndoneWithItsFile)
{
    // A service whose display name is the name installdriver gives its own:
    // the service manager refuses the new one.
    IsWindowsNT = 1;
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    ASSERT_NE(manager, nullptr);
    SC_HANDLE rival = CreateServiceA(manager, Rival, Service, SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER,
                                     SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                                     "\\SystemRoot\\System32\\drivers\\vmunitrival.sys", nullptr, nullptr, nullptr,
                                     nullptr, nullptr);
    ASSERT_NE(rival, nullptr);
    CloseServiceHandle(rival);
    CloseServiceHandle(manager);

    EXPECT_EQ(InstallTestDriver(), 0);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, ServiceKey)) << "the key written before is deleted again";
    EXPECT_TRUE(QueryService(Rival).exists);
    EXPECT_EQ(CopyError, 0) << "the copy itself succeeded";
    EXPECT_TRUE(IsFile(driver));
    EXPECT_EQ(ReadNumberValue(HKEY_LOCAL_MACHINE, SharedFilesKey, Service), 1);
    // The copied file and its count are recorded, so the undo takes them away.
    ASSERT_EQ(Describe(&TheInstallLog), std::vector<std::string>{DriverEntry()});
    PlaybackOptions options = {};
    options.company = Company;
    options.product = "Tool";
    PlayBackInstallLog(&TheInstallLog, options);
    EXPECT_FALSE(IsFile(driver));
    EXPECT_EQ(ReadNumberValue(HKEY_LOCAL_MACHINE, SharedFilesKey, Service), -1);
    EXPECT_TRUE(QueryService(Rival).exists) << "another service is never touched";
}

// ---------------------------------------------------------------------------
// The 95 family, and what both families share

// The family of the Windows the test runs on (windows-versions.sh runs it on
// every version wine can pretend, the 95 family among them).
TEST_F(InstallDriver, TheRunningWindowsFamilyDecidesWhetherTheServiceManagerIsAsked)
{
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    ASSERT_TRUE(GetVersionExA(&version));
    IsWindowsNT = version.dwPlatformId == VER_PLATFORM_WIN32_NT ? 1 : 0;
    EXPECT_EQ(InstallTestDriver(), 1);
    ExpectServiceValues(IsWindowsNT ? "NT family" : "95 family");
    EXPECT_EQ(QueryService(Service).exists, IsWindowsNT == 1);
    EXPECT_EQ(Describe(&TheInstallLog), std::vector<std::string>{DriverEntry()});
}

TEST_F(InstallDriver, TheCopyDecidesTheRestartAndTheCountNotTheResult)
{
    // On the 95 family, so each case only writes the service's values.
    const std::string older = AsString(VersionedImage(1, 0, 0, 0));
    const std::string newer = AsString(VersionedImage(3, 0, 0, 0));
    struct Case {
        const char* what;
        const char* entry;
        std::string before;   // "-": no file on the disk
        int copyErrorBefore;
        std::string after;    // the file afterwards ("-": none)
        int reboot, copyError;
        long long count;      // -1: no value
    };
    const Case cases[] = {
        {"no file there", "Drivers\\\\vmunit.sys", "-", 0, SharedImage(), 1, 0, 1},
        {"an older version there", "Drivers\\\\vmunit.sys", older, 0, SharedImage(), 1, 0, 1},
        {"the same version there", "Drivers\\\\vmunit.sys", SharedImage() + "x", 0, SharedImage() + "x", 0, 0, 1},
        {"a newer version there", "Drivers\\\\vmunit.sys", newer, 0, newer, 1, 0, 1},
        {"an entry without a version", "Drivers\\\\plain.sys", older, 0, "a driver without a version", 1, 0, 1},
        {"no such entry", "Drivers\\\\missing.sys", "-", 0, "-", 1, 1, -1},
        {"an earlier copy failed", "Drivers\\\\vmunit.sys", "-", 1, "-", 0, 1, -1},
    };
    for (const Case& c : cases) {
        StartOver();
        IsWindowsNT = 0;
        if (c.before != "-") {
            ASSERT_TRUE(fntest::WriteFileBytes(driver, c.before)) << c.what;
        }
        CopyError = c.copyErrorBefore;
        EXPECT_EQ(InstallTestDriver(c.entry), 1) << c.what << ": the service is registered whatever the copy did";
        EXPECT_EQ(RebootRequested, c.reboot) << c.what;
        EXPECT_EQ(CopyError, c.copyError) << c.what;
        EXPECT_EQ(ReadFileBytes(driver) == (c.after == "-" ? "(none)" : c.after), true) << c.what;
        EXPECT_EQ(ReadNumberValue(HKEY_LOCAL_MACHINE, SharedFilesKey, Service), c.count) << c.what;
        ExpectServiceValues(c.what);
        EXPECT_FALSE(QueryService(Service).exists) << c.what;
        EXPECT_EQ(Describe(&TheInstallLog), std::vector<std::string>{DriverEntry()}) << c.what;
    }
}

TEST_F(InstallDriver, ACallThatCannotNameItsDriverDoesNothingButFailTheCopy)
{
    const std::string tooLongService(ServiceNameLimit + 1, 's');
    // One character more than the image path takes after the drivers folder.
    const std::string tooLongFile(DriverImagePathSize - strlen("\\SystemRoot\\System32\\drivers\\"), 'f');
    const std::vector<std::string> calls = {
        "null, \"%APPDIR%\\\\vmunit.sys\", \"VmUnitDrv\"",
        "\"Drivers\\\\vmunit.sys\", null, \"VmUnitDrv\"",
        "\"Drivers\\\\vmunit.sys\", \"%APPDIR%\\\\vmunit.sys\", null",
        "\"Drivers\\\\vmunit.sys\", \"%APPDIR%\\\\vmunit.sys\", 7",
        "\"Drivers\\\\vmunit.sys\", \"%APPDIR%\\\\vmunit.sys\", \"\"",
        "\"Drivers\\\\vmunit.sys\", \"%APPDIR%\\\\vmunit.sys\", \"..\\\\VmUnitDrv\"",
        "\"Drivers\\\\vmunit.sys\", \"%APPDIR%\\\\vmunit.sys\", \"" + tooLongService + "\"",
        "\"Drivers\\\\vmunit.sys\", \"%APPDIR%\\\\\", \"VmUnitDrv\"",
        "\"Drivers\\\\vmunit.sys\", \"\", \"VmUnitDrv\"",
        "\"Drivers\\\\vmunit.sys\", \"%APPDIR%\\\\" + tooLongFile + "\", \"VmUnitDrv\"",
    };
    for (int nt : {1, 0}) {
        for (const std::string& call : calls) {
            const std::string context = call.substr(0, 80) + (nt ? " (NT)" : " (95)");
            StartOver();
            IsWindowsNT = nt;
            EXPECT_EQ(Install(call), 0) << context;
            EXPECT_EQ(CopyError, 1) << context;
            EXPECT_EQ(RebootRequested, 0) << context;
            EXPECT_TRUE(fntest::FolderNames(AppDir()).empty()) << context;
            EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, SharedFilesKey)) << context;
            EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, ServiceKey)) << context;
            EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Services\\" + tooLongService))
                << context;
            EXPECT_FALSE(QueryService(Service).exists) << context;
            EXPECT_EQ(Describe(&TheInstallLog), std::vector<std::string>{}) << context;
        }
    }
}

TEST_F(InstallDriver, NothingIsRecordedWhileLoggingIsOff)
{
    IsWindowsNT = 0;
    LoggingEnabled = 0;
    EXPECT_EQ(InstallTestDriver(), 1);
    EXPECT_TRUE(IsFile(driver));
    EXPECT_EQ(Describe(&TheInstallLog), std::vector<std::string>{});
}

}  // namespace
