// Skinned meshes: the skin loader (SkinWeights of a Mesh data object) and the
// conversion to an indexed blended mesh with bone combinations. Running out
// of memory throws inside and is E_OUTOFMEMORY at every public call.
#include "platform/d3dx/d3dx_skin.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "platform/base/alloc.h"
#include "platform/base/ref_counted.h"
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

class SkinMesh final : public RefCounted<ID3DXSkinMesh> {
public:
    SkinMesh(ID3DXMesh* mesh, std::vector<Bone> bones)
        : m_pMesh(ComPtr<ID3DXMesh>::Share(mesh)), m_Bones(std::move(bones)) {}

    DWORD GetNumBones() override { return static_cast<DWORD>(m_Bones.size()); }
    HRESULT GetOriginalMesh(ID3DXMesh** mesh) override {
        if (!mesh) return D3DERR_INVALIDCALL;
        *mesh = ComPtr<ID3DXMesh>::Share(m_pMesh).Detach();
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
        return CatchOutOfMemory([&] {
            m_Bones[bone].vertices.assign(vertices, vertices + count);
            m_Bones[bone].weights.assign(weights, weights + count);
            return S_OK;
        });
    }
    HRESULT GetMaxVertexInfluences(DWORD* maxInfluences) override {
        if (!maxInfluences) return D3DERR_INVALIDCALL;
        return CatchOutOfMemory([&] {
            std::vector<DWORD> count(m_pMesh->GetNumVertices(), 0);
            DWORD most = 0;
            for (const Bone& b : m_Bones) {
                for (std::size_t i = 0; i < b.vertices.size(); ++i) {
                    if (Usable(b.weights[i])) most = std::max(most, ++count[b.vertices[i]]);
                }
            }
            *maxInfluences = most;
            return S_OK;
        });
    }
    HRESULT ConvertToIndexedBlendedMesh(DWORD options, const DWORD* adjacencyIn, DWORD paletteSize,
                                        DWORD* adjacencyOut, DWORD* numBoneCombinations,
                                        ID3DXBuffer** boneCombinations, ID3DXMesh** mesh) override;

    // Bone names and offsets as the loader hands them out (both null without bones).
    void NamesAndOffsets(ComPtr<ID3DXBuffer>* names, ComPtr<ID3DXBuffer>* offsets) const;

private:
    ~SkinMesh() override = default;

