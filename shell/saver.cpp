// The saver shell: command line, single instance, window, message loop and
// the full-screen rules that end the saver on any user input.
#include "shell/saver.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "platform/font/gdi_font.h"
#include "platform/os/clock.h"
#include "platform/os/resource.h"
#include "scene/prefetch.h"
#include "settings/config_dialog.h"
#include "shell/frametimer.h"
#include "shell/lifecycle.h"

int g_bWindowed = 0;
long g_nFrameDelayMicros = 0;
POINT g_ptCursorStart{0, 0};
BOOL g_bCursorStartKnown = FALSE;
DWORD g_dwMouseMoveThreshold = 4;

namespace {

// The dialog's result is 1 after OK and Cancel alike: the process reports
// that as success (0); a dialog that could not be shown (-1) or whose OK
// could not save (kConfigDialogSaveFailed) as failure.
int DialogExitCode(int result) { return result == 1 ? 0 : 1; }

// What a failed start-up stage means to the user; the stage's own name (the
// log's) follows it on the same line.
const char* StageCause(const char* stage) {
    struct Cause {
        const char* stage;
        const char* text;
    };
    static constexpr Cause kCauses[] = {
        {"InitiateD3D", "cannot open an OpenGL 3.3 window on this display"},
        {"InitiateRenderer", "the graphics device cannot be set up"},
        {"InitiateObjects", "the scene cannot be built: a model, texture or shader of the program failed to load"},
        {"InitiateBGM", "the program's own tune cannot be played"},
        {"InitiateFont", "no font for the frame-rate text"},
        {"Initiate3DFont", "the frame-rate text cannot be prepared"},
    };
    // The device knows why no OpenGL context could be had, in the driver's words.
    if (stage && std::strcmp(stage, "InitiateD3D") == 0 && *DeviceContextFailure()) return DeviceContextFailure();
    for (const Cause& c : kCauses) {
        if (stage && std::strcmp(stage, c.stage) == 0) return c.text;
    }
    return "the saver cannot start";
}

}  // namespace

char SaverSwitch(const char* lpCmdLine) {
    const char* p = lpCmdLine ? lpCmdLine : "";
    while (*p == ' ' || *p == '-' || *p == '/') ++p;
    return (*p >= 'A' && *p <= 'Z') ? static_cast<char>(*p - 'A' + 'a') : *p;
}

int WinMain(const char* lpCmdLine) {
    switch (SaverSwitch(lpCmdLine)) {
        case '\0':
            return DialogExitCode(ShowConfigDialog(nullptr));
        case 'c':
            return DialogExitCode(ShowConfigDialog(GetForegroundWindow()));
        case 's':
            return RunSaver();
        case 'w':
            g_bWindowed = 1;
            return RunSaver();
        default:
            return 0;  // the preview switch and anything else do nothing
    }
}

int RunHosted(unsigned long hostWindow) {
    // The host's window behaves like the test window (no input rules, the
    // back buffer is the client area), without a lock and with the host's size.
    g_bWindowed = 1;
    g_bHostedWindow = 1;
    g_HostWindow = hostWindow;
    return RunSaver();
}

namespace {

void ShowCursorUntilVisible() {
    while (ShowCursor(TRUE) < 0) {
    }
}

void HideCursorUntilHidden() {
    while (ShowCursor(FALSE) >= 0) {
    }
}

}  // namespace

