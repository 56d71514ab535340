// Deterministic noise and small raster helpers for the texture generators.
// Everything is integer hashing and polynomial arithmetic on floats, with
// no library random generator and no transcendental functions, so a
// texture's pixels (and therefore its encoded bytes) are the same on every
// run and every conforming compiler.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

namespace content {

// A hash of (seed, x, y) mapped to [0, 1].
inline float HashUnit(std::uint32_t seed, std::int32_t x, std::int32_t y) {
    std::uint32_t h = seed * 0x9E3779B1u;
    h ^= static_cast<std::uint32_t>(x) * 0x85EBCA77u;
    h = (h << 13) | (h >> 19);
    h ^= static_cast<std::uint32_t>(y) * 0xC2B2AE3Du;
    h ^= h >> 16;
    h *= 0x7FEB352Du;
    h ^= h >> 15;
    h *= 0x846CA68Bu;
    h ^= h >> 16;
    return static_cast<float>(h >> 8) * (1.0f / 16777215.0f);
}

inline float SmoothStep01(float t) {
    t = std::clamp(t, 0.0f, 1.0f);
    return t * t * (3.0f - 2.0f * t);
}

inline float SmoothStep(float edge0, float edge1, float x) {
    return SmoothStep01((x - edge0) / (edge1 - edge0));
}

inline float Lerp(float a, float b, float t) {
    return a + (b - a) * t;
}

inline std::int32_t WrapIndex(std::int32_t i, std::int32_t period) {
    const std::int32_t r = i % period;
    return r < 0 ? r + period : r;
}

// Value noise in [0, 1] on a lattice that repeats every `period` cells in x
// (so maps wrapped round a sphere meet without a seam); y does not repeat.
inline float ValueNoise(std::uint32_t seed, float x, float y, std::int32_t period) {
    const float fx = static_cast<float>(static_cast<std::int32_t>(x >= 0 ? x : x - 1));
    const float fy = static_cast<float>(static_cast<std::int32_t>(y >= 0 ? y : y - 1));
    const std::int32_t ix = static_cast<std::int32_t>(fx), iy = static_cast<std::int32_t>(fy);
    const float tx = SmoothStep01(x - fx), ty = SmoothStep01(y - fy);
    const std::int32_t x0 = WrapIndex(ix, period), x1 = WrapIndex(ix + 1, period);
    const float a = HashUnit(seed, x0, iy), b = HashUnit(seed, x1, iy);
    const float c = HashUnit(seed, x0, iy + 1), d = HashUnit(seed, x1, iy + 1);
    return Lerp(Lerp(a, b, tx), Lerp(c, d, tx), ty);
}

// Fractal sum of `octaves` value-noise layers over the unit square (u, v in
// [0, 1], u wrapping), starting at `cells` lattice cells across; each octave
// doubles the frequency and multiplies the amplitude by `gain`. Result in
// [0, 1], mean about 0.5.
inline float Fbm(std::uint32_t seed, float u, float v, std::int32_t cells, int octaves, float gain = 0.5f) {
    float sum = 0, amplitude = 1, total = 0;
    std::int32_t period = cells;
    for (int o = 0; o < octaves; ++o) {
        sum += amplitude * ValueNoise(seed + static_cast<std::uint32_t>(o) * 7919u, u * static_cast<float>(period),
                                      v * static_cast<float>(period), period);
        total += amplitude;
        amplitude *= gain;
        period *= 2;
    }
    return sum / total;
}

// Fractal value noise on an unbounded plane (no wrap), coordinates in
// lattice cells of the first octave. Result in [0, 1].
inline float PlaneFbm(std::uint32_t seed, float x, float y, int octaves, float gain = 0.5f) {
    constexpr std::int32_t kHuge = 1 << 24;  // never reached: no visible repeat
    constexpr float kOffset = 4096.0f;       // keeps lattice indices positive
    float sum = 0, amplitude = 1, total = 0, scale = 1;
    for (int o = 0; o < octaves; ++o) {
        sum += amplitude * ValueNoise(seed + static_cast<std::uint32_t>(o) * 7919u, x * scale + kOffset,
                                      y * scale + kOffset, kHuge);
        total += amplitude;
        amplitude *= gain;
        scale *= 2;
    }
    return sum / total;
}

// sin and cos of an angle in [-2 pi, 2 pi] by a fixed polynomial in double
// precision: the same bits everywhere, unlike a platform's libm.
inline void SinCos(double a, double* s, double* c) {
    constexpr double kPi = 3.14159265358979323846;
    while (a > kPi) a -= 2 * kPi;
    while (a < -kPi) a += 2 * kPi;
    // Reduce to [-pi/2, pi/2] using sin(pi - a) = sin a, cos(pi - a) = -cos a.
    double sign = 1;
    if (a > kPi / 2) {
        a = kPi - a;
        sign = -1;
    } else if (a < -kPi / 2) {
        a = -kPi - a;
        sign = -1;
    }
    const double a2 = a * a;
    double sn = 0, cs = 0, term = a, termC = 1;
    for (int k = 1; k <= 12; ++k) {
        sn += term;
        cs += termC;
        term *= -a2 / ((2 * k) * (2 * k + 1));
        termC *= -a2 / ((2 * k - 1) * (2 * k));
    }
    *s = sn;
    *c = sign * cs;
}

// A single-channel float raster, row-major, top row first.
struct Field {
    int width = 0, height = 0;
    std::vector<float> v;

