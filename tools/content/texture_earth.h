// The Earth texture: an equirectangular map (longitude -180..180 left to
// right, latitude 90 N at the top row to 90 S at the bottom) painted from the
// hand-drawn outlines of texture_earth_land.h. The outlines are rasterised,
// softened and pushed about by value noise so the coasts look natural; land
// is coloured by latitude, aridity and altitude, the sea by depth near the
// shelves, with ice caps, sea ice and a thin veil of cloud.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "tools/content/texture_earth_land.h"
#include "tools/content/texture_noise.h"

namespace content {

namespace earth_detail {

struct Rgb {
    float r, g, b;
};

inline Rgb Mix(const Rgb& a, const Rgb& b, float t) {
    return {Lerp(a.r, b.r, t), Lerp(a.g, b.g, t), Lerp(a.b, b.b, t)};
}

inline Rgb Scale(const Rgb& a, float k) {
    return {a.r * k, a.g * k, a.b * k};
}

// Sets `value` in every pixel whose centre lies inside the polygon (even-odd
// rule), scanning rows; spans running past +-180 degrees wrap round.
inline void RasterPolygon(Field& f, const std::vector<LonLat>& poly, float value) {
    std::vector<float> crossings;
    const std::size_t n = poly.size();
    for (int y = 0; y < f.height; ++y) {
        const float lat = 90.0f - (static_cast<float>(y) + 0.5f) * 180.0f / static_cast<float>(f.height);
        crossings.clear();
        for (std::size_t i = 0; i < n; ++i) {
            const LonLat& a = poly[i];
            const LonLat& b = poly[(i + 1) % n];
            if ((a.lat > lat) != (b.lat > lat))
                crossings.push_back(a.lon + (lat - a.lat) * (b.lon - a.lon) / (b.lat - a.lat));
        }
        std::sort(crossings.begin(), crossings.end());
        for (std::size_t i = 0; i + 1 < crossings.size(); i += 2) {
            const float w = static_cast<float>(f.width);
            const float x0 = (crossings[i] + 180.0f) / 360.0f * w - 0.5f;
            const float x1 = (crossings[i + 1] + 180.0f) / 360.0f * w - 0.5f;
            const int first = static_cast<int>(std::ceil(x0));
            for (int x = first; static_cast<float>(x) < x1; ++x) f.at(WrapIndex(x, f.width), y) = value;
        }
    }
}

inline Field RasterAll(int w, int h, const std::vector<std::vector<LonLat>>& polys) {
    Field f(w, h);
    for (const auto& p : polys) RasterPolygon(f, p, 1.0f);
    return f;
}

}  // namespace earth_detail

// Packed R, G, B bytes, width x (width / 2), top row first.
inline std::vector<std::uint8_t> PaintEarth(int width) {
    using namespace earth_detail;
    const int w = width, h = width / 2;
    const EarthOutlines outlines = MakeEarthOutlines();

    Field land = RasterAll(w, h, outlines.land);
    for (const auto& p : outlines.water) RasterPolygon(land, p, 0.0f);
    const int px = std::max(1, w / 1024);  // about one pixel per 0.18 degree at 2048 wide
    const Field landSoft = BoxBlur(land, px, 2);
    const Field shelf = BoxBlur(land, 4 * px, 3);
    const Field desert = BoxBlur(RasterAll(w, h, outlines.desert), 6 * px, 3);
    const Field upland = BoxBlur(RasterAll(w, h, outlines.upland), 4 * px, 3);
    const Field ice = BoxBlur(RasterAll(w, h, outlines.ice), px, 2);

    // Relief: a noise height field (higher on the uplands), shaded below by
    // a light from the north-west so the land has some texture.
    Field relief(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const float u = (static_cast<float>(x) + 0.5f) / static_cast<float>(w);
            const float vs = (static_cast<float>(y) + 0.5f) / static_cast<float>(h) * 0.5f;
            const float ridge = 1.0f - 2.0f * std::fabs(Fbm(61, u, vs, 48, 5) - 0.5f);
            relief.at(x, y) = ridge * ridge * (0.35f + 1.6f * upland.at(x, y)) + Fbm(62, u, vs, 128, 3) * 0.25f;
        }

    const Rgb deep{5, 20, 66}, open{10, 40, 104}, shallow{26, 84, 138};
    const Rgb rainforest{28, 70, 30}, temperate{64, 98, 44}, savanna{118, 118, 62}, boreal{40, 64, 38};
    const Rgb tundra{112, 108, 86}, sandLight{214, 184, 128}, sandRed{192, 128, 78}, rock{128, 106, 82};
    const Rgb snow{236, 240, 246}, seaIce{214, 226, 236}, cloud{246, 248, 252};

    // Longitude directions for noise laid on the polar planes (x = sin
    // longitude, y = cos longitude), so the ice edges round both poles are
    // not pinched by the map's convergence.
    std::vector<float> polarX(static_cast<std::size_t>(w)), polarY(static_cast<std::size_t>(w));
    for (int x = 0; x < w; ++x) {
        double sn, cs;
        SinCos((static_cast<double>(x) + 0.5) / w * 2.0 * 3.14159265358979323846, &sn, &cs);
        polarX[static_cast<std::size_t>(x)] = static_cast<float>(sn);
        polarY[static_cast<std::size_t>(x)] = static_cast<float>(cs);
    }

    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(w) * h * 3);
    const float warp = static_cast<float>(w) / 170.0f;
    for (int y = 0; y < h; ++y) {
        const float v = (static_cast<float>(y) + 0.5f) / static_cast<float>(h);
        const float lat = 90.0f - v * 180.0f;
        const float alat = lat < 0 ? -lat : lat;
        const float vs = v * 0.5f;  // v in the same units as u, for square noise cells
        // Near the poles a row of the map is a tiny circle on the globe, and
        // noise laid out on the map would pinch into a star there: calm it.
        const float calm = SmoothStep(78.0f, 88.0f, alat);
        for (int x = 0; x < w; ++x) {
            const float u = (static_cast<float>(x) + 0.5f) / static_cast<float>(w);
            const float fx = static_cast<float>(x) + 0.5f, fy = static_cast<float>(y) + 0.5f;

            // Coastline: the softened mask sampled at a noise-displaced
            // point, with a fractal noise on the threshold that cuts bays
            // and throws out headlands and islets.
            const float wx = (Fbm(11, u, vs, 24, 7, 0.62f) - 0.5f) * 2.0f * warp;
            const float wy = (Fbm(12, u, vs, 24, 7, 0.62f) - 0.5f) * 2.0f * warp;
            const float detail = Fbm(13, u, vs, 160, 4, 0.6f) - 0.5f;
            const float coast = landSoft.Sample(fx + wx, fy + wy) + detail * 0.45f;
            const float isLand = SmoothStep(0.47f, 0.53f, coast);

            // Sea: darker in the open ocean, lighter over the shelves.
            const float depthNoise = Fbm(21, u, vs, 12, 5);
            Rgb sea = Mix(deep, open, SmoothStep(0.3f, 0.7f, depthNoise));
            const float near = shelf.Sample(fx + wx, fy + wy) + (Fbm(23, u, vs, 60, 3) - 0.5f) * 0.5f;
            sea = Mix(sea, shallow, SmoothStep(0.2f, 0.6f, near) * 0.7f);
            // Sea ice: the Arctic ocean and a fringe round Antarctica.
            // Polar-plane coordinates: 1 unit = 1 degree of latitude from the pole.
            const float fromPole = 90.0f - alat;
            const float iceNoise = PlaneFbm(lat > 0 ? 22 : 24, fromPole * polarX[static_cast<std::size_t>(x)] / 2.5f,
                                            fromPole * polarY[static_cast<std::size_t>(x)] / 2.5f, 5);
            const float arcticIce = SmoothStep(73.0f, 80.0f, lat + (iceNoise - 0.5f) * 12.0f);
            const float southIce = SmoothStep(66.0f, 71.0f, -lat + (iceNoise - 0.5f) * 10.0f);
            sea = Mix(sea, Scale(seaIce, 0.9f + 0.15f * iceNoise), std::max(arcticIce, southIce) * 0.95f);

            // Land: a vegetation belt by latitude, varied by noise.
            const float vegNoise = Fbm(31, u, vs, 40, 6);
            const float belt = alat + (vegNoise - 0.5f) * 16.0f;
            Rgb ground = rainforest;
            ground = Mix(ground, savanna, SmoothStep(10.0f, 20.0f, belt) * (1.0f - SmoothStep(28.0f, 36.0f, belt)));
            ground = Mix(ground, temperate, SmoothStep(28.0f, 36.0f, belt));
            ground = Mix(ground, boreal, SmoothStep(48.0f, 56.0f, belt));
            ground = Mix(ground, tundra, SmoothStep(62.0f, 70.0f, belt));
            const float dryNoise = Fbm(36, u, vs, 64, 5, 0.6f) - 0.5f;
            const float dry = desert.Sample(fx + wx, fy + wy) + dryNoise * 0.8f;
            const Rgb sand = Mix(sandLight, sandRed, SmoothStep(0.35f, 0.75f, Fbm(32, u, vs, 20, 4)));
            ground = Mix(ground, sand, SmoothStep(0.35f, 0.65f, dry));
            const float high = upland.Sample(fx + wx, fy + wy);
            ground = Mix(ground, rock, SmoothStep(0.2f, 0.7f, high + dryNoise * 0.5f) * 0.8f);
            const float r0 = relief.Sample(fx + wx, fy + wy);
            ground = Mix(ground, snow, SmoothStep(0.95f, 1.3f, r0) * SmoothStep(0.5f, 0.8f, high) * 0.75f);
            // Ice sheets and high-latitude snow.
            const float sheet = ice.Sample(fx + wx * 0.3f, fy + wy * 0.3f);
            const float polarSnow = SmoothStep(68.0f, 80.0f, alat + (iceNoise - 0.5f) * 12.0f);
            const Rgb iceTone = Scale(snow, 0.92f + 0.08f * iceNoise);
            const float iced = std::max(SmoothStep(0.3f, 0.6f, sheet), polarSnow * 0.85f);
            ground = Mix(ground, iceTone, iced);
            // Relief shading: slope towards the north-west light.
            const float slope = (relief.Sample(fx + wx - 1.0f, fy + wy - 1.0f) - relief.Sample(fx + wx + 1.0f, fy + wy + 1.0f));
            ground = Scale(ground, std::clamp(1.0f + slope * 1.6f * (1.0f - 0.75f * iced) * (1.0f - calm), 0.6f, 1.35f));

            Rgb c = Mix(sea, ground, isLand);

            // A thin veil of cloud: bands near the equator and over the
            // stormy middle latitudes, clearer over the subtropics; features
            // stretched along the parallels and curled by a warp.
            const float cw = (Fbm(41, u, vs, 8, 3) - 0.5f) * 0.06f;
            const float cloudNoise = Fbm(42, u + cw, (vs + cw) * 2.2f, 10, 6, 0.55f);
            const float itcz = 1.0f - SmoothStep(0.0f, 12.0f, lat > 6.0f ? lat - 6.0f : 6.0f - lat);
            const float storm = 1.0f - SmoothStep(0.0f, 16.0f, alat > 55.0f ? alat - 55.0f : 55.0f - alat);
            const float band = std::max(itcz, storm);
            const float veil = SmoothStep(0.58f - 0.1f * band, 0.8f, cloudNoise) * (0.35f + 0.25f * band);
            c = Mix(c, cloud, veil * (1.0f - calm));

            std::uint8_t* p = &rgb[(static_cast<std::size_t>(y) * w + x) * 3];
            p[0] = ToByte(c.r);
            p[1] = ToByte(c.g);
            p[2] = ToByte(c.b);
        }
    }
    return rgb;
}

}  // namespace content
