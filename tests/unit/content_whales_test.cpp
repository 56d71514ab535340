// The embedded whale models: exactly what tools/gen_whales builds; the
// skinned whales' rig (17 bones, at most two weights that sum to 1, every
// track ending at the loop length, the seam closed), their rest pose inside
// the stand-in's box, distinct looks for the variants; the rigid stand-ins'
// extents and colours.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "platform/os/resource.h"
#include "tools/content/whales.h"
#include "tools/xinfo_report.h"

namespace {

struct Extent {
    double lo[3], hi[3];
};

Extent ExtentOf(const std::vector<content::Vec3>& ps) {
    Extent e{{1e9, 1e9, 1e9}, {-1e9, -1e9, -1e9}};
    for (const content::Vec3& p : ps) {
        const double v[3] = {p.x, p.y, p.z};
        for (int a = 0; a < 3; ++a) {
            e.lo[a] = std::min(e.lo[a], v[a]);
            e.hi[a] = std::max(e.hi[a], v[a]);
        }
    }
    return e;
}

bool Same(const std::string& text, const char* resource) {
    const ResourceData res = FindResourceData(resource, "Model");
    return res && text.size() == res.size && std::memcmp(text.data(), res.data, res.size) == 0;
}

}  // namespace

TEST(ContentWhales, GeneratorReproducesTheEmbeddedFilesByteForByte) {
    for (const content::SkinnedModel& m : content::BuildSkinnedWhales()) {
        EXPECT_TRUE(Same(content::WriteSkinnedXFile(m), m.resourceName.c_str()))
            << m.fileName << " differs from what gen_whales builds: run `gen_whales resources`";
    }
    for (const content::ModelFile& m : content::BuildWhaleHulls()) {
        EXPECT_TRUE(Same(content::WriteWhaleHullXFile(m), m.resourceName.c_str()))
            << m.fileName << " differs from what gen_whales builds: run `gen_whales resources`";
    }
}

TEST(ContentWhales, SkinnedWhalesHaveSeventeenBonesAndAtMostTwoWeightsSummingToOne) {
    const std::vector<content::SkinnedModel> models = content::BuildSkinnedWhales();
    ASSERT_EQ(models.size(), 4u);
    for (std::size_t i = 0; i < 3; ++i) {
        const content::SkinnedModel& m = models[i];
        SCOPED_TRACE(m.resourceName);
        EXPECT_EQ(m.bones.size(), 17u);
        EXPECT_EQ(m.keyStep * (m.keys - 1), 44950u) << "every track ends at the loop length";
        ASSERT_EQ(m.weights.size(), m.mesh.positions.size());
        for (const content::VertexWeights& w : m.weights) {
            EXPECT_NEAR(w.weight[0] + w.weight[1], 1.0, 1e-9);
            EXPECT_GT(w.weight[0], 0.0);
            EXPECT_GE(w.weight[1], 0.0);
            EXPECT_LT(w.bone[0], 17);
            EXPECT_LT(w.bone[1], 17);
        }
        // Only the top frame's child may be a root: the animated Root bone.
        int roots = 0;
        for (const content::WhaleBone& b : m.bones) roots += b.parent < 0 ? 1 : 0;
        EXPECT_EQ(roots, 1);
        EXPECT_EQ(m.bones[0].name, "Root");
    }
}

// The last key repeats the first exactly, for every bone, so the loop has
// no jump; the stored rotations keep one hemisphere (w of one sign).
TEST(ContentWhales, KeysCloseTheLoopAndStayInOneHemisphere) {
    for (const content::SkinnedModel& m : content::BuildSkinnedWhales()) {
        SCOPED_TRACE(m.resourceName);
        for (const content::WhaleBone& b : m.bones) {
            const content::Quat first = content::BoneRotation(m, b, 0);
            const content::Quat last = content::BoneRotation(m, b, m.keys - 1);
            EXPECT_EQ(first.x, last.x);
            EXPECT_EQ(first.w, last.w);
            EXPECT_EQ(content::BoneHeave(m, b, 0), content::BoneHeave(m, b, m.keys - 1));
            for (int k = 0; k < m.keys; ++k) EXPECT_GT(content::BoneRotation(m, b, k).w, 0.9) << b.name;
        }
    }
}

// The rest pose fills the stand-in's box (x +-2.28, y +-0.95, z -5.53..3.98)
// within 5 %, nose along +z.
TEST(ContentWhales, RestPoseFitsTheStandInBox) {
    const content::SkinnedModel m = content::BuildSkinnedWhales().at(0);
    const Extent e = ExtentOf(m.mesh.positions);
    const double lo[3] = {-2.27, -0.96, -5.53}, hi[3] = {2.28, 0.94, 3.98};
    for (int a = 0; a < 3; ++a) {
        const double size = hi[a] - lo[a];
        EXPECT_NEAR(e.lo[a], lo[a], 0.05 * size) << "axis " << a;
        EXPECT_NEAR(e.hi[a], hi[a], 0.05 * size) << "axis " << a;
    }
}

