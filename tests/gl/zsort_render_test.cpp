// The toon Z-sort renderer on the real device: its start-up log, the fixed
// queue, the sort, the shader constants, and what the toon shader puts on
// screen (ramp bands, per-subset textures, fog, material fade).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/base/com_ptr.h"
#include "platform/d3dx/d3dx_math.h"
#include "render/zsort_render.h"
#include "core/errlog.h"
#include "tests/gl/device_harness.h"

namespace gltest {
namespace {

// The rigid models' 44-byte vertex.
struct ToonVertex {
    float x, y, z;
    float nx, ny, nz;
    D3DCOLOR color;
    float u0, v0;
    float u1, v1;
};
static_assert(sizeof(ToonVertex) == ZSortRender::kVertexStride);

constexpr D3DCOLOR kWhite = 0xFFFFFFFF;
constexpr float kPi = 3.14159265f;

// One rectangle facing the camera (-z), clockwise on screen, as one subset.
struct QuadDesc {
    float x0, y0, x1, y1, z;
    D3DXVECTOR3 normal;
    float u0 = 0.5f;  // texture set 0 (the shader replaces it)
    float u1 = 0.5f;  // texture set 1, constant across the quad
};

// A model's buffers and tables, built the way a loaded model holds them.
class QuadMesh {
public:
    QuadMesh(IDirect3DDevice8* dev, const std::vector<QuadDesc>& quads, D3DCOLOR color = kWhite) {
        const UINT vbytes = static_cast<UINT>(quads.size() * 4 * sizeof(ToonVertex));
        const UINT ibytes = static_cast<UINT>(quads.size() * 6 * sizeof(WORD));
        EXPECT_EQ(dev->CreateVertexBuffer(vbytes, 0, 0, D3DPOOL_MANAGED, vb.Out()), S_OK);
        EXPECT_EQ(dev->CreateIndexBuffer(ibytes, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED, ib.Out()), S_OK);
        if (!vb || !ib) return;
        BYTE* vp = nullptr;
        BYTE* ip = nullptr;
        vb->Lock(0, 0, &vp, 0);
        ib->Lock(0, 0, &ip, 0);
        auto* v = reinterpret_cast<ToonVertex*>(vp);
        auto* idx = reinterpret_cast<WORD*>(ip);
        for (size_t q = 0; q < quads.size(); ++q) {
            const QuadDesc& d = quads[q];
            const float xs[4] = {d.x0, d.x1, d.x0, d.x1};
            const float ys[4] = {d.y1, d.y1, d.y0, d.y0};  // top-left, top-right, bottom-left, bottom-right
            for (int k = 0; k < 4; ++k) {
                v[q * 4 + k] = ToonVertex{xs[k], ys[k], d.z, d.normal.x, d.normal.y, d.normal.z, color,
                                          d.u0, 0.5f, d.u1, 0.5f};
            }
            const WORD base = static_cast<WORD>(q * 4);
            const WORD tri[6] = {base, WORD(base + 1), WORD(base + 2), WORD(base + 2), WORD(base + 1),
                                 WORD(base + 3)};
            std::memcpy(idx + q * 6, tri, sizeof tri);
            ranges.push_back(D3DXATTRIBUTERANGE{static_cast<DWORD>(q), static_cast<DWORD>(q * 2), 2,
                                                static_cast<DWORD>(q * 4), 4});
            D3DMATERIAL8 m{};
            m.Diffuse = {1.0f, 1.0f, 1.0f, 1.0f};
            materials.push_back(m);
            textures.push_back(nullptr);
        }
        vb->Unlock();
        ib->Unlock();
    }
    void Queue(ZSortRender& z, const D3DXMATRIX& world, const D3DXVECTOR3& position) {
        z.Add(vb, ib, ranges.data(), world, position, materials.data(), textures.data(),
              static_cast<DWORD>(ranges.size()));
    }

