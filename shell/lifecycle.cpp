// Start-up, the frame and tear-down, in the fixed orders the saver relies on.
#include "shell/lifecycle.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <utility>

#include "flock/school.h"
#include "music/bgm.h"
#include "platform/d3dx/d3dx_resource.h"
#include "platform/os/clock.h"
#include "platform/os/instance.h"
#include "platform/os/window.h"
#include "platform/xfile/xfile.h"
#include "render/device_setup.h"
#include "render/renderer_states.h"
#include "shell/frametimer.h"
#include "shell/saver.h"

// Construction order matters: the settings seed the random generator first.
Settings g_Settings;
Settings g_SettingsAsRead;
SettingsOverlay g_SettingsFlags;
int g_bHostedWindow = 0;
unsigned long g_HostWindow = 0;
MonitorView g_Views[kMaxViews];
int g_nViews = 0;
ErrLog g_ErrLog;
D3DXVECTOR4 g_vLightDirBase(0.5f, 0.9f, 0.5f, 0.0f);
D3DXVECTOR4 g_vLightDir(0.0f, 0.8f, -0.2f, 0.0f);
Camera g_Camera;
FogState g_Fog;
CameraModes g_CameraModes;
ZSortRender g_ZSortRender;
SkinnedMesh g_DammySkm;
Ferguson g_Ferguson;
CameraRig g_CameraRig;
EarthAndPillar g_EarthAndPillar;
Boids g_Boids;
Goal g_Goal;
WhaleDrawing g_WhaleDrawing;
WorldClock g_WorldClock;
BackGroundObj g_Obstacle01BGO;
ParticleBubble g_ParticleBubble;
Cellophane g_Cellophane;
HFONT g_hFont = nullptr;
ComPtr<ID3DXFont> g_pFont;
FrameRateText g_FrameRate;

ComPtr<IDirect3D8> g_pD3D;
ComPtr<IDirect3DDevice8> g_pDevice;
D3DPRESENT_PARAMETERS g_PresentParams{};
D3DCAPS8 g_Caps{};
int g_bDeviceReady = 0;
int g_nScreenWidth = 640;
int g_nScreenHeight = 480;
float g_fAspect = 4.0f / 3.0f;
D3DCOLOR g_ClearColor = 0xFF000000;
float g_fElapsedTime = 0.0f;
float g_fAppTime = 0.0f;
const char* g_szFailedStage = nullptr;
std::unique_ptr<MusicManager> g_pMusicManager;
std::unique_ptr<MusicSegment> g_pSegment;

namespace {
// The frame-rate text's larger sizes (see PrepareFrameRateFonts).
struct SizedFont {
    int cell = 0;  // pixels; 0: a free slot
    HFONT gdi = nullptr;
    ComPtr<ID3DXFont> font;
};
SizedFont g_SizedFonts[kMaxViews];

// Lucida Console, semi-bold, underlined, `cell` pixels high (0: the default
// size); a monospace face stands in where the system has no Lucida Console.
HFONT CreateFrameRateFont(int cell) {
    return CreateFontA(cell, 0, 0, 0, FW_SEMIBOLD, FALSE, TRUE, FALSE, ANSI_CHARSET, OUT_TT_ONLY_PRECIS,
                       CLIP_DEFAULT_PRECIS, PROOF_QUALITY, DEFAULT_PITCH | FF_DONTCARE, "Lucida Console");
}

void ReleaseFrameRateFonts() {
    for (SizedFont& f : g_SizedFonts) {
        f.font.Reset();  // before the GDI font it was made from
        if (f.gdi) DeleteObject(f.gdi);
        f = SizedFont{};
    }
}

// The lines of view v (the whole back buffer when there are no views).
int ViewLines(int v) { return g_nViews > 0 ? static_cast<int>(g_Views[v].viewport.Height) : g_nScreenHeight; }

// The font for a view `lines` high: a made larger size, else the default.
ID3DXFont* FrameRateFont(int lines) {
    const int cell = FrameRateText::CellHeightFor(lines, kDefaultCellHeight);
    for (const SizedFont& f : g_SizedFonts) {
        if (cell != kDefaultCellHeight && f.cell == cell && f.font) return f.font;
    }
    return g_pFont;
}

// Held by the hosted saver that plays the music (see InitiateBGM).
constexpr const char* kMusicLockName = "NEREVAL_MUSIC";
HANDLE g_hMusicLock = nullptr;
}  // namespace

