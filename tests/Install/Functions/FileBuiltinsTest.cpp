// File installation: copy, copyshared and makedir, and the operations behind
// them (the version rule, the temporary file, the shared count).
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "EntryStream.h"
#include "FileInstall.h"
#include "InstallTestSupport.h"
#include "Installation.h"
#include "Playback.h"

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

// ---------------------------------------------------------------------------
// copyfolder

// Every file and folder below `root`: relative path -> the file's bytes,
// or "<folder>".
std::map<std::string, std::string> TreeBelow(const std::string& root, const std::string& prefix = "")
{
    std::map<std::string, std::string> tree;
    for (const std::string& name : FolderNames(root)) {
        const std::string path = root + "\\" + name;
        if (IsFolder(path)) {
            tree[prefix + name] = "<folder>";
            for (const auto& below : TreeBelow(path, prefix + name + "\\"))
                tree.insert(below);
        } else {
            tree[prefix + name] = ReadFileBytes(path);
        }
    }
    return tree;
}

// A product folder for copyfolder: enough small files that the helper
// threads take many of them at once, nested folders, an empty folder, a
// program with a version and an entry larger than a chunk (streamed).
struct ProductFolder {
    std::vector<PackItem> items;
    std::map<std::string, std::string> expected;   // below the destination, as TreeBelow gives it
};

ProductFolder MakeProductFolder()
{
    using testimage::File;
    using testimage::Folder;
    ProductFolder product;
    product.items = {testimage::Root(), File("Install.ini", 0, "install() { return 1; }\r\n"),
                     Folder("Product", 0)};
    auto add = [&](const std::string& relative, int32_t parent, const std::string& name, const std::string& bytes) {
        product.items.push_back(File(name, parent, bytes));
        product.expected[relative + name] = bytes;
    };
    const int32_t top = 2;
    add("", top, "app.exe", AppImage());
    product.items.push_back(Folder("Sub", top));
    const int32_t sub = static_cast<int32_t>(product.items.size() - 1);
    product.expected["Sub"] = "<folder>";
    product.items.push_back(Folder("Deeper", sub));
    const int32_t deeper = static_cast<int32_t>(product.items.size() - 1);
    product.expected["Sub\\Deeper"] = "<folder>";
    product.items.push_back(Folder("Empty", top));
    product.expected["Empty"] = "<folder>";
    for (int i = 0; i < 150; ++i) {
        std::string bytes = "file " + std::to_string(i) + "\r\n";
        for (int k = 0; k < i * 37; ++k)
            bytes += static_cast<char>('a' + (k * 7 + i) % 26);
        const int32_t parent = i % 3 == 0 ? top : i % 3 == 1 ? sub : deeper;
        add(i % 3 == 0 ? "" : i % 3 == 1 ? "Sub\\" : "Sub\\Deeper\\", parent, "f" + std::to_string(i) + ".txt", bytes);
    }
    std::string big(2 * EntryStreamChunkBytes + 999, '\0');
    for (size_t k = 0; k < big.size(); ++k)
        big[k] = static_cast<char>((k * 2654435761u) >> 27);
    add("Sub\\", sub, "big.bin", big);
    add("", top, "last.txt", "the last entry");
    return product;
}

// The whole tree arrives byte for byte, the destination and its missing
// parents are made, and the log holds every folder (deepest first, so that
// each is empty when the removal comes to it) and every file; the playback
// then takes all of it away again.
TEST_F(InstallFiles, CopyfolderInstallsTheWholeTreeAndLogsIt)
{
    ProductFolder product = MakeProductFolder();
    ASSERT_NO_FATAL_FAILURE(OpenTestPackage(product.items));
    CreateDirectoryTree(InstallDir);
    SetupScriptRun run(InstallScript(Settings, "var r;\r\n"
                                               "r = copyfolder(\"product\", \"%APPDIR%\\\\Out\\\\Here\");\r\n"
                                               "return r * 10 + iscopyerror();"));
    EXPECT_EQ(run.Call("install"), 0);
    const std::string out = AppDir() + "\\Out\\Here";
    EXPECT_TRUE(TreeBelow(out) == product.expected) << "the installed tree differs";

    std::vector<std::string> log = Describe(&TheInstallLog);
    std::vector<std::string> expected = {"Directory|" + out + "\\Empty|-|-", "Directory|" + out + "\\Sub\\Deeper|-|-",
                                         "Directory|" + out + "\\Sub|-|-", "Directory|" + out + "|-|-"};
    for (size_t i = 3; i < product.items.size(); ++i) {
        const PackItem& item = product.items[i];
        if (item.directory)
            continue;
        std::string relative = item.name;
        for (int32_t parent = item.parent; parent != 2; parent = product.items[static_cast<size_t>(parent)].parent)
            relative = product.items[static_cast<size_t>(parent)].name + "\\" + relative;
        expected.push_back("File|" + out + "\\" + relative + "|-|-");
    }
    EXPECT_EQ(log, expected);

    PlaybackOptions options = {};
    options.company = Company;
    options.product = "Tool";
    const std::string installDir = AppDir();
    options.installDir = installDir.c_str();
    PlayBackInstallLog(&TheInstallLog, options);
    EXPECT_FALSE(IsFolder(installDir)) << "the playback leaves nothing of it";
}

