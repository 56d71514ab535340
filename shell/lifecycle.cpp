// Start-up, the frame and tear-down, in the fixed orders the saver relies on.
#include "shell/lifecycle.h"

#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <new>

#include "music/bgm.h"
#include "platform/os/clock.h"
#include "platform/os/window.h"
#include "render/renderer_states.h"
#include "shell/frametimer.h"

// Construction order matters: the settings seed the random generator first.
Settings g_Settings;
ErrLog g_ErrLog;
D3DXVECTOR4 g_vLightDirBase(0.5f, 0.9f, 0.5f, 0.0f);
D3DXVECTOR4 g_vLightDir(0.0f, 0.8f, -0.2f, 0.0f);
Camera g_Camera;
FogState g_Fog;
ZSortRender g_ZSortRender;
EarthAndPillar g_EarthAndPillar;
WorldClock g_WorldClock;
BackGroundObj g_Obstacle01BGO;

IDirect3D8* g_pD3D = nullptr;
IDirect3DDevice8* g_pDevice = nullptr;
D3DPRESENT_PARAMETERS g_PresentParams{};
D3DCAPS8 g_Caps{};
int g_bDeviceReady = 0;
int g_nScreenWidth = 640;
int g_nScreenHeight = 480;
float g_fAspect = 4.0f / 3.0f;
D3DCOLOR g_ClearColor = 0xFF000000;
float g_fElapsedTime = 0.0f;
float g_fAppTime = 0.0f;
MusicManager* g_pMusicManager = nullptr;
MusicSegment* g_pSegment = nullptr;

extern int g_bWindowed;  // the saver shell's test-window switch

namespace {

// Logs an object step, runs it, and on failure logs "\tFailed\n".
template <typename Step>
bool ObjectStep(const char* line, Step step) {
    g_ErrLog.Append(line);
    if (FAILED(step())) {
        g_ErrLog.Append("\tFailed\n");
        return false;
    }
    return true;
}

int FailStart() {
    g_ErrLog.Append("Failed\n");
    g_ErrLog.Write();
    return 0;
}

}  // namespace

int Initiate(HWND hwnd) {
    SRand(timeGetTime());
    g_Settings.Load();
    if (g_Settings.intDisMod == 2) {
        g_nScreenWidth = 800;
        g_nScreenHeight = 600;
    } else {
        g_nScreenWidth = 640;
        g_nScreenHeight = 480;
    }
    g_ClearColor = g_Settings.intChkCol == 1 ? 0xFF000000 : 0xFFFFFFFF;

    g_ErrLog.Append("InitiateD3D...\n");
    if (FAILED(InitiateD3D(hwnd))) return FailStart();
    g_ErrLog.Append("InitiateRenderer...\n");
    if (FAILED(InitiateRenderer(hwnd))) return FailStart();
    g_ErrLog.Append("InitiateObjects...\n");
    if (FAILED(InitiateObjects(hwnd))) return FailStart();
    if (g_Settings.intChkBGM == 1) {
        g_ErrLog.Append("InitiateBGM...\n");  // fixed log text
        if (FAILED(InitiateBGM(hwnd))) return FailStart();  // a music failure stops the saver
    }
    return 1;
}