    ComPtr<ID3DXMesh> m_pMesh;
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

// The source mesh's faces as plain arrays: three vertex indices and one
// attribute each.
struct SourceFaces {
    std::vector<DWORD> indices;
    std::vector<DWORD> attributes;
};

HRESULT ReadFaces(ID3DXMesh* src, SourceFaces* faces) {
    const DWORD numFaces = src->GetNumFaces();
    const bool is32 = (src->GetOptions() & D3DXMESH_32BIT) != 0;
    d3dxmesh::MeshLock lock(src);
    if (FAILED(lock.LockIndices(D3DLOCK_READONLY)) || FAILED(lock.LockAttributes(D3DLOCK_READONLY))) {
        return D3DERR_INVALIDCALL;
    }
    faces->attributes.assign(lock.attributes, lock.attributes + numFaces);
    return d3dxmesh::ReadIndices(lock.indices, is32, numFaces, src->GetNumVertices(), &faces->indices);
}

struct Combination {
    DWORD attrib = 0;
    std::vector<DWORD> faces;  // old face indices, in order
    std::vector<DWORD> bones;  // palette: slot -> bone
};

// Faces by attribute (stable), then split greedily, in face order, into
// combinations whose union of bones fits the palette.
HRESULT SplitIntoCombinations(const SourceFaces& faces, const std::vector<std::vector<Influence>>& influences,
                              std::size_t numBones, DWORD paletteSize, std::vector<Combination>* combos) {
    const auto numFaces = static_cast<DWORD>(faces.attributes.size());
    const std::vector<DWORD>& attributes = faces.attributes;
    const std::vector<DWORD> order = d3dxmesh::FaceOrder(attributes.data(), numFaces, true);
    std::vector<DWORD> slotOf(numBones, kNoBone);  // palette slot of each bone in the current combination
    for (DWORD f : order) {
        DWORD wanted[3 * kMaxBlend];
        DWORD numWanted = 0;
        for (int k = 0; k < 3; ++k) {
            for (const Influence& i : influences[faces.indices[std::size_t{f} * 3 + k]]) {
                if (std::find(wanted, wanted + numWanted, i.bone) == wanted + numWanted) wanted[numWanted++] = i.bone;
            }
        }
        if (numWanted > paletteSize) return D3DERR_INVALIDCALL;  // one face needs more bones than a draw holds
        bool fresh = combos->empty() || combos->back().attrib != attributes[f];
        if (!fresh) {
            DWORD added = 0;
            for (DWORD i = 0; i < numWanted; ++i) added += slotOf[wanted[i]] == kNoBone ? 1 : 0;
            fresh = combos->back().bones.size() + added > paletteSize;
        }
        if (fresh) {
            if (!combos->empty()) {
                for (DWORD b : combos->back().bones) slotOf[b] = kNoBone;
            }
            combos->emplace_back();
            combos->back().attrib = attributes[f];
        }
        Combination& c = combos->back();
        for (DWORD i = 0; i < numWanted; ++i) {
            if (slotOf[wanted[i]] == kNoBone) {
                slotOf[wanted[i]] = static_cast<DWORD>(c.bones.size());
                c.bones.push_back(wanted[i]);
            }
        }
        c.faces.push_back(f);
    }
    return combos->empty() ? D3DXERR_INVALIDMESH : S_OK;
}

// The blended mesh's vertices and faces: one copy of each old vertex per
// combination that uses it, faces in combination order.
struct BlendedLayout {
    struct Vertex {
        DWORD source;  // old vertex
        DWORD combo;
    };
    std::vector<Vertex> vertices;
    std::vector<DWORD> indices;
    std::vector<D3DXBONECOMBINATION> records;  // BoneId not yet set
};

BlendedLayout LayOutCombinations(const std::vector<Combination>& combos, const std::vector<DWORD>& indices,
                                 DWORD numVertices) {
    BlendedLayout out;
    out.indices.reserve(indices.size());
    out.records.resize(combos.size());
    std::vector<DWORD> stampCombo(numVertices, kNoBone), stampIndex(numVertices, 0);
    DWORD faceCursor = 0;
    for (DWORD c = 0; c < combos.size(); ++c) {
        D3DXBONECOMBINATION& r = out.records[c];
        r.AttribId = combos[c].attrib;
        r.FaceStart = faceCursor;
        r.FaceCount = static_cast<DWORD>(combos[c].faces.size());
        r.VertexStart = static_cast<DWORD>(out.vertices.size());
        for (DWORD f : combos[c].faces) {
            for (int k = 0; k < 3; ++k) {
                const DWORD v = indices[std::size_t{f} * 3 + k];
                if (stampCombo[v] != c) {
                    stampCombo[v] = c;
                    stampIndex[v] = static_cast<DWORD>(out.vertices.size());
                    out.vertices.push_back({v, c});
                }
                out.indices.push_back(stampIndex[v]);
            }
        }
        r.VertexCount = static_cast<DWORD>(out.vertices.size()) - r.VertexStart;
        faceCursor += r.FaceCount;
    }
    return out;
}

// Copies every blended vertex from its source and writes the skin's weights
// and packed palette slots over the source's blend values.
HRESULT WriteBlendedVertices(ID3DXMesh* src, ID3DXMesh* out, const BlendedLayout& layout,
                             const std::vector<std::vector<Influence>>& influences,
                             const std::vector<Combination>& combos, DWORD maxInfluences) {
    const d3dxmesh::FvfLayout from = d3dxmesh::ComputeFvfLayout(src->GetFVF());
    const d3dxmesh::FvfLayout to = d3dxmesh::ComputeFvfLayout(out->GetFVF());
    d3dxmesh::MeshLock srcLock(src), outLock(out);
    HRESULT hr = srcLock.LockVertices(D3DLOCK_READONLY);
    if (SUCCEEDED(hr)) hr = outLock.LockVertices(0);
    if (FAILED(hr)) return hr;
    for (std::size_t n = 0; n < layout.vertices.size(); ++n) {
        const BYTE* s = srcLock.vertices + std::size_t{layout.vertices[n].source} * from.size;
        BYTE* d = outLock.vertices + n * to.size;
        d3dxmesh::ConvertVertex(s, from, d, to);
        // The blend weights and indices are the skin's, not the source's.
        if (to.blendFloats > 0) std::memset(d + to.blendOffset, 0, 4u * to.blendFloats);
        const std::vector<Influence>& list = influences[layout.vertices[n].source];
        const std::vector<DWORD>& palette = combos[layout.vertices[n].combo].bones;
        BYTE packed[4] = {0, 0, 0, 0};
        for (DWORD k = 0; k < list.size(); ++k) {
            const auto slot = std::find(palette.begin(), palette.end(), list[k].bone) - palette.begin();
            packed[k] = static_cast<BYTE>(slot);
            if (k + 1 < maxInfluences) std::memcpy(d + to.blendOffset + 4 * k, &list[k].weight, 4);
        }
        std::memcpy(d + to.indicesOffset, packed, 4);
    }
    return S_OK;
}

void WriteBlendedFaces(ID3DXMesh* out, const BlendedLayout& layout) {
    const bool is32 = (out->GetOptions() & D3DXMESH_32BIT) != 0;
    d3dxmesh::MeshLock lock(out);
    if (SUCCEEDED(lock.LockIndices(0))) {
        for (std::size_t i = 0; i < layout.indices.size(); ++i) {
            d3dxmesh::WriteIndex(lock.indices, is32, i, layout.indices[i]);
        }
    }
    if (SUCCEEDED(lock.LockAttributes(0))) {
        for (const D3DXBONECOMBINATION& r : layout.records) {
            std::fill(lock.attributes + r.FaceStart, lock.attributes + r.FaceStart + r.FaceCount, r.AttribId);
        }
    }
}

// The combination records, then their palettes (paletteSize slots each,
// kNoBone past the combination's bones), in one buffer.
ComPtr<ID3DXBuffer> CombinationTable(const BlendedLayout& layout, const std::vector<Combination>& combos,
                                     DWORD paletteSize) {
    const std::size_t recordBytes = layout.records.size() * sizeof(D3DXBONECOMBINATION);
    const std::size_t paletteBytes = layout.records.size() * std::size_t{paletteSize} * sizeof(DWORD);
    ComPtr<ID3DXBuffer> table = d3dxmesh::MakeBuffer(static_cast<DWORD>(recordBytes + paletteBytes));
    auto* base = static_cast<BYTE*>(table->GetBufferPointer());
    auto* outRecords = reinterpret_cast<D3DXBONECOMBINATION*>(base);
    auto* ids = reinterpret_cast<DWORD*>(base + recordBytes);
    for (std::size_t c = 0; c < layout.records.size(); ++c) {
        outRecords[c] = layout.records[c];
        outRecords[c].BoneId = ids + c * paletteSize;
        for (DWORD s = 0; s < paletteSize; ++s) {
            outRecords[c].BoneId[s] = s < combos[c].bones.size() ? combos[c].bones[s] : kNoBone;
        }
    }
    return table;
}

// The conversion's results, handed out only when all of it succeeded.
struct Blended {
    ComPtr<ID3DXMesh> mesh;
    ComPtr<ID3DXBuffer> table;
    DWORD numCombinations = 0;
};

HRESULT Convert(ID3DXMesh* src, const std::vector<Bone>& bones, DWORD options, DWORD paletteSize, Blended* out) {
    const DWORD numVertices = src->GetNumVertices();
    const std::vector<std::vector<Influence>> influences = VertexInfluences(bones, numVertices);
    SourceFaces faces;
    HRESULT hr = ReadFaces(src, &faces);
    if (FAILED(hr)) return hr;
    DWORD maxInfluences = 1;
    for (DWORD v : faces.indices) maxInfluences = std::max(maxInfluences, static_cast<DWORD>(influences[v].size()));

    std::vector<Combination> combos;
    hr = SplitIntoCombinations(faces, influences, bones.size(), paletteSize, &combos);
    if (FAILED(hr)) return hr;
    const BlendedLayout layout = LayOutCombinations(combos, faces.indices, numVertices);
    if (!(options & D3DXMESH_32BIT) && layout.vertices.size() > 0xFFFFu) return D3DERR_INVALIDCALL;

    const DWORD srcFvf = src->GetFVF();
    const DWORD fvf = (D3DFVF_XYZB1 + 2 * (maxInfluences - 1)) | D3DFVF_LASTBETA_UBYTE4 |
                      (srcFvf & ~(D3DFVF_POSITION_MASK | D3DFVF_LASTBETA_UBYTE4));
    if (!d3dxmesh::ComputeFvfLayout(srcFvf).valid || !d3dxmesh::ComputeFvfLayout(fvf).valid) {
        return D3DERR_INVALIDCALL;
    }
    // Device buffers when asked for managed memory and the skin has a device.
    IDirect3DDevice8* device = nullptr;
    if (FAILED(src->GetDevice(&device))) device = nullptr;
    ComPtr<ID3DXMesh> mesh;
    hr = D3DXCreateMeshFVF(src->GetNumFaces(), static_cast<DWORD>(layout.vertices.size()), options, fvf, device,
                           mesh.Out());
    if (FAILED(hr)) return hr;
    hr = WriteBlendedVertices(src, mesh, layout, influences, combos, maxInfluences);
    if (FAILED(hr)) return hr;
    WriteBlendedFaces(mesh, layout);

    out->table = CombinationTable(layout, combos, paletteSize);
    out->numCombinations = static_cast<DWORD>(layout.records.size());
    out->mesh = std::move(mesh);
    return S_OK;
}

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
    Blended blended;
    const HRESULT hr = CatchOutOfMemory([&] { return Convert(m_pMesh, m_Bones, options, paletteSize, &blended); });
    if (FAILED(hr)) return hr;
    if (adjacencyOut) std::fill(adjacencyOut, adjacencyOut + std::size_t{m_pMesh->GetNumFaces()} * 3, 0xFFFFFFFFu);
    *numBoneCombinations = blended.numCombinations;
    *boneCombinations = blended.table.Detach();
    *mesh = blended.mesh.Detach();
    return S_OK;
}

