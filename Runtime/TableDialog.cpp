// The table dispatch shared by every dialog of the setup and the uninstaller.
#include "TableDialog.h"

namespace {

// Bit of DWLP_USER: the dialog has seen its first WM_PAINT.
constexpr LONG_PTR FirstPaintSeen = static_cast<LONG_PTR>(0x80000000u);

const MessageRow* FindRow(const MessageRow* table, HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    for (const MessageRow* row = table; row->message != 0; ++row) {
        if (row->message != message)
            continue;
        if (row->controlId == 0)
            return row;
        if ((message == WM_HSCROLL || message == WM_VSCROLL) &&
            reinterpret_cast<HWND>(lParam) == GetDlgItem(window, row->controlId))
            return row;
        if (row->controlId == LOWORD(wParam))
            return row;
    }
    return nullptr;
}

} // namespace

INT_PTR CALLBACK TableDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    const MessageRow* table;
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrA(window, GWLP_USERDATA, lParam);
        SetWindowLongPtrA(window, DWLP_USER, 0);
        table = reinterpret_cast<const MessageRow*>(lParam);
    } else {
        table = reinterpret_cast<const MessageRow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    }
    if (table == nullptr)
        return 0;

    if (message == WM_PAINT) {
        LONG_PTR flags = GetWindowLongPtrA(window, DWLP_USER);
        if ((flags & FirstPaintSeen) == 0) {
            SetWindowLongPtrA(window, DWLP_USER, flags | FirstPaintSeen);
            PostMessageA(window, PageFirstPaint, 0, 0);
        }
    }

    const MessageRow* row = FindRow(table, window, message, wParam, lParam);
    if (row == nullptr)
        return 0;

    INT_PTR result = row->handler(window, wParam, lParam, row->userData);
    switch (result) {
    case ResultHandled:
        return 1;
    case ResultEndDialog1:
        EndDialog(window, 1);
        return 1;
    case ResultEndDialog0:
        EndDialog(window, 0);
        return 1;
    default:
        SetWindowLongPtrA(window, DWLP_MSGRESULT, result);
        return result;
    }
}