namespace {

// One object of InitiateObjects: its line, then "\tFailed\n" when it fails.
template <typename Step>
bool InitObject(const char* line, Step&& step) {
    return SUCCEEDED(ObjectStep(&g_ErrLog, line, "\tFailed\n", step));
}

// Runs an object's creation step, then its restore step, whose result the
// start-up does not examine; the creation step's result is the answer.
template <typename Object, typename Init>
HRESULT InitThenRestore(Object& object, Init init) {
    const HRESULT hr = init();
    object.RestoreDeviceObjects();
    return hr;
}

// One stage of Initiate: its line, then "Failed\n" when it fails.
template <typename Step>
bool InitStage(const char* line, Step&& step) {
    return SUCCEEDED(ObjectStep(&g_ErrLog, line, "Failed\n", step));
}

// Start-up failed at `stage`: the log goes to its file.
int FailStart(const char* stage) {
    g_ErrLog.Write();
    g_szFailedStage = stage;
    return 0;
}

}  // namespace

int Initiate(HWND hwnd) {
    g_szFailedStage = nullptr;
    SRand(timeGetTime());
    g_Settings.Load();
    g_SettingsAsRead = g_Settings;
    g_SettingsFlags.ApplyTo(&g_Settings);
    if (g_Settings.intDisMod == 2) {
        g_nScreenWidth = 800;
        g_nScreenHeight = 600;
    } else {
        g_nScreenWidth = 640;
        g_nScreenHeight = 480;
    }
    g_ClearColor = g_Settings.intChkCol == 1 ? 0xFF000000 : 0xFFFFFFFF;
    g_nViews = 0;
    if (!g_bWindowed) {
        RECT monitors[kMaxViews];
        const int count = GetMonitorRects(monitors, kMaxViews);
        if (count > 1) PlanMonitorViews(monitors, count, g_nScreenWidth, g_nScreenHeight);
    }

    if (!InitStage("InitiateD3D...\n", [&] { return InitiateD3D(hwnd); })) return FailStart("InitiateD3D");
    if (g_bHostedWindow) {  // the picture is made at the host window's own size
        g_nScreenWidth = static_cast<int>(g_PresentParams.BackBufferWidth);
        g_nScreenHeight = static_cast<int>(g_PresentParams.BackBufferHeight);
    }
    if (!InitStage("InitiateRenderer...\n", [&] { return InitiateRenderer(hwnd); })) return FailStart("InitiateRenderer");
    const bool objects = InitStage("InitiateObjects...\n", [&] { return InitiateObjects(hwnd); });
    ReleasePrefetchedImages();  // what no texture took
    ReleasePrefetchedXFiles();  // and no model
    if (!objects) return FailStart("InitiateObjects");
    if (g_Settings.intChkBGM == 1 && !InitStage("InitiateBGM...\n", [&] { return InitiateBGM(hwnd); })) {
        return FailStart("InitiateBGM");  // fixed log text
    }

    if (!InitStage("InitiateFont...\n", [&] { return g_hFont = CreateFrameRateFont(0); })) {  // fixed log text
        return FailStart("InitiateFont");
    }
    if (!InitStage("Initiate3DFont...\n", [&] { return D3DXCreateFont(g_pDevice, g_hFont, g_pFont.Out()); })) {
        return FailStart("Initiate3DFont");  // fixed log text
    }
    g_FrameRate.Configure(&g_Settings, DebugStatsRequested());
    PrepareFrameRateFonts();
    return 1;
}

HRESULT InitiateD3D(HWND hwnd) {
    DeviceRequest request;
    request.hwnd = hwnd;
    request.windowed = g_bWindowed != 0;
    // The test window's back buffer is its client area; full screen renders
    // at the chosen size and the device scales it to the screen.
    request.width = g_bWindowed ? 0 : static_cast<UINT>(g_nScreenWidth);
    request.height = g_bWindowed ? 0 : static_cast<UINT>(g_nScreenHeight);
    request.presentationInterval = D3DPRESENT_INTERVAL_DEFAULT;
    SaverDevice made;
    if (FAILED(CreateSaverDevice(request, &made, &g_ErrLog))) return E_FAIL;
    g_PresentParams = made.params;
    g_Caps = made.caps;
    g_pDevice = std::move(made.device);
    g_pD3D = std::move(made.d3d);
    g_bDeviceReady = 1;
    return S_OK;
}

