// The text X-file reader: files in three exporter styles walked the way the
// model loaders walk them, the packed data layout, and malformed input.
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/com_ptr.h"
#include "platform/xfile/xfile.h"
#include "platform/xfile/xfile_walk.h"
#include "tests/support/read_all.h"
#include "tests/support/xfile_open.h"

namespace {

// Owns one reference of a COM-style interface.
std::string ReadTestFile(const char* name) { return ReadSourceFile(std::string("tests/data/x/") + name); }

// A file object with the standard templates registered.
ComPtr<IDirectXFile> NewFile() {
    ComPtr<IDirectXFile> file;
    EXPECT_EQ(DirectXFileCreate(file.Out()), DXFILE_OK);
    EXPECT_EQ(file->RegisterTemplates(D3DRM_XTEMPLATES, D3DRM_XTEMPLATE_BYTES), DXFILE_OK);
    return file;
}

HRESULT Open(const std::string& text, ComPtr<IDirectXFileEnumObject>* en = nullptr) {
    ComPtr<IDirectXFileEnumObject> local;
    return xtest::OpenX(text, en ? en : &local);
}

std::vector<ComPtr<IDirectXFileData>> TopLevel(IDirectXFileEnumObject* en) {
    std::vector<ComPtr<IDirectXFileData>> objects;
    for (;;) {
        ComPtr<IDirectXFileData> data;
        const HRESULT hr = en->GetNextDataObject(data.Out());
        if (hr == DXFILEERR_NOMOREOBJECTS) {
            EXPECT_FALSE(data);
            break;
        }
        EXPECT_EQ(hr, DXFILE_OK);
        if (FAILED(hr)) break;
        objects.push_back(std::move(data));
    }
    return objects;
}

std::vector<ComPtr<IDirectXFileObject>> Children(IDirectXFileData* data) {
    std::vector<ComPtr<IDirectXFileObject>> children;
    for (;;) {
        ComPtr<IDirectXFileObject> child;
        const HRESULT hr = data->GetNextObject(child.Out());
        if (hr == DXFILEERR_NOMOREOBJECTS) break;
        EXPECT_EQ(hr, DXFILE_OK);
        if (FAILED(hr)) break;
        children.push_back(std::move(child));
    }
    return children;
}

// A child as data: itself when it is a data object, else what it references.
ComPtr<IDirectXFileData> AsData(IDirectXFileObject* child, bool* wasReference = nullptr) {
    ComPtr<IDirectXFileData> data;
    if (SUCCEEDED(child->QueryInterface(IID_IDirectXFileData, reinterpret_cast<void**>(data.Out())))) {
        if (wasReference) *wasReference = false;
        return data;
    }
    ComPtr<IDirectXFileDataReference> ref;
    EXPECT_EQ(child->QueryInterface(IID_IDirectXFileDataReference, reinterpret_cast<void**>(ref.Out())), DXFILE_OK);
    if (ref) {
        EXPECT_EQ(ref->Resolve(data.Out()), DXFILE_OK);
    }
    if (wasReference) *wasReference = true;
    return data;
}

std::string NameOf(IDirectXFileObject* object) {
    DWORD size = 0;
    EXPECT_EQ(object->GetName(nullptr, &size), DXFILE_OK);
    std::string name(size, '\0');
    if (size == 0) return name;
    EXPECT_EQ(object->GetName(name.data(), &size), DXFILE_OK);
    name.resize(size - 1);
    return name;
}

GUID TypeOf(IDirectXFileData* data) {
    const GUID* type = nullptr;
    EXPECT_EQ(data->GetType(&type), DXFILE_OK);
    return type ? *type : GUID_NULL;
}

std::vector<std::uint8_t> Bytes(IDirectXFileData* data, const char* member = nullptr) {
    DWORD size = 0;
    void* p = nullptr;
    EXPECT_EQ(data->GetData(member, &size, &p), DXFILE_OK);
    if (!p) return {};
    const auto* b = static_cast<const std::uint8_t*>(p);
    return {b, b + size};
}

std::vector<DWORD> Words(IDirectXFileData* data, const char* member = nullptr) {
    const std::vector<std::uint8_t> bytes = Bytes(data, member);
    EXPECT_EQ(bytes.size() % 4, 0u);
    std::vector<DWORD> words(bytes.size() / 4);
    if (!words.empty()) std::memcpy(words.data(), bytes.data(), words.size() * 4);
    return words;
}

float F(DWORD word) { return DwordToFloat(word); }

// The quad every style file holds: 4 vertices, a triangle and a four-index face.
void ExpectQuadMesh(IDirectXFileData* mesh) {
    EXPECT_EQ(TypeOf(mesh), TID_D3DRMMesh);
    EXPECT_EQ(NameOf(mesh), "quad_display");
    const std::vector<DWORD> w = Words(mesh);
    ASSERT_EQ(w.size(), 1u + 12 + 1 + 4 + 5);
    EXPECT_EQ(w[0], 4u);
    const float vertices[12] = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0.5f};
    for (int i = 0; i < 12; ++i) EXPECT_EQ(F(w[1 + i]), vertices[i]) << "vertex value " << i;
    EXPECT_EQ(w[13], 2u);
    const std::vector<DWORD> faces(w.begin() + 14, w.end());
    EXPECT_EQ(faces, (std::vector<DWORD>{3, 0, 1, 2, 4, 0, 2, 3, 1}));

    EXPECT_EQ(Words(mesh, "nFaces"), std::vector<DWORD>{2});
    EXPECT_EQ(Words(mesh, "vertices").size(), 12u);
    EXPECT_EQ(Words(mesh, "faces"), faces);
    DWORD size = 0;
    void* p = nullptr;
    EXPECT_EQ(mesh->GetData("noSuchMember", &size, &p), DXFILEERR_NOTFOUND);
}

