// The cellophane tint: its quad, its blend and its release.
#include "view/cellophane.h"

#include <cstring>

#include "core/errlog.h"
#include "settings/settings.h"

int Cellophane::Configure(const Settings* settings) {
    m_bEnabled = settings->intChkCelphn;
    m_bDeepSea = settings->intChkCol;
    return 0;
}

HRESULT Cellophane::InitDeviceObjects(IDirect3DDevice8* device, UINT width, UINT height, ErrLog* log) {
    if (!m_bEnabled) return S_OK;
    DeleteDeviceObjects();  // a second start-up replaces the quad, never leaks it
    // The buffer is made and filled in one logged step.
    if (FAILED(ObjectStep(log, "\t\t\tCreateVertexBuffer...\n", "\t\t\tFailed\n", [&] {  // fixed log texts
            const HRESULT hr =
                device->CreateVertexBuffer(kBufferBytes, D3DUSAGE_WRITEONLY, kFvf, D3DPOOL_MANAGED, m_pVB.Out());
            return FAILED(hr) ? hr : FillQuad(width, height);
        }))) {
        DeleteDeviceObjects();  // nothing to draw with: Render stays a no-op
        return E_FAIL;
    }
    return S_OK;
}

HRESULT Cellophane::FillQuad(UINT width, UINT height) {
    const float w = static_cast<float>(width);
    const float h = static_cast<float>(height);
    const D3DCOLOR c = m_bDeepSea == 1 ? kDeepSeaColor : kNormalColor;
    const Vertex quad[4] = {
        {0.0f, 0.0f, 0.0f, 1.0f, c, 0.0f, 0.0f},
        {w, 0.0f, 0.0f, 1.0f, c, 1.0f, 0.0f},
        {0.0f, h, 0.0f, 1.0f, c, 0.0f, 1.0f},
        {w, h, 0.0f, 1.0f, c, 1.0f, 1.0f},
    };
    BYTE* data = nullptr;
    if (FAILED(m_pVB->Lock(0, 0, &data, 0))) return E_FAIL;
    std::memcpy(data, quad, sizeof quad);
    m_pVB->Unlock();
    return S_OK;
}

int Cellophane::Render(IDirect3DDevice8* device) {
    if (!m_bEnabled || !m_pVB) return 0;
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    if (m_bDeepSea == 1) {
        // dest x source colour: red and green x 200/255, blue unchanged.
        device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ZERO);
        device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_SRCCOLOR);
    } else {
        // dest + alpha x source: a quarter of full blue added.
        device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
        device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
    }
    device->SetRenderState(D3DRS_FOGENABLE, FALSE);
    device->SetTexture(0, nullptr);
    device->SetVertexShader(kFvf);
    device->SetStreamSource(0, m_pVB, sizeof(Vertex));
    device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
    device->SetRenderState(D3DRS_LIGHTING, TRUE);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    device->SetRenderState(D3DRS_FOGENABLE, TRUE);
    return 0;
}

int Cellophane::DeleteDeviceObjects() {
    m_pVB.Reset();
    return 0;
}
