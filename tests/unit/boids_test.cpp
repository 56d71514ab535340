// The whale school: settings, creation and its random sequence, the
// neighbour tests, the regimes, pitch, yaw rate, speed, escapes and the
// obstacle feeler against the real obstacle field (hulls loaded headless).
#include <gtest/gtest.h>

#include <cmath>

#include "flock/boids.h"
#include "flock/swim.h"
#include "flock/goal.h"
#include "flock/school.h"
#include "platform/os/clock.h"
#include "scene/background_obj.h"
#include "settings/settings.h"

namespace {

constexpr float kDt = 0.05f;

// A school of n whales, swimming along +z at rest and far apart, ready to be
// placed by the test. Range 50, base speed 0.06 (the defaults).
class School {
public:
    explicit School(int n) {
        Settings s;
        s.intWhlNumCur = n;
        boids.ApplySettings(&s);
        EXPECT_EQ(boids.CreateWhales(1, nullptr), S_OK);
        for (int i = 0; i < n; ++i) Place(i, D3DXVECTOR3(1000.0f * i, 0, 0), D3DXVECTOR3(0, 0, 1));
    }
    Boid& operator[](int i) { return boids.GetBoids()[i]; }
    void Place(int i, const D3DXVECTOR3& p, const D3DXVECTOR3& heading) {
        (*this)[i].m_vPosition = p;
        (*this)[i].m_vHeading = heading;
    }
    Boids boids;
};

bool Finite(const Boid& b) {
    const float v[] = {b.m_vPosition.x, b.m_vPosition.y, b.m_vPosition.z, b.m_vHeading.x, b.m_vHeading.y,
                       b.m_vHeading.z, b.m_fSpeed, b.m_fYaw, b.m_fPitch, b.m_fRoll, b.m_fYawRate};
    for (float f : v) {
        if (!std::isfinite(f)) return false;
    }
    return true;
}

TEST(Boids, SettingsMapAtTheirDefaults) {
    Settings s;  // the defaults: 30 whales, radius 50, speed 100, alignment 20, others 100
    Boids b;
    b.ApplySettings(&s);
    EXPECT_EQ(b.m_nConfiguredCount, 30);
    EXPECT_FLOAT_EQ(b.m_fRange, 50.0f);
    EXPECT_FLOAT_EQ(b.m_fBaseSpeed, 0.06f);
    EXPECT_FLOAT_EQ(b.m_fAlignment, 0.2f);
    EXPECT_FLOAT_EQ(b.m_fSeparation, 1.0f);
    EXPECT_FLOAT_EQ(b.m_fMigration, 1.0f);
    s.intWhlSpeedCur = 150;
    s.intWhlCenForceCur = 40;
    b.ApplySettings(&s);
    EXPECT_FLOAT_EQ(b.m_fBaseSpeed, 0.075f);
    EXPECT_FLOAT_EQ(b.m_fCentreWeight, 0.4f);
}

TEST(Boids, CreationDrawsThirteenValuesPerWhaleInOrder) {
    Settings s;
    s.intWhlNumCur = 3;
    Boids b;
    b.ApplySettings(&s);
    ASSERT_EQ(b.CreateWhales(1234, nullptr), S_OK);

    // Replay the sequence: six for the heading, six for the position, one for the variant.
    SRand(1234);
    for (int i = 0; i < 3; ++i) {
        float u[6], p[6];
        for (float& v : u) v = static_cast<float>(Rand() / 32767.0);
        for (float& v : p) v = static_cast<float>(Rand() / 32767.0);
        const int variant = Rand() % 2;
        const Boid& w = b.GetBoids()[i];
        D3DXVECTOR3 h(u[3] - u[4], u[1] - u[2], u[5] - u[0]);
        D3DXVec3Normalize(&h, &h);
        EXPECT_EQ(w.m_vHeading, h) << "whale " << i;
        EXPECT_EQ(w.m_vPosition, D3DXVECTOR3((p[3] - p[4]) * 30.0f - 150.0f, (p[1] - p[2]) * 30.0f + 25.0f,
                                             (p[5] - p[0]) * 30.0f - 160.0f))
            << "whale " << i;
        EXPECT_EQ(w.m_nModelVariant, variant) << "whale " << i;
        EXPECT_FLOAT_EQ(w.m_fSpeed, 0.01f);
    }
    // Nothing else was drawn: after a fresh creation the next value is the 40th.
    const int next = Rand();
    b.CreateWhales(1234, nullptr);
    EXPECT_EQ(Rand(), next);
}

TEST(Boids, CountsOutsideTheDialogRangeAreBroughtIn) {
    Boids b;
    b.m_nConfiguredCount = 0;
    ASSERT_EQ(b.CreateWhales(1, nullptr), S_OK);
    EXPECT_EQ(b.GetCount(), 1);
    b.m_nConfiguredCount = 1000000;
    ASSERT_EQ(b.CreateWhales(1, nullptr), S_OK);
    EXPECT_EQ(b.GetCount(), Boids::kMaxWhales);
}

TEST(Boids, OneWhaleSchoolIsSteeredByMigrationAlone) {
    School one(1);
    one.Place(0, D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(0, 0, 1));
    one.boids.SetGoalPoint(D3DXVECTOR3(100, 0, 0));  // within range + 150: the full blend applies
    const D3DXVECTOR3 centroid = one.boids.ComputeTerms(nullptr);
    const Boid& w = one[0];
    EXPECT_EQ(w.m_nNeighbours, 0);
    EXPECT_EQ(w.m_nMisaligned, 0);
    EXPECT_EQ(w.m_vSeparation, D3DXVECTOR3(0, 0, 0));
    EXPECT_EQ(w.m_vAlignment, D3DXVECTOR3(0, 0, 0));
    EXPECT_EQ(w.m_vCohesion, D3DXVECTOR3(0, 0, 0));
    EXPECT_EQ(w.m_vCentre, D3DXVECTOR3(0, 0, 0));  // it is the centroid
    EXPECT_EQ(one.boids.SteeringFor(0, centroid), D3DXVECTOR3(1, 0, 0));
    for (int i = 0; i < 2000; ++i) one.boids.Update(kDt, nullptr);
    EXPECT_TRUE(Finite(one[0]));
}

TEST(Boids, NeighboursAreStrictlyInsideTheRange) {
    School two(2);
    two.Place(0, D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(0, 0, 1));
    two.Place(1, D3DXVECTOR3(50, 0, 0), D3DXVECTOR3(0, 0, 1));  // exactly one range apart
    two.boids.ComputeTerms(nullptr);
    EXPECT_EQ(two[0].m_nNeighbours, 0);
    EXPECT_EQ(two[0].m_vSeparation, D3DXVECTOR3(0, 0, 0));
    two.Place(1, D3DXVECTOR3(49.99f, 0, 0), D3DXVECTOR3(0, 0, 1));
    two.boids.ComputeTerms(nullptr);
    EXPECT_EQ(two[0].m_nNeighbours, 1);
    EXPECT_EQ(two[1].m_nNeighbours, 1);
    EXPECT_LT(two[0].m_vSeparation.x, 0.0f);  // pushed apart, each away from the other
    EXPECT_GT(two[1].m_vSeparation.x, 0.0f);
}

TEST(Boids, MisalignedMeansStrictlyMoreThanSixtyDegreesAnywhereInTheSchool) {
    School two(2);
    const float c = std::sqrt(3.0f) / 2.0f;
    two.Place(0, D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(0, 0, 1));
    two.Place(1, D3DXVECTOR3(3000, 0, 0), D3DXVECTOR3(c, 0, 0.5f));  // dot exactly 0.5, far out of range
    two.boids.ComputeTerms(nullptr);
    EXPECT_EQ(two[0].m_nMisaligned, 0);
    two.Place(1, D3DXVECTOR3(3000, 0, 0), D3DXVECTOR3(c, 0, 0.4999f));
    two.boids.ComputeTerms(nullptr);
    EXPECT_EQ(two[0].m_nMisaligned, 1);  // counted out of range too
    EXPECT_EQ(two[1].m_nMisaligned, 1);
}

// Whale 0 among six whales, all within 10 units: three of the others head
// more than 60 degrees away from it, one more than 6 / 3.
class MisalignedSchool : public ::testing::Test {
protected:
    MisalignedSchool() : school(6) {
        school.Place(0, D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(0, 0, 1));
        school.Place(1, D3DXVECTOR3(10, 0, 0), D3DXVECTOR3(0, 0, -1));
        school.Place(2, D3DXVECTOR3(-10, 0, 0), D3DXVECTOR3(1, 0, 0));
        school.Place(3, D3DXVECTOR3(0, 10, 0), D3DXVECTOR3(0, 0, 1));
        school.Place(4, D3DXVECTOR3(0, -10, 0), D3DXVECTOR3(-1, 0, 0));
        school.Place(5, D3DXVECTOR3(0, 0, -10), D3DXVECTOR3(0.6f, 0, 0.8f));
        school.boids.SetGoalPoint(D3DXVECTOR3(0, 0, 60));
    }
    School school;
};

TEST_F(MisalignedSchool, ManyMisalignedPartnersSteerByDoubleAlignment) {
    Boids& b = school.boids;
    const D3DXVECTOR3 centroid = b.ComputeTerms(nullptr);
    ASSERT_EQ(school[0].m_nMisaligned, 3);
    ASSERT_GE(school[0].m_nNeighbours, 2);
    D3DXVECTOR3 expected = school[0].m_vAlignment * (b.m_fAlignment * 2.0f);
    if (D3DXVec3Length(&expected) > 1.0f) D3DXVec3Normalize(&expected, &expected);
    EXPECT_EQ(b.SteeringFor(0, centroid), expected);
}

TEST_F(MisalignedSchool, RangeOfFortyOrLessAlwaysBlends) {
    Boids& b = school.boids;
    b.m_fRange = 40.0f;
    const D3DXVECTOR3 centroid = b.ComputeTerms(nullptr);
    ASSERT_EQ(school[0].m_nMisaligned, 3);
    const Boid& w = school[0];
    D3DXVECTOR3 blend = w.m_vSeparation * b.m_fSeparation + w.m_vAlignment * b.m_fAlignment +
                        w.m_vCohesion * b.m_fCohesion + w.m_vCentre * b.m_fCentreWeight +
                        w.m_vMigration * b.m_fMigration;
    if (D3DXVec3Length(&blend) > 1.0f) D3DXVec3Normalize(&blend, &blend);
    const D3DXVECTOR3 s = b.SteeringFor(0, centroid);
    EXPECT_NEAR(s.x, blend.x, 1e-6f);
    EXPECT_NEAR(s.y, blend.y, 1e-6f);
    EXPECT_NEAR(s.z, blend.z, 1e-6f);
}

TEST_F(MisalignedSchool, FewerThanTwoNeighboursMigrate) {
    Boids& b = school.boids;
    b.m_fRange = 41.0f;
    school.Place(1, D3DXVECTOR3(100, 0, 0), D3DXVECTOR3(0, 0, -1));
    school.Place(2, D3DXVECTOR3(-100, 0, 0), D3DXVECTOR3(1, 0, 0));
    school.Place(4, D3DXVECTOR3(0, -100, 0), D3DXVECTOR3(-1, 0, 0));
    school.Place(3, D3DXVECTOR3(0, 100, 0), D3DXVECTOR3(0, 0, 1));  // one neighbour left: whale 5
    const D3DXVECTOR3 centroid = b.ComputeTerms(nullptr);
    ASSERT_EQ(school[0].m_nNeighbours, 1);
    EXPECT_EQ(b.SteeringFor(0, centroid), D3DXVECTOR3(0, 0, 1));
}

TEST(Boids, WhalesOnOneSpotStayDefined) {
    School two(2);
    two.Place(0, D3DXVECTOR3(5, 5, 5), D3DXVECTOR3(0, 0, 1));
    two.Place(1, D3DXVECTOR3(5, 5, 5), D3DXVECTOR3(1, 0, 0));
    two.boids.ComputeTerms(nullptr);
    EXPECT_EQ(two[0].m_nNeighbours, 1);  // still a neighbour
    EXPECT_EQ(two[0].m_vSeparation, D3DXVECTOR3(0, 0, 0));
    EXPECT_EQ(two[0].m_vAlignment, D3DXVECTOR3(0, 0, 0));
    for (int i = 0; i < 100; ++i) two.boids.Update(kDt, nullptr);
    EXPECT_TRUE(Finite(two[0]));
    EXPECT_TRUE(Finite(two[1]));
}

TEST(Boids, PitchRelaxesTowardLevelWithoutChangingSign) {
    School one(1);
    one.Place(0, D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(0, 0, 1));
    one.boids.SetGoalPoint(D3DXVECTOR3(0, 0, 100));  // level and ahead: S.y = 0
    one[0].m_fPitch = 0.3f;
    one.boids.Update(kDt, nullptr);
    EXPECT_FLOAT_EQ(one[0].m_fPitch, 0.3f * (1.0f - 0.7f * kDt));
    one[0].m_fPitch = -0.3f;
    one[0].m_vPosition = D3DXVECTOR3(0, 0, 0);
    one[0].m_vHeading = D3DXVECTOR3(0, 0, 1);
    one.boids.Update(kDt, nullptr);
    EXPECT_FLOAT_EQ(one[0].m_fPitch, -0.3f * (1.0f - 0.7f * kDt));
}

TEST(Boids, ClimbingAndDivingRateAndLimits) {
    School one(1);
    one.Place(0, D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(0, 0, 1));
    one.boids.SetGoalPoint(D3DXVECTOR3(0, 5000, 10));
    one.boids.Update(kDt, nullptr);
    EXPECT_FLOAT_EQ(one[0].m_fPitch, 0.1f * kDt);
    one[0].m_fPitch = 0.799f;
    one.boids.Update(kDt, nullptr);
    EXPECT_FLOAT_EQ(one[0].m_fPitch, 0.8f);
}

TEST(Boids, YawRateInsideTheDeadBandRestartsAtATenth) {
    School one(1);
    one.Place(0, D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(0, 0, 1));
    one.boids.SetGoalPoint(D3DXVECTOR3(0, 0, 100));
    one[0].m_fYawRate = 0.005f;
    one.boids.Update(kDt, nullptr);
    EXPECT_FLOAT_EQ(one[0].m_fYawRate, 0.1f);
    // Above the band it decays by 25 per second.
    one[0].m_vPosition = D3DXVECTOR3(0, 0, 0);
    one[0].m_fYaw = 0.0f;
    one[0].m_vHeading = D3DXVECTOR3(0, 0, 1);
    one[0].m_fYawRate = 0.5f;
    one.boids.Update(kDt, nullptr);
    EXPECT_FLOAT_EQ(one[0].m_fYawRate, 0.5f - 0.5f * 25.0f * kDt);
}

TEST(Boids, TurnsTowardAGoalAtTheSideAndBanksIntoTheTurn) {
    School one(1);
    one.Place(0, D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(0, 0, 1));
    one.boids.SetGoalPoint(D3DXVECTOR3(-100, 0, 0));  // to the left (-x) of a +z nose
    for (int i = 0; i < 20; ++i) one.boids.Update(kDt, nullptr);
    EXPECT_GT(one[0].m_fYawRate, 0.0f);  // positive yaw turns the nose from +z toward -x
    EXPECT_LT(one[0].m_vHeading.x, 0.0f);
    EXPECT_FLOAT_EQ(one[0].m_fRoll, -0.25f * one[0].m_fYawRate);
}

// Whales and the guide circle for hours: their yaw stays within half a turn.
TEST(Boids, YawOfTheSchoolAndTheGuideStaysWithinHalfATurnWhileCircling) {
    School one(1);
    one.Place(0, D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(0, 0, 1));
    Goal g;
    g.m_vPosition = D3DXVECTOR3(0, 0, 0);
    g.m_vHeading = D3DXVECTOR3(0, 0, 1);
    float turned = 0.0f, guideTurned = 0.0f;
    for (int i = 0; i < 4000; ++i) {
        // The goal always to the left of the nose: a steady turn.
        const D3DXVECTOR3& h = one[0].m_vHeading;
        one.boids.SetGoalPoint(one[0].m_vPosition + 100.0f * D3DXVECTOR3(-h.z, 0, h.x));
        one.boids.Update(kDt, nullptr);
        turned += one[0].m_fYawRate * kDt;
        g.m_vTarget = g.m_vPosition + 100.0f * D3DXVECTOR3(-g.m_vHeading.z, 0, g.m_vHeading.x);
        g.Update(kDt, nullptr);
        guideTurned += g.m_fYawRate * kDt;
        ASSERT_LE(std::fabs(one[0].m_fYaw), 3.1415927f) << "frame " << i;
        ASSERT_LE(std::fabs(g.m_fYaw), 3.1415927f) << "frame " << i;
    }
    EXPECT_GT(std::fabs(turned), 20.0f);
    EXPECT_GT(std::fabs(guideTurned), 20.0f);
}

TEST(Boids, SpeedStaysWithinItsClamps) {
    School one(1);
    const float base = one.boids.m_fBaseSpeed;
    one.Place(0, D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(0, 0, 1));
    one.boids.SetGoalPoint(D3DXVECTOR3(0, 0, -100));  // behind: no forward bonus
    one[0].m_fSpeed = 0.0f;
    one.boids.Update(kDt, nullptr);
    EXPECT_FLOAT_EQ(one[0].m_fSpeed, base / 2.0f);
    one[0].m_fSpeed = 5.0f;
    one.boids.Update(kDt, nullptr);
    EXPECT_FLOAT_EQ(one[0].m_fSpeed, 2.0f * base);
    // Ahead: the bonus comes after the clamp.
    one.Place(0, D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(0, 0, 1));
    one[0].m_fYaw = one[0].m_fPitch = one[0].m_fYawRate = 0.0f;
    one.boids.SetGoalPoint(D3DXVECTOR3(0, 0, 100));
    one[0].m_fSpeed = 5.0f;
    one.boids.Update(kDt, nullptr);
    EXPECT_FLOAT_EQ(one[0].m_fSpeed, 2.0f * base + 0.75f * base * kDt);
}

// A feeler hit brakes the school's whales and the guide alike, by 0.8 base
// speeds per second before the drift back to the base speed.
TEST(Boids, AFeelerHitBrakes) {
    for (const SwimTuning* tuning : {&kSchoolSwim, &kGuideSwim}) {
        float speeds[2];
        for (int collided = 0; collided < 2; ++collided) {
            D3DXVECTOR3 position(0, 0, 0), heading(0, 0, 1);
            float speed = 0.09f, yaw = 0.0f, pitch = 0.0f, roll = 0.0f, yawRate = 0.0f;
            ModelInstance instance;
            SwimStep(*tuning, D3DXVECTOR3(0, 0, -1), collided != 0, 0.06f, kDt,
                     {position, heading, speed, yaw, pitch, roll, yawRate, instance});
            speeds[collided] = speed;
        }
        EXPECT_NEAR(speeds[0] - speeds[1], 0.06f * kAvoidanceBrake * kDt, 1e-4f);
    }
}

TEST(Boids, WorldMatrixHoldsThePositionFromBeforeTheMove) {
    School one(1);
    one.Place(0, D3DXVECTOR3(1, 2, 3), D3DXVECTOR3(0, 0, 1));
    one.boids.SetGoalPoint(D3DXVECTOR3(1, 2, 300));
    one[0].m_fSpeed = 0.06f;
    one.boids.Update(kDt, nullptr);
    const D3DXMATRIX& w = one[0].m_Instance.GetWorldMatrix();
    EXPECT_EQ(D3DXVECTOR3(w._41, w._42, w._43), D3DXVECTOR3(1, 2, 3));
    EXPECT_EQ(one[0].m_vHeading, D3DXVECTOR3(w._31, w._32, w._33));
    EXPECT_NEAR(one[0].m_vPosition.z - 3.0f, one[0].m_fSpeed * 100.0f * kDt, 1e-4f);
}

TEST(Boids, EscapesAtFourAndEightThousandButNotExactlyThere) {
    School two(2);
    // Centroid (4000, 0, 0): whale 1 is exactly 4000 from it and 8000 from the origin.
    two.Place(0, D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(0, 0, 1));
    two.Place(1, D3DXVECTOR3(8000, 0, 0), D3DXVECTOR3(0, 0, 1));
    two.boids.Update(kDt, nullptr);
    EXPECT_NEAR(two[1].m_vPosition.x, 8000.0f, 1.0f);
    EXPECT_NEAR(two[0].m_vPosition.x, 0.0f, 1.0f);
    EXPECT_EQ(two.boids.GetEscapeCount(), 0u);

    // 4001 from the centroid each, both well inside 8000 of the origin: back to the centroid.
    two.Place(0, D3DXVECTOR3(-3000, 0, 0), D3DXVECTOR3(0, 0, 1));
    two.Place(1, D3DXVECTOR3(5002, 0, 0), D3DXVECTOR3(0, 0, 1));
    two.boids.Update(kDt, nullptr);
    EXPECT_EQ(two[0].m_vPosition, D3DXVECTOR3(1001, 0, 0));
    EXPECT_EQ(two[1].m_vPosition, D3DXVECTOR3(1001, 0, 0));
    EXPECT_EQ(two.boids.GetEscapeCount(), 2u);

    // Both rules apply: the origin wins.
    two.Place(0, D3DXVECTOR3(8001, 0, 0), D3DXVECTOR3(0, 0, 1));
    two.Place(1, D3DXVECTOR3(-1, 0, 0), D3DXVECTOR3(0, 0, 1));
    two.boids.Update(kDt, nullptr);
    EXPECT_EQ(two[0].m_vPosition, D3DXVECTOR3(0, 0, 0));
    EXPECT_EQ(two[1].m_vPosition, D3DXVECTOR3(4000, 0, 0));
    EXPECT_EQ(two.boids.GetEscapeCount(), 4u);
}

TEST(Boids, QuarterTurnGoesToTheMigrationSide) {
    // A head-on hit on a +z nose: the wall's normal faces -z.
    EXPECT_EQ(TurnAvoidanceNormal(D3DXVECTOR3(0, 0.5f, -1), D3DXVECTOR3(1, 0, 0)), D3DXVECTOR3(1, 0.5f, 0));
    EXPECT_EQ(TurnAvoidanceNormal(D3DXVECTOR3(0, 0.5f, -1), D3DXVECTOR3(-1, 0, 0)), D3DXVECTOR3(-1, 0.5f, 0));
    // No preference (migration square to both turns): the +pi/2 turn.
    EXPECT_EQ(TurnAvoidanceNormal(D3DXVECTOR3(2, 0, 0), D3DXVECTOR3(0, 0, 0)), D3DXVECTOR3(0, 0, -2));
}

class ObstacleField : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(field.InitDeviceObjects(nullptr, "OBSTACLE01.X", "OBSTACLE01.BPS", nullptr), S_OK);
        field.m_fCheckRange = 200.0f;
        ASSERT_GT(field.GetObjectNum(), 0);
        field.GetObjects()[0].GetPosition(&spire);
    }
    BackGroundObj field;
    D3DXVECTOR3 spire;
};

