// The Earth-and-pillar set piece on the real device with the real content:
// what each setting creates and queues, the start-up log, and the floating
// ring's poses (ring position, facing, scale, tumble, bob, wrap-arounds).
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "render/zsort_render.h"
#include "scene/earth_and_pillar.h"
#include "settings/settings.h"
#include "core/errlog.h"
#include "tests/gl/device_harness.h"
#include "tests/gl/scene_test_util.h"

namespace gltest {
namespace {

constexpr float kTwoPi = 6.2831855f;

float RowLength(const D3DXMATRIX& w, int row) {
    const float* r = &w.m[row][0];
    return std::sqrt(r[0] * r[0] + r[1] * r[1] + r[2] * r[2]);
}

class EarthAndPillarTest : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        m_savedRingAngle = EarthAndPillar::s_fRingAngle;
        s.intChkEarth = s.intChkPillar = s.intChkMoon = s.intChkFltPillar = 0;
    }
    void TearDown() override {
        scene.DeleteDeviceObjects();  // before the device goes
        EarthAndPillar::s_fRingAngle = m_savedRingAngle;
        DeviceTest::TearDown();
    }

    // High above the scene, looking straight down, far enough to see the
    // whole ring, the moons and the pillar sets.
    static Camera Above() {
        Camera camera;
        camera.SetProjection(nullptr, 1.0f, 1.0f, 100000.0f);
        camera.SetPosition(0.0f, 30000.0f, 0.0f);
        camera.LookAt(nullptr, D3DXVECTOR3(0.0f, 0.0f, 0.0f), D3DXVECTOR3(0.0f, 0.0f, 1.0f));
        camera.UpdateFrustum();
        return camera;
    }

    // Ring angle 0 and every phase 0, then one pose without time passing.
    void PoseAtRest() {
        EarthAndPillar::s_fRingAngle = 0.0f;
        for (int i = 0; i < scene.GetFloatingCount(); ++i) scene.GetPhases()[i] = 0.0f;
        scene.Update(0.0f);
    }

    Settings s;
    ErrLog log;
    ZSortRender renderer;
    EarthAndPillar scene;
    float m_savedRingAngle = 0.0f;
};

TEST_F(EarthAndPillarTest, AllGroupsOffCreatesAndQueuesNothingButTheRingStillTurns) {
    ASSERT_EQ(scene.InitDeviceObjects(dev(), &s, &log), S_OK);
    EXPECT_EQ(log.Length(), 0u) << log.Text();  // no group began loading
    EXPECT_EQ(scene.GetFloatingCount(), 0);
    EXPECT_EQ(scene.GetFloating(), nullptr);
    EXPECT_EQ(scene.GetPhases(), nullptr);

    EarthAndPillar::s_fRingAngle = 0.0f;
    scene.Update(0.05f);
    EXPECT_FLOAT_EQ(EarthAndPillar::s_fRingAngle, 0.005f * 0.05f);

    Camera camera = Above();
    EXPECT_EQ(scene.Render(dev(), &camera, &camera.GetFrustum(), 0, &renderer), 0);
    EXPECT_EQ(renderer.GetCount(), 0u);
}

TEST_F(EarthAndPillarTest, StartWithEveryGroupLogsItsStepsInOrder) {
    s.intChkEarth = s.intChkPillar = s.intChkMoon = s.intChkFltPillar = 1;
    ASSERT_EQ(scene.InitDeviceObjects(dev(), &s, &log), S_OK) << log.Text();
    const std::string text = log.Text();
    EXPECT_EQ(text.rfind("\t\tm_pEarthMdl->LoadXFile...\n", 0), 0u) << text;
    // The group lines in order; each model and set adds its own deeper or
    // set-level lines in between.
    std::size_t at = 0;
    for (const char* line : {"\t\tm_pEarthMdl->LoadXFile...\n", "\t\tm_pPillarBGO->InitDeviceObjects...\n",
                             "\t\tm_pPillarBGO2->InitDeviceObjects...\n", "\t\tm_pMoonBGO->InitDeviceObject...\n",
                             "\t\tm_pFltPillarMdl->LoadXFile..\n"}) {
        const std::size_t found = text.find(line, at);
        ASSERT_NE(found, std::string::npos) << "missing or out of order: " << line << "in\n" << text;
        at = found + 1;
    }
    EXPECT_EQ(text.find("Failed"), std::string::npos) << text;
    EXPECT_EQ(text.find("NULL"), std::string::npos) << text;
    EXPECT_EQ(scene.GetFloatingCount(), 12);

    // Everything is in view from above: the Earth, 24 + 4 pillars, 4 moons
    // and the ring all queue something.
    PoseAtRest();
    Camera camera = Above();
    scene.Render(dev(), &camera, &camera.GetFrustum(), 0, &renderer);
    const XModel* floating = scene.GetFloating()[0].GetModel();
    EXPECT_EQ(QueuedFrom(renderer, floating), 12 * static_cast<int>(floating->m_dwMeshDisplayNum));
    EXPECT_GT(renderer.GetCount(), 12u * floating->m_dwMeshDisplayNum + 24u + 4u + 4u);
}