std::string StringAt(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
    const char* text = nullptr;
    if (bytes.size() < offset + sizeof text) return "<short>";
    std::memcpy(&text, bytes.data() + offset, sizeof text);
    return text ? text : "<null>";
}

// faceColor, power, specular, emissive; one TextureFilename child.
void ExpectMaterial(IDirectXFileData* material) {
    EXPECT_EQ(TypeOf(material), TID_D3DRMMaterial);
    EXPECT_EQ(NameOf(material), "Mat0");
    const std::vector<DWORD> w = Words(material);
    ASSERT_EQ(w.size(), 11u);
    const float expected[11] = {1.0f, 0.5f, 0.25f, 1.0f, 8.0f, 0.1f, 0.2f, 0.3f, 0, 0, 0};
    for (int i = 0; i < 11; ++i) EXPECT_EQ(F(w[i]), expected[i]) << "material value " << i;
    auto children = Children(material);
    ASSERT_EQ(children.size(), 1u);
    ComPtr<IDirectXFileData> texture = AsData(children[0].Get());
    ASSERT_TRUE(texture);
    EXPECT_EQ(TypeOf(texture.Get()), TID_D3DRMTextureFilename);
    const std::vector<std::uint8_t> bytes = Bytes(texture.Get());
    EXPECT_EQ(bytes.size(), sizeof(const char*));
    EXPECT_EQ(StringAt(bytes, 0), "tex.jpg");
}

// The material of a mesh: MeshMaterialList (1 material, 2 faces of material
// 0) whose one child is the material or a reference to it.
void ExpectMaterialList(IDirectXFileData* list, bool expectReference) {
    EXPECT_EQ(TypeOf(list), TID_D3DRMMeshMaterialList);
    EXPECT_EQ(Words(list), (std::vector<DWORD>{1, 2, 0, 0}));
    auto children = Children(list);
    ASSERT_EQ(children.size(), 1u);
    bool wasReference = false;
    ComPtr<IDirectXFileData> material = AsData(children[0].Get(), &wasReference);
    EXPECT_EQ(wasReference, expectReference);
    ASSERT_TRUE(material);
    ExpectMaterial(material.Get());
}

void ExpectTranslation123(IDirectXFileData* matrix) {
    EXPECT_EQ(TypeOf(matrix), TID_D3DRMFrameTransformMatrix);
    const std::vector<DWORD> w = Words(matrix);
    ASSERT_EQ(w.size(), 16u);
    for (int i = 0; i < 12; ++i) EXPECT_EQ(F(w[i]), i % 5 == 0 ? 1.0f : 0.0f);
    EXPECT_EQ(F(w[12]), 1.0f);
    EXPECT_EQ(F(w[13]), 2.0f);
    EXPECT_EQ(F(w[14]), 3.0f);
    EXPECT_EQ(F(w[15]), 1.0f);
    EXPECT_EQ(Words(matrix, "frameMatrix"), w);
}

TEST(XFileStyles, SdkStyle) {
    ComPtr<IDirectXFileEnumObject> en;
    ASSERT_EQ(Open(ReadTestFile("sdk_style.x"), &en), DXFILE_OK);
    auto top = TopLevel(en.Get());
    ASSERT_EQ(top.size(), 3u);

    EXPECT_EQ(TypeOf(top[0].Get()), TID_DXFILEHeader);
    const std::vector<std::uint8_t> header = Bytes(top[0].Get());  // WORD, WORD, DWORD
    ASSERT_EQ(header.size(), 8u);
    EXPECT_EQ(header[0] | header[1] << 8, 1);
    EXPECT_EQ(header[2] | header[3] << 8, 0);
    EXPECT_EQ(Words(top[0].Get(), "flags"), std::vector<DWORD>{1});

    ExpectMaterial(top[1].Get());

    EXPECT_EQ(TypeOf(top[2].Get()), TID_D3DRMFrame);
    EXPECT_EQ(NameOf(top[2].Get()), "Root");
    auto frameChildren = Children(top[2].Get());
    ASSERT_EQ(frameChildren.size(), 2u);
    ExpectTranslation123(AsData(frameChildren[0].Get()).Get());
    ComPtr<IDirectXFileData> mesh = AsData(frameChildren[1].Get());
    ExpectQuadMesh(mesh.Get());

    auto meshChildren = Children(mesh.Get());
    ASSERT_EQ(meshChildren.size(), 2u);
    ExpectMaterialList(AsData(meshChildren[0].Get()).Get(), true);
    ComPtr<IDirectXFileData> normals = AsData(meshChildren[1].Get());
    EXPECT_EQ(TypeOf(normals.Get()), TID_D3DRMMeshNormals);
    const std::vector<DWORD> n = Words(normals.Get());
    ASSERT_EQ(n.size(), 1u + 3 + 1 + 4 + 5);
    EXPECT_EQ(F(n[3]), -1.0f);
    EXPECT_EQ(n[4], 2u);
}