HRESULT InitiateD3D(HWND hwnd) {
    g_ErrLog.Append("\tDirect3DCreate8...\n");
    g_pD3D = Direct3DCreate8(D3D_SDK_VERSION);
    if (!g_pD3D) {
        g_ErrLog.Append("\tFailed\n");
        return E_FAIL;
    }
    g_ErrLog.Append("\tGetAdapterDisplayMode...\n");
    D3DDISPLAYMODE mode{};
    if (FAILED(g_pD3D->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &mode))) {
        g_ErrLog.Append("\tFailed\n");
        return E_FAIL;
    }

    // Full screen prefers 16-bit formats, as the original display modes did.
    D3DFORMAT format = D3DFMT_UNKNOWN;
    if (!g_bWindowed) {
        for (D3DFORMAT f : {D3DFMT_R5G6B5, D3DFMT_X1R5G5B5, D3DFMT_X8R8G8B8, D3DFMT_R8G8B8}) {
            if (SUCCEEDED(g_pD3D->CheckDeviceType(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, f, f, FALSE))) {
                format = f;
                break;
            }
        }
    }

    g_PresentParams = D3DPRESENT_PARAMETERS{};
    g_PresentParams.BackBufferWidth = g_bWindowed ? 0 : static_cast<UINT>(g_nScreenWidth);
    g_PresentParams.BackBufferHeight = g_bWindowed ? 0 : static_cast<UINT>(g_nScreenHeight);
    g_PresentParams.BackBufferFormat = g_bWindowed ? mode.Format : format;
    g_PresentParams.BackBufferCount = 1;
    g_PresentParams.MultiSampleType = D3DMULTISAMPLE_NONE;
    g_PresentParams.SwapEffect = D3DSWAPEFFECT_DISCARD;
    g_PresentParams.hDeviceWindow = hwnd;
    g_PresentParams.Windowed = g_bWindowed;
    g_PresentParams.EnableAutoDepthStencil = TRUE;
    g_PresentParams.AutoDepthStencilFormat = D3DFMT_D16;
    g_PresentParams.FullScreen_PresentationInterval = D3DPRESENT_INTERVAL_DEFAULT;

    g_ErrLog.Append("\tCreateDevice...\n");
    HRESULT hr = g_pD3D->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, hwnd, D3DCREATE_SOFTWARE_VERTEXPROCESSING,
                                      &g_PresentParams, &g_pDevice);
    if (FAILED(hr)) {
        char line[64];
        std::snprintf(line, sizeof line, "\tFailed hr=%x\n", static_cast<unsigned>(hr));
        g_ErrLog.Append(line);
        g_pDevice = nullptr;
        return E_FAIL;
    }
    g_pDevice->GetDeviceCaps(&g_Caps);
    g_bDeviceReady = 1;
    return S_OK;
}

HRESULT InitiateRenderer(HWND) {
    if (!g_bDeviceReady) return E_FAIL;
    IDirect3DDevice8* d = g_pDevice;
    SetRendererStates(d);

    if (g_Settings.intAspMod == 1) g_fAspect = 4.0f / 3.0f;
    if (g_Settings.intAspMod == 2) g_fAspect = 16.0f / 9.0f;

    g_Camera.ResetMatrices();
    g_Camera.SetPosition(0.0f, 0.0f, -240.0f);
    g_Fog.SetColor(g_ClearColor);
    g_Fog.Apply(d, &g_Camera, g_fAspect, 1);
    return S_OK;
}

HRESULT InitiateObjects(HWND) {
    if (!g_bDeviceReady) return E_FAIL;
    IDirect3DDevice8* d = g_pDevice;
    ErrLog* log = &g_ErrLog;
    bool ok = ObjectStep("\tZSortRender.InitDeviceObjects...\n", [&] { return g_ZSortRender.InitDeviceObjects(d, log); }) &&
              ObjectStep("\tZSortRender.RestoreDeviceObjects...\n",
                         [&] { return g_ZSortRender.RestoreDeviceObjects(d, log); }) &&
              ObjectStep("\tEarthAndPillar.InitDeviceObjects...\n",
                         [&] { return g_EarthAndPillar.InitDeviceObjects(d, &g_Settings, log); }) &&
              ObjectStep("\tWorldClock.InitDeviceObjects...\n",
                         [&] { return g_WorldClock.InitDeviceObjects(d, "WORLDCLOCK.TPS", &g_Settings, log); }) &&
              ObjectStep("\tObstacle01BGO.InitDeviceObjects...\n", [&] {
                  return g_Obstacle01BGO.InitDeviceObjects(d, "OBSTACLE01.X", "OBSTACLE01.BPS", log);
              });
    if (!ok) return E_FAIL;
    g_Obstacle01BGO.m_fCheckRange = kObstacleCheckRange;
    return S_OK;
}

