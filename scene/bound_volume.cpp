// Bounding volumes and the frustum and segment tests on them.
#include "scene/bound_volume.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <initializer_list>

#include "platform/base/com_ptr.h"
#include "platform/d3dx/d3dx_mesh.h"

namespace {

// The twelve edges of a box or frustum as corner index pairs: the four along
// x, the four along y, the four along z.
constexpr int kEdges[12][2] = {{0, 1}, {2, 3}, {0, 2}, {1, 3}, {4, 5}, {6, 7},
                               {4, 6}, {5, 7}, {0, 4}, {2, 6}, {1, 5}, {3, 7}};

// The six faces as corner quads, in plane order (near, far, left, right, top, bottom).
constexpr int kFaces[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 4, 6, 2}, {1, 3, 7, 5}, {2, 6, 7, 3}, {0, 4, 5, 1}};

// Twice the signed area of the 2D triangle (a, b, c).
float SignedArea(const D3DXVECTOR2& a, const D3DXVECTOR2& b, const D3DXVECTOR2& c) {
    return (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
}

// Edges of `from` against the faces of the shape with corners `to` and face
// planes `planes`: 1 at the first crossing.
int EdgesCrossFaces(const D3DXVECTOR3 from[8], const D3DXVECTOR3 to[8], const D3DXPLANE planes[6]) {
    for (const auto& edge : kEdges) {
        for (int k = 0; k < 6; ++k) {
            const D3DXVECTOR3 quad[4] = {to[kFaces[k][0]], to[kFaces[k][1]], to[kFaces[k][2]], to[kFaces[k][3]]};
            if (EdgeIntersectsFace(from[edge[0]], from[edge[1]], quad, planes[k])) return 1;
        }
    }
    return 0;
}

}  // namespace

BoundVolume::BoundVolume() {
    const D3DXVECTOR3 zero(0.0f, 0.0f, 0.0f);
    for (int k = 0; k < 8; ++k) m_vCorner[k] = m_vWorldCorner[k] = zero;
    for (auto& plane : m_WorldPlane) plane = D3DXPLANE(0.0f, 0.0f, 0.0f, 0.0f);
    m_vCenter = m_vWorldCenter = zero;
}

void BoundVolume::SetBox(const D3DXVECTOR3& vMin, const D3DXVECTOR3& vMax) {
    for (int k = 0; k < 8; ++k) {
        m_vCorner[k] = D3DXVECTOR3((k & 1) ? vMax.x : vMin.x, (k & 2) ? vMax.y : vMin.y, (k & 4) ? vMax.z : vMin.z);
    }
}

void BoundVolume::Transform(const D3DXMATRIX& world) {
    D3DXVECTOR3* t = m_vWorldCorner;
    for (int k = 0; k < 8; ++k) D3DXVec3TransformCoord(&t[k], &m_vCorner[k], &world);
    // Each plane from three corners of its face, ordered so the normal faces
    // into the box for a transform without mirroring.
    D3DXPlaneFromPoints(&m_WorldPlane[0], &t[0], &t[1], &t[2]);  // near
    D3DXPlaneFromPoints(&m_WorldPlane[1], &t[6], &t[7], &t[5]);  // far
    D3DXPlaneFromPoints(&m_WorldPlane[2], &t[2], &t[6], &t[4]);  // left
    D3DXPlaneFromPoints(&m_WorldPlane[3], &t[7], &t[3], &t[5]);  // right
    D3DXPlaneFromPoints(&m_WorldPlane[4], &t[2], &t[3], &t[6]);  // top
    D3DXPlaneFromPoints(&m_WorldPlane[5], &t[1], &t[0], &t[4]);  // bottom
    D3DXVec3TransformCoord(&m_vWorldCenter, &m_vCenter, &world);
}

HRESULT ComputeBoundVolume(ID3DXMesh* mesh, BoundVolume* bound) {
    if (!mesh || !bound) return E_FAIL;
    ComPtr<IDirect3DVertexBuffer8> vb;
    HRESULT hr = mesh->GetVertexBuffer(vb.Out());
    if (FAILED(hr)) return hr;
    const DWORD numVertices = mesh->GetNumVertices();
    const DWORD fvf = mesh->GetFVF();
    if (static_cast<std::uint64_t>(numVertices) * D3DXGetFVFVertexSize(fvf) > vb->GetSize()) return E_FAIL;
    BYTE* data = nullptr;
    hr = vb->Lock(0, 0, &data, 0);
    if (FAILED(hr)) return hr;
    const auto* positions = reinterpret_cast<const D3DXVECTOR3*>(data);
    D3DXVECTOR3 vMin, vMax;
    hr = D3DXComputeBoundingBox(positions, numVertices, fvf, &vMin, &vMax);
    if (SUCCEEDED(hr)) {
        bound->SetBox(vMin, vMax);
        hr = D3DXComputeBoundingSphere(positions, numVertices, fvf, &bound->m_vCenter, &bound->m_fRadius);
    }
    vb->Unlock();
    return FAILED(hr) ? hr : S_OK;
}

