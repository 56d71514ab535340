// The soak's memory check on recorded readings of the heaviest scene: sound
// runs, whose driver working set swings with the picture, pass; the same
// runs with a leak of 1 KiB a frame added fail, over 2 hours, over any half
// hour, and over a quarter of an hour.
#include <gtest/gtest.h>

#include <vector>

#include "tools/soak_trend.h"

namespace {

// Two 2-hour soaks, one reading per 10 simulated minutes (MiB), and a
// 15-minute soak read every simulated minute after its warm-up, whose last
// readings caught the swing's steps.
const std::vector<double> kTwoHoursA = {162.9, 164.1, 166.6, 163.7, 162.6, 164.0,
                                        161.6, 162.6, 161.6, 161.7, 165.3, 164.3};
const std::vector<double> kTwoHoursB = {138.2, 138.2, 137.2, 135.8, 136.4, 133.0,
                                        135.3, 137.7, 135.3, 134.1, 136.6, 136.8};
const std::vector<double> kQuarterHour = {120.59, 119.85, 120.10, 121.97, 121.66, 120.85, 120.54, 120.73,
                                          121.14, 120.54, 120.35, 124.08, 124.08, 127.49, 124.08};

// Readings [first, first + count) of `mib`, `every` simulated seconds apart
// from t0, plus `leakPerFrame` bytes kept every 0.05 s frame.
std::vector<soak::Reading> Series(const std::vector<double>& mib, std::size_t first, std::size_t count, double t0,
                                  double every, double leakPerFrame) {
    std::vector<soak::Reading> out;
    for (std::size_t i = first; i < first + count; ++i) {
        const double t = t0 + every * static_cast<double>(i);
        out.push_back({t, mib[i] + leakPerFrame * (t / 0.05) / (1024.0 * 1024.0)});
    }
    return out;
}

}  // namespace

TEST(SoakTrend, TheSwingOfSoundRunsPassesAndAOneKibLeakFails) {
    for (const std::vector<double>* run : {&kTwoHoursA, &kTwoHoursB}) {
        const std::size_t n = run->size();
        EXPECT_TRUE(soak::WithinBound(Series(*run, 0, n, 600.0, 600.0, 0.0)));
        EXPECT_FALSE(soak::WithinBound(Series(*run, 0, n, 600.0, 600.0, 1024.0)));
        // Every half hour of it (4 readings).
        for (std::size_t i = 0; i + 4 <= n; ++i) {
            EXPECT_TRUE(soak::WithinBound(Series(*run, i, 4, 600.0, 600.0, 0.0))) << i;
            EXPECT_FALSE(soak::WithinBound(Series(*run, i, 4, 600.0, 600.0, 1024.0))) << i;
        }
    }
    EXPECT_TRUE(soak::WithinBound(Series(kQuarterHour, 0, kQuarterHour.size(), 60.0, 60.0, 0.0)));
    EXPECT_FALSE(soak::WithinBound(Series(kQuarterHour, 0, kQuarterHour.size(), 60.0, 60.0, 1024.0)));
    // A leak's slope reads as its size: 1 KiB a frame is 70.3 MiB an hour.
    const std::vector<double> flat(12, 100.0);
    EXPECT_NEAR(soak::SlopePerHour(Series(flat, 0, 12, 0.0, 600.0, 1024.0)), 70.3125, 1e-9);
}

TEST(SoakTrend, ShortRunsAreBoundByTheSwingOverTheirLength) {
    EXPECT_EQ(soak::SlopeBound(1.0), soak::kMaxSlopeMiBPerHour);
    EXPECT_DOUBLE_EQ(soak::SlopeBound(0.1), 112.5);  // the swing's largest tilt over 6 minutes
    EXPECT_EQ(soak::SlopeBound(0.0), HUGE_VAL);     // one reading: nothing to judge
    EXPECT_EQ(soak::SlopePerHour({{60.0, 120.0}}), 0.0);
}
