// SkinnedMesh on the real device: the whales draw with the two-bone shader,
// empty palette slots keep their registers, invalidate/restore rebuilds the
// meshes on the next draw, a failed model draws nothing, the software
// vertex-processing path draws the same picture, frames allocate nothing, and
// a whale takes the scene's light from every camera, as the rigid stand-in does.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/errlog.h"
#include "render/renderer_states.h"
#include "render/skinned_mesh.h"
#include "render/zsort_render.h"
#include "scene/xmodel.h"
#include "tests/gl/device_harness.h"
#include "view/camera.h"

long CountedNewCalls() __attribute__((weak));

namespace {

class SkinnedMeshGl : public gltest::DeviceTest {
protected:
    // Camera on +x looking at the origin; the whale (10 units) fills the view.
    SkinRenderParams Params(float distance = 14.0f) {
        SkinRenderParams p{};
        D3DXMatrixIdentity(&p.matWorld);
        const D3DXVECTOR3 eye(distance, 0, 0), at(0, 0, 0), up(0, 1, 0);
        D3DXMatrixLookAtLH(&p.matView, &eye, &at, &up);
        D3DXMatrixPerspectiveFovLH(&p.matProj, 0.8f, static_cast<float>(kWidth) / kHeight, 1.0f, 100.0f);
        p.vLight = D3DXVECTOR4(0.0f, 0.8f, -0.2f, 0.0f);
        p.fFogDistance = 10000.0f;
        return p;
    }
    D3DCAPS8 Caps() {
        D3DCAPS8 caps{};
        dev()->GetDeviceCaps(&caps);
        return caps;
    }
    // Pixels that differ from the clear colour (white, or black).
    int Drawn(SkinnedMesh* s, const SkinRenderParams& p, bool black = false) {
        dev()->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, black ? 0xFF000000 : 0xFFFFFFFF, 1.0f, 0);
        dev()->BeginScene();
        EXPECT_EQ(s->Render(p), 0);
        dev()->EndScene();
        h.Read();
        int n = 0;
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                const gltest::Rgba c = h.Pixel(x, y);
                if (black ? c.r > 5 || c.g > 5 || c.b > 5 : c.r < 250 || c.g < 250 || c.b < 250) ++n;
            }
        }
        return n;
    }
    static MeshContainer* FirstContainer(MeshFrame* f) {
        for (; f; f = f->m_pSibling.get()) {
            if (f->m_pMeshContainer) return f->m_pMeshContainer.get();
            if (MeshContainer* c = FirstContainer(f->m_pChild.get())) return c;
        }
        return nullptr;
    }
};

}  // namespace

TEST_F(SkinnedMeshGl, WhaleDrawsOneCallPerGroupWithTheTwoBoneShader) {
    SetRendererStates(dev());
    ErrLog log;
    SkinnedMesh s;
    s.SetSharedPose(false);  // skinned per instance in the palette shaders
    ASSERT_EQ(s.InitDeviceObjects(dev(), Caps(), "WHALESKINNED01.X", &log), 0) << log.Text();
    ASSERT_EQ(s.RestoreDeviceObjects(), 0) << log.Text();
    for (DWORD n = 1; n <= 4; ++n) EXPECT_NE(s.GetShader(n), SkinnedMesh::kNoShader);
    EXPECT_EQ(std::string(log.Text()).find("Failed"), std::string::npos) << log.Text();
    s.FrameMove(1, 1, 0.5f);
    const int drawn = Drawn(&s, Params());
    MeshContainer* c = FirstContainer(s.GetDrawElements()->m_pRootFrame.get());
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->m_dwMaxInfluences, 2u);
    EXPECT_EQ(dev()->GetFrameStats().drawCalls, c->m_dwAttribGroups);
    EXPECT_GT(drawn, kWidth * kHeight / 20) << "the whale covers part of the picture";
    EXPECT_LT(drawn, kWidth * kHeight);
    // The centre of the body is drawn, the corners are not.
    EXPECT_LT(h.Pixel(kWidth / 2, kHeight / 2).r, 250);
    EXPECT_EQ(h.Pixel(0, 0).r, 255);
    // The whale draws opaque whatever material the caller left (alpha 0 here).
    EXPECT_EQ(h.Pixel(kWidth / 2, kHeight / 2).a, 255);
}

