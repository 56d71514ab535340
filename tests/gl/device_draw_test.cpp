// Pixels drawn through the real device: screen-space placement, blending,
// fog, culling, depth, texture stages, vertex shaders and the buffer paths.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "tests/gl/device_harness.h"

namespace gltest {
namespace {

constexpr D3DCOLOR kRed = 0xFFFF0000;
constexpr D3DCOLOR kGreen = 0xFF00FF00;
constexpr D3DCOLOR kBlue = 0xFF0000FF;
constexpr D3DCOLOR kBlack = 0xFF000000;

// Shader vertex: clip-space position (v0) and a packed colour (v5).
struct ClipVertex {
    float x, y, z;
    D3DCOLOR color;
};
const DWORD kClipDeclaration[] = {D3DVSD_STREAM(0), D3DVSD_REG(0, D3DVSDT_FLOAT3), D3DVSD_REG(5, D3DVSDT_D3DCOLOR),
                                  D3DVSD_END()};

// Colour from c[20], fog factor from c[21].x: proves the constant file.
const char* const kConstantColourShader = R"(#version 330 core
uniform vec4 c[96];
in vec4 v0;
in vec4 v5;
out vec4 oD0;
out float oFog;
void main() {
    gl_Position = v0;
    oD0 = c[20];
    oFog = c[21].x;
}
)";

// Colour straight from the packed vertex colour, with two-component texture
// outputs declared as the skinning shaders do.
const char* const kVertexColourShader = R"(
uniform vec4 c[96];
in vec4 v0;
in vec4 v5;
out vec4 oD0;
out vec2 oT0;
out vec4 oT1;  // a wider set works too
void main() {
    gl_Position = v0;
    oD0 = v5;
    oT0 = vec2(0.0);
    oT1 = vec4(0.0);
}
)";

void DrawClipQuad(IDirect3DDevice8* dev, D3DCOLOR color, float z = 0.5f) {
    const ClipVertex quad[4] = {
        {-1, 1, z, color}, {1, 1, z, color}, {-1, -1, z, color}, {1, -1, z, color}};
    ASSERT_EQ(dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(ClipVertex)), S_OK);
}

TEST_F(DeviceTest, ScreenRectanglesLandOnTheirPixelsTopLeftFirst) {
    ASSERT_EQ(dev()->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, kBlack, 1.0f, 0), S_OK);
    ASSERT_EQ(h.DrawScreenRect(8, 4, 24, 20, kRed), S_OK);
    h.Read();
    EXPECT_TRUE(ColorNear(h.Pixel(8, 4), {255, 0, 0, 255}));
    EXPECT_TRUE(ColorNear(h.Pixel(23, 19), {255, 0, 0, 255}));
    EXPECT_TRUE(ColorNear(h.Pixel(7, 4), {0, 0, 0, 255}));
    EXPECT_TRUE(ColorNear(h.Pixel(8, 3), {0, 0, 0, 255}));
    EXPECT_TRUE(ColorNear(h.Pixel(24, 19), {0, 0, 0, 255}));
    EXPECT_TRUE(ColorNear(h.Pixel(23, 20), {0, 0, 0, 255}));

    // Clear rectangles use the same top-left origin.
    const D3DRECT rect{0, 0, 4, 2};
    ASSERT_EQ(dev()->Clear(1, &rect, D3DCLEAR_TARGET, kBlue, 1.0f, 0), S_OK);
    h.Read();
    EXPECT_TRUE(ColorNear(h.Pixel(3, 1), {0, 0, 255, 255}));
    EXPECT_TRUE(ColorNear(h.Pixel(3, 2), {0, 0, 0, 255}));
    EXPECT_TRUE(ColorNear(h.Pixel(3, kHeight - 1), {0, 0, 0, 255}));
}

