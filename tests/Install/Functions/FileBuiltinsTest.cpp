// File installation: copy, copyshared and makedir, and the operations behind
// them (the version rule, the temporary file, the shared count).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "EntryStream.h"
#include "FileInstall.h"
#include "InstallTestSupport.h"

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

// An entry larger than a chunk of the entry stream is streamed: written new,
// written over an older file, and, when its content does not check out,
// neither written nor left half-written under any name.
TEST_F(InstallFiles, AnEntryLargerThanAChunkIsStreamedWholeOrNotAtAll)
{
    std::string big(3 * EntryStreamChunkBytes + 12345, '\0');
    uint32_t seed = 7;
    for (char& c : big) {
        seed = seed * 1103515245u + 12345u;
        c = static_cast<char>((seed >> 24) & 0x3F);   // compressible, but not to nothing
    }
    std::vector<PackItem> items = StandardItems();
    items.push_back(testimage::File("big.bin", 0, big));
    const std::string path = temp.path + "\\big.bin";

    OpenTestPackage(items);
    EXPECT_EQ(ExtractEntryToFile("big.bin", path.c_str()), 1);
    EXPECT_EQ(ReadFileBytes(path), big);
    ASSERT_TRUE(fntest::WriteFileBytes(path, "an older text"));
    EXPECT_EQ(ExtractEntryToFile("big.bin", path.c_str()), 1);
    EXPECT_EQ(ReadFileBytes(path), big);

    // The same package with the entry's checksum wrong: the stream reads to
    // its end before it finds out.
    std::vector<uint8_t> damaged = testimage::MakePackage(items);
    ASSERT_TRUE(testimage::RewriteDirectory(damaged, testimage::MakeStub().size(), [](std::vector<PackageEntry>& entries) {
        for (PackageEntry& e : entries)
            if (strcmp(e.name, "big.bin") == 0)
                e.checksum ^= 1;
    }));
    ASSERT_NO_FATAL_FAILURE(OpenTestPackageBytes(damaged));
    ASSERT_TRUE(fntest::WriteFileBytes(path, "the file that was there"));
    EXPECT_EQ(ExtractEntryToFile("big.bin", path.c_str()), 0);
    EXPECT_EQ(ReadFileBytes(path), "the file that was there");
    DeleteFileA(path.c_str());
    EXPECT_EQ(ExtractEntryToFile("big.bin", path.c_str()), 0);
    EXPECT_FALSE(IsFile(path));
    // The packages the test opened, and nothing else: no temporary file.
    EXPECT_EQ(FolderNames(temp.path), (std::vector<std::string>{"setup1.exe", "setup2.exe", "setup3.exe"}));
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

}  // namespace
