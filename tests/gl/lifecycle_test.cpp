// The lifecycle on the real device (offscreen driver): start-up log, clear
// colour from the settings, the time-step cap, lost-device recovery, release.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "platform/os/clock.h"
#include "platform/os/registry.h"
#include "platform/os/resource.h"
#include "platform/os/window.h"
#include "shell/frametimer.h"
#include "shell/lifecycle.h"
#include "shell/saver.h"
#include "tests/gl/saver_fixture.h"

namespace {

class Lifecycle : public gltest::SaverTest {};

std::string FourSkinningShaders() {
    std::string lines;
    for (int i = 0; i < 4; ++i) lines += "\t\tD3DXAssembleShaderFromResource...\n\t\tCreateVertexShader...\n";
    return lines;
}

}  // namespace

TEST_F(Lifecycle, StartsEveryObjectInOrderAndLogsEachStep) {
    std::size_t before = g_ErrLog.Length();
    ASSERT_EQ(Start(), 1) << g_ErrLog.Text() + before;
    std::string log = g_ErrLog.Text() + before;
    EXPECT_EQ(log.rfind("InitiateD3D...\n\tDirect3DCreate8...\n\tGetAdapterDisplayMode...\n\tCreateDevice...\n"
                        "InitiateRenderer...\nInitiateObjects...\n"
                        "\tZSortRender.InitDeviceObjects...\n\t\tD3DXCreateTextureFromResource...\n"
                        "\tZSortRender.RestoreDeviceObjects...\n\t\tD3DXAssembleShaderFromResource...\n"
                        "\t\tCreateVertexShader...\n"
                        "\tDammySkm.InitDeviceObjects...\n\t\tCreateEnumObject...\n"
                        "\t\tD3DXCreateTextureFromResource...\n" +
                            FourSkinningShaders() +
                            "\tFerguson.InitDeviceObjects...\n\t\tFindResource...\n\t\tLoadResource...\n"
                            "\tEarthAndPillar.InitDeviceObjects...\n\t\tm_pEarthMdl->LoadXFile...\n",
                        0),
              0u)
        << log;
    // The object steps come in their fixed order, each with its own lines.
    std::size_t earth = log.find("\tEarthAndPillar.InitDeviceObjects...\n");
    std::size_t boids = log.find("\tBoids.InitDeviceObjects...\n");
    std::size_t goal = log.find("\tGoal.InitDeviceObjects...\n");
    std::size_t clock = log.find("\tWorldClock.InitDeviceObjects...\n");
    std::size_t obstacles = log.find("\tObstacle01BGO.InitDeviceObjects...\n");
    EXPECT_LT(earth, boids);
    EXPECT_LT(boids, goal);
    EXPECT_LT(goal, clock);
    EXPECT_LT(clock, obstacles);
    EXPECT_NE(log.find("\t\tFinedResource...\n", clock), std::string::npos);
    EXPECT_NE(log.find("\t\tFineResource...\n", obstacles), std::string::npos);
    EXPECT_EQ(log.find("Failed"), std::string::npos);
    EXPECT_EQ(g_Obstacle01BGO.GetObjectNum(), 20);
    EXPECT_EQ(g_Obstacle01BGO.m_fCheckRange, 200.0f);
    EXPECT_EQ(g_WorldClock.GetClockCount(), 12);
    EXPECT_EQ(g_Boids.GetCount(), 30);
    EXPECT_EQ(g_Ferguson.GetCount(), 49);
    // The test window's back buffer is its client area.
    EXPECT_EQ(g_pDevice->GetBackBufferWidth(), 320u);
    EXPECT_EQ(g_pDevice->GetBackBufferHeight(), 240u);
    EXPECT_EQ(g_Caps.VertexShaderVersion, D3DVS_VERSION(1, 1));

    // The scene is drawn: the queued rigid models reach the device.
    Frame(m_hwnd);
    EXPECT_GT(g_pDevice->GetFrameStats().drawCalls, 20u);
    // The renderer set-up is in force: fog toward the clear colour, to 10000.
    DWORD v = 0;
    g_pDevice->GetRenderState(D3DRS_FOGENABLE, &v);
    EXPECT_EQ(v, 1u);
    g_pDevice->GetRenderState(D3DRS_FOGEND, &v);
    EXPECT_EQ(DwordToFloat(v), 10000.0f);
    g_pDevice->GetRenderState(D3DRS_CULLMODE, &v);
    EXPECT_EQ(v, static_cast<DWORD>(D3DCULL_CCW));
}

