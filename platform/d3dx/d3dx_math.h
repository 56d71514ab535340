// Vector, matrix, quaternion and plane mathematics in the D3DX8 manner: the
// types the rest of the program uses and the functions it calls, with their
// documented D3DX8 results.
//
// Conventions (the same everywhere in the program):
//  - Matrices are 4x4 floats, row-major, used with row vectors: a point p maps
//    to p * M, so M1 * M2 applies M1 first. The translation is the fourth row
//    (_41, _42, _43).
//  - Left-handed coordinates, y up; a positive rotation about an axis turns
//    clockwise when looking along the axis toward the origin. Angles are in
//    radians.
//  - Projection matrices produce Direct3D clip space: x, y in -1..1 after the
//    divide by w, depth z in 0..1 (near plane 0, far plane 1).
//  - Quaternions are (x, y, z, w) with w the scalar part. D3DXQuaternionMultiply
//    concatenates like D3DXMatrixMultiply: Multiply(q1, q2) is q1 followed by q2.
//  - Every function writes its result through pOut and returns pOut, so calls
//    nest; output may alias any input. The exceptions return NULL on failure
//    (D3DXMatrixInverse of a singular matrix, D3DXPlaneIntersectLine of a
//    parallel line) and then leave *pOut unchanged.
//
// Default constructors leave the members uninitialised, as D3DX does, so
// arrays of vectors and matrices cost nothing to declare; value-initialise
// (`D3DXMATRIX m{};`) for zeros.
#pragma once

#include "platform/d3d8/d3d8types.h"

struct D3DXVECTOR2 {
    D3DXVECTOR2() = default;
    D3DXVECTOR2(float fx, float fy) : x(fx), y(fy) {}

    D3DXVECTOR2& operator+=(const D3DXVECTOR2& v) { x += v.x; y += v.y; return *this; }
    D3DXVECTOR2& operator-=(const D3DXVECTOR2& v) { x -= v.x; y -= v.y; return *this; }
    D3DXVECTOR2& operator*=(float f) { x *= f; y *= f; return *this; }
    D3DXVECTOR2 operator-() const { return {-x, -y}; }
    D3DXVECTOR2 operator+(const D3DXVECTOR2& v) const { return {x + v.x, y + v.y}; }
    D3DXVECTOR2 operator-(const D3DXVECTOR2& v) const { return {x - v.x, y - v.y}; }
    D3DXVECTOR2 operator*(float f) const { return {x * f, y * f}; }
    bool operator==(const D3DXVECTOR2& v) const { return x == v.x && y == v.y; }

    float x, y;
};

// Same layout as D3DVECTOR, so it passes wherever the device takes one.
struct D3DXVECTOR3 : public D3DVECTOR {
    D3DXVECTOR3() = default;
    D3DXVECTOR3(float fx, float fy, float fz) : D3DVECTOR{fx, fy, fz} {}
    D3DXVECTOR3(const D3DVECTOR& v) : D3DVECTOR(v) {}  // NOLINT: implicit like D3DX

    D3DXVECTOR3& operator+=(const D3DXVECTOR3& v) { x += v.x; y += v.y; z += v.z; return *this; }
    D3DXVECTOR3& operator-=(const D3DXVECTOR3& v) { x -= v.x; y -= v.y; z -= v.z; return *this; }
    D3DXVECTOR3& operator*=(float f) { x *= f; y *= f; z *= f; return *this; }
    D3DXVECTOR3& operator/=(float f) { x /= f; y /= f; z /= f; return *this; }
    D3DXVECTOR3 operator-() const { return {-x, -y, -z}; }
    D3DXVECTOR3 operator+(const D3DXVECTOR3& v) const { return {x + v.x, y + v.y, z + v.z}; }
    D3DXVECTOR3 operator-(const D3DXVECTOR3& v) const { return {x - v.x, y - v.y, z - v.z}; }
    D3DXVECTOR3 operator*(float f) const { return {x * f, y * f, z * f}; }
    D3DXVECTOR3 operator/(float f) const { return {x / f, y / f, z / f}; }
    bool operator==(const D3DXVECTOR3& v) const { return x == v.x && y == v.y && z == v.z; }
};
inline D3DXVECTOR3 operator*(float f, const D3DXVECTOR3& v) { return v * f; }

