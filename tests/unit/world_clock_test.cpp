// Clock readings: zone time, twelve-hour value, AM/PM and hand angles; the
// cities' offsets from the time-zone database, summer and winter; and the
// placement-file reader the clocks and background sets share.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "scene/placement.h"
#include "scene/world_clock.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_folder.h"

namespace {
constexpr std::time_t kMidnight = 1764979200;  // 2025-12-06 00:00:00 UTC
constexpr int kHour = 3600;  // seconds
constexpr int kZones[12] = {0, 2 * kHour, 9 * kHour / 2, 11 * kHour / 2, 8 * kHour, 9 * kHour, 10 * kHour,
                            -10 * kHour, -8 * kHour, -6 * kHour, -5 * kHour, -3 * kHour};
}  // namespace

TEST(WorldClockReading, MidnightUtcInWorldMode) {
    WorldClock::Reading c0 = WorldClock::ReadClock(kMidnight, 0, kZones[0]);
    EXPECT_EQ(c0.hour, 0);
    EXPECT_EQ(c0.pm, 0);
    EXPECT_EQ(c0.hourAngle, 0.0f);
    EXPECT_EQ(c0.minuteAngle, 0.0f);
    EXPECT_EQ(c0.secondAngle, 0.0f);

    WorldClock::Reading c2 = WorldClock::ReadClock(kMidnight, 0, kZones[2]);  // +4.5 h
    EXPECT_EQ(c2.hour, 4);
    EXPECT_EQ(c2.minute, 30);
    EXPECT_EQ(c2.pm, 0);
    EXPECT_FLOAT_EQ(c2.hourAngle, 4 * 0.5235988f + 30 * (0.5235988f / 60.0f));
    EXPECT_FLOAT_EQ(c2.minuteAngle, 30 * 0.10471976f);

    WorldClock::Reading c3 = WorldClock::ReadClock(kMidnight, 0, kZones[3]);  // +5.5 h
    EXPECT_EQ(c3.hour, 5);
    EXPECT_EQ(c3.minute, 30);
}

TEST(WorldClockReading, AfternoonNoonAndThePreviousDay) {
    WorldClock::Reading a = WorldClock::ReadClock(kMidnight + 13 * 3600 + 45 * 60 + 7, 0, 0);
    EXPECT_EQ(a.pm, 1);
    EXPECT_FLOAT_EQ(a.hourAngle, 0.5235988f + 45 * (0.5235988f / 60.0f));  // h = 1
    EXPECT_FLOAT_EQ(a.secondAngle, 7 * 0.10471976f);

    WorldClock::Reading noon = WorldClock::ReadClock(kMidnight + 12 * 3600 + 10 * 60, 0, 0);
    EXPECT_EQ(noon.pm, 1);
    EXPECT_FLOAT_EQ(noon.hourAngle, 12 * 0.5235988f + 10 * (0.5235988f / 60.0f));  // h stays 12

    // Clock 7 (−10 h) at 05:00 UTC shows 19:00 of the day before.
    WorldClock::Reading c7 = WorldClock::ReadClock(kMidnight + 5 * 3600, 0, kZones[7]);
    EXPECT_EQ(c7.hour, 19);
    EXPECT_EQ(c7.pm, 1);
    EXPECT_FLOAT_EQ(c7.hourAngle, 7 * 0.5235988f);
}

TEST(WorldClockReading, NormalModeShowsLocalTimeWhateverTheZone) {
    const char* old = std::getenv("TZ");
    std::string saved = old ? old : "";
    setenv("TZ", "JST-9", 1);  // a fixed +9 h zone without daylight saving
    tzset();
    for (int zone : kZones) {
        WorldClock::Reading r = WorldClock::ReadClock(kMidnight, 1, zone);
        EXPECT_EQ(r.hour, 9);
        EXPECT_EQ(r.minute, 0);
    }
    if (old) {
        setenv("TZ", saved.c_str(), 1);
    } else {
        unsetenv("TZ");
    }
    tzset();
}

namespace {
constexpr std::time_t kJanuaryNoon = 1767268800;  // 2026-01-01 12:00:00 UTC
constexpr std::time_t kJulyNoon = 1782907200;     // 2026-07-01 12:00:00 UTC
}  // namespace

