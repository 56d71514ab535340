// Loading, bounds, culling, queueing and collision queries of rigid X-file models.
#include "scene/xmodel.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <utility>

#include "platform/base/alloc.h"
#include "platform/os/resource.h"
#include "platform/xfile/xfile_walk.h"
#include "render/zsort_render.h"
#include "scene/texture_cache.h"
#include "core/errlog.h"

namespace {

// The object's name into a 512-byte buffer; empty when it has none (or one
// too long to keep).
void ReadName(IDirectXFileObject* object, char (&name)[512]) {
    DWORD size = sizeof name;
    if (FAILED(object->GetName(name, &size))) name[0] = '\0';
    name[sizeof name - 1] = '\0';
}

bool IsType(IDirectXFileData* data, const GUID& type) {
    const GUID* id = nullptr;
    return SUCCEEDED(data->GetType(&id)) && id && *id == type;
}

// Visits the children of a frame in order (ForEachXFileChild), running
// `walk` on each data object; a child that is not a data object (a
// reference) ends the walk with E_NOINTERFACE, the status its query as a
// data object gives.
template <typename Walk>
HRESULT WalkChildren(IDirectXFileData* frame, Walk&& walk) {
    return ForEachXFileChild(frame, [&](const XFileChild& child) -> HRESULT {
        return child.data ? walk(child.data) : E_NOINTERFACE;
    });
}

}  // namespace

// ---- MeshDisplay ------------------------------------------------------------

HRESULT MeshDisplay::Load(IDirect3DDevice8* device, IDirectXFileData* meshData, ErrLog* log) {
    ReadName(meshData, m_szName);
    ComPtr<ID3DXBuffer> materials;
    DWORD numMaterials = 0;
    bool keepMesh = false;  // a failed buffer creation leaves the mesh to DeleteDeviceObjects
    HRESULT hr = LoadSystemMesh(device, meshData, log, &materials, &numMaterials);
    if (SUCCEEDED(hr)) hr = MakeFadeMaterials(device, materials, numMaterials, log);
    if (SUCCEEDED(hr)) hr = SortByAttribute(log);
    if (SUCCEEDED(hr)) hr = CloneToToonFormat(device, log);
    if (SUCCEEDED(hr)) hr = CreateBuffers(device, log, &keepMesh);
    if (SUCCEEDED(hr)) hr = FillBuffers();
    if (SUCCEEDED(hr)) hr = ComputeBounds();
    if (FAILED(hr) && !keepMesh) m_pMeshSystem.Reset();
    return FAILED(hr) ? hr : S_OK;
}

// The mesh as the file holds it, in system memory, and its material list.
HRESULT MeshDisplay::LoadSystemMesh(IDirect3DDevice8* device, IDirectXFileData* meshData, ErrLog* log,
                                    ComPtr<ID3DXBuffer>* materials, DWORD* numMaterials) {
    ComPtr<ID3DXBuffer> adjacency;
    return ObjectStep(log, "\t\t\tD3DXLoadMeshFromXof...\n", "\t\t\tFailed\n", [&] {
        return device ? D3DXLoadMeshFromXof(meshData, D3DXMESH_SYSTEMMEM, device, adjacency.Out(), materials->Out(),
                                            numMaterials, m_pMeshSystem.Out())
                      : E_FAIL;
    });
}

// Ten copies of the materials, one per fade level: diffuse alpha
// (level + 1) * 0.1 and ambient equal to that diffuse colour; and each
// material's texture from the shared cache.
HRESULT MeshDisplay::MakeFadeMaterials(IDirect3DDevice8* device, ID3DXBuffer* materials, DWORD numMaterials,
                                       ErrLog* log) {
    if (!materials || numMaterials == 0) return S_OK;
    if (static_cast<std::uint64_t>(numMaterials) * sizeof(D3DXMATERIAL) > materials->GetBufferSize()) return E_FAIL;
    const auto* mtrl = static_cast<const D3DXMATERIAL*>(materials->GetBufferPointer());
    for (DWORD level = 0; level < kFadeLevels; ++level) {
        m_pMaterials[level] = NewUniqueArray<D3DMATERIAL8>(numMaterials);
        if (!m_pMaterials[level]) return E_OUTOFMEMORY;
        for (DWORD m = 0; m < numMaterials; ++m) {
            D3DMATERIAL8& out = m_pMaterials[level][m];
            out = mtrl[m].MatD3D;
            out.Diffuse.a = static_cast<float>(level + 1) * 0.1f;
            out.Ambient = out.Diffuse;
        }
    }
    m_ppTextures = NewUniqueArray<IDirect3DTexture8*>(numMaterials);
    if (!m_ppTextures) return E_OUTOFMEMORY;
    m_dwNumMaterials = numMaterials;
    for (DWORD m = 0; m < numMaterials; ++m) {
        if (mtrl[m].pTextureFilename) {
            m_ppTextures[m] = g_TextureCache.AcquireTexture(device, mtrl[m].pTextureFilename, log);
        }
    }
    return S_OK;
}

