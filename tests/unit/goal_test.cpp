// The guide whale: its settings, the target state machine (first period,
// period 0, the random box, following per camera mode) and its body: speed
// clamps, the yaw-rate dead band, the escape rule and the collision switch.
#include <gtest/gtest.h>

#include <cmath>

#include "flock/goal.h"
#include "platform/os/clock.h"
#include "scene/background_obj.h"
#include "settings/settings.h"

namespace {

constexpr float kDt = 0.05f;
const D3DXVECTOR3 kEye(11, 22, 33);

TEST(Goal, SettingsMapAtTheirDefaults) {
    Settings s;
    Goal g;
    EXPECT_FLOAT_EQ(g.m_fBaseSpeed, 0.035f);
    g.ApplySettings(&s);
    EXPECT_FLOAT_EQ(g.m_fBaseSpeed, 0.074f);
    EXPECT_EQ(g.m_nCameraMode, 1);
    EXPECT_EQ(g.m_bCollision, 1);
}

TEST(Goal, KeepsItsFirstTargetForFortySecondsWithoutDrawing) {
    Goal g;
    g.m_nCameraMode = 2;
    g.SeedTargets(99);
    SRand(99);
    const int first = Rand();
    g.SeedTargets(99);
    for (int i = 0; i < 799; ++i) g.UpdateTarget(kEye, kDt);  // 39.95 s
    EXPECT_EQ(g.m_vTarget, D3DXVECTOR3(0, 25, 0));
    EXPECT_EQ(g.m_bFollow, 0);
    EXPECT_EQ(Rand(), first);  // nothing drawn yet
    for (int i = 0; i < 3; ++i) g.UpdateTarget(kEye, kDt);
    EXPECT_FLOAT_EQ(g.m_fTargetTimer, kDt);  // re-chosen once, just past 40 s
}

TEST(Goal, APeriodOfZeroDrawsANewTargetAtOnce) {
    Goal g;
    g.m_nCameraMode = 1;
    g.m_fTargetPeriod = 0.0f;
    g.SeedTargets(5);
    g.UpdateTarget(kEye, kDt);
    EXPECT_NE(g.m_vTarget, D3DXVECTOR3(0, 25, 0));
    EXPECT_EQ(g.m_fTargetTimer, 0.0f);
    EXPECT_GE(g.m_fTargetPeriod, 0.0f);
    EXPECT_LE(g.m_fTargetPeriod, 80.0f);
}

TEST(Goal, RandomTargetsStayInTheirBoxAndModeOneNeverFollows) {
    Goal g;
    g.m_nCameraMode = 1;
    g.SeedTargets(17);
    for (int i = 0; i < 2000; ++i) {
        g.m_fTargetPeriod = 0.0f;
        g.UpdateTarget(kEye, kDt);
        ASSERT_EQ(g.m_bFollow, 0);
        EXPECT_LE(std::fabs(g.m_vTarget.x), 600.0f);
        EXPECT_LE(std::fabs(g.m_vTarget.y), 150.0f);
        EXPECT_LE(std::fabs(g.m_vTarget.z), 600.0f);
    }
}

TEST(Goal, FollowingHeadsForTheEyeInModeTwoAndTheOriginInModeThree) {
    for (int mode : {2, 3, 7}) {
        Goal g;
        g.m_nCameraMode = mode;
        g.SeedTargets(23);
        int following = 0, wandering = 0;
        for (int i = 0; i < 200; ++i) {
            g.m_fTargetPeriod = 0.0f;
            g.UpdateTarget(kEye, kDt);
            if (g.m_bFollow) {
                ++following;
                EXPECT_EQ(g.m_vTarget, mode == 3 ? D3DXVECTOR3(0, 0, 0) : kEye) << "mode " << mode;
            } else {
                ++wandering;
            }
        }
        // Even odds at each re-choice.
        EXPECT_GT(following, 50) << "mode " << mode;
        EXPECT_GT(wandering, 50) << "mode " << mode;
    }
    // While following, the target tracks the eye of every frame.
    Goal g;
    g.m_nCameraMode = 2;
    g.m_bFollow = 1;
    g.UpdateTarget(D3DXVECTOR3(1, 2, 3), kDt);
    EXPECT_EQ(g.m_vTarget, D3DXVECTOR3(1, 2, 3));
}

TEST(Goal, SpeedIsClampedAfterTheFirstFrameAndMayPassTwiceByTheBonus) {
    Goal g;
    const float base = g.m_fBaseSpeed;
    g.Update(kDt, nullptr);  // from 0, lifted to half the base
    EXPECT_GE(g.m_fSpeed, base / 2.0f);
    for (int i = 0; i < 4000; ++i) {
        g.Update(kDt, nullptr);
        EXPECT_GE(g.m_fSpeed, base / 2.0f);
        EXPECT_LE(g.m_fSpeed, 2.0f * base + 0.5f * base * kDt * 1.0001f);
    }
    // Far too fast with the target ahead: clamped to 2 G, then the bonus.
    g.m_vPosition = D3DXVECTOR3(0, 0, 0);
    g.m_vHeading = D3DXVECTOR3(0, 0, 1);
    g.m_fYaw = g.m_fPitch = 0.0f;
    g.m_vTarget = D3DXVECTOR3(0, 0, 100);
    g.m_fSpeed = 1.0f;
    g.Update(kDt, nullptr);
    EXPECT_FLOAT_EQ(g.m_fSpeed, 2.0f * base + 0.5f * base * kDt);
}

TEST(Goal, YawRateDeadBandRestartsAtAHundredth) {
    Goal g;
    g.m_vPosition = D3DXVECTOR3(0, 0, 0);
    g.m_vHeading = D3DXVECTOR3(0, 0, 1);
    g.m_vTarget = D3DXVECTOR3(0, 0, 100);
    g.m_fYawRate = 0.005f;
    g.Update(kDt, nullptr);
    EXPECT_FLOAT_EQ(g.m_fYawRate, 0.01f);
    EXPECT_FLOAT_EQ(g.m_fRoll, -0.2f * 0.01f);
}

TEST(Goal, PositionForTheFlockIsFromBeforeTheMove) {
    Goal g;
    g.Update(kDt, nullptr);
    D3DXVECTOR3 p;
    g.GetInstance().GetPosition(&p);
    EXPECT_EQ(p, D3DXVECTOR3(200, 25, 200));
    EXPECT_NE(g.m_vPosition, p);
}

TEST(Goal, EscapesBeyondEightThousandButNotExactlyThere) {
    Goal g;
    g.m_vPosition = D3DXVECTOR3(0, 0, 8000);
    g.Update(kDt, nullptr);
    EXPECT_NEAR(g.m_vPosition.z, 8000.0f, 1.0f);
    g.m_vPosition = D3DXVECTOR3(0, 0, 8000.5f);
    g.Update(kDt, nullptr);
    EXPECT_EQ(g.m_vPosition, D3DXVECTOR3(0, 0, 0));
    EXPECT_EQ(g.GetEscapeCount(), 1u);
}

// Head-on at a spire with the target straight behind it: the guide turns
// aside and never enters the hull (the bare normal, pointing straight back,
// would leave the yaw rule in its dead band); without collisions it swims in.
// A target inside the hull is aimed at from outside.
TEST(Goal, FeelerTurnsTheGuideAsideAndOnlyWhenCollisionsAreOn) {
    BackGroundObj field;
    ASSERT_EQ(field.InitDeviceObjects(nullptr, "OBSTACLE01.X", "OBSTACLE01.BPS", nullptr), S_OK);
    field.m_fCheckRange = 200.0f;
    D3DXVECTOR3 spire;
    field.GetObjects()[0].GetPosition(&spire);
    for (const D3DXVECTOR3& target : {D3DXVECTOR3(0, 0, 300), D3DXVECTOR3(0, 0, 0)}) {
        for (int collision : {0, 1}) {
            Goal g;
            g.m_bCollision = collision;
            g.m_vPosition = spire + D3DXVECTOR3(0, 0, -70);
            g.m_vHeading = D3DXVECTOR3(0, 0, 1);
            g.m_vTarget = spire + target;
            g.m_fSpeed = 2.0f * g.m_fBaseSpeed;
            int inside = 0;
            for (int f = 0; f < 600; ++f) {
                g.Update(kDt, &field);
                inside += field.GetObjects()[0].HullBoxContains(g.m_vPosition, 0.0f);
            }
            if (collision) {
                EXPECT_EQ(inside, 0) << "target z " << target.z;
            } else {
                EXPECT_GT(inside, 20) << "target z " << target.z;
            }
        }
    }
}

}  // namespace