// Above the obstacle field, in the direction the camera starts looking,
// there is only sky once the set pieces are off: the clear colour. The
// rotating camera (mode 3) stays at its start for the first frame; the other
// modes go to the school at once.
TEST_F(Lifecycle, NormalSeaClearsToWhite) {
    Settings s;
    s.intCamMod = 3;
    s.intChkEarth = s.intChkPillar = s.intChkMoon = s.intChkFltPillar = s.intChkClock = 0;
    s.Save();
    ASSERT_EQ(Start(), 1);
    Frame(m_hwnd);
    std::vector<BYTE> px = Pixels();
    for (std::size_t i : {std::size_t{0}, std::size_t{160 * 4}, std::size_t{319 * 4}}) {
        EXPECT_EQ(px[i], 255);
        EXPECT_EQ(px[i + 1], 255);
        EXPECT_EQ(px[i + 2], 255);
    }
}

TEST_F(Lifecycle, DeepSeaClearsToBlackAndSixteenByNineWidensTheProjection) {
    Settings s;
    s.intCamMod = 3;
    s.intChkCol = 1;
    s.intAspMod = 2;
    s.intChkEarth = s.intChkPillar = s.intChkMoon = s.intChkFltPillar = s.intChkClock = 0;
    s.Save();
    ASSERT_EQ(Start(), 1);
    Frame(m_hwnd);
    std::vector<BYTE> px = Pixels();
    for (std::size_t i : {std::size_t{0}, std::size_t{160 * 4}, std::size_t{319 * 4}}) {
        EXPECT_EQ(px[i], 0);
        EXPECT_EQ(px[i + 1], 0);
        EXPECT_EQ(px[i + 2], 0);
    }
    EXPECT_FLOAT_EQ(g_fAspect, 16.0f / 9.0f);
    const D3DXMATRIX& p = g_Camera.GetProjection();
    EXPECT_NEAR(p._22 / p._11, 16.0f / 9.0f, 1e-5f);
}

