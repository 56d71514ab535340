// The process's command line: long options (--root, --window-id ID, the
// settings flags, --help, --version) are taken first; the words left over
// are the single-letter switches, joined by blanks (see WinMain).
#pragma once

#include <cstdio>
#include <string>

#include "settings/settings_flags.h"

struct CommandLine {
    enum class Action {
        Switch,   // run WinMain on `switches`
        Hosted,   // draw in `hostWindow` (0: the root window)
        Help,     // print the usage, exit 0
        Version,  // print the version, exit 0
        Error,    // print `error` (one line), exit 2
    };
    Action action = Action::Switch;
    std::string switches;
    unsigned long hostWindow = 0;
    // --delay N: microseconds to wait after each frame, as the screen saver
    // daemon's hacks take it (0: frames paced by the display's refresh alone).
    long frameDelayMicros = 0;
    SettingsOverlay flags;
    std::string error;
};

// `screensaverWindow` is the value of XSCREENSAVER_WINDOW (null when unset):
// the window --root draws in, as hexadecimal (0x...) or decimal.
// A word with two dashes is always a long option (an unknown one is an
// error); with one dash only when it names a long option (-root,
// -window-id), so "-s" and "-settings" stay single-letter switches.
// In hosted mode the frame-rate text is off unless --fps asks for it, as
// with every hack; s and w keep the settings file's value.
CommandLine ParseCommandLine(int argc, const char* const* argv, const char* screensaverWindow);

// The usage text of --help: the switches, the options and every settings flag.
void PrintUsage(std::FILE* out);
