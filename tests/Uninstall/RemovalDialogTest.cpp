// The uninstaller's dialog from its own resources: what it shows at start,
// and what Remove does with the progress bar, the check box and the log.
#include <windows.h>
#include <commctrl.h>

#include <string>

#include "FunctionsTestSupport.h"
#include "InstallLog.h"
#include "ProductTestSupport.h"
#include "RemovalDialog.h"
#include "SetupState.h"
#include "UninstallResource.h"

using fntest::IsFile;
using fntest::IsFolder;
using fntest::KeyExists;
using installtest::Company;
using installtest::CompanyKey;
using installtest::MakeFile;
using installtest::ProductKey;
using installtest::SharedFilesKey;
using installtest::UninstallEntry;

namespace {

constexpr char PrefsKey[] = "Software\\Vellmark Unit Tests\\Tool";
constexpr char UserKey[] = "Software\\Vellmark Unit Tests\\Cache";

class RemovalDialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetSetupState();
        InstanceHandle = GetModuleHandleA(nullptr);
        InitCommonControls();
        ReleaseInstallLog(&TheInstallLog);
        ClearKeys();
        DeleteSettings = 1;
        RebootNeeded = 0;
        // The removal takes the installation folder's empty parents along:
        // a file of its own keeps the temporary folder (and the system's
        // above it) where they are.
        fntest::WriteFileBytes(temp.path + "\\keep.txt", "keep");
        installDir = temp.path + "\\Apps\\Tool";
        product = {Company, "Tool", installDir.c_str()};
    }
    void TearDown() override
    {
        if (dialog)
            DestroyWindow(dialog);
        RemovedProduct = {};
        ReleaseInstallLog(&TheInstallLog);
        ClearKeys();
        ResetSetupState();
    }
    static void ClearKeys()
    {
        fntest::DeleteKeyTree(HKEY_LOCAL_MACHINE, CompanyKey);
        fntest::DeleteKeyTree(HKEY_LOCAL_MACHINE, UninstallEntry);
        fntest::DeleteKeyTree(HKEY_CURRENT_USER, CompanyKey);
    }

    // Creates the dialog as the uninstaller does, with RemovedProduct set;
    // false when this run cannot create windows.
    bool Open()
    {
        RemovedProduct = product;
        dialog = CreateDialogParamA(InstanceHandle, MAKEINTRESOURCEA(IDD_UNINSTALL), nullptr, TableDialogProc,
                                    reinterpret_cast<LPARAM>(RemovalMessageTable));
        return dialog != nullptr;
    }

    void Command(int id)
    {
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
    }

    std::string Text(int id)
    {
        char text[1024] = "";
        GetDlgItemTextA(dialog, id, text, sizeof text);
        return text;
    }

    // Whether the control is meant to be seen (the dialog itself stays hidden
    // in a test, so IsWindowVisible would always say no).
    bool Shown(int id)
    {
        return (GetWindowLongPtrA(GetDlgItem(dialog, id), GWL_STYLE) & WS_VISIBLE) != 0;
    }

    fntest::TempFolder temp;
    std::string installDir;
    UninstallProduct product = {};
    HWND dialog = nullptr;
};

#define OPEN_OR_SKIP()                                                   \
    do {                                                                 \
        if (!Open()) {                                                   \
            if (fntest::WindowsUnavailableHere())                        \
                GTEST_SKIP() << "no windows can be created in this run"; \
            FAIL() << "the dialog could not be created";                 \
        }                                                                \
    } while (0)

TEST_F(RemovalDialogTest, AtStartItAsksWithTheProductsNameAndTheBoxTicked)
{
    OPEN_OR_SKIP();
    char caption[64] = "";
    GetWindowTextA(dialog, caption, sizeof caption);
    EXPECT_STREQ(caption, "Uninstall v1.0");
    EXPECT_EQ(Text(IDC_QUESTION), "\nAre you sure you want to completely remove\nTool and all it's components?");
    EXPECT_EQ(Text(IDC_REMOVE), "Remove");
    EXPECT_EQ(Text(IDC_EXIT), "Exit");
    EXPECT_EQ(Text(IDC_DELETE_SETTINGS), "Delete program settings");
    EXPECT_EQ(Text(IDC_REMOVING), "Removing... Please Wait...");
    EXPECT_EQ(Text(IDC_FRAME), "Uninstall");
    EXPECT_EQ(IsDlgButtonChecked(dialog, IDC_DELETE_SETTINGS), static_cast<UINT>(BST_CHECKED));
    EXPECT_TRUE(Shown(IDC_DELETE_SETTINGS));
    EXPECT_FALSE(Shown(IDC_REMOVING));
    EXPECT_FALSE(Shown(IDC_REMOVAL_PROGRESS));
    EXPECT_EQ(DeleteSettings, 1);

    // The setting follows the box: the same state twice running keeps it,
    // which a handler that merely turned the setting over would not.
    for (int expected : {0, 0, 1, 1, 0}) {
        CheckDlgButton(dialog, IDC_DELETE_SETTINGS, expected ? BST_CHECKED : BST_UNCHECKED);
        Command(IDC_DELETE_SETTINGS);
        EXPECT_EQ(DeleteSettings, expected);
    }
}

TEST_F(RemovalDialogTest, WithoutAProductNameTheQuestionNamesTheCompany)
{
    product.product = nullptr;
    OPEN_OR_SKIP();
    EXPECT_EQ(Text(IDC_QUESTION),
              "\nAre you sure you want to completely remove\nVellmark Unit Tests and all it's components?");
}