// A view per monitor: Clear fills only the viewport, transformed geometry
// fills the viewport, and pre-transformed vertices stay at their back-buffer
// pixels; Reset gives the whole buffer back.
TEST_F(DeviceTest, ViewportBoundsClearAndTransformedDrawsButNotScreenPixels) {
    ASSERT_EQ(dev()->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, kBlack, 1.0f, 0), S_OK);
    const D3DVIEWPORT8 right{32, 8, 32, 40, 0.0f, 1.0f};
    ASSERT_EQ(dev()->SetViewport(&right), S_OK);
    const D3DVIEWPORT8 outside{40, 0, 32, 48, 0.0f, 1.0f};
    EXPECT_EQ(dev()->SetViewport(&outside), D3DERR_INVALIDCALL);
    D3DVIEWPORT8 got{};
    ASSERT_EQ(dev()->GetViewport(&got), S_OK);
    EXPECT_EQ(got.X, 32u);
    EXPECT_EQ(got.Height, 40u);

    ASSERT_EQ(dev()->Clear(0, nullptr, D3DCLEAR_TARGET, kBlue, 1.0f, 0), S_OK);
    h.Read();
    EXPECT_TRUE(ColorNear(h.Pixel(32, 8), {0, 0, 255, 255}));
    EXPECT_TRUE(ColorNear(h.Pixel(63, 47), {0, 0, 255, 255}));
    EXPECT_TRUE(ColorNear(h.Pixel(31, 8), {0, 0, 0, 255}));
    EXPECT_TRUE(ColorNear(h.Pixel(40, 7), {0, 0, 0, 255}));

    ASSERT_EQ(h.DrawScreenRect(36, 10, 40, 14, kRed), S_OK);
    h.Read();
    EXPECT_TRUE(ColorNear(h.Pixel(36, 10), {255, 0, 0, 255}));
    EXPECT_TRUE(ColorNear(h.Pixel(39, 13), {255, 0, 0, 255}));
    EXPECT_TRUE(ColorNear(h.Pixel(40, 13), {0, 0, 255, 255}));

    ASSERT_EQ(dev()->SetVertexShader(D3DFVF_XYZ | D3DFVF_DIFFUSE), S_OK);
    const D3DMATRIX identity = IdentityMatrix();
    for (D3DTRANSFORMSTATETYPE t : {D3DTS_WORLD, D3DTS_VIEW, D3DTS_PROJECTION}) dev()->SetTransform(t, &identity);
    dev()->SetRenderState(D3DRS_LIGHTING, FALSE);
    dev()->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    dev()->SetRenderState(D3DRS_ZENABLE, FALSE);
    struct V {
        float x, y, z;
        D3DCOLOR c;
    };
    const V quad[4] = {{-1, 1, 0.5f, kGreen}, {1, 1, 0.5f, kGreen}, {-1, -1, 0.5f, kGreen}, {1, -1, 0.5f, kGreen}};
    ASSERT_EQ(dev()->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(V)), S_OK);
    h.Read();
    EXPECT_TRUE(ColorNear(h.Pixel(32, 8), {0, 255, 0, 255}));
    EXPECT_TRUE(ColorNear(h.Pixel(63, 47), {0, 255, 0, 255}));
    EXPECT_TRUE(ColorNear(h.Pixel(31, 20), {0, 0, 0, 255}));
    EXPECT_TRUE(ColorNear(h.Pixel(40, 7), {0, 0, 0, 255}));

    ASSERT_EQ(dev()->Reset(&h.Params()), S_OK);
    ASSERT_EQ(dev()->GetViewport(&got), S_OK);
    EXPECT_EQ(got.X, 0u);
    EXPECT_EQ(got.Width, static_cast<DWORD>(kWidth));
    EXPECT_EQ(got.Height, static_cast<DWORD>(kHeight));
}

// The deep-sea cellophane: ZERO / SRCCOLOR multiplies the picture by the quad.
TEST_F(DeviceTest, ZeroSrcColorBlendMultipliesThePicture) {
    h.SetRendererStages();
    ASSERT_EQ(dev()->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, D3DCOLOR_ARGB(255, 200, 100, 50), 1.0f, 0),
              S_OK);
    dev()->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    dev()->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ZERO);
    dev()->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_SRCCOLOR);
    ASSERT_EQ(h.DrawScreenRect(0, 0, kWidth, kHeight, 0x40C8C8FF), S_OK);
    h.Read();
    const Rgba expected{200 * 200 / 255, 100 * 200 / 255, 50, 255};
    EXPECT_TRUE(ColorNear(h.Pixel(0, 0), expected));
    EXPECT_TRUE(ColorNear(h.Pixel(kWidth - 1, kHeight - 1), expected));
}

// The plain cellophane: SRCALPHA / ONE adds a quarter of full blue.
TEST_F(DeviceTest, SrcAlphaOneBlendAdds) {
    h.SetRendererStages();
    ASSERT_EQ(dev()->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, D3DCOLOR_ARGB(255, 10, 20, 30), 1.0f, 0),
              S_OK);
    dev()->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    dev()->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    dev()->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
    ASSERT_EQ(h.DrawScreenRect(0, 0, kWidth, kHeight, 0x400000FF), S_OK);
    EXPECT_TRUE(ColorNear(h.ReadPixel(kWidth / 2, kHeight / 2), {10, 20, 30 + 64, 255}));

    // Blending off again: the quad replaces the picture.
    dev()->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    ASSERT_EQ(h.DrawScreenRect(0, 0, kWidth, kHeight, 0x400000FF), S_OK);
    EXPECT_TRUE(ColorNear(h.ReadPixel(kWidth / 2, kHeight / 2), {0, 0, 255, 255}));
}

