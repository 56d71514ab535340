// Skinned meshes: the skin loader (SkinWeights of a Mesh data object) and the
// conversion to an indexed blended mesh with bone combinations.
#include "platform/d3dx/d3dx_skin.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "platform/d3dx/d3dx_mesh_internal.h"

namespace {

constexpr DWORD kNoBone = 0xFFFFFFFFu;
constexpr DWORD kMaxBlend = 4;  // influences kept per vertex

struct Influence {
    DWORD bone;
    float weight;
};

struct Bone {
    std::string name;
    D3DXMATRIX offset;
    std::vector<DWORD> vertices;
    std::vector<float> weights;
};

bool Usable(float w) { return w > 0.0f && std::isfinite(w); }

class SkinMesh final : public ID3DXSkinMesh {
public:
    SkinMesh(ID3DXMesh* mesh, std::vector<Bone> bones) : m_pMesh(mesh), m_Bones(std::move(bones)) { m_pMesh->AddRef(); }

    DWORD AddRef() override { return ++m_dwRef; }
    DWORD Release() override {
        if (m_dwRef == 0) return 0;
        const DWORD left = --m_dwRef;
        if (left == 0) delete this;
        return left;
    }
    DWORD GetNumBones() override { return static_cast<DWORD>(m_Bones.size()); }
    HRESULT GetOriginalMesh(ID3DXMesh** mesh) override {
        if (!mesh) return D3DERR_INVALIDCALL;
        m_pMesh->AddRef();
        *mesh = m_pMesh;
        return S_OK;
    }
    HRESULT GetDevice(IDirect3DDevice8** device) override { return m_pMesh->GetDevice(device); }
    DWORD GetNumBoneInfluences(DWORD bone) override {
        return bone < m_Bones.size() ? static_cast<DWORD>(m_Bones[bone].vertices.size()) : 0;
    }
    HRESULT GetBoneInfluence(DWORD bone, DWORD* vertices, float* weights) override {
        if (bone >= m_Bones.size() || !vertices || !weights) return D3DERR_INVALIDCALL;
        const Bone& b = m_Bones[bone];
        std::copy(b.vertices.begin(), b.vertices.end(), vertices);
        std::copy(b.weights.begin(), b.weights.end(), weights);
        return S_OK;
    }
    HRESULT SetBoneInfluence(DWORD bone, DWORD count, const DWORD* vertices, const float* weights) override {
        if (bone >= m_Bones.size() || (count > 0 && (!vertices || !weights))) return D3DERR_INVALIDCALL;
        const DWORD numVertices = m_pMesh->GetNumVertices();
        for (DWORD i = 0; i < count; ++i) {
            if (vertices[i] >= numVertices) return D3DERR_INVALIDCALL;
        }
        try {
            m_Bones[bone].vertices.assign(vertices, vertices + count);
            m_Bones[bone].weights.assign(weights, weights + count);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        return S_OK;
    }
    HRESULT GetMaxVertexInfluences(DWORD* maxInfluences) override {
        if (!maxInfluences) return D3DERR_INVALIDCALL;
        std::vector<DWORD> count(m_pMesh->GetNumVertices(), 0);
        DWORD most = 0;
        for (const Bone& b : m_Bones) {
            for (std::size_t i = 0; i < b.vertices.size(); ++i) {
                if (Usable(b.weights[i])) most = std::max(most, ++count[b.vertices[i]]);
            }
        }
        *maxInfluences = most;
        return S_OK;
    }
    HRESULT ConvertToIndexedBlendedMesh(DWORD options, const DWORD* adjacencyIn, DWORD paletteSize,
                                        DWORD* adjacencyOut, DWORD* numBoneCombinations,
                                        ID3DXBuffer** boneCombinations, ID3DXMesh** mesh) override;

    // Bone names and offsets as the loader hands them out.
    HRESULT NamesAndOffsets(ID3DXBuffer** names, ID3DXBuffer** offsets) const;

private:
    ~SkinMesh() override { m_pMesh->Release(); }
    HRESULT Convert(DWORD options, DWORD paletteSize, DWORD* adjacencyOut, DWORD* numBoneCombinations,
                    ID3DXBuffer** boneCombinations, ID3DXMesh** mesh);

    DWORD m_dwRef = 1;
    ID3DXMesh* m_pMesh;
    std::vector<Bone> m_Bones;
};

// The four strongest usable influences of every vertex, scaled to sum 1.
std::vector<std::vector<Influence>> VertexInfluences(const std::vector<Bone>& bones, DWORD numVertices) {
    std::vector<std::vector<Influence>> out(numVertices);
    for (DWORD b = 0; b < bones.size(); ++b) {
        for (std::size_t i = 0; i < bones[b].vertices.size(); ++i) {
            if (Usable(bones[b].weights[i])) out[bones[b].vertices[i]].push_back({b, bones[b].weights[i]});
        }
    }
    for (std::vector<Influence>& list : out) {
        // Strongest first; equal weights keep bone order, so the result is stable.
        std::stable_sort(list.begin(), list.end(),
                         [](const Influence& a, const Influence& b) { return a.weight > b.weight; });
        if (list.size() > kMaxBlend) list.resize(kMaxBlend);
        float sum = 0.0f;
        for (const Influence& i : list) sum += i.weight;
        for (Influence& i : list) i.weight /= sum;
    }
    return out;
}

struct Combination {
    DWORD attrib = 0;
    std::vector<DWORD> faces;  // old face indices, in order
    std::vector<DWORD> bones;  // palette: slot -> bone
};

HRESULT SkinMesh::ConvertToIndexedBlendedMesh(DWORD options, const DWORD*, DWORD paletteSize, DWORD* adjacencyOut,
                                              DWORD* numBoneCombinations, ID3DXBuffer** boneCombinations,
                                              ID3DXMesh** mesh) {
    if (!mesh || !numBoneCombinations || !boneCombinations) return D3DERR_INVALIDCALL;
    *mesh = nullptr;
    *numBoneCombinations = 0;
    *boneCombinations = nullptr;
    if (m_Bones.empty() || paletteSize == 0 || paletteSize > kD3DXMaxPaletteBones) {
        return D3DERR_INVALIDCALL;
    }
    try {
        return Convert(options, paletteSize, adjacencyOut, numBoneCombinations, boneCombinations, mesh);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT SkinMesh::Convert(DWORD options, DWORD paletteSize, DWORD* adjacencyOut, DWORD* numBoneCombinations,
                          ID3DXBuffer** boneCombinations, ID3DXMesh** mesh) {
    ID3DXMesh* src = m_pMesh;
    const DWORD numVertices = src->GetNumVertices();
    const DWORD numFaces = src->GetNumFaces();
    const bool srcIs32 = (src->GetOptions() & D3DXMESH_32BIT) != 0;
    const std::vector<std::vector<Influence>> influences = VertexInfluences(m_Bones, numVertices);

    std::vector<DWORD> indices(std::size_t{numFaces} * 3);
    std::vector<DWORD> attributes(numFaces);
    {
        BYTE* ib = nullptr;
        if (FAILED(src->LockIndexBuffer(D3DLOCK_READONLY, &ib))) return D3DERR_INVALIDCALL;
        for (std::size_t i = 0; i < indices.size(); ++i) indices[i] = d3dxmesh::ReadIndex(ib, srcIs32, i);
        src->UnlockIndexBuffer();
        DWORD* ab = nullptr;
        if (FAILED(src->LockAttributeBuffer(D3DLOCK_READONLY, &ab))) return D3DERR_INVALIDCALL;
        std::copy(ab, ab + numFaces, attributes.begin());
        src->UnlockAttributeBuffer();
    }
    DWORD maxInfluences = 1;
    for (DWORD f = 0; f < numFaces; ++f) {
        for (int k = 0; k < 3; ++k) {
            const DWORD v = indices[std::size_t{f} * 3 + k];
            if (v >= numVertices) return D3DXERR_INVALIDMESH;
            maxInfluences = std::max(maxInfluences, static_cast<DWORD>(influences[v].size()));
        }
    }

    // Faces by attribute (stable), then greedy combinations per attribute.
    std::vector<DWORD> order(numFaces);
    for (DWORD f = 0; f < numFaces; ++f) order[f] = f;
    std::stable_sort(order.begin(), order.end(), [&](DWORD a, DWORD b) { return attributes[a] < attributes[b]; });
    std::vector<Combination> combos;
    std::vector<DWORD> slotOf(m_Bones.size(), kNoBone);
    for (DWORD f : order) {
        DWORD wanted[3 * kMaxBlend];
        DWORD numWanted = 0;
        for (int k = 0; k < 3; ++k) {
            for (const Influence& i : influences[indices[std::size_t{f} * 3 + k]]) {
                if (std::find(wanted, wanted + numWanted, i.bone) == wanted + numWanted) wanted[numWanted++] = i.bone;
            }
        }
        if (numWanted > paletteSize) return D3DERR_INVALIDCALL;  // one face needs more bones than a draw holds
        bool fresh = combos.empty() || combos.back().attrib != attributes[f];
        if (!fresh) {
            DWORD added = 0;
            for (DWORD i = 0; i < numWanted; ++i) added += slotOf[wanted[i]] == kNoBone ? 1 : 0;
            fresh = combos.back().bones.size() + added > paletteSize;
        }
        if (fresh) {
            if (!combos.empty()) {
                for (DWORD b : combos.back().bones) slotOf[b] = kNoBone;
            }
            combos.emplace_back();
            combos.back().attrib = attributes[f];
        }
        Combination& c = combos.back();
        for (DWORD i = 0; i < numWanted; ++i) {
            if (slotOf[wanted[i]] == kNoBone) {
                slotOf[wanted[i]] = static_cast<DWORD>(c.bones.size());
                c.bones.push_back(wanted[i]);
            }
        }
        c.faces.push_back(f);
    }
    if (combos.empty()) return D3DXERR_INVALIDMESH;

    // New vertices: one copy of each old vertex per combination that uses it.
    struct NewVertex {
        DWORD source;
        DWORD combo;
    };
    std::vector<NewVertex> newVertices;
    std::vector<DWORD> newIndices;
    newIndices.reserve(indices.size());
    std::vector<DWORD> stampCombo(numVertices, kNoBone), stampIndex(numVertices, 0);
    std::vector<D3DXBONECOMBINATION> records(combos.size());
    DWORD faceCursor = 0;
    for (DWORD c = 0; c < combos.size(); ++c) {
        D3DXBONECOMBINATION& r = records[c];
        r.AttribId = combos[c].attrib;
        r.FaceStart = faceCursor;
        r.FaceCount = static_cast<DWORD>(combos[c].faces.size());
        r.VertexStart = static_cast<DWORD>(newVertices.size());
        for (DWORD f : combos[c].faces) {
            for (int k = 0; k < 3; ++k) {
                const DWORD v = indices[std::size_t{f} * 3 + k];
                if (stampCombo[v] != c) {
                    stampCombo[v] = c;
                    stampIndex[v] = static_cast<DWORD>(newVertices.size());
                    newVertices.push_back({v, c});
                }
                newIndices.push_back(stampIndex[v]);
            }
        }
        r.VertexCount = static_cast<DWORD>(newVertices.size()) - r.VertexStart;
        faceCursor += r.FaceCount;
    }
    const bool is32 = (options & D3DXMESH_32BIT) != 0;
    if (!is32 && newVertices.size() > 0xFFFFu) return D3DERR_INVALIDCALL;

    const DWORD srcFvf = src->GetFVF();
    const DWORD fvf = (D3DFVF_XYZB1 + 2 * (maxInfluences - 1)) | D3DFVF_LASTBETA_UBYTE4 |
                      (srcFvf & ~(D3DFVF_POSITION_MASK | D3DFVF_LASTBETA_UBYTE4));
    const d3dxmesh::FvfLayout from = d3dxmesh::ComputeFvfLayout(srcFvf);
    const d3dxmesh::FvfLayout to = d3dxmesh::ComputeFvfLayout(fvf);
    if (!from.valid || !to.valid) return D3DERR_INVALIDCALL;

    // Device buffers when asked for managed memory and the skin has a device.
    IDirect3DDevice8* device = nullptr;
    if (FAILED(src->GetDevice(&device))) device = nullptr;
    ID3DXMesh* out = nullptr;
    HRESULT hr = D3DXCreateMeshFVF(numFaces, static_cast<DWORD>(newVertices.size()), options, fvf, device, &out);
    if (FAILED(hr)) return hr;

    BYTE* srcVb = nullptr;
    BYTE* dstVb = nullptr;
    hr = src->LockVertexBuffer(D3DLOCK_READONLY, &srcVb);
    if (SUCCEEDED(hr)) {
        hr = out->LockVertexBuffer(0, &dstVb);
        if (FAILED(hr)) src->UnlockVertexBuffer();
    }
    if (FAILED(hr)) {
        out->Release();
        return hr;
    }
    for (std::size_t n = 0; n < newVertices.size(); ++n) {
        const BYTE* s = srcVb + std::size_t{newVertices[n].source} * from.size;
        BYTE* d = dstVb + n * to.size;
        d3dxmesh::ConvertVertex(s, from, d, to);
        // The blend weights and indices are the skin's, not the source's.
        if (to.blendFloats > 0) std::memset(d + to.blendOffset, 0, 4u * to.blendFloats);
        const std::vector<Influence>& list = influences[newVertices[n].source];
        const std::vector<DWORD>& palette = combos[newVertices[n].combo].bones;
        BYTE packed[4] = {0, 0, 0, 0};
        for (DWORD k = 0; k < list.size(); ++k) {
            const auto slot = static_cast<DWORD>(std::find(palette.begin(), palette.end(), list[k].bone) - palette.begin());
            packed[k] = static_cast<BYTE>(slot);
            if (k + 1 < maxInfluences) std::memcpy(d + to.blendOffset + 4 * k, &list[k].weight, 4);
        }
        std::memcpy(d + to.indicesOffset, packed, 4);
    }
    out->UnlockVertexBuffer();
    src->UnlockVertexBuffer();

    BYTE* ib = nullptr;
    DWORD* ab = nullptr;
    if (SUCCEEDED(out->LockIndexBuffer(0, &ib))) {
        for (std::size_t i = 0; i < newIndices.size(); ++i) d3dxmesh::WriteIndex(ib, is32, i, newIndices[i]);
        out->UnlockIndexBuffer();
    }
    if (SUCCEEDED(out->LockAttributeBuffer(0, &ab))) {
        for (const D3DXBONECOMBINATION& r : records) std::fill(ab + r.FaceStart, ab + r.FaceStart + r.FaceCount, r.AttribId);
        out->UnlockAttributeBuffer();
    }

    // The combination records, then their palettes, in one buffer.
    const std::size_t recordBytes = records.size() * sizeof(D3DXBONECOMBINATION);
    const std::size_t paletteBytes = records.size() * std::size_t{paletteSize} * sizeof(DWORD);
    ID3DXBuffer* table = nullptr;
    hr = D3DXCreateBuffer(static_cast<DWORD>(recordBytes + paletteBytes), &table);
    if (FAILED(hr)) {
        out->Release();
        return hr;
    }
    auto* base = static_cast<BYTE*>(table->GetBufferPointer());
    auto* outRecords = reinterpret_cast<D3DXBONECOMBINATION*>(base);
    auto* ids = reinterpret_cast<DWORD*>(base + recordBytes);
    for (std::size_t c = 0; c < records.size(); ++c) {
        outRecords[c] = records[c];
        outRecords[c].BoneId = ids + c * paletteSize;
        for (DWORD s = 0; s < paletteSize; ++s) {
            outRecords[c].BoneId[s] = s < combos[c].bones.size() ? combos[c].bones[s] : kNoBone;
        }
    }
    if (adjacencyOut) std::fill(adjacencyOut, adjacencyOut + std::size_t{numFaces} * 3, 0xFFFFFFFFu);
    *numBoneCombinations = static_cast<DWORD>(records.size());
    *boneCombinations = table;
    *mesh = out;
    return S_OK;
}

HRESULT SkinMesh::NamesAndOffsets(ID3DXBuffer** names, ID3DXBuffer** offsets) const {
    *names = nullptr;
    *offsets = nullptr;
    if (m_Bones.empty()) return S_OK;
    std::size_t bytes = m_Bones.size() * sizeof(const char*);
    for (const Bone& b : m_Bones) bytes += b.name.size() + 1;
    HRESULT hr = D3DXCreateBuffer(static_cast<DWORD>(bytes), names);
    if (FAILED(hr)) return hr;
    hr = D3DXCreateBuffer(static_cast<DWORD>(m_Bones.size() * sizeof(D3DXMATRIX)), offsets);
    if (FAILED(hr)) {
        (*names)->Release();
        *names = nullptr;
        return hr;
    }
    auto* base = static_cast<BYTE*>((*names)->GetBufferPointer());
    auto* pointers = reinterpret_cast<const char**>(base);
    char* text = reinterpret_cast<char*>(base + m_Bones.size() * sizeof(const char*));
    auto* matrices = static_cast<D3DXMATRIX*>((*offsets)->GetBufferPointer());
    for (std::size_t i = 0; i < m_Bones.size(); ++i) {
        std::memcpy(text, m_Bones[i].name.c_str(), m_Bones[i].name.size() + 1);
        pointers[i] = text;
        text += m_Bones[i].name.size() + 1;
        matrices[i] = m_Bones[i].offset;
    }
    return S_OK;
}

// What the mesh loader hands over besides the mesh: the SkinWeights objects,
// read while the child is valid.
struct SkinLoad {
    struct Weights {
        std::string name;
        std::vector<DWORD> fileVertices;
        std::vector<float> weights;
        D3DXMATRIX offset;
    };
    std::vector<Weights> weights;
    bool malformed = false;
};

void ReadSkinChild(IDirectXFileData* child, void* context) {
    auto* load = static_cast<SkinLoad*>(context);
    const GUID* type = nullptr;
    if (FAILED(child->GetType(&type)) || !type || !(*type == DXFILEOBJ_SkinWeights)) return;
    DWORD size = 0;
    void* data = nullptr;
    if (FAILED(child->GetData(nullptr, &size, &data)) || !data) {
        load->malformed = true;
        return;
    }
    const auto* p = static_cast<const BYTE*>(data);
    const char* name = nullptr;
    DWORD count = 0;
    if (size < sizeof name + 4) {
        load->malformed = true;
        return;
    }
    std::memcpy(&name, p, sizeof name);
    std::memcpy(&count, p + sizeof name, 4);
    const std::size_t need = sizeof name + 4 + std::size_t{count} * 8 + 64;
    if (size < need) {
        load->malformed = true;
        return;
    }
    SkinLoad::Weights w;
    w.name = name ? name : "";
    w.fileVertices.resize(count);
    w.weights.resize(count);
    std::memcpy(w.fileVertices.data(), p + sizeof name + 4, std::size_t{count} * 4);
    std::memcpy(w.weights.data(), p + sizeof name + 4 + std::size_t{count} * 4, std::size_t{count} * 4);
    std::memcpy(&w.offset, p + sizeof name + 4 + std::size_t{count} * 8, 64);
    load->weights.push_back(std::move(w));
}

HRESULT LoadSkin(IDirectXFileData* meshData, DWORD options, IDirect3DDevice8* device, ID3DXBuffer** adjacency,
                 ID3DXBuffer** materials, DWORD* numMaterials, ID3DXBuffer** boneNames, ID3DXBuffer** boneTransforms,
                 ID3DXSkinMesh** skinMesh) {
    SkinLoad load;
    ID3DXMesh* mesh = nullptr;
    ID3DXBuffer* source = nullptr;
    HRESULT hr = D3DXLoadMeshFromXofEx(meshData, options, device, adjacency, materials, numMaterials, &mesh, &source,
                                       ReadSkinChild, &load);
    if (FAILED(hr)) return hr;
    auto fail = [&](HRESULT status) {
        mesh->Release();
        source->Release();
        for (ID3DXBuffer** b : {adjacency, materials}) {
            if (b && *b) {
                (*b)->Release();
                *b = nullptr;
            }
        }
        if (numMaterials) *numMaterials = 0;
        return status;
    };
    if (load.malformed) return fail(D3DXERR_INVALIDMESH);

    // Mesh vertices made from each file vertex (normal splits copy it).
    const DWORD numVertices = mesh->GetNumVertices();
    const auto* sourceOf = static_cast<const DWORD*>(source->GetBufferPointer());
    DWORD numFileVertices = 0;
    for (DWORD v = 0; v < numVertices; ++v) numFileVertices = std::max(numFileVertices, sourceOf[v] + 1);
    std::vector<std::vector<DWORD>> copies(numFileVertices);
    for (DWORD v = 0; v < numVertices; ++v) copies[sourceOf[v]].push_back(v);

    std::vector<Bone> bones;
    for (const SkinLoad::Weights& w : load.weights) {
        auto it = std::find_if(bones.begin(), bones.end(), [&](const Bone& b) { return b.name == w.name; });
        if (it == bones.end()) {
            bones.emplace_back();
            bones.back().name = w.name;
            bones.back().offset = w.offset;
            it = bones.end() - 1;
        }
        for (std::size_t i = 0; i < w.fileVertices.size(); ++i) {
            if (w.fileVertices[i] >= numFileVertices) return fail(D3DXERR_INVALIDMESH);
            for (DWORD v : copies[w.fileVertices[i]]) {
                it->vertices.push_back(v);
                it->weights.push_back(w.weights[i]);
            }
        }
    }
    if (!bones.empty()) {
        // Vertices that faces use but no bone moves ride on one more bone,
        // bound by the renderer to the mesh's own frame.
        std::vector<bool> weighted(numVertices, false), used(numVertices, false);
        for (const Bone& b : bones) {
            for (std::size_t i = 0; i < b.vertices.size(); ++i) {
                if (Usable(b.weights[i])) weighted[b.vertices[i]] = true;
            }
        }
        BYTE* ib = nullptr;
        if (SUCCEEDED(mesh->LockIndexBuffer(D3DLOCK_READONLY, &ib))) {
            const bool is32 = (mesh->GetOptions() & D3DXMESH_32BIT) != 0;
            for (std::size_t i = 0; i < std::size_t{mesh->GetNumFaces()} * 3; ++i) {
                const DWORD v = d3dxmesh::ReadIndex(ib, is32, i);
                if (v < numVertices) used[v] = true;
            }
            mesh->UnlockIndexBuffer();
        }
        Bone rest;
        D3DXMatrixIdentity(&rest.offset);
        for (DWORD v = 0; v < numVertices; ++v) {
            if (used[v] && !weighted[v]) {
                rest.vertices.push_back(v);
                rest.weights.push_back(1.0f);
            }
        }
        if (!rest.vertices.empty()) bones.push_back(std::move(rest));
    }
    if (bones.size() > kD3DXMaxPaletteBones) return fail(D3DXERR_INVALIDMESH);

    auto* skin = new (std::nothrow) SkinMesh(mesh, std::move(bones));
    if (!skin) return fail(E_OUTOFMEMORY);
    ID3DXBuffer* names = nullptr;
    ID3DXBuffer* offsets = nullptr;
    hr = skin->NamesAndOffsets(&names, &offsets);
    if (FAILED(hr)) {
        skin->Release();
        return fail(hr);
    }
    mesh->Release();  // the skin holds its own reference
    source->Release();
    if (boneNames) {
        *boneNames = names;
    } else if (names) {
        names->Release();
    }
    if (boneTransforms) {
        *boneTransforms = offsets;
    } else if (offsets) {
        offsets->Release();
    }
    *skinMesh = skin;
    return S_OK;
}

}  // namespace

HRESULT D3DXCreateSkinMeshFromMesh(ID3DXMesh* mesh, DWORD numBones, ID3DXSkinMesh** skinMesh) {
    if (!skinMesh) return D3DERR_INVALIDCALL;
    *skinMesh = nullptr;
    if (!mesh || numBones > kD3DXMaxPaletteBones) return D3DERR_INVALIDCALL;
    try {
        std::vector<Bone> bones(numBones);
        for (Bone& b : bones) D3DXMatrixIdentity(&b.offset);
        *skinMesh = new SkinMesh(mesh, std::move(bones));
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

HRESULT D3DXLoadSkinMeshFromXof(IDirectXFileData* meshData, DWORD options, IDirect3DDevice8* device,
                                ID3DXBuffer** adjacency, ID3DXBuffer** materials, DWORD* numMaterials,
                                ID3DXBuffer** boneNames, ID3DXBuffer** boneTransforms, ID3DXSkinMesh** skinMesh) {
    if (boneNames) *boneNames = nullptr;
    if (boneTransforms) *boneTransforms = nullptr;
    if (!skinMesh) return D3DERR_INVALIDCALL;
    *skinMesh = nullptr;
    try {
        return LoadSkin(meshData, options, device, adjacency, materials, numMaterials, boneNames, boneTransforms,
                        skinMesh);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}
