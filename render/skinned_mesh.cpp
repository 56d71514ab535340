// SkinnedMesh, the drawing of a SkinnedModel: the toon ramp and the four
// palette-skinning shaders, building the blended mesh of each skinned
// container, the shared CPU pose and the levels of detail (simplified on a
// worker thread), drawing the hierarchy, and releasing device objects.
#include "render/skinned_mesh.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <future>
#include <new>
#include <system_error>
#include <vector>

#include "core/errlog.h"
#include "platform/d3dx/d3dx_resource.h"
#include "render/mesh_lod.h"

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

// One vertex of a posed buffer (skinposed.vsh), model space: the skinned
// position, the position under the vertex's last bone alone (the palette
// shaders take the fog depth from it), the skinned normal (not normalised:
// the shader normalises after the world and view, as the palette shaders
// do), and the blended mesh's colour and texture sets.
struct PosedVertex {
    float position[3];
    float lastBone[3];
    float normal[3];
    D3DCOLOR diffuse;
    float tex0[2];
    float tex1[2];
};
static_assert(sizeof(PosedVertex) == 56, "PosedVertex must match kPosedDeclaration");
const DWORD kPosedDeclaration[] = {
    D3DVSD_STREAM(0),                D3DVSD_REG(0, D3DVSDT_FLOAT3), D3DVSD_REG(1, D3DVSDT_FLOAT3),
    D3DVSD_REG(3, D3DVSDT_FLOAT3),   D3DVSD_REG(5, D3DVSDT_D3DCOLOR), D3DVSD_REG(7, D3DVSDT_FLOAT2),
    D3DVSD_REG(8, D3DVSDT_FLOAT2),   D3DVSD_END(),
};

// Constant registers of the skinning shaders.
constexpr DWORD kRegConsts = 0;      // c0: (1, 0.5, 0, 765.01)
constexpr DWORD kRegLight = 1;       // c1: light in camera space, unit length, w = 0
constexpr DWORD kRegProjection = 2;  // c2..c5: transposed projection
constexpr DWORD kRegFog = 7;         // c7: (-1/F, 1, 0, 0)
constexpr DWORD kRegPalette = 9;     // c9 + 3i .. c11 + 3i: palette slot i, three rows
constexpr DWORD kRegWorldView = 9;   // skinposed.vsh: c9..c11, transpose(world x view), three rows

const float kConsts[4] = {1.0f, 0.5f, 0.0f, 765.01f};

// The light in camera space, the frame the shaders' normals are in (the
// palette, and the shared pose's world x view, end with the view matrix): the
// world direction (w = 0) turned by the view, unit length.
D3DXVECTOR4 CameraLight(const SkinRenderParams& params) {
    D3DXVECTOR4 light(params.vLight.x, params.vLight.y, params.vLight.z, 0.0f);
    D3DXVec4Transform(&light, &light, &params.matView);
    D3DXVec4Normalize(&light, &light);
    return light;
}

// Bytes of a blended vertex with `influences` bones, in the order GenerateMesh
// builds it: position, influences - 1 weights, packed indices, normal, colour,
// two texture sets.
constexpr UINT BlendedVertexBytes(DWORD influences) { return 12 + 4 * (influences - 1) + 4 + 12 + 4 + 16; }

// p x m for a row vector (x, y, z, 1), the first three columns: out = p x m.
inline void TransformPoint(const float p[3], const D3DXMATRIX& m, float out[3]) {
    for (int j = 0; j < 3; ++j) out[j] = p[0] * m.m[0][j] + p[1] * m.m[1][j] + p[2] * m.m[2][j] + m.m[3][j];
}
inline void TransformNormal(const float n[3], const D3DXMATRIX& m, float out[3]) {
    for (int j = 0; j < 3; ++j) out[j] = n[0] * m.m[0][j] + n[1] * m.m[1][j] + n[2] * m.m[2][j];
}