TEST_F(EarthAndPillarTest, OnlyTheFloatingRingQueuesTwelvePillarTwoInstances) {
    s.intChkFltPillar = 1;
    ASSERT_EQ(scene.InitDeviceObjects(dev(), &s, &log), S_OK) << log.Text();
    ASSERT_EQ(scene.GetFloatingCount(), 12);
    // The ring is the only group that logs.
    EXPECT_EQ(std::string(log.Text()).rfind("\t\tm_pFltPillarMdl->LoadXFile..\n", 0), 0u) << log.Text();

    const XModel* model = scene.GetFloating()[0].GetModel();
    ASSERT_NE(model, nullptr);
    ASSERT_GT(model->m_dwMeshDisplayNum, 0u);
    EXPECT_STREQ(model->m_szName, "PILLAR2.X");
    for (int i = 1; i < 12; ++i) EXPECT_EQ(scene.GetFloating()[i].GetModel(), model) << "pillar " << i;
    // Starting phases lie in (-2π, 2π).
    for (int i = 0; i < 12; ++i) {
        EXPECT_GT(scene.GetPhases()[i], -kTwoPi) << i;
        EXPECT_LT(scene.GetPhases()[i], kTwoPi) << i;
    }

    scene.Update(0.016f);
    Camera camera = Above();
    scene.Render(dev(), &camera, &camera.GetFrustum(), 0, &renderer);
    EXPECT_EQ(renderer.GetCount(), 12u * model->m_dwMeshDisplayNum);
    EXPECT_EQ(QueuedFrom(renderer, model), 12 * static_cast<int>(model->m_dwMeshDisplayNum));
    // Each pillar is queued with its own pose.
    for (int i = 0; i < 12; ++i) {
        bool found = false;
        const D3DXMATRIX& w = scene.GetFloating()[i].GetWorldMatrix();
        for (DWORD e = 0; e < renderer.GetCount() && !found; ++e) found = renderer.GetEntry(e).m_matWorld == w;
        EXPECT_TRUE(found) << "pillar " << i << " not queued";
    }
}

TEST_F(EarthAndPillarTest, AtRestPillarsStandOnTheRingFacingTheCentre) {
    s.intChkFltPillar = 1;
    ASSERT_EQ(scene.InitDeviceObjects(dev(), &s, &log), S_OK) << log.Text();
    PoseAtRest();

    const D3DXMATRIX& p0 = scene.GetFloating()[0].GetWorldMatrix();
    EXPECT_NEAR(p0._41, 0.0f, 1e-3f);
    EXPECT_FLOAT_EQ(p0._42, 0.0f);  // no bob
    EXPECT_FLOAT_EQ(p0._43, 4500.0f);
    for (int row = 0; row < 3; ++row) EXPECT_NEAR(RowLength(p0, row), 1200.0f, 0.05f) << "row " << row;
    // Local z points from (0, 0, 4500) at the origin; y stays up.
    EXPECT_NEAR(p0._31, 0.0f, 1e-3f);
    EXPECT_NEAR(p0._32, 0.0f, 1e-3f);
    EXPECT_NEAR(p0._33, -1200.0f, 0.05f);
    EXPECT_NEAR(p0._22, 1200.0f, 0.05f);
    EXPECT_FLOAT_EQ(p0._44, 1.0f);

    const D3DXMATRIX& p3 = scene.GetFloating()[3].GetWorldMatrix();  // θ = π/2
    EXPECT_NEAR(p3._41, 4500.0f, 0.01f);
    EXPECT_FLOAT_EQ(p3._42, 0.0f);
    EXPECT_NEAR(p3._43, 0.0f, 0.01f);
    EXPECT_NEAR(p3._31, -1200.0f, 0.05f);
    EXPECT_NEAR(p3._33, 0.0f, 0.01f);

    // Twelve pillars 30° apart on the 4500 circle.
    for (int i = 0; i < 12; ++i) {
        const D3DXMATRIX& w = scene.GetFloating()[i].GetWorldMatrix();
        EXPECT_NEAR(w._41, 4500.0 * std::sin(i * M_PI / 6.0), 0.05) << i;
        EXPECT_NEAR(w._43, 4500.0 * std::cos(i * M_PI / 6.0), 0.05) << i;
    }

    // The pose is rebuilt each frame, not accumulated; the spare matrix is reset.
    const D3DXMATRIX before = p0;
    scene.GetFloating()[0].m_matSpare._12 = 7.0f;
    scene.Update(0.0f);
    EXPECT_EQ(scene.GetFloating()[0].GetWorldMatrix(), before);
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    EXPECT_EQ(scene.GetFloating()[0].m_matSpare, identity);
}

