// The spine of the saver: owns the device and the one instance of every scene
// object, brings them up in a fixed, logged order, runs one frame per idle
// pass of the message loop, and tears everything down.
#pragma once

#include "platform/d3d8/d3d8.h"
#include "platform/d3dx/d3dx_math.h"
#include "render/zsort_render.h"
#include "scene/background_obj.h"
#include "scene/earth_and_pillar.h"
#include "scene/world_clock.h"
#include "settings/settings.h"
#include "core/errlog.h"
#include "music/music_manager.h"
#include "view/camera.h"

// Globals read by the objects (single thread; see the lifecycle for when each is valid).
extern Settings g_Settings;
extern ErrLog g_ErrLog;
extern D3DXVECTOR4 g_vLightDirBase;  // (0.5, 0.9, 0.5, 0)
extern D3DXVECTOR4 g_vLightDir;      // this frame's light direction, w = 0
extern Camera g_Camera;
extern FogState g_Fog;

// The scene objects, one each, created in this order.
extern ZSortRender g_ZSortRender;
extern EarthAndPillar g_EarthAndPillar;
extern WorldClock g_WorldClock;
extern BackGroundObj g_Obstacle01BGO;  // the obstacle field the whales avoid
constexpr float kObstacleCheckRange = 200.0f;  // world units

extern IDirect3D8* g_pD3D;
extern IDirect3DDevice8* g_pDevice;
extern D3DPRESENT_PARAMETERS g_PresentParams;
extern D3DCAPS8 g_Caps;
extern int g_bDeviceReady;
extern int g_nScreenWidth;   // back-buffer size chosen by the settings (also in windowed mode)
extern int g_nScreenHeight;
extern float g_fAspect;
extern D3DCOLOR g_ClearColor;  // clear and fog colour
extern float g_fElapsedTime;   // this frame's time step, seconds, at most kMaxTimeStep
extern float g_fAppTime;       // seconds since the saver started
extern MusicManager* g_pMusicManager;  // background music; both null when music is off
extern MusicSegment* g_pSegment;

constexpr float kMaxTimeStep = 0.05f;  // a long stall slows the scene instead of making it jump

// 1 when everything came up; 0 after a failure (the log file has then been written).
int Initiate(HWND hwnd);
void Frame(HWND hwnd);
// Saves the settings and releases everything; safe after a failed or partial start.
void ReleaseAll();

HRESULT InitiateD3D(HWND hwnd);
HRESULT InitiateRenderer(HWND hwnd);
HRESULT InitiateObjects(HWND hwnd);
HRESULT InitiateBGM(HWND hwnd);
int Update();
int Render();
