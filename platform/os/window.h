// Windows and messages, shaped like the few user-interface calls the saver
// makes, implemented on SDL2. SDL events become window messages (key, button,
// mouse move, activation, close) that PeekMessageA/GetMessageA deliver to the
// window procedure, so the saver's input rules can be driven by synthetic
// messages in tests (PostMessageA) as well as by real input.
//
// One thread only. At most one window exists at a time (the saver's).
#pragma once

#include <cstdint>

#include "platform/base/wintypes.h"

struct Window;
using HWND = Window*;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using WNDPROC = LRESULT (*)(HWND, UINT, WPARAM, LPARAM);

struct POINT {
    std::int32_t x, y;
};
struct RECT {
    std::int32_t left, top, right, bottom;
};
struct MSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

constexpr UINT WM_CREATE = 0x0001;
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_QUIT = 0x0012;
constexpr UINT WM_ACTIVATEAPP = 0x001C;
constexpr UINT WM_KEYDOWN = 0x0100;
constexpr UINT WM_SYSKEYDOWN = 0x0104;
constexpr UINT WM_SYSCOMMAND = 0x0112;
constexpr UINT WM_MOUSEMOVE = 0x0200;
constexpr UINT WM_LBUTTONDOWN = 0x0201;
constexpr UINT WM_RBUTTONDOWN = 0x0204;
constexpr UINT WM_MBUTTONDOWN = 0x0207;

constexpr WPARAM SC_NEXTWINDOW = 0xF040;
constexpr WPARAM SC_PREVWINDOW = 0xF050;
constexpr WPARAM SC_SCREENSAVE = 0xF140;

constexpr DWORD WS_POPUP = 0x80000000u;
constexpr DWORD WS_VISIBLE = 0x10000000u;
constexpr DWORD WS_CLIPSIBLINGS = 0x04000000u;
constexpr DWORD WS_CLIPCHILDREN = 0x02000000u;
constexpr DWORD WS_CAPTION = 0x00C00000u;
constexpr DWORD WS_SYSMENU = 0x00080000u;
constexpr DWORD WS_EX_TOPMOST = 0x00000008u;

constexpr UINT PM_NOREMOVE = 0;
constexpr UINT PM_REMOVE = 1;
constexpr int SW_HIDE = 0;
constexpr int SW_SHOW = 5;
constexpr int SM_CXSCREEN = 0;
constexpr int SM_CYSCREEN = 1;
// The rectangle around every monitor, and the number of monitors.
constexpr int SM_XVIRTUALSCREEN = 76;
constexpr int SM_YVIRTUALSCREEN = 77;
constexpr int SM_CXVIRTUALSCREEN = 78;
constexpr int SM_CYVIRTUALSCREEN = 79;
constexpr int SM_CMONITORS = 80;

// Registers the one window class; returns 0 when it cannot be registered.
UINT RegisterClassA(const char* className, WNDPROC proc);

// Creates the window. WS_POPUP makes a borderless full-screen window on the
// desktop: the first display's full screen when width x height is that
// display's size, else a borderless window over x, y, width x height (the
// virtual screen of several monitors). Otherwise a captioned window whose
// client area is width x height.
// The window is made for an OpenGL 3.3 core context (the device creates it).
// Sends WM_CREATE before returning. Null when the video system or the window
// cannot be had (the reason is in SDL_GetError, logged to stderr).
HWND CreateWindowExA(DWORD exStyle, const char* className, const char* title, DWORD style, int x, int y,
                     int width, int height);

// Draws in a window another program owns (an X window id; the screen saver
// daemon's window or the root window). The window is used as it is when its
// visual can take an OpenGL context, else a child window of our own covers
// it and follows its size. Nothing on the host changes: no input is selected
// on it, no cursor is set, it is never hidden or resized, and it outlives
// DestroyWindow. GetClientRect follows the host's size. Sends WM_CREATE.
// Null (reason on stderr) when the host window does not exist or no OpenGL
// window can be had on it.
HWND CreateHostedWindowA(const char* className, unsigned long hostWindow);

// Destroys the window: sends WM_DESTROY, then frees it.
BOOL DestroyWindow(HWND hwnd);

// Message loop. PeekMessageA first moves pending SDL events into the queue.
BOOL PeekMessageA(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeFlags);
// Waits for a message; returns 0 for WM_QUIT.
BOOL GetMessageA(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax);
LRESULT DispatchMessageA(const MSG* msg);
BOOL PostMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
// Calls the window procedure at once.
LRESULT SendMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
void PostQuitMessage(int exitCode);
// Default handling: WM_CLOSE destroys the window; everything else returns 0.
LRESULT DefWindowProcA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// Cursor display counter: shown while >= 0. Returns the new count.
int ShowCursor(BOOL show);
// Pointer position in screen pixels. FALSE while the windowing system cannot
// say where the pointer is: on Wayland and Xwayland, until the pointer has
// been reported inside one of our windows (a WM_MOUSEMOVE has arrived).
BOOL GetCursorPos(POINT* point);
BOOL ShowWindow(HWND hwnd, int command);
// Desktop size in pixels, the monitors' bounding rectangle and their count
// (0 when the video system cannot be started).
int GetSystemMetrics(int index);
// The saver's windows take no text, but X's input method, which SDL opens
// with the video system, would still read the locale's Compose table
// (thousands of lines, about 7 ms of every start). On X, this points
// XCOMPOSEFILE at an empty file, unless the user names a table of their own
// (on Wayland the keyboard library reads the variable as well, and refuses an
// empty table). It changes the environment: call it before any other thread
// starts.
void SkipComposeTable();
// The monitors in desktop pixels, at most `max`, the primary one first: on
// X11 the RandR monitors (which `xrandr --setmonitor` can split a screen
// into); elsewhere (Wayland, where a window cannot be placed over several
// displays) the first display only. Returns how many were written.
int GetMonitorRects(RECT* rects, int max);
BOOL GetClientRect(HWND hwnd, RECT* rect);
// The window manager draws the frame, so client size = window size here.
BOOL AdjustWindowRect(RECT* rect, DWORD style, BOOL menu);
// Text input (the IME) on or off.
BOOL WINNLSEnableIME(HWND hwnd, BOOL enable);
// Windows of other programs are not ours to own: always null.
HWND GetForegroundWindow();

// Test hook: the pointer position GetCursorPos reports and the position of a
// WM_MOUSEMOVE; lets tests move the "pointer" without an X server.
void SetCursorPosForTest(POINT point);
// Test hook: GetCursorPos fails, as on a system that has not yet reported
// the pointer, until the next SetCursorPosForTest.
void SetCursorUnknownForTest();