TEST(XFileStyles, ExporterStyleWithSkinAndInlineMaterial) {
    ComPtr<IDirectXFileEnumObject> en;
    ASSERT_EQ(Open(ReadTestFile("exporter_style.x"), &en), DXFILE_OK);
    auto top = TopLevel(en.Get());
    ASSERT_EQ(top.size(), 2u);
    EXPECT_EQ(NameOf(top[0].Get()), "Root");
    EXPECT_EQ(TypeOf(top[1].Get()), TID_D3DRMAnimationSet);

    auto rootChildren = Children(top[0].Get());
    ASSERT_EQ(rootChildren.size(), 2u);
    ExpectTranslation123(AsData(rootChildren[0].Get()).Get());
    ComPtr<IDirectXFileData> bone = AsData(rootChildren[1].Get());
    EXPECT_EQ(TypeOf(bone.Get()), TID_D3DRMFrame);  // redeclared in the file, same id
    EXPECT_EQ(NameOf(bone.Get()), "Bone01");
    auto boneChildren = Children(bone.Get());
    ASSERT_EQ(boneChildren.size(), 2u);
    ComPtr<IDirectXFileData> mesh = AsData(boneChildren[1].Get());
    ExpectQuadMesh(mesh.Get());

    auto meshChildren = Children(mesh.Get());
    ASSERT_EQ(meshChildren.size(), 3u);
    // TextureFilename is redeclared without a GUID: it keeps the standard id.
    ExpectMaterialList(AsData(meshChildren[0].Get()).Get(), false);

    ComPtr<IDirectXFileData> skinHeader = AsData(meshChildren[1].Get());
    EXPECT_EQ(TypeOf(skinHeader.Get()), DXFILEOBJ_XSkinMeshHeader);
    const std::vector<std::uint8_t> h = Bytes(skinHeader.Get());  // three WORDs
    EXPECT_EQ(h, (std::vector<std::uint8_t>{1, 0, 2, 0, 1, 0}));

    ComPtr<IDirectXFileData> weights = AsData(meshChildren[2].Get());
    EXPECT_EQ(TypeOf(weights.Get()), DXFILEOBJ_SkinWeights);
    const std::vector<std::uint8_t> sw = Bytes(weights.Get());
    constexpr std::size_t p = sizeof(const char*);
    ASSERT_EQ(sw.size(), p + 4 + 8 + 8 + 64);
    EXPECT_EQ(StringAt(sw, 0), "Bone01");
    EXPECT_EQ(StringAt(Bytes(weights.Get(), "transformNodeName"), 0), "Bone01");
    EXPECT_EQ(Words(weights.Get(), "vertexIndices"), (std::vector<DWORD>{0, 1}));
    const std::vector<DWORD> wv = Words(weights.Get(), "weights");
    ASSERT_EQ(wv.size(), 2u);
    EXPECT_EQ(F(wv[1]), 0.5f);
    EXPECT_EQ(Words(weights.Get(), "matrixOffset").size(), 16u);
}

TEST(XFileStyles, ModellerStyleWithGuidReferenceAndFrameReferencingMesh) {
    ComPtr<IDirectXFileEnumObject> en;
    ASSERT_EQ(Open(ReadTestFile("modeller_style.x"), &en), DXFILE_OK);
    auto top = TopLevel(en.Get());
    ASSERT_EQ(top.size(), 3u);
    ExpectMaterial(top[0].Get());
    GUID id{};
    EXPECT_EQ(top[0]->GetId(&id), DXFILE_OK);
    EXPECT_EQ(id, (GUID{0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55}}));
    ExpectQuadMesh(top[1].Get());
    EXPECT_EQ(top[1]->GetId(&id), DXFILE_OK);
    EXPECT_EQ(id, GUID_NULL);

    auto meshChildren = Children(top[1].Get());
    ASSERT_EQ(meshChildren.size(), 3u);
    ExpectMaterialList(AsData(meshChildren[0].Get()).Get(), true);
    ComPtr<IDirectXFileData> uv = AsData(meshChildren[1].Get());
    EXPECT_EQ(TypeOf(uv.Get()), TID_D3DRMMeshTextureCoords);
    EXPECT_EQ(Words(uv.Get()).size(), 1u + 8);
    ComPtr<IDirectXFileData> colours = AsData(meshChildren[2].Get());
    EXPECT_EQ(TypeOf(colours.Get()), TID_D3DRMMeshVertexColors);
    const std::vector<DWORD> c = Words(colours.Get());  // count, then index + RGBA per entry
    ASSERT_EQ(c.size(), 1u + 4 * 5);
    EXPECT_EQ(c[0], 4u);
    EXPECT_EQ(c[1 + 2 * 5], 2u);
    EXPECT_EQ(F(c[1 + 2 * 5 + 3]), 1.0f);

    EXPECT_EQ(NameOf(top[2].Get()), "frame-1.L");
    auto frameChildren = Children(top[2].Get());
    ASSERT_EQ(frameChildren.size(), 2u);
    ExpectTranslation123(AsData(frameChildren[0].Get()).Get());
    bool wasReference = false;
    ComPtr<IDirectXFileData> referenced = AsData(frameChildren[1].Get(), &wasReference);
    EXPECT_TRUE(wasReference);
    ExpectQuadMesh(referenced.Get());
    EXPECT_EQ(NameOf(frameChildren[1].Get()), "quad_display");
}

