// Points the settings, state and runtime folders (XDG) at a fresh temporary
// folder for the life of the object, so tests and benchmarks never touch the
// user's real files; windows default to SDL's offscreen driver.
#pragma once

#include <cstdlib>
#include <filesystem>

#include "tests/support/temp_folder.h"

class PrivateFolders {
public:
    explicit PrivateFolders(const char* prefix) : m_root(prefix) {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        for (const char* v : {"XDG_CONFIG_HOME", "XDG_STATE_HOME", "XDG_RUNTIME_DIR"}) {
            std::filesystem::path p = std::filesystem::path(m_root.Path()) / v;
            std::filesystem::create_directories(p);
            // Mode 0700, as a runtime folder must be to be used (paths.h).
            std::filesystem::permissions(p, std::filesystem::perms::owner_all, std::filesystem::perm_options::replace);
            setenv(v, p.c_str(), 1);
        }
    }

private:
    TempFolder m_root;  // removed with everything in it
};