void SkinMesh::NamesAndOffsets(ComPtr<ID3DXBuffer>* names, ComPtr<ID3DXBuffer>* offsets) const {
    names->Reset();
    offsets->Reset();
    if (m_Bones.empty()) return;
    std::size_t bytes = m_Bones.size() * sizeof(const char*);
    for (const Bone& b : m_Bones) bytes += b.name.size() + 1;
    *names = d3dxmesh::MakeBuffer(static_cast<DWORD>(bytes));
    *offsets = d3dxmesh::MakeBuffer(static_cast<DWORD>(m_Bones.size() * sizeof(D3DXMATRIX)));
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

// Mesh vertices made from each file vertex (normal splits copy it), from the
// loader's vertex-source buffer.
std::vector<std::vector<DWORD>> CopiesOfFileVertices(ID3DXBuffer* source, DWORD numVertices) {
    const auto* sourceOf = static_cast<const DWORD*>(source->GetBufferPointer());
    DWORD numFileVertices = 0;
    for (DWORD v = 0; v < numVertices; ++v) numFileVertices = std::max(numFileVertices, sourceOf[v] + 1);
    std::vector<std::vector<DWORD>> copies(numFileVertices);
    for (DWORD v = 0; v < numVertices; ++v) copies[sourceOf[v]].push_back(v);
    return copies;
}

// One bone per distinct name, in file order; the weights of a file vertex go
// to every mesh vertex made from it.
HRESULT GatherBones(const std::vector<SkinLoad::Weights>& weights, const std::vector<std::vector<DWORD>>& copies,
                    std::vector<Bone>* bones) {
    for (const SkinLoad::Weights& w : weights) {
        auto it = std::find_if(bones->begin(), bones->end(), [&](const Bone& b) { return b.name == w.name; });
        if (it == bones->end()) {
            bones->emplace_back();
            bones->back().name = w.name;
            bones->back().offset = w.offset;
            it = bones->end() - 1;
        }
        for (std::size_t i = 0; i < w.fileVertices.size(); ++i) {
            if (w.fileVertices[i] >= copies.size()) return D3DXERR_INVALIDMESH;
            for (DWORD v : copies[w.fileVertices[i]]) {
                it->vertices.push_back(v);
                it->weights.push_back(w.weights[i]);
            }
        }
    }
    return S_OK;
}

// Vertices that faces use but no bone moves ride on one more bone, bound by
// the renderer to the mesh's own frame.
void AddRestBone(ID3DXMesh* mesh, std::vector<Bone>* bones) {
    const DWORD numVertices = mesh->GetNumVertices();
    std::vector<bool> weighted(numVertices, false), used(numVertices, false);
    for (const Bone& b : *bones) {
        for (std::size_t i = 0; i < b.vertices.size(); ++i) {
            if (Usable(b.weights[i])) weighted[b.vertices[i]] = true;
        }
    }
    d3dxmesh::MeshLock lock(mesh);
    std::vector<DWORD> indices;
    if (SUCCEEDED(lock.LockIndices(D3DLOCK_READONLY))) {
        const bool is32 = (mesh->GetOptions() & D3DXMESH_32BIT) != 0;
        d3dxmesh::ReadIndices(lock.indices, is32, mesh->GetNumFaces(), numVertices, &indices);
    }
    // An index past the vertices marks nothing: it does not fail the load.
    for (DWORD v : indices) {
        if (v < numVertices) used[v] = true;
    }
    Bone rest;
    D3DXMatrixIdentity(&rest.offset);
    for (DWORD v = 0; v < numVertices; ++v) {
        if (used[v] && !weighted[v]) {
            rest.vertices.push_back(v);
            rest.weights.push_back(1.0f);
        }
    }
    if (!rest.vertices.empty()) bones->push_back(std::move(rest));
}

// What D3DXLoadSkinMeshFromXof hands out, once all of it has succeeded.
struct LoadedSkin {
    ComPtr<ID3DXBuffer> adjacency, materials, names, offsets;
    DWORD numMaterials = 0;
    ComPtr<SkinMesh> skin;
};

HRESULT LoadSkin(IDirectXFileData* meshData, DWORD options, IDirect3DDevice8* device, bool wantAdjacency,
                 bool wantMaterials, LoadedSkin* out) {
    SkinLoad load;
    ComPtr<ID3DXMesh> mesh;
    ComPtr<ID3DXBuffer> source;
    HRESULT hr = D3DXLoadMeshFromXofEx(meshData, options, device, wantAdjacency ? out->adjacency.Out() : nullptr,
                                       wantMaterials ? out->materials.Out() : nullptr, &out->numMaterials,
                                       mesh.Out(), source.Out(), ReadSkinChild, &load);
    if (FAILED(hr)) return hr;
    if (load.malformed) return D3DXERR_INVALIDMESH;

    std::vector<Bone> bones;
    hr = GatherBones(load.weights, CopiesOfFileVertices(source, mesh->GetNumVertices()), &bones);
    if (FAILED(hr)) return hr;
    if (!bones.empty()) AddRestBone(mesh, &bones);
    if (bones.size() > kD3DXMaxPaletteBones) return D3DXERR_INVALIDMESH;

    out->skin = MakeComPtr<SkinMesh>(mesh, std::move(bones));
    out->skin->NamesAndOffsets(&out->names, &out->offsets);
    return S_OK;
}

}  // namespace

