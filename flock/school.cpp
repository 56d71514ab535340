// The flock subsystem's frame order. See school.h.
#include "flock/school.h"

D3DXVECTOR3 UpdateSchool(Goal* goal, Boids* boids, Ferguson* path, CameraRig* rig, BackGroundObj* obstacles,
                         const D3DXVECTOR3& eye, float dt) {
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