TEST_F(ObstacleField, FeelerHitsASpireAheadOnlyWhenCollisionsAreOn) {
    School one(1);
    one.Place(0, spire + D3DXVECTOR3(0, 0, -30), D3DXVECTOR3(0, 0, 1));
    one.boids.SetGoalPoint(spire + D3DXVECTOR3(40, 0, 200));
    one.boids.ComputeTerms(&field);
    EXPECT_EQ(one[0].m_bCollided, 1);
    // The -z face's normal turned a quarter, toward the goal's side, and
    // leaned back out of the face.
    EXPECT_FLOAT_EQ(one[0].m_vAvoidance.x, kAvoidancePush);
    EXPECT_FLOAT_EQ(one[0].m_vAvoidance.z, -kAvoidancePush * kAvoidanceLean);

    one.boids.m_bCollision = 0;
    one.boids.ComputeTerms(&field);
    EXPECT_EQ(one[0].m_bCollided, 0);
    EXPECT_EQ(one[0].m_vAvoidance, D3DXVECTOR3(0, 0, 0));
}

// A hull's normal is as long as the sine of its face's corner angle times
// the placement's scale: the push is the same for a thin face and a square one.
TEST(Boids, AvoidancePushIsTheSameForThinAndSquareFaces) {
    const D3DXVECTOR3 goal(1, 0, 0);
    const D3DXVECTOR3 thin = AvoidancePush(D3DXVECTOR3(0, 0, -3.5f), goal);
    const D3DXVECTOR3 square = AvoidancePush(D3DXVECTOR3(0, 0, -25.9f), goal);
    const D3DXVECTOR3 difference = thin - square;
    EXPECT_LT(D3DXVec3Length(&difference), 1e-5f);
}

