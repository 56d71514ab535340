// D3DXLoadMeshFromXof: builds a triangle mesh with materials from a Mesh data
// object of the X-file reader (data laid out as xfile.h describes). Running
// out of memory throws inside and is E_OUTOFMEMORY at the public calls.
#include <cmath>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/base/alloc.h"
#include "platform/d3dx/d3dx_mesh_internal.h"
#include "platform/xfile/xfile_walk.h"

namespace {

// Reads packed members from a data object's bytes; every read is checked
// against what is left, so malformed counts end in a failure, never a read
// past the data.
class Cursor {
public:
    Cursor(const void* data, DWORD size) : m_p(static_cast<const BYTE*>(data)), m_left(data ? size : 0) {}
    std::size_t Left() const { return m_left; }
    bool Dword(DWORD* v) { return Take(v, 4); }
    bool Float(float* v) { return Take(v, 4); }
    bool Floats(float* v, std::size_t n) { return Take(v, n * 4); }
    bool String(const char** s) { return Take(s, sizeof *s); }
    bool Vectors(D3DXVECTOR3* v, std::size_t n) { return Take(v, n * sizeof *v); }
    // True when n items of `bytes` bytes each can still be read.
    bool Holds(std::size_t n, std::size_t bytes) const { return n <= m_left / bytes; }

private:
    bool Take(void* out, std::size_t bytes) {
        if (bytes > m_left) return false;
        if (bytes == 0) return true;
        std::memcpy(out, m_p, bytes);
        m_p += bytes;
        m_left -= bytes;
        return true;
    }
    const BYTE* m_p;
    std::size_t m_left;
};

// The data of one object; false when the reader gives none.
bool GetObjectData(IDirectXFileData* object, Cursor* cursor) {
    DWORD size = 0;
    void* data = nullptr;
    if (FAILED(object->GetData(nullptr, &size, &data))) return false;
    *cursor = Cursor(data, size);
    return true;
}

const GUID* TypeOf(IDirectXFileData* object) {
    const GUID* type = nullptr;
    if (FAILED(object->GetType(&type))) return nullptr;
    return type;
}

// Walks an object's children (ForEachXFileChild); a reference is resolved to
// the object it names. fn(child data) returns a status; the first failure
// ends the walk.
template <class Fn>
HRESULT ForEachChild(IDirectXFileData* parent, Fn fn) {
    return ForEachXFileChild(parent, [&](const XFileChild& child) -> HRESULT {
        const ComPtr<IDirectXFileData> data = child.Target();
        return data ? fn(data.Get()) : S_OK;
    });
}

struct Face {
    DWORD first;  // into the corner array
    DWORD count;  // corners, at least 3
};

struct MaterialEntry {
    D3DMATERIAL8 material{};
    std::string texture;
    bool hasTexture = false;
};

struct MeshSource {
    std::vector<D3DXVECTOR3> positions;
    std::vector<Face> faces;
    std::vector<DWORD> corners;  // file vertex of each face corner

    bool hasNormals = false;
    std::vector<D3DXVECTOR3> normals;
    std::vector<DWORD> normalCorners;  // normal index of each face corner

    bool hasTexCoords = false;
    std::vector<float> texCoords;  // u, v per file vertex

    bool hasColours = false;
    std::vector<D3DCOLOR> colours;  // per file vertex

