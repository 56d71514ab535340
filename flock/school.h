// One frame of the flock subsystem in the saver's order: the guide whale
// chooses its target and swims, the school takes the guide's position as its
// goal and moves, the path is re-centred on the school and the camera rig
// rides it. Shared by the saver's frame and the headless simulation tool.
#pragma once

#include "flock/boids.h"
#include "flock/camera_rig.h"
#include "flock/goal.h"

class BackGroundObj;

// `eye` is the camera position of the previous frame; obstacles may be null.
// Returns the school's centre after the move (Boids::GetCentre).
D3DXVECTOR3 UpdateSchool(Goal* goal, Boids* boids, Ferguson* path, CameraRig* rig, BackGroundObj* obstacles,
                         const D3DXVECTOR3& eye, float dt);

class Camera;

// Values NaN or infinite in any whale, the guide, the path, the rig or the
// camera pose (the long-run checks of the simulation tools count them every frame).
int CountNonFinite(const Boids& boids, const Goal& goal, const Ferguson& path, const CameraRig& rig,
                   const Camera& camera);