// Faces sorted by attribute, and the attribute table: one draw call per range.
HRESULT MeshDisplay::SortByAttribute(ErrLog* log) {
    ID3DXMesh* optimised = nullptr;
    HRESULT hr = ObjectStep(log, "\t\t\tm_pMeshSystem->Optimize...\n", "\t\t\tFailed\n", [&] {
        return m_pMeshSystem->Optimize(D3DXMESHOPT_ATTRSORT, nullptr, nullptr, nullptr, nullptr, &optimised);
    });
    if (FAILED(hr)) return hr;
    m_pMeshSystem.Reset(optimised);

    DWORD numRanges = 0;
    if (FAILED(hr = m_pMeshSystem->GetAttributeTable(nullptr, &numRanges))) return hr;
    m_pAttribTable = NewUniqueArray<D3DXATTRIBUTERANGE>(numRanges ? numRanges : 1);
    if (!m_pAttribTable) return E_OUTOFMEMORY;
    if (FAILED(hr = m_pMeshSystem->GetAttributeTable(m_pAttribTable.get(), &numRanges))) return hr;
    m_dwNumRanges = numRanges;
    return S_OK;
}

// The mesh in the toon vertex format, with normals computed.
HRESULT MeshDisplay::CloneToToonFormat(IDirect3DDevice8* device, ErrLog* log) {
    ID3DXMesh* clone = nullptr;
    const HRESULT hr = ObjectStep(log, "\t\t\tm_pMeshSystem->CloneMeshFVF...\n", "\t\t\tFailed\n",
                                  [&] { return m_pMeshSystem->CloneMeshFVF(D3DXMESH_SYSTEMMEM, kFVF, device, &clone); });
    if (FAILED(hr)) return hr;
    m_pMeshSystem.Reset(clone);
    D3DXComputeNormals(m_pMeshSystem, nullptr);
    return S_OK;
}

// The managed vertex and 16-bit index buffers the renderer draws from. A
// mesh too large for 16-bit indices fails here too.
HRESULT MeshDisplay::CreateBuffers(IDirect3DDevice8* device, ErrLog* log, bool* keepMesh) {
    const DWORD numVertices = m_pMeshSystem->GetNumVertices();
    const DWORD numFaces = m_pMeshSystem->GetNumFaces();
    // Fixed log text, sic: keep as is.
    const HRESULT hr = ObjectStep(log, "\t\t\tCreateVertex,IndexBuffer...\n", "\t\t\tFailed\n", [&] {
        HRESULT made = device->CreateVertexBuffer(numVertices * kVertexSize, 0, kFVF, D3DPOOL_MANAGED, m_pVB.Out());
        if (SUCCEEDED(made)) {
            made = device->CreateIndexBuffer(numFaces * 3 * sizeof(WORD), 0, D3DFMT_INDEX16, D3DPOOL_MANAGED,
                                             m_pIB.Out());
        }
        *keepMesh = FAILED(made);
        if (SUCCEEDED(made) && (m_pMeshSystem->GetOptions() & D3DXMESH_32BIT) != 0) made = E_FAIL;
        return made;
    });
    return hr;
}