int BoxInFrustum(const D3DXVECTOR3 box[8], const D3DXPLANE boxPlanes[6], const FrustumRecord& frustum) {
    // 1. Outcodes: bit j set when the corner is outside frustum plane j.
    DWORD outcode[8];
    for (int k = 0; k < 8; ++k) {
        outcode[k] = 0;
        for (int j = 0; j < 6; ++j) {
            if (D3DXPlaneDotCoord(&frustum.planes[j], &box[k]) < 0.0f) outcode[k] |= 1u << j;
        }
        if (outcode[k] == 0) return 1;  // a corner inside every plane
    }
    // 2. All corners outside one and the same plane.
    DWORD common = outcode[0];
    for (int k = 1; k < 8; ++k) common &= outcode[k];
    if (common != 0) return 0;
    // 3. Frustum edges through box faces; 4. box edges through frustum faces.
    if (EdgesCrossFaces(frustum.corners, box, boxPlanes)) return 1;
    if (EdgesCrossFaces(box, frustum.corners, frustum.planes)) return 1;
    // 5. No crossing left: the frustum is wholly inside the box or they are apart.
    for (int k = 0; k < 6; ++k) {
        if (D3DXPlaneDotCoord(&boxPlanes[k], &frustum.corners[0]) < 0.0f) return 0;
    }
    return 1;
}

int EdgeIntersectsFace(const D3DXVECTOR3& p0, const D3DXVECTOR3& p1, const D3DXVECTOR3 q[4], const D3DXPLANE& plane) {
    const float da = D3DXPlaneDotCoord(&plane, &p0);
    const float db = D3DXPlaneDotCoord(&plane, &p1);
    if ((da > 0.0f && db > 0.0f) || (da < 0.0f && db < 0.0f)) return 0;

    D3DXVECTOR3 hit;
    if (!D3DXPlaneIntersectLine(&hit, &plane, &p0, &p1)) return 0;

    // Drop the dominant axis of the normal; ties keep (x, y).
    const float ax = std::fabs(plane.a), ay = std::fabs(plane.b), az = std::fabs(plane.c);
    auto project = [&](const D3DXVECTOR3& p) {
        if (ax > ay && ax > az) return D3DXVECTOR2(p.y, p.z);
        if (ay > ax && ay > az) return D3DXVECTOR2(p.x, p.z);
        return D3DXVECTOR2(p.x, p.y);
    };
    D3DXVECTOR2 quad[5];
    for (int i = 0; i < 4; ++i) quad[i] = project(q[i]);
    quad[4] = quad[0];
    const D3DXVECTOR2 h = project(hit);

    // Inside means on the winding's side of every edge.
    const int winding = SignedArea(quad[0], quad[1], quad[2]) < 0.0f ? 1 : 0;
    for (int i = 0; i < 4; ++i) {
        const int side = SignedArea(quad[i], quad[i + 1], h) > 0.0f ? 1 : 0;
        if (side == winding) return 0;
    }
    return 1;
}

bool IntersectTriangle(const D3DXVECTOR3& origin, const D3DXVECTOR3& dir, const D3DXVECTOR3& v0,
                       const D3DXVECTOR3& v1, const D3DXVECTOR3& v2, float* t, float* u, float* v) {
    const D3DXVECTOR3 e1 = v1 - v0;
    const D3DXVECTOR3 e2 = v2 - v0;
    D3DXVECTOR3 pv;
    D3DXVec3Cross(&pv, &dir, &e2);
    const float det = D3DXVec3Dot(&e1, &pv);
    // Back-facing, edge-on and near-parallel triangles never hit.
    if (!(det >= 0.0001f)) return false;

    const D3DXVECTOR3 tv = origin - v0;
    float uu = D3DXVec3Dot(&tv, &pv);
    if (uu < 0.0f || uu > det) return false;
    D3DXVECTOR3 qv;
    D3DXVec3Cross(&qv, &tv, &e1);
    float vv = D3DXVec3Dot(&dir, &qv);
    if (vv < 0.0f || uu + vv > det) return false;

    *t = D3DXVec3Dot(&e2, &qv) / det;
    *u = uu / det;
    *v = vv / det;
    return true;
}

