// Windows and the message queue over SDL2: SDL events are translated into the
// window messages the saver's procedures handle. Fixed storage only: a small
// pool of windows and a ring of queued messages, so the frame loop allocates
// nothing.
#include "platform/os/window.h"

#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/os/display_guard.h"
#include "platform/os/pointer_query.h"
#include "platform/os/wayland_seat.h"
#include "platform/os/window_sdl.h"

struct Window {
    SDL_Window* sdl = nullptr;
    WNDPROC proc = nullptr;
    DWORD refs = 0;      // 0: slot free
    bool alive = false;  // false once DestroyWindow ran
};

namespace {

constexpr int kMaxWindows = 4;
Window g_Windows[kMaxWindows];

char g_ClassName[64];
WNDPROC g_ClassProc = nullptr;

// Posted messages, oldest first. WM_QUIT is not queued: like the original
// platform, a quit request is a flag that is reported once the queue is empty.
constexpr int kQueueSize = 256;
MSG g_Queue[kQueueSize];
int g_QueueHead = 0;
int g_QueueCount = 0;
bool g_QuitPosted = false;
int g_QuitCode = 0;

int g_CursorCount = 0;
// Last pointer position seen in a motion event, in screen pixels. SDL's global
// pointer query can return a stale cached value on X11, so the events are the
// better source once one has arrived (where the server cannot be asked).
bool g_PointerKnown = false;
POINT g_Pointer{};
// Set when the first window is made on Wayland or Xwayland: no position is
// true until the pointer has been reported inside a window.
bool g_PointerUnknownUntilReported = false;
bool g_CursorOverride = false;
bool g_CursorOverrideKnown = false;
POINT g_CursorOverridePos{};

bool g_SdlVideo = false;
bool g_SdlVideoFailed = false;  // said once on stderr; not tried again

bool Push(const MSG& msg) {
    if (g_QueueCount == kQueueSize) return false;  // a full queue drops input; frames keep running
    g_Queue[(g_QueueHead + g_QueueCount) % kQueueSize] = msg;
    ++g_QueueCount;
    return true;
}

HWND WindowFromSdlId(Uint32 id) {
    for (Window& w : g_Windows) {
        if (w.alive && w.sdl && SDL_GetWindowID(w.sdl) == id) return &w;
    }
    return nullptr;
}

HWND FirstAliveWindow() {
    for (Window& w : g_Windows) {
        if (w.alive) return &w;
    }
    return nullptr;
}

LPARAM PackPoint(int x, int y) {
    return static_cast<LPARAM>((static_cast<DWORD>(y & 0xFFFF) << 16) | static_cast<DWORD>(x & 0xFFFF));
}

// One SDL event into at most one window message.
void Translate(const SDL_Event& e) {
    MSG m{};
    switch (e.type) {
        case SDL_KEYDOWN:
            m.hwnd = WindowFromSdlId(e.key.windowID);
            m.message = (e.key.keysym.mod & KMOD_ALT) || e.key.keysym.sym == SDLK_F10 ? WM_SYSKEYDOWN : WM_KEYDOWN;
            m.wParam = static_cast<WPARAM>(e.key.keysym.sym);
            break;
        case SDL_MOUSEBUTTONDOWN:
            m.hwnd = WindowFromSdlId(e.button.windowID);
            m.message = e.button.button == SDL_BUTTON_LEFT    ? WM_LBUTTONDOWN
                        : e.button.button == SDL_BUTTON_RIGHT ? WM_RBUTTONDOWN
                                                              : WM_MBUTTONDOWN;
            m.lParam = PackPoint(e.button.x, e.button.y);
            break;
        case SDL_MOUSEMOTION: {
            m.hwnd = WindowFromSdlId(e.motion.windowID);
            m.message = WM_MOUSEMOVE;
            m.lParam = PackPoint(e.motion.x, e.motion.y);
            int wx = 0, wy = 0;
            if (m.hwnd) SDL_GetWindowPosition(m.hwnd->sdl, &wx, &wy);
            g_Pointer = POINT{wx + e.motion.x, wy + e.motion.y};
            g_PointerKnown = true;
            break;
        }
        case SDL_WINDOWEVENT:
            m.hwnd = WindowFromSdlId(e.window.windowID);
            if (e.window.event == SDL_WINDOWEVENT_CLOSE) {
                m.message = WM_CLOSE;
            } else if (e.window.event == SDL_WINDOWEVENT_FOCUS_LOST) {
                m.message = WM_ACTIVATEAPP;
                m.wParam = 0;
            } else if (e.window.event == SDL_WINDOWEVENT_FOCUS_GAINED) {
                m.message = WM_ACTIVATEAPP;
                m.wParam = 1;
            } else {
                return;
            }
            break;
        case SDL_QUIT:  // also raised by SIGINT/SIGTERM: end as if the window were closed
            m.hwnd = FirstAliveWindow();
            m.message = WM_CLOSE;
            break;
        default:
            return;
    }
    if (m.hwnd) Push(m);
}

void PumpSdlEvents() {
    if (!g_SdlVideo) return;
    FollowHostedWindow();
    SDL_Event e;
    while (SDL_PollEvent(&e)) Translate(e);
}

bool Matches(const MSG& m, HWND hwnd, UINT lo, UINT hi) {
    if (hwnd && m.hwnd != hwnd) return false;
    if (lo == 0 && hi == 0) return true;
    return m.message >= lo && m.message <= hi;
}

// Finds the first queued message that passes the filter; its ring index or -1.
int FindQueued(HWND hwnd, UINT lo, UINT hi) {
    for (int i = 0; i < g_QueueCount; ++i) {
        int at = (g_QueueHead + i) % kQueueSize;
        if (Matches(g_Queue[at], hwnd, lo, hi)) return at;
    }
    return -1;
}

void RemoveAt(int at, MSG* out) {
    *out = g_Queue[at];
    // Close the gap by moving the later messages forward (the queue is short).
    int pos = (at - g_QueueHead + kQueueSize) % kQueueSize;
    for (int i = pos; i < g_QueueCount - 1; ++i) {
        g_Queue[(g_QueueHead + i) % kQueueSize] = g_Queue[(g_QueueHead + i + 1) % kQueueSize];
    }
    --g_QueueCount;
}

}  // namespace

