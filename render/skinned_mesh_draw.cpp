// SkinnedMesh, the device half: the toon ramp and the four palette-skinning
// shaders, building the blended mesh of each skinned container, drawing the
// hierarchy, and releasing device objects.
#include <cstdio>
#include <cstring>

#include "core/errlog.h"
#include "platform/d3dx/d3dx_resource.h"
#include "render/skinned_mesh.h"

namespace {

// Binds a mesh's vertex buffer to stream 0 and its index buffer; the device
// holds its own references while they are bound.
HRESULT BindMeshBuffers(IDirect3DDevice8* device, ID3DXMesh* mesh) {
    ComPtr<IDirect3DVertexBuffer8> vb;
    ComPtr<IDirect3DIndexBuffer8> ib;
    mesh->GetVertexBuffer(vb.Out());
    mesh->GetIndexBuffer(ib.Out());
    const HRESULT hr = device->SetStreamSource(0, vb, D3DXGetFVFVertexSize(mesh->GetFVF()));
    return SUCCEEDED(hr) ? device->SetIndices(ib, 0) : hr;
}

// Vertex declaration n (n = influences 1..4), stream 0, exactly the layout
// GenerateMesh produces: position, n - 1 blend weights, packed indices,
// normal, diffuse, two texture sets.
const DWORD kDeclaration1[] = {
    D3DVSD_STREAM(0),               D3DVSD_REG(0, D3DVSDT_FLOAT3),
    D3DVSD_REG(2, D3DVSDT_D3DCOLOR), D3DVSD_REG(3, D3DVSDT_FLOAT3),   D3DVSD_REG(5, D3DVSDT_D3DCOLOR),
    D3DVSD_REG(7, D3DVSDT_FLOAT2),   D3DVSD_REG(8, D3DVSDT_FLOAT2),   D3DVSD_END(),
};
const DWORD kDeclaration2[] = {
    D3DVSD_STREAM(0),               D3DVSD_REG(0, D3DVSDT_FLOAT3),
    D3DVSD_REG(1, D3DVSDT_FLOAT1),
    D3DVSD_REG(2, D3DVSDT_D3DCOLOR), D3DVSD_REG(3, D3DVSDT_FLOAT3),   D3DVSD_REG(5, D3DVSDT_D3DCOLOR),
    D3DVSD_REG(7, D3DVSDT_FLOAT2),   D3DVSD_REG(8, D3DVSDT_FLOAT2),   D3DVSD_END(),
};
const DWORD kDeclaration3[] = {
    D3DVSD_STREAM(0),               D3DVSD_REG(0, D3DVSDT_FLOAT3),
    D3DVSD_REG(1, D3DVSDT_FLOAT2),
    D3DVSD_REG(2, D3DVSDT_D3DCOLOR), D3DVSD_REG(3, D3DVSDT_FLOAT3),   D3DVSD_REG(5, D3DVSDT_D3DCOLOR),
    D3DVSD_REG(7, D3DVSDT_FLOAT2),   D3DVSD_REG(8, D3DVSDT_FLOAT2),   D3DVSD_END(),
};
const DWORD kDeclaration4[] = {
    D3DVSD_STREAM(0),               D3DVSD_REG(0, D3DVSDT_FLOAT3),
    D3DVSD_REG(1, D3DVSDT_FLOAT3),
    D3DVSD_REG(2, D3DVSDT_D3DCOLOR), D3DVSD_REG(3, D3DVSDT_FLOAT3),   D3DVSD_REG(5, D3DVSDT_D3DCOLOR),
    D3DVSD_REG(7, D3DVSDT_FLOAT2),   D3DVSD_REG(8, D3DVSDT_FLOAT2),   D3DVSD_END(),
};
const DWORD* const kDeclarations[4] = {kDeclaration1, kDeclaration2, kDeclaration3, kDeclaration4};
const char* const kShaderNames[4] = {"skinmesh1.vsh", "skinmesh2.vsh", "skinmesh3.vsh", "skinmesh4.vsh"};

// Constant registers of the skinning shaders.
constexpr DWORD kRegConsts = 0;      // c0: (1, 0.5, 0, 765.01)
constexpr DWORD kRegLight = 1;       // c1: light in camera space, unit length, w = 0
constexpr DWORD kRegProjection = 2;  // c2..c5: transposed projection
constexpr DWORD kRegFog = 7;         // c7: (-1/F, 1, 0, 0)
constexpr DWORD kRegPalette = 9;     // c9 + 3i .. c11 + 3i: palette slot i, three rows

}  // namespace

