// Floating, composite and rotating camera. See camera_mode.h.
#include "view/camera_mode.h"

#include <cmath>

namespace {

const D3DXVECTOR3 kUp(0.0f, 1.0f, 0.0f);

}  // namespace

float CameraModes::ZoomFieldOfView(const D3DXVECTOR3& centre) {
    const D3DXVECTOR3 v = centre - D3DXVECTOR3(1.0f, 1.0f, 1.0f);
    float k = D3DXVec3Length(&v) / 400.0f;
    if (k < 1.0f) k = 1.0f;
    if (k > 50.0f) k = 50.0f;
    return 3.14159265f / (3.5f * k);
}

int CameraModes::Apply(IDirect3DDevice8* device, Camera* camera, const CameraModeInput& in) {
    switch (in.mode) {
        case kCameraComposite: Composite(device, camera, in); break;
        case kCameraRotating: Rotating(device, camera, in); break;
        default: Floating(device, camera, in); break;
    }
    return 0;
}

void CameraModes::Floating(IDirect3DDevice8* device, Camera* camera, const CameraModeInput& in) {
    camera->SetPose(in.rigPose);
    camera->LookAt(device, in.flockCentre, kUp);
}

void CameraModes::Composite(IDirect3DDevice8* device, Camera* camera, const CameraModeInput& in) {
    const D3DXVECTOR3 p(in.rigPose._41, in.rigPose._42, in.rigPose._43);
    const D3DXVECTOR3 q(20.0f, 20.0f, 50.0f);
    const float zoom = ZoomFieldOfView(in.flockCentre);

    m_fPhase += kSwingRate * in.dt;  // one swing in about 179.5 s
    if (m_fPhase >= kTwoPi) m_fPhase = 0.0f;
    m_fSine = std::sin(m_fPhase);
    const float s = m_fSine;

    // s runs from -1 to 1: the eye moves along the line through P and Q, and
    // the field of view blends between the standard one and the zoom.
    const D3DXVECTOR3 eye = p * s + q * (1.0f - s);
    float fov = s * Camera::kFieldOfView + (1.0f - s) * zoom;
    if (!(fov >= kMinFieldOfView)) fov = kMinFieldOfView;
    m_fLastFov = fov;

    D3DXMATRIX view, pose, projection;
    D3DXMatrixLookAtLH(&view, &eye, &in.flockCentre, &kUp);
    if (device) device->SetTransform(D3DTS_VIEW, &view);
    D3DXMatrixPerspectiveFovLH(&projection, fov, in.aspect, FogState::kNear, in.fogFar);
    if (device) device->SetTransform(D3DTS_PROJECTION, &projection);
    // An eye exactly on the school's centre has no view: keep the last pose.
    if (D3DXMatrixInverse(&pose, nullptr, &view)) camera->SetPose(pose);
    camera->SetProjMatrix(projection);
}

void CameraModes::Rotating(IDirect3DDevice8* device, Camera* camera, const CameraModeInput& in) {
    // A sideways step along the camera's own -x, then re-aim: the camera
    // circles (0, 10, 0) at about 12.5 / 240 rad/s from the start position.
    camera->Translate(-kOrbitStep * in.dt, 0.0f, 0.0f, 0);
    camera->LookAt(device, D3DXVECTOR3(0.0f, 10.0f, 0.0f), kUp);
}
