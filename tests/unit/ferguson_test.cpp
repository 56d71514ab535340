// The camera path and its rig: the authored path resource, evaluation at
// segment ends and across the closing segment, rigid moves, degenerate
// paths, malformed resources, and the rig's pace, restart and bob (its speed
// over uneven frames).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "core/errlog.h"
#include "flock/camera_rig.h"
#include "flock/ferguson.h"

namespace {

std::vector<std::uint8_t> PathBytes(std::int32_t count, const std::vector<D3DXVECTOR3>& points) {
    std::vector<std::uint8_t> bytes(4 + points.size() * 12);
    std::memcpy(bytes.data(), &count, 4);
    for (std::size_t i = 0; i < points.size(); ++i) std::memcpy(bytes.data() + 4 + i * 12, &points[i].x, 12);
    return bytes;
}

void ExpectNear(const D3DXVECTOR3& a, const D3DXVECTOR3& b, float tolerance) {
    EXPECT_NEAR(a.x, b.x, tolerance);
    EXPECT_NEAR(a.y, b.y, tolerance);
    EXPECT_NEAR(a.z, b.z, tolerance);
}

// Cubic Hermite at u = 1/2 from the ends and their tangents.
D3DXVECTOR3 HermiteHalf(const D3DXVECTOR3& p0, const D3DXVECTOR3& p1, const D3DXVECTOR3& t0, const D3DXVECTOR3& t1) {
    return p0 * 0.5f + p1 * 0.5f + (t0 - t1) * 0.125f;
}

class ClockPath : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(path.InitDeviceObjects("CLOCK.FPP", &log), S_OK); }
    ErrLog log;
    Ferguson path;
};

TEST_F(ClockPath, LoadsTheFortyNineAuthoredPoints) {
    EXPECT_STREQ(log.Text(), "\t\tFindResource...\n\t\tLoadResource...\n");
    ASSERT_EQ(path.GetCount(), 49);
    EXPECT_EQ(path.GetPoint(0), D3DXVECTOR3(52.7483f, 9.1678f, -167.2546f));
    EXPECT_EQ(path.GetPoint(48), D3DXVECTOR3(56.9080f, -1.2750f, -137.3920f));
    ExpectNear(path.GetCentre(), D3DXVECTOR3(21.50f, 2.47f, -120.45f), 0.01f);
}

TEST_F(ClockPath, StartsAtPointZeroLookingAtPointOne) {
    D3DXVECTOR3 p, look;
    path.Evaluate(0.0f, &p, &look);
    EXPECT_EQ(p, path.GetPoint(0));
    EXPECT_EQ(look, path.GetPoint(1));
}

TEST_F(ClockPath, TheClosingSegmentRunsFromTheLastPointBackToTheFirst) {
    D3DXVECTOR3 p, look;
    path.Evaluate(48.5f, &p, &look);
    const D3DXVECTOR3 p48 = path.GetPoint(48), p0 = path.GetPoint(0);
    const D3DXVECTOR3 p1 = path.GetPoint(1), p2 = path.GetPoint(2);
    ExpectNear(p, HermiteHalf(p48, p0, p0 - p48, p1 - p0), 1e-3f);
    ExpectNear(look, HermiteHalf(p0, p1, p1 - p0, p2 - p1), 1e-3f);
}

TEST_F(ClockPath, OutsideTheParameterRangeNothingIsWritten) {
    D3DXVECTOR3 p(7, 7, 7), look(8, 8, 8);
    path.Evaluate(49.0f, &p, &look);
    path.Evaluate(-0.5f, &p, &look);
    EXPECT_EQ(p, D3DXVECTOR3(7, 7, 7));
    EXPECT_EQ(look, D3DXVECTOR3(8, 8, 8));
}

TEST_F(ClockPath, MovingTheCentreMovesTheWholeCurveRigidly) {
    D3DXVECTOR3 before, lookBefore, after, lookAfter;
    path.Evaluate(12.3f, &before, &lookBefore);
    const Ferguson::Segment s = path.GetSegment(12);
    const D3DXVECTOR3 first = path.GetPoint(0);
    path.SetCentre(path.GetCentre() + D3DXVECTOR3(10, 0, 0));
    path.Evaluate(12.3f, &after, &lookAfter);
    ExpectNear(path.GetPoint(0), first + D3DXVECTOR3(10, 0, 0), 1e-4f);
    ExpectNear(after, before + D3DXVECTOR3(10, 0, 0), 1e-3f);
    ExpectNear(lookAfter, lookBefore + D3DXVECTOR3(10, 0, 0), 1e-3f);
    // The shape coefficients are unchanged up to rounding of the moved points.
    ExpectNear(path.GetSegment(12).a, s.a, 1e-3f);
    ExpectNear(path.GetSegment(12).b, s.b, 1e-3f);
    ExpectNear(path.GetSegment(12).c, s.c, 1e-4f);
}

