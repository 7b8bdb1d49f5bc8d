// The pages of the wizard: Welcome, License Agreement, Destination
// folder, Install and Finished.  Each page sets up its texts when the frame
// creates it, answers PageActivate (non-zero: skip me) and PageLeave
// (non-zero: keep me), and reacts to its own controls.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "CommandLine.h"
#include "Destination.h"
#include "Installation.h"
#include "MessageBox.h"
#include "PathMacros.h"
#include "SetupState.h"
#include "Settings.h"
#include "ShellLibrary.h"
#include "Wizard.h"
#include "resource.h"

namespace {

constexpr size_t PageTextSize = 2048;       // a formatted page text or question
constexpr WORD EditChanged = 0x0300;        // EN_CHANGE

int FolderEdited = 0;       // the destination box changed since the page was shown
int LicenseAccepted = 0;    // state of the licence check box
int InstallFailed = 0;      // the installation run reported failure

// The product's display name: the Name setting, or empty.
void ReadProductName(char (&name)[SettingValueSize])
{
    name[0] = '\0';
    GetSetting("Name", name, sizeof name);
}

template <size_t Count>
void MarkControls(HWND page, const int (&ids)[Count], LONG_PTR mark)
{
    for (int id : ids)
        SetColourMark(page, id, mark);
}

void ShowControl(HWND page, int id, bool shown)
{
    ShowWindow(GetDlgItem(page, id), shown ? SW_SHOWNORMAL : SW_HIDE);
}

// --- Welcome ----------------------------------------------------------------

INT_PTR SetUpWelcome(HWND page, WPARAM, LPARAM, INT_PTR)
{
    static const int transparent[] = {IDC_TEXT, IDC_TEXT2};
    MarkControls(page, transparent, ColourMarkTransparent);
    SetColourMark(page, IDC_PAGE_GROUP, ColourMarkTinted);

    char name[SettingValueSize];
    ReadProductName(name);
    char text[PageTextSize];
    snprintf(text, sizeof text,
             UpdateMode ? "Welcome to the %s setup program.\nThis program will update %s on your system."
                        : "Welcome to the %s setup program.\nThis program will install %s on your system.",
             name, name);
    SetDlgItemTextA(page, IDC_TEXT, text);
    SetDlgItemTextA(page, IDC_TEXT2,
                    "It is recommended that you exit all other applications before continuing this setup.\n"
                    "Switch to other applications, save your work and close each application.\n"
                    "\n"
                    "Press \"Next\" when you are ready to begin.");
    SetDlgItemTextA(page, IDC_PAGE_GROUP, " Welcome ");
    return ResultHandled;
}

// Coming back from the licence page, Next may still be disabled there.
INT_PTR ActivateWelcome(HWND, WPARAM, LPARAM, INT_PTR)
{
    EnableWindow(NextButtonWindow, TRUE);
    return 0;
}

// --- License Agreement ------------------------------------------------------

INT_PTR SetUpLicense(HWND page, WPARAM, LPARAM, INT_PTR)
{
    static const int transparent[] = {IDC_TEXT, IDC_ACCEPT};
    MarkControls(page, transparent, ColourMarkTransparent);
    SetColourMark(page, IDC_PAGE_GROUP, ColourMarkTinted);

    SetDlgItemTextA(page, IDC_EDIT, LicenseText != nullptr ? LicenseText : "");
    SetDlgItemTextA(page, IDC_PAGE_GROUP, " License Agreement ");
    SetDlgItemTextA(page, IDC_TEXT, "Please read carefully the following License Agreement.");
    SetDlgItemTextA(page, IDC_ACCEPT, "Yes, I have read and agree to the terms of this license agreement.");
    return ResultHandled;
}

// The agreement is asked again each time the page is shown.
INT_PTR ActivateLicense(HWND page, WPARAM, LPARAM, INT_PTR)
{
    if (NoLicense)
        return 1;
    CheckDlgButton(page, IDC_ACCEPT, BST_UNCHECKED);
    EnableWindow(NextButtonWindow, FALSE);
    LicenseAccepted = 0;
    return 0;
}

INT_PTR ToggleAcceptance(HWND, WPARAM, LPARAM, INT_PTR)
{
    LicenseAccepted = LicenseAccepted ? 0 : 1;
    EnableWindow(NextButtonWindow, LicenseAccepted == 1);
    return ResultHandled;
}

// --- Destination folder -----------------------------------------------------

// The folder browser accepts only folders on a drive letter: network paths
// and virtual folders cannot be chosen.
int CALLBACK BrowseCallback(HWND browser, UINT event, LPARAM eventData, LPARAM startingFolder)
{
    if (event == BFFM_INITIALIZED) {
        char current[WorkBufferSize];
        const char* folder = reinterpret_cast<const char*>(startingFolder);
        if (folder == nullptr || folder[0] == '\0') {
            DWORD length = GetCurrentDirectoryA(sizeof current, current);
            if (length == 0 || length >= sizeof current)
                current[0] = '\0';
            folder = current;
        }
        SendMessageA(browser, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(folder));
        SendMessageA(browser, BFFM_SETSTATUSTEXTA, 0, reinterpret_cast<LPARAM>(folder));
    } else if (event == BFFM_SELCHANGED) {
        char path[WorkBufferSize] = "";
        const FolderBrowserFunctions* shell = FolderBrowser();
        if (!shell || !shell->getPathFromIDList(reinterpret_cast<LPCITEMIDLIST>(eventData), path))
            path[0] = '\0';
        bool onDrive = path[0] != '\0' && path[1] == ':';
        SendMessageA(browser, BFFM_ENABLEOK, 0, onDrive ? 1 : 0);
        if (!onDrive)
            path[0] = '\0';
        SendMessageA(browser, BFFM_SETSTATUSTEXTA, 0, reinterpret_cast<LPARAM>(path));
    }
    return 0;
}

// Shows the folder browser.  Returns 1 and fills `resultPath` (and
// `startingFolder`, so the next Browse starts there) when a folder was
// chosen; 0 with nothing changed when the user cancelled.  Both buffers hold
// SetupPathSize bytes.
int BrowseForFolder(HWND owner, const char* title, char* startingFolder, char* resultPath)
{
    const FolderBrowserFunctions* shell = FolderBrowser();
    if (!shell)
        return 0;
    // The new dialog style needs COM on this thread.
    ComApartment com;

    BROWSEINFOA info;
    ZeroMemory(&info, sizeof info);
    info.hwndOwner = owner;
    info.lpszTitle = title;
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_STATUSTEXT | BIF_NEWDIALOGSTYLE;
    info.lpfn = BrowseCallback;
    info.lParam = reinterpret_cast<LPARAM>(startingFolder);

    int chosen = 0;
    LPITEMIDLIST item = shell->browseForFolder(&info);
    if (item != nullptr) {
        char path[WorkBufferSize] = "";
        if (shell->getPathFromIDList(item, path)) {
            snprintf(resultPath, SetupPathSize, "%s", path);
            snprintf(startingFolder, SetupPathSize, "%s", resultPath);
            chosen = 1;
        }
        IMalloc* allocator = nullptr;
        if (SUCCEEDED(shell->getMalloc(&allocator)) && allocator != nullptr) {
            allocator->Free(item);
            allocator->Release();
        }
    }
    return chosen;
}

INT_PTR SetUpDestination(HWND page, WPARAM, LPARAM, INT_PTR)
{
    SetColourMark(page, IDC_TEXT, ColourMarkTransparent);
    SetColourMark(page, IDC_PAGE_GROUP, ColourMarkTinted);
    SetColourMark(page, IDC_EXTRA, ColourMarkTinted);
    SetDlgItemTextA(page, IDC_EXTRA, " Select directory ");
    SetDlgItemTextA(page, IDC_PAGE_GROUP, " Destination folder ");

    char name[SettingValueSize];
    ReadProductName(name);
    char text[PageTextSize];
    snprintf(text, sizeof text,
             "Setup will install %s in the following folder.\n\n"
             "To install to this folder click \"Next\".\n\n"
             "To install to a different folder click \"Browse\" and select another folder.",
             name);
    SetDlgItemTextA(page, IDC_TEXT, text);
    SetDlgItemTextA(page, IDC_BROWSE, "Browse...");

    // The default folder: Program Files, the company and the product.  One
    // that would not fit is not offered cut short; the box stays empty and
    // the user chooses.
    SetDefaultDestination();

    SetDlgItemTextA(page, IDC_EDIT, InstallDir);
    SendDlgItemMessageA(page, IDC_EDIT, EM_LIMITTEXT, DestinationLengthLimit, 0);
    return ResultHandled;
}

// In update mode the product goes to the default folder without a question.
INT_PTR ActivateDestination(HWND page, WPARAM, LPARAM, INT_PTR)
{
    if (UpdateMode)
        return 1;
    SendDlgItemMessageA(page, IDC_EDIT, EM_SETSEL, 0, -1);
    SetFocus(GetDlgItem(page, IDC_EDIT));
    FolderEdited = 0;
    return 0;
}

INT_PTR NoteFolderEdit(HWND, WPARAM wParam, LPARAM, INT_PTR)
{
    if (HIWORD(wParam) == EditChanged)
        FolderEdited = 1;
    return ResultHandled;
}

INT_PTR BrowseDestination(HWND page, WPARAM, LPARAM, INT_PTR)
{
    BrowseForFolder(page, "Select folder", ProgramFilesPath, InstallDir);
    SetDlgItemTextA(page, IDC_EDIT, InstallDir);
    return ResultHandled;
}

// Leaving forward: ask about the folder, create it and make sure a file can
// be written there.  Folders created here stay when the user goes back.
INT_PTR LeaveDestination(HWND page, WPARAM, LPARAM forward, INT_PTR)
{
    if (forward == 0)
        return 0;

    GetDlgItemTextA(page, IDC_EDIT, InstallDir, SetupPathSize);

    char text[PageTextSize];
    const char* question = nullptr;
    if (PathExists(InstallDir))
        question = "The directory:\n\n%s\n\nalready exists. Do you want install to it?";
    else if (FolderEdited)
        question = "The directory:\n\n%s\n\ndoes not exist. Do you want directory to be created?";
    if (question != nullptr) {
        snprintf(text, sizeof text, question, InstallDir);
        if (ShowMessage(page, text, "Install", MB_YESNO | MB_ICONQUESTION) == IDNO)
            return 1;
    }

    CreateDirectoryTree(InstallDir);

    if (!FolderWritable(InstallDir)) {
        snprintf(text, sizeof text, "Can't install to:\n\n%s\n\nPlease select another location...", InstallDir);
        ShowMessage(page, text, "Install", MB_ICONINFORMATION);
        return 1;
    }
    return 0;
}

// --- Install ----------------------------------------------------------------

INT_PTR SetUpInstall(HWND page, WPARAM, LPARAM, INT_PTR)
{
    static const int transparent[] = {IDC_TEXT, IDC_TEXT2};
    MarkControls(page, transparent, ColourMarkTransparent);
    SetColourMark(page, IDC_PAGE_GROUP, ColourMarkTinted);

    ProgressBarWindow = GetDlgItem(page, IDC_PROGRESS);
    ShowControl(page, IDC_TEXT2, false);
    ShowWindow(ProgressBarWindow, SW_HIDE);
    SetDlgItemTextA(page, IDC_PAGE_GROUP, " Install ");
    SetDlgItemTextA(page, IDC_TEXT, "Setup is ready to install.\n\nClick \"Next\" to begin copying files.");
    SetDlgItemTextA(page, IDC_TEXT2, "Installing... Please wait...");
    return ResultHandled;
}

INT_PTR ActivateInstall(HWND, WPARAM, LPARAM, INT_PTR)
{
    return 0;
}

// Next runs the installation right here, without returning to the message
// loop; the frame is disabled meanwhile so nothing can navigate or close.
// Whatever the outcome, the frame then moves on to the Finished page.
INT_PTR LeaveInstall(HWND page, WPARAM, LPARAM forward, INT_PTR)
{
    if (forward == 0)
        return 0;

    EnableWindow(WizardWindow, FALSE);
    ShowControl(page, IDC_TEXT2, true);
    ShowWindow(ProgressBarWindow, SW_SHOWNORMAL);
    // Erase too: the progress text is transparent and lies on the tiles.
    RedrawWindow(page, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);

    InstallFailed = RunInstallation() == 0 ? 1 : 0;

    EnableWindow(WizardWindow, TRUE);
    return 0;
}

// --- Finished ---------------------------------------------------------------

INT_PTR SetUpFinished(HWND page, WPARAM, LPARAM, INT_PTR)
{
    static const int transparent[] = {IDC_TEXT, IDC_TEXT2, IDC_REBOOT_YES, IDC_REBOOT_NO};
    MarkControls(page, transparent, ColourMarkTransparent);
    SetColourMark(page, IDC_PAGE_GROUP, ColourMarkTinted);

    SetDlgItemTextA(page, IDC_PAGE_GROUP, " Finished ");
    SetDlgItemTextA(page, IDC_REBOOT_YES, "Yes, reboot Windows now");
    SetDlgItemTextA(page, IDC_REBOOT_NO, "No, I will restart it later");
    return ResultHandled;
}

// Reached once, after the installation run: the outcome and the reboot choice.
INT_PTR ActivateFinished(HWND page, WPARAM, LPARAM, INT_PTR)
{
    char name[SettingValueSize];
    ReadProductName(name);
    char text[PageTextSize];
    if (InstallFailed == 1) {
        snprintf(text, sizeof text,
                 "Error installing %s!\nAll changes made so far were undone.\n\n"
                 "Verify your free disk space or download latest version.\n\n"
                 "Click \"Close\" to exit setup.",
                 name);
    } else {
        snprintf(text, sizeof text,
                 "Installation completed succesfully.\n%s was succesfully installed on your computer.\n"
                 "Use \"Start Menu\" to access programs.\n\n"
                 "You may uninstall the installed program by using \"Add/Remove programs\" applet\n"
                 "in Control Panel.\n\n"
                 "Click \"Close\" to exit setup.",
                 name);
    }
    SetDlgItemTextA(page, IDC_TEXT, text);

    if (RebootRequested) {
        SetDlgItemTextA(page, IDC_TEXT2, "In order to conform changes Windows needs to be rebooted.");
        CheckDlgButton(page, IDC_REBOOT_YES, BST_CHECKED);
    } else {
        SetDlgItemTextA(page, IDC_TEXT2, "There is no need to reboot Windows.");
        ShowControl(page, IDC_REBOOT_YES, false);
        ShowControl(page, IDC_REBOOT_NO, false);
        ShowControl(page, IDC_EXTRA, false);
        if (InstallFailed == 1)
            ShowControl(page, IDC_TEXT2, false);
    }
    return 0;
}

// The row's user data is the choice: 1 reboot now, 0 later.
INT_PTR ChooseReboot(HWND, WPARAM, LPARAM, INT_PTR choice)
{
    RebootRequested = static_cast<int>(choice);
    return ResultHandled;
}

} // namespace

