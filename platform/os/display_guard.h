// What X does to the process: the lost connection ends it at once, and a
// protocol error never does (x11 video driver only); call once SDL's video
// subsystem is up.
#pragma once

void InstallDisplayLossGuard();

// X protocol errors are counted and never fatal. While quiet (the OpenGL
// set-up, whose failure the caller reports in the user's terms) they are
// only recorded; otherwise the first few are reported on stderr.
void SetXErrorsQuiet(bool quiet);
// The last X error recorded since the last SetXErrorsQuiet(true), as
// "BadValue (GLX request 3)"; "" when there was none.
const char* LastXError();
