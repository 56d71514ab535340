// Cost of the saver's frame on the real GL device (offscreen driver unless
// SDL_VIDEODRIVER says otherwise), the whole saver started as the shell starts
// it, in a hidden 640 x 480 test window, presenting without waiting for the
// vertical blank:
//   - SaverFrame: Frame() as the message loop runs it (time step, update,
//     drawing, present), with the default settings and with every set piece
//     off (no Earth, pillars, moons, floating ring or clocks);
//   - UpdateRender: Update() then Render() without Present;
//   - Update: the simulation step alone;
//   - EmptyFrame: clear, begin, end and present on the same device, the floor
//     every frame pays.
// Times are wall-clock (the driver rasterises on its own threads), so the
// items/s figure is frames per second.
// Settings and logs go to a private temporary folder, never the user's.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/os/registry.h"
#include "platform/os/window.h"
#include "shell/frametimer.h"
#include "shell/lifecycle.h"
#include "shell/saver.h"
#include "tests/support/private_folders.h"

namespace {

// Settings and logs go to a temporary folder for the life of the program.
const PrivateFolders g_Folders("nereval-bench");

enum class Scene { Default, NoSetPieces };

// The whole saver, started in a hidden test window and released at the end.
class Saver {
public:
    explicit Saver(Scene scene) {
        std::filesystem::remove(RegistryFilePath(kSettingsKey));
        g_Settings.SetDefaults();
        if (scene == Scene::NoSetPieces) {
            g_Settings.intChkEarth = g_Settings.intChkPillar = g_Settings.intChkMoon = 0;
            g_Settings.intChkFltPillar = g_Settings.intChkClock = 0;
        }
        g_Settings.Save();  // Initiate loads the settings from the registry
        g_bWindowed = 1;
        RegisterClassA(kWindowClass, WndProc);
        m_hwnd = CreateWindowExA(0, kWindowClass, kWindowTitle, WS_CAPTION | WS_SYSMENU, 0, 0, 640, 480);
        if (!m_hwnd || Initiate(m_hwnd) != 1) return;
        // Frames back to back: present without waiting for the vertical blank.
        g_PresentParams.FullScreen_PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
        if (FAILED(g_pDevice->Reset(&g_PresentParams)) || FAILED(InitiateRenderer(m_hwnd))) return;
        FrameTimerForgetState();
        FrameTimer(TimerCommand::Start);
        m_ok = true;
    }
    ~Saver() {
        ReleaseAll();
        if (m_hwnd) DestroyWindow(m_hwnd);
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) break;
        }
        FrameTimerForgetState();
        g_bWindowed = 0;
        std::filesystem::remove(RegistryFilePath(kSettingsKey));
    }
    bool Ok() const { return m_ok; }
    HWND Window() const { return m_hwnd; }

    // Lets the driver compile what it compiles lazily before timing starts.
    void WarmUp() {
        for (int n = 0; n < 30; ++n) Frame(m_hwnd);
    }

private:
    HWND m_hwnd = nullptr;
    bool m_ok = false;
};

// items/s = frames/s; with the draw calls and triangles of the last presented frame.
void ReportFrames(benchmark::State& state) {
    state.SetItemsProcessed(state.iterations());
    const DeviceFrameStats stats = g_pDevice->GetFrameStats();
    state.counters["draws"] = static_cast<double>(stats.drawCalls);
    state.counters["triangles"] = static_cast<double>(stats.triangles);
}

void BM_SaverFrame(benchmark::State& state) {
    Saver saver(static_cast<Scene>(state.range(0)));
    if (!saver.Ok()) {
        state.SkipWithError("the saver did not start");
        return;
    }
    state.SetLabel(state.range(0) == 0 ? "default settings" : "no set pieces");
    saver.WarmUp();
    for (auto _ : state) Frame(saver.Window());
    ReportFrames(state);
}
BENCHMARK(BM_SaverFrame)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// The scene's own work without presentation. The driver still rasterises what
// was queued, on its own threads; every 64 frames a present lets it catch up
// (outside the timing) so its command queue stays bounded.
void BM_UpdateRender(benchmark::State& state) {
    Saver saver(static_cast<Scene>(state.range(0)));
    if (!saver.Ok()) {
        state.SkipWithError("the saver did not start");
        return;
    }
    state.SetLabel(state.range(0) == 0 ? "default settings" : "no set pieces");
    saver.WarmUp();
    g_fElapsedTime = 0.016f;
    long n = 0;
    for (auto _ : state) {
        Update();
        Render();
        if (++n % 64 == 0) {
            state.PauseTiming();
            g_pDevice->Present(nullptr, nullptr, nullptr, nullptr);
            state.ResumeTiming();
        }
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_UpdateRender)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Update(benchmark::State& state) {
    Saver saver(Scene::Default);
    if (!saver.Ok()) {
        state.SkipWithError("the saver did not start");
        return;
    }
    saver.WarmUp();
    g_fElapsedTime = 0.016f;
    for (auto _ : state) Update();
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Update)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_EmptyFrame(benchmark::State& state) {
    Saver saver(Scene::NoSetPieces);
    if (!saver.Ok()) {
        state.SkipWithError("the saver did not start");
        return;
    }
    saver.WarmUp();
    for (auto _ : state) {
        g_pDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, g_ClearColor, 1.0f, 0);
        g_pDevice->BeginScene();
        g_pDevice->EndScene();
        g_pDevice->Present(nullptr, nullptr, nullptr, nullptr);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_EmptyFrame)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
