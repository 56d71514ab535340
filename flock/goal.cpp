// The guide whale: target choice and swimming. See goal.h.
#include "flock/goal.h"

#include "flock/swim.h"
#include "platform/os/clock.h"
#include "scene/background_obj.h"
#include "settings/settings.h"

void Goal::ApplySettings(const Settings* s) {
    m_fBaseSpeed = s->intWhlSpeedCur / 100.0f * 0.037f + 0.037f;
    m_bCollision = s->intChkClsn;
    m_nCameraMode = s->intCamMod;
}

void Goal::SeedTargets(unsigned seed) { SRand(seed); }

void Goal::UpdateTarget(const D3DXVECTOR3& eye, float dt) {
    m_fTargetTimer += 1.0f * dt;
    if (m_fTargetTimer > m_fTargetPeriod) {
        // Floating never follows: the flag keeps its construction value 0 there.
        if (m_nCameraMode != kCameraFloating) m_bFollow = (Rand() % 2 == 0) ? 1 : 0;
        float u[6];
        for (float& v : u) v = RandUnit();
        m_vTarget = D3DXVECTOR3((u[3] - u[4]) * 600.0f, (u[1] - u[2]) * 150.0f, (u[5] - u[0]) * 600.0f);
        const float w1 = RandUnit();
        const float w2 = RandUnit();
        m_fTargetPeriod = (w2 - w1) * 40.0f + 40.0f;  // 0 to 80 s, most often near 40
        m_fTargetTimer = 0.0f;
    }
    if (m_bFollow == 1) m_vTarget = (m_nCameraMode == kCameraRotating) ? D3DXVECTOR3(0.0f, 0.0f, 0.0f) : eye;
}

void Goal::Update(float dt, BackGroundObj* obstacles) {
    // A target inside an obstacle, or close to one, cannot be reached: the
    // guide would circle it, in and out of the hull. It aims at the nearest
    // point kTargetClearance outside the hull instead.
    D3DXVECTOR3 aim = m_vTarget;
    if (m_bCollision && obstacles && obstacles->GetObjects()) {
        for (int k = 0; k < obstacles->GetObjectNum(); ++k) {
            obstacles->GetObjects()[k].PushOutOfHullBoxes(&aim, kTargetClearance);
        }
    }
    D3DXVECTOR3 m = aim - m_vPosition;
    D3DXVec3Normalize(&m, &m);

    // The feeler avoids as the school's does, pushing toward the target's
    // side, so the guide slides along an obstacle instead of meeting it
    // head-on, where the bare normal would leave the yaw-rate rule in its
    // dead band, not turning at all.
    D3DXVECTOR3 avoid(0.0f, 0.0f, 0.0f);
    D3DXVECTOR3 normal;
    const bool collided = m_bCollision && FeelObstacle(m_vPosition, m_vHeading, m_fSpeed, kGuideSwim.feelerLength,
                                                       obstacles, &normal);
    if (collided) avoid += AvoidancePush(normal, m);

    const float dO = D3DXVec3Length(&m_vPosition);

    D3DXVECTOR3 s = avoid + m;
    const float sLength = D3DXVec3Length(&s);
    if (sLength > 1.0f) s /= sLength;

    SwimStep(kGuideSwim, s, collided, m_fBaseSpeed, dt,
             {m_vPosition, m_vHeading, m_fSpeed, m_fYaw, m_fPitch, m_fRoll, m_fYawRate, m_Instance});
    if (dO > kOriginEscape) {  // no centroid rule for the guide
        m_vPosition = D3DXVECTOR3(0.0f, 0.0f, 0.0f);
        ++m_dwEscapes;
    }
}
