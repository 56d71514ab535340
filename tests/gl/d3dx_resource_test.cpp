// Textures and vertex shader sources from embedded resources, on the real
// device: what loads, what it looks like once uploaded, and clean failures.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/base/com_ptr.h"
#include "platform/d3dx/d3dx_resource.h"
#include "platform/image/image.h"
#include "platform/os/resource.h"
#include "tests/gl/device_harness.h"

namespace gltest {
namespace {

// A device whose back buffer is as wide as the toon ramp: one pixel per texel.
class TextureFromResourceTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(h.Create(128, 16), S_OK); }
    IDirect3DDevice8* dev() const { return h.Device(); }
    DeviceHarness h;
};

// The second time from a decode started ahead (and named in other case).
TEST_F(TextureFromResourceTest, ToonRampUploadsEveryTexelAsDecoded) {
    for (const bool prefetched : {false, true}) {
        SCOPED_TRACE(prefetched ? "prefetched" : "decoded at creation");
        if (prefetched) PrefetchImageResource("TOON.BMP");
        ComPtr<IDirect3DTexture8> tex;
        ASSERT_EQ(D3DXCreateTextureFromResourceA(dev(), "Toon.bmp", tex.Out()), S_OK);
        ASSERT_NE(tex.Get(), nullptr);
        EXPECT_EQ(tex->GetWidth(), 128u);
        EXPECT_EQ(tex->GetHeight(), 128u);

        // Drawn over the whole back buffer with point sampling: pixel x shows texel x.
        h.SetRendererStages();
        dev()->SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTEXF_POINT);
        dev()->SetTextureStageState(0, D3DTSS_MINFILTER, D3DTEXF_POINT);
        dev()->SetTexture(0, tex);
        ASSERT_EQ(dev()->BeginScene(), S_OK);
        ASSERT_EQ(h.DrawScreenRect(0, 0, 128, 16, 0xFFFFFFFF), S_OK);
        ASSERT_EQ(dev()->EndScene(), S_OK);
        dev()->SetTexture(0, nullptr);
        tex.Reset();
        h.Read();

        const ResourceData res = FindResourceData("Toon.bmp", "RCDATA");
        Image img;
        ASSERT_EQ(DecodeImage(res.data, res.size, &img), S_OK);
        for (int x = 0; x < 128; ++x) {
            const std::uint8_t* t = &img.bgra[(8u * img.width + x) * 4];  // B, G, R, A
            ASSERT_TRUE(ColorNear(h.Pixel(x, 8), Rgba{t[2], t[1], t[0], 255}, 1)) << "column " << x;
        }
    }
    EXPECT_EQ(dev()->GetFrameStats().glErrors, 0u);
}

TEST_F(TextureFromResourceTest, MissingOrUndecodableResourcesFailCleanly) {
    IDirect3DTexture8* tex = reinterpret_cast<IDirect3DTexture8*>(&h);  // must be overwritten
    EXPECT_EQ(D3DXCreateTextureFromResourceA(dev(), "NoSuchTexture.bmp", &tex), D3DXERR_INVALIDDATA);
    EXPECT_EQ(tex, nullptr);
    // Present, but shader text rather than an image.
    EXPECT_EQ(D3DXCreateTextureFromResourceA(dev(), "Toon.vsh", &tex), D3DXERR_INVALIDDATA);
    EXPECT_EQ(tex, nullptr);
    // Present under another type: textures are looked up as RCDATA only.
    EXPECT_EQ(D3DXCreateTextureFromResourceA(dev(), "TEST_Text.TXT", &tex), D3DXERR_INVALIDDATA);
    EXPECT_EQ(tex, nullptr);
    EXPECT_EQ(D3DXCreateTextureFromResourceA(nullptr, "Toon.bmp", &tex), D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXCreateTextureFromResourceA(dev(), nullptr, &tex), D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXCreateTextureFromResourceA(dev(), "Toon.bmp", nullptr), D3DERR_INVALIDCALL);
    // Decoded ahead: the same failures; one that no texture takes is freed.
    PrefetchImageResource("Toon.vsh");
    PrefetchImageResource("NoSuchTexture.bmp");
    PrefetchImageResource("MOONFACE01.JPG");
    EXPECT_EQ(D3DXCreateTextureFromResourceA(dev(), "toon.vsh", &tex), D3DXERR_INVALIDDATA);
    EXPECT_EQ(D3DXCreateTextureFromResourceA(dev(), "NoSuchTexture.bmp", &tex), D3DXERR_INVALIDDATA);
    EXPECT_EQ(tex, nullptr);
    ReleasePrefetchedImages();
    EXPECT_EQ(dev()->GetFrameStats().glErrors, 0u);
}

TEST(AssembleShaderFromResource, CopiesTheSourceWithItsTerminatorAndNoSideOutputs) {
    const ResourceData res = FindResourceData("Toon.vsh", "RCDATA");
    ASSERT_TRUE(res);
    ID3DXBuffer* constants = reinterpret_cast<ID3DXBuffer*>(0x10);
    ID3DXBuffer* errors = reinterpret_cast<ID3DXBuffer*>(0x10);
    ComPtr<ID3DXBuffer> code;
    ASSERT_EQ(D3DXAssembleShaderFromResourceA("TOON.VSH", 0, &constants, code.Out(), &errors), S_OK);
    EXPECT_EQ(constants, nullptr);
    EXPECT_EQ(errors, nullptr);
    ASSERT_NE(code.Get(), nullptr);
    ASSERT_EQ(code->GetBufferSize(), res.size + 1);
    const char* text = static_cast<const char*>(code->GetBufferPointer());
    EXPECT_EQ(std::memcmp(text, res.data, res.size), 0);
    EXPECT_EQ(text[res.size], '\0');
}

TEST(AssembleShaderFromResource, MissingResourceFailsWithoutABuffer) {
    ID3DXBuffer* code = reinterpret_cast<ID3DXBuffer*>(0x10);
    EXPECT_EQ(D3DXAssembleShaderFromResourceA("NoSuchShader.vsh", 0, nullptr, &code, nullptr), D3DXERR_INVALIDDATA);
    EXPECT_EQ(code, nullptr);
    EXPECT_EQ(D3DXAssembleShaderFromResourceA(nullptr, 0, nullptr, &code, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXAssembleShaderFromResourceA("Toon.vsh", 0, nullptr, nullptr, nullptr), D3DERR_INVALIDCALL);
}

}  // namespace
}  // namespace gltest