// The variants differ: the second is stockier, the guide has another back
// colour and longer flippers than both.
TEST(ContentWhales, VariantsLookDifferent) {
    const std::vector<content::SkinnedModel> m = content::BuildSkinnedWhales();
    const Extent a = ExtentOf(m[0].mesh.positions), b = ExtentOf(m[1].mesh.positions),
                 g = ExtentOf(m[2].mesh.positions);
    EXPECT_GT(b.hi[1] - b.lo[1], a.hi[1] - a.lo[1]);
    EXPECT_GT(g.hi[0] - g.lo[0], a.hi[0] - a.lo[0] + 0.2) << "the guide's flippers reach further";
    const content::Colour back0 = m[0].mesh.materials[0].diffuse, back2 = m[2].mesh.materials[0].diffuse;
    EXPECT_GT(back2.b - back0.b, 0.1) << "the guide is slate blue";
}

TEST(ContentWhales, StandInsHaveTheirExtentsColoursAndHulls) {
    struct Row {
        const char* name;
        double drawn[6], hull[6];
        content::Colour colour;
        std::size_t hullVertices;
    };
    const Row rows[] = {
        {"WHALEDAMMY.X", {-2.27, 2.28, -0.96, 0.94, -5.53, 3.98}, {-1.96, 1.91, -0.96, 1.04, -6.55, 4.85}, {1, 1, 1, 1}, 20},
        {"WHALEDAMMY2.X",
         {-2.14, 1.99, -1.17, 1.05, -5.37, 3.99},
         {-2.04, 1.94, -1.00, 1.00, -5.81, 4.27},
         {0.863, 0.863, 1, 1},
         14},
    };
    const std::vector<content::ModelFile> hulls = content::BuildWhaleHulls();
    ASSERT_EQ(hulls.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        SCOPED_TRACE(rows[i].name);
        EXPECT_EQ(hulls[i].resourceName, rows[i].name);
        ASSERT_EQ(hulls[i].meshes.size(), 2u);
        const content::MeshData& drawn = hulls[i].meshes[0];
        const content::MeshData& hull = hulls[i].meshes[1];
        EXPECT_NE(drawn.name.find("display"), std::string::npos);
        EXPECT_NE(hull.name.find("dammy"), std::string::npos);
        const Extent d = ExtentOf(drawn.positions), h = ExtentOf(hull.positions);
        for (int a = 0; a < 3; ++a) {
            EXPECT_NEAR(d.lo[a], rows[i].drawn[2 * a], 1e-6);
            EXPECT_NEAR(d.hi[a], rows[i].drawn[2 * a + 1], 1e-6);
            EXPECT_NEAR(h.lo[a], rows[i].hull[2 * a], 1e-6);
            EXPECT_NEAR(h.hi[a], rows[i].hull[2 * a + 1], 1e-6);
        }
        ASSERT_EQ(drawn.materials.size(), 1u);
        EXPECT_NEAR(drawn.materials[0].diffuse.r, rows[i].colour.r, 1e-9);
        EXPECT_NEAR(drawn.materials[0].diffuse.b, rows[i].colour.b, 1e-9);
        EXPECT_EQ(hull.positions.size(), rows[i].hullVertices);
        EXPECT_EQ(hull.faces.size(), 12u);
    }
}

// What the xinfo tool reports on each whale: 17 bones with at most two
// influences, and the first whale's loop length.
TEST(ContentWhales, XinfoReportsTheRig) {
    for (const char* name : {"WHALESKINNED01.X", "WHALESKINNED02.X", "WHALESKINNED03.X"}) {
        SCOPED_TRACE(name);
        const ResourceData res = FindResourceData(name, "Model");
        ASSERT_TRUE(res);
        const XInfoResult r = XInfoReport(name, res.data, res.size);
        ASSERT_TRUE(r.ok) << r.error;
        EXPECT_NE(r.report.find(": bones 17 (max influences 2)\n"), std::string::npos) << r.report;
        EXPECT_NE(r.report.find("animation length: 44950 ticks\n"), std::string::npos);
    }
    const ResourceData dammy = FindResourceData("Dammy.x", "Model");
    ASSERT_TRUE(dammy);
    EXPECT_TRUE(XInfoReport("Dammy.x", dammy.data, dammy.size).ok);
}