    ComPtr<IDirect3DVertexBuffer8> vb;
    ComPtr<IDirect3DIndexBuffer8> ib;
    std::vector<D3DXATTRIBUTERANGE> ranges;
    std::vector<D3DMATERIAL8> materials;
    std::vector<IDirect3DTexture8*> textures;
};

D3DXMATRIX Identity() {
    D3DXMATRIX m;
    return *D3DXMatrixIdentity(&m);
}

D3DXMATRIX Translation(float x, float y, float z) {
    D3DXMATRIX m;
    return *D3DXMatrixTranslation(&m, x, y, z);
}

// Camera at the origin looking along +z; 90° vertical field of view on the
// 64 x 48 back buffer. At depth 10 the view spans x -13.3..13.3, y -10..10.
class ZSortRenderTest : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        if (HasFatalFailure()) return;
        // The renderer set-up's stages: texture x diffuse, then x the mesh
        // texture; linear filtering, clamped in u (the ramp's ends must not
        // wrap into each other).
        h.SetRendererStages();
        for (DWORD stage = 0; stage < 2; ++stage) {
            dev()->SetTextureStageState(stage, D3DTSS_MINFILTER, D3DTEXF_LINEAR);
            dev()->SetTextureStageState(stage, D3DTSS_MAGFILTER, D3DTEXF_LINEAR);
            dev()->SetTextureStageState(stage, D3DTSS_ADDRESSU, D3DTADDRESS_CLAMP);
        }
        ASSERT_EQ(z->InitDeviceObjects(dev(), log.get()), S_OK);
        ASSERT_EQ(z->RestoreDeviceObjects(dev(), log.get()), S_OK);
        view = Identity();
        proj = PerspectiveFovLH(kPi / 2.0f, float(kWidth) / kHeight, 1.0f, 1000.0f);
    }
    void TearDown() override {
        if (dev()) {
            z->InvalidateDeviceObjects(dev());
            z->DeleteDeviceObjects();
        }
        DeviceTest::TearDown();
    }

    // One frame as the lifecycle draws the queue: sorted back to front,
    // drawn, cleared.
    void DrawFrame(D3DCOLOR clear, const D3DXVECTOR4& light, float fogDistance) {
        ASSERT_EQ(dev()->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, clear, 1.0f, 0), S_OK);
        ASSERT_EQ(dev()->BeginScene(), S_OK);
        z->Sort(ZSortRender::BackToFront(view));
        EXPECT_EQ(z->Render(dev(), view, proj, light, fogDistance), S_OK);
        z->Clear();
        ASSERT_EQ(dev()->EndScene(), S_OK);
        h.Read();
    }

    std::unique_ptr<ErrLog> log = std::make_unique<ErrLog>();
    std::unique_ptr<ZSortRender> z = std::make_unique<ZSortRender>();
    D3DXMATRIX view, proj;
};

// Three quads side by side at depth 10 (screen centres near x = 12, 32, 52; y = 24).
std::vector<QuadDesc> ThreeQuads(const D3DXVECTOR3& n0, const D3DXVECTOR3& n1, const D3DXVECTOR3& n2) {
    return {{-12, -5, -5, 5, 10, n0}, {-3, -5, 3, 5, 10, n1}, {5, -5, 12, 5, 10, n2}};
}
constexpr int kLeft = 12, kMiddle = 32, kRight = 52, kRow = 24;

int Grey(const Rgba& c) { return (c.r + c.g + c.b) / 3; }

