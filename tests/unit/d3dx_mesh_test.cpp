// D3DX meshes without a device: loading from X text (fans, normal splits,
// texture coordinates, colours, materials), attribute-sort optimisation,
// cloning, normals, bounds, and malformed input.
#include "platform/d3dx/d3dx_mesh.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/base/com_ptr.h"
#include "tests/support/xfile_open.h"

namespace {

// Everything D3DXLoadMeshFromXof hands back for the first top-level Mesh of an X text.
struct Loaded {
    HRESULT hr = E_FAIL;
    ComPtr<ID3DXMesh> mesh;
    ComPtr<ID3DXBuffer> adjacency, materials, source;
    DWORD numMaterials = 0;
};

void Load(const std::string& body, Loaded* out, DWORD options = D3DXMESH_SYSTEMMEM) {
    const std::string text = "xof 0303txt 0032\n" + body;
    ComPtr<IDirectXFileEnumObject> en;
    std::string error;
    ASSERT_EQ(xtest::OpenX(text, &en, &error), DXFILE_OK) << error;
    for (;;) {
        ComPtr<IDirectXFileData> object;
        ASSERT_EQ(en->GetNextDataObject(object.Out()), DXFILE_OK) << "no Mesh in the test text";
        const GUID* type = nullptr;
        object->GetType(&type);
        if (!(*type == TID_D3DRMMesh)) continue;
        out->hr = D3DXLoadMeshFromXofEx(object.Get(), options, nullptr, out->adjacency.Out(), out->materials.Out(),
                                        &out->numMaterials, out->mesh.Out(), out->source.Out(), nullptr, nullptr);
        return;
    }
}

struct Vertex {
    D3DXVECTOR3 position{0, 0, 0};
    D3DXVECTOR3 normal{0, 0, 0};
    D3DCOLOR diffuse = 0;
    float u = 0, v = 0;
};

// Reads a mesh back through its public interface, whatever its format.
struct MeshData {
    std::vector<Vertex> vertices;
    std::vector<DWORD> indices;
    std::vector<DWORD> attributes;
};

MeshData Read(ID3DXMesh* mesh) {
    MeshData data;
    const DWORD fvf = mesh->GetFVF();
    const UINT stride = D3DXGetFVFVertexSize(fvf);
    BYTE* vb = nullptr;
    EXPECT_EQ(mesh->LockVertexBuffer(D3DLOCK_READONLY, &vb), S_OK);
    for (DWORD i = 0; i < mesh->GetNumVertices(); ++i) {
        const BYTE* p = vb + i * stride;
        Vertex v;
        std::memcpy(&v.position, p, 12);
        p += 12;
        if (fvf & D3DFVF_NORMAL) {
            std::memcpy(&v.normal, p, 12);
            p += 12;
        }
        if (fvf & D3DFVF_DIFFUSE) {
            std::memcpy(&v.diffuse, p, 4);
            p += 4;
        }
        if (fvf & (D3DFVF_TEX1 | D3DFVF_TEX2)) {
            std::memcpy(&v.u, p, 4);
            std::memcpy(&v.v, p + 4, 4);
        }
        data.vertices.push_back(v);
    }
    mesh->UnlockVertexBuffer();
    BYTE* ib = nullptr;
    EXPECT_EQ(mesh->LockIndexBuffer(D3DLOCK_READONLY, &ib), S_OK);
    const bool is32 = (mesh->GetOptions() & D3DXMESH_32BIT) != 0;
    for (DWORD i = 0; i < mesh->GetNumFaces() * 3; ++i) {
        if (is32) {
            DWORD d;
            std::memcpy(&d, ib + i * 4, 4);
            data.indices.push_back(d);
        } else {
            WORD w;
            std::memcpy(&w, ib + i * 2, 2);
            data.indices.push_back(w);
        }
    }
    mesh->UnlockIndexBuffer();
    DWORD* attributes = nullptr;
    EXPECT_EQ(mesh->LockAttributeBuffer(D3DLOCK_READONLY, &attributes), S_OK);
    data.attributes.assign(attributes, attributes + mesh->GetNumFaces());
    mesh->UnlockAttributeBuffer();
    return data;
}

const D3DXMATERIAL* Materials(const Loaded& l) {
    return static_cast<const D3DXMATERIAL*>(l.materials->GetBufferPointer());
}

const DWORD* Dwords(ID3DXBuffer* b) { return static_cast<const DWORD*>(b->GetBufferPointer()); }

// Six sides of a unit cube, four vertices per side (side s owns 4s..4s+3),
// each side one quad whose material is sideMaterial[s].
std::string CubeText(const int sideMaterial[6], int numMaterials) {
    static const float corners[6][4][3] = {
        {{0, 0, 0}, {0, 1, 0}, {1, 1, 0}, {1, 0, 0}}, {{1, 0, 1}, {1, 1, 1}, {0, 1, 1}, {0, 0, 1}},
        {{0, 0, 1}, {0, 1, 1}, {0, 1, 0}, {0, 0, 0}}, {{1, 0, 0}, {1, 1, 0}, {1, 1, 1}, {1, 0, 1}},
        {{0, 1, 0}, {0, 1, 1}, {1, 1, 1}, {1, 1, 0}}, {{0, 0, 1}, {0, 0, 0}, {1, 0, 0}, {1, 0, 1}},
    };
    std::string t = "Mesh cube {\n24;\n";
    for (int s = 0; s < 6; ++s) {
        for (int c = 0; c < 4; ++c) {
            for (int k = 0; k < 3; ++k) t += std::to_string(corners[s][c][k]) + ";";
            t += (s == 5 && c == 3) ? ";\n" : ",\n";
        }
    }
    t += "6;\n";
    for (int s = 0; s < 6; ++s) {
        t += "4;" + std::to_string(4 * s) + "," + std::to_string(4 * s + 1) + "," + std::to_string(4 * s + 2) + "," +
             std::to_string(4 * s + 3) + (s == 5 ? ";;\n" : ";,\n");
    }
    t += "MeshMaterialList {" + std::to_string(numMaterials) + ";6;";
    for (int s = 0; s < 6; ++s) t += std::to_string(sideMaterial[s]) + (s == 5 ? ";;\n" : ",");
    for (int m = 0; m < numMaterials; ++m) {
        t += "Material { " + std::to_string(0.25f * m) + ";0;0;1;; 1;0;0;0;; 0;0;0;; }\n";
    }
    return t + "}\n}\n";
}

TEST(D3DXMeshLoad, PolygonsFanIntoTrianglesKeepingWindingAndFaceMaterials) {
    Loaded l;
    Load(R"(Mesh m {
        6; 0;0;0;, 1;0;0;, 2;0;0;, 3;0;0;, 4;0;0;, 5;0;0;;
        3; 5;0,1,2,3,4;, 3;5,4,3;, 4;1,2,4,5;;
        MeshMaterialList { 2; 3; 1, 0, 1;;
            Material { 1;0;0;1;; 5;0;0;0;; 0;0;0;; }
            Material { 0;1;0;1;; 5;0;0;0;; 0;0;0;; }
        }
    })",
         &l);
    ASSERT_EQ(l.hr, S_OK);
    ASSERT_EQ(l.mesh->GetNumFaces(), 3u + 1u + 2u);
    EXPECT_EQ(l.mesh->GetNumVertices(), 6u);
    EXPECT_EQ(l.mesh->GetFVF(), D3DFVF_XYZ);
    const MeshData d = Read(l.mesh.Get());
    const std::vector<DWORD> fanned = {0, 1, 2, 0, 2, 3, 0, 3, 4, 5, 4, 3, 1, 2, 4, 1, 4, 5};
    EXPECT_EQ(d.indices, fanned);
    EXPECT_EQ(d.attributes, (std::vector<DWORD>{1, 1, 1, 0, 1, 1}));
    DWORD ranges = 99;
    EXPECT_EQ(l.mesh->GetAttributeTable(nullptr, &ranges), S_OK);
    EXPECT_EQ(ranges, 0u) << "no table before an attribute sort";
}