// Every city from the database: the six with summer time move an hour (the
// southern ones the other way round), the rest keep the fixed offsets.
TEST(WorldClockZones, EachCityShowsItsCivilTimeInJanuaryAndJuly) {
    constexpr int kJanuary[12] = {0, 2 * kHour, 9 * kHour / 2, 11 * kHour / 2, 8 * kHour, 9 * kHour, 11 * kHour,
                                  -10 * kHour, -8 * kHour, -6 * kHour, -5 * kHour, -3 * kHour};
    constexpr int kJuly[12] = {1 * kHour, 3 * kHour, 9 * kHour / 2, 11 * kHour / 2, 8 * kHour, 9 * kHour, 10 * kHour,
                               -10 * kHour, -7 * kHour, -5 * kHour, -4 * kHour, -3 * kHour};
    WorldClock clock;
    clock.OpenZones();
    for (int i = 0; i < WorldClock::kMaxClocks; ++i) {
        ASSERT_TRUE(clock.ZoneFromDatabase(i)) << WorldClock::kZoneIds[i] << " (is tzdata installed?)";
        EXPECT_EQ(clock.ZoneOffsetSeconds(i, kJanuaryNoon), kJanuary[i]) << WorldClock::kZoneIds[i];
        EXPECT_EQ(clock.ZoneOffsetSeconds(i, kJulyNoon), kJuly[i]) << WorldClock::kZoneIds[i];
    }
    // NEW YORK (clock 10) and LONDON (clock 0) at 12:00 UTC.
    WorldClock::Reading ny = WorldClock::ReadClock(kJulyNoon, 0, clock.ZoneOffsetSeconds(10, kJulyNoon));
    WorldClock::Reading london = WorldClock::ReadClock(kJulyNoon, 0, clock.ZoneOffsetSeconds(0, kJulyNoon));
    EXPECT_EQ(ny.hour, 8);
    EXPECT_EQ(london.hour, 13);
    EXPECT_EQ(london.pm, 1);
    ny = WorldClock::ReadClock(kJanuaryNoon, 0, clock.ZoneOffsetSeconds(10, kJanuaryNoon));
    london = WorldClock::ReadClock(kJanuaryNoon, 0, clock.ZoneOffsetSeconds(0, kJanuaryNoon));
    EXPECT_EQ(ny.hour, 7);
    EXPECT_EQ(london.hour, 12);
    EXPECT_FLOAT_EQ(london.hourAngle, 12 * WorldClock::kHourStep);

    // The hour the clocks go back in New York: 2026-11-01 06:00 UTC is 01:00
    // EST, one second earlier 01:59:59 EDT.
    constexpr std::time_t kFallBack = 1793512800;
    EXPECT_EQ(clock.ZoneOffsetSeconds(10, kFallBack - 1), -4 * kHour);
    EXPECT_EQ(clock.ZoneOffsetSeconds(10, kFallBack), -5 * kHour);
}

// With no zone in the database every clock keeps its fixed offset.
TEST(WorldClockZones, ZonesMissingFromTheDatabaseKeepTheFixedOffsets) {
    const TempFolder empty;  // a database without a single zone
    WorldClock clock;
    {
        const ScopedEnv database("TZDIR", empty.Path().c_str());
        clock.OpenZones();
    }
    for (int i = 0; i < WorldClock::kMaxClocks; ++i) {
        EXPECT_FALSE(clock.ZoneFromDatabase(i)) << WorldClock::kZoneIds[i];
        EXPECT_EQ(clock.ZoneOffsetSeconds(i, kJulyNoon), kZones[i]) << WorldClock::kZoneIds[i];
    }
}

namespace {
std::vector<std::uint8_t> PlacementBytes(std::int32_t n, int matrices) {
    std::vector<std::uint8_t> bytes(4 + 64 * static_cast<std::size_t>(matrices));
    std::memcpy(bytes.data(), &n, 4);
    for (int i = 0; i < matrices; ++i) {
        float m[16] = {2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 2, 0, static_cast<float>(i), -1.5f, 8520.513f, 1};
        std::memcpy(bytes.data() + 4 + 64 * i, m, 64);
    }
    return bytes;
}
}  // namespace

TEST(PlacementFile, ReadsMatricesInPlaceAndRejectsShortOrNegativeFiles) {
    std::vector<std::uint8_t> good = PlacementBytes(3, 3);
    PlacementFile p;
    ASSERT_TRUE(ReadPlacementFile(ResourceData{good.data(), good.size()}, &p));
    EXPECT_EQ(p.count, 3);
    D3DXMATRIX m = p.Matrix(2);
    EXPECT_EQ(m._41, 2.0f);
    EXPECT_EQ(m._43, 8520.513f);
    EXPECT_EQ(m._11, 2.0f);

    std::vector<std::uint8_t> empty = PlacementBytes(0, 0);
    ASSERT_TRUE(ReadPlacementFile(ResourceData{empty.data(), empty.size()}, &p));
    EXPECT_EQ(p.count, 0);

    std::vector<std::uint8_t> shortFile = PlacementBytes(3, 2);
    EXPECT_FALSE(ReadPlacementFile(ResourceData{shortFile.data(), shortFile.size()}, &p));
    std::vector<std::uint8_t> negative = PlacementBytes(-1, 0);
    EXPECT_FALSE(ReadPlacementFile(ResourceData{negative.data(), negative.size()}, &p));
    std::vector<std::uint8_t> huge = PlacementBytes(0x7fffffff, 1);
    EXPECT_FALSE(ReadPlacementFile(ResourceData{huge.data(), huge.size()}, &p));
    EXPECT_FALSE(ReadPlacementFile(ResourceData{good.data(), 3}, &p));
}