// Two bones, one per material: each combination uses one of two palette
// slots, so slot 1 (c12..c14) is never written.
TEST_F(SkinnedMeshGl, EmptyPaletteSlotsKeepWhatTheirRegistersHeld) {
    static const char kFile[] = R"(xof 0303txt 0032
Frame Top {
  Frame A { FrameTransformMatrix { 1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1;; } }
  Frame B { FrameTransformMatrix { 1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1;; } }
  Mesh two {
    6; 0;0;-1;, 0;1;-1;, 0;1;1;, 0;-1;-1;, 0;-2;-1;, 0;-2;1;;
    2; 3;0,1,2;, 3;3,5,4;;
    MeshMaterialList { 2; 2; 0, 1;;
      Material { 1;0;0;1;; 0; 0;0;0;; 0;0;0;; }
      Material { 0;0;1;1;; 0; 0;0;0;; 0;0;0;; }
    }
    SkinWeights { "A"; 3; 0,1,2; 1,1,1; 1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1;; }
    SkinWeights { "B"; 3; 3,4,5; 1,1,1; 1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1;; }
  }
}
)";
    SkinnedMesh s;
    s.SetSharedPose(false);  // the palette registers are what is looked at
    s.SetSourceData(kFile, sizeof kFile - 1);
    ASSERT_EQ(s.InitDeviceObjects(dev(), Caps(), "two bones"), 0);
    ASSERT_EQ(s.RestoreDeviceObjects(), 0);
    const float sentinel[12] = {7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7};
    dev()->SetVertexShaderConstant(12, sentinel, 3);
    Drawn(&s, Params(6.0f));
    MeshContainer* c = FirstContainer(s.GetDrawElements()->m_pRootFrame.get());
    ASSERT_NE(c, nullptr);
    ASSERT_EQ(c->m_dwPaletteSize, 2u);
    ASSERT_EQ(c->m_dwAttribGroups, 2u);
    const auto* groups = static_cast<const D3DXBONECOMBINATION*>(c->m_pBoneCombinationBuf->GetBufferPointer());
    EXPECT_EQ(groups[0].BoneId[1], 0xFFFFFFFFu);
    EXPECT_EQ(groups[1].BoneId[1], 0xFFFFFFFFu);
    float regs[16][4];
    dev()->GetVertexShaderConstant(0, regs, 16);
    for (int r = 12; r <= 14; ++r) {
        for (int k = 0; k < 4; ++k) EXPECT_EQ(regs[r][k], 7.0f) << "c" << r;
    }
    EXPECT_NE(regs[9][0], 7.0f) << "slot 0 is written";
    // The mesh has no vertex colours: each part takes its material's colour
    // (red and blue), not the black and transparent of an empty colour.
    int red = 0, blue = 0;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const gltest::Rgba c = h.Pixel(x, y);
            red += c.r > 100 && c.g < 30 && c.b < 30 && c.a == 255 ? 1 : 0;
            blue += c.b > 100 && c.g < 30 && c.r < 30 && c.a == 255 ? 1 : 0;
        }
    }
    EXPECT_GT(red, 0);
    EXPECT_GT(blue, 0);
    EXPECT_EQ(regs[0][3], 765.01f);
    EXPECT_FLOAT_EQ(regs[7][0], -1.0f / 10000.0f);
    EXPECT_EQ(regs[7][1], 1.0f);
}

