// Long options and settings flags ahead of the single-letter switches.
#include "shell/command_line.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "shell/saver.h"

namespace {

const char* const kModeOptions[] = {"root", "window-id", "delay", "help", "version"};
constexpr int kMaxFrameDelayMicros = 1'000'000;  // a frame a second at the least

bool IsLongName(const char* name) {
    for (const char* o : kModeOptions) {
        if (std::strcmp(name, o) == 0) return true;
    }
    return IsSettingsFlagName(name);
}

// An X window id: hexadecimal with 0x, or decimal; never 0.
bool ParseWindowId(const char* text, unsigned long* out) {
    if (!text || !*text) return false;
    errno = 0;
    char* end = nullptr;
    const unsigned long v = std::strtoul(text, &end, 0);
    if (errno != 0 || *end != '\0' || v == 0 || text[0] == '-') return false;
    *out = v;
    return true;
}

CommandLine Fail(std::string message) {
    CommandLine c;
    c.action = CommandLine::Action::Error;
    c.error = std::move(message);
    return c;
}

}  // namespace

CommandLine ParseCommandLine(int argc, const char* const* argv, const char* screensaverWindow) {
    CommandLine c;
    bool root = false, windowId = false, help = false, version = false;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        std::string name;
        if (std::strncmp(arg, "--", 2) == 0 && arg[2] != '\0') {
            name = arg + 2;
        } else if (arg[0] == '-' && arg[1] != '\0' && arg[1] != '-') {
            const char* eq = std::strchr(arg + 1, '=');
            const std::string word = eq ? std::string(arg + 1, eq) : std::string(arg + 1);
            if (IsLongName(word.c_str())) name = arg + 1;
        }
        if (name.empty()) {  // a single-letter switch word
            if (!c.switches.empty()) c.switches += ' ';
            c.switches += arg;
            continue;
        }
        // --name=value, or the value in the next word.
        std::string value;
        bool inlineValue = false;
        if (const size_t eq = name.find('='); eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
            inlineValue = true;
        }
        const char* next = inlineValue ? value.c_str() : (i + 1 < argc ? argv[i + 1] : nullptr);

        if (name == "root" || name == "help" || name == "version") {
            if (inlineValue) return Fail("--" + name + " takes no value");
            (name == "root" ? root : name == "help" ? help : version) = true;
            continue;
        }
        if (name == "window-id") {
            if (!ParseWindowId(next, &c.hostWindow)) {
                return Fail(next ? "--window-id: \"" + std::string(next) + "\" is not a window id"
                                 : "--window-id needs a window id");
            }
            windowId = true;
            if (!inlineValue) ++i;
            continue;
        }
        if (name == "delay") {
            int v = 0;
            if (!ParseNumber(next, 0, kMaxFrameDelayMicros, &v)) {
                return Fail(next ? "--delay: \"" + std::string(next) + "\" is not a whole number of microseconds from 0 to " +
                                       std::to_string(kMaxFrameDelayMicros)
                                 : "--delay needs a number of microseconds");
            }
            c.frameDelayMicros = v;
            if (!inlineValue) ++i;
            continue;
        }
        std::string error;
        switch (ParseSettingsFlag(name.c_str(), next, &c.flags, &error)) {
            case FlagResult::NotAFlag:
                return Fail("unknown option --" + name);
            case FlagResult::BadValue:
                return Fail(error);
            case FlagResult::TookName:
                if (inlineValue) return Fail("--" + name + " takes no value");
                break;
            case FlagResult::TookValue:
                if (!inlineValue) ++i;
                break;
        }
    }

    if (help || version) {
        c.action = help ? CommandLine::Action::Help : CommandLine::Action::Version;
        return c;
    }
    if (root && windowId) return Fail("--root and --window-id exclude each other");
    if (root || windowId) {
        if (!c.switches.empty()) return Fail("\"" + c.switches + "\" cannot be combined with --root or --window-id");
        if (root && screensaverWindow && !ParseWindowId(screensaverWindow, &c.hostWindow)) {
            return Fail("XSCREENSAVER_WINDOW=\"" + std::string(screensaverWindow) + "\" is not a window id");
        }
        // The daemons show a hack's frame rate only when asked (--fps).
        if (!c.flags.Has(&Settings::intChkFPS)) c.flags.Set(&Settings::intChkFPS, 0);
        c.action = CommandLine::Action::Hosted;
        return c;
    }
    if (!c.flags.Empty()) {
        const char which = SaverSwitch(c.switches.c_str());
        if (which != 's' && which != 'w') {
            return Fail("settings flags apply to s, w, --root and --window-id; the dialog edits the settings file");
        }
    }
    return c;
}

void PrintUsage(std::FILE* out) {
    std::fprintf(out,
                 "Usage: nereval [s | w | c] [FLAG...]\n"
                 "       nereval --root | --window-id ID [FLAG...]\n"
                 "\n"
                 "Switches (the first letter counts; a leading '-' or '/' is ignored):\n"
                 "  s                     full screen on every monitor; any input ends it\n"
                 "  w                     the 640 x 480 test window; its close button ends it\n"
                 "  c                     the settings dialog (also with no switch)\n"
                 "\n"
                 "Screen saver daemon (XScreenSaver) options:\n"
                 "  --root                draw in the window named by XSCREENSAVER_WINDOW, or the root window\n"
                 "  --window-id ID        draw in the X window ID (hexadecimal 0x... or decimal)\n"
                 "  --delay N             wait N microseconds after each frame (0: as fast as the display\n"
                 "                        refreshes); also for s and w\n"
                 "                        (in hosted mode the frame-rate text shows only with --fps)\n"
                 "\n"
                 "Settings flags, laid over the settings file for this run only (never saved):\n");
    PrintSettingsFlags(out);
    std::fprintf(out,
                 "\n"
                 "  --help                this text\n"
                 "  --version             the version\n"
                 "\n"
                 "Exit status: 0 done; 1 the saver could not start; 2 a wrong command line.\n");
}
