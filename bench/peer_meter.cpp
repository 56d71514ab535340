// Frame meter for other GL programs in `make bench` (the comparable savers
// atlantis and glschool): a library loaded with LD_PRELOAD that wraps
// eglSwapBuffers (Debian's hacks present through EGL) and glXSwapBuffers,
// and measures with the saver's own FrameMeter, so the peers'
// figures are the same whole-process CPU per presented frame after the same
// 2 s warm-up. On SIGTERM or SIGINT it prints
//   "peer frame report: frames F measured M cpu_ms C ... cpu_per_frame_ms X wall_per_frame_ms Y"
// to stderr and exits with 0. A measuring tool, so it uses EGL and GLX directly.
#include <EGL/egl.h>
#include <GL/glx.h>
#include <dlfcn.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>

#include "platform/os/frame_meter.h"

namespace {

FrameMeter g_meter;
using GlxSwapFn = void (*)(Display*, GLXDrawable);
using EglSwapFn = EGLBoolean (*)(EGLDisplay, EGLSurface);
GlxSwapFn g_glxSwap = nullptr;
EglSwapFn g_eglSwap = nullptr;

void OnStop(int) {
    // The program is stopped here for good: the meter is read once, stderr
    // is unbuffered.
    g_meter.Print(stderr, "peer frame report");
    _exit(0);
}

void InstallStop() {
    struct sigaction action{};
    action.sa_handler = OnStop;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

__attribute__((constructor)) void Start() { InstallStop(); }

}  // namespace

// The first present looks the real function up and installs the handler again:
// a program that set its own SIGTERM handler after start-up would take the
// report away.
extern "C" __attribute__((visibility("default"))) void glXSwapBuffers(Display* display, GLXDrawable drawable) {
    if (!g_glxSwap) {
        g_glxSwap = reinterpret_cast<GlxSwapFn>(dlsym(RTLD_NEXT, "glXSwapBuffers"));
        InstallStop();
    }
    if (g_glxSwap) g_glxSwap(display, drawable);
    g_meter.OnPresent();
}

extern "C" __attribute__((visibility("default"))) EGLBoolean eglSwapBuffers(EGLDisplay display, EGLSurface surface) {
    if (!g_eglSwap) {
        g_eglSwap = reinterpret_cast<EglSwapFn>(dlsym(RTLD_NEXT, "eglSwapBuffers"));
        InstallStop();
    }
    const EGLBoolean done = g_eglSwap ? g_eglSwap(display, surface) : EGL_FALSE;
    g_meter.OnPresent();
    return done;
}