// Over files that are there, copyfolder keeps copy's rules: a program of the
// same or a newer version stays, an entry without a version replaces.
TEST_F(InstallFiles, CopyfolderKeepsTheVersionRuleOverFilesThatAreThere)
{
    ProductFolder product = MakeProductFolder();
    ASSERT_NO_FATAL_FAILURE(OpenTestPackage(product.items));
    const std::string out = AppDir() + "\\Out";
    CreateDirectoryTree(&(out + "\\Sub")[0]);
    const std::string newer = AsString(VersionedImage(1, 3, 0, 0));
    ASSERT_TRUE(fntest::WriteFileBytes(out + "\\app.exe", newer));
    ASSERT_TRUE(fntest::WriteFileBytes(out + "\\Sub\\f1.txt", "an older text"));
    ASSERT_TRUE(fntest::WriteFileBytes(out + "\\Sub\\big.bin", "an older big file"));
    SetupScriptRun run(InstallScript(Settings, "return copyfolder(\"Product\", \"%APPDIR%\\\\Out\") * 10 + iscopyerror();"));
    EXPECT_EQ(run.Call("install"), 0);
    product.expected["app.exe"] = newer;
    EXPECT_TRUE(TreeBelow(out) == product.expected) << "the installed tree differs";
}

// What copyfolder refuses writes nothing at all and sets the copy error; once
// set, copyfolder does nothing.
TEST_F(InstallFiles, CopyfolderRefusesWhatItCannotInstallWhole)
{
    using testimage::File;
    using testimage::Folder;
    struct Case {
        const char* what;
        std::vector<PackItem> items;   // empty: the standard package
        std::string call;
    };
    const Case cases[] = {
        {"no such folder", {}, "copyfolder(\"Nothing\", \"%APPDIR%\\\\Out\")"},
        {"a file, not a folder", {}, "copyfolder(\"readme.txt\", \"%APPDIR%\\\\Out\")"},
        {"the package's root", {}, "copyfolder(\"\", \"%APPDIR%\\\\Out\")"},
        {"no entry", {}, "copyfolder(null, \"%APPDIR%\\\\Out\")"},
        {"no destination", {}, "copyfolder(\"Data\", null)"},
        {"a name that leaves the folder",
         {testimage::Root(), Folder("P", 0), File("ok.txt", 1, "ok"), File("..", 1, "escape")},
         "copyfolder(\"P\", \"%APPDIR%\\\\Out\")"},
        {"a device name",
         {testimage::Root(), Folder("P", 0), File("ok.txt", 1, "ok"), Folder("S", 1), File("con.txt", 3, "x")},
         "copyfolder(\"P\", \"%APPDIR%\\\\Out\")"},
        {"a name with a stream",
         {testimage::Root(), Folder("P", 0), File("ok.txt", 1, "ok"), File("a:b", 1, "x")},
         "copyfolder(\"P\", \"%APPDIR%\\\\Out\")"},
        {"a path too long for Windows",
         {testimage::Root(), Folder("P", 0), File("ok.txt", 1, "ok"), File(std::string(240, 'n'), 1, "x")},
         "copyfolder(\"P\", \"%APPDIR%\\\\Out\")"},
    };
    for (const Case& c : cases) {
        if (c.items.empty()) {
            ASSERT_NO_FATAL_FAILURE(OpenTestPackage(StandardItems()));
        } else {
            ASSERT_NO_FATAL_FAILURE(OpenTestPackage(c.items));
        }
        CopyError = 0;
        ReleaseInstallLog(&TheInstallLog);
        fntest::RemoveTree(AppDir());
        CreateDirectoryTree(InstallDir);
        SetupScriptRun run(InstallScript(Settings, "var r;\r\nr = " + c.call + ";\r\nreturn r * 10 + iscopyerror();"));
        EXPECT_EQ(run.Call("install"), 11) << c.what;
        EXPECT_TRUE(FolderNames(AppDir()).empty()) << c.what;
        EXPECT_EQ(Describe(&TheInstallLog), std::vector<std::string>{}) << c.what;
    }

    // The copy error of an earlier copy: nothing is even looked at.
    ASSERT_NO_FATAL_FAILURE(OpenTestPackage(StandardItems()));
    ReleaseInstallLog(&TheInstallLog);
    CopyError = 0;
    SetupScriptRun run(InstallScript(Settings, "copy(\"missing.txt\", \"%APPDIR%\\\\m.txt\");\r\n"
                                               "return copyfolder(\"Data\", \"%APPDIR%\\\\Out\");"));
    EXPECT_EQ(run.Call("install"), 1);
    EXPECT_FALSE(IsFolder(AppDir() + "\\Out"));
}

