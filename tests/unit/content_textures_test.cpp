// The embedded textures, decoded the way the device loads them: the Earth
// map (oceans and land where they belong), the moon's face (a grey,
// cratered surface), the bubble (a round translucent disc inside the
// particle triangle), and that the committed files are what the generator
// writes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "platform/image/image.h"
#include "platform/image/image_write.h"
#include "platform/os/resource.h"
#include "tools/content/texture_files.h"

namespace {

Image Decode(const char* name) {
    Image img;
    const ResourceData res = FindResourceData(name, "RCDATA");
    EXPECT_TRUE(res) << name << " is not embedded";
    if (res) {
        EXPECT_EQ(DecodeImage(res.data, res.size, &img), S_OK) << name;
    }
    return img;
}

struct Colour {
    double r, g, b, a;
};

// Mean colour of the (2k+1)^2 pixels round (x, y), x wrapping.
Colour Mean(const Image& img, int x, int y, int k) {
    Colour c{0, 0, 0, 0};
    int n = 0;
    for (int dy = -k; dy <= k; ++dy)
        for (int dx = -k; dx <= k; ++dx) {
            const int px = (x + dx + static_cast<int>(img.width)) % static_cast<int>(img.width);
            const int py = std::clamp(y + dy, 0, static_cast<int>(img.height) - 1);
            const std::uint8_t* p = &img.bgra[(static_cast<std::size_t>(py) * img.width + px) * 4];
            c.b += p[0];
            c.g += p[1];
            c.r += p[2];
            c.a += p[3];
            ++n;
        }
    return {c.r / n, c.g / n, c.b / n, c.a / n};
}

// The Earth map is equirectangular: longitude -180..180 across, latitude
// 90 N at the top.
Colour EarthAt(const Image& img, double lon, double lat) {
    const int x = static_cast<int>((lon + 180.0) / 360.0 * img.width);
    const int y = static_cast<int>((90.0 - lat) / 180.0 * img.height);
    return Mean(img, x, y, 3);
}

bool Blue(const Colour& c) {
    return c.b > c.r + 30 && c.b > c.g + 10;
}

TEST(EarthTexture, IsAnEquirectangularMapWithOceansAndContinentsInPlace) {
    // The Earth model's material names it in lower case.
    ASSERT_TRUE(FindResourceData("earth.jpg", "RCDATA"));
    EXPECT_LT(FindResourceData("EARTH.JPG", "RCDATA").size, 400u * 1024u);
    const Image img = Decode("EARTH.JPG");
    ASSERT_GE(img.width, 1024u);
    ASSERT_EQ(img.width, 2 * img.height);

    const struct {
        const char* place;
        double lon, lat;
    } seas[] = {{"central Pacific", -150, -5},   {"north Pacific", 170, 35}, {"south Atlantic", -20, -25},
                {"north Atlantic", -40, 35},     {"Indian Ocean", 75, -20},  {"Tasman Sea", 160, -38},
                {"Gulf of Mexico", -91, 25},     {"Mediterranean", 18, 34.5}},
      lands[] = {{"Sahara", 10, 23},       {"Amazon", -60, -5},       {"Congo", 23, -2},       {"Siberia", 100, 62},
                 {"Great Plains", -100, 42}, {"Australia", 133, -25}, {"India", 78, 20},      {"Arabia", 45, 22},
                 {"Greenland", -40, 75},   {"Antarctica", 0, -85}};
    for (const auto& s : seas) {
        const Colour c = EarthAt(img, s.lon, s.lat);
        EXPECT_TRUE(Blue(c)) << s.place << " is not sea blue: " << c.r << ", " << c.g << ", " << c.b;
    }
    for (const auto& l : lands) {
        const Colour c = EarthAt(img, l.lon, l.lat);
        EXPECT_FALSE(Blue(c)) << l.place << " looks like sea: " << c.r << ", " << c.g << ", " << c.b;
    }
    // Desert is warm, rain forest green, the ice caps white.
    const Colour sahara = EarthAt(img, 10, 23), amazon = EarthAt(img, -60, -5);
    EXPECT_GT(sahara.r, sahara.b + 40);
    EXPECT_GT(amazon.g, amazon.b);
    EXPECT_GT(amazon.g, amazon.r);
    for (const Colour& ice : {EarthAt(img, -40, 75), EarthAt(img, 0, -85), EarthAt(img, 120, -80)})
        EXPECT_GT(std::min({ice.r, ice.g, ice.b}), 190.0);

    // Land covers roughly the real share of the globe between 60 S and 60 N
    // (about a quarter to a third), weighting rows by their true area.
    double land = 0, total = 0;
    for (unsigned y = img.height / 6; y < img.height * 5 / 6; y += 2) {
        const double lat = (90.0 - (y + 0.5) * 180.0 / img.height) * 3.14159265358979 / 180.0;
        for (unsigned x = 0; x < img.width; x += 2) {
            const std::uint8_t* p = &img.bgra[(static_cast<std::size_t>(y) * img.width + x) * 4];
            const bool sea = p[0] > p[2] + 15 && p[0] >= p[1];
            land += sea ? 0 : std::cos(lat);
            total += std::cos(lat);
        }
    }
    EXPECT_GT(land / total, 0.22);
    EXPECT_LT(land / total, 0.38);
}

TEST(MoonTexture, IsAGreyCrateredFaceWithDarkMaria) {
    EXPECT_LT(FindResourceData("MOONFACE01.JPG", "RCDATA").size, 400u * 1024u);
    // The moon model's material spells it in mixed case.
    ASSERT_TRUE(FindResourceData("MoonFace01.JPG", "RCDATA"));
    const Image img = Decode("MOONFACE01.JPG");
    ASSERT_EQ(img.width, 512u);
    ASSERT_EQ(img.height, 512u);

    double sum = 0, sumSq = 0, tint = 0;
    const double n = static_cast<double>(img.width) * img.height;
    for (std::size_t i = 0; i < img.bgra.size(); i += 4) {
        const double b = img.bgra[i], g = img.bgra[i + 1], r = img.bgra[i + 2];
        const double grey = (r + g + b) / 3;
        sum += grey;
        sumSq += grey * grey;
        tint += std::max({std::fabs(r - g), std::fabs(g - b), std::fabs(r - b)});
    }
    const double mean = sum / n, spread = std::sqrt(sumSq / n - mean * mean);
    EXPECT_LT(tint / n, 10.0) << "not grey";
    EXPECT_GT(mean, 100.0);
    EXPECT_LT(mean, 200.0);
    EXPECT_GT(spread, 15.0) << "no craters or maria";

    // The maria darken the face round the centre compared with the far side
    // at the left and right edges.
    double centre = 0, edges = 0;
    for (int y = 160; y < 352; y += 4)
        for (int x = 0; x < 48; x += 4) {
            centre += Mean(img, 200 + x * 2, y, 1).g;
            edges += Mean(img, x, y, 1).g + Mean(img, 464 + x, y, 1).g;
        }
    EXPECT_LT(centre, edges / 2 * 0.9);
}

TEST(BubbleTexture, IsARoundTranslucentDiscInsideTheParticleTriangle) {
    const Image img = Decode("ParticleBubble01.dds");
    ASSERT_EQ(img.width, 256u);
    ASSERT_EQ(img.height, 256u);
    auto alpha = [&](int x, int y) { return img.bgra[(static_cast<std::size_t>(y) * 256 + x) * 4 + 3]; };

    for (int c : {0, 255}) {
        EXPECT_EQ(alpha(c, 0), 0);
        EXPECT_EQ(alpha(c, 255), 0);
    }
    // The particle triangle has texture coordinates (0, 1), (0.5, 0),
    // (1, 1): every pixel it does not cover is fully transparent.
    int minX = 256, maxX = -1, minY = 256, maxY = -1;
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
            const double u = (x + 0.5) / 256, v = (y + 0.5) / 256;
            const bool inside = v >= 2 * std::fabs(u - 0.5);
            if (!inside) {
                EXPECT_EQ(alpha(x, y), 0) << "at " << x << ", " << y;
            }
            if (alpha(x, y) > 0) {
                minX = std::min(minX, x);
                maxX = std::max(maxX, x);
                minY = std::min(minY, y);
                maxY = std::max(maxY, y);
            }
        }
    ASSERT_GE(maxX, 0) << "nothing drawn";
    // Round: as wide as it is tall, and large enough to read.
    EXPECT_NEAR(maxX - minX, maxY - minY, 2);
    EXPECT_GT(maxX - minX, 100);

