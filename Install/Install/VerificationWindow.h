// The verification window: a small window with the progress of the check the
// setup makes of its own package at start-up, shown when the check takes
// longer than a second (a large setup on a slow disk or a network share), so
// the user sees that something happens.  A check that ends sooner shows
// nothing; an unattended setup (/S) never shows it.  The window is gone
// before the wizard or any message box appears.
#ifndef VELLMARK_VERIFICATIONWINDOW_H
#define VELLMARK_VERIFICATIONWINDOW_H

#include <windows.h>

#include <cstdint>

struct PackageHandle;

// How long the check runs before the window shows, in milliseconds.
constexpr DWORD VerificationWindowDelay = 1000;

// The window of one check.  Progress comes from OpenPackageWithProgress's
// callback; the window is made on the first report after the delay, and its
// messages are handled at every report, so that it paints and can be moved.
class VerificationWindow {
public:
    // `delay`: milliseconds from now before the window may show.
    explicit VerificationWindow(DWORD delay = VerificationWindowDelay);
    ~VerificationWindow();
    VerificationWindow(const VerificationWindow&) = delete;
    VerificationWindow& operator=(const VerificationWindow&) = delete;

    // `done` of `total` bytes verified.
    void Report(uint64_t done, uint64_t total);
    // The window, or null while none is shown.
    HWND Window() const { return window_; }
    // The percentage the window shows.
    int Percent() const { return percent_; }

private:
    DWORD start_;
    DWORD delay_;
    HWND window_ = nullptr;
    int percent_ = -1;
};

// OpenPackage of the setup's own file with the verification window (none in
// unattended mode).  Codes as for OpenPackage.
int OpenSetupPackage(const char* path, PackageHandle** handle);

#ifdef VM_TEST_HOOKS
// Test builds only: the verification windows made so far.
extern int VerificationWindowsShown;
#endif

#endif
