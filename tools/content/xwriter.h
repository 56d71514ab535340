// Mesh records for the content generators and their byte-stable writer in
// the text X format ("xof 0303txt 0032", standard templates, not declared).
//
// Frames: model space is Direct3D's, left-handed with y up. A triangle's
// front is the side from which its corners run clockwise, so
// cross(p1 - p0, p2 - p0) is its outward normal. Every number is written with
// six decimals ("-0.000000" is written as "0.000000"), so the same mesh gives
// the same bytes on every machine.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

namespace content {

struct Vec2 {
    double u = 0, v = 0;
};

struct Vec3 {
    double x = 0, y = 0, z = 0;
};
inline Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vec3 operator*(Vec3 a, double s) { return {a.x * s, a.y * s, a.z * s}; }
inline double Dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline Vec3 Cross(Vec3 a, Vec3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
inline double Length(Vec3 a) { return std::sqrt(Dot(a, a)); }
inline Vec3 Normalise(Vec3 a) {
    const double l = Length(a);
    return l > 0 ? a * (1.0 / l) : Vec3{0, 0, 0};
}

// An RGBA colour with components 0..1.
struct Colour {
    double r = 1, g = 1, b = 1, a = 1;
};

struct Material {
    Colour diffuse;
    double power = 0;
    Colour specular{0, 0, 0, 1};  // alpha unused
    Colour emissive{0, 0, 0, 1};  // alpha unused
    std::string texture;          // empty: no TextureFilename
};

// One Mesh data object. Every vertex belongs to faces of one material only,
// and its vertex colour is that material's diffuse colour (the renderer takes
// colours from the vertices).
struct MeshData {
    std::string name;
    std::vector<Vec3> positions;
    std::vector<Vec3> normals;  // one per vertex, unit length, outward
    std::vector<Vec2> uvs;      // empty, or one per vertex
    std::vector<std::array<std::uint32_t, 3>> faces;
    std::vector<std::uint32_t> faceMaterials;  // one per face
    std::vector<Material> materials;
};

// A whole model file: its resource name, its file name under resources/, and
// its meshes in file order.
struct ModelFile {
    std::string resourceName;
    std::string fileName;
    std::vector<MeshData> meshes;
};

namespace detail {

inline void AppendNumber(std::string& out, double value) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.6f", value);
    std::string s = buf;
    if (s == "-0.000000") s = "0.000000";
    out += s;
}

inline void AppendUint(std::string& out, std::uint64_t value) { out += std::to_string(value); }

inline void AppendColourRGBA(std::string& out, const Colour& c) {
    AppendNumber(out, c.r);
    out += ';';
    AppendNumber(out, c.g);
    out += ';';
    AppendNumber(out, c.b);
    out += ';';
    AppendNumber(out, c.a);
    out += ";;";
}

inline void AppendColourRGB(std::string& out, const Colour& c) {
    AppendNumber(out, c.r);
    out += ';';
    AppendNumber(out, c.g);
    out += ';';
    AppendNumber(out, c.b);
    out += ";;";
}

// "  3;0,1,2;" lines of a MeshFace array, the last ending with ";;".
inline void AppendFaces(std::string& out, const std::vector<std::array<std::uint32_t, 3>>& faces) {
    for (std::size_t i = 0; i < faces.size(); ++i) {
        out += "  3;";
        AppendUint(out, faces[i][0]);
        out += ',';
        AppendUint(out, faces[i][1]);
        out += ',';
        AppendUint(out, faces[i][2]);
        out += i + 1 < faces.size() ? ";,\n" : ";;\n";
    }
}

inline void AppendVectors(std::string& out, const std::vector<Vec3>& vs) {
    for (std::size_t i = 0; i < vs.size(); ++i) {
        out += "  ";
        AppendNumber(out, vs[i].x);
        out += ';';
        AppendNumber(out, vs[i].y);
        out += ';';
        AppendNumber(out, vs[i].z);
        out += i + 1 < vs.size() ? ";,\n" : ";;\n";
    }
}

}  // namespace detail

// Throws std::runtime_error when the mesh is inconsistent (sizes, indices,
// materials, a vertex shared by two materials).
inline void ValidateMesh(const MeshData& m) {
    const std::size_t n = m.positions.size();
    if (m.name.empty()) throw std::runtime_error("mesh without a name");
    if (n == 0 || m.faces.empty()) throw std::runtime_error(m.name + ": empty mesh");
    if (n > 65535) throw std::runtime_error(m.name + ": too many vertices for 16-bit indices");
    if (m.normals.size() != n) throw std::runtime_error(m.name + ": normal count");
    if (!m.uvs.empty() && m.uvs.size() != n) throw std::runtime_error(m.name + ": texture coordinate count");
    if (m.faceMaterials.size() != m.faces.size()) throw std::runtime_error(m.name + ": face material count");
    if (m.materials.empty()) throw std::runtime_error(m.name + ": no material");
    std::vector<int> vertexMaterial(n, -1);
    for (std::size_t f = 0; f < m.faces.size(); ++f) {
        const std::uint32_t mat = m.faceMaterials[f];
        if (mat >= m.materials.size()) throw std::runtime_error(m.name + ": material index");
        for (std::uint32_t i : m.faces[f]) {
            if (i >= n) throw std::runtime_error(m.name + ": vertex index");
            if (vertexMaterial[i] >= 0 && vertexMaterial[i] != static_cast<int>(mat))
                throw std::runtime_error(m.name + ": vertex shared by two materials");
            vertexMaterial[i] = static_cast<int>(mat);
        }
    }
    for (std::size_t i = 0; i < n; ++i) {
        if (vertexMaterial[i] < 0) throw std::runtime_error(m.name + ": unused vertex");
    }
    std::vector<bool> used(m.materials.size(), false);
    for (std::uint32_t mat : m.faceMaterials) used[mat] = true;
    for (bool u : used) {
        if (!u) throw std::runtime_error(m.name + ": material without faces");
    }
}

// Appends one Mesh data object: positions, faces, MeshNormals (one normal
// per vertex, indexed like the faces, so loading splits nothing),
// MeshTextureCoords when present, MeshVertexColors (the vertex's material
// colour) and MeshMaterialList.
inline void AppendMesh(std::string& out, const MeshData& m) {
    ValidateMesh(m);
    using namespace detail;
    const std::size_t n = m.positions.size();
    out += "Mesh " + m.name + " {\n ";
    AppendUint(out, n);
    out += ";\n";
    AppendVectors(out, m.positions);
    out += " ";
    AppendUint(out, m.faces.size());
    out += ";\n";
    AppendFaces(out, m.faces);

    out += "\n MeshNormals {\n  ";
    AppendUint(out, n);
    out += ";\n";
    AppendVectors(out, m.normals);
    out += "  ";
    AppendUint(out, m.faces.size());
    out += ";\n";
    AppendFaces(out, m.faces);
    out += " }\n";

    if (!m.uvs.empty()) {
        out += "\n MeshTextureCoords {\n  ";
        AppendUint(out, n);
        out += ";\n";
        for (std::size_t i = 0; i < n; ++i) {
            out += "  ";
            AppendNumber(out, m.uvs[i].u);
            out += ';';
            AppendNumber(out, m.uvs[i].v);
            out += i + 1 < n ? ";,\n" : ";;\n";
        }
        out += " }\n";
    }

    std::vector<std::uint32_t> vertexMaterial(n, 0);
    for (std::size_t f = 0; f < m.faces.size(); ++f) {
        for (std::uint32_t i : m.faces[f]) vertexMaterial[i] = m.faceMaterials[f];
    }
    out += "\n MeshVertexColors {\n  ";
    AppendUint(out, n);
    out += ";\n";
    for (std::size_t i = 0; i < n; ++i) {
        out += "  ";
        AppendUint(out, i);
        out += ';';
        AppendColourRGBA(out, m.materials[vertexMaterial[i]].diffuse);
        out += i + 1 < n ? ",\n" : ";\n";
    }
    out += " }\n";

    out += "\n MeshMaterialList {\n  ";
    AppendUint(out, m.materials.size());
    out += ";\n  ";
    AppendUint(out, m.faces.size());
    out += ";\n";
    for (std::size_t f = 0; f < m.faceMaterials.size(); ++f) {
        out += "  ";
        AppendUint(out, m.faceMaterials[f]);
        out += f + 1 < m.faceMaterials.size() ? ",\n" : ";\n";
    }
    for (const Material& mat : m.materials) {
        out += "\n  Material {\n   ";
        AppendColourRGBA(out, mat.diffuse);
        out += "\n   ";
        AppendNumber(out, mat.power);
        out += ";\n   ";
        AppendColourRGB(out, mat.specular);
        out += "\n   ";
        AppendColourRGB(out, mat.emissive);
        out += "\n";
        if (!mat.texture.empty()) {
            out += "\n   TextureFilename {\n    \"" + mat.texture + "\";\n   }\n";
        }
        out += "  }\n";
    }
    out += " }\n}\n";
}

// The whole text of an X file holding the meshes as top-level objects.
inline std::string WriteXFile(const ModelFile& model) {
    std::string out = "xof 0303txt 0032\n";
    out += "// " + model.resourceName + ": generated by tools/gen_models.cpp; edit the generator, not this file.\n";
    for (const MeshData& m : model.meshes) {
        out += '\n';
        AppendMesh(out, m);
    }
    return out;
}

}  // namespace content