    bool hasMaterialList = false;
    std::vector<DWORD> faceMaterial;  // per file face
    std::vector<MaterialEntry> materials;
};

HRESULT ReadMeshData(IDirectXFileData* object, MeshSource* mesh) {
    Cursor in(nullptr, 0);
    if (!GetObjectData(object, &in)) return D3DXERR_INVALIDMESH;
    DWORD numVertices = 0;
    if (!in.Dword(&numVertices) || !in.Holds(numVertices, 12)) return D3DXERR_INVALIDMESH;
    mesh->positions.resize(numVertices);
    in.Vectors(mesh->positions.data(), numVertices);
    DWORD numFaces = 0;
    if (!in.Dword(&numFaces) || !in.Holds(numFaces, 4)) return D3DXERR_INVALIDMESH;
    mesh->faces.resize(numFaces);
    for (Face& face : mesh->faces) {
        if (!in.Dword(&face.count) || face.count < 3 || !in.Holds(face.count, 4)) return D3DXERR_INVALIDMESH;
        face.first = static_cast<DWORD>(mesh->corners.size());
        for (DWORD k = 0; k < face.count; ++k) {
            DWORD v = 0;
            in.Dword(&v);
            if (v >= numVertices) return D3DXERR_INVALIDMESH;
            mesh->corners.push_back(v);
        }
    }
    if (numVertices == 0 || numFaces == 0) return D3DXERR_LOADEDMESHHASNODATA;
    return S_OK;
}

HRESULT ReadNormals(IDirectXFileData* object, MeshSource* mesh) {
    Cursor in(nullptr, 0);
    if (!GetObjectData(object, &in)) return D3DXERR_INVALIDMESH;
    DWORD numNormals = 0, numFaces = 0;
    if (!in.Dword(&numNormals) || !in.Holds(numNormals, 12)) return D3DXERR_INVALIDMESH;
    mesh->normals.resize(numNormals);
    in.Vectors(mesh->normals.data(), numNormals);
    if (!in.Dword(&numFaces) || numFaces != mesh->faces.size()) return D3DXERR_INVALIDMESH;
    mesh->normalCorners.resize(mesh->corners.size());
    for (const Face& face : mesh->faces) {
        DWORD count = 0;
        if (!in.Dword(&count) || count != face.count || !in.Holds(count, 4)) return D3DXERR_INVALIDMESH;
        for (DWORD k = 0; k < count; ++k) {
            DWORD n = 0;
            in.Dword(&n);
            if (n >= numNormals) return D3DXERR_INVALIDMESH;
            mesh->normalCorners[face.first + k] = n;
        }
    }
    mesh->hasNormals = true;
    return S_OK;
}

HRESULT ReadTexCoords(IDirectXFileData* object, MeshSource* mesh) {
    Cursor in(nullptr, 0);
    DWORD count = 0;
    if (!GetObjectData(object, &in) || !in.Dword(&count) || count != mesh->positions.size() || !in.Holds(count, 8)) {
        return D3DXERR_INVALIDMESH;
    }
    mesh->texCoords.resize(std::size_t{count} * 2);
    in.Floats(mesh->texCoords.data(), mesh->texCoords.size());
    mesh->hasTexCoords = true;
    return S_OK;
}

DWORD ColourByte(float c) {
    if (!(c > 0.0f)) return 0;  // also NaN
    if (c >= 1.0f) return 255;
    return static_cast<DWORD>(std::lround(c * 255.0f));
}

HRESULT ReadVertexColours(IDirectXFileData* object, MeshSource* mesh) {
    Cursor in(nullptr, 0);
    DWORD count = 0;
    if (!GetObjectData(object, &in) || !in.Dword(&count) || !in.Holds(count, 20)) return D3DXERR_INVALIDMESH;
    mesh->colours.assign(mesh->positions.size(), 0xFFFFFFFFu);
    for (DWORD i = 0; i < count; ++i) {
        DWORD index = 0;
        float rgba[4];
        in.Dword(&index);
        in.Floats(rgba, 4);
        if (index >= mesh->positions.size()) return D3DXERR_INVALIDMESH;
        mesh->colours[index] =
            D3DCOLOR_ARGB(ColourByte(rgba[3]), ColourByte(rgba[0]), ColourByte(rgba[1]), ColourByte(rgba[2]));
    }
    mesh->hasColours = true;
    return S_OK;
}

HRESULT ReadMaterial(IDirectXFileData* object, MaterialEntry* entry) {
    Cursor in(nullptr, 0);
    float v[11];  // faceColor rgba, power, specular rgb, emissive rgb
    if (!GetObjectData(object, &in) || !in.Floats(v, 11)) return D3DXERR_INVALIDMESH;
    D3DMATERIAL8& m = entry->material;
    m.Diffuse = {v[0], v[1], v[2], v[3]};
    m.Ambient = {0.0f, 0.0f, 0.0f, 0.0f};
    m.Power = v[4];
    m.Specular = {v[5], v[6], v[7], 1.0f};
    m.Emissive = {v[8], v[9], v[10], 1.0f};
    return ForEachChild(object, [entry](IDirectXFileData* child) -> HRESULT {
        const GUID* type = TypeOf(child);
        if (!type || !(*type == TID_D3DRMTextureFilename) || entry->hasTexture) return S_OK;
        Cursor name(nullptr, 0);
        const char* text = nullptr;
        if (!GetObjectData(child, &name) || !name.String(&text)) return D3DXERR_INVALIDMESH;
        entry->texture = text ? text : "";
        entry->hasTexture = true;
        return S_OK;
    });
}

HRESULT ReadMaterialList(IDirectXFileData* object, MeshSource* mesh) {
    Cursor in(nullptr, 0);
    DWORD numMaterials = 0, numIndexes = 0;
    if (!GetObjectData(object, &in) || !in.Dword(&numMaterials) || !in.Dword(&numIndexes) || !in.Holds(numIndexes, 4)) {
        return D3DXERR_INVALIDMESH;
    }
    std::vector<DWORD> indexes(numIndexes);
    for (DWORD& i : indexes) {
        in.Dword(&i);
        if (i >= numMaterials) return D3DXERR_INVALIDMESH;
    }
    // Per file face; a short list repeats its last entry, extra entries are unused.
    mesh->faceMaterial.assign(mesh->faces.size(), 0);
    for (std::size_t f = 0; f < mesh->faces.size() && !indexes.empty(); ++f) {
        mesh->faceMaterial[f] = indexes[std::min(f, indexes.size() - 1)];
    }
    HRESULT hr = ForEachChild(object, [mesh](IDirectXFileData* child) -> HRESULT {
        const GUID* type = TypeOf(child);
        if (!type || !(*type == TID_D3DRMMaterial)) return S_OK;
        mesh->materials.emplace_back();
        return ReadMaterial(child, &mesh->materials.back());
    });
    if (FAILED(hr)) return hr;
    if (mesh->materials.size() != numMaterials) return D3DXERR_INVALIDMESH;
    mesh->hasMaterialList = numMaterials > 0;
    return S_OK;
}

// The material buffer: the D3DXMATERIAL array, then the texture names it points to.
ComPtr<ID3DXBuffer> MaterialBuffer(const std::vector<MaterialEntry>& materials) {
    std::size_t size = materials.size() * sizeof(D3DXMATERIAL);
    for (const MaterialEntry& m : materials) {
        if (m.hasTexture) size += m.texture.size() + 1;
    }
    ComPtr<ID3DXBuffer> out = d3dxmesh::MakeBuffer(static_cast<DWORD>(size));
    BYTE* base = static_cast<BYTE*>(out->GetBufferPointer());
    auto* entries = reinterpret_cast<D3DXMATERIAL*>(base);
    char* strings = reinterpret_cast<char*>(base + materials.size() * sizeof(D3DXMATERIAL));
    for (std::size_t i = 0; i < materials.size(); ++i) {
        entries[i].MatD3D = materials[i].material;
        entries[i].pTextureFilename = nullptr;
        if (materials[i].hasTexture) {
            std::memcpy(strings, materials[i].texture.c_str(), materials[i].texture.size() + 1);
            entries[i].pTextureFilename = strings;
            strings += materials[i].texture.size() + 1;
        }
    }
    return out;
}

struct BuiltVertices {
    std::vector<DWORD> source;        // file vertex of each mesh vertex
    std::vector<DWORD> normalOf;      // normal index of each mesh vertex (with normals)
    std::vector<DWORD> cornerVertex;  // mesh vertex of each face corner
};

// Resolves corners to mesh vertices: file vertex v keeps slot v with the
// normal of its first corner; a corner whose normal differs in value gets
// one appended copy per distinct normal.
void ResolveVertices(const MeshSource& mesh, BuiltVertices* out) {
    const std::size_t numVertices = mesh.positions.size();
    out->source.resize(numVertices);
    for (std::size_t v = 0; v < numVertices; ++v) out->source[v] = static_cast<DWORD>(v);
    out->cornerVertex = mesh.corners;
    if (!mesh.hasNormals) return;

    // Normals that are equal in value share one canonical index.
    std::vector<DWORD> canonical(mesh.normals.size());
    std::unordered_map<std::string, DWORD> byValue;
    for (std::size_t n = 0; n < mesh.normals.size(); ++n) {
        const std::string key(reinterpret_cast<const char*>(&mesh.normals[n]), sizeof(D3DXVECTOR3));
        canonical[n] = byValue.emplace(key, static_cast<DWORD>(n)).first->second;
    }
    constexpr DWORD kUnset = 0xFFFFFFFFu;
    out->normalOf.assign(numVertices, kUnset);
    std::unordered_map<std::uint64_t, DWORD> copies;  // (file vertex, normal) -> appended vertex
    for (std::size_t c = 0; c < mesh.corners.size(); ++c) {
        const DWORD v = mesh.corners[c];
        const DWORD n = canonical[mesh.normalCorners[c]];
        if (out->normalOf[v] == kUnset) out->normalOf[v] = n;
        if (out->normalOf[v] == n) continue;  // cornerVertex[c] is already v
        const std::uint64_t key = (std::uint64_t{v} << 32) | n;
        auto [it, inserted] = copies.emplace(key, static_cast<DWORD>(out->source.size()));
        if (inserted) {
            out->source.push_back(v);
            out->normalOf.push_back(n);
        }
        out->cornerVertex[c] = it->second;
    }
}

// The Mesh object and its children: the kinds the mesh is built from are
// read, every other child goes to otherChild.
HRESULT ReadMeshSource(IDirectXFileData* meshData, void (*otherChild)(IDirectXFileData*, void*), void* context,
                       MeshSource* source) {
    MeshSource& src = *source;
    HRESULT hr = ReadMeshData(meshData, &src);
    if (FAILED(hr)) return hr;
    return ForEachChild(meshData, [&](IDirectXFileData* child) -> HRESULT {
        const GUID* type = TypeOf(child);
        if (!type) return D3DXERR_INVALIDMESH;
        // The first child of each kind counts; repeats are ignored.
        if (*type == TID_D3DRMMeshNormals) return src.hasNormals ? S_OK : ReadNormals(child, &src);
        if (*type == TID_D3DRMMeshTextureCoords) return src.hasTexCoords ? S_OK : ReadTexCoords(child, &src);
        if (*type == TID_D3DRMMeshVertexColors) return src.hasColours ? S_OK : ReadVertexColours(child, &src);
        if (*type == TID_D3DRMMeshMaterialList) {
            return src.hasMaterialList ? S_OK : ReadMaterialList(child, &src);
        }
        if (otherChild) otherChild(child, context);
        return S_OK;
    });
}

void WriteVertices(const MeshSource& src, const BuiltVertices& built, const d3dxmesh::FvfLayout& layout, BYTE* vb) {
    for (std::size_t v = 0; v < built.source.size(); ++v) {
        BYTE* dst = vb + v * layout.size;
        const DWORD s = built.source[v];
        std::memcpy(dst, &src.positions[s], 12);
        if (src.hasNormals && built.normalOf[v] != 0xFFFFFFFFu) {
            std::memcpy(dst + layout.normalOffset, &src.normals[built.normalOf[v]], 12);
        }
        if (src.hasColours) std::memcpy(dst + layout.diffuseOffset, &src.colours[s], 4);
        if (src.hasTexCoords) std::memcpy(dst + layout.texOffset[0], &src.texCoords[std::size_t{s} * 2], 8);
    }
}

// Fans each file face into triangles (0,1,2), (0,2,3), ... with the face's
// material; `indices` receives the written indices too.
void WriteFaces(const MeshSource& src, const BuiltVertices& built, bool is32, BYTE* ib, DWORD* attributes,
                std::vector<DWORD>* indices) {
    DWORD tri = 0;
    for (std::size_t f = 0; f < src.faces.size(); ++f) {
        const Face& face = src.faces[f];
        const DWORD* corner = &built.cornerVertex[face.first];
        for (DWORD k = 1; k + 1 < face.count; ++k, ++tri) {
            const DWORD t[3] = {corner[0], corner[k], corner[k + 1]};
            for (int j = 0; j < 3; ++j) {
                d3dxmesh::WriteIndex(ib, is32, std::size_t{tri} * 3 + j, t[j]);
                indices->push_back(t[j]);
            }
            attributes[tri] = src.hasMaterialList ? src.faceMaterial[f] : 0;
        }
    }
}

// Fills a new mesh's buffers.
HRESULT WriteMesh(const MeshSource& src, const BuiltVertices& built, ID3DXMesh* out, std::vector<DWORD>* indices) {
    d3dxmesh::MeshLock lock(out);
    const HRESULT hr = lock.LockAll(0);
    if (FAILED(hr)) return hr;
    WriteVertices(src, built, d3dxmesh::ComputeFvfLayout(out->GetFVF()), lock.vertices);
    WriteFaces(src, built, (out->GetOptions() & D3DXMESH_32BIT) != 0, lock.indices, lock.attributes, indices);
    return S_OK;
}

// Faces meet where their vertices share a position (exactly, with -0 and +0
// alike), as split copies and seams of a closed hull do.
ComPtr<ID3DXBuffer> PositionAdjacency(const MeshSource& src, const BuiltVertices& built,
                                      const std::vector<DWORD>& indices) {
    const auto numTriangles = static_cast<DWORD>(indices.size() / 3);
    ComPtr<ID3DXBuffer> adjacency = d3dxmesh::MakeBuffer(numTriangles * 12);
    std::vector<DWORD> pointRep(built.source.size());
    std::unordered_map<std::string, DWORD> byPosition;
    for (std::size_t v = 0; v < built.source.size(); ++v) {
        const D3DXVECTOR3& p = src.positions[built.source[v]];
        const float key[3] = {p.x + 0.0f, p.y + 0.0f, p.z + 0.0f};
        const std::string bytes(reinterpret_cast<const char*>(key), sizeof key);
        pointRep[v] = byPosition.emplace(bytes, static_cast<DWORD>(v)).first->second;
    }
    d3dxmesh::ComputeAdjacency(indices.data(), numTriangles, pointRep.data(),
                               static_cast<DWORD*>(adjacency->GetBufferPointer()));
    return adjacency;
}

// What D3DXLoadMeshFromXofEx hands out, once all of it has succeeded; the
// buffers only when asked for.
struct LoadedMesh {
    ComPtr<ID3DXMesh> mesh;
    ComPtr<ID3DXBuffer> adjacency, materials, vertexSource;
    DWORD numMaterials = 0;
};

HRESULT LoadMesh(IDirectXFileData* meshData, DWORD options, IDirect3DDevice8* device, bool wantAdjacency,
                 bool wantMaterials, bool wantVertexSource, void (*otherChild)(IDirectXFileData*, void*),
                 void* context, LoadedMesh* out) {
    MeshSource src;
    HRESULT hr = ReadMeshSource(meshData, otherChild, context, &src);
    if (FAILED(hr)) return hr;

    BuiltVertices built;
    ResolveVertices(src, &built);
    std::size_t numTriangles = 0;
    for (const Face& face : src.faces) numTriangles += face.count - 2;
    if (numTriangles > 0x3FFFFFFFu || built.source.size() > 0xFFFFFFFFu) return D3DXERR_INVALIDMESH;

    DWORD fvf = D3DFVF_XYZ;
    if (src.hasNormals) fvf |= D3DFVF_NORMAL;
    if (src.hasColours) fvf |= D3DFVF_DIFFUSE;
    if (src.hasTexCoords) fvf |= D3DFVF_TEX1;
    hr = D3DXCreateMeshFVF(static_cast<DWORD>(numTriangles), static_cast<DWORD>(built.source.size()), options, fvf,
                           device, out->mesh.Out());
    if (FAILED(hr)) return hr;
    std::vector<DWORD> indices;
    indices.reserve(numTriangles * 3);
    hr = WriteMesh(src, built, out->mesh, &indices);
    if (FAILED(hr)) return hr;

    if (wantAdjacency) out->adjacency = PositionAdjacency(src, built, indices);
    if (wantMaterials) {
        if (src.hasMaterialList) {
            out->materials = MaterialBuffer(src.materials);
        } else {
            MaterialEntry white;
            white.material.Diffuse = {1.0f, 1.0f, 1.0f, 1.0f};
            out->materials = MaterialBuffer({white});
        }
    }
    out->numMaterials = src.hasMaterialList ? static_cast<DWORD>(src.materials.size()) : 1;
    if (wantVertexSource) {
        out->vertexSource =
            d3dxmesh::MakeBufferCopy(built.source.data(), static_cast<DWORD>(built.source.size() * 4));
    }
    return S_OK;
}

}  // namespace

