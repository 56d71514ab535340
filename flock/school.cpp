// The flock subsystem's frame order. See school.h.
#include "flock/school.h"

#include "scene/background_obj.h"
#include "view/camera.h"

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

int KeepEyeOutOfObstacles(IDirect3DDevice8* device, Camera* camera, BackGroundObj* obstacles) {
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
    if (D3DXMatrixInverse(&view, nullptr, &pose)) {
        camera->SetView(view);
        if (device) device->SetTransform(D3DTS_VIEW, &view);
    }
    return 1;
}
