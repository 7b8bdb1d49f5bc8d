// The wizard's frame: navigation between the pages, button states,
// closing, the About entry, and the painting that every page shares (tiled
// background, control colours).
#include "Wizard.h"

#include "MessageBox.h"
#include "SetupState.h"
#include "resource.h"

namespace {


// The background tile, bitmap 109.
constexpr int TileWidth = 100;
constexpr int TileHeight = 300;

// The tint behind the group-box captions, the page titles (light cyan).
constexpr COLORREF TitleBandColour = 0x00EEEE88;

const char AboutText[] =
    "Vellmark v1.0\n"
    "\n"
    "A script-driven setup system for Windows.\n"
    "Copyright (C) Vellmark. All rights reserved.";

struct PageResource {
    int dialogId;
    const MessageRow* table;
};

// The pages in their order: the first has no Back, the last (the Finished
// page) neither Back nor Next.
const PageResource PageResources[] = {
    {IDD_WELCOME, WelcomePageTable},
    {IDD_LICENSE, LicensePageTable},
    {IDD_DESTINATION, DestinationPageTable},
    {IDD_INSTALL, InstallPageTable},
    {IDD_FINISHED, FinishedPageTable},
};
constexpr int PageCount = static_cast<int>(sizeof PageResources / sizeof PageResources[0]);
constexpr int FirstPage = 0;
constexpr int LastPage = PageCount - 1;

HWND BackButtonWindow = nullptr;
HWND CancelButtonWindow = nullptr;
HWND PageWindows[PageCount] = {};
int CurrentPage = FirstPage;

void ShowButton(HWND button, bool shown)
{
    ShowWindow(button, shown ? SW_SHOWNORMAL : SW_HIDE);
}

// Buttons after a move, by the page now shown.  Reaching the Finished page
// removes Back and Next for good; Cancel becomes Close.
void SetButtonStates()
{
    ShowButton(BackButtonWindow, CurrentPage > FirstPage && CurrentPage < LastPage);
    ShowButton(NextButtonWindow, CurrentPage < LastPage);
    ShowButton(CancelButtonWindow, true);
    SetWindowTextA(CancelButtonWindow, CurrentPage == LastPage ? "Close" : "Cancel");
}

LRESULT SendPageMessage(int page, UINT message, LPARAM forward)
{
    return SendMessageA(PageWindows[page], message, 0, forward);
}

// --- The frame's handlers -------------------------------------------------

INT_PTR SetUpFrame(HWND frame, WPARAM, LPARAM, INT_PTR)
{
    WizardWindow = frame;
    BackButtonWindow = GetDlgItem(frame, IDC_BACK);
    NextButtonWindow = GetDlgItem(frame, IDC_NEXT);
    CancelButtonWindow = GetDlgItem(frame, IDC_CANCEL);
    CurrentPage = FirstPage;

    for (int page = 0; page < PageCount; ++page) {
        PageWindows[page] = CreateDialogParamA(InstanceHandle, MAKEINTRESOURCEA(PageResources[page].dialogId),
                                               frame, TableDialogProc,
                                               reinterpret_cast<LPARAM>(PageResources[page].table));
    }

    // Icons from LoadIcon are shared resources: nothing to free.
    HICON icon = LoadIconA(InstanceHandle, MAKEINTRESOURCEA(IDI_SETUP));
    SendMessageA(frame, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));

    // The first page is always shown, whatever it answers.
    SendPageMessage(CurrentPage, PageActivate, 0);
    ShowWindow(PageWindows[CurrentPage], SW_SHOWNORMAL);

    ShowButton(BackButtonWindow, false);
    ShowButton(NextButtonWindow, true);
    ShowButton(CancelButtonWindow, true);
    SetDlgItemTextA(frame, IDC_BACK, "<  Back");
    SetDlgItemTextA(frame, IDC_NEXT, "Next  >");
    SetDlgItemTextA(frame, IDC_CANCEL, "Cancel");

    HMENU systemMenu = GetSystemMenu(frame, FALSE);
    InsertMenuA(systemMenu, 0, MF_BYPOSITION | MF_STRING, IDM_ABOUT, "Vellmark v1.0");
    InsertMenuA(systemMenu, 2, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr);
    return ResultHandled;
}

