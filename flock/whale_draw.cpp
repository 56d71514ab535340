// One skinned whale drawn from the camera.
#include "flock/whale_draw.h"

#include "render/skinned_mesh.h"
#include "view/camera.h"

HRESULT DrawSkinnedWhale(SkinnedMesh* mesh, const D3DXMATRIX& world, Camera* camera, const D3DXVECTOR4& light,
                         float fogFar) {
    if (!mesh || !camera) return E_FAIL;
    D3DXMATRIX view;
    if (D3DXMatrixInverse(&view, nullptr, &camera->GetPose())) camera->SetView(view);
    SkinRenderParams params;
    params.matWorld = world;
    params.matView = camera->GetView();
    params.matProj = camera->GetProjection();
    params.vLight = light;
    params.fFogDistance = fogFar;
    return mesh->Render(params);
}