// Linear vertex fog over camera-space depth, as the camera sets it up:
// none at FOGSTART, all fog colour at FOGEND.
TEST_F(DeviceTest, LinearFogReachesTheFogColourAtTheFarDistance) {
    const D3DMATRIX proj = PerspectiveFovLH(1.0f, static_cast<float>(kWidth) / kHeight, 1.0f, 1000.0f);
    const D3DMATRIX identity = IdentityMatrix();
    dev()->SetTransform(D3DTS_PROJECTION, &proj);
    dev()->SetTransform(D3DTS_VIEW, &identity);
    dev()->SetTransform(D3DTS_WORLD, &identity);
    dev()->SetRenderState(D3DRS_LIGHTING, FALSE);
    dev()->SetRenderState(D3DRS_FOGENABLE, TRUE);
    dev()->SetRenderState(D3DRS_FOGCOLOR, kGreen);
    dev()->SetRenderState(D3DRS_FOGVERTEXMODE, D3DFOG_LINEAR);
    dev()->SetRenderState(D3DRS_FOGSTART, FloatToDword(10.0f));
    dev()->SetRenderState(D3DRS_FOGEND, FloatToDword(100.0f));
    ASSERT_EQ(dev()->SetVertexShader(kWorldFvf), S_OK);

    struct Case {
        float depth;
        Rgba expected;
    };
    for (const Case& c : {Case{10.0f, {255, 0, 0, 255}}, Case{55.0f, {128, 127, 0, 255}},
                          Case{100.0f, {0, 255, 0, 255}}}) {
        const float s = c.depth;  // half-size of the quad: wider than the view at this depth
        const WorldVertex quad[4] = {{-s, s, c.depth, kRed, 0, 0},
                                     {s, s, c.depth, kRed, 1, 0},
                                     {-s, -s, c.depth, kRed, 0, 1},
                                     {s, -s, c.depth, kRed, 1, 1}};
        ASSERT_EQ(dev()->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, kBlack, 1.0f, 0), S_OK);
        ASSERT_EQ(dev()->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(WorldVertex)), S_OK);
        EXPECT_TRUE(ColorNear(h.ReadPixel(kWidth / 2, kHeight / 2), c.expected, 4)) << "depth " << c.depth;
    }

    // Fog off: the vertex colour even at the far distance.
    dev()->SetRenderState(D3DRS_FOGENABLE, FALSE);
    const WorldVertex far[4] = {{-100, 100, 100, kRed, 0, 0},
                                {100, 100, 100, kRed, 1, 0},
                                {-100, -100, 100, kRed, 0, 1},
                                {100, -100, 100, kRed, 1, 1}};
    ASSERT_EQ(dev()->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, far, sizeof(WorldVertex)), S_OK);
    EXPECT_TRUE(ColorNear(h.ReadPixel(kWidth / 2, kHeight / 2), {255, 0, 0, 255}));
}

TEST_F(DeviceTest, VertexShaderReadsItsConstantsAndFogOutput) {
    DWORD shader = 0;
    ASSERT_EQ(dev()->CreateVertexShader(kClipDeclaration, kConstantColourShader, &shader, 0), S_OK);
    ASSERT_EQ(dev()->SetVertexShader(shader), S_OK);
    dev()->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);

    const float green[4] = {0.0f, 1.0f, 0.0f, 1.0f};
    const float noFog[4] = {1.0f, 0.0f, 0.0f, 0.0f};
    dev()->SetVertexShaderConstant(20, green, 1);
    dev()->SetVertexShaderConstant(21, noFog, 1);
    DrawClipQuad(dev(), kBlack);
    EXPECT_TRUE(ColorNear(h.ReadPixel(5, 5), {0, 255, 0, 255}));

    // A changed register reaches the next draw.
    const float red[4] = {1.0f, 0.0f, 0.0f, 1.0f};
    dev()->SetVertexShaderConstant(20, red, 1);
    DrawClipQuad(dev(), kBlack);
    EXPECT_TRUE(ColorNear(h.ReadPixel(5, 5), {255, 0, 0, 255}));
    float back[4] = {};
    ASSERT_EQ(dev()->GetVertexShaderConstant(20, back, 1), S_OK);
    EXPECT_EQ(std::memcmp(back, red, sizeof back), 0);

    // oFog 0.25 with fog on: a quarter of the colour, three quarters fog.
    const float someFog[4] = {0.25f, 0.0f, 0.0f, 0.0f};
    dev()->SetVertexShaderConstant(21, someFog, 1);
    dev()->SetRenderState(D3DRS_FOGENABLE, TRUE);
    dev()->SetRenderState(D3DRS_FOGCOLOR, kBlue);
    DrawClipQuad(dev(), kBlack);
    EXPECT_TRUE(ColorNear(h.ReadPixel(5, 5), {64, 0, 191, 255}, 4));

    ASSERT_EQ(dev()->DeleteVertexShader(shader), S_OK);
    EXPECT_EQ(dev()->SetVertexShader(shader), D3DERR_INVALIDCALL);
}

// Packed colours reach a shader as (r, g, b, a); the material alpha fades
// shader draws and only those.
TEST_F(DeviceTest, ShaderSeesColoursInOrderAndMaterialAlphaFades) {
    DWORD shader = 0;
    ASSERT_EQ(dev()->CreateVertexShader(kClipDeclaration, kVertexColourShader, &shader, 0), S_OK);
    ASSERT_EQ(dev()->SetVertexShader(shader), S_OK);
    h.SetRendererStages();
    DrawClipQuad(dev(), D3DCOLOR_ARGB(255, 0x10, 0x80, 0xF0));
    EXPECT_TRUE(ColorNear(h.ReadPixel(5, 5), {0x10, 0x80, 0xF0, 255}, 1));

    ASSERT_EQ(dev()->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, kBlack, 1.0f, 0), S_OK);
    dev()->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    dev()->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    dev()->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    D3DMATERIAL8 material{};
    material.Diffuse = {1.0f, 1.0f, 1.0f, 0.5f};
    dev()->SetMaterial(&material);
    DrawClipQuad(dev(), 0xFFFFFFFF);
    EXPECT_TRUE(ColorNear(h.ReadPixel(5, 5), {128, 128, 128, 255}, 2));

    // A fixed-function draw ignores the material.
    ASSERT_EQ(dev()->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, kBlack, 1.0f, 0), S_OK);
    ASSERT_EQ(h.DrawScreenRect(0, 0, kWidth, kHeight, 0xFFFFFFFF), S_OK);
    EXPECT_TRUE(ColorNear(h.ReadPixel(5, 5), {255, 255, 255, 255}));
    dev()->DeleteVertexShader(shader);
}

