// Image decoding: BMP, JPEG and DDS images built in memory here, decoded to
// B, G, R, A top row first; bad input fails with a status, never a crash.
#include "platform/image/image.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

namespace {

struct Rgba {
    std::uint8_t r, g, b, a;
};

void Put16(std::vector<std::uint8_t>& v, unsigned x) {
    v.push_back(static_cast<std::uint8_t>(x));
    v.push_back(static_cast<std::uint8_t>(x >> 8));
}
void Put32(std::vector<std::uint8_t>& v, std::uint32_t x) {
    Put16(v, x & 0xFFFF);
    Put16(v, x >> 16);
}

const std::uint8_t* PixelAt(const Image& img, unsigned x, unsigned y) {
    return &img.bgra[(static_cast<std::size_t>(y) * img.width + x) * 4];
}

void ExpectPixel(const Image& img, unsigned x, unsigned y, Rgba c, int tolerance = 0) {
    const std::uint8_t* p = PixelAt(img, x, y);
    EXPECT_NEAR(p[0], c.b, tolerance) << "blue at " << x << "," << y;
    EXPECT_NEAR(p[1], c.g, tolerance) << "green at " << x << "," << y;
    EXPECT_NEAR(p[2], c.r, tolerance) << "red at " << x << "," << y;
    EXPECT_EQ(p[3], c.a) << "alpha at " << x << "," << y;
}

// 24-bit BMP, stored bottom row first with rows padded to 4 bytes.
std::vector<std::uint8_t> MakeBmp24(int w, int h, const Rgba* topFirst) {
    const unsigned pitch = (static_cast<unsigned>(w) * 3 + 3) & ~3u;
    const unsigned dataSize = pitch * static_cast<unsigned>(h);
    std::vector<std::uint8_t> v = {'B', 'M'};
    Put32(v, 54 + dataSize);
    Put32(v, 0);
    Put32(v, 54);
    Put32(v, 40);
    Put32(v, static_cast<std::uint32_t>(w));
    Put32(v, static_cast<std::uint32_t>(h));
    Put16(v, 1);
    Put16(v, 24);
    for (std::uint32_t field : {0u, dataSize, 2835u, 2835u, 0u, 0u}) Put32(v, field);
    for (int y = h - 1; y >= 0; --y) {
        for (int x = 0; x < w; ++x) {
            const Rgba& c = topFirst[y * w + x];
            v.insert(v.end(), {c.b, c.g, c.r});
        }
        v.resize(v.size() + pitch - static_cast<unsigned>(w) * 3, 0);
    }
    return v;
}

// Baseline JPEG of flat 8x8 blocks, one colour per block, 4:4:4. With all
// quantisers 1 a flat block is its DC term alone (8 * (level - 128)), so
// one 4-bit-code DC table (categories 0..11) and an AC table holding only
// end-of-block (code "0") suffice.
std::vector<std::uint8_t> MakeFlatBlockJpeg(unsigned blocksX, unsigned blocksY, const Rgba* blockColours) {
    std::vector<std::uint8_t> v = {0xFF, 0xD8};
    auto segment = [&v](std::uint8_t marker, std::vector<std::uint8_t> body) {
        v.insert(v.end(), {0xFF, marker, static_cast<std::uint8_t>((body.size() + 2) >> 8),
                           static_cast<std::uint8_t>(body.size() + 2)});
        v.insert(v.end(), body.begin(), body.end());
    };
    std::vector<std::uint8_t> dqt(65, 1);
    dqt[0] = 0;
    segment(0xDB, dqt);
    const unsigned w = blocksX * 8, h = blocksY * 8;
    segment(0xC0, {8, static_cast<std::uint8_t>(h >> 8), static_cast<std::uint8_t>(h),
                   static_cast<std::uint8_t>(w >> 8), static_cast<std::uint8_t>(w), 3, 1, 0x11, 0, 2, 0x11, 0, 3,
                   0x11, 0});
    std::vector<std::uint8_t> dc(17, 0);
    dc[4] = 12;  // twelve codes of length 4
    for (std::uint8_t s = 0; s < 12; ++s) dc.push_back(s);
    segment(0xC4, dc);
    std::vector<std::uint8_t> ac(17, 0);
    ac[0] = 0x10;
    ac[1] = 1;      // one code of length 1
    ac.push_back(0);  // end of block
    segment(0xC4, ac);
    segment(0xDA, {3, 1, 0x00, 2, 0x00, 3, 0x00, 0, 63, 0});

    std::uint32_t acc = 0;
    int bits = 0;
    auto put = [&](std::uint32_t code, int n) {
        acc = (acc << n) | (code & ((1u << n) - 1));
        bits += n;
        while (bits >= 8) {
            const std::uint8_t byte = static_cast<std::uint8_t>(acc >> (bits - 8));
            v.push_back(byte);
            if (byte == 0xFF) v.push_back(0);  // byte stuffing
            bits -= 8;
        }
    };
    int pred[3] = {0, 0, 0};
    for (unsigned i = 0; i < blocksX * blocksY; ++i) {
        const Rgba& c = blockColours[i];
        const double level[3] = {0.299 * c.r + 0.587 * c.g + 0.114 * c.b,
                                 128 - 0.168736 * c.r - 0.331264 * c.g + 0.5 * c.b,
                                 128 + 0.5 * c.r - 0.418688 * c.g - 0.081312 * c.b};
        for (int k = 0; k < 3; ++k) {
            const int dcTerm = static_cast<int>(std::lround(8 * (level[k] - 128)));
            const int diff = dcTerm - pred[k];
            pred[k] = dcTerm;
            int category = 0;
            while ((std::abs(diff) >> category) != 0) ++category;
            put(static_cast<std::uint32_t>(category), 4);
            if (category) put(static_cast<std::uint32_t>(diff >= 0 ? diff : diff + (1 << category) - 1), category);
            put(0, 1);  // end of block
        }
    }
    if (bits) put(0x7F, 8 - bits);  // pad with ones
    v.insert(v.end(), {0xFF, 0xD9});
    return v;
}

// DDS pixel format flags and a writer for the 128-byte file prefix.
constexpr std::uint32_t kAlphaPixels = 0x1, kFourCCFlag = 0x4, kRgb = 0x40, kLuminance = 0x20000;

struct DdsFormat {
    std::uint32_t flags, fourCC, bits, r, g, b, a;
};

std::vector<std::uint8_t> MakeDds(std::uint32_t w, std::uint32_t h, const DdsFormat& f,
                                  const std::vector<std::uint8_t>& payload, std::uint32_t caps2 = 0) {
    std::vector<std::uint8_t> v = {'D', 'D', 'S', ' '};
    Put32(v, 124);
    Put32(v, 0x1007);  // caps, height, width, pixel format
    Put32(v, h);
    Put32(v, w);
    Put32(v, 0);  // pitch: computed by readers, deliberately left 0
    Put32(v, 0);
    Put32(v, 1);
    for (int i = 0; i < 11; ++i) Put32(v, 0);
    for (std::uint32_t field : {32u, f.flags, f.fourCC, f.bits, f.r, f.g, f.b, f.a}) Put32(v, field);
    for (std::uint32_t field : {0x1000u, caps2, 0u, 0u, 0u}) Put32(v, field);
    v.insert(v.end(), payload.begin(), payload.end());
    return v;
}

constexpr std::uint32_t FourCC(const char (&s)[5]) {
    return std::uint32_t(std::uint8_t(s[0])) | (std::uint32_t(std::uint8_t(s[1])) << 8) |
           (std::uint32_t(std::uint8_t(s[2])) << 16) | (std::uint32_t(std::uint8_t(s[3])) << 24);
}

const DdsFormat kA8R8G8B8 = {kRgb | kAlphaPixels, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000};
const DdsFormat kX8R8G8B8 = {kRgb, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0};
const DdsFormat kR8G8B8 = {kRgb, 0, 24, 0xFF0000, 0xFF00, 0xFF, 0};
const DdsFormat kA8B8G8R8 = {kRgb | kAlphaPixels, 0, 32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000};
const DdsFormat kR5G6B5 = {kRgb, 0, 16, 0xF800, 0x07E0, 0x001F, 0};
DdsFormat Dxt(const char (&name)[5]) { return {kFourCCFlag, FourCC(name), 0, 0, 0, 0, 0}; }

const Rgba kColours[6] = {{255, 0, 0, 255}, {0, 255, 0, 128}, {0, 0, 255, 0},
                          {10, 20, 30, 40}, {200, 100, 50, 255}, {1, 2, 3, 4}};

// Pixels packed little-endian by the format's masks (8-bit channels only).
std::vector<std::uint8_t> PackPixels(const DdsFormat& f, const Rgba* colours, unsigned count) {
    auto place = [](std::uint32_t mask, std::uint8_t value) -> std::uint32_t {
        if (!mask) return 0;
        unsigned shift = 0;
        while (!((mask >> shift) & 1)) ++shift;
        return static_cast<std::uint32_t>(value) << shift;
    };
    std::vector<std::uint8_t> v;
    for (unsigned i = 0; i < count; ++i) {
        const Rgba& c = colours[i];
        const std::uint32_t p = place(f.r, c.r) | place(f.g, c.g) | place(f.b, c.b) | place(f.a, c.a);
        for (unsigned k = 0; k < f.bits / 8; ++k) v.push_back(static_cast<std::uint8_t>(p >> (8 * k)));
    }
    return v;
}

TEST(Image, Bmp24BottomUpRowsBecomeTopFirstBgra) {
    const std::vector<std::uint8_t> bmp = MakeBmp24(3, 2, kColours);  // 9-byte rows padded to 12
    Image img;
    ASSERT_EQ(DecodeImage(bmp.data(), bmp.size(), &img), S_OK);
    ASSERT_EQ(img.width, 3u);
    ASSERT_EQ(img.height, 2u);
    ASSERT_EQ(img.bgra.size(), 3u * 2 * 4);
    for (unsigned i = 0; i < 6; ++i) ExpectPixel(img, i % 3, i / 3, {kColours[i].r, kColours[i].g, kColours[i].b, 255});
}

TEST(Image, JpegDecodesToItsBlockColours) {
    const Rgba blocks[2] = {{200, 30, 40, 255}, {20, 90, 230, 255}};
    const std::vector<std::uint8_t> jpeg = MakeFlatBlockJpeg(2, 1, blocks);
    Image img;
    ASSERT_EQ(DecodeImage(jpeg.data(), jpeg.size(), &img), S_OK);
    ASSERT_EQ(img.width, 16u);
    ASSERT_EQ(img.height, 8u);
    for (unsigned y : {0u, 7u}) {
        for (unsigned x : {0u, 7u}) ExpectPixel(img, x, y, blocks[0], 3);
        for (unsigned x : {8u, 15u}) ExpectPixel(img, x, y, blocks[1], 3);
    }
}

TEST(Image, DdsUncompressedFormatsKeepChannelsAndAlpha) {
    for (const DdsFormat* f : {&kA8R8G8B8, &kX8R8G8B8, &kR8G8B8, &kA8B8G8R8}) {
        const std::vector<std::uint8_t> dds = MakeDds(3, 2, *f, PackPixels(*f, kColours, 6));
        Image img;
        ASSERT_EQ(DecodeImage(dds.data(), dds.size(), &img), S_OK) << "bits " << f->bits;
        ASSERT_EQ(img.bgra.size(), 3u * 2 * 4);
        for (unsigned i = 0; i < 6; ++i) {
            const Rgba& c = kColours[i];
            ExpectPixel(img, i % 3, i / 3, {c.r, c.g, c.b, f->a ? c.a : std::uint8_t(255)});
        }
    }
    // A8R8G8B8 in memory is B, G, R, A: the decoded bytes are the file's bytes.
    const std::vector<std::uint8_t> argb = PackPixels(kA8R8G8B8, kColours, 6);
    std::vector<std::uint8_t> twoLevels = argb;
    twoLevels.resize(argb.size() + 4, 0xEE);  // the 1x1 mip level, not read
    const std::vector<std::uint8_t> withMip = MakeDds(3, 2, kA8R8G8B8, twoLevels);
    Image img;
    ASSERT_EQ(DecodeImage(withMip.data(), withMip.size(), &img), S_OK);
    EXPECT_EQ(img.bgra, argb);

    // 16-bit 5:6:5: full-scale channels expand to 255.
    const std::vector<std::uint8_t> rgb565 = MakeDds(2, 1, kR5G6B5, {0x00, 0xF8, 0xFF, 0x07});
    ASSERT_EQ(DecodeImage(rgb565.data(), rgb565.size(), &img), S_OK);
    ExpectPixel(img, 0, 0, {255, 0, 0, 255});
    ExpectPixel(img, 1, 0, {0, 255, 255, 255});
}

TEST(Image, DdsDxtBlocksDecode) {
    // Colour block: red (0xF800) and blue (0x001F); row y uses index y.
    const std::vector<std::uint8_t> colour = {0x00, 0xF8, 0x1F, 0x00, 0x00, 0x55, 0xAA, 0xFF};
    const Rgba red = {255, 0, 0, 255}, blue = {0, 0, 255, 255};
    const Rgba twoThirdsRed = {170, 0, 85, 255}, twoThirdsBlue = {85, 0, 170, 255};
    Image img;
    std::vector<std::uint8_t> dds = MakeDds(4, 4, Dxt("DXT1"), colour);
    ASSERT_EQ(DecodeImage(dds.data(), dds.size(), &img), S_OK);
    for (unsigned x = 0; x < 4; ++x) {
        ExpectPixel(img, x, 0, red);
        ExpectPixel(img, x, 1, blue);
        ExpectPixel(img, x, 2, twoThirdsRed, 1);
        ExpectPixel(img, x, 3, twoThirdsBlue, 1);
    }

    // c0 <= c1: three colours plus transparent black at index 3.
    const std::vector<std::uint8_t> threeColour = {0x1F, 0x00, 0x00, 0xF8, 0x00, 0x55, 0xAA, 0xFF};
    dds = MakeDds(4, 4, Dxt("DXT1"), threeColour);
    ASSERT_EQ(DecodeImage(dds.data(), dds.size(), &img), S_OK);
    ExpectPixel(img, 0, 2, {127, 0, 127, 255}, 1);
    ExpectPixel(img, 0, 3, {0, 0, 0, 0});

    // DXT3: explicit 4-bit alpha, pixel i has nibble i.
    std::vector<std::uint8_t> block = {0x10, 0x32, 0x54, 0x76, 0x98, 0xBA, 0xDC, 0xFE};
    block.insert(block.end(), colour.begin(), colour.end());
    dds = MakeDds(4, 4, Dxt("DXT3"), block);
    ASSERT_EQ(DecodeImage(dds.data(), dds.size(), &img), S_OK);
    EXPECT_EQ(PixelAt(img, 0, 0)[3], 0);
    EXPECT_EQ(PixelAt(img, 1, 0)[3], 17);
    EXPECT_EQ(PixelAt(img, 3, 3)[3], 255);
    ExpectPixel(img, 2, 1, {0, 0, 255, 17 * 6});

    // DXT5: alpha end points 255 and 0, index 2 is 6/7 of the way to 255;
    // pixel 0 uses index 0, pixel 1 index 1, pixel 2 index 2, the rest 0.
    block = {255, 0, 0b10'001'000, 0, 0, 0, 0, 0};
    block.insert(block.end(), colour.begin(), colour.end());
    dds = MakeDds(4, 4, Dxt("DXT5"), block);
    ASSERT_EQ(DecodeImage(dds.data(), dds.size(), &img), S_OK);
    EXPECT_EQ(PixelAt(img, 0, 0)[3], 255);
    EXPECT_EQ(PixelAt(img, 1, 0)[3], 0);
    EXPECT_NEAR(PixelAt(img, 2, 0)[3], 255 * 6 / 7, 1);

    // 6 x 5 covers 2 x 2 blocks; the clipped edge pixels come from the last block.
    std::vector<std::uint8_t> four;
    for (int i = 0; i < 4; ++i) four.insert(four.end(), colour.begin(), colour.end());
    four[24] = 0x1F;  // last block: c0 = blue, c1 = red
    four[25] = 0x00;
    four[26] = 0x00;
    four[27] = 0xF8;
    dds = MakeDds(6, 5, Dxt("DXT1"), four);
    ASSERT_EQ(DecodeImage(dds.data(), dds.size(), &img), S_OK);
    ASSERT_EQ(img.bgra.size(), 6u * 5 * 4);
    ExpectPixel(img, 5, 4, blue);  // row 0 of the block: index 0 = c0
    ExpectPixel(img, 0, 4, red);
}

TEST(Image, BadInputFailsCleanlyAndLeavesOutput) {
    Image out;
    out.width = 77;
    auto expectStatus = [&out](const std::vector<std::uint8_t>& data, HRESULT expected, const char* what) {
        EXPECT_EQ(DecodeImage(data.data(), data.size(), &out), expected) << what;
        EXPECT_EQ(out.width, 77u) << what;
    };
    const std::uint8_t one = 0;
    EXPECT_EQ(DecodeImage(nullptr, 10, &out), D3DERR_INVALIDCALL);
    EXPECT_EQ(DecodeImage(&one, 0, &out), D3DERR_INVALIDCALL);
    EXPECT_EQ(DecodeImage(&one, 1, nullptr), D3DERR_INVALIDCALL);
    expectStatus({'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd'}, E_FAIL, "garbage");

    const std::vector<std::uint8_t> pixels = PackPixels(kA8R8G8B8, kColours, 6);
    std::vector<std::uint8_t> dds = MakeDds(3, 2, kA8R8G8B8, pixels);
    expectStatus({dds.begin(), dds.begin() + 60}, E_FAIL, "truncated DDS header");
    expectStatus({dds.begin(), dds.end() - 1}, E_FAIL, "pixels one byte short");
    std::vector<std::uint8_t> bad = dds;
    bad[4] = 120;
    expectStatus(bad, E_FAIL, "header size not 124");
    expectStatus(MakeDds(0, 2, kA8R8G8B8, pixels), E_FAIL, "zero width");
    expectStatus(MakeDds(kMaxImageDimension, kMaxImageDimension, kA8R8G8B8, pixels), E_FAIL,
                 "large header, little data");
    expectStatus(MakeDds(100000, 2, kA8R8G8B8, pixels), D3DERR_NOTAVAILABLE, "oversized");
    expectStatus(MakeDds(0xFFFFFFFFu, 0xFFFFFFFFu, kR8G8B8, pixels), D3DERR_NOTAVAILABLE, "overflowing size");
    expectStatus(MakeDds(3, 2, {kRgb, 0, 24, 0xFF000000u, 0xFF00, 0xFF, 0}, pixels), E_FAIL, "mask outside pixel");
    expectStatus(MakeDds(3, 2, {kRgb, 0, 12, 0xF00, 0xF0, 0xF, 0}, pixels), D3DERR_NOTAVAILABLE, "12-bit pixels");
    expectStatus(MakeDds(3, 2, {kLuminance, 0, 8, 0xFF, 0, 0, 0}, pixels), D3DERR_NOTAVAILABLE, "luminance");
    expectStatus(MakeDds(4, 4, Dxt("DX10"), pixels), D3DERR_NOTAVAILABLE, "DX10 header");
    expectStatus(MakeDds(3, 2, kA8R8G8B8, pixels, 0x200), D3DERR_NOTAVAILABLE, "cube map");
    expectStatus(MakeDds(8, 8, Dxt("DXT5"), std::vector<std::uint8_t>(48)), E_FAIL, "DXT5 data short");

    std::vector<std::uint8_t> bmp = MakeBmp24(3, 2, kColours);
    expectStatus({bmp.begin(), bmp.begin() + 30}, E_FAIL, "truncated BMP header");
    bmp[18] = 0xA0;  // width 100000
    bmp[19] = 0x86;
    bmp[20] = 0x01;
    expectStatus(bmp, D3DERR_NOTAVAILABLE, "oversized BMP");

    // Every prefix that ends before the JPEG's scan data has begun must fail.
    const Rgba block = {1, 2, 3, 255};
    const std::vector<std::uint8_t> jpeg = MakeFlatBlockJpeg(1, 1, &block);
    std::size_t scan = 0;
    for (std::size_t i = 0; i + 1 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xDA) scan = i + 2 + 12;
    ASSERT_GT(scan, 0u);
    for (std::size_t n = 1; n < scan; ++n) expectStatus({jpeg.begin(), jpeg.begin() + n}, E_FAIL, "JPEG prefix");

    // Huffman tables that would drive the JPEG decoder out of bounds (seen
    // as such under the sanitizers): one claiming more than 256 codes, and a
    // scan selecting a table that was never defined.
    std::vector<std::uint8_t> badTable = jpeg;
    for (std::size_t i = 0; i + 1 < badTable.size(); ++i) {
        if (badTable[i] == 0xFF && badTable[i + 1] == 0xC4) {
            std::memset(&badTable[i + 5], 99, 16);
            break;
        }
    }
    expectStatus(badTable, E_FAIL, "oversized huffman table");
    std::vector<std::uint8_t> undefinedTable = jpeg;
    undefinedTable[scan - 12 + 8] = 0x11;  // third component: DC and AC table 1
    expectStatus(undefinedTable, E_FAIL, "undefined huffman table");
}

TEST(Image, CorruptedImagesNeverBreakTheDecoder) {
    // Random byte damage to valid images of every kind: decoding either
    // fails or yields a consistent image, and never reads out of bounds
    // (run under the sanitizers to see the latter).
    const Rgba blocks[4] = {{9, 8, 7, 255}, {200, 1, 2, 255}, {3, 200, 4, 255}, {5, 6, 200, 255}};
    std::vector<std::vector<std::uint8_t>> seeds = {
        MakeBmp24(3, 2, kColours),
        MakeFlatBlockJpeg(2, 2, blocks),
        MakeDds(3, 2, kA8R8G8B8, PackPixels(kA8R8G8B8, kColours, 6)),
        MakeDds(8, 4, Dxt("DXT5"), std::vector<std::uint8_t>(32, 0x5A)),
    };
    std::mt19937 rng(1234);
    for (const auto& seed : seeds) {
        for (int round = 0; round < 500; ++round) {
            std::vector<std::uint8_t> data = seed;
            const int damage = 1 + static_cast<int>(rng() % 4);
            for (int k = 0; k < damage; ++k) data[rng() % data.size()] = static_cast<std::uint8_t>(rng());
            if (rng() % 4 == 0) data.resize(rng() % data.size() + 1);
            Image img;
            if (DecodeImage(data.data(), data.size(), &img) == S_OK) {
                EXPECT_LE(img.width, kMaxImageDimension);
                EXPECT_LE(img.height, kMaxImageDimension);
                EXPECT_EQ(img.bgra.size(), std::size_t(img.width) * img.height * 4);
            }
        }
    }
}

}  // namespace