TEST(Ferguson, EvenlySpacedPointsOnALineGiveAStraightInnerPath) {
    std::vector<D3DXVECTOR3> line;
    for (int i = 0; i < 6; ++i) line.emplace_back(static_cast<float>(i), 0.0f, 0.0f);
    const auto bytes = PathBytes(6, line);
    Ferguson path;
    ASSERT_EQ(path.Load(bytes.data(), bytes.size()), S_OK);
    for (int i = 0; i < 4; ++i) {  // the last two segments bend back to close the loop
        EXPECT_EQ(path.GetSegment(i).a, D3DXVECTOR3(0, 0, 0)) << "segment " << i;
        EXPECT_EQ(path.GetSegment(i).b, D3DXVECTOR3(0, 0, 0)) << "segment " << i;
    }
    D3DXVECTOR3 p, look;
    path.Evaluate(1.25f, &p, &look);
    EXPECT_EQ(p, D3DXVECTOR3(1.25f, 0, 0));
    EXPECT_EQ(look, D3DXVECTOR3(2.25f, 0, 0));
}

TEST(Ferguson, OnePointPathIsThatPointEverywhere) {
    const auto bytes = PathBytes(1, {D3DXVECTOR3(3, 4, 5)});
    Ferguson path;
    ASSERT_EQ(path.Load(bytes.data(), bytes.size()), S_OK);
    const Ferguson::Segment& s = path.GetSegment(0);
    EXPECT_EQ(s.a, D3DXVECTOR3(0, 0, 0));
    EXPECT_EQ(s.b, D3DXVECTOR3(0, 0, 0));
    EXPECT_EQ(s.c, D3DXVECTOR3(0, 0, 0));
    for (float t : {0.0f, 0.4f, 0.99f}) {
        D3DXVECTOR3 p, look;
        path.Evaluate(t, &p, &look);
        EXPECT_EQ(p, D3DXVECTOR3(3, 4, 5));
        EXPECT_EQ(look, D3DXVECTOR3(3, 4, 5));
    }
    // The rig stands on it without a direction to look along and stays defined.
    CameraRig rig;
    for (int i = 0; i < 100; ++i) rig.Update(path, 0.05f);
    const D3DXMATRIX& w = rig.GetWorldMatrix();
    EXPECT_EQ(w._41, 3.0f);
    EXPECT_EQ(w._43, 5.0f);
    for (int i = 0; i < 16; ++i) EXPECT_TRUE(std::isfinite((&w._11)[i]));
}

TEST(Ferguson, MalformedResourcesAreRejected) {
    Ferguson path;
    const auto two = PathBytes(2, {D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(1, 0, 0)});
    EXPECT_EQ(path.Load(two.data(), two.size() - 1), E_FAIL);  // one byte short of its count
    EXPECT_EQ(path.Load(two.data(), 3), E_FAIL);
    const auto negative = PathBytes(-1, {D3DXVECTOR3(0, 0, 0)});
    EXPECT_EQ(path.Load(negative.data(), negative.size()), E_FAIL);
    const auto empty = PathBytes(0, {});
    EXPECT_EQ(path.Load(empty.data(), empty.size()), E_FAIL);
    const auto huge = PathBytes(0x7FFFFFFF, {D3DXVECTOR3(0, 0, 0)});
    EXPECT_EQ(path.Load(huge.data(), huge.size()), E_FAIL);
    const auto nan = PathBytes(1, {D3DXVECTOR3(0, std::nanf(""), 0)});
    EXPECT_EQ(path.Load(nan.data(), nan.size()), E_FAIL);
    EXPECT_EQ(path.GetCount(), 0);
    // An empty path is harmless.
    path.SetCentre(D3DXVECTOR3(1, 2, 3));
    D3DXVECTOR3 p(7, 7, 7), look(7, 7, 7);
    path.Evaluate(0.0f, &p, &look);
    EXPECT_EQ(p, D3DXVECTOR3(7, 7, 7));
    // Longer resources are fine: what follows the points is not read.
    auto longer = two;
    longer.resize(longer.size() + 392, 0xFF);
    EXPECT_EQ(path.Load(longer.data(), longer.size()), S_OK);
    EXPECT_EQ(path.GetCount(), 2);
}

