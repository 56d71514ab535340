// Whether the Wayland compositor a client would connect to offers a seat.
// SDL's Wayland driver (2.26) crashes on a compositor without one (no
// keyboard, no pointer: a headless compositor), and GTK complains at every
// turn there; both are kept off it.
#pragma once

enum class WaylandSeat {
    NoCompositor,  // none answers at WAYLAND_DISPLAY (or the default socket)
    None,          // one answers and offers no seat
    Present,
};

// One connection and one registry round trip.
WaylandSeat QueryWaylandSeat();

// Whether SDL would choose its Wayland driver: SDL prefers X11 when an X
// display is set; Wayland is chosen when asked for by name or when there is
// no X display to try.
bool SdlWouldUseWayland();

// True when SDL is about to use its Wayland driver (SDL_VIDEODRIVER names it,
// or no X display is set) and the compositor offers no seat. Asks the
// compositor only when Wayland is the driver SDL would choose.
bool WaylandCompositorHasNoSeat();
