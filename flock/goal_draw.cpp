// The device side of the guide whale: its rigid stand-in and its own skinned
// model, drawn at the pose the simulation (goal.cpp) computed.
#include "flock/goal.h"

#include <cassert>
#include <new>

#include "flock/whale_draw.h"
#include "platform/base/alloc.h"
#include "render/skinned_mesh.h"
#include "scene/xmodel.h"
#include "view/camera.h"

HRESULT Goal::InitDeviceObjects(IDirect3DDevice8* device, D3DCAPS8 caps, unsigned seed, ErrLog* log) {
    DeleteDeviceObjects();  // a second start replaces the first
    SeedTargets(seed);
    // No log lines of its own: the lifecycle logs the step and its failure.
    m_pModel = NewUnique<XModel>();
    if (!m_pModel) return E_FAIL;
    const HRESULT hr = m_pModel->LoadXFile(device, "WHALEDAMMY2.X", log);
    if (FAILED(hr)) return hr;
    m_Instance.SetModel(m_pModel.get());
    if (!m_bAnimation) return 0;
    m_pSkinnedSkm = NewUnique<SkinnedMesh>();
    if (!m_pSkinnedSkm || FAILED(m_pSkinnedSkm->InitDeviceObjects(device, caps, "WHALESKINNED03.X", log))) {
        return E_FAIL;
    }
    return 0;
}

HRESULT Goal::RestoreDeviceObjects() {
    if (m_bAnimation && m_pSkinnedSkm) {
        m_pSkinnedSkm->RestoreDeviceObjects();
        // A skinned guide that cannot draw swims as its rigid stand-in.
        if (!m_pSkinnedSkm->IsDrawable()) {
            m_pSkinnedSkm->InvalidateDeviceObjects();
            m_pSkinnedSkm->DeleteDeviceObjects();
            m_pSkinnedSkm.reset();
            m_bAnimation = 0;
            m_bRigidFallback = true;
        }
    }
    return 0;
}

void Goal::Animate(float dt) {
    if (m_bAnimation && m_pSkinnedSkm) m_pSkinnedSkm->FrameMove(1, 1, dt);
}

void Goal::Render(IDirect3DDevice8* device, Camera* camera, ZSortRender* zsort, D3DXVECTOR4 light, float fogFar) {
    assert(camera && "Goal::Render needs the frame's camera");
    if (!camera || !m_pModel) return;
    const D3DXMATRIX world = DrawnWorld(m_Instance.GetWorldMatrix(), m_bLargeModel != 0);
    if (!m_bAnimation) {
        ModelInstance drawn = m_Instance;
        drawn.SetWorldMatrix(world);
        drawn.Render(device, camera, &camera->GetFrustum(), 0, zsort);
        return;
    }
    if (!m_pSkinnedSkm) return;
    // Unlike the school's whales the guide is drawn without a frustum test.
    camera->StoreView();
    DrawSkinnedWhale(m_pSkinnedSkm.get(), world, *camera, light, fogFar);
}

HRESULT Goal::InvalidateDeviceObjects() {
    if (m_bAnimation && m_pSkinnedSkm) m_pSkinnedSkm->InvalidateDeviceObjects();
    return 0;
}

HRESULT Goal::DeleteDeviceObjects() {
    m_bRigidFallback = false;
    m_Instance.SetModel(nullptr);
    m_pModel.reset();  // its destructor releases its meshes
    if (m_pSkinnedSkm) {
        m_pSkinnedSkm->DeleteDeviceObjects();
        m_pSkinnedSkm.reset();
    }
    return 0;
}
