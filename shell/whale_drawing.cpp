// The whales' models: loading, the fall-back to the stand-in, and drawing
// at the simulated poses. See whale_drawing.h.
#include "shell/whale_drawing.h"

#include <cassert>

#include "core/errlog.h"
#include "platform/base/alloc.h"
#include "render/zsort_render.h"
#include "settings/settings.h"
#include "view/camera.h"

namespace {

const char* const kSchoolSkinned[] = {"WHALESKINNED01.X", "WHALESKINNED02.X"};
// One start line, then a failure line naming the variant.
const char* const kSchoolSkinnedFailed[] = {"\t\tFailed(0)\n", "\t\tFailed(1)\n"};
const char* const kGuideSkinned[] = {"WHALESKINNED03.X"};
static_assert(sizeof kSchoolSkinned / sizeof *kSchoolSkinned == Boids::kModelVariants);
static_assert(Boids::kModelVariants <= WhaleKind::kMaxVariants);

}  // namespace

D3DXMATRIX DrawnWorld(const D3DXMATRIX& pose, bool large) {
    if (!large) return pose;
    D3DXMATRIX scale, world;
    D3DXMatrixScaling(&scale, kLargeModelScale, kLargeModelScale, kLargeModelScale);
    D3DXMatrixMultiply(&world, &scale, &pose);
    return world;
}

// --- one kind of whale ----------------------------------------------------------

HRESULT WhaleKind::LoadSkinned(IDirect3DDevice8* device, D3DCAPS8 caps, const char* const* names, int count,
                               const char* startLine, const char* const* failLines, ErrLog* log) {
    m_pSkinned = NewUniqueArray<SkinnedMesh>(static_cast<std::size_t>(count));
    if (!m_pSkinned) return E_FAIL;
    for (int v = 0; v < count; ++v) {
        auto load = [&] { return m_pSkinned[v].InitDeviceObjects(device, caps, names[v], log); };
        const HRESULT hr = failLines ? ObjectStep(log, v == 0 ? startLine : "", failLines[v], load) : load();
        if (FAILED(hr)) return E_FAIL;
    }
    m_nVariants = count;
    return S_OK;
}

void WhaleKind::SetLoopBounds() {
    // The skinned whales are culled by the box of their whole swimming loop
    // (a raised tail reaches above the stand-in's box); a model without one
    // keeps the stand-in's drawn box.
    for (int v = 0; v < m_nVariants; ++v) {
        D3DXVECTOR3 lo, hi;
        if (!m_pSkinned[v].GetLoopBounds(&lo, &hi) && m_pStandIn && m_pStandIn->m_dwMeshDisplayNum > 0) {
            lo = m_pStandIn->m_pMeshDisplay[0].m_Bound.m_vCorner[0];
            hi = m_pStandIn->m_pMeshDisplay[0].m_Bound.m_vCorner[7];
        }
        m_LoopBound[v].SetBox(lo, hi);
    }
}

void WhaleKind::RestoreDeviceObjects() {
    if (m_nVariants == 0) return;
    bool drawable = true;
    for (int v = 0; v < m_nVariants; ++v) {
        m_pSkinned[v].RestoreDeviceObjects();
        drawable = m_pSkinned[v].IsDrawable() && drawable;
    }
    // A skinned whale that did not load or got no shader would draw
    // nothing: the stand-in swims instead.
    if (!drawable) {
        Invalidate();
        DropSkinned();
        m_bRigidFallback = true;
    }
}

void WhaleKind::Animate(float dt) {
    for (int v = 0; v < m_nVariants; ++v) m_pSkinned[v].FrameMove(1, 1, dt);
}

void WhaleKind::Draw(IDirect3DDevice8* device, const D3DXMATRIX& pose, int variant, bool cull, const Camera* camera,
                     ZSortRender* zsort, const D3DXVECTOR4& light, float fogFar) {
    const D3DXMATRIX world = DrawnWorld(pose, m_bLarge);
    if (m_nVariants == 0) {
        if (!m_pStandIn) return;  // a failed start: nothing to draw with
        m_pStandIn->TransformBounds(world, 1);
        m_pStandIn->Render(device, world, camera, &camera->GetFrustum(), 0, zsort);
        return;
    }
    const int v = variant % m_nVariants;
    if (cull) {
        BoundVolume& bound = m_LoopBound[v];
        bound.Transform(world);
        if (!BoxInFrustum(bound.m_vWorldCorner, bound.m_WorldPlane, camera->GetFrustum())) return;
    }
    SkinRenderParams params;
    params.matWorld = world;
    params.matView = camera->GetView();
    params.matProj = camera->GetProjection();
    params.vLight = light;
    params.fFogDistance = fogFar;
    m_pSkinned[v].Render(params);
}

