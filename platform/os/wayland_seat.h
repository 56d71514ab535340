// A check made before SDL's video system starts: SDL's Wayland driver (2.26)
// crashes on a compositor that offers no seat (no keyboard, no pointer), as
// a headless compositor does.
#pragma once

// True when SDL is about to use its Wayland driver (SDL_VIDEODRIVER names it,
// or no X display is set) and the compositor answers but offers no seat.
// Costs one connection and one round trip, and only when Wayland is chosen.
bool WaylandCompositorHasNoSeat();
