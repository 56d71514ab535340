// The three camera modes that move the saver's camera once per frame, after
// every object has been updated: 1 floating (rides the camera rig, looks at
// the school), 2 composite (swings between the rig and a fixed point while
// zooming on the school), 3 rotating (circles the point (0, 10, 0) at the
// radius and angular speed it starts with). Any other mode number behaves as 1.
//
// The modes know nothing of the flock: the caller hands them this frame's
// values. The device may be null (headless runs); the camera is still moved.
#pragma once

#include "platform/d3d8/d3d8.h"
#include "platform/d3dx/d3dx_math.h"
#include "settings/settings.h"
#include "view/camera.h"

struct CameraModeInput {
    int mode = kCameraFloating;  // the settings' intCamMod (a CameraMode)
    D3DXMATRIX rigPose;       // the camera rig's world matrix (modes 1 and 2)
    D3DXVECTOR3 flockCentre;  // mean of the whales' positions (modes 1 and 2)
    float dt = 0.0f;          // this frame's time step, seconds
    float aspect = 4.0f / 3.0f;
    float fogFar = 10000.0f;  // the far plane of mode 2's projection
};

class CameraModes {
public:
    static constexpr float kSwingRate = 0.035f;  // mode 2 phase, radians per second
    static constexpr float kTwoPi = 6.2831853f;
    static constexpr float kOrbitStep = 12.5f;   // mode 3, world units per second sideways
    static constexpr float kOrbitCentreY = 10.0f;  // mode 3 circles and faces (0, kOrbitCentreY, 0)
    // Mode 2's narrowest field of view: the zoom at its far limit (k = 50),
    // pi / 175. The blend toward 2 f_z - 2 pi / 7 at s = -1 would reach zero
    // or below for k >= 2; it is clamped here instead of flipping the image.
    static constexpr float kMinFieldOfView = 3.14159265f / 175.0f;

    // Moves `camera` by the mode in `in`. Returns 0.
    int Apply(IDirect3DDevice8* device, Camera* camera, const CameraModeInput& in);

    // Mode 2's zoom field of view for a school at `centre` (pi / (3.5 k),
    // k = |centre - (1, 1, 1)| / 400 clamped to 1..50).
    static float ZoomFieldOfView(const D3DXVECTOR3& centre);

    float GetPhase() const { return m_fPhase; }
    void SetPhase(float phase) { m_fPhase = phase; }
    // The field of view mode 2 set last (radians).
    float GetLastFieldOfView() const { return m_fLastFov; }
    // The point the last Apply turned the camera to (world space).
    const D3DXVECTOR3& GetLastAim() const { return m_vAim; }
    // Mode 3's orbit radius about the vertical axis through its centre, world
    // units: taken from the eye at the first rotating frame; 0 before that.
    float GetOrbitRadius() const { return m_fOrbitRadius; }

private:
    void Floating(IDirect3DDevice8* device, Camera* camera, const CameraModeInput& in);
    void Composite(IDirect3DDevice8* device, Camera* camera, const CameraModeInput& in);
    void Rotating(IDirect3DDevice8* device, Camera* camera, const CameraModeInput& in);

    float m_fPhase = 0.0f;  // mode 2 swing phase, radians, wraps to exactly 0 at 2 pi
    float m_fSine = 0.0f;
    float m_fLastFov = Camera::kFieldOfView;
    float m_fOrbitRadius = 0.0f;
    D3DXVECTOR3 m_vAim{0.0f, 0.0f, 0.0f};
};
