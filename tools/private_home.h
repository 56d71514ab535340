// A private home for a tool that runs the whole saver: the settings file,
// the error log and the instance lock go to a fresh temporary folder, and
// with no X display the video system's offscreen driver is used.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <stdlib.h>

// Returns the folder (the caller removes it when done), or an empty string,
// said on stderr under the tool's name, when none can be made.
inline std::string UsePrivateHome(const char* tool) {
    std::error_code ec;
    std::string pattern = (std::filesystem::temp_directory_path(ec) / (std::string(tool) + "-XXXXXX")).string();
    const char* home = mkdtemp(pattern.data());
    if (!home) {
        std::fprintf(stderr, "%s: no temporary folder\n", tool);
        return {};
    }
    setenv("XDG_CONFIG_HOME", home, 1);
    setenv("XDG_STATE_HOME", home, 1);
    setenv("XDG_RUNTIME_DIR", home, 1);
    if (!std::getenv("DISPLAY")) setenv("SDL_VIDEODRIVER", "offscreen", 0);
    return home;
}