namespace {

// The renderer's device states, the aspect and the projection (with the fog
// that goes with it); the camera's pose is left as it is.
void ApplyRendererStates(IDirect3DDevice8* d) {
    SetRendererStates(d);
    if (g_Settings.intAspMod == 1) g_fAspect = 4.0f / 3.0f;
    if (g_Settings.intAspMod == 2) g_fAspect = 16.0f / 9.0f;
    if (g_bHostedWindow && g_nScreenHeight > 0) {
        g_fAspect = static_cast<float>(g_nScreenWidth) / static_cast<float>(g_nScreenHeight);
    }
    g_Fog.SetColor(g_ClearColor);
    g_Fog.Apply(d, &g_Camera, g_fAspect, 1);
}

}  // namespace

HRESULT InitiateRenderer(HWND) {
    if (!g_bDeviceReady) return E_FAIL;
    g_Camera.ResetMatrices();
    g_Camera.SetPosition(0.0f, 0.0f, -240.0f);
    ApplyRendererStates(g_pDevice);
    return S_OK;
}

HRESULT InitiateObjects(HWND) {
    if (!g_bDeviceReady) return E_FAIL;
    IDirect3DDevice8* d = g_pDevice;
    ErrLog* log = &g_ErrLog;
    // A start begins where a new process begins: the simulation state an
    // earlier start in this process left (tests, benchmarks) is forgotten.
    g_WhaleDrawing.Delete();
    g_Goal = Goal();
    g_CameraRig = CameraRig();
    g_CameraModes = CameraModes();
    bool ok = InitObject("\tZSortRender.InitDeviceObjects...\n", [&] { return g_ZSortRender.InitDeviceObjects(d, log); }) &&
              InitObject("\tZSortRender.RestoreDeviceObjects...\n",
                         [&] { return g_ZSortRender.RestoreDeviceObjects(d, log); }) &&
              InitObject("\tDammySkm.InitDeviceObjects...\n",
                         [&] {
                             return InitThenRestore(g_DammySkm,
                                                    [&] { return g_DammySkm.InitDeviceObjects(d, g_Caps, "Dammy.x", log); });
                         }) &&
              InitObject("\tFerguson.InitDeviceObjects...\n",
                         [&] { return g_Ferguson.InitDeviceObjects("CLOCK.FPP", log); }) &&
              InitObject("\tEarthAndPillar.InitDeviceObjects...\n",
                         [&] { return g_EarthAndPillar.InitDeviceObjects(d, &g_Settings, log); }) &&
              InitObject("\tBoids.InitDeviceObjects...\n",
                         [&] {
                             g_Boids.ApplySettings(&g_Settings);
                             // Each object re-seeds the generator from the clock.
                             const HRESULT made = g_Boids.CreateWhales(timeGetTime(), log);
                             if (FAILED(made)) return made;
                             return InitThenRestore(g_WhaleDrawing.School(),
                                                    [&] { return g_WhaleDrawing.InitSchool(d, g_Caps, &g_Settings, log); });
                         }) &&
              InitObject("\tGoal.InitDeviceObjects...\n",
                         [&] {
                             g_Goal.ApplySettings(&g_Settings);
                             g_Goal.SeedTargets(timeGetTime());
                             return InitThenRestore(g_WhaleDrawing.Guide(),
                                                    [&] { return g_WhaleDrawing.InitGuide(d, g_Caps, &g_Settings, log); });
                         }) &&
              InitObject("\tWorldClock.InitDeviceObjects...\n",
                         [&] { return g_WorldClock.InitDeviceObjects(d, "WORLDCLOCK.TPS", &g_Settings, log); }) &&
              InitObject("\tObstacle01BGO.InitDeviceObjects...\n", [&] {
                  return g_Obstacle01BGO.InitDeviceObjects(d, "OBSTACLE01.X", "OBSTACLE01.BPS", log);
              });
    if (!ok) return E_FAIL;
    if (g_WhaleDrawing.School().RigidFallback() || g_WhaleDrawing.Guide().RigidFallback()) {
        std::fprintf(stderr, "nereval: the animated whales cannot be drawn (a whale model or skinning shader "
                             "failed to load); rigid whales swim instead\n");
    }
    g_Obstacle01BGO.m_fCheckRange = kObstacleCheckRange;

    if (!InitObject("\tParticleBubble.InitDeviceObjects...\n",
                    [&] { return g_ParticleBubble.InitDeviceObjects(d, g_Settings.intChkCol, log); })) {
        return E_FAIL;
    }
    g_fElapsedTime = kBubblePreRollStep;
    for (int i = 0; i < kBubblePreRollSteps; ++i) {
        g_ParticleBubble.Emit(g_fElapsedTime);
        g_ParticleBubble.Move(g_fElapsedTime, g_fAppTime);
    }
    g_fElapsedTime = 0.0f;

    g_Cellophane.Configure(&g_Settings);
    if (!InitObject("\tCellophane.InitDeviceObjects...\n", [&] {
            return g_Cellophane.InitDeviceObjects(d, static_cast<UINT>(g_nScreenWidth),
                                                  static_cast<UINT>(g_nScreenHeight), log);
        })) {
        return E_FAIL;
    }
    return S_OK;
}

