// One skinned whale drawn from the camera.
#include "flock/whale_draw.h"

#include "render/skinned_mesh.h"
#include "view/camera.h"

D3DXMATRIX DrawnWorld(const D3DXMATRIX& pose, bool large) {
    if (!large) return pose;
    D3DXMATRIX scale, world;
    D3DXMatrixScaling(&scale, kLargeModelScale, kLargeModelScale, kLargeModelScale);
    D3DXMatrixMultiply(&world, &scale, &pose);
    return world;
}

HRESULT DrawSkinnedWhale(SkinnedMesh* mesh, const D3DXMATRIX& world, const Camera& camera, const D3DXVECTOR4& light,
                         float fogFar) {
    if (!mesh) return E_FAIL;
    SkinRenderParams params;
    params.matWorld = world;
    params.matView = camera.GetView();
    params.matProj = camera.GetProjection();
    params.vLight = light;
    params.fFogDistance = fogFar;
    return mesh->Render(params);
}