// A log of 10 entries: the bar runs from 0 to 13.  The removal takes a step
// per entry, per Directory entry and two more, 14 here: the bar stays full
// rather than starting over.  Everything the log records is gone, the
// preference key with it.
TEST_F(RemovalDialogTest, RemovingTenEntriesStepsABarOf13)
{
    fntest::SetPathBuffer(LogFilePath, installDir + "\\Tool.log");
    const std::string files[] = {MakeFile(installDir + "\\a.exe"), MakeFile(installDir + "\\b.txt"),
                                 MakeFile(installDir + "\\Data\\c.dat"), MakeFile(installDir + "\\Data\\d.dat"),
                                 MakeFile(temp.path + "\\Shared\\e.dll")};
    MakeFile(LogFilePath);
    CreateDirectoryA((installDir + "\\Empty").c_str(), nullptr);
    fntest::SetNumberValue(HKEY_LOCAL_MACHINE, SharedFilesKey, "e.dll", 1);
    fntest::SetTextValue(HKEY_LOCAL_MACHINE, ProductKey, "Version", "1.0");
    fntest::SetTextValue(HKEY_LOCAL_MACHINE, UninstallEntry, "DisplayName", "Tool");
    fntest::SetTextValue(HKEY_CURRENT_USER, std::string(PrefsKey) + "\\Window", "x", "1");
    fntest::SetTextValue(HKEY_CURRENT_USER, UserKey, "y", "2");

    LogAddProduct(&TheInstallLog, Company, "Tool", installDir.c_str());
    LogAddDirectory(&TheInstallLog, (installDir + "\\Data").c_str());
    LogAddDirectory(&TheInstallLog, (installDir + "\\Empty").c_str());
    for (int i = 0; i < 4; ++i)
        LogAddFile(&TheInstallLog, files[i].c_str());
    LogAddSharedFile(&TheInstallLog, files[4].c_str(), "e.dll");
    LogAddPrefsKey(&TheInstallLog, PrefsKey);
    LogAddEntry(&TheInstallLog, LogKindUserKey, UserKey, nullptr, nullptr);
    ASSERT_EQ(TheInstallLog.count, 10u);

    OPEN_OR_SKIP();
    Command(IDC_REMOVE);

    HWND bar = GetDlgItem(dialog, IDC_REMOVAL_PROGRESS);
    PBRANGE range = {-1, -1};
    SendMessageA(bar, PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
    EXPECT_EQ(range.iLow, 0);
    EXPECT_EQ(range.iHigh, 13);
    EXPECT_EQ(SendMessageA(bar, PBM_GETPOS, 0, 0), 13);
    EXPECT_FALSE(Shown(IDC_DELETE_SETTINGS));
    EXPECT_TRUE(Shown(IDC_REMOVING));
    EXPECT_TRUE(Shown(IDC_REMOVAL_PROGRESS));
    EXPECT_TRUE(IsWindowEnabled(dialog));
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, IDC_REMOVE)));
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, IDC_EXIT)));

    for (const std::string& file : files)
        EXPECT_FALSE(IsFile(file)) << file;
    EXPECT_FALSE(IsFile(LogFilePath));
    EXPECT_FALSE(IsFolder(temp.path + "\\Apps")) << "the folder and its empty parents";
    EXPECT_TRUE(IsFile(temp.path + "\\keep.txt"));
    EXPECT_TRUE(IsFolder(temp.path + "\\Shared")) << "no Directory entry records it";
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, ProductKey));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, SharedFilesKey));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, UninstallEntry));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, PrefsKey));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, UserKey));
    EXPECT_EQ(RebootNeeded, 0);
}

TEST_F(RemovalDialogTest, UntickedThePreferenceKeyStaysAndUserKeysGoAnyway)
{
    fntest::SetTextValue(HKEY_CURRENT_USER, std::string(PrefsKey) + "\\Window", "x", "1");
    fntest::SetTextValue(HKEY_CURRENT_USER, UserKey, "y", "2");
    LogAddProduct(&TheInstallLog, Company, "Tool", installDir.c_str());
    LogAddPrefsKey(&TheInstallLog, PrefsKey);
    LogAddEntry(&TheInstallLog, LogKindUserKey, UserKey, nullptr, nullptr);

    OPEN_OR_SKIP();
    CheckDlgButton(dialog, IDC_DELETE_SETTINGS, BST_UNCHECKED);
    Command(IDC_DELETE_SETTINGS);
    Command(IDC_REMOVE);
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, std::string(PrefsKey) + "\\Window"));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, UserKey));
}

// Without a company the product names the shared-files key, as the setup
// named it; the driver whose count reaches zero asks for a restart.
TEST_F(RemovalDialogTest, ARemovedDriverAsksForARestart)
{
    const std::string driver = MakeFile(temp.path + "\\Drivers\\vmunit.sys");
    const std::string services = "System\\CurrentControlSet\\Services\\VmUnitDrv";
    fntest::SetNumberValue(HKEY_LOCAL_MACHINE, "Software\\Tool\\Shared Files", "VmUnitDrv", 2);
    LogAddProduct(&TheInstallLog, "", "Tool", installDir.c_str());
    LogAddDriver(&TheInstallLog, driver.c_str(), "VmUnitDrv");
    product.company = nullptr;

    OPEN_OR_SKIP();
    Command(IDC_REMOVE);
    EXPECT_EQ(RebootNeeded, 0) << "another installation still holds it";
    EXPECT_EQ(fntest::ReadNumberValue(HKEY_LOCAL_MACHINE, "Software\\Tool\\Shared Files", "VmUnitDrv"), 1);
    EXPECT_TRUE(IsFile(driver));

    fntest::SetTextValue(HKEY_LOCAL_MACHINE, services + "\\Enum", "0", "x");
    Command(IDC_REMOVE);
    EXPECT_EQ(RebootNeeded, 1);
    EXPECT_FALSE(IsFile(driver));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, services));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\Tool"));
}

}  // namespace
