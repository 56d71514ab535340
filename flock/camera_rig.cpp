// The camera rig's pace, bob and pose. See camera_rig.h.
#include "flock/camera_rig.h"

#include <cmath>

int CameraRig::Update(const Ferguson& path, float dt) {
    m_fPhase += kPhaseRate * dt;
    if (m_fPhase > kPhaseEnd) m_fPhase = 0.0f;
    // The pace rises from 0.1 to 1 and back, then rests at 0.1 for the last
    // third of the 47.1-second cycle.
    float pace = std::sin(m_fPhase);
    if (pace < kMinPace) pace = kMinPace;

    m_fT += pace * m_fPathSpeed * dt;
    if (!(m_fT < static_cast<float>(path.GetCount()))) m_fT = 0.0f;  // the excess is dropped
    path.Evaluate(m_fT, &m_vPathPoint, &m_vLookAhead);

    // Linear between -20 and 25, pulled back beyond them. The pull is summed
    // over uneven frames, so a rig comes back a little faster or slower than
    // it went out, and bounce after bounce the speed would wander at random
    // (to 3 or 20 units per second within days): inside the band the speed
    // is held at its size of 5, keeping its direction.
    m_fHeight += dt * m_fBobVelocity;
    if (m_fHeight > kBobHigh) {
        m_fBobVelocity += -kBobSpeed * dt;
    } else if (m_fHeight < kBobLow) {
        m_fBobVelocity += kBobSpeed * dt;
    } else {
        m_fBobVelocity = std::copysign(kBobSpeed, m_fBobVelocity);
    }

    m_Instance.SetPosition(m_vPathPoint.x, m_vPathPoint.y, m_vPathPoint.z);
    // Coincident points (a one-point path) have no direction: keep the last one.
    if (!(m_vLookAhead == m_vPathPoint)) m_Instance.LookAt(m_vLookAhead.x, m_vLookAhead.y, m_vLookAhead.z);
    m_Instance.Translate(0.0f, m_fHeight, 0.0f, 1);
    return 0;
}
