// D3DX-style meshes: loading from X-file mesh data, attribute-sort
// optimisation, cloning to another vertex format, normals, bounds.
//
// Storage: a mesh created with a device and D3DXMESH_MANAGED keeps its
// vertices and 16-bit (or 32-bit) indices in device buffers of the managed
// pool (so they can be bound with SetStreamSource/SetIndices), and their CPU
// copies are what Lock returns. Every other mesh (D3DXMESH_SYSTEMMEM, or no
// device at all) keeps them in plain system-memory buffers that need no GL
// context, so tools and tests use meshes without a window. The attribute
// buffer holds one DWORD attribute id per face. Row vectors, left-handed, as
// everywhere. Faces keep Direct3D's clockwise front-face winding.
//
// Ownership: COM-style reference counts (RefCountedInterface,
// platform/base/ref_counted.h); every object handed out carries one
// reference for the receiver, who holds it in a ComPtr. A mesh holds a reference to its buffers; a mesh
// with device buffers must be released before its device. GetDevice adds no
// reference (the device is not reference counted): never Release it.
//
// Failures: bad arguments give D3DERR_INVALIDCALL, malformed mesh data
// D3DXERR_INVALIDMESH, an empty mesh D3DXERR_LOADEDMESHHASNODATA, memory
// E_OUTOFMEMORY; nothing is read outside the data the reader returned.
#pragma once

#include "platform/base/ref_counted.h"
#include "platform/d3d8/d3d8.h"
#include "platform/d3dx/d3dx_math.h"
#include "platform/xfile/xfile.h"

constexpr HRESULT D3DXERR_INVALIDMESH = static_cast<HRESULT>(0x88760B55u);
constexpr HRESULT D3DXERR_LOADEDMESHHASNODATA = static_cast<HRESULT>(0x88760B5Au);

// Vertex-format bits beyond the fixed-function ones of the device: blended
// positions (XYZ plus 1..5 blend values, the last one optionally four packed
// bone indices), point size and per-set texture-coordinate sizes.
constexpr DWORD D3DFVF_POSITION_MASK = 0x00E;
constexpr DWORD D3DFVF_XYZB1 = 0x006;
constexpr DWORD D3DFVF_XYZB2 = 0x008;
constexpr DWORD D3DFVF_XYZB3 = 0x00A;
constexpr DWORD D3DFVF_XYZB4 = 0x00C;
constexpr DWORD D3DFVF_XYZB5 = 0x00E;
constexpr DWORD D3DFVF_PSIZE = 0x020;
constexpr DWORD D3DFVF_TEXCOUNT_MASK = 0xF00;
constexpr DWORD D3DFVF_TEXCOUNT_SHIFT = 8;
constexpr DWORD D3DFVF_LASTBETA_UBYTE4 = 0x1000;
constexpr DWORD D3DFVF_TEXTUREFORMAT1 = 3;  // one float
constexpr DWORD D3DFVF_TEXTUREFORMAT2 = 0;  // two floats (the default)
constexpr DWORD D3DFVF_TEXTUREFORMAT3 = 1;
constexpr DWORD D3DFVF_TEXTUREFORMAT4 = 2;
constexpr DWORD D3DFVF_TEXCOORDSIZE(DWORD format, DWORD set) { return format << (set * 2 + 16); }

