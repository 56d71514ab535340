// Start-up cost on the real GL device (offscreen driver unless SDL_VIDEODRIVER
// says otherwise):
//   - LoadModel/<n>: XModel::LoadXFile of one rigid model resource (parse,
//     mesh copies, buffers, bounds, textures through the cache), released
//     outside the timing;
//   - LoadAllModels: the 24 rigid models the scene objects load, one after
//     the other;
//   - InitiateObjects: the lifecycle's whole object start-up with the default
//     settings, on a fresh device each time (device creation and release are
//     not timed).
// Settings and logs go to a private temporary folder, never the user's.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/os/registry.h"
#include "platform/os/window.h"
#include "scene/xmodel.h"
#include "shell/lifecycle.h"
#include "shell/saver.h"
#include "tests/support/private_folders.h"

namespace {

// The rigid models of the scene: clocks, Earth, moon, pillars, obstacles.
constexpr const char* kModels[] = {
    "AM.X",     "BASE.X",   "EARTH.X",  "HARI01.X", "HARI02.X", "HARI03.X",     "MOJI.X",    "MOON01.X",
    "NAME00.X", "NAME01.X", "NAME02.X", "NAME03.X", "NAME04.X", "NAME05.X",     "NAME06.X",  "NAME07.X",
    "NAME08.X", "NAME09.X", "NAME10.X", "NAME11.X", "OBSTACLE01.X", "PILLAR.X", "PILLAR2.X", "PM.X"};
constexpr int kModelCount = static_cast<int>(sizeof kModels / sizeof kModels[0]);
static_assert(kModelCount == 24);

const PrivateFolders g_Folders("nereval-bench");

// The lifecycle's device and renderer set-up in a hidden test window, with
// the default settings; no objects.
class Device {
public:
    Device() {
        g_Settings.SetDefaults();
        g_bWindowed = 1;
        RegisterClassA(kWindowClass, WndProc);
        m_hwnd = CreateWindowExA(0, kWindowClass, kWindowTitle, WS_CAPTION | WS_SYSMENU, 0, 0, 640, 480);
    }
    ~Device() {
        ReleaseAll();
        if (m_hwnd) DestroyWindow(m_hwnd);
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) break;
        }
        g_bWindowed = 0;
        std::filesystem::remove(RegistryFilePath(kSettingsKey));
    }
    bool Create() { return m_hwnd && SUCCEEDED(InitiateD3D(m_hwnd)) && SUCCEEDED(InitiateRenderer(m_hwnd)); }
    HWND Window() const { return m_hwnd; }

private:
    HWND m_hwnd = nullptr;
};

void BM_LoadModel(benchmark::State& state) {
    Device device;
    if (!device.Create()) {
        state.SkipWithError("no device");
        return;
    }
    const char* name = kModels[state.range(0)];
    state.SetLabel(name);
    for (auto _ : state) {
        XModel model;
        if (FAILED(model.LoadXFile(g_pDevice, name, nullptr))) {
            state.SkipWithError("LoadXFile failed");
            break;
        }
        state.PauseTiming();
        model.DeleteDeviceObjects();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_LoadModel)->DenseRange(0, kModelCount - 1)->Unit(benchmark::kMicrosecond);

void BM_LoadAllModels(benchmark::State& state) {
    Device device;
    if (!device.Create()) {
        state.SkipWithError("no device");
        return;
    }
    for (auto _ : state) {
        XModel models[kModelCount];
        const char* failed = nullptr;
        for (int i = 0; i < kModelCount && !failed; ++i) {
            if (FAILED(models[i].LoadXFile(g_pDevice, kModels[i], nullptr))) failed = kModels[i];
        }
        state.PauseTiming();
        for (XModel& m : models) m.DeleteDeviceObjects();
        state.ResumeTiming();
        if (failed) {
            state.SkipWithError(failed);
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * kModelCount);
}
BENCHMARK(BM_LoadAllModels)->Unit(benchmark::kMillisecond);

void BM_InitiateObjects(benchmark::State& state) {
    Device device;
    for (auto _ : state) {
        state.PauseTiming();
        if (!device.Create()) {
            state.SkipWithError("no device");
            break;
        }
        state.ResumeTiming();
        const HRESULT hr = InitiateObjects(device.Window());
        state.PauseTiming();
        ReleaseAll();  // objects, device and all
        state.ResumeTiming();
        if (FAILED(hr)) {
            state.SkipWithError("InitiateObjects failed");
            break;
        }
    }
}
BENCHMARK(BM_InitiateObjects)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
