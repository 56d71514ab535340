// The embedded texture files as gen_content writes them: sizes, JPEG
// qualities and containers in one place, shared by the generator and by the
// test that checks the committed copies.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/image/image_write.h"
#include "tools/content/texture_bubble.h"
#include "tools/content/texture_earth.h"
#include "tools/content/texture_moon.h"

namespace content {

constexpr int kEarthWidth = 2048;  // 2048 x 1024, about 200 KB as JPEG
constexpr int kEarthQuality = 85;
constexpr int kMoonSize = 512;
constexpr int kMoonQuality = 88;

// "EARTH.JPG"
inline std::vector<std::uint8_t> EarthJpeg() {
    return EncodeJpeg(kEarthWidth, kEarthWidth / 2, PaintEarth(kEarthWidth), kEarthQuality);
}

// "MOONFACE01.JPG"
inline std::vector<std::uint8_t> MoonFaceJpeg() {
    return EncodeJpeg(kMoonSize, kMoonSize, PaintMoon(kMoonSize), kMoonQuality);
}

// "ParticleBubble01.dds"
inline std::vector<std::uint8_t> BubbleDds() {
    return EncodeDdsA8R8G8B8(kBubbleSize, kBubbleSize, PaintBubble());
}

}  // namespace content