HRESULT InitiateBGM(HWND hwnd) {
    // The daemon starts one hosted saver per monitor: the first to get here
    // plays the tune, the others keep silent. The lock goes with the process.
    if (g_bHostedWindow && !g_hMusicLock) {
        g_hMusicLock = CreateMutexA(nullptr, FALSE, kMusicLockName);
        if (!g_hMusicLock && GetLastError() == ERROR_ALREADY_EXISTS) {
            std::fprintf(stderr, "nereval: music off here: the saver on another monitor plays it\n");
            return S_FALSE;
        }
    }
    g_pMusicManager = NewUnique<MusicManager>();
    if (!g_pMusicManager) {
        g_ErrLog.Append("\tpMusicManager == NULL");  // fixed log text (no newline)
        return E_FAIL;
    }
    HRESULT hr = ObjectStep(&g_ErrLog, "\tpMusicManager->Initialize...\n", "\tFailed\n",  // fixed log texts
                            [&] { return g_pMusicManager->Initialize(hwnd, 128, kPathSharedStereoPlusReverb); });
    if (FAILED(hr)) {
        // Music is optional, and a saver that runs outside the user's sound
        // session or without a soundfont must still cover the screen.
        std::fprintf(stderr, "nereval: music off: %s; the saver runs without music\n",
                     g_pMusicManager->InitFailure());
        g_pMusicManager.reset();
        return S_FALSE;
    }
    bool fellBack = false;
    const char* refusal = nullptr;
    hr = ObjectStepWithCode(&g_ErrLog, "\tLoading Midi File...\n", "\tFailed hr=%x",  // fixed log texts (no newline)
                            [&] {
                                return LoadBGMSegment(g_pMusicManager.get(), g_Settings.strBGMUsr, &g_pSegment,
                                                      &fellBack, &refusal);
                            });
    if (fellBack) {
        std::fprintf(stderr, "nereval: the tune %s cannot be played (%s); the built-in tune plays instead\n",
                     g_Settings.strBGMUsr, refusal);
    }
    if (FAILED(hr)) return hr;
    return PlayBGMSegment(g_pMusicManager.get(), g_pSegment.get());
}

namespace {

// In hosted mode, after a successful device reset: the screen size the back
// buffer now has, and the tint that covers it.
void FollowBackBufferSize() {
    if (!g_bHostedWindow) return;
    g_nScreenWidth = static_cast<int>(g_PresentParams.BackBufferWidth);
    g_nScreenHeight = static_cast<int>(g_PresentParams.BackBufferHeight);
    g_Cellophane.DeleteDeviceObjects();
    g_Cellophane.InitDeviceObjects(g_pDevice, static_cast<UINT>(g_nScreenWidth), static_cast<UINT>(g_nScreenHeight),
                                   nullptr);
    PrepareFrameRateFonts();
}

// After a lost device came back: the renderer's initial set-up, as at start.
void AfterReset(HWND hwnd) {
    FollowBackBufferSize();
    InitiateRenderer(hwnd);
}

}  // namespace

void FollowWindowSize(HWND hwnd) {
    RECT client{};
    if (!g_bDeviceReady || !GetClientRect(hwnd, &client) || client.right <= 0 || client.bottom <= 0) return;
    if (static_cast<UINT>(client.right) == g_PresentParams.BackBufferWidth &&
        static_cast<UINT>(client.bottom) == g_PresentParams.BackBufferHeight) {
        return;
    }
    // 0 x 0 asks for the client size; a failed reset leaves the device lost
    // and the frame's lost-device path tries again. A resize keeps the
    // camera where it is: only the states and the projection's aspect follow
    // (a window being dragged to a new size resizes every frame).
    g_PresentParams.BackBufferWidth = 0;
    g_PresentParams.BackBufferHeight = 0;
    if (SUCCEEDED(g_pDevice->Reset(&g_PresentParams))) {
        FollowBackBufferSize();
        ApplyRendererStates(g_pDevice);
    }
}

