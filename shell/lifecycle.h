// The spine of the saver: owns the device and the one instance of every scene
// object, brings them up in a fixed, logged order, runs one frame per idle
// pass of the message loop, and tears everything down.
#pragma once

#include <memory>

#include "core/errlog.h"
#include "flock/boids.h"
#include "flock/camera_rig.h"
#include "flock/goal.h"
#include "flock/school.h"
#include "platform/base/alloc.h"
#include "platform/base/com_ptr.h"
#include "platform/d3d8/d3d8.h"
#include "platform/d3dx/d3dx_math.h"
#include "platform/font/d3dx_font.h"
#include "platform/font/gdi_font.h"
#include "render/particle_bubble.h"
#include "render/skinned_mesh.h"
#include "render/zsort_render.h"
#include "scene/background_obj.h"
#include "scene/earth_and_pillar.h"
#include "scene/world_clock.h"
#include "settings/settings.h"
#include "settings/settings_flags.h"
#include "shell/whale_drawing.h"
#include "music/music_manager.h"
#include "view/camera.h"
#include "view/camera_mode.h"
#include "view/cellophane.h"
#include "view/fps_text.h"

// The frame's globals (single thread; see the lifecycle for when each is valid).
// Objects do not read them: the lifecycle hands their values to Update and Render.
extern Settings g_Settings;        // what the objects use: the file's values with the flags laid over
extern Settings g_SettingsAsRead;  // the file's values as read; this is what is saved
extern SettingsOverlay g_SettingsFlags;  // settings given on the command line, never saved
// Hosted mode (RunHosted): drawing in another program's window. The back
// buffer is the window's size and follows it, the projection takes the
// window's aspect, and the settings file is never written.
extern int g_bHostedWindow;
extern unsigned long g_HostWindow;  // the X window drawn in; 0: the root window
extern ErrLog g_ErrLog;
extern D3DXVECTOR4 g_vLightDirBase;  // (0.5, 0.9, 0.5, 0)
extern D3DXVECTOR4 g_vLightDir;      // this frame's light direction, w = 0
extern Camera g_Camera;
extern FogState g_Fog;
extern CameraModes g_CameraModes;

// The scene objects, one each, created in this order.
extern ZSortRender g_ZSortRender;
extern SkinnedMesh g_DammySkm;  // loaded at start-up and released at the end; never drawn
extern Ferguson g_Ferguson;    // the camera path, re-centred on the school every frame
extern CameraRig g_CameraRig;  // rides the path; its pose is the camera of modes 1 and 2
extern EarthAndPillar g_EarthAndPillar;
extern Boids g_Boids;
extern Goal g_Goal;  // the guide whale the school migrates to
extern WhaleDrawing g_WhaleDrawing;  // the school's and the guide's models
extern WorldClock g_WorldClock;
extern BackGroundObj g_Obstacle01BGO;  // the obstacle field the whales avoid
constexpr float kObstacleCheckRange = 200.0f;  // world units
extern ParticleBubble g_ParticleBubble;
extern Cellophane g_Cellophane;

// Bubbles simulated before the first frame: 1800 steps of 0.03 s, so the
// scene opens with 54 s of bubbles already in flight.
constexpr int kBubblePreRollSteps = 1800;
constexpr float kBubblePreRollStep = 0.03f;

// The frame-rate text: its font (GDI face and device atlas) and its counters.
extern HFONT g_hFont;
extern ComPtr<ID3DXFont> g_pFont;
extern FrameRateText g_FrameRate;

// Owned here; released by ReleaseAll, the device first.
extern ComPtr<IDirect3D8> g_pD3D;
extern ComPtr<IDirect3DDevice8> g_pDevice;
extern D3DPRESENT_PARAMETERS g_PresentParams;
extern D3DCAPS8 g_Caps;
extern int g_bDeviceReady;
extern int g_nScreenWidth;   // back-buffer size chosen by the settings (also in windowed mode)
extern int g_nScreenHeight;
extern float g_fAspect;
extern D3DCOLOR g_ClearColor;  // clear and fog colour
extern float g_fElapsedTime;   // this frame's time step, seconds, at most kMaxTimeStep
extern float g_fAppTime;       // seconds since the saver started
extern std::unique_ptr<MusicManager> g_pMusicManager;  // background music; both null when music is off
extern std::unique_ptr<MusicSegment> g_pSegment;

constexpr float kMaxTimeStep = 0.05f;  // a long stall slows the scene instead of making it jump

// Full screen over several monitors: one view per monitor, each a part of
// the back buffer that the window shows on that monitor, projected at the
// monitor's own aspect. The scene advances once a frame and is drawn once
// per view.
struct MonitorView {
    D3DVIEWPORT8 viewport;  // back-buffer pixels
    float aspect;           // the monitor's width / height
};
constexpr int kMaxViews = 16;
extern MonitorView g_Views[kMaxViews];
extern int g_nViews;  // 0: one picture over the whole back buffer
// Plans one view per monitor (desktop pixels; the window covers their
// bounding rectangle) and the back buffer: the largest monitor's part gets
// the settings' picture size (baseWidth x baseHeight, as one monitor would),
// the others the same scale. Sets g_Views, g_nViews, g_nScreenWidth and
// g_nScreenHeight.
void PlanMonitorViews(const RECT* monitors, int count, int baseWidth, int baseHeight);

// 1 when everything came up; 0 after a failure (the log file has then been
// written, and g_szFailedStage names the stage that failed).
int Initiate(HWND hwnd);
extern const char* g_szFailedStage;
void Frame(HWND hwnd);
// Hosted mode: when the window's size changed, the back buffer, the
// projection's aspect and the screen-sized objects take the new size.
void FollowWindowSize(HWND hwnd);
// Saves the settings and releases everything; safe after a failed or partial start.
void ReleaseAll();

HRESULT InitiateD3D(HWND hwnd);
HRESULT InitiateRenderer(HWND hwnd);
HRESULT InitiateObjects(HWND hwnd);
HRESULT InitiateBGM(HWND hwnd);
int Update();
int Render();
// The frame-rate text of Render's last step, in every view's corner.
int DrawFPS();
// Fonts for the frame-rate text in views taller than its base 480 lines, one
// per cell height in use (the default font serves the others). Made at
// start-up and when a hosted window's size changes, never per frame;
// released by ReleaseAll.
void PrepareFrameRateFonts();
