// Building blocks of the model generators: a mesh builder that checks every
// triangle (no degenerate faces, winding that agrees with the normals), box
// collision hulls, and fitting a shape into a target box.
//
// Winding: Direct3D's, clockwise seen from the front, so the outward normal
// of a face (p0, p1, p2) is cross(p1 - p0, p2 - p0). Smooth and hard edges
// come from vertex sharing: the loader recomputes display normals as the
// normalised sum of the face normals around each vertex, and the builder
// computes them the same way unless a vertex was given its own normal.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/content/xwriter.h"

namespace content {

// An axis-aligned box, min and max corner.
struct Box {
    Vec3 lo, hi;
};

inline Box BoundsOf(const std::vector<Vec3>& ps) {
    Box b{ps.at(0), ps.at(0)};
    for (const Vec3& p : ps) {
        b.lo = {std::min(b.lo.x, p.x), std::min(b.lo.y, p.y), std::min(b.lo.z, p.z)};
        b.hi = {std::max(b.hi.x, p.x), std::max(b.hi.y, p.y), std::max(b.hi.z, p.z)};
    }
    return b;
}

// Material helpers: an opaque diffuse colour, optionally textured.
inline Material Diffuse(double r, double g, double b, const std::string& texture = {}) {
    Material m;
    m.diffuse = {r, g, b, 1.0};
    m.power = 0.0;
    m.texture = texture;
    return m;
}

class MeshBuilder {
public:
    explicit MeshBuilder(std::string name) { m_mesh.name = std::move(name); }

    std::uint32_t AddMaterial(const Material& m) {
        m_mesh.materials.push_back(m);
        return static_cast<std::uint32_t>(m_mesh.materials.size() - 1);
    }

    // A vertex; with a non-zero normal that normal is kept, otherwise it is
    // computed from the faces around the vertex when the mesh is built.
    std::uint32_t AddVertex(Vec3 p, Vec2 uv = {}, Vec3 normal = {}) {
        m_mesh.positions.push_back(p);
        m_uvs.push_back(uv);
        m_given.push_back(normal);
        return static_cast<std::uint32_t>(m_mesh.positions.size() - 1);
    }

    // A triangle whose corners run clockwise seen from its front.
    void AddTri(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t material) {
        m_mesh.faces.push_back({a, b, c});
        m_mesh.faceMaterials.push_back(material);
    }

    // A quad a-b-c-d, clockwise seen from its front, as (a, b, c), (a, c, d).
    void AddQuad(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d, std::uint32_t material) {
        AddTri(a, b, c, material);
        AddTri(a, c, d, material);
    }

    void EnableTextureCoords() { m_hasUVs = true; }
    std::size_t VertexCount() const { return m_mesh.positions.size(); }
    std::vector<Vec3>& Positions() { return m_mesh.positions; }

    // Moves and scales every position, per axis, so that the bounds become
    // exactly `target` (an axis of zero size is moved only). Given normals
    // are left alone, so use this on shapes whose normals are computed.
    void FitTo(const Box& target) {
        const Box b = BoundsOf(m_mesh.positions);
        auto map = [](double v, double lo, double hi, double tlo, double thi) {
            if (hi - lo < 1e-12) return tlo + (v - lo);
            return tlo + (v - lo) * (thi - tlo) / (hi - lo);
        };
        for (Vec3& p : m_mesh.positions) {
            p = {map(p.x, b.lo.x, b.hi.x, target.lo.x, target.hi.x), map(p.y, b.lo.y, b.hi.y, target.lo.y, target.hi.y),
                 map(p.z, b.lo.z, b.hi.z, target.lo.z, target.hi.z)};
        }
    }

    // The finished mesh. Throws std::runtime_error on a degenerate face or a
    // face whose winding disagrees with its vertex normals.
    MeshData Build() const {
        MeshData m = m_mesh;
        const std::size_t n = m.positions.size();
        std::vector<Vec3> sum(n);
        for (const auto& f : m.faces) {
            const Vec3 fn = FaceNormal(m, f);
            const double len = Length(fn);
            if (!(len > 1e-10)) throw std::runtime_error(m.name + ": degenerate face");
            for (std::uint32_t i : f) sum.at(i) = sum[i] + fn * (1.0 / len);
        }
        m.normals.resize(n);
        for (std::size_t i = 0; i < n; ++i) {
            const Vec3 given = m_given[i];
            m.normals[i] = Normalise(Length(given) > 0 ? given : sum[i]);
            if (Length(m.normals[i]) < 0.5) throw std::runtime_error(m.name + ": vertex without a normal");
        }
        for (const auto& f : m.faces) {
            const Vec3 fn = Normalise(FaceNormal(m, f));
            const Vec3 vn = m.normals[f[0]] + m.normals[f[1]] + m.normals[f[2]];
            if (Dot(fn, vn) <= 0.0) throw std::runtime_error(m.name + ": face winding disagrees with its normals");
        }
        if (m_hasUVs) m.uvs = m_uvs;
        return m;
    }

