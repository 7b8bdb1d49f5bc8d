// The verification window: a caption, a line of text and a bar, painted by
// the window itself (no common controls are loaded before the wizard).
#include "VerificationWindow.h"

#include <cstdio>
#include <cstdlib>

#include "Package.h"
#include "SetupState.h"

#ifdef VM_TEST_HOOKS
int VerificationWindowsShown = 0;
#endif

namespace {

constexpr char WindowClass[] = "VellmarkVerification";
constexpr int WindowWidth = 320;
constexpr int WindowHeight = 110;
constexpr int Margin = 14;
constexpr int BarHeight = 18;

// The percentage the window paints; one window at a time.
int ShownPercent = 0;

void Paint(HWND window)
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    RECT client;
    GetClientRect(window, &client);
    FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));

    char text[64];
    snprintf(text, sizeof text, "Verifying the installer: %d%%", ShownPercent);
    HGDIOBJ oldFont = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
    RECT line = {Margin, Margin, client.right - Margin, Margin + 16};
    DrawTextA(dc, text, -1, &line, DT_LEFT | DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(dc, oldFont);

    // The bar: a sunken frame, filled from the left.
    RECT bar = {Margin, Margin + 26, client.right - Margin, Margin + 26 + BarHeight};
    DrawEdge(dc, &bar, EDGE_SUNKEN, BF_RECT);
    RECT inside = {bar.left + 2, bar.top + 2, bar.right - 2, bar.bottom - 2};
    RECT filled = inside;
    filled.right = inside.left + (inside.right - inside.left) * ShownPercent / 100;
    FillRect(dc, &filled, GetSysColorBrush(COLOR_HIGHLIGHT));
    EndPaint(window, &paint);
}

LRESULT CALLBACK VerificationProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_PAINT:
        Paint(window);
        return 0;
    case WM_CLOSE:
        return 0;   // the check cannot be cancelled: it ends by itself
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

HWND CreateVerificationWindow()
{
    static bool registered = false;
    HINSTANCE instance = GetModuleHandleA(nullptr);
    if (!registered) {
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = VerificationProc;
        windowClass.hInstance = instance;
        windowClass.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_WAIT));
        windowClass.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
        windowClass.lpszClassName = WindowClass;
        registered = RegisterClassA(&windowClass) != 0;
        if (!registered)
            return nullptr;
    }
    // Centred on the screen, as the wizard will be.
    RECT area;
    if (!SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0))
        area = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    int x = area.left + (area.right - area.left - WindowWidth) / 2;
    int y = area.top + (area.bottom - area.top - WindowHeight) / 2;
    HWND window = CreateWindowExA(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, WindowClass, "Vellmark v1.0",
                                  WS_POPUP | WS_CAPTION | WS_BORDER, x, y, WindowWidth, WindowHeight, nullptr,
                                  nullptr, instance, nullptr);
    if (window) {
        ShowWindow(window, SW_SHOWNOACTIVATE);
        UpdateWindow(window);
    }
    return window;
}

// Handles what waits for the window (and any other window of the thread: none
// exists yet at start-up).
void PumpMessages()
{
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

void ReportToWindow(void* context, uint64_t done, uint64_t total)
{
    static_cast<VerificationWindow*>(context)->Report(done, total);
}

}  // namespace

VerificationWindow::VerificationWindow(DWORD delay) : start_(GetTickCount()), delay_(delay) {}

VerificationWindow::~VerificationWindow()
{
    if (window_) {
        DestroyWindow(window_);
        PumpMessages();
    }
}

void VerificationWindow::Report(uint64_t done, uint64_t total)
{
    int percent = total > 0 ? static_cast<int>(done * 100 / total) : 100;
    if (!window_) {
        // Not before the delay, and not for a check about to end.
        if (GetTickCount() - start_ < delay_ || done >= total)
            return;
        ShownPercent = percent;
        window_ = CreateVerificationWindow();
        if (!window_) {
            delay_ = 0xFFFFFFFFu;   // no window can be had: the check goes on without one
            return;
        }
        percent_ = percent;
#ifdef VM_TEST_HOOKS
        ++VerificationWindowsShown;
#endif
    }
    if (percent != percent_) {
        percent_ = percent;
        ShownPercent = percent;
        InvalidateRect(window_, nullptr, FALSE);
    }
    PumpMessages();
}

int OpenSetupPackage(const char* path, PackageHandle** handle)
{
    if (UnattendedMode)
        return OpenPackage(path, handle);
    DWORD delay = VerificationWindowDelay;
#ifdef VM_TEST_HOOKS
    // Test builds: VELLMARK_TEST_VERIFY_DELAY=MS shows the window sooner, so
    // that a test sees it with a small package (and tiny windows of the file,
    // which make the check report often).
    char forced[16];
    DWORD length = GetEnvironmentVariableA("VELLMARK_TEST_VERIFY_DELAY", forced, sizeof forced);
    if (length > 0 && length < sizeof forced)
        delay = static_cast<DWORD>(strtoul(forced, nullptr, 10));
#endif
    VerificationWindow window(delay);
    return OpenPackageWithProgress(path, handle, ReportToWindow, &window);
}
