// D3DX8-style vector, matrix, quaternion and plane functions (see d3dx_math.h
// for the conventions: row vectors, left-handed, radians, D3D clip depth 0..1).
#include "platform/d3dx/d3dx_math.h"

#include <cmath>

// ---- D3DXMATRIX members ----

D3DXMATRIX::D3DXMATRIX(float f11, float f12, float f13, float f14,
                       float f21, float f22, float f23, float f24,
                       float f31, float f32, float f33, float f34,
                       float f41, float f42, float f43, float f44) {
    _11 = f11; _12 = f12; _13 = f13; _14 = f14;
    _21 = f21; _22 = f22; _23 = f23; _24 = f24;
    _31 = f31; _32 = f32; _33 = f33; _34 = f34;
    _41 = f41; _42 = f42; _43 = f43; _44 = f44;
}

D3DXMATRIX& D3DXMATRIX::operator*=(const D3DXMATRIX& mat) {
    D3DXMatrixMultiply(this, this, &mat);
    return *this;
}

D3DXMATRIX D3DXMATRIX::operator*(const D3DXMATRIX& mat) const {
    D3DXMATRIX r;
    D3DXMatrixMultiply(&r, this, &mat);
    return r;
}

bool D3DXMATRIX::operator==(const D3DXMATRIX& mat) const {
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            if (m[i][j] != mat.m[i][j]) return false;
    return true;
}

// ---- 3-vectors ----

float D3DXVec3Length(const D3DXVECTOR3* pV) {
    return std::sqrt(pV->x * pV->x + pV->y * pV->y + pV->z * pV->z);
}

float D3DXVec3Dot(const D3DXVECTOR3* pV1, const D3DXVECTOR3* pV2) {
    return pV1->x * pV2->x + pV1->y * pV2->y + pV1->z * pV2->z;
}

D3DXVECTOR3* D3DXVec3Cross(D3DXVECTOR3* pOut, const D3DXVECTOR3* pV1, const D3DXVECTOR3* pV2) {
    const D3DXVECTOR3 r(pV1->y * pV2->z - pV1->z * pV2->y,
                        pV1->z * pV2->x - pV1->x * pV2->z,
                        pV1->x * pV2->y - pV1->y * pV2->x);
    *pOut = r;
    return pOut;
}

D3DXVECTOR3* D3DXVec3Normalize(D3DXVECTOR3* pOut, const D3DXVECTOR3* pV) {
    const float len = D3DXVec3Length(pV);
    if (len == 0.0f) {
        *pOut = D3DXVECTOR3(0.0f, 0.0f, 0.0f);
    } else {
        *pOut = *pV / len;
    }
    return pOut;
}

D3DXVECTOR4* D3DXVec3Transform(D3DXVECTOR4* pOut, const D3DXVECTOR3* pV, const D3DXMATRIX* pM) {
    const D3DXVECTOR4 v(pV->x, pV->y, pV->z, 1.0f);
    return D3DXVec4Transform(pOut, &v, pM);
}

D3DXVECTOR3* D3DXVec3TransformCoord(D3DXVECTOR3* pOut, const D3DXVECTOR3* pV, const D3DXMATRIX* pM) {
    D3DXVECTOR4 r;
    D3DXVec3Transform(&r, pV, pM);
    *pOut = D3DXVECTOR3(r.x / r.w, r.y / r.w, r.z / r.w);
    return pOut;
}

D3DXVECTOR3* D3DXVec3TransformNormal(D3DXVECTOR3* pOut, const D3DXVECTOR3* pV, const D3DXMATRIX* pM) {
    const D3DXMATRIX& m = *pM;
    const D3DXVECTOR3 r(pV->x * m._11 + pV->y * m._21 + pV->z * m._31,
                        pV->x * m._12 + pV->y * m._22 + pV->z * m._32,
                        pV->x * m._13 + pV->y * m._23 + pV->z * m._33);
    *pOut = r;
    return pOut;
}

// ---- 4-vectors ----

D3DXVECTOR4* D3DXVec4Transform(D3DXVECTOR4* pOut, const D3DXVECTOR4* pV, const D3DXMATRIX* pM) {
    const D3DXMATRIX& m = *pM;
    const D3DXVECTOR4 r(pV->x * m._11 + pV->y * m._21 + pV->z * m._31 + pV->w * m._41,
                        pV->x * m._12 + pV->y * m._22 + pV->z * m._32 + pV->w * m._42,
                        pV->x * m._13 + pV->y * m._23 + pV->z * m._33 + pV->w * m._43,
                        pV->x * m._14 + pV->y * m._24 + pV->z * m._34 + pV->w * m._44);
    *pOut = r;
    return pOut;
}

