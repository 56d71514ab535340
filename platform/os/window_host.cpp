// Drawing in a window another program owns (an X window: the screen saver
// daemon's, or the root window). SDL adopts the host window itself when its
// visual has a double-buffered RGBA OpenGL configuration; otherwise SDL makes
// a window with a visual of its own choosing, which is made a child of the
// host and kept at the host's size. Only the host's structure events are
// selected (for its size), on the connection SDL reads events from.
#include <SDL.h>
// Xlib's window type is renamed here: the platform's own window handle is
// `struct Window`.
#define Window XWindow
#include <GL/glx.h>
#include <SDL_syswm.h>
#include <X11/Xlib.h>
#undef Window

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "platform/os/window.h"
#include "platform/os/window_sdl.h"

namespace {

struct Hosted {
    HWND hwnd = nullptr;
    Display* display = nullptr;  // SDL's connection
    XWindow host = 0;
    XWindow child = 0;  // 0: drawing into the host itself
    int width = 0;
    int height = 0;
};
Hosted g_Hosted;  // one at a time, as there is one saver window

int g_XError = 0;
int RecordXError(Display*, XErrorEvent* e) {
    g_XError = e->error_code;
    return 0;
}

// The host's attributes; false, without an X error reaching the default
// handler (which would end the process), when the window does not exist.
bool QueryHost(Display* display, XWindow host, XWindowAttributes* attributes) {
    XSync(display, False);
    g_XError = 0;
    XErrorHandler previous = XSetErrorHandler(RecordXError);
    const Status ok = XGetWindowAttributes(display, host, attributes);
    XSync(display, False);
    XSetErrorHandler(previous);
    return ok != 0 && g_XError == 0;
}

// Whether a window of this visual can be drawn by an OpenGL context: a
// double-buffered RGBA window configuration with 8-bit colour channels.
// *alpha receives that configuration's alpha bits.
bool VisualTakesGl(Display* display, int screen, VisualID visual, int* alpha) {
    int errorBase = 0, eventBase = 0;
    if (!glXQueryExtension(display, &errorBase, &eventBase)) return false;
    int count = 0;
    GLXFBConfig* configs = glXGetFBConfigs(display, screen, &count);
    bool found = false;
    for (int i = 0; i < count && !found; ++i) {
        int id = 0, render = 0, drawable = 0, doubled = 0, r = 0, g = 0, b = 0, a = 0;
        glXGetFBConfigAttrib(display, configs[i], GLX_VISUAL_ID, &id);
        glXGetFBConfigAttrib(display, configs[i], GLX_RENDER_TYPE, &render);
        glXGetFBConfigAttrib(display, configs[i], GLX_DRAWABLE_TYPE, &drawable);
        glXGetFBConfigAttrib(display, configs[i], GLX_DOUBLEBUFFER, &doubled);
        glXGetFBConfigAttrib(display, configs[i], GLX_RED_SIZE, &r);
        glXGetFBConfigAttrib(display, configs[i], GLX_GREEN_SIZE, &g);
        glXGetFBConfigAttrib(display, configs[i], GLX_BLUE_SIZE, &b);
        glXGetFBConfigAttrib(display, configs[i], GLX_ALPHA_SIZE, &a);
        if (static_cast<VisualID>(id) == visual && (render & GLX_RGBA_BIT) && (drawable & GLX_WINDOW_BIT) && doubled &&
            r == 8 && g == 8 && b == 8) {
            *alpha = a;
            found = true;
        }
    }
    if (configs) XFree(configs);
    return found;
}

// A daemon destroys its window right after it sends SIGTERM, so the last
// frame may be drawn into a window that is gone. That error (a core one, or
// GLX's about the host's drawable) ends the saver like a close; every other
// error goes to the handler that was there before.
XErrorHandler g_PreviousHandler = nullptr;
int HostGoneHandler(Display* display, XErrorEvent* e) {
    const bool ours = e->resourceid == g_Hosted.host || (g_Hosted.child && e->resourceid == g_Hosted.child);
    if ((e->error_code == BadWindow || e->error_code == BadDrawable || ours) && g_Hosted.hwnd) {
        PostMessageA(g_Hosted.hwnd, WM_CLOSE, 0, 0);
        return 0;
    }
    return g_PreviousHandler ? g_PreviousHandler(display, e) : 0;
}

Display* SdlDisplay(SDL_Window* window, XWindow* xid) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return nullptr;
    if (xid) *xid = info.info.x11.window;
    return info.info.x11.display;
}

}  // namespace