TEST(D3DXMeshLoad, ShortMaterialListRepeatsItsLastIndex) {
    Loaded l;
    Load(R"(Mesh m {
        4; 0;0;0;, 1;0;0;, 1;1;0;, 0;1;0;;
        3; 3;0,1,2;, 3;0,2,3;, 3;1,2,3;;
        MeshMaterialList { 3; 2; 2, 1;;
            Material { 1;1;1;1;; 0;0;0;0;; 0;0;0;; }
            Material { 1;1;1;1;; 0;0;0;0;; 0;0;0;; }
            Material { 1;1;1;1;; 0;0;0;0;; 0;0;0;; }
        }
    })",
         &l);
    ASSERT_EQ(l.hr, S_OK);
    EXPECT_EQ(Read(l.mesh.Get()).attributes, (std::vector<DWORD>{2, 1, 1}));
    EXPECT_EQ(l.numMaterials, 3u);
}

TEST(D3DXMeshLoad, MaterialsInlineAndReferencedWithTextures) {
    Loaded l;
    Load(R"(Material Shared { 0.5;0.25;0.125;0.75;; 12.5; 0.1;0.2;0.3;; 0.4;0.5;0.6;; TextureFilename { "earth.jpg"; } }
        Mesh m {
        3; 0;0;0;, 0;1;0;, 1;0;0;;
        2; 3;0,1,2;, 3;2,1,0;;
        MeshMaterialList { 2; 2; 0, 1;;
            { Shared }
            Material { 1;1;1;1;; 2; 0;0;0;; 0;0;0;; }
        }
    })",
         &l);
    ASSERT_EQ(l.hr, S_OK);
    ASSERT_EQ(l.numMaterials, 2u);
    const D3DXMATERIAL* m = Materials(l);
    EXPECT_FLOAT_EQ(m[0].MatD3D.Diffuse.r, 0.5f);
    EXPECT_FLOAT_EQ(m[0].MatD3D.Diffuse.g, 0.25f);
    EXPECT_FLOAT_EQ(m[0].MatD3D.Diffuse.b, 0.125f);
    EXPECT_FLOAT_EQ(m[0].MatD3D.Diffuse.a, 0.75f);
    EXPECT_FLOAT_EQ(m[0].MatD3D.Power, 12.5f);
    EXPECT_FLOAT_EQ(m[0].MatD3D.Specular.g, 0.2f);
    EXPECT_FLOAT_EQ(m[0].MatD3D.Emissive.b, 0.6f);
    EXPECT_FLOAT_EQ(m[0].MatD3D.Ambient.r, 0.0f);
    ASSERT_NE(m[0].pTextureFilename, nullptr);
    EXPECT_STREQ(m[0].pTextureFilename, "earth.jpg");
    // The name lives inside the material buffer itself.
    const char* begin = static_cast<const char*>(l.materials->GetBufferPointer());
    EXPECT_GE(m[0].pTextureFilename, begin);
    EXPECT_LT(m[0].pTextureFilename, begin + l.materials->GetBufferSize());
    EXPECT_EQ(m[1].pTextureFilename, nullptr);
    EXPECT_FLOAT_EQ(m[1].MatD3D.Power, 2.0f);
}

