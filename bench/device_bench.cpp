// Cost of the device's draw paths on the real GL device (offscreen driver
// unless SDL_VIDEODRIVER says otherwise): a frame shaped like the toon queue
// (300 indexed shader draws, each with its own constants, material and
// textures) and a pre-transformed quad through the user-pointer path. The
// geometry is tiny, so the numbers are dominated by the device and the GL
// driver, not by fill.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/base/com_ptr.h"
#include "platform/d3d8/d3d8.h"
#include "platform/os/window.h"
#include "render/device_setup.h"

namespace {

LRESULT BenchWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

const char* const kToonLikeShader = R"(
uniform vec4 c[96];
in vec4 v0;
in vec3 v3;
in vec4 v5;
in vec2 v7;
in vec2 v8;
out vec4 oD0;
out vec2 oT0;
out vec2 oT1;
out float oFog;
void main() {
    gl_Position = vec4(dot(v0, c[0]), dot(v0, c[1]), dot(v0, c[2]), dot(v0, c[3]));
    oT0 = vec2((dot(normalize(v3), c[13].xyz) + c[12].z) * c[12].y, 0.5);
    oT1 = v8;
    oD0 = v5;
    oFog = dot(v0, c[6]) * c[14].x + c[14].y;
}
)";

struct ToonVertex {  // 44 bytes: position, normal, colour, two texture sets
    float x, y, z, nx, ny, nz;
    D3DCOLOR color;
    float u0, v0, u1, v1;
};

struct Fixture {
    SaverDevice saver;
    HWND hwnd = nullptr;
    IDirect3DDevice8* dev = nullptr;  // saver.device, lent
    DWORD shader = 0;
    ComPtr<IDirect3DVertexBuffer8> vb;
    ComPtr<IDirect3DIndexBuffer8> ib;
    ComPtr<IDirect3DTexture8> tex;

    bool Create() {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        if (!RegisterClassA("NerevalBench", BenchWindowProc)) return false;
        hwnd = CreateWindowExA(0, "NerevalBench", "bench", WS_CAPTION, 0, 0, 640, 480);
        if (!hwnd) return false;
        DeviceRequest request;
        request.hwnd = hwnd;
        request.presentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
        if (FAILED(CreateSaverDevice(request, &saver, nullptr))) return false;
        dev = saver.device;
        const DWORD decl[] = {D3DVSD_STREAM(0),
                              D3DVSD_REG(0, D3DVSDT_FLOAT3),
                              D3DVSD_REG(3, D3DVSDT_FLOAT3),
                              D3DVSD_REG(5, D3DVSDT_D3DCOLOR),
                              D3DVSD_REG(7, D3DVSDT_FLOAT2),
                              D3DVSD_REG(8, D3DVSDT_FLOAT2),
                              D3DVSD_END()};
        if (FAILED(dev->CreateVertexShader(decl, kToonLikeShader, &shader, 0))) return false;

        // A small grid of 100 triangles near the screen centre.
        std::vector<ToonVertex> verts;
        std::vector<WORD> indices;
        for (int y = 0; y <= 5; ++y) {
            for (int x = 0; x <= 10; ++x) {
                verts.push_back({x * 0.002f, y * 0.002f, 0.5f, 0, 0, -1, 0xFFC0C0C0, 0, 0, x * 0.1f, y * 0.2f});
            }
        }
        for (int y = 0; y < 5; ++y) {
            for (int x = 0; x < 10; ++x) {
                const WORD a = static_cast<WORD>(y * 11 + x);
                const WORD quad[6] = {a, static_cast<WORD>(a + 1), static_cast<WORD>(a + 11),
                                      static_cast<WORD>(a + 11), static_cast<WORD>(a + 1), static_cast<WORD>(a + 12)};
                indices.insert(indices.end(), quad, quad + 6);
            }
        }
        const UINT vbBytes = static_cast<UINT>(verts.size() * sizeof(ToonVertex));
        const UINT ibBytes = static_cast<UINT>(indices.size() * sizeof(WORD));
        BYTE* p = nullptr;
        if (FAILED(dev->CreateVertexBuffer(vbBytes, D3DUSAGE_WRITEONLY, 0, D3DPOOL_MANAGED, vb.Out())) ||
            FAILED(dev->CreateIndexBuffer(ibBytes, D3DUSAGE_WRITEONLY, D3DFMT_INDEX16, D3DPOOL_MANAGED, ib.Out()))) {
            return false;
        }
        vb->Lock(0, 0, &p, 0);
        std::memcpy(p, verts.data(), vbBytes);
        vb->Unlock();
        ib->Lock(0, 0, &p, 0);
        std::memcpy(p, indices.data(), ibBytes);
        ib->Unlock();
        std::vector<BYTE> texels(64 * 64 * 4, 0xA0);
        return SUCCEEDED(dev->CreateTextureFromPixels(64, 64, texels.data(), tex.Out()));
    }

