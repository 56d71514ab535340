// D3DX-style math: rotations, inverses, camera matrices, planes and
// quaternion interpolation checked against hand-worked values.
#include "platform/d3dx/d3dx_math.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

constexpr float kPi = 3.14159265358979f;
constexpr float kEps = 1e-5f;

void ExpectNear(const D3DXVECTOR3& v, float x, float y, float z, float eps = kEps) {
    EXPECT_NEAR(v.x, x, eps);
    EXPECT_NEAR(v.y, y, eps);
    EXPECT_NEAR(v.z, z, eps);
}

void ExpectMatrixNear(const D3DXMATRIX& a, const D3DXMATRIX& b, float eps = kEps) {
    for (unsigned i = 0; i < 4; ++i)
        for (unsigned j = 0; j < 4; ++j) EXPECT_NEAR(a(i, j), b(i, j), eps) << "at (" << i << "," << j << ")";
}

D3DXMATRIX Identity() {
    D3DXMATRIX m;
    return *D3DXMatrixIdentity(&m);
}

D3DXMATRIX Rotation(const D3DXQUATERNION& q) {
    D3DXMATRIX m;
    return *D3DXMatrixRotationQuaternion(&m, &q);
}

D3DXQUATERNION AxisAngle(float ax, float ay, float az, float angle) {
    D3DXQUATERNION q;
    const D3DXVECTOR3 axis(ax, ay, az);
    return *D3DXQuaternionRotationAxis(&q, &axis, angle);
}

// Angle of the rotation taking q1 to q2 (either cover), in radians.
float RotationAngleBetween(const D3DXQUATERNION& q1, const D3DXQUATERNION& q2) {
    const float d = std::fabs(D3DXQuaternionDot(&q1, &q2)) / (D3DXQuaternionLength(&q1) * D3DXQuaternionLength(&q2));
    return 2.0f * std::acos(std::fmin(1.0f, d));
}

TEST(D3DXMatrix, RotationsTurnAxesTheLeftHandedWay) {
    D3DXMATRIX m;
    D3DXVECTOR3 v;
    const D3DXVECTOR3 x(1, 0, 0), y(0, 1, 0), z(0, 0, 1);

    D3DXMatrixRotationY(&m, kPi / 2);
    ExpectNear(*D3DXVec3TransformCoord(&v, &z, &m), 1, 0, 0);   // z toward x
    ExpectNear(*D3DXVec3TransformCoord(&v, &x, &m), 0, 0, -1);
    D3DXMatrixRotationX(&m, kPi / 2);
    ExpectNear(*D3DXVec3TransformCoord(&v, &y, &m), 0, 0, 1);   // y toward z
    D3DXMatrixRotationZ(&m, kPi / 2);
    ExpectNear(*D3DXVec3TransformCoord(&v, &x, &m), 0, 1, 0);   // x toward y

    const float a = 0.3f, c = std::cos(a), s = std::sin(a);
    ExpectMatrixNear(*D3DXMatrixRotationY(&m, a), D3DXMATRIX(c, 0, -s, 0, 0, 1, 0, 0, s, 0, c, 0, 0, 0, 0, 1));
}

TEST(D3DXMatrix, ProductAppliesLeftOperandFirstAndAllowsAliasing) {
    D3DXMATRIX t, r, tr;
    D3DXMatrixTranslation(&t, 5, 0, 0);
    D3DXMatrixRotationZ(&r, kPi / 2);
    D3DXMatrixMultiply(&tr, &t, &r);
    const D3DXVECTOR3 origin(0, 0, 0);
    D3DXVECTOR3 v;
    ExpectNear(*D3DXVec3TransformCoord(&v, &origin, &tr), 0, 5, 0);  // moved, then turned
    ExpectMatrixNear(t * r, tr);

    D3DXMATRIX a = t;
    D3DXMatrixMultiply(&a, &a, &r);
    ExpectMatrixNear(a, tr);
    D3DXMATRIX b = r;
    D3DXMatrixMultiply(&b, &t, &b);
    ExpectMatrixNear(b, tr);
}

