// The uninstaller's dialog and the removal.
#include "RemovalDialog.h"

#include <commctrl.h>

#include <cstdio>

#include "MessageBox.h"
#include "Removal.h"
#include "SetupState.h"
#include "UninstallResource.h"

UninstallProduct RemovedProduct = {};
int DeleteSettings = 1;
int RebootNeeded = 0;

namespace {

// The progress bar of a removal.  The playback takes a step per entry, per
// Directory entry (a second time) and two more, so a log with several
// folders takes more steps than the range of N + 3 holds.  PBM_STEPIT past
// the end starts the bar over from empty; the steps beyond the range are
// left out instead, and the bar stays full.
struct RemovalProgress {
    HWND bar;
    int position;
    int range;
};

void StepProgressBar(void* context)
{
    RemovalProgress* progress = static_cast<RemovalProgress*>(context);
    if (progress->position >= progress->range)
        return;
    ++progress->position;
    SendMessageA(progress->bar, PBM_STEPIT, 0, 0);
}

void SetProgressRange(HWND bar, int range)
{
    // The 16-bit range of the first progress bars holds every log a product
    // plausibly has; a larger one needs the 32-bit message.
    if (range <= 0xFFFF)
        SendMessageA(bar, PBM_SETRANGE, 0, MAKELPARAM(0, range));
    else
        SendMessageA(bar, PBM_SETRANGE32, 0, range);
    SendMessageA(bar, PBM_SETSTEP, 1, 0);
    SendMessageA(bar, PBM_SETPOS, 0, 0);
}

void EnableRemovalControls(HWND dialog, BOOL enabled)
{
    EnableWindow(dialog, enabled);
    EnableWindow(GetDlgItem(dialog, IDC_REMOVE), enabled);
    EnableWindow(GetDlgItem(dialog, IDC_EXIT), enabled);
}

// The question, with the product's name or, without one, the company's, which
// then names the product's uninstall entry.
void FormatRemovalQuestion(const UninstallProduct& product, char* text, size_t capacity)
{
    const char* name = product.product ? product.product : product.company ? product.company : "";
    snprintf(text, capacity, "\nAre you sure you want to completely remove\n%s and all it's components?", name);
}

// The progress bar's range: 0 to the number of entries plus 3.
int RemovalProgressRange(const InstallLog* list)
{
    // A list has no more entries than memory holds records; a count beyond
    // what the bar can hold is capped rather than wrapped.
    const size_t limit = 0x7FFFFFFF - 3;
    size_t entries = list->count < limit ? list->count : limit;
    return static_cast<int>(entries) + 3;
}

// --- Handlers ---------------------------------------------------------------

INT_PTR SetUpRemovalDialog(HWND dialog, WPARAM, LPARAM, INT_PTR)
{
    // Icons from LoadIcon are shared resources: nothing to free.
    HICON icon = LoadIconA(InstanceHandle, MAKEINTRESOURCEA(IDI_UNINSTALL));
    SendMessageA(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));

    ShowWindow(GetDlgItem(dialog, IDC_REMOVING), SW_HIDE);
    ShowWindow(GetDlgItem(dialog, IDC_REMOVAL_PROGRESS), SW_HIDE);

    SetDlgItemTextA(dialog, IDC_REMOVE, "Remove");
    SetDlgItemTextA(dialog, IDC_EXIT, "Exit");
    SetDlgItemTextA(dialog, IDC_REMOVING, "Removing... Please Wait...");
    SetDlgItemTextA(dialog, IDC_DELETE_SETTINGS, "Delete program settings");
    char question[WorkBufferSize];
    FormatRemovalQuestion(RemovedProduct, question, sizeof question);
    SetDlgItemTextA(dialog, IDC_QUESTION, question);

    CheckDlgButton(dialog, IDC_DELETE_SETTINGS, BST_CHECKED);
    DeleteSettings = 1;
    return ResultHandled;
}

// Every click inverts the tick; reading the box itself keeps the flag equal
// to what the user sees, whatever notifications the box sends.
INT_PTR ToggleDeleteSettings(HWND dialog, WPARAM, LPARAM, INT_PTR)
{
    DeleteSettings = IsDlgButtonChecked(dialog, IDC_DELETE_SETTINGS) == BST_CHECKED ? 1 : 0;
    return ResultHandled;
}

// The Remove button: nothing is removed while a file of the product is in
// use; otherwise everything the log records goes, with a progress step per
// entry, per folder and per final stage.
INT_PTR RunRemoval(HWND dialog, WPARAM, LPARAM, INT_PTR)
{
    if (FindFileInUse(&TheInstallLog)) {
        ShowMessage(dialog, "Some program files are in use.\nQuit applications that may use them and try again...",
                    "Error", MB_ICONERROR);
        return ResultHandled;
    }

    HWND bar = GetDlgItem(dialog, IDC_REMOVAL_PROGRESS);
    RemovalProgress progress = {bar, 0, RemovalProgressRange(&TheInstallLog)};
    SetProgressRange(bar, progress.range);

    ShowWindow(GetDlgItem(dialog, IDC_DELETE_SETTINGS), SW_HIDE);
    ShowWindow(GetDlgItem(dialog, IDC_REMOVING), SW_SHOWNORMAL);
    ShowWindow(bar, SW_SHOWNORMAL);
    RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    EnableRemovalControls(dialog, FALSE);

    // The playback's last step, after the product's keys, is the removal's.
    if (RemoveLoggedProduct(DeleteSettings != 0, StepProgressBar, &progress))
        RebootNeeded = 1;

    EnableRemovalControls(dialog, TRUE);
    return ResultEndDialog1;
}

INT_PTR EndWith0(HWND, WPARAM, LPARAM, INT_PTR)
{
    return ResultEndDialog0;
}

}  // namespace

extern const MessageRow RemovalMessageTable[] = {
    {WM_INITDIALOG, 0, SetUpRemovalDialog, 0},
    {WM_COMMAND, IDOK, EndWith0, 0},
    {WM_CLOSE, 0, EndWith0, 0},
    {WM_COMMAND, IDC_REMOVE, RunRemoval, 0},
    {WM_COMMAND, IDC_EXIT, EndWith0, 0},
    {WM_COMMAND, IDC_DELETE_SETTINGS, ToggleDeleteSettings, 0},
    {0, 0, nullptr, 0},
};