    // One draw of the grid with the toon shader: the 15 constants and the
    // material (the caller sets the textures), as the toon queue draws a model.
    void DrawGrid(const float (*constants)[4], const D3DMATERIAL8& material) {
        dev->SetVertexShaderConstant(0, constants, 15);
        dev->SetVertexShader(shader);
        dev->SetStreamSource(0, vb, sizeof(ToonVertex));
        dev->SetIndices(ib, 0);
        dev->SetMaterial(&material);
        dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 66, 0, 100);
    }

    ~Fixture() {
        if (dev) {
            dev->SetTexture(0, nullptr);
            dev->SetTexture(1, nullptr);
            dev->SetStreamSource(0, nullptr, 0);
            dev->SetIndices(nullptr, 0);
        }
        // The resources go before the device that made them.
        tex.Reset();
        vb.Reset();
        ib.Reset();
        ReleaseSaverDevice(&saver);
        if (hwnd) DestroyWindow(hwnd);
    }
};

void BM_ToonQueueFrame(benchmark::State& state) {
    Fixture f;
    if (!f.Create()) {
        state.SkipWithError("no device");
        return;
    }
    IDirect3DDevice8* dev = f.dev;
    float constants[15][4] = {};
    constants[0][0] = constants[1][1] = constants[2][2] = constants[3][3] = 1.0f;
    constants[12][1] = 0.5f;
    constants[12][2] = 1.0f;
    constants[14][1] = 1.0f;
    D3DMATERIAL8 material{};
    for (auto _ : state) {
        dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
        dev->BeginScene();
        dev->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
        dev->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
        dev->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
        for (int i = 0; i < 300; ++i) {
            constants[0][3] = static_cast<float>(i % 20) * 0.05f - 0.5f;
            constants[1][3] = static_cast<float>(i / 20) * 0.05f - 0.5f;
            material.Diffuse.a = (i % 3) ? 1.0f : 0.5f;
            dev->SetTexture(0, f.tex);
            dev->SetTexture(1, (i % 2) ? f.tex.Get() : nullptr);
            f.DrawGrid(constants, material);
            dev->SetTexture(0, nullptr);
            dev->SetTexture(1, nullptr);
        }
        dev->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
        dev->EndScene();
        dev->Present(nullptr, nullptr, nullptr, nullptr);
    }
    state.SetItemsProcessed(state.iterations() * 300);
}
BENCHMARK(BM_ToonQueueFrame)->Unit(benchmark::kMillisecond);

void BM_OverlayQuad(benchmark::State& state) {
    Fixture f;
    if (!f.Create()) {
        state.SkipWithError("no device");
        return;
    }
    IDirect3DDevice8* dev = f.dev;
    struct ScreenVertex {
        float x, y, z, rhw;
        D3DCOLOR color;
        float u, v;
    };
    // A 16 x 16 quad: the user-pointer path, not the rasteriser's fill rate.
    const ScreenVertex quad[4] = {{0, 0, 0, 1, 0x400000FF, 0, 0},
                                  {16, 0, 0, 1, 0x400000FF, 1, 0},
                                  {0, 16, 0, 1, 0x400000FF, 0, 1},
                                  {16, 16, 0, 1, 0x400000FF, 1, 1}};
    dev->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    dev->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    dev->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
    dev->SetVertexShader(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1);
    for (auto _ : state) {
        dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(ScreenVertex));
    }
    std::vector<BYTE> pixels(640 * 480 * 4);
    dev->ReadBackBuffer(pixels.data());  // waits for the queued draws
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_OverlayQuad)->Unit(benchmark::kMicrosecond);