HRESULT SkinnedMesh::InitDeviceObjects(IDirect3DDevice8* device, D3DCAPS8 caps, const char* name, ErrLog* log) {
    m_pDevice = device;
    m_Caps = caps;
    m_pLog = log;
    std::strncpy(m_szName, name ? name : "", sizeof m_szName - 1);
    m_szName[sizeof m_szName - 1] = '\0';
    LoadMeshHierarchy();  // a model that fails to load leaves an empty object

    LogLine(m_pLog, "\t\tD3DXCreateTextureFromResource...\n");  // fixed log text
    // Out() releases the ramp of an earlier call: a second call replaces, never leaks.
    if (FAILED(D3DXCreateTextureFromResourceA(device, "Toon.bmp", m_pToonTexture.Out()))) {
        m_pToonTexture.Reset();
        LogLine(m_pLog, "\t\tFailed\n");  // fixed log text
        return E_FAIL;
    }
    return 0;
}

bool SkinnedMesh::IsDrawable() const {
    if (!m_pDrawElements || !m_pToonTexture) return false;
    for (DWORD shader : m_dwShader) {
        if (shader == kNoShader) return false;
    }
    return true;
}

HRESULT SkinnedMesh::RestoreDeviceObjects() {
    for (DWORD n = 0; n < 4; ++n) {
        if (m_dwShader[n] != kNoShader) continue;  // still alive from an earlier call
        char name[260];
        std::snprintf(name, sizeof name, "%s", kShaderNames[n]);
        LogLine(m_pLog, "\t\tD3DXAssembleShaderFromResource...\n");  // fixed log text
        ID3DXBuffer* code = nullptr;
        HRESULT hr = D3DXAssembleShaderFromResourceA(name, 0, nullptr, &code, nullptr);
        if (FAILED(hr)) {
            LogLine(m_pLog, "\t\tFailed\n");  // fixed log text
            return hr;
        }
        LogLine(m_pLog, "\t\tCreateVertexShader...\n");  // fixed log text
        DWORD handle = kNoShader;
        hr = m_pDevice ? m_pDevice->CreateVertexShader(kDeclarations[n], code->GetBufferPointer(), &handle, 0)
                       : D3DERR_INVALIDCALL;
        code->Release();
        if (FAILED(hr)) {
            LogLine(m_pLog, "\t\tFailed\n");  // fixed log text
            return hr;
        }
        m_dwShader[n] = handle;
    }
    return 0;
}

// A mesh without vertex colours would draw black and transparent (the
// clone leaves the colour zero): each vertex takes the diffuse colour of its
// group's material instead, opaque.
static void ColourFromMaterials(MeshContainer* c) {
    BYTE* v = nullptr;
    if (!c->m_pBoneCombinationBuf || FAILED(c->m_pMesh->LockVertexBuffer(0, &v))) return;
    const UINT stride = D3DXGetFVFVertexSize(c->m_pMesh->GetFVF());
    const UINT offset = stride - 4 - 16;  // the colour precedes the two texture sets
    const auto* groups = static_cast<const D3DXBONECOMBINATION*>(c->m_pBoneCombinationBuf->GetBufferPointer());
    auto byte = [](float x) { return static_cast<DWORD>(x <= 0.0f ? 0.0f : x >= 1.0f ? 255.0f : x * 255.0f + 0.5f); };
    for (DWORD g = 0; g < c->m_dwAttribGroups; ++g) {
        D3DCOLOR colour = 0xFFFFFFFFu;
        if (groups[g].AttribId < c->m_dwMaterials) {
            const D3DCOLORVALUE& d = c->m_pMaterials ? c->m_pMaterials[groups[g].AttribId].Diffuse : D3DCOLORVALUE{1, 1, 1, 1};
            colour = D3DCOLOR_ARGB(255, byte(d.r), byte(d.g), byte(d.b));
        }
        for (DWORD i = groups[g].VertexStart; i < groups[g].VertexStart + groups[g].VertexCount; ++i) {
            std::memcpy(v + std::size_t{i} * stride + offset, &colour, 4);
        }
    }
    c->m_pMesh->UnlockVertexBuffer();
}

