// The light direction of each frame: it circles about y at 1/3 rad/s, and
// also tumbles about x at 0.4 rad/s in the deep sea, smoothly even after
// weeks of uptime (the millisecond clock counts from boot).
#include <gtest/gtest.h>

#include <cmath>

#include "platform/os/clock.h"
#include "shell/lifecycle.h"

namespace {

DWORD g_Ms = 0;
DWORD Ms() { return g_Ms; }

// Base (0.5, 0.9, 0.5) turned by Ry(a) then Rx(b), row vectors, in double.
void Expected(double ms, bool deep, double out[3]) {
    const double a = ms / 3000.0, b = deep ? ms / 2500.0 : 0.0;
    const double x = 0.5, y = 0.9, z = 0.5;
    // p * Ry(a): x' = x cos a + z sin a, z' = -x sin a + z cos a (left-handed D3DX)
    const double x1 = x * std::cos(a) + z * std::sin(a);
    const double z1 = -x * std::sin(a) + z * std::cos(a);
    // then * Rx(b): y'' = y cos b - z sin b, z'' = y sin b + z cos b
    out[0] = x1;
    out[1] = y * std::cos(b) - z1 * std::sin(b);
    out[2] = y * std::sin(b) + z1 * std::cos(b);
}

class LightDirection : public ::testing::TestWithParam<int> {
protected:
    void TearDown() override {
        SetClockOverride(nullptr);
        g_Settings.SetDefaults();
    }
};

}  // namespace

TEST_P(LightDirection, FollowsTheClockAfterLongUptime) {
    const bool deep = GetParam() == 1;
    g_Settings.intChkCol = deep ? 1 : 0;
    ClockOverride clock{Ms, nullptr, 0};
    SetClockOverride(&clock);
    // About 35 days after boot, then 16 ms later: a float of the time would
    // be 256 ms coarse here.
    for (DWORD ms : {DWORD{1234}, DWORD{3'000'000'123}, DWORD{3'000'000'139}}) {
        g_Ms = ms;
        Update();
        double e[3];
        Expected(ms, deep, e);
        EXPECT_NEAR(g_vLightDir.x, e[0], 2e-4) << ms;
        EXPECT_NEAR(g_vLightDir.y, e[1], 2e-4) << ms;
        EXPECT_NEAR(g_vLightDir.z, e[2], 2e-4) << ms;
        EXPECT_EQ(g_vLightDir.w, 0.0f);
    }
}

INSTANTIATE_TEST_SUITE_P(NormalAndDeepSea, LightDirection, ::testing::Values(0, 1));