HRESULT InitiateBGM(HWND hwnd) {
    g_pMusicManager = new (std::nothrow) MusicManager;
    if (!g_pMusicManager) {
        g_ErrLog.Append("\tpMusicManager == NULL");  // fixed log text (no newline)
        return E_FAIL;
    }
    g_ErrLog.Append("\tpMusicManager->Initialize...\n");  // fixed log text
    HRESULT hr = g_pMusicManager->Initialize(hwnd, 128, kPathSharedStereoPlusReverb);
    if (FAILED(hr)) {
        g_ErrLog.Append("\tFailed\n");
        return hr;
    }
    g_ErrLog.Append("\tLoading Midi File...\n");  // fixed log text
    hr = LoadBGMSegment(g_pMusicManager, g_Settings.strBGMUsr, &g_pSegment);
    if (FAILED(hr)) {
        char line[64];
        std::snprintf(line, sizeof line, "\tFailed hr=%x", static_cast<unsigned>(hr));  // fixed log text (no newline)
        g_ErrLog.Append(line);
        return hr;
    }
    return PlayBGMSegment(g_pMusicManager, g_pSegment);
}

void Frame(HWND hwnd) {
    if (!g_bDeviceReady) return;
    float dt = static_cast<float>(FrameTimer(TimerCommand::GetElapsedTime));
    g_fElapsedTime = dt > kMaxTimeStep ? kMaxTimeStep : dt;
    g_fAppTime = static_cast<float>(FrameTimer(TimerCommand::GetAppTime));

    Update();
    Render();

    if (g_pDevice->Present(nullptr, nullptr, nullptr, nullptr) == D3DERR_DEVICELOST) {
        if (g_pDevice->TestCooperativeLevel() == D3DERR_DEVICENOTRESET) {
            g_pDevice->Reset(&g_PresentParams);
            InitiateRenderer(hwnd);
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

    g_EarthAndPillar.Update(g_fElapsedTime);
    g_WorldClock.Update();
    return 0;
}

int Render() {
    IDirect3DDevice8* d = g_pDevice;
    d->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, g_ClearColor, 1.0f, 0);
    if (FAILED(d->BeginScene())) return 0;
    g_Camera.UpdateFrustum();
    const FrustumRecord* frustum = &g_Camera.GetFrustum();

    // The rigid models are queued here and drawn below, sorted and blended.
    g_EarthAndPillar.Render(d, &g_Camera, frustum, 0, &g_ZSortRender);
    g_WorldClock.Render(d, &g_Camera, frustum, 0, &g_ZSortRender);
    g_Obstacle01BGO.Render(d, &g_Camera, frustum, 0, &g_ZSortRender);

    d->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    d->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    d->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    D3DXMATRIX inverse;
    if (D3DXMatrixInverse(&inverse, nullptr, &g_Camera.GetPose())) g_Camera.SetView(inverse);
    const D3DXMATRIX& view = g_Camera.GetView();
    g_ZSortRender.Sort(D3DXVECTOR3(view._31, view._32, view._33));
    g_ZSortRender.Render(d, view, g_Camera.GetProjection(), g_vLightDir, g_Fog.GetFar());
    g_ZSortRender.Clear();
    d->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);

    d->EndScene();
    return 0;
}

void ReleaseAll() {
    g_bDeviceReady = 0;
    g_Settings.Save();
    g_ZSortRender.InvalidateDeviceObjects(g_pDevice);
    g_ZSortRender.DeleteDeviceObjects();
    g_EarthAndPillar.DeleteDeviceObjects();
    g_WorldClock.DeleteDeviceObjects();
    g_Obstacle01BGO.DeleteDeviceObjects();
    // The music: stop, unload and free the tune, then close the performance down.
    if (g_pSegment && g_pSegment->IsPlaying() == 1) g_pSegment->Stop(0);
    delete g_pSegment;
    g_pSegment = nullptr;
    delete g_pMusicManager;
    g_pMusicManager = nullptr;
    if (g_pDevice) {
        g_pDevice->Release();
        g_pDevice = nullptr;
    }
    if (g_pD3D) {
        g_pD3D->Release();
        g_pD3D = nullptr;
    }
}
