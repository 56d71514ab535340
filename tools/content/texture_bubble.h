// The bubble particle texture: a 256 x 256 A8R8G8B8 DDS. A bubble is drawn
// on one triangle whose texture coordinates are (0, 1), (0.5, 0) and (1, 1),
// so the disc is placed in that triangle's inscribed circle (centre
// (0.5, 0.691), radius 0.309 in texture units) with a small margin: every
// pixel the triangle does not cover stays fully transparent, and the bubble
// shows whole. The disc is a faint, almost clear body, a brighter rim, a
// specular highlight towards the upper left and a weaker reflection at the
// lower right.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "tools/content/placement_format.h"
#include "tools/content/texture_noise.h"

namespace content {

constexpr int kBubbleSize = 256;

// B, G, R, A bytes (a little-endian A8R8G8B8 word per pixel), top row first.
inline std::vector<std::uint8_t> PaintBubble() {
    const int n = kBubbleSize;
    const float size = static_cast<float>(n);
    const float cx = 0.5f * size, cy = 0.691f * size, radius = 0.29f * size;
    std::vector<std::uint8_t> bgra(static_cast<std::size_t>(n) * n * 4);
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            const float dx = static_cast<float>(x) + 0.5f - cx, dy = static_cast<float>(y) + 0.5f - cy;
            const float dist = std::sqrt(dx * dx + dy * dy);
            const float d = dist / radius;
            // Body and rim: a thin film seen edge-on near the rim is brighter.
            const float film = 0.10f + 0.55f * SmoothStep(0.55f, 0.96f, d) * SmoothStep(0.55f, 0.96f, d);
            // Highlight: a soft ellipse up and to the left of the centre.
            const float hx = (dx + 0.36f * radius) / (0.2f * radius), hy = (dy + 0.38f * radius) / (0.14f * radius);
            const float highlight = 1.0f - SmoothStep(0.2f, 1.0f, hx * hx * 0.8f + hy * hy);
            // A faint crescent of reflected light inside the lower right rim.
            const float ex = dx - 0.2f * radius, ey = dy - 0.2f * radius;
            const float inner = std::sqrt(ex * ex + ey * ey) / radius;
            const float crescent = SmoothStep(0.6f, 0.72f, inner) * (1.0f - SmoothStep(0.74f, 0.86f, d)) *
                                   SmoothStep(0.0f, 0.5f, (dx + dy) / radius);
            float alpha = std::max({film, highlight * 0.95f, crescent * 0.45f});
            // Anti-aliased edge, one pixel wide; nothing outside the disc.
            alpha *= std::clamp(radius - dist + 0.5f, 0.0f, 1.0f);
            const float white = std::max(highlight, crescent * 0.6f);
            // Colour stays defined outside the disc (the rim tint) so that
            // filtering at the edge never pulls in black.
            const float r = Lerp(178.0f, 255.0f, white), g = Lerp(226.0f, 255.0f, white), b = 255.0f;
            std::uint8_t* p = &bgra[(static_cast<std::size_t>(y) * n + x) * 4];
            p[0] = ToByte(b);
            p[1] = ToByte(g);
            p[2] = ToByte(r);
            p[3] = ToByte(alpha * 255.0f);
        }
    return bgra;
}

// A DDS file holding one uncompressed 32-bit A8R8G8B8 image with no mip
// levels: "DDS ", the 124-byte header, then the pixels row by row.
inline std::vector<std::uint8_t> EncodeDdsA8R8G8B8(int width, int height, const std::vector<std::uint8_t>& bgra) {
    constexpr std::uint32_t kCaps = 0x1, kHeight = 0x2, kWidth = 0x4, kPitch = 0x8, kPixelFormat = 0x1000;
    constexpr std::uint32_t kAlphaPixels = 0x1, kRgb = 0x40, kCapsTexture = 0x1000;
    std::vector<std::uint8_t> out = {'D', 'D', 'S', ' '};
    PutU32(out, 124);
    PutU32(out, kCaps | kHeight | kWidth | kPitch | kPixelFormat);
    PutU32(out, static_cast<std::uint32_t>(height));
    PutU32(out, static_cast<std::uint32_t>(width));
    PutU32(out, static_cast<std::uint32_t>(width) * 4);  // pitch
    PutU32(out, 0);                                      // depth
    PutU32(out, 0);                                      // mip levels
    for (int i = 0; i < 11; ++i) PutU32(out, 0);         // reserved
    PutU32(out, 32);                                     // pixel format size
    PutU32(out, kAlphaPixels | kRgb);
    PutU32(out, 0);  // no FourCC
    PutU32(out, 32);
    PutU32(out, 0x00FF0000u);
    PutU32(out, 0x0000FF00u);
    PutU32(out, 0x000000FFu);
    PutU32(out, 0xFF000000u);
    PutU32(out, kCapsTexture);
    for (int i = 0; i < 4; ++i) PutU32(out, 0);  // caps 2..4, reserved
    out.insert(out.end(), bgra.begin(), bgra.end());
    return out;
}

}  // namespace content