// A byte buffer handed out by D3DX calls (materials, adjacency, shader code).
class ID3DXBuffer : public RefCountedInterface {
public:
    virtual void* GetBufferPointer() = 0;
    virtual DWORD GetBufferSize() = 0;

protected:
    ~ID3DXBuffer() override = default;
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

class ID3DXMesh : public RefCountedInterface {
public:
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
    // With table null, *size receives the number of ranges. The table is
    // empty until Optimize with D3DXMESHOPT_ATTRSORT fills it; clones copy it.
    virtual HRESULT GetAttributeTable(D3DXATTRIBUTERANGE* table, DWORD* size) = 0;
    // A copy in another vertex format: matching elements are copied, new ones zeroed.
    virtual HRESULT CloneMeshFVF(DWORD options, DWORD fvf, IDirect3DDevice8* device, ID3DXMesh** clone) = 0;
    // A copy with faces sorted by attribute (stable) and, with COMPACT,
    // unused vertices removed; fills the attribute table. adjacency may be null.
    // ATTRSORT: one range per distinct attribute id in ascending order; its
    // VertexStart..VertexStart+VertexCount-1 spans the smallest to the largest
    // vertex index the range's faces use. Vertices keep their order.
    // VERTEXCACHE is taken as ATTRSORT | COMPACT (no reordering within a
    // range). faceRemap (numFaces DWORDs) and vertexRemap (one DWORD per old
    // vertex, 0xFFFFFFFF past the new count) map new indices to old ones.
    // Mesh option bits in flags choose the new mesh's options, else it keeps
    // this mesh's.
    virtual HRESULT Optimize(DWORD flags, const DWORD* adjacencyIn, DWORD* adjacencyOut, DWORD* faceRemap,
                             ID3DXBuffer** vertexRemap, ID3DXMesh** optimised) = 0;

protected:
    ~ID3DXMesh() override = default;
};

// An empty mesh of the given size and vertex format.
HRESULT D3DXCreateMeshFVF(DWORD numFaces, DWORD numVertices, DWORD options, DWORD fvf, IDirect3DDevice8* device,
                          ID3DXMesh** mesh);

// Builds a mesh from a Mesh data object: positions, faces (polygons are
// fanned into triangles (0,1,2), (0,2,3), ... keeping the file's winding),
// and from its children MeshNormals (per face-corner normals resolved to
// vertices: a vertex whose corners use normals of different values is split
// into one vertex per normal), MeshTextureCoords (one pair per vertex),
// MeshVertexColors (IndexedColor, packed to D3DCOLOR ARGB with each channel
// clamped to 0..1 and rounded to the nearest of 0..255; vertices without an
// entry are opaque white), MeshMaterialList with its Material children or
// references. Children may be data objects or references to them.
// The vertex format is XYZ plus NORMAL/DIFFUSE/TEX1 for what the file holds.
// Faces take the material index of the file face they were fanned from; a
// list with fewer indices than faces repeats its last one. Materials:
// Diffuse = faceColor, Ambient = 0, Specular = (specularColor, 1), Emissive =
// (emissiveColor, 1), Power = power, pTextureFilename from a TextureFilename
// child. Without a material list one default material is returned (diffuse
// opaque white, everything else zero). materials: an array of D3DXMATERIAL,
// numMaterials entries, strings inside the same buffer. adjacency (may be
// null): 3 DWORDs per face, the face across each edge or 0xFFFFFFFF, where
// faces meet at vertices of exactly equal position (split copies and the
// seams of a hull with per-side vertices included).
// Indices are 16-bit unless options hold D3DXMESH_32BIT; more than 65535
// vertices then fail with D3DERR_INVALIDCALL. The attribute table is empty
// until Optimize sorts by attribute.
HRESULT D3DXLoadMeshFromXof(IDirectXFileData* meshData, DWORD options, IDirect3DDevice8* device,
                            ID3DXBuffer** adjacency, ID3DXBuffer** materials, DWORD* numMaterials, ID3DXMesh** mesh);

// D3DXLoadMeshFromXof with two additions for loaders of skinned meshes (a
// data object's children can be walked only once, so the mesh loader hands
// out what it does not read itself):
//  - vertexSource (may be null) receives a buffer of one DWORD per mesh
//    vertex: the index of the file vertex it was made from. The first
//    nVertices mesh vertices are the file's vertices in file order; copies
//    split off for differing normals follow in the order of their first use
//    and share their source, so per-vertex data of the file (skin weights)
//    can follow the vertices.
//  - otherChild (may be null) is called, in file order, with every child data
//    object of the mesh that the loader does not read (SkinWeights,
//    XSkinMeshHeader, VertexDuplicationIndices, ...); the object is valid for
//    the call only (AddRef it to keep it). context is passed through.
HRESULT D3DXLoadMeshFromXofEx(IDirectXFileData* meshData, DWORD options, IDirect3DDevice8* device,
                              ID3DXBuffer** adjacency, ID3DXBuffer** materials, DWORD* numMaterials, ID3DXMesh** mesh,
                              ID3DXBuffer** vertexSource, void (*otherChild)(IDirectXFileData* child, void* context),
                              void* context);

// Vertex normals as the normalised sum of the normalised face normals
// (e1 x e2 of each clockwise face) around each vertex index; needs NORMAL in
// the format. adjacency is accepted for the D3DX signature and not used:
// vertices are shared by index only, so split copies keep separate normals.
HRESULT D3DXComputeNormals(ID3DXMesh* mesh, const DWORD* adjacency);

UINT D3DXGetFVFVertexSize(DWORD fvf);
HRESULT D3DXComputeBoundingBox(const D3DXVECTOR3* firstPosition, DWORD numVertices, DWORD fvf, D3DXVECTOR3* min,
                               D3DXVECTOR3* max);
// Centre = mean of the positions; radius = the largest distance from it.
HRESULT D3DXComputeBoundingSphere(const D3DXVECTOR3* firstPosition, DWORD numVertices, DWORD fvf,
                                  D3DXVECTOR3* centre, float* radius);
