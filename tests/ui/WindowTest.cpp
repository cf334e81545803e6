#include <gtest/gtest.h>
#include <windows.h>
#include "UiTestSupport.h"

namespace {

const RECT kNoRect = {0, 0, 0, 0};

void PostApp(TestDialog& d) { PostMessageW(d.hwnd, WM_APP, 0, 0); }

void CALLBACK GiveUp(HWND w, UINT, UINT_PTR, DWORD)
{
    KillTimer(w, 1);
    if (auto* d = static_cast<TestDialog*>(static_cast<dxWindowImplBase*>(GetPropW(w, L"dxwptr")))) d->EndModal(-99);
}

// Ends a run that the test's input failed to end, rather than hanging.
void Watchdog(TestDialog& d) { SetTimer(d.hwnd, 1, 10000, GiveUp); }

}  // namespace

TEST(Modal, OwnerDisabledDuringTheRunAndActiveAfterIt)
{
    ASSERT_TRUE(LoadRealSkin());
    TestWindow owner("main_wnd");
    ASSERT_TRUE(owner.Open());
    SetActiveWindow(owner.hwnd);
    RECT ownerRect;
    GetWindowRect(owner.hwnd, &ownerRect);

    TestDialog dialog("msgbox");
    BOOL enabledDuring = TRUE;
    RECT dialogRect = {};
    LONG exStyle = 0;
    dialog.onCreate = PostApp;
    dialog.onApp = [&](TestDialog& d) {
        enabledDuring = IsWindowEnabled(owner.hwnd);
        GetWindowRect(d.hwnd, &dialogRect);
        exStyle = GetWindowLongW(d.hwnd, GWL_EXSTYLE);
        d.EndModal(7);
    };
    EXPECT_EQ(7, dialog.RunModal(owner.hwnd, kNoRect));
    EXPECT_FALSE(enabledDuring);
    EXPECT_TRUE(IsWindowEnabled(owner.hwnd));
    EXPECT_EQ(owner.hwnd, GetActiveWindow());
    EXPECT_EQ(nullptr, dialog.hwnd);
    EXPECT_EQ(0u, dialog.implFlags & RUNNING_MODAL);
    EXPECT_TRUE(exStyle & WS_EX_LAYERED);
    // Centred on its owner.
    EXPECT_EQ(356, dialogRect.right - dialogRect.left);
    EXPECT_EQ((ownerRect.left + ownerRect.right) / 2 - 178, dialogRect.left);
    EXPECT_EQ((ownerRect.top + ownerRect.bottom) / 2 - 106, dialogRect.top);
}

TEST(Modal, RunsEndOnEndModalCloseQuitAndAltF4)
{
    ASSERT_TRUE(LoadRealSkin());
    TestWindow bystander("");
    ASSERT_TRUE(bystander.Open());

    // Without an owner no other window is touched.
    TestDialog plain("msgbox");
    BOOL bystanderEnabled = FALSE;
    plain.onCreate = PostApp;
    plain.onApp = [&](TestDialog& d) {
        bystanderEnabled = IsWindowEnabled(bystander.hwnd);
        d.EndModal(2);
        d.EndModal(3);  // after the run has ended only the result changes
    };
    EXPECT_EQ(3, plain.RunModal(nullptr, kNoRect));
    EXPECT_TRUE(bystanderEnabled);
    EXPECT_TRUE(IsWindowEnabled(bystander.hwnd));

    // A posted WM_CLOSE ends the run with the result as it stands.
    TestDialog closed("msgbox");
    closed.onCreate = [](TestDialog& d) {
        d.EndModal(4);  // not running yet: only stored
        PostMessageW(d.hwnd, WM_CLOSE, 0, 0);
    };
    EXPECT_EQ(4, closed.RunModal(bystander.hwnd, kNoRect));
    EXPECT_TRUE(IsWindowEnabled(bystander.hwnd));

    // WM_QUIT ends the run and is handed on, exit code and all, to the
    // outer loop that it was meant for.
    TestDialog quit("msgbox");
    quit.onCreate = PostApp;
    quit.onApp = [](TestDialog&) { PostQuitMessage(5); };
    EXPECT_EQ(0, quit.RunModal(bystander.hwnd, kNoRect));
    EXPECT_EQ(nullptr, quit.hwnd);
    MSG msg;
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(5u, msg.wParam);
    EXPECT_TRUE(IsWindowEnabled(bystander.hwnd));

    // Alt+F4 destroys the dialog through the system's own close handling. The
    // key is given to the dialog itself: keys sent to the shared display
    // could land in another test's window.
    TestDialog altF4("msgbox");
    HWND altF4Window = nullptr;
    altF4.onCreate = [&](TestDialog& d) {
        altF4Window = d.hwnd;
        d.EndModal(6);
        Watchdog(d);
        PostApp(d);
    };
    altF4.onApp = [](TestDialog& d) { PostMessageW(d.hwnd, WM_SYSKEYDOWN, VK_F4, (KF_ALTDOWN << 16) | 1); };
    EXPECT_EQ(6, altF4.RunModal(bystander.hwnd, kNoRect));
    EXPECT_FALSE(IsWindow(altF4Window));
    EXPECT_TRUE(IsWindowEnabled(bystander.hwnd));
}

