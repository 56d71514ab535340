// What the windowing system can say about the pointer, for the window layer.
#pragma once

#include <SDL.h>

// The X server's current pointer position in root-window pixels, asked of
// the server itself (SDL keeps a cached answer that can be stale, and a
// motion event's window-relative position is stale when the window manager
// moved the window after the event). False when the window is not on SDL's
// X11 driver or the pointer is on another screen.
bool QueryServerPointer(SDL_Window* window, int* x, int* y);

// True when the windowing system cannot say where the pointer is until it
// reports it inside one of the program's windows: a Wayland compositor tells
// a client nothing of a pointer outside its surfaces (SDL answers 0, 0), and
// Xwayland, the X server of a Wayland session, only knows where the pointer
// last was over an X window.
bool PointerUnknownUntilReported(SDL_Window* window);