void Frame(HWND hwnd) {
    if (!g_bDeviceReady) return;
    if (g_bHostedWindow) FollowWindowSize(hwnd);
    float dt = static_cast<float>(FrameTimer(TimerCommand::GetElapsedTime));
    g_fElapsedTime = dt > kMaxTimeStep ? kMaxTimeStep : dt;
    g_fAppTime = static_cast<float>(FrameTimer(TimerCommand::GetAppTime));

    Update();
    Render();

    if (g_pDevice->Present(nullptr, nullptr, nullptr, nullptr) == D3DERR_DEVICELOST) {
        if (g_pDevice->TestCooperativeLevel() == D3DERR_DEVICENOTRESET) {
            if (SUCCEEDED(g_pDevice->Reset(&g_PresentParams))) AfterReset(hwnd);
        }
    }
}

int Update() {
    // The light circles at 1/3 rad/s about y, and tumbles at 0.4 rad/s about x
    // in the deep sea.
    // The angles are reduced to one turn in double precision: the
    // millisecond clock counts from boot, and after days of uptime a float
    // of it would move the light in visible steps.
    const double t = static_cast<double>(timeGetTime());
    constexpr double kTurn = 6.283185307179586;
    D3DXMATRIX m;
    D3DXMatrixRotationY(&m, static_cast<float>(std::fmod(t / 3000.0, kTurn)));
    if (g_Settings.intChkCol == 1) {
        D3DXMATRIX rx;
        D3DXMatrixRotationX(&rx, static_cast<float>(std::fmod(t / 2500.0, kTurn)));
        D3DXMatrixMultiply(&m, &m, &rx);
    }
    D3DXVec4Transform(&g_vLightDir, &g_vLightDirBase, &m);

    // The guide moves (its target aims at the previous frame's eye), the
    // school follows it, the path is re-centred on the school and the rig
    // rides it.
    const float dt = g_fElapsedTime;
    const D3DXVECTOR3 centre =
        UpdateSchool(&g_Goal, &g_Boids, &g_Ferguson, &g_CameraRig, &g_Obstacle01BGO, g_Camera.GetPosition(), dt);

    g_EarthAndPillar.Update(dt);
    g_WorldClock.Update();
    g_ParticleBubble.Emit(g_fElapsedTime);
    g_ParticleBubble.Move(g_fElapsedTime, g_fAppTime);

    CameraModeInput camera;
    camera.mode = g_Settings.intCamMod;
    camera.rigPose = g_CameraRig.GetWorldMatrix();
    camera.flockCentre = centre;
    camera.dt = dt;
    camera.aspect = g_fAspect;
    camera.fogFar = g_Fog.GetFar();
    g_CameraModes.Apply(g_pDevice, &g_Camera, camera);
    // Update also runs without a device (unit tests of the frame): the eye
    // is still kept out of the obstacles, only the device's view waits.
    if (KeepEyeOutOfObstacles(&g_Camera, &g_Obstacle01BGO) && g_pDevice) {
        g_pDevice->SetTransform(D3DTS_VIEW, &g_Camera.GetView());
    }
    return 0;
}

