// Goal: the guide whale the school migrates toward. It swims on its own,
// with the flock's body model and its own constants, to a target that is
// re-chosen at random intervals (a random point in a box around the origin,
// or, in camera modes 2 and 3, the camera eye or the origin). Simulation
// only: the shell draws the guide (shell/whale_drawing.h) at its pose.
//
// Units and frames as in boids.h: world units, radians, seconds, speed in
// hundredths of units per second, nose along the world matrix's third row.
#pragma once

#include "platform/base/wintypes.h"
#include "platform/d3dx/d3dx_math.h"
#include "scene/model_instance.h"

class BackGroundObj;
class Settings;

class Goal {
public:
    static constexpr float kTargetClearance = 30.0f;  // world units a target keeps from an obstacle's hull
    static constexpr float kOriginEscape = 8000.0f;  // farther from the origin: back to it

    Goal() = default;

    // Copies the guide's values from the settings record (once, before start-up).
    void ApplySettings(const Settings* settings);
    // Re-seeds the random generator the target draws come from; the start-up
    // passes the millisecond clock.
    void SeedTargets(unsigned seed);
    // Advances the target timer by dt and, when it passes the period, draws
    // the follow flag (not in camera mode 1), a new random target and a new
    // period. While following, the target is the origin (camera mode 3) or
    // `eye`, the camera position of the previous frame.
    void UpdateTarget(const D3DXVECTOR3& eye, float dt);
    // One swimming step of dt seconds; obstacles may be null.
    void Update(float dt, BackGroundObj* obstacles);

    // The guide's pose; its translation row is the position the flock reads
    // (from before this frame's move).
    ModelInstance& GetInstance() { return m_Instance; }
    const D3DXMATRIX& GetWorldMatrix() const { return m_Instance.GetWorldMatrix(); }
    // Times the guide was put back at the origin.
    DWORD GetEscapeCount() const { return m_dwEscapes; }

    D3DXVECTOR3 m_vPosition{200.0f, 25.0f, 200.0f};
    D3DXVECTOR3 m_vHeading{1.0f, 0.0f, 0.0f};
    float m_fSpeed = 0.0f;
    float m_fYaw = 0.0f;
    float m_fPitch = 0.0f;
    float m_fRoll = 0.0f;
    float m_fYawRate = 0.0f;
    D3DXVECTOR3 m_vTarget{0.0f, 25.0f, 0.0f};
    int m_bFollow = 0;              // 1: the target tracks the camera eye or the origin
    float m_fTargetPeriod = 40.0f;  // seconds until the next target is drawn
    float m_fTargetTimer = 0.0f;
    float m_fBaseSpeed = 0.035f;  // the guide's own base speed until the settings come
    int m_bCollision = 1;
    int m_nCameraMode = 0;

private:
    ModelInstance m_Instance;
    DWORD m_dwEscapes = 0;
};
