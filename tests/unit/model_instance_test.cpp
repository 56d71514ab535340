// Model instances: the matrix operations the scene objects pose themselves
// with, and the calls that need a model.
#include <gtest/gtest.h>

#include <cmath>

#include "platform/d3dx/d3dx_math.h"
#include "scene/model_instance.h"

namespace {

constexpr float kHalfPi = 1.57079633f;

void ExpectRow(const D3DXMATRIX& m, int row, float x, float y, float z) {
    EXPECT_NEAR(m.m[row][0], x, 1e-5f) << "row " << row;
    EXPECT_NEAR(m.m[row][1], y, 1e-5f) << "row " << row;
    EXPECT_NEAR(m.m[row][2], z, 1e-5f) << "row " << row;
}

TEST(ModelInstance, StartsAsAnIdentityPlacementWithoutAModel) {
    ModelInstance inst;
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    EXPECT_EQ(inst.GetWorldMatrix(), identity);
    EXPECT_EQ(inst.m_matSpare, identity);
    EXPECT_EQ(inst.m_qOrientation, D3DXQUATERNION(0, 0, 0, 1));
    EXPECT_EQ(inst.GetModel(), nullptr);
    // Drawing and culling need a model; the query just misses.
    FrustumRecord frustum{};
    EXPECT_EQ(inst.Render(nullptr, nullptr, &frustum, 0, nullptr), E_FAIL);
    EXPECT_EQ(inst.IsVisible(nullptr, &frustum), Visibility::kNoModel);
    EXPECT_EQ(static_cast<int>(Visibility::kNoModel), E_FAIL);
    D3DXVECTOR3 n(5, 5, 5);
    EXPECT_EQ(inst.Intersect({0, 0, -10}, {0, 0, 10}, &n), 0);
    EXPECT_EQ(n, D3DXVECTOR3(5, 5, 5));
}

TEST(ModelInstance, PositionIsTheTranslationRowAndIsCached) {
    ModelInstance inst;
    inst.RotateX(0.5f, 1);
    inst.SetPosition(1, 2, 3);
    D3DXVECTOR3 p(0, 0, 0);
    EXPECT_EQ(inst.GetPosition(&p), &p);
    EXPECT_EQ(p, D3DXVECTOR3(1, 2, 3));
    EXPECT_EQ(inst.m_vPosition, D3DXVECTOR3(1, 2, 3));
    // SetPosition leaves the rotation alone.
    D3DXMATRIX r;
    D3DXMatrixRotationX(&r, 0.5f);
    ExpectRow(inst.GetWorldMatrix(), 1, r._21, r._22, r._23);
}

TEST(ModelInstance, TranslateMovesAlongWorldOrOwnScaledAxes) {
    ModelInstance world, local;
    world.Scale(10);
    local.Scale(10);
    world.Translate(0, 100, 0, 1);
    local.Translate(0, 100, 0, 0);
    ExpectRow(world.GetWorldMatrix(), 3, 0, 100, 0);
    ExpectRow(local.GetWorldMatrix(), 3, 0, 1000, 0);
    // The scale itself is untouched either way.
    ExpectRow(world.GetWorldMatrix(), 0, 10, 0, 0);
    ExpectRow(local.GetWorldMatrix(), 0, 10, 0, 0);
}

TEST(ModelInstance, RotationsTurnAboutTheOriginOrInPlace) {
    // A quarter turn about x (left-handed: +y goes to +z) at (0, 10, 0).
    ModelInstance world, local;
    world.SetPosition(0, 10, 0);
    local.SetPosition(0, 10, 0);
    world.RotateX(kHalfPi, 1);  // about the world origin: the position turns too
    local.RotateX(kHalfPi, 0);  // about the instance's own origin: it stays
    ExpectRow(world.GetWorldMatrix(), 3, 0, 0, 10);
    ExpectRow(local.GetWorldMatrix(), 3, 0, 10, 0);
    ExpectRow(local.GetWorldMatrix(), 1, 0, 0, 1);  // local y now points along world z

    ModelInstance spin;
    spin.SetPosition(10, 0, 0);
    spin.RotateZ(kHalfPi, 1);  // +x goes to +y
    ExpectRow(spin.GetWorldMatrix(), 3, 0, 10, 0);
    spin.RotateZ(kHalfPi, 0);
    ExpectRow(spin.GetWorldMatrix(), 3, 0, 10, 0);
    ExpectRow(spin.GetWorldMatrix(), 0, -1, 0, 0);  // two quarter turns of the axes
}

TEST(ModelInstance, ScaleComposesInLocalAxes) {
    ModelInstance inst;
    inst.SetPosition(1, 2, 3);
    inst.Scale(2);
    inst.Scale(2);
    ExpectRow(inst.GetWorldMatrix(), 0, 4, 0, 0);
    ExpectRow(inst.GetWorldMatrix(), 2, 0, 0, 4);
    ExpectRow(inst.GetWorldMatrix(), 3, 1, 2, 3);  // a local scale leaves the position
}

TEST(ModelInstance, LookAtPointsLocalZAtTheTargetKeepingPosition) {
    ModelInstance inst;
    inst.SetPosition(0, 0, -10);
    inst.LookAt(0, 0, 0);
    ExpectRow(inst.GetWorldMatrix(), 0, 1, 0, 0);
    ExpectRow(inst.GetWorldMatrix(), 1, 0, 1, 0);
    ExpectRow(inst.GetWorldMatrix(), 2, 0, 0, 1);
    EXPECT_EQ(inst.m_vPosition, D3DXVECTOR3(0, 0, -10));

    // Toward +x from a scaled instance: z = +x, x = up x z = -z, y = z x x = +y;
    // the scale is gone, the translation row and fourth column stay.
    ModelInstance turned;
    turned.Scale(3);
    turned.SetPosition(5, 1, 2);
    turned.LookAt(25, 1, 2);
    const D3DXMATRIX& m = turned.GetWorldMatrix();
    ExpectRow(m, 2, 1, 0, 0);
    ExpectRow(m, 0, 0, 0, -1);
    ExpectRow(m, 1, 0, 1, 0);
    ExpectRow(m, 3, 5, 1, 2);
    EXPECT_EQ(m._44, 1.0f);
    EXPECT_EQ(m._14, 0.0f);

    // Toward a point up and to the side: the rows stay orthonormal and z aims at it.
    ModelInstance aimed;
    aimed.LookAt(3, 4, 12);
    const D3DXMATRIX& a = aimed.GetWorldMatrix();
    ExpectRow(a, 2, 3.0f / 13, 4.0f / 13, 12.0f / 13);
    const D3DXVECTOR3 x(a._11, a._12, a._13), y(a._21, a._22, a._23), z(a._31, a._32, a._33);
    EXPECT_NEAR(D3DXVec3Dot(&x, &y), 0.0f, 1e-5f);
    EXPECT_NEAR(D3DXVec3Dot(&x, &z), 0.0f, 1e-5f);
    EXPECT_NEAR(D3DXVec3Length(&y), 1.0f, 1e-5f);
    EXPECT_NEAR(x.y, 0.0f, 1e-6f);  // the x axis stays level
}

}  // namespace