// The skinning shaders' index trick: packed bone indices read as a colour,
// swizzled zyxw and scaled by 765.01, select palette registers dynamically.
TEST_F(DeviceTest, PackedIndicesSelectConstantsAsTheSkinningShadersExpect) {
    const char* const shaderSource = R"(#version 330 core
uniform vec4 c[96];
in vec4 v0;
in vec4 v2;
out vec4 oD0;
void main() {
    ivec4 offset = ivec4(v2.zyxw * c[0].w);  // three times each byte, first byte in .x
    gl_Position = v0;
    oD0 = c[9 + offset.x] + c[9 + offset.y];
}
)";
    const DWORD decl[] = {D3DVSD_STREAM(0), D3DVSD_REG(0, D3DVSDT_FLOAT3), D3DVSD_REG(2, D3DVSDT_D3DCOLOR),
                          D3DVSD_END()};
    DWORD shader = 0;
    ASSERT_EQ(dev()->CreateVertexShader(decl, shaderSource, &shader, 0), S_OK);
    ASSERT_EQ(dev()->SetVertexShader(shader), S_OK);
    const float c0[4] = {1.0f, 0.5f, 0.0f, 765.01f};
    dev()->SetVertexShaderConstant(0, c0, 1);
    float palette[84][4] = {};
    palette[3 * 2][1] = 1.0f;   // slot 2 (c15): green
    palette[3 * 27][2] = 1.0f;  // slot 27 (c90): blue
    dev()->SetVertexShaderConstant(9, palette, 84);
    // Index bytes in memory order: 2, 27, 0, 0 (a D3DCOLOR's B, G, R, A bytes).
    const D3DCOLOR packed = D3DCOLOR_ARGB(0, 0, 27, 2);
    DrawClipQuad(dev(), packed);
    EXPECT_TRUE(ColorNear(h.ReadPixel(5, 5), {0, 255, 255, 255}));
    dev()->DeleteVertexShader(shader);
}

// The toon path: stage 0 samples the ramp at oT0, stage 1 the model texture
// at oT1, both multiplied with the vertex colour.
TEST_F(DeviceTest, ToonStagesSampleRampAndTextureThroughBothCoordinateSets) {
    const char* const shaderSource = R"(
uniform vec4 c[96];
in vec4 v0;
in vec4 v5;
out vec4 oD0;
out vec2 oT0;
out vec2 oT1;
void main() {
    gl_Position = v0;
    oT0 = vec2(c[13].x, 0.5);
    oT1 = vec2(c[14].x, 0.5);
    oD0 = v5;
}
)";
    DWORD shader = 0;
    ASSERT_EQ(dev()->CreateVertexShader(kClipDeclaration, shaderSource, &shader, 0), S_OK);
    const BYTE rampBgra[8] = {0x40, 0x40, 0x40, 255, 255, 255, 255, 255};  // dark, white
    const BYTE texBgra[8] = {0, 0, 255, 255, 255, 0, 0, 255};             // red, blue
    IDirect3DTexture8* ramp = nullptr;
    IDirect3DTexture8* tex = nullptr;
    ASSERT_EQ(dev()->CreateTextureFromPixels(2, 1, rampBgra, &ramp), S_OK);
    ASSERT_EQ(dev()->CreateTextureFromPixels(2, 1, texBgra, &tex), S_OK);
    h.SetRendererStages();
    for (DWORD stage = 0; stage < 2; ++stage) {
        dev()->SetTextureStageState(stage, D3DTSS_ADDRESSU, D3DTADDRESS_CLAMP);
        dev()->SetTextureStageState(stage, D3DTSS_ADDRESSV, D3DTADDRESS_CLAMP);
    }
    dev()->SetTexture(0, ramp);
    dev()->SetTexture(1, tex);
    dev()->SetVertexShader(shader);

    const float darkRamp[4] = {0.25f, 0, 0, 0};
    const float brightRamp[4] = {0.75f, 0, 0, 0};
    const float redTexel[4] = {0.25f, 0, 0, 0};
    const float blueTexel[4] = {0.75f, 0, 0, 0};
    dev()->SetVertexShaderConstant(13, darkRamp, 1);
    dev()->SetVertexShaderConstant(14, blueTexel, 1);
    DrawClipQuad(dev(), 0xFFFFFFFF);
    EXPECT_TRUE(ColorNear(h.ReadPixel(5, 5), {0, 0, 0x40, 255}));
    dev()->SetVertexShaderConstant(13, brightRamp, 1);
    dev()->SetVertexShaderConstant(14, redTexel, 1);
    DrawClipQuad(dev(), D3DCOLOR_ARGB(255, 128, 255, 255));
    EXPECT_TRUE(ColorNear(h.ReadPixel(5, 5), {128, 0, 0, 255}));

    dev()->SetTexture(0, nullptr);
    dev()->SetTexture(1, nullptr);
    ramp->Release();
    tex->Release();
    dev()->DeleteVertexShader(shader);
}