// The toon vertices: as cloned, except that pure red (0xFFFF0000) becomes
// white, and the second texture pair repeats the first; the indices as they are.
HRESULT MeshDisplay::FillBuffers() {
    const DWORD numVertices = m_pMeshSystem->GetNumVertices();
    const DWORD numFaces = m_pMeshSystem->GetNumFaces();
    BYTE* src = nullptr;
    BYTE* dst = nullptr;
    HRESULT hr;
    if (FAILED(hr = m_pMeshSystem->LockVertexBuffer(D3DLOCK_READONLY, &src))) return hr;
    if (FAILED(hr = m_pVB->Lock(0, 0, &dst, 0))) {
        m_pMeshSystem->UnlockVertexBuffer();
        return hr;
    }
    for (DWORD i = 0; i < numVertices; ++i) {
        Vertex v;
        std::memcpy(&v, src + static_cast<std::size_t>(i) * kVertexSize, sizeof v);
        if (v.diffuse == 0xFFFF0000u) v.diffuse = 0xFFFFFFFFu;
        v.u1 = v.u0;
        v.v1 = v.v0;
        std::memcpy(dst + static_cast<std::size_t>(i) * kVertexSize, &v, sizeof v);
    }
    m_pVB->Unlock();
    m_pMeshSystem->UnlockVertexBuffer();

    if (FAILED(hr = m_pMeshSystem->LockIndexBuffer(D3DLOCK_READONLY, &src))) return hr;
    if (FAILED(hr = m_pIB->Lock(0, 0, &dst, 0))) {
        m_pMeshSystem->UnlockIndexBuffer();
        return hr;
    }
    std::memcpy(dst, src, static_cast<std::size_t>(numFaces) * 3 * sizeof(WORD));
    m_pIB->Unlock();
    m_pMeshSystem->UnlockIndexBuffer();
    return S_OK;
}

HRESULT MeshDisplay::ComputeBounds() { return ComputeBoundVolume(m_pMeshSystem, &m_Bound); }

int MeshDisplay::TransformBounds(const D3DXMATRIX& world) {
    m_Bound.Transform(world);
    return 0;
}

DWORD MeshDisplay::FadeLevel(float distance) {
    float f = distance / kFadeDistance;
    if (f > 1.0f) f = 1.0f;
    if (!(f >= 0.5f)) return kFadeLevels - 1;  // near (or an undefined distance): opaque
    const int level = static_cast<int>((1.0f - (2.0f * f - 1.0f)) * 10.0f);
    return level > 9 ? 9u : static_cast<DWORD>(level);
}

HRESULT MeshDisplay::Render(IDirect3DDevice8* /*device*/, const FrustumRecord* frustum, const Camera* camera,
                            int /*reserved*/, const D3DXMATRIX& world, ZSortRender* renderer) {
    if (!m_pMeshSystem) return E_FAIL;
    if (!camera || !frustum || !renderer) return 0;

    const D3DXVECTOR3 toCentre = m_Bound.m_vWorldCenter - camera->GetPosition();
    const DWORD level = FadeLevel(D3DXVec3Length(&toCentre));

    if (IsVisible(frustum)) {
        renderer->Add(m_pVB, m_pIB, m_pAttribTable.get(), world, m_Bound.m_vWorldCenter, m_pMaterials[level].get(),
                      m_ppTextures.get(), m_dwNumRanges);
    }
    return 0;
}

int MeshDisplay::IsVisible(const FrustumRecord* frustum) const {
    if (!frustum) return 0;
    return BoxInFrustum(m_Bound.m_vWorldCorner, m_Bound.m_WorldPlane, *frustum);
}

int MeshDisplay::DeleteDeviceObjects() {
    if (m_ppTextures) {
        for (DWORD m = 0; m < m_dwNumMaterials; ++m) g_TextureCache.ReleaseTexture(m_ppTextures[m]);
        m_ppTextures.reset();
    }
    for (auto& set : m_pMaterials) set.reset();
    m_pAttribTable.reset();
    m_pIB.Reset();
    m_pVB.Reset();
    m_pMeshSystem.Reset();
    m_dwNumMaterials = 0;
    m_dwNumRanges = 0;
    return 0;
}

// ---- MeshDammy --------------------------------------------------------------