TEST(D3DXMeshLoad, WithoutMaterialListOneWhiteMaterial) {
    Loaded l;
    Load("Mesh m { 3; 0;0;0;, 0;1;0;, 1;0;0;; 1; 3;0,1,2;; }", &l);
    ASSERT_EQ(l.hr, S_OK);
    ASSERT_EQ(l.numMaterials, 1u);
    const D3DMATERIAL8& m = Materials(l)[0].MatD3D;
    EXPECT_EQ(m.Diffuse.r + m.Diffuse.g + m.Diffuse.b + m.Diffuse.a, 4.0f);
    EXPECT_EQ(Materials(l)[0].pTextureFilename, nullptr);
    EXPECT_EQ(Read(l.mesh.Get()).attributes, std::vector<DWORD>{0});
}

// Two quads folded along the edge 1-2 with one normal per face: the two
// vertices of the fold are split, everything per-vertex follows its copy.
TEST(D3DXMeshLoad, CornersWithDifferentNormalsSplitVerticesAndCarryVertexData) {
    Loaded l;
    Load(R"(Mesh fold {
        6; 0;0;0;, 1;0;0;, 1;1;0;, 0;1;0;, 2;0;1;, 2;1;1;;
        2; 4;0,3,2,1;, 4;1,2,5,4;;
        MeshNormals { 3; 0;0;-1;, 0.7071;0;-0.7071;, 0;0;-1;;
            2; 4;0,0,2,0;, 4;1,1,1,1;; }
        MeshTextureCoords { 6; 0;0;, 0.1;0;, 0.2;0;, 0.3;0;, 0.4;0;, 0.5;0;; }
        MeshVertexColors { 5; 0;1;0;0;1;;, 1;0;1;0;1;;, 2;0;0;1;1;;, 3;0.5;0.5;0.5;0.5;;, 4;2;-1;0;1;;; }
    })",
         &l);
    ASSERT_EQ(l.hr, S_OK);
    EXPECT_EQ(l.mesh->GetFVF(), D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX1);
    ASSERT_EQ(l.mesh->GetNumVertices(), 8u) << "vertices 1 and 2 need a second copy";
    const MeshData d = Read(l.mesh.Get());
    const DWORD* source = Dwords(l.source.Get());
    // The file's vertices keep their slots; copies come after, in first-use order.
    for (DWORD v = 0; v < 6; ++v) EXPECT_EQ(source[v], v);
    EXPECT_EQ(source[6], 1u);
    EXPECT_EQ(source[7], 2u);
    for (DWORD v = 0; v < 8; ++v) {
        const Vertex& x = d.vertices[v];
        EXPECT_FLOAT_EQ(x.position.x, v == 4 || v == 5 ? 2.0f : (v == 1 || v == 2 || v == 6 || v == 7 ? 1.0f : 0.0f));
        EXPECT_FLOAT_EQ(x.u, 0.1f * static_cast<float>(source[v])) << v;
    }
    // Face 0 (normal 0 = normal 2 in value) keeps the originals; face 1 uses the copies.
    EXPECT_EQ(std::vector<DWORD>(d.indices.begin(), d.indices.begin() + 6), (std::vector<DWORD>{0, 3, 2, 0, 2, 1}));
    EXPECT_EQ(std::vector<DWORD>(d.indices.begin() + 6, d.indices.end()), (std::vector<DWORD>{6, 7, 5, 6, 5, 4}));
    EXPECT_FLOAT_EQ(d.vertices[1].normal.z, -1.0f);
    EXPECT_FLOAT_EQ(d.vertices[6].normal.x, 0.7071f);
    EXPECT_FLOAT_EQ(d.vertices[7].normal.x, 0.7071f);
    // Colours: ARGB, clamped and rounded; vertex 5 has no entry and is white.
    EXPECT_EQ(d.vertices[0].diffuse, 0xFFFF0000u);
    EXPECT_EQ(d.vertices[6].diffuse, 0xFF00FF00u);
    EXPECT_EQ(d.vertices[7].diffuse, 0xFF0000FFu);
    EXPECT_EQ(d.vertices[3].diffuse, 0x80808080u);
    EXPECT_EQ(d.vertices[4].diffuse, 0xFFFF0000u);
    EXPECT_EQ(d.vertices[5].diffuse, 0xFFFFFFFFu);
    // Adjacency sees through the split: the faces meet across the fold and
    // the two triangles of each quad meet across their diagonal.
    const DWORD* adj = Dwords(l.adjacency.Get());
    const auto neighbours = [adj](DWORD f) { return std::multiset<DWORD>(adj + f * 3, adj + f * 3 + 3); };
    EXPECT_EQ(neighbours(0), (std::multiset<DWORD>{1, 0xFFFFFFFFu, 0xFFFFFFFFu}));
    EXPECT_EQ(neighbours(1), (std::multiset<DWORD>{0, 2, 0xFFFFFFFFu}));
    EXPECT_EQ(neighbours(2), (std::multiset<DWORD>{1, 3, 0xFFFFFFFFu}));
}

