// The moon's face texture: a grey, cratered surface wrapped round a sphere
// (u runs once round, so the left and right edges meet). Dark maria sit
// where the familiar near-side "face" has them, round the centre of the
// image; craters of many sizes are cut into a height field (bowls, raised
// rims, central peaks on the large ones), which is shaded by a light from
// the upper left; two young craters throw bright rays.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "tools/content/texture_noise.h"

namespace content {

namespace moon_detail {

// xorshift32: a fixed sequence, independent of any library generator.
struct Rng {
    std::uint32_t s;
    float Next() {
        s ^= s << 13;
        s ^= s >> 17;
        s ^= s << 5;
        return static_cast<float>(s >> 8) * (1.0f / 16777216.0f);
    }
    float Range(float lo, float hi) { return lo + (hi - lo) * Next(); }
};

// A bump of height 1 at t = 0 falling smoothly to 0 at |t| = 1.
inline float Bump(float t) {
    if (t <= -1.0f || t >= 1.0f) return 0.0f;
    const float q = 1.0f - t * t;
    return q * q;
}

struct Ellipse {
    float u, v, ru, rv;  // centre and radii in texture units
};

}  // namespace moon_detail

// Packed R, G, B bytes, size x size, top row first.
inline std::vector<std::uint8_t> PaintMoon(int size) {
    using namespace moon_detail;
    const int w = size, h = size;
    const float fw = static_cast<float>(w), fh = static_cast<float>(h);

    // Maria of the near side, placed round the image centre as seen with
    // north up: Imbrium, Serenitatis, Tranquillitatis, Crisium,
    // Fecunditatis, Nectaris, Nubium, Humorum, Oceanus Procellarum, Frigoris.
    const Ellipse maria[] = {
        {0.43f, 0.32f, 0.095f, 0.12f},  {0.535f, 0.34f, 0.045f, 0.065f}, {0.575f, 0.45f, 0.055f, 0.075f},
        {0.66f, 0.37f, 0.03f, 0.05f},   {0.64f, 0.55f, 0.032f, 0.075f},  {0.585f, 0.6f, 0.025f, 0.045f},
        {0.47f, 0.61f, 0.05f, 0.06f},   {0.39f, 0.64f, 0.028f, 0.04f},   {0.36f, 0.47f, 0.085f, 0.19f},
        {0.5f, 0.19f, 0.13f, 0.03f},    {0.505f, 0.48f, 0.03f, 0.05f},
    };
    Field mare(w, h);
    for (int y = 0; y < h; ++y) {
        const float v = (static_cast<float>(y) + 0.5f) / fh;
        for (int x = 0; x < w; ++x) {
            const float u = (static_cast<float>(x) + 0.5f) / fw;
            const float edge = (Fbm(51, u, v, 16, 5, 0.6f) - 0.5f) * 1.3f;
            float m = 0;
            for (const Ellipse& e : maria) {
                const float du = (u - e.u) / e.ru, dv = (v - e.v) / e.rv;
                m = std::max(m, 1.0f - SmoothStep(0.45f, 1.25f, du * du + dv * dv + edge));
            }
            // Scattered small dark patches elsewhere (the far side is mostly
            // highland).
            m = std::max(m, SmoothStep(0.68f, 0.76f, Fbm(52, u, v, 6, 4)) * 0.7f);
            mare.at(x, y) = m;
        }
    }

    // Height field in pixels: a gentle rolling ground plus the craters.
    Field height(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const float u = (static_cast<float>(x) + 0.5f) / fw, v = (static_cast<float>(y) + 0.5f) / fh;
            // Rows near the poles are tiny circles on the sphere: fade the
            // map-space noise there so it does not pinch into a star.
            const float polar = SmoothStep(0.0f, 0.12f, std::min(v, 1.0f - v));
            height.at(x, y) = (Fbm(53, u, v, 24, 5) - 0.5f) * 6.0f * (1.0f - 0.7f * mare.at(x, y)) * polar;
        }
    Field rays(w, h);
    Rng rng{0x6D2B79F5u};
    struct Size {
        int count;
        float rMin, rMax;
    };
    const float unit = fw / 512.0f;
    const Size sizes[] = {{9, 20.0f, 40.0f}, {45, 9.0f, 20.0f}, {220, 3.5f, 9.0f}, {1100, 1.2f, 3.5f}};
    for (const Size& s : sizes) {
        for (int i = 0; i < s.count; ++i) {
            const float cx = rng.Next() * fw, cy = rng.Range(0.08f, 0.92f) * fh;
            // Smaller craters are more common: bias the radius towards rMin.
            const float t = rng.Next();
            const float r = (s.rMin + (s.rMax - s.rMin) * t * t) * unit;
            const float keep = rng.Next();
            if (mare.at(WrapIndex(static_cast<int>(cx), w), static_cast<int>(cy)) * 0.8f > keep) continue;
            // Small craters are simple bowls; large ones have wide flat floors.
            const float floorEdge = std::min(0.6f, r / (60.0f * unit));
            const float fresh = rng.Next();
            const float depth = r * (0.08f + 0.25f * fresh * fresh) * (1.0f - 0.5f * floorEdge);  // most are old and worn
            const bool peak = r > 16.0f * unit;
            const int reach = static_cast<int>(r * 2.2f) + 2;
            for (int y = std::max(0, static_cast<int>(cy) - reach); y <= std::min(h - 1, static_cast<int>(cy) + reach); ++y)
                for (int xi = static_cast<int>(cx) - reach; xi <= static_cast<int>(cx) + reach; ++xi) {
                    const float dx = static_cast<float>(xi) + 0.5f - cx, dy = static_cast<float>(y) + 0.5f - cy;
                    const float d = std::sqrt(dx * dx + dy * dy) / r;
                    float z = 0;
                    if (d < 1.0f) z -= depth * (1.0f - SmoothStep(floorEdge, 1.0f, d));  // floor and walls
                    if (peak && d < 0.3f) z += depth * 0.45f * Bump(d / 0.3f);  // central peak
                    z += depth * 0.22f * Bump((d - 1.0f) / 0.35f);              // raised rim
                    if (d > 1.0f && d < 2.2f) z += depth * 0.06f * (2.2f - d);  // ejecta apron
                    float& cell = height.at(WrapIndex(xi, w), y);
                    // A new crater overprints the one below inside its rim.
                    cell = d < 1.0f ? cell * d * d + z : cell + z;
                }
        }
    }
    // Two young craters with bright ray systems (south of centre, and west
    // of centre in the Procellarum).
    const struct {
        float u, v, r;
        int count;
    } young[] = {{0.47f, 0.76f, 10.0f, 16}, {0.41f, 0.44f, 7.5f, 11}};
    for (const auto& c : young) {
        const float cx = c.u * fw, cy = c.v * fh, r = c.r * unit;
        std::vector<float> dirX, dirY, length, spread;
        for (int k = 0; k < c.count; ++k) {
            const float a = rng.Range(-1, 1), b = rng.Range(-1, 1);
            const float len = std::sqrt(a * a + b * b) + 1e-6f;
            dirX.push_back(a / len);
            dirY.push_back(b / len);
            length.push_back(r * rng.Range(10.0f, 24.0f));
            spread.push_back(rng.Range(0.3f, 0.6f));
        }
        const int reach = static_cast<int>(r * 24.0f);
        for (int y = std::max(0, static_cast<int>(cy) - reach); y <= std::min(h - 1, static_cast<int>(cy) + reach); ++y)
            for (int xi = static_cast<int>(cx) - reach; xi <= static_cast<int>(cx) + reach; ++xi) {
                const float dx = static_cast<float>(xi) + 0.5f - cx, dy = static_cast<float>(y) + 0.5f - cy;
                const float dist = std::sqrt(dx * dx + dy * dy);
                if (dist < r * 0.9f) continue;
                float glow = Bump((dist - r) / (r * 2.5f)) * 0.7f;  // bright halo
                for (std::size_t k = 0; k < dirX.size(); ++k) {
                    const float along = dx * dirX[k] + dy * dirY[k];
                    if (along <= 0) continue;
                    const float across = dx * dirY[k] - dy * dirX[k];
                    const float width = r * spread[k] + along * 0.06f;
                    const float fade = 1.0f - std::min(1.0f, along / length[k]);
                    glow += Bump(across / width) * fade * 0.8f;
                }
                const float streaks = Fbm(55, static_cast<float>(WrapIndex(xi, w)) / fw, static_cast<float>(y) / fh, 64, 3);
                float& cell = rays.at(WrapIndex(xi, w), y);
                cell = std::min(1.0f, cell + glow * SmoothStep(0.3f, 0.65f, streaks));
            }
        const int rim = static_cast<int>(r) + 2;
        for (int y = std::max(0, static_cast<int>(cy) - rim); y <= std::min(h - 1, static_cast<int>(cy) + rim); ++y)
            for (int xi = static_cast<int>(cx) - rim; xi <= static_cast<int>(cx) + rim; ++xi) {
                const float dx = static_cast<float>(xi) + 0.5f - cx, dy = static_cast<float>(y) + 0.5f - cy;
                const float d = std::sqrt(dx * dx + dy * dy) / r;
                float& cell = height.at(WrapIndex(xi, w), y);
                if (d < 1.0f) cell = cell * d * d - r * 0.5f * (1.0f - d * d);
                cell += r * 0.15f * Bump((d - 1.0f) / 0.3f);
            }
    }

    // Shade: light from the upper left, 40 degrees or so above the ground;
    // flat ground comes out at 1.
    const float lx = -0.55f, ly = -0.45f, lz = 0.70f;
    const float norm = std::sqrt(lx * lx + ly * ly + lz * lz);
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(w) * h * 3);
    for (int y = 0; y < h; ++y) {
        const float v = (static_cast<float>(y) + 0.5f) / fh;
        for (int x = 0; x < w; ++x) {
            const float u = (static_cast<float>(x) + 0.5f) / fw;
            const float gx = (height.at(WrapIndex(x + 1, w), y) - height.at(WrapIndex(x - 1, w), y)) * 0.5f;
            const float gy = (height.at(x, std::min(y + 1, h - 1)) - height.at(x, std::max(y - 1, 0))) * 0.5f;
            const float nl = std::sqrt(gx * gx + gy * gy + 1.0f);
            const float lambert = (-gx * lx - gy * ly + lz) / (nl * norm);
            const float shade = std::clamp(0.25f + 0.75f * lambert / (lz / norm), 0.2f, 1.45f);
            const float m = mare.at(x, y);
            const float polar = SmoothStep(0.0f, 0.12f, std::min(v, 1.0f - v));
            const float mottled = 1.0f + 0.2f * (Fbm(54, u, v, 48, 4) - 0.5f) * polar;
            const float broad = Lerp(0.5f, Fbm(56, u, v, 5, 4), polar);
            float albedo = Lerp(160.0f + 36.0f * broad, 84.0f + 30.0f * broad, m) * mottled;
            albedo = Lerp(albedo, 240.0f, rays.at(x, y) * 0.7f);
            const float relief = Lerp(shade, 1.0f + (shade - 1.0f) * 0.4f, rays.at(x, y));
            const float grey = albedo * Lerp(1.0f, relief, polar);
            // A faint warm tint in the highlands, faintly cool maria.
            std::uint8_t* p = &rgb[(static_cast<std::size_t>(y) * w + x) * 3];
            p[0] = ToByte(grey * (1.01f - 0.03f * m));
            p[1] = ToByte(grey * 1.0f);
            p[2] = ToByte(grey * (0.97f + 0.05f * m));
        }
    }
    return rgb;
}

}  // namespace content