TEST_F(ObstacleField, AWhaleOnCourseToClipASpireIsTurnedClear) {
    // Parallel to the spire's axis, 12 units off its centre (its hull reaches
    // 12.7), with the goal straight ahead: count the frames spent inside the
    // hull's footprint with the feeler on and off. Braking on the hits slows
    // the whale at the hull's corner, where at the base speed it may graze
    // the corner (by a tenth of a unit) for a frame or two.
    auto framesInside = [&](int collision, float speed) {
        School one(1);
        one.boids.m_bCollision = collision;
        one.Place(0, spire + D3DXVECTOR3(12, 0, -80), D3DXVECTOR3(0, 0, 1));
        one[0].m_fSpeed = speed;
        one.boids.SetGoalPoint(spire + D3DXVECTOR3(12, 0, 400));
        int inside = 0;
        for (int f = 0; f < 600; ++f) {
            one.boids.Update(kDt, &field);
            const D3DXVECTOR3 d = one[0].m_vPosition - spire;
            if (std::fabs(d.x) < 12.7f && std::fabs(d.z) < 11.0f) ++inside;
            EXPECT_TRUE(Finite(one[0]));
        }
        return inside;
    };
    for (float speed : {0.03f, 0.06f, 0.12f}) {
        const int without = framesInside(0, speed);
        EXPECT_GT(without, 20) << "speed " << speed;
        EXPECT_LE(framesInside(1, speed), 2) << "speed " << speed;
    }
}