D3DXVECTOR4* D3DXVec4Normalize(D3DXVECTOR4* pOut, const D3DXVECTOR4* pV) {
    const float len = std::sqrt(pV->x * pV->x + pV->y * pV->y + pV->z * pV->z + pV->w * pV->w);
    if (len == 0.0f) {
        *pOut = D3DXVECTOR4(0.0f, 0.0f, 0.0f, 0.0f);
    } else {
        *pOut = *pV * (1.0f / len);
    }
    return pOut;
}

// ---- Matrices ----

D3DXMATRIX* D3DXMatrixIdentity(D3DXMATRIX* pOut) {
    *pOut = D3DXMATRIX(1, 0, 0, 0,
                       0, 1, 0, 0,
                       0, 0, 1, 0,
                       0, 0, 0, 1);
    return pOut;
}

D3DXMATRIX* D3DXMatrixMultiply(D3DXMATRIX* pOut, const D3DXMATRIX* pM1, const D3DXMATRIX* pM2) {
    D3DXMATRIX r;  // separate result: pOut may be pM1 or pM2
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            r.m[i][j] = pM1->m[i][0] * pM2->m[0][j] + pM1->m[i][1] * pM2->m[1][j] +
                        pM1->m[i][2] * pM2->m[2][j] + pM1->m[i][3] * pM2->m[3][j];
        }
    }
    *pOut = r;
    return pOut;
}

D3DXMATRIX* D3DXMatrixTranspose(D3DXMATRIX* pOut, const D3DXMATRIX* pM) {
    D3DXMATRIX r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) r.m[i][j] = pM->m[j][i];
    *pOut = r;
    return pOut;
}

D3DXMATRIX* D3DXMatrixInverse(D3DXMATRIX* pOut, float* pDeterminant, const D3DXMATRIX* pM) {
    // Cofactor expansion through the 2x2 minors of the top and bottom row
    // pairs, in double precision so that nearly singular camera and bone
    // matrices keep their accuracy.
    double a[4][4];
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) a[i][j] = pM->m[i][j];

    const double s0 = a[0][0] * a[1][1] - a[1][0] * a[0][1];
    const double s1 = a[0][0] * a[1][2] - a[1][0] * a[0][2];
    const double s2 = a[0][0] * a[1][3] - a[1][0] * a[0][3];
    const double s3 = a[0][1] * a[1][2] - a[1][1] * a[0][2];
    const double s4 = a[0][1] * a[1][3] - a[1][1] * a[0][3];
    const double s5 = a[0][2] * a[1][3] - a[1][2] * a[0][3];
    const double c5 = a[2][2] * a[3][3] - a[3][2] * a[2][3];
    const double c4 = a[2][1] * a[3][3] - a[3][1] * a[2][3];
    const double c3 = a[2][1] * a[3][2] - a[3][1] * a[2][2];
    const double c2 = a[2][0] * a[3][3] - a[3][0] * a[2][3];
    const double c1 = a[2][0] * a[3][2] - a[3][0] * a[2][2];
    const double c0 = a[2][0] * a[3][1] - a[3][0] * a[2][1];

    const double det = s0 * c5 - s1 * c4 + s2 * c3 + s3 * c2 - s4 * c1 + s5 * c0;
    if (pDeterminant) *pDeterminant = static_cast<float>(det);
    if (det == 0.0 || !std::isfinite(det)) return nullptr;
    const double k = 1.0 / det;

    double r[4][4];
    r[0][0] = ( a[1][1] * c5 - a[1][2] * c4 + a[1][3] * c3) * k;
    r[0][1] = (-a[0][1] * c5 + a[0][2] * c4 - a[0][3] * c3) * k;
    r[0][2] = ( a[3][1] * s5 - a[3][2] * s4 + a[3][3] * s3) * k;
    r[0][3] = (-a[2][1] * s5 + a[2][2] * s4 - a[2][3] * s3) * k;
    r[1][0] = (-a[1][0] * c5 + a[1][2] * c2 - a[1][3] * c1) * k;
    r[1][1] = ( a[0][0] * c5 - a[0][2] * c2 + a[0][3] * c1) * k;
    r[1][2] = (-a[3][0] * s5 + a[3][2] * s2 - a[3][3] * s1) * k;
    r[1][3] = ( a[2][0] * s5 - a[2][2] * s2 + a[2][3] * s1) * k;
    r[2][0] = ( a[1][0] * c4 - a[1][1] * c2 + a[1][3] * c0) * k;
    r[2][1] = (-a[0][0] * c4 + a[0][1] * c2 - a[0][3] * c0) * k;
    r[2][2] = ( a[3][0] * s4 - a[3][1] * s2 + a[3][3] * s0) * k;
    r[2][3] = (-a[2][0] * s4 + a[2][1] * s2 - a[2][3] * s0) * k;
    r[3][0] = (-a[1][0] * c3 + a[1][1] * c1 - a[1][2] * c0) * k;
    r[3][1] = ( a[0][0] * c3 - a[0][1] * c1 + a[0][2] * c0) * k;
    r[3][2] = (-a[3][0] * s3 + a[3][1] * s1 - a[3][2] * s0) * k;
    r[3][3] = ( a[2][0] * s3 - a[2][1] * s1 + a[2][2] * s0) * k;

    // A finite determinant can still overflow the float result (tiny det).
    D3DXMATRIX out;
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            out.m[i][j] = static_cast<float>(r[i][j]);
            if (!std::isfinite(out.m[i][j])) return nullptr;
        }
    }
    *pOut = out;
    return pOut;
}

