// XModel: a rigid model loaded from an X-file resource (type "Model"), with
// its drawn meshes (object name contains "display") and its collision hulls
// (name contains "dammy", never drawn).
//
// Loading walks the file twice: the first walk only counts the two kinds of
// mesh by the mesh object's own name (frame names do not count); the second
// loads them in file order. The two counts must be equal; the meshes are
// paired only by that count.
//
// Ownership: the owner creates and deletes the XModel and calls
// DeleteDeviceObjects before the device goes. The model owns its mesh arrays;
// each mesh owns its D3DX mesh, buffers (managed pool: nothing to rebuild
// after a device reset), attribute table and material sets. Textures belong
// to g_TextureCache. Placement is not part of the model: any number of
// ModelInstances share one XModel, each re-applying its world matrix to the
// world-space bounds (TransformBounds) just before it draws or culls.
//
// Start-up log: loading appends its progress and failure lines (three tabs
// deep) to the ErrLog passed to LoadXFile (may be null in tools).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/base/com_ptr.h"
#include "platform/d3d8/d3d8.h"
#include "platform/d3dx/d3dx_math.h"
#include "platform/d3dx/d3dx_mesh.h"
#include "platform/xfile/xfile.h"
#include "scene/bound_volume.h"
#include "view/camera.h"

class ErrLog;
class ZSortRender;

// One drawn mesh, copied into 44-byte toon vertices.
class MeshDisplay {
public:
    static constexpr DWORD kFadeLevels = 10;  // material alpha 0.1 .. 1.0
    static constexpr DWORD kFVF = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX2;  // 0x252
    static constexpr UINT kVertexSize = 44;
    static constexpr float kFadeDistance = 5000.0f;  // world units: alpha 0.1 here and beyond

    // Vertex layout of the vertex buffer handed to the renderer.
    struct Vertex {
        D3DXVECTOR3 position;
        D3DXVECTOR3 normal;
        D3DCOLOR diffuse;
        float u0, v0;
        float u1, v1;
    };
    static_assert(sizeof(Vertex) == kVertexSize);

    MeshDisplay() = default;
    MeshDisplay(const MeshDisplay&) = delete;
    MeshDisplay& operator=(const MeshDisplay&) = delete;
    ~MeshDisplay() { DeleteDeviceObjects(); }

    HRESULT Load(IDirect3DDevice8* device, IDirectXFileData* meshData, ErrLog* log);
    HRESULT ComputeBounds();
    int TransformBounds(const D3DXMATRIX& world);
    // Queues the mesh into the renderer when its world box meets the frustum,
    // with the material set faded by the eye's distance to the world sphere
    // centre (also the sort point). E_FAIL when nothing is loaded.
    HRESULT Render(IDirect3DDevice8* device, const FrustumRecord* frustum, const Camera* camera, int reserved,
                   const D3DXMATRIX& world, ZSortRender* renderer);
    int IsVisible(const FrustumRecord* frustum) const;
    int DeleteDeviceObjects();

    // Fade level 0..9 for an eye at `distance` world units from the centre:
    // 9 up to 2500, then falling linearly to 0 at 5000 and beyond.
    static DWORD FadeLevel(float distance);

private:
    // The steps of Load, in order; each logs its own line and failure.
    HRESULT LoadSystemMesh(IDirect3DDevice8* device, IDirectXFileData* meshData, ErrLog* log,
                           ComPtr<ID3DXBuffer>* materials, DWORD* numMaterials);
    HRESULT MakeFadeMaterials(IDirect3DDevice8* device, ID3DXBuffer* materials, DWORD numMaterials, ErrLog* log);
    HRESULT SortByAttribute(ErrLog* log);
    HRESULT CloneToToonFormat(IDirect3DDevice8* device, ErrLog* log);
    HRESULT CreateBuffers(IDirect3DDevice8* device, ErrLog* log, bool* keepMesh);
    HRESULT FillBuffers();

public:
    char m_szName[512] = {};
    ComPtr<ID3DXMesh> m_pMeshSystem;
    ComPtr<IDirect3DVertexBuffer8> m_pVB;
    ComPtr<IDirect3DIndexBuffer8> m_pIB;
    std::unique_ptr<D3DXATTRIBUTERANGE[]> m_pAttribTable;
    std::unique_ptr<D3DMATERIAL8[]> m_pMaterials[kFadeLevels];  // per fade level, m_dwNumMaterials each
    // Per material, null entries allowed. The array is ours; each texture is a
    // reference held in g_TextureCache and handed back in DeleteDeviceObjects.
    std::unique_ptr<IDirect3DTexture8*[]> m_ppTextures;
    DWORD m_dwNumMaterials = 0;
    DWORD m_dwNumRanges = 0;  // attribute ranges = draw calls
    BoundVolume m_Bound;
};