// The skinned-mesh loader's walk: AnimationSet → Animation → the frame
// reference and the key tracks, read as 32-bit words at fixed strides.
TEST(XFileAnimation, KeyTracksReadAsWordsAtFixedStrides) {
    ComPtr<IDirectXFileEnumObject> en;
    ASSERT_EQ(Open(ReadTestFile("exporter_style.x"), &en), DXFILE_OK);
    auto top = TopLevel(en.Get());
    ASSERT_EQ(top.size(), 2u);
    EXPECT_EQ(NameOf(top[1].Get()), "Swim");
    auto animations = Children(top[1].Get());
    ASSERT_EQ(animations.size(), 1u);
    ComPtr<IDirectXFileData> animation = AsData(animations[0].Get());
    EXPECT_EQ(TypeOf(animation.Get()), TID_D3DRMAnimation);
    EXPECT_EQ(NameOf(animation.Get()), "");

    std::string animatedFrame;
    std::vector<float> rotation, position;
    std::vector<DWORD> rotationTimes, positionTimes;
    std::vector<float> matrix;
    DWORD matrixTime = 0;
    int options = 0;
    for (auto& child : Children(animation.Get())) {
        ComPtr<IDirectXFileDataReference> ref;
        if (SUCCEEDED(child->QueryInterface(IID_IDirectXFileDataReference, reinterpret_cast<void**>(ref.Out())))) {
            ComPtr<IDirectXFileData> frame;
            ASSERT_EQ(ref->Resolve(frame.Out()), DXFILE_OK);
            EXPECT_EQ(TypeOf(frame.Get()), TID_D3DRMFrame);
            animatedFrame = NameOf(frame.Get());
            continue;
        }
        ComPtr<IDirectXFileData> data = AsData(child.Get());
        const GUID type = TypeOf(data.Get());
        if (type == TID_D3DRMAnimationOptions) {
            ++options;
            EXPECT_EQ(Words(data.Get()), (std::vector<DWORD>{1, 0}));
            continue;
        }
        ASSERT_EQ(type, TID_D3DRMAnimationKey);
        DWORD size = 0;
        void* p = nullptr;
        ASSERT_EQ(data->GetData(nullptr, &size, &p), DXFILE_OK);
        const auto* w = static_cast<const DWORD*>(p);
        const DWORD keyType = w[0];
        const DWORD keys = w[1];
        const DWORD stride = keyType == 0 ? 6 : keyType == 4 ? 18 : 5;
        ASSERT_EQ(size, (2 + keys * stride) * 4) << "key type " << keyType;
        for (DWORD k = 0; k < keys; ++k) {
            const DWORD* key = w + 2 + k * stride;
            if (keyType == 0) {
                rotationTimes.push_back(key[0]);
                for (int i = 0; i < 4; ++i) rotation.push_back(F(key[2 + i]));
            } else if (keyType == 2) {
                positionTimes.push_back(key[0]);
                for (int i = 0; i < 3; ++i) position.push_back(F(key[2 + i]));
            } else if (keyType == 4) {
                matrixTime = key[0];
                EXPECT_EQ(key[1], 16u);
                for (int i = 0; i < 16; ++i) matrix.push_back(F(key[2 + i]));
            }
        }
    }
    EXPECT_EQ(animatedFrame, "Bone01");
    EXPECT_EQ(options, 1);
    EXPECT_EQ(rotationTimes, (std::vector<DWORD>{0, 4800}));
    EXPECT_EQ(rotation, (std::vector<float>{1, 0, 0, 0, 0.7071f, 0, 0.7071f, 0}));
    EXPECT_EQ(positionTimes, (std::vector<DWORD>{0, 4800}));
    EXPECT_EQ(position, (std::vector<float>{0, 0, 0, 1, 2, 3}));
    EXPECT_EQ(matrixTime, 2400u);
    ASSERT_EQ(matrix.size(), 16u);
    EXPECT_EQ(matrix[12], 5.0f);
    EXPECT_EQ(matrix[14], 7.0f);
}

TEST(XFileObjects, NamesQueriesAndLifetime) {
    ComPtr<IDirectXFileData> frame;
    ComPtr<IDirectXFileObject> reference;
    {
        ComPtr<IDirectXFileEnumObject> en;
        ASSERT_EQ(Open(ReadTestFile("modeller_style.x"), &en), DXFILE_OK);
        auto top = TopLevel(en.Get());
        ASSERT_EQ(top.size(), 3u);
        frame = std::move(top[2]);
    }  // the enumerator, the file and the other objects are gone

    DWORD size = 0;
    ASSERT_EQ(frame->GetName(nullptr, &size), DXFILE_OK);
    EXPECT_EQ(size, 10u);  // "frame-1.L" and its NUL
    char small[4] = {'x', 'x', 'x', 'x'};
    size = sizeof small;
    EXPECT_EQ(frame->GetName(small, &size), DXFILEERR_BADVALUE);
    EXPECT_EQ(size, 10u);
    EXPECT_EQ(frame->GetName(nullptr, nullptr), DXFILEERR_BADVALUE);

    auto children = Children(frame.Get());
    ASSERT_EQ(children.size(), 2u);
    ComPtr<IDirectXFileData> matrix = AsData(children[0].Get());
    char buffer[8] = {'x', 'x'};
    size = sizeof buffer;
    EXPECT_EQ(matrix->GetName(buffer, &size), DXFILE_OK);  // unnamed: size 0, empty string
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(buffer[0], '\0');

    reference = std::move(children[1]);
    void* asData = reinterpret_cast<void*>(1);
    EXPECT_EQ(reference->QueryInterface(IID_IDirectXFileData, &asData), E_NOINTERFACE);
    EXPECT_EQ(asData, nullptr);
    ComPtr<IDirectXFileObject> same;
    ASSERT_EQ(matrix->QueryInterface(IID_IDirectXFileObject, reinterpret_cast<void**>(same.Out())), DXFILE_OK);
    EXPECT_EQ(static_cast<IDirectXFileObject*>(matrix.Get()), same.Get());

    // A resolved reference walks its target's children from the start.
    ComPtr<IDirectXFileData> mesh = AsData(reference.Get());
    EXPECT_EQ(Children(mesh.Get()).size(), 3u);
    ComPtr<IDirectXFileData> again = AsData(reference.Get());
    EXPECT_EQ(Children(again.Get()).size(), 3u);
    ComPtr<IDirectXFileObject> none;
    EXPECT_EQ(again->GetNextObject(none.Out()), DXFILEERR_NOMOREOBJECTS);
}

const char kHeader[] = "xof 0303txt 0032\n";