HRESULT SkinnedMesh::GenerateMesh(MeshContainer* c) {
    IDirect3DDevice8* device = nullptr;
    if (FAILED(c->m_pSkinMesh->GetDevice(&device))) device = m_pDevice;
    c->m_pMesh.Reset();
    c->m_pBoneCombinationBuf.Reset();
    c->m_dwAttribGroups = 0;

    const DWORD bones = c->m_pSkinMesh->GetNumBones();
    c->m_dwPaletteSize = bones < kPaletteSize ? bones : kPaletteSize;
    // Without hardware vertex shaders the same shaders run in software
    // vertex processing. The GL device draws only from its own buffers, so
    // the mesh is built in managed memory either way.
    c->m_bSoftwareVP = m_Caps.VertexShaderVersion >= D3DVS_VERSION(1, 1) ? FALSE : TRUE;
    const DWORD options = D3DXMESH_MANAGED | D3DXMESHOPT_VERTEXCACHE;

    ID3DXMesh* blended = nullptr;
    HRESULT hr = c->m_pSkinMesh->ConvertToIndexedBlendedMesh(options, c->m_pAdjacency, c->m_dwPaletteSize, nullptr,
                                                             &c->m_dwAttribGroups, c->m_pBoneCombinationBuf.Out(),
                                                             &blended);
    if (FAILED(hr)) return hr;
    c->m_pMesh.Reset(blended);

    // Influences from the format: XYZ is 1, XYZBn is n (the last blend
    // value being the packed indices).
    const DWORD position = blended->GetFVF() & D3DFVF_POSITION_MASK;
    c->m_dwMaxInfluences = position == D3DFVF_XYZ ? 1 : (position - D3DFVF_XYZB1) / 2 + 1;
    if (c->m_dwMaxInfluences > 4) c->m_dwMaxInfluences = 4;

    const DWORD wanted = position | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX2 | D3DFVF_LASTBETA_UBYTE4;
    const bool hadColours = (blended->GetFVF() & D3DFVF_DIFFUSE) != 0;
    if (blended->GetFVF() != wanted) {
        ID3DXMesh* clone = nullptr;
        hr = blended->CloneMeshFVF(blended->GetOptions(), wanted, device, &clone);
        if (FAILED(hr)) return hr;
        c->m_pMesh.Reset(clone);  // releases the blended mesh
    }
    if (!hadColours) ColourFromMaterials(c);
    c->m_dwBuiltMethod = m_dwMethod;
    return S_OK;
}