// Counter-clockwise on screen is culled under CULLMODE CCW, clockwise kept;
// both through pre-transformed (y-down pixels) and transformed (y-up clip) vertices.
TEST_F(DeviceTest, CullModeCcwDropsCounterClockwiseTriangles) {
    auto screenTriangle = [&](bool clockwise) {
        // On screen: top-left, top-right, bottom-left is clockwise.
        ScreenVertex tri[3] = {{0, 0, 0, 1, kRed, 0, 0}, {kWidth, 0, 0, 1, kRed, 0, 0}, {0, kHeight, 0, 1, kRed, 0, 0}};
        if (!clockwise) std::swap(tri[1], tri[2]);
        EXPECT_EQ(dev()->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, kBlack, 1.0f, 0), S_OK);
        EXPECT_EQ(dev()->SetVertexShader(kScreenFvf), S_OK);
        EXPECT_EQ(dev()->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, tri, sizeof(ScreenVertex)), S_OK);
        return h.ReadPixel(4, 4).r > 128;
    };
    auto worldTriangle = [&](bool clockwise) {
        // Clip space, y up: top-left, top-right, bottom-left is clockwise on screen.
        WorldVertex tri[3] = {{-1, 1, 0.5f, kRed, 0, 0}, {1, 1, 0.5f, kRed, 0, 0}, {-1, -1, 0.5f, kRed, 0, 0}};
        if (!clockwise) std::swap(tri[1], tri[2]);
        EXPECT_EQ(dev()->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, kBlack, 1.0f, 0), S_OK);
        EXPECT_EQ(dev()->SetVertexShader(kWorldFvf), S_OK);
        EXPECT_EQ(dev()->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, tri, sizeof(WorldVertex)), S_OK);
        return h.ReadPixel(4, 4).r > 128;
    };
    dev()->SetRenderState(D3DRS_LIGHTING, FALSE);

    dev()->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
    EXPECT_TRUE(screenTriangle(true));
    EXPECT_FALSE(screenTriangle(false));
    EXPECT_TRUE(worldTriangle(true));
    EXPECT_FALSE(worldTriangle(false));

    dev()->SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);
    EXPECT_FALSE(screenTriangle(true));
    EXPECT_TRUE(screenTriangle(false));
    EXPECT_FALSE(worldTriangle(true));

    dev()->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    EXPECT_TRUE(screenTriangle(false));
    EXPECT_TRUE(worldTriangle(false));
}

TEST_F(DeviceTest, DepthTestLessEqualLetsTheNearQuadCoverEverything) {
    ASSERT_EQ(dev()->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, kBlack, 1.0f, 0), S_OK);
    ASSERT_EQ(h.DrawScreenRect(0, 0, kWidth, kHeight, kRed, 0.5f), S_OK);
    ASSERT_EQ(h.DrawScreenRect(0, 0, kWidth, kHeight, kBlue, 0.7f), S_OK);  // behind: hidden
    EXPECT_TRUE(ColorNear(h.ReadPixel(10, 10), {255, 0, 0, 255}));
    ASSERT_EQ(h.DrawScreenRect(0, 0, kWidth, kHeight, kGreen, 0.5f), S_OK);  // equal depth passes LESSEQUAL
    EXPECT_TRUE(ColorNear(h.ReadPixel(10, 10), {0, 255, 0, 255}));
    ASSERT_EQ(h.DrawScreenRect(0, 0, kWidth, kHeight, kBlue, 0.0f), S_OK);  // the overlay's depth
    EXPECT_TRUE(ColorNear(h.ReadPixel(10, 10), {0, 0, 255, 255}));

    // Without depth writes a quad shows but does not hide what follows.
    ASSERT_EQ(dev()->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, kBlack, 1.0f, 0), S_OK);
    dev()->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
    ASSERT_EQ(h.DrawScreenRect(0, 0, kWidth, kHeight, kRed, 0.1f), S_OK);
    EXPECT_TRUE(ColorNear(h.ReadPixel(10, 10), {255, 0, 0, 255}));
    dev()->SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
    ASSERT_EQ(h.DrawScreenRect(0, 0, kWidth, kHeight, kGreen, 0.9f), S_OK);
    EXPECT_TRUE(ColorNear(h.ReadPixel(10, 10), {0, 255, 0, 255}));

    // Depth test off: drawn whatever the depth.
    dev()->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    ASSERT_EQ(h.DrawScreenRect(0, 0, kWidth, kHeight, kBlue, 1.0f), S_OK);
    EXPECT_TRUE(ColorNear(h.ReadPixel(10, 10), {0, 0, 255, 255}));
}