// One blended vertex `in` (n bones, the layout GenerateMesh builds) skinned
// by the palette into `o`: the weighted sum of p x palette[slot] (identity for
// a slot that no group has filled, slotBone[slot] = 0xFFFFFFFF), the normal
// likewise, the position under the last bone alone, and the colour and
// texture sets as they are.
void SkinVertex(const BYTE* in, DWORD n, const D3DXMATRIX* palette, const DWORD* slotBone, DWORD paletteSize,
                PosedVertex* o) {
    const UINT weightsAt = 12, indicesAt = 12 + 4 * (n - 1), normalAt = indicesAt + 4;
    float p[3], nrm[3], w[4];
    std::memcpy(p, in, 12);
    std::memcpy(nrm, in + normalAt, 12);
    float last = 1.0f;
    for (DWORD k = 0; k + 1 < n; ++k) {
        std::memcpy(&w[k], in + weightsAt + 4 * k, 4);
        last -= w[k];
    }
    w[n - 1] = last;
    float sp[3] = {}, sn[3] = {}, tp[3], tn[3];
    for (DWORD k = 0; k < n; ++k) {
        const DWORD slot = in[indicesAt + k];
        const bool known = slot < paletteSize && slotBone[slot] != 0xFFFFFFFFu;
        D3DXMATRIX identity;
        if (!known) D3DXMatrixIdentity(&identity);
        const D3DXMATRIX& m = known ? palette[slot] : identity;
        TransformPoint(p, m, tp);
        TransformNormal(nrm, m, tn);
        for (int j = 0; j < 3; ++j) {
            sp[j] += w[k] * tp[j];
            sn[j] += w[k] * tn[j];
        }
        if (k + 1 == n) std::memcpy(o->lastBone, tp, 12);
    }
    std::memcpy(o->position, sp, 12);
    std::memcpy(o->normal, sn, 12);
    std::memcpy(&o->diffuse, in + normalAt + 12, 4);
    std::memcpy(o->tex0, in + normalAt + 16, 8);
    std::memcpy(o->tex1, in + normalAt + 24, 8);
}

}  // namespace

SkinnedMesh::SkinnedMesh()
    : m_pDevice(nullptr),
      m_Caps{},
      m_dwMethod(kMethodVertexShader),
      m_dwShader{kNoShader, kNoShader, kNoShader, kNoShader},
      m_dwPosedShader(kNoShader),
      m_bSharedPose(true),
      m_bLod(true),
      m_dwFramesPosed(0),
      m_bPoseReady(false),
      m_pToonTexture(nullptr),
      m_fFogDistance(0.0f),
      m_nLevel(0),
      m_pLog(nullptr) {
    D3DXMatrixIdentity(&m_matView);
    const char* perWhale = std::getenv("NEREVAL_SKIN_PER_WHALE");
    if (perWhale && *perWhale && std::strcmp(perWhale, "0") != 0) m_bSharedPose = false;
    const char* fullDetail = std::getenv("NEREVAL_WHALE_FULL_DETAIL");
    if (fullDetail && *fullDetail && std::strcmp(fullDetail, "0") != 0) m_bLod = false;
}

SkinnedMesh::~SkinnedMesh() {
    // Owners release in order; this only frees memory a skipped release left
    // (the device may be gone: shaders are not deleted here, and buffers and
    // textures outliving the device free only their memory).
    DeleteDeviceObjects();
}

HRESULT SkinnedMesh::InitDeviceObjects(IDirect3DDevice8* device, D3DCAPS8 caps, const char* name, ErrLog* log) {
    m_pDevice = device;
    m_Caps = caps;
    m_pLog = log;
    m_Model.SetSource(name, device, log);
    LoadMeshHierarchy();  // a model that fails to load leaves an empty object
    m_Model.ComputeLoopBounds();

    // Out() releases the ramp of an earlier call: a second call replaces, never leaks.
    if (FAILED(ObjectStep(m_pLog, "\t\tD3DXCreateTextureFromResource...\n", "\t\tFailed\n",  // fixed log texts
                          [&] { return D3DXCreateTextureFromResourceA(device, "Toon.bmp", m_pToonTexture.Out()); }))) {
        m_pToonTexture.Reset();
        return E_FAIL;
    }
    return 0;
}

