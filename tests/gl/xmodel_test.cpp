// Rigid X-file models on the real device: the two walks and their log lines,
// the toon vertex copy, shared textures, distance fade, culling and queueing
// into the Z-sort renderer, and the collision query in hull order.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>

#include "platform/d3dx/d3dx_math.h"
#include "render/zsort_render.h"
#include "scene/model_instance.h"
#include "scene/texture_cache.h"
#include "scene/xmodel.h"
#include "core/errlog.h"
#include "tests/gl/device_harness.h"

namespace gltest {
namespace {

const std::string kEnum1 = "\t\t\tpDXFile->CreateEnumObject1...\n";
const std::string kEnum2 = "\t\t\tpDXFile->CreateEnumObject2...\n";
const std::string kFailed = "\t\t\tFailed\n";
const std::string kDisplayLines =
    "\t\t\tm_pMeshSystem->Optimize...\n\t\t\tm_pMeshSystem->CloneMeshFVF...\n\t\t\tCreateVertex,IndexBuffer...\n";
const std::string kLoadMesh = "\t\t\tD3DXLoadMeshFromXof...\n";
const std::string kDammyLines = kLoadMesh + "\t\t\tCloneMeshFVF...\n";

class XModelTest : public DeviceTest {
protected:
    // A fresh model loaded from `resource` with its own log.
    HRESULT Load(const char* resource) {
        model = std::make_unique<XModel>();
        log = std::make_unique<ErrLog>();
        return model->LoadXFile(dev(), resource, log.get());
    }
    std::string LogText() const { return log->Text(); }

    // A camera at the origin looking along +z, far plane at the fog distance.
    static Camera MakeCamera() {
        Camera camera;
        camera.ResetMatrices();
        D3DXMATRIX proj;
        D3DXMatrixPerspectiveFovLH(&proj, Camera::kFieldOfView, 1.0f, 1.0f, 10000.0f);
        camera.SetProjMatrix(proj);
        camera.UpdateFrustum();
        return camera;
    }