// Full screen over two monitors side by side: both show the same picture,
// the frame-rate text in each corner. Enlarged whales, skinned or rigid, are
// the same size in both (the enlargement never builds up in a whale's pose),
// and the skinned whales are posed once a frame, not once a view.
TEST_F(Lifecycle, TwoMonitorsShowTheSameLargeWhalesPosedOnceAFrame) {
    for (int animated : {1, 0}) {
        SCOPED_TRACE(animated ? "skinned whales" : "rigid whales");
        UseManualClock(1'000'000);
        Settings s;
        s.intChkLargeModel = 1;
        s.intChkAnim = animated;
        s.intChkFPS = 1;
        s.Save();
        ASSERT_EQ(StartFullScreen(), 1);
        const RECT sideBySide[2] = {{0, 0, 320, 480}, {320, 0, 640, 480}};
        PlanMonitorViews(sideBySide, 2, 640, 480);
        ASSERT_EQ(g_nViews, 2);
        ASSERT_EQ(g_nScreenWidth, static_cast<int>(g_pDevice->GetBackBufferWidth()));

        const SkinnedMesh* skinned = g_WhaleDrawing.School().Skinned(0);
        ASSERT_EQ(skinned != nullptr, animated == 1);
        for (int frame = 0; frame < 3; ++frame) {
            AdvanceClock(16'000);
            const DWORD before = skinned ? skinned->GetPoseSerial() : 0;
            Frame(m_hwnd);
            if (!skinned) continue;
            const DWORD twoViews = skinned->GetPoseSerial() - before;
            g_nViews = 0;  // the same frame on one view
            AdvanceClock(16'000);
            const DWORD again = skinned->GetPoseSerial();
            Frame(m_hwnd);
            EXPECT_EQ(twoViews, skinned->GetPoseSerial() - again) << "posed once a frame";
            PlanMonitorViews(sideBySide, 2, 640, 480);
        }
        AdvanceClock(16'000);
        Frame(m_hwnd);
        const D3DXMATRIX& pose = g_Boids.GetBoids()[0].m_Instance.GetWorldMatrix();
        EXPECT_NEAR(std::sqrt(pose._11 * pose._11 + pose._12 * pose._12 + pose._13 * pose._13), 1.0f, 1e-4f);

        const std::vector<BYTE> px = Pixels();
        std::map<std::uint32_t, int> colours;  // of the left view: the most common is the sea
        int differ = 0;
        for (int y = 0; y < 480; ++y) {
            for (int x = 0; x < 320; ++x) {
                const BYTE* l = &px[(y * 640 + x) * 4];
                const BYTE* r = l + 320 * 4;
                differ += std::abs(l[0] - r[0]) + std::abs(l[1] - r[1]) + std::abs(l[2] - r[2]) > 12;
                ++colours[l[0] | l[1] << 8 | l[2] << 16];
            }
        }
        int sea = 0;
        for (const auto& [colour, count] : colours) sea = std::max(sea, count);
        EXPECT_GT(320 * 480 - sea, 320 * 480 / 20) << "a scene in the view";
        EXPECT_LT(differ, 320 * 480 / 200) << "the two views differ";
        ReleaseAll();
        DestroyWindow(m_hwnd);
        m_hwnd = nullptr;
        g_nViews = 0;
    }
}

TEST_F(Lifecycle, AFrameThatTookLongAdvancesByAtMostFiftyMilliseconds) {
    UseManualClock(1'000'000);
    ASSERT_EQ(Start(), 1);
    FrameTimer(TimerCommand::Start);
    AdvanceClock(200'000);  // 0.2 s
    Frame(m_hwnd);
    EXPECT_FLOAT_EQ(g_fElapsedTime, 0.05f);
    AdvanceClock(16'000);
    Frame(m_hwnd);
    EXPECT_NEAR(g_fElapsedTime, 0.016f, 1e-6f);
    EXPECT_NEAR(g_fAppTime, 0.216f, 1e-5f);
}

TEST_F(Lifecycle, ALostDeviceIsResetAndTheRendererStatesReapplied) {
    ASSERT_EQ(Start(), 1);
    g_Camera.SetPosition(50.0f, 60.0f, 70.0f);
    g_pDevice->SetRenderState(D3DRS_FOGENABLE, FALSE);
    SimulateDeviceLoss(g_pDevice);
    Frame(m_hwnd);
    EXPECT_EQ(g_pDevice->TestCooperativeLevel(), S_OK);
    D3DXVECTOR3 eye = g_Camera.GetPosition();
    EXPECT_FLOAT_EQ(eye.x, 0.0f);
    EXPECT_FLOAT_EQ(eye.z, -240.0f);
    DWORD fog = 0;
    g_pDevice->GetRenderState(D3DRS_FOGENABLE, &fog);
    EXPECT_EQ(fog, 1u);
    Frame(m_hwnd);  // and frames go on
}

// A window that changed size keeps the camera where it is: only the states
// and the projection follow (a window being dragged resizes every frame).
TEST_F(Lifecycle, AResizedWindowKeepsTheCameraAndReappliesTheStates) {
    ASSERT_EQ(Start(), 1);
    g_Camera.SetPosition(50.0f, 60.0f, 70.0f);
    g_pDevice->SetRenderState(D3DRS_FOGENABLE, FALSE);
    g_PresentParams.BackBufferWidth += 8;  // the window's size no longer matches the back buffer
    FollowWindowSize(m_hwnd);
    EXPECT_EQ(g_pDevice->GetBackBufferWidth(), 320u);
    const D3DXVECTOR3 eye = g_Camera.GetPosition();
    EXPECT_FLOAT_EQ(eye.x, 50.0f);
    EXPECT_FLOAT_EQ(eye.z, 70.0f);
    DWORD fog = 0;
    g_pDevice->GetRenderState(D3DRS_FOGENABLE, &fog);
    EXPECT_EQ(fog, 1u);
}

TEST_F(Lifecycle, ReleaseSavesTheSettingsAndCanBeCalledAgain) {
    ASSERT_EQ(Start(), 1);
    ReleaseAll();
    EXPECT_EQ(g_pDevice, nullptr);
    EXPECT_EQ(g_bDeviceReady, 0);
    EXPECT_TRUE(std::filesystem::exists(RegistryFilePath(kSettingsKey)));
    Frame(m_hwnd);  // nothing happens without a device
    ReleaseAll();   // twice is harmless
}

// A damaged build (a model missing) fails in the middle of the objects'
// start-up: every level logs its failure up to the lifecycle's, the stage is
// named, the log file is written, and release copes with what did start.
TEST_F(Lifecycle, AFailedObjectStepLogsEachLevelAndReleaseCopesWithThePartialStart) {
    HideResourceForTest("PILLAR.X");
    const int started = Start();
    HideResourceForTest(nullptr);
    ASSERT_EQ(started, 0);
    const std::string log = g_ErrLog.Text();
    const std::string tail =
        "\tEarthAndPillar.InitDeviceObjects...\n"
        "\t\tm_pEarthMdl->LoadXFile...\n";
    ASSERT_NE(log.find(tail), std::string::npos) << log;
    const std::string failure =
        "\t\tm_pPillarBGO->InitDeviceObjects...\n"
        "\t\tm_pBackGroundMdl->LoadXFile...\n"
        "\t\t\tpDXFile->CreateEnumObject1...\n"
        "\t\t\tFailed\n"
        "\t\tFailed\n"
        "\t\tFailed\n"
        "\tFailed\n"
        "Failed\n";
    ASSERT_GE(log.size(), failure.size());
    EXPECT_EQ(log.substr(log.size() - failure.size()), failure) << log;
    EXPECT_EQ(log.find("WorldClock"), std::string::npos) << "no step runs after a failed one";
    EXPECT_STREQ(g_szFailedStage, "InitiateObjects");
    std::ifstream file(ErrLogPath());
    std::stringstream written;
    written << file.rdbuf();
    EXPECT_EQ(written.str(), log) << "the whole log reaches the file";

    ReleaseAll();  // the Earth and the renderer started; everything goes
    EXPECT_EQ(g_pDevice, nullptr);
    EXPECT_EQ(g_EarthAndPillar.GetFloating(), nullptr);
}

// A whale model or skinning shader that fails does not leave a saver
// without whales: they swim as rigid stand-ins, and stderr says so once.
TEST_F(Lifecycle, AFailedSkinnedWhaleFallsBackToRigidWhalesAndSaysSo) {
    for (const char* hidden : {"WHALESKINNED02.X", "WHALESKINNED03.X", "skinmesh2.vsh"}) {
        HideResourceForTest(hidden);
        testing::internal::CaptureStderr();
        const int started = Start();
        const std::string err = testing::internal::GetCapturedStderr();
        HideResourceForTest(nullptr);
        ASSERT_EQ(started, 1) << hidden;
        const bool school = std::strcmp(hidden, "WHALESKINNED03.X") != 0;
        const bool guide = std::strcmp(hidden, "WHALESKINNED02.X") != 0;
        EXPECT_EQ(g_WhaleDrawing.School().RigidFallback(), school) << hidden;
        EXPECT_EQ(g_WhaleDrawing.Guide().RigidFallback(), guide) << hidden;
        EXPECT_EQ(g_WhaleDrawing.School().Skinned(0) == nullptr, school) << hidden;
        EXPECT_NE(err.find("rigid whales swim instead"), std::string::npos) << hidden << ": " << err;
        // The rigid whales are queued for drawing like any rigid model.
        Frame(m_hwnd);
        ReleaseAll();
    }
}

// The full-screen back buffer follows intDisMod (2: 800 x 600); the test
// window's is always its client area.
TEST_F(Lifecycle, DisplayModeTwoGivesAnEightHundredBySixHundredFullScreenBufferOnly) {
    Settings s;
    s.intDisMod = 2;
    s.intChkEarth = s.intChkPillar = s.intChkMoon = s.intChkFltPillar = s.intChkClock = 0;
    s.Save();
    ASSERT_EQ(StartFullScreen(), 1) << g_ErrLog.Text();
    EXPECT_EQ(g_pDevice->GetBackBufferWidth(), 800u);
    EXPECT_EQ(g_pDevice->GetBackBufferHeight(), 600u);
    ReleaseAll();
    DestroyWindow(m_hwnd);
    m_hwnd = nullptr;

    ASSERT_EQ(Start(320, 240), 1) << g_ErrLog.Text();
    EXPECT_EQ(g_pDevice->GetBackBufferWidth(), 320u);
    EXPECT_EQ(g_pDevice->GetBackBufferHeight(), 240u);
}

// Applying the fog without force when nothing changed touches neither the
// device nor the camera; a colour change makes the next Apply do its work.
TEST_F(Lifecycle, FogApplyWithoutForceDoesNothingUntilTheColourChanges) {
    ASSERT_EQ(Start(), 1);
    g_pDevice->SetRenderState(D3DRS_FOGENABLE, FALSE);
    D3DXMATRIX marker;
    D3DXMatrixScaling(&marker, 2.0f, 3.0f, 4.0f);
    g_Camera.SetProjMatrix(marker);
    EXPECT_EQ(g_Fog.Apply(g_pDevice, &g_Camera, g_fAspect, 0), 0);
    DWORD fog = 1;
    g_pDevice->GetRenderState(D3DRS_FOGENABLE, &fog);
    EXPECT_EQ(fog, 0u);
    EXPECT_EQ(g_Camera.GetProjection(), marker);

    g_Fog.SetColor(0xFF102030);
    g_Fog.Apply(g_pDevice, &g_Camera, g_fAspect, 0);
    g_pDevice->GetRenderState(D3DRS_FOGENABLE, &fog);
    EXPECT_EQ(fog, 1u);
    DWORD colour = 0;
    g_pDevice->GetRenderState(D3DRS_FOGCOLOR, &colour);
    EXPECT_EQ(colour, 0xFF102030u);
    EXPECT_NE(g_Camera.GetProjection(), marker);
}

// The saver asks for the default presentation interval: frames come no
// faster than the display refreshes, even where the driver cannot wait for
// the vertical blank (as on this offscreen driver), instead of spinning.
TEST_F(Lifecycle, FramesArePacedToTheRefreshRate) {
    ASSERT_EQ(Start(), 1);
    Frame(m_hwnd);
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 12; ++i) Frame(m_hwnd);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GE(seconds, 11.0 / 60.0 * 0.95);  // at most 60 frames per second
}

// The school swims from its start box, the path follows its centre, and the
// camera follows it by the mode of the settings: ten seconds of 50 ms frames.
class SchoolFrames : public gltest::SaverTest, public ::testing::WithParamInterface<int> {};

TEST_P(SchoolFrames, TheCameraFollowsTheSchool) {
    const int mode = GetParam();
    Settings s;
    s.intCamMod = mode;
    s.Save();
    g_CameraModes.SetPhase(0.0f);  // as at program start
    UseManualClock(1'000'000);
    ASSERT_EQ(Start(), 1);
    FrameTimer(TimerCommand::Start);
    const D3DXVECTOR3 start = g_Boids.GetCentre();
    for (int i = 0; i < 200; ++i) {
        AdvanceClock(50'000);
        Frame(m_hwnd);
    }
    const D3DXVECTOR3 centre = g_Boids.GetCentre();
    const D3DXVECTOR3 swum = centre - start;
    EXPECT_GT(D3DXVec3Length(&swum), 20.0f);
    const D3DXVECTOR3 pathOffset = g_Ferguson.GetCentre() - centre;
    EXPECT_LT(D3DXVec3Length(&pathOffset), 1e-3f);

    const D3DXVECTOR3 eye = g_Camera.GetPosition();
    const D3DXMATRIX& pose = g_Camera.GetPose();
    D3DXVECTOR3 toSchool = centre - eye;
    D3DXVec3Normalize(&toSchool, &toSchool);
    const float facing = pose._31 * toSchool.x + pose._32 * toSchool.y + pose._33 * toSchool.z;
    if (mode == 1) {
        const D3DXMATRIX& rig = g_CameraRig.GetWorldMatrix();
        EXPECT_NEAR(eye.x, rig._41, 1e-2f);
        EXPECT_NEAR(eye.z, rig._43, 1e-2f);
        EXPECT_GT(facing, 0.999f);  // looking straight at the school
    } else if (mode == 2) {
        EXPECT_GT(facing, 0.999f);
        EXPECT_NEAR(g_CameraModes.GetPhase(), 0.035f * 10.0f, 1e-3f);
    } else {
        // Circling (0, 10, 0) from (0, 0, -240): 125 units along the circle in 10 s.
        const D3DXVECTOR3 fromStart = eye - D3DXVECTOR3(0, 0, -240);
        EXPECT_NEAR(D3DXVec3Length(&fromStart), 123.6f, 1.0f);
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, SchoolFrames, ::testing::Values(1, 2, 3));
