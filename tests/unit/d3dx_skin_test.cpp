// D3DX skinning: loading SkinWeights with a mesh, and the conversion to an
// indexed blended mesh (palette split, packed indices, weights, influence
// count); plus the X reader's exporter spellings the skinned files use.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/base/com_ptr.h"
#include "platform/d3dx/d3dx_skin.h"
#include "platform/xfile/xfile.h"
#include "tests/support/xfile_open.h"

namespace {

// A strip of `segments` quads along y; bone i holds the vertices of row i
// with weight 1 - f and row i + 1 with weight f (so every inner vertex has
// two influences).
ComPtr<ID3DXSkinMesh> Strip(DWORD segments, float f) {
    const DWORD rows = segments + 1;
    ComPtr<ID3DXMesh> mesh;
    EXPECT_EQ(D3DXCreateMeshFVF(segments * 2, rows * 2, D3DXMESH_SYSTEMMEM, D3DFVF_XYZ | D3DFVF_DIFFUSE, nullptr,
                                mesh.Out()),
              S_OK);
    BYTE* v = nullptr;
    mesh->LockVertexBuffer(0, &v);
    for (DWORD r = 0; r < rows; ++r) {
        for (DWORD k = 0; k < 2; ++k) {
            const float p[3] = {static_cast<float>(k), static_cast<float>(r), 0.0f};
            const D3DCOLOR c = 0xFF000000u | r;
            std::memcpy(v + (r * 2 + k) * 16, p, 12);
            std::memcpy(v + (r * 2 + k) * 16 + 12, &c, 4);
        }
    }
    mesh->UnlockVertexBuffer();
    BYTE* ib = nullptr;
    mesh->LockIndexBuffer(0, &ib);
    auto* idx = reinterpret_cast<WORD*>(ib);
    for (DWORD s = 0; s < segments; ++s) {
        const WORD a = static_cast<WORD>(s * 2), b = static_cast<WORD>(s * 2 + 1), c = static_cast<WORD>(s * 2 + 3),
                   d = static_cast<WORD>(s * 2 + 2);
        const WORD tri[6] = {a, d, c, a, c, b};
        std::memcpy(idx + s * 6, tri, sizeof tri);
    }
    mesh->UnlockIndexBuffer();
    ComPtr<ID3DXSkinMesh> skin;
    EXPECT_EQ(D3DXCreateSkinMeshFromMesh(mesh, segments, skin.Out()), S_OK);
    for (DWORD b = 0; b < segments; ++b) {
        std::vector<DWORD> vs;
        std::vector<float> ws;
        for (DWORD k = 0; k < 2; ++k) {
            vs.push_back(b * 2 + k);
            ws.push_back(b == 0 ? 1.0f : 1.0f - f);
        }
        for (DWORD k = 0; k < 2; ++k) {
            vs.push_back((b + 1) * 2 + k);
            ws.push_back(f);
        }
        if (b + 1 == segments) ws[2] = ws[3] = 1.0f;  // the last row belongs to the last bone only
        skin->SetBoneInfluence(b, static_cast<DWORD>(vs.size()), vs.data(), ws.data());
    }
    return skin;
}

struct Blended {
    std::vector<float> weight0;
    std::vector<BYTE> index0, index1;
    std::vector<D3DCOLOR> colour;
};

Blended ReadBlended(ID3DXMesh* mesh) {
    Blended out;
    EXPECT_EQ(mesh->GetFVF(), D3DFVF_XYZB2 | D3DFVF_LASTBETA_UBYTE4 | D3DFVF_DIFFUSE);
    BYTE* v = nullptr;
    mesh->LockVertexBuffer(0, &v);
    for (DWORD i = 0; i < mesh->GetNumVertices(); ++i) {
        const BYTE* p = v + i * 24;  // position 12, weight 4, indices 4, colour 4
        float w;
        D3DCOLOR c;
        std::memcpy(&w, p + 12, 4);
        std::memcpy(&c, p + 20, 4);
        out.weight0.push_back(w);
        out.index0.push_back(p[16]);
        out.index1.push_back(p[17]);
        out.colour.push_back(c);
    }
    mesh->UnlockVertexBuffer();
    return out;
}

}  // namespace

