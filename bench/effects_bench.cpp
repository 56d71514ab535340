// Cost of the screen effects on the real device (offscreen driver unless
// SDL_VIDEODRIVER says otherwise):
//   - the bubbles' start-up pre-roll (1800 steps of Emit and Move at 0.03 s,
//     what start-up pays in the deep sea), one frame's step at the steady
//     population of about 940, and one frame's Render (filling the buffer for
//     every live bubble and the single draw);
//   - the font's start-up (fontconfig look-up, FreeType rasterisation of the
//     atlas, texture upload) and one frame's frame-rate text.
#include <benchmark/benchmark.h>

#include <cstdlib>

#include "platform/base/com_ptr.h"
#include "platform/d3d8/d3d8.h"
#include "platform/d3dx/d3dx_math.h"
#include "platform/os/window.h"
#include "platform/font/d3dx_font.h"
#include "platform/font/gdi_font.h"
#include "render/particle_bubble.h"

namespace {

LRESULT BenchWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

// A hidden 640 x 480 window with a device on it, for the bubbles' texture
// and vertex buffer.
class BenchDevice {
public:
    BenchDevice() {
        if (!std::getenv("DISPLAY")) setenv("SDL_VIDEODRIVER", "offscreen", 0);
        m_d3d.Reset(Direct3DCreate8(D3D_SDK_VERSION));
        if (!m_d3d || !RegisterClassA("NerevalBubbleBench", BenchWindowProc)) return;
        m_hwnd = CreateWindowExA(0, "NerevalBubbleBench", "bubble bench", WS_CAPTION, 0, 0, 640, 480);
        if (!m_hwnd) return;
        D3DPRESENT_PARAMETERS p{};
        p.BackBufferFormat = D3DFMT_X8R8G8B8;
        p.BackBufferCount = 1;
        p.SwapEffect = D3DSWAPEFFECT_DISCARD;
        p.hDeviceWindow = m_hwnd;
        p.Windowed = TRUE;
        p.EnableAutoDepthStencil = TRUE;
        p.AutoDepthStencilFormat = D3DFMT_D16;
        p.FullScreen_PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
        if (FAILED(m_d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, m_hwnd,
                                       D3DCREATE_SOFTWARE_VERTEXPROCESSING, &p, m_device.Out()))) {
            m_device.Reset();
        }
    }
    ~BenchDevice() {
        m_device.Reset();  // before its window; Direct3D itself goes last, with the members
        if (m_hwnd) DestroyWindow(m_hwnd);
    }
    IDirect3DDevice8* Device() const { return m_device; }

private:
    ComPtr<IDirect3D8> m_d3d;
    HWND m_hwnd = nullptr;
    ComPtr<IDirect3DDevice8> m_device;
};

void PreRoll(ParticleBubble* b) {
    for (int i = 0; i < 1800; ++i) {
        b->Emit(0.03f);
        b->Move(0.03f, 0.0f);
    }
}

void BM_BubblePreRoll(benchmark::State& state) {
    BenchDevice dev;
    if (!dev.Device()) {
        state.SkipWithError("no device");
        return;
    }
    ParticleBubble b;
    for (auto _ : state) {
        state.PauseTiming();
        b.InitDeviceObjects(dev.Device(), 1, nullptr);  // a fresh start each time
        state.ResumeTiming();
        PreRoll(&b);
    }
    state.counters["live"] = static_cast<double>(b.GetCount());
}
BENCHMARK(BM_BubblePreRoll)->Unit(benchmark::kMillisecond);

void BM_BubbleStep(benchmark::State& state) {
    BenchDevice dev;
    if (!dev.Device()) {
        state.SkipWithError("no device");
        return;
    }
    ParticleBubble b;
    b.InitDeviceObjects(dev.Device(), 1, nullptr);
    PreRoll(&b);
    float t = 0.0f;
    for (int i = 0; i < 4000; ++i, t += 1.0f / 60.0f) {  // on to the steady state
        b.Emit(1.0f / 60.0f);
        b.Move(1.0f / 60.0f, t);
    }
    for (auto _ : state) {
        b.Emit(1.0f / 60.0f);
        b.Move(1.0f / 60.0f, t);
        t += 1.0f / 60.0f;
    }
    state.counters["live"] = static_cast<double>(b.GetCount());
}
BENCHMARK(BM_BubbleStep)->Unit(benchmark::kMicrosecond);

