// The whole saver allocates nothing per frame: after a warm-up, a hundred
// frames of the real scene (update, queueing, sorted toon drawing, present)
// call operator new zero times.
//
// The counting operator new of this binary lives in device_alloc_test.cpp;
// its count is read through CountedNewCalls(), defined there. Without that
// definition (or under AddressSanitizer, where it returns -1) the check is
// skipped rather than guessed.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>

#include "platform/clock.h"
#include "platform/registry.h"
#include "platform/window.h"
#include "shell/frametimer.h"
#include "shell/lifecycle.h"
#include "shell/saver.h"

// Calls of the global operator new so far in this binary; -1 when not counted.
long CountedNewCalls() __attribute__((weak));

namespace {

std::int64_t g_Micros = 0;
std::int64_t Counter() { return g_Micros; }
DWORD Millis() { return static_cast<DWORD>(g_Micros / 1000); }

class FrameAlloc : public ::testing::Test {
protected:
    void SetUp() override {
        m_savedLog = g_ErrLog;  // the start-up log is process-wide and fills up
        if (!CountedNewCalls || CountedNewCalls() < 0) GTEST_SKIP() << "operator new is not counted in this build";
        std::filesystem::remove(RegistryFilePath(kSettingsKey));
        g_Settings.SetDefaults();
        SetClockOverride(&m_clock);
        FrameTimerForgetState();
        g_Micros = 1'000'000;
    }
    void TearDown() override {
        ReleaseAll();
        if (m_hwnd) DestroyWindow(m_hwnd);
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) break;
        }
        SetClockOverride(nullptr);
        FrameTimerForgetState();
        g_bWindowed = 0;
        std::filesystem::remove(RegistryFilePath(kSettingsKey));
        g_ErrLog = m_savedLog;
    }

    // Starts the saver in a hidden test window with the saved settings.
    int Start() {
        g_bWindowed = 1;
        RegisterClassA(kWindowClass, WndProc);
        m_hwnd = CreateWindowExA(0, kWindowClass, kWindowTitle, WS_CAPTION | WS_SYSMENU, 0, 0, 320, 240);
        if (!m_hwnd) return -1;
        const int started = Initiate(m_hwnd);
        FrameTimer(TimerCommand::Start);
        return started;
    }

    // Runs frames 16 ms of clock apart; returns the operator new calls they made.
    long Frames(int count) {
        const long before = CountedNewCalls();
        for (int n = 0; n < count; ++n) {
            g_Micros += 16'000;
            Frame(m_hwnd);
        }
        return CountedNewCalls() - before;
    }

    // Warm-up, then the measured frames; the scene must really be drawn.
    void ExpectQuietFrames() {
        // The driver compiles some shader variants lazily during the first
        // frames (with operator new, inside LLVM): those are not counted.
        Frames(20);
        const float ring = EarthAndPillar::s_fRingAngle;
        EXPECT_EQ(Frames(100), 0) << "operator new called during frames";
        EXPECT_NE(EarthAndPillar::s_fRingAngle, ring);  // time did pass
        EXPECT_GT(g_pDevice->GetFrameStats().drawCalls, 20u);
    }

    ClockOverride m_clock{Millis, Counter, 1'000'000};
    ErrLog m_savedLog;
    HWND m_hwnd = nullptr;
};

TEST_F(FrameAlloc, DefaultSceneAllocatesNothingPerFrame) {
    ASSERT_EQ(Start(), 1) << g_ErrLog.Text();
    ExpectQuietFrames();
}

// The other paths a frame can take: local-time clocks without zone names,
// the deep sea's tumbling light.
TEST_F(FrameAlloc, NormalClockInTheDeepSeaAllocatesNothingPerFrame) {
    Settings s;
    s.intClkMod = 1;
    s.intChkCol = 1;
    s.Save();
    ASSERT_EQ(Start(), 1) << g_ErrLog.Text();
    ExpectQuietFrames();
}

}  // namespace