TEST(Ferguson, MissingResourceLogsAndFails) {
    ErrLog log;
    Ferguson path;
    EXPECT_EQ(path.InitDeviceObjects("NOSUCH.FPP", &log), E_FAIL);
    EXPECT_STREQ(log.Text(), "\t\tFindResource...\n\t\tFailed\n");
}

TEST_F(ClockPath, RigRestartsAtZeroWhenItPassesTheEnd) {
    CameraRig rig;
    rig.m_fPhase = 1.5707964f;  // full pace: 0.2 segments per second
    rig.m_fT = 48.995f;
    rig.Update(path, 0.05f);
    EXPECT_EQ(rig.m_fT, 0.0f);  // not 0.005
    D3DXVECTOR3 p, look;
    path.Evaluate(0.0f, &p, &look);
    EXPECT_EQ(rig.m_vPathPoint, p);
}

TEST_F(ClockPath, RigPaceRestsAtATenthInTheLastThirdOfTheCycle) {
    CameraRig rig;
    rig.m_fPhase = 3.5f;  // between pi and 3 pi / 2: sin < 0.1
    rig.m_fT = 5.0f;
    rig.Update(path, 0.05f);
    EXPECT_NEAR(rig.m_fT, 5.0f + 0.1f * 0.2f * 0.05f, 1e-6f);  // 0.02 segments per second
    rig.m_fPhase = 4.712f;
    rig.Update(path, 0.05f);
    EXPECT_EQ(rig.m_fPhase, 0.0f);  // past 3 pi / 2 the cycle restarts
}

TEST_F(ClockPath, RigStandsAboveTheCurveLookingOneSegmentAhead) {
    CameraRig rig;
    rig.Update(path, 0.05f);
    const D3DXMATRIX& w = rig.GetWorldMatrix();
    EXPECT_FLOAT_EQ(rig.m_fHeight, 0.25f);  // 5 units per second
    ExpectNear(D3DXVECTOR3(w._41, w._42, w._43), rig.m_vPathPoint + D3DXVECTOR3(0, 0.25f, 0), 1e-4f);
    D3DXVECTOR3 ahead = rig.m_vLookAhead - rig.m_vPathPoint;
    D3DXVec3Normalize(&ahead, &ahead);
    ExpectNear(D3DXVECTOR3(w._31, w._32, w._33), ahead, 1e-5f);
    // The bob turns back beyond 25 and -20.
    float highest = -1e9f, lowest = 1e9f;
    for (int i = 0; i < 20 * 60 * 5; ++i) {
        rig.Update(path, 0.05f);
        if (rig.m_fHeight > highest) highest = rig.m_fHeight;
        if (rig.m_fHeight < lowest) lowest = rig.m_fHeight;
    }
    EXPECT_GT(highest, 25.0f);
    EXPECT_LT(highest, 28.0f);
    EXPECT_LT(lowest, -20.0f);
    EXPECT_GT(lowest, -23.0f);
}

// Frames of 20, 20 and 110 ms in turn (a mean of 50): the pull beyond the
// band, summed over uneven frames, would send the rig back at 2 to 10 units
// per second within the hour.
TEST_F(ClockPath, RigBobKeepsItsSpeedOverUnevenFrames) {
    CameraRig rig;
    const float steps[] = {0.02f, 0.02f, 0.11f};
    float slowest = 1e9f, fastest = 0.0f, highest = -1e9f, lowest = 1e9f;
    for (int i = 0; i < 3600 * 20; ++i) {
        rig.Update(path, steps[i % 3]);
        highest = std::fmax(highest, rig.m_fHeight);
        lowest = std::fmin(lowest, rig.m_fHeight);
        if (rig.m_fHeight < CameraRig::kBobLow || rig.m_fHeight > CameraRig::kBobHigh) continue;
        slowest = std::fmin(slowest, std::fabs(rig.m_fBobVelocity));
        fastest = std::fmax(fastest, std::fabs(rig.m_fBobVelocity));
    }
    EXPECT_FLOAT_EQ(slowest, 5.0f);
    EXPECT_FLOAT_EQ(fastest, 5.0f);
    EXPECT_GT(highest, 27.0f);
    EXPECT_LT(highest, 29.0f);
    EXPECT_LT(lowest, -22.0f);
    EXPECT_GT(lowest, -24.0f);
}

}  // namespace