TEST(XFileHeaders, AcceptsTextFormsAndRefusesOthersWithTheirStatus) {
    const std::string body = "Vector { 1; 2; 3; }\n";
    for (const char* ok : {"xof 0302txt 0032", "xof 0303txt 0032", "xof 0302txt 0064", "xof 0303txt 0064"}) {
        EXPECT_EQ(Open(std::string(ok) + "\n" + body), DXFILE_OK) << ok;
    }
    EXPECT_EQ(Open("xof 0302bin 0032" + body), DXFILEERR_BADFILETYPE);
    EXPECT_EQ(Open("xof 0303tzip0032" + body), DXFILEERR_BADFILECOMPRESSIONTYPE);
    EXPECT_EQ(Open("xof 0303bzip0032" + body), DXFILEERR_BADFILECOMPRESSIONTYPE);
    EXPECT_EQ(Open("xof 0303xml 0032" + body), DXFILEERR_BADFILETYPE);
    EXPECT_EQ(Open("xof 0201txt 0032" + body), DXFILEERR_BADFILEVERSION);
    EXPECT_EQ(Open("xof 0303txt 0016" + body), DXFILEERR_BADFILEFLOATSIZE);
    EXPECT_EQ(Open(body), DXFILEERR_BADFILETYPE);
    EXPECT_EQ(Open(""), DXFILEERR_BADFILETYPE);
    EXPECT_EQ(Open("xof 0303"), DXFILEERR_BADFILETYPE);

    ComPtr<IDirectXFile> file = NewFile();
    ComPtr<IDirectXFileEnumObject> en;
    EXPECT_EQ(file->CreateEnumObject(nullptr, 5, en.Out()), DXFILEERR_BADVALUE);
    EXPECT_EQ(file->CreateEnumObject(kHeader, sizeof kHeader - 1, nullptr), DXFILEERR_BADVALUE);
}

TEST(XFileTemplates, RegisteringAndDeclaringTemplates) {
    // Without registered templates nothing is known.
    ComPtr<IDirectXFile> bare;
    ASSERT_EQ(DirectXFileCreate(bare.Out()), DXFILE_OK);
    // (A member's template must be known; an unknown data object would just be skipped.)
    const std::string vector =
        std::string(kHeader) + "template Holder { <01020304-0506-0708-090A-0B0C0D0E0F10> Vector v; }\n";
    ComPtr<IDirectXFileEnumObject> en;
    EXPECT_EQ(bare->CreateEnumObject(vector.data(), static_cast<DWORD>(vector.size()), en.Out()),
              DXFILEERR_NOTEMPLATE);

    // A template block with a bad second template registers nothing.
    const std::string bad = std::string(kHeader) +
                            "template Vector { <3D82AB5E-62DA-11cf-AB39-0020AF71E433> FLOAT x; FLOAT y; FLOAT z; }\n"
                            "template Broken { DWORD n; array DWORD a[count]; }";
    EXPECT_EQ(bare->RegisterTemplates(bad.data(), static_cast<DWORD>(bad.size())), DXFILEERR_PARSEERROR);
    EXPECT_NE(std::string(bare->GetLastErrorText()).find("line 3"), std::string::npos) << bare->GetLastErrorText();
    EXPECT_EQ(bare->CreateEnumObject(vector.data(), static_cast<DWORD>(vector.size()), en.Out()),
              DXFILEERR_NOTEMPLATE);
    const std::string withData = std::string(kHeader) + "template T { DWORD a; }\nT { 1; }";
    EXPECT_EQ(bare->RegisterTemplates(withData.data(), static_cast<DWORD>(withData.size())), DXFILEERR_PARSEERROR);

    // Registering the standard block twice is harmless.
    ComPtr<IDirectXFile> file = NewFile();
    EXPECT_EQ(file->RegisterTemplates(D3DRM_XTEMPLATES, D3DRM_XTEMPLATE_BYTES), DXFILE_OK);

    // A file's own template: restricted child list, strings with escapes,
    // an array sized by a member, nested template members and every width.
    const std::string own = std::string(kHeader) +
                            "template Mixed {\n"
                            " <01020304-0506-0708-090A-0B0C0D0E0F10>\n"
                            " BYTE b; WORD w; CHAR c; SWORD s; SDWORD d; DOUBLE x; STRING name;\n"
                            " DWORD n; array Coords2d uv[n]; array WORD pair[2];\n"
                            " [TextureFilename <A42790E1-7810-11cf-8F52-0040333594A3>, Vector]\n"
                            "}\n"
                            "Mixed m { 255; 65535; -128; -32768; -2147483648; 0.125; \"C:\\\\tex\\\\a.jpg \\\"q\\\" \\n\";\n"
                            " 2; 0.5; 0.25;, 1; 1;; 7, 8; Vector { 0; 0; 0; } }";
    ASSERT_EQ(Open(own, &en), DXFILE_OK);
    auto top = TopLevel(en.Get());
    ASSERT_EQ(top.size(), 1u);
    EXPECT_EQ(TypeOf(top[0].Get()), (GUID{0x01020304, 0x0506, 0x0708, {9, 10, 11, 12, 13, 14, 15, 16}}));
    const std::vector<std::uint8_t> b = Bytes(top[0].Get());
    constexpr std::size_t p = sizeof(const char*);
    ASSERT_EQ(b.size(), 1u + 2 + 1 + 2 + 4 + 8 + p + 4 + 16 + 4);
    EXPECT_EQ(b[0], 255);
    EXPECT_EQ(b[1] | b[2] << 8, 65535);
    EXPECT_EQ(static_cast<std::int8_t>(b[3]), -128);
    std::int16_t s;
    std::memcpy(&s, &b[4], 2);
    EXPECT_EQ(s, -32768);
    std::int32_t d;
    std::memcpy(&d, &b[6], 4);
    EXPECT_EQ(d, INT32_MIN);
    double x;
    std::memcpy(&x, &b[10], 8);
    EXPECT_EQ(x, 0.125);
    EXPECT_EQ(StringAt(b, 18), "C:\\tex\\a.jpg \"q\" \\n");
    EXPECT_EQ(Words(top[0].Get(), "n"), std::vector<DWORD>{2});
    EXPECT_EQ(Words(top[0].Get(), "uv").size(), 4u);
    EXPECT_EQ(Bytes(top[0].Get(), "pair"), (std::vector<std::uint8_t>{7, 0, 8, 0}));
    EXPECT_EQ(Children(top[0].Get()).size(), 1u);
}

