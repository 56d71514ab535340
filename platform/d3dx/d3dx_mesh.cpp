// D3DX meshes: buffers, the mesh object with clone and attribute-sort
// optimisation, normals, bounds and vertex-format sizes. Loading from X-file
// data is in d3dx_mesh_load.cpp. Running out of memory throws inside and is
// E_OUTOFMEMORY at every public call (CatchOutOfMemory).
#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <numeric>
#include <vector>

#include "platform/base/alloc.h"
#include "platform/base/ref_counted.h"
#include "platform/d3dx/d3dx_mesh_internal.h"

namespace d3dxmesh {
namespace {

// --- ID3DXBuffer ------------------------------------------------------------

class Buffer final : public RefCounted<ID3DXBuffer> {
public:
    explicit Buffer(DWORD size) : m_dwSize(size), m_pBytes(std::make_unique<BYTE[]>(size ? size : 1)) {}
    void* GetBufferPointer() override { return m_pBytes.get(); }
    DWORD GetBufferSize() override { return m_dwSize; }

private:
    ~Buffer() override = default;
    DWORD m_dwSize;
    std::unique_ptr<BYTE[]> m_pBytes;  // zeroed
};

// --- System-memory vertex and index buffers ---------------------------------

// The byte store and lock bookkeeping shared by both buffer kinds.
struct SysMemStore {
    explicit SysMemStore(UINT size) : bytes(std::make_unique<BYTE[]>(size ? size : 1)), length(size) {}

    std::unique_ptr<BYTE[]> bytes;  // zeroed
    UINT length;
    DWORD locks = 0;

    HRESULT Lock(UINT offset, UINT size, BYTE** data) {
        if (!data) return D3DERR_INVALIDCALL;
        *data = nullptr;
        if (offset > length) return D3DERR_INVALIDCALL;
        if (size == 0) size = length - offset;
        if (size > length - offset) return D3DERR_INVALIDCALL;
        ++locks;
        *data = bytes.get() + offset;
        return S_OK;
    }
    HRESULT Unlock() {
        if (locks == 0) return D3DERR_INVALIDCALL;
        --locks;
        return S_OK;
    }
};

// Reference counted by the device's resource base (D3DResource).
class SysMemVertexBuffer final : public IDirect3DVertexBuffer8 {
public:
    explicit SysMemVertexBuffer(UINT size) : m_store(size) {}
    HRESULT Lock(UINT offset, UINT size, BYTE** data, DWORD) override { return m_store.Lock(offset, size, data); }
    HRESULT Unlock() override { return m_store.Unlock(); }
    UINT GetSize() const override { return m_store.length; }

private:
    ~SysMemVertexBuffer() override = default;
    SysMemStore m_store;
};

class SysMemIndexBuffer final : public IDirect3DIndexBuffer8 {
public:
    SysMemIndexBuffer(UINT size, D3DFORMAT format) : m_store(size), m_format(format) {}
    HRESULT Lock(UINT offset, UINT size, BYTE** data, DWORD) override { return m_store.Lock(offset, size, data); }
    HRESULT Unlock() override { return m_store.Unlock(); }
    UINT GetSize() const override { return m_store.length; }
    D3DFORMAT GetFormat() const override { return m_format; }

private:
    ~SysMemIndexBuffer() override = default;
    SysMemStore m_store;
    D3DFORMAT m_format;
};

// Mesh option bits that choose the managed pool for each buffer.
constexpr DWORD kVbManaged = 0x020;
constexpr DWORD kIbManaged = 0x200;
// Optimize flags above the mesh options.
constexpr DWORD kOptimizeMask = 0xFF000000u;

// --- ID3DXMesh --------------------------------------------------------------

class Mesh final : public RefCounted<ID3DXMesh> {
public:
    // A zeroed mesh; throws std::bad_alloc when memory runs out.
    static HRESULT Create(DWORD numFaces, DWORD numVertices, DWORD options, DWORD fvf, IDirect3DDevice8* device,
                          ComPtr<Mesh>* out);