HRESULT MeshDammy::Load(IDirect3DDevice8* device, IDirectXFileData* meshData, ErrLog* log) {
    ReadName(meshData, m_szName);
    ComPtr<ID3DXBuffer> adjacency;  // a hull needs neither; its textures are never loaded
    ComPtr<ID3DXBuffer> materials;
    DWORD numMaterials = 0;
    // A hull lives in system memory: it loads without a device too.
    HRESULT hr = ObjectStep(log, "\t\t\tD3DXLoadMeshFromXof...\n", "\t\t\tFailed\n", [&] {
        return D3DXLoadMeshFromXof(meshData, D3DXMESH_SYSTEMMEM, device, adjacency.Out(), materials.Out(),
                                   &numMaterials, m_pMesh.Out());
    });
    ID3DXMesh* clone = nullptr;
    if (SUCCEEDED(hr)) {
        hr = ObjectStep(log, "\t\t\tCloneMeshFVF...\n", "\t\t\tFailed\n",
                        [&] { return m_pMesh->CloneMeshFVF(D3DXMESH_SYSTEMMEM, kFVF, device, &clone); });
    }
    if (FAILED(hr)) {
        m_pMesh.Reset();
        return hr;
    }
    m_pMesh.Reset(clone);
    return ComputeBounds();
}

HRESULT MeshDammy::ComputeBounds() { return ComputeBoundVolume(m_pMesh, &m_Bound); }

int MeshDammy::TransformBounds(const D3DXMATRIX& world) {
    m_Bound.Transform(world);
    m_Bound.m_fWorldRadius = m_Bound.m_fRadius;
    return 0;
}

int MeshDammy::Intersect(const D3DXVECTOR3& p, const D3DXVECTOR3& q, D3DXVECTOR3* normal, const D3DXMATRIX& world) {
    if (!SegmentMeetsSphere(p, q, m_Bound.m_vCenter, m_Bound.m_fRadius, world)) return 0;
    return IntersectSegmentMesh(m_pMesh, p, q, normal, world);
}

int MeshDammy::DeleteDeviceObjects() {
    m_pMesh.Reset();
    return 0;
}

// ---- XModel -----------------------------------------------------------------

HRESULT XModel::OpenFile(ComPtr<IDirectXFile>* file, ComPtr<IDirectXFileEnumObject>* enumObject,
                         const char* startLine, ErrLog* log) {
    enumObject->Reset();
    if (FAILED(DirectXFileCreate(file->Out()))) return E_FAIL;
    if (FAILED((*file)->RegisterTemplates(D3DRM_XTEMPLATES, D3DRM_XTEMPLATE_BYTES))) {
        file->Reset();
        return E_FAIL;
    }
    const HRESULT hr = ObjectStep(log, startLine, "\t\t\tFailed\n", [&] {
        ResourceData resource = FindResourceData(m_szName, "Model");
        if (m_pSourceData) resource = ResourceData{m_pSourceData, m_nSourceSize};
        return resource ? (*file)->CreateEnumObject(resource.data, static_cast<DWORD>(resource.size), enumObject->Out())
                        : DXFILEERR_NOTFOUND;
    });
    if (FAILED(hr)) {
        file->Reset();
        enumObject->Reset();
        return hr;
    }
    return S_OK;
}

HRESULT XModel::CountMeshes(IDirectXFileData* data, ErrLog* log) {
    if (IsType(data, TID_D3DRMMesh)) {
        ++m_dwMeshNum;
        char name[512];
        ReadName(data, name);
        if (std::strstr(name, "display")) {
            ++m_dwMeshDisplayNum;
        } else if (std::strstr(name, "dammy")) {
            ++m_dwMeshDammyNum;
        } else {
            LogLine(log, "\t\t\tInvalidate Name\n");  // fixed log text, sic: keep as is
            return E_FAIL;
        }
        return S_OK;  // a mesh is never descended into
    }
    if (IsType(data, TID_D3DRMFrame)) {
        return WalkChildren(data, [&](IDirectXFileData* child) { return CountMeshes(child, log); });
    }
    return S_OK;
}

HRESULT XModel::LoadMeshes(IDirectXFileData* data, IDirect3DDevice8* device, ErrLog* log) {
    if (IsType(data, TID_D3DRMMesh)) {
        char name[512];
        ReadName(data, name);
        if (std::strstr(name, "display")) {
            if (m_dwMeshDisplayFill >= m_dwMeshDisplayNum) return E_FAIL;  // the file changed between the walks
            if (!device) return S_OK;  // headless: only the collision hulls load
            return m_pMeshDisplay[m_dwMeshDisplayFill++].Load(device, data, log);
        }
        if (std::strstr(name, "dammy")) {
            if (m_dwMeshDammyFill >= m_dwMeshDammyNum) return E_FAIL;
            return m_pMeshDammy[m_dwMeshDammyFill++].Load(device, data, log);
        }
        return S_OK;
    }
    if (IsType(data, TID_D3DRMFrame)) {
        return WalkChildren(data, [&](IDirectXFileData* child) { return LoadMeshes(child, device, log); });
    }
    return S_OK;
}