// The shared pose (skinned once on the CPU, placed per instance) draws what
// skinning every instance in the palette shaders draws: each whale build at
// several poses, turned, moved, enlarged and lit from several sides, one draw
// per whale. Float sums in another order may move an edge pixel or a band
// boundary; nothing more.
TEST_F(SkinnedMeshGl, SharedPoseDrawsThePalettePicture) {
    SetRendererStates(dev());
    dev()->SetRenderState(D3DRS_FOGENABLE, TRUE);  // the fog depth is compared too
    dev()->SetRenderState(D3DRS_FOGCOLOR, 0xFF40C0FF);
    int compared = 0, differing = 0;
    for (const char* name : {"WHALESKINNED01.X", "WHALESKINNED02.X", "WHALESKINNED03.X"}) {
        SkinnedMesh s;
        s.SetLevelOfDetail(false);  // this small picture would draw every whale at the lower detail
        ASSERT_EQ(s.InitDeviceObjects(dev(), Caps(), name), 0);
        ASSERT_EQ(s.RestoreDeviceObjects(), 0);
        for (int i = 0; i < 4; ++i) {
            SCOPED_TRACE(std::string(name) + " case " + std::to_string(i));
            s.SetCurrentTime(9000.0f * static_cast<float>(i) + 1234.0f);
            SkinRenderParams p = Params(i == 3 ? 56.0f : 14.0f);
            D3DXMATRIX turn, scale;
            D3DXMatrixRotationYawPitchRoll(&turn, 0.7f * static_cast<float>(i), 0.3f, -0.2f * static_cast<float>(i));
            D3DXMatrixScaling(&scale, i == 3 ? 4.0f : 1.0f, i == 3 ? 4.0f : 1.0f, i == 3 ? 4.0f : 1.0f);
            D3DXMatrixMultiply(&p.matWorld, &scale, &turn);
            p.matWorld._41 = 0.5f * static_cast<float>(i);
            p.matWorld._42 = -0.3f;
            p.vLight = D3DXVECTOR4(i == 1 ? -0.6f : 0.5f, 0.8f, i == 2 ? 0.7f : -0.2f, 0.0f);
            p.fFogDistance = 20.0f + 25.0f * static_cast<float>(i);
            s.SetSharedPose(false);
            const int palette = Drawn(&s, p);
            std::vector<gltest::Rgba> expected;
            for (int y = 0; y < kHeight; ++y) {
                for (int x = 0; x < kWidth; ++x) expected.push_back(h.Pixel(x, y));
            }
            s.SetSharedPose(true);
            const int shared = Drawn(&s, p);
            EXPECT_EQ(dev()->GetFrameStats().drawCalls, 1u) << "one draw per whale";
            EXPECT_GT(shared, kWidth * kHeight / 50);
            EXPECT_NEAR(shared, palette, 2);
            for (int y = 0; y < kHeight; ++y) {
                for (int x = 0; x < kWidth; ++x) {
                    ++compared;
                    if (!gltest::ColorNear(h.Pixel(x, y), expected[std::size_t(y) * kWidth + x], 0)) ++differing;
                    EXPECT_TRUE(gltest::ColorNear(h.Pixel(x, y), expected[std::size_t(y) * kWidth + x], 8))
                        << x << "," << y;
                }
            }
        }
    }
    EXPECT_LE(differing * 500, compared) << differing << " of " << compared << " pixels differ";
}

// A whale at most kLodPixels[i] across on the back buffer draws level of
// detail i + 1 (fewer triangles over the same posed vertices, one draw);
// nearer, all of them. The far whale covers about what the full mesh covers.
TEST_F(SkinnedMeshGl, FarWhalesDrawTheLowerLevelsOfDetail) {
    SetRendererStates(dev());
    SkinnedMesh s;
    ASSERT_EQ(s.InitDeviceObjects(dev(), Caps(), "WHALESKINNED01.X"), 0);
    ASSERT_EQ(s.RestoreDeviceObjects(), 0);
    s.SetCurrentTime(2000.0f);
    SkinRenderParams p = Params();
    p.matView._43 += 30.0f;  // 44 units away: about 12 pixels across on this 48-pixel picture
    Drawn(&s, p);
    MeshContainer* c = FirstContainer(s.GetDrawElements()->m_pRootFrame.get());
    ASSERT_NE(c->m_pLodIB[0], nullptr);
    ASSERT_NE(c->m_pLodIB[1], nullptr);
    const DWORD faces = c->m_pMesh->GetNumFaces();
    EXPECT_LT(c->m_dwLodFaces[0], faces / 2);
    EXPECT_GT(c->m_dwLodFaces[0], faces / 4);
    EXPECT_LT(c->m_dwLodFaces[1], c->m_dwLodFaces[0] / 2) << "level 2 simplifies the colour borders too";
    EXPECT_EQ(dev()->GetFrameStats().triangles, c->m_dwLodFaces[1]);
    EXPECT_EQ(dev()->GetFrameStats().drawCalls, 1u);
    const int far = Drawn(&s, p);
    s.SetLevelOfDetail(false);
    const int full = Drawn(&s, p);
    EXPECT_EQ(dev()->GetFrameStats().triangles, faces);
    EXPECT_GT(far, 0);
    EXPECT_NEAR(far, full, full / 5 + 2);

    // About 100 pixels across (twice this picture): level 1. Nearer still
    // (the whale fills the picture, and a larger back buffer would make it
    // larger still): every triangle.
    s.SetLevelOfDetail(true);
    Drawn(&s, Params(6.0f));
    EXPECT_EQ(dev()->GetFrameStats().triangles, c->m_dwLodFaces[0]);
    Drawn(&s, Params(3.0f));
    EXPECT_EQ(dev()->GetFrameStats().triangles, faces);
}