    DWORD GetNumFaces() override { return m_dwFaces; }
    DWORD GetNumVertices() override { return m_dwVertices; }
    DWORD GetFVF() override { return m_dwFVF; }
    DWORD GetOptions() override { return m_dwOptions; }
    HRESULT GetDevice(IDirect3DDevice8** device) override {
        if (!device) return D3DERR_INVALIDCALL;
        *device = m_pDevice;
        return m_pDevice ? S_OK : D3DERR_INVALIDCALL;
    }
    HRESULT GetVertexBuffer(IDirect3DVertexBuffer8** buffer) override {
        if (!buffer) return D3DERR_INVALIDCALL;
        *buffer = ComPtr<IDirect3DVertexBuffer8>::Share(m_pVB).Detach();
        return S_OK;
    }
    HRESULT GetIndexBuffer(IDirect3DIndexBuffer8** buffer) override {
        if (!buffer) return D3DERR_INVALIDCALL;
        *buffer = ComPtr<IDirect3DIndexBuffer8>::Share(m_pIB).Detach();
        return S_OK;
    }
    HRESULT LockVertexBuffer(DWORD flags, BYTE** data) override { return m_pVB->Lock(0, 0, data, flags); }
    HRESULT UnlockVertexBuffer() override { return m_pVB->Unlock(); }
    HRESULT LockIndexBuffer(DWORD flags, BYTE** data) override { return m_pIB->Lock(0, 0, data, flags); }
    HRESULT UnlockIndexBuffer() override { return m_pIB->Unlock(); }
    HRESULT LockAttributeBuffer(DWORD, DWORD** data) override {
        if (!data) return D3DERR_INVALIDCALL;
        ++m_dwAttributeLocks;
        *data = m_pAttributes.get();
        return S_OK;
    }
    HRESULT UnlockAttributeBuffer() override {
        if (m_dwAttributeLocks == 0) return D3DERR_INVALIDCALL;
        --m_dwAttributeLocks;
        return S_OK;
    }
    HRESULT GetAttributeTable(D3DXATTRIBUTERANGE* table, DWORD* size) override {
        if (!size) return D3DERR_INVALIDCALL;
        if (table) std::copy(m_table.begin(), m_table.end(), table);
        *size = static_cast<DWORD>(m_table.size());
        return S_OK;
    }
    HRESULT CloneMeshFVF(DWORD options, DWORD fvf, IDirect3DDevice8* device, ID3DXMesh** clone) override;
    HRESULT Optimize(DWORD flags, const DWORD* adjacencyIn, DWORD* adjacencyOut, DWORD* faceRemap,
                     ID3DXBuffer** vertexRemap, ID3DXMesh** optimised) override;

private:
    ~Mesh() override = default;
    bool Is32() const { return (m_dwOptions & D3DXMESH_32BIT) != 0; }
    // The bodies of CloneMeshFVF and Optimize: they may throw std::bad_alloc,
    // and hand out nothing until they succeed.
    HRESULT Clone(DWORD options, DWORD fvf, IDirect3DDevice8* device, ComPtr<Mesh>* clone);
    HRESULT OptimizeInto(DWORD flags, const DWORD* adjacencyIn, DWORD* adjacencyOut, DWORD* faceRemap,
                         ComPtr<ID3DXBuffer>* vertexRemap, ComPtr<Mesh>* optimised);

