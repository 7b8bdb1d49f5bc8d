// Version checks against files on disk, package entries and the installed product.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "FunctionsTestSupport.h"
#include "Package.h"
#include "TestImage.h"
#include "VersionImages.h"
#include "Versions.h"

using fntest::SetupScriptRun;
using fntest::TempFolder;
using versionimages::AsString;
using versionimages::VersionedImage;

namespace {

bool WriteFile(const std::string& path, const std::string& content)
{
    return testimage::WriteBytes(path, std::vector<uint8_t>(content.begin(), content.end()));
}

// ---------------------------------------------------------------------------
// ReadFileVersion

TEST(ReadFileVersion, Cases)
{
    TempFolder temp;
    struct Case {
        const char* name;
        std::string content;   // "-" for no file at all
        int64_t expected;
    };
    const Case cases[] = {
        {"v1234.dll", AsString(VersionedImage(1, 2, 3, 4)), MakeVersion(1, 2, 3, 4)},
        {"v1100.dll", AsString(VersionedImage(1, 10, 0, 0)), MakeVersion(1, 10, 0, 0)},
        {"high.dll", AsString(VersionedImage(40000, 1, 0, 0)), MakeVersion(40000, 1, 0, 0)},
        {"noversion.exe", AsString(testimage::MakeStub()), -1},
        {"readme.txt", "Read me first.\r\n", -1},
        {"empty.dat", "", -1},
        {"short.dat", "MZ", -1},
        {"missing.dll", "-", -1},
    };
    for (const Case& c : cases) {
        std::string path = temp.path + "\\" + c.name;
        if (c.content != "-") {
            ASSERT_TRUE(WriteFile(path, c.content)) << c.name;
        }
        EXPECT_EQ(ReadFileVersion(path.c_str()), c.expected) << c.name;
        // Nothing stays open: the file can be deleted right away.
        if (c.content != "-") {
            EXPECT_TRUE(DeleteFileA(path.c_str())) << c.name << " is still open";
        }
    }
    EXPECT_EQ(ReadFileVersion(nullptr), -1);
    EXPECT_EQ(ReadFileVersion(temp.path.c_str()), -1) << "a folder";
}

// ---------------------------------------------------------------------------
// The package: entries of known versions, opened into SetupPackage.

class PackageFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetSetupState();
        using testimage::File;
        using testimage::Folder;
        std::vector<uint8_t> package = testimage::MakePackage({
            testimage::Root(),
            File("lib.dll", 0, AsString(VersionedImage(1, 2, 0, 0))),
            File("readme.txt", 0, "just text"),
            Folder("Bin", 0),
            File("high.dll", 3, AsString(VersionedImage(32768, 0, 0, 1))),
            File("empty.dat", 0, ""),
        });
        ASSERT_FALSE(package.empty());
        packagePath = temp.path + "\\setup.exe";
        ASSERT_TRUE(testimage::WriteBytes(packagePath, package));
        ASSERT_EQ(OpenPackage(packagePath.c_str(), &SetupPackage), PackageOpened);
    }
    void TearDown() override
    {
        ClosePackage(SetupPackage);
        ResetSetupState();
    }

    // Puts `content` at `name` in the temporary folder ("-": no file there).
    std::string Disk(const std::string& name, const std::string& content)
    {
        std::string path = temp.path + "\\" + name;
        DeleteFileA(path.c_str());
        if (content != "-") {
            EXPECT_TRUE(WriteFile(path, content));
        }
        return path;
    }

    TempFolder temp;
    std::string packagePath;
};

struct EntryCase {
    const char* entry;
    std::string disk;   // the file's content; "-" for no file
    int expected;
};

const std::string V1200 = AsString(VersionedImage(1, 2, 0, 0));
const std::string V1100 = AsString(VersionedImage(1, 1, 0, 0));
const std::string V1_10 = AsString(VersionedImage(1, 10, 0, 0));

const EntryCase EntryCases[] = {
    {"lib.dll", "-", 1},                 // not on the disk
    {"lib.dll", V1200, 0},               // same version
    {"LIB.DLL", V1200, 0},               // entry names ignore case
    {"lib.dll", V1100, 1},               // the entry is newer
    {"lib.dll", V1_10, -1},              // 1.10 on the disk is newer than 1.2
    {"lib.dll", "plain text", 1},        // the disk file has no version
    {"readme.txt", V1200, 1},            // the entry has no version
    {"readme.txt", "-", 1},
    {"empty.dat", V1200, 1},
    {"Bin\\high.dll", V1_10, -1},        // 32768.x is negative: below every ordinary version
    {"Bin\\high.dll", "-", -1},          // ...and below "no version" too
    {"missing.dll", V1200, -2},
    {"Bin\\missing.dll", "-", -2},
    {"Bin", "-", -2},                    // a folder is no file entry
};

TEST_F(PackageFixture, CompareEntryVersion)
{
    for (const EntryCase& c : EntryCases) {
        std::string path = Disk("installed.dll", c.disk);
        EXPECT_EQ(CompareEntryVersion(c.entry, path.c_str()), c.expected) << c.entry << " vs " << c.disk.size()
                                                                          << " bytes";
    }
    EXPECT_EQ(CompareEntryVersion(nullptr, "x"), -2);
    EXPECT_EQ(CompareEntryVersion("lib.dll", nullptr), -2);
    PackageHandle* open = SetupPackage;
    SetupPackage = nullptr;
    EXPECT_EQ(CompareEntryVersion("lib.dll", "x"), -2) << "no package open";
    SetupPackage = open;
}