// A damaged entry in the middle of the folder: copyfolder fails, the damaged
// file is nowhere, no temporary file is left, and the log holds exactly the
// files that were written.  The installation that reports the failure is
// rolled back whole, and a file that was there before comes back.
TEST_F(InstallFiles, CopyfolderWithADamagedEntryFailsAndIsRolledBack)
{
    ProductFolder product = MakeProductFolder();
    std::vector<uint8_t> damaged = testimage::MakePackage(product.items);
    ASSERT_TRUE(testimage::RewriteDirectory(damaged, testimage::MakeStub().size(), [](std::vector<PackageEntry>& entries) {
        for (PackageEntry& e : entries)
            if (strcmp(e.name, "f70.txt") == 0)
                e.checksum ^= 1;
    }));
    ASSERT_NO_FATAL_FAILURE(OpenTestPackageBytes(damaged));
    CreateDirectoryTree(InstallDir);
    const std::string out = AppDir() + "\\Out";
    {
        SetupScriptRun run(InstallScript(Settings, "return copyfolder(\"Product\", \"%APPDIR%\\\\Out\") * 10 + iscopyerror();"));
        EXPECT_EQ(run.Call("install"), 11);
        EXPECT_FALSE(IsFile(out + "\\Sub\\f70.txt"));
        std::map<std::string, std::string> installed = TreeBelow(out);
        for (const auto& entry : installed)
            if (entry.second != "<folder>") {
                EXPECT_EQ(product.expected.count(entry.first), 1u) << entry.first << ": no such entry";
                EXPECT_TRUE(product.expected[entry.first] == entry.second) << entry.first;
            }
        size_t logged = 0;
        for (const std::string& line : Describe(&TheInstallLog))
            if (line.rfind("File|", 0) == 0) {
                ++logged;
                const std::string path = line.substr(5, line.size() - 5 - 4);
                EXPECT_TRUE(IsFile(path)) << path << " is logged and not there";
            }
        size_t files = 0;
        for (const auto& entry : installed)
            files += entry.second != "<folder>";
        EXPECT_EQ(logged, files) << "every file written is logged";
    }

    // The whole installation, with the journal: a file of the user's that the
    // folder replaces comes back, and nothing else remains.
    ReleaseInstallLog(&TheInstallLog);
    CopyError = 0;
    fntest::RemoveTree(AppDir());
    CreateDirectoryTree(&(out + "\\Sub")[0]);
    ASSERT_TRUE(fntest::WriteFileBytes(out + "\\Sub\\f1.txt", "the user's own text"));
    SetupScriptRun run(InstallScript(Settings, "copyfolder(\"Product\", \"%APPDIR%\\\\Out\");\r\n"
                                               "return !iscopyerror();"));
    EXPECT_EQ(RunInstallation(), 0);
    EXPECT_TRUE(TreeBelow(AppDir()) == (std::map<std::string, std::string>{
                                           {"Out", "<folder>"}, {"Out\\Sub", "<folder>"},
                                           {"Out\\Sub\\f1.txt", "the user's own text"}}))
        << "the rollback leaves what was there, and only that";
}

}  // namespace
