// ZSortRender: queue, sort and toon-shaded drawing of the rigid model draws.
#include "render/zsort_render.h"

#include <cassert>

#include <algorithm>
#include <cmath>
#include <limits>

#include "platform/d3dx/d3dx_resource.h"
#include "core/errlog.h"

namespace {

constexpr DWORD kNoShader = 0xFFFFFFFFu;

// Vertex registers of "Toon.vsh", all from stream 0 in this order: the
// 44-byte vertex of the rigid models.
const DWORD kToonDeclaration[] = {
    D3DVSD_STREAM(0),
    D3DVSD_REG(0, D3DVSDT_FLOAT3),    // v0 position
    D3DVSD_REG(3, D3DVSDT_FLOAT3),    // v3 normal
    D3DVSD_REG(5, D3DVSDT_D3DCOLOR),  // v5 diffuse
    D3DVSD_REG(7, D3DVSDT_FLOAT2),    // v7 texture coordinates 0
    D3DVSD_REG(8, D3DVSDT_FLOAT2),    // v8 texture coordinates 1
    D3DVSD_END(),
};

// Constant registers of "Toon.vsh".
constexpr DWORD kRegWorldViewProj = 0;  // c0..c3: transpose(W V P)
constexpr DWORD kRegWorldView = 4;      // c4..c7: transpose(W V); c6 gives camera-space z
constexpr DWORD kRegConsts = 12;        // c12: (0, 0.5, 1, -1)
constexpr DWORD kRegLight = 13;         // c13: light in model space, unit length
constexpr DWORD kRegFog = 14;           // c14: (-1/F, 1, 0, 0), fog = 1 - z/F

void EmptySlot(ZSortEntry* e) {
    e->m_pVB = nullptr;
    e->m_pIB = nullptr;
    e->m_pAttribTable = nullptr;
    e->m_pMaterials = nullptr;
    e->m_ppTextures = nullptr;
    e->m_dwSubsetNum = 0;
    D3DXMatrixIdentity(&e->m_matWorld);
    e->m_vPosition = D3DXVECTOR3(0.0f, 0.0f, 0.0f);
}

// The sort key: distance along the direction, rounded to a 32-bit float. A
// NaN (a broken position) counts as +infinity, so the comparison stays a
// strict weak order and std::sort stays inside the array.
float SortKey(const D3DXVECTOR3& d, const D3DXVECTOR3& p) {
    const float k = d.x * p.x + d.y * p.y + d.z * p.z;
    return std::isnan(k) ? std::numeric_limits<float>::infinity() : k;
}

}  // namespace

ZSortRender::ZSortRender() : m_dwCount(0), m_dwToonShader(kNoShader) {
    for (ZSortEntry& e : m_Entries) EmptySlot(&e);
}

HRESULT ZSortRender::InitDeviceObjects(IDirect3DDevice8* device, ErrLog* log) {
    // Out() releases a texture from an earlier call: a second call replaces, never leaks.
    if (FAILED(ObjectStep(log, "\t\tD3DXCreateTextureFromResource...\n", "\t\tFailed\n",
                          [&] { return D3DXCreateTextureFromResourceA(device, "Toon.bmp", m_pToonTexture.Out()); }))) {
        m_pToonTexture.Reset();
        return E_FAIL;
    }
    return 0;
}

HRESULT ZSortRender::RestoreDeviceObjects(IDirect3DDevice8* device, ErrLog* log) {
    if (m_dwToonShader != kNoShader) InvalidateDeviceObjects(device);

    ComPtr<ID3DXBuffer> code;
    const HRESULT hr = ObjectStep(log, "\t\tD3DXAssembleShaderFromResource...\n", "\t\tFailed\n",
                                  [&] { return D3DXAssembleShaderFromResourceA("Toon.vsh", 0, nullptr, code.Out(), nullptr); });
    if (FAILED(hr)) return hr;
    DWORD handle = kNoShader;
    if (FAILED(ObjectStep(log, "\t\tCreateVertexShader...\n", "\t\tFailed\n", [&] {
            return device ? device->CreateVertexShader(kToonDeclaration, code->GetBufferPointer(), &handle, 0)
                          : D3DERR_INVALIDCALL;
        }))) {
        return E_FAIL;
    }
    m_dwToonShader = handle;
    return 0;
}

HRESULT ZSortRender::Add(IDirect3DVertexBuffer8* vb, IDirect3DIndexBuffer8* ib, const D3DXATTRIBUTERANGE* attribTable,
                         D3DXMATRIX world, D3DXVECTOR3 position, const D3DMATERIAL8* materials,
                         IDirect3DTexture8* const* textures, DWORD subsetNum) {
    if (m_dwCount >= kMaxEntries) {
        ++m_dwDropped;
        return 0;
    }
    ZSortEntry& e = m_Entries[m_dwCount++];
    e.m_pVB = vb;
    e.m_pIB = ib;
    e.m_pAttribTable = attribTable;
    e.m_pMaterials = materials;
    e.m_ppTextures = textures;
    e.m_dwSubsetNum = subsetNum;
    e.m_matWorld = world;
    e.m_vPosition = position;
    return 0;
}