HRESULT SkinnedMesh::Render(SkinRenderParams params) {
    if (!m_pDrawElements || !m_pDevice) return 0;
    m_matView = params.matView;
    m_fFogDistance = params.fFogDistance;
    // The device fades shader draws by the current material's diffuse alpha
    // (the rigid models' distance fade); the whales never fade.
    static const D3DMATERIAL8 kOpaque = {{1.0f, 1.0f, 1.0f, 1.0f}, {1.0f, 1.0f, 1.0f, 1.0f}, {}, {}, 0.0f};
    HRESULT hr = m_pDevice->SetMaterial(&kOpaque);
    if (FAILED(hr)) return hr;

    D3DXMATRIX projection;
    D3DXMatrixTranspose(&projection, &params.matProj);
    hr = m_pDevice->SetVertexShaderConstant(kRegProjection, &projection, 4);
    if (FAILED(hr)) return hr;
    // The light in camera space, the frame the shaders' normals are in (the
    // palette ends with the view matrix): the world direction (w = 0) turned
    // by the view, unit length.
    D3DXVECTOR4 light(params.vLight.x, params.vLight.y, params.vLight.z, 0.0f);
    D3DXVec4Transform(&light, &light, &params.matView);
    D3DXVec4Normalize(&light, &light);
    hr = m_pDevice->SetVertexShaderConstant(kRegLight, &light, 1);
    if (FAILED(hr)) return hr;

    // The instance's rotation becomes the root's local matrix, its position
    // the root's translation matrix.
    D3DXMATRIX rotation = params.matWorld, translation;
    rotation._41 = rotation._42 = rotation._43 = 0.0f;
    D3DXMatrixTranslation(&translation, params.matWorld._41, params.matWorld._42, params.matWorld._43);
    for (DrawElement* e = m_pDrawElements; e; e = e->m_pNext) {
        e->m_pRootFrame->m_matRot = rotation;
        e->m_pRootFrame->m_matTrans = translation;
    }
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    for (DrawElement* e = m_pDrawElements; e; e = e->m_pNext) {
        UpdateFrames(e->m_pRootFrame, identity);
        hr = DrawFrames(e->m_pRootFrame);
        if (FAILED(hr)) return hr;
    }
    return 0;
}

