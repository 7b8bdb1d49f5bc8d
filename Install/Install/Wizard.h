// The setup wizard: one table-driven dialog procedure for the frame and its
// five pages, the frame's navigation, and the painting shared by all pages.
//
// Every dialog of the wizard runs TableDialogProc.  Its creation parameter is
// a MessageTable: a static array of MessageRows, ended by a row whose message
// is 0.  The first row whose message (and control, when one is named) matches
// handles the message; a message no row matches gets the default dialog
// processing.
#ifndef VELLMARK_WIZARD_H
#define VELLMARK_WIZARD_H

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

// The page protocol.  wParam is 0; lParam is 1 when moving forward (Next),
// 0 when moving back or at the first display.
constexpr UINT PageFirstPaint = WM_USER + 1000;  // posted at a dialog's first WM_PAINT
constexpr UINT PageLeave = WM_USER + 1001;       // answer non-zero to keep the page
constexpr UINT PageActivate = WM_USER + 1002;    // answer non-zero to be skipped

// Colour marks, kept in a static or button control's GWLP_USERDATA.
constexpr LONG_PTR ColourMarkNone = 0;
constexpr LONG_PTR ColourMarkTransparent = 1;   // text straight on the background
constexpr LONG_PTR ColourMarkTinted = 2;        // text on a light cyan band

INT_PTR CALLBACK TableDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The frame's table: the creation parameter of dialog 101.
extern const MessageRow FrameMessageTable[];

// The pages' tables (Pages.cpp), in page order.
extern const MessageRow WelcomePageTable[];
extern const MessageRow LicensePageTable[];
extern const MessageRow DestinationPageTable[];
extern const MessageRow InstallPageTable[];
extern const MessageRow FinishedPageTable[];

// The frame's Next button; the pages enable and disable it.
extern HWND NextButtonWindow;

// The handlers every page's table starts with.
INT_PTR PaintTiledBackground(HWND window, WPARAM deviceContext, LPARAM lParam, INT_PTR userData);
INT_PTR SetControlColours(HWND window, WPARAM deviceContext, LPARAM control, INT_PTR userData);

// Gives the control `id` of `dialog` a colour mark.
void SetColourMark(HWND dialog, int id, LONG_PTR mark);

#endif
