// D3DX-style meshes: loading from X-file mesh data, attribute-sort
// optimisation, cloning to another vertex format, normals, bounds.
//
// A mesh keeps its vertices and 16-bit (or 32-bit) indices in device buffers
// of the managed pool, so their CPU copies are what Lock returns; the
// attribute buffer holds one DWORD attribute id per face. Row vectors,
// left-handed, as everywhere.
#pragma once

#include "platform/d3d8.h"
#include "platform/d3dx_math.h"
#include "platform/xfile.h"

// A byte buffer handed out by D3DX calls (materials, adjacency, shader code).
class ID3DXBuffer {
public:
    virtual ~ID3DXBuffer() = default;
    virtual DWORD AddRef() = 0;
    virtual DWORD Release() = 0;
    virtual void* GetBufferPointer() = 0;
    virtual DWORD GetBufferSize() = 0;
};
HRESULT D3DXCreateBuffer(DWORD size, ID3DXBuffer** buffer);

struct D3DXATTRIBUTERANGE {
    DWORD AttribId;
    DWORD FaceStart;
    DWORD FaceCount;
    DWORD VertexStart;
    DWORD VertexCount;
};

// One entry of the material buffer of D3DXLoadMeshFromXof. The texture name
// points into the same buffer (null when the material names no texture).
struct D3DXMATERIAL {
    D3DMATERIAL8 MatD3D;
    char* pTextureFilename;
};

constexpr DWORD D3DXMESH_32BIT = 0x001;
constexpr DWORD D3DXMESH_SYSTEMMEM = 0x110;
constexpr DWORD D3DXMESH_MANAGED = 0x220;
constexpr DWORD D3DXMESHOPT_COMPACT = 0x01000000;
constexpr DWORD D3DXMESHOPT_ATTRSORT = 0x02000000;
constexpr DWORD D3DXMESHOPT_VERTEXCACHE = 0x04000000;

class ID3DXMesh {
public:
    virtual ~ID3DXMesh() = default;
    virtual DWORD AddRef() = 0;
    virtual DWORD Release() = 0;

    virtual DWORD GetNumFaces() = 0;
    virtual DWORD GetNumVertices() = 0;
    virtual DWORD GetFVF() = 0;
    virtual DWORD GetOptions() = 0;
    virtual HRESULT GetDevice(IDirect3DDevice8** device) = 0;
    // The mesh's buffers, with a reference added for the caller.
    virtual HRESULT GetVertexBuffer(IDirect3DVertexBuffer8** buffer) = 0;
    virtual HRESULT GetIndexBuffer(IDirect3DIndexBuffer8** buffer) = 0;
    virtual HRESULT LockVertexBuffer(DWORD flags, BYTE** data) = 0;
    virtual HRESULT UnlockVertexBuffer() = 0;
    virtual HRESULT LockIndexBuffer(DWORD flags, BYTE** data) = 0;
    virtual HRESULT UnlockIndexBuffer() = 0;
    virtual HRESULT LockAttributeBuffer(DWORD flags, DWORD** data) = 0;
    virtual HRESULT UnlockAttributeBuffer() = 0;
    // With table null, *size receives the number of ranges.
    virtual HRESULT GetAttributeTable(D3DXATTRIBUTERANGE* table, DWORD* size) = 0;
    // A copy in another vertex format: matching elements are copied, new ones zeroed.
    virtual HRESULT CloneMeshFVF(DWORD options, DWORD fvf, IDirect3DDevice8* device, ID3DXMesh** clone) = 0;
    // A copy with faces sorted by attribute (stable) and, with COMPACT,
    // unused vertices removed; fills the attribute table. adjacency may be null.
    virtual HRESULT Optimize(DWORD flags, const DWORD* adjacencyIn, DWORD* adjacencyOut, DWORD* faceRemap,
                             ID3DXBuffer** vertexRemap, ID3DXMesh** optimised) = 0;
};

// An empty mesh of the given size and vertex format.
HRESULT D3DXCreateMeshFVF(DWORD numFaces, DWORD numVertices, DWORD options, DWORD fvf, IDirect3DDevice8* device,
                          ID3DXMesh** mesh);

// Builds a mesh from a Mesh data object: positions, faces (polygons are
// fanned into triangles), and from its children MeshNormals (per face-corner
// normals resolved to vertices, splitting vertices where needed),
// MeshTextureCoords, MeshVertexColors, MeshMaterialList with its Material
// children (diffuse, power, specular, emissive; TextureFilename). The vertex
// format is XYZ plus NORMAL/DIFFUSE/TEX1 for what the file holds. Without a
// material list, one default material is returned. materials: an array of
// D3DXMATERIAL, numMaterials entries. adjacency may be null.
HRESULT D3DXLoadMeshFromXof(IDirectXFileData* meshData, DWORD options, IDirect3DDevice8* device,
                            ID3DXBuffer** adjacency, ID3DXBuffer** materials, DWORD* numMaterials, ID3DXMesh** mesh);

// Vertex normals as the normalised sum of the face normals around each vertex.
HRESULT D3DXComputeNormals(ID3DXMesh* mesh, const DWORD* adjacency);

UINT D3DXGetFVFVertexSize(DWORD fvf);
HRESULT D3DXComputeBoundingBox(const D3DXVECTOR3* firstPosition, DWORD numVertices, DWORD fvf, D3DXVECTOR3* min,
                               D3DXVECTOR3* max);
// Centre = mean of the positions; radius = the largest distance from it.
HRESULT D3DXComputeBoundingSphere(const D3DXVECTOR3* firstPosition, DWORD numVertices, DWORD fvf,
                                  D3DXVECTOR3* centre, float* radius);