    static Vec3 FaceNormal(const MeshData& m, const std::array<std::uint32_t, 3>& f) {
        const Vec3 p0 = m.positions.at(f[0]), p1 = m.positions.at(f[1]), p2 = m.positions.at(f[2]);
        return Cross(p1 - p0, p2 - p0);
    }

private:
    MeshData m_mesh;
    std::vector<Vec2> m_uvs;
    std::vector<Vec3> m_given;
    bool m_hasUVs = false;
};

// Corner k of a box: x from bit 0, y from bit 1, z from bit 2 (max when set).
inline Vec3 BoxCorner(const Box& b, int k) {
    return {(k & 1) ? b.hi.x : b.lo.x, (k & 2) ? b.hi.y : b.lo.y, (k & 4) ? b.hi.z : b.lo.z};
}

// A six-sided collision hull of 12 triangles with texture coordinates laid
// out as a net. vertices 14: the cross net (a strip of the four sides plus
// top and bottom on the front face); vertices 20: two strips of two sides
// and top and bottom apart. Vertex normals point outward (the corner
// directions: the hull is never drawn, and one normal per vertex keeps the
// vertex count as written).
inline MeshData BoxHull(const std::string& name, const Box& box, int vertices) {
    // Faces as seen from outside: corners top-left, top-right, bottom-right,
    // bottom-left (clockwise), with the net cell (column, row) of the face.
    struct Face {
        std::array<int, 4> corners;
        int col14, row14, col20, row20;
    };
    static const Face kFaces[6] = {
        {{2, 3, 1, 0}, 1, 1, 0, 0},  // -z, front
        {{3, 7, 5, 1}, 2, 1, 1, 0},  // +x
        {{7, 6, 4, 5}, 3, 1, 0, 1},  // +z
        {{6, 2, 0, 4}, 0, 1, 1, 1},  // -x
        {{6, 7, 3, 2}, 1, 0, 3, 0},  // +y
        {{0, 1, 5, 4}, 1, 2, 2, 0},  // -y
    };
    if (vertices != 14 && vertices != 20) throw std::runtime_error(name + ": hull layout must be 14 or 20");
    const double cols = 4.0;
    const double rows = vertices == 14 ? 3.0 : 2.0;
    const Vec3 centre = (box.lo + box.hi) * 0.5;
    MeshBuilder b(name);
    b.EnableTextureCoords();
    const std::uint32_t mat = b.AddMaterial(Diffuse(1, 1, 1));
    struct Key {
        int corner, gx, gy;
        std::uint32_t index;
    };
    std::vector<Key> keys;
    auto vertex = [&](int corner, int gx, int gy) {
        for (const Key& k : keys) {
            if (k.corner == corner && k.gx == gx && k.gy == gy) return k.index;
        }
        const Vec3 p = BoxCorner(box, corner);
        const Vec3 d = p - centre;
        const Vec3 n = Normalise({d.x >= 0 ? 1.0 : -1.0, d.y >= 0 ? 1.0 : -1.0, d.z >= 0 ? 1.0 : -1.0});
        const std::uint32_t i = b.AddVertex(p, {gx / cols, gy / rows}, n);
        keys.push_back({corner, gx, gy, i});
        return i;
    };
    for (const Face& f : kFaces) {
        const int cx = vertices == 14 ? f.col14 : f.col20;
        const int cy = vertices == 14 ? f.row14 : f.row20;
        const std::uint32_t tl = vertex(f.corners[0], cx, cy);
        const std::uint32_t tr = vertex(f.corners[1], cx + 1, cy);
        const std::uint32_t br = vertex(f.corners[2], cx + 1, cy + 1);
        const std::uint32_t bl = vertex(f.corners[3], cx, cy + 1);
        b.AddQuad(tl, tr, br, bl, mat);
    }
    MeshData m = b.Build();
    if (m.positions.size() != static_cast<std::size_t>(vertices)) throw std::runtime_error(name + ": hull net");
    return m;
}

}  // namespace content
