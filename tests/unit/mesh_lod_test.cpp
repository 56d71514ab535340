// The lower level of detail: fewer triangles over the same vertices, a closed
// surface stays closed with its winding, outline and seams stay, and broken
// input is dropped rather than read.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <set>
#include <utility>
#include <vector>

#include "render/mesh_lod.h"

namespace {

// A closed UV sphere of radius 1: `rings` x `sides` quads with a pole
// vertex at each end, counter-clockwise seen from outside.
void Sphere(int rings, int sides, std::vector<float>* p, std::vector<std::uint32_t>* idx) {
    const float pi = 3.14159265f;
    p->insert(p->end(), {0, 1, 0});
    for (int r = 1; r < rings; ++r) {
        const float t = pi * r / rings;
        for (int s = 0; s < sides; ++s) {
            const float u = 2 * pi * s / sides;
            p->insert(p->end(), {std::sin(t) * std::cos(u), std::cos(t), std::sin(t) * std::sin(u)});
        }
    }
    p->insert(p->end(), {0, -1, 0});
    const std::uint32_t south = static_cast<std::uint32_t>(p->size() / 3 - 1);
    auto at = [&](int r, int s) { return static_cast<std::uint32_t>(1 + (r - 1) * sides + (s % sides)); };
    for (int s = 0; s < sides; ++s) idx->insert(idx->end(), {0, at(1, s + 1), at(1, s)});
    for (int r = 1; r + 1 < rings; ++r) {
        for (int s = 0; s < sides; ++s) {
            idx->insert(idx->end(), {at(r, s), at(r, s + 1), at(r + 1, s + 1)});
            idx->insert(idx->end(), {at(r, s), at(r + 1, s + 1), at(r + 1, s)});
        }
    }
    for (int s = 0; s < sides; ++s) idx->insert(idx->end(), {south, at(rings - 1, s), at(rings - 1, s + 1)});
}

// Directed edges of a triangle list: each must appear once, with its reverse
// once, for a closed, consistently wound surface.
bool ClosedAndWound(const std::vector<std::uint32_t>& idx) {
    std::map<std::pair<std::uint32_t, std::uint32_t>, int> directed;
    for (std::size_t f = 0; f + 2 < idx.size(); f += 3) {
        for (int k = 0; k < 3; ++k) ++directed[{idx[f + k], idx[f + (k + 1) % 3]}];
    }
    for (const auto& [edge, n] : directed) {
        if (n != 1 || directed.count({edge.second, edge.first}) != 1) return false;
    }
    return true;
}

// Signed volume of a closed triangle list (positive when wound outwards).
double Volume(const std::vector<float>& p, const std::vector<std::uint32_t>& idx) {
    double v = 0;
    for (std::size_t f = 0; f + 2 < idx.size(); f += 3) {
        const float* a = &p[3 * idx[f]];
        const float* b = &p[3 * idx[f + 1]];
        const float* c = &p[3 * idx[f + 2]];
        v += (a[0] * (b[1] * c[2] - b[2] * c[1]) - a[1] * (b[0] * c[2] - b[2] * c[0]) + a[2] * (b[0] * c[1] - b[1] * c[0])) / 6.0;
    }
    return v;
}

// A flat 8 x 8 grid of quads in z = 0: its border is an open edge, and the
// middle column (x = 4) is a seam: each of its vertices exists twice, the
// left copy used by the left half's triangles, the right copy by the right's.
struct SeamedSheet {
    static constexpr int n = 9;
    std::vector<float> p;
    std::vector<std::uint32_t> idx;
    std::map<std::pair<int, int>, std::uint32_t> left, right;
    SeamedSheet() {
        for (int y = 0; y < n; ++y) {
            for (int x = 0; x < n; ++x) {
                left[{x, y}] = static_cast<std::uint32_t>(p.size() / 3);
                p.insert(p.end(), {float(x), float(y), 0});
                if (x == 4) {
                    right[{x, y}] = static_cast<std::uint32_t>(p.size() / 3);
                    p.insert(p.end(), {float(x), float(y), 0});
                } else {
                    right[{x, y}] = left[{x, y}];
                }
            }
        }
        for (int y = 0; y + 1 < n; ++y) {
            for (int x = 0; x + 1 < n; ++x) {
                auto& m = x < 4 ? left : right;
                idx.insert(idx.end(), {m[{x, y}], m[{x + 1, y}], m[{x + 1, y + 1}]});
                idx.insert(idx.end(), {m[{x, y}], m[{x + 1, y + 1}], m[{x, y + 1}]});
            }
        }
    }
    // Twice the signed area of triangle f of `lod` (positive: facing +z).
    float Area2(const std::vector<std::uint32_t>& lod, std::size_t f) const {
        const float* a = &p[3 * lod[f]];
        const float* b = &p[3 * lod[f + 1]];
        const float* c = &p[3 * lod[f + 2]];
        return (b[0] - a[0]) * (c[1] - a[1]) - (b[1] - a[1]) * (c[0] - a[0]);
    }
};

}  // namespace

