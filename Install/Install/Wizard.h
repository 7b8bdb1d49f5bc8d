// The setup wizard: the frame and its pages, the frame's navigation, and
// the painting shared by all pages.  Every dialog of the wizard runs
// TableDialogProc (TableDialog.h) with its own MessageTable.
#ifndef VELLMARK_WIZARD_H
#define VELLMARK_WIZARD_H

#include <windows.h>

#include "TableDialog.h"

// The page protocol (PageFirstPaint comes from TableDialogProc).  wParam is
// 0; lParam is 1 when moving forward (Next), 0 when moving back or at the
// first display.
constexpr UINT PageLeave = WM_USER + 1001;       // answer non-zero to keep the page
constexpr UINT PageActivate = WM_USER + 1002;    // answer non-zero to be skipped

// Colour marks, kept in a static or button control's GWLP_USERDATA.
constexpr LONG_PTR ColourMarkNone = 0;
constexpr LONG_PTR ColourMarkTransparent = 1;   // text straight on the background
constexpr LONG_PTR ColourMarkTinted = 2;        // text on a light cyan band

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