HWND CreateHostedWindowA(const char* className, unsigned long hostWindow) {
    if (!className || g_Hosted.hwnd) return nullptr;
    if (!EnsureSdlVideo()) return nullptr;
    const char* driver = SDL_GetCurrentVideoDriver();
    if (!driver || std::strcmp(driver, "x11") != 0) {
        std::fprintf(stderr, "nereval: drawing in another program's window needs an X display (video driver \"%s\")\n",
                     driver ? driver : "none");
        return nullptr;
    }
    // A private connection for the questions asked before SDL holds a window.
    Display* probe = XOpenDisplay(nullptr);
    if (!probe) {
        std::fprintf(stderr, "nereval: cannot open the X display\n");
        return nullptr;
    }
    if (hostWindow == 0) hostWindow = DefaultRootWindow(probe);
    XWindowAttributes host{};
    if (!QueryHost(probe, hostWindow, &host)) {
        std::fprintf(stderr, "nereval: there is no window 0x%lx on the display\n", hostWindow);
        XCloseDisplay(probe);
        return nullptr;
    }
    // A window of a visual with alpha (depth 32, as XScreenSaver makes
    // without its GL visual helper) is drawn through a child of SDL's own
    // visual: the software driver's image transfers into it fail (BadMatch).
    int alpha = 0;
    const bool direct = host.depth == 24 && VisualTakesGl(probe, XScreenNumberOfScreen(host.screen),
                                                          XVisualIDFromVisual(host.visual), &alpha);
    XCloseDisplay(probe);

    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, direct ? alpha : 0);

    SDL_Window* sdl = nullptr;
    Display* display = nullptr;
    XWindow child = 0;
    if (direct) {
        SDL_SetHint(SDL_HINT_VIDEO_FOREIGN_WINDOW_OPENGL, "1");
        sdl = SDL_CreateWindowFrom(reinterpret_cast<void*>(static_cast<std::uintptr_t>(hostWindow)));
        if (sdl) display = SdlDisplay(sdl, nullptr);
        // Its size changes reach SDL as configure events; nothing else is asked for.
        if (display) XSelectInput(display, hostWindow, StructureNotifyMask);
    } else {
        sdl = SDL_CreateWindow("", 0, 0, host.width, host.height,
                               SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN | SDL_WINDOW_BORDERLESS);
        if (sdl) display = SdlDisplay(sdl, &child);
        if (display) {
            // Into the host, at its size; input goes past us to whoever watches it.
            XReparentWindow(display, child, hostWindow, 0, 0);
            XSelectInput(display, child, StructureNotifyMask | ExposureMask);
            XMapWindow(display, child);
            XSync(display, False);
        }
    }
    if (!sdl || !display) {
        std::fprintf(stderr, "nereval: no OpenGL window on window 0x%lx: %s\n", hostWindow, SDL_GetError());
        if (sdl) SDL_DestroyWindow(sdl);
        return nullptr;
    }
    HWND hwnd = AdoptSdlWindow(sdl);
    if (!hwnd) {
        SDL_DestroyWindow(sdl);
        return nullptr;
    }
    g_Hosted = Hosted{hwnd, display, hostWindow, child, host.width, host.height};
    XErrorHandler previous = XSetErrorHandler(HostGoneHandler);
    if (previous != HostGoneHandler) g_PreviousHandler = previous;
    return hwnd;
}

bool IsHostWindow(HWND hwnd) { return hwnd && g_Hosted.hwnd == hwnd && g_Hosted.child == 0; }

bool IsHostedWindow(HWND hwnd) { return hwnd && g_Hosted.hwnd == hwnd; }

void FollowHostedWindow() {
    if (!g_Hosted.hwnd || !g_Hosted.child) return;
    XWindowAttributes host{};
    if (!QueryHost(g_Hosted.display, g_Hosted.host, &host)) {
        PostMessageA(g_Hosted.hwnd, WM_CLOSE, 0, 0);  // the host is gone: nothing left to draw in
        return;
    }
    if (host.width == g_Hosted.width && host.height == g_Hosted.height) return;
    g_Hosted.width = host.width;
    g_Hosted.height = host.height;
    XResizeWindow(g_Hosted.display, g_Hosted.child, static_cast<unsigned>(host.width),
                  static_cast<unsigned>(host.height));
    XSync(g_Hosted.display, False);
}

void ForgetHostedWindow(HWND hwnd) {
    if (hwnd && g_Hosted.hwnd == hwnd) g_Hosted = Hosted{};
}
