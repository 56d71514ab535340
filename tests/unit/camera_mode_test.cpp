// The camera modes: floating on the rig, the composite swing with its zoom,
// phase wrap and field-of-view floor, the rotating orbit step and its radius
// over hours, and mode numbers outside 1..3.
#include <gtest/gtest.h>

#include <cmath>

#include "view/camera_mode.h"

namespace {

constexpr float kPi = 3.14159265f;

// The field of view a D3DX perspective projection was built with.
float FieldOfView(const D3DXMATRIX& projection) { return 2.0f * std::atan(1.0f / projection._22); }

CameraModeInput Input(int mode, const D3DXVECTOR3& centre, float dt) {
    CameraModeInput in;
    in.mode = mode;
    D3DXMatrixTranslation(&in.rigPose, 100.0f, 20.0f, -300.0f);
    in.flockCentre = centre;
    in.dt = dt;
    return in;
}

D3DXVECTOR3 Eye(const Camera& c) { return c.GetPosition(); }

void ExpectNear(const D3DXVECTOR3& a, const D3DXVECTOR3& b) {
    EXPECT_NEAR(a.x, b.x, 1e-3f);
    EXPECT_NEAR(a.y, b.y, 1e-3f);
    EXPECT_NEAR(a.z, b.z, 1e-3f);
}

TEST(CameraModes, FloatingStandsOnTheRigAndFacesTheSchool) {
    CameraModes modes;
    Camera camera;
    const D3DXVECTOR3 centre(-50, 10, 40);
    modes.Apply(nullptr, &camera, Input(1, centre, 0.05f));
    ExpectNear(Eye(camera), D3DXVECTOR3(100, 20, -300));
    D3DXVECTOR3 toCentre = centre - Eye(camera);
    D3DXVec3Normalize(&toCentre, &toCentre);
    const D3DXMATRIX& pose = camera.GetPose();
    EXPECT_NEAR(pose._31, toCentre.x, 1e-5f);
    EXPECT_NEAR(pose._32, toCentre.y, 1e-5f);
    EXPECT_NEAR(pose._33, toCentre.z, 1e-5f);
}

TEST(CameraModes, ModesOutsideOneToThreeFloat) {
    for (int mode : {0, 4, -1}) {
        CameraModes modes, reference;
        Camera camera, expected;
        modes.Apply(nullptr, &camera, Input(mode, D3DXVECTOR3(5, 6, 7), 0.05f));
        reference.Apply(nullptr, &expected, Input(1, D3DXVECTOR3(5, 6, 7), 0.05f));
        EXPECT_EQ(camera.GetPose(), expected.GetPose()) << "mode " << mode;
    }
}

TEST(CameraModes, CompositeKeepsTheStandardViewForASchoolNearTheMiddle) {
    CameraModes modes;
    Camera camera;
    const D3DXVECTOR3 centre(1, 1, 101);  // 100 units from (1, 1, 1): k = 1
    EXPECT_FLOAT_EQ(CameraModes::ZoomFieldOfView(centre), Camera::kFieldOfView);
    for (float phase : {0.0f, 1.0f, 3.0f, 4.7f}) {
        modes.SetPhase(phase);
        modes.Apply(nullptr, &camera, Input(2, centre, 0.05f));
        EXPECT_NEAR(FieldOfView(camera.GetProjection()), Camera::kFieldOfView, 1e-5f) << "phase " << phase;
    }
}

TEST(CameraModes, CompositeZoomsOnAFarSchoolAtTheFixedPoint) {
    CameraModes modes;
    Camera camera;
    const D3DXVECTOR3 centre(4001, 1, 1);  // 4000 units away: k = 10
    modes.Apply(nullptr, &camera, Input(2, centre, 0.0f));  // phase 0: s = 0, the eye at Q
    EXPECT_NEAR(FieldOfView(camera.GetProjection()), kPi / 35.0f, 1e-5f);
    ExpectNear(Eye(camera), D3DXVECTOR3(20, 20, 50));
}

TEST(CameraModes, CompositeFieldOfViewNeverReachesZero) {
    CameraModes modes;
    Camera camera;
    modes.SetPhase(1.5f * kPi);  // s = -1: 2 f_z - 2 pi / 7 < 0 for k = 10
    modes.Apply(nullptr, &camera, Input(2, D3DXVECTOR3(4001, 1, 1), 0.0f));
    EXPECT_FLOAT_EQ(modes.GetLastFieldOfView(), CameraModes::kMinFieldOfView);
    EXPECT_NEAR(FieldOfView(camera.GetProjection()), CameraModes::kMinFieldOfView, 1e-5f);
    for (int i = 0; i < 16; ++i) EXPECT_TRUE(std::isfinite((&camera.GetProjection()._11)[i]));
}

TEST(CameraModes, CompositePhaseWrapsToExactlyZero) {
    CameraModes modes;
    Camera camera;
    modes.SetPhase(CameraModes::kTwoPi - 0.001f);
    modes.Apply(nullptr, &camera, Input(2, D3DXVECTOR3(0, 0, 0), 0.05f));  // + 0.00175
    EXPECT_EQ(modes.GetPhase(), 0.0f);
    modes.Apply(nullptr, &camera, Input(2, D3DXVECTOR3(0, 0, 0), 0.05f));
    EXPECT_FLOAT_EQ(modes.GetPhase(), 0.035f * 0.05f);
}

TEST(CameraModes, CompositeEyeOnTheSchoolKeepsTheLastPose) {
    CameraModes modes;
    Camera camera;
    camera.SetPosition(1, 2, 3);
    const D3DXMATRIX before = camera.GetPose();
    modes.Apply(nullptr, &camera, Input(2, D3DXVECTOR3(20, 20, 50), 0.0f));  // s = 0: the eye is Q
    EXPECT_EQ(camera.GetPose(), before);
}

TEST(CameraModes, RotatingStepsAFortiethOfAUnitSidewaysPerFrame) {
    CameraModes modes;
    Camera camera;
    camera.SetPosition(0, 0, -240);
    const D3DXVECTOR3 aim(0, 10, 0);
    camera.LookAt(nullptr, aim, D3DXVECTOR3(0, 1, 0));
    D3DXVECTOR3 previous = Eye(camera);
    const D3DXVECTOR3 startOffset = previous - aim;
    const float startRadius = D3DXVec3Length(&startOffset);
    for (int i = 0; i < 200; ++i) {
        modes.Apply(nullptr, &camera, Input(3, D3DXVECTOR3(0, 0, 0), 0.05f));
        const D3DXVECTOR3 step = Eye(camera) - previous;
        EXPECT_NEAR(D3DXVec3Length(&step), 0.625f, 1e-3f);
        previous = Eye(camera);
    }
    // Circling (0, 10, 0) at the start's distance.
    const D3DXVECTOR3 offset = Eye(camera) - aim;
    EXPECT_NEAR(D3DXVec3Length(&offset), startRadius, 0.2f);
    const D3DXVECTOR3 travelled = previous - D3DXVECTOR3(0, 0, -240);
    EXPECT_GT(D3DXVec3Length(&travelled), 100.0f);
}

// Straight tangent steps alone would add each step's square to the squared
// radius: 240 units would grow to about 340 in these two hours at 20 frames
// a second, and the orbit would slow by as much.
TEST(CameraModes, RotatingKeepsItsRadiusHeightAndAngularSpeedForHours) {
    CameraModes modes;
    Camera camera;
    camera.SetPosition(0, 0, -240);
    const CameraModeInput in = Input(3, D3DXVECTOR3(0, 0, 0), 0.05f);
    double turned = 0.0;
    float angle = std::atan2(-240.0f, 0.0f);
    const int frames = 2 * 3600 * 20;
    for (int i = 0; i < frames; ++i) {
        modes.Apply(nullptr, &camera, in);
        const float now = std::atan2(Eye(camera).z, Eye(camera).x);
        turned += std::remainder(static_cast<double>(now) - angle, 2.0 * kPi);
        angle = now;
    }
    EXPECT_NEAR(std::hypot(Eye(camera).x, Eye(camera).z), 240.0f, 0.01f);
    EXPECT_NEAR(Eye(camera).y, 0.0f, 1e-3f);
    EXPECT_FLOAT_EQ(modes.GetOrbitRadius(), 240.0f);
    const double expected = frames * std::atan(0.625 / 240.0);  // 375 radians, in the same direction as the steps
    EXPECT_NEAR(std::fabs(turned), expected, expected * 1e-3);
    // Still facing the centre.
    D3DXVECTOR3 toAim = D3DXVECTOR3(0, 10, 0) - Eye(camera);
    D3DXVec3Normalize(&toAim, &toAim);
    EXPECT_NEAR(camera.GetPose()._31, toAim.x, 1e-4f);
    EXPECT_NEAR(camera.GetPose()._33, toAim.z, 1e-4f);
}

}  // namespace