TEST(D3DXMatrix, InverseTimesOriginalIsIdentity) {
    D3DXMATRIX s, r, t, proj;
    D3DXMatrixScaling(&s, 2, 3, 0.5f);
    D3DXMatrixRotationYawPitchRoll(&r, 0.7f, -0.4f, 1.9f);
    D3DXMatrixTranslation(&t, 10, -240, 33);
    D3DXMatrixPerspectiveFovLH(&proj, 0.9f, 4.0f / 3.0f, 1.0f, 10000.0f);
    for (const D3DXMATRIX& m : {s * r * t, r * t * proj, D3DXMATRIX(1, 2, 0, 0, 0, 1, 3, 0, 4, 0, 1, 0, 0, 5, 0, 1)}) {
        D3DXMATRIX inv;
        float det = 0;
        ASSERT_EQ(D3DXMatrixInverse(&inv, &det, &m), &inv);
        EXPECT_NE(det, 0.0f);
        // Float rounding of the inputs scales with the translation (240).
        ExpectMatrixNear(m * inv, Identity(), 2e-3f);
        ExpectMatrixNear(inv * m, Identity(), 2e-3f);
    }

    float det = 0;
    D3DXMATRIX inv;
    D3DXMatrixInverse(&inv, &det, &s);
    EXPECT_NEAR(det, 3.0f, 1e-6f);
    D3DXMATRIX self = s * t;
    D3DXMatrixInverse(&self, nullptr, &self);  // in place
    ExpectMatrixNear(s * t * self, Identity());
}

TEST(D3DXMatrix, SingularInverseFailsAndLeavesOutput) {
    const D3DXMATRIX sentinel(9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9);
    const D3DXMATRIX repeatedRow(1, 2, 3, 4, 1, 2, 3, 4, 0, 0, 1, 0, 0, 0, 0, 1);
    D3DXMATRIX flat;
    D3DXMatrixScaling(&flat, 1, 0, 1);
    D3DXMATRIX notFinite = Identity();
    notFinite._22 = std::nanf("");
    for (const D3DXMATRIX& m : {repeatedRow, flat, notFinite}) {
        D3DXMATRIX out = sentinel;
        float det = 1;
        EXPECT_EQ(D3DXMatrixInverse(&out, &det, &m), nullptr);
        EXPECT_EQ(out, sentinel);
        EXPECT_TRUE(det == 0.0f || !std::isfinite(det));
    }
}

TEST(D3DXMatrix, TransposeAndTransformKinds) {
    D3DXMATRIX m(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16), mt;
    D3DXMatrixTranspose(&mt, &m);
    EXPECT_EQ(mt(0, 3), 13.0f);
    EXPECT_EQ(mt(3, 0), 4.0f);

    D3DXMATRIX t;
    D3DXMatrixTranslation(&t, 1, 2, 3);
    const D3DXVECTOR3 p(1, 1, 1);
    D3DXVECTOR3 v;
    ExpectNear(*D3DXVec3TransformNormal(&v, &p, &t), 1, 1, 1);  // directions ignore translation
    ExpectNear(*D3DXVec3TransformCoord(&v, &p, &t), 2, 3, 4);
    D3DXVECTOR4 v4;
    D3DXVec3Transform(&v4, &p, &m);  // (1,1,1,1) * m: column sums
    EXPECT_EQ(v4, D3DXVECTOR4(28, 32, 36, 40));
    ExpectNear(*D3DXVec3TransformCoord(&v, &p, &m), 28.0f / 40, 32.0f / 40, 36.0f / 40);
}

TEST(D3DXVector, NormalizeAndCross) {
    D3DXVECTOR3 v(3, 0, 4), n;
    ExpectNear(*D3DXVec3Normalize(&n, &v), 0.6f, 0, 0.8f);
    const D3DXVECTOR3 zero(0, 0, 0);
    EXPECT_EQ(*D3DXVec3Normalize(&n, &zero), zero);

    const D3DXVECTOR3 x(1, 0, 0), y(0, 1, 0);
    ExpectNear(*D3DXVec3Cross(&n, &x, &y), 0, 0, 1);

    D3DXVECTOR4 v4(0, 0, 0, 0), n4;
    EXPECT_EQ(*D3DXVec4Normalize(&n4, &v4), D3DXVECTOR4(0, 0, 0, 0));
    v4 = D3DXVECTOR4(1, 1, 1, 1);
    EXPECT_NEAR(D3DXVec4Normalize(&n4, &v4)->w, 0.5f, kEps);
}