TEST_F(SkinnedMeshGl, InvalidateAndRestoreRebuildTheMeshesOnTheNextDraw) {
    SetRendererStates(dev());
    SkinnedMesh s;
    ASSERT_EQ(s.InitDeviceObjects(dev(), Caps(), "WHALESKINNED02.X"), 0);
    ASSERT_EQ(s.RestoreDeviceObjects(), 0);
    const int before = Drawn(&s, Params());
    MeshContainer* c = FirstContainer(s.GetDrawElements()->m_pRootFrame.get());
    ASSERT_NE(c->m_pMesh, nullptr);

    EXPECT_EQ(s.InvalidateDeviceObjects(), 0);
    EXPECT_EQ(c->m_pMesh, nullptr);
    EXPECT_EQ(c->m_dwBuiltMethod, 2u);
    for (DWORD n = 1; n <= 4; ++n) EXPECT_EQ(s.GetShader(n), SkinnedMesh::kNoShader);
    ASSERT_EQ(s.RestoreDeviceObjects(), 0);
    EXPECT_EQ(c->m_pMesh, nullptr) << "rebuilt lazily, by the next draw";
    const int after = Drawn(&s, Params());
    EXPECT_NE(c->m_pMesh, nullptr);
    EXPECT_EQ(c->m_dwBuiltMethod, SkinnedMesh::kMethodVertexShader);
    EXPECT_EQ(after, before);

    EXPECT_EQ(s.DeleteDeviceObjects(), 0);
    EXPECT_EQ(s.GetDrawElements(), nullptr);
    EXPECT_EQ(Drawn(&s, Params()), 0) << "an emptied object draws nothing";
}

TEST_F(SkinnedMeshGl, ModelThatFailedToLoadDrawsNothing) {
    ErrLog log;
    SkinnedMesh s;
    EXPECT_EQ(s.InitDeviceObjects(dev(), Caps(), "MISSING.X", &log), 0) << "the ramp loaded, so start-up goes on";
    EXPECT_EQ(s.RestoreDeviceObjects(), 0);
    EXPECT_NE(std::string(log.Text()).find("SkinnedMesh Loading Failed..."), std::string::npos);
    EXPECT_EQ(Drawn(&s, Params()), 0);
    EXPECT_EQ(dev()->GetFrameStats().drawCalls, 0u);
}