HRESULT XModel::LoadXFile(IDirect3DDevice8* device, const char* name, ErrLog* log) {
    DeleteDeviceObjects();  // a model loads from empty
    if (!name) return E_FAIL;
    std::strncpy(m_szName, name, sizeof m_szName - 1);
    m_szName[sizeof m_szName - 1] = '\0';

    ComPtr<IDirectXFile> file;
    ComPtr<IDirectXFileEnumObject> enumObject;
    ComPtr<IDirectXFileData> data;

    // First walk: count the two kinds of mesh.
    HRESULT hr = OpenFile(&file, &enumObject, "\t\t\tpDXFile->CreateEnumObject1...\n", log);
    if (FAILED(hr)) return hr;
    m_dwMeshNum = 0;
    m_dwMeshDammyNum = 0;
    m_dwMeshDisplayNum = 0;
    while (SUCCEEDED(enumObject->GetNextDataObject(data.Out()))) {
        if (FAILED(CountMeshes(data, log))) return E_FAIL;
    }

    if (m_dwMeshDisplayNum != m_dwMeshDammyNum) {
        LogLine(log, "\t\t\tm_dwMeshDisplayNum != m_dwMeshDammyNum\n");
        return E_FAIL;
    }

    m_pMeshDisplay = NewUniqueArray<MeshDisplay>(m_dwMeshDisplayNum);
    m_pMeshDammy = NewUniqueArray<MeshDammy>(m_dwMeshDammyNum);
    if (!m_pMeshDisplay || !m_pMeshDammy) {
        LogLine(log, "\t\t\tm_pMeshDisplay == NULL\n");
        return E_FAIL;
    }

    // Second walk: load the meshes into their slots in file order. The first
    // walk's enumerator lives until the second is open, so the file is
    // parsed once.
    const ComPtr<IDirectXFileEnumObject> firstWalk = std::move(enumObject);
    hr = OpenFile(&file, &enumObject, "\t\t\tpDXFile->CreateEnumObject2...\n", log);
    if (FAILED(hr)) return hr;
    m_dwMeshDisplayFill = 0;
    m_dwMeshDammyFill = 0;
    while (SUCCEEDED(enumObject->GetNextDataObject(data.Out()))) {
        if (FAILED(LoadMeshes(data, device, log))) return E_FAIL;
    }
    return S_OK;
}

int XModel::TransformBounds(const D3DXMATRIX& world, int drawnSet) {
    if (drawnSet) {
        for (DWORD i = 0; i < m_dwMeshDisplayNum && m_pMeshDisplay; ++i) m_pMeshDisplay[i].TransformBounds(world);
    } else {
        for (DWORD i = 0; i < m_dwMeshDammyNum && m_pMeshDammy; ++i) m_pMeshDammy[i].TransformBounds(world);
    }
    return 0;
}

HRESULT XModel::Render(IDirect3DDevice8* device, const D3DXMATRIX& world, const Camera* camera,
                       const FrustumRecord* frustum, int reserved, ZSortRender* renderer) {
    for (DWORD i = 0; i < m_dwMeshDisplayNum && m_pMeshDisplay; ++i) {
        const HRESULT hr = m_pMeshDisplay[i].Render(device, frustum, camera, reserved, world, renderer);
        if (FAILED(hr)) return hr;
    }
    return 0;
}

int XModel::IsVisible(IDirect3DDevice8* /*device*/, const FrustumRecord* frustum) const {
    for (DWORD i = 0; i < m_dwMeshDisplayNum && m_pMeshDisplay; ++i) {
        if (m_pMeshDisplay[i].IsVisible(frustum)) return 1;
    }
    return 0;
}

int XModel::Intersect(const D3DXVECTOR3& p, const D3DXVECTOR3& q, D3DXVECTOR3* normal, const D3DXMATRIX& world) {
    for (DWORD i = 0; i < m_dwMeshDammyNum && m_pMeshDammy; ++i) {
        if (m_pMeshDammy[i].Intersect(p, q, normal, world)) return 1;
    }
    return 0;
}

