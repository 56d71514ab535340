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

#include "platform/d3dx/d3dx_skin.h"
#include "platform/xfile/xfile.h"

namespace {

// A strip of `segments` quads along y; bone i holds the vertices of row i
// with weight 1 - f and row i + 1 with weight f (so every inner vertex has
// two influences).
ID3DXSkinMesh* Strip(DWORD segments, float f) {
    const DWORD rows = segments + 1;
    ID3DXMesh* mesh = nullptr;
    EXPECT_EQ(D3DXCreateMeshFVF(segments * 2, rows * 2, D3DXMESH_SYSTEMMEM, D3DFVF_XYZ | D3DFVF_DIFFUSE, nullptr, &mesh),
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
    ID3DXSkinMesh* skin = nullptr;
    EXPECT_EQ(D3DXCreateSkinMeshFromMesh(mesh, segments, &skin), S_OK);
    mesh->Release();
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
    ID3DXSkinMesh* skin = Strip(40, 0.25f);
    DWORD maxInfluences = 0;
    skin->GetMaxVertexInfluences(&maxInfluences);
    EXPECT_EQ(maxInfluences, 2u);
    DWORD groups = 0;
    ID3DXBuffer* table = nullptr;
    ID3DXMesh* blended = nullptr;
    ASSERT_EQ(skin->ConvertToIndexedBlendedMesh(D3DXMESH_SYSTEMMEM, nullptr, 28, nullptr, &groups, &table, &blended),
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
    blended->Release();
    table->Release();
    skin->Release();
}

TEST(D3DXSkin, ConversionRefusesWhatAPaletteCannotHold) {
    ID3DXSkinMesh* skin = Strip(4, 0.5f);
    DWORD groups = 0;
    ID3DXBuffer* table = nullptr;
    ID3DXMesh* blended = nullptr;
    // A face of the strip needs three bones at most: a palette of 2 cannot draw it.
    EXPECT_EQ(skin->ConvertToIndexedBlendedMesh(0, nullptr, 2, nullptr, &groups, &table, &blended), D3DERR_INVALIDCALL);
    EXPECT_EQ(blended, nullptr);
    EXPECT_EQ(skin->ConvertToIndexedBlendedMesh(0, nullptr, 0, nullptr, &groups, &table, &blended), D3DERR_INVALIDCALL);
    EXPECT_EQ(skin->ConvertToIndexedBlendedMesh(0, nullptr, 4, nullptr, &groups, &table, &blended), S_OK);
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
    blended->Release();
    table->Release();
    skin->Release();
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
    IDirectXFile* file = nullptr;
    ASSERT_EQ(DirectXFileCreate(&file), S_OK);
    ASSERT_EQ(file->RegisterTemplates(D3DRM_XTEMPLATES, D3DRM_XTEMPLATE_BYTES), S_OK);
    IDirectXFileEnumObject* e = nullptr;
    ASSERT_EQ(file->CreateEnumObject(kFile, sizeof kFile - 1, &e), S_OK) << file->GetLastErrorText();
    IDirectXFileData* data = nullptr;
    ASSERT_EQ(e->GetNextDataObject(&data), S_OK);
    ID3DXBuffer* names = nullptr;
    ID3DXBuffer* offsets = nullptr;
    ID3DXSkinMesh* skin = nullptr;
    ASSERT_EQ(D3DXLoadSkinMeshFromXof(data, D3DXMESH_SYSTEMMEM, nullptr, nullptr, nullptr, nullptr, &names, &offsets,
                                      &skin),
              S_OK);
    ID3DXMesh* mesh = nullptr;
    skin->GetOriginalMesh(&mesh);
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
    mesh->Release();
    names->Release();
    offsets->Release();
    skin->Release();
    data->Release();
    e->Release();
    file->Release();
}

TEST(D3DXSkin, WeightOnAVertexOutsideTheMeshFailsTheLoad) {
    static const char kFile[] = R"(xof 0303txt 0032
Mesh m {
  3; 0;0;0;, 1;0;0;, 1;1;0;;
  1; 3;0,2,1;;
  SkinWeights { "B"; 1; 7; 1.0; 1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1;; }
}
)";
    IDirectXFile* file = nullptr;
    ASSERT_EQ(DirectXFileCreate(&file), S_OK);
    ASSERT_EQ(file->RegisterTemplates(D3DRM_XTEMPLATES, D3DRM_XTEMPLATE_BYTES), S_OK);
    IDirectXFileEnumObject* e = nullptr;
    ASSERT_EQ(file->CreateEnumObject(kFile, sizeof kFile - 1, &e), S_OK);
    IDirectXFileData* data = nullptr;
    ASSERT_EQ(e->GetNextDataObject(&data), S_OK);
    ID3DXSkinMesh* skin = nullptr;
    ID3DXBuffer* materials = nullptr;
    EXPECT_EQ(D3DXLoadSkinMeshFromXof(data, 0, nullptr, nullptr, &materials, nullptr, nullptr, nullptr, &skin),
              D3DXERR_INVALIDMESH);
    EXPECT_EQ(skin, nullptr);
    EXPECT_EQ(materials, nullptr);
    data->Release();
    e->Release();
    file->Release();
}

// Exporters write template names in their own case and use the
// AnimTicksPerSecond object without declaring it.
TEST(XFileSpellings, TemplateNamesMatchWithoutCaseAndAnimTicksNeedsNoDeclaration) {
    static const char kFile[] = R"(xof 0303txt 0032
AnimTicksPerSecond { 24; }
Material M { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; TextureFileName { "a.png"; } }
frame F { }
)";
    IDirectXFile* file = nullptr;
    ASSERT_EQ(DirectXFileCreate(&file), S_OK);
    ASSERT_EQ(file->RegisterTemplates(D3DRM_XTEMPLATES, D3DRM_XTEMPLATE_BYTES), S_OK);
    IDirectXFileEnumObject* e = nullptr;
    ASSERT_EQ(file->CreateEnumObject(kFile, sizeof kFile - 1, &e), S_OK) << file->GetLastErrorText();
    IDirectXFileData* ticks = nullptr;
    ASSERT_EQ(e->GetNextDataObject(&ticks), S_OK);
    DWORD size = 0;
    void* p = nullptr;
    ASSERT_EQ(ticks->GetData(nullptr, &size, &p), S_OK);
    ASSERT_EQ(size, 4u);
    EXPECT_EQ(*static_cast<const DWORD*>(p), 24u);
    IDirectXFileData* material = nullptr;
    ASSERT_EQ(e->GetNextDataObject(&material), S_OK);
    IDirectXFileObject* child = nullptr;
    ASSERT_EQ(material->GetNextObject(&child), S_OK);
    IDirectXFileData* texture = nullptr;
    ASSERT_EQ(child->QueryInterface(IID_IDirectXFileData, reinterpret_cast<void**>(&texture)), S_OK);
    const GUID* type = nullptr;
    texture->GetType(&type);
    EXPECT_TRUE(*type == TID_D3DRMTextureFilename) << "the standard template, whatever its spelling";
    IDirectXFileData* frame = nullptr;
    ASSERT_EQ(e->GetNextDataObject(&frame), S_OK);
    frame->GetType(&type);
    EXPECT_TRUE(*type == TID_D3DRMFrame);
    for (IDirectXFileData* d : {ticks, material, texture, frame}) d->Release();
    child->Release();
    e->Release();
    file->Release();
}
