// Keeps the libraries the saver loads from starting a D-Bus session daemon
// where the user has no session bus: a screen saver leaves nothing running.
#pragma once

// When no session bus exists (DBUS_SESSION_BUS_ADDRESS unset or empty, and no
// socket of this user's at $XDG_RUNTIME_DIR/bus), sets DBUS_SESSION_BUS_ADDRESS
// to "disabled:" for this process: SDL's D-Bus calls then fail at once instead
// of autolaunching dbus-launch, whose daemon would outlive the saver. Changes
// the environment, so it runs first in main, before any thread exists.
void DisableSessionBusAutolaunch();
