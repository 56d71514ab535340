// The rigid models of the scene, built from code: clock parts (dial body,
// numerals, hands, AM/PM labels, zone names), the Earth cap, the moon, the
// pillars and the obstacle spire, each with its drawn ("display") and
// collision ("dammy") meshes. BuildRigidModels() is deterministic: the same
// program gives the same bytes on every machine (see tools/gen_models.cpp).
//
// Frames: model space is left-handed with y up. A clock is seen from its +z
// side: the clock placements turn each dial's local +z toward the centre of
// the scene, where the camera is, so dial faces, numerals, hands and labels
// face +z, and the viewer's right is local -x. Text therefore runs toward
// -x. The hands point up (+y, twelve o'clock). D3DXMatrixRotationZ(a) maps a
// row vector (x, y) to (x cos a - y sin a, x sin a + y cos a), so +y turns
// toward -x for a > 0: toward the viewer's right, clockwise as the viewer
// sees it. The clock code applies RotationZ(+angle) to advance the time; the
// three o'clock numeral sits at -x accordingly.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "tools/content/block_font.h"
#include "tools/content/mesh_builder.h"
#include "tools/content/xwriter.h"

namespace content {

constexpr double kPi = 3.14159265358979323846;

// A small deterministic random source (xorshift32), so jitter does not
// depend on the C library.
class Jitter {
public:
    explicit Jitter(std::uint32_t seed) : m_s(seed ? seed : 0x9E3779B9u) {}
    double Unit() {  // [0, 1)
        m_s ^= m_s << 13;
        m_s ^= m_s >> 17;
        m_s ^= m_s << 5;
        return (m_s >> 8) * (1.0 / 16777216.0);
    }
    double Signed() { return Unit() * 2.0 - 1.0; }

private:
    std::uint32_t m_s;
};

// cos/sin with the quarter turns exact, so seams land exactly on the axes.
inline std::pair<double, double> CosSin(double a) {
    const double q = a / (kPi * 0.5);
    const double r = std::round(q);
    if (std::fabs(q - r) < 1e-12) {
        const int k = ((static_cast<int>(r) % 4) + 4) % 4;
        static const double c[4] = {1, 0, -1, 0}, s[4] = {0, 1, 0, -1};
        return {c[k], s[k]};
    }
    return {std::cos(a), std::sin(a)};
}

// A triangle turned so that its front faces away from `inside`.
inline void AddTriAway(MeshBuilder& b, std::uint32_t i0, std::uint32_t i1, std::uint32_t i2, std::uint32_t mat,
                       Vec3 inside) {
    const std::vector<Vec3>& p = b.Positions();
    const Vec3 n = Cross(p[i1] - p[i0], p[i2] - p[i0]);
    const Vec3 c = (p[i0] + p[i1] + p[i2]) * (1.0 / 3.0);
    if (Dot(n, c - inside) < 0) std::swap(i1, i2);
    b.AddTri(i0, i1, i2, mat);
}

// A triangle turned so that its front faces along `dir`.
inline void AddTriFacing(MeshBuilder& b, std::uint32_t i0, std::uint32_t i1, std::uint32_t i2, std::uint32_t mat,
                         Vec3 dir) {
    const std::vector<Vec3>& p = b.Positions();
    if (Dot(Cross(p[i1] - p[i0], p[i2] - p[i0]), dir) < 0) std::swap(i1, i2);
    b.AddTri(i0, i1, i2, mat);
}

// A planar quad a-b-c-d (either turning) facing away from `inside`.
inline void AddQuadAway(MeshBuilder& b, std::uint32_t a, std::uint32_t bb, std::uint32_t c, std::uint32_t d,
                        std::uint32_t mat, Vec3 inside) {
    const std::vector<Vec3>& p = b.Positions();
    const Vec3 n = Cross(p[bb] - p[a], p[c] - p[a]) + Cross(p[c] - p[a], p[d] - p[a]);
    const Vec3 ctr = (p[a] + p[bb] + p[c] + p[d]) * 0.25;
    if (Dot(n, ctr - inside) < 0) std::swap(bb, d);
    b.AddQuad(a, bb, c, d, mat);
}

// ---------------------------------------------------------------------------
// Flat text and numerals (front +z, reading toward -x)

// The text laid flat at depth z, filling the box [x0, x1] x [y0, y1]
// exactly: the cap height fills y; letter spacing (0.6 to 2.2 glyph units)
// takes up what it can of the width, a horizontal scale the rest.
inline MeshData TextMesh(const std::string& meshName, const std::string& text, double x0, double x1, double y0,
                         double y1, double z, const Material& material) {
    const double sy = (y1 - y0) / 6.0;
    const double target = (x1 - x0) / sy;  // wanted width in glyph units
    const double natural = LayoutText(text, 1.0).width;
    const double gaps = text.size() > 1 ? static_cast<double>(text.size() - 1) : 1.0;
    double gap = 1.0 + (target - natural) / gaps;
    gap = std::clamp(gap, 0.6, 2.2);
    const TextLayout layout = LayoutText(text, gap);
    const double sx = (x1 - x0) / layout.width;
    MeshBuilder b(meshName);
    const std::uint32_t mat = b.AddMaterial(material);
    for (const Poly2& piece : layout.pieces) {
        std::vector<std::uint32_t> idx;
        for (const Vec2& q : piece) idx.push_back(b.AddVertex({x1 - q.u * sx, y0 + q.v * sy, z}, {}, {0, 0, 1}));
        for (std::size_t i = 1; i + 1 < idx.size(); ++i) AddTriFacing(b, idx[0], idx[i], idx[i + 1], mat, {0, 0, 1});
    }
    return b.Build();
}

// The twelve Roman numerals of the dial, upright, centred on a circle of
// radius `radius` at the hour positions (hour h at angle h x 30 degrees
// clockwise from +y as the viewer sees it, i.e. toward -x), glyphs `height`
// tall, at depth z.
inline MeshData NumeralsMesh(const std::string& meshName, double radius, double height, double z,
                             const Material& material) {
    static const char* const kNumerals[12] = {"XII", "I",   "II",   "III", "IIII", "V",
                                              "VI",  "VII", "VIII", "IX",  "X",    "XI"};
    const double s = height / 6.0;
    MeshBuilder b(meshName);
    const std::uint32_t mat = b.AddMaterial(material);
    for (int h = 0; h < 12; ++h) {
        const auto [c, sn] = CosSin(h * kPi / 6.0);
        const double cx = -sn * radius, cy = c * radius;
        const TextLayout layout = LayoutText(kNumerals[h], 0.8);
        for (const Poly2& piece : layout.pieces) {
            std::vector<std::uint32_t> idx;
            for (const Vec2& q : piece) {
                const double x = cx + (layout.width * 0.5 - q.u) * s;
                const double y = cy + (q.v - 3.0) * s;
                idx.push_back(b.AddVertex({x, y, z}, {}, {0, 0, 1}));
            }
            for (std::size_t i = 1; i + 1 < idx.size(); ++i) AddTriFacing(b, idx[0], idx[i], idx[i + 1], mat, {0, 0, 1});
        }
    }
    return b.Build();
}

// ---------------------------------------------------------------------------
// Clock hands

// A faceted kite pyramid lying on the dial, pointing up (+y): base corners
// at depth zBase (tail at yTail, tip at yTip, widest at xLeft..xRight a
// quarter of the way up), apex raised to zTop above the widest point. Four
// faces, each with its own corners so the toon bands stay crisp.
inline MeshData HandMesh(const std::string& meshName, double xLeft, double xRight, double yTail, double yTip,
                         double zBase, double zTop, const Material& material) {
    const double xc = (xLeft + xRight) * 0.5;
    const double yw = yTail + (yTip - yTail) * 0.25;
    const Vec3 tail{xc, yTail, zBase}, tip{xc, yTip, zBase}, left{xLeft, yw, zBase}, right{xRight, yw, zBase};
    const Vec3 apex{xc, yw, zTop};
    const Vec3 inside{xc, yw, zBase - 1.0};
    MeshBuilder b(meshName);
    const std::uint32_t mat = b.AddMaterial(material);
    const Vec3 ring[4] = {tail, left, tip, right};
    for (int i = 0; i < 4; ++i) {
        const std::uint32_t a = b.AddVertex(ring[i]);
        const std::uint32_t c = b.AddVertex(ring[(i + 1) % 4]);
        const std::uint32_t p = b.AddVertex(apex);
        AddTriAway(b, a, c, p, mat, inside);
    }
    return b.Build();
}

// ---------------------------------------------------------------------------
// Dial body

// One half of the dial body: a rounded bezel ring around a recessed face
// plate, a back plate, a cap closing the cut at x = 0, a diamond at three or
// nine o'clock, and a jewel at twelve (left half) or a pendant at six (right
// half). Material 0 is the frame, material 1 the face plate.
struct BaseHalfShape {
    bool left;      // the half with x <= 0
    double zBack;   // depth of the back plate
    double tipX;    // |x| of the side diamond's outer point
    double gemY;    // centre of the jewel (top) or pendant (bottom)
    double gemHalfW, gemUp, gemDown;  // its half width and its reach above and below gemY
    double gemMidZ, gemTopZ;          // depth of its outline and of its point
};

// A faceted diamond: four slopes from the outline o[0..3] (at depth zMid) up
// to a point above `centre` at zTop, short walls down to zLow and a back.
inline void AddDiamond(MeshBuilder& b, std::uint32_t mat, const Vec2 (&o2)[4], Vec2 centre, double zMid, double zTop,
                       double zLow) {
    Vec3 o[4];
    for (int i = 0; i < 4; ++i) o[i] = {o2[i].u, o2[i].v, zMid};
    const Vec3 apex{centre.u, centre.v, zTop};
    const Vec3 inside{centre.u, centre.v, (zLow + zTop) * 0.5};
    for (int i = 0; i < 4; ++i) {
        const Vec3 a = o[i], c = o[(i + 1) % 4];
        AddTriAway(b, b.AddVertex(a), b.AddVertex(c), b.AddVertex(apex), mat, inside);
        const Vec3 al{a.x, a.y, zLow}, cl{c.x, c.y, zLow};
        AddQuadAway(b, b.AddVertex(a), b.AddVertex(c), b.AddVertex(cl), b.AddVertex(al), mat, inside);
    }
    std::uint32_t back[4];
    for (int i = 0; i < 4; ++i) back[i] = b.AddVertex({o[i].x, o[i].y, zLow});
    AddTriFacing(b, back[0], back[1], back[2], mat, {0, 0, -1});
    AddTriFacing(b, back[0], back[2], back[3], mat, {0, 0, -1});
}

inline MeshData BaseHalf(const std::string& meshName, const BaseHalfShape& shape) {
    constexpr double zFace = -0.06;
    constexpr int kSegments = 24;  // per half turn
    constexpr double kCoreR = 2.18;
    // Bezel profile (radius, depth) from the face plate out to the back. Both
    // halves share it down to -0.11, so their shading matches at the cut; a
    // deeper back continues the outer wall straight down.
    std::vector<std::array<double, 2>> profile = {{1.85, zFace}, {1.86, 0.10}, {1.98, 0.19},
                                                  {2.36, 0.19},  {2.50, 0.09}, {2.51, -0.11}};
    if (shape.zBack < -0.11 - 1e-9) profile.push_back({2.51, shape.zBack});
    const int np = static_cast<int>(profile.size());
    const double phi0 = shape.left ? kPi * 0.5 : -kPi * 0.5;
    const double side = shape.left ? -1.0 : 1.0;

    MeshBuilder b(meshName);
    const std::uint32_t frame = b.AddMaterial(Diffuse(1, 1, 1));
    const std::uint32_t face = b.AddMaterial(Diffuse(1, 1, 1));

    // Bezel: smooth around and across, so the toon ramp draws rings on it.
    std::vector<std::uint32_t> grid((kSegments + 1) * np);
    for (int k = 0; k <= kSegments; ++k) {
        const auto [c, s] = CosSin(phi0 + kPi * k / kSegments);
        for (int p = 0; p < np; ++p) {
            grid[k * np + p] = b.AddVertex({profile[p][0] * c, profile[p][0] * s, profile[p][1]});
        }
    }
    for (int k = 0; k < kSegments; ++k) {
        const auto [c, s] = CosSin(phi0 + kPi * (k + 0.5) / kSegments);
        const Vec3 core{kCoreR * c, kCoreR * s, 0.0};
        for (int p = 0; p + 1 < np; ++p) {
            AddQuadAway(b, grid[k * np + p], grid[k * np + p + 1], grid[(k + 1) * np + p + 1], grid[(k + 1) * np + p],
                        frame, core);
        }
    }

    // Face plate and back plate: half discs.
    auto halfDisc = [&](double radius, double z, Vec3 facing, std::uint32_t mat) {
        const std::uint32_t centre = b.AddVertex({0, 0, z});
        std::vector<std::uint32_t> rim;
        for (int k = 0; k <= kSegments; ++k) {
            const auto [c, s] = CosSin(phi0 + kPi * k / kSegments);
            rim.push_back(b.AddVertex({radius * c, radius * s, z}));
        }
        for (int k = 0; k < kSegments; ++k) AddTriFacing(b, centre, rim[k], rim[k + 1], mat, facing);
    };
    halfDisc(profile[0][0], zFace, {0, 0, 1}, face);
    halfDisc(profile[np - 1][0], shape.zBack, {0, 0, -1}, frame);

    // Cap over the cut at x = 0: the section from the top of the bezel down
    // through the face plate to the bottom of the bezel, closed by the back.
    {
        std::vector<std::pair<double, double>> top;  // (y, z), y decreasing
        for (int p = np - 1; p >= 0; --p) top.push_back({profile[p][0], profile[p][1]});
        for (int p = 0; p < np; ++p) top.push_back({-profile[p][0], profile[p][1]});
        const Vec3 facing{-side, 0, 0};
        for (std::size_t i = 0; i + 1 < top.size(); ++i) {
            const auto [ya, za] = top[i];
            const auto [yb, zb] = top[i + 1];
            const bool aFlat = za <= shape.zBack + 1e-9, bFlat = zb <= shape.zBack + 1e-9;
            if ((aFlat && bFlat) || std::fabs(ya - yb) < 1e-12) continue;
            const std::uint32_t ta = b.AddVertex({0, ya, za}), tb = b.AddVertex({0, yb, zb});
            if (aFlat) {
                AddTriFacing(b, ta, tb, b.AddVertex({0, yb, shape.zBack}), frame, facing);
            } else if (bFlat) {
                AddTriFacing(b, ta, tb, b.AddVertex({0, ya, shape.zBack}), frame, facing);
            } else {
                const std::uint32_t bb = b.AddVertex({0, yb, shape.zBack}), ba = b.AddVertex({0, ya, shape.zBack});
                AddTriFacing(b, ta, tb, bb, frame, facing);
                AddTriFacing(b, ta, bb, ba, frame, facing);
            }
        }
    }

    // Diamond at three/nine o'clock; its inner end is buried in the bezel.
    {
        const Vec2 o[4] = {{side * 2.30, 0}, {side * 2.88, 0.50}, {side * shape.tipX, 0}, {side * 2.88, -0.50}};
        AddDiamond(b, frame, o, {side * 2.88, 0}, 0.0, 0.17, -0.10);
    }
    // Jewel at twelve o'clock or pendant at six, straddling the cut.
    {
        const double y = shape.gemY, w = shape.gemHalfW;
        const Vec2 o[4] = {{-w, y}, {0, y + shape.gemUp}, {w, y}, {0, y - shape.gemDown}};
        AddDiamond(b, frame, o, {0, y}, shape.gemMidZ, shape.gemTopZ, shape.gemMidZ - 0.12);
    }
    return b.Build();
}

// ---------------------------------------------------------------------------
// Spheres

// Latitude/longitude sphere patch mapped equirectangularly: u = longitude
// (0.5 facing -z, growing toward +x: eastward, unmirrored, for a viewer on
// the -z side), v = 0 at the north pole down to the lowest latitude. The
// moon placements turn each moon's local -z toward the centre of the scene,
// so the middle of the moon texture faces the camera. Rows of vertices
// repeat the first column at u = 1 (texture seam); the pole is split into one
// vertex per segment so each pole triangle gets the u of its segment.
struct SphereShape {
    Vec3 centre;
    double radius;
    int segments;
    int bands;
    double lowestLatitude;  // radians; -pi/2 for a whole sphere
};

inline Vec3 SphereDir(double lon, double lat) {
    const auto [cl, sl] = CosSin(lon);
    const auto [cb, sb] = CosSin(lat);
    return {sl * cb, sb, -cl * cb};
}

inline void AddSphere(MeshBuilder& b, std::uint32_t mat, const SphereShape& s, bool analyticNormals) {
    const int n = s.segments;
    auto lonOf = [&](double u) { return (u - 0.5) * 2.0 * kPi; };
    const bool southPole = s.lowestLatitude <= -kPi * 0.5 + 1e-12;
    const int rows = southPole ? s.bands - 1 : s.bands;  // rows below the north pole
    std::vector<std::uint32_t> grid;
    for (int r = 1; r <= rows; ++r) {
        const double lat = kPi * 0.5 - (kPi * 0.5 - s.lowestLatitude) * r / s.bands;
        for (int j = 0; j <= n; ++j) {
            const double u = static_cast<double>(j) / n;
            const Vec3 d = SphereDir(lonOf(u), lat);
            const double v = (kPi * 0.5 - lat) / kPi;
            grid.push_back(b.AddVertex(s.centre + d * s.radius, {u, v}, analyticNormals ? d : Vec3{}));
        }
    }
    auto at = [&](int r, int j) { return grid[(r - 1) * (n + 1) + j]; };
    for (int j = 0; j < n; ++j) {
        const double u = (j + 0.5) / n;
        const std::uint32_t pole =
            b.AddVertex(s.centre + Vec3{0, s.radius, 0}, {u, 0.0}, analyticNormals ? Vec3{0, 1, 0} : Vec3{});
        AddTriAway(b, pole, at(1, j), at(1, j + 1), mat, s.centre);
    }
    for (int r = 1; r < rows; ++r) {
        for (int j = 0; j < n; ++j) AddQuadAway(b, at(r, j), at(r, j + 1), at(r + 1, j + 1), at(r + 1, j), mat, s.centre);
    }
    if (southPole) {
        for (int j = 0; j < n; ++j) {
            const double u = (j + 0.5) / n;
            const std::uint32_t pole =
                b.AddVertex(s.centre + Vec3{0, -s.radius, 0}, {u, 1.0}, analyticNormals ? Vec3{0, -1, 0} : Vec3{});
            AddTriAway(b, pole, at(rows, j + 1), at(rows, j), mat, s.centre);
        }
    }
}

// ---------------------------------------------------------------------------
// Columns

// A faceted column around the y axis: `sides` flat sides (hard edges between
// them, smooth up the height), an irregular cross-section, a radius profile
// with gentle per-edge bulges, and ends that are points (apex > 0), flat
// (apex == 0) or left open (apex < 0, for ends buried in another part).
struct ColumnShape {
    int sides;
    int rings;
    double y0, y1;
    double (*profile)(double t);  // radius at height fraction t
    double bulge;                 // amplitude of the per-edge bulges (fraction of the radius)
    double angleJitter;           // radians
    double twist;                 // radians from bottom to top
    double apexBottom, apexTop;
    std::uint32_t seed;
};

inline void AddColumn(MeshBuilder& b, std::uint32_t mat, const ColumnShape& s) {
    Jitter rnd(s.seed);
    std::vector<double> angle(s.sides), amp(s.sides), freq(s.sides), phase(s.sides);
    for (int j = 0; j < s.sides; ++j) {
        angle[j] = 2.0 * kPi * j / s.sides + s.angleJitter * rnd.Signed();
        amp[j] = s.bulge * (0.5 + 0.5 * rnd.Unit());
        freq[j] = 0.6 + 0.9 * rnd.Unit();
        phase[j] = 2.0 * kPi * rnd.Unit();
    }
    // corner[i][j]: ring i, edge j.
    std::vector<std::vector<Vec3>> corner(s.rings, std::vector<Vec3>(s.sides));
    for (int i = 0; i < s.rings; ++i) {
        const double t = static_cast<double>(i) / (s.rings - 1);
        const double y = s.y0 + (s.y1 - s.y0) * t;
        for (int j = 0; j < s.sides; ++j) {
            const double r = s.profile(t) * (1.0 + amp[j] * std::sin(2.0 * kPi * freq[j] * t + phase[j]));
            const double a = angle[j] + s.twist * t;
            corner[i][j] = {r * std::cos(a), y, r * std::sin(a)};
        }
    }
    // Sides: each side is a strip with its own vertices.
    for (int j = 0; j < s.sides; ++j) {
        const int k = (j + 1) % s.sides;
        std::vector<std::uint32_t> a(s.rings), c(s.rings);
        for (int i = 0; i < s.rings; ++i) {
            a[i] = b.AddVertex(corner[i][j]);
            c[i] = b.AddVertex(corner[i][k]);
        }
        for (int i = 0; i + 1 < s.rings; ++i) {
            const Vec3 axis{0, (corner[i][j].y + corner[i + 1][j].y) * 0.5, 0};
            AddTriAway(b, a[i], c[i], c[i + 1], mat, axis);
            AddTriAway(b, a[i], c[i + 1], a[i + 1], mat, axis);
        }
    }
    // Ends.
    auto end = [&](int ring, double apex, double dirY) {
        if (apex < 0) return;
        const double y = corner[ring][0].y;
        if (apex == 0) {
            std::vector<std::uint32_t> rim;
            for (int j = 0; j < s.sides; ++j) rim.push_back(b.AddVertex(corner[ring][j]));
            for (int j = 1; j + 1 < s.sides; ++j) AddTriFacing(b, rim[0], rim[j], rim[j + 1], mat, {0, dirY, 0});
            return;
        }
        const Vec3 tip{0, y + dirY * apex, 0};
        const Vec3 inside{0, y - dirY * apex, 0};
        for (int j = 0; j < s.sides; ++j) {
            AddTriAway(b, b.AddVertex(corner[ring][j]), b.AddVertex(corner[ring][(j + 1) % s.sides]), b.AddVertex(tip),
                       mat, inside);
        }
    };
    end(0, s.apexBottom, -1.0);
    end(s.rings - 1, s.apexTop, 1.0);
}

// A block with a square bottom (half size a0 at y0) and a square top (half
// size a1 at y1): sloped faceted sides, flat top and bottom.
inline void AddBlock(MeshBuilder& b, std::uint32_t mat, double y0, double a0, double y1, double a1) {
    const Vec3 lo[4] = {{-a0, y0, -a0}, {a0, y0, -a0}, {a0, y0, a0}, {-a0, y0, a0}};
    const Vec3 hi[4] = {{-a1, y1, -a1}, {a1, y1, -a1}, {a1, y1, a1}, {-a1, y1, a1}};
    const Vec3 inside{0, (y0 + y1) * 0.5, 0};
    for (int i = 0; i < 4; ++i) {
        const int k = (i + 1) % 4;
        AddQuadAway(b, b.AddVertex(lo[i]), b.AddVertex(lo[k]), b.AddVertex(hi[k]), b.AddVertex(hi[i]), mat, inside);
    }
    AddQuadAway(b, b.AddVertex(hi[0]), b.AddVertex(hi[1]), b.AddVertex(hi[2]), b.AddVertex(hi[3]), mat, inside);
    AddQuadAway(b, b.AddVertex(lo[0]), b.AddVertex(lo[1]), b.AddVertex(lo[2]), b.AddVertex(lo[3]), mat, inside);
}

inline Box MakeBox(double x0, double x1, double y0, double y1, double z0, double z1) { return {{x0, y0, z0}, {x1, y1, z1}}; }

// ---------------------------------------------------------------------------
// The models

inline ModelFile SingleModel(const std::string& resource, const std::string& file, MeshData display, MeshData dammy) {
    ModelFile m;
    m.resourceName = resource;
    m.fileName = file;
    m.meshes.push_back(std::move(display));
    m.meshes.push_back(std::move(dammy));
    return m;
}

inline double ObstacleProfile(double t) {
    // A spire: broad foot, slow taper, a waist and a shoulder.
    return 0.46 * (1.0 - 0.55 * t) + 0.10 * std::pow(1.0 - t, 6.0) + 0.03 * std::sin(t * kPi * 2.2) +
           0.025 * std::sin(t * kPi * 5.0 + 1.0);
}
inline double PillarShaftProfile(double t) {
    // Entasis: the shaft swells a little below its middle and narrows upward.
    return 0.085 - 0.012 * t + 0.006 * std::sin(t * kPi);
}
inline double CrystalProfile(double t) { return 0.20 + 0.025 * std::sin(t * kPi); }

struct ZoneName {
    const char* resource;
    const char* file;
    const char* text;
    double x0, x1, y0, y1, z;
    Colour colour;
};

// The clock zones in order of their offsets from UTC: 0, +2, +4.5, +5.5, +8,
// +9, +10, -10, -8, -6, -5, -3 hours, each named after a city of that zone
// (standard time).
inline const ZoneName* ZoneNames() {
    static const ZoneName kNames[12] = {
        {"NAME00.X", "models/name00.x", "LONDON", -1.31, 1.27, -0.24, 0.35, 0.00, {0.102, 0.0118, 1, 1}},
        {"NAME01.X", "models/name01.x", "HELSINKI", -1.61, 1.77, -0.21, 0.34, -0.07, {1, 1, 1, 1}},
        {"NAME02.X", "models/name02.x", "KABUL", -0.91, 0.91, -0.27, 0.27, 0.00, {0.0824, 0.0941, 1, 1}},
        {"NAME03.X", "models/name03.x", "NEW DELHI", -1.71, 1.60, -0.24, 0.30, -0.15, {0, 0, 0, 1}},
        {"NAME04.X", "models/name04.x", "BEIJING", -1.05, 1.10, -0.36, 0.33, -0.01, {0, 0, 0, 1}},
        {"NAME05.X", "models/name05.x", "TOKYO", -1.03, 1.06, -0.49, 0.23, -0.21, {0, 0, 0, 1}},
        {"NAME06.X", "models/name06.x", "SYDNEY", -1.32, 1.14, -0.36, 0.35, 0.01, {0, 0, 0, 1}},
        {"NAME07.X", "models/name07.x", "HONOLULU", -1.07, 1.07, -0.27, 0.27, 0.00, {1, 1, 1, 1}},
        {"NAME08.X", "models/name08.x", "LOS ANGELES", -1.95, 1.95, -0.35, 0.35, 0.00, {0, 0, 0, 1}},
        {"NAME09.X", "models/name09.x", "CHICAGO", -1.91, 1.91, -0.35, 0.35, 0.00, {0, 0, 0, 1}},
        {"NAME10.X", "models/name10.x", "NEW YORK", -1.60, 1.60, -0.27, 0.27, 0.00, {0, 0, 0, 1}},
        {"NAME11.X", "models/name11.x", "BRASILIA", -1.19, 1.19, -0.27, 0.27, 0.00, {0.0745, 0.0392, 1, 1}},
    };
    return kNames;
}

inline Material MaterialOf(const Colour& c) { return Diffuse(c.r, c.g, c.b); }

// Every rigid model, in resource-name order.
inline std::vector<ModelFile> BuildRigidModels() {
    std::vector<ModelFile> out;
    const Material white = Diffuse(1, 1, 1);

    out.push_back(SingleModel("AM.X", "models/am.x", TextMesh("Am_display", "AM", -0.44, 0.42, -0.22, 0.25, 0.0, white),
                              BoxHull("Am_dammy", MakeBox(-1, 1, -1, 1, -1, 1), 14)));

    {
        ModelFile base;
        base.resourceName = "BASE.X";
        base.fileName = "models/base.x";
        const BaseHalfShape left{true, -0.11, 3.38, 2.18, 0.54, 0.26, 0.26, 0.12, 0.30};
        const BaseHalfShape right{false, -0.22, 3.34, -2.42, 0.62, 0.20, 0.20, 0.04, 0.19};
        base.meshes.push_back(BaseHalf("BaseLeft_display", left));
        base.meshes.push_back(BaseHalf("BaseRight_display", right));
        const Box hull = MakeBox(-0.18, 0.19, -1.01, -0.64, -0.14, 0.23);
        base.meshes.push_back(BoxHull("BaseLeft_dammy", hull, 14));
        base.meshes.push_back(BoxHull("BaseRight_dammy", hull, 14));
        out.push_back(std::move(base));
    }

    {
        // The upper cap of a globe: a sphere of radius 0.968 centred 0.238
        // below the origin, cut 0.268 above its centre (latitude ~16 degrees),
        // slightly flattened along z; top at 0.73, cut at 0.03.
        MeshBuilder b("Earth_display");
        b.EnableTextureCoords();
        const std::uint32_t mat = b.AddMaterial(Diffuse(1, 1, 1, "earth.jpg"));
        const double radius = 0.968, cy = -0.2378;
        SphereShape s{{0, cy, 0}, radius, 32, 16, std::asin((0.03 - cy) / radius)};
        AddSphere(b, mat, s, false);
        b.FitTo(MakeBox(-0.93, 0.93, 0.03, 0.73, -0.90, 0.90));
        out.push_back(SingleModel("EARTH.X", "models/earth.x", b.Build(),
                                  BoxHull("Earth_dammy", MakeBox(-1.03, 1.03, -0.84, 0.51, -0.89, 0.89), 14)));
    }

    out.push_back(SingleModel("HARI01.X", "models/hari01.x",
                              HandMesh("Hari01_display", -0.08, 0.10, 0.04, 0.82, 0.01, 0.34, white),
                              BoxHull("Hari01_dammy", MakeBox(-1.05, -0.81, 0.34, 0.64, 0.02, 0.32), 20)));
    out.push_back(SingleModel("HARI02.X", "models/hari02.x",
                              HandMesh("Hari02_display", -0.07, 0.08, 0.04, 1.24, 0.02, 0.28, white),
                              BoxHull("Hari02_dammy", MakeBox(0.93, 1.22, 0.47, 0.82, -0.02, 0.33), 20)));
    out.push_back(SingleModel("HARI03.X", "models/hari03.x",
                              HandMesh("Hari03_display", -0.04, 0.05, 0.03, 1.43, 0.04, 0.14, white),
                              BoxHull("Hari03_dammy", MakeBox(0.77, 1.11, 0.58, 0.93, -0.13, 0.21), 20)));

    out.push_back(SingleModel("MOJI.X", "models/moji.x", NumeralsMesh("Moji_display", 1.27, 0.40, 0.01, Diffuse(0, 0, 0)),
                              BoxHull("Moji_dammy", MakeBox(-0.20, 0.17, -0.17, 0.20, -0.51, -0.14), 20)));

    {
        MeshBuilder b("Moon_display");
        b.EnableTextureCoords();
        const std::uint32_t mat = b.AddMaterial(Diffuse(1, 1, 1, "MoonFace01.JPG"));
        AddSphere(b, mat, {{0, 0, 0}, 1.0, 20, 20, -kPi * 0.5}, true);
        out.push_back(SingleModel("MOON01.X", "models/moon01.x", b.Build(),
                                  BoxHull("Moon_dammy", MakeBox(-1, 1, -1, 1, -1, 1), 14)));
    }

    static const double kNameHull[12][6] = {
        {-1, 1, -1, 1, -1, 1},           {-1, 1, -1, 1, -1, 1},
        {-0.5, 0.5, -0.5, 0.5, -0.5, 0.5}, {-0.15, 0.15, -0.15, 0.15, -0.15, 0.15},
        {-0.27, 0.27, -0.27, 0.27, -0.27, 0.27}, {-0.34, 0.36, -0.21, 0.49, -1.51, -0.80},
        {-0.20, 0.20, -0.20, 0.20, -0.20, 0.20}, {-0.5, 0.5, -0.5, 0.5, -0.5, 0.5},
        {-0.5, 0.5, -0.5, 0.5, -0.5, 0.5}, {-0.5, 0.5, -0.5, 0.5, -0.5, 0.5},
        {-0.5, 0.5, -0.5, 0.5, -0.5, 0.5}, {-0.5, 0.5, -0.5, 0.5, -0.5, 0.5},
    };
    for (int i = 0; i < 12; ++i) {
        const ZoneName& z = ZoneNames()[i];
        const std::string stem = std::string("Name") + (i < 10 ? "0" : "") + std::to_string(i);
        const double* h = kNameHull[i];
        out.push_back(SingleModel(z.resource, z.file,
                                  TextMesh(stem + "_display", z.text, z.x0, z.x1, z.y0, z.y1, z.z, MaterialOf(z.colour)),
                                  BoxHull(stem + "_dammy", MakeBox(h[0], h[1], h[2], h[3], h[4], h[5]), 14)));
    }

    {
        MeshBuilder b("Obstacle01_display");
        const std::uint32_t mat = b.AddMaterial(Diffuse(0.0196, 0.0118, 1));
        AddColumn(b, mat, {8, 30, -3.55, 2.55, ObstacleProfile, 0.14, 0.22, 0.5, 0.16, 0.34, 0x0B57AC1Eu});
        b.FitTo(MakeBox(-0.47, 0.49, -3.71, 2.89, -0.46, 0.45));
        out.push_back(SingleModel("OBSTACLE01.X", "models/obstacle01.x", b.Build(),
                                  BoxHull("Obstacle01_dammy", MakeBox(-0.49, 0.49, -3.92, 3.17, -0.42, 0.44), 14)));
    }

    {
        // A weathered column: square plinth, eight-sided shaft, capital.
        MeshBuilder b("Pillar_display");
        const std::uint32_t mat = b.AddMaterial(Diffuse(1, 1, 1));
        AddBlock(b, mat, -0.51, 0.135, -0.47, 0.135);
        AddBlock(b, mat, -0.47, 0.115, -0.44, 0.100);
        AddColumn(b, mat, {8, 14, -0.44, 0.43, PillarShaftProfile, 0.05, 0.08, 0.0, -1.0, -1.0, 0x9111A12u});
        AddBlock(b, mat, 0.43, 0.090, 0.46, 0.120);
        AddBlock(b, mat, 0.46, 0.135, 0.50, 0.135);
        b.FitTo(MakeBox(-0.13, 0.14, -0.51, 0.50, -0.13, 0.13));
        out.push_back(SingleModel("PILLAR.X", "models/pillar.x", b.Build(),
                                  BoxHull("Pillar_dammy", MakeBox(-0.18, 0.20, -0.61, 0.58, -0.18, 0.18), 14)));
    }

    {
        // A six-sided crystal column with pointed ends.
        MeshBuilder b("Pillar2_display");
        const std::uint32_t mat = b.AddMaterial(Diffuse(0.0235, 0.11, 1));
        AddColumn(b, mat, {6, 12, -0.82, 0.88, CrystalProfile, 0.06, 0.12, 0.3, 0.22, 0.23, 0xC7157A1u});
        b.FitTo(MakeBox(-0.21, 0.22, -1.04, 1.11, -0.21, 0.21));
        out.push_back(SingleModel("PILLAR2.X", "models/pillar2.x", b.Build(),
                                  BoxHull("Pillar2_dammy", MakeBox(-0.30, 0.32, -1.15, 1.24, -0.29, 0.30), 14)));
    }

    out.push_back(SingleModel("PM.X", "models/pm.x",
                              TextMesh("Pm_display", "PM", -0.40, 0.38, -0.28, 0.19, 0.01, Diffuse(1, 0.0588, 0.0824)),
                              BoxHull("Pm_dammy", MakeBox(-1, 1, -1, 1, -1, 1), 14)));
    return out;
}

}  // namespace content
