// The embedded placement files (.BPS, .TPS) and the camera path (.FPP):
// exact sizes and counts, the fixed rows bit for bit, the arrangement of the
// generated placements, and that the committed files are what the
// generator writes.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/os/resource.h"
#include "tools/content/placement_format.h"
#include "tools/content/placement_layouts.h"

namespace {

using Matrix = std::array<float, 16>;

struct Placements {
    std::int32_t count = -1;
    std::vector<Matrix> m;
};

// Reads a placement resource; fails the test when it is missing or its size
// is not 4 + 64 * count.
Placements Load(const char* name) {
    Placements p;
    const ResourceData res = FindResourceData(name, "MISC");
    EXPECT_TRUE(res) << name << " is not embedded";
    if (!res || res.size < 4) return p;
    std::memcpy(&p.count, res.data, 4);
    EXPECT_EQ(res.size, 4 + 64 * static_cast<std::size_t>(p.count)) << name;
    if (p.count < 0 || res.size != 4 + 64 * static_cast<std::size_t>(p.count)) return p;
    p.m.resize(static_cast<std::size_t>(p.count));
    std::memcpy(p.m.data(), res.data + 4, 64 * p.m.size());
    return p;
}

void ExpectBits(const float* actual, std::initializer_list<float> expected, const std::string& what) {
    std::size_t i = 0;
    for (float e : expected) {
        EXPECT_EQ(std::bit_cast<std::uint32_t>(actual[i]), std::bit_cast<std::uint32_t>(e))
            << what << " element " << i << ": " << actual[i] << " vs " << e;
        ++i;
    }
}

struct V3 {
    double x, y, z;
};
V3 Row(const Matrix& m, int r) {
    return {m[4 * r], m[4 * r + 1], m[4 * r + 2]};
}
double Dot(V3 a, V3 b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
double Len(V3 a) {
    return std::sqrt(Dot(a, a));
}
double Det(const Matrix& m) {
    const V3 a = Row(m, 0), b = Row(m, 1), c = Row(m, 2);
    return a.x * (b.y * c.z - b.z * c.y) - a.y * (b.x * c.z - b.z * c.x) + a.z * (b.x * c.y - b.y * c.x);
}
double Horizontal(const Matrix& m) {
    return std::hypot(m[12], m[14]);
}

// Uniform scale s with no rotation, and a proper last column.
void ExpectScaleOnly(const Matrix& m, float s, const std::string& what) {
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) EXPECT_EQ(m[4 * r + c], r == c ? s : 0.0f) << what << " _" << r + 1 << c + 1;
    EXPECT_EQ(m[3], 0.0f);
    EXPECT_EQ(m[7], 0.0f);
    EXPECT_EQ(m[11], 0.0f);
    EXPECT_EQ(m[15], 1.0f) << what;
}

// A rotation scaled by s: rows of length s, square to each other,
// right-handed.
void ExpectScaledRotation(const Matrix& m, double s, double tolerance, const std::string& what) {
    for (int r = 0; r < 3; ++r) EXPECT_NEAR(Len(Row(m, r)), s, tolerance) << what << " row " << r;
    EXPECT_NEAR(Dot(Row(m, 0), Row(m, 1)) / (s * s), 0.0, 1e-4) << what;
    EXPECT_NEAR(Dot(Row(m, 0), Row(m, 2)) / (s * s), 0.0, 1e-4) << what;
    EXPECT_NEAR(Dot(Row(m, 1), Row(m, 2)) / (s * s), 0.0, 1e-4) << what;
    EXPECT_GT(Det(m), 0.0) << what << " is mirrored";
    EXPECT_EQ(m[3], 0.0f);
    EXPECT_EQ(m[7], 0.0f);
    EXPECT_EQ(m[11], 0.0f);
    EXPECT_EQ(m[15], 1.0f) << what;
}

TEST(PlacementFiles, AreEmbeddedWithTheirCountsAndExactSizes) {
    const struct {
        const char* name;
        int count;
    } files[] = {{"OBSTACLE01.BPS", 20}, {"PILLAR.BPS", 24}, {"PILLAR2.BPS", 4}, {"MOON.BPS", 4}, {"WORLDCLOCK.TPS", 12}};
    for (const auto& f : files) EXPECT_EQ(Load(f.name).count, f.count) << f.name;
    // Look-up ignores case, as the loaders' callers rely on.
    EXPECT_TRUE(FindResourceData("worldclock.tps", "misc"));
}

TEST(PlacementFiles, FixedRowsAreReproducedBitForBit) {
    const Placements obstacle = Load("OBSTACLE01.BPS");
    ASSERT_EQ(obstacle.m.size(), 20u);
    ExpectBits(&obstacle.m[0][12], {-83.588f, 34.391f, 94.117f, 1.0f}, "OBSTACLE01 first translation");

    const Placements pillar = Load("PILLAR.BPS");
    ASSERT_EQ(pillar.m.size(), 24u);
    ExpectBits(&pillar.m[0][12], {-8537.543f, -297.806f, 34.919f, 1.0f}, "PILLAR first translation");
    ExpectBits(&pillar.m[1][12], {-53.676f, -363.955f, 8520.513f, 1.0f}, "PILLAR second translation");
    EXPECT_EQ(pillar.m[1][0], 4188.799f);

    const Placements pillar2 = Load("PILLAR2.BPS");
    ASSERT_EQ(pillar2.m.size(), 4u);
    ExpectBits(&pillar2.m[0][12], {-6224.267f, -2671.038f, 6008.383f, 1.0f}, "PILLAR2 first translation");

    const Placements moon = Load("MOON.BPS");
    ASSERT_EQ(moon.m.size(), 4u);
    ExpectBits(moon.m[0].data(),
               {-1073.625f, 1382.438f, -832.684f, 0.0f, -1130.949f, -1357.956f, -796.292f, 0.0f, -1151.282f, 44.787f,
                1558.755f, 0.0f, -6049.230f, 4100.259f, 6046.120f, 1.0f},
               "MOON first matrix");

    const Placements clock = Load("WORLDCLOCK.TPS");
    ASSERT_EQ(clock.m.size(), 12u);
    ExpectBits(clock.m[0].data(),
               {-193.730f, 0.0f, -6.135f, 0.0f, -0.193f, 193.732f, 6.083f, 0.0f, 6.132f, 6.086f, -193.635f, 0.0f,
                -9.555f, 1778.615f, 5198.923f, 1.0f},
               "WORLDCLOCK first matrix");
}

TEST(PlacementFiles, ObstaclesStandNearTheAxisAndOnARing) {
    const Placements p = Load("OBSTACLE01.BPS");
    ASSERT_EQ(p.m.size(), 20u);
    int near = 0, ring = 0;
    for (std::size_t i = 0; i < p.m.size(); ++i) {
        const std::string what = "obstacle " + std::to_string(i);
        ExpectScaleOnly(p.m[i], 25.912f, what);
        EXPECT_EQ(p.m[i][13], 34.391f) << what;
        const double r = Horizontal(p.m[i]);
        if (r >= 94.0 && r <= 126.0) ++near;
        else if (r >= 455.0 && r <= 510.0) ++ring;
        else ADD_FAILURE() << what << " at horizontal distance " << r;
        for (std::size_t j = 0; j < i; ++j)
            EXPECT_GT(std::hypot(p.m[i][12] - p.m[j][12], p.m[i][14] - p.m[j][14]), 100.0)
                << what << " crowds obstacle " << j;
    }
    EXPECT_EQ(near, 4);
    EXPECT_EQ(ring, 16);
}

TEST(PlacementFiles, PillarsFormTwoRingsAndFourCorners) {
    const Placements p = Load("PILLAR.BPS");
    ASSERT_EQ(p.m.size(), 24u);
    int outer = 0, inner = 0;
    for (std::size_t i = 0; i < p.m.size(); ++i) {
        const std::string what = "pillar " + std::to_string(i);
        ExpectScaleOnly(p.m[i], 4188.799f, what);
        const double r = Horizontal(p.m[i]), y = p.m[i][13];
        if (r >= 8500.0 && r <= 8760.0 && y >= -1646.0 && y <= -297.8) ++outer;
        else if (r >= 6500.0 && r <= 7400.0 && y >= -3238.0 && y <= -2142.0) ++inner;
        else ADD_FAILURE() << what << " at radius " << r << ", height " << y;
    }
    EXPECT_EQ(outer, 12);
    EXPECT_EQ(inner, 12);

    const Placements big = Load("PILLAR2.BPS");
    ASSERT_EQ(big.m.size(), 4u);
    bool corner[2][2] = {};
    for (std::size_t i = 0; i < big.m.size(); ++i) {
        const Matrix& m = big.m[i];
        ExpectScaleOnly(m, 8306.071f, "large pillar " + std::to_string(i));
        EXPECT_TRUE(std::fabs(m[12]) >= 6000.0f && std::fabs(m[12]) <= 6225.0f) << i << ": x " << m[12];
        EXPECT_TRUE(m[13] >= -2689.2f && m[13] <= -2548.0f) << i << ": y " << m[13];
        EXPECT_TRUE(std::fabs(m[14]) >= 6008.0f && std::fabs(m[14]) <= 6065.0f) << i << ": z " << m[14];
        corner[m[12] > 0][m[14] > 0] = true;
    }
    EXPECT_TRUE(corner[0][0] && corner[0][1] && corner[1][0] && corner[1][1]) << "one per diagonal corner";
}

TEST(PlacementFiles, MoonsAreTurnedDifferentlyAboveTheCorners) {
    const Placements p = Load("MOON.BPS");
    ASSERT_EQ(p.m.size(), 4u);
    bool corner[2][2] = {};
    for (std::size_t i = 0; i < p.m.size(); ++i) {
        const Matrix& m = p.m[i];
        ExpectScaledRotation(m, 1938.34, 0.01, "moon " + std::to_string(i));
        EXPECT_TRUE(std::fabs(m[12]) >= 6002.0f && std::fabs(m[12]) <= 6086.0f) << i << ": x " << m[12];
        EXPECT_TRUE(m[13] >= 3967.0f && m[13] <= 4100.3f) << i << ": y " << m[13];
        EXPECT_TRUE(std::fabs(m[14]) >= 6002.0f && std::fabs(m[14]) <= 6067.0f) << i << ": z " << m[14];
        corner[m[12] > 0][m[14] > 0] = true;
        for (std::size_t j = 0; j < i; ++j)
            EXPECT_LT(Dot(Row(m, 2), Row(p.m[j], 2)) / (1938.34 * 1938.34), 0.95) << "moons " << i << " and " << j
                                                                                   << " face the same way";
    }
    EXPECT_TRUE(corner[0][0] && corner[0][1] && corner[1][0] && corner[1][1]) << "one per diagonal corner";
}

TEST(PlacementFiles, ClocksHangThreeToAWallFacingTheCentre) {
    const Placements p = Load("WORLDCLOCK.TPS");
    ASSERT_EQ(p.m.size(), 12u);
    int perWall[4] = {};
    for (std::size_t i = 0; i < p.m.size(); ++i) {
        const Matrix& m = p.m[i];
        const std::string what = "clock " + std::to_string(i);
        ExpectScaledRotation(m, 193.83, 0.01, what);
        ExpectBits(&m[4], {-0.193f, 193.732f, 6.083f}, what + " y row");
        EXPECT_TRUE(m[13] >= 425.0f && m[13] <= 1825.0f) << what << " height " << m[13];
        // Wall: z = 5199, x = 5183, z = -5214, x = -5216 (a few units' play).
        const double x = m[12], z = m[14];
        int wall = -1;
        if (std::fabs(z - 5199) < 5 && std::fabs(x) < 5199) wall = 0;
        else if (std::fabs(x - 5183) < 5 && std::fabs(z) < 5183) wall = 1;
        else if (std::fabs(z + 5214) < 5 && std::fabs(x) < 5214) wall = 2;
        else if (std::fabs(x + 5216) < 5 && std::fabs(z) < 5216) wall = 3;
        ASSERT_NE(wall, -1) << what << " is on no wall: " << x << ", " << z;
        ++perWall[wall];
        // The dial's z axis points (nearly) at the vertical axis through the
        // centre.
        const double toCentre = (-x * m[8] - z * m[10]) / (std::hypot(x, z) * std::hypot(m[8], m[10]));
        EXPECT_GT(toCentre, 0.99) << what;
        // The twelve clocks are spread out: no two dials (about 1300 units
        // wide) overlap.
        for (std::size_t j = 0; j < i; ++j)
            EXPECT_GT(std::hypot(x - p.m[j][12], m[13] - p.m[j][13], z - p.m[j][14]), 1400.0) << what << ", " << j;
    }
    for (int w = 0; w < 4; ++w) EXPECT_EQ(perWall[w], 3) << "wall " << w;
}

TEST(PathFile, ClockPathCarriesTheListedPointsAndTrailingArrays) {
    const ResourceData res = FindResourceData("CLOCK.FPP", "MISC");
    ASSERT_TRUE(res);
    ASSERT_EQ(res.size, 984u);
    std::int32_t n = 0;
    std::memcpy(&n, res.data, 4);
    ASSERT_EQ(n, 49);
    std::vector<float> f(245);  // 49 points * 3, then 2 * 49 trailing values
    std::memcpy(f.data(), res.data + 4, 980);
    auto point = [&](int i) { return &f[3 * static_cast<std::size_t>(i)]; };
    ExpectBits(point(0), {52.7483f, 9.1678f, -167.2546f}, "point 0");
    ExpectBits(point(8), {-61.4207f, 88.3693f, 12.9554f}, "point 8");
    ExpectBits(point(17), {61.9675f, -51.7356f, 87.3809f}, "point 17");
    ExpectBits(point(35), {-222.1845f, -1.2750f, -421.2567f}, "point 35");
    ExpectBits(point(38), {-51.0374f, -2.0790f, -323.3101f}, "point 38");
    ExpectBits(point(48), {56.9080f, -1.2750f, -137.3920f}, "point 48");

    // Whole-table properties: the mean of the points and the spacing of
    // consecutive points round the closed path.
    double sx = 0, sy = 0, sz = 0, minGap = 1e9, maxGap = 0, sumGap = 0;
    for (int i = 0; i < 49; ++i) {
        sx += point(i)[0];
        sy += point(i)[1];
        sz += point(i)[2];
        const float* a = point(i);
        const float* b = point((i + 1) % 49);
        const double gap = std::hypot(b[0] - a[0], b[1] - a[1], b[2] - a[2]);
        minGap = std::min(minGap, gap);
        maxGap = std::max(maxGap, gap);
        sumGap += gap;
    }
    EXPECT_NEAR(sx / 49, 21.50, 0.01);
    EXPECT_NEAR(sy / 49, 2.47, 0.01);
    EXPECT_NEAR(sz / 49, -120.45, 0.01);
    EXPECT_NEAR(minGap, 31.9, 0.05);
    EXPECT_NEAR(maxGap, 152.1, 0.05);
    EXPECT_NEAR(sumGap / 49, 78.2, 0.05);

    const float* turn = &f[147];
    const float* pace = &f[196];
    for (int i = 0; i < 49; ++i) {
        if (i <= 8) {
            EXPECT_TRUE(turn[i] >= 5.57f && turn[i] <= 7.87f) << i << ": " << turn[i];
            EXPECT_TRUE(pace[i] >= 70.4f && pace[i] <= 91.9f) << i << ": " << pace[i];
        } else {
            EXPECT_EQ(turn[i], 6.2832f) << i;
            EXPECT_EQ(pace[i], i <= 16 ? 75.0f : i == 17 ? 86.2f : 150.0f) << i;
        }
    }
}

// The committed files are exactly what the generator writes now.
TEST(PlacementFiles, MatchTheGeneratorByteForByte) {
    using namespace content;
    const struct {
        const char* name;
        std::vector<std::uint8_t> bytes;
    } files[] = {
        {"OBSTACLE01.BPS", EncodePlacementFile(ObstaclePlacements())},
        {"PILLAR.BPS", EncodePlacementFile(PillarPlacements())},
        {"PILLAR2.BPS", EncodePlacementFile(Pillar2Placements())},
        {"MOON.BPS", EncodePlacementFile(MoonPlacements())},
        {"WORLDCLOCK.TPS", EncodePlacementFile(WorldClockPlacements())},
        {"CLOCK.FPP", EncodePathFile(ClockPathPoints(), ClockPathTrailing())},
    };
    for (const auto& f : files) {
        const ResourceData res = FindResourceData(f.name, "MISC");
        ASSERT_TRUE(res) << f.name;
        EXPECT_TRUE(res.size == f.bytes.size() && std::equal(f.bytes.begin(), f.bytes.end(), res.data))
            << f.name << " differs from the generator: run gen_content resources/";
    }
}

}  // namespace
