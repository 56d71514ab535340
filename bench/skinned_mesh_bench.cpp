// The skinned whales' per-frame cost (offscreen GL device unless
// SDL_VIDEODRIVER says otherwise):
//   - WhaleFrameMove: advancing the clock and sampling the 17 bone tracks
//     (shared by every whale of a variant, once a frame);
//   - WhaleUpdateFrames: composing the frame matrices of one whale;
//   - WhaleRender: one whale's Render (frame update, palette constants,
//     one draw per material group) as submitted to the device, many to one
//     scene: the driver's queue grows, so this is an upper bound;
//   - WhaleFrame/N: a frame of N whales (clear, N Renders at different
//     places, read back the 256 x 256 back buffer, so the rasteriser's
//     work is inside the timing).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <vector>

#include "platform/base/com_ptr.h"
#include "platform/os/window.h"
#include "render/renderer_states.h"
#include "render/skinned_mesh.h"

namespace {

LRESULT BenchProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) { return DefWindowProcA(hwnd, msg, wParam, lParam); }

constexpr int kSize = 256;

// A hidden window with a device and one whale on it.
struct Scene {
    HWND hwnd = nullptr;
    ComPtr<IDirect3D8> d3d;
    ComPtr<IDirect3DDevice8> device;
    SkinnedMesh whale;
    SkinRenderParams params{};

    bool Create() {
        if (!std::getenv("DISPLAY")) setenv("SDL_VIDEODRIVER", "offscreen", 0);
        RegisterClassA("NerevalSkinBench", BenchProc);
        hwnd = CreateWindowExA(0, "NerevalSkinBench", "bench", WS_CAPTION, 0, 0, kSize, kSize);
        d3d.Reset(Direct3DCreate8(D3D_SDK_VERSION));
        if (!hwnd || !d3d) return false;
        D3DPRESENT_PARAMETERS pp{};
        pp.BackBufferWidth = kSize;
        pp.BackBufferHeight = kSize;
        pp.BackBufferCount = 1;
        pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
        pp.hDeviceWindow = hwnd;
        pp.Windowed = TRUE;
        pp.EnableAutoDepthStencil = TRUE;
        pp.AutoDepthStencilFormat = D3DFMT_D16;
        if (FAILED(d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, hwnd, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp,
                                     device.Out()))) {
            return false;
        }
        SetRendererStates(device);
        D3DCAPS8 caps{};
        device->GetDeviceCaps(&caps);
        if (FAILED(whale.InitDeviceObjects(device, caps, "WHALESKINNED01.X")) || FAILED(whale.RestoreDeviceObjects()) ||
            !whale.GetDrawElements()) {
            return false;
        }
        D3DXMatrixIdentity(&params.matWorld);
        const D3DXVECTOR3 eye(14, 2, -4), at(0, 0, 0), up(0, 1, 0);
        D3DXMatrixLookAtLH(&params.matView, &eye, &at, &up);
        D3DXMatrixPerspectiveFovLH(&params.matProj, 0.8f, 1.0f, 1.0f, 10000.0f);
        params.vLight = D3DXVECTOR4(0.0f, 0.8f, -0.2f, 0.0f);
        params.fFogDistance = 10000.0f;
        whale.Render(params);  // builds the blended mesh once
        return true;
    }
    ~Scene() {
        whale.InvalidateDeviceObjects();
        whale.DeleteDeviceObjects();
        device.Reset();  // the device, then Direct3D, then the window
        d3d.Reset();
        if (hwnd) DestroyWindow(hwnd);
    }
};

// The one scene, made on first use and shared by every benchmark (also when
// its creation failed: a half-made scene is kept, as the benchmarks skip).
// main ends it after the benchmarks: at static destruction the window system
// the device lives on (shut down at exit) may already be gone.
std::unique_ptr<Scene> g_scene;

Scene* TheScene() {
    static Scene* scene = [] {
        g_scene = std::make_unique<Scene>();
        return g_scene->Create() ? g_scene.get() : nullptr;
    }();
    return scene;
}

void WhaleFrameMove(benchmark::State& state) {
    Scene* s = TheScene();
    if (!s) return state.SkipWithError("no device or no whale");
    for (auto _ : state) {
        s->whale.FrameMove(1, 1, 1.0f / 60.0f);
        benchmark::DoNotOptimize(s->whale.GetCurrentTime());
    }
}
BENCHMARK(WhaleFrameMove);

void WhaleUpdateFrames(benchmark::State& state) {
    Scene* s = TheScene();
    if (!s) return state.SkipWithError("no device or no whale");
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    MeshFrame* root = s->whale.GetDrawElements()->m_pRootFrame.get();
    for (auto _ : state) {
        s->whale.UpdateFrames(root, identity);
        benchmark::DoNotOptimize(root->m_matCombined);
    }
}
BENCHMARK(WhaleUpdateFrames);

void WhaleRender(benchmark::State& state) {
    Scene* s = TheScene();
    if (!s) return state.SkipWithError("no device or no whale");
    s->device->BeginScene();
    for (auto _ : state) s->whale.Render(s->params);
    s->device->EndScene();
}
BENCHMARK(WhaleRender);

void WhaleFrame(benchmark::State& state) {
    Scene* s = TheScene();
    if (!s) return state.SkipWithError("no device or no whale");
    std::vector<BYTE> pixels(static_cast<std::size_t>(kSize) * kSize * 4);
    const int whales = static_cast<int>(state.range(0));
    for (auto _ : state) {
        s->device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFFFFFFFF, 1.0f, 0);
        s->device->BeginScene();
        SkinRenderParams p = s->params;
        for (int w = 0; w < whales; ++w) {
            p.matWorld._41 = static_cast<float>(w % 3 - 1) * 4.0f;
            p.matWorld._42 = static_cast<float>(w / 3 % 3 - 1) * 3.0f;
            p.matWorld._43 = static_cast<float>(w / 9) * 12.0f;
            s->whale.Render(p);
        }
        s->device->EndScene();
        s->device->ReadBackBuffer(pixels.data());
    }
}
BENCHMARK(WhaleFrame)->Arg(0)->Arg(1)->Arg(10);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_scene.reset();
    return 0;
}