void SkipComposeTable() {
    if (!SdlWouldUseWayland()) setenv("XCOMPOSEFILE", "/dev/null", 0);
}

bool EnsureSdlVideo() {
    if (g_SdlVideo) return true;
    if (g_SdlVideoFailed) return false;
    // The saver draws its own pointer state; let SDL not minimise on focus loss.
    SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
    SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
    if (WaylandCompositorHasNoSeat()) {
        std::fprintf(stderr,
                     "nereval: cannot start video: the Wayland compositor offers no seat (no keyboard or pointer)\n");
        g_SdlVideoFailed = true;
        return false;
    }
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        std::fprintf(stderr, "nereval: cannot start video: %s\n", SDL_GetError());
        g_SdlVideoFailed = true;
        return false;
    }
    g_SdlVideo = true;
    InstallDisplayLossGuard();
    std::atexit([] { SDL_Quit(); });
    return true;
}

bool SdlVideoShowsNothingUnasked() {
    if (!g_SdlVideo) return false;
    const char* driver = SDL_GetCurrentVideoDriver();
    if (!driver || (std::strcmp(driver, "offscreen") != 0 && std::strcmp(driver, "dummy") != 0)) return false;
    // Asked for by name (tests, tools, benchmarks): then it is wanted.
    const char* asked = std::getenv("SDL_VIDEODRIVER");
    return !asked || SDL_strcasecmp(asked, driver) != 0;
}

SDL_Window* SdlWindowOf(HWND hwnd) { return hwnd ? hwnd->sdl : nullptr; }

void WindowAddRef(HWND hwnd) {
    if (hwnd && hwnd->refs) ++hwnd->refs;
}

void WindowRelease(HWND hwnd) {
    if (!hwnd || hwnd->refs == 0) return;
    if (--hwnd->refs == 0) {
        if (hwnd->sdl) SDL_DestroyWindow(hwnd->sdl);
        *hwnd = Window{};
    }
}

UINT RegisterClassA(const char* className, WNDPROC proc) {
    if (!className || !proc || std::strlen(className) >= sizeof g_ClassName) return 0;
    std::snprintf(g_ClassName, sizeof g_ClassName, "%s", className);
    g_ClassProc = proc;
    return 1;
}

