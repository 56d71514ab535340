// The device side of the whale school: the rigid stand-in and the two skinned
// whale models, loaded at start-up and drawn every frame at the poses the
// simulation (boids.cpp) computed.
#include "flock/boids.h"

#include <cassert>
#include <new>

#include "core/errlog.h"
#include "flock/whale_draw.h"
#include "platform/base/alloc.h"
#include "render/skinned_mesh.h"
#include "render/zsort_render.h"
#include "scene/xmodel.h"
#include "view/camera.h"

namespace {
const char* const kSkinnedNames[Boids::kModelVariants] = {"WHALESKINNED01.X", "WHALESKINNED02.X"};
}  // namespace

HRESULT Boids::InitDeviceObjects(IDirect3DDevice8* device, D3DCAPS8 caps, unsigned seed, ErrLog* log) {
    DeleteDeviceObjects();  // a second start replaces the first
    HRESULT hr = CreateWhales(seed, log);
    if (FAILED(hr)) return hr;

    m_pDammyMdl = NewUnique<XModel>();
    if (!m_pDammyMdl) {
        LogLine(log, "\t\tm_pDammyMdl == NULL\n");
        return E_FAIL;
    }
    hr = ObjectStep(log, "\t\tm_pDammyMdl->LoadXFile...\n", "\t\tFailed\n",
            [&] { return m_pDammyMdl->LoadXFile(device, "WHALEDAMMY.X", log); });
    if (FAILED(hr)) return hr;
    for (int i = 0; i < m_nCount; ++i) m_pBoids[i].m_Instance.SetModel(m_pDammyMdl.get());
    if (!m_bAnimation) return 0;

    m_pSkinnedSkm = NewUniqueArray<SkinnedMesh>(kModelVariants);
    if (!m_pSkinnedSkm) {
        LogLine(log, "\t\tm_pSkinnedSkm == NULL\n");
        return E_FAIL;
    }
    // One start line, then a failure line naming the variant: "\t\tFailed(0)\n" or "\t\tFailed(1)\n".
    if (FAILED(ObjectStep(log, "\t\tm_pSkinnedSkm.InitDeviceObjects...\n", "\t\tFailed(0)\n",
                          [&] { return m_pSkinnedSkm[0].InitDeviceObjects(device, caps, kSkinnedNames[0], log); })) ||
        FAILED(ObjectStep(log, "", "\t\tFailed(1)\n",
                          [&] { return m_pSkinnedSkm[1].InitDeviceObjects(device, caps, kSkinnedNames[1], log); }))) {
        return E_FAIL;
    }
    // The skinned whales are culled by the box of their whole swimming loop
    // (a raised tail reaches above the stand-in's box); a model without one
    // keeps the stand-in's drawn box.
    for (int v = 0; v < kModelVariants; ++v) {
        D3DXVECTOR3 lo, hi;
        if (!m_pSkinnedSkm[v].GetLoopBounds(&lo, &hi) && m_pDammyMdl->m_dwMeshDisplayNum > 0) {
            lo = m_pDammyMdl->m_pMeshDisplay[0].m_Bound.m_vCorner[0];
            hi = m_pDammyMdl->m_pMeshDisplay[0].m_Bound.m_vCorner[7];
        }
        m_LoopBound[v].SetBox(lo, hi);
    }
    return 0;
}

HRESULT Boids::RestoreDeviceObjects() {
    if (m_bAnimation && m_pSkinnedSkm) {
        bool drawable = true;
        for (int v = 0; v < kModelVariants; ++v) {
            m_pSkinnedSkm[v].RestoreDeviceObjects();
            drawable = m_pSkinnedSkm[v].IsDrawable() && drawable;
        }
        // A skinned whale that did not load or got no shader would draw
        // nothing: the school swims as rigid stand-ins instead.
        if (!drawable) {
            for (int v = 0; v < kModelVariants; ++v) {
                m_pSkinnedSkm[v].InvalidateDeviceObjects();
                m_pSkinnedSkm[v].DeleteDeviceObjects();
            }
            m_pSkinnedSkm.reset();
            m_bAnimation = 0;
            m_bRigidFallback = true;
        }
    }
    return 0;
}

void Boids::Animate(float dt) {
    // One clock per model: every whale of a variant beats its flukes in phase.
    if (!m_bAnimation || !m_pSkinnedSkm) return;
    for (int v = 0; v < kModelVariants; ++v) m_pSkinnedSkm[v].FrameMove(1, 1, dt);
}

int Boids::Render(IDirect3DDevice8* device, Camera* camera, ZSortRender* zsort, D3DXVECTOR4 light, float fogFar) {
    assert(camera && "Boids::Render needs the frame's camera");
    if (!camera || m_nCount <= 0) return 0;
    if (!m_bAnimation) {
        for (int i = 0; i < m_nCount; ++i) {
            ModelInstance drawn = m_pBoids[i].m_Instance;
            drawn.SetWorldMatrix(DrawnWorld(drawn.GetWorldMatrix(), m_bLargeModel != 0));
            drawn.Render(device, camera, &camera->GetFrustum(), 0, zsort);
        }
        return 0;
    }
    if (!m_pSkinnedSkm) return 0;  // a failed start: nothing to draw with
    camera->StoreView();  // the same view for every whale of the frame
    for (int i = 0; i < m_nCount; ++i) {
        const Boid& b = m_pBoids[i];
        const D3DXMATRIX world = DrawnWorld(b.m_Instance.GetWorldMatrix(), m_bLargeModel != 0);
        BoundVolume& bound = m_LoopBound[b.m_nModelVariant & 1];
        bound.Transform(world);
        if (!BoxInFrustum(bound.m_vWorldCorner, bound.m_WorldPlane, camera->GetFrustum())) continue;
        DrawSkinnedWhale(&m_pSkinnedSkm[b.m_nModelVariant & 1], world, *camera, light, fogFar);
    }
    return 0;
}

HRESULT Boids::InvalidateDeviceObjects() {
    if (m_bAnimation && m_pSkinnedSkm) {
        for (int v = 0; v < kModelVariants; ++v) m_pSkinnedSkm[v].InvalidateDeviceObjects();
    }
    return 0;
}

HRESULT Boids::DeleteDeviceObjects() {
    m_bRigidFallback = false;
    Release();            // the whales first: their instances point at the stand-in
    m_pDammyMdl.reset();  // its destructor releases its meshes
    if (m_pSkinnedSkm) {
        for (int v = 0; v < kModelVariants; ++v) m_pSkinnedSkm[v].DeleteDeviceObjects();
        m_pSkinnedSkm.reset();
    }
    return 0;
}