TEST_F(ZSortRenderTest, DeviceStepsLogTheirLinesAndUndoEachOther) {
    EXPECT_STREQ(log->Text(),
                 "\t\tD3DXCreateTextureFromResource...\n"
                 "\t\tD3DXAssembleShaderFromResource...\n"
                 "\t\tCreateVertexShader...\n");
    ASSERT_NE(z->GetToonTexture(), nullptr);
    EXPECT_EQ(z->GetToonTexture()->GetWidth(), 128u);
    EXPECT_NE(z->GetShader(), 0xFFFFFFFFu);

    // Without its shader the queue draws nothing; restoring brings it back.
    QuadMesh mesh(dev(), {{-3, -5, 3, 5, 10, {0, 0, -1}}});
    z->InvalidateDeviceObjects(dev());
    EXPECT_EQ(z->GetShader(), 0xFFFFFFFFu);
    mesh.Queue(*z, Identity(), {0, 0, 10});
    DrawFrame(0xFF000000, {0, 0, -1, 0}, 10000.0f);
    EXPECT_EQ(dev()->GetFrameStats().drawCalls, 0u);

    ASSERT_EQ(z->RestoreDeviceObjects(dev(), nullptr), S_OK);
    mesh.Queue(*z, Identity(), {0, 0, 10});
    DrawFrame(0xFF000000, {0, 0, -1, 0}, 10000.0f);
    EXPECT_EQ(dev()->GetFrameStats().drawCalls, 1u);

    z->DeleteDeviceObjects();
    EXPECT_EQ(z->GetToonTexture(), nullptr);
}

TEST_F(ZSortRenderTest, QueueHoldsThreeHundredEntriesAndClearEmptiesEverySlot) {
    QuadMesh mesh(dev(), {{-3, -5, 3, 5, 10, {0, 0, -1}}});
    for (int i = 0; i < 302; ++i) mesh.Queue(*z, Translation(0, 0, 0.001f * i), {0, 0, float(i)});
    ASSERT_EQ(z->GetCount(), 300u);
    EXPECT_EQ(z->GetEntry(299).m_vPosition.z, 299.0f) << "the 301st Add replaced a queued entry";
    EXPECT_EQ(z->GetDroppedCount(), 2u) << "entries past the budget are counted";

    DrawFrame(0xFF000000, {0, 0, -1, 0}, 10000.0f);  // Render, then Clear
    EXPECT_EQ(dev()->GetFrameStats().drawCalls, 300u);
    EXPECT_EQ(z->GetCount(), 0u);
    EXPECT_EQ(z->GetDroppedCount(), 0u);
    EXPECT_EQ(z->GetLastFrameDropped(), 2u) << "the last frame's drops stay readable after Clear";
    for (DWORD i : {0u, 150u, 299u}) {
        const ZSortEntry& e = z->GetEntry(i);
        EXPECT_EQ(e.m_pVB, nullptr);
        EXPECT_EQ(e.m_pIB, nullptr);
        EXPECT_EQ(e.m_pAttribTable, nullptr);
        EXPECT_EQ(e.m_pMaterials, nullptr);
        EXPECT_EQ(e.m_ppTextures, nullptr);
        EXPECT_EQ(e.m_dwSubsetNum, 0u);
        EXPECT_TRUE(e.m_matWorld == Identity());
        EXPECT_TRUE(e.m_vPosition == D3DXVECTOR3(0, 0, 0));
    }
}