HRESULT D3DXLoadMeshFromXofEx(IDirectXFileData* meshData, DWORD options, IDirect3DDevice8* device,
                              ID3DXBuffer** adjacency, ID3DXBuffer** materials, DWORD* numMaterials, ID3DXMesh** mesh,
                              ID3DXBuffer** vertexSource, void (*otherChild)(IDirectXFileData* child, void* context),
                              void* context) {
    if (adjacency) *adjacency = nullptr;
    if (materials) *materials = nullptr;
    if (numMaterials) *numMaterials = 0;
    if (vertexSource) *vertexSource = nullptr;
    if (!mesh) return D3DERR_INVALIDCALL;
    *mesh = nullptr;
    if (!meshData) return D3DERR_INVALIDCALL;
    const GUID* type = TypeOf(meshData);
    if (!type || !(*type == TID_D3DRMMesh)) return D3DERR_INVALIDCALL;
    LoadedMesh loaded;
    const HRESULT hr = CatchOutOfMemory([&] {
        return LoadMesh(meshData, options, device, adjacency != nullptr, materials != nullptr, vertexSource != nullptr,
                        otherChild, context, &loaded);
    });
    if (FAILED(hr)) return hr;
    if (adjacency) *adjacency = loaded.adjacency.Detach();
    if (materials) *materials = loaded.materials.Detach();
    if (numMaterials) *numMaterials = loaded.numMaterials;
    if (vertexSource) *vertexSource = loaded.vertexSource.Detach();
    *mesh = loaded.mesh.Detach();
    return S_OK;
}

HRESULT D3DXLoadMeshFromXof(IDirectXFileData* meshData, DWORD options, IDirect3DDevice8* device,
                            ID3DXBuffer** adjacency, ID3DXBuffer** materials, DWORD* numMaterials, ID3DXMesh** mesh) {
    return D3DXLoadMeshFromXofEx(meshData, options, device, adjacency, materials, numMaterials, mesh, nullptr, nullptr,
                                 nullptr);
}
