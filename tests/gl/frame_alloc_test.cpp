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

#include "platform/os/clock.h"
#include "platform/os/registry.h"
#include "platform/os/window.h"
#include "shell/frametimer.h"
#include "shell/lifecycle.h"
#include "shell/saver.h"
#include "tests/gl/saver_fixture.h"

// Calls of the global operator new so far in this binary; -1 when not counted.
long CountedNewCalls() __attribute__((weak));

namespace {

class FrameAlloc : public gltest::SaverTest {
protected:
    void SetUp() override {
        SaverTest::SetUp();
        if (!CountedNewCalls || CountedNewCalls() < 0) GTEST_SKIP() << "operator new is not counted in this build";
        UseManualClock(1'000'000);
    }

    // Starts the saver in a hidden test window with the saved settings.
    int StartTimed() {
        const int started = Start();
        FrameTimer(TimerCommand::Start);
        return started;
    }

    // Runs frames 16 ms of clock apart; returns the operator new calls they made.
    long Frames(int count) {
        const long before = CountedNewCalls();
        for (int n = 0; n < count; ++n) {
            AdvanceClock(16'000);
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
};

TEST_F(FrameAlloc, DefaultSceneAllocatesNothingPerFrame) {
    ASSERT_EQ(StartTimed(), 1) << g_ErrLog.Text();
    ExpectQuietFrames();
}

// The other paths a frame can take: local-time clocks without zone names,
// the deep sea's tumbling light.
TEST_F(FrameAlloc, NormalClockInTheDeepSeaAllocatesNothingPerFrame) {
    Settings s;
    s.intClkMod = 1;
    s.intChkCol = 1;
    s.Save();
    ASSERT_EQ(StartTimed(), 1) << g_ErrLog.Text();
    ExpectQuietFrames();
}

}  // namespace