HRESULT SkinnedMesh::LoadMeshHierarchy() {
    m_dwFramesPosed = 0;  // new frames hold no pose yet
    HRESULT hr = m_Model.LoadMeshHierarchy();
    if (FAILED(hr)) return hr;
    // The blended meshes belong to the loading: the levels of detail start
    // simplifying now, and a mesh that cannot be built fails the load.
    hr = GenerateMeshes(m_Model.GetDrawElements()->m_pRootFrame.get());
    if (FAILED(hr)) m_Model.RejectNewest(hr);
    return hr;
}

HRESULT SkinnedMesh::GenerateMeshes(MeshFrame* frame) {
    HRESULT hr = S_OK;
    ForEachContainer(frame, [&](MeshFrame*, MeshContainer* c) {
        if (c->m_pSkinMesh) hr = GenerateMesh(c);
        return SUCCEEDED(hr);
    });
    return hr;
}

bool SkinnedMesh::IsDrawable() const {
    if (!m_Model.GetDrawElements() || !m_pToonTexture) return false;
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
        ComPtr<ID3DXBuffer> code;
        HRESULT hr = ObjectStep(m_pLog, "\t\tD3DXAssembleShaderFromResource...\n", "\t\tFailed\n",  // fixed log texts
                                [&] { return D3DXAssembleShaderFromResourceA(name, 0, nullptr, code.Out(), nullptr); });
        if (FAILED(hr)) return hr;
        DWORD handle = kNoShader;
        hr = ObjectStep(m_pLog, "\t\tCreateVertexShader...\n", "\t\tFailed\n", [&] {  // fixed log texts
            return m_pDevice ? m_pDevice->CreateVertexShader(kDeclarations[n], code->GetBufferPointer(), &handle, 0)
                             : D3DERR_INVALIDCALL;
        });
        if (FAILED(hr)) return hr;
        m_dwShader[n] = handle;
    }
    // The shared-pose shader; without it the palette shaders draw every whale.
    if (m_dwPosedShader == kNoShader && m_pDevice) {
        ComPtr<ID3DXBuffer> code;
        if (SUCCEEDED(D3DXAssembleShaderFromResourceA("skinposed.vsh", 0, nullptr, code.Out(), nullptr))) {
            DWORD handle = kNoShader;
            if (SUCCEEDED(m_pDevice->CreateVertexShader(kPosedDeclaration, code->GetBufferPointer(), &handle, 0))) {
                m_dwPosedShader = handle;
            }
        }
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
    HRESULT hr = c->m_pSkinMesh->ConvertToIndexedBlendedMesh(options, c->m_pAdjacency.get(), c->m_dwPaletteSize, nullptr,
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
    StartLod(c);
    return S_OK;
}

HRESULT SkinnedMesh::Render(const SkinRenderParams& params) {
    if (!m_Model.GetDrawElements() || !m_pDevice) return 0;
    if (m_bSharedPose && m_dwPosedShader != kNoShader && PreparePose()) return RenderPosed(params);
    m_dwFramesPosed = 0;  // the frames below take this instance's world matrix
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
    const D3DXVECTOR4 light = CameraLight(params);
    hr = m_pDevice->SetVertexShaderConstant(kRegLight, &light, 1);
    if (FAILED(hr)) return hr;

    // The instance's rotation becomes the root's local matrix, its position
    // the root's translation matrix.
    D3DXMATRIX rotation = params.matWorld, translation;
    rotation._41 = rotation._42 = rotation._43 = 0.0f;
    D3DXMatrixTranslation(&translation, params.matWorld._41, params.matWorld._42, params.matWorld._43);
    for (DrawElement* e = m_Model.GetDrawElements(); e; e = e->m_pNext.get()) {
        e->m_pRootFrame->m_matRot = rotation;
        e->m_pRootFrame->m_matTrans = translation;
    }
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    for (DrawElement* e = m_Model.GetDrawElements(); e; e = e->m_pNext.get()) {
        SkinnedModel::UpdateFrames(e->m_pRootFrame.get(), identity);
        hr = DrawFrames(e->m_pRootFrame.get());
        if (FAILED(hr)) return hr;
    }
    return 0;
}

HRESULT SkinnedMesh::DrawFrames(MeshFrame* frame) {
    for (; frame; frame = frame->m_pSibling.get()) {
        if (frame->m_pMeshContainer) {
            HRESULT hr = m_pDevice->SetTransform(D3DTS_WORLD, &frame->m_matCombined);
            if (FAILED(hr)) return hr;
            for (MeshContainer* c = frame->m_pMeshContainer.get(); c; c = c->m_pNext.get()) {
                hr = DrawMeshContainer(c);
                if (FAILED(hr)) return hr;
            }
        }
        const HRESULT hr = DrawFrames(frame->m_pChild.get());
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

// Unskinned: material i and texture i on stage 0, subset i, through the
// fixed-function path with the device's transforms.
HRESULT SkinnedMesh::DrawUnskinned(MeshContainer* c) {
    if (!c->m_pMesh) return S_OK;
    HRESULT hr = m_pDevice->SetVertexShader(c->m_pMesh->GetFVF());
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

HRESULT SkinnedMesh::DrawMeshContainer(MeshContainer* c) {
    if (!c->m_pSkinMesh) return DrawUnskinned(c);
    HRESULT hr = S_OK;
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
            hr = m_pDevice->SetTexture(1, group.AttribId < c->m_dwMaterials ? c->m_ppTextures[group.AttribId].Get() : nullptr);
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

// --- The shared pose -------------------------------------------------------

namespace {
// The largest bounding radius of the skinned meshes of a subtree (0: none
// with a level of detail).
float LargestRadius(MeshFrame* frame) {
    float r = 0.0f;
    ForEachContainer(frame, [&](MeshFrame*, MeshContainer* c) {
        if (c->m_pLodIB[0]) r = std::max(r, c->m_fRadius);
    });
    return r;
}
}  // namespace

bool SkinnedMesh::PreparePose() {
    if (m_dwFramesPosed == m_Model.GetPoseSerial()) return m_bPoseReady;
    // The frames' combined matrices in model space (the roots at identity),
    // once per pose: every instance's world matrix goes to the shader instead.
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    for (DrawElement* e = m_Model.GetDrawElements(); e; e = e->m_pNext.get()) {
        e->m_pRootFrame->m_matRot = identity;
        e->m_pRootFrame->m_matTrans = identity;
        SkinnedModel::UpdateFrames(e->m_pRootFrame.get(), identity);
    }
    m_dwFramesPosed = m_Model.GetPoseSerial();
    m_bPoseReady = true;
    for (DrawElement* e = m_Model.GetDrawElements(); m_bPoseReady && e; e = e->m_pNext.get()) {
        m_bPoseReady = PrepareFrames(e->m_pRootFrame.get());
    }
    return m_bPoseReady;
}

bool SkinnedMesh::PrepareFrames(MeshFrame* frame) {
    return ForEachContainer(frame, [&](MeshFrame*, MeshContainer* c) {
        if (!c->m_pSkinMesh) return true;
        if (c->m_dwBuiltMethod != m_dwMethod && FAILED(GenerateMesh(c))) {
            c->m_dwBuiltMethod = m_dwMethod;  // tried once for this device generation, as DrawMeshContainer
        }
        return !c->m_pMesh || !c->m_pBoneCombinationBuf || SkinPosed(c);
    });
}

HRESULT SkinnedMesh::RenderPosed(const SkinRenderParams& params) {
    m_matView = params.matView;
    m_fFogDistance = params.fFogDistance;
    static const D3DMATERIAL8 kOpaque = {{1.0f, 1.0f, 1.0f, 1.0f}, {1.0f, 1.0f, 1.0f, 1.0f}, {}, {}, 0.0f};
    HRESULT hr = m_pDevice->SetMaterial(&kOpaque);
    if (FAILED(hr)) return hr;

    // Per instance: projection, light, fog and world x view.
    D3DXMATRIX projection, worldView, rows;
    D3DXMatrixTranspose(&projection, &params.matProj);
    const D3DXVECTOR4 light = CameraLight(params);
    D3DXMatrixMultiply(&worldView, &params.matWorld, &params.matView);
    D3DXMatrixTranspose(&rows, &worldView);
    m_nLevel = LevelOfDetail(params, worldView);
    const float fog[4] = {m_fFogDistance > 0.0f ? -1.0f / m_fFogDistance : 0.0f, 1.0f, 0.0f, 0.0f};
    hr = m_pDevice->SetVertexShaderConstant(kRegConsts, kConsts, 1);
    if (SUCCEEDED(hr)) hr = m_pDevice->SetVertexShaderConstant(kRegLight, &light, 1);
    if (SUCCEEDED(hr)) hr = m_pDevice->SetVertexShaderConstant(kRegProjection, &projection, 4);
    if (SUCCEEDED(hr)) hr = m_pDevice->SetVertexShaderConstant(kRegFog, fog, 1);
    if (SUCCEEDED(hr)) hr = m_pDevice->SetVertexShaderConstant(kRegWorldView, &rows, 3);
    for (DrawElement* e = m_Model.GetDrawElements(); SUCCEEDED(hr) && e; e = e->m_pNext.get()) {
        hr = DrawPosedFrames(e->m_pRootFrame.get(), params.matWorld);
    }
    return hr;
}

// Far away: the bounding sphere (the largest mesh radius, scaled as the world
// matrix scales) at most kLodPixels across in the view it is drawn into (a
// monitor's part of the back buffer, or all of it). 0: full detail.
int SkinnedMesh::LevelOfDetail(const SkinRenderParams& params, const D3DXMATRIX& worldView) {
    D3DVIEWPORT8 viewport{};
    if (!m_bLod || !(worldView._43 > 0.0f) || FAILED(m_pDevice->GetViewport(&viewport))) return 0;
    float radius = 0.0f;
    for (DrawElement* e = m_Model.GetDrawElements(); e; e = e->m_pNext.get()) {
        radius = std::max(radius, LargestRadius(e->m_pRootFrame.get()));
    }
    const D3DXMATRIX& world = params.matWorld;
    const float scale = std::sqrt(world._11 * world._11 + world._12 * world._12 + world._13 * world._13);
    const float pixels = 2.0f * radius * scale / worldView._43 * params.matProj._22 * 0.5f *
                         static_cast<float>(viewport.Height);
    int level = 0;
    for (int i = 0; radius > 0.0f && i < kLodLevels; ++i) {
        if (pixels <= kLodPixels[i]) level = i + 1;
    }
    return level;
}

HRESULT SkinnedMesh::DrawPosedFrames(MeshFrame* frame, const D3DXMATRIX& world) {
    HRESULT hr = S_OK;
    ForEachContainer(frame, [&](MeshFrame* holder, MeshContainer* c) {
        if (c->m_pSkinMesh) {
            hr = DrawPosedContainer(c);
        } else {
            // An unskinned mesh: the fixed-function path with its frame
            // placed by this instance.
            D3DXMATRIX placed;
            D3DXMatrixMultiply(&placed, &holder->m_matCombined, &world);
            hr = m_pDevice->SetTransform(D3DTS_WORLD, &placed);
            if (SUCCEEDED(hr)) hr = DrawUnskinned(c);
        }
        return SUCCEEDED(hr);
    });
    return hr;
}

// Skins the blended mesh's vertices into the posed buffer with the frames'
// current (model-space) matrices: per vertex the weighted sum over its bones of
// p x offset(b) x combined(b), as the palette shaders do per instance in camera
// space. Bone slots follow the palette the shaders would see group by group (an
// empty slot keeps the bone of an earlier group). False when the mesh's layout
// is not the one GenerateMesh builds.
bool SkinnedMesh::SkinPosed(MeshContainer* c) {
    const DWORD n = c->m_dwMaxInfluences;
    const UINT stride = D3DXGetFVFVertexSize(c->m_pMesh->GetFVF());
    if (n < 1 || n > 4 || stride != BlendedVertexBytes(n)) return false;
    const DWORD vertices = c->m_pMesh->GetNumVertices();
    if (!c->m_pPosedVB) {
        if (FAILED(m_pDevice->CreateVertexBuffer(vertices * sizeof(PosedVertex), D3DUSAGE_WRITEONLY, 0,
                                                 D3DPOOL_MANAGED, c->m_pPosedVB.Out()))) {
            c->m_pPosedVB.Reset();
            return false;
        }
        c->m_dwPosedSerial = 0;
        BuildLod(c);
    }
    if (c->m_dwPosedSerial == m_Model.GetPoseSerial()) return true;

    // The palette of every group: offset x combined, model space.
    D3DXMATRIX palette[kPaletteSize];
    DWORD slotBone[kPaletteSize];
    for (DWORD i = 0; i < kPaletteSize; ++i) slotBone[i] = 0xFFFFFFFFu;
    const DWORD bones = c->m_pSkinMesh->GetNumBones();
    const BYTE* src = nullptr;
    BYTE* dst = nullptr;
    if (FAILED(c->m_pMesh->LockVertexBuffer(D3DLOCK_READONLY, const_cast<BYTE**>(&src)))) return false;
    if (FAILED(c->m_pPosedVB->Lock(0, 0, &dst, 0))) {
        c->m_pMesh->UnlockVertexBuffer();
        return false;
    }
    const auto* groups = static_cast<const D3DXBONECOMBINATION*>(c->m_pBoneCombinationBuf->GetBufferPointer());
    auto* out = reinterpret_cast<PosedVertex*>(dst);
    for (DWORD g = 0; g < c->m_dwAttribGroups; ++g) {
        const D3DXBONECOMBINATION& group = groups[g];
        for (DWORD i = 0; i < c->m_dwPaletteSize; ++i) {
            const DWORD b = group.BoneId[i];
            if (b == 0xFFFFFFFFu || b >= bones || slotBone[i] == b) continue;
            D3DXMatrixMultiply(&palette[i], &c->m_pBoneOffsetMat[b], c->m_ppBoneMatrix[b]);
            slotBone[i] = b;
        }
        const DWORD end = group.VertexStart + group.VertexCount;
        for (DWORD v = group.VertexStart; v < end && v < vertices; ++v) {
            SkinVertex(src + std::size_t{v} * stride, n, palette, slotBone, c->m_dwPaletteSize, &out[v]);
        }
    }
    c->m_pPosedVB->Unlock();
    c->m_pMesh->UnlockVertexBuffer();
    c->m_dwPosedSerial = m_Model.GetPoseSerial();
    return true;
}

namespace {

// The blended mesh's positions (x, y, z per vertex) and triangles; false when
// it cannot be read.
bool ReadGeometry(ID3DXMesh* mesh, std::vector<float>* positions, std::vector<std::uint32_t>* indices) {
    const DWORD vertices = mesh->GetNumVertices(), faces = mesh->GetNumFaces();
    const UINT stride = D3DXGetFVFVertexSize(mesh->GetFVF());
    const bool wide = (mesh->GetOptions() & D3DXMESH_32BIT) != 0;
    positions->resize(std::size_t{vertices} * 3);
    indices->resize(std::size_t{faces} * 3);
    BYTE* bytes = nullptr;
    if (FAILED(mesh->LockVertexBuffer(D3DLOCK_READONLY, &bytes))) return false;
    for (DWORD v = 0; v < vertices; ++v) {
        std::memcpy(&(*positions)[std::size_t{v} * 3], bytes + std::size_t{v} * stride, 12);
    }
    mesh->UnlockVertexBuffer();
    if (FAILED(mesh->LockIndexBuffer(D3DLOCK_READONLY, &bytes))) return false;
    for (std::size_t i = 0; i < indices->size(); ++i) {
        if (wide) {
            std::memcpy(&(*indices)[i], bytes + 4 * i, 4);
        } else {
            WORD w;
            std::memcpy(&w, bytes + 2 * i, 2);
            (*indices)[i] = w;
        }
    }
    mesh->UnlockIndexBuffer();
    return true;
}

}  // namespace

// Starts simplifying the blended mesh just made on a worker thread (start-up
// work, once per mesh built). Without a thread, the job is deferred: BuildLod
// then simplifies in place.
void SkinnedMesh::StartLod(MeshContainer* c) {
    c->m_LodJob = {};  // a job for an earlier mesh ends first
    c->m_fRadius = 0.0f;
    std::vector<float> positions;
    std::vector<std::uint32_t> indices;
    try {
        if (!ReadGeometry(c->m_pMesh, &positions, &indices)) return;
        for (std::size_t v = 0; v < positions.size(); v += 3) {
            const float* p = &positions[v];
            c->m_fRadius = std::max(c->m_fRadius, std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]));
        }
        const auto simplify = [positions = std::move(positions), indices = std::move(indices)] {
            return SimplifyLevels(positions, indices, kLodShare);
        };
        try {
            c->m_LodJob = std::async(std::launch::async, simplify);
        } catch (const std::system_error&) {  // no thread to be had
            c->m_LodJob = std::async(std::launch::deferred, simplify);
        }
    } catch (const std::bad_alloc&) {  // drawn at full detail
    }
}

// The lower levels of detail over the blended mesh's vertices (start-up
// work, once per device generation): only for a mesh drawn with one texture,
// whose groups can be one draw.
void SkinnedMesh::BuildLod(MeshContainer* c) {
    c->DropLods();
    const auto* groups = static_cast<const D3DXBONECOMBINATION*>(c->m_pBoneCombinationBuf->GetBufferPointer());
    for (DWORD g = 1; g < c->m_dwAttribGroups; ++g) {
        const DWORD a = groups[g].AttribId, b = groups[0].AttribId;
        const IDirect3DTexture8* ta = a < c->m_dwMaterials ? c->m_ppTextures[a].Get() : nullptr;
        const IDirect3DTexture8* tb = b < c->m_dwMaterials ? c->m_ppTextures[b].Get() : nullptr;
        if (ta != tb) return;
    }
    if (!c->m_LodJob.valid()) return;  // drawn at full detail
    std::vector<std::vector<std::uint32_t>> levels;
    try {
        levels = c->m_LodJob.get();
    } catch (const std::bad_alloc&) {
        return;
    }

    const bool wide = (c->m_pMesh->GetOptions() & D3DXMESH_32BIT) != 0;
    for (std::size_t level = 0; level < levels.size() && level < MeshContainer::kLodLevels; ++level) {
        const std::vector<std::uint32_t>& lod = levels[level];
        const UINT size = static_cast<UINT>(lod.size() * (wide ? 4 : 2));
        ComPtr<IDirect3DIndexBuffer8>& ib = c->m_pLodIB[level];
        BYTE* bytes = nullptr;
        if (FAILED(m_pDevice->CreateIndexBuffer(size, D3DUSAGE_WRITEONLY, wide ? D3DFMT_INDEX32 : D3DFMT_INDEX16,
                                                D3DPOOL_MANAGED, ib.Out()))) {
            ib.Reset();
            return;
        }
        if (FAILED(ib->Lock(0, 0, &bytes, 0))) {
            ib.Reset();
            return;
        }
        for (std::size_t i = 0; i < lod.size(); ++i) {
            if (wide) {
                std::memcpy(bytes + 4 * i, &lod[i], 4);
            } else {
                const WORD w = static_cast<WORD>(lod[i]);
                std::memcpy(bytes + 2 * i, &w, 2);
            }
        }
        ib->Unlock();
        c->m_dwLodFaces[level] = static_cast<DWORD>(lod.size() / 3);
    }
}

HRESULT SkinnedMesh::DrawPosedContainer(MeshContainer* c) {
    if (!c->m_pMesh || !c->m_pBoneCombinationBuf || !c->m_pPosedVB) return S_OK;
    HRESULT hr = S_OK;
    if (c->m_bSoftwareVP) m_pDevice->SetRenderState(D3DRS_SOFTWAREVERTEXPROCESSING, TRUE);
    // The coarsest level built, up to this instance's.
    int level = m_nLevel;
    while (level > 0 && !c->m_pLodIB[level - 1]) --level;
    const bool lod = level > 0;
    ComPtr<IDirect3DIndexBuffer8> full;
    if (!lod) c->m_pMesh->GetIndexBuffer(full.Out());
    hr = m_pDevice->SetStreamSource(0, c->m_pPosedVB, sizeof(PosedVertex));
    if (SUCCEEDED(hr)) hr = m_pDevice->SetIndices(lod ? c->m_pLodIB[level - 1].Get() : full.Get(), 0);
    if (SUCCEEDED(hr)) hr = m_pDevice->SetVertexShader(m_dwPosedShader);
    if (SUCCEEDED(hr)) hr = m_pDevice->SetTexture(0, m_pToonTexture);
    if (lod) {
        // One texture for the whole mesh (BuildLod checked): one draw.
        const auto* first = static_cast<const D3DXBONECOMBINATION*>(c->m_pBoneCombinationBuf->GetBufferPointer());
        if (SUCCEEDED(hr)) {
            hr = m_pDevice->SetTexture(1, first->AttribId < c->m_dwMaterials ? c->m_ppTextures[first->AttribId].Get() : nullptr);
        }
        if (SUCCEEDED(hr)) {
            hr = m_pDevice->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, c->m_pMesh->GetNumVertices(), 0,
                                                 c->m_dwLodFaces[level - 1]);
        }
        m_pDevice->SetTexture(0, nullptr);
        m_pDevice->SetTexture(1, nullptr);
        if (c->m_bSoftwareVP) m_pDevice->SetRenderState(D3DRS_SOFTWAREVERTEXPROCESSING, FALSE);
        return hr;
    }

    // Consecutive groups with the same texture are one draw: the posed
    // vertices no longer need a palette per group.
    const auto* groups = static_cast<const D3DXBONECOMBINATION*>(c->m_pBoneCombinationBuf->GetBufferPointer());
    auto textureOf = [&](const D3DXBONECOMBINATION& g) {
        return g.AttribId < c->m_dwMaterials ? c->m_ppTextures[g.AttribId].Get() : nullptr;
    };
    for (DWORD g = 0; SUCCEEDED(hr) && g < c->m_dwAttribGroups;) {
        IDirect3DTexture8* texture = textureOf(groups[g]);
        DWORD faceStart = groups[g].FaceStart, faceEnd = faceStart + groups[g].FaceCount;
        DWORD vertexStart = groups[g].VertexStart, vertexEnd = vertexStart + groups[g].VertexCount;
        DWORD next = g + 1;
        for (; next < c->m_dwAttribGroups && textureOf(groups[next]) == texture && groups[next].FaceStart == faceEnd;
             ++next) {
            faceEnd += groups[next].FaceCount;
            if (groups[next].VertexStart < vertexStart) vertexStart = groups[next].VertexStart;
            if (groups[next].VertexStart + groups[next].VertexCount > vertexEnd) {
                vertexEnd = groups[next].VertexStart + groups[next].VertexCount;
            }
        }
        hr = m_pDevice->SetTexture(1, texture);
        if (SUCCEEDED(hr) && faceEnd > faceStart) {
            hr = m_pDevice->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, vertexStart, vertexEnd - vertexStart,
                                                 faceStart * 3, faceEnd - faceStart);
        }
        g = next;
    }
    m_pDevice->SetTexture(0, nullptr);
    m_pDevice->SetTexture(1, nullptr);
    if (c->m_bSoftwareVP) m_pDevice->SetRenderState(D3DRS_SOFTWAREVERTEXPROCESSING, FALSE);
    return hr;
}

void SkinnedMesh::ReleaseDrawableMeshes(MeshFrame* frame) {
    ForEachContainer(frame, [&](MeshFrame*, MeshContainer* c) {
        if (!c->m_pSkinMesh) return;
        c->m_pMesh.Reset();
        c->m_pBoneCombinationBuf.Reset();
        c->m_pPosedVB.Reset();
        c->DropLods();
        c->m_dwPosedSerial = 0;
        m_dwFramesPosed = 0;
        c->m_dwAttribGroups = 0;
        c->m_dwBuiltMethod = 2;
    });
}

HRESULT SkinnedMesh::InvalidateDeviceObjects() {
    for (DrawElement* e = m_Model.GetDrawElements(); e; e = e->m_pNext.get()) ReleaseDrawableMeshes(e->m_pRootFrame.get());
    for (DWORD* shader : {&m_dwShader[0], &m_dwShader[1], &m_dwShader[2], &m_dwShader[3], &m_dwPosedShader}) {
        if (*shader != kNoShader) {
            if (m_pDevice) m_pDevice->DeleteVertexShader(*shader);
            *shader = kNoShader;
        }
    }
    return 0;
}

HRESULT SkinnedMesh::DeleteDeviceObjects() {
    m_Model.Unload();
    m_pToonTexture.Reset();
    return 0;
}