// Render at the steady population: the buffer fill and one draw; a present
// every 64 frames (outside the timing) keeps the driver's queue bounded.
void BM_BubbleRender(benchmark::State& state) {
    BenchDevice dev;
    if (!dev.Device()) {
        state.SkipWithError("no device");
        return;
    }
    IDirect3DDevice8* d = dev.Device();
    ParticleBubble b;
    b.InitDeviceObjects(d, 1, nullptr);
    PreRoll(&b);
    for (int i = 0; i < 4000; ++i) {
        b.Emit(1.0f / 60.0f);
        b.Move(1.0f / 60.0f, 0.0f);
    }
    D3DXMATRIX billboard;
    D3DXMatrixIdentity(&billboard);
    long n = 0;
    for (auto _ : state) {
        d->BeginScene();
        b.Render(d, billboard);
        d->EndScene();
        if (++n % 64 == 0) {
            state.PauseTiming();
            d->Present(nullptr, nullptr, nullptr, nullptr);
            state.ResumeTiming();
        }
    }
    state.counters["live"] = static_cast<double>(b.GetCount());
}
BENCHMARK(BM_BubbleRender)->Unit(benchmark::kMicrosecond);

// What start-up steps 9 and 10 cost: the face found and opened, the atlas
// rasterised and uploaded.
void BM_FontCreate(benchmark::State& state) {
    BenchDevice dev;
    if (!dev.Device()) {
        state.SkipWithError("no device");
        return;
    }
    for (auto _ : state) {
        HFONT f = CreateFontA(0, 0, 0, 0, FW_SEMIBOLD, FALSE, TRUE, FALSE, ANSI_CHARSET, OUT_TT_ONLY_PRECIS,
                              CLIP_DEFAULT_PRECIS, PROOF_QUALITY, DEFAULT_PITCH | FF_DONTCARE, "Lucida Console");
        bool made = false;
        {
            ComPtr<ID3DXFont> font;  // released before the GDI font it was made from
            made = f && SUCCEEDED(D3DXCreateFont(dev.Device(), f, font.Out()));
        }
        DeleteObject(f);
        if (!made) {
            state.SkipWithError("no font");
            return;
        }
    }
}
BENCHMARK(BM_FontCreate)->Unit(benchmark::kMillisecond);

// One frame's frame-rate text: seven glyphs and the underline in one draw.
void BM_FrameRateText(benchmark::State& state) {
    BenchDevice dev;
    if (!dev.Device()) {
        state.SkipWithError("no device");
        return;
    }
    IDirect3DDevice8* d = dev.Device();
    HFONT f = CreateFontA(0, 0, 0, 0, FW_SEMIBOLD, FALSE, TRUE, FALSE, ANSI_CHARSET, OUT_TT_ONLY_PRECIS,
                          CLIP_DEFAULT_PRECIS, PROOF_QUALITY, DEFAULT_PITCH | FF_DONTCARE, "Lucida Console");
    ComPtr<ID3DXFont> font;
    if (!f || FAILED(D3DXCreateFont(d, f, font.Out()))) {
        state.SkipWithError("no font");
        DeleteObject(f);
        return;
    }
    long n = 0;
    for (auto _ : state) {
        d->BeginScene();
        RECT r{0, 0, 640, 480};
        font->DrawTextA(" 59.94 ", -1, &r, DT_SINGLELINE | DT_NOCLIP, 0x88BBBBFF);
        d->EndScene();
        if (++n % 64 == 0) {
            state.PauseTiming();
            d->Present(nullptr, nullptr, nullptr, nullptr);
            state.ResumeTiming();
        }
    }
    font.Reset();  // before the GDI font it was made from
    DeleteObject(f);
}
BENCHMARK(BM_FrameRateText)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
