// What happens when the X server goes away under the saver: the process
// ends at once. Xlib reports the lost connection to its IO error handler;
// SDL's handler returns, and a loop in Xlib that waits for a window event
// (SDL waits for map and unmap notifications) then spins forever on the dead
// connection, leaving a saver that burns a core with no screen. Nothing can
// be drawn or saved usefully without the display, so the handler ends the
// process without running exit handlers (which would talk to X again).
#include "platform/os/display_guard.h"

#include <SDL.h>
#include <X11/Xlib.h>  // after our headers: Xlib's `Window` would clash with ours
#include <unistd.h>

#include <cstring>

namespace {

int EndOnLostDisplay(Display*) {
    static const char kMessage[] = "nereval: the X server connection was lost; ending\n";
    ssize_t ignored = write(STDERR_FILENO, kMessage, sizeof kMessage - 1);
    (void)ignored;
    _exit(1);
}

}  // namespace

void InstallDisplayLossGuard() {
    const char* driver = SDL_GetCurrentVideoDriver();
    if (driver && std::strcmp(driver, "x11") == 0) XSetIOErrorHandler(EndOnLostDisplay);
}
