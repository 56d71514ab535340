// Ends the process when the X server connection is lost (x11 video driver
// only); call once SDL's video subsystem is up.
#pragma once

void InstallDisplayLossGuard();