    const int cx = (minX + maxX) / 2, cy = (minY + maxY) / 2, r = (maxX - minX) / 2;
    const int centre = alpha(cx, cy);
    EXPECT_GT(centre, 0);
    EXPECT_LT(centre, 96) << "the body should be see-through";
    // Brighter rim on all four sides, just inside the edge.
    const int rim = r * 9 / 10;
    for (auto [x, y] : {std::pair{cx - rim, cy}, std::pair{cx + rim, cy}, std::pair{cx, cy - rim}, std::pair{cx, cy + rim}})
        EXPECT_GT(alpha(x, y), centre + 40) << "rim at " << x << ", " << y;
    // A specular highlight: some nearly opaque, near-white pixels in the
    // upper left quarter of the disc.
    int highlight = 0;
    for (int y = cy - r; y < cy; ++y)
        for (int x = cx - r; x < cx; ++x) {
            const std::uint8_t* p = &img.bgra[(static_cast<std::size_t>(y) * 256 + x) * 4];
            if (p[3] > 200 && std::min({p[0], p[1], p[2]}) > 230) ++highlight;
        }
    EXPECT_GT(highlight, 20);
}

// The committed textures are exactly what the generator writes now
// (identical pixels, identical encoder, identical bytes).
TEST(Textures, MatchTheGeneratorByteForByte) {
    using namespace content;
    auto same = [](const char* name, const std::vector<std::uint8_t>& bytes) {
        const ResourceData res = FindResourceData(name, "RCDATA");
        ASSERT_TRUE(res) << name;
        EXPECT_TRUE(!bytes.empty() && res.size == bytes.size() && std::equal(bytes.begin(), bytes.end(), res.data))
            << name << " differs from the generator: run gen_content resources/";
    };
    same("EARTH.JPG", EarthJpeg());
    same("MOONFACE01.JPG", MoonFaceJpeg());
    same("ParticleBubble01.dds", BubbleDds());
}