// 2 x 2 texture: red, green / blue, white, given as BGRA rows top first.
IDirect3DTexture8* MakeQuadrantTexture(IDirect3DDevice8* dev) {
    const BYTE bgra[16] = {0, 0, 255, 255, 0, 255, 0, 255, 255, 0, 0, 255, 255, 255, 255, 255};
    IDirect3DTexture8* tex = nullptr;
    EXPECT_EQ(dev->CreateTextureFromPixels(2, 2, bgra, &tex), S_OK);
    return tex;
}

TEST_F(DeviceTest, TextureTexelsAppearWhereTheyBelong) {
    IDirect3DTexture8* tex = MakeQuadrantTexture(dev());
    ASSERT_NE(tex, nullptr);
    EXPECT_EQ(tex->GetWidth(), 2u);
    ASSERT_EQ(dev()->SetTexture(0, tex), S_OK);
    ASSERT_EQ(h.DrawScreenRect(0, 0, 32, 32, 0xFFFFFFFF), S_OK);
    h.Read();
    EXPECT_TRUE(ColorNear(h.Pixel(4, 4), {255, 0, 0, 255}));
    EXPECT_TRUE(ColorNear(h.Pixel(27, 4), {0, 255, 0, 255}));
    EXPECT_TRUE(ColorNear(h.Pixel(4, 27), {0, 0, 255, 255}));
    EXPECT_TRUE(ColorNear(h.Pixel(27, 27), {255, 255, 255, 255}));

    // Linear filtering blends neighbouring texels at the centre.
    dev()->SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTEXF_LINEAR);
    dev()->SetTextureStageState(0, D3DTSS_ADDRESSU, D3DTADDRESS_CLAMP);
    dev()->SetTextureStageState(0, D3DTSS_ADDRESSV, D3DTADDRESS_CLAMP);
    ASSERT_EQ(h.DrawScreenRect(0, 0, 32, 32, 0xFFFFFFFF), S_OK);
    const Rgba centre = h.ReadPixel(16, 16);
    EXPECT_GT(centre.r, 60);
    EXPECT_GT(centre.g, 60);
    EXPECT_GT(centre.b, 60);
    EXPECT_LT(centre.g, 200);

    // The texture lives while a stage holds it; the device drops it on unbind.
    EXPECT_EQ(tex->Release(), 1u);
    ASSERT_EQ(dev()->SetTexture(0, nullptr), S_OK);
}

// A texture has its mip chain when a draw first samples it with a mip filter
// (made then, not at creation): a 16 x 16 checkerboard of single black and
// white texels squeezed into 2 x 2 pixels reads grey from the smaller levels,
// and pure black or white without a mip filter.
TEST_F(DeviceTest, MipFilterSamplesTheMipChainMadeAtTheFirstSuchDraw) {
    std::vector<BYTE> checker(16 * 16 * 4);
    for (int i = 0; i < 16 * 16; ++i) {
        const BYTE v = ((i % 16) + (i / 16)) % 2 ? 255 : 0;
        checker[4 * i] = checker[4 * i + 1] = checker[4 * i + 2] = v;
        checker[4 * i + 3] = 255;
    }
    IDirect3DTexture8* tex = nullptr;
    ASSERT_EQ(dev()->CreateTextureFromPixels(16, 16, checker.data(), &tex), S_OK);
    ASSERT_EQ(dev()->SetTexture(0, tex), S_OK);
    dev()->SetTextureStageState(0, D3DTSS_MINFILTER, D3DTEXF_POINT);
    ASSERT_EQ(h.DrawScreenRect(0, 0, 2, 2, 0xFFFFFFFF), S_OK);
    const Rgba plain = h.ReadPixel(0, 0);
    EXPECT_TRUE(plain.r == 0 || plain.r == 255) << plain;
    dev()->SetTextureStageState(0, D3DTSS_MIPFILTER, D3DTEXF_POINT);
    ASSERT_EQ(h.DrawScreenRect(0, 0, 2, 2, 0xFFFFFFFF), S_OK);
    EXPECT_TRUE(ColorNear(h.ReadPixel(0, 0), {128, 128, 128, 255}, 2));
    dev()->SetTextureStageState(0, D3DTSS_MIPFILTER, D3DTEXF_NONE);
    ASSERT_EQ(dev()->SetTexture(0, nullptr), S_OK);
    tex->Release();
}

