// The placement files (obstacles, pillars, moons, clocks) and the camera path
// of the scene, as data. Rows that the scene's description fixes are written
// out literally; the remaining placements are laid out here by rule (even
// angular spacing with a small deterministic jitter) so every run of the
// generator produces the same bits. Units are world units; y is up; angles
// around the vertical axis are measured from +z towards +x, so a horizontal
// direction at angle a is (sin a, 0, cos a).
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

#include "tools/content/placement_format.h"

namespace content {

namespace layout_detail {

constexpr double kPi = 3.14159265358979323846;
constexpr double kDegree = kPi / 180.0;

// A stable pseudo-random value in [-1, 1] for (stream, index): an integer
// hash, so it does not depend on any library's random generator.
inline double Jitter(std::uint32_t stream, std::uint32_t index) {
    std::uint32_t h = stream * 0x9E3779B1u ^ (index + 0x7F4A7C15u) * 0x85EBCA77u;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    h *= 0x297A2D39u;
    h ^= h >> 15;
    return static_cast<double>(h) / 2147483647.5 - 1.0;
}

// Generated values are kept to three decimals, as the fixed rows are: the
// stored floats then do not hinge on the last bit of a sine or cosine.
inline float Milli(double v) {
    return static_cast<float>(std::round(v * 1000.0) / 1000.0);
}

// Uniform scale s, no rotation, translation (x, y, z).
inline PlacementMatrix ScaledAt(float s, double x, double y, double z) {
    return {s, 0, 0, 0, 0, s, 0, 0, 0, 0, s, 0, Milli(x), Milli(y), Milli(z), 1};
}

struct Vec3 {
    double x, y, z;
};

inline Vec3 Cross(const Vec3& a, const Vec3& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline double Dot(const Vec3& a, const Vec3& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
inline double Length(const Vec3& a) {
    return std::sqrt(Dot(a, a));
}

// Rows x, y, z (already scaled) and a translation.
inline PlacementMatrix FromRows(const Vec3& x, const Vec3& y, const Vec3& z, const Vec3& t) {
    return {Milli(x.x), Milli(x.y), Milli(x.z), 0, Milli(y.x), Milli(y.y), Milli(y.z), 0,
            Milli(z.x), Milli(z.y), Milli(z.z), 0, Milli(t.x), Milli(t.y), Milli(t.z), 1};
}

}  // namespace layout_detail

// "OBSTACLE01.BPS": 20 obstacles of uniform scale 25.912, unrotated, all at
// height 34.391. Four stand close to the vertical axis (horizontal distance
// 94 to 126), 90 degrees apart; sixteen stand on a ring of radius 457 to 508,
// 22.5 degrees apart, offset half a step from the inner four.
inline std::vector<PlacementMatrix> ObstaclePlacements() {
    using namespace layout_detail;
    const float s = 25.912f;
    const double y = 34.391;
    std::vector<PlacementMatrix> m;
    m.push_back(ScaledAt(s, -83.588, 34.391, 94.117));
    const double first = std::atan2(-83.588, 94.117);
    const double innerRadius[3] = {94.3, 117.6, 105.2};
    for (int i = 1; i < 4; ++i) {
        const double a = first + i * 90.0 * kDegree + 4.0 * kDegree * Jitter(1, i);
        m.push_back(ScaledAt(s, innerRadius[i - 1] * std::sin(a), y, innerRadius[i - 1] * std::cos(a)));
    }
    for (int i = 0; i < 16; ++i) {
        const double a = (11.25 + 22.5 * i + 3.0 * Jitter(2, i)) * kDegree;
        const double r = 482.5 + 25.0 * Jitter(3, i);
        m.push_back(ScaledAt(s, r * std::sin(a), y, r * std::cos(a)));
    }
    return m;
}

// "PILLAR.BPS": 24 distant pillars of uniform scale 4188.799, unrotated.
// Twelve on an outer ring (radius 8500 to 8760, tops from -298 down to
// -1646) and twelve on an inner ring half a step round from them (radius
// alternating near 6500..6750 and far 7150..7400, -2142 down to -3238).
// Within each ring the file visits the four quarter directions first, then
// the same four turned by 30 degrees, then by 60; the heights fall with the
// file order, so every quarter of the horizon shows high and low pillars.
inline std::vector<PlacementMatrix> PillarPlacements() {
    using namespace layout_detail;
    const float s = 4188.799f;
    std::vector<PlacementMatrix> m;
    m.push_back(ScaledAt(s, -8537.543, -297.806, 34.919));
    m.push_back(ScaledAt(s, -53.676, -363.955, 8520.513));
    for (int i = 2; i < 12; ++i) {
        const double a = (270.0 + 90.0 * (i % 4) + 30.0 * (i / 4) + 2.0 * Jitter(10, i)) * kDegree;
        const double r = 8630.0 + 125.0 * Jitter(11, i);
        const double h = i == 11 ? -1646.0 : -298.0 - 1348.0 / 11.0 * i + 40.0 * Jitter(12, i);
        m.push_back(ScaledAt(s, r * std::sin(a), h, r * std::cos(a)));
    }
    for (int i = 0; i < 12; ++i) {
        const double a = (285.0 + 90.0 * (i % 4) + 30.0 * (i / 4) + 2.0 * Jitter(13, i)) * kDegree;
        const double r = (i % 2 ? 7275.0 : 6625.0) + 120.0 * Jitter(14, i);
        const double h = i == 0 ? -2142.0 : i == 11 ? -3238.0 : -2142.0 - 1096.0 / 11.0 * i + 30.0 * Jitter(15, i);
        m.push_back(ScaledAt(s, r * std::sin(a), h, r * std::cos(a)));
    }
    return m;
}

// "PILLAR2.BPS": four large pillars of uniform scale 8306.071, unrotated, one
// near each diagonal corner, in the order (-x, +z), (+x, +z), (+x, -z),
// (-x, -z).
inline std::vector<PlacementMatrix> Pillar2Placements() {
    using namespace layout_detail;
    const float s = 8306.071f;
    return {
        ScaledAt(s, -6224.267, -2671.038, 6008.383),
        ScaledAt(s, 6112.482, -2548.317, 6064.806),
        ScaledAt(s, 6000.214, -2689.145, -6037.552),
        ScaledAt(s, -6153.907, -2603.724, -6021.938),
    };
}

// "MOON.BPS": four moons of uniform scale 1938.34, each turned its own way,
// one high above each diagonal corner in the same corner order as the large
// pillars. The first matrix is fixed; the others are yaw-pitch-roll turns
// (D3DX order: roll about z, then pitch about x, then yaw about y).
inline std::vector<PlacementMatrix> MoonPlacements() {
    using namespace layout_detail;
    const double s = 1938.34;
    struct Turn {
        double yaw, pitch, roll;
        Vec3 at;
    };
    const Turn turns[3] = {
        {1.1, -0.45, 2.3, {6071.554, 3967.412, 6002.371}},
        {-2.4, 0.6, -0.9, {6002.806, 4032.795, -6066.690}},
        {0.35, 1.05, -2.7, {-6085.613, 3989.067, -6019.243}},
    };
    std::vector<PlacementMatrix> m;
    m.push_back({-1073.625f, 1382.438f, -832.684f, 0, -1130.949f, -1357.956f, -796.292f, 0, -1151.282f, 44.787f,
                 1558.755f, 0, -6049.230f, 4100.259f, 6046.120f, 1});
    for (const Turn& t : turns) {
        const double cy = std::cos(t.yaw), sy = std::sin(t.yaw);
        const double cp = std::cos(t.pitch), sp = std::sin(t.pitch);
        const double cr = std::cos(t.roll), sr = std::sin(t.roll);
        // Rows of Rz(roll) * Rx(pitch) * Ry(yaw) for row vectors.
        const Vec3 x{cr * cy + sr * sp * sy, sr * cp, -cr * sy + sr * sp * cy};
        const Vec3 y{-sr * cy + cr * sp * sy, cr * cp, sr * sy + cr * sp * cy};
        const Vec3 z{cp * sy, -sp, cp * cy};
        m.push_back(FromRows({x.x * s, x.y * s, x.z * s}, {y.x * s, y.y * s, y.z * s}, {z.x * s, z.y * s, z.z * s},
                             t.at));
    }
    return m;
}

// "WORLDCLOCK.TPS": twelve clocks, three on each of four walls round the
// centre (z = +5199, x = +5183, z = -5214, x = -5216). Clock k stands in the
// direction 30k degrees, so the file order walks round the room: the middle
// of each wall holds clocks 0, 3, 6, 9 high up (1778 to 1825) and the wall's
// sides hold the others low down (425 to 470). Every clock shares the fixed
// y row (the dial's slight tilt, length = the clock scale); its z row (the
// dial's facing) points from the clock towards the vertical axis through the
// centre, made square to the y row, and its x row completes a right-handed
// frame of the same length.
inline std::vector<PlacementMatrix> WorldClockPlacements() {
    using namespace layout_detail;
    const Vec3 yRow{-0.193, 193.732, 6.083};
    const double scale = Length(yRow);
    const Vec3 yUnit{yRow.x / scale, yRow.y / scale, yRow.z / scale};
    const double wallDistance[4] = {5199.0, 5183.0, 5214.0, 5216.0};
    const double middleHeight[4] = {1778.615, 1825.0, 1801.372, 1812.846};
    std::vector<PlacementMatrix> m;
    m.push_back({-193.730f, 0, -6.135f, 0, -0.193f, 193.732f, 6.083f, 0, 6.132f, 6.086f, -193.635f, 0, -9.555f,
                 1778.615f, 5198.923f, 1});
    for (int k = 1; k < 12; ++k) {
        const int wall = ((k + 1) / 3) % 4;  // walls at 0, 90, 180, 270 degrees
        const double wallAngle = 90.0 * wall * kDegree;
        const double offAngle = (30.0 * k - 90.0 * wall) * kDegree;  // -30, 0 or +30 degrees
        const double depth = wallDistance[wall] + 2.0 * Jitter(20, k);
        const double side = depth * std::tan(offAngle) + 30.0 * Jitter(21, k);
        // Wall frame: out = towards the wall, along = +90 degrees round.
        const Vec3 out{std::sin(wallAngle), 0, std::cos(wallAngle)};
        const Vec3 along{std::cos(wallAngle), 0, -std::sin(wallAngle)};
        const double height = k % 3 == 0 ? middleHeight[wall] : k == 1 ? 425.0 : 447.5 + 22.5 * Jitter(22, k);
        const Vec3 at{out.x * depth + along.x * side, height, out.z * depth + along.z * side};
        const double flat = std::sqrt(at.x * at.x + at.z * at.z);
        const Vec3 facing{-at.x / flat, 0, -at.z / flat};
        const double lean = Dot(facing, yUnit);
        Vec3 z{facing.x - lean * yUnit.x, facing.y - lean * yUnit.y, facing.z - lean * yUnit.z};
        const double zLength = Length(z);
        z = {z.x / zLength * scale, z.y / zLength * scale, z.z / zLength * scale};
        const Vec3 c = Cross(yRow, z);
        const Vec3 x{c.x / scale, c.y / scale, c.z / scale};
        m.push_back(FromRows(x, yRow, z, at));
    }
    return m;
}

// "CLOCK.FPP": the camera path. The 49 points are the path; the two trailing
// arrays of 49 floats each are carried in the file but not read by the path
// loader (per point: a turn in radians, and a pace).
inline std::vector<PathPoint> ClockPathPoints() {
    return {
        {52.7483f, 9.1678f, -167.2546f},    {68.8947f, 0.2582f, -207.9151f},   {100.9934f, -8.2127f, -241.5694f},
        {130.0813f, -5.1352f, -193.8914f},  {126.7691f, 1.7522f, -136.5570f},  {126.9653f, 1.5653f, -52.6708f},
        {92.4716f, 4.0810f, 12.8397f},      {-1.0813f, 0.7567f, 49.4364f},     {-61.4207f, 88.3693f, 12.9554f},
        {-106.8712f, 50.7114f, -37.5769f},  {-127.7186f, 60.3100f, -90.3144f}, {-101.9697f, 45.1195f, -169.0912f},
        {-45.1795f, 13.9144f, -208.3410f},  {7.4924f, -2.8229f, -192.3515f},   {35.9601f, -4.8823f, -136.7449f},
        {34.4165f, -6.8747f, -63.8673f},    {-6.8388f, -34.8794f, 38.9993f},   {61.9675f, -51.7356f, 87.3809f},
        {129.2795f, -1.2750f, 181.6072f},   {212.9588f, -1.2750f, 54.5399f},   {187.2156f, -1.2750f, -70.3894f},
        {126.7980f, -1.2750f, -91.9909f},   {60.0194f, -1.2750f, -55.9849f},   {9.6286f, -1.2750f, 8.7692f},
        {-58.7764f, -1.2750f, -9.6209f},    {-94.7644f, -1.2750f, -58.4090f},  {-42.4359f, -1.2750f, -58.8563f},
        {17.5175f, -1.2750f, -49.7755f},    {-9.6706f, -1.2750f, -108.8984f},  {66.8417f, -1.2750f, -115.6023f},
        {144.8161f, -1.2750f, -101.6873f},  {137.6266f, -1.2750f, -179.2170f}, {82.2084f, -1.2750f, -284.3921f},
        {-9.4602f, -1.2750f, -357.5836f},   {-107.7135f, -1.2750f, -403.2545f}, {-222.1845f, -1.2750f, -421.2567f},
        {-266.3543f, -1.2750f, -376.3334f}, {-152.6306f, -1.2750f, -351.4472f}, {-51.0374f, -2.0790f, -323.3101f},
        {36.1410f, -1.2750f, -260.6023f},   {90.1288f, -1.2750f, -201.4069f},  {10.1338f, -1.2750f, -119.4004f},
        {-9.4678f, -1.2750f, -59.7802f},    {7.3376f, -1.2750f, -12.5966f},    {51.3351f, -1.2750f, -12.5966f},
        {87.7196f, -1.2750f, -36.2024f},    {93.7078f, -1.2750f, -76.6002f},   {82.1084f, -1.2750f, -115.7971f},
        {56.9080f, -1.2750f, -137.3920f},
    };
}

inline std::vector<std::vector<float>> ClockPathTrailing() {
    std::vector<float> turn = {6.12f, 5.57f, 6.48f, 7.03f, 7.87f, 6.91f, 6.35f, 5.94f, 6.77f};
    std::vector<float> pace = {82.6f, 91.9f, 77.3f, 70.4f, 84.1f, 88.5f, 73.8f, 79.2f, 86.7f};
    turn.resize(49, 6.2832f);
    for (int i = 9; i < 49; ++i) pace.push_back(i <= 16 ? 75.0f : i == 17 ? 86.2f : 150.0f);
    return {turn, pace};
}

}  // namespace content
