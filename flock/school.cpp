// The flock subsystem's frame order. See school.h.
#include "flock/school.h"

#include <cassert>
#include <cmath>

#include "scene/background_obj.h"
#include "view/camera.h"

D3DXVECTOR3 UpdateSchool(Goal* goal, Boids* boids, Ferguson* path, CameraRig* rig, BackGroundObj* obstacles,
                         const D3DXVECTOR3& eye, float dt) {
    assert(goal && boids && path && rig && "UpdateSchool needs the guide, the school, the path and the rig");
    goal->UpdateTarget(eye, dt);
    goal->Update(dt, obstacles);
    D3DXVECTOR3 goalPoint;
    goal->GetInstance().GetPosition(&goalPoint);
    boids->SetGoalPoint(goalPoint);
    boids->Update(dt, obstacles);
    const D3DXVECTOR3 centre = boids->GetCentre();
    path->SetCentre(centre);
    rig->Update(*path, dt);
    return centre;
}

int KeepEyeOutOfObstacles(Camera* camera, BackGroundObj* obstacles) {
    assert(camera && "KeepEyeOutOfObstacles moves the frame's camera: pass it");
    if (!obstacles || !obstacles->GetObjects()) return 0;
    D3DXVECTOR3 eye = camera->GetPosition();
    int moved = 0;
    for (int k = 0; k < obstacles->GetObjectNum(); ++k) {
        moved |= obstacles->GetObjects()[k].PushOutOfHullBoxes(&eye, kEyeClearance);
    }
    if (!moved) return 0;
    D3DXMATRIX pose = camera->GetPose();
    pose._41 = eye.x;
    pose._42 = eye.y;
    pose._43 = eye.z;
    camera->SetPose(pose);
    D3DXMATRIX view;
    if (D3DXMatrixInverse(&view, nullptr, &pose)) camera->SetView(view);
    return 1;
}

namespace {

int CountNonFinite(const float* v, int n) {
    int bad = 0;
    for (int i = 0; i < n; ++i) bad += std::isfinite(v[i]) ? 0 : 1;
    return bad;
}
int CountNonFinite(const D3DXVECTOR3& v) { return CountNonFinite(&v.x, 3); }
int CountNonFinite(const D3DXMATRIX& m) { return CountNonFinite(&m._11, 16); }

}  // namespace

int CountNonFinite(const Boids& boids, const Goal& goal, const Ferguson& path, const CameraRig& rig,
                   const Camera& camera) {
    int bad = 0;
    for (int i = 0; i < boids.GetCount(); ++i) {
        const Boid& b = boids.GetBoids()[i];
        const float scalars[] = {b.m_fSpeed, b.m_fYaw, b.m_fPitch, b.m_fRoll, b.m_fYawRate};
        bad += CountNonFinite(b.m_vPosition) + CountNonFinite(b.m_vHeading) + CountNonFinite(scalars, 5) +
               CountNonFinite(b.m_Instance.GetWorldMatrix());
    }
    const float guide[] = {goal.m_fSpeed, goal.m_fYaw, goal.m_fPitch, goal.m_fRoll, goal.m_fYawRate};
    bad += CountNonFinite(goal.m_vPosition) + CountNonFinite(goal.m_vHeading) + CountNonFinite(guide, 5) +
           CountNonFinite(goal.m_vTarget) + CountNonFinite(goal.GetWorldMatrix());
    for (int i = 0; i < path.GetCount(); ++i) bad += CountNonFinite(path.GetPoint(i));
    const float rigValues[] = {rig.m_fT, rig.m_fHeight, rig.m_fBobVelocity, rig.m_fPhase};
    bad += CountNonFinite(rig.GetWorldMatrix()) + CountNonFinite(rigValues, 4) + CountNonFinite(camera.GetPose());
    return bad;
}