TEST(D3DXMeshLoad, MalformedMeshDataFailsCleanly) {
    const std::pair<const char*, HRESULT> cases[] = {
        {"Mesh m { 3; 0;0;0;, 0;1;0;, 1;0;0;; 1; 3;0,1,3;; }", D3DXERR_INVALIDMESH},
        {"Mesh m { 3; 0;0;0;, 0;1;0;, 1;0;0;; 1; 2;0,1;; }", D3DXERR_INVALIDMESH},
        {"Mesh m { 0;; 0;; }", D3DXERR_LOADEDMESHHASNODATA},
        {"Mesh m { 3; 0;0;0;, 0;1;0;, 1;0;0;; 1; 3;0,1,2;; MeshNormals { 1; 0;0;1;; 2; 3;0,0,0;, 3;0,0,0;; } }",
         D3DXERR_INVALIDMESH},
        {"Mesh m { 3; 0;0;0;, 0;1;0;, 1;0;0;; 1; 3;0,1,2;; MeshNormals { 1; 0;0;1;; 1; 4;0,0,0,0;; } }",
         D3DXERR_INVALIDMESH},
        {"Mesh m { 3; 0;0;0;, 0;1;0;, 1;0;0;; 1; 3;0,1,2;; MeshNormals { 1; 0;0;1;; 1; 3;0,1,0;; } }",
         D3DXERR_INVALIDMESH},
        {"Mesh m { 3; 0;0;0;, 0;1;0;, 1;0;0;; 1; 3;0,1,2;; MeshTextureCoords { 2; 0;0;, 1;1;; } }",
         D3DXERR_INVALIDMESH},
        {"Mesh m { 3; 0;0;0;, 0;1;0;, 1;0;0;; 1; 3;0,1,2;; MeshVertexColors { 1; 3;1;1;1;1;;; } }",
         D3DXERR_INVALIDMESH},
        {"Mesh m { 3; 0;0;0;, 0;1;0;, 1;0;0;; 1; 3;0,1,2;; MeshMaterialList { 1; 1; 1;; "
         "Material { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; } } }",
         D3DXERR_INVALIDMESH},
        {"Mesh m { 3; 0;0;0;, 0;1;0;, 1;0;0;; 1; 3;0,1,2;; MeshMaterialList { 2; 1; 0;; "
         "Material { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; } } }",
         D3DXERR_INVALIDMESH},
    };
    for (const auto& [text, expected] : cases) {
        Loaded l;
        Load(text, &l);
        EXPECT_EQ(l.hr, expected) << text;
        EXPECT_EQ(l.mesh.Get(), nullptr) << text;
        EXPECT_EQ(l.materials.Get(), nullptr) << text;
        EXPECT_EQ(l.adjacency.Get(), nullptr) << text;
    }
}