    std::unique_ptr<ErrLog> log;
    std::unique_ptr<XModel> model;  // released before the device
};

TEST_F(XModelTest, LoadsMeshesByTheirOwnNamesAndLogsEveryStep) {
    ASSERT_EQ(Load("TEST_PAIR.X"), S_OK) << LogText();
    // The drawn mesh sits in a frame named "dammy-1", the hull in one named
    // "display_frame": only the mesh names decide.
    ASSERT_EQ(model->m_dwMeshDisplayNum, 1u);
    ASSERT_EQ(model->m_dwMeshDammyNum, 1u);
    EXPECT_EQ(model->m_dwMeshNum, 2u);
    EXPECT_STREQ(model->m_szName, "TEST_PAIR.X");
    EXPECT_STREQ(model->m_pMeshDisplay[0].m_szName, "displayMesh");
    EXPECT_STREQ(model->m_pMeshDammy[0].m_szName, "hull_dammy");
    EXPECT_EQ(LogText(), kEnum1 + kEnum2 + kLoadMesh + "\t\t\tD3DXCreateTextureFromResource...Toon.bmp\n" +
                             kDisplayLines + kDammyLines);

    const MeshDisplay& mesh = model->m_pMeshDisplay[0];
    ASSERT_EQ(mesh.m_dwNumMaterials, 2u);
    ASSERT_EQ(mesh.m_dwNumRanges, 2u);
    EXPECT_NE(mesh.m_ppTextures[0], nullptr);
    EXPECT_EQ(mesh.m_ppTextures[1], nullptr);
    // Ten fade sets: alpha (level + 1) / 10, ambient = diffuse, colour kept.
    for (DWORD level = 0; level < MeshDisplay::kFadeLevels; ++level) {
        const D3DMATERIAL8& m = mesh.m_pMaterials[level][1];
        EXPECT_FLOAT_EQ(m.Diffuse.a, static_cast<float>(level + 1) * 0.1f);
        EXPECT_EQ(m.Diffuse.r, 0.5f);
        EXPECT_EQ(m.Diffuse.g, 0.25f);
        EXPECT_EQ(std::memcmp(&m.Ambient, &m.Diffuse, sizeof m.Diffuse), 0);
    }
    EXPECT_EQ(mesh.m_pMaterials[9][0].Diffuse.a, 1.0f);

    // Toon vertices: pure red became white, green stayed, the second texture
    // pair repeats the first; indices copied as they are.
    ASSERT_EQ(mesh.m_pMeshSystem->GetNumVertices(), 4u);
    ASSERT_EQ(mesh.m_pVB->GetSize(), 4u * MeshDisplay::kVertexSize);
    BYTE* bytes = nullptr;
    ASSERT_EQ(mesh.m_pVB->Lock(0, 0, &bytes, D3DLOCK_READONLY), S_OK);
    int whites = 0, greens = 0;
    for (int i = 0; i < 4; ++i) {
        MeshDisplay::Vertex v;
        std::memcpy(&v, bytes + i * MeshDisplay::kVertexSize, sizeof v);
        EXPECT_NE(v.diffuse, 0xFFFF0000u);
        whites += v.diffuse == 0xFFFFFFFFu;
        greens += v.diffuse == 0xFF00FF00u;
        EXPECT_EQ(v.u1, v.u0);
        EXPECT_EQ(v.v1, v.v0);
        EXPECT_NEAR(v.normal.z, -1.0f, 1e-5f);  // recomputed for the front face
    }
    mesh.m_pVB->Unlock();
    EXPECT_EQ(whites, 3);  // two red vertices and the white one
    EXPECT_EQ(greens, 1);
    BYTE* meshIndices = nullptr;
    ASSERT_EQ(mesh.m_pIB->Lock(0, 0, &bytes, D3DLOCK_READONLY), S_OK);
    ASSERT_EQ(mesh.m_pMeshSystem->LockIndexBuffer(D3DLOCK_READONLY, &meshIndices), S_OK);
    EXPECT_EQ(std::memcmp(bytes, meshIndices, 2 * 3 * sizeof(WORD)), 0);
    mesh.m_pMeshSystem->UnlockIndexBuffer();
    mesh.m_pIB->Unlock();

    // Bounds: the flat quad's box and its centre at the model origin.
    EXPECT_EQ(mesh.m_Bound.m_vCorner[0], D3DXVECTOR3(-1, -1, 0));
    EXPECT_EQ(mesh.m_Bound.m_vCorner[7], D3DXVECTOR3(1, 1, 0));
    EXPECT_EQ(mesh.m_Bound.m_vCenter, D3DXVECTOR3(0, 0, 0));
    const MeshDammy& hull = model->m_pMeshDammy[0];
    EXPECT_EQ(hull.m_pMesh->GetFVF(), MeshDammy::kFVF);
    EXPECT_EQ(hull.m_pMesh->GetNumFaces(), 12u);
    EXPECT_EQ(hull.m_Bound.m_vCorner[7], D3DXVECTOR3(1, 1, 1));

    model->DeleteDeviceObjects();
    EXPECT_EQ(model->m_pMeshDisplay, nullptr);
    EXPECT_EQ(model->m_dwMeshDisplayNum, 0u);
}

TEST_F(XModelTest, MalformedModelsFailWithTheirLogLines) {
    struct Case {
        const char* resource;
        std::string log;
        HRESULT status;  // 0: any negative status
    };
    const Case cases[] = {
        {"TEST_NOSUCHMODEL.X", kEnum1 + kFailed, 0},
        {"TEST_BROKEN.X", kEnum1 + kFailed, 0},
        {"TEST_UNEQUAL.X", kEnum1 + "\t\t\tm_dwMeshDisplayNum != m_dwMeshDammyNum\n", E_FAIL},
        {"TEST_BADNAME.X", kEnum1 + "\t\t\tInvalidate Name\n", E_FAIL},
        {"TEST_REFERENCE.X", kEnum1, E_FAIL},  // a frame child that is a reference
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.resource);
        const HRESULT hr = Load(c.resource);
        EXPECT_LT(hr, 0);
        if (c.status) {
            EXPECT_EQ(hr, c.status);
        }
        EXPECT_EQ(LogText(), c.log);
        // Nothing drawn or hit, and release is safe after any failure.
        EXPECT_EQ(model->IsVisible(dev(), nullptr), 0);
        EXPECT_EQ(model->DeleteDeviceObjects(), 0);
    }
    EXPECT_EQ(g_TextureCache.GetEntryCount(), 0);
}

TEST_F(XModelTest, FileWithoutMeshesLoadsEmpty) {
    ASSERT_EQ(Load("TEST_EMPTY.X"), S_OK);
    EXPECT_EQ(LogText(), kEnum1 + kEnum2);
    EXPECT_EQ(model->m_dwMeshDisplayNum, 0u);
    EXPECT_EQ(model->m_dwMeshDammyNum, 0u);
    Camera camera = MakeCamera();
    auto renderer = std::make_unique<ZSortRender>();
    D3DXMATRIX world;
    D3DXMatrixIdentity(&world);
    EXPECT_EQ(model->Render(dev(), world, &camera, &camera.GetFrustum(), 0, renderer.get()), 0);
    EXPECT_EQ(renderer->GetCount(), 0u);
    EXPECT_EQ(model->IsVisible(dev(), &camera.GetFrustum()), 0);
    D3DXVECTOR3 n;
    EXPECT_EQ(model->Intersect({0, 0, -5}, {0, 0, 5}, &n, world), 0);
}

TEST_F(XModelTest, ModelsNamingOneTextureShareIt) {
    ASSERT_EQ(g_TextureCache.GetEntryCount(), 0);
    auto first = std::make_unique<XModel>();
    auto second = std::make_unique<XModel>();
    ErrLog firstLog, secondLog;
    ASSERT_EQ(first->LoadXFile(dev(), "TEST_PAIR.X", &firstLog), S_OK);
    ASSERT_EQ(second->LoadXFile(dev(), "TEST_PAIR2.X", &secondLog), S_OK);
    // Created once: only the first load logs its creation.
    EXPECT_NE(std::string(firstLog.Text()).find("D3DXCreateTextureFromResource...Toon.bmp"), std::string::npos);
    EXPECT_EQ(std::string(secondLog.Text()).find("D3DXCreateTextureFromResource"), std::string::npos);
    IDirect3DTexture8* shared = first->m_pMeshDisplay[0].m_ppTextures[0];
    ASSERT_NE(shared, nullptr);
    EXPECT_EQ(second->m_pMeshDisplay[0].m_ppTextures[0], shared);
    EXPECT_EQ(g_TextureCache.GetEntryCount(), 1);
    EXPECT_EQ(g_TextureCache.GetRefCount("Toon.bmp"), 2);

    // Releasing one model keeps the texture alive for the other.
    first->DeleteDeviceObjects();
    EXPECT_EQ(g_TextureCache.GetRefCount("Toon.bmp"), 1);
    EXPECT_GT(second->m_pMeshDisplay[0].m_ppTextures[0]->GetWidth(), 0u);
    second->DeleteDeviceObjects();
    EXPECT_EQ(g_TextureCache.GetEntryCount(), 0);
}

TEST_F(XModelTest, MissingTextureIsLoggedAndLeftNull) {
    ASSERT_EQ(Load("TEST_MISSINGTEX.X"), S_OK);
    EXPECT_NE(LogText().find("\t\t\tD3DXCreateTextureFromResource...NoSuchImage.jpg\n" + kFailed + kDisplayLines),
              std::string::npos)
        << LogText();
    EXPECT_EQ(model->m_pMeshDisplay[0].m_ppTextures[0], nullptr);
    EXPECT_EQ(g_TextureCache.GetEntryCount(), 0);
}

TEST_F(XModelTest, MaterialAlphaFadesWithTheEyesDistance) {
    ASSERT_EQ(Load("TEST_PAIR.X"), S_OK);
    Camera camera = MakeCamera();
    auto renderer = std::make_unique<ZSortRender>();
    const struct {
        float distance, alpha;
    } cases[] = {{1000, 1.0f}, {2500, 1.0f}, {3100, 0.8f}, {3750, 0.6f}, {4600, 0.2f}, {5000, 0.1f}, {8000, 0.1f}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.distance);
        ModelInstance inst;
        inst.SetModel(model.get());
        inst.SetPosition(0, 0, c.distance);  // the sphere centre is the model origin
        renderer->Clear();
        ASSERT_EQ(inst.Render(dev(), &camera, &camera.GetFrustum(), 0, renderer.get()), 0);
        ASSERT_EQ(renderer->GetCount(), 1u);
        const D3DMATERIAL8* m = renderer->GetEntry(0).m_pMaterials;
        EXPECT_FLOAT_EQ(m[0].Diffuse.a, c.alpha);
        EXPECT_FLOAT_EQ(m[1].Ambient.a, c.alpha);
    }
}