namespace {

// Where world point p lies against hull box `bound` placed by `world`: its
// model-space coordinates, the box's model-space extremes grown by `margin`
// world units, and the world length of one model unit along each axis.
// False for a singular placement.
struct BoxFrame {
    D3DXVECTOR3 local, lo, hi;
    float unit[3];
};
bool LocateInBox(const BoundVolume& bound, const D3DXVECTOR3& p, const D3DXMATRIX& world, float margin,
                 BoxFrame* f) {
    float smallest = 1e30f;
    for (int a = 0; a < 3; ++a) {
        const D3DXVECTOR3 axis(world.m[a][0], world.m[a][1], world.m[a][2]);
        f->unit[a] = D3DXVec3Length(&axis);
        smallest = std::fmin(smallest, f->unit[a]);
    }
    if (!(smallest > 0.0f)) return false;
    // Outside the box's sphere grown by the margin: no need to invert the
    // placement (the caller finds the point outside).
    if (!SegmentMeetsSphere(p, p, bound.m_vCenter, bound.m_fRadius + margin / smallest, world)) {
        f->local = D3DXVECTOR3(1.0f, 0.0f, 0.0f);
        f->lo = f->hi = D3DXVECTOR3(0.0f, 0.0f, 0.0f);
        return true;
    }
    D3DXMATRIX inverse;
    if (!D3DXMatrixInverse(&inverse, nullptr, &world)) return false;
    D3DXVec3TransformCoord(&f->local, &p, &inverse);
    f->lo = bound.m_vCorner[0];
    f->hi = bound.m_vCorner[7];
    for (int a = 0; a < 3; ++a) {
        const float grow = margin / f->unit[a];
        (&f->lo.x)[a] -= grow;
        (&f->hi.x)[a] += grow;
    }
    return true;
}

bool Inside(const BoxFrame& f) {
    return f.local.x > f.lo.x && f.local.x < f.hi.x && f.local.y > f.lo.y && f.local.y < f.hi.y &&
           f.local.z > f.lo.z && f.local.z < f.hi.z;
}

}  // namespace

int XModel::HullBoxContains(const D3DXVECTOR3& p, const D3DXMATRIX& world, float margin) const {
    for (DWORD i = 0; i < m_dwMeshDammyNum && m_pMeshDammy; ++i) {
        BoxFrame f;
        if (LocateInBox(m_pMeshDammy[i].m_Bound, p, world, margin, &f) && Inside(f)) return 1;
    }
    return 0;
}

int XModel::PushOutOfHullBoxes(D3DXVECTOR3* p, const D3DXMATRIX& world, float margin) const {
    int moved = 0;
    for (DWORD i = 0; i < m_dwMeshDammyNum && m_pMeshDammy; ++i) {
        BoxFrame f;
        if (!LocateInBox(m_pMeshDammy[i].m_Bound, *p, world, margin, &f) || !Inside(f)) continue;
        // The face with the least world distance to cross.
        int axis = 0;
        float to = f.lo.x, best = 1e30f;
        for (int a = 0; a < 3; ++a) {
            const float c = (&f.local.x)[a], lo = (&f.lo.x)[a], hi = (&f.hi.x)[a];
            if ((c - lo) * f.unit[a] < best) best = (c - lo) * f.unit[a], axis = a, to = lo;
            if ((hi - c) * f.unit[a] < best) best = (hi - c) * f.unit[a], axis = a, to = hi;
        }
        (&f.local.x)[axis] = to;
        D3DXVec3TransformCoord(p, &f.local, &world);
        moved = 1;
    }
    return moved;
}

int XModel::DeleteDeviceObjects() {
    for (DWORD i = 0; i < m_dwMeshDisplayNum && m_pMeshDisplay; ++i) m_pMeshDisplay[i].DeleteDeviceObjects();
    for (DWORD i = 0; i < m_dwMeshDammyNum && m_pMeshDammy; ++i) m_pMeshDammy[i].DeleteDeviceObjects();
    m_pMeshDisplay.reset();
    m_pMeshDammy.reset();
    m_dwMeshDisplayNum = m_dwMeshDammyNum = 0;
    m_dwMeshDisplayFill = m_dwMeshDammyFill = 0;
    m_dwMeshNum = 0;
    return 0;
}
