// CameraRig: the camera carrier that rides the Ferguson path with a slowly
// pulsing pace, looks one segment ahead and bobs up and down. Its pose is
// the camera of the floating and composite camera modes.
#pragma once

#include "flock/ferguson.h"
#include "platform/d3dx/d3dx_math.h"
#include "scene/model_instance.h"

class CameraRig {
public:
    static constexpr float kPhaseEnd = 4.712389f;  // 3 pi / 2: the pace cycle restarts here
    static constexpr float kPhaseRate = 0.1f;      // radians per second
    static constexpr float kMinPace = 0.1f;
    // The bob: linear at kBobSpeed between kBobLow and kBobHigh (world units
    // above the curve), pulled back by kBobSpeed units per second per second beyond.
    static constexpr float kBobSpeed = 5.0f;
    static constexpr float kBobLow = -20.0f;
    static constexpr float kBobHigh = 25.0f;

    CameraRig() = default;

    // Advances the rig by dt seconds along `path` and rebuilds its pose.
    int Update(const Ferguson& path, float dt);

    // The rig's pose (camera-to-world); no model is ever attached.
    ModelInstance& GetInstance() { return m_Instance; }
    const D3DXMATRIX& GetWorldMatrix() const { return m_Instance.GetWorldMatrix(); }

    float m_fT = 0.0f;            // path parameter, segments
    float m_fPathSpeed = 0.2f;    // segments per second at full pace
    float m_fHeight = 0.0f;       // bob height above the curve, world units
    float m_fBobVelocity = kBobSpeed;  // world units per second, signed (up > 0)
    float m_fPhase = 0.0f;        // pace phase, radians
    D3DXVECTOR3 m_vPathPoint{0.0f, 0.0f, 0.0f};
    D3DXVECTOR3 m_vLookAhead{0.0f, 0.0f, 0.0f};

private:
    ModelInstance m_Instance;
};
