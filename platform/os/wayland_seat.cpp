// One registry round trip: the compositor lists its globals; a compositor
// with input devices lists a seat among them.
#include "platform/os/wayland_seat.h"

#include <wayland-client.h>

#include <cstdlib>
#include <cstring>
#include <strings.h>

bool SdlWouldUseWayland() {
    const char* asked = std::getenv("SDL_VIDEODRIVER");
    if (asked && *asked) return strcasestr(asked, "wayland") != nullptr;
    const char* x = std::getenv("DISPLAY");
    return !x || !*x;
}

namespace {

void OnGlobal(void* data, wl_registry*, uint32_t, const char* interface, uint32_t) {
    if (std::strcmp(interface, wl_seat_interface.name) == 0) *static_cast<bool*>(data) = true;
}

void OnGlobalRemove(void*, wl_registry*, uint32_t) {}

const wl_registry_listener kListener = {OnGlobal, OnGlobalRemove};

}  // namespace

WaylandSeat QueryWaylandSeat() {
    // Without a runtime folder (or a socket path) there is no compositor to
    // ask, and the connection attempt would print a complaint of its own.
    const char* socket = std::getenv("WAYLAND_DISPLAY");
    if (!std::getenv("XDG_RUNTIME_DIR") && !(socket && socket[0] == '/')) return WaylandSeat::NoCompositor;
    wl_display* display = wl_display_connect(nullptr);
    if (!display) return WaylandSeat::NoCompositor;
    bool seat = false;
    bool answered = false;
    if (wl_registry* registry = wl_display_get_registry(display)) {
        wl_registry_add_listener(registry, &kListener, &seat);
        answered = wl_display_roundtrip(display) >= 0;
        wl_registry_destroy(registry);
    }
    wl_display_disconnect(display);
    if (!answered) return WaylandSeat::NoCompositor;
    return seat ? WaylandSeat::Present : WaylandSeat::None;
}

bool WaylandCompositorHasNoSeat() { return SdlWouldUseWayland() && QueryWaylandSeat() == WaylandSeat::None; }