void WhaleKind::Invalidate() {
    for (int v = 0; v < m_nVariants; ++v) m_pSkinned[v].InvalidateDeviceObjects();
}

void WhaleKind::DropSkinned() {
    for (int v = 0; v < m_nVariants; ++v) m_pSkinned[v].DeleteDeviceObjects();
    m_pSkinned.reset();
    m_nVariants = 0;
}

void WhaleKind::Delete() {
    DropSkinned();
    m_pStandIn.reset();  // its destructor releases its meshes
    m_bRigidFallback = false;
}

// --- the school and the guide ---------------------------------------------------

HRESULT WhaleDrawing::InitSchool(IDirect3DDevice8* device, D3DCAPS8 caps, const Settings* settings, ErrLog* log) {
    WhaleKind& k = m_School;
    k.Delete();  // a second start replaces the first
    k.m_bLarge = settings->intChkLargeModel != 0;
    k.m_pStandIn = NewUnique<XModel>();
    if (!k.m_pStandIn) {
        LogLine(log, "\t\tm_pDammyMdl == NULL\n");
        return E_FAIL;
    }
    const HRESULT hr = ObjectStep(log, "\t\tm_pDammyMdl->LoadXFile...\n", "\t\tFailed\n",
                                  [&] { return k.m_pStandIn->LoadXFile(device, "WHALEDAMMY.X", log); });
    if (FAILED(hr)) return hr;
    if (!settings->intChkAnim) return 0;
    if (FAILED(k.LoadSkinned(device, caps, kSchoolSkinned, Boids::kModelVariants,
                             "\t\tm_pSkinnedSkm.InitDeviceObjects...\n", kSchoolSkinnedFailed, log))) {
        if (!k.m_pSkinned) LogLine(log, "\t\tm_pSkinnedSkm == NULL\n");
        return E_FAIL;
    }
    k.SetLoopBounds();
    return 0;
}

HRESULT WhaleDrawing::InitGuide(IDirect3DDevice8* device, D3DCAPS8 caps, const Settings* settings, ErrLog* log) {
    WhaleKind& k = m_Guide;
    k.Delete();
    k.m_bLarge = settings->intChkLargeModel != 0;
    k.m_pStandIn = NewUnique<XModel>();
    if (!k.m_pStandIn) return E_FAIL;
    const HRESULT hr = k.m_pStandIn->LoadXFile(device, "WHALEDAMMY2.X", log);
    if (FAILED(hr)) return hr;
    if (!settings->intChkAnim) return 0;
    return FAILED(k.LoadSkinned(device, caps, kGuideSkinned, 1, nullptr, nullptr, log)) ? E_FAIL : 0;
}

void WhaleDrawing::Animate(float dt) {
    m_School.Animate(dt);
    m_Guide.Animate(dt);
}

int WhaleDrawing::Render(IDirect3DDevice8* device, const Boids& school, const Goal& guide, const Camera* camera,
                         ZSortRender* zsort, const D3DXVECTOR4& light, float fogFar) {
    assert(camera && "WhaleDrawing::Render needs the frame's camera");
    if (!camera) return 0;
    const Boid* whales = school.GetBoids();
    for (int i = 0; whales && i < school.GetCount(); ++i) {
        m_School.Draw(device, whales[i].m_Instance.GetWorldMatrix(), whales[i].m_nModelVariant & 1, true, camera, zsort,
                      light, fogFar);
    }
    // Unlike the school's whales the guide is drawn without a frustum test.
    m_Guide.Draw(device, guide.GetWorldMatrix(), 0, false, camera, zsort, light, fogFar);
    return 0;
}

void WhaleDrawing::Invalidate() {
    m_School.Invalidate();
    m_Guide.Invalidate();
}

void WhaleDrawing::Delete() {
    m_School.Delete();
    m_Guide.Delete();
}
