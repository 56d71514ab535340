// Inside the platform layer only: the SDL window behind a window handle, for
// the device, which creates its GL context on it.
#pragma once

#include <SDL.h>

#include "platform/os/window.h"

SDL_Window* SdlWindowOf(HWND hwnd);

// The window's own reference is dropped by DestroyWindow; the device holds a
// second one while its GL context lives on the window, so the SDL window is
// freed only when both are gone.
void WindowAddRef(HWND hwnd);
void WindowRelease(HWND hwnd);

// Starts SDL's video subsystem once; false (reason on stderr) when it cannot.
bool EnsureSdlVideo();
// True when SDL fell back by itself to a driver that shows nothing (offscreen,
// dummy: no display was found) rather than being asked for it through
// SDL_VIDEODRIVER. A saver nobody can see must not run.
bool SdlVideoShowsNothingUnasked();

// Gives an SDL window made elsewhere in the platform a handle of the
// registered class (sends WM_CREATE); null when no slot or class is free.
HWND AdoptSdlWindow(SDL_Window* sdl);
// Hosted windows (window_host.cpp). True when the handle draws straight into
// another program's window, which must never be hidden or resized.
bool IsHostWindow(HWND hwnd);
// True for any window of hosted mode: the host itself, or our child inside
// it. Neither is hidden at the end: the daemon destroys the host (and so the
// child) as it ends the saver, and SDL would wait forever for the unmap
// notification of a window that is gone.
bool IsHostedWindow(HWND hwnd);
// Keeps a child window of our own the size of its host; called as events are pumped.
void FollowHostedWindow();
// The handle is being destroyed: stop following its host.
void ForgetHostedWindow(HWND hwnd);
