// Floating, composite and rotating camera. See camera_mode.h.
#include "view/camera_mode.h"

#include <cassert>
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
    assert(camera && "CameraModes::Apply places the frame's camera: pass it");
    switch (in.mode) {
        case kCameraComposite: Composite(device, camera, in); break;
        case kCameraRotating: Rotating(device, camera, in); break;
        default: Floating(device, camera, in); break;
    }
    return 0;
}

void CameraModes::Floating(IDirect3DDevice8* device, Camera* camera, const CameraModeInput& in) {
    m_vAim = in.flockCentre;
    camera->SetPose(in.rigPose);
    camera->LookAt(device, in.flockCentre, kUp);
}

void CameraModes::Composite(IDirect3DDevice8* device, Camera* camera, const CameraModeInput& in) {
    const D3DXVECTOR3 p(in.rigPose._41, in.rigPose._42, in.rigPose._43);
    const D3DXVECTOR3 q(20.0f, 20.0f, 50.0f);
    const float zoom = ZoomFieldOfView(in.flockCentre);
    m_vAim = in.flockCentre;

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
    // A sideways step along the camera's own -x (horizontal, since the camera
    // faces the centre with y up), then re-aim: the camera circles (0, 10, 0)
    // at 12.5 / r rad/s, about 0.052 from the start position (0, 0, -240).
    // Each straight step is a tangent and adds its square to the squared
    // radius: at 60 frames a second the radius would double within a day. The
    // eye is brought back to the radius of the first rotating frame along the
    // horizontal line from the orbit's axis, so radius, height and angular
    // speed stay those of the start (and a nudge of the eye out of an obstacle
    // lasts one frame). The step keeps its direction and size.
    m_vAim = D3DXVECTOR3(0.0f, kOrbitCentreY, 0.0f);
    const auto horizontalRadius = [](const D3DXVECTOR3& eye) { return std::hypot(eye.x, eye.z); };
    if (!(m_fOrbitRadius > 0.0f)) m_fOrbitRadius = horizontalRadius(camera->GetPosition());
    camera->Translate(-kOrbitStep * in.dt, 0.0f, 0.0f, 0);
    D3DXMATRIX pose = camera->GetPose();
    const float r = horizontalRadius(D3DXVECTOR3(pose._41, pose._42, pose._43));
    // An eye on the axis has no direction to be scaled along: it is left there.
    if (r > 0.0f && m_fOrbitRadius > 0.0f && std::isfinite(r)) {
        const float scale = m_fOrbitRadius / r;
        pose._41 *= scale;
        pose._43 *= scale;
        camera->SetPose(pose);
    }
    camera->LookAt(device, m_vAim, kUp);
}
