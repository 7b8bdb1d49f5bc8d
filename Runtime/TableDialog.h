// The table-driven dialog procedure of every dialog of both programs: the
// setup's wizard frame and pages, and the uninstaller's dialog.
//
// A dialog's creation parameter is its MessageTable: a static array of
// MessageRows, ended by a row whose message is 0.  The first row whose
// message (and control, when one is named) matches handles the message; a
// message no row matches, and every message before WM_INITDIALOG, gets the
// default dialog processing.
#ifndef VELLMARK_TABLEDIALOG_H
#define VELLMARK_TABLEDIALOG_H

#include <windows.h>

// A handler gets the dialog, wParam, lParam and its row's user data.  Its
// result is stored as the message result and returned, except for the three
// special results below.  (Pointer-sized, so the brush of a colour handler
// travels unchanged in the 64-bit build too.)
typedef INT_PTR (*MessageHandler)(HWND window, WPARAM wParam, LPARAM lParam, INT_PTR userData);

struct MessageRow {
    UINT message;           // 0 ends the table
    WORD controlId;         // 0: any source; else the control that must match
    MessageHandler handler;
    INT_PTR userData;       // passed unchanged to the handler
};

// Special handler results.
constexpr INT_PTR ResultHandled = -1000;     // return 1, no message result
constexpr INT_PTR ResultEndDialog1 = -1001;  // EndDialog(window, 1), return 1
constexpr INT_PTR ResultEndDialog0 = -1002;  // EndDialog(window, 0), return 1

// Posted (wParam 0, lParam 0) to a dialog at its first WM_PAINT.
constexpr UINT PageFirstPaint = WM_USER + 1000;

// A row matches when its message is the message and its control id is 0,
// equals the low word of wParam (the command id of WM_COMMAND, the sender of
// WM_NOTIFY), or, for WM_HSCROLL and WM_VSCROLL, names the scroll bar that
// lParam is.  The notification code of WM_COMMAND is not looked at.
INT_PTR CALLBACK TableDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

#endif