// 40 bones in a chain: more than a palette of 28 holds, so the faces split
// into combinations; each vertex's packed slots name its own bones in its
// combination's palette, with the heavier weight first.
TEST(D3DXSkin, MoreBonesThanThePaletteSplitIntoCombinations) {
    ComPtr<ID3DXSkinMesh> skin = Strip(40, 0.25f);
    DWORD maxInfluences = 0;
    skin->GetMaxVertexInfluences(&maxInfluences);
    EXPECT_EQ(maxInfluences, 2u);
    DWORD groups = 0;
    ComPtr<ID3DXBuffer> table;
    ComPtr<ID3DXMesh> blended;
    ASSERT_EQ(skin->ConvertToIndexedBlendedMesh(D3DXMESH_SYSTEMMEM, nullptr, 28, nullptr, &groups, table.Out(), blended.Out()),
              S_OK);
    ASSERT_GE(groups, 2u);
    const auto* combos = static_cast<const D3DXBONECOMBINATION*>(table->GetBufferPointer());
    const Blended b = ReadBlended(blended);
    BYTE* ib = nullptr;
    blended->LockIndexBuffer(0, &ib);
    const auto* idx = reinterpret_cast<const WORD*>(ib);
    DWORD faces = 0;
    for (DWORD g = 0; g < groups; ++g) {
        const D3DXBONECOMBINATION& c = combos[g];
        EXPECT_EQ(c.FaceStart, faces);
        faces += c.FaceCount;
        std::set<DWORD> used;
        DWORD filled = 0;
        for (DWORD s = 0; s < 28; ++s) {
            if (c.BoneId[s] == 0xFFFFFFFFu) continue;
            ++filled;
            EXPECT_LT(c.BoneId[s], 40u);
            EXPECT_TRUE(used.insert(c.BoneId[s]).second) << "a bone twice in one palette";
        }
        EXPECT_LE(filled, 28u);
        for (DWORD f = c.FaceStart; f < c.FaceStart + c.FaceCount; ++f) {
            for (int k = 0; k < 3; ++k) {
                const WORD v = idx[f * 3 + k];
                ASSERT_GE(v, c.VertexStart);
                ASSERT_LT(v, c.VertexStart + c.VertexCount);
                const DWORD row = b.colour[v] & 0xFFu;  // the row the vertex came from
                ASSERT_LT(b.index0[v], 28);
                const DWORD bone0 = c.BoneId[b.index0[v]];
                // Row r is held by bones r - 1 (weight 0.25) and r (0.75);
                // row 0 by bone 0 alone, row 40 by bone 39 alone.
                if (row == 0 || row == 40) {
                    EXPECT_FLOAT_EQ(b.weight0[v], 1.0f);
                    EXPECT_EQ(bone0, row == 0 ? 0u : 39u);
                } else {
                    EXPECT_FLOAT_EQ(b.weight0[v], 0.75f);
                    EXPECT_EQ(bone0, row);
                    ASSERT_LT(b.index1[v], 28);
                    EXPECT_EQ(c.BoneId[b.index1[v]], row - 1);
                }
            }
        }
    }
    EXPECT_EQ(faces, 80u);
    blended->UnlockIndexBuffer();
}

TEST(D3DXSkin, ConversionRefusesWhatAPaletteCannotHold) {
    ComPtr<ID3DXSkinMesh> skin = Strip(4, 0.5f);
    DWORD groups = 0;
    ComPtr<ID3DXBuffer> table;
    ComPtr<ID3DXMesh> blended;
    // A face of the strip needs three bones at most: a palette of 2 cannot draw it.
    EXPECT_EQ(skin->ConvertToIndexedBlendedMesh(0, nullptr, 2, nullptr, &groups, table.Out(), blended.Out()), D3DERR_INVALIDCALL);
    EXPECT_EQ(blended.Get(), nullptr);
    EXPECT_EQ(skin->ConvertToIndexedBlendedMesh(0, nullptr, 0, nullptr, &groups, table.Out(), blended.Out()), D3DERR_INVALIDCALL);
    EXPECT_EQ(skin->ConvertToIndexedBlendedMesh(0, nullptr, 4, nullptr, &groups, table.Out(), blended.Out()), S_OK);
    EXPECT_EQ(groups, 1u);
    // A vertex held by four bones counts four influences.
    const DWORD five[5] = {0, 0, 0, 0, 0};
    const float w[5] = {0.1f, 0.2f, 0.3f, 0.4f, 0.5f};
    for (DWORD bone = 0; bone < 4; ++bone) skin->SetBoneInfluence(bone, 1, five, &w[bone + 1]);
    DWORD most = 0;
    skin->GetMaxVertexInfluences(&most);
    EXPECT_EQ(most, 4u);
    EXPECT_EQ(skin->SetBoneInfluence(9, 1, five, w), D3DERR_INVALIDCALL);
    const DWORD outside = 999;
    EXPECT_EQ(skin->SetBoneInfluence(0, 1, &outside, w), D3DERR_INVALIDCALL);
}

