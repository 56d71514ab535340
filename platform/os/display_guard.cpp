// What happens when the X server goes away under the saver: the process
// ends at once. Xlib reports the lost connection to its IO error handler;
// SDL's handler returns, and a loop in Xlib that waits for a window event
// (SDL waits for map and unmap notifications) then spins forever on the dead
// connection, leaving a saver that burns a core with no screen. Nothing can
// be drawn or saved usefully without the display, so the handler ends the
// process without running exit handlers (which would talk to X again).
//
// A protocol error is another matter: Xlib's default handler prints it and
// ends the process, so a failed GLX request (an indirect context over ssh,
// a driver that cannot load) would end the saver behind its back, whatever
// the mode. The handler here records it and lets the call fail as calls do.
#include "platform/os/display_guard.h"

#include <SDL.h>
#include <X11/Xlib.h>  // after our headers: Xlib's `Window` would clash with ours
#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace {

int EndOnLostDisplay(Display*) {
    static const char kMessage[] = "nereval: the X server connection was lost; ending\n";
    ssize_t ignored = write(STDERR_FILENO, kMessage, sizeof kMessage - 1);
    (void)ignored;
    _exit(1);
}

bool g_XErrorsQuiet = true;  // until the device has tried its context (see ReportXErrors)
int g_XErrorsReported = 0;
constexpr int kMaxXErrorsReported = 5;
char g_LastXError[128] = "";

int RecordXError(Display* display, XErrorEvent* e) {
    char text[80] = "";
    XGetErrorText(display, e->error_code, text, sizeof text);
    std::snprintf(g_LastXError, sizeof g_LastXError, "%s (request %u.%u)", text,
                  static_cast<unsigned>(e->request_code), static_cast<unsigned>(e->minor_code));
    if (!g_XErrorsQuiet && g_XErrorsReported < kMaxXErrorsReported) {
        ++g_XErrorsReported;
        std::fprintf(stderr, "nereval: X error %s; going on\n", g_LastXError);
    }
    return 0;
}

}  // namespace

void InstallDisplayLossGuard() {
    const char* driver = SDL_GetCurrentVideoDriver();
    if (!driver || std::strcmp(driver, "x11") != 0) return;
    XSetIOErrorHandler(EndOnLostDisplay);
    XSetErrorHandler(RecordXError);
}

void ReportXErrors() { g_XErrorsQuiet = false; }

const char* LastXError() { return g_LastXError; }