HWND CreateWindowExA(DWORD exStyle, const char* className, const char* title, DWORD style, int x, int y,
                     int width, int height) {
    if (!g_ClassProc || !className || std::strcmp(className, g_ClassName) != 0) return nullptr;
    if (!EnsureSdlVideo()) return nullptr;
    Window* slot = nullptr;
    for (Window& w : g_Windows) {
        if (w.refs == 0) {
            slot = &w;
            break;
        }
    }
    if (!slot) return nullptr;

    // The device asks for an OpenGL 3.3 core context on this window. RGBA8
    // with a 24-bit depth buffer (the formats of its off-screen buffer) lets
    // the device draw straight into a window of the back buffer's size; without
    // them it renders off-screen and scales.
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 8);

    Uint32 flags = SDL_WINDOW_OPENGL;
    SDL_DisplayMode desktop{};
    const bool oneDisplay = SDL_GetDesktopDisplayMode(0, &desktop) == 0 && desktop.w == width && desktop.h == height;
    if (style & WS_POPUP) {
        flags |= (oneDisplay ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0) | SDL_WINDOW_BORDERLESS;
        if (exStyle & WS_EX_TOPMOST) flags |= SDL_WINDOW_ALWAYS_ON_TOP;
    }
    if (!(style & WS_VISIBLE)) flags |= SDL_WINDOW_HIDDEN;
    int px = (style & WS_POPUP) ? x : SDL_WINDOWPOS_CENTERED;
    int py = (style & WS_POPUP) ? y : SDL_WINDOWPOS_CENTERED;
    SDL_Window* sdl = SDL_CreateWindow(title ? title : "", px, py, width, height, flags);
    if (!sdl) {  // no visual with depth and alpha: the device renders off-screen
        SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 0);
        SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 0);
        sdl = SDL_CreateWindow(title ? title : "", px, py, width, height, flags);
    }
    if (!sdl) {
        // No OpenGL on this video driver: still make the window, so the saver
        // can log which start-up stage fails (the device cannot be created).
        std::fprintf(stderr, "nereval: no OpenGL window: %s\n", SDL_GetError());
        sdl = SDL_CreateWindow(title ? title : "", px, py, width, height, flags & ~SDL_WINDOW_OPENGL);
    }
    if (!sdl) {
        std::fprintf(stderr, "nereval: cannot create the window: %s\n", SDL_GetError());
        return nullptr;
    }
    if (!g_PointerKnown) g_PointerUnknownUntilReported = PointerUnknownUntilReported(sdl);
    slot->sdl = sdl;
    slot->proc = g_ClassProc;
    slot->refs = 1;
    slot->alive = true;
    slot->proc(slot, WM_CREATE, 0, 0);
    return slot;
}

HWND AdoptSdlWindow(SDL_Window* sdl) {
    if (!sdl || !g_ClassProc) return nullptr;
    for (Window& w : g_Windows) {
        if (w.refs == 0) {
            w.sdl = sdl;
            w.proc = g_ClassProc;
            w.refs = 1;
            w.alive = true;
            w.proc(&w, WM_CREATE, 0, 0);
            return &w;
        }
    }
    return nullptr;
}

BOOL DestroyWindow(HWND hwnd) {
    if (!hwnd || !hwnd->alive) return FALSE;
    hwnd->proc(hwnd, WM_DESTROY, 0, 0);
    hwnd->alive = false;
    ShowWindow(hwnd, SW_HIDE);  // before the hosted window is forgotten: that one stays as it is
    ForgetHostedWindow(hwnd);
    // Messages still queued for the window go nowhere.
    for (int i = 0; i < g_QueueCount; ++i) {
        MSG& m = g_Queue[(g_QueueHead + i) % kQueueSize];
        if (m.hwnd == hwnd) m.hwnd = nullptr;
    }
    WindowRelease(hwnd);
    return TRUE;
}

BOOL PeekMessageA(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeFlags) {
    PumpSdlEvents();
    int at = FindQueued(hwnd, filterMin, filterMax);
    if (at >= 0) {
        if (removeFlags & PM_REMOVE) {
            RemoveAt(at, msg);
        } else {
            *msg = g_Queue[at];
        }
        return TRUE;
    }
    if (g_QuitPosted) {
        *msg = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(g_QuitCode), 0};
        if (removeFlags & PM_REMOVE) g_QuitPosted = false;
        return TRUE;
    }
    return FALSE;
}

BOOL GetMessageA(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax) {
    for (;;) {
        if (PeekMessageA(msg, hwnd, filterMin, filterMax, PM_REMOVE)) return msg->message != WM_QUIT;
        if (!g_SdlVideo) return FALSE;  // nothing can ever arrive
        SDL_Event e;
        if (SDL_WaitEventTimeout(&e, 100)) Translate(e);
    }
}

