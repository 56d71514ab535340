// The configuration dialog: edits, resets and saves the settings.
#pragma once

#include "platform/os/window.h"

// Shows the dialog owned by `owner` (may be null); returns the exit code.
int ShowConfigDialog(HWND owner);