TEST(D3DXCamera, LookAtAndPerspectiveMapKnownPoints) {
    // Camera at the origin looking along +x: camera right is world -z.
    D3DXMATRIX view, proj;
    const D3DXVECTOR3 eye(0, 0, 0), at(10, 0, 0), up(0, 1, 0);
    D3DXMatrixLookAtLH(&view, &eye, &at, &up);
    D3DXVECTOR3 v;
    const D3DXVECTOR3 ahead(5, 0, 0), right(0, 0, -1), above(0, 1, 0);
    ExpectNear(*D3DXVec3TransformCoord(&v, &ahead, &view), 0, 0, 5);
    ExpectNear(*D3DXVec3TransformCoord(&v, &right, &view), 1, 0, 0);
    ExpectNear(*D3DXVec3TransformCoord(&v, &above, &view), 0, 1, 0);

    // The saver's standard camera: eye (0, 0, -240) looking at the origin.
    const float fov = 2 * kPi / 7, aspect = 4.0f / 3.0f, zn = 1.0f, zf = 10000.0f;
    const D3DXVECTOR3 eye2(0, 0, -240), origin(0, 0, 0);
    D3DXMatrixLookAtLH(&view, &eye2, &origin, &up);
    D3DXMatrixPerspectiveFovLH(&proj, fov, aspect, zn, zf);
    const D3DXMATRIX vp = view * proj;
    const float h = std::tan(fov / 2);
    const D3DXVECTOR3 onNear(0, 0, -240 + zn), onFar(0, 0, -240 + zf);
    const D3DXVECTOR3 topEdge(0, 240 * h, 0), rightEdge(240 * h * aspect, 0, 0);
    ExpectNear(*D3DXVec3TransformCoord(&v, &onNear, &vp), 0, 0, 0, 1e-4f);
    ExpectNear(*D3DXVec3TransformCoord(&v, &onFar, &vp), 0, 0, 1, 1e-4f);
    D3DXVec3TransformCoord(&v, &topEdge, &vp);
    EXPECT_NEAR(v.y, 1.0f, kEps);
    D3DXVec3TransformCoord(&v, &rightEdge, &vp);
    EXPECT_NEAR(v.x, 1.0f, kEps);
    D3DXVECTOR4 clip;
    D3DXVec3Transform(&clip, &origin, &vp);
    EXPECT_NEAR(clip.w, 240.0f, 1e-3f);  // w is the camera-space depth
}