// Without vertex shader 1.1 in the caps the same shaders run with software
// vertex processing switched on around each skinned draw.
TEST_F(SkinnedMeshGl, SoftwareVertexProcessingDrawsTheSamePicture) {
    SetRendererStates(dev());
    SkinnedMesh hardware, software;
    D3DCAPS8 old = Caps();
    old.VertexShaderVersion = D3DVS_VERSION(1, 0);
    ASSERT_EQ(hardware.InitDeviceObjects(dev(), Caps(), "WHALESKINNED03.X"), 0);
    ASSERT_EQ(hardware.RestoreDeviceObjects(), 0);
    ASSERT_EQ(software.InitDeviceObjects(dev(), old, "WHALESKINNED03.X"), 0);
    ASSERT_EQ(software.RestoreDeviceObjects(), 0);
    const int a = Drawn(&hardware, Params());
    std::vector<gltest::Rgba> first;
    for (int x = 0; x < kWidth; ++x) first.push_back(h.Pixel(x, kHeight / 2));
    const int b = Drawn(&software, Params());
    EXPECT_EQ(a, b);
    for (int x = 0; x < kWidth; ++x) EXPECT_TRUE(gltest::ColorNear(h.Pixel(x, kHeight / 2), first[x], 0)) << x;
    EXPECT_TRUE(FirstContainer(software.GetDrawElements()->m_pRootFrame.get())->m_bSoftwareVP);
    DWORD sw = 1;
    dev()->GetRenderState(D3DRS_SOFTWAREVERTEXPROCESSING, &sw);
    EXPECT_EQ(sw, 0u) << "switched off again after the draw";
}

TEST_F(SkinnedMeshGl, FramesAllocateNothing) {
    if (!CountedNewCalls || CountedNewCalls() < 0) GTEST_SKIP() << "operator new is not counted in this build";
    SetRendererStates(dev());
    SkinnedMesh s;
    ASSERT_EQ(s.InitDeviceObjects(dev(), Caps(), "WHALESKINNED01.X"), 0);
    ASSERT_EQ(s.RestoreDeviceObjects(), 0);
    SkinRenderParams p = Params();
    dev()->BeginScene();
    s.Render(p);  // builds the blended mesh: start-up work
    const long before = CountedNewCalls();
    for (int i = 0; i < 100; ++i) {
        s.FrameMove(1, 1, 0.1f);
        p.matWorld._41 = static_cast<float>(i % 7);
        s.Render(p);
    }
    dev()->EndScene();
    EXPECT_EQ(CountedNewCalls() - before, 0);
}

// A mesh without skin information is drawn subset by subset through the
// device's fixed-function path with the frame's matrix as world transform.
TEST_F(SkinnedMeshGl, UnskinnedMeshesDrawThroughTheFixedFunctionPath) {
    SetRendererStates(dev());
    SkinnedMesh s;
    ASSERT_EQ(s.InitDeviceObjects(dev(), Caps(), "TEST_PAIR.X"), 0);
    ASSERT_EQ(s.RestoreDeviceObjects(), 0);
    ASSERT_NE(s.GetDrawElements(), nullptr);
    MeshContainer* c = FirstContainer(s.GetDrawElements()->m_pRootFrame.get());
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->m_pSkinMesh, nullptr);
    SkinRenderParams p = Params();
    const D3DXVECTOR3 eye(0, 0, -6), at(0, 0, 0), up(0, 1, 0);  // the quads face -z
    D3DXMatrixLookAtLH(&p.matView, &eye, &at, &up);
    dev()->SetTransform(D3DTS_VIEW, &p.matView);
    dev()->SetTransform(D3DTS_PROJECTION, &p.matProj);
    EXPECT_GT(Drawn(&s, p, true), kWidth * kHeight / 10) << "white quads on black";
    EXPECT_GT(dev()->GetFrameStats().drawCalls, 0u);
}