// Stage 1 set to modulate with no texture bound samples white: the colour of
// stage 0 passes unchanged. With a grey texture bound the same stage halves it.
TEST_F(DeviceTest, StageOneWithoutTextureKeepsTheColourOfStageZero) {
    h.SetRendererStages();
    // Point sampling, so each quadrant of the 2 x 2 texture reads pure.
    dev()->SetTextureStageState(0, D3DTSS_MINFILTER, D3DTEXF_POINT);
    dev()->SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTEXF_POINT);
    IDirect3DTexture8* tex = MakeQuadrantTexture(dev());
    ASSERT_NE(tex, nullptr);
    dev()->SetTexture(0, tex);
    ASSERT_EQ(h.DrawScreenRect(0, 0, 32, 32, 0xFFFFFFFF), S_OK);
    h.Read();
    EXPECT_TRUE(ColorNear(h.Pixel(4, 4), {255, 0, 0, 255}));
    EXPECT_TRUE(ColorNear(h.Pixel(27, 27), {255, 255, 255, 255}));

    const BYTE grey[4] = {128, 128, 128, 255};
    IDirect3DTexture8* greyTex = nullptr;
    ASSERT_EQ(dev()->CreateTextureFromPixels(1, 1, grey, &greyTex), S_OK);
    dev()->SetTexture(1, greyTex);
    ASSERT_EQ(h.DrawScreenRect(0, 0, 32, 32, 0xFFFFFFFF), S_OK);
    h.Read();
    EXPECT_TRUE(ColorNear(h.Pixel(4, 4), {128, 0, 0, 255}, 2));
    EXPECT_TRUE(ColorNear(h.Pixel(27, 27), {128, 128, 128, 255}, 2));

    dev()->SetTexture(0, nullptr);
    dev()->SetTexture(1, nullptr);
    tex->Release();
    greyTex->Release();
}

TEST_F(DeviceTest, StageOperationsComputeAsDirect3D) {
    dev()->SetRenderState(D3DRS_TEXTUREFACTOR, D3DCOLOR_ARGB(255, 0x40, 0x80, 0x40));
    const D3DCOLOR diffuse = D3DCOLOR_ARGB(255, 100, 50, 200);
    struct Case {
        DWORD op, arg1, arg2;
        Rgba expected;
    };
    const Case cases[] = {
        {D3DTOP_SELECTARG1, D3DTA_DIFFUSE, D3DTA_TFACTOR, {100, 50, 200, 255}},
        {D3DTOP_SELECTARG2, D3DTA_DIFFUSE, D3DTA_TFACTOR, {0x40, 0x80, 0x40, 255}},
        {D3DTOP_ADD, D3DTA_DIFFUSE, D3DTA_TFACTOR, {164, 178, 255, 255}},
        {D3DTOP_MODULATE, D3DTA_DIFFUSE, D3DTA_TFACTOR, {25, 25, 50, 255}},
        {D3DTOP_MODULATE2X, D3DTA_DIFFUSE, D3DTA_TFACTOR, {50, 50, 100, 255}},
        {D3DTOP_SELECTARG1, D3DTA_DIFFUSE | D3DTA_COMPLEMENT, D3DTA_TFACTOR, {155, 205, 55, 255}},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(dev()->SetTextureStageState(0, D3DTSS_COLOROP, c.op), S_OK);
        ASSERT_EQ(dev()->SetTextureStageState(0, D3DTSS_COLORARG1, c.arg1), S_OK);
        ASSERT_EQ(dev()->SetTextureStageState(0, D3DTSS_COLORARG2, c.arg2), S_OK);
        ASSERT_EQ(h.DrawScreenRect(0, 0, 8, 8, diffuse), S_OK);
        EXPECT_TRUE(ColorNear(h.ReadPixel(2, 2), c.expected, 2)) << "op " << c.op << " arg1 " << c.arg1;
    }
    // A disabled stage 0 passes the diffuse colour.
    ASSERT_EQ(dev()->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_DISABLE), S_OK);
    ASSERT_EQ(h.DrawScreenRect(0, 0, 8, 8, diffuse), S_OK);
    EXPECT_TRUE(ColorNear(h.ReadPixel(2, 2), {100, 50, 200, 255}, 2));
}

TEST_F(DeviceTest, AlphaTestDiscardsFragmentsThatFail) {
    h.SetRendererStages();
    ASSERT_EQ(dev()->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, kBlack, 1.0f, 0), S_OK);
    dev()->SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
    dev()->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATER);
    dev()->SetRenderState(D3DRS_ALPHAREF, 0x80);
    ASSERT_EQ(h.DrawScreenRect(0, 0, 8, 8, 0x40FF0000), S_OK);
    EXPECT_TRUE(ColorNear(h.ReadPixel(2, 2), {0, 0, 0, 255}));
    ASSERT_EQ(h.DrawScreenRect(0, 0, 8, 8, 0xC0FF0000), S_OK);
    EXPECT_TRUE(ColorNear(h.ReadPixel(2, 2), {255, 0, 0, 255}));
}