TEST(XFileValues, NumberFormsAndTheirLimits) {
    const auto vector = [](const std::string& values) { return std::string(kHeader) + "Vector v { " + values + " }"; };
    ComPtr<IDirectXFileEnumObject> en;
    ASSERT_EQ(Open(vector(".5; -2e-3; +4"), &en), DXFILE_OK);
    auto top = TopLevel(en.Get());
    ASSERT_EQ(top.size(), 1u);
    const std::vector<DWORD> w = Words(top[0].Get());
    ASSERT_EQ(w.size(), 3u);
    EXPECT_EQ(F(w[0]), 0.5f);
    EXPECT_EQ(F(w[1]), -2e-3f);
    EXPECT_EQ(F(w[2]), 4.0f);
    EXPECT_EQ(Open(vector("1.; 1e-60; -0.0000000000000000000000000000000000000000000000000000000001")), DXFILE_OK);
    EXPECT_EQ(Open(vector("1 2 3")), DXFILE_OK);  // blanks alone separate values too

    EXPECT_EQ(Open(vector("1e39; 0; 0;")), DXFILEERR_BADVALUE);
    EXPECT_EQ(Open(vector("1e400; 0; 0;")), DXFILEERR_BADVALUE);
    EXPECT_EQ(Open(vector("1.#QNAN0; 0; 0;")), DXFILEERR_BADVALUE);
    EXPECT_EQ(Open(vector("-1.#IND00; 0; 0;")), DXFILEERR_BADVALUE);
    EXPECT_EQ(Open(vector(std::string(5000, '9') + "; 0; 0;")), DXFILEERR_BADVALUE);
    EXPECT_EQ(Open(vector("1.5.5; 0; 0;")), DXFILEERR_PARSEERROR);
    EXPECT_EQ(Open(vector("1e; 0; 0;")), DXFILEERR_PARSEERROR);
    EXPECT_EQ(Open(vector("nan; 0; 0;")), DXFILEERR_PARSEERROR);
    EXPECT_EQ(Open(vector("1; 2;")), DXFILEERR_PARSEERROR);

    const auto header = [](const std::string& values) { return std::string(kHeader) + "Header { " + values + " }"; };
    EXPECT_EQ(Open(header("1; 0; 4294967295;")), DXFILE_OK);
    EXPECT_EQ(Open(header("1; 0; 4294967296;")), DXFILEERR_BADVALUE);
    EXPECT_EQ(Open(header("65536; 0; 0;")), DXFILEERR_BADVALUE);
    EXPECT_EQ(Open(header("-1; 0; 0;")), DXFILEERR_BADVALUE);
    EXPECT_EQ(Open(header("1.0; 0; 0;")), DXFILEERR_BADVALUE);
}

// The first character at or after i that is neither blank nor in a comment.
std::size_t SkipBlanksAndComments(std::string_view text, std::size_t i) {
    while (i < text.size()) {
        if (std::isspace(static_cast<unsigned char>(text[i]))) {
            ++i;
        } else if (text[i] == '#' || text.substr(i, 2) == "//") {
            while (i < text.size() && text[i] != '\n') ++i;
        } else {
            break;
        }
    }
    return i;
}

// True when the prefix text[0, to) holds only blanks and comments from `from` on.
bool OnlyBlanksAndComments(const std::string& text, std::size_t from, std::size_t to) {
    return SkipBlanksAndComments(std::string_view(text).substr(0, to), from) == to;
}

// Braces in the test files appear only as structure, so depth can be
// counted directly. Where each top-level construct closes, and whether it
// is a template declaration rather than a data object.
struct TopLevelEnd {
    std::size_t end;
    bool isTemplate;
};
std::vector<TopLevelEnd> TopLevelEnds(const std::string& text) {
    std::vector<TopLevelEnd> ends;
    int depth = 0;
    std::size_t start = 16;
    for (std::size_t i = 16; i < text.size(); ++i) {
        if (text[i] == '{') ++depth;
        if (text[i] == '}' && --depth == 0) {
            const std::size_t word = SkipBlanksAndComments(text, start);
            ends.push_back({i + 1, text.compare(word, 8, "template") == 0});
            start = i + 1;
        }
    }
    return ends;
}

TEST(XFileMalformed, EveryPrefixOfAValidFileOpensOrFailsCleanly) {
    for (const char* name : {"sdk_style.x", "exporter_style.x", "modeller_style.x"}) {
        const std::string text = ReadTestFile(name);
        ASSERT_FALSE(text.empty()) << name;
        const std::vector<TopLevelEnd> ends = TopLevelEnds(text);
        for (std::size_t n = 0; n <= text.size(); ++n) {
            // The prefix lives in its own allocation so that a read past its
            // end is caught by the sanitizers.
            const std::vector<char> prefix(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(n));
            ComPtr<IDirectXFile> file = NewFile();
            ComPtr<IDirectXFileEnumObject> en;
            const HRESULT hr = file->CreateEnumObject(prefix.data(), static_cast<DWORD>(n), en.Out());
            std::size_t closed = 0, objects = 0;
            while (closed < ends.size() && ends[closed].end <= n) objects += !ends[closed++].isTemplate;
            const std::size_t after = closed ? ends[closed - 1].end : std::min<std::size_t>(n, 16);
            const bool shouldOpen = n >= 16 && OnlyBlanksAndComments(text, after, n);
            if (shouldOpen) {
                ASSERT_EQ(hr, DXFILE_OK) << name << " prefix " << n << ": " << file->GetLastErrorText();
                EXPECT_EQ(TopLevel(en.Get()).size(), objects) << name << " prefix " << n;
            } else {
                ASSERT_TRUE(FAILED(hr)) << name << " prefix " << n;
                EXPECT_FALSE(en);
                EXPECT_STRNE(file->GetLastErrorText(), "");
            }
        }
    }
}