struct D3DXVECTOR4 {
    D3DXVECTOR4() = default;
    D3DXVECTOR4(float fx, float fy, float fz, float fw) : x(fx), y(fy), z(fz), w(fw) {}

    D3DXVECTOR4 operator+(const D3DXVECTOR4& v) const { return {x + v.x, y + v.y, z + v.z, w + v.w}; }
    D3DXVECTOR4 operator-(const D3DXVECTOR4& v) const { return {x - v.x, y - v.y, z - v.z, w - v.w}; }
    D3DXVECTOR4 operator*(float f) const { return {x * f, y * f, z * f, w * f}; }
    bool operator==(const D3DXVECTOR4& v) const { return x == v.x && y == v.y && z == v.z && w == v.w; }

    float x, y, z, w;
};

struct D3DXMATRIX : public D3DMATRIX {
    D3DXMATRIX() = default;
    D3DXMATRIX(const D3DMATRIX& mat) : D3DMATRIX(mat) {}  // NOLINT: implicit like D3DX
    D3DXMATRIX(float f11, float f12, float f13, float f14,
               float f21, float f22, float f23, float f24,
               float f31, float f32, float f33, float f34,
               float f41, float f42, float f43, float f44);

    float& operator()(unsigned row, unsigned col) { return m[row][col]; }
    float operator()(unsigned row, unsigned col) const { return m[row][col]; }

    D3DXMATRIX& operator*=(const D3DXMATRIX& mat);
    D3DXMATRIX operator*(const D3DXMATRIX& mat) const;  // *this applied first, then mat
    bool operator==(const D3DXMATRIX& mat) const;        // exact, element by element
    bool operator!=(const D3DXMATRIX& mat) const { return !(*this == mat); }
};

struct D3DXQUATERNION {
    D3DXQUATERNION() = default;
    D3DXQUATERNION(float fx, float fy, float fz, float fw) : x(fx), y(fy), z(fz), w(fw) {}

    D3DXQUATERNION operator-() const { return {-x, -y, -z, -w}; }
    D3DXQUATERNION operator+(const D3DXQUATERNION& q) const { return {x + q.x, y + q.y, z + q.z, w + q.w}; }
    D3DXQUATERNION operator-(const D3DXQUATERNION& q) const { return {x - q.x, y - q.y, z - q.z, w - q.w}; }
    D3DXQUATERNION operator*(float f) const { return {x * f, y * f, z * f, w * f}; }
    bool operator==(const D3DXQUATERNION& q) const { return x == q.x && y == q.y && z == q.z && w == q.w; }

    float x, y, z, w;
};

// The plane a*x + b*y + c*z + d = 0; (a, b, c) is its normal and points to the
// positive side.
struct D3DXPLANE {
    D3DXPLANE() = default;
    D3DXPLANE(float fa, float fb, float fc, float fd) : a(fa), b(fb), c(fc), d(fd) {}

    bool operator==(const D3DXPLANE& p) const { return a == p.a && b == p.b && c == p.c && d == p.d; }

    float a, b, c, d;
};

// ---- 3-vectors ----
float D3DXVec3Length(const D3DXVECTOR3* pV);
float D3DXVec3Dot(const D3DXVECTOR3* pV1, const D3DXVECTOR3* pV2);
D3DXVECTOR3* D3DXVec3Cross(D3DXVECTOR3* pOut, const D3DXVECTOR3* pV1, const D3DXVECTOR3* pV2);
// A zero-length vector normalises to zero (never NaN).
D3DXVECTOR3* D3DXVec3Normalize(D3DXVECTOR3* pOut, const D3DXVECTOR3* pV);
// (x, y, z, 1) * M.
D3DXVECTOR4* D3DXVec3Transform(D3DXVECTOR4* pOut, const D3DXVECTOR3* pV, const D3DXMATRIX* pM);
// (x, y, z, 1) * M, then divided by the resulting w (a projected point).
// As in D3DX, w = 0 is not guarded: it yields infinities.
D3DXVECTOR3* D3DXVec3TransformCoord(D3DXVECTOR3* pOut, const D3DXVECTOR3* pV, const D3DXMATRIX* pM);
// (x, y, z, 0) * M: a direction, unaffected by the translation row. Normals
// of a non-uniformly scaled matrix need the inverse transpose; pass that.
D3DXVECTOR3* D3DXVec3TransformNormal(D3DXVECTOR3* pOut, const D3DXVECTOR3* pV, const D3DXMATRIX* pM);