void PlanMonitorViews(const RECT* monitors, int count, int baseWidth, int baseHeight) {
    g_nViews = 0;
    if (!monitors || count <= 0 || baseWidth <= 0 || baseHeight <= 0) return;
    if (count > kMaxViews) count = kMaxViews;
    // A monitor inside another one's rectangle mirrors part of it (RandR
    // reports cloned outputs at the same position): it gets no view of its
    // own and shows its part of the outer view, as the desktop shows it. Of
    // identical rectangles the first keeps the view.
    const auto inside = [](const RECT& a, const RECT& b) {
        return a.left >= b.left && a.top >= b.top && a.right <= b.right && a.bottom <= b.bottom;
    };
    const auto mirrored = [&](int i) {
        for (int j = 0; j < count; ++j) {
            if (j == i || !inside(monitors[i], monitors[j])) continue;
            if (!inside(monitors[j], monitors[i]) || j < i) return true;
        }
        return false;
    };
    RECT box = monitors[0];
    int largest = 0;
    auto area = [](const RECT& r) { return static_cast<long long>(r.right - r.left) * (r.bottom - r.top); };
    for (int i = 1; i < count; ++i) {
        const RECT& m = monitors[i];
        box = RECT{std::min(box.left, m.left), std::min(box.top, m.top), std::max(box.right, m.right),
                   std::max(box.bottom, m.bottom)};
        if (area(m) > area(monitors[largest])) largest = i;
    }
    const RECT& big = monitors[largest];
    if (big.right <= big.left || big.bottom <= big.top) return;
    const double scale = std::min(static_cast<double>(baseWidth) / (big.right - big.left),
                                  static_cast<double>(baseHeight) / (big.bottom - big.top));
    const auto px = [scale](int v) { return static_cast<int>(std::lround(v * scale)); };
    const int width = std::max(1, px(box.right - box.left));
    const int height = std::max(1, px(box.bottom - box.top));
    for (int i = 0; i < count; ++i) {
        const RECT& m = monitors[i];
        const int x0 = std::clamp(px(m.left - box.left), 0, width - 1);
        const int y0 = std::clamp(px(m.top - box.top), 0, height - 1);
        const int x1 = std::clamp(px(m.right - box.left), x0 + 1, width);
        const int y1 = std::clamp(px(m.bottom - box.top), y0 + 1, height);
        if (m.right <= m.left || m.bottom <= m.top || mirrored(i)) continue;
        MonitorView& v = g_Views[g_nViews++];
        v.viewport = D3DVIEWPORT8{static_cast<DWORD>(x0), static_cast<DWORD>(y0), static_cast<DWORD>(x1 - x0),
                                  static_cast<DWORD>(y1 - y0), 0.0f, 1.0f};
        v.aspect = static_cast<float>(m.right - m.left) / static_cast<float>(m.bottom - m.top);
    }
    g_nScreenWidth = width;
    g_nScreenHeight = height;
}

namespace {

// The 3D scene and the bubbles into the current viewport, seen through the
// camera's current projection.
void RenderScene(IDirect3DDevice8* d) {
    g_Camera.UpdateFrustum();
    const FrustumRecord* frustum = &g_Camera.GetFrustum();

    // The rigid models are queued here and drawn below, sorted and blended.
    g_EarthAndPillar.Render(d, &g_Camera, frustum, 0, &g_ZSortRender);
    g_WhaleDrawing.Render(d, g_Boids, g_Goal, &g_Camera, &g_ZSortRender, g_vLightDir, g_Fog.GetFar());
    g_WorldClock.Render(d, &g_Camera, frustum, 0, &g_ZSortRender);
    g_Obstacle01BGO.Render(d, &g_Camera, frustum, 0, &g_ZSortRender);

    d->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    d->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    d->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    // The view UpdateFrustum made at the top: every drawer above takes the
    // camera const, so it still holds.
    const D3DXMATRIX& view = g_Camera.GetView();
    g_ZSortRender.Sort(ZSortRender::BackToFront(view));
    g_ZSortRender.Render(d, view, g_Camera.GetProjection(), g_vLightDir, g_Fog.GetFar());
    g_ZSortRender.Clear();
    d->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);

    g_ParticleBubble.Render(d, g_Camera.GetBillboard());
}

}  // namespace

int Render() {
    IDirect3DDevice8* d = g_pDevice;
    // The whales' clocks advance, and their shared pose is skinned, once a
    // frame, however many views draw them.
    g_WhaleDrawing.Animate(g_fElapsedTime);
    if (g_nViews == 0) {
        d->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, g_ClearColor, 1.0f, 0);
        if (FAILED(d->BeginScene())) return 0;
        RenderScene(d);
    } else {
        if (FAILED(d->BeginScene())) return 0;
        // Each monitor sees the scene through the same lens at its own
        // aspect: the vertical field of view stays, the horizontal follows.
        const D3DXMATRIX projection = g_Camera.GetProjection();
        for (int v = 0; v < g_nViews; ++v) {
            d->SetViewport(&g_Views[v].viewport);
            d->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, g_ClearColor, 1.0f, 0);
            D3DXMATRIX own = projection;
            own._11 = projection._22 / g_Views[v].aspect;
            d->SetTransform(D3DTS_PROJECTION, &own);
            g_Camera.SetProjMatrix(own);
            RenderScene(d);
        }
        const D3DVIEWPORT8 whole{0, 0, static_cast<DWORD>(g_nScreenWidth), static_cast<DWORD>(g_nScreenHeight),
                                 0.0f, 1.0f};
        d->SetViewport(&whole);
        d->SetTransform(D3DTS_PROJECTION, &projection);
        g_Camera.SetProjMatrix(projection);
    }
    g_Cellophane.Render(d);
    DrawFPS();
    d->EndScene();
    return 0;
}