int RunSaver() {
    SkipComposeTable();  // first: the prefetches below start threads
    PrefetchSceneResources();  // decoded and parsed beside the window's and the device's creation
    PrefetchFontConfig();  // the frame-rate text's font is looked up last
    DWORD style = WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
    DWORD exStyle = WS_EX_TOPMOST;
    int x = 0, y = 0;
    int width = GetSystemMetrics(SM_CXSCREEN);
    int height = GetSystemMetrics(SM_CYSCREEN);
    if (!g_bWindowed && GetSystemMetrics(SM_CMONITORS) > 1) {  // one window over every monitor
        x = GetSystemMetrics(SM_XVIRTUALSCREEN);
        y = GetSystemMetrics(SM_YVIRTUALSCREEN);
        width = GetSystemMetrics(SM_CXVIRTUALSCREEN);
        height = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    }
    if (g_bWindowed) {
        style = WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_CAPTION | WS_SYSMENU;
        exStyle = 0;
        RECT r{0, 0, 640, 480};
        AdjustWindowRect(&r, style, FALSE);
        width = r.right - r.left;
        height = r.bottom - r.top;
    }

    // One saver at a time, but a daemon runs one hosted saver per monitor.
    HANDLE mutex = nullptr;
    if (!g_bHostedWindow) {
        mutex = CreateMutexA(nullptr, FALSE, kMutexName);
        if (!mutex) {
            if (GetLastError() == ERROR_ALREADY_EXISTS) return 0;  // another saver runs: nothing to do
            std::fprintf(stderr, "nereval: start failed: the instance lock could not be taken\n");
            return 1;
        }
    }

    HWND hwnd = nullptr;
    if (RegisterClassA(kWindowClass, WndProc)) {
        hwnd = g_bHostedWindow ? CreateHostedWindowA(kWindowClass, g_HostWindow)
                               : CreateWindowExA(exStyle, kWindowClass, kWindowTitle, style, x, y, width, height);
    }

    timeBeginPeriod(1);
    FrameTimer(TimerCommand::Start);

    MSG msg{};
    int status = 0;
    if (!hwnd) {
        std::fprintf(stderr, "nereval: start failed: the saver window could not be created\n");
        status = 1;
    } else if (!Initiate(hwnd)) {
        std::fprintf(stderr, "nereval: %s (start failed at %s; see %s)\n", StageCause(g_szFailedStage),
                     g_szFailedStage ? g_szFailedStage : "start-up", ErrLogPath().c_str());
        status = 1;
    } else {
        g_bCursorStartKnown = GetCursorPos(&g_ptCursorStart);
        for (;;) {
            if (PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
                if (!GetMessageA(&msg, nullptr, 0, 0)) break;
                DispatchMessageA(&msg);
            } else {
                Frame(hwnd);
                // The user's frame-rate choice: the rest of the interval
                // is the processor's (and the battery's).
                if (g_nFrameDelayMicros > 0) std::this_thread::sleep_for(std::chrono::microseconds(g_nFrameDelayMicros));
            }
        }
    }

    timeEndPeriod(1);
    FrameTimer(TimerCommand::Stop);
    ReleaseAll();
    if (hwnd) DestroyWindow(hwnd);  // a failed start leaves the window; no procedure runs after this
    if (mutex) {
        ReleaseMutex(mutex);
        CloseHandle(mutex);
    }
    if (status != 0) return status;
    return msg.message == WM_QUIT ? static_cast<int>(msg.wParam) : 0;
}

LRESULT WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (!g_bWindowed) {
        switch (msg) {
            case WM_CREATE:
                HideCursorUntilHidden();
                WINNLSEnableIME(nullptr, FALSE);
                break;
            case WM_DESTROY:
                ShowCursorUntilVisible();
                WINNLSEnableIME(nullptr, TRUE);
                ShowWindow(hwnd, SW_HIDE);
                PostQuitMessage(0);
                break;
            case WM_SYSCOMMAND:
                if (wParam == SC_NEXTWINDOW || wParam == SC_PREVWINDOW || wParam == SC_SCREENSAVE) return 0;
                break;
            default:
                break;
        }
    } else if (msg == WM_DESTROY) {
        ShowWindow(hwnd, SW_HIDE);
        PostQuitMessage(0);
    }
    return SaverProc(hwnd, msg, wParam, lParam);
}

LRESULT SaverProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (!g_bWindowed) {
        switch (msg) {
            case WM_CLOSE:
                ShowCursorUntilVisible();
                WINNLSEnableIME(nullptr, TRUE);
                break;
            case WM_MOUSEMOVE: {
                // Where the windowing system could not say where the pointer
                // was at start-up (Wayland, Xwayland), the first position it
                // reports is where the travel is measured from.
                POINT p;
                if (!GetCursorPos(&p)) break;
                if (!g_bCursorStartKnown) {
                    g_ptCursorStart = p;
                    g_bCursorStartKnown = TRUE;
                    break;
                }
                DWORD d = static_cast<DWORD>(std::abs(p.x - g_ptCursorStart.x) + std::abs(p.y - g_ptCursorStart.y));
                if (d > g_dwMouseMoveThreshold) {
                    PostMessageA(hwnd, WM_CLOSE, 0, 0);
                    g_ptCursorStart = p;
                }
                break;
            }
            case WM_ACTIVATEAPP:
                if (wParam == 0) PostMessageA(hwnd, WM_CLOSE, 0, 0);
                break;
            case WM_KEYDOWN:
            case WM_SYSKEYDOWN:
            case WM_LBUTTONDOWN:
            case WM_RBUTTONDOWN:
            case WM_MBUTTONDOWN:
                PostMessageA(hwnd, WM_CLOSE, 0, 0);
                break;
            default:
                break;
        }
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}
