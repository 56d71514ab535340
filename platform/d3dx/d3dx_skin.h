// D3DX-style skinned meshes: loading a Mesh data object together with its
// skin (XSkinMeshHeader, SkinWeights: bone names, vertex weights, offset
// matrices) and converting it to an indexed blended mesh whose vertices carry
// blend weights and four packed palette indices, split into bone combinations
// of at most `paletteSize` bones each.
//
// Bones and vertices: bone i's influences name mesh vertices (after the
// loader's normal splits, which copy the file vertex's weights to every copy)
// with a weight each. A vertex may have any number of influences; the
// conversion keeps the four largest and scales them to sum 1. Influences of
// weight 0 (or below, or not a number) are dropped.
//
// Vertices without any influence: the loader gives the skin one more bone,
// named "" with an identity offset, that holds every such vertex with weight
// 1. A renderer binds that bone to the mesh's own frame, so those vertices
// keep their bind position relative to the mesh (nothing collapses to a bone
// they were never given). Meshes whose SkinWeights are all missing have no
// bones at all: GetNumBones is 0 and the original mesh is drawn unskinned.
//
// Blended vertex layout (the FVF order): position, n - 1 blend weights as
// floats, the packed indices (LASTBETA_UBYTE4: palette slot of influence k in
// byte k), then the original mesh's normal, colours and texture sets. n is
// the largest influence count of any vertex (1..4); the last influence's
// weight is 1 minus the others'. Its FVF is D3DFVF_XYZB1 + 2(n - 1) with
// D3DFVF_LASTBETA_UBYTE4, so a mesh of n influences has n blend values.
//
// Ownership and failures as in d3dx_mesh.h.
#pragma once

#include "platform/d3dx/d3dx_mesh.h"

// One bone combination of an indexed blended mesh: a run of faces of one
// attribute whose vertices use only the bones of BoneId (paletteSize
// entries; 0xFFFFFFFF marks an empty slot). BoneId points into the same
// buffer as the record.
struct D3DXBONECOMBINATION {
    DWORD AttribId;
    DWORD FaceStart;
    DWORD FaceCount;
    DWORD VertexStart;
    DWORD VertexCount;
    DWORD* BoneId;
};

constexpr DWORD kD3DXMaxPaletteBones = 256;  // palette slots addressable by a packed byte index

class ID3DXSkinMesh : public RefCountedInterface {
public:
    virtual DWORD GetNumBones() = 0;
    // The mesh as loaded, with a reference added for the caller.
    virtual HRESULT GetOriginalMesh(ID3DXMesh** mesh) = 0;
    // The device of the original mesh (no reference added).
    virtual HRESULT GetDevice(IDirect3DDevice8** device) = 0;
    virtual DWORD GetNumBoneInfluences(DWORD bone) = 0;
    // Copies bone's influences: GetNumBoneInfluences(bone) vertices and weights.
    virtual HRESULT GetBoneInfluence(DWORD bone, DWORD* vertices, float* weights) = 0;
    // Replaces bone's influences (vertices must be below the vertex count).
    virtual HRESULT SetBoneInfluence(DWORD bone, DWORD count, const DWORD* vertices, const float* weights) = 0;
    // Largest number of usable influences on one vertex (before the cut to four).
    virtual HRESULT GetMaxVertexInfluences(DWORD* maxInfluences) = 0;

    // Builds the indexed blended mesh (options: mesh options, D3DXMESH_MANAGED
    // for device buffers; D3DXMESHOPT_VERTEXCACHE is accepted and keeps face
    // order within a combination). Faces are grouped by attribute in
    // ascending order, then split greedily, in face order, into combinations
    // whose union of bones fits the palette; a vertex used by several
    // combinations is copied into each. boneCombinations receives
    // *numBoneCombinations D3DXBONECOMBINATION records followed by their
    // BoneId arrays. adjacencyIn and adjacencyOut are accepted for the D3DX
    // signature and not used (adjacencyOut, when given, is filled with
    // 0xFFFFFFFF). paletteSize is 1..kD3DXMaxPaletteBones; a face whose
    // corners need more bones than that, or a skin without bones, cannot be
    // converted (D3DERR_INVALIDCALL).
    virtual HRESULT ConvertToIndexedBlendedMesh(DWORD options, const DWORD* adjacencyIn, DWORD paletteSize,
                                                DWORD* adjacencyOut, DWORD* numBoneCombinations,
                                                ID3DXBuffer** boneCombinations, ID3DXMesh** mesh) = 0;

protected:
    ~ID3DXSkinMesh() override = default;
};

// A skin over an existing mesh (a reference is added to it) with numBones
// bones and no influences yet.
HRESULT D3DXCreateSkinMeshFromMesh(ID3DXMesh* mesh, DWORD numBones, ID3DXSkinMesh** skinMesh);

// Loads a Mesh data object with its skin. Outputs as D3DXLoadMeshFromXof,
// plus boneNames (GetNumBones `const char*` pointers into the same buffer)
// and boneTransforms (GetNumBones D3DXMATRIX offset matrices: mesh space to
// bone space), both null when the skin has no bones. SkinWeights of a bone
// named twice add their influences to the first. A weight on a file vertex
// outside the mesh fails with D3DXERR_INVALIDMESH. Meshes with more bones
// than kD3DXMaxPaletteBones are refused with D3DXERR_INVALIDMESH.
HRESULT D3DXLoadSkinMeshFromXof(IDirectXFileData* meshData, DWORD options, IDirect3DDevice8* device,
                                ID3DXBuffer** adjacency, ID3DXBuffer** materials, DWORD* numMaterials,
                                ID3DXBuffer** boneNames, ID3DXBuffer** boneTransforms, ID3DXSkinMesh** skinMesh);