// The built-in: the same comparisons, with the path's macros expanded.
TEST_F(PackageFixture, VersionBuiltin)
{
    fntest::SetPathBuffer(InstallDir, temp.path);
    for (const EntryCase& c : EntryCases) {
        Disk("installed.dll", c.disk);
        std::string entry;
        for (const char* p = c.entry; *p; ++p)
            entry += *p == '\\' ? std::string("\\\\") : std::string(1, *p);
        SetupScriptRun run(fntest::ScriptReturning("version(\"" + entry + "\", \"%APPDIR%\\\\installed.dll\")"));
        ASSERT_TRUE(run.accepted);
        EXPECT_EQ(run.Call("f"), c.expected) << c.entry;
        EXPECT_TRUE(run.record.reports.empty());
    }
}

// Arguments that are no text are never acted on: the result is -2.
TEST_F(PackageFixture, VersionBuiltinWithoutTexts)
{
    fntest::SetPathBuffer(InstallDir, temp.path);
    Disk("installed.dll", V1200);
    struct Case {
        const char* arguments;
        int expected;
    };
    const Case cases[] = {
        {R"("lib.dll", "%APPDIR%\\installed.dll")", 0},
        {R"(null, "%APPDIR%\\installed.dll")", -2},
        {R"("lib.dll", null)", -2},
        {R"(5, "%APPDIR%\\installed.dll")", -2},
        {R"("lib.dll", 1234)", -2},
        {R"(null, null)", -2},
    };
    for (const Case& c : cases) {
        SetupScriptRun run(fntest::ScriptReturning(std::string("version(") + c.arguments + ")"));
        ASSERT_TRUE(run.accepted) << c.arguments;
        EXPECT_EQ(run.Call("f"), c.expected) << c.arguments;
    }
}

// A path whose expansion would not fit the script's 512-byte text is refused.
TEST_F(PackageFixture, VersionBuiltinOverlongPath)
{
    fntest::SetPathBuffer(InstallDir, (temp.path + "\\" + std::string(480 - temp.path.size(), 'd')));
    ASSERT_EQ(strlen(InstallDir), 481u);
    struct Case {
        size_t tail;   // characters after "%APPDIR%\\"
        int expected;
    };
    // 481 + 1 + 29 = 511 characters fit; one more does not.
    const Case cases[] = {{29, 1}, {30, -2}, {200, -2}};
    for (const Case& c : cases) {
        std::string script = fntest::ScriptReturning("version(\"lib.dll\", \"%APPDIR%\\\\" + std::string(c.tail, 'n') + "\")");
        SetupScriptRun run(script);
        ASSERT_TRUE(run.accepted);
        EXPECT_EQ(run.Call("f"), c.expected) << c.tail;
    }
}

// ---------------------------------------------------------------------------
// CompareInstalledVersion

struct RegistryCleanup {
    ~RegistryCleanup()
    {
        for (const char* key : {"Software\\Acme\\Tool", "Software\\Acme", "Software\\Tool"})
            RegDeleteKeyA(HKEY_LOCAL_MACHINE, key);
    }
};

void Register(const char* keyPath, const char* version, DWORD length)
{
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
              ERROR_SUCCESS)
        << keyPath;
    if (version) {
        EXPECT_EQ(RegSetValueExA(key, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version), length),
                  ERROR_SUCCESS);
    }
    RegCloseKey(key);
}

TEST(CompareInstalledVersion, Cases)
{
    const std::string longVersion(300, '1');
    struct Case {
        const char* settings;
        const char* keyPath;      // null: nothing registered
        const char* registered;   // null: the key without a Version value
        int expected;
        bool withoutTerminator;
    };
    const Case cases[] = {
        {"// Company=Acme\r\n// Product=Tool\r\n// Version=1.5.0\r\n", "Software\\Acme\\Tool", "1.5", 0, false},
        {"// Company=Acme\r\n// Product=Tool\r\n// Version=1.6\r\n", "Software\\Acme\\Tool", "1.5", 1, false},
        {"// Company=Acme\r\n// Product=Tool\r\n// Version=1.4.9\r\n", "Software\\Acme\\Tool", "1.5", -1, false},
        {"// Company=Acme\r\n// Product=Tool\r\n// Version=1.10\r\n", "Software\\Acme\\Tool", "1.9", 1, false},
        {"// Company=Acme\r\n// Product=Tool\r\n", "Software\\Acme\\Tool", "1.5", 0, false},   // no Version setting
        {"// Company=Acme\r\n// Product=Tool\r\n// Version=1.5\r\n", nullptr, nullptr, 1, false},   // not installed
        {"// Company=Acme\r\n// Product=Tool\r\n// Version=1.5\r\n", "Software\\Acme\\Tool", nullptr, 1, false},
        {"// Company=Acme\r\n// Product=Tool\r\n// Version=1.5\r\n", "Software\\Acme", "1.5", 1, false},   // other key
        {"// Product=Tool\r\n// Version=2.0\r\n", "Software\\Tool", "2.0.0.0", 0, false},   // no Company
        {"// Company=Acme\r\n// Product=Tool\r\n// Version=1.5\r\n", "Software\\Acme\\Tool", "1.5", 0, true},
        {"// Company=Acme\r\n// Product=Tool\r\n// Version=1.5\r\n", "Software\\Acme\\Tool", longVersion.c_str(), 1,
         false},
    };
    for (const Case& c : cases) {
        RegistryCleanup cleanup;
        SetupScript = c.settings;
        if (c.keyPath)
            Register(c.keyPath, c.registered,
                     c.registered ? static_cast<DWORD>(strlen(c.registered) + (c.withoutTerminator ? 0 : 1)) : 0);
        EXPECT_EQ(CompareInstalledVersion(), c.expected)
            << c.settings << (c.keyPath ? c.keyPath : "(no key)") << " = " << (c.registered ? c.registered : "(none)");
    }
    SetupScript = nullptr;
}

}  // namespace
