// The toon ramp's bands and its BMP encoding.
#include "render/toon_ramp.h"

namespace {

// Bands from left to right: the first column of each and its grey level.
// The dark band ends in a two-texel dip (columns 45 and 46) darker than the
// band itself, a thin outline where lit turns to shadow.
struct Band {
    unsigned first;
    std::uint8_t level;
};
constexpr Band kBands[] = {
    {0, 0x00},    // black: facing away from the light
    {18, 0x23},   // dark grey
    {45, 0x12},   // the dip
    {47, 0x83},   // mid grey: lit from the side (u = 0.5)
    {66, 0xCA},   // light grey
    {86, 0xE5},
    {110, 0xFD},  // near-white: facing the light
};

void PutU16(std::vector<std::uint8_t>& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void PutU32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    PutU16(out, v & 0xFFFF);
    PutU16(out, v >> 16);
}

}  // namespace

std::uint8_t ToonRampLevel(unsigned x) {
    if (x >= kToonRampSize) return 0;
    std::uint8_t level = 0;
    for (const Band& b : kBands) {
        if (x >= b.first) level = b.level;
    }
    return level;
}

std::vector<std::uint8_t> BuildToonBmp() {
    constexpr std::uint32_t kFileHeader = 14, kInfoHeader = 40;
    constexpr std::uint32_t kRowBytes = kToonRampSize * 3;  // a multiple of 4: no row padding
    constexpr std::uint32_t kPixelBytes = kRowBytes * kToonRampSize;
    constexpr std::uint32_t kOffset = kFileHeader + kInfoHeader;

    std::vector<std::uint8_t> out;
    out.reserve(kOffset + kPixelBytes);
    // BITMAPFILEHEADER
    out.push_back('B');
    out.push_back('M');
    PutU32(out, kOffset + kPixelBytes);  // file size
    PutU32(out, 0);                      // two reserved words
    PutU32(out, kOffset);                // offset of the pixels
    // BITMAPINFOHEADER
    PutU32(out, kInfoHeader);
    PutU32(out, kToonRampSize);  // width
    PutU32(out, kToonRampSize);  // height > 0: rows stored bottom-up
    PutU16(out, 1);              // planes
    PutU16(out, 24);             // bits per pixel
    PutU32(out, 0);              // BI_RGB, uncompressed
    PutU32(out, kPixelBytes);
    PutU32(out, 2835);  // 72 dots per inch, both ways
    PutU32(out, 2835);
    PutU32(out, 0);  // no palette
    PutU32(out, 0);
    // Every row is the same, so bottom-up order needs no care.
    for (unsigned y = 0; y < kToonRampSize; ++y) {
        for (unsigned x = 0; x < kToonRampSize; ++x) {
            const std::uint8_t g = ToonRampLevel(x);
            out.push_back(g);  // B
            out.push_back(g);  // G
            out.push_back(g);  // R
        }
    }
    return out;
}