// Head-on at the top speed, the goal straight behind the spire: the whale
// turns aside in time and never enters the hull.
TEST_F(ObstacleField, AWhaleHeadingStraightAtASpireTurnsAsideInTime) {
    for (int collision : {0, 1}) {
        School one(1);
        one.boids.m_bCollision = collision;
        one.Place(0, spire + D3DXVECTOR3(0, 0, -70), D3DXVECTOR3(0, 0, 1));
        one[0].m_fSpeed = 2.0f * one.boids.m_fBaseSpeed;
        one.boids.SetGoalPoint(spire + D3DXVECTOR3(0, 0, 400));
        int inside = 0;
        for (int f = 0; f < 300; ++f) {
            one.boids.Update(kDt, &field);
            inside += field.GetObjects()[0].HullBoxContains(one[0].m_vPosition, 0.0f);
        }
        if (collision) {
            EXPECT_EQ(inside, 0);
        } else {
            EXPECT_GT(inside, 20);
        }
    }
}

// The camera's eye carried by its mode straight through a spire, near its
// middle: it is never inside the hull, slides over the faces with at most
// one crossing to the far side, and is the mode's eye again once that is clear.
TEST_F(ObstacleField, TheCameraEyeStaysOutOfASpire) {
    Camera camera;
    const float step = 0.75f;  // world units per frame
    D3DXVECTOR3 last(0, 0, 0);
    int jumps = 0;
    for (int f = 0; f <= 200; ++f) {
        const D3DXVECTOR3 modeEye = spire + D3DXVECTOR3(0.5f, 0, -60.0f + step * f);
        camera.SetPosition(modeEye.x, modeEye.y, modeEye.z);
        const int moved = KeepEyeOutOfObstacles(&camera, &field);
        const D3DXVECTOR3 eye = camera.GetPosition();
        ASSERT_EQ(field.GetObjects()[0].HullBoxContains(eye, kEyeClearance - 0.01f), 0) << "frame " << f;
        const D3DXVECTOR3 off = eye - modeEye;
        EXPECT_EQ(moved != 0, D3DXVec3Length(&off) > 0.0f);
        if (f > 0) {
            const D3DXVECTOR3 d = eye - last;
            jumps += D3DXVec3Length(&d) > 3.0f * step ? 1 : 0;
        }
        last = eye;
    }
    EXPECT_LE(jumps, 1);
    EXPECT_EQ(last, spire + D3DXVECTOR3(0.5f, 0, -60.0f + step * 200));
}

}  // namespace