TEST(JpegEncoder, RoundTripsThroughTheDecoderAndRejectsBadInput) {
    std::vector<std::uint8_t> rgb(64 * 32 * 3);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 64; ++x) {
            std::uint8_t* p = &rgb[(y * 64 + x) * 3];
            p[0] = static_cast<std::uint8_t>(x * 4);
            p[1] = static_cast<std::uint8_t>(y * 8);
            p[2] = 128;
        }
    const std::vector<std::uint8_t> jpeg = EncodeJpeg(64, 32, rgb, 95);
    ASSERT_FALSE(jpeg.empty());
    EXPECT_EQ(EncodeJpeg(64, 32, rgb, 95), jpeg) << "encoding is not deterministic";
    Image img;
    ASSERT_EQ(DecodeImage(jpeg.data(), jpeg.size(), &img), S_OK);
    ASSERT_EQ(img.width, 64u);
    ASSERT_EQ(img.height, 32u);
    const std::uint8_t* p = &img.bgra[(20 * 64 + 40) * 4];
    EXPECT_NEAR(p[2], 160, 8);
    EXPECT_NEAR(p[1], 160, 8);
    EXPECT_NEAR(p[0], 128, 8);

    EXPECT_TRUE(EncodeJpeg(0, 32, rgb, 90).empty());
    EXPECT_TRUE(EncodeJpeg(64, -1, rgb, 90).empty());
    EXPECT_TRUE(EncodeJpeg(65, 32, rgb, 90).empty()) << "buffer too short for the size";
}

}  // namespace