#define COMMON_PAGE_ROWS                                  \
    {WM_ERASEBKGND, 0, PaintTiledBackground, 0},          \
    {WM_CTLCOLORSTATIC, 0, SetControlColours, 0},         \
    {WM_CTLCOLORBTN, 0, SetControlColours, 0}

extern const MessageRow WelcomePageTable[] = {
    COMMON_PAGE_ROWS,
    {WM_INITDIALOG, 0, SetUpWelcome, 0},
    {PageActivate, 0, ActivateWelcome, 0},
    {0, 0, nullptr, 0},
};

extern const MessageRow LicensePageTable[] = {
    COMMON_PAGE_ROWS,
    {WM_INITDIALOG, 0, SetUpLicense, 0},
    {PageActivate, 0, ActivateLicense, 0},
    {WM_COMMAND, IDC_ACCEPT, ToggleAcceptance, 0},
    {0, 0, nullptr, 0},
};

extern const MessageRow DestinationPageTable[] = {
    COMMON_PAGE_ROWS,
    {WM_INITDIALOG, 0, SetUpDestination, 0},
    {PageActivate, 0, ActivateDestination, 0},
    {PageLeave, 0, LeaveDestination, 0},
    {WM_COMMAND, IDC_EDIT, NoteFolderEdit, 0},
    {WM_COMMAND, IDC_BROWSE, BrowseDestination, 0},
    {0, 0, nullptr, 0},
};

extern const MessageRow InstallPageTable[] = {
    COMMON_PAGE_ROWS,
    {WM_INITDIALOG, 0, SetUpInstall, 0},
    {PageActivate, 0, ActivateInstall, 0},
    {PageLeave, 0, LeaveInstall, 0},
    {0, 0, nullptr, 0},
};

extern const MessageRow FinishedPageTable[] = {
    COMMON_PAGE_ROWS,
    {WM_INITDIALOG, 0, SetUpFinished, 0},
    {PageActivate, 0, ActivateFinished, 0},
    {WM_COMMAND, IDC_REBOOT_YES, ChooseReboot, 1},
    {WM_COMMAND, IDC_REBOOT_NO, ChooseReboot, 0},
    {0, 0, nullptr, 0},
};
