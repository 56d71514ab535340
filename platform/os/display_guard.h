// What X does to the process: the lost connection ends it at once, and a
// protocol error never does (x11 video driver only); call once SDL's video
// subsystem is up.
#pragma once

void InstallDisplayLossGuard();

// X protocol errors are counted and never fatal. Until ReportXErrors is
// called they are only recorded: the OpenGL set-up's errors are the device's
// to report, in the user's terms. From then on the first few are reported on
// stderr as well. The device calls it once, as soon as its context is tried.
void ReportXErrors();
// The last X error recorded, as Xlib's text for it and the request's major
// and minor codes ("BadValue (...) (request 152.3)"); "" when there was none.
const char* LastXError();