// One collision hull, kept in system memory for the segment query.
class MeshDammy {
public:
    static constexpr DWORD kFVF = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1;  // 0x112

    MeshDammy() = default;
    MeshDammy(const MeshDammy&) = delete;
    MeshDammy& operator=(const MeshDammy&) = delete;
    ~MeshDammy() { DeleteDeviceObjects(); }

    HRESULT Load(IDirect3DDevice8* device, IDirectXFileData* meshData, ErrLog* log);
    HRESULT ComputeBounds();
    int TransformBounds(const D3DXMATRIX& world);
    // 1 when the world segment p-q meets the front of a hull face placed by
    // `world` (see IntersectSegment), with that face's world normal in *normal.
    int Intersect(const D3DXVECTOR3& p, const D3DXVECTOR3& q, D3DXVECTOR3* normal, const D3DXMATRIX& world);
    int DeleteDeviceObjects();

    char m_szName[512] = {};
    ComPtr<ID3DXMesh> m_pMesh;
    BoundVolume m_Bound;
};

class XModel {
public:
    XModel() = default;
    XModel(const XModel&) = delete;
    XModel& operator=(const XModel&) = delete;
    ~XModel() { DeleteDeviceObjects(); }

    // Loads the X-file resource `name` of type "Model". 0 on success, else a
    // negative status (E_FAIL or the failing call's); what was loaded before
    // a failure stays for DeleteDeviceObjects. Without a device (headless
    // simulation) only the collision hulls load; the drawn meshes stay empty.
    HRESULT LoadXFile(IDirect3DDevice8* device, const char* name, ErrLog* log);
    // Tools and tests: the next LoadXFile reads these bytes (a text X file
    // that outlives the call) instead of the resource of that name.
    void SetSourceData(const void* data, std::size_t size) {
        m_pSourceData = static_cast<const std::uint8_t*>(data);
        m_nSourceSize = size;
    }
    // Applies `world` to the bounds of every drawn mesh (drawnSet != 0) or
    // every collision hull (drawnSet == 0). Returns 0.
    int TransformBounds(const D3DXMATRIX& world, int drawnSet);
    // Queues every drawn mesh in order; stops at the first negative status.
    HRESULT Render(IDirect3DDevice8* device, const D3DXMATRIX& world, const Camera* camera,
                   const FrustumRecord* frustum, int reserved, ZSortRender* renderer);
    // 1 when any drawn mesh's world box meets the frustum.
    int IsVisible(IDirect3DDevice8* device, const FrustumRecord* frustum) const;
    // 1 when the world segment p-q hits a collision hull placed by `world`:
    // hulls in array order, the first hit wins and writes *normal.
    int Intersect(const D3DXVECTOR3& p, const D3DXVECTOR3& q, D3DXVECTOR3* normal, const D3DXMATRIX& world);
    // 1 when the world point p lies inside the box of a collision hull
    // placed by `world` (the hull itself for box hulls), the box grown by
    // `margin` world units on every side; else 0, and 0 for a singular placement.
    int HullBoxContains(const D3DXVECTOR3& p, const D3DXMATRIX& world, float margin) const;
    // Moves *p, when HullBoxContains would say 1, to the nearest face of that
    // grown box (the shortest way out in world units). 1 when it moved.
    int PushOutOfHullBoxes(D3DXVECTOR3* p, const D3DXMATRIX& world, float margin) const;
    // Releases every drawn mesh, then every hull, and frees both arrays. Returns 0.
    int DeleteDeviceObjects();

    char m_szName[512] = {};
    DWORD m_dwMeshNum = 0;  // mesh objects met by the counting walk
    std::unique_ptr<MeshDisplay[]> m_pMeshDisplay;
    DWORD m_dwMeshDisplayNum = 0;
    DWORD m_dwMeshDisplayFill = 0;
    std::unique_ptr<MeshDammy[]> m_pMeshDammy;
    DWORD m_dwMeshDammyNum = 0;
    DWORD m_dwMeshDammyFill = 0;

private:
    const std::uint8_t* m_pSourceData = nullptr;  // not owned; see SetSourceData
    std::size_t m_nSourceSize = 0;

    HRESULT CountMeshes(IDirectXFileData* data, ErrLog* log);
    HRESULT LoadMeshes(IDirectXFileData* data, IDirect3DDevice8* device, ErrLog* log);
    // Opens the resource with the standard templates registered; logs the
    // enumeration step as `startLine`.
    HRESULT OpenFile(ComPtr<IDirectXFile>* file, ComPtr<IDirectXFileEnumObject>* enumObject, const char* startLine,
                     ErrLog* log);
};
