// Shared by the D3DX mesh files: the byte layout of a flexible vertex format
// and small helpers for reading and writing vertex and index data.
#pragma once

#include <cstddef>
#include <cstring>
#include <vector>

#include "platform/base/com_ptr.h"
#include "platform/d3dx/d3dx_mesh.h"

namespace d3dxmesh {

// Where each element of one vertex lives, in bytes from the vertex start;
// -1 for an element the format does not have. Element order is the FVF one:
// position, blend values, normal, point size, diffuse, specular, texture sets.
struct FvfLayout {
    bool valid = false;      // a position of XYZ or XYZB1..5, at most 8 texture sets
    UINT size = 0;           // bytes per vertex
    int blendFloats = 0;     // blend weights stored as floats
    int indicesOffset = -1;  // LASTBETA_UBYTE4: the packed bone indices (4 bytes)
    int blendOffset = -1;    // first blend weight
    int normalOffset = -1;
    int psizeOffset = -1;
    int diffuseOffset = -1;
    int specularOffset = -1;
    int texSets = 0;
    int texOffset[8] = {};
    int texFloats[8] = {};  // 1..4 floats per set
};

FvfLayout ComputeFvfLayout(DWORD fvf);

// Copies the elements two vertex formats share from one vertex to another;
// elements only the target has stay as they are (zero in a new mesh).
void ConvertVertex(const BYTE* src, const FvfLayout& from, BYTE* dst, const FvfLayout& to);

inline DWORD ReadIndex(const BYTE* indices, bool is32, std::size_t i) {
    if (is32) {
        DWORD v;
        std::memcpy(&v, indices + i * 4, 4);
        return v;
    }
    WORD w;
    std::memcpy(&w, indices + i * 2, 2);
    return w;
}

inline void WriteIndex(BYTE* indices, bool is32, std::size_t i, DWORD value) {
    if (is32) {
        std::memcpy(indices + i * 4, &value, 4);
    } else {
        const WORD w = static_cast<WORD>(value);
        std::memcpy(indices + i * 2, &w, 2);
    }
}

// The three indices of each of numFaces faces from a locked index buffer;
// D3DXERR_INVALIDMESH when one is not below numVertices (all are read even
// then). Running out of memory throws std::bad_alloc.
HRESULT ReadIndices(const BYTE* ib, bool is32, DWORD numFaces, DWORD numVertices, std::vector<DWORD>* indices);

// Three DWORDs per face, the neighbour across edges (v0,v1), (v1,v2), (v2,v0)
// or 0xFFFFFFFF. Two faces are neighbours when they share an edge between the
// same two point representatives (pointRep maps a vertex to the vertex that
// stands for its position; null: every vertex stands for itself).
void ComputeAdjacency(const DWORD* indices, DWORD numFaces, const DWORD* pointRep, DWORD* adjacency);

// New face -> old face: every face in order, or (sort) stably by attribute,
// so faces keep their order inside each attribute.
std::vector<DWORD> FaceOrder(const DWORD* attributes, DWORD numFaces, bool sort);

// Locks of a mesh's buffers, each undone when the lock goes out of scope, so
// every path out of the caller unlocks what it locked. A pointer is null
// until its buffer is locked.
class MeshLock {
public:
    explicit MeshLock(ID3DXMesh* mesh) : m_pMesh(mesh) {}
    MeshLock(const MeshLock&) = delete;
    MeshLock& operator=(const MeshLock&) = delete;
    ~MeshLock() {
        if (vertices) m_pMesh->UnlockVertexBuffer();
        if (indices) m_pMesh->UnlockIndexBuffer();
        if (attributes) m_pMesh->UnlockAttributeBuffer();
    }
    HRESULT LockVertices(DWORD flags) { return m_pMesh->LockVertexBuffer(flags, &vertices); }
    HRESULT LockIndices(DWORD flags) { return m_pMesh->LockIndexBuffer(flags, &indices); }
    HRESULT LockAttributes(DWORD flags) { return m_pMesh->LockAttributeBuffer(flags, &attributes); }
    HRESULT LockAll(DWORD flags) {
        HRESULT hr = LockVertices(flags);
        if (SUCCEEDED(hr)) hr = LockIndices(flags);
        if (SUCCEEDED(hr)) hr = LockAttributes(flags);
        return hr;
    }
    BYTE* vertices = nullptr;
    BYTE* indices = nullptr;
    DWORD* attributes = nullptr;

private:
    ID3DXMesh* m_pMesh;
};

// A zeroed buffer of `size` bytes, or one holding a copy of `data`. Running
// out of memory throws std::bad_alloc (the public calls catch it).
ComPtr<ID3DXBuffer> MakeBuffer(DWORD size);
ComPtr<ID3DXBuffer> MakeBufferCopy(const void* data, DWORD size);

}  // namespace d3dxmesh