TEST_F(ZSortRenderTest, SortOrdersAscendingAlongTheDirectionAndKeepsEveryEntry) {
    const D3DXVECTOR3 d(0.3f, -0.5f, 0.8f);
    auto key = [&d](const D3DXVECTOR3& p) { return d.x * p.x + d.y * p.y + d.z * p.z; };

    // One entry: left exactly as it was.
    z->Add(nullptr, nullptr, nullptr, Translation(1, 2, 3), {4, 5, 6}, nullptr, nullptr, 7);
    ZSortEntry before = z->GetEntry(0);
    z->Sort(d);
    EXPECT_EQ(std::memcmp(&before, &z->GetEntry(0), sizeof before), 0);
    z->Clear();

    // Many entries at scattered positions, each tagged by its world matrix.
    unsigned seed = 12345;
    auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return float((seed >> 16) & 0x7FFF) / 32767.0f * 2000.0f - 1000.0f;
    };
    const int n = 120;
    for (int i = 0; i < n; ++i) {
        z->Add(nullptr, nullptr, nullptr, Translation(float(i), 0, 0), {next(), next(), next()}, nullptr, nullptr, 0);
    }
    z->Add(nullptr, nullptr, nullptr, Translation(float(n), 0, 0), {NAN, 0, 0}, nullptr, nullptr, 0);
    z->Sort(d);
    ASSERT_EQ(z->GetCount(), DWORD(n + 1));
    std::vector<int> seen(n + 1, 0);
    for (DWORD i = 0; i < z->GetCount(); ++i) ++seen[int(z->GetEntry(i).m_matWorld._41)];
    for (int i = 0; i <= n; ++i) EXPECT_EQ(seen[i], 1) << "entry " << i;
    for (DWORD i = 1; i < DWORD(n); ++i) {
        EXPECT_LE(key(z->GetEntry(i - 1).m_vPosition), key(z->GetEntry(i).m_vPosition)) << "at " << i;
    }
    EXPECT_EQ(z->GetEntry(n).m_matWorld._41, float(n)) << "a position without a key sorts last";
}

TEST_F(ZSortRenderTest, EntryWithoutSubsetsSetsItsConstantsButDrawsNothing) {
    // World: scaled by 3, turned 90° about y (model +z faces world +x), moved.
    D3DXMATRIX scale, turn, world;
    D3DXMatrixScaling(&scale, 3, 3, 3);
    D3DXMatrixRotationY(&turn, kPi / 2.0f);
    world = scale * turn * Translation(1, 2, 30);
    QuadMesh mesh(dev(), {{-3, -5, 3, 5, 0, {0, 0, -1}}});
    z->Add(mesh.vb, mesh.ib, mesh.ranges.data(), world, {1, 2, 30}, mesh.materials.data(), nullptr, 0);
    DrawFrame(0xFF000000, {2, 0, 0, 0}, 400.0f);
    EXPECT_EQ(dev()->GetFrameStats().drawCalls, 0u);

    float c[15][4];
    ASSERT_EQ(dev()->GetVertexShaderConstant(0, c, 15), S_OK);
    // c0..c3 and c4..c7: the rows of the transposed matrices, i.e. their columns.
    const D3DXMATRIX wv = world * view, wvp = wv * proj;
    for (int r = 0; r < 4; ++r) {
        for (int k = 0; k < 4; ++k) {
            EXPECT_NEAR(c[r][k], wvp(k, r), 1e-4f) << "c" << r;
            EXPECT_NEAR(c[4 + r][k], wv(k, r), 1e-4f) << "c" << 4 + r;
        }
    }
    const float c12[4] = {0.0f, 0.5f, 1.0f, -1.0f};
    for (int k = 0; k < 4; ++k) EXPECT_EQ(c[12][k], c12[k]);
    // World light +x is model +z once the turn is undone; unit length despite the scale.
    EXPECT_NEAR(c[13][0], 0.0f, 1e-5f);
    EXPECT_NEAR(c[13][1], 0.0f, 1e-5f);
    EXPECT_NEAR(c[13][2], 1.0f, 1e-5f);
    EXPECT_NEAR(c[13][3], 0.0f, 1e-5f);
    EXPECT_FLOAT_EQ(c[14][0], -1.0f / 400.0f);
    EXPECT_FLOAT_EQ(c[14][1], 1.0f);
}