HRESULT D3DXCreateSkinMeshFromMesh(ID3DXMesh* mesh, DWORD numBones, ID3DXSkinMesh** skinMesh) {
    if (!skinMesh) return D3DERR_INVALIDCALL;
    *skinMesh = nullptr;
    if (!mesh || numBones > kD3DXMaxPaletteBones) return D3DERR_INVALIDCALL;
    return CatchOutOfMemory([&] {
        std::vector<Bone> bones(numBones);
        for (Bone& b : bones) D3DXMatrixIdentity(&b.offset);
        *skinMesh = MakeComPtr<SkinMesh>(mesh, std::move(bones)).Detach();
        return S_OK;
    });
}

HRESULT D3DXLoadSkinMeshFromXof(IDirectXFileData* meshData, DWORD options, IDirect3DDevice8* device,
                                ID3DXBuffer** adjacency, ID3DXBuffer** materials, DWORD* numMaterials,
                                ID3DXBuffer** boneNames, ID3DXBuffer** boneTransforms, ID3DXSkinMesh** skinMesh) {
    for (ID3DXBuffer** b : {adjacency, materials, boneNames, boneTransforms}) {
        if (b) *b = nullptr;
    }
    if (numMaterials) *numMaterials = 0;
    if (!skinMesh) return D3DERR_INVALIDCALL;
    *skinMesh = nullptr;
    LoadedSkin loaded;
    const HRESULT hr = CatchOutOfMemory(
        [&] { return LoadSkin(meshData, options, device, adjacency != nullptr, materials != nullptr, &loaded); });
    if (FAILED(hr)) return hr;
    if (adjacency) *adjacency = loaded.adjacency.Detach();
    if (materials) *materials = loaded.materials.Detach();
    if (numMaterials) *numMaterials = loaded.numMaterials;
    if (boneNames) *boneNames = loaded.names.Detach();
    if (boneTransforms) *boneTransforms = loaded.offsets.Detach();
    *skinMesh = loaded.skin.Detach();
    return S_OK;
}