TEST(XFileMalformed, SizesReferencesAndStructure) {
    const std::string h = kHeader;
    // Counts larger than the data, up to the largest DWORD: refused before anything is stored.
    EXPECT_EQ(Open(h + "Mesh { 1000; 0;0;0;; 0;; }"), DXFILEERR_BADARRAYSIZE);
    EXPECT_EQ(Open(h + "Mesh { 4294967295; 0;0;0;; 0;; }"), DXFILEERR_BADARRAYSIZE);
    EXPECT_EQ(Open(h + "Mesh { 1; 0;0;0;; 1; 4294967295; 1;;; }"), DXFILEERR_BADARRAYSIZE);
    EXPECT_EQ(Open(h + "Mesh { 0;; 0;; }"), DXFILE_OK);
    EXPECT_EQ(Open(h + "Mesh { 2; 0;0;0;, 1;1;1;; 1; 3; 0, 1; }"), DXFILEERR_PARSEERROR);

    EXPECT_EQ(Open(h + "Frame { Unknown 1; }"), DXFILEERR_NOTEMPLATE);
    EXPECT_EQ(Open(h + "Frame A { { B } }"), DXFILEERR_BADDATAREFERENCE);
    EXPECT_EQ(Open(h + "Frame A { { <01020304-0506-0708-090A-0B0C0D0E0F10> } }"), DXFILEERR_BADDATAREFERENCE);
    EXPECT_EQ(Open(h + "Frame A { { B } } Frame B { }"), DXFILE_OK);  // forward references resolve
    EXPECT_EQ(Open(h + "Frame A { { B 01020304-0506-0708-090A-0B0C0D0E0F10 } } Frame B { }"), DXFILE_OK);
    EXPECT_EQ(Open(h + "Frame A { { C <01020304-0506-0708-090A-0B0C0D0E0F10> } }"
                       "Frame B { <01020304-0506-0708-090A-0B0C0D0E0F10> }"),
              DXFILE_OK);  // no object is named C: the GUID finds B
    EXPECT_EQ(Open(h + "Frame A { { } }"), DXFILEERR_PARSEERROR);
    EXPECT_EQ(Open(h + "Frame A { { B C } } Frame B { }"), DXFILEERR_PARSEERROR);
    EXPECT_EQ(Open(h + "Frame A { } }"), DXFILEERR_PARSEERROR);
    EXPECT_EQ(Open(h + "Frame A B { }"), DXFILEERR_PARSEERROR);
    EXPECT_EQ(Open(h + "TextureFilename { \"unterminated; }"), DXFILEERR_PARSEERROR);
    EXPECT_EQ(Open(h + "TextureFilename { noquotes; }"), DXFILEERR_PARSEERROR);
    EXPECT_EQ(Open(h + "Frame " + std::string(255, 'n') + " { }"), DXFILE_OK);
    EXPECT_EQ(Open(h + "Frame " + std::string(256, 'n') + " { }"), DXFILEERR_BADFILE);
    EXPECT_EQ(Open(h + "TextureFilename { \"" + std::string(5000, 's') + "\"; }"), DXFILEERR_BADFILE);
    EXPECT_EQ(Open(h + "template Self { DWORD n; Self s; }"), DXFILEERR_NOTEMPLATE);
    EXPECT_EQ(Open(h + "template Empty { } template Holder { Empty e; }"), DXFILEERR_PARSEERROR);
}

// Exporters put objects of templates the file never declares inside meshes:
// skipped whole when their braces balance, refused when they do not.
TEST(XFileUnknownObjects, AreSkippedWhenTheirBracesBalance) {
    const std::string h = kHeader;
    ComPtr<IDirectXFileEnumObject> en;
    ASSERT_EQ(Open(h + "Mesh M { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;;\n"
                       "  DeclData { 1; 2;0;3;0;; 3; 1, 2, 3;; }\n"
                       "  FVFData { 258; 1; 0; }\n"
                       "  Odd named { \"}\"; # }\n nested { } }\n"
                       "  MeshNormals { 1; 0;0;1;; 1; 3;0,0,0;; }\n"
                       "}\n"
                       "Unknown { 1; }\n"
                       "Frame F { }",
                   &en),
              DXFILE_OK);
    const auto top = TopLevel(en.Get());
    ASSERT_EQ(top.size(), 2u);
    EXPECT_EQ(NameOf(top[0].Get()), "M");
    const auto children = Children(top[0].Get());
    ASSERT_EQ(children.size(), 2u);  // FVFData is a standard template; DeclData and Odd are skipped
    EXPECT_TRUE(TypeOf(AsData(children[1].Get()).Get()) == TID_D3DRMMeshNormals);
    EXPECT_EQ(NameOf(top[1].Get()), "F");

    EXPECT_EQ(Open(h + "Frame { Unknown { 1; }"), DXFILEERR_PARSEERROR);
    EXPECT_EQ(Open(h + "Frame { Unknown { \"}\" }"), DXFILEERR_PARSEERROR);
    EXPECT_EQ(Open(h + "Unknown { { 1; }"), DXFILEERR_PARSEERROR);
}

TEST(XFileMalformed, NestingIsCappedWithoutDeepRecursion) {
    const auto nested = [](std::size_t depth) {
        std::string text = kHeader;
        for (std::size_t i = 0; i < depth; ++i) text += "Frame {";
        for (std::size_t i = 0; i < depth; ++i) text += "}";
        return text;
    };
    EXPECT_EQ(Open(nested(64)), DXFILE_OK);
    EXPECT_EQ(Open(nested(65)), DXFILEERR_BADFILE);
    EXPECT_EQ(Open(nested(200000)), DXFILEERR_BADFILE);

    std::string deepTemplates = kHeader;
    deepTemplates += "template T0 { DWORD v; }\n";
    for (int i = 1; i < 40; ++i) {
        deepTemplates += "template T" + std::to_string(i) + " { T" + std::to_string(i - 1) + " v; }\n";
    }
    ComPtr<IDirectXFile> file = NewFile();
    EXPECT_EQ(file->RegisterTemplates(deepTemplates.data(), static_cast<DWORD>(deepTemplates.size())),
              DXFILEERR_BADFILE);

    std::string many = kHeader;
    for (int i = 0; i < 65537; ++i) many += "Frame{}";
    EXPECT_EQ(Open(many), DXFILEERR_BADFILE);
}

}  // namespace

