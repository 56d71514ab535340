// modelview: renders one model resource through the real device and the toon
// renderer into a PNG, turned to a few angles side by side — for content
// authors and for review. Runs headless (SDL's offscreen driver) when there
// is no display.
//
//   modelview MODEL.X OUT.png [--angles N] [--size PIXELS] [--deep] [--tilt RADIANS]
//
// The camera frames the model's drawn meshes (their bounding spheres) from
// the front (looking along +z), slightly from above; each tile turns the
// model about the vertical axis by 360/N degrees more than the last. --deep
// draws on the deep-sea black instead of white.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/os/clock.h"
#include "platform/d3d8/d3d8.h"
#include "platform/d3dx/d3dx_math.h"
#include "platform/image/image_write.h"
#include "platform/os/window.h"
#include "render/renderer_states.h"
#include "render/zsort_render.h"
#include "scene/xmodel.h"
#include "core/errlog.h"
#include "view/camera.h"

namespace {

LRESULT ToolProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) { return DefWindowProcA(hwnd, msg, wParam, lParam); }

int Usage() {
    std::fprintf(stderr, "usage: modelview MODEL.X OUT.png [--angles N] [--size PIXELS] [--deep] [--tilt RADIANS]\n");
    return 2;
}

// The drawn meshes' bounding spheres merged into one (model space).
void ModelSphere(const XModel& model, D3DXVECTOR3* centre, float* radius) {
    D3DXVECTOR3 lo(1e30f, 1e30f, 1e30f), hi(-1e30f, -1e30f, -1e30f);
    for (DWORD i = 0; i < model.m_dwMeshDisplayNum; ++i) {
        for (const D3DXVECTOR3& c : model.m_pMeshDisplay[i].m_Bound.m_vCorner) {
            lo = D3DXVECTOR3(std::fmin(lo.x, c.x), std::fmin(lo.y, c.y), std::fmin(lo.z, c.z));
            hi = D3DXVECTOR3(std::fmax(hi.x, c.x), std::fmax(hi.y, c.y), std::fmax(hi.z, c.z));
        }
    }
    *centre = D3DXVECTOR3((lo.x + hi.x) / 2, (lo.y + hi.y) / 2, (lo.z + hi.z) / 2);
    D3DXVECTOR3 half((hi.x - lo.x) / 2, (hi.y - lo.y) / 2, (hi.z - lo.z) / 2);
    *radius = D3DXVec3Length(&half);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return Usage();
    const char* modelName = argv[1];
    const char* outPath = argv[2];
    int angles = 4;
    int size = 256;
    bool deep = false;
    float tilt = 0.35f;
    for (int i = 3; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--angles") && i + 1 < argc) {
            angles = std::atoi(argv[++i]);
        } else if (!std::strcmp(argv[i], "--size") && i + 1 < argc) {
            size = std::atoi(argv[++i]);
        } else if (!std::strcmp(argv[i], "--tilt") && i + 1 < argc) {
            tilt = static_cast<float>(std::atof(argv[++i]));
        } else if (!std::strcmp(argv[i], "--deep")) {
            deep = true;
        } else {
            return Usage();
        }
    }
    if (angles < 1 || angles > 16 || size < 32 || size > 2048) return Usage();
    if (!std::getenv("DISPLAY")) setenv("SDL_VIDEODRIVER", "offscreen", 0);

    if (!RegisterClassA("NerevalModelView", ToolProc)) return 1;
    HWND hwnd = CreateWindowExA(0, "NerevalModelView", "modelview", WS_CAPTION, 0, 0, size, size);
    IDirect3D8* d3d = Direct3DCreate8(D3D_SDK_VERSION);
    if (!hwnd || !d3d) {
        std::fprintf(stderr, "modelview: no window or video system\n");
        return 1;
    }
    D3DPRESENT_PARAMETERS pp{};
    pp.BackBufferWidth = static_cast<UINT>(size);
    pp.BackBufferHeight = static_cast<UINT>(size);
    pp.BackBufferCount = 1;
    pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
    pp.hDeviceWindow = hwnd;
    pp.Windowed = TRUE;
    pp.EnableAutoDepthStencil = TRUE;
    pp.AutoDepthStencilFormat = D3DFMT_D16;
    IDirect3DDevice8* device = nullptr;
    if (FAILED(d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, hwnd, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp,
                                 &device))) {
        std::fprintf(stderr, "modelview: cannot create the graphics device\n");
        return 1;
    }

    ErrLog log;
    ZSortRender renderer;
    auto* model = new XModel;
    int status = 0;
    if (FAILED(renderer.InitDeviceObjects(device, &log)) || FAILED(renderer.RestoreDeviceObjects(device, &log)) ||
        FAILED(model->LoadXFile(device, modelName, &log)) || model->m_dwMeshDisplayNum == 0) {
        std::fprintf(stderr, "modelview: cannot load %s:\n%s", modelName, log.Text());
        status = 1;
    }

    if (status == 0) {
        SetRendererStates(device);
        const D3DCOLOR clear = deep ? 0xFF000000 : 0xFFFFFFFF;
        D3DXVECTOR3 centre;
        float radius = 1.0f;
        ModelSphere(*model, &centre, &radius);
        if (radius <= 0.0f) radius = 1.0f;

        // Scale the model to a radius of 100 units, centred at the origin;
        // the camera stands back far enough for the whole sphere to fit.
        const float scale = 100.0f / radius;
        Camera camera;
        camera.SetProjection(device, 1.0f, 1.0f, 10000.0f);
        const float distance = 100.0f / std::sin(Camera::kFieldOfView / 2) * 1.05f;
        camera.SetPosition(0.0f, std::sin(tilt) * distance, -std::cos(tilt) * distance);
        camera.LookAt(device, D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(0, 1, 0));
        camera.UpdateFrustum();
        // Light from the upper left front, fixed, as a still frame of the saver's turning light.
        D3DXVECTOR4 light(0.5f, 0.9f, -0.5f, 0.0f);

        device->SetRenderState(D3DRS_FOGENABLE, TRUE);
        device->SetRenderState(D3DRS_FOGCOLOR, clear);
        device->SetRenderState(D3DRS_FOGVERTEXMODE, D3DFOG_LINEAR);
        device->SetRenderState(D3DRS_FOGSTART, FloatToDword(0.0f));
        device->SetRenderState(D3DRS_FOGEND, FloatToDword(10000.0f));

        const int sheetW = size * angles;
        std::vector<std::uint8_t> sheet(static_cast<std::size_t>(sheetW) * size * 4);
        std::vector<std::uint8_t> tile(static_cast<std::size_t>(size) * size * 4);
        for (int a = 0; a < angles; ++a) {
            D3DXMATRIX toOrigin, scaling, turn, world, tmp;
            D3DXMatrixTranslation(&toOrigin, -centre.x, -centre.y, -centre.z);
            D3DXMatrixScaling(&scaling, scale, scale, scale);
            D3DXMatrixRotationY(&turn, 6.2831855f * static_cast<float>(a) / static_cast<float>(angles));
            D3DXMatrixMultiply(&tmp, &toOrigin, &scaling);
            D3DXMatrixMultiply(&world, &tmp, &turn);

            device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, clear, 1.0f, 0);
            device->BeginScene();
            model->Render(device, world, &camera, &camera.GetFrustum(), 0, &renderer);
            device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
            device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
            device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
            const D3DXMATRIX& view = camera.GetView();
            renderer.Sort(D3DXVECTOR3(view._31, view._32, view._33));
            renderer.Render(device, view, camera.GetProjection(), light, 10000.0f);
            renderer.Clear();
            device->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
            device->EndScene();
            device->ReadBackBuffer(tile.data());
            for (int y = 0; y < size; ++y) {
                std::memcpy(&sheet[(static_cast<std::size_t>(y) * sheetW + static_cast<std::size_t>(a) * size) * 4],
                            &tile[static_cast<std::size_t>(y) * size * 4], static_cast<std::size_t>(size) * 4);
            }
        }
        std::vector<std::uint8_t> png = EncodePng(sheetW, size, sheet);
        std::FILE* f = png.empty() ? nullptr : std::fopen(outPath, "wb");
        if (!f || std::fwrite(png.data(), 1, png.size(), f) != png.size()) {
            std::fprintf(stderr, "modelview: cannot write %s\n", outPath);
            status = 1;
        }
        if (f) std::fclose(f);
    }

    delete model;  // releases its buffers and its textures' cache references
    renderer.InvalidateDeviceObjects(device);
    renderer.DeleteDeviceObjects();
    device->Release();
    d3d->Release();
    DestroyWindow(hwnd);
    return status;
}