TEST_F(ZSortRenderTest, RampBandFollowsTheAngleToTheLight) {
    // Normals toward the light, across it, and away from it; the light
    // points at the camera (toward -z).
    const D3DXVECTOR4 light(0, 0, -1, 0);
    QuadMesh mesh(dev(), ThreeQuads({0, 0, -1}, {1, 0, 0}, {0, 0, 1}));
    mesh.Queue(*z, Identity(), {0, 0, 10});
    DrawFrame(0xFF0000FF, light, 10000.0f);
    EXPECT_EQ(dev()->GetFrameStats().drawCalls, 3u);
    EXPECT_EQ(dev()->GetFrameStats().triangles, 6u);

    const Rgba lit = h.Pixel(kLeft, kRow), side = h.Pixel(kMiddle, kRow), dark = h.Pixel(kRight, kRow);
    EXPECT_GT(Grey(lit), Grey(side));
    EXPECT_GT(Grey(side), Grey(dark));
    // Facing the light takes the brightest band, side-on the middle one (u = 0.5), away the black one.
    EXPECT_TRUE(ColorNear(lit, {0xFD, 0xFD, 0xFD, 255}, 4));
    EXPECT_TRUE(ColorNear(side, {0x83, 0x83, 0x83, 255}, 4));
    EXPECT_TRUE(ColorNear(dark, {0, 0, 0, 255}, 4));
    EXPECT_TRUE(ColorNear(h.Pixel(2, 2), {0, 0, 255, 255}));  // untouched background

    // The same model turned half a turn: the light is taken into model space.
    D3DXMATRIX turn;
    D3DXMatrixRotationY(&turn, kPi);
    // Behind the origin, facing +z (x runs right to left so that, turned,
    // it is in front of the camera, clockwise on screen and facing it).
    QuadMesh back(dev(), {{3, -5, -3, 5, -10, {0, 0, 1}}});
    back.Queue(*z, turn, {0, 0, 10});
    DrawFrame(0xFF0000FF, light, 10000.0f);
    EXPECT_TRUE(ColorNear(h.Pixel(kMiddle, kRow), {0xFD, 0xFD, 0xFD, 255}, 4));
}

TEST_F(ZSortRenderTest, EachSubsetTakesItsTextureOnTheSecondCoordinateSet) {
    // A two-texel texture, red then green; set 0 points at the wrong texel.
    const BYTE texels[8] = {0, 0, 255, 255, 0, 255, 0, 255};  // B, G, R, A
    ComPtr<IDirect3DTexture8> tex;
    ASSERT_EQ(dev()->CreateTextureFromPixels(2, 1, texels, tex.Out()), S_OK);
    std::vector<QuadDesc> quads = ThreeQuads({0, 0, -1}, {0, 0, -1}, {0, 0, -1});
    quads[0].u0 = 0.75f;
    quads[0].u1 = 0.25f;
    quads[1].u0 = 0.25f;
    quads[1].u1 = 0.75f;
    QuadMesh mesh(dev(), quads);
    mesh.textures = {tex, tex, nullptr};  // the last subset has none: white
    mesh.Queue(*z, Identity(), {0, 0, 10});
    DrawFrame(0xFF000000, {0, 0, -1, 0}, 10000.0f);

    EXPECT_TRUE(ColorNear(h.Pixel(kLeft, kRow), {0xFD, 0, 0, 255}, 4));
    EXPECT_TRUE(ColorNear(h.Pixel(kMiddle, kRow), {0, 0xFD, 0, 255}, 4));
    EXPECT_TRUE(ColorNear(h.Pixel(kRight, kRow), {0xFD, 0xFD, 0xFD, 255}, 4));
}

