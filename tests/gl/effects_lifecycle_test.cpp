// The screen effects in the whole saver: their start-up steps and log lines,
// the bubble pre-roll, the font, what a frame draws over the scene, the
// frames allocating nothing with every effect on, and the release.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "shell/frametimer.h"
#include "shell/lifecycle.h"
#include "tests/gl/saver_fixture.h"

long CountedNewCalls() __attribute__((weak));

namespace {

class Effects : public gltest::SaverTest {
protected:
    void SaveSettings(int deepSea, int tint, int fps) {
        Settings s;
        s.intChkCol = deepSea;
        s.intChkCelphn = tint;
        s.intChkFPS = fps;
        // Only the sky and the obstacles: the corner under the text stays clear.
        s.intChkEarth = s.intChkPillar = s.intChkMoon = s.intChkFltPillar = s.intChkClock = 0;
        s.Save();
    }
    // Pixels differing from the clear colour in the top-left text area (in
    // the 640 x 480 window the nearest obstacle starts right of it).
    static int TextPixels(D3DCOLOR clear) {
        const std::vector<BYTE> px = Pixels();
        const int w = static_cast<int>(g_pDevice->GetBackBufferWidth());
        int n = 0;
        for (int y = 0; y < 16; ++y) {
            for (int x = 0; x < 44; ++x) {
                const BYTE* p = &px[(y * w + x) * 4];
                n += p[0] != ((clear >> 16) & 0xFF) || p[1] != ((clear >> 8) & 0xFF) || p[2] != (clear & 0xFF);
            }
        }
        return n;
    }
};

TEST_F(Effects, DeepSeaStartLogsBubblesCellophaneAndFontInOrderAfterAFilledPreRoll) {
    SaveSettings(1, 1, 1);
    ASSERT_EQ(Start(640, 480), 1) << g_ErrLog.Text();
    const std::string log = g_ErrLog.Text();
    const std::size_t obstacles = log.find("\tObstacle01BGO.InitDeviceObjects...\n");
    const std::size_t tail = log.find("\tParticleBubble.InitDeviceObjects...\n");
    ASSERT_NE(tail, std::string::npos) << log;
    EXPECT_LT(obstacles, tail);
    EXPECT_EQ(log.substr(tail),
              "\tParticleBubble.InitDeviceObjects...\n"
              "\t\t\tD3DXCreateTextureFromResource...\n"
              "\t\t\tCreateVertexBuffer...\n"
              "\tCellophane.InitDeviceObjects...\n"
              "\t\t\tCreateVertexBuffer...\n"
              "InitiateFont...\n"
              "Initiate3DFont...\n");
    // 54 s of pre-roll: about 12 bubbles every 1.32 s, none dead yet.
    EXPECT_GT(g_ParticleBubble.GetCount(), 450u);
    EXPECT_LT(g_ParticleBubble.GetCount(), 500u);
    EXPECT_EQ(g_fElapsedTime, 0.0f);
    ASSERT_NE(g_pFont, nullptr);
    ASSERT_NE(g_hFont, nullptr);
    EXPECT_NE(g_Cellophane.GetVertexBuffer(), nullptr);

    // A frame draws the bubbles (one call), the tint and the text on black.
    Frame(m_hwnd);
    EXPECT_GT(TextPixels(g_ClearColor), 20);

    ReleaseAll();
    EXPECT_EQ(g_pFont, nullptr);
    EXPECT_EQ(g_hFont, nullptr);
    EXPECT_EQ(g_ParticleBubble.GetVertexBuffer(), nullptr);
    EXPECT_EQ(g_Cellophane.GetVertexBuffer(), nullptr);
}

TEST_F(Effects, NormalSeaWithEffectsOffCreatesNoBubblesNoTintAndDrawsNoText) {
    SaveSettings(0, 0, 0);
    UseManualClock(1'000'000);  // the same school and camera every run: nothing of the scene in the text's corner
    ASSERT_EQ(Start(640, 480), 1) << g_ErrLog.Text();
    const std::string log = g_ErrLog.Text();
    const std::size_t tail = log.find("\tParticleBubble.InitDeviceObjects...\n");
    ASSERT_NE(tail, std::string::npos);
    EXPECT_EQ(log.substr(tail),
              "\tParticleBubble.InitDeviceObjects...\n"
              "\tCellophane.InitDeviceObjects...\n"
              "InitiateFont...\n"
              "Initiate3DFont...\n");
    EXPECT_EQ(g_ParticleBubble.GetCount(), 0u);
    EXPECT_EQ(g_ParticleBubble.GetTexture(), nullptr);
    EXPECT_EQ(g_Cellophane.GetVertexBuffer(), nullptr);
    ASSERT_NE(g_pFont, nullptr);  // the font is made whatever the switch says
    Frame(m_hwnd);
    Frame(m_hwnd);
    EXPECT_EQ(TextPixels(g_ClearColor), 0);
    EXPECT_EQ(g_FrameRate.GetFrameCount(), 0);
}

// The atlas texture and the buffers live through a device reset: after a
// lost device the text and the tint are drawn as before.
TEST_F(Effects, TextTintAndBubblesSurviveALostDevice) {
    SaveSettings(1, 1, 1);
    UseManualClock(1'000'000);  // the scene stands still between the frames: the same draws
    ASSERT_EQ(Start(640, 480), 1) << g_ErrLog.Text();
    Frame(m_hwnd);
    const DWORD draws = g_pDevice->GetFrameStats().drawCalls;
    SimulateDeviceLoss(g_pDevice);
    Frame(m_hwnd);  // presents nothing, resets, re-applies the renderer states
    Frame(m_hwnd);
    EXPECT_EQ(g_pDevice->TestCooperativeLevel(), S_OK);
    EXPECT_EQ(g_pDevice->GetFrameStats().drawCalls, draws);
    EXPECT_GT(TextPixels(g_ClearColor), 20);
}

TEST_F(Effects, FramesWithEveryEffectOnAllocateNothing) {
    if (!CountedNewCalls || CountedNewCalls() < 0) GTEST_SKIP() << "operator new is not counted in this build";
    setenv("NEREVAL_DEBUG_STATS", "1", 1);
    SaveSettings(1, 1, 1);
    UseManualClock(1'000'000);
    const int started = Start(640, 480);
    unsetenv("NEREVAL_DEBUG_STATS");
    ASSERT_EQ(started, 1) << g_ErrLog.Text();
    FrameTimer(TimerCommand::Start);
    auto frames = [&](int n) {
        const long before = CountedNewCalls();
        for (int i = 0; i < n; ++i) {
            AdvanceClock(16'000);
            Frame(m_hwnd);
        }
        return CountedNewCalls() - before;
    };
    frames(20);  // the driver compiles some programs lazily in the first frames
    EXPECT_EQ(frames(200), 0) << "operator new called during frames";
    EXPECT_STRNE(g_FrameRate.GetStatsText(), "");
}

}  // namespace
