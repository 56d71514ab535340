// Points the settings, state and runtime folders (XDG) at a fresh temporary
// folder for the life of the object, so tests and benchmarks never touch the
// user's real files; windows default to SDL's offscreen driver.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include <unistd.h>

class PrivateFolders {
public:
    explicit PrivateFolders(const char* prefix) {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        std::string tmpl = (std::filesystem::temp_directory_path() / (std::string(prefix) + "-XXXXXX")).string();
        if (!mkdtemp(tmpl.data())) std::abort();
        m_root = tmpl;
        for (const char* v : {"XDG_CONFIG_HOME", "XDG_STATE_HOME", "XDG_RUNTIME_DIR"}) {
            std::filesystem::path p = m_root / v;
            std::filesystem::create_directories(p);
            // Mode 0700, as a runtime folder must be to be used (paths.h).
            std::filesystem::permissions(p, std::filesystem::perms::owner_all, std::filesystem::perm_options::replace);
            setenv(v, p.c_str(), 1);
        }
    }
    ~PrivateFolders() {
        std::error_code ec;
        std::filesystem::remove_all(m_root, ec);
    }
    PrivateFolders(const PrivateFolders&) = delete;
    PrivateFolders& operator=(const PrivateFolders&) = delete;

private:
    std::filesystem::path m_root;
};
