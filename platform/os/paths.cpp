// XDG base directories, resolved at each call (tests point them elsewhere).
#include "platform/os/paths.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace {

std::string Home() {
    if (const char* h = std::getenv("HOME"); h && *h) return h;
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) return pw->pw_dir;
    return "/tmp";
}

// An XDG variable counts only when it holds an absolute path.
std::string FromEnv(const char* name, const std::string& fallback) {
    const char* v = std::getenv(name);
    if (v && v[0] == '/') return v;
    return fallback;
}

}  // namespace

std::string ConfigHome() { return FromEnv("XDG_CONFIG_HOME", Home() + "/.config"); }
std::string StateHome() { return FromEnv("XDG_STATE_HOME", Home() + "/.local/state"); }

std::string RuntimeDir() {
    std::error_code ec;
    std::string tmp = std::filesystem::temp_directory_path(ec).string();
    return FromEnv("XDG_RUNTIME_DIR", ec ? std::string("/tmp") : tmp);
}

bool MakeDirectories(const std::string& path) {
    std::error_code ec;
    std::filesystem::create_directories(path, ec);
    return std::filesystem::is_directory(path, ec);
}
