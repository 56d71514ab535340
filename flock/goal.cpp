// The guide whale: target choice and swimming. See goal.h.
#include "flock/goal.h"

#include <cmath>

#include "flock/boids.h"
#include "platform/os/clock.h"
#include "scene/background_obj.h"
#include "settings/settings.h"

namespace {

float Unit() { return static_cast<float>(Rand() / 32767.0); }

}  // namespace

void Goal::ApplySettings(const Settings* s) {
    m_fBaseSpeed = s->intWhlSpeedCur / 100.0f * 0.037f + 0.037f;
    m_bAnimation = s->intChkAnim;
    m_bCollision = s->intChkClsn;
    m_bLargeModel = s->intChkLargeModel;
    m_nCameraMode = s->intCamMod;
}

void Goal::SeedTargets(unsigned seed) { SRand(seed); }

void Goal::UpdateTarget(const D3DXVECTOR3& eye, float dt) {
    m_fTargetTimer += 1.0f * dt;
    if (m_fTargetTimer > m_fTargetPeriod) {
        // Mode 1 never follows: the flag keeps its construction value 0 there.
        if (m_nCameraMode != 1) m_bFollow = (Rand() % 2 == 0) ? 1 : 0;
        float u[6];
        for (float& v : u) v = Unit();
        m_vTarget = D3DXVECTOR3((u[3] - u[4]) * 600.0f, (u[1] - u[2]) * 150.0f, (u[5] - u[0]) * 600.0f);
        const float w1 = Unit();
        const float w2 = Unit();
        m_fTargetPeriod = (w2 - w1) * 40.0f + 40.0f;  // 0 to 80 s, most often near 40
        m_fTargetTimer = 0.0f;
    }
    if (m_bFollow == 1) m_vTarget = (m_nCameraMode == 3) ? D3DXVECTOR3(0.0f, 0.0f, 0.0f) : eye;
}

void Goal::Update(float dt, BackGroundObj* obstacles) {
    const float g = m_fBaseSpeed;

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

    // Feeler: the first obstacle hit within the check range. The guide
    // avoids as the school does (Boids: the feeler's reach, AvoidancePush
    // toward the target's side, the faster turn), so that it slides along
    // the obstacle instead of meeting it head-on, where the bare normal
    // would leave the yaw-rate rule in its dead band, not turning at all.
    D3DXVECTOR3 avoid(0.0f, 0.0f, 0.0f);
    int collided = 0;
    if (m_bCollision && obstacles && obstacles->GetObjects()) {
        ModelInstance* objects = obstacles->GetObjects();
        const float reach = std::fmax(kFeelerLength, m_fSpeed * 100.0f * Boids::kFeelerSeconds);
        const D3DXVECTOR3 tip = m_vPosition + m_vHeading * reach;
        for (int k = 0; k < obstacles->GetObjectNum(); ++k) {
            D3DXVECTOR3 at;
            objects[k].GetPosition(&at);
            const D3DXVECTOR3 toObstacle = m_vPosition - at;
            if (!(D3DXVec3Length(&toObstacle) < obstacles->m_fCheckRange)) continue;
            D3DXVECTOR3 normal;
            if (objects[k].Intersect(m_vPosition, tip, &normal) == 1) {
                avoid += AvoidancePush(normal, m);
                collided = 1;
                break;
            }
        }
    }

    const float dO = D3DXVec3Length(&m_vPosition);

    D3DXVECTOR3 s = avoid + m;
    const float sLength = D3DXVec3Length(&s);
    if (sLength > 1.0f) s /= sLength;

    if (s.y > 0.01f) {
        m_fPitch += 0.2f * dt;
        if (m_fPitch > 0.8f) m_fPitch = 0.8f;
    } else if (s.y < -0.01f) {
        m_fPitch -= 0.2f * dt;
        if (m_fPitch < -0.8f) m_fPitch = -0.8f;
    } else {
        if (m_fPitch > 0.0f) m_fPitch -= std::fabs(m_fPitch) * 0.8f * dt;
        if (m_fPitch < 0.0f) m_fPitch += std::fabs(m_fPitch) * 0.8f * dt;
    }

    // Unlike the flock, the drift back to the base speed is proportional to
    // the speed itself; from the construction speed 0 the clamp lifts it to g / 2.
    m_fSpeed -= g * m_fPitch * 0.25f * dt;
    if (m_fSpeed > g) m_fSpeed -= std::fabs(m_fSpeed) * 0.3f * dt;
    if (m_fSpeed < g) m_fSpeed += std::fabs(m_fSpeed) * 0.3f * dt;
    if (m_fSpeed < g / 2.0f) m_fSpeed = g / 2.0f;
    if (m_fSpeed > 2.0f * g) m_fSpeed = 2.0f * g;

    D3DXVECTOR3 h(s.x, 0.0f, s.z), d = m_vHeading;
    D3DXVec3Normalize(&h, &h);
    D3DXVec3Normalize(&d, &d);
    const float c = D3DXVec3Dot(&h, &d);
    if (c > 0.0f) m_fSpeed += 0.5f * g * dt;
    D3DXVECTOR3 x;
    D3DXVec3Cross(&x, &d, &h);
    const float turn = (1.0f - c) * (collided ? Boids::kAvoidanceTurnRate : 0.15f) * dt;

    UpdateYawRate(&m_fYawRate, x.y, c, turn, dt, 0.01f);  // the flock restarts at 0.1
    m_fYaw = WrapYaw(m_fYaw + dt * m_fYawRate);
    m_fRoll = -0.2f * m_fYawRate;

    D3DXMATRIX world;
    BuildSwimmerMatrix(&world, m_fYaw, m_fPitch, m_fRoll, m_vPosition);
    m_Instance.SetWorldMatrix(world);
    m_vHeading = D3DXVECTOR3(world._31, world._32, world._33);

    m_vPosition += m_vHeading * (m_fSpeed * 100.0f * dt);
    if (dO > kOriginEscape) {  // no centroid rule for the guide
        m_vPosition = D3DXVECTOR3(0.0f, 0.0f, 0.0f);
        ++m_dwEscapes;
    }
}