TEST_F(XModelTest, InstancesQueueAtTheirOwnPlacesAndUnseenOnesAreCulled) {
    ASSERT_EQ(Load("TEST_PAIR.X"), S_OK);
    Camera camera = MakeCamera();
    auto renderer = std::make_unique<ZSortRender>();
    ModelInstance near, far, behind, aside;
    for (ModelInstance* inst : {&near, &far, &behind, &aside}) inst->SetModel(model.get());
    near.SetPosition(0, 0, 100);
    far.Scale(3);
    far.SetPosition(30, -20, 200);
    behind.SetPosition(0, 0, -100);
    aside.SetPosition(500, 0, 100);

    EXPECT_EQ(behind.IsVisible(dev(), &camera.GetFrustum()), Visibility::kHidden);
    EXPECT_EQ(near.IsVisible(dev(), &camera.GetFrustum()), Visibility::kVisible);
    for (ModelInstance* inst : {&near, &behind, &far, &aside}) {
        ASSERT_EQ(inst->Render(dev(), &camera, &camera.GetFrustum(), 0, renderer.get()), 0);
    }
    ASSERT_EQ(renderer->GetCount(), 2u);
    const MeshDisplay& mesh = model->m_pMeshDisplay[0];
    const ModelInstance* queued[2] = {&near, &far};
    for (int i = 0; i < 2; ++i) {
        const ZSortEntry& e = renderer->GetEntry(i);
        const D3DXMATRIX& world = queued[i]->GetWorldMatrix();
        EXPECT_EQ(e.m_matWorld, world);
        EXPECT_EQ(e.m_vPosition, D3DXVECTOR3(world._41, world._42, world._43));  // world sphere centre
        EXPECT_EQ(e.m_pVB, mesh.m_pVB.Get());
        EXPECT_EQ(e.m_pIB, mesh.m_pIB.Get());
        EXPECT_EQ(e.m_pAttribTable, mesh.m_pAttribTable.get());
        EXPECT_EQ(e.m_pMaterials, mesh.m_pMaterials[9].get());
        EXPECT_EQ(e.m_ppTextures, mesh.m_ppTextures.get());
        EXPECT_EQ(e.m_dwSubsetNum, 2u);
    }
}