// ---- 4-vectors ----
D3DXVECTOR4* D3DXVec4Transform(D3DXVECTOR4* pOut, const D3DXVECTOR4* pV, const D3DXMATRIX* pM);
// A zero-length vector normalises to zero (never NaN).
D3DXVECTOR4* D3DXVec4Normalize(D3DXVECTOR4* pOut, const D3DXVECTOR4* pV);

// ---- Matrices ----
D3DXMATRIX* D3DXMatrixIdentity(D3DXMATRIX* pOut);
// pOut = pM1 * pM2 (pM1 applied first).
D3DXMATRIX* D3DXMatrixMultiply(D3DXMATRIX* pOut, const D3DXMATRIX* pM1, const D3DXMATRIX* pM2);
D3DXMATRIX* D3DXMatrixTranspose(D3DXMATRIX* pOut, const D3DXMATRIX* pM);
// The inverse of pM and, when pDeterminant is not null, its determinant.
// Returns NULL, leaving *pOut unchanged, when the determinant is 0 or not
// finite; *pDeterminant is still written then.
D3DXMATRIX* D3DXMatrixInverse(D3DXMATRIX* pOut, float* pDeterminant, const D3DXMATRIX* pM);
D3DXMATRIX* D3DXMatrixTranslation(D3DXMATRIX* pOut, float x, float y, float z);
D3DXMATRIX* D3DXMatrixScaling(D3DXMATRIX* pOut, float sx, float sy, float sz);
// Rotation about x: y goes toward z. [[1,0,0],[0,c,s],[0,-s,c]].
D3DXMATRIX* D3DXMatrixRotationX(D3DXMATRIX* pOut, float angle);
// Rotation about y: z goes toward x. [[c,0,-s],[0,1,0],[s,0,c]].
D3DXMATRIX* D3DXMatrixRotationY(D3DXMATRIX* pOut, float angle);
// Rotation about z: x goes toward y. [[c,s,0],[-s,c,0],[0,0,1]].
D3DXMATRIX* D3DXMatrixRotationZ(D3DXMATRIX* pOut, float angle);
// Roll about z first, then pitch about x, then yaw about y:
// RotationZ(roll) * RotationX(pitch) * RotationY(yaw).
D3DXMATRIX* D3DXMatrixRotationYawPitchRoll(D3DXMATRIX* pOut, float yaw, float pitch, float roll);
// The rotation of a unit quaternion.
D3DXMATRIX* D3DXMatrixRotationQuaternion(D3DXMATRIX* pOut, const D3DXQUATERNION* pQ);
// World-to-camera matrix of a camera at pEye looking at pAt: camera +z toward
// the target, +y as close to pUp as possible, +x to the right.
D3DXMATRIX* D3DXMatrixLookAtLH(D3DXMATRIX* pOut, const D3DXVECTOR3* pEye, const D3DXVECTOR3* pAt,
                               const D3DXVECTOR3* pUp);
// Perspective projection: fovy is the full vertical field of view, aspect is
// width / height; camera-space depth zn maps to clip depth 0 and zf to 1,
// and clip w is the camera-space depth.
D3DXMATRIX* D3DXMatrixPerspectiveFovLH(D3DXMATRIX* pOut, float fovy, float aspect, float zn, float zf);

// ---- Quaternions ----
D3DXQUATERNION* D3DXQuaternionIdentity(D3DXQUATERNION* pOut);
float D3DXQuaternionDot(const D3DXQUATERNION* pQ1, const D3DXQUATERNION* pQ2);
float D3DXQuaternionLength(const D3DXQUATERNION* pQ);
// pQ1 followed by pQ2 (the Hamilton product pQ2 * pQ1).
D3DXQUATERNION* D3DXQuaternionMultiply(D3DXQUATERNION* pOut, const D3DXQUATERNION* pQ1,
                                       const D3DXQUATERNION* pQ2);
