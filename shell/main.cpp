// Process entry: long options first (hosted mode, settings flags, help and
// version), then the single-letter switches of the words left over.
#include <cstdio>
#include <cstdlib>

#include "platform/os/paths.h"
#include "platform/os/session_bus.h"
#include "shell/command_line.h"
#include "shell/lifecycle.h"
#include "shell/saver.h"

namespace {

// Before a run: the settings and the log need a folder of the user's own.
bool UserFoldersKnown() {
    const char* missing = UserFoldersMissing();
    if (missing) std::fprintf(stderr, "nereval: start failed: %s\n", missing);
    return !missing;
}

}  // namespace

int main(int argc, char** argv) {
    // First, while the process has one thread: the environment is not safe
    // to change once the start-up prefetches run.
    DisableSessionBusAutolaunch();
    CommandLine command = ParseCommandLine(argc, argv, std::getenv("XSCREENSAVER_WINDOW"));
    switch (command.action) {
        case CommandLine::Action::Error:
            std::fprintf(stderr, "nereval: %s (nereval --help lists the options)\n", command.error.c_str());
            return 2;
        case CommandLine::Action::Help:
            PrintUsage(stdout);
            return 0;
        case CommandLine::Action::Version:
            std::printf("nereval %s\n", NEREVAL_VERSION);
            return 0;
        case CommandLine::Action::Hosted:
        case CommandLine::Action::Switch:
            break;
    }
    // Both ways of running: the folders, then the flags on top of the settings file.
    if (!UserFoldersKnown()) return 1;
    g_SettingsFlags = command.flags;
    g_nFrameDelayMicros = command.frameDelayMicros;
    if (command.action == CommandLine::Action::Hosted) return RunHosted(command.hostWindow);
    return WinMain(command.switches.c_str());
}