LRESULT DispatchMessageA(const MSG* msg) {
    if (!msg || !msg->hwnd || !msg->hwnd->alive) return 0;
    return msg->hwnd->proc(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

BOOL PostMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!hwnd || !hwnd->alive) return FALSE;
    return Push(MSG{hwnd, message, wParam, lParam}) ? TRUE : FALSE;
}

LRESULT SendMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!hwnd || !hwnd->alive) return 0;
    return hwnd->proc(hwnd, message, wParam, lParam);
}

void PostQuitMessage(int exitCode) {
    g_QuitPosted = true;
    g_QuitCode = exitCode;
}

LRESULT DefWindowProcA(HWND hwnd, UINT message, WPARAM, LPARAM) {
    if (message == WM_CLOSE) DestroyWindow(hwnd);
    return 0;
}

int ShowCursor(BOOL show) {
    g_CursorCount += show ? 1 : -1;
    if (g_SdlVideo) SDL_ShowCursor(g_CursorCount >= 0 ? SDL_ENABLE : SDL_DISABLE);
    return g_CursorCount;
}

BOOL GetCursorPos(POINT* point) {
    if (!point) return FALSE;
    if (g_CursorOverride) {
        if (!g_CursorOverrideKnown) return FALSE;
        *point = g_CursorOverridePos;
        return TRUE;
    }
    if (g_PointerUnknownUntilReported && !g_PointerKnown) return FALSE;
    // On X11 the server is asked: its root position does not depend on where
    // the window manager has put the window by now.
    HWND window = FirstAliveWindow();
    int x = 0, y = 0;
    if (window && QueryServerPointer(window->sdl, &x, &y)) {
        *point = POINT{x, y};
        return TRUE;
    }
    if (g_PointerKnown) {
        *point = g_Pointer;
        return TRUE;
    }
    if (g_SdlVideo) SDL_GetGlobalMouseState(&x, &y);
    *point = POINT{x, y};
    return TRUE;
}

void SetCursorPosForTest(POINT point) {
    g_CursorOverride = true;
    g_CursorOverrideKnown = true;
    g_CursorOverridePos = point;
}

void SetCursorUnknownForTest() {
    g_CursorOverride = true;
    g_CursorOverrideKnown = false;
}

BOOL ShowWindow(HWND hwnd, int command) {
    if (!hwnd || !hwnd->sdl) return FALSE;
    // Another program's window is never ours to show or hide; no window of
    // hosted mode is hidden, as its host may be gone already (window_sdl.h).
    if (IsHostWindow(hwnd) || (command == SW_HIDE && IsHostedWindow(hwnd))) return TRUE;
    if (command == SW_HIDE) {
        SDL_HideWindow(hwnd->sdl);
    } else {
        SDL_ShowWindow(hwnd->sdl);
    }
    return TRUE;
}

int GetSystemMetrics(int index) {
    if (!EnsureSdlVideo()) return 0;
    if (index >= SM_XVIRTUALSCREEN && index <= SM_CMONITORS) {
        RECT m[16];
        const int n = GetMonitorRects(m, 16);
        if (index == SM_CMONITORS || n == 0) return n;
        RECT box = m[0];
        for (int i = 1; i < n; ++i) {
            box = RECT{std::min(box.left, m[i].left), std::min(box.top, m[i].top), std::max(box.right, m[i].right),
                       std::max(box.bottom, m[i].bottom)};
        }
        return index == SM_XVIRTUALSCREEN   ? box.left
               : index == SM_YVIRTUALSCREEN ? box.top
               : index == SM_CXVIRTUALSCREEN ? box.right - box.left
                                             : box.bottom - box.top;
    }
    SDL_DisplayMode mode;
    if (SDL_GetDesktopDisplayMode(0, &mode) != 0) return 0;
    if (index == SM_CXSCREEN) return mode.w;
    if (index == SM_CYSCREEN) return mode.h;
    return 0;
}

BOOL GetClientRect(HWND hwnd, RECT* rect) {
    if (!hwnd || !hwnd->sdl || !rect) return FALSE;
    int w = 0, h = 0;
    SDL_GetWindowSize(hwnd->sdl, &w, &h);
    *rect = RECT{0, 0, w, h};
    return TRUE;
}

BOOL AdjustWindowRect(RECT* rect, DWORD, BOOL) { return rect ? TRUE : FALSE; }

BOOL WINNLSEnableIME(HWND, BOOL enable) {
    if (!g_SdlVideo) return FALSE;
    if (enable) {
        SDL_StartTextInput();
    } else {
        SDL_StopTextInput();
    }
    return TRUE;
}

HWND GetForegroundWindow() { return nullptr; }