// Conjugate over squared length; zero stays zero.
D3DXQUATERNION* D3DXQuaternionInverse(D3DXQUATERNION* pOut, const D3DXQUATERNION* pQ);
// A zero quaternion normalises to zero (never NaN).
D3DXQUATERNION* D3DXQuaternionNormalize(D3DXQUATERNION* pOut, const D3DXQUATERNION* pQ);
D3DXQUATERNION* D3DXQuaternionRotationAxis(D3DXQUATERNION* pOut, const D3DXVECTOR3* pAxis, float angle);
// Same rotation as D3DXMatrixRotationYawPitchRoll: roll about z, then pitch
// about x, then yaw about y.
D3DXQUATERNION* D3DXQuaternionRotationYawPitchRoll(D3DXQUATERNION* pOut, float yaw, float pitch, float roll);
// Logarithm of a unit quaternion: (theta * axis, 0) for (sin theta * axis, cos theta).
D3DXQUATERNION* D3DXQuaternionLn(D3DXQUATERNION* pOut, const D3DXQUATERNION* pQ);
// Exponential of a pure quaternion (v, 0): (sin|v| * v/|v|, cos|v|); w is ignored.
D3DXQUATERNION* D3DXQuaternionExp(D3DXQUATERNION* pOut, const D3DXQUATERNION* pQ);
// Spherical linear interpolation, t in 0..1, along the shorter arc (pQ2 is
// negated when the two lie in opposite hemispheres).
D3DXQUATERNION* D3DXQuaternionSlerp(D3DXQUATERNION* pOut, const D3DXQUATERNION* pQ1,
                                    const D3DXQUATERNION* pQ2, float t);
// Control points for squad between pQ1 and pQ2, with neighbours pQ0 and pQ3.
// pQ0, pQ2 and pQ3 are first negated where needed so each key lies in the
// hemisphere of the one before it; then
//   A = q1 * exp(-(ln(q1^-1 * q2) + ln(q1^-1 * q0)) / 4)
//   B = q2 * exp(-(ln(q2^-1 * q3) + ln(q2^-1 * q1)) / 4)
//   C = q2
// with products in D3DXQuaternionMultiply order. Pass A, B, C to
// D3DXQuaternionSquad together with pQ1. Inputs should be unit quaternions.
void D3DXQuaternionSquadSetup(D3DXQUATERNION* pAOut, D3DXQUATERNION* pBOut, D3DXQUATERNION* pCOut,
                              const D3DXQUATERNION* pQ0, const D3DXQUATERNION* pQ1,
                              const D3DXQUATERNION* pQ2, const D3DXQUATERNION* pQ3);
// slerp(slerp(pQ1, pC, t), slerp(pA, pB, t), 2t(1 - t)): pQ1 at t = 0, pC at t = 1.
D3DXQUATERNION* D3DXQuaternionSquad(D3DXQUATERNION* pOut, const D3DXQUATERNION* pQ1,
                                    const D3DXQUATERNION* pA, const D3DXQUATERNION* pB,
                                    const D3DXQUATERNION* pC, float t);

// ---- Planes ----
// Through three points; normal = normalise((p2 - p1) x (p3 - p1)), d = -normal . p1.
// In left-handed coordinates the normal faces a viewer who sees p1, p2, p3
// clockwise. Collinear points give a zero normal and d = 0.
D3DXPLANE* D3DXPlaneFromPoints(D3DXPLANE* pOut, const D3DXVECTOR3* pV1, const D3DXVECTOR3* pV2,
                               const D3DXVECTOR3* pV3);
// Scales the plane so its normal has unit length; a zero normal gives a zero plane.
D3DXPLANE* D3DXPlaneNormalize(D3DXPLANE* pOut, const D3DXPLANE* pP);
// a*x + b*y + c*z + d: the signed distance for a normalised plane.
float D3DXPlaneDotCoord(const D3DXPLANE* pP, const D3DXVECTOR3* pV);
// a*x + b*y + c*z: the plane's normal dotted with a direction.
float D3DXPlaneDotNormal(const D3DXPLANE* pP, const D3DXVECTOR3* pV);
// Where the infinite line through pV1 and pV2 meets the plane (not limited to
// the segment). Returns NULL, leaving *pOut unchanged, when the line is
// parallel to the plane (or pV1 equals pV2).
D3DXVECTOR3* D3DXPlaneIntersectLine(D3DXVECTOR3* pOut, const D3DXPLANE* pP, const D3DXVECTOR3* pV1,
                                    const D3DXVECTOR3* pV2);