D3DXMATRIX* D3DXMatrixTranslation(D3DXMATRIX* pOut, float x, float y, float z) {
    D3DXMatrixIdentity(pOut);
    pOut->_41 = x;
    pOut->_42 = y;
    pOut->_43 = z;
    return pOut;
}

D3DXMATRIX* D3DXMatrixScaling(D3DXMATRIX* pOut, float sx, float sy, float sz) {
    D3DXMatrixIdentity(pOut);
    pOut->_11 = sx;
    pOut->_22 = sy;
    pOut->_33 = sz;
    return pOut;
}

D3DXMATRIX* D3DXMatrixRotationX(D3DXMATRIX* pOut, float angle) {
    const float c = std::cos(angle), s = std::sin(angle);
    D3DXMatrixIdentity(pOut);
    pOut->_22 = c;
    pOut->_23 = s;
    pOut->_32 = -s;
    pOut->_33 = c;
    return pOut;
}

D3DXMATRIX* D3DXMatrixRotationY(D3DXMATRIX* pOut, float angle) {
    const float c = std::cos(angle), s = std::sin(angle);
    D3DXMatrixIdentity(pOut);
    pOut->_11 = c;
    pOut->_13 = -s;
    pOut->_31 = s;
    pOut->_33 = c;
    return pOut;
}

D3DXMATRIX* D3DXMatrixRotationZ(D3DXMATRIX* pOut, float angle) {
    const float c = std::cos(angle), s = std::sin(angle);
    D3DXMatrixIdentity(pOut);
    pOut->_11 = c;
    pOut->_12 = s;
    pOut->_21 = -s;
    pOut->_22 = c;
    return pOut;
}

D3DXMATRIX* D3DXMatrixRotationYawPitchRoll(D3DXMATRIX* pOut, float yaw, float pitch, float roll) {
    D3DXMATRIX z, x, y;
    D3DXMatrixRotationZ(&z, roll);
    D3DXMatrixRotationX(&x, pitch);
    D3DXMatrixRotationY(&y, yaw);
    *pOut = z * x * y;
    return pOut;
}

D3DXMATRIX* D3DXMatrixRotationQuaternion(D3DXMATRIX* pOut, const D3DXQUATERNION* pQ) {
    const float x = pQ->x, y = pQ->y, z = pQ->z, w = pQ->w;
    *pOut = D3DXMATRIX(1 - 2 * (y * y + z * z), 2 * (x * y + z * w), 2 * (x * z - y * w), 0,
                       2 * (x * y - z * w), 1 - 2 * (x * x + z * z), 2 * (y * z + x * w), 0,
                       2 * (x * z + y * w), 2 * (y * z - x * w), 1 - 2 * (x * x + y * y), 0,
                       0, 0, 0, 1);
    return pOut;
}

