// modelview: renders one model through the real device and the toon
// renderer into a PNG, turned to a few angles side by side — for content
// authors and for review. MODEL.X is an embedded resource name or the path of
// a text X file. Runs headless (SDL's offscreen driver) when there is no
// display.
//
//   modelview MODEL.X OUT.png [--angles N] [--size PIXELS] [--deep] [--tilt RADIANS]
//   modelview MODEL.X OUT.png --strip SECONDS [--frames N] [--size PIXELS] [--deep] [--front] [--file PATH]
//
// The camera frames the model's drawn meshes (their bounding spheres) from
// the front (looking along +z), slightly from above; each tile turns the
// model about the vertical axis by 360/N degrees more than the last. --deep
// draws on the deep-sea black instead of white.
//
// --strip draws a skinned model (through SkinnedMesh and the skinning
// shaders) at animation times 0, SECONDS, 2 x SECONDS, ...: N frames (by
// default enough to cover one loop), in two rows: the side seen from +x
// (nose to the right) and the top seen from above (nose to the right);
// --front adds a third row seen from -z (a whale's tail end).
// --file PATH reads the X file at PATH and names it MODEL.X (for a file whose
// own name differs from the resource it stands in for).
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "platform/os/clock.h"
#include "platform/d3d8/d3d8.h"
#include "platform/d3dx/d3dx_math.h"
#include "platform/image/image_write.h"
#include "platform/os/window.h"
#include "render/device_setup.h"
#include "render/renderer_states.h"
#include "render/skinned_mesh.h"
#include "render/zsort_render.h"
#include "scene/xmodel.h"
#include "core/errlog.h"
#include "view/camera.h"

namespace {

// The light of every picture, a world direction (w = 0) given to the
// renderers as the saver gives its own: from the upper left front, a still
// frame of the saver's turning light (its base direction a quarter turn on).
const D3DXVECTOR4 kLight(0.5f, 0.9f, -0.5f, 0.0f);

LRESULT ToolProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) { return DefWindowProcA(hwnd, msg, wParam, lParam); }

int Usage() {
    std::fprintf(stderr,
                 "usage: modelview MODEL.X OUT.png [--angles N] [--size PIXELS] [--deep] [--tilt RADIANS]\n"
                 "       modelview MODEL.X OUT.png --strip SECONDS [--frames N] [--size PIXELS] [--deep] [--front] [--file PATH]\n");
    return 2;
}

bool WritePng(const char* path, int w, int h, const std::vector<std::uint8_t>& rgba) {
    std::vector<std::uint8_t> png = EncodePng(w, h, rgba);
    std::FILE* f = png.empty() ? nullptr : std::fopen(path, "wb");
    const bool ok = f && std::fwrite(png.data(), 1, png.size(), f) == png.size();
    if (f) std::fclose(f);
    return ok;
}

// The bind-pose bounds of every skinned (or plain) mesh of the model.
void SkinnedBounds(const MeshFrame* f, D3DXVECTOR3* lo, D3DXVECTOR3* hi) {
    for (; f; f = f->m_pSibling.get()) {
        for (const MeshContainer* c = f->m_pMeshContainer.get(); c; c = c->m_pNext.get()) {
            ComPtr<ID3DXMesh> mesh;
            if (c->m_pSkinMesh) {
                c->m_pSkinMesh->GetOriginalMesh(mesh.Out());
            } else if (c->m_pMesh) {
                mesh = ComPtr<ID3DXMesh>::Share(c->m_pMesh);  // a reference of our own, as GetOriginalMesh gives
            }
            BYTE* v = nullptr;
            if (mesh && SUCCEEDED(mesh->LockVertexBuffer(D3DLOCK_READONLY, &v))) {
                D3DXVECTOR3 a, b;
                D3DXComputeBoundingBox(reinterpret_cast<const D3DXVECTOR3*>(v), mesh->GetNumVertices(), mesh->GetFVF(), &a,
                                       &b);
                *lo = D3DXVECTOR3(std::fmin(lo->x, a.x), std::fmin(lo->y, a.y), std::fmin(lo->z, a.z));
                *hi = D3DXVECTOR3(std::fmax(hi->x, b.x), std::fmax(hi->y, b.y), std::fmax(hi->z, b.z));
                mesh->UnlockVertexBuffer();
            }
        }
        SkinnedBounds(f->m_pChild.get(), lo, hi);
    }
}