// Enter (IDOK), WM_CLOSE, Cancel and Close all end the wizard at once; there
// is no question on any page.
INT_PTR CloseWizard(HWND, WPARAM, LPARAM, INT_PTR)
{
    for (HWND& page : PageWindows) {
        if (page != nullptr) {
            DestroyWindow(page);
            page = nullptr;
        }
    }
    return ResultEndDialog1;
}

// Next (row data 1) and Back (row data 0).  The page being left may refuse;
// pages that decline PageActivate are passed over in the same direction, but
// the first and the last page never decline.
INT_PTR MovePage(HWND, WPARAM, LPARAM, INT_PTR forward)
{
    const int step = forward ? 1 : -1;
    const int end = forward ? LastPage : FirstPage;
    if (CurrentPage == end)
        return ResultHandled;
    if (SendPageMessage(CurrentPage, PageLeave, forward) != 0)
        return ResultHandled;

    ShowWindow(PageWindows[CurrentPage], SW_HIDE);
    CurrentPage += step;
    while (SendPageMessage(CurrentPage, PageActivate, forward) != 0 && CurrentPage != end)
        CurrentPage += step;

    ShowWindow(PageWindows[CurrentPage], SW_SHOWNORMAL);
    SetButtonStates();
    return ResultHandled;
}

// The About entry of the system menu.  Every WM_SYSCOMMAND then goes on to
// the default processing, so moving, closing and minimising work as usual.
INT_PTR SystemCommand(HWND frame, WPARAM command, LPARAM, INT_PTR)
{
    if (command == IDM_ABOUT)
        ShowMessage(frame, AboutText, "Install", MB_ICONINFORMATION);
    return 0;
}

} // namespace

HWND NextButtonWindow = nullptr;

extern const MessageRow FrameMessageTable[] = {
    {WM_INITDIALOG, 0, SetUpFrame, 0},
    {WM_COMMAND, IDOK, CloseWizard, 0},
    {WM_CLOSE, 0, CloseWizard, 0},
    {WM_COMMAND, IDC_NEXT, MovePage, 1},
    {WM_COMMAND, IDC_BACK, MovePage, 0},
    {WM_COMMAND, IDC_CANCEL, CloseWizard, 0},
    {WM_ERASEBKGND, 0, PaintTiledBackground, 0},
    {WM_SYSCOMMAND, 0, SystemCommand, 0},
    {0, 0, nullptr, 0},
};

// The tile is loaded and released at every erase; a missing bitmap leaves
// the erasing to the system.
INT_PTR PaintTiledBackground(HWND window, WPARAM deviceContext, LPARAM, INT_PTR)
{
    HDC target = reinterpret_cast<HDC>(deviceContext);
    RECT client;
    GetClientRect(window, &client);

    HBITMAP tile = LoadBitmapA(InstanceHandle, MAKEINTRESOURCEA(IDB_BACKGROUND));
    if (tile == nullptr)
        return 0;

    INT_PTR result = 0;
    HDC memory = CreateCompatibleDC(target);
    if (memory != nullptr) {
        HGDIOBJ previous = SelectObject(memory, tile);
        for (LONG x = client.left; x < client.right; x += TileWidth) {
            for (LONG y = client.top; y < client.bottom; y += TileHeight)
                BitBlt(target, x, y, TileWidth, TileHeight, memory, 0, 0, SRCCOPY);
        }
        SelectObject(memory, previous);
        DeleteDC(memory);
        result = 1;
    }
    DeleteObject(tile);
    return result;
}

INT_PTR SetControlColours(HWND, WPARAM deviceContext, LPARAM control, INT_PTR)
{
    HDC target = reinterpret_cast<HDC>(deviceContext);
    switch (GetWindowLongPtrA(reinterpret_cast<HWND>(control), GWLP_USERDATA)) {
    case ColourMarkTransparent:
        SetBkMode(target, TRANSPARENT);
        return reinterpret_cast<INT_PTR>(GetStockObject(NULL_BRUSH));
    case ColourMarkTinted:
        SetBkColor(target, TitleBandColour);
        return reinterpret_cast<INT_PTR>(GetStockObject(NULL_BRUSH));
    default:
        return 0;
    }
}

void SetColourMark(HWND dialog, int id, LONG_PTR mark)
{
    SetWindowLongPtrA(GetDlgItem(dialog, id), GWLP_USERDATA, mark);
}