HRESULT SkinnedMesh::DrawFrames(MeshFrame* frame) {
    for (; frame; frame = frame->m_pSibling) {
        if (frame->m_pMeshContainer) {
            HRESULT hr = m_pDevice->SetTransform(D3DTS_WORLD, &frame->m_matCombined);
            if (FAILED(hr)) return hr;
            for (MeshContainer* c = frame->m_pMeshContainer; c; c = c->m_pNext) {
                hr = DrawMeshContainer(c);
                if (FAILED(hr)) return hr;
            }
        }
        const HRESULT hr = DrawFrames(frame->m_pChild);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

HRESULT SkinnedMesh::DrawMeshContainer(MeshContainer* c) {
    HRESULT hr = S_OK;
    if (!c->m_pSkinMesh) {
        // Unskinned: material i and texture i on stage 0, subset i, through
        // the fixed-function path with the device's transforms.
        if (!c->m_pMesh) return S_OK;
        hr = m_pDevice->SetVertexShader(c->m_pMesh->GetFVF());
        if (SUCCEEDED(hr)) hr = BindMeshBuffers(m_pDevice, c->m_pMesh);
        for (DWORD i = 0; SUCCEEDED(hr) && i < c->m_dwMaterials; ++i) {
            m_pDevice->SetMaterial(&c->m_pMaterials[i]);
            m_pDevice->SetTexture(0, c->m_ppTextures[i]);
            for (DWORD r = 0; SUCCEEDED(hr) && r < c->m_dwAttribTableSize; ++r) {
                const D3DXATTRIBUTERANGE& range = c->m_pAttribTable[r];
                if (range.AttribId != i || range.FaceCount == 0) continue;
                hr = m_pDevice->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, range.VertexStart, range.VertexCount,
                                                     range.FaceStart * 3, range.FaceCount);
            }
            m_pDevice->SetTexture(0, nullptr);
        }
        return hr;
    }

    if (c->m_dwBuiltMethod != m_dwMethod) {
        hr = GenerateMesh(c);
        if (FAILED(hr)) {
            // Tried once for this device generation: later frames draw
            // nothing rather than retry (and allocate) every frame; the next
            // invalidate and restore tries again.
            c->m_dwBuiltMethod = m_dwMethod;
            return hr;
        }
    }
    if (!c->m_pMesh || !c->m_pBoneCombinationBuf) return S_OK;
    static const float kConsts[4] = {1.0f, 0.5f, 0.0f, 765.01f};
    hr = m_pDevice->SetVertexShaderConstant(kRegConsts, kConsts, 1);
    if (FAILED(hr)) return hr;
    if (c->m_bSoftwareVP) m_pDevice->SetRenderState(D3DRS_SOFTWAREVERTEXPROCESSING, TRUE);

    hr = BindMeshBuffers(m_pDevice, c->m_pMesh);
    if (SUCCEEDED(hr)) hr = m_pDevice->SetVertexShader(GetShader(c->m_dwMaxInfluences));

    // Linear fog from camera depth 0 (clear) to F (all fog colour); a
    // distance that is not positive would divide by zero: no fog then.
    const float fog[4] = {m_fFogDistance > 0.0f ? -1.0f / m_fFogDistance : 0.0f, 1.0f, 0.0f, 0.0f};
    const auto* groups = static_cast<const D3DXBONECOMBINATION*>(c->m_pBoneCombinationBuf->GetBufferPointer());
    for (DWORD g = 0; SUCCEEDED(hr) && g < c->m_dwAttribGroups; ++g) {
        const D3DXBONECOMBINATION& group = groups[g];
        for (DWORD i = 0; SUCCEEDED(hr) && i < c->m_dwPaletteSize; ++i) {
            const DWORD b = group.BoneId[i];
            if (b == 0xFFFFFFFFu) continue;  // an empty slot keeps what it held
            // offset(b) x combined(b) x view, as three rows of dot products.
            D3DXMATRIX m, t;
            D3DXMatrixMultiply(&m, &c->m_pBoneOffsetMat[b], c->m_ppBoneMatrix[b]);
            D3DXMatrixMultiply(&m, &m, &m_matView);
            D3DXMatrixTranspose(&t, &m);
            hr = m_pDevice->SetVertexShaderConstant(kRegPalette + 3 * i, &t, 3);
        }
        if (SUCCEEDED(hr)) hr = m_pDevice->SetVertexShaderConstant(kRegFog, fog, 1);
        if (SUCCEEDED(hr)) hr = m_pDevice->SetTexture(0, m_pToonTexture);
        if (SUCCEEDED(hr)) {
            hr = m_pDevice->SetTexture(1, group.AttribId < c->m_dwMaterials ? c->m_ppTextures[group.AttribId] : nullptr);
        }
        if (SUCCEEDED(hr)) {
            hr = m_pDevice->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, group.VertexStart, group.VertexCount,
                                                 group.FaceStart * 3, group.FaceCount);
        }
        m_pDevice->SetTexture(0, nullptr);
        m_pDevice->SetTexture(1, nullptr);
    }
    if (c->m_bSoftwareVP) m_pDevice->SetRenderState(D3DRS_SOFTWAREVERTEXPROCESSING, FALSE);
    return hr;
}

void SkinnedMesh::ReleaseDrawableMeshes(MeshFrame* frame) {
    for (; frame; frame = frame->m_pSibling) {
        for (MeshContainer* c = frame->m_pMeshContainer; c; c = c->m_pNext) {
            if (!c->m_pSkinMesh) continue;
            c->m_pMesh.Reset();
            c->m_pBoneCombinationBuf.Reset();
            c->m_dwAttribGroups = 0;
            c->m_dwBuiltMethod = 2;
        }
        ReleaseDrawableMeshes(frame->m_pChild);
    }
}

HRESULT SkinnedMesh::InvalidateDeviceObjects() {
    for (DrawElement* e = m_pDrawElements; e; e = e->m_pNext) ReleaseDrawableMeshes(e->m_pRootFrame);
    for (DWORD& shader : m_dwShader) {
        if (shader != kNoShader) {
            if (m_pDevice) m_pDevice->DeleteVertexShader(shader);
            shader = kNoShader;
        }
    }
    return 0;
}

HRESULT SkinnedMesh::DeleteDeviceObjects() {
    delete m_pDrawElements;
    m_pDrawElements = nullptr;
    m_fAnimLength = 0.0f;
    m_bSegmentDirty = 1;
    m_pToonTexture.Reset();
    return 0;
}
