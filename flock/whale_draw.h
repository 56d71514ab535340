// Drawing one skinned whale at a world pose from the camera: shared by the
// school and the guide whale, which draw their skinned models the same way.
#pragma once

#include "platform/d3dx/d3dx_math.h"

class Camera;
class SkinnedMesh;

// Enlarged whales (intChkLargeModel) are drawn this many times their size,
// scaled in model space.
constexpr float kLargeModelScale = 4.0f;

// The world matrix a whale is drawn with: its pose, scaled in model space by
// kLargeModelScale when enlarged. A copy, so that drawing the scene in several
// views a frame never scales the pose twice.
D3DXMATRIX DrawnWorld(const D3DXMATRIX& pose, bool large);

// Draws `mesh` with `world`, the camera's view (as Camera::StoreView left it)
// and projection, the light vector (world space, w = 0) and the fog
// distance. Returns the mesh's status.
HRESULT DrawSkinnedWhale(SkinnedMesh* mesh, const D3DXMATRIX& world, const Camera& camera, const D3DXVECTOR4& light,
                         float fogFar);
