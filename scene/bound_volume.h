// Bounding volumes of model meshes and the geometric tests run on them: the
// exact box-versus-frustum test that culls drawn meshes, and the one-sided
// segment-versus-triangles query that collision hulls answer.
//
// Frames: model space is the mesh's own (as authored in the X file); world
// space is model space carried by an instance's world matrix (row vectors,
// p' = p * W, translation in the fourth row). Planes are D3DXPLANEs whose
// inside satisfies a*x + b*y + c*z + d >= 0.
//
// Corner order, shared with the camera's frustum record: corner k takes the
// box maximum on x when bit 0 of k is set, on y for bit 1, on z for bit 2, so
// 0..3 lie on the near (min z) face and 4..7 on the far face.
#pragma once

#include "platform/d3d8/d3d8types.h"
#include "platform/d3dx/d3dx_math.h"
#include "view/camera.h"

class ID3DXMesh;

struct BoundVolume {
    // Model space.
    D3DXVECTOR3 m_vCorner[8];
    D3DXVECTOR3 m_vCenter;
    float m_fRadius = 0.0f;
    // World space, for the last transform applied (shared models: the last
    // instance that applied its own).
    D3DXVECTOR3 m_vWorldCorner[8];
    D3DXPLANE m_WorldPlane[6];  // near, far, left, right, top, bottom faces; normals point inwards
    D3DXVECTOR3 m_vWorldCenter;
    float m_fWorldRadius = 0.0f;  // collision meshes only: a copy of m_fRadius, not scaled

    BoundVolume();

    // Fills the model-space box corners from the box's extreme points.
    void SetBox(const D3DXVECTOR3& vMin, const D3DXVECTOR3& vMax);
    // Fills corners, face planes and sphere centre in world space. The plane
    // normals point into the box unless the transform mirrors.
    void Transform(const D3DXMATRIX& world);
};

// Model-space box and sphere of a mesh, read from its vertex buffer.
// Returns the failing call's status, or 0.
HRESULT ComputeBoundVolume(ID3DXMesh* mesh, BoundVolume* bound);

// 1 when the box with world corners box[0..7] and inward face planes
// boxPlanes[0..5] (as BoundVolume keeps them) meets the frustum, else 0.
// Exact for convex boxes: corner outcodes, then the edges of each shape
// against the faces of the other, then the frustum wholly inside the box.
int BoxInFrustum(const D3DXVECTOR3 box[8], const D3DXPLANE boxPlanes[6], const FrustumRecord& frustum);

// 1 when the segment p0-p1 crosses (or touches) the plane of the convex quad
// q[0..3] at a point inside the quad, else 0. The inside test is done in the
// 2D projection that drops the plane normal's dominant axis.
int EdgeIntersectsFace(const D3DXVECTOR3& p0, const D3DXVECTOR3& p1, const D3DXVECTOR3 q[4], const D3DXPLANE& plane);

// One-sided ray-triangle test: only a triangle whose normal (V1-V0) x (V2-V0)
// faces against dir can be hit (Direct3D's clockwise front side). On a hit
// returns true with the ray parameter *t (in units of |dir|) and the
// barycentric weights *u of V1 and *v of V2.
bool IntersectTriangle(const D3DXVECTOR3& origin, const D3DXVECTOR3& dir, const D3DXVECTOR3& v0,
                       const D3DXVECTOR3& v1, const D3DXVECTOR3& v2, float* t, float* u, float* v);

// The collision query against one triangle list placed in the world by
// `world`: 1 when the world segment p-q meets the front side of a triangle
// strictly before q, else 0. Faces are tried in index order and the first
// accepted one wins (not necessarily the nearest); its model-space normal,
// the cross product of its two normalised edges, is carried into world space
// by the upper 3x3 of `world` (not renormalised) and written to *normal. On
// no hit *normal is left unchanged.
//
// vertices: numVertices positions, `stride` bytes apart (position first);
// indices: numFaces * 3 16-bit indices. A face naming a vertex past the end is
// skipped; a singular placement meets nothing.
int IntersectSegment(const BYTE* vertices, UINT stride, UINT numVertices, const WORD* indices, UINT numFaces,
                     const D3DXVECTOR3& p, const D3DXVECTOR3& q, D3DXVECTOR3* normal, const D3DXMATRIX& world);

// Quick rejection for the collision query: false when the world segment p-q
// stays outside the sphere (model-space `centre`, `radius`) placed by `world`,
// the radius grown by the placement's largest axis scale and a little slack
// for rounding. True means the segment may meet what the sphere encloses.
bool SegmentMeetsSphere(const D3DXVECTOR3& p, const D3DXVECTOR3& q, const D3DXVECTOR3& centre, float radius,
                        const D3DXMATRIX& world);

// The same query against a mesh's vertex and index buffers (16-bit indices),
// locked read-only for the duration of the call.
int IntersectSegmentMesh(ID3DXMesh* mesh, const D3DXVECTOR3& p, const D3DXVECTOR3& q, D3DXVECTOR3* normal,
                         const D3DXMATRIX& world);
