// The embedded rigid model resources: each opens with the X-file reader, has
// its drawn and collision meshes paired as the models need, the listed
// extents, colours and textures, sound geometry (fronts facing outward), the
// clock-hand turning convention, and is exactly what tools/gen_models builds.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/base/com_ptr.h"
#include "platform/d3dx/d3dx_math.h"
#include "platform/os/resource.h"
#include "platform/xfile/xfile.h"
#include "tests/support/xfile_open.h"
#include "tools/content/models.h"

namespace {

struct Range {
    float lo, hi;
};
struct Extent {
    Range x, y, z;
};
struct Rgb {
    float r, g, b;
};

struct ModelRow {
    const char* name;
    std::vector<Extent> display;  // one per drawn mesh, in file order
    std::vector<Extent> dammy;    // one per collision mesh
    Rgb colour;
    const char* texture;  // nullptr: none
    int materialsPerMesh;
};

const Extent kUnitCube{{-1, 1}, {-1, 1}, {-1, 1}};
const Extent kHalfCube{{-0.5f, 0.5f}, {-0.5f, 0.5f}, {-0.5f, 0.5f}};
const Rgb kWhite{1, 1, 1};
const Rgb kBlack{0, 0, 0};

const std::vector<ModelRow>& Table() {
    static const std::vector<ModelRow> rows = {
        {"AM.X", {{{-0.44f, 0.42f}, {-0.22f, 0.25f}, {0, 0}}}, {kUnitCube}, kWhite, nullptr, 1},
        {"BASE.X",
         {{{-3.38f, 0.54f}, {-2.62f, 2.52f}, {-0.11f, 0.30f}}, {{-0.62f, 3.34f}, {-2.62f, 2.50f}, {-0.22f, 0.19f}}},
         {{{-0.18f, 0.19f}, {-1.01f, -0.64f}, {-0.14f, 0.23f}}, {{-0.18f, 0.19f}, {-1.01f, -0.64f}, {-0.14f, 0.23f}}},
         kWhite,
         nullptr,
         2},
        {"EARTH.X",
         {{{-0.93f, 0.93f}, {0.03f, 0.73f}, {-0.90f, 0.90f}}},
         {{{-1.03f, 1.03f}, {-0.84f, 0.51f}, {-0.89f, 0.89f}}},
         kWhite,
         "earth.jpg",
         1},
        {"HARI01.X",
         {{{-0.08f, 0.10f}, {0.04f, 0.82f}, {0.01f, 0.34f}}},
         {{{-1.05f, -0.81f}, {0.34f, 0.64f}, {0.02f, 0.32f}}},
         kWhite,
         nullptr,
         1},
        {"HARI02.X",
         {{{-0.07f, 0.08f}, {0.04f, 1.24f}, {0.02f, 0.28f}}},
         {{{0.93f, 1.22f}, {0.47f, 0.82f}, {-0.02f, 0.33f}}},
         kWhite,
         nullptr,
         1},
        {"HARI03.X",
         {{{-0.04f, 0.05f}, {0.03f, 1.43f}, {0.04f, 0.14f}}},
         {{{0.77f, 1.11f}, {0.58f, 0.93f}, {-0.13f, 0.21f}}},
         kWhite,
         nullptr,
         1},
        {"MOJI.X",
         {{{-1.37f, 1.44f}, {-1.50f, 1.47f}, {0.01f, 0.01f}}},
         {{{-0.20f, 0.17f}, {-0.17f, 0.20f}, {-0.51f, -0.14f}}},
         kBlack,
         nullptr,
         1},
        {"MOON01.X", {kUnitCube}, {kUnitCube}, kWhite, "MoonFace01.JPG", 1},
        {"NAME00.X", {{{-1.31f, 1.27f}, {-0.24f, 0.35f}, {0, 0}}}, {kUnitCube}, {0.102f, 0.0118f, 1}, nullptr, 1},
        {"NAME01.X", {{{-1.61f, 1.77f}, {-0.21f, 0.34f}, {-0.07f, -0.07f}}}, {kUnitCube}, kWhite, nullptr, 1},
        {"NAME02.X", {{{-0.91f, 0.91f}, {-0.27f, 0.27f}, {0, 0}}}, {kHalfCube}, {0.0824f, 0.0941f, 1}, nullptr, 1},
        {"NAME03.X",
         {{{-1.71f, 1.60f}, {-0.24f, 0.30f}, {-0.15f, -0.15f}}},
         {{{-0.15f, 0.15f}, {-0.15f, 0.15f}, {-0.15f, 0.15f}}},
         kBlack,
         nullptr,
         1},
        {"NAME04.X",
         {{{-1.05f, 1.10f}, {-0.36f, 0.33f}, {-0.01f, -0.01f}}},
         {{{-0.27f, 0.27f}, {-0.27f, 0.27f}, {-0.27f, 0.27f}}},
         kBlack,
         nullptr,
         1},
        {"NAME05.X",
         {{{-1.03f, 1.06f}, {-0.49f, 0.23f}, {-0.21f, -0.21f}}},
         {{{-0.34f, 0.36f}, {-0.21f, 0.49f}, {-1.51f, -0.80f}}},
         kBlack,
         nullptr,
         1},
        {"NAME06.X",
         {{{-1.32f, 1.14f}, {-0.36f, 0.35f}, {0.01f, 0.01f}}},
         {{{-0.20f, 0.20f}, {-0.20f, 0.20f}, {-0.20f, 0.20f}}},
         kBlack,
         nullptr,
         1},
        {"NAME07.X", {{{-1.07f, 1.07f}, {-0.27f, 0.27f}, {0, 0}}}, {kHalfCube}, kWhite, nullptr, 1},
        {"NAME08.X", {{{-1.95f, 1.95f}, {-0.35f, 0.35f}, {0, 0}}}, {kHalfCube}, kBlack, nullptr, 1},
        {"NAME09.X", {{{-1.91f, 1.91f}, {-0.35f, 0.35f}, {0, 0}}}, {kHalfCube}, kBlack, nullptr, 1},
        {"NAME10.X", {{{-1.60f, 1.60f}, {-0.27f, 0.27f}, {0, 0}}}, {kHalfCube}, kBlack, nullptr, 1},
        {"NAME11.X", {{{-1.19f, 1.19f}, {-0.27f, 0.27f}, {0, 0}}}, {kHalfCube}, {0.0745f, 0.0392f, 1}, nullptr, 1},
        {"OBSTACLE01.X",
         {{{-0.47f, 0.49f}, {-3.71f, 2.89f}, {-0.46f, 0.45f}}},
         {{{-0.49f, 0.49f}, {-3.92f, 3.17f}, {-0.42f, 0.44f}}},
         {0.0196f, 0.0118f, 1},
         nullptr,
         1},
        {"PILLAR.X",
         {{{-0.13f, 0.14f}, {-0.51f, 0.50f}, {-0.13f, 0.13f}}},
         {{{-0.18f, 0.20f}, {-0.61f, 0.58f}, {-0.18f, 0.18f}}},
         kWhite,
         nullptr,
         1},
        {"PILLAR2.X",
         {{{-0.21f, 0.22f}, {-1.04f, 1.11f}, {-0.21f, 0.21f}}},
         {{{-0.30f, 0.32f}, {-1.15f, 1.24f}, {-0.29f, 0.30f}}},
         {0.0235f, 0.11f, 1},
         nullptr,
         1},
        {"PM.X", {{{-0.40f, 0.38f}, {-0.28f, 0.19f}, {0.01f, 0.01f}}}, {kUnitCube}, {1, 0.0588f, 0.0824f}, nullptr, 1},
    };
    return rows;
}

// ---------------------------------------------------------------------------
// Reading meshes back from the reader's packed data.

// Bounds-checked reads from one object's data.
class Cursor {
public:
    Cursor(const void* data, DWORD size) : m_p(static_cast<const std::uint8_t*>(data)), m_size(size) {}
    bool Dword(std::uint32_t* v) { return Read(v, 4); }
    bool Float(float* v) { return Read(v, 4); }
    bool Pointer(const char** v) { return Read(v, sizeof(*v)); }
    bool AtEnd() const { return m_at == m_size; }

private:
    bool Read(void* out, std::size_t n) {
        if (m_size - m_at < n) return false;
        std::memcpy(out, m_p + m_at, n);
        m_at += n;
        return true;
    }
    const std::uint8_t* m_p;
    std::size_t m_size, m_at = 0;
};

struct Vec {
    float x, y, z;
};
struct Colour4 {
    float r, g, b, a;
};
struct MaterialRead {
    Colour4 diffuse{};
    std::string texture;
};
struct MeshRead {
    std::string name;
    std::vector<Vec> positions, normals;
    std::vector<std::array<std::uint32_t, 3>> faces, normalFaces;
    std::vector<Colour4> vertexColours;  // by vertex index
    std::vector<MaterialRead> materials;
    std::vector<std::uint32_t> faceMaterials;
    bool hasTextureCoords = false;
};

bool ReadVectorsAndFaces(Cursor& c, std::vector<Vec>* vs, std::vector<std::array<std::uint32_t, 3>>* faces) {
    std::uint32_t n = 0;
    if (!c.Dword(&n)) return false;
    vs->resize(n);
    for (Vec& v : *vs) {
        if (!c.Float(&v.x) || !c.Float(&v.y) || !c.Float(&v.z)) return false;
    }
    std::uint32_t nf = 0;
    if (!c.Dword(&nf)) return false;
    for (std::uint32_t f = 0; f < nf; ++f) {
        std::uint32_t k = 0;
        if (!c.Dword(&k) || k != 3) return false;  // the generated models hold triangles only
        std::array<std::uint32_t, 3> t{};
        for (std::uint32_t& i : t) {
            if (!c.Dword(&i) || i >= n) return false;
        }
        faces->push_back(t);
    }
    return true;
}

bool Data(IDirectXFileData* d, Cursor* c) {
    DWORD size = 0;
    void* p = nullptr;
    if (FAILED(d->GetData(nullptr, &size, &p))) return false;
    *c = Cursor(p, size);
    return true;
}

bool ReadMaterial(IDirectXFileData* d, MaterialRead* m) {
    Cursor c(nullptr, 0);
    if (!Data(d, &c)) return false;
    if (!c.Float(&m->diffuse.r) || !c.Float(&m->diffuse.g) || !c.Float(&m->diffuse.b) || !c.Float(&m->diffuse.a))
        return false;
    for (;;) {
        ComPtr<IDirectXFileObject> child;
        if (d->GetNextObject(child.Out()) != DXFILE_OK) return true;
        ComPtr<IDirectXFileData> cd;
        if (FAILED(child->QueryInterface(IID_IDirectXFileData, reinterpret_cast<void**>(cd.Out())))) continue;
        const GUID* type = nullptr;
        cd->GetType(&type);
        if (*type != TID_D3DRMTextureFilename) continue;
        Cursor tc(nullptr, 0);
        const char* s = nullptr;
        if (!Data(cd.Get(), &tc) || !tc.Pointer(&s) || !s) return false;
        m->texture = s;
    }
}

bool ReadMesh(IDirectXFileData* d, MeshRead* m) {
    m->name = xtest::NameOf(d);
    Cursor c(nullptr, 0);
    if (!Data(d, &c) || !ReadVectorsAndFaces(c, &m->positions, &m->faces)) return false;
    for (;;) {
        ComPtr<IDirectXFileObject> child;
        if (d->GetNextObject(child.Out()) != DXFILE_OK) return true;
        ComPtr<IDirectXFileData> cd;
        if (FAILED(child->QueryInterface(IID_IDirectXFileData, reinterpret_cast<void**>(cd.Out())))) return false;
        const GUID* type = nullptr;
        cd->GetType(&type);
        Cursor cc(nullptr, 0);
        if (!Data(cd.Get(), &cc)) return false;
        if (*type == TID_D3DRMMeshNormals) {
            if (!ReadVectorsAndFaces(cc, &m->normals, &m->normalFaces)) return false;
        } else if (*type == TID_D3DRMMeshTextureCoords) {
            m->hasTextureCoords = true;
        } else if (*type == TID_D3DRMMeshVertexColors) {
            std::uint32_t n = 0;
            if (!cc.Dword(&n)) return false;
            m->vertexColours.assign(m->positions.size(), Colour4{-1, -1, -1, -1});
            for (std::uint32_t i = 0; i < n; ++i) {
                std::uint32_t index = 0;
                Colour4 col{};
                if (!cc.Dword(&index) || !cc.Float(&col.r) || !cc.Float(&col.g) || !cc.Float(&col.b) ||
                    !cc.Float(&col.a) || index >= m->positions.size())
                    return false;
                m->vertexColours[index] = col;
            }
        } else if (*type == TID_D3DRMMeshMaterialList) {
            std::uint32_t nm = 0, nf = 0;
            if (!cc.Dword(&nm) || !cc.Dword(&nf)) return false;
            m->faceMaterials.resize(nf);
            for (std::uint32_t& f : m->faceMaterials) {
                if (!cc.Dword(&f)) return false;
            }
            for (;;) {
                ComPtr<IDirectXFileObject> mo;
                if (cd->GetNextObject(mo.Out()) != DXFILE_OK) break;
                ComPtr<IDirectXFileData> md;
                if (FAILED(mo->QueryInterface(IID_IDirectXFileData, reinterpret_cast<void**>(md.Out())))) return false;
                MaterialRead mat;
                if (!ReadMaterial(md.Get(), &mat)) return false;
                m->materials.push_back(mat);
            }
            if (m->materials.size() != nm) return false;
        }
    }
}

// Meshes of a frame tree, in file order.
bool Walk(IDirectXFileData* d, std::vector<MeshRead>* out) {
    const GUID* type = nullptr;
    if (FAILED(d->GetType(&type))) return false;
    if (*type == TID_D3DRMMesh) {
        out->emplace_back();
        return ReadMesh(d, &out->back());
    }
    if (*type != TID_D3DRMFrame) return true;
    for (;;) {
        ComPtr<IDirectXFileObject> child;
        if (d->GetNextObject(child.Out()) != DXFILE_OK) return true;
        ComPtr<IDirectXFileData> cd;
        if (SUCCEEDED(child->QueryInterface(IID_IDirectXFileData, reinterpret_cast<void**>(cd.Out()))) &&
            !Walk(cd.Get(), out))
            return false;
    }
}

// Opens the resource with the reader; meshes in file order, or a failure.
::testing::AssertionResult LoadModel(const char* name, std::vector<MeshRead>* meshes) {
    const ResourceData res = FindResourceData(name, "Model");
    if (!res) return ::testing::AssertionFailure() << name << ": no Model resource";
    ComPtr<IDirectXFileEnumObject> en;
    std::string error;
    if (xtest::OpenX(res.data, res.size, &en, &error) != DXFILE_OK)
        return ::testing::AssertionFailure() << name << ": " << error;
    for (;;) {
        ComPtr<IDirectXFileData> top;
        if (en->GetNextDataObject(top.Out()) != DXFILE_OK) break;
        if (!Walk(top.Get(), meshes)) return ::testing::AssertionFailure() << name << ": unexpected mesh data";
    }
    return ::testing::AssertionSuccess();
}

bool IsDisplay(const MeshRead& m) { return m.name.find("display") != std::string::npos; }
bool IsDammy(const MeshRead& m) { return !IsDisplay(m) && m.name.find("dammy") != std::string::npos; }

Vec Sub(Vec a, Vec b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec Cross(Vec a, Vec b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
float Dot(Vec a, Vec b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

Extent BoundsOf(const std::vector<Vec>& ps) {
    Extent e{{ps[0].x, ps[0].x}, {ps[0].y, ps[0].y}, {ps[0].z, ps[0].z}};
    for (const Vec& p : ps) {
        e.x = {std::min(e.x.lo, p.x), std::max(e.x.hi, p.x)};
        e.y = {std::min(e.y.lo, p.y), std::max(e.y.hi, p.y)};
        e.z = {std::min(e.z.lo, p.z), std::max(e.z.hi, p.z)};
    }
    return e;
}

// Every bound within 5 % of the wanted box's largest size.
void ExpectExtent(const std::string& what, const Extent& got, const Extent& want) {
    const float size = std::max({want.x.hi - want.x.lo, want.y.hi - want.y.lo, want.z.hi - want.z.lo});
    const float tol = 0.05f * size;
    EXPECT_NEAR(got.x.lo, want.x.lo, tol) << what << " x min";
    EXPECT_NEAR(got.x.hi, want.x.hi, tol) << what << " x max";
    EXPECT_NEAR(got.y.lo, want.y.lo, tol) << what << " y min";
    EXPECT_NEAR(got.y.hi, want.y.hi, tol) << what << " y max";
    EXPECT_NEAR(got.z.lo, want.z.lo, tol) << what << " z min";
    EXPECT_NEAR(got.z.hi, want.z.hi, tol) << what << " z max";
}

void ExpectColour(const std::string& what, const Colour4& got, const Rgb& want) {
    EXPECT_NEAR(got.r, want.r, 1e-3f) << what;
    EXPECT_NEAR(got.g, want.g, 1e-3f) << what;
    EXPECT_NEAR(got.b, want.b, 1e-3f) << what;
    EXPECT_FLOAT_EQ(got.a, 1.0f) << what;
}

// Faces are non-degenerate and turn clockwise around the normals given.
void ExpectSoundFaces(const MeshRead& m) {
    ASSERT_EQ(m.normals.size(), m.positions.size()) << m.name;
    ASSERT_EQ(m.normalFaces, m.faces) << m.name;
    int bad = 0;
    for (const auto& f : m.faces) {
        const Vec n = Cross(Sub(m.positions[f[1]], m.positions[f[0]]), Sub(m.positions[f[2]], m.positions[f[0]]));
        const Vec vn = {m.normals[f[0]].x + m.normals[f[1]].x + m.normals[f[2]].x,
                        m.normals[f[0]].y + m.normals[f[1]].y + m.normals[f[2]].y,
                        m.normals[f[0]].z + m.normals[f[1]].z + m.normals[f[2]].z};
        if (!(std::sqrt(Dot(n, n)) > 1e-9f) || Dot(n, vn) <= 0) ++bad;
    }
    EXPECT_EQ(bad, 0) << m.name << ": degenerate faces or faces turned against their normals";
}

TEST(ContentModels, EveryModelOpensWithPairedMeshesExtentsColoursAndTextures) {
    for (const ModelRow& row : Table()) {
        SCOPED_TRACE(row.name);
        std::vector<MeshRead> meshes;
        ASSERT_TRUE(LoadModel(row.name, &meshes));
        std::vector<const MeshRead*> display, dammy;
        for (const MeshRead& m : meshes) {
            ASSERT_TRUE(IsDisplay(m) || IsDammy(m)) << m.name << " is neither drawn nor a hull";
            (IsDisplay(m) ? display : dammy).push_back(&m);
        }
        ASSERT_EQ(display.size(), row.display.size());
        ASSERT_EQ(dammy.size(), row.dammy.size());
        for (std::size_t i = 0; i < display.size(); ++i) {
            const MeshRead& m = *display[i];
            ExpectExtent(m.name, BoundsOf(m.positions), row.display[i]);
            ExpectSoundFaces(m);
            ASSERT_EQ(m.materials.size(), static_cast<std::size_t>(row.materialsPerMesh)) << m.name;
            ASSERT_EQ(m.faceMaterials.size(), m.faces.size()) << m.name;
            for (const MaterialRead& mat : m.materials) {
                ExpectColour(m.name + " material", mat.diffuse, row.colour);
                EXPECT_EQ(mat.texture, row.texture ? row.texture : "") << m.name;
            }
            EXPECT_EQ(m.hasTextureCoords, row.texture != nullptr) << m.name;
            ASSERT_EQ(m.vertexColours.size(), m.positions.size()) << m.name;
            for (std::size_t v = 0; v < m.vertexColours.size(); ++v) {
                ExpectColour(m.name + " vertex " + std::to_string(v), m.vertexColours[v], row.colour);
            }
        }
        for (std::size_t i = 0; i < dammy.size(); ++i) {
            const MeshRead& m = *dammy[i];
            ExpectExtent(m.name, BoundsOf(m.positions), row.dammy[i]);
            ExpectSoundFaces(m);
            EXPECT_EQ(m.faces.size(), 12u) << m.name;
        }
    }
}

// A hull is only hit from outside (the segment test is one-sided), so every
// hull face must face away from the hull's inside.
TEST(ContentModels, CollisionHullsFaceOutward) {
    for (const ModelRow& row : Table()) {
        std::vector<MeshRead> meshes;
        ASSERT_TRUE(LoadModel(row.name, &meshes));
        for (const MeshRead& m : meshes) {
            if (!IsDammy(m)) continue;
            const Extent e = BoundsOf(m.positions);
            const Vec centre{(e.x.lo + e.x.hi) * 0.5f, (e.y.lo + e.y.hi) * 0.5f, (e.z.lo + e.z.hi) * 0.5f};
            for (const auto& f : m.faces) {
                const Vec p0 = m.positions[f[0]];
                const Vec n = Cross(Sub(m.positions[f[1]], p0), Sub(m.positions[f[2]], p0));
                EXPECT_GT(Dot(n, Sub(p0, centre)), 0.0f) << row.name << " " << m.name;
            }
        }
    }
}

// Closed round shapes face outward: every face of the moon and of the
// Earth cap faces away from the sphere's centre.
TEST(ContentModels, SpheresFaceOutward) {
    struct Case {
        const char* name;
        Vec centre;
    };
    for (const Case& c : {Case{"MOON01.X", {0, 0, 0}}, Case{"EARTH.X", {0, -0.24f, 0}}}) {
        std::vector<MeshRead> meshes;
        ASSERT_TRUE(LoadModel(c.name, &meshes));
        const MeshRead& m = meshes.at(0);
        ASSERT_TRUE(IsDisplay(m));
        for (const auto& f : m.faces) {
            const Vec p0 = m.positions[f[0]];
            const Vec n = Cross(Sub(m.positions[f[1]], p0), Sub(m.positions[f[2]], p0));
            ASSERT_GT(Dot(n, Sub(p0, c.centre)), 0.0f) << c.name;
        }
    }
}

// The clock turns each hand with D3DXMatrixRotationZ(+angle) about the
// dial's z axis; the dial and its numerals face +z, where the viewer is.
// A small positive angle must move a hand to the viewer's right (clockwise),
// and a quarter turn must point it at the three o'clock numeral.
TEST(ContentModels, HandsTurnClockwiseTowardTheNumeralsAsSeenFromTheFront) {
    std::vector<MeshRead> hand, moji;
    ASSERT_TRUE(LoadModel("HARI02.X", &hand));
    ASSERT_TRUE(LoadModel("MOJI.X", &moji));
    const MeshRead& h = hand.at(0);
    const MeshRead& numerals = moji.at(0);
    ASSERT_TRUE(IsDisplay(h) && IsDisplay(numerals));

    Vec tip = h.positions[0];
    for (const Vec& p : h.positions) {
        if (p.y > tip.y) tip = p;
    }
    EXPECT_GT(tip.y, 1.0f) << "the minute hand points up, at twelve";
    for (const Vec& n : numerals.normals) ASSERT_GT(n.z, 0.99f) << "numerals face +z";

    const D3DXVECTOR3 eye(0, 0, 10), at(0, 0, 0), up(0, 1, 0);
    D3DXMATRIX view, turn;
    D3DXMatrixLookAtLH(&view, &eye, &at, &up);
    const D3DXVECTOR3 tip0(tip.x, tip.y, tip.z);
    D3DXMatrixRotationZ(&turn, 0.3f);
    D3DXVECTOR3 turned, seen0, seen1;
    D3DXVec3TransformCoord(&turned, &tip0, &turn);
    D3DXVec3TransformCoord(&seen0, &tip0, &view);
    D3DXVec3TransformCoord(&seen1, &turned, &view);
    EXPECT_GT(seen1.x, seen0.x + 0.2f) << "a positive turn moves the hand to the viewer's right";

    D3DXMatrixRotationZ(&turn, 3.14159265f / 2);
    D3DXVec3TransformCoord(&turned, &tip0, &turn);
    const float len = std::sqrt(turned.x * turned.x + turned.y * turned.y);
    const Vec three{turned.x / len * 1.27f, turned.y / len * 1.27f, 0};
    // The numeral a quarter turn points at is III, narrower than the IX
    // opposite it (a mirrored dial would swap them).
    auto widthNear = [&](Vec c) {
        float lo = 1e9f, hi = -1e9f;
        for (const Vec& p : numerals.positions) {
            if (std::hypot(p.x - c.x, p.y - c.y) < 0.35f) {
                lo = std::min(lo, p.x);
                hi = std::max(hi, p.x);
            }
        }
        return hi - lo;
    };
    const float w3 = widthNear(three), w9 = widthNear({-three.x, -three.y, 0});
    EXPECT_GT(w3, 0.1f) << "a quarter turn points at a numeral";
    EXPECT_GT(w9, w3 + 0.02f) << "IX is opposite III";
}

// The committed files are exactly what the generator builds today.
TEST(ContentModels, GeneratorReproducesTheEmbeddedFilesByteForByte) {
    const std::vector<content::ModelFile> models = content::BuildRigidModels();
    ASSERT_EQ(models.size(), Table().size());
    for (std::size_t i = 0; i < models.size(); ++i) {
        const content::ModelFile& m = models[i];
        EXPECT_EQ(m.resourceName, Table()[i].name);
        const ResourceData res = FindResourceData(m.resourceName.c_str(), "Model");
        ASSERT_TRUE(res) << m.resourceName;
        const std::string text = content::WriteXFile(m);
        EXPECT_TRUE(text.size() == res.size && std::memcmp(text.data(), res.data, res.size) == 0)
            << m.fileName << " differs from what gen_models builds: run `gen_models resources`";
    }
}

}  // namespace