// W = Rx(φ) Rz(φ) S(1200) L T(0, 2500 sin φ, 0): tumble in the pillar's own
// axes, bob along world y, ring swung by sin(ring angle) × 2π.
TEST_F(EarthAndPillarTest, TumbleBobAndSwingComposeInTheirFrames) {
    s.intChkFltPillar = 1;
    ASSERT_EQ(scene.InitDeviceObjects(dev(), &s, &log), S_OK) << log.Text();
    const float ring = 0.3f;
    const float phase = 1.0f;
    const int i = 5;
    EarthAndPillar::s_fRingAngle = ring;
    scene.GetPhases()[i] = phase;
    scene.Update(0.0f);

    const double theta = i * (2.0 * M_PI / 12.0) - std::sin(ring) * 2.0 * M_PI;
    const D3DXVECTOR3 at(static_cast<float>(std::sin(theta) * 4500.0), 0.0f,
                         static_cast<float>(std::cos(theta) * 4500.0));
    // Facing the centre with y up: z = -at / |at|, x = y × z, y = z × x.
    D3DXVECTOR3 z(-at.x / 4500.0f, 0.0f, -at.z / 4500.0f);
    D3DXVECTOR3 x(z.z, 0.0f, -z.x);
    D3DXMATRIX look(x.x, x.y, x.z, 0, 0, 1, 0, 0, z.x, z.y, z.z, 0, at.x, 2500.0f * std::sin(phase), at.z, 1);
    D3DXMATRIX rx, rz, scale, expected;
    D3DXMatrixRotationX(&rx, phase);
    D3DXMatrixRotationZ(&rz, phase);
    D3DXMatrixScaling(&scale, 1200.0f, 1200.0f, 1200.0f);
    D3DXMatrixMultiply(&expected, &rx, &rz);
    D3DXMatrixMultiply(&expected, &expected, &scale);
    D3DXMatrixMultiply(&expected, &expected, &look);
    EXPECT_TRUE(MatrixNear(scene.GetFloating()[i].GetWorldMatrix(), expected, 0.05f));

    // A frame advances the phase by 0.1 rad/s and the ring by 0.005 rad/s.
    scene.Update(0.05f);
    EXPECT_FLOAT_EQ(scene.GetPhases()[i], phase + 0.1f * 0.05f);
    EXPECT_FLOAT_EQ(EarthAndPillar::s_fRingAngle, ring + 0.005f * 0.05f);
}

TEST_F(EarthAndPillarTest, PhaseAndRingWrapToZeroWithoutAJump) {
    s.intChkFltPillar = 1;
    ASSERT_EQ(scene.InitDeviceObjects(dev(), &s, &log), S_OK) << log.Text();
    PoseAtRest();
    const float dt = 0.02f;  // moves a phase by 0.002 rad

    // Just below 2π: the pose of a full turn.
    scene.GetPhases()[4] = kTwoPi - 0.001f;
    EarthAndPillar::s_fRingAngle = 0.0f;
    scene.Update(0.0f);
    const D3DXMATRIX before = scene.GetFloating()[4].GetWorldMatrix();

    // One frame later the phase has passed 2π and reads 0. The ring is held
    // at 0 (it is advanced by exactly the frame's step) so only the phase moves.
    EarthAndPillar::s_fRingAngle = -(0.005f * dt);
    scene.Update(dt);
    EXPECT_EQ(EarthAndPillar::s_fRingAngle, 0.0f);
    EXPECT_EQ(scene.GetPhases()[4], 0.0f);
    const D3DXMATRIX after = scene.GetFloating()[4].GetWorldMatrix();
    // 0.001 rad of tumble and 2.5 units of bob apart: far below the 1200 scale.
    EXPECT_TRUE(MatrixNear(after, before, 0.005f * 1200.0f));
    EXPECT_FLOAT_EQ(after._42, 0.0f);

    // The ring angle wraps the same way.
    EarthAndPillar::s_fRingAngle = kTwoPi - 0.0001f;
    scene.Update(0.05f);  // + 0.00025 rad
    EXPECT_EQ(EarthAndPillar::s_fRingAngle, 0.0f);
    EarthAndPillar::s_fRingAngle = kTwoPi - 0.001f;
    scene.Update(0.05f);  // stays below 2π
    EXPECT_FLOAT_EQ(EarthAndPillar::s_fRingAngle, kTwoPi - 0.001f + 0.00025f);
}

}  // namespace
}  // namespace gltest