TEST(D3DXMeshLoad, RefusesObjectsThatAreNotMeshes) {
    const std::string text = "xof 0303txt 0032\nMaterial m { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; }";
    ComPtr<IDirectXFileEnumObject> en;
    ASSERT_EQ(xtest::OpenX(text, &en), DXFILE_OK);
    ComPtr<IDirectXFileData> object;
    ASSERT_EQ(en->GetNextDataObject(object.Out()), DXFILE_OK);
    ComPtr<ID3DXMesh> mesh;
    EXPECT_EQ(D3DXLoadMeshFromXof(object.Get(), D3DXMESH_SYSTEMMEM, nullptr, nullptr, nullptr, nullptr, mesh.Out()),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(mesh.Get(), nullptr);
    EXPECT_EQ(D3DXLoadMeshFromXof(nullptr, D3DXMESH_SYSTEMMEM, nullptr, nullptr, nullptr, nullptr, mesh.Out()),
              D3DERR_INVALIDCALL);
}

TEST(D3DXMeshOptimize, AttributeSortGroupsCubeSidesIntoAscendingRanges) {
    const int sideMaterial[6] = {2, 0, 1, 0, 2, 1};
    Loaded l;
    Load(CubeText(sideMaterial, 3), &l);
    ASSERT_EQ(l.hr, S_OK);
    const MeshData before = Read(l.mesh.Get());
    ASSERT_EQ(before.attributes.size(), 12u);

    ComPtr<ID3DXMesh> sorted;
    ComPtr<ID3DXBuffer> vertexRemap;
    std::vector<DWORD> faceRemap(12), adjacency(36);
    ASSERT_EQ(l.mesh->Optimize(D3DXMESHOPT_ATTRSORT, Dwords(l.adjacency.Get()), adjacency.data(), faceRemap.data(),
                               vertexRemap.Out(), sorted.Out()),
              S_OK);
    const MeshData after = Read(sorted.Get());
    ASSERT_EQ(after.vertices.size(), 24u) << "no compaction without COMPACT";

    DWORD count = 0;
    ASSERT_EQ(sorted->GetAttributeTable(nullptr, &count), S_OK);
    ASSERT_EQ(count, 3u);
    std::vector<D3DXATTRIBUTERANGE> table(count);
    ASSERT_EQ(sorted->GetAttributeTable(table.data(), &count), S_OK);
    DWORD faceStart = 0;
    for (DWORD a = 0; a < 3; ++a) {
        // Expected from the construction: the sides of material a, two triangles each.
        DWORD lo = 24, hi = 0, faces = 0;
        for (int s = 0; s < 6; ++s) {
            if (sideMaterial[s] != static_cast<int>(a)) continue;
            lo = std::min<DWORD>(lo, 4 * s);
            hi = std::max<DWORD>(hi, 4 * s + 3);
            faces += 2;
        }
        EXPECT_EQ(table[a].AttribId, a);
        EXPECT_EQ(table[a].FaceStart, faceStart);
        EXPECT_EQ(table[a].FaceCount, faces);
        EXPECT_EQ(table[a].VertexStart, lo);
        EXPECT_EQ(table[a].VertexCount, hi - lo + 1);
        faceStart += faces;
    }
    // The remap is stable and each new face is the old face it names.
    for (DWORD f = 0; f < 12; ++f) {
        const DWORD old = faceRemap[f];
        EXPECT_EQ(after.attributes[f], before.attributes[old]);
        if (f > 0 && after.attributes[f] == after.attributes[f - 1]) {
            EXPECT_GT(old, faceRemap[f - 1]);
        }
        for (int k = 0; k < 3; ++k) EXPECT_EQ(after.indices[f * 3 + k], before.indices[old * 3 + k]);
        for (int k = 0; k < 3; ++k) {
            const DWORD n = adjacency[f * 3 + k];
            ASSERT_LT(n, 12u) << "a closed cube has a neighbour on every edge";
            EXPECT_EQ(faceRemap[n], Dwords(l.adjacency.Get())[old * 3 + k]);
        }
    }
    for (DWORD v = 0; v < 24; ++v) EXPECT_EQ(Dwords(vertexRemap.Get())[v], v);

    // A clone keeps the table.
    ComPtr<ID3DXMesh> clone;
    ASSERT_EQ(sorted->CloneMeshFVF(D3DXMESH_SYSTEMMEM, 0x252, nullptr, clone.Out()), S_OK);
    DWORD cloneCount = 0;
    clone->GetAttributeTable(nullptr, &cloneCount);
    EXPECT_EQ(cloneCount, 3u);
}

TEST(D3DXMeshOptimize, CompactDropsUnusedVerticesAndReportsTheRemap) {
    Loaded l;
    Load("Mesh m { 5; 9;9;9;, 0;0;0;, 8;8;8;, 0;1;0;, 1;0;0;; 2; 3;1,3,4;, 3;4,3,1;; }", &l);
    ASSERT_EQ(l.hr, S_OK);
    ComPtr<ID3DXMesh> compact;
    ComPtr<ID3DXBuffer> remap;
    ASSERT_EQ(l.mesh->Optimize(D3DXMESHOPT_COMPACT, nullptr, nullptr, nullptr, remap.Out(), compact.Out()), S_OK);
    ASSERT_EQ(compact->GetNumVertices(), 3u);
    const DWORD* r = Dwords(remap.Get());
    EXPECT_EQ(std::vector<DWORD>(r, r + 5), (std::vector<DWORD>{1, 3, 4, 0xFFFFFFFFu, 0xFFFFFFFFu}));
    const MeshData d = Read(compact.Get());
    EXPECT_EQ(d.indices, (std::vector<DWORD>{0, 1, 2, 2, 1, 0}));
    EXPECT_FLOAT_EQ(d.vertices[1].position.y, 1.0f);
    EXPECT_FLOAT_EQ(d.vertices[2].position.x, 1.0f);
}

TEST(D3DXMeshClone, CopiesSharedElementsAndZeroesNewOnes) {
    Loaded l;
    Load(R"(Mesh m { 3; 1;2;3;, 4;5;6;, 7;8;9;; 1; 3;0,1,2;;
        MeshNormals { 1; 0;0;-1;; 1; 3;0,0,0;; }
        MeshTextureCoords { 3; 0.25;0.5;, 0.75;1;, 1;0;; }
        MeshVertexColors { 3; 0;1;0;0;1;;, 1;0;1;0;1;;, 2;0;0;1;1;;; } })",
         &l);
    ASSERT_EQ(l.hr, S_OK);
    ComPtr<ID3DXMesh> wide;
    ASSERT_EQ(l.mesh->CloneMeshFVF(D3DXMESH_SYSTEMMEM, D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX2,
                                   nullptr, wide.Out()),
              S_OK);
    ASSERT_EQ(D3DXGetFVFVertexSize(wide->GetFVF()), 44u);
    const MeshData src = Read(l.mesh.Get());
    BYTE* vb = nullptr;
    ASSERT_EQ(wide->LockVertexBuffer(D3DLOCK_READONLY, &vb), S_OK);
    for (DWORD v = 0; v < 3; ++v) {
        // position, normal, diffuse, two pairs of texture coordinates
        float f[10];
        D3DCOLOR c;
        std::memcpy(f, vb + v * 44, 24);
        std::memcpy(&c, vb + v * 44 + 24, 4);
        std::memcpy(f + 6, vb + v * 44 + 28, 16);
        EXPECT_EQ(f[0], src.vertices[v].position.x);
        EXPECT_EQ(f[2], src.vertices[v].position.z);
        EXPECT_EQ(f[5], -1.0f);
        EXPECT_EQ(c, src.vertices[v].diffuse);
        EXPECT_EQ(f[6], src.vertices[v].u);
        EXPECT_EQ(f[7], src.vertices[v].v);
        EXPECT_EQ(f[8], 0.0f) << "the new second set is zero";
        EXPECT_EQ(f[9], 0.0f);
    }
    wide->UnlockVertexBuffer();

    // Dropping colour and normals, and back: the lost elements come back as zero.
    ComPtr<ID3DXMesh> narrow, back;
    ASSERT_EQ(wide->CloneMeshFVF(D3DXMESH_SYSTEMMEM | D3DXMESH_32BIT, D3DFVF_XYZ | D3DFVF_TEX1, nullptr, narrow.Out()),
              S_OK);
    ASSERT_EQ(narrow->CloneMeshFVF(D3DXMESH_SYSTEMMEM, D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX1,
                                   nullptr, back.Out()),
              S_OK);
    const MeshData round = Read(back.Get());
    EXPECT_EQ(round.indices, src.indices) << "16 -> 32 -> 16-bit indices survive";
    for (DWORD v = 0; v < 3; ++v) {
        EXPECT_EQ(round.vertices[v].diffuse, 0u);
        EXPECT_EQ(round.vertices[v].normal.z, 0.0f);
        EXPECT_EQ(round.vertices[v].u, src.vertices[v].u);
    }
    ComPtr<ID3DXMesh> bad;
    EXPECT_EQ(l.mesh->CloneMeshFVF(D3DXMESH_SYSTEMMEM, D3DFVF_XYZRHW, nullptr, bad.Out()), D3DERR_INVALIDCALL);
}

