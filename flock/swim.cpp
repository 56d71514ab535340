// The shared swimming rules. See swim.h.
#include "flock/swim.h"

#include <cmath>

#include "scene/background_obj.h"
#include "scene/model_instance.h"

namespace {

D3DXVECTOR3 Normalised(const D3DXVECTOR3& v) {
    D3DXVECTOR3 out;
    D3DXVec3Normalize(&out, &v);
    return out;
}

// Climb or dive at the pitch rate up to 0.8 rad, else relax toward level.
void Pitch(const SwimTuning& t, float steerY, float dt, float* pitch) {
    if (steerY > 0.01f) {
        *pitch += t.pitchRate * dt;
        if (*pitch > 0.8f) *pitch = 0.8f;
    } else if (steerY < -0.01f) {
        *pitch -= t.pitchRate * dt;
        if (*pitch < -0.8f) *pitch = -0.8f;
    } else {
        if (*pitch > 0.0f) *pitch -= std::fabs(*pitch) * t.pitchRelax * dt;
        if (*pitch < 0.0f) *pitch += std::fabs(*pitch) * t.pitchRelax * dt;
    }
}

// Climbing slows, diving speeds up, a feeler hit brakes; drift back to the
// base speed and stay within [base / 2, 2 base].
void Speed(const SwimTuning& t, float pitch, bool collided, float base, float dt, float* speed) {
    *speed -= pitch * base * 0.25f * dt;
    if (collided) *speed -= base * kAvoidanceBrake * dt;
    auto drift = [&] { return (t.driftBySpeed ? std::fabs(*speed) : base) * t.speedDrift * dt; };
    if (*speed > base) *speed -= drift();
    if (*speed < base) *speed += drift();
    if (*speed < base / 2.0f) *speed = base / 2.0f;
    if (*speed > 2.0f * base) *speed = 2.0f * base;
}

}  // namespace

bool FeelObstacle(const D3DXVECTOR3& position, const D3DXVECTOR3& heading, float speed, float feelerLength,
                  BackGroundObj* obstacles, D3DXVECTOR3* normal) {
    ModelInstance* objects = obstacles ? obstacles->GetObjects() : nullptr;
    if (!objects) return false;
    const float reach = std::fmax(feelerLength, speed * 100.0f * kFeelerSeconds);
    const D3DXVECTOR3 tip = position + heading * reach;
    for (int k = 0; k < obstacles->GetObjectNum(); ++k) {
        D3DXVECTOR3 at;
        objects[k].GetPosition(&at);
        const D3DXVECTOR3 toObstacle = position - at;
        if (!(D3DXVec3Length(&toObstacle) < obstacles->m_fCheckRange)) continue;
        if (objects[k].Intersect(position, tip, normal) == 1) return true;
    }
    return false;
}

void SwimStep(const SwimTuning& t, const D3DXVECTOR3& steer, bool collided, float base, float dt,
              const SwimBody& body) {
    Pitch(t, steer.y, dt, &body.pitch);
    Speed(t, body.pitch, collided, base, dt, &body.speed);

    // Horizontal steering: a bonus for a goal ahead, a turn toward the side it lies on.
    const D3DXVECTOR3 h = Normalised(D3DXVECTOR3(steer.x, 0.0f, steer.z));
    const D3DXVECTOR3 d = Normalised(body.heading);
    const float c = D3DXVec3Dot(&h, &d);
    if (c > 0.0f) body.speed += t.aheadBonus * base * dt;
    D3DXVECTOR3 x;
    D3DXVec3Cross(&x, &d, &h);
    const float turn = (1.0f - c) * (collided ? kAvoidanceTurnRate : kCruiseTurnRate) * dt;
    UpdateYawRate(&body.yawRate, x.y, c, turn, dt, t.yawRestart);
    body.yaw = WrapYaw(body.yaw + body.yawRate * dt);
    body.roll = t.rollPerYaw * body.yawRate;  // bank into the turn

    D3DXMATRIX world;
    BuildSwimmerMatrix(&world, body.yaw, body.pitch, body.roll, body.position);
    body.instance.SetWorldMatrix(world);
    body.heading = D3DXVECTOR3(world._31, world._32, world._33);
    // The matrix keeps the position from before this move until the next step.
    body.position += body.heading * (body.speed * 100.0f * dt);
}

D3DXVECTOR3 TurnAvoidanceNormal(const D3DXVECTOR3& normal, const D3DXVECTOR3& migration) {
    const D3DXVECTOR3 plus(normal.z, normal.y, -normal.x);  // row vector times the y rotation of +pi/2
    if (D3DXVec3Dot(&plus, &migration) >= 0.0f) return plus;
    return D3DXVECTOR3(-normal.z, normal.y, normal.x);  // the y rotation of -pi/2
}

D3DXVECTOR3 AvoidancePush(const D3DXVECTOR3& normal, const D3DXVECTOR3& migration) {
    const D3DXVECTOR3 n = Normalised(normal);
    return (TurnAvoidanceNormal(n, migration) + n * kAvoidanceLean) * kAvoidancePush;
}

void UpdateYawRate(float* rate, float crossY, float c, float turn, float dt, float restart) {
    if (crossY > 0.1f) {
        if (*rate > -0.8f) *rate -= std::fabs(turn);
    } else if (crossY < -0.1f) {
        if (*rate < 0.8f) *rate += std::fabs(turn);
    } else if (c > 0.0f) {
        if (*rate > 0.01f) {
            *rate -= std::fabs(*rate) * 25.0f * dt;
        } else if (*rate < -0.01f) {
            *rate += std::fabs(*rate) * 25.0f * dt;
        } else {
            *rate = restart;
        }
    }
}

float WrapYaw(float yaw) {
    constexpr double kTurn = 6.283185307179586;
    if (yaw >= -3.14159265f && yaw <= 3.14159265f) return yaw;
    return static_cast<float>(std::remainder(static_cast<double>(yaw), kTurn));
}

void BuildSwimmerMatrix(D3DXMATRIX* out, float yaw, float pitch, float roll, const D3DXVECTOR3& position) {
    D3DXQUATERNION q;
    D3DXQuaternionRotationYawPitchRoll(&q, -yaw, -pitch, -roll);
    D3DXMATRIX rotation, translation;
    D3DXMatrixRotationQuaternion(&rotation, &q);
    D3DXMatrixTranslation(&translation, position.x, position.y, position.z);
    D3DXMatrixMultiply(out, &rotation, &translation);
}
