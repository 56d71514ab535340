// The toon ramp: the committed resource is what the generator writes, and it
// decodes to the six bands the toon shaders index.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "platform/image/image.h"
#include "platform/os/resource.h"
#include "render/toon_ramp.h"

namespace {

TEST(ToonRamp, CommittedResourceIsTheGeneratorOutputByteForByte) {
    const ResourceData res = FindResourceData("Toon.bmp", "RCDATA");
    ASSERT_TRUE(res) << "Toon.bmp is not embedded";
    const std::vector<std::uint8_t> generated = BuildToonBmp();
    ASSERT_EQ(res.size, generated.size()) << "regenerate with: gen_toon resources/Toon.bmp";
    for (std::size_t i = 0; i < generated.size(); ++i) {
        ASSERT_EQ(res.data[i], generated[i]) << "first difference at byte " << i
                                             << "; regenerate with: gen_toon resources/Toon.bmp";
    }
}

TEST(ToonRamp, DecodesToGreyBandsDarkToLightWithTheDip) {
    const ResourceData res = FindResourceData("toon.BMP", "rcdata");  // names ignore case
    ASSERT_TRUE(res);
    Image img;
    ASSERT_EQ(DecodeImage(res.data, res.size, &img), S_OK);
    ASSERT_EQ(img.width, 128u);
    ASSERT_EQ(img.height, 128u);

    auto texel = [&](unsigned x, unsigned y) { return &img.bgra[(static_cast<std::size_t>(y) * img.width + x) * 4]; };
    // Grey and opaque everywhere; every row equal to the top one.
    for (unsigned y = 0; y < img.height; ++y) {
        for (unsigned x = 0; x < img.width; ++x) {
            const std::uint8_t* p = texel(x, y);
            const std::uint8_t* top = texel(x, 0);
            ASSERT_TRUE(p[0] == p[1] && p[1] == p[2] && p[3] == 255) << "texel " << x << ", " << y;
            ASSERT_EQ(p[0], top[0]) << "row " << y << " differs at column " << x;
        }
    }
    // The bands, with their first and last columns.
    struct Band {
        unsigned first, last;
        int level;
    };
    const Band bands[] = {{0, 17, 0x00},   {18, 44, 0x23},  {47, 65, 0x83},
                          {66, 85, 0xCA},  {86, 109, 0xE5}, {110, 127, 0xFD}};
    for (const Band& b : bands) {
        for (unsigned x = b.first; x <= b.last; ++x) EXPECT_EQ(texel(x, 64)[0], b.level) << "column " << x;
    }
    // The dip at 45-46 is darker than the band it ends.
    for (unsigned x : {45u, 46u}) EXPECT_LT(texel(x, 64)[0], 0x23) << "column " << x;
}

}  // namespace