TEST(D3DXMeshNormals, NormalisedSumOfClockwiseFaceNormals) {
    // Two triangles sharing the edge 0-1: one in the z = 0 plane, clockwise
    // seen from -z, one in the x = 0 plane, clockwise seen from -x.
    Loaded l;
    Load("Mesh m { 4; 0;0;0;, 0;1;0;, 1;0;0;, 0;0;1;; 2; 3;0,1,2;, 3;1,0,3;; }", &l);
    ASSERT_EQ(l.hr, S_OK);
    EXPECT_EQ(D3DXComputeNormals(l.mesh.Get(), nullptr), D3DERR_INVALIDCALL) << "no NORMAL in the format";
    ComPtr<ID3DXMesh> mesh;
    ASSERT_EQ(l.mesh->CloneMeshFVF(D3DXMESH_SYSTEMMEM, D3DFVF_XYZ | D3DFVF_NORMAL, nullptr, mesh.Out()), S_OK);
    ASSERT_EQ(D3DXComputeNormals(mesh.Get(), nullptr), S_OK);
    const MeshData d = Read(mesh.Get());
    const float h = 1.0f / std::sqrt(2.0f);
    for (DWORD v : {0u, 1u}) {
        EXPECT_NEAR(d.vertices[v].normal.x, -h, 1e-6f);
        EXPECT_NEAR(d.vertices[v].normal.y, 0.0f, 1e-6f);
        EXPECT_NEAR(d.vertices[v].normal.z, -h, 1e-6f);
    }
    EXPECT_NEAR(d.vertices[2].normal.z, -1.0f, 1e-6f);
    EXPECT_NEAR(d.vertices[3].normal.x, -1.0f, 1e-6f);
}

