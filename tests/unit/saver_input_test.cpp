// The saver window's input rules, driven with window messages on SDL's
// offscreen video driver (no X server needed).
#include <gtest/gtest.h>

#include "platform/os/window.h"
#include "shell/saver.h"

namespace {

class SaverInput : public ::testing::Test {
protected:
    void TearDown() override {
        if (m_hwnd) DestroyWindow(m_hwnd);
        DrainQueue();
        g_bWindowed = 0;
    }

    HWND Open(bool windowed) {
        g_bWindowed = windowed ? 1 : 0;
        EXPECT_TRUE(RegisterClassA(kWindowClass, WndProc));
        DWORD style = windowed ? WS_CAPTION | WS_SYSMENU : WS_POPUP;  // hidden: no WS_VISIBLE
        m_hwnd = CreateWindowExA(0, kWindowClass, kWindowTitle, style, 0, 0, 320, 240);
        EXPECT_NE(m_hwnd, nullptr);
        DrainQueue();
        SetCursorPosForTest(POINT{100, 100});
        g_ptCursorStart = POINT{100, 100};
        g_bCursorStartKnown = TRUE;
        return m_hwnd;
    }

    // True when the window procedure posted WM_CLOSE (removed from the queue).
    static bool ClosePosted() {
        MSG msg;
        bool posted = false;
        while (PeekMessageA(&msg, nullptr, WM_CLOSE, WM_CLOSE, PM_REMOVE)) posted = true;
        return posted;
    }
    static void DrainQueue() {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) break;
        }
    }
    void MoveTo(int x, int y) {
        SetCursorPosForTest(POINT{x, y});
        SendMessageA(m_hwnd, WM_MOUSEMOVE, 0, 0);
    }

    HWND m_hwnd = nullptr;
};

}  // namespace

TEST_F(SaverInput, PointerTravelOfFiveClosesAndFourDoesNot) {
    Open(false);
    MoveTo(103, 101);  // 3 + 1 = 4
    EXPECT_FALSE(ClosePosted());
    EXPECT_EQ(g_ptCursorStart.x, 100);  // small moves do not move the start point
    MoveTo(103, 102);  // 3 + 2 = 5
    EXPECT_TRUE(ClosePosted());
    EXPECT_EQ(g_ptCursorStart.x, 103);
    EXPECT_EQ(g_ptCursorStart.y, 102);
}

TEST_F(SaverInput, TravelIsMeasuredFromTheStartSoASlowDriftCloses) {
    Open(false);
    MoveTo(98, 100);
    MoveTo(97, 99);
    EXPECT_FALSE(ClosePosted());
    MoveTo(95, 100);  // five to the left in total
    EXPECT_TRUE(ClosePosted());
}

// Wayland and Xwayland cannot say where the pointer was at start-up: the
// first position reported inside the window is the start, however far it is
// from what the start-up query answered; travel counts from there.
TEST_F(SaverInput, WithoutATrueStartTheFirstReportedPositionIsTheStart) {
    Open(false);
    SetCursorUnknownForTest();
    g_bCursorStartKnown = GetCursorPos(&g_ptCursorStart);
    EXPECT_FALSE(g_bCursorStartKnown);
    SendMessageA(m_hwnd, WM_MOUSEMOVE, 0, 0);  // a motion message with no position behind it
    EXPECT_FALSE(ClosePosted());
    MoveTo(512, 384);  // the first report, far from the start-up query's {100, 100}
    EXPECT_FALSE(ClosePosted());
    EXPECT_EQ(g_ptCursorStart.x, 512);
    EXPECT_EQ(g_ptCursorStart.y, 384);
    MoveTo(515, 385);  // 4
    EXPECT_FALSE(ClosePosted());
    MoveTo(515, 386);  // 5
    EXPECT_TRUE(ClosePosted());
}

TEST_F(SaverInput, KeysButtonsAndLossOfActivationClose) {
    Open(false);
    for (UINT m : {WM_KEYDOWN, WM_SYSKEYDOWN, WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_MBUTTONDOWN}) {
        SendMessageA(m_hwnd, m, 0, 0);
        EXPECT_TRUE(ClosePosted()) << "message " << m;
    }
    SendMessageA(m_hwnd, WM_ACTIVATEAPP, 1, 0);
    EXPECT_FALSE(ClosePosted());
    SendMessageA(m_hwnd, WM_ACTIVATEAPP, 0, 0);
    EXPECT_TRUE(ClosePosted());
}

TEST_F(SaverInput, FullScreenSwallowsWindowSwitchingAndScreenSaveCommands) {
    Open(false);
    for (WPARAM sc : {SC_NEXTWINDOW, SC_PREVWINDOW, SC_SCREENSAVE}) {
        EXPECT_EQ(SendMessageA(m_hwnd, WM_SYSCOMMAND, sc, 0), 0);
    }
    EXPECT_FALSE(ClosePosted());
}

TEST_F(SaverInput, TestWindowIgnoresInputAndClosesOnlyOnItsCloseCommand) {
    Open(true);
    MoveTo(300, 300);
    for (UINT m : {WM_KEYDOWN, WM_SYSKEYDOWN, WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_MBUTTONDOWN}) {
        SendMessageA(m_hwnd, m, 0, 0);
    }
    SendMessageA(m_hwnd, WM_ACTIVATEAPP, 0, 0);
    EXPECT_FALSE(ClosePosted());

    // The close command destroys the window, which posts the quit message.
    SendMessageA(m_hwnd, WM_CLOSE, 0, 0);
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, WM_QUIT);
    EXPECT_EQ(msg.wParam, 0u);
    m_hwnd = nullptr;
}

TEST_F(SaverInput, FullScreenCloseDestroysAndQuits) {
    Open(false);
    PostMessageA(m_hwnd, WM_KEYDOWN, 0, 0);
    MSG msg;
    int guard = 0;
    while (GetMessageA(&msg, nullptr, 0, 0) && ++guard < 10) DispatchMessageA(&msg);
    EXPECT_EQ(msg.message, WM_QUIT);
    EXPECT_LT(guard, 10);
    m_hwnd = nullptr;
}

TEST(CommandLine, UnknownSwitchesExitAtOnceWithZero) {
    EXPECT_EQ(WinMain("/x"), 0);
    EXPECT_EQ(WinMain("/p 123"), 0);
    EXPECT_EQ(WinMain("  -  /q"), 0);
}
