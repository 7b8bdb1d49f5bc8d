// File installation (copy, copyshared, makedir and the operations behind
// them) and the installation run with the product's registration.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FileInstall.h"
#include "InstallTestSupport.h"
#include "Installation.h"
#include "LogDigest.h"

using fntest::FolderNames;
using fntest::InstallScript;
using fntest::IsFile;
using fntest::IsFolder;
using fntest::ReadFileBytes;
using fntest::ReadNumberValue;
using fntest::ReadTextValue;
using fntest::SetupScriptRun;
using namespace installtest;

namespace {

const std::string Settings =
    "// Company=Vellmark Unit Tests\r\n// Product=Tool\r\n// Name=Unit Tool\r\n// Version=1.2.0\r\n";

// The flag start-up reads from the settings before the wizard.
void ReadNoUninstall()
{
    GetSettingInt("NoUninstall", &NoUninstall);
}

// ---------------------------------------------------------------------------
// ExtractEntryToFile and the version rule

using InstallFiles = InstallFixture;

TEST_F(InstallFiles, NeverReplacesASameOrNewerVersion)
{
    const std::string v11 = AsString(VersionedImage(1, 1, 0, 0));
    const std::string v12 = AppImage();
    const std::string v13 = AsString(VersionedImage(1, 3, 0, 0));
    struct Case {
        const char* entry;
        std::string disk;       // "-": no file there before
        std::string expected;   // the file's bytes afterwards
    };
    const Case cases[] = {
        {"Bin\\app.exe", "-", v12},
        {"Bin\\app.exe", v11, v12},            // older on the disk: replaced
        {"Bin\\app.exe", v12, v12},            // the same version: kept (same bytes anyway)
        {"Bin\\app.exe", v13, v13},            // newer on the disk: kept
        {"Bin\\app.exe", "no version", v12},   // the disk file has no version
        {"readme.txt", "older text", ReadmeText},
        {"readme.txt", v13, ReadmeText},       // an entry without a version always replaces
    };
    for (const Case& c : cases) {
        std::string path = temp.path + "\\target.bin";
        DeleteFileA(path.c_str());
        if (c.disk != "-") {
            ASSERT_TRUE(fntest::WriteFileBytes(path, c.disk));
        }
        EXPECT_EQ(ExtractEntryToFile(c.entry, path.c_str()), 1) << c.entry;
        EXPECT_TRUE(ReadFileBytes(path) == c.expected) << c.entry << " over " << c.disk.size() << " bytes";
    }
    EXPECT_EQ(FolderNames(temp.path), (std::vector<std::string>{"setup1.exe", "target.bin"}))
        << "no temporary file is left behind";
}

TEST_F(InstallFiles, FailuresWriteNothing)
{
    const std::string missingFolder = temp.path + "\\NoSuchFolder\\x.txt";
    EXPECT_EQ(ExtractEntryToFile("missing.txt", (temp.path + "\\a.txt").c_str()), 0);
    EXPECT_EQ(ExtractEntryToFile("Data", (temp.path + "\\b.txt").c_str()), 0) << "a folder entry";
    EXPECT_EQ(ExtractEntryToFile("readme.txt", missingFolder.c_str()), 0) << "the folder is not created";
    EXPECT_EQ(ExtractEntryToFile(nullptr, "x"), 0);
    // A folder where the file would go is neither replaced nor written into.
    ASSERT_TRUE(CreateDirectoryA((temp.path + "\\Taken").c_str(), nullptr));
    EXPECT_EQ(ExtractEntryToFile("readme.txt", (temp.path + "\\Taken").c_str()), 0);
    EXPECT_TRUE(IsFolder(temp.path + "\\Taken"));
    EXPECT_TRUE(FolderNames(temp.path + "\\Taken").empty());
    RemoveDirectoryA((temp.path + "\\Taken").c_str());
    EXPECT_EQ(FolderNames(temp.path), (std::vector<std::string>{"setup1.exe"}));
}

TEST_F(InstallFiles, AFailedReplaceKeepsTheFileThatWasThere)
{
    // The destination is held open without sharing: it cannot be replaced.
    const std::string path = temp.path + "\\readme.txt";
    ASSERT_TRUE(fntest::WriteFileBytes(path, "the user's own text"));
    HANDLE held = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_EQ(ExtractEntryToFile("readme.txt", path.c_str()), 0);
    CloseHandle(held);
    EXPECT_EQ(ReadFileBytes(path), "the user's own text");
    EXPECT_EQ(FolderNames(temp.path), (std::vector<std::string>{"readme.txt", "setup1.exe"}))
        << "the temporary file is removed";
}

TEST_F(InstallFiles, AnEntryTooLargeToInflateFailsTheCopy)
{
    // An entry that declares 4 GB for a few bytes of stream: whether the
    // memory cannot be had or the stream does not fill it, the copy fails.
    std::vector<uint8_t> package = testimage::MakePackage(StandardItems());
    ASSERT_TRUE(testimage::RewriteDirectory(package, testimage::MakeStub().size(), [](std::vector<PackageEntry>& entries) {
        for (PackageEntry& e : entries)
            if (strcmp(e.name, "readme.txt") == 0)
                e.size = 0xFFFFFFF0u;
    }));
    ASSERT_NO_FATAL_FAILURE(OpenTestPackageBytes(package));

    SetupScriptRun run(InstallScript(Settings, "return copy(\"readme.txt\", \"%APPDIR%\\\\readme.txt\") * 10 + "
                                               "iscopyerror();"));
    CreateDirectoryA((temp.path + "\\Apps").c_str(), nullptr);
    fntest::SetPathBuffer(InstallDir, temp.path + "\\Apps");
    EXPECT_EQ(run.Call("install"), 11);
    EXPECT_FALSE(IsFile(temp.path + "\\Apps\\readme.txt"));
    EXPECT_EQ(Describe(&TheInstallLog), std::vector<std::string>{});
}

// ---------------------------------------------------------------------------
// The built-ins

TEST_F(InstallFiles, CopyLogsWhatItWroteAndStopsAtTheFirstFailure)
{
    CreateDirectoryTree(InstallDir);
    SetupScriptRun run(InstallScript(Settings,
                                     "var r;\r\n"
                                     "r = copy(\"readme.txt\", \"%APPDIR%\\\\readme.txt\");\r\n"
                                     "logoff();\r\n"
                                     "r = r * 10 + copy(\"Data\\\\info.txt\", \"%APPDIR%\\\\info.txt\");\r\n"
                                     "logon();\r\n"
                                     "r = r * 10 + copy(\"missing.txt\", \"%APPDIR%\\\\missing.txt\");\r\n"
                                     "r = r * 10 + copy(\"Bin\\\\app.exe\", \"%APPDIR%\\\\app.exe\");\r\n"
                                     "r = r * 10 + copy(null, \"%APPDIR%\\\\x.txt\");\r\n"
                                     "return r * 10 + iscopyerror();"));
    EXPECT_EQ(run.Call("install"), 1111);   // 0, 0, then 1 1 1 and the sticky error
    EXPECT_TRUE(run.record.reports.empty());
    EXPECT_EQ(ReadFileBytes(AppDir() + "\\readme.txt"), ReadmeText);
    EXPECT_TRUE(IsFile(AppDir() + "\\info.txt")) << "copied while logging was off";
    EXPECT_FALSE(IsFile(AppDir() + "\\app.exe")) << "nothing is written after a failure";
    EXPECT_EQ(Describe(&TheInstallLog), (std::vector<std::string>{"File|" + AppDir() + "\\readme.txt|-|-"}));
}

TEST_F(InstallFiles, ANullArgumentIsAFailedCopy)
{
    struct Case {
        const char* call;
        int copyError;
    };
    const Case cases[] = {
        {"copy(null, \"%APPDIR%\\\\a.txt\")", 1},
        {"copy(\"readme.txt\", null)", 1},
        {"copy(\"readme.txt\", 5)", 1},
        {"copyshared(\"shared.dll\", \"%APPDIR%\\\\s.dll\", null)", 1},
        {"makedir(null)", 0},
    };
    CreateDirectoryTree(InstallDir);
    for (const Case& c : cases) {
        CopyError = 0;
        ReleaseInstallLog(&TheInstallLog);
        SetupScriptRun run(InstallScript(Settings, std::string(c.call) + ";\r\nreturn iscopyerror();"));
        EXPECT_EQ(run.Call("install"), c.copyError) << c.call;
        EXPECT_TRUE(FolderNames(AppDir()).empty()) << c.call;
        EXPECT_EQ(Describe(&TheInstallLog), std::vector<std::string>{}) << c.call;
    }
}

TEST_F(InstallFiles, CopysharedCountsEveryProductThatHoldsTheFileOnce)
{
    CreateDirectoryTree(InstallDir);
    const std::string script = InstallScript(
        Settings, "return copyshared(\"shared.dll\", \"%APPDIR%\\\\shared.dll\", \"shared.dll\");");
    {
        SetupScriptRun run(script);
        EXPECT_EQ(run.Call("install"), 0);
    }
    EXPECT_EQ(ReadNumberValue(HKEY_LOCAL_MACHINE, SharedFilesKey, "shared.dll"), 1);
    EXPECT_EQ(Describe(&TheInstallLog),
              (std::vector<std::string>{"SharedFile|" + AppDir() + "\\shared.dll|shared.dll|-"}));

    // The same product installed again over itself (its log loaded, the file
    // found there): logged once, and not counted again.
    {
        SetupScriptRun run(script);
        EXPECT_EQ(run.Call("install"), 0);
    }
    EXPECT_EQ(ReadNumberValue(HKEY_LOCAL_MACHINE, SharedFilesKey, "shared.dll"), 1);
    EXPECT_EQ(Describe(&TheInstallLog).size(), 1u);

    // Another product (a log without the file) finds it there and counted:
    // it holds it too, so the first removal leaves the file to it.
    ReleaseInstallLog(&TheInstallLog);
    {
        SetupScriptRun run(script);
        EXPECT_EQ(run.Call("install"), 0);
    }
    EXPECT_EQ(ReadNumberValue(HKEY_LOCAL_MACHINE, SharedFilesKey, "shared.dll"), 2);
    EXPECT_EQ(Describe(&TheInstallLog).size(), 1u);
}

TEST_F(InstallFiles, CopysharedNeverCountsAFileThatCameFromElsewhere)
{
    // A file on the system before any of our products, with no count: the
    // copy keeps or replaces it, but no installation ever holds it, so no
    // removal deletes it.
    CreateDirectoryTree(InstallDir);
    ASSERT_TRUE(fntest::WriteFileBytes(AppDir() + "\\shared.dll", SharedImage()));
    SetupScriptRun run(InstallScript(
        Settings, "return copyshared(\"shared.dll\", \"%APPDIR%\\\\shared.dll\", \"shared.dll\");"));
    EXPECT_EQ(run.Call("install"), 0);
    EXPECT_EQ(ReadNumberValue(HKEY_LOCAL_MACHINE, SharedFilesKey, "shared.dll"), -1);
    EXPECT_EQ(Describe(&TheInstallLog).size(), 1u);
}

TEST_F(InstallFiles, WithoutACompanyTheCountLivesUnderTheProduct)
{
    CreateDirectoryTree(InstallDir);
    SetupScriptRun run(InstallScript("// Product=Tool\r\n",
                                     "return copyshared(\"shared.dll\", \"%APPDIR%\\\\s.dll\", \"Lib\");"));
    EXPECT_EQ(run.Call("install"), 0);
    EXPECT_EQ(ReadNumberValue(HKEY_LOCAL_MACHINE, "Software\\Tool\\Shared Files", "Lib"), 1);
}

TEST_F(InstallFiles, MakedirCreatesEveryParentAndLogsTheFolderOnce)
{
    SetupScriptRun run(InstallScript(Settings, "makedir(\"%APPDIR%\\\\Data\\\\Skins\");\r\n"
                                               "makedir(\"%APPDIR%\\\\DATA\\\\skins\");\r\n"
                                               "return 7;"));
    EXPECT_EQ(run.Call("install"), 7);
    EXPECT_TRUE(IsFolder(AppDir() + "\\Data\\Skins"));
    EXPECT_EQ(Describe(&TheInstallLog), (std::vector<std::string>{"Directory|" + AppDir() + "\\Data\\Skins|-|-"}));
}

// ---------------------------------------------------------------------------
// The installation run

using InstallationRun = InstallFixture;

const std::string FullSettings = Settings +
                                 "// NoUninstall=0\r\n// ProductURL=http://tool.example\r\n"
                                 "// ProductEmail=tool@example.com\r\n// CompanyURL=http://example.com\r\n"
                                 "// CompanyEmail=info@example.com\r\n";

const std::string FullInstall =
    "makedir(\"%APPDIR%\\\\Bin\");\r\n"
    "copy(\"Bin\\\\app.exe\", \"%APPDIR%\\\\Bin\\\\app.exe\");\r\n"
    "copy(\"readme.txt\", \"%APPDIR%\\\\readme.txt\");\r\n"
    "copyshared(\"shared.dll\", \"%APPDIR%\\\\shared.dll\", \"shared.dll\");\r\n"
    "prefskey(\"Software\\\\Vellmark Unit Tests\\\\Tool\");\r\n";

TEST_F(InstallationRun, SuccessRecordsEveryChangeAndRegistersTheProduct)
{
    SetupScriptRun run(InstallScript(FullSettings, FullInstall + "return 1;"));
    ASSERT_TRUE(run.accepted);
    ReadNoUninstall();
    EXPECT_EQ(RunInstallation(), 1);
    EXPECT_EQ(Joined(run.record.reports), "");

    const std::string dir = AppDir();
    EXPECT_EQ(std::string(LogFilePath), dir + "\\Tool.log");
    EXPECT_TRUE(ReadFileBytes(dir + "\\Bin\\app.exe") == AppImage()) << "the bytes of " << dir + "\\Bin\\app.exe";
    EXPECT_EQ(ReadFileBytes(dir + "\\readme.txt"), ReadmeText);
    EXPECT_TRUE(ReadFileBytes(dir + "\\shared.dll") == SharedImage()) << "the bytes of " << dir + "\\shared.dll";
    EXPECT_EQ(DescribeLogFile(LogFilePath), (std::vector<std::string>{
                                                "Product|Vellmark Unit Tests|Tool|" + dir,
                                                "Directory|" + dir + "\\Bin|-|-",
                                                "File|" + dir + "\\Bin\\app.exe|-|-",
                                                "File|" + dir + "\\readme.txt|-|-",
                                                "SharedFile|" + dir + "\\shared.dll|shared.dll|-",
                                                "PrefsKey|Software\\Vellmark Unit Tests\\Tool|-|-",
                                            }));
    EXPECT_EQ(TheInstallLog.count, 0u) << "the list is released";

    EXPECT_EQ(ReadTextValue(HKEY_LOCAL_MACHINE, ProductKey, "Version"), "1.2.0");
    EXPECT_EQ(ReadTextValue(HKEY_LOCAL_MACHINE, ProductKey, "URL"), "http://tool.example");
    EXPECT_EQ(ReadTextValue(HKEY_LOCAL_MACHINE, ProductKey, "Email"), "tool@example.com");
    EXPECT_EQ(ReadTextValue(HKEY_LOCAL_MACHINE, ProductKey, "Path"), dir);
    EXPECT_EQ(ReadTextValue(HKEY_LOCAL_MACHINE, CompanyKey, "URL"), "http://example.com");
    EXPECT_EQ(ReadTextValue(HKEY_LOCAL_MACHINE, CompanyKey, "Email"), "info@example.com");
    EXPECT_EQ(ReadNumberValue(HKEY_LOCAL_MACHINE, SharedFilesKey, "shared.dll"), 1);

    const std::string uninstaller = WindowsFile("vuninst.exe");
    const std::string entry = UninstallEntry;
    EXPECT_TRUE(ReadFileBytes(uninstaller) == UninstallerImage()) << "the bytes of " << uninstaller;
    EXPECT_EQ(ReadTextValue(HKEY_LOCAL_MACHINE, entry, "DisplayName"), "Unit Tool");
    EXPECT_EQ(ReadTextValue(HKEY_LOCAL_MACHINE, entry, "UninstallString"), "\"" + uninstaller + "\" " + dir + "\\Tool.log");

    // What Programs and Features and deployment tools read.
    EXPECT_EQ(ReadTextValue(HKEY_LOCAL_MACHINE, entry, "QuietUninstallString"),
              "\"" + uninstaller + "\" /S " + dir + "\\Tool.log");
    EXPECT_EQ(ReadTextValue(HKEY_LOCAL_MACHINE, entry, "DisplayVersion"), "1.2.0");
    EXPECT_EQ(ReadTextValue(HKEY_LOCAL_MACHINE, entry, "Publisher"), "Vellmark Unit Tests");
    EXPECT_EQ(ReadTextValue(HKEY_LOCAL_MACHINE, entry, "InstallLocation"), dir);
    EXPECT_EQ(ReadTextValue(HKEY_LOCAL_MACHINE, entry, "URLInfoAbout"), "http://tool.example");
    EXPECT_EQ(ReadNumberValue(HKEY_LOCAL_MACHINE, entry, "NoModify"), 1);
    EXPECT_EQ(ReadNumberValue(HKEY_LOCAL_MACHINE, entry, "NoRepair"), 1);
    // The files the log records, in KB rounded up: the log itself and the
    // uninstaller are not among them.
    const size_t bytes = AppImage().size() + strlen(ReadmeText) + SharedImage().size();
    EXPECT_EQ(ReadNumberValue(HKEY_LOCAL_MACHINE, entry, "EstimatedSize"), static_cast<long long>((bytes + 1023) / 1024));
}

TEST_F(InstallationRun, EstimatedSizeMeasuresTheFilesTheLogRecordsAfterTheRun)
{
    // The files of an earlier installation that the log holds count; a file
    // gone since counts nothing.
    std::string big(5000, 'x');
    const std::string dir = AppDir();
    const std::string settings = FullSettings;
    CreateDirectoryTree(InstallDir);
    ASSERT_TRUE(fntest::WriteFileBytes(dir + "\\big.bin", big));
    SetupScriptRun run(InstallScript(settings, "copy(\"readme.txt\", \"%APPDIR%\\\\readme.txt\");\r\nreturn 1;"));
    InstallLog earlier = {};
    ASSERT_EQ(BuildLogFilePath(), 1);
    LogAddProduct(&earlier, "Vellmark Unit Tests", "Tool", InstallDir);
    LogAddFile(&earlier, (dir + "\\big.bin").c_str());
    LogAddFile(&earlier, (dir + "\\gone.bin").c_str());
    SaveInstallLog(&earlier, LogFilePath);
    ReadNoUninstall();
    EXPECT_EQ(RunInstallation(), 1);
    EXPECT_EQ(ReadNumberValue(HKEY_LOCAL_MACHINE, UninstallEntry, "EstimatedSize"),
              static_cast<long long>((big.size() + strlen(ReadmeText) + 1023) / 1024));
}

TEST_F(InstallationRun, FailureUndoesEverythingTheLogRecords)
{
    // An earlier installation's keys, which the undo removes as well, and
    // values it leaves: the company's, and the preferences key's.
    fntest::SetTextValue(HKEY_LOCAL_MACHINE, ProductKey, "Version", "1.0.0");
    fntest::SetTextValue(HKEY_LOCAL_MACHINE, ProductKey, "Path", "C:\\Old");
    fntest::SetTextValue(HKEY_LOCAL_MACHINE, UninstallEntry, "DisplayName", "Unit Tool");
    fntest::SetTextValue(HKEY_LOCAL_MACHINE, CompanyKey, "URL", "http://example.com");
    fntest::SetTextValue(HKEY_CURRENT_USER, "Software\\Vellmark Unit Tests\\Tool", "Skin", "blue");
    fntest::SetNumberValue(HKEY_LOCAL_MACHINE, SharedFilesKey, "other.dll", 2);

    SetupScriptRun run(InstallScript(FullSettings, FullInstall + "return 0;"));
    EXPECT_EQ(RunInstallation(), 0);

    // The folders, the installation folder and its empty parents are gone;
    // the temporary folder that holds them is not empty and stays.
    EXPECT_EQ(FolderNames(temp.path), (std::vector<std::string>{"setup1.exe"}));
    EXPECT_FALSE(IsFile(LogFilePath));
    EXPECT_EQ(ReadNumberValue(HKEY_LOCAL_MACHINE, SharedFilesKey, "shared.dll"), -1);
    EXPECT_EQ(ReadNumberValue(HKEY_LOCAL_MACHINE, SharedFilesKey, "other.dll"), 2);
    EXPECT_FALSE(fntest::KeyExists(HKEY_LOCAL_MACHINE, ProductKey));
    EXPECT_FALSE(fntest::KeyExists(HKEY_LOCAL_MACHINE, UninstallEntry));
    EXPECT_EQ(ReadTextValue(HKEY_LOCAL_MACHINE, CompanyKey, "URL"), "http://example.com");
    EXPECT_EQ(ReadTextValue(HKEY_CURRENT_USER, "Software\\Vellmark Unit Tests\\Tool", "Skin"), "blue");
    EXPECT_FALSE(IsFile(WindowsFile("vuninst.exe")));
}

TEST_F(InstallationRun, WithoutAnInstallFunctionTheRunSucceeds)
{
    SetupScriptRun run(Settings + "init()\r\n{\r\nreturn 1;\r\n}\r\n");
    EXPECT_EQ(RunInstallation(), 1);
    EXPECT_EQ(DescribeLogFile(LogFilePath),
              (std::vector<std::string>{"Product|Vellmark Unit Tests|Tool|" + AppDir()}));
    EXPECT_EQ(ReadTextValue(HKEY_LOCAL_MACHINE, ProductKey, "Path"), AppDir());
    // No NoUninstall setting: no uninstaller and no entry.
    EXPECT_FALSE(IsFile(WindowsFile("vuninst.exe")));
    EXPECT_FALSE(fntest::KeyExists(HKEY_LOCAL_MACHINE, UninstallEntry));
}

TEST_F(InstallationRun, TheSettingsNameTheLogAndTheUninstallEntry)
{
    struct Case {
        const char* what;
        std::string settings;
        std::string logPath;       // "" for the installation folder's Tool.log
        std::string entryName;     // the uninstall entry's key name, "" for none
        std::string displayName;
    };
    const Case cases[] = {
        {"no Name", "// Company=Vellmark Unit Tests\r\n// Product=Tool\r\n// NoUninstall=0\r\n", "", "Tool", "Tool"},
        {"no Product", "// Company=Vellmark Unit Tests\r\n// Name=Unit Tool\r\n// NoUninstall=0\r\n",
         "\\.log", "Vellmark Unit Tests", "Unit Tool"},
        {"no Product, no Name", "// Company=Vellmark Unit Tests\r\n// NoUninstall=0\r\n", "\\.log",
         "Vellmark Unit Tests", "Vellmark Unit Tests"},
        {"LogPath %WINDIR%", Settings + "// LogPath=%WINDIR%\r\n// NoUninstall=0\r\n", fntest::WindowsFolder() + "\\Tool.log",
         "Tool", "Unit Tool"},
        {"NoUninstall 1", Settings + "// NoUninstall=1\r\n", "", "", ""},
    };
    for (const Case& c : cases) {
        ClearProductTraces();
        SetupScriptRun run(InstallScript(c.settings, "return 1;"));
        NoUninstall = 1;
        ReadNoUninstall();
        EXPECT_EQ(RunInstallation(), 1) << c.what;
        std::string expectedLog = c.logPath.empty() ? AppDir() + "\\Tool.log"
                                  : c.logPath[0] == '\\' ? AppDir() + c.logPath : c.logPath;
        EXPECT_EQ(std::string(LogFilePath), expectedLog) << c.what;
        EXPECT_TRUE(IsFile(expectedLog)) << c.what;
        if (c.entryName.empty()) {
            EXPECT_FALSE(IsFile(WindowsFile("vuninst.exe"))) << c.what;
        } else {
            std::string key = std::string(UninstallKey) + "\\" + c.entryName;
            EXPECT_EQ(ReadTextValue(HKEY_LOCAL_MACHINE, key, "DisplayName"), c.displayName) << c.what;
            EXPECT_EQ(ReadTextValue(HKEY_LOCAL_MACHINE, key, "UninstallString"),
                      "\"" + WindowsFile("vuninst.exe") + "\" " + expectedLog)
                << c.what;
            // Only what has a source: no Version and no ProductURL setting here.
            EXPECT_EQ(ReadTextValue(HKEY_LOCAL_MACHINE, key, "DisplayVersion"),
                      c.settings.find("Version=") != std::string::npos ? "1.2.0" : "(none)")
                << c.what;
            EXPECT_EQ(ReadTextValue(HKEY_LOCAL_MACHINE, key, "URLInfoAbout"), "(none)") << c.what;
            EXPECT_EQ(ReadTextValue(HKEY_LOCAL_MACHINE, key, "Publisher"), "Vellmark Unit Tests") << c.what;
        }
        DeleteFileA(expectedLog.c_str());
    }
}

TEST_F(InstallationRun, ASecondInstallationKeepsTheFirstProductEntry)
{
    const std::string settings = Settings + "// LogPath=" + temp.path + "\r\n";
    {
        SetupScriptRun run(InstallScript(settings, "copy(\"readme.txt\", \"%APPDIR%\\\\readme.txt\");\r\nreturn 1;"));
        EXPECT_EQ(RunInstallation(), 1);
    }
    const std::string first = AppDir();
    fntest::SetPathBuffer(InstallDir, temp.path + "\\Second");
    {
        SetupScriptRun run(InstallScript("// Company=VELLMARK UNIT TESTS\r\n// Product=Tool\r\n// LogPath=" +
                                             temp.path + "\r\n",
                                         "copy(\"readme.txt\", \"%APPDIR%\\\\readme.txt\");\r\n"
                                         "copy(\"Data\\\\info.txt\", \"%APPDIR%\\\\info.txt\");\r\nreturn 1;"));
        EXPECT_EQ(RunInstallation(), 1);
    }
    EXPECT_EQ(DescribeLogFile(temp.path + "\\Tool.log"), (std::vector<std::string>{
                                                              "Product|Vellmark Unit Tests|Tool|" + first,
                                                              "File|" + first + "\\readme.txt|-|-",
                                                              "File|" + AppDir() + "\\readme.txt|-|-",
                                                              "File|" + AppDir() + "\\info.txt|-|-",
                                                          }));
}

TEST_F(InstallationRun, TheRegistrationKeepsTheLogsDigest)
{
    SetupScriptRun run(InstallScript(FullSettings, "copy(\"readme.txt\", \"%APPDIR%\\\\readme.txt\");\r\nreturn 1;"));
    ReadNoUninstall();
    EXPECT_EQ(RunInstallation(), 1);
    char digest[Sha256TextSize];
    ASSERT_EQ(DigestFile(LogFilePath, digest), 1);
    EXPECT_EQ(ReadTextValue(HKEY_LOCAL_MACHINE, UninstallEntry, "LogDigest"), digest);
    EXPECT_EQ(LogMatchesRegistration(LogFilePath), 1);
    EXPECT_EQ(LogMatchesRegistration((temp.path + "\\other.log").c_str()), 1) << "no entry registers it";
}

TEST_F(InstallationRun, AChangedLogIsNeitherGrownNorPlayedBack)
{
    // Someone who may write the installation folder adds an entry naming a
    // file of theirs choosing to the registered log.
    const std::string victim = temp.path + "\\victim.txt";
    ASSERT_TRUE(fntest::WriteFileBytes(victim, "precious"));
    {
        SetupScriptRun run(InstallScript(FullSettings, "copy(\"readme.txt\", \"%APPDIR%\\\\readme.txt\");\r\nreturn 1;"));
        ReadNoUninstall();
        EXPECT_EQ(RunInstallation(), 1);
    }
    InstallLog changed = {};
    LoadInstallLog(&changed, LogFilePath);
    LogAddFile(&changed, victim.c_str());
    SaveInstallLog(&changed, LogFilePath);
    EXPECT_EQ(LogMatchesRegistration(LogFilePath), 0);

    // An update that fails is undone: the changed log is not loaded, so the
    // undo plays only what this run recorded.
    SetupScriptRun run(InstallScript(FullSettings, "copy(\"Data\\\\info.txt\", \"%APPDIR%\\\\info.txt\");\r\nreturn 0;"));
    EXPECT_EQ(RunInstallation(), 0);
    EXPECT_EQ(ReadFileBytes(victim), "precious");
    EXPECT_FALSE(IsFile(AppDir() + "\\info.txt"));
}

TEST_F(InstallationRun, ALogThatCannotBeWrittenIsUndoneFromMemory)
{
    // The log's folder does not exist: the log cannot be written, and the
    // undo must still remove what this run installed.
    const std::string settings = Settings + "// LogPath=" + temp.path + "\\NoSuchFolder\r\n";
    SetupScriptRun run(InstallScript(settings, FullInstall + "return 0;"));
    EXPECT_EQ(RunInstallation(), 0);
    EXPECT_EQ(FolderNames(temp.path), (std::vector<std::string>{"setup1.exe"}));
    EXPECT_EQ(ReadNumberValue(HKEY_LOCAL_MACHINE, SharedFilesKey, "shared.dll"), -1);
}

}  // namespace
