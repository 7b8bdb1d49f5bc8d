// The verification window of the start-up: when it shows, what it shows, and
// that it is gone when the check ends.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "Package.h"
#include "PackageWriter.h"
#include "SetupState.h"
#include "TestImage.h"
#include "VerificationWindow.h"
#include "WindowsTestSupport.h"

namespace {

std::string WindowText(HWND window)
{
    char text[128] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

// Before the delay nothing shows, however often the check reports; after it,
// the first report that leaves work to do makes the window, which follows
// the progress and goes with the check.
TEST(VerificationWindow, ShowsOnlyAfterTheDelay)
{
    {
        VerificationWindow late(60000);
        for (int i = 0; i < 100; ++i)
            late.Report(static_cast<uint64_t>(i), 100);
        EXPECT_EQ(late.Window(), nullptr);
    }
    HWND shown = nullptr;
    {
        VerificationWindow window(0);
        window.Report(100, 100);   // a check that has ended shows nothing
        EXPECT_EQ(window.Window(), nullptr);
        window.Report(25, 100);
        shown = window.Window();
        ASSERT_NE(shown, nullptr);
        EXPECT_TRUE(IsWindowVisible(shown));
        EXPECT_EQ(WindowText(shown), "Vellmark v1.0");
        EXPECT_EQ(window.Percent(), 25);
        window.Report(3 * (1ull << 30), 4 * (1ull << 30));   // sizes beyond 32 bits
        EXPECT_EQ(window.Percent(), 75);
        window.Report(100, 100);
        EXPECT_EQ(window.Percent(), 100);
        EXPECT_EQ(window.Window(), shown);
        // A close request does not end the check.
        SendMessageA(shown, WM_CLOSE, 0, 0);
        EXPECT_TRUE(IsWindow(shown));
    }
    EXPECT_FALSE(IsWindow(shown));
}

// The setup's opening: the package opens as with OpenPackage; with the
// delay forced to nothing the window is made (interactive) or not (/S).
TEST(VerificationWindow, OpenSetupPackage)
{
    fntest::TempFolder temp;
    std::string text(300000, 'x');
    for (size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<char>('a' + (i * 7919) % 26);
    std::vector<uint8_t> bytes = testimage::MakePackage({testimage::Root(), testimage::File("big.txt", 0, text)});
    std::string path = temp.path + "\\setup.exe";
    ASSERT_TRUE(testimage::WriteBytes(path, bytes));
    SetEnvironmentVariableA("VELLMARK_TEST_VERIFY_DELAY", "0");
    PackageWindowBytes = 4096;   // the check reports after every window
    for (int unattended = 0; unattended < 2; ++unattended) {
        UnattendedMode = unattended;
        VerificationWindowsShown = 0;
        PackageHandle* handle = nullptr;
        EXPECT_EQ(OpenSetupPackage(path.c_str(), &handle), PackageOpened);
        EXPECT_EQ(VerificationWindowsShown, unattended ? 0 : 1) << "unattended " << unattended;
        ASSERT_NE(handle, nullptr);
        EXPECT_EQ(handle->entryCount, 2u);
        ClosePackage(handle);
        // The window is gone with the check in both cases.
        EXPECT_EQ(FindWindowA("VellmarkVerification", nullptr), nullptr);
    }
    UnattendedMode = 0;
    PackageWindowBytes = 0;
    SetEnvironmentVariableA("VELLMARK_TEST_VERIFY_DELAY", nullptr);
    PackageHandle* handle = nullptr;
    EXPECT_EQ(OpenSetupPackage((temp.path + "\\missing.exe").c_str(), &handle), PackageCannotOpen);
    EXPECT_EQ(handle, nullptr);
}

}  // namespace