int DrawFPS() {
    // Each monitor's view is the whole picture for whoever sits at it: the
    // text stands in every view's top-left corner (back-buffer pixels), at
    // the size for that view's height.
    FrameRateView views[kMaxViews];
    int count = 0;
    for (; count < g_nViews; ++count) {
        const D3DVIEWPORT8& v = g_Views[count].viewport;
        views[count] = FrameRateView{FrameRateFont(ViewLines(count)),
                                     RECT{static_cast<std::int32_t>(v.X), static_cast<std::int32_t>(v.Y),
                                          static_cast<std::int32_t>(v.X + v.Width), static_cast<std::int32_t>(v.Y + v.Height)}};
    }
    if (count == 0) views[count++] = FrameRateView{FrameRateFont(ViewLines(0)), RECT{0, 0, g_nScreenWidth, g_nScreenHeight}};
    return g_FrameRate.Draw(g_pDevice, views, count, FrameTimer(TimerCommand::GetAbsoluteTime));
}

void PrepareFrameRateFonts() {
    ReleaseFrameRateFonts();
    if (!g_bDeviceReady || !g_FrameRate.IsEnabled()) return;
    int made = 0;
    for (int v = 0; v < std::max(g_nViews, 1); ++v) {
        const int cell = FrameRateText::CellHeightFor(ViewLines(v), kDefaultCellHeight);
        if (cell == kDefaultCellHeight || FrameRateFont(ViewLines(v)) != g_pFont) continue;  // default, or made
        SizedFont& f = g_SizedFonts[made];
        f.gdi = CreateFrameRateFont(cell);
        if (f.gdi && SUCCEEDED(D3DXCreateFont(g_pDevice, f.gdi, f.font.Out()))) {
            f.cell = cell;
            ++made;
        } else {  // the default size stands in
            std::fprintf(stderr, "nereval: no frame-rate font of %d pixels; the default size is drawn\n", cell);
            if (f.gdi) DeleteObject(f.gdi);
            f = SizedFont{};
        }
    }
}

void ReleaseAll() {
    g_bDeviceReady = 0;
    // Settings that were never read (the window could not be made) are
    // defaults: saving them would replace the user's file. The flags of the
    // command line are not saved (the record as read is), and a hosted saver
    // leaves the file alone: several of them run at once, one per monitor.
    if (g_SettingsAsRead.IsLoaded() && !g_bHostedWindow) g_SettingsAsRead.Save();
    g_ZSortRender.InvalidateDeviceObjects(g_pDevice);
    g_ZSortRender.DeleteDeviceObjects();
    g_DammySkm.InvalidateDeviceObjects();
    g_DammySkm.DeleteDeviceObjects();
    g_Ferguson.DeleteDeviceObjects();
    g_EarthAndPillar.DeleteDeviceObjects();
    g_WhaleDrawing.Invalidate();
    g_WhaleDrawing.Delete();
    g_Boids.Release();
    g_WorldClock.DeleteDeviceObjects();
    g_Obstacle01BGO.DeleteDeviceObjects();
    g_ParticleBubble.DeleteDeviceObjects();
    g_Cellophane.DeleteDeviceObjects();
    // The music: stop, unload and free the tune, then close the performance down.
    if (g_pSegment && g_pSegment->IsPlaying() == 1) g_pSegment->Stop(0);
    g_pSegment.reset();
    g_pMusicManager.reset();
    if (g_hMusicLock) {
        ReleaseMutex(g_hMusicLock);
        CloseHandle(g_hMusicLock);
        g_hMusicLock = nullptr;
    }
    ReleaseFrameRateFonts();
    if (g_hFont) {
        DeleteObject(g_hFont);
        g_hFont = nullptr;
    }
    g_pFont.Reset();
    g_pDevice.Reset();  // the device before the Direct3D object that made it
    g_pD3D.Reset();
}
