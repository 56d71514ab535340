// Renderer states shared by the saver and the model tools.
#include "render/renderer_states.h"

void SetRendererStates(IDirect3DDevice8* d) {
    // Stage 0: ramp or base texture times the vertex colour.
    d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    d->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    d->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    d->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    d->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    d->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
    d->SetTextureStageState(0, D3DTSS_MINFILTER, D3DTEXF_LINEAR);
    d->SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTEXF_LINEAR);
    d->SetTextureStageState(0, D3DTSS_ADDRESSU, D3DTADDRESS_CLAMP);
    // Stage 1: the mesh's own texture times stage 0's result.
    d->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_MODULATE);
    d->SetTextureStageState(1, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    d->SetTextureStageState(1, D3DTSS_COLORARG2, D3DTA_CURRENT);
    d->SetTextureStageState(1, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    d->SetTextureStageState(1, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    d->SetTextureStageState(1, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
    d->SetTextureStageState(1, D3DTSS_MAGFILTER, D3DTEXF_LINEAR);
    d->SetTextureStageState(1, D3DTSS_MINFILTER, D3DTEXF_LINEAR);
    d->SetTextureStageState(1, D3DTSS_ADDRESSU, D3DTADDRESS_CLAMP);

    d->SetRenderState(D3DRS_DITHERENABLE, FALSE);
    d->SetRenderState(D3DRS_MULTISAMPLEANTIALIAS, FALSE);
    d->SetRenderState(D3DRS_ZENABLE, TRUE);
    d->SetRenderState(D3DRS_SPECULARENABLE, FALSE);
    d->SetRenderState(D3DRS_SHADEMODE, D3DSHADE_GOURAUD);
    d->SetRenderState(D3DRS_AMBIENT, 0xFF000000);
    d->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);

    D3DMATERIAL8 material{};
    material.Diffuse = {0.5f, 0.6f, 0.7f, 0.0f};
    material.Ambient = {0.5f, 0.6f, 0.7f, 0.0f};
    material.Specular = {0.3f, 0.3f, 0.3f, 0.0f};
    material.Emissive = {0.0f, 0.0f, 0.0f, 0.0f};
    material.Power = 8.0f;
    d->SetMaterial(&material);
}
