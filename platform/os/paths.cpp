// XDG base directories, resolved at each call (tests point them elsewhere).
#include "platform/os/paths.h"

#include <pwd.h>
#include <sys/stat.h>
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
    if (const char* v = std::getenv("XDG_RUNTIME_DIR"); v && v[0] == '/') return v;
    // Without a runtime directory, a folder of this user's own in the
    // temporary directory: a shared name would let another user's lock file
    // (mode 0600) keep this user's saver from starting. A folder of that name
    // owned by someone else is not trusted; the state directory serves then.
    std::error_code ec;
    std::string tmp = std::filesystem::temp_directory_path(ec).string();
    if (ec || tmp.empty()) tmp = "/tmp";
    std::string dir = tmp + "/nereval-" + std::to_string(getuid());
    mkdir(dir.c_str(), 0700);
    struct stat st {};
    if (lstat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == getuid()) return dir;
    return StateHome();
}

bool MakeDirectories(const std::string& path) {
    std::error_code ec;
    std::filesystem::create_directories(path, ec);
    return std::filesystem::is_directory(path, ec);
}