TEST(MeshLod, ClosedSurfaceKeepsItsShapeWindingAndClosureWithFewerTriangles) {
    std::vector<float> p;
    std::vector<std::uint32_t> idx;
    Sphere(16, 24, &p, &idx);
    ASSERT_TRUE(ClosedAndWound(idx));
    const std::size_t faces = idx.size() / 3;
    const std::vector<std::uint32_t> lod = SimplifyMesh(p, idx, faces * 4 / 10);
    EXPECT_LE(lod.size() / 3, faces * 4 / 10);
    EXPECT_GT(lod.size() / 3, faces / 10) << "stops at the target";
    EXPECT_TRUE(ClosedAndWound(lod));
    for (std::uint32_t i : lod) ASSERT_LT(i, p.size() / 3);
    // The volume, wound the same way, within a few per cent of the original.
    const double before = Volume(p, idx), after = Volume(p, lod);
    EXPECT_GT(after, 0.0);
    EXPECT_NEAR(after / before, 1.0, 0.08);
}

TEST(MeshLod, OutlineAndSeamsStayAndBrokenIndicesAreDropped) {
    const SeamedSheet sheet;
    const int n = SeamedSheet::n;
    const std::vector<float>& p = sheet.p;
    const std::vector<std::uint32_t>& idx = sheet.idx;
    auto left = sheet.left, right = sheet.right;
    const std::vector<std::uint32_t> lod = SimplifyMesh(p, idx, 10);
    EXPECT_LT(lod.size(), idx.size() / 2) << "the inside of a flat sheet costs nothing to remove";
    std::set<std::uint32_t> used(lod.begin(), lod.end());
    for (int y = 0; y < n; ++y) {
        for (int x = 0; x < n; ++x) {
            if (x == 0 || y == 0 || x == n - 1 || y == n - 1 || x == 4) {
                EXPECT_TRUE(used.count(left[{x, y}]) || used.count(right[{x, y}])) << x << "," << y;
            }
        }
    }
    // Every triangle keeps facing +z (the winding of the input).
    for (std::size_t f = 0; f < lod.size(); f += 3) EXPECT_GT(sheet.Area2(lod, f), 0.0f);

    std::vector<std::uint32_t> broken = idx;
    broken[4] = 100000;
    for (std::uint32_t i : SimplifyMesh(p, broken, 10)) EXPECT_LT(i, p.size() / 3);
    EXPECT_TRUE(SimplifyMesh({}, idx, 1) == idx) << "no positions: nothing is changed";
    std::vector<float> bad = p;
    bad[7] = std::nanf("");
    EXPECT_TRUE(SimplifyMesh(bad, idx, 10) == idx) << "a position that is not a number: nothing is changed";
}

// Collapsing along seams: both copies of a seam vertex move together, so each
// side keeps its own copies, the border stays between the sides and no crack
// opens (the sheet's area stays whole); the sheet gets coarser than when the
// seam is locked.
TEST(MeshLod, SeamCollapsesMoveBothSidesTogether) {
    const SeamedSheet sheet;
    const std::vector<std::uint32_t> locked = SimplifyMesh(sheet.p, sheet.idx, 4);
    const std::vector<std::uint32_t> lod = SimplifyMesh(sheet.p, sheet.idx, 4, true);
    EXPECT_LT(lod.size(), locked.size());
    std::set<std::uint32_t> leftSide, rightSide;
    for (const auto& [xy, v] : sheet.left) {
        if (xy.first <= 4) leftSide.insert(v);
    }
    for (const auto& [xy, v] : sheet.right) {
        if (xy.first >= 4) rightSide.insert(v);
    }
    float area2 = 0.0f;
    for (std::size_t f = 0; f < lod.size(); f += 3) {
        const bool l = leftSide.count(lod[f]) && leftSide.count(lod[f + 1]) && leftSide.count(lod[f + 2]);
        const bool r = rightSide.count(lod[f]) && rightSide.count(lod[f + 1]) && rightSide.count(lod[f + 2]);
        EXPECT_TRUE(l != r) << "triangle " << f / 3 << " takes the copies of one side";
        EXPECT_GT(sheet.Area2(lod, f), 0.0f);
        area2 += sheet.Area2(lod, f);
    }
    EXPECT_FLOAT_EQ(area2, 2.0f * 8 * 8);
}