// A file opened again while its first enumerator lives is parsed once (the
// objects share one document), but only when the bytes are the same: new
// text at the same address parses afresh.
// Parsed ahead on another thread: the first open with the same templates
// takes the document, one with other templates parses for itself, and a file
// that failed ahead fails again in its loader, with the reason.
TEST(XFileObjects, FilesParsedAheadAreTakenByTheirFirstOpenWithTheSameTemplates) {
    const std::string good = ReadTestFile("sdk_style.x");
    const std::string broken = "xof 0303txt 0032\nMesh { 3; 1.0; }\n";
    const XFileBytes files[] = {{good.data(), static_cast<DWORD>(good.size())},
                                {broken.data(), static_cast<DWORD>(broken.size())}};
    PrefetchXFiles(D3DRM_XTEMPLATES, D3DRM_XTEMPLATE_BYTES, files);
    ComPtr<IDirectXFile> bare;
    ASSERT_EQ(DirectXFileCreate(bare.Out()), DXFILE_OK);
    ComPtr<IDirectXFileEnumObject> unused;
    bare->CreateEnumObject(good.data(), static_cast<DWORD>(good.size()), unused.Out());
    EXPECT_EQ(ReleasePrefetchedXFiles(), 1);  // not taken: that file had no templates registered

    PrefetchXFiles(D3DRM_XTEMPLATES, D3DRM_XTEMPLATE_BYTES, files);
    ComPtr<IDirectXFileEnumObject> en;
    EXPECT_EQ(xtest::OpenX(good, &en), DXFILE_OK);
    ComPtr<IDirectXFileData> data;
    EXPECT_EQ(en->GetNextDataObject(data.Out()), DXFILE_OK);
    std::string error;
    EXPECT_TRUE(FAILED(xtest::OpenX(broken, &en, &error)));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(ReleasePrefetchedXFiles(), 0);
}

TEST(XFileObjects, ReopeningTheSameBytesSharesTheDocument) {
    std::string text = ReadTestFile("sdk_style.x");
    auto firstData = [](IDirectXFileEnumObject* en) {
        ComPtr<IDirectXFileData> data;
        EXPECT_EQ(en->GetNextDataObject(data.Out()), DXFILE_OK);
        DWORD size = 0;
        void* bytes = nullptr;
        EXPECT_EQ(data->GetData(nullptr, &size, &bytes), DXFILE_OK);
        return bytes;
    };
    ComPtr<IDirectXFileEnumObject> first, second, changed;
    ASSERT_EQ(NewFile()->CreateEnumObject(text.data(), static_cast<DWORD>(text.size()), first.Out()), DXFILE_OK);
    ASSERT_EQ(NewFile()->CreateEnumObject(text.data(), static_cast<DWORD>(text.size()), second.Out()), DXFILE_OK);
    void* shared = firstData(first.Get());
    EXPECT_EQ(firstData(second.Get()), shared);

    const std::size_t header = text.find("Header");
    ASSERT_NE(header, std::string::npos);
    text[header] = 'X';  // the same address and size, another object type
    ASSERT_EQ(NewFile()->CreateEnumObject(text.data(), static_cast<DWORD>(text.size()), changed.Out()), DXFILE_OK);
    EXPECT_NE(firstData(changed.Get()), shared);
}

namespace {

// A data object with one child, then a reader failure (as out of memory gives).
class FailingParent final : public RefCounted<IDirectXFileData> {
public:
    explicit FailingParent(IDirectXFileData* child) : m_child(ComPtr<IDirectXFileData>::Share(child)) {}
    HRESULT QueryInterface(REFIID, void** object) override {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    HRESULT GetName(char*, DWORD*) override { return DXFILEERR_BADVALUE; }
    HRESULT GetId(GUID*) override { return DXFILEERR_BADVALUE; }
    HRESULT GetData(const char*, DWORD*, void**) override { return DXFILEERR_NOTFOUND; }
    HRESULT GetType(const GUID**) override { return DXFILEERR_BADVALUE; }
    HRESULT GetNextObject(IDirectXFileObject** child) override {
        *child = nullptr;
        if (m_given) return DXFILEERR_BADALLOC;
        m_given = true;
        *child = ComPtr<IDirectXFileData>::Share(m_child).Detach();
        return DXFILE_OK;
    }

private:
    ComPtr<IDirectXFileData> m_child;
    bool m_given = false;
};

}  // namespace

TEST(XFileWalk, AFailureToGetTheNextChildEndsTheWalkWithIt) {
    ComPtr<IDirectXFileEnumObject> en;
    ASSERT_EQ(Open(ReadTestFile("sdk_style.x"), &en), DXFILE_OK);
    ComPtr<IDirectXFileData> top;
    ASSERT_EQ(en->GetNextDataObject(top.Out()), DXFILE_OK);
    ComPtr<FailingParent> parent(new FailingParent(top));
    int seen = 0;
    EXPECT_EQ(ForEachXFileChild(parent, [&](const XFileChild&) { ++seen; }), DXFILEERR_BADALLOC);
    EXPECT_EQ(seen, 1);
    EXPECT_EQ(ForEachXFileChild(top, [](const XFileChild&) {}), S_OK);  // the reader's end is no failure
}