// Fill rate: ten full-screen quads of the toon shader a frame (3.1 M
// fragments at 640 x 480), with the states the rigid models draw in. Arg:
// 0 opaque, untextured; 1 a toon-like ramp (64 texels, six steps), computed
// by the fragment program; 2 the same ramp sampled (its last row differs, so
// the device samples it); 3 the computed ramp and fog; 4 ramp, fog and alpha
// blending (a faded model).
void BM_ToonFill(benchmark::State& state) {
    Fixture f;
    if (!f.Create()) {
        state.SkipWithError("no device");
        return;
    }
    IDirect3DDevice8* dev = f.dev;
    const int variant = static_cast<int>(state.range(0));
    const int bands[7] = {0, 18, 45, 47, 66, 86, 110};  // where each value starts, of 128
    const BYTE values[7] = {0, 35, 18, 131, 202, 229, 253};
    std::vector<BYTE> texels(64 * 4 * 4);
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 64; ++x) {
            int b = 0;
            while (b < 6 && 2 * x >= bands[b + 1]) ++b;
            BYTE* p = &texels[(y * 64 + x) * 4];
            p[0] = p[1] = p[2] = values[b];
            p[3] = 0xFF;
        }
    }
    if (variant == 2) texels.back() = 0xFE;
    ComPtr<IDirect3DTexture8> ramp;
    if (FAILED(dev->CreateTextureFromPixels(64, 4, texels.data(), ramp.Out()))) {
        state.SkipWithError("no texture");
        return;
    }
    float constants[15][4] = {};
    // Clip space from the grid's 0..0.02 square: x, y scaled to cover -1..1.
    constants[0][0] = 100.0f;
    constants[0][3] = -1.0f;
    constants[1][1] = 200.0f;
    constants[1][3] = -1.0f;
    constants[2][3] = 0.5f;
    constants[3][3] = 1.0f;
    constants[6][3] = 500.0f;  // camera depth for the fog
    constants[12][1] = 0.5f;
    constants[12][2] = 1.0f;
    constants[13][0] = 1.0f;  // the light across the grid's normal: the ramp's middle
    constants[14][0] = -1.0f / 1000.0f;
    constants[14][1] = 1.0f;
    D3DMATERIAL8 material{};
    material.Diffuse.a = variant == 4 ? 0.5f : 1.0f;
    dev->SetRenderState(D3DRS_ZENABLE, FALSE);
    dev->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    dev->SetRenderState(D3DRS_FOGENABLE, variant >= 3 ? TRUE : FALSE);
    dev->SetRenderState(D3DRS_FOGCOLOR, 0xFFFFFFFF);
    dev->SetRenderState(D3DRS_ALPHABLENDENABLE, variant == 4 ? TRUE : FALSE);
    dev->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    dev->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    dev->SetTextureStageState(0, D3DTSS_MINFILTER, D3DTEXF_LINEAR);
    dev->SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTEXF_LINEAR);
    dev->SetTextureStageState(0, D3DTSS_ADDRESSU, D3DTADDRESS_CLAMP);
    for (auto _ : state) {
        dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
        dev->BeginScene();
        dev->SetTexture(0, variant >= 1 ? ramp.Get() : nullptr);
        for (int i = 0; i < 10; ++i) f.DrawGrid(constants, material);
        dev->EndScene();
        dev->Present(nullptr, nullptr, nullptr, nullptr);
    }
    dev->SetTexture(0, nullptr);
    state.SetItemsProcessed(state.iterations() * 10 * 640 * 480);
}
BENCHMARK(BM_ToonFill)->DenseRange(0, 4)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

}  // namespace

BENCHMARK_MAIN();