HRESULT ZSortRender::Sort(const D3DXVECTOR3& direction) {
    if (m_dwCount < 2) return 0;
    std::sort(m_Entries, m_Entries + m_dwCount, [&direction](const ZSortEntry& a, const ZSortEntry& b) {
        return SortKey(direction, a.m_vPosition) < SortKey(direction, b.m_vPosition);
    });
    return 0;
}

HRESULT ZSortRender::Render(IDirect3DDevice8* device, const D3DXMATRIX& view, const D3DXMATRIX& projection,
                            const D3DXVECTOR4& light, float fogDistance) {
    if (!device || m_dwToonShader == kNoShader) return 0;  // nothing to draw with

    static const float kConsts[4] = {0.0f, 0.5f, 1.0f, -1.0f};
    // Linear fog from camera depth 0 (clear) to F (all fog colour). A
    // distance that is not positive would divide by zero: no fog then.
    const float fog[4] = {fogDistance > 0.0f ? -1.0f / fogDistance : 0.0f, 1.0f, 0.0f, 0.0f};

    for (DWORD n = 0; n < m_dwCount; ++n) {
        const ZSortEntry& e = m_Entries[n];
        assert((e.m_dwSubsetNum == 0 || (e.m_pVB && e.m_pIB && e.m_pAttribTable && e.m_pMaterials)) &&
               "a drawn entry needs its vertex and index buffers, attribute ranges and materials");

        // The shader takes matrices as rows of dot products: transposed.
        D3DXMATRIX worldView, worldViewProj, transposed;
        D3DXMatrixMultiply(&worldView, &e.m_matWorld, &view);
        D3DXMatrixMultiply(&worldViewProj, &worldView, &projection);
        D3DXMatrixTranspose(&transposed, &worldViewProj);
        device->SetVertexShaderConstant(kRegWorldViewProj, &transposed, 4);
        D3DXMatrixTranspose(&transposed, &worldView);
        device->SetVertexShaderConstant(kRegWorldView, &transposed, 4);
        device->SetVertexShaderConstant(kRegConsts, kConsts, 1);

        // The light brought into the model's own space, where the normals
        // are; a singular world matrix leaves it in world space.
        D3DXMATRIX worldInverse;
        D3DXMatrixIdentity(&worldInverse);
        D3DXMatrixInverse(&worldInverse, nullptr, &e.m_matWorld);
        D3DXVECTOR4 modelLight;
        D3DXVec4Transform(&modelLight, &light, &worldInverse);
        D3DXVec4Normalize(&modelLight, &modelLight);
        device->SetVertexShaderConstant(kRegLight, &modelLight, 1);
        device->SetVertexShaderConstant(kRegFog, fog, 1);

        device->SetVertexShader(m_dwToonShader);
        device->SetStreamSource(0, e.m_pVB, kVertexStride);
        device->SetIndices(e.m_pIB, 0);

        // A subset needs its range and material; an entry without them draws nothing.
        const DWORD subsets = e.m_pAttribTable && e.m_pMaterials ? e.m_dwSubsetNum : 0;
        for (DWORD i = 0; i < subsets; ++i) {
            const D3DXATTRIBUTERANGE& r = e.m_pAttribTable[i];
            device->SetMaterial(&e.m_pMaterials[i]);
            device->SetTexture(0, m_pToonTexture);
            device->SetTexture(1, e.m_ppTextures ? e.m_ppTextures[i] : nullptr);
            device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, r.VertexStart, r.VertexCount, r.FaceStart * 3,
                                         r.FaceCount);
        }
        device->SetTexture(0, nullptr);
        device->SetTexture(1, nullptr);
    }
    return 0;
}

HRESULT ZSortRender::Clear() {
    for (ZSortEntry& e : m_Entries) EmptySlot(&e);
    m_dwCount = 0;
    m_dwLastDropped = m_dwDropped;
    m_dwDropped = 0;
    return 0;
}

HRESULT ZSortRender::InvalidateDeviceObjects(IDirect3DDevice8* device) {
    if (m_dwToonShader != kNoShader) {
        if (device) device->DeleteVertexShader(m_dwToonShader);
        m_dwToonShader = kNoShader;
    }
    return 0;
}

HRESULT ZSortRender::DeleteDeviceObjects() {
    m_pToonTexture.Reset();
    return 0;
}
