// The fixture of the installation tests: a package of known entries opened
// as the setup's package, a temporary installation folder, the product's
// registry keys cleared before and after, and the install log read back.
#ifndef VELLMARK_TESTS_INSTALL_SUPPORT_H
#define VELLMARK_TESTS_INSTALL_SUPPORT_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FunctionsTestSupport.h"
#include "InstallLog.h"
#include "Package.h"
#include "PathMacros.h"
#include "ProductTestSupport.h"
#include "Transaction.h"
#include "SetupState.h"
#include "Settings.h"
#include "TestImage.h"
#include "VersionImages.h"

namespace installtest {

using fntest::TempFolder;
using versionimages::AsString;
using versionimages::VersionedImage;

inline const std::string& AppImage() { static const std::string image = AsString(VersionedImage(1, 2, 0, 0)); return image; }
inline const std::string& SharedImage() { static const std::string image = AsString(VersionedImage(2, 0, 0, 0)); return image; }
inline const std::string& UninstallerImage() { static const std::string image = AsString(VersionedImage(1, 0, 0, 0)); return image; }
constexpr char ReadmeText[] = "Read me first.\r\n";

// The settings of the unit tests' product, and the flag start-up reads from
// them before the wizard.
inline const std::string Settings =
    "// Company=Vellmark Unit Tests\r\n// Product=Tool\r\n// Name=Unit Tool\r\n// Version=1.2.0\r\n";

inline void ReadNoUninstall()
{
    GetSettingInt("NoUninstall", &NoUninstall);
}

// The whole product: every setting the registration writes, and a script
// that changes something of every kind.
inline const std::string FullSettings = Settings +
                                        "// NoUninstall=0\r\n// ProductURL=http://tool.example\r\n"
                                        "// ProductEmail=tool@example.com\r\n// CompanyURL=http://example.com\r\n"
                                        "// CompanyEmail=info@example.com\r\n";

inline const std::string FullInstall =
    "makedir(\"%APPDIR%\\\\Bin\");\r\n"
    "copy(\"Bin\\\\app.exe\", \"%APPDIR%\\\\Bin\\\\app.exe\");\r\n"
    "copy(\"readme.txt\", \"%APPDIR%\\\\readme.txt\");\r\n"
    "copyshared(\"shared.dll\", \"%APPDIR%\\\\shared.dll\", \"shared.dll\");\r\n"
    "prefskey(\"Software\\\\Vellmark Unit Tests\\\\Tool\");\r\n";

// One line per entry: "Kind|text1|text2|text3", absent strings as "-".
inline std::vector<std::string> Describe(const InstallLog* list)
{
    std::vector<std::string> lines;
    for (const LogEntry* e = FindLogEntry(list, nullptr, LogKindAny); e; e = FindLogEntry(list, e, LogKindAny)) {
        const char* name = LogKindName(e->kind);
        std::string line = name ? name : std::to_string(e->kind);
        for (const char* text : {e->text1, e->text2, e->text3})
            line += std::string("|") + (text ? text : "-");
        lines.push_back(line);
    }
    return lines;
}

// The log file at `path`, described; {"(none)"} when there is none.
inline std::vector<std::string> DescribeLogFile(const std::string& path)
{
    if (!fntest::IsFile(path))
        return {"(none)"};
    InstallLog list = {};
    LoadInstallLog(&list, path.c_str());
    std::vector<std::string> lines = Describe(&list);
    ReleaseInstallLog(&list);
    return lines;
}

inline std::string WindowsFile(const char* name)
{
    return fntest::WindowsFolder() + "\\" + name;
}

// The values of the RunOnce key that a run registered for its recovery.
inline std::vector<std::string> RecoveryValues()
{
    std::vector<std::string> names;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, RunOnceKeyPath, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return names;
    char name[256];
    for (DWORD i = 0;; ++i) {
        DWORD size = sizeof name;
        if (RegEnumValueA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        if (strncmp(name, "Vellmark recovery", 17) == 0)
            names.push_back(name);
    }
    RegCloseKey(key);
    return names;
}

inline std::string JournalFolder()
{
    char folder[WorkBufferSize];
    return BuildJournalFolder(folder) ? folder : "";
}

// A run that ended leaves no journal, no recovery program and no RunOnce value.
inline void ExpectNoRunTraces()
{
    EXPECT_FALSE(fntest::IsFolder(JournalFolder())) << "the journal folder is gone";
    EXPECT_EQ(RecoveryValues(), std::vector<std::string>{});
}

// Clears what the tests' product leaves in the registry and the Windows folder.
inline void ClearProductTraces()
{
    // What a run that a test stopped half-way left of its journal.
    if (HKEY key = nullptr; RegOpenKeyExA(HKEY_LOCAL_MACHINE, RunOnceKeyPath, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
        for (const std::string& name : RecoveryValues())
            RegDeleteValueA(key, name.c_str());
        RegCloseKey(key);
    }
    fntest::RemoveTree(JournalFolder());
    fntest::DeleteKeyTree(HKEY_LOCAL_MACHINE, CompanyKey);
    fntest::DeleteKeyTree(HKEY_LOCAL_MACHINE, "Software\\Tool");
    fntest::DeleteKeyTree(HKEY_LOCAL_MACHINE, "Software\\Shared Files");
    fntest::DeleteKeyTree(HKEY_LOCAL_MACHINE, UninstallEntry);
    fntest::DeleteKeyTree(HKEY_LOCAL_MACHINE, std::string(UninstallKey) + "\\" + Company);
    fntest::DeleteKeyTree(HKEY_CURRENT_USER, CompanyKey);
    DeleteFileA(WindowsFile("vuninst.exe").c_str());
    DeleteFileA(WindowsFile("Tool.log").c_str());
}

class InstallFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetSetupState();
        ReleaseInstallLog(&TheInstallLog);
        ClearProductTraces();
        OpenTestPackage(StandardItems());
        fntest::SetPathBuffer(InstallDir, temp.path + "\\Apps\\Vendor\\Tool");
        fntest::SetPathBuffer(ProgramFilesPath, temp.path + "\\PF");
    }
    void TearDown() override
    {
        ClosePackage(SetupPackage);
        ReleaseInstallLog(&TheInstallLog);
        ResetSetupState();
        ClearProductTraces();
    }

    static std::vector<PackItem> StandardItems()
    {
        using testimage::File;
        using testimage::Folder;
        return {testimage::Root(),
                File("Uninstall.exe", 0, UninstallerImage()),
                Folder("Bin", 0),
                File("app.exe", 2, AppImage()),
                File("readme.txt", 0, ReadmeText),
                File("shared.dll", 0, SharedImage()),
                Folder("Data", 0),
                File("info.txt", 6, "info")};
    }

    void OpenTestPackage(const std::vector<PackItem>& items)
    {
        std::vector<uint8_t> package = testimage::MakePackage(items);
        ASSERT_FALSE(package.empty());
        OpenTestPackageBytes(package);
    }

    // The package file `package` (a setup with its archive), written to the
    // temporary folder and opened as the setup's package in place of the last.
    void OpenTestPackageBytes(const std::vector<uint8_t>& package)
    {
        ClosePackage(SetupPackage);
        SetupPackage = nullptr;
        std::string path = temp.path + "\\setup" + std::to_string(++packages) + ".exe";
        ASSERT_TRUE(testimage::WriteBytes(path, package));
        ASSERT_EQ(OpenPackage(path.c_str(), &SetupPackage), PackageOpened);
        fntest::SetPathBuffer(SetupProgramPath, path);
    }

    std::string AppDir() const { return InstallDir; }

    TempFolder temp;
    int packages = 0;
};

}  // namespace installtest

#endif