TEST(D3DXCamera, FrustumPlanesFromClipCornersFaceInward) {
    // Frustum planes built the way the camera builds them: clip-space corners
    // taken back to world space, planes through three corners each.
    const D3DXVECTOR3 eye(30, 20, -100), at(0, 0, 0), up(0, 1, 0);
    D3DXMATRIX view, proj, inv;
    D3DXMatrixLookAtLH(&view, &eye, &at, &up);
    D3DXMatrixPerspectiveFovLH(&proj, 2 * kPi / 7, 4.0f / 3.0f, 1.0f, 1000.0f);
    const D3DXMATRIX vp = view * proj;
    ASSERT_NE(D3DXMatrixInverse(&inv, nullptr, &vp), nullptr);
    const D3DXVECTOR3 clip[8] = {{-1, -1, 0}, {1, -1, 0}, {-1, 1, 0}, {1, 1, 0},
                                 {-1, -1, 1}, {1, -1, 1}, {-1, 1, 1}, {1, 1, 1}};
    D3DXVECTOR3 c[8];
    for (int i = 0; i < 8; ++i) D3DXVec3TransformCoord(&c[i], &clip[i], &inv);
    D3DXPLANE planes[6];
    D3DXPlaneFromPoints(&planes[0], &c[0], &c[1], &c[2]);  // near
    D3DXPlaneFromPoints(&planes[1], &c[6], &c[7], &c[5]);  // far
    D3DXPlaneFromPoints(&planes[2], &c[2], &c[6], &c[4]);  // left
    D3DXPlaneFromPoints(&planes[3], &c[7], &c[3], &c[5]);  // right
    D3DXPlaneFromPoints(&planes[4], &c[2], &c[3], &c[6]);  // top
    D3DXPlaneFromPoints(&planes[5], &c[1], &c[0], &c[4]);  // bottom

    for (const D3DXPLANE& p : planes) EXPECT_GT(D3DXPlaneDotCoord(&p, &at), 0.0f);
    const D3DXVECTOR3 behind = eye + (eye - at);
    EXPECT_LT(D3DXPlaneDotCoord(&planes[0], &behind), 0.0f);
    const D3DXVECTOR3 beyond = eye + (at - eye) * 20.0f;
    EXPECT_LT(D3DXPlaneDotCoord(&planes[1], &beyond), 0.0f);
    D3DXMATRIX camToWorld;
    ASSERT_NE(D3DXMatrixInverse(&camToWorld, nullptr, &view), nullptr);
    const D3DXVECTOR3 farLeftCam(-500, 0, 10), farUpCam(0, 500, 10);
    D3DXVECTOR3 farLeft, farUp;
    D3DXVec3TransformCoord(&farLeft, &farLeftCam, &camToWorld);
    D3DXVec3TransformCoord(&farUp, &farUpCam, &camToWorld);
    EXPECT_LT(D3DXPlaneDotCoord(&planes[2], &farLeft), 0.0f);
    EXPECT_GT(D3DXPlaneDotCoord(&planes[3], &farLeft), 0.0f);
    EXPECT_LT(D3DXPlaneDotCoord(&planes[4], &farUp), 0.0f);
    EXPECT_GT(D3DXPlaneDotCoord(&planes[5], &farUp), 0.0f);
}

TEST(D3DXPlane, FromPointsOrientationAndNormalize) {
    // Seen from -z (a default camera), (0,0,3) -> (0,1,3) -> (1,0,3) runs
    // clockwise; the normal faces that viewer.
    const D3DXVECTOR3 p1(0, 0, 3), p2(0, 1, 3), p3(1, 0, 3);
    D3DXPLANE plane;
    D3DXPlaneFromPoints(&plane, &p1, &p2, &p3);
    EXPECT_NEAR(plane.a, 0, kEps);
    EXPECT_NEAR(plane.b, 0, kEps);
    EXPECT_NEAR(plane.c, -1, kEps);
    EXPECT_NEAR(plane.d, 3, kEps);
    const D3DXVECTOR3 viewer(0, 0, -5), far(7, -2, 10);
    EXPECT_NEAR(D3DXPlaneDotCoord(&plane, &viewer), 8.0f, kEps);
    EXPECT_NEAR(D3DXPlaneDotCoord(&plane, &far), -7.0f, kEps);

    const D3DXPLANE raw(0, 3, 4, 10);
    D3DXPlaneNormalize(&plane, &raw);
    EXPECT_NEAR(plane.b, 0.6f, kEps);
    EXPECT_NEAR(plane.c, 0.8f, kEps);
    EXPECT_NEAR(plane.d, 2.0f, kEps);
}

TEST(D3DXPlane, IntersectLineUsesTheInfiniteLineAndRejectsParallel) {
    const D3DXPLANE ground(0, 1, 0, -2);  // y = 2
    const D3DXVECTOR3 a(1, 0, 1), b(1, 1, 1), c(3, 4, 5);
    D3DXVECTOR3 hit;
    ASSERT_EQ(D3DXPlaneIntersectLine(&hit, &ground, &a, &b), &hit);
    ExpectNear(hit, 1, 2, 1);  // beyond b: the line, not the segment
    ASSERT_NE(D3DXPlaneIntersectLine(&hit, &ground, &a, &c), nullptr);
    ExpectNear(hit, 2, 2, 3);

    const D3DXVECTOR3 sentinel(-9, -9, -9);
    const D3DXVECTOR3 flat1(0, 0, 0), flat2(5, 0, 3);
    hit = sentinel;
    EXPECT_EQ(D3DXPlaneIntersectLine(&hit, &ground, &flat1, &flat2), nullptr);
    EXPECT_EQ(D3DXPlaneIntersectLine(&hit, &ground, &a, &a), nullptr);
    EXPECT_EQ(hit, sentinel);
}

