// The monitors: RandR's monitor list on X11 (one per output, or as
// `xrandr --setmonitor` split the screen); elsewhere the first display.
#include <SDL.h>
// Xlib's window type is renamed here: the platform's own window handle is
// `struct Window`.
#define Window XWindow
#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>
#undef Window

#include <cstring>

#include "platform/os/window.h"
#include "platform/os/window_sdl.h"

namespace {

int RandrMonitors(RECT* rects, int max) {
    Display* display = XOpenDisplay(nullptr);
    if (!display) return 0;
    int eventBase = 0, errorBase = 0, major = 0, minor = 0, count = 0, n = 0;
    if (XRRQueryExtension(display, &eventBase, &errorBase) && XRRQueryVersion(display, &major, &minor) &&
        (major > 1 || (major == 1 && minor >= 5))) {
        XRRMonitorInfo* monitors = XRRGetMonitors(display, DefaultRootWindow(display), True, &count);
        // The primary monitor first, then the others in the server's order.
        for (int pass = 0; pass < 2 && monitors; ++pass) {
            for (int i = 0; i < count && n < max; ++i) {
                if ((pass == 0) != (monitors[i].primary != 0) || monitors[i].width <= 0 || monitors[i].height <= 0) {
                    continue;
                }
                rects[n++] = RECT{monitors[i].x, monitors[i].y, monitors[i].x + monitors[i].width,
                                  monitors[i].y + monitors[i].height};
            }
        }
        if (monitors) XRRFreeMonitors(monitors);
    }
    XCloseDisplay(display);
    return n;
}

}  // namespace

int GetMonitorRects(RECT* rects, int max) {
    if (!rects || max <= 0 || !EnsureSdlVideo()) return 0;
    const char* driver = SDL_GetCurrentVideoDriver();
    if (driver && std::strcmp(driver, "x11") == 0) {
        const int n = RandrMonitors(rects, max);
        if (n > 0) return n;
    }
    // Elsewhere (Wayland) a window cannot be placed over several displays:
    // the first display is the one the full screen covers.
    SDL_Rect b;
    if (SDL_GetDisplayBounds(0, &b) != 0) return 0;
    rects[0] = RECT{b.x, b.y, b.x + b.w, b.y + b.h};
    return 1;
}