TEST_F(ZSortRenderTest, FogGrowsWithDepthUntilTheFogDistance) {
    const float F = 100.0f;
    const D3DCOLOR fogColour = 0xFF00FF00;
    dev()->SetRenderState(D3DRS_FOGENABLE, TRUE);
    dev()->SetRenderState(D3DRS_FOGCOLOR, fogColour);

    // One quad, drawn at three depths, scaled with depth so each covers the
    // same screen area: left at 10, middle at F/2, right at F.
    QuadMesh mesh(dev(), {{-3, -5, 3, 5, 0, {0, 0, -1}}});
    const float depths[3] = {10.0f, F / 2.0f, F};
    const float xs[3] = {-8.5f, 0.0f, 8.5f};
    for (int i = 0; i < 3; ++i) {
        const float s = depths[i] / 10.0f;
        D3DXMATRIX scale;
        D3DXMatrixScaling(&scale, s, s, s);
        mesh.Queue(*z, scale * Translation(xs[i] * s, 0, depths[i]), {xs[i] * s, 0, depths[i]});
    }
    DrawFrame(0xFF000000, {0, 0, -1, 0}, F);

    const int pixels[3] = {kLeft, kMiddle, kRight};
    for (int i = 0; i < 3; ++i) {
        const float f = 1.0f - depths[i] / F;  // 1 clear .. 0 all fog
        const Rgba expected{int(std::lround(0xFD * f)), int(std::lround(0xFD * f + 255 * (1 - f))),
                            int(std::lround(0xFD * f)), 255};
        EXPECT_TRUE(ColorNear(h.Pixel(pixels[i], kRow), expected, 4)) << "depth " << depths[i];
    }
}

TEST_F(ZSortRenderTest, MaterialAlphaFadesTheModelUnderAlphaBlending) {
    dev()->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    dev()->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    dev()->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    QuadMesh mesh(dev(), ThreeQuads({0, 0, -1}, {0, 0, -1}, {0, 0, -1}));
    mesh.materials[0].Diffuse.a = 0.5f;
    mesh.materials[2].Diffuse.a = 0.0f;
    mesh.Queue(*z, Identity(), {0, 0, 10});
    DrawFrame(0xFF0000FF, {0, 0, -1, 0}, 10000.0f);

    EXPECT_TRUE(ColorNear(h.Pixel(kLeft, kRow), {127, 127, 255, 255}, 4)) << "half faded over blue";
    EXPECT_TRUE(ColorNear(h.Pixel(kMiddle, kRow), {0xFD, 0xFD, 0xFD, 255}, 4)) << "opaque";
    EXPECT_TRUE(ColorNear(h.Pixel(kRight, kRow), {0, 0, 255, 255}, 4)) << "faded out";
}

// The queue is drawn back to front whatever way the camera faces: a faded
// model in front of an opaque one shows it through, at every heading. Drawn
// front to back, the near model's depth writes would hide the far one.
TEST_F(ZSortRenderTest, FadedModelsAreDrawnBackToFrontAtEveryHeading) {
    dev()->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    dev()->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    dev()->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    const std::vector<QuadDesc> square = {{-5, -5, 5, 5, 0, {0, 0, -1}}};
    QuadMesh nearWhite(dev(), square), farRed(dev(), square, 0xFFFF0000);
    nearWhite.materials[0].Diffuse.a = 0.5f;
    for (int quarter = 0; quarter < 4; ++quarter) {
        const float heading = quarter * kPi / 2.0f;
        const D3DXVECTOR3 ahead(std::sin(heading), 0.0f, std::cos(heading));
        D3DXMATRIX turn;
        D3DXMatrixRotationY(&turn, heading);
        D3DXMatrixRotationY(&view, -heading);  // the camera at the origin, turned to `heading`
        auto place = [&](QuadMesh& mesh, float depth) {
            const D3DXVECTOR3 at = ahead * depth;
            const D3DXMATRIX move = Translation(at.x, at.y, at.z);
            D3DXMATRIX world;
            D3DXMatrixMultiply(&world, &turn, &move);
            mesh.Queue(*z, world, at);
        };
        place(nearWhite, 10.0f);
        place(farRed, 30.0f);
        DrawFrame(0xFF0000FF, {-ahead.x, 0, -ahead.z, 0}, 10000.0f);
        EXPECT_TRUE(ColorNear(h.Pixel(kWidth / 2, kHeight / 2), {0xFD, 0x7E, 0x7E, 255}, 6))
            << "at a heading of " << quarter * 90 << " degrees";
    }
}

}  // namespace
}  // namespace gltest