TEST(D3DXMeshBounds, BoxAndSphereOfStridedPositions) {
    struct V {
        float x, y, z, nx, ny, nz;
    };
    const V points[] = {{-1, 2, 3, 9, 9, 9}, {4, -5, 6, 9, 9, 9}, {0, 0, -9, 9, 9, 9}};
    const DWORD fvf = D3DFVF_XYZ | D3DFVF_NORMAL;
    ASSERT_EQ(D3DXGetFVFVertexSize(fvf), sizeof(V));
    const auto* first = reinterpret_cast<const D3DXVECTOR3*>(points);
    D3DXVECTOR3 lo, hi;
    ASSERT_EQ(D3DXComputeBoundingBox(first, 3, fvf, &lo, &hi), S_OK);
    EXPECT_EQ(lo.x, -1.0f);
    EXPECT_EQ(lo.y, -5.0f);
    EXPECT_EQ(lo.z, -9.0f);
    EXPECT_EQ(hi.x, 4.0f);
    EXPECT_EQ(hi.y, 2.0f);
    EXPECT_EQ(hi.z, 6.0f);

    D3DXVECTOR3 centre;
    float radius = 0;
    ASSERT_EQ(D3DXComputeBoundingSphere(first, 3, fvf, &centre, &radius), S_OK);
    const D3DXVECTOR3 mean(1.0f, -1.0f, 0.0f);
    EXPECT_FLOAT_EQ(centre.x, mean.x);
    EXPECT_FLOAT_EQ(centre.y, mean.y);
    EXPECT_FLOAT_EQ(centre.z, mean.z);
    float farthest = 0;
    for (const V& p : points) {
        const D3DXVECTOR3 d(p.x - mean.x, p.y - mean.y, p.z - mean.z);
        farthest = std::max(farthest, D3DXVec3Length(&d));
    }
    EXPECT_FLOAT_EQ(radius, farthest);

    EXPECT_EQ(D3DXComputeBoundingBox(first, 0, fvf, &lo, &hi), D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXComputeBoundingSphere(first, 0, fvf, &centre, &radius), D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXComputeBoundingSphere(nullptr, 3, fvf, &centre, &radius), D3DERR_INVALIDCALL);
}