D3DXMATRIX* D3DXMatrixLookAtLH(D3DXMATRIX* pOut, const D3DXVECTOR3* pEye, const D3DXVECTOR3* pAt,
                               const D3DXVECTOR3* pUp) {
    D3DXVECTOR3 zaxis, xaxis, yaxis;
    const D3DXVECTOR3 dir = *pAt - *pEye;
    D3DXVec3Normalize(&zaxis, &dir);
    D3DXVec3Cross(&xaxis, pUp, &zaxis);
    D3DXVec3Normalize(&xaxis, &xaxis);
    D3DXVec3Cross(&yaxis, &zaxis, &xaxis);
    *pOut = D3DXMATRIX(xaxis.x, yaxis.x, zaxis.x, 0,
                       xaxis.y, yaxis.y, zaxis.y, 0,
                       xaxis.z, yaxis.z, zaxis.z, 0,
                       -D3DXVec3Dot(&xaxis, pEye), -D3DXVec3Dot(&yaxis, pEye), -D3DXVec3Dot(&zaxis, pEye), 1);
    return pOut;
}

D3DXMATRIX* D3DXMatrixPerspectiveFovLH(D3DXMATRIX* pOut, float fovy, float aspect, float zn, float zf) {
    const float yScale = 1.0f / std::tan(fovy * 0.5f);
    const float xScale = yScale / aspect;
    const float q = zf / (zf - zn);
    *pOut = D3DXMATRIX(xScale, 0, 0, 0,
                       0, yScale, 0, 0,
                       0, 0, q, 1,
                       0, 0, -zn * q, 0);
    return pOut;
}

// ---- Quaternions ----

D3DXQUATERNION* D3DXQuaternionIdentity(D3DXQUATERNION* pOut) {
    *pOut = D3DXQUATERNION(0.0f, 0.0f, 0.0f, 1.0f);
    return pOut;
}

float D3DXQuaternionDot(const D3DXQUATERNION* pQ1, const D3DXQUATERNION* pQ2) {
    return pQ1->x * pQ2->x + pQ1->y * pQ2->y + pQ1->z * pQ2->z + pQ1->w * pQ2->w;
}

float D3DXQuaternionLength(const D3DXQUATERNION* pQ) {
    return std::sqrt(D3DXQuaternionDot(pQ, pQ));
}

D3DXQUATERNION* D3DXQuaternionMultiply(D3DXQUATERNION* pOut, const D3DXQUATERNION* pQ1,
                                       const D3DXQUATERNION* pQ2) {
    // Hamilton product a * b with a = pQ2, b = pQ1.
    const D3DXQUATERNION& a = *pQ2;
    const D3DXQUATERNION& b = *pQ1;
    const D3DXQUATERNION r(a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y,
                           a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x,
                           a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w,
                           a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z);
    *pOut = r;
    return pOut;
}

D3DXQUATERNION* D3DXQuaternionInverse(D3DXQUATERNION* pOut, const D3DXQUATERNION* pQ) {
    const float n = D3DXQuaternionDot(pQ, pQ);
    if (n == 0.0f) {
        *pOut = D3DXQUATERNION(0.0f, 0.0f, 0.0f, 0.0f);
    } else {
        *pOut = D3DXQUATERNION(-pQ->x / n, -pQ->y / n, -pQ->z / n, pQ->w / n);
    }
    return pOut;
}

D3DXQUATERNION* D3DXQuaternionNormalize(D3DXQUATERNION* pOut, const D3DXQUATERNION* pQ) {
    const float len = D3DXQuaternionLength(pQ);
    if (len == 0.0f) {
        *pOut = D3DXQUATERNION(0.0f, 0.0f, 0.0f, 0.0f);
    } else {
        *pOut = *pQ * (1.0f / len);
    }
    return pOut;
}

D3DXQUATERNION* D3DXQuaternionRotationAxis(D3DXQUATERNION* pOut, const D3DXVECTOR3* pAxis, float angle) {
    D3DXVECTOR3 n;
    D3DXVec3Normalize(&n, pAxis);
    const float s = std::sin(angle * 0.5f);
    *pOut = D3DXQUATERNION(n.x * s, n.y * s, n.z * s, std::cos(angle * 0.5f));
    return pOut;
}