int IntersectSegment(const BYTE* vertices, UINT stride, UINT numVertices, const WORD* indices, UINT numFaces,
                     const D3DXVECTOR3& p, const D3DXVECTOR3& q, D3DXVECTOR3* normal, const D3DXMATRIX& world) {
    if (!vertices || !indices || stride < sizeof(D3DXVECTOR3)) return 0;

    // Into model space. The identity placement (exactly, bit for bit) skips
    // the inverse and its rounding.
    D3DXMATRIX identity, inv;
    D3DXMatrixIdentity(&identity);
    if (std::memcmp(&world, &identity, sizeof(D3DXMATRIX)) == 0) {
        inv = identity;
    } else if (!D3DXMatrixInverse(&inv, nullptr, &world)) {
        return 0;  // a flattened placement has no inside to reach
    }
    D3DXVECTOR3 p1, q1;
    D3DXVec3TransformCoord(&p1, &p, &inv);
    D3DXVec3TransformCoord(&q1, &q, &inv);
    const D3DXVECTOR3 dir = q1 - p1;
    const float len = D3DXVec3Length(&dir);
    D3DXVECTOR3 dn;
    D3DXVec3Normalize(&dn, &dir);

    auto position = [&](WORD index) {
        D3DXVECTOR3 v;
        std::memcpy(&v, vertices + static_cast<std::size_t>(index) * stride, sizeof v);
        return v;
    };
    for (UINT face = 0; face < numFaces; ++face) {
        const WORD* tri = indices + static_cast<std::size_t>(face) * 3;
        if (tri[0] >= numVertices || tri[1] >= numVertices || tri[2] >= numVertices) continue;
        const D3DXVECTOR3 v0 = position(tri[0]), v1 = position(tri[1]), v2 = position(tri[2]);
        float t, u, v;
        if (!IntersectTriangle(p1, dn, v0, v1, v2, &t, &u, &v)) continue;
        const D3DXVECTOR3 hit = v0 + (v1 - v0) * u + (v2 - v0) * v;
        const D3DXVECTOR3 toHit = hit - p1;
        // Strictly before the end point, and not behind the start.
        if (!(D3DXVec3Length(&toHit) < len) || D3DXVec3Dot(&dn, &toHit) < 0.0f) continue;

        D3DXVECTOR3 e1 = v1 - v0, e2 = v2 - v0, n;
        D3DXVec3Normalize(&e1, &e1);
        D3DXVec3Normalize(&e2, &e2);
        D3DXVec3Cross(&n, &e1, &e2);
        if (normal) D3DXVec3TransformNormal(normal, &n, &world);
        return 1;
    }
    return 0;
}

bool SegmentMeetsSphere(const D3DXVECTOR3& p, const D3DXVECTOR3& q, const D3DXVECTOR3& centre, float radius,
                        const D3DXMATRIX& world) {
    D3DXVECTOR3 c;
    D3DXVec3TransformCoord(&c, &centre, &world);
    float scale = 0.0f;
    for (const float* row : {&world._11, &world._21, &world._31}) {
        const float s = std::sqrt(row[0] * row[0] + row[1] * row[1] + row[2] * row[2]);
        if (s > scale) scale = s;
    }
    const float r = radius * scale * 1.001f + 1.0e-3f;
    const D3DXVECTOR3 pq = q - p;
    const D3DXVECTOR3 pc = c - p;
    const float lengthSq = D3DXVec3Dot(&pq, &pq);
    float t = lengthSq > 0.0f ? D3DXVec3Dot(&pc, &pq) / lengthSq : 0.0f;
    if (t < 0.0f) t = 0.0f;
    if (t > 1.0f) t = 1.0f;
    const D3DXVECTOR3 gap = pc - pq * t;
    // Not-greater keeps NaN input on the slow, exact path.
    return !(D3DXVec3Dot(&gap, &gap) > r * r);
}

int IntersectSegmentMesh(ID3DXMesh* mesh, const D3DXVECTOR3& p, const D3DXVECTOR3& q, D3DXVECTOR3* normal,
                         const D3DXMATRIX& world) {
    if (!mesh) return 0;
    ComPtr<IDirect3DVertexBuffer8> vb;
    ComPtr<IDirect3DIndexBuffer8> ib;
    if (FAILED(mesh->GetVertexBuffer(vb.Out())) || FAILED(mesh->GetIndexBuffer(ib.Out()))) return 0;
    int result = 0;
    BYTE* vertices = nullptr;
    BYTE* indices = nullptr;
    const UINT stride = D3DXGetFVFVertexSize(mesh->GetFVF());
    if (ib->GetFormat() == D3DFMT_INDEX16 && stride > 0 && SUCCEEDED(vb->Lock(0, 0, &vertices, D3DLOCK_READONLY))) {
        if (SUCCEEDED(ib->Lock(0, 0, &indices, D3DLOCK_READONLY))) {
            // Counts bounded by what the buffers really hold.
            UINT numVertices = vb->GetSize() / stride;
            if (mesh->GetNumVertices() < numVertices) numVertices = mesh->GetNumVertices();
            UINT numFaces = ib->GetSize() / (3 * sizeof(WORD));
            if (mesh->GetNumFaces() < numFaces) numFaces = mesh->GetNumFaces();
            result = IntersectSegment(vertices, stride, numVertices, reinterpret_cast<const WORD*>(indices), numFaces,
                                      p, q, normal, world);
            ib->Unlock();
        }
        vb->Unlock();
    }
    return result;
}
