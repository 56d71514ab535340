// Process entry: long options first (hosted mode, settings flags, help and
// version), then the single-letter switches of the words left over.
#include <cstdio>
#include <cstdlib>

#include "shell/command_line.h"
#include "shell/lifecycle.h"
#include "shell/saver.h"

int main(int argc, char** argv) {
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
            g_SettingsFlags = command.flags;
            return RunHosted(command.hostWindow);
        case CommandLine::Action::Switch:
            break;
    }
    g_SettingsFlags = command.flags;
    return WinMain(command.switches.c_str());
}