D3DXQUATERNION* D3DXQuaternionRotationYawPitchRoll(D3DXQUATERNION* pOut, float yaw, float pitch, float roll) {
    // The product qz(roll) then qx(pitch) then qy(yaw), expanded.
    const float sy = std::sin(yaw * 0.5f), cy = std::cos(yaw * 0.5f);
    const float sp = std::sin(pitch * 0.5f), cp = std::cos(pitch * 0.5f);
    const float sr = std::sin(roll * 0.5f), cr = std::cos(roll * 0.5f);
    *pOut = D3DXQUATERNION(cy * sp * cr + sy * cp * sr,
                           sy * cp * cr - cy * sp * sr,
                           cy * cp * sr - sy * sp * cr,
                           cy * cp * cr + sy * sp * sr);
    return pOut;
}

D3DXQUATERNION* D3DXQuaternionLn(D3DXQUATERNION* pOut, const D3DXQUATERNION* pQ) {
    // For a unit quaternion w = cos(theta) and |v| = sin(theta); atan2 gives
    // theta without the acos domain trouble of inputs slightly off unit
    // length. theta / sin(theta) tends to 1 as theta -> 0.
    const float vlen = std::sqrt(pQ->x * pQ->x + pQ->y * pQ->y + pQ->z * pQ->z);
    float k = 1.0f;
    if (vlen > 1e-7f) k = std::atan2(vlen, pQ->w) / vlen;
    *pOut = D3DXQUATERNION(pQ->x * k, pQ->y * k, pQ->z * k, 0.0f);
    return pOut;
}

D3DXQUATERNION* D3DXQuaternionExp(D3DXQUATERNION* pOut, const D3DXQUATERNION* pQ) {
    const float theta = std::sqrt(pQ->x * pQ->x + pQ->y * pQ->y + pQ->z * pQ->z);
    float k = 1.0f;  // sin(theta) / theta -> 1
    if (theta > 1e-7f) k = std::sin(theta) / theta;
    *pOut = D3DXQUATERNION(pQ->x * k, pQ->y * k, pQ->z * k, std::cos(theta));
    return pOut;
}

D3DXQUATERNION* D3DXQuaternionSlerp(D3DXQUATERNION* pOut, const D3DXQUATERNION* pQ1,
                                    const D3DXQUATERNION* pQ2, float t) {
    float cosTheta = D3DXQuaternionDot(pQ1, pQ2);
    float sign = 1.0f;
    if (cosTheta < 0.0f) {  // the other cover of the same rotation is nearer
        sign = -1.0f;
        cosTheta = -cosTheta;
    }
    float k1 = 1.0f - t;
    float k2 = t;
    if (cosTheta < 0.9999f) {  // otherwise nearly equal: linear is exact enough
        const float theta = std::acos(cosTheta);
        const float s = std::sin(theta);
        k1 = std::sin(k1 * theta) / s;
        k2 = std::sin(k2 * theta) / s;
    }
    k2 *= sign;
    *pOut = D3DXQUATERNION(k1 * pQ1->x + k2 * pQ2->x, k1 * pQ1->y + k2 * pQ2->y,
                           k1 * pQ1->z + k2 * pQ2->z, k1 * pQ1->w + k2 * pQ2->w);
    return pOut;
}

namespace {

// exp(-(ln(q^-1 * next) + ln(q^-1 * prev)) / 4) applied after q, in
// D3DXQuaternionMultiply order: the inner control point at key q.
D3DXQUATERNION SquadInnerPoint(const D3DXQUATERNION& prev, const D3DXQUATERNION& q,
                               const D3DXQUATERNION& next) {
    D3DXQUATERNION inv, toNext, toPrev, lnNext, lnPrev;
    D3DXQuaternionInverse(&inv, &q);
    D3DXQuaternionMultiply(&toNext, &inv, &next);
    D3DXQuaternionMultiply(&toPrev, &inv, &prev);
    D3DXQuaternionLn(&lnNext, &toNext);
    D3DXQuaternionLn(&lnPrev, &toPrev);
    D3DXQUATERNION e = (lnNext + lnPrev) * -0.25f;
    D3DXQuaternionExp(&e, &e);
    D3DXQUATERNION r;
    D3DXQuaternionMultiply(&r, &q, &e);
    return r;
}

}  // namespace