TEST_F(XModelTest, HullsAnswerInArrayOrderAtTheInstancePlacement) {
    ASSERT_EQ(Load("TEST_OVERLAP.X"), S_OK);
    ASSERT_EQ(model->m_dwMeshDammyNum, 2u);
    ModelInstance inst;
    inst.SetModel(model.get());
    inst.Scale(2);
    inst.SetPosition(100, 0, 0);

    // Through both plates: the first hull (the tilted plate behind) answers,
    // though the second lies nearer the start.
    D3DXVECTOR3 n(0, 0, 0);
    ASSERT_EQ(inst.Intersect({100, 0, -20}, {100, 0, 20}, &n), 1);
    EXPECT_GT(n.y, 0.1f);
    EXPECT_LT(n.z, -0.1f);
    // Reaching only the flat plate: the second hull answers. Its triangles
    // meet at 45 degrees at their first vertex, so the normal is sin 45° long,
    // then scaled by the placement's 2.
    const float kHitNormalZ = -2.0f * std::sqrt(0.5f);
    ASSERT_EQ(inst.Intersect({100, 0, -20}, {100, 0, 1}, &n), 1);
    EXPECT_NEAR(n.x, 0.0f, 1e-5f);
    EXPECT_NEAR(n.y, 0.0f, 1e-5f);
    EXPECT_NEAR(n.z, kHitNormalZ, 1e-5f);
    // From behind both, or short of both: nothing, the normal untouched.
    n = D3DXVECTOR3(9, 9, 9);
    EXPECT_EQ(inst.Intersect({100, 0, 20}, {100, 0, -20}, &n), 0);
    EXPECT_EQ(inst.Intersect({100, 0, -20}, {100, 0, -1}, &n), 0);
    EXPECT_EQ(n, D3DXVECTOR3(9, 9, 9));

    // A closed hull: met from outside, silent from inside.
    ASSERT_EQ(Load("TEST_PAIR.X"), S_OK);
    inst.SetModel(model.get());
    EXPECT_EQ(inst.Intersect({100, 0, -20}, {100, 0, 20}, &n), 1);
    EXPECT_NEAR(n.z, kHitNormalZ, 1e-5f);
    EXPECT_EQ(inst.Intersect({100, 0, 0}, {100, 0, 20}, &n), 0);
}

}  // namespace
}  // namespace gltest