// Lit from straight above, the back faces the light and each flank, a little
// above its middle, is lit from the side. Whatever the camera, the
// toon band of each must stay the same, and the rigid stand-in under the same
// light shows the same bands there. Stage 0 shows the ramp alone (no vertex
// colour), so a pixel's grey is its band.
TEST_F(SkinnedMeshGl, WhaleTakesTheScenesLightFromEveryCameraAsTheStandInDoes) {
    SetRendererStates(dev());
    dev()->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    SkinnedMesh whale;
    ASSERT_EQ(whale.InitDeviceObjects(dev(), Caps(), "WHALESKINNED01.X"), 0);
    ASSERT_EQ(whale.RestoreDeviceObjects(), 0);
    whale.SetCurrentTime(0.0f);
    ErrLog log;
    ZSortRender rigid;
    ASSERT_EQ(rigid.InitDeviceObjects(dev(), &log), S_OK);
    ASSERT_EQ(rigid.RestoreDeviceObjects(dev(), &log), S_OK);
    auto standIn = std::make_unique<XModel>();
    ASSERT_EQ(standIn->LoadXFile(dev(), "WHALEDAMMY.X", &log), S_OK) << log.Text();

    const D3DXVECTOR4 light(0.0f, 1.0f, 0.0f, 0.0f);
    // Points on the body behind the flippers, in model space (nose along
    // +z): the top of the back, and each flank 15° above its middle.
    const D3DXVECTOR3 back(0.0f, 0.85f, -1.5f), flank[2] = {{0.78f, 0.27f, -1.5f}, {-0.78f, 0.27f, -1.5f}};
    // The band each point shows from cameras 35° above the body at four
    // bearings (two on each side), whale first, then the stand-in.
    struct Seen {
        int back, flank;
    };
    std::vector<Seen> seen[2];
    const float bearings[4] = {1.0f, 2.1f, -1.0f, -2.1f};  // radians from the nose
    for (int model = 0; model < 2; ++model) {
        for (float bearing : bearings) {
            const float elevation = 0.61f, distance = 7.0f;
            Camera camera;
            camera.SetPosition(distance * std::cos(elevation) * std::sin(bearing), distance * std::sin(elevation),
                               distance * std::cos(elevation) * std::cos(bearing) - 1.5f);
            camera.SetProjection(dev(), static_cast<float>(kWidth) / kHeight, 1.0f, 100.0f);
            camera.LookAt(dev(), D3DXVECTOR3(0, 0, -1.5f), D3DXVECTOR3(0, 1, 0));
            camera.UpdateFrustum();
            D3DXMATRIX world;
            D3DXMatrixIdentity(&world);
            dev()->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF0000FF, 1.0f, 0);
            dev()->BeginScene();
            if (model == 0) {
                SkinRenderParams p = Params();
                p.matView = camera.GetView();
                p.matProj = camera.GetProjection();
                p.vLight = light;
                EXPECT_EQ(whale.Render(p), 0);
            } else {
                EXPECT_EQ(standIn->Render(dev(), world, &camera, &camera.GetFrustum(), 0, &rigid), 0);
                const D3DXMATRIX& view = camera.GetView();
                rigid.Sort(ZSortRender::BackToFront(view));
                EXPECT_EQ(rigid.Render(dev(), view, camera.GetProjection(), light, 10000.0f), S_OK);
                rigid.Clear();
            }
            dev()->EndScene();
            h.Read();
            auto grey = [&](const D3DXVECTOR3& point) {
                D3DXMATRIX vp;
                D3DXMatrixMultiply(&vp, &camera.GetView(), &camera.GetProjection());
                D3DXVECTOR3 ndc;
                D3DXVec3TransformCoord(&ndc, &point, &vp);
                const int x = static_cast<int>((ndc.x + 1.0f) * 0.5f * kWidth);
                const int y = static_cast<int>((1.0f - ndc.y) * 0.5f * kHeight);
                const gltest::Rgba c = h.Pixel(x, y);
                EXPECT_FALSE(c.b == 255 && c.r == 0) << "background at " << x << "," << y;
                return (c.r + c.g + c.b) / 3;
            };
            seen[model].push_back({grey(back), grey(flank[bearing > 0.0f ? 0 : 1])});
        }
    }
    rigid.InvalidateDeviceObjects(dev());
    rigid.DeleteDeviceObjects();
    const int kBackBand = 0xFD, kFlankBand = 0xCA;  // near-white facing the light; light grey
    for (int model = 0; model < 2; ++model) {
        for (int k = 0; k < 4; ++k) {
            const char* name = model == 0 ? "whale" : "stand-in";
            EXPECT_NEAR(seen[model][k].back, kBackBand, 6) << name << ", bearing " << bearings[k];
            EXPECT_NEAR(seen[model][k].flank, kFlankBand, 6) << name << ", bearing " << bearings[k];
        }
    }
}