TEST(D3DXQuaternion, YawPitchRollMatchesRollThenPitchThenYaw) {
    const float angles[][3] = {{0.3f, 0, 0}, {0, 0.4f, 0}, {0, 0, 0.5f}, {0.7f, -0.4f, 1.9f}, {-2.5f, 1.2f, -0.3f}};
    for (const auto& a : angles) {
        D3DXMATRIX rz, rx, ry, ypr;
        D3DXMatrixRotationZ(&rz, a[2]);
        D3DXMatrixRotationX(&rx, a[1]);
        D3DXMatrixRotationY(&ry, a[0]);
        const D3DXMATRIX expected = rz * rx * ry;
        D3DXQUATERNION q;
        D3DXQuaternionRotationYawPitchRoll(&q, a[0], a[1], a[2]);
        EXPECT_NEAR(D3DXQuaternionLength(&q), 1.0f, kEps);
        ExpectMatrixNear(Rotation(q), expected);
        ExpectMatrixNear(*D3DXMatrixRotationYawPitchRoll(&ypr, a[0], a[1], a[2]), expected);
    }
}

TEST(D3DXQuaternion, MultiplyConcatenatesLikeMatrices) {
    const D3DXQUATERNION qa = AxisAngle(1, 2, 3, 0.8f), qb = AxisAngle(-1, 0, 2, 1.3f);
    D3DXQUATERNION q;
    D3DXQuaternionMultiply(&q, &qa, &qb);
    ExpectMatrixNear(Rotation(q), Rotation(qa) * Rotation(qb));
    D3DXQuaternionInverse(&q, &qa);
    ExpectMatrixNear(Rotation(q) * Rotation(qa), Identity());

    const D3DXQUATERNION raw(0, 0, 3, 4), zero(0, 0, 0, 0);
    EXPECT_NEAR(D3DXQuaternionNormalize(&q, &raw)->z, 0.6f, kEps);
    EXPECT_EQ(*D3DXQuaternionNormalize(&q, &zero), zero);
}

TEST(D3DXQuaternion, LnAndExpAreInverse) {
    for (const D3DXQUATERNION& q : {AxisAngle(1, 2, 3, 0.8f), AxisAngle(0, 1, 0, 3.0f), AxisAngle(0, 0, 1, 1e-4f)}) {
        D3DXQUATERNION l, e;
        D3DXQuaternionLn(&l, &q);
        EXPECT_EQ(l.w, 0.0f);
        D3DXQuaternionExp(&e, &l);
        EXPECT_NEAR(e.x, q.x, kEps);
        EXPECT_NEAR(e.y, q.y, kEps);
        EXPECT_NEAR(e.z, q.z, kEps);
        EXPECT_NEAR(e.w, q.w, kEps);
    }
}

TEST(D3DXQuaternion, SlerpTakesTheShortArc) {
    const D3DXQUATERNION q1 = AxisAngle(0, 1, 0, 0.2f), q2 = AxisAngle(0, 1, 0, 1.4f);
    D3DXQUATERNION q;
    D3DXQuaternionSlerp(&q, &q1, &q2, 0.25f);
    ExpectMatrixNear(Rotation(q), Rotation(AxisAngle(0, 1, 0, 0.5f)));
    const D3DXQUATERNION q2neg = -q2;
    D3DXQuaternionSlerp(&q, &q1, &q2neg, 0.25f);
    ExpectMatrixNear(Rotation(q), Rotation(AxisAngle(0, 1, 0, 0.5f)));
}