TEST(D3DXMeshCreate, IndexWidthAndVertexFormatSizes) {
    ComPtr<ID3DXMesh> mesh;
    EXPECT_EQ(D3DXCreateMeshFVF(1, 65536, D3DXMESH_SYSTEMMEM, D3DFVF_XYZ, nullptr, mesh.Out()), D3DERR_INVALIDCALL);
    ASSERT_EQ(D3DXCreateMeshFVF(1, 65536, D3DXMESH_MANAGED | D3DXMESH_32BIT, D3DFVF_XYZ, nullptr, mesh.Out()), S_OK);
    ComPtr<IDirect3DIndexBuffer8> ib;
    ASSERT_EQ(mesh->GetIndexBuffer(ib.Out()), S_OK);
    EXPECT_EQ(ib->GetFormat(), D3DFMT_INDEX32);
    EXPECT_EQ(ib->GetSize(), 12u);
    IDirect3DDevice8* device = nullptr;
    EXPECT_EQ(mesh->GetDevice(&device), D3DERR_INVALIDCALL) << "a mesh without a device says so";

    ComPtr<ID3DXMesh> empty;
    EXPECT_EQ(D3DXCreateMeshFVF(0, 3, D3DXMESH_SYSTEMMEM, D3DFVF_XYZ, nullptr, empty.Out()), D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXCreateMeshFVF(1, 3, D3DXMESH_SYSTEMMEM, D3DFVF_NORMAL, nullptr, empty.Out()), D3DERR_INVALIDCALL);

    EXPECT_EQ(D3DXGetFVFVertexSize(0x112), 32u);
    EXPECT_EQ(D3DXGetFVFVertexSize(D3DFVF_XYZB3 | D3DFVF_LASTBETA_UBYTE4 | 0x252), 44u + 12u);
    EXPECT_EQ(D3DXGetFVFVertexSize(D3DFVF_XYZ | D3DFVF_TEX2 | D3DFVF_TEXCOORDSIZE(D3DFVF_TEXTUREFORMAT3, 1)), 32u);
}

}  // namespace