TEST(Modal, FailedCreationReenablesTheOwner)
{
    TestWindow owner("");
    ASSERT_TRUE(owner.Open());
    TestDialog broken("");
    broken.failCreate = true;
    EXPECT_EQ(-1, broken.RunModal(owner.hwnd, kNoRect));
    EXPECT_TRUE(IsWindowEnabled(owner.hwnd));

    // Once the failed window has reported its end, its object may be gone
    // (or reused): creation must not write to it afterwards.
    struct Reused : TestDialog {
        void OnWindowDestroyed(HWND) override { hwnd = reinterpret_cast<HWND>(0x1234); }
    } reused;
    reused.failCreate = true;
    EXPECT_FALSE(reused.Create(nullptr, nullptr, L"", kNoRect, WS_POPUP, 0));
    EXPECT_EQ(reinterpret_cast<HWND>(0x1234), reused.hwnd);
    reused.hwnd = nullptr;

    dxDialogImpl idle;
    idle.EndModal(9);
    EXPECT_EQ(9, idle.result);
    EXPECT_EQ(0u, idle.implFlags);
}

TEST(Frame, WholeWindowIsClientAndCentringStaysInTheWorkArea)
{
    ASSERT_TRUE(LoadSkinOf({{"round", "<Window initSize=\"100,60\" roundCorner=\"6,6\"/>"},
                            {"square", "<Window initSize=\"100,60\" roundCorner=\"0,6\"/>"}}));
    TestWindow big("");
    ASSERT_TRUE(
        big.Create(nullptr, nullptr, L"", RECT{0, 0, 2000, 1500}, WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX, 0));
    RECT window, client, work;
    GetWindowRect(big.hwnd, &window);
    GetClientRect(big.hwnd, &client);
    EXPECT_EQ(window.right - window.left, client.right);  // no frame at all
    EXPECT_EQ(window.bottom - window.top, client.bottom);
    EXPECT_EQ(HTCLIENT, SendMessageW(big.hwnd, WM_NCHITTEST, 0, MAKELPARAM(window.left + 1, window.top + 1)));
    EXPECT_EQ(HTCLIENT, SendMessageW(big.hwnd, WM_NCHITTEST, 0, MAKELPARAM(window.right - 1, window.bottom - 1)));

    big.CenterOnOwner();
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    GetWindowRect(big.hwnd, &window);
    EXPECT_EQ(work.left, window.left);
    EXPECT_EQ(work.top, window.top);

    TestWindow round("round");
    TestWindow square("square");
    ASSERT_TRUE(round.Open(WS_POPUP));
    ASSERT_TRUE(square.Open(WS_POPUP));
    HRGN region = CreateRectRgn(0, 0, 0, 0);
    EXPECT_NE(ERROR, GetWindowRgn(round.hwnd, region));
    EXPECT_EQ(ERROR, GetWindowRgn(square.hwnd, region));
    DeleteObject(region);
}
