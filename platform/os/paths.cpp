// XDG base directories, resolved at each call (tests point them elsewhere),
// and the one careful way the saver writes a whole file.
#include "platform/os/paths.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace {

const char* PasswdHome() {
    const passwd* pw = getpwuid(getuid());
    return pw ? pw->pw_dir : nullptr;
}

const char* (*g_PasswdHome)() = PasswdHome;

// $HOME, else the passwd entry's folder; only an absolute path counts. Empty
// when there is none: a fallback such as /tmp would be shared with every
// other user, who could plant symlinks where the saver writes.
std::string Home() {
    if (const char* h = std::getenv("HOME"); h && h[0] == '/') return h;
    if (const char* d = g_PasswdHome(); d && d[0] == '/') return d;
    return {};
}

// An XDG variable counts only when it holds an absolute path.
std::string FromEnv(const char* name, const char* underHome) {
    const char* v = std::getenv(name);
    if (v && v[0] == '/') return v;
    std::string home = Home();
    return home.empty() ? home : home + underHome;
}

}  // namespace

std::string ConfigHome() { return FromEnv("XDG_CONFIG_HOME", "/.config"); }
std::string StateHome() { return FromEnv("XDG_STATE_HOME", "/.local/state"); }

std::string RuntimeDir() {
    // Another user's folder, or a world-writable one, would let that user
    // hold the lock (keeping the saver from starting) or plant a symlink
    // named as the lock file.
    if (const char* v = std::getenv("XDG_RUNTIME_DIR"); v && v[0] == '/') {
        struct stat st {};
        if (stat(v, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == getuid() && (st.st_mode & 07777) == 0700) {
            return v;
        }
    }
    return StateHome();
}

const char* UserFoldersMissing() {
    if (!ConfigHome().empty() && !StateHome().empty()) return nullptr;
    return "no folder for the settings and the log: HOME is unset and the user has no home folder "
           "(set HOME, or XDG_CONFIG_HOME and XDG_STATE_HOME)";
}

bool MakeDirectories(const std::string& path) {
    if (path.empty()) return false;
    // Each prefix ending before a slash, then the whole path.
    for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string part = path.substr(0, slash);
        if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
        if (slash == std::string::npos) break;
    }
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsOwnFolder(const std::string& dir) {
    struct stat st {};
    return !dir.empty() && stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == getuid() &&
           (st.st_mode & S_IWOTH) == 0;
}

bool WriteAll(int fd, const void* data, std::size_t size) {
    const char* p = static_cast<const char*>(data);
    for (std::size_t left = size; left > 0;) {
        const ssize_t n = write(fd, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

bool ReplaceFile(const std::string& path, const void* data, std::size_t size, const ReplaceOptions& options) {
    std::string part = path;
    part += kTemporarySuffix;
    const int fd = mkostemp(part.data(), O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = (!options.mode || fchmod(fd, *options.mode) == 0) && WriteAll(fd, data, size) &&
              (!options.sync || fsync(fd) == 0);
    ok = close(fd) == 0 && ok;
    if (ok && rename(part.c_str(), path.c_str()) == 0) return true;
    unlink(part.c_str());
    return false;
}

std::string ParentFolder(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return {};
    return slash == 0 ? "/" : path.substr(0, slash);
}

int OpenOwnFile(const std::string& path, int flags, unsigned mode) {
    if (!IsOwnFolder(ParentFolder(path))) return -1;
    const int fd = open(path.c_str(), flags | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, static_cast<mode_t>(mode));
    if (fd < 0) return -1;
    struct stat st {};
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == getuid()) return fd;
    close(fd);
    return -1;
}

bool WriteOwnFile(const std::string& path, const void* data, std::size_t size) {
    // Not truncated at open: only once it is known to be a regular file of ours.
    const int fd = OpenOwnFile(path, O_WRONLY, 0644);
    if (fd < 0) return false;
    const bool ok = ftruncate(fd, 0) == 0 && WriteAll(fd, data, size);
    return close(fd) == 0 && ok;
}

void SetPasswdHomeForTest(const char* (*lookup)()) { g_PasswdHome = lookup ? lookup : PasswdHome; }
