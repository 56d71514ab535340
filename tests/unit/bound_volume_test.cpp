// Bounding volumes: the exact box-versus-frustum test, the quad crossing and
// triangle tests, and the one-sided segment query of collision hulls.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "platform/d3dx/d3dx_math.h"
#include "scene/bound_volume.h"
#include "view/camera.h"

namespace {

// A camera at the origin looking along +z, near 1, far 100, square aspect.
FrustumRecord TestFrustum() {
    Camera camera;
    camera.ResetMatrices();
    D3DXMATRIX proj;
    D3DXMatrixPerspectiveFovLH(&proj, Camera::kFieldOfView, 1.0f, 1.0f, 100.0f);
    camera.SetProjMatrix(proj);
    camera.UpdateFrustum();
    return camera.GetFrustum();
}

int BoxVisible(const D3DXVECTOR3& vMin, const D3DXVECTOR3& vMax, const D3DXMATRIX* world = nullptr) {
    BoundVolume bound;
    bound.SetBox(vMin, vMax);
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    bound.Transform(world ? *world : identity);
    return BoxInFrustum(bound.m_vWorldCorner, bound.m_WorldPlane, TestFrustum());
}

TEST(BoundVolume, CornersFollowTheBitOrderAndPlanesPointInward) {
    BoundVolume bound;
    bound.SetBox(D3DXVECTOR3(-1, -2, -3), D3DXVECTOR3(4, 5, 6));
    EXPECT_EQ(bound.m_vCorner[0], D3DXVECTOR3(-1, -2, -3));
    EXPECT_EQ(bound.m_vCorner[1], D3DXVECTOR3(4, -2, -3));
    EXPECT_EQ(bound.m_vCorner[2], D3DXVECTOR3(-1, 5, -3));
    EXPECT_EQ(bound.m_vCorner[4], D3DXVECTOR3(-1, -2, 6));
    EXPECT_EQ(bound.m_vCorner[7], D3DXVECTOR3(4, 5, 6));

    // A rotated, scaled, moved placement: the centre of the box is inside all
    // six world planes, and a point just beyond each face is outside its plane.
    D3DXMATRIX s, r, t, world;
    D3DXMatrixScaling(&s, 2, 2, 2);
    D3DXMatrixRotationYawPitchRoll(&r, 0.3f, -0.7f, 1.1f);
    D3DXMatrixTranslation(&t, 10, -20, 30);
    world = s * r * t;
    bound.m_vCenter = D3DXVECTOR3(1.5f, 1.5f, 1.5f);
    bound.Transform(world);
    const D3DXVECTOR3 outside[6] = {{1.5f, 1.5f, -3.5f}, {1.5f, 1.5f, 6.5f}, {-1.5f, 1.5f, 1.5f},
                                    {4.5f, 1.5f, 1.5f},  {1.5f, 5.5f, 1.5f}, {1.5f, -2.5f, 1.5f}};
    for (int k = 0; k < 6; ++k) {
        EXPECT_GT(D3DXPlaneDotCoord(&bound.m_WorldPlane[k], &bound.m_vWorldCenter), 0.0f) << "plane " << k;
        D3DXVECTOR3 w;
        D3DXVec3TransformCoord(&w, &outside[k], &world);
        EXPECT_LT(D3DXPlaneDotCoord(&bound.m_WorldPlane[k], &w), 0.0f) << "plane " << k;
    }
    D3DXVECTOR3 expectCentre;
    D3DXVec3TransformCoord(&expectCentre, &bound.m_vCenter, &world);
    EXPECT_NEAR(bound.m_vWorldCenter.x, expectCentre.x, 1e-4f);
    EXPECT_NEAR(bound.m_vWorldCenter.z, expectCentre.z, 1e-4f);
}

TEST(BoxInFrustum, DecidesEveryWayABoxCanMeetTheFrustum) {
    // One corner inside, the rest far outside.
    EXPECT_EQ(BoxVisible({0, 0, 50}, {1000, 1000, 1000}), 1);
    // Entirely beyond the far plane, entirely behind the eye, entirely left.
    EXPECT_EQ(BoxVisible({-5, -5, 150}, {5, 5, 160}), 0);
    EXPECT_EQ(BoxVisible({-5, -5, -20}, {5, 5, -10}), 0);
    EXPECT_EQ(BoxVisible({-500, -5, 40}, {-400, 5, 50}), 0);
    // A huge box enclosing the whole frustum: no corner inside, no crossing edge.
    EXPECT_EQ(BoxVisible({-1000, -1000, -1000}, {1000, 1000, 1000}), 1);
    // A thin wall across the view: corners outside different planes; the
    // frustum's long edges pierce it.
    EXPECT_EQ(BoxVisible({-1000, -1000, 49.5f}, {1000, 1000, 50.5f}), 1);
    // A thin bar across the view: its long edges cross the side faces.
    EXPECT_EQ(BoxVisible({-1000, -1, 49}, {1000, 1, 51}), 1);
    // A diamond just beyond the top-left edge: some corners are outside only
    // the left plane, others only the top plane, yet nothing meets.
    D3DXMATRIX turn, move, diamond;
    D3DXMatrixRotationZ(&turn, 0.78539816f);
    D3DXMatrixTranslation(&move, -23.3f, 23.3f, 40);
    diamond = turn * move;
    const float w = 6.0f / std::sqrt(2.0f);  // corners 6 units from the centre along x and y
    EXPECT_EQ(BoxVisible({-w, -w, 0}, {w, w, 1}, &diamond), 0);
    // The same diamond moved onto the edge is seen.
    D3DXMatrixTranslation(&move, -19.0f, 19.0f, 40);
    diamond = turn * move;
    EXPECT_EQ(BoxVisible({-w, -w, 0}, {w, w, 1}, &diamond), 1);
}

TEST(BoxInFrustum, UsesTheWorldBoxOfTheLastTransform) {
    D3DXMATRIX there, here;
    D3DXMatrixTranslation(&there, 0, 0, 500);
    D3DXMatrixTranslation(&here, 0, 0, 50);
    EXPECT_EQ(BoxVisible({-1, -1, -1}, {1, 1, 1}, &there), 0);
    EXPECT_EQ(BoxVisible({-1, -1, -1}, {1, 1, 1}, &here), 1);
}

TEST(EdgeIntersectsFace, CrossesOnlyInsideTheQuadWhateverItsWinding) {
    const D3DXVECTOR3 cw[4] = {{0, 0, 0}, {0, 1, 0}, {1, 1, 0}, {1, 0, 0}};
    const D3DXVECTOR3 ccw[4] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    D3DXPLANE plane;
    D3DXPlaneFromPoints(&plane, &cw[0], &cw[1], &cw[2]);
    for (const D3DXVECTOR3* quad : {cw, ccw}) {
        EXPECT_EQ(EdgeIntersectsFace({0.5f, 0.5f, -1}, {0.5f, 0.5f, 1}, quad, plane), 1);
        EXPECT_EQ(EdgeIntersectsFace({0.2f, 0.9f, 1}, {0.4f, 0.7f, -3}, quad, plane), 1);
        EXPECT_EQ(EdgeIntersectsFace({1.5f, 0.5f, -1}, {1.5f, 0.5f, 1}, quad, plane), 0);   // beside it
        EXPECT_EQ(EdgeIntersectsFace({0.5f, -0.1f, -1}, {0.5f, -0.1f, 1}, quad, plane), 0);
        EXPECT_EQ(EdgeIntersectsFace({0.5f, 0.5f, 0.5f}, {0.5f, 0.5f, 2}, quad, plane), 0);  // short of the plane
        EXPECT_EQ(EdgeIntersectsFace({0.5f, 0.5f, 0}, {0.5f, 0.5f, 2}, quad, plane), 1);     // touching it
    }
    // A quad in a plane facing x is projected onto (y, z).
    const D3DXVECTOR3 side[4] = {{3, 0, 0}, {3, 1, 0}, {3, 1, 1}, {3, 0, 1}};
    D3DXPlaneFromPoints(&plane, &side[0], &side[1], &side[2]);
    EXPECT_EQ(EdgeIntersectsFace({2, 0.5f, 0.5f}, {4, 0.5f, 0.5f}, side, plane), 1);
    EXPECT_EQ(EdgeIntersectsFace({2, 0.5f, 1.5f}, {4, 0.5f, 1.5f}, side, plane), 0);
}

TEST(IntersectTriangle, HitsOnlyTheFrontWithItsParameters) {
    // Normal (V1 - V0) x (V2 - V0) = (0, 0, -1): the front faces -z.
    const D3DXVECTOR3 v0(0, 0, 0), v1(0, 1, 0), v2(1, 0, 0);
    float t = -1, u = -1, v = -1;
    ASSERT_TRUE(IntersectTriangle({0.25f, 0.5f, -2}, {0, 0, 2}, v0, v1, v2, &t, &u, &v));
    EXPECT_FLOAT_EQ(t, 1.0f);  // in units of |dir|
    EXPECT_FLOAT_EQ(u, 0.5f);  // weight of V1 (y)
    EXPECT_FLOAT_EQ(v, 0.25f); // weight of V2 (x)
    EXPECT_FALSE(IntersectTriangle({0.25f, 0.5f, 2}, {0, 0, -1}, v0, v1, v2, &t, &u, &v));  // back side
    EXPECT_FALSE(IntersectTriangle({0.75f, 0.75f, -2}, {0, 0, 1}, v0, v1, v2, &t, &u, &v)); // beside it
    EXPECT_FALSE(IntersectTriangle({0.25f, 0.25f, -2}, {1, 0, 0}, v0, v1, v2, &t, &u, &v));  // edge-on
}

// Triangle soup for the segment query: vertices with a stride larger than a
// position, as a hull's position + normal + texture vertices are.
struct Hull {
    struct Vertex {
        D3DXVECTOR3 position;
        float pad[5];
    };
    std::vector<Vertex> vertices;
    std::vector<WORD> indices;