void D3DXQuaternionSquadSetup(D3DXQUATERNION* pAOut, D3DXQUATERNION* pBOut, D3DXQUATERNION* pCOut,
                              const D3DXQUATERNION* pQ0, const D3DXQUATERNION* pQ1,
                              const D3DXQUATERNION* pQ2, const D3DXQUATERNION* pQ3) {
    // q and -q are the same rotation; pick the covers so that neighbouring
    // keys are less than 90 degrees apart in quaternion space, which makes
    // every segment take the short way round. |a + b| < |a - b| <=> a.b < 0.
    const D3DXQUATERNION q1 = *pQ1;
    const D3DXQUATERNION q0 = D3DXQuaternionDot(pQ0, &q1) < 0.0f ? -*pQ0 : *pQ0;
    const D3DXQUATERNION q2 = D3DXQuaternionDot(&q1, pQ2) < 0.0f ? -*pQ2 : *pQ2;
    const D3DXQUATERNION q3 = D3DXQuaternionDot(&q2, pQ3) < 0.0f ? -*pQ3 : *pQ3;

    *pAOut = SquadInnerPoint(q0, q1, q2);
    *pBOut = SquadInnerPoint(q1, q2, q3);
    *pCOut = q2;
}

D3DXQUATERNION* D3DXQuaternionSquad(D3DXQUATERNION* pOut, const D3DXQUATERNION* pQ1,
                                    const D3DXQUATERNION* pA, const D3DXQUATERNION* pB,
                                    const D3DXQUATERNION* pC, float t) {
    D3DXQUATERNION outer, inner;
    D3DXQuaternionSlerp(&outer, pQ1, pC, t);
    D3DXQuaternionSlerp(&inner, pA, pB, t);
    return D3DXQuaternionSlerp(pOut, &outer, &inner, 2.0f * t * (1.0f - t));
}

// ---- Planes ----

D3DXPLANE* D3DXPlaneFromPoints(D3DXPLANE* pOut, const D3DXVECTOR3* pV1, const D3DXVECTOR3* pV2,
                               const D3DXVECTOR3* pV3) {
    const D3DXVECTOR3 e1 = *pV2 - *pV1;
    const D3DXVECTOR3 e2 = *pV3 - *pV1;
    D3DXVECTOR3 n;
    D3DXVec3Cross(&n, &e1, &e2);
    D3DXVec3Normalize(&n, &n);
    *pOut = D3DXPLANE(n.x, n.y, n.z, -D3DXVec3Dot(&n, pV1));
    return pOut;
}

D3DXPLANE* D3DXPlaneNormalize(D3DXPLANE* pOut, const D3DXPLANE* pP) {
    const float len = std::sqrt(pP->a * pP->a + pP->b * pP->b + pP->c * pP->c);
    if (len == 0.0f) {
        *pOut = D3DXPLANE(0.0f, 0.0f, 0.0f, 0.0f);
    } else {
        const float k = 1.0f / len;
        *pOut = D3DXPLANE(pP->a * k, pP->b * k, pP->c * k, pP->d * k);
    }
    return pOut;
}

float D3DXPlaneDotCoord(const D3DXPLANE* pP, const D3DXVECTOR3* pV) {
    return pP->a * pV->x + pP->b * pV->y + pP->c * pV->z + pP->d;
}

float D3DXPlaneDotNormal(const D3DXPLANE* pP, const D3DXVECTOR3* pV) {
    return pP->a * pV->x + pP->b * pV->y + pP->c * pV->z;
}

D3DXVECTOR3* D3DXPlaneIntersectLine(D3DXVECTOR3* pOut, const D3DXPLANE* pP, const D3DXVECTOR3* pV1,
                                    const D3DXVECTOR3* pV2) {
    // Points of the line: p1 + s (p2 - p1); on the plane when
    // dot(n, p1) + d + s dot(n, p2 - p1) = 0.
    const D3DXVECTOR3 dir = *pV2 - *pV1;
    const float denom = D3DXPlaneDotNormal(pP, &dir);
    if (denom == 0.0f) return nullptr;
    const float s = -D3DXPlaneDotCoord(pP, pV1) / denom;
    const D3DXVECTOR3 hit = *pV1 + dir * s;
    if (!std::isfinite(hit.x) || !std::isfinite(hit.y) || !std::isfinite(hit.z)) return nullptr;
    *pOut = hit;
    return pOut;
}
