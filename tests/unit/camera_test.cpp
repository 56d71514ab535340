// Camera pose, translation and frustum (no device needed: a null device
// skips the transform calls).
#include <gtest/gtest.h>

#include <cmath>

#include "view/camera.h"

namespace {

float PlaneDist(const D3DXPLANE& p, const D3DXVECTOR3& v) { return p.a * v.x + p.b * v.y + p.c * v.z + p.d; }

void ExpectNear(const D3DXVECTOR3& a, const D3DXVECTOR3& b, float tol = 1e-3f) {
    EXPECT_NEAR(a.x, b.x, tol);
    EXPECT_NEAR(a.y, b.y, tol);
    EXPECT_NEAR(a.z, b.z, tol);
}

}  // namespace

TEST(Camera, ResetAndPlaceGivesTheEyeAndATranslationView) {
    Camera cam;
    D3DXMATRIX turn;
    D3DXMatrixRotationY(&turn, 1.0f);
    cam.SetPose(turn);
    cam.ResetMatrices();
    cam.SetPosition(0.0f, 0.0f, -240.0f);
    ExpectNear(cam.GetPosition(), D3DXVECTOR3(0, 0, -240));
    cam.SetProjection(nullptr, 4.0f / 3.0f, 1.0f, 10000.0f);
    cam.UpdateFrustum();
    const D3DXMATRIX& v = cam.GetView();
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 4; ++c) EXPECT_FLOAT_EQ(v.m[r][c], r == c ? 1.0f : 0.0f);
    }
    EXPECT_FLOAT_EQ(v._41, 0.0f);
    EXPECT_FLOAT_EQ(v._43, 240.0f);
    EXPECT_FLOAT_EQ(v._44, 1.0f);
}

TEST(Camera, TranslateInWorldAxesOrAlongItsOwnAxes) {
    Camera cam;
    D3DXMATRIX turn;
    D3DXMatrixRotationY(&turn, static_cast<float>(M_PI / 2));  // camera looks along world +x
    cam.SetPose(turn);
    cam.SetPosition(10.0f, 0.0f, 0.0f);

    cam.Translate(0.0f, 0.0f, 5.0f, 1);  // world axes: +z
    ExpectNear(cam.GetPosition(), D3DXVECTOR3(10, 0, 5));

    cam.Translate(0.0f, 0.0f, 5.0f, 0);  // own axes: forward, which is world +x
    ExpectNear(cam.GetPosition(), D3DXVECTOR3(15, 0, 5));

    cam.Translate(0.0f, 2.0f, 0.0f, 0);  // own up is world up
    ExpectNear(cam.GetPosition(), D3DXVECTOR3(15, 2, 5));
}

TEST(Camera, LookAtTurnsThePoseTowardTheTarget) {
    Camera cam;
    cam.SetPosition(0.0f, 0.0f, -100.0f);
    cam.LookAt(nullptr, D3DXVECTOR3(100.0f, 0.0f, -100.0f), D3DXVECTOR3(0.0f, 1.0f, 0.0f));
    const D3DXMATRIX& pose = cam.GetPose();
    ExpectNear(D3DXVECTOR3(pose._31, pose._32, pose._33), D3DXVECTOR3(1, 0, 0));  // forward row
    ExpectNear(cam.GetPosition(), D3DXVECTOR3(0, 0, -100));
}

TEST(Camera, FrustumCornersAndInwardPlanes) {
    Camera cam;
    cam.SetProjection(nullptr, 4.0f / 3.0f, 1.0f, 10000.0f);
    cam.SetPosition(0.0f, 0.0f, -240.0f);
    cam.UpdateFrustum();
    const FrustumRecord& f = cam.GetFrustum();
    const float h = std::tan(Camera::kFieldOfView / 2);
    ExpectNear(f.corners[0], D3DXVECTOR3(-h * 4 / 3, -h, -239), 1e-2f);  // near bottom-left
    ExpectNear(f.corners[7], D3DXVECTOR3(h * 4 / 3 * 10000, h * 10000, 9760), 5.0f);  // far top-right

    D3DXVECTOR3 ahead(0, 0, 0);
    for (const D3DXPLANE& p : f.planes) EXPECT_GT(PlaneDist(p, ahead), 0.0f);
    EXPECT_LT(PlaneDist(f.planes[kPlaneNear], D3DXVECTOR3(0, 0, -300)), 0.0f);
    EXPECT_LT(PlaneDist(f.planes[kPlaneFar], D3DXVECTOR3(0, 0, 20000)), 0.0f);
    EXPECT_LT(PlaneDist(f.planes[kPlaneLeft], D3DXVECTOR3(-5000, 0, 0)), 0.0f);
    EXPECT_LT(PlaneDist(f.planes[kPlaneRight], D3DXVECTOR3(5000, 0, 0)), 0.0f);
    EXPECT_LT(PlaneDist(f.planes[kPlaneTop], D3DXVECTOR3(0, 5000, 0)), 0.0f);
    EXPECT_LT(PlaneDist(f.planes[kPlaneBottom], D3DXVECTOR3(0, -5000, 0)), 0.0f);
}

TEST(Camera, BillboardIsThePoseWithoutTranslation) {
    Camera cam;
    D3DXMATRIX turn;
    D3DXMatrixRotationX(&turn, 0.3f);
    cam.SetPose(turn);
    cam.SetPosition(1, 2, 3);
    D3DXMATRIX b = cam.GetBillboard();
    EXPECT_FLOAT_EQ(b._41, 0.0f);
    EXPECT_FLOAT_EQ(b._42, 0.0f);
    EXPECT_FLOAT_EQ(b._43, 0.0f);
    EXPECT_FLOAT_EQ(b._23, turn._23);
    ExpectNear(cam.GetPosition(), D3DXVECTOR3(1, 2, 3));  // the pose itself keeps its eye
}