// Managed buffers through DrawPrimitive and DrawIndexedPrimitive: lock,
// partial rewrite, base vertex, start index and 32-bit indices.
TEST_F(DeviceTest, IndexedDrawsHonourBaseVertexStartIndexAndRelocks) {
    IDirect3DVertexBuffer8* vb = nullptr;
    ASSERT_EQ(dev()->CreateVertexBuffer(8 * sizeof(ScreenVertex), D3DUSAGE_WRITEONLY, kScreenFvf, D3DPOOL_MANAGED, &vb),
              S_OK);
    ScreenVertex* v = nullptr;
    ASSERT_EQ(vb->Lock(0, 0, reinterpret_cast<BYTE**>(&v), 0), S_OK);
    const D3DCOLOR colours[2] = {kRed, kGreen};
    for (int q = 0; q < 2; ++q) {
        const D3DCOLOR c = colours[q];
        v[4 * q + 0] = {0, 0, 0, 1, c, 0, 0};
        v[4 * q + 1] = {kWidth, 0, 0, 1, c, 0, 0};
        v[4 * q + 2] = {0, kHeight, 0, 1, c, 0, 0};
        v[4 * q + 3] = {kWidth, kHeight, 0, 1, c, 0, 0};
    }
    ASSERT_EQ(vb->Unlock(), S_OK);

    IDirect3DIndexBuffer8* ib = nullptr;
    ASSERT_EQ(dev()->CreateIndexBuffer(12 * sizeof(DWORD), 0, D3DFMT_INDEX32, D3DPOOL_MANAGED, &ib), S_OK);
    EXPECT_EQ(ib->GetFormat(), D3DFMT_INDEX32);
    DWORD* idx = nullptr;
    ASSERT_EQ(ib->Lock(0, 0, reinterpret_cast<BYTE**>(&idx), 0), S_OK);
    const DWORD indices[12] = {0, 0, 0, 0, 0, 0, 0, 1, 2, 2, 1, 3};  // the quad starts at index 6
    std::memcpy(idx, indices, sizeof indices);
    ASSERT_EQ(ib->Unlock(), S_OK);

    ASSERT_EQ(dev()->SetVertexShader(kScreenFvf), S_OK);
    ASSERT_EQ(dev()->SetStreamSource(0, vb, sizeof(ScreenVertex)), S_OK);
    ASSERT_EQ(dev()->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), S_OK);
    EXPECT_TRUE(ColorNear(h.ReadPixel(30, 30), {255, 0, 0, 255}));
    ASSERT_EQ(dev()->DrawPrimitive(D3DPT_TRIANGLESTRIP, 4, 2), S_OK);
    EXPECT_TRUE(ColorNear(h.ReadPixel(30, 30), {0, 255, 0, 255}));

    ASSERT_EQ(dev()->SetIndices(ib, 0), S_OK);
    ASSERT_EQ(dev()->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 4, 6, 2), S_OK);
    EXPECT_TRUE(ColorNear(h.ReadPixel(30, 30), {255, 0, 0, 255}));
    ASSERT_EQ(dev()->SetIndices(ib, 4), S_OK);
    ASSERT_EQ(dev()->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 4, 6, 2), S_OK);
    EXPECT_TRUE(ColorNear(h.ReadPixel(30, 30), {0, 255, 0, 255}));

    // Relocking a part of the buffer uploads just that part.
    ASSERT_EQ(vb->Lock(4 * sizeof(ScreenVertex), 4 * sizeof(ScreenVertex), reinterpret_cast<BYTE**>(&v), 0), S_OK);
    for (int i = 0; i < 4; ++i) v[i].color = kBlue;
    ASSERT_EQ(vb->Unlock(), S_OK);
    ASSERT_EQ(dev()->BeginScene(), S_OK);
    ASSERT_EQ(dev()->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 4, 6, 2), S_OK);
    ASSERT_EQ(dev()->EndScene(), S_OK);
    EXPECT_TRUE(ColorNear(h.ReadPixel(30, 30), {0, 0, 255, 255}));
    EXPECT_TRUE(ColorNear(h.Pixel(0, 0), {0, 0, 255, 255}));
    EXPECT_EQ(dev()->GetFrameStats().drawCalls, 1u);
    EXPECT_EQ(dev()->GetFrameStats().triangles, 2u);

    dev()->SetStreamSource(0, nullptr, 0);
    dev()->SetIndices(nullptr, 0);
    vb->Release();
    ib->Release();
}

// Many user-pointer draws wrap the staging buffer; each still draws its own
// vertices, and stream 0 is unset afterwards as in D3D.
TEST_F(DeviceTest, UserPointerDrawsSurviveStagingWrapAround) {
    for (int i = 0; i < 4000; ++i) {  // 4000 x 112 bytes: past the staging size
        const D3DCOLOR c = D3DCOLOR_ARGB(255, i & 0xFF, (i >> 8) & 0xFF, 7);
        ASSERT_EQ(h.DrawScreenRect(static_cast<float>(i % kWidth), 0, static_cast<float>(i % kWidth + 1), 1, c), S_OK);
    }
    h.Read();
    for (int i = 4000 - kWidth; i < 4000; ++i) {
        EXPECT_TRUE(ColorNear(h.Pixel(i % kWidth, 0), {i & 0xFF, (i >> 8) & 0xFF, 7, 255}, 1)) << "draw " << i;
    }
    // One draw larger than the whole staging buffer grows it.
    std::vector<ScreenVertex> big(30000, ScreenVertex{0, 0, 0, 1, kBlue, 0, 0});
    for (size_t i = 0; i < big.size(); i += 3) {
        big[i + 1].x = kWidth;
        big[i + 2].y = kHeight;
    }
    ASSERT_EQ(dev()->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 10000, big.data(), sizeof(ScreenVertex)), S_OK);
    EXPECT_TRUE(ColorNear(h.ReadPixel(2, 2), {0, 0, 255, 255}));
    EXPECT_EQ(dev()->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3DERR_INVALIDCALL);
}

}  // namespace
}  // namespace gltest