// Loading from X data: bones by name with their offsets; weights follow the
// file vertices onto the copies the normals split off; weightless vertices
// get the extra bone named "".
TEST(D3DXSkin, LoadsSkinWeightsOntoSplitVerticesAndCollectsWeightlessOnes) {
    static const char kFile[] = R"(xof 0303txt 0032
Mesh m {
  4; 0;0;0;, 1;0;0;, 1;1;0;, 0;1;0;;
  2; 3;0,3,2;, 3;0,2,1;;
  MeshNormals { 2; 0;0;-1;, 0;0;1;; 2; 3;0,0,0;, 3;1,1,1;; }
  SkinWeights { "Lower"; 2; 0,2; 1.0,0.5; 1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1;; }
  SkinWeights { "Upper"; 1; 2; 0.5; 1,0,0,0,0,1,0,0,0,0,1,0,0,-1,0,1;; }
}
)";
    ComPtr<IDirectXFileEnumObject> e;
    std::string error;
    ASSERT_EQ(xtest::OpenX(kFile, sizeof kFile - 1, &e, &error), S_OK) << error;
    ComPtr<IDirectXFileData> data;
    ASSERT_EQ(e->GetNextDataObject(data.Out()), S_OK);
    ComPtr<ID3DXBuffer> names;
    ComPtr<ID3DXBuffer> offsets;
    ComPtr<ID3DXSkinMesh> skin;
    ASSERT_EQ(D3DXLoadSkinMeshFromXof(data, D3DXMESH_SYSTEMMEM, nullptr, nullptr, nullptr, nullptr, names.Out(),
                                      offsets.Out(), skin.Out()),
              S_OK);
    ComPtr<ID3DXMesh> mesh;
    skin->GetOriginalMesh(mesh.Out());
    // Vertices 0 and 2 are used with two normals each: two copies appended.
    EXPECT_EQ(mesh->GetNumVertices(), 6u);
    ASSERT_EQ(skin->GetNumBones(), 3u);
    const auto* n = static_cast<const char* const*>(names->GetBufferPointer());
    EXPECT_STREQ(n[0], "Lower");
    EXPECT_STREQ(n[1], "Upper");
    EXPECT_STREQ(n[2], "");
    const auto* m = static_cast<const D3DXMATRIX*>(offsets->GetBufferPointer());
    EXPECT_EQ(m[1]._42, -1.0f);
    EXPECT_EQ(skin->GetNumBoneInfluences(0), 4u);  // file vertices 0 and 2, each with its copy
    EXPECT_EQ(skin->GetNumBoneInfluences(1), 2u);
    // Vertices 1 and 3 carry no weight: the extra bone holds them.
    std::vector<DWORD> vs(skin->GetNumBoneInfluences(2));
    std::vector<float> ws(vs.size());
    skin->GetBoneInfluence(2, vs.data(), ws.data());
    EXPECT_EQ(vs, (std::vector<DWORD>{1, 3}));
    EXPECT_EQ(ws, (std::vector<float>{1.0f, 1.0f}));
}

TEST(D3DXSkin, WeightOnAVertexOutsideTheMeshFailsTheLoad) {
    static const char kFile[] = R"(xof 0303txt 0032
Mesh m {
  3; 0;0;0;, 1;0;0;, 1;1;0;;
  1; 3;0,2,1;;
  SkinWeights { "B"; 1; 7; 1.0; 1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1;; }
}
)";
    ComPtr<IDirectXFileEnumObject> e;
    ASSERT_EQ(xtest::OpenX(kFile, sizeof kFile - 1, &e), S_OK);
    ComPtr<IDirectXFileData> data;
    ASSERT_EQ(e->GetNextDataObject(data.Out()), S_OK);
    ComPtr<ID3DXSkinMesh> skin;
    ComPtr<ID3DXBuffer> materials;
    EXPECT_EQ(D3DXLoadSkinMeshFromXof(data, 0, nullptr, nullptr, materials.Out(), nullptr, nullptr, nullptr, skin.Out()),
              D3DXERR_INVALIDMESH);
    EXPECT_EQ(skin.Get(), nullptr);
    EXPECT_EQ(materials.Get(), nullptr);
}

// Exporters write template names in their own case and use the
// AnimTicksPerSecond object without declaring it.
TEST(XFileSpellings, TemplateNamesMatchWithoutCaseAndAnimTicksNeedsNoDeclaration) {
    static const char kFile[] = R"(xof 0303txt 0032
AnimTicksPerSecond { 24; }
Material M { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; TextureFileName { "a.png"; } }
frame F { }
)";
    ComPtr<IDirectXFileEnumObject> e;
    std::string error;
    ASSERT_EQ(xtest::OpenX(kFile, sizeof kFile - 1, &e, &error), S_OK) << error;
    ComPtr<IDirectXFileData> ticks;
    ASSERT_EQ(e->GetNextDataObject(ticks.Out()), S_OK);
    DWORD size = 0;
    void* p = nullptr;
    ASSERT_EQ(ticks->GetData(nullptr, &size, &p), S_OK);
    ASSERT_EQ(size, 4u);
    EXPECT_EQ(*static_cast<const DWORD*>(p), 24u);
    ComPtr<IDirectXFileData> material;
    ASSERT_EQ(e->GetNextDataObject(material.Out()), S_OK);
    ComPtr<IDirectXFileObject> child;
    ASSERT_EQ(material->GetNextObject(child.Out()), S_OK);
    ComPtr<IDirectXFileData> texture;
    ASSERT_EQ(child->QueryInterface(IID_IDirectXFileData, reinterpret_cast<void**>(texture.Out())), S_OK);
    const GUID* type = nullptr;
    texture->GetType(&type);
    EXPECT_TRUE(*type == TID_D3DRMTextureFilename) << "the standard template, whatever its spelling";
    ComPtr<IDirectXFileData> frame;
    ASSERT_EQ(e->GetNextDataObject(frame.Out()), S_OK);
    frame->GetType(&type);
    EXPECT_TRUE(*type == TID_D3DRMFrame);
}
