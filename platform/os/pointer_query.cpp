// Pointer queries on SDL's X11 and Wayland drivers.
#include "platform/os/pointer_query.h"

#include <SDL_syswm.h>  // brings Xlib; nothing here may include window.h (Xlib's `Window` clashes)

#include <cstring>

namespace {

Display* X11DisplayOf(SDL_Window* window) {
    if (!window) return nullptr;
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return nullptr;
    return info.info.x11.display;
}

// Xwayland names its outputs XWAYLAND0, XWAYLAND1...; later versions also
// announce an extension of that name.
bool IsXwayland(SDL_Window* window, Display* display) {
    int opcode = 0, event = 0, error = 0;
    if (XQueryExtension(display, "XWAYLAND", &opcode, &event, &error)) return true;
    const int index = SDL_GetWindowDisplayIndex(window);
    const char* name = SDL_GetDisplayName(index < 0 ? 0 : index);
    return name && std::strncmp(name, "XWAYLAND", 8) == 0;
}

}  // namespace

bool QueryServerPointer(SDL_Window* window, int* x, int* y) {
    Display* display = X11DisplayOf(window);
    if (!display) return false;
    ::Window root = 0, child = 0;
    int rootX = 0, rootY = 0, winX = 0, winY = 0;
    unsigned int mask = 0;
    if (!XQueryPointer(display, DefaultRootWindow(display), &root, &child, &rootX, &rootY, &winX, &winY, &mask)) {
        return false;
    }
    *x = rootX;
    *y = rootY;
    return true;
}

bool PointerUnknownUntilReported(SDL_Window* window) {
    const char* driver = SDL_GetCurrentVideoDriver();
    if (!driver) return false;
    if (std::strcmp(driver, "wayland") == 0) return true;
    Display* display = X11DisplayOf(window);
    return display && IsXwayland(window, display);
}