    void AddTriangle(const D3DXVECTOR3& a, const D3DXVECTOR3& b, const D3DXVECTOR3& c) {
        for (const D3DXVECTOR3* p : {&a, &b, &c}) {
            indices.push_back(static_cast<WORD>(vertices.size()));
            vertices.push_back({*p, {}});
        }
    }
    // A unit square at depth z whose front faces -z.
    void AddSquare(float z) {
        AddTriangle({0, 0, z}, {0, 1, z}, {1, 0, z});
        AddTriangle({1, 0, z}, {0, 1, z}, {1, 1, z});
    }
    int Intersect(const D3DXVECTOR3& p, const D3DXVECTOR3& q, D3DXVECTOR3* normal, const D3DXMATRIX& world) const {
        return IntersectSegment(reinterpret_cast<const BYTE*>(vertices.data()), sizeof(Vertex),
                                static_cast<UINT>(vertices.size()), indices.data(),
                                static_cast<UINT>(indices.size() / 3), p, q, normal, world);
    }
};

D3DXMATRIX Identity() {
    D3DXMATRIX m;
    return *D3DXMatrixIdentity(&m);
}

TEST(IntersectSegment, AcceptsOnlyFrontFacesStrictlyBetweenTheEnds) {
    Hull hull;
    hull.AddSquare(0);
    const D3DXVECTOR3 untouched(7, 7, 7);
    D3DXVECTOR3 n = untouched;

    EXPECT_EQ(hull.Intersect({0.25f, 0.25f, -2}, {0.25f, 0.25f, 0}, &n, Identity()), 0);  // ends on the face
    EXPECT_EQ(n, untouched);
    ASSERT_EQ(hull.Intersect({0.25f, 0.25f, -2}, {0.25f, 0.25f, 1}, &n, Identity()), 1);  // one unit beyond
    EXPECT_NEAR(n.x, 0.0f, 1e-6f);
    EXPECT_NEAR(n.y, 0.0f, 1e-6f);
    EXPECT_NEAR(n.z, -1.0f, 1e-6f);

    n = untouched;
    EXPECT_EQ(hull.Intersect({0.25f, 0.25f, 1}, {0.25f, 0.25f, 5}, &n, Identity()), 0);   // face behind the start
    EXPECT_EQ(hull.Intersect({0.25f, 0.25f, 2}, {0.25f, 0.25f, -2}, &n, Identity()), 0);  // from the back side
    EXPECT_EQ(hull.Intersect({2.25f, 0.25f, -2}, {2.25f, 0.25f, 2}, &n, Identity()), 0);  // beside it
    EXPECT_EQ(hull.Intersect({0.25f, 0.25f, -2}, {0.25f, 0.25f, -2}, &n, Identity()), 0); // empty segment
    EXPECT_EQ(n, untouched);
}

TEST(IntersectSegment, PlacementEqualsTheInverselyMovedSegment) {
    Hull hull;
    hull.AddSquare(0);
    D3DXMATRIX s, r, t;
    D3DXMatrixScaling(&s, 3, 3, 3);
    D3DXMatrixRotationYawPitchRoll(&r, 0.9f, 0.4f, -0.2f);
    D3DXMatrixTranslation(&t, 50, -10, 200);
    const D3DXMATRIX world = s * r * t;
    D3DXMATRIX inv;
    ASSERT_NE(D3DXMatrixInverse(&inv, nullptr, &world), nullptr);

    const D3DXVECTOR3 segments[][2] = {
        {{0.3f, 0.3f, -2}, {0.3f, 0.3f, 2}},    // through the front
        {{0.6f, 0.2f, -1}, {0.4f, 0.5f, 0.5f}}, // slanted through the front
        {{0.3f, 0.3f, 2}, {0.3f, 0.3f, -2}},    // through the back
        {{1.5f, 0.3f, -2}, {1.5f, 0.3f, 2}},    // beside
        {{0.3f, 0.3f, -2}, {0.3f, 0.3f, -0.5f}} // short
    };
    for (const auto& seg : segments) {
        // Model-space segment placed in the world, against the placed hull...
        D3DXVECTOR3 p, q, placedNormal(0, 0, 0), plainNormal(0, 0, 0);
        D3DXVec3TransformCoord(&p, &seg[0], &world);
        D3DXVec3TransformCoord(&q, &seg[1], &world);
        const int placed = hull.Intersect(p, q, &placedNormal, world);
        // ...answers as the world segment moved back by the inverse against the identity.
        D3DXVECTOR3 pi, qi;
        D3DXVec3TransformCoord(&pi, &p, &inv);
        D3DXVec3TransformCoord(&qi, &q, &inv);
        const int plain = hull.Intersect(pi, qi, &plainNormal, Identity());
        EXPECT_EQ(placed, plain);
        // The normal is carried by the placement's upper 3x3, scale included.
        D3DXVECTOR3 expected;
        D3DXVec3TransformNormal(&expected, &plainNormal, &world);
        EXPECT_NEAR(placedNormal.x, expected.x, 1e-4f);
        EXPECT_NEAR(placedNormal.y, expected.y, 1e-4f);
        EXPECT_NEAR(placedNormal.z, expected.z, 1e-4f);
        if (placed) {
            EXPECT_NEAR(D3DXVec3Length(&placedNormal), 3.0f, 1e-4f);
        }
    }
    EXPECT_EQ(hull.Intersect({0, 0, 0}, {1, 1, 1}, nullptr, D3DXMATRIX{}), 0);  // singular placement
}

TEST(IntersectSegment, FirstAcceptedFaceInIndexOrderWinsNotTheNearest) {
    // The far square (z = 1) comes first; its triangles have a 45-degree
    // corner, so their normal is sin 45° long, telling them apart.
    Hull hull;
    hull.AddTriangle({0, 0, 1}, {1, 1, 1}, {1, 0, 1});
    hull.AddSquare(0);
    D3DXVECTOR3 n;
    ASSERT_EQ(hull.Intersect({0.8f, 0.1f, -1}, {0.8f, 0.1f, 3}, &n, Identity()), 1);
    EXPECT_NEAR(D3DXVec3Length(&n), std::sqrt(0.5f), 1e-5f);

    // A face naming a vertex past the end is skipped, not read.
    Hull broken;
    broken.AddSquare(0);
    broken.indices[1] = 500;
    ASSERT_EQ(broken.Intersect({0.75f, 0.75f, -1}, {0.75f, 0.75f, 1}, &n, Identity()), 1);
    EXPECT_EQ(broken.Intersect({0.25f, 0.25f, -1}, {0.25f, 0.25f, 1}, &n, Identity()), 0);
}

TEST(SegmentMeetsSphere, RejectsOnlySegmentsThatStayOutsideThePlacedSphere) {
    // Unit sphere at (1, 0, 0) in model space; the placement scales x by 2
    // (the largest axis scale grows the radius to 2) and moves it by (10, 0, 0).
    D3DXMATRIX scale, move, world;
    D3DXMatrixScaling(&scale, 2.0f, 1.0f, 0.5f);
    D3DXMatrixTranslation(&move, 10.0f, 0.0f, 0.0f);
    D3DXMatrixMultiply(&world, &scale, &move);
    const D3DXVECTOR3 centre(1, 0, 0);  // at (12, 0, 0) in the world
    EXPECT_TRUE(SegmentMeetsSphere({12, 1.9f, -5}, {12, 1.9f, 5}, centre, 1.0f, world));   // passes inside
    EXPECT_FALSE(SegmentMeetsSphere({12, 2.1f, -5}, {12, 2.1f, 5}, centre, 1.0f, world));  // passes outside
    EXPECT_FALSE(SegmentMeetsSphere({12, 0, -9}, {12, 0, -3}, centre, 1.0f, world));       // ends short of it
    EXPECT_TRUE(SegmentMeetsSphere({12, 0, -9}, {12, 0, -1.9f}, centre, 1.0f, world));     // ends inside
    EXPECT_TRUE(SegmentMeetsSphere({12, 0, 0}, {12, 0, 0}, centre, 1.0f, world));          // a point inside
}

}  // namespace
