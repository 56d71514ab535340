// One skinned whale drawn from the camera.
#include "flock/whale_draw.h"

#include "render/skinned_mesh.h"
#include "view/camera.h"

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