// The skinned strip: rows side and top, one column per animation time.
// The whole file, or false (with a message) when it cannot be read.
bool ReadWholeFile(const char* path, std::vector<char>* out) {
    std::FILE* f = std::fopen(path, "rb");
    if (!f) {
        std::fprintf(stderr, "modelview: cannot read %s\n", path);
        return false;
    }
    char buf[65536];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out->insert(out->end(), buf, buf + n);
    const bool ok = !std::ferror(f);
    std::fclose(f);
    if (!ok) std::fprintf(stderr, "modelview: cannot read %s\n", path);
    return ok;
}

int SkinnedStrip(IDirect3DDevice8* device, const char* modelName, const std::vector<char>* fileData,
                 const char* outPath, int size, bool deep, float step, int frames, bool front) {
    SkinnedMesh skin;
    if (fileData) skin.SetSourceData(fileData->data(), fileData->size());
    ErrLog log;
    D3DCAPS8 caps{};
    device->GetDeviceCaps(&caps);
    if (FAILED(skin.InitDeviceObjects(device, caps, modelName, &log)) || FAILED(skin.RestoreDeviceObjects()) ||
        !skin.GetDrawElements()) {
        std::fprintf(stderr, "modelview: cannot load %s:\n%s", modelName, log.Text());
        return 1;
    }
    const float loopSeconds = skin.GetAnimLength() / SkinnedMesh::kTicksPerSecond;
    if (frames <= 0) frames = loopSeconds > 0 ? static_cast<int>(std::ceil(loopSeconds / step - 1e-3)) : 1;
    if (frames > 32) frames = 32;

    D3DXVECTOR3 lo(1e30f, 1e30f, 1e30f), hi(-1e30f, -1e30f, -1e30f);
    SkinnedBounds(skin.GetDrawElements()->m_pRootFrame.get(), &lo, &hi);
    if (lo.x > hi.x) lo = hi = D3DXVECTOR3(0, 0, 0);
    const D3DXVECTOR3 centre((lo.x + hi.x) / 2, (lo.y + hi.y) / 2, (lo.z + hi.z) / 2);
    const D3DXVECTOR3 half((hi.x - lo.x) / 2, (hi.y - lo.y) / 2, (hi.z - lo.z) / 2);
    const float radius = std::fmax(D3DXVec3Length(&half) * 1.1f, 0.01f);

    SetRendererStates(device);
    const D3DCOLOR clear = deep ? 0xFF000000 : 0xFFFFFFFF;
    Camera camera;
    camera.SetProjection(device, 1.0f, radius * 0.05f, radius * 20.0f);
    const float distance = radius / std::sin(Camera::kFieldOfView / 2);
    const int rows = front ? 3 : 2;
    const int sheetW = size * frames, sheetH = size * rows;
    std::vector<std::uint8_t> sheet(static_cast<std::size_t>(sheetW) * sheetH * 4);
    std::vector<std::uint8_t> tile(static_cast<std::size_t>(size) * size * 4);
    D3DXMATRIX world;
    D3DXMatrixTranslation(&world, -centre.x, -centre.y, -centre.z);
    for (int row = 0; row < rows; ++row) {
        // Side: from +x, nose (+z) to the right. Top: from above, nose to the right.
        if (row == 0) {
            camera.SetPosition(distance, 0.0f, 0.0f);
            camera.LookAt(device, D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(0, 1, 0));
        } else if (row == 1) {
            camera.SetPosition(0.0f, distance, 0.0f);
            camera.LookAt(device, D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(-1, 0, 0));
        } else {
            camera.SetPosition(0.0f, 0.0f, -distance);
            camera.LookAt(device, D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(0, 1, 0));
        }
        for (int j = 0; j < frames; ++j) {
            skin.SetCurrentTime(static_cast<float>(j) * step * SkinnedMesh::kTicksPerSecond);
            device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, clear, 1.0f, 0);
            device->BeginScene();
            SkinRenderParams p;
            p.matWorld = world;
            p.matView = camera.GetView();
            p.matProj = camera.GetProjection();
            p.vLight = kLight;  // a world direction, brought into the normals' frame by Render
            p.fFogDistance = 10000.0f;
            const HRESULT drawn = skin.Render(p);
            if (FAILED(drawn) && row == 0 && j == 0) std::fprintf(stderr, "modelview: drawing failed 0x%08X\n", static_cast<unsigned>(drawn));
            device->EndScene();
            device->ReadBackBuffer(tile.data());
            for (int y = 0; y < size; ++y) {
                std::memcpy(&sheet[((static_cast<std::size_t>(row) * size + y) * sheetW + static_cast<std::size_t>(j) * size) * 4],
                            &tile[static_cast<std::size_t>(y) * size * 4], static_cast<std::size_t>(size) * 4);
            }
        }
    }
    skin.InvalidateDeviceObjects();
    skin.DeleteDeviceObjects();
    if (!WritePng(outPath, sheetW, sheetH, sheet)) {
        std::fprintf(stderr, "modelview: cannot write %s\n", outPath);
        return 1;
    }
    std::printf("%d frames %.2f s apart, loop %.3f s\n", frames, step, loopSeconds);
    return 0;
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
    float strip = 0.0f;
    int frames = 0;
    const char* filePath = nullptr;
    bool front = false;
    for (int i = 3; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--angles") && i + 1 < argc) {
            angles = std::atoi(argv[++i]);
        } else if (!std::strcmp(argv[i], "--size") && i + 1 < argc) {
            size = std::atoi(argv[++i]);
        } else if (!std::strcmp(argv[i], "--tilt") && i + 1 < argc) {
            tilt = static_cast<float>(std::atof(argv[++i]));
        } else if (!std::strcmp(argv[i], "--strip") && i + 1 < argc) {
            strip = static_cast<float>(std::atof(argv[++i]));
            if (!(strip > 0.0f)) return Usage();
        } else if (!std::strcmp(argv[i], "--frames") && i + 1 < argc) {
            frames = std::atoi(argv[++i]);
        } else if (!std::strcmp(argv[i], "--front")) {
            front = true;
        } else if (!std::strcmp(argv[i], "--file") && i + 1 < argc) {
            filePath = argv[++i];
        } else if (!std::strcmp(argv[i], "--deep")) {
            deep = true;
        } else {
            return Usage();
        }
    }
    if (angles < 1 || angles > 16 || size < 32 || size > 2048) return Usage();
    // A model argument that names a file on disk is read from there.
    std::error_code ec;
    if (!filePath && std::filesystem::is_regular_file(modelName, ec)) filePath = modelName;
    std::vector<char> fileData;
    if (filePath && !ReadWholeFile(filePath, &fileData)) return 1;
    if (!std::getenv("DISPLAY")) setenv("SDL_VIDEODRIVER", "offscreen", 0);

    if (!RegisterClassA("NerevalModelView", ToolProc)) return 1;
    HWND hwnd = CreateWindowExA(0, "NerevalModelView", "modelview", WS_CAPTION, 0, 0, size, size);
    if (!hwnd) {
        std::fprintf(stderr, "modelview: no window or video system\n");
        return 1;
    }
    // The saver's own device bring-up, at the tile size, presenting at once.
    DeviceRequest request;
    request.hwnd = hwnd;
    request.width = static_cast<UINT>(size);
    request.height = static_cast<UINT>(size);
    request.presentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
    SaverDevice saver;
    if (FAILED(CreateSaverDevice(request, &saver, nullptr))) {
        std::fprintf(stderr, "modelview: cannot create the graphics device\n");
        DestroyWindow(hwnd);
        return 1;
    }
    IDirect3DDevice8* device = saver.device;

    if (strip > 0.0f) {
        const int status = SkinnedStrip(device, modelName, filePath ? &fileData : nullptr, outPath, size, deep, strip,
                                        frames, front);
        ReleaseSaverDevice(&saver);
        DestroyWindow(hwnd);
        return status;
    }

    ErrLog log;
    ZSortRender renderer;
    auto model = std::make_unique<XModel>();
    if (filePath) model->SetSourceData(fileData.data(), fileData.size());
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
            renderer.Sort(ZSortRender::BackToFront(view));
            renderer.Render(device, view, camera.GetProjection(), kLight, 10000.0f);
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

    model.reset();  // releases its buffers and its textures' cache references
    renderer.InvalidateDeviceObjects(device);
    renderer.DeleteDeviceObjects();
    ReleaseSaverDevice(&saver);
    DestroyWindow(hwnd);
    return status;
}
