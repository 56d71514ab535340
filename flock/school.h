// One frame of the flock subsystem in the saver's order: the guide whale
// chooses its target and swims, the school takes the guide's position as its
// goal and moves, the path is re-centred on the school and the camera rig
// rides it. Shared by the saver's frame and the headless simulation tool.
#pragma once

#include "flock/boids.h"
#include "flock/camera_rig.h"
#include "flock/goal.h"

class BackGroundObj;
class Camera;

// `eye` is the camera position of the previous frame; obstacles may be null.
// Returns the school's centre after the move (Boids::GetCentre).
D3DXVECTOR3 UpdateSchool(Goal* goal, Boids* boids, Ferguson* path, CameraRig* rig, BackGroundObj* obstacles,
                         const D3DXVECTOR3& eye, float dt);

// Values NaN or infinite in any whale, the guide, the path, the rig or the
// camera pose (the long-run checks of the simulation tools count them every frame).
int CountNonFinite(const Boids& boids, const Goal& goal, const Ferguson& path, const CameraRig& rig,
                   const Camera& camera);

// Keeps the camera's eye out of the obstacles' collision hulls in every
// camera mode; runs after the camera mode has placed the eye. An eye inside
// a hull grown by kEyeClearance is moved out through the nearest face of it,
// keeping the camera's orientation (the view is moved, not turned): the
// camera's pose and view follow, and the caller gives the device the view. Along a path
// through a hull the eye slides over the faces, and crosses to the far side
// in one step where the nearest face changes sides. Obstacles may be null.
// Returns 1 when the eye was moved.
constexpr float kEyeClearance = 4.0f;  // world units between the eye and a hull
int KeepEyeOutOfObstacles(Camera* camera, BackGroundObj* obstacles);