    Field() = default;
    Field(int w, int h, float fill = 0) : width(w), height(h), v(static_cast<std::size_t>(w) * h, fill) {}
    float& at(int x, int y) { return v[static_cast<std::size_t>(y) * width + x]; }
    float at(int x, int y) const { return v[static_cast<std::size_t>(y) * width + x]; }

    // Bilinear sample at pixel coordinates (pixel centres at i + 0.5);
    // x wraps, y clamps.
    float Sample(float x, float y) const {
        x -= 0.5f;
        y = std::clamp(y - 0.5f, 0.0f, static_cast<float>(height - 1));
        const float fx = static_cast<float>(static_cast<std::int32_t>(x >= 0 ? x : x - 1));
        const std::int32_t ix = static_cast<std::int32_t>(fx);
        const std::int32_t iy = std::min(static_cast<std::int32_t>(y), height - 1);
        const float tx = x - fx, ty = y - static_cast<float>(iy);
        const int x0 = WrapIndex(ix, width), x1 = WrapIndex(ix + 1, width);
        const int y1 = std::min(iy + 1, height - 1);
        return Lerp(Lerp(at(x0, iy), at(x1, iy), tx), Lerp(at(x0, y1), at(x1, y1), tx), ty);
    }
};

// Box blur of radius r (window 2r + 1), x wrapping and y clamped; `passes`
// passes approach a Gaussian.
inline Field BoxBlur(const Field& in, int r, int passes) {
    Field a = in, b(in.width, in.height);
    const float scale = 1.0f / static_cast<float>(2 * r + 1);
    for (int p = 0; p < passes; ++p) {
        for (int y = 0; y < a.height; ++y) {
            float sum = 0;
            for (int k = -r; k <= r; ++k) sum += a.at(WrapIndex(k, a.width), y);
            for (int x = 0; x < a.width; ++x) {
                b.at(x, y) = sum * scale;
                sum += a.at(WrapIndex(x + r + 1, a.width), y) - a.at(WrapIndex(x - r, a.width), y);
            }
        }
        for (int x = 0; x < a.width; ++x) {
            float sum = 0;
            for (int k = -r; k <= r; ++k) sum += b.at(x, std::clamp(k, 0, a.height - 1));
            for (int y = 0; y < a.height; ++y) {
                a.at(x, y) = sum * scale;
                sum += b.at(x, std::min(y + r + 1, a.height - 1)) - b.at(x, std::max(y - r, 0));
            }
        }
    }
    return a;
}

inline std::uint8_t ToByte(float c) {
    return static_cast<std::uint8_t>(std::clamp(c, 0.0f, 255.0f) + 0.5f);
}

}  // namespace content