    DWORD m_dwFaces = 0;
    DWORD m_dwVertices = 0;
    DWORD m_dwFVF = 0;
    DWORD m_dwOptions = 0;
    DWORD m_dwAttributeLocks = 0;
    IDirect3DDevice8* m_pDevice = nullptr;  // not owned
    ComPtr<IDirect3DVertexBuffer8> m_pVB;
    ComPtr<IDirect3DIndexBuffer8> m_pIB;
    std::unique_ptr<DWORD[]> m_pAttributes;   // one attribute id per face
    std::vector<D3DXATTRIBUTERANGE> m_table;  // empty until an attribute sort
};

HRESULT Mesh::Create(DWORD numFaces, DWORD numVertices, DWORD options, DWORD fvf, IDirect3DDevice8* device,
                     ComPtr<Mesh>* out) {
    out->Reset();
    const FvfLayout layout = ComputeFvfLayout(fvf);
    if (!layout.valid || numFaces == 0 || numVertices == 0) return D3DERR_INVALIDCALL;
    const bool is32 = (options & D3DXMESH_32BIT) != 0;
    if (!is32 && numVertices > 0xFFFFu) return D3DERR_INVALIDCALL;  // not addressable by 16-bit indices
    const std::uint64_t vertexBytes = std::uint64_t{numVertices} * layout.size;
    const std::uint64_t indexBytes = std::uint64_t{numFaces} * 3 * (is32 ? 4 : 2);
    if (vertexBytes > 0x7FFFFFFFu || indexBytes > 0x7FFFFFFFu) return E_OUTOFMEMORY;

    ComPtr<Mesh> mesh = MakeComPtr<Mesh>();
    mesh->m_dwFaces = numFaces;
    mesh->m_dwVertices = numVertices;
    mesh->m_dwFVF = fvf;
    mesh->m_dwOptions = options & ~kOptimizeMask;
    mesh->m_pDevice = device;
    mesh->m_pAttributes = std::make_unique<DWORD[]>(numFaces);

    if (device && (options & kVbManaged)) {
        const HRESULT hr =
            device->CreateVertexBuffer(static_cast<UINT>(vertexBytes), 0, fvf, D3DPOOL_MANAGED, mesh->m_pVB.Out());
        if (FAILED(hr)) return hr;
    } else {
        mesh->m_pVB = MakeComPtr<SysMemVertexBuffer>(static_cast<UINT>(vertexBytes));
    }
    const D3DFORMAT indexFormat = is32 ? D3DFMT_INDEX32 : D3DFMT_INDEX16;
    if (device && (options & kIbManaged)) {
        const HRESULT hr = device->CreateIndexBuffer(static_cast<UINT>(indexBytes), 0, indexFormat, D3DPOOL_MANAGED,
                                                     mesh->m_pIB.Out());
        if (FAILED(hr)) return hr;
    } else {
        mesh->m_pIB = MakeComPtr<SysMemIndexBuffer>(static_cast<UINT>(indexBytes), indexFormat);
    }
    // A new mesh reads as zeros everywhere, whichever store holds it.
    BYTE* bytes = nullptr;
    if (SUCCEEDED(mesh->LockVertexBuffer(0, &bytes))) {
        std::memset(bytes, 0, static_cast<std::size_t>(vertexBytes));
        mesh->UnlockVertexBuffer();
    }
    if (SUCCEEDED(mesh->LockIndexBuffer(0, &bytes))) {
        std::memset(bytes, 0, static_cast<std::size_t>(indexBytes));
        mesh->UnlockIndexBuffer();
    }
    *out = std::move(mesh);
    return S_OK;
}

HRESULT Mesh::CloneMeshFVF(DWORD options, DWORD fvf, IDirect3DDevice8* device, ID3DXMesh** clone) {
    if (!clone) return D3DERR_INVALIDCALL;
    *clone = nullptr;
    ComPtr<Mesh> copy;
    const HRESULT hr = CatchOutOfMemory([&] { return Clone(options, fvf, device, &copy); });
    if (SUCCEEDED(hr)) *clone = copy.Detach();
    return hr;
}

HRESULT Mesh::Clone(DWORD options, DWORD fvf, IDirect3DDevice8* device, ComPtr<Mesh>* clone) {
    ComPtr<Mesh> copy;
    HRESULT hr = Create(m_dwFaces, m_dwVertices, options, fvf, device, &copy);
    if (FAILED(hr)) return hr;
    {
        MeshLock src(this), dst(copy);
        hr = src.LockAll(D3DLOCK_READONLY);
        if (SUCCEEDED(hr)) hr = dst.LockAll(0);
        if (FAILED(hr)) return hr;
        const FvfLayout from = ComputeFvfLayout(m_dwFVF);
        const FvfLayout to = ComputeFvfLayout(fvf);
        for (DWORD v = 0; v < m_dwVertices; ++v) {
            ConvertVertex(src.vertices + std::size_t{v} * from.size, from, dst.vertices + std::size_t{v} * to.size, to);
        }
        const bool toIs32 = copy->Is32();
        for (std::size_t i = 0; i < std::size_t{m_dwFaces} * 3; ++i) {
            WriteIndex(dst.indices, toIs32, i, ReadIndex(src.indices, Is32(), i));
        }
        std::memcpy(dst.attributes, src.attributes, std::size_t{m_dwFaces} * 4);
    }
    copy->m_table = m_table;
    *clone = std::move(copy);
    return S_OK;
}

// The vertices of an optimised mesh: they keep their order; compaction drops
// those no face uses.
struct VertexMap {
    std::vector<DWORD> newOfOld;
    std::vector<DWORD> oldOfNew;
};

VertexMap MapVertices(const std::vector<DWORD>& oldIndices, DWORD numVertices, bool compact) {
    VertexMap map;
    map.newOfOld.resize(numVertices);
    if (compact) {
        std::vector<bool> used(numVertices, false);
        for (DWORD v : oldIndices) used[v] = true;
        for (DWORD v = 0; v < numVertices; ++v) {
            map.newOfOld[v] = static_cast<DWORD>(map.oldOfNew.size());
            if (used[v]) map.oldOfNew.push_back(v);
        }
    } else {
        map.oldOfNew.resize(numVertices);
        std::iota(map.oldOfNew.begin(), map.oldOfNew.end(), 0u);
        std::iota(map.newOfOld.begin(), map.newOfOld.end(), 0u);
    }
    return map;
}

// One range per distinct attribute id of faces already sorted by attribute,
// ascending; the vertex span is the smallest to the largest index the
// range's faces use.
std::vector<D3DXATTRIBUTERANGE> AttributeRanges(const DWORD* attributes, const std::vector<DWORD>& indices,
                                                DWORD numFaces) {
    std::vector<D3DXATTRIBUTERANGE> table;
    DWORD f = 0;
    while (f < numFaces) {
        D3DXATTRIBUTERANGE range{};
        range.AttribId = attributes[f];
        range.FaceStart = f;
        DWORD lo = 0xFFFFFFFFu, hi = 0;
        while (f < numFaces && attributes[f] == range.AttribId) {
            for (int k = 0; k < 3; ++k) {
                lo = std::min(lo, indices[f * 3 + k]);
                hi = std::max(hi, indices[f * 3 + k]);
            }
            ++f;
        }
        range.FaceCount = f - range.FaceStart;
        range.VertexStart = lo;
        range.VertexCount = hi - lo + 1;
        table.push_back(range);
    }
    return table;
}

// The caller's adjacency carried over to the new face order.
void RemapAdjacency(const DWORD* adjacencyIn, const std::vector<DWORD>& faceOrder, DWORD* adjacencyOut) {
    const auto numFaces = static_cast<DWORD>(faceOrder.size());
    std::vector<DWORD> newOfOldFace(numFaces);
    for (DWORD f = 0; f < numFaces; ++f) newOfOldFace[faceOrder[f]] = f;
    for (DWORD f = 0; f < numFaces; ++f) {
        for (int k = 0; k < 3; ++k) {
            const DWORD n = adjacencyIn[faceOrder[f] * 3 + k];
            adjacencyOut[f * 3 + k] = n < numFaces ? newOfOldFace[n] : 0xFFFFFFFFu;
        }
    }
}

HRESULT Mesh::Optimize(DWORD flags, const DWORD* adjacencyIn, DWORD* adjacencyOut, DWORD* faceRemap,
                       ID3DXBuffer** vertexRemap, ID3DXMesh** optimised) {
    if (!optimised) return D3DERR_INVALIDCALL;
    *optimised = nullptr;
    if (vertexRemap) *vertexRemap = nullptr;
    ComPtr<Mesh> out;
    ComPtr<ID3DXBuffer> remap;
    const HRESULT hr = CatchOutOfMemory([&] {
        return OptimizeInto(flags, adjacencyIn, adjacencyOut, faceRemap, vertexRemap ? &remap : nullptr, &out);
    });
    if (FAILED(hr)) return hr;
    if (vertexRemap) *vertexRemap = remap.Detach();
    *optimised = out.Detach();
    return S_OK;
}

HRESULT Mesh::OptimizeInto(DWORD flags, const DWORD* adjacencyIn, DWORD* adjacencyOut, DWORD* faceRemap,
                           ComPtr<ID3DXBuffer>* vertexRemap, ComPtr<Mesh>* optimised) {
    // Vertex-cache optimisation is taken as attribute sort plus compaction:
    // faces keep their order inside each attribute range.
    const bool sort = (flags & (D3DXMESHOPT_ATTRSORT | D3DXMESHOPT_VERTEXCACHE)) != 0;
    const bool compact = (flags & (D3DXMESHOPT_COMPACT | D3DXMESHOPT_VERTEXCACHE)) != 0;
    const DWORD newOptions = (flags & ~kOptimizeMask) ? (flags & ~kOptimizeMask) : m_dwOptions;

    MeshLock src(this);
    HRESULT hr = src.LockAll(D3DLOCK_READONLY);
    if (FAILED(hr)) return hr;
    const std::vector<DWORD> faceOrder = FaceOrder(src.attributes, m_dwFaces, sort);
    std::vector<DWORD> oldIndices;
    hr = ReadIndices(src.indices, Is32(), m_dwFaces, m_dwVertices, &oldIndices);
    if (FAILED(hr)) return hr;
    const VertexMap map = MapVertices(oldIndices, m_dwVertices, compact);

    ComPtr<Mesh> out;
    hr = Create(m_dwFaces, static_cast<DWORD>(map.oldOfNew.size()), newOptions, m_dwFVF, m_pDevice, &out);
    if (FAILED(hr)) return hr;
    std::vector<DWORD> newIndices(oldIndices.size());
    {
        MeshLock dst(out);
        hr = dst.LockAll(0);
        if (FAILED(hr)) return hr;
        const UINT stride = ComputeFvfLayout(m_dwFVF).size;
        for (std::size_t v = 0; v < map.oldOfNew.size(); ++v) {
            std::memcpy(dst.vertices + v * stride, src.vertices + std::size_t{map.oldOfNew[v]} * stride, stride);
        }
        for (DWORD f = 0; f < m_dwFaces; ++f) {
            const DWORD old = faceOrder[f];
            dst.attributes[f] = src.attributes[old];
            for (int k = 0; k < 3; ++k) {
                newIndices[f * 3 + k] = map.newOfOld[oldIndices[old * 3 + k]];
                WriteIndex(dst.indices, out->Is32(), f * 3 + k, newIndices[f * 3 + k]);
            }
        }
    }
    if (sort) out->m_table = AttributeRanges(out->m_pAttributes.get(), newIndices, m_dwFaces);
    if (adjacencyOut) {
        if (adjacencyIn) {
            RemapAdjacency(adjacencyIn, faceOrder, adjacencyOut);
        } else {
            ComputeAdjacency(newIndices.data(), m_dwFaces, nullptr, adjacencyOut);
        }
    }
    if (faceRemap) std::copy(faceOrder.begin(), faceOrder.end(), faceRemap);
    if (vertexRemap) {
        // New vertex -> old vertex; the slots of removed vertices hold 0xFFFFFFFF.
        std::vector<DWORD> remap(m_dwVertices, 0xFFFFFFFFu);
        std::copy(map.oldOfNew.begin(), map.oldOfNew.end(), remap.begin());
        *vertexRemap = MakeBufferCopy(remap.data(), m_dwVertices * 4);
    }
    *optimised = std::move(out);
    return S_OK;
}

D3DXVECTOR3 ReadVector(const BYTE* p) {
    D3DXVECTOR3 v;
    std::memcpy(&v, p, 12);
    return v;
}

}  // namespace

std::vector<DWORD> FaceOrder(const DWORD* attributes, DWORD numFaces, bool sort) {
    std::vector<DWORD> order(numFaces);
    std::iota(order.begin(), order.end(), 0u);
    if (sort) {
        std::stable_sort(order.begin(), order.end(),
                         [attributes](DWORD a, DWORD b) { return attributes[a] < attributes[b]; });
    }
    return order;
}

HRESULT ReadIndices(const BYTE* ib, bool is32, DWORD numFaces, DWORD numVertices, std::vector<DWORD>* indices) {
    indices->resize(std::size_t{numFaces} * 3);
    HRESULT hr = S_OK;
    for (std::size_t i = 0; i < indices->size(); ++i) {
        (*indices)[i] = ReadIndex(ib, is32, i);
        if ((*indices)[i] >= numVertices) hr = D3DXERR_INVALIDMESH;
    }
    return hr;
}

// Copies the elements two vertex formats share; elements only the target has
// stay as they are (zero in a new mesh).
void ConvertVertex(const BYTE* src, const FvfLayout& from, BYTE* dst, const FvfLayout& to) {
    std::memcpy(dst, src, 12);  // position
    const int weights = std::min(from.blendFloats, to.blendFloats);
    if (weights > 0) std::memcpy(dst + to.blendOffset, src + from.blendOffset, 4 * weights);
    auto copy = [&](int fromOffset, int toOffset, std::size_t bytes) {
        if (fromOffset >= 0 && toOffset >= 0) std::memcpy(dst + toOffset, src + fromOffset, bytes);
    };
    copy(from.indicesOffset, to.indicesOffset, 4);
    copy(from.normalOffset, to.normalOffset, 12);
    copy(from.psizeOffset, to.psizeOffset, 4);
    copy(from.diffuseOffset, to.diffuseOffset, 4);
    copy(from.specularOffset, to.specularOffset, 4);
    const int sets = std::min(from.texSets, to.texSets);
    for (int i = 0; i < sets; ++i) {
        const int floats = std::min(from.texFloats[i], to.texFloats[i]);
        std::memcpy(dst + to.texOffset[i], src + from.texOffset[i], 4 * floats);
    }
}

FvfLayout ComputeFvfLayout(DWORD fvf) {
    FvfLayout layout;
    UINT offset = 0;
    const DWORD position = fvf & D3DFVF_POSITION_MASK;
    int betas = 0;
    switch (position) {
        case D3DFVF_XYZ:
            offset = 12;
            break;
        case D3DFVF_XYZRHW:
            offset = 16;
            break;
        case D3DFVF_XYZB1:
        case D3DFVF_XYZB2:
        case D3DFVF_XYZB3:
        case D3DFVF_XYZB4:
        case D3DFVF_XYZB5:
            betas = static_cast<int>(position - D3DFVF_XYZRHW) / 2;  // XYZB1 = 6 ... XYZB5 = 14
            offset = 12 + 4 * betas;
            break;
        default:
            break;
    }
    if (betas > 0) {
        layout.blendOffset = 12;
        layout.blendFloats = betas;
        if (fvf & D3DFVF_LASTBETA_UBYTE4) {
            layout.blendFloats = betas - 1;
            layout.indicesOffset = 12 + 4 * (betas - 1);
        }
        if (layout.blendFloats == 0) layout.blendOffset = -1;
    }
    auto element = [&offset](DWORD bit, DWORD flags, UINT bytes) {
        if (!(flags & bit)) return -1;
        const int at = static_cast<int>(offset);
        offset += bytes;
        return at;
    };
    layout.normalOffset = element(D3DFVF_NORMAL, fvf, 12);
    layout.psizeOffset = element(D3DFVF_PSIZE, fvf, 4);
    layout.diffuseOffset = element(D3DFVF_DIFFUSE, fvf, 4);
    layout.specularOffset = element(D3DFVF_SPECULAR, fvf, 4);
    const int sets = static_cast<int>((fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT);
    const int usedSets = std::min(sets, 8);
    for (int i = 0; i < usedSets; ++i) {
        static constexpr int kFloats[4] = {2, 3, 4, 1};  // by TEXTUREFORMAT code
        layout.texFloats[i] = kFloats[(fvf >> (16 + 2 * i)) & 3];
        layout.texOffset[i] = static_cast<int>(offset);
        offset += 4 * layout.texFloats[i];
    }
    layout.texSets = usedSets;
    layout.size = offset;
    layout.valid = (position == D3DFVF_XYZ || betas > 0) && sets <= 8;
    return layout;
}

void ComputeAdjacency(const DWORD* indices, DWORD numFaces, const DWORD* pointRep, DWORD* adjacency) {
    struct Edge {
        DWORD lo, hi, corner;  // corner = face * 3 + edge
    };
    std::vector<Edge> edges;
    edges.reserve(std::size_t{numFaces} * 3);
    for (DWORD f = 0; f < numFaces; ++f) {
        for (DWORD k = 0; k < 3; ++k) {
            DWORD a = indices[f * 3 + k];
            DWORD b = indices[f * 3 + (k + 1) % 3];
            if (pointRep) {
                a = pointRep[a];
                b = pointRep[b];
            }
            adjacency[f * 3 + k] = 0xFFFFFFFFu;
            if (a != b) edges.push_back({std::min(a, b), std::max(a, b), f * 3 + k});
        }
    }
    std::sort(edges.begin(), edges.end(), [](const Edge& x, const Edge& y) {
        return x.lo != y.lo ? x.lo < y.lo : x.hi != y.hi ? x.hi < y.hi : x.corner < y.corner;
    });
    // Within a run of equal edges, a face's neighbour is the first other face
    // of the run (linear per run, even for edges shared by many faces).
    std::size_t begin = 0;
    while (begin < edges.size()) {
        std::size_t end = begin + 1;
        while (end < edges.size() && edges[end].lo == edges[begin].lo && edges[end].hi == edges[begin].hi) ++end;
        const DWORD first = edges[begin].corner / 3;
        DWORD second = 0xFFFFFFFFu;
        for (std::size_t i = begin + 1; i < end; ++i) {
            if (edges[i].corner / 3 != first) {
                second = edges[i].corner / 3;
                break;
            }
        }
        for (std::size_t i = begin; i < end; ++i) {
            const DWORD face = edges[i].corner / 3;
            adjacency[edges[i].corner] = face != first ? first : second;
        }
        begin = end;
    }
}

ComPtr<ID3DXBuffer> MakeBuffer(DWORD size) { return MakeComPtr<Buffer>(size); }

ComPtr<ID3DXBuffer> MakeBufferCopy(const void* data, DWORD size) {
    ComPtr<ID3DXBuffer> buffer = MakeBuffer(size);
    if (size) std::memcpy(buffer->GetBufferPointer(), data, size);
    return buffer;
}

}  // namespace d3dxmesh

using d3dxmesh::ComputeFvfLayout;
using d3dxmesh::FvfLayout;

HRESULT D3DXCreateBuffer(DWORD size, ID3DXBuffer** buffer) {
    if (!buffer) return D3DERR_INVALIDCALL;
    *buffer = nullptr;
    return CatchOutOfMemory([&] {
        *buffer = d3dxmesh::MakeBuffer(size).Detach();
        return S_OK;
    });
}

HRESULT D3DXCreateMeshFVF(DWORD numFaces, DWORD numVertices, DWORD options, DWORD fvf, IDirect3DDevice8* device,
                          ID3DXMesh** mesh) {
    if (!mesh) return D3DERR_INVALIDCALL;
    *mesh = nullptr;
    ComPtr<d3dxmesh::Mesh> created;
    const HRESULT hr =
        CatchOutOfMemory([&] { return d3dxmesh::Mesh::Create(numFaces, numVertices, options, fvf, device, &created); });
    *mesh = created.Detach();
    return hr;
}

namespace {

HRESULT ComputeNormals(ID3DXMesh* mesh) {
    const FvfLayout layout = ComputeFvfLayout(mesh->GetFVF());
    if (!layout.valid || layout.normalOffset < 0) return D3DERR_INVALIDCALL;
    const DWORD numVertices = mesh->GetNumVertices();
    const DWORD numFaces = mesh->GetNumFaces();
    const bool is32 = (mesh->GetOptions() & D3DXMESH_32BIT) != 0;

    std::vector<D3DXVECTOR3> sums(numVertices, D3DXVECTOR3(0.0f, 0.0f, 0.0f));
    d3dxmesh::MeshLock lock(mesh);
    HRESULT hr = lock.LockVertices(0);
    if (SUCCEEDED(hr)) hr = lock.LockIndices(D3DLOCK_READONLY);
    if (FAILED(hr)) return hr;
    BYTE* vertices = lock.vertices;
    for (DWORD f = 0; f < numFaces; ++f) {
        DWORD idx[3];
        for (int k = 0; k < 3; ++k) idx[k] = d3dxmesh::ReadIndex(lock.indices, is32, std::size_t{f} * 3 + k);
        if (idx[0] >= numVertices || idx[1] >= numVertices || idx[2] >= numVertices) return D3DXERR_INVALIDMESH;
        const D3DXVECTOR3 p0 = d3dxmesh::ReadVector(vertices + std::size_t{idx[0]} * layout.size);
        const D3DXVECTOR3 e1 = d3dxmesh::ReadVector(vertices + std::size_t{idx[1]} * layout.size) - p0;
        const D3DXVECTOR3 e2 = d3dxmesh::ReadVector(vertices + std::size_t{idx[2]} * layout.size) - p0;
        // Clockwise front faces in a left-handed frame: e1 x e2 faces the viewer.
        D3DXVECTOR3 n;
        D3DXVec3Cross(&n, &e1, &e2);
        if (D3DXVec3Length(&n) <= 0.0f) continue;  // degenerate face: no direction to add
        D3DXVec3Normalize(&n, &n);
        for (DWORD v : idx) sums[v] += n;
    }
    for (DWORD v = 0; v < numVertices; ++v) {
        D3DXVECTOR3 n = sums[v];
        if (D3DXVec3Length(&n) > 0.0f) D3DXVec3Normalize(&n, &n);
        std::memcpy(vertices + std::size_t{v} * layout.size + layout.normalOffset, &n, 12);
    }
    return S_OK;
}

}  // namespace

HRESULT D3DXComputeNormals(ID3DXMesh* mesh, const DWORD* /*adjacency: vertices are shared by index only*/) {
    if (!mesh) return D3DERR_INVALIDCALL;
    return CatchOutOfMemory([mesh] { return ComputeNormals(mesh); });
}

UINT D3DXGetFVFVertexSize(DWORD fvf) { return ComputeFvfLayout(fvf).size; }

HRESULT D3DXComputeBoundingBox(const D3DXVECTOR3* firstPosition, DWORD numVertices, DWORD fvf, D3DXVECTOR3* min,
                               D3DXVECTOR3* max) {
    const UINT stride = D3DXGetFVFVertexSize(fvf);
    if (!firstPosition || !min || !max || numVertices == 0 || stride < 12) return D3DERR_INVALIDCALL;
    const BYTE* p = reinterpret_cast<const BYTE*>(firstPosition);
    D3DXVECTOR3 lo = d3dxmesh::ReadVector(p), hi = lo;
    for (DWORD i = 1; i < numVertices; ++i) {
        const D3DXVECTOR3 v = d3dxmesh::ReadVector(p + std::size_t{i} * stride);
        lo.x = std::min(lo.x, v.x);
        lo.y = std::min(lo.y, v.y);
        lo.z = std::min(lo.z, v.z);
        hi.x = std::max(hi.x, v.x);
        hi.y = std::max(hi.y, v.y);
        hi.z = std::max(hi.z, v.z);
    }
    *min = lo;
    *max = hi;
    return S_OK;
}

HRESULT D3DXComputeBoundingSphere(const D3DXVECTOR3* firstPosition, DWORD numVertices, DWORD fvf, D3DXVECTOR3* centre,
                                  float* radius) {
    const UINT stride = D3DXGetFVFVertexSize(fvf);
    if (!firstPosition || !centre || !radius || numVertices == 0 || stride < 12) return D3DERR_INVALIDCALL;
    const BYTE* p = reinterpret_cast<const BYTE*>(firstPosition);
    double sx = 0.0, sy = 0.0, sz = 0.0;  // summed in double: large meshes keep their mean
    for (DWORD i = 0; i < numVertices; ++i) {
        const D3DXVECTOR3 v = d3dxmesh::ReadVector(p + std::size_t{i} * stride);
        sx += v.x;
        sy += v.y;
        sz += v.z;
    }
    const D3DXVECTOR3 c(static_cast<float>(sx / numVertices), static_cast<float>(sy / numVertices),
                        static_cast<float>(sz / numVertices));
    float r = 0.0f;
    for (DWORD i = 0; i < numVertices; ++i) {
        const D3DXVECTOR3 d = d3dxmesh::ReadVector(p + std::size_t{i} * stride) - c;
        r = std::max(r, D3DXVec3Length(&d));
    }
    *centre = c;
    *radius = r;
    return S_OK;
}