TEST(D3DXQuaternion, SquadHitsKeysAndFollowsEvenlySpacedKeys) {
    // Keys 0.5 rad apart about one axis: the inner points coincide with the
    // keys and squad reduces to a slerp between q1 and q2.
    const D3DXQUATERNION q0 = AxisAngle(0, 1, 0, 0.0f), q1 = AxisAngle(0, 1, 0, 0.5f),
                         q2 = AxisAngle(0, 1, 0, 1.0f), q3 = AxisAngle(0, 1, 0, 1.5f);
    D3DXQUATERNION a, b, c, q;
    D3DXQuaternionSquadSetup(&a, &b, &c, &q0, &q1, &q2, &q3);
    for (float t : {0.0f, 0.3f, 0.5f, 0.8f, 1.0f}) {
        D3DXQuaternionSquad(&q, &q1, &a, &b, &c, t);
        EXPECT_NEAR(RotationAngleBetween(q, AxisAngle(0, 1, 0, 0.5f + 0.5f * t)), 0.0f, 1e-3f) << "t=" << t;
    }

    // The documented example: keys -90 (stored as +270), 0, 90 and 180 degrees
    // about z; halfway between the middle keys is 45 degrees.
    const D3DXQUATERNION z0(0, 0, 0.707f, -0.707f), z1(0, 0, 0, 1), z2(0, 0, 0.707f, 0.707f), z3(0, 0, 1, 0);
    D3DXQuaternionSquadSetup(&a, &b, &c, &z0, &z1, &z2, &z3);
    D3DXQuaternionSquad(&q, &z1, &a, &b, &c, 0.5f);
    EXPECT_NEAR(RotationAngleBetween(q, AxisAngle(0, 0, 1, kPi / 4)), 0.0f, 1e-3f);

    // Keys about different axes: squad still starts at q1 and ends at q2.
    const D3DXQUATERNION k0 = AxisAngle(1, 0, 0, 0.3f), k1 = AxisAngle(0, 1, 1, 0.9f),
                         k2 = AxisAngle(1, 1, 0, 1.6f), k3 = AxisAngle(0, 0, 1, 0.4f);
    D3DXQuaternionSquadSetup(&a, &b, &c, &k0, &k1, &k2, &k3);
    ExpectMatrixNear(Rotation(*D3DXQuaternionSquad(&q, &k1, &a, &b, &c, 0.0f)), Rotation(k1));
    ExpectMatrixNear(Rotation(*D3DXQuaternionSquad(&q, &k1, &a, &b, &c, 1.0f)), Rotation(k2));
}

TEST(D3DXQuaternion, SquadAcrossTheDoubleCoverDoesNotSpin) {
    // The same keys, some stored with the opposite sign (the same rotations):
    // the set-up must pick covers so that the curve is the same, not a spin
    // the long way round.
    const D3DXQUATERNION k0 = AxisAngle(1, 0, 0, 0.3f), k1 = AxisAngle(0, 1, 1, 0.9f),
                         k2 = AxisAngle(1, 1, 0, 1.6f), k3 = AxisAngle(0, 0, 1, 0.4f);
    struct Controls {
        D3DXQUATERNION a, b, c;
    } ref, flipped[2];
    D3DXQuaternionSquadSetup(&ref.a, &ref.b, &ref.c, &k0, &k1, &k2, &k3);
    const D3DXQUATERNION n0 = -k0, n2 = -k2, n3 = -k3;
    D3DXQuaternionSquadSetup(&flipped[0].a, &flipped[0].b, &flipped[0].c, &n0, &k1, &n2, &k3);
    D3DXQuaternionSquadSetup(&flipped[1].a, &flipped[1].b, &flipped[1].c, &k0, &k1, &k2, &n3);

    const float direct = RotationAngleBetween(k1, k2);
    for (const Controls& s : flipped) {
        float travelled = 0;
        D3DXQUATERNION prev = k1, q, expected;
        for (int i = 0; i <= 50; ++i) {
            const float t = i / 50.0f;
            D3DXQuaternionSquad(&expected, &k1, &ref.a, &ref.b, &ref.c, t);
            D3DXQuaternionSquad(&q, &k1, &s.a, &s.b, &s.c, t);
            EXPECT_NEAR(RotationAngleBetween(q, expected), 0.0f, 1e-3f) << "t=" << t;
            travelled += RotationAngleBetween(prev, q);
            prev = q;
        }
        ExpectMatrixNear(Rotation(q), Rotation(k2));
        EXPECT_LT(travelled, direct * 1.5f);  // a spin would travel about 2 pi - direct
    }
}

}  // namespace
