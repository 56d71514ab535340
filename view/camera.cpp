// Camera pose, projection, billboard and frustum; the fog holder.
#include "view/camera.h"

#include <cassert>

Camera::Camera() { ResetMatrices(); }

int Camera::ResetMatrices() {
    D3DXMatrixIdentity(&m_matPose);
    D3DXMatrixIdentity(&m_matProj);
    D3DXMatrixIdentity(&m_matPrevPose);
    D3DXMatrixIdentity(&m_matView);
    D3DXMatrixIdentity(&m_matSpare);
    D3DXMatrixIdentity(&m_matBillboard);
    return 0;
}

void Camera::SetPosition(float x, float y, float z) {
    m_matPose._41 = x;
    m_matPose._42 = y;
    m_matPose._43 = z;
}

int Camera::Translate(float x, float y, float z, int inWorld) {
    m_matPrevPose = m_matPose;
    D3DXMatrixTranslation(&m_matView, x, y, z);
    if (inWorld) {
        D3DXMatrixMultiply(&m_matPose, &m_matPrevPose, &m_matView);  // along world axes
    } else {
        D3DXMatrixMultiply(&m_matPose, &m_matView, &m_matPrevPose);  // along the camera's axes
    }
    return 0;
}

int Camera::LookAt(IDirect3DDevice8* device, const D3DXVECTOR3& at, const D3DXVECTOR3& up) {
    D3DXVECTOR3 eye = GetPosition();
    D3DXMatrixLookAtLH(&m_matView, &eye, &at, &up);
    if (device) device->SetTransform(D3DTS_VIEW, &m_matView);
    D3DXMatrixInverse(&m_matPose, nullptr, &m_matView);
    return 0;
}

int Camera::SetProjection(IDirect3DDevice8* device, float aspect, float nearZ, float farZ) {
    assert(aspect > 0.0f && nearZ > 0.0f && farZ > nearZ && "a projection needs aspect > 0 and 0 < near < far");
    D3DXMatrixPerspectiveFovLH(&m_matProj, kFieldOfView, aspect, nearZ, farZ);
    if (device) device->SetTransform(D3DTS_PROJECTION, &m_matProj);
    return 0;
}

D3DXMATRIX Camera::GetBillboard() {
    m_matBillboard = m_matPose;
    m_matBillboard._41 = 0.0f;
    m_matBillboard._42 = 0.0f;
    m_matBillboard._43 = 0.0f;
    return m_matBillboard;
}

void Camera::UpdateFrustum() {
    D3DXMatrixInverse(&m_matView, nullptr, &m_matPose);
    D3DXMATRIX viewProj, toWorld;
    D3DXMatrixMultiply(&viewProj, &m_matView, &m_matProj);
    if (!D3DXMatrixInverse(&toWorld, nullptr, &viewProj)) return;  // degenerate: keep last frustum

    // Clip-space corners: x, y in -1..1, z 0 (near) .. 1 (far).
    static const float kClip[8][3] = {{-1, -1, 0}, {1, -1, 0}, {-1, 1, 0}, {1, 1, 0},
                                      {-1, -1, 1}, {1, -1, 1}, {-1, 1, 1}, {1, 1, 1}};
    D3DXVECTOR3* c = m_Frustum.corners;
    for (int i = 0; i < 8; ++i) {
        D3DXVECTOR3 p(kClip[i][0], kClip[i][1], kClip[i][2]);
        D3DXVec3TransformCoord(&c[i], &p, &toWorld);
    }
    D3DXPLANE* pl = m_Frustum.planes;
    D3DXPlaneFromPoints(&pl[kPlaneNear], &c[0], &c[1], &c[2]);
    D3DXPlaneFromPoints(&pl[kPlaneFar], &c[6], &c[7], &c[5]);
    D3DXPlaneFromPoints(&pl[kPlaneLeft], &c[2], &c[6], &c[4]);
    D3DXPlaneFromPoints(&pl[kPlaneRight], &c[7], &c[3], &c[5]);
    D3DXPlaneFromPoints(&pl[kPlaneTop], &c[2], &c[3], &c[6]);
    D3DXPlaneFromPoints(&pl[kPlaneBottom], &c[1], &c[0], &c[4]);
}

int FogState::SetColor(D3DCOLOR colour) {
    m_dwColor = colour;
    m_bDirty = 1;
    return 0;
}

int FogState::Apply(IDirect3DDevice8* device, Camera* camera, float aspect, int force) {
    if (!m_bDirty && force != 1) return 0;
    device->SetRenderState(D3DRS_FOGENABLE, TRUE);
    device->SetRenderState(D3DRS_FOGCOLOR, m_dwColor);
    device->SetRenderState(D3DRS_FOGVERTEXMODE, D3DFOG_LINEAR);
    device->SetRenderState(D3DRS_FOGSTART, FloatToDword(0.0f));
    device->SetRenderState(D3DRS_FOGEND, FloatToDword(m_fFar));
    camera->SetProjection(device, aspect, kNear, m_fFar);
    m_bDirty = 0;
    return 0;
}
