// Process entry, command line and the saver window with its input rules.
#pragma once

#include "platform/os/instance.h"
#include "platform/os/window.h"

constexpr const char* kWindowClass = "WindowsScreenSaverClass";
constexpr const char* kWindowTitle = "Nereval Screen Saver";
constexpr const char* kMutexName = "NEREVAL_SCREEN_SAVER";

extern int g_bWindowed;                // 1 in the 640 x 480 test window
extern POINT g_ptCursorStart;          // pointer position the travel is measured from
extern BOOL g_bCursorStartKnown;       // FALSE until a true pointer position has been had
extern DWORD g_dwMouseMoveThreshold;   // travel above this (|dx| + |dy|, pixels) ends the saver
extern long g_nFrameDelayMicros;       // waited after each frame (--delay); 0: none

// Interprets the command line: the first character that is not a blank, '-'
// or '/' decides: c → dialog, s → full screen, w → test window, end of text →
// dialog without owner, anything else → exit 0. Returns the exit code.
int WinMain(const char* lpCmdLine);
// That first character, lower case ('\0' at the end of the text).
char SaverSwitch(const char* lpCmdLine);
// Hosted mode: draws in another program's X window (0: the root window)
// until SIGTERM or SIGINT. No instance lock (one saver runs per monitor), no
// input rules, no cursor change, the settings file is never written. Returns
// the exit code: 0, or 1 when the start failed (one line on stderr).
int RunHosted(unsigned long hostWindow);
// Creates the window, runs the message loop with one frame per idle pass and
// tears down. Returns the quit code, or 0 when start-up failed.
int RunSaver();
LRESULT WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT SaverProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
