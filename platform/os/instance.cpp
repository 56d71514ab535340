// Named mutex as flock(2) on <runtime folder>/<name>.lock (paths.h: RuntimeDir).
#include "platform/os/instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/os/paths.h"

struct NamedMutex {
    int fd = -1;
};

namespace {
NamedMutex g_Mutex;
DWORD g_LastError = ERROR_SUCCESS;

bool ValidName(const char* name) {
    if (!name || !*name) return false;
    for (const char* p = name; *p; ++p) {
        if (*p == '/') return false;
    }
    return true;
}
}  // namespace

HANDLE CreateMutexA(const void*, BOOL, const char* name) {
    if (!ValidName(name) || g_Mutex.fd >= 0) {
        g_LastError = ERROR_ACCESS_DENIED;
        return nullptr;
    }
    // Only in a folder nobody else can write to, and only a regular file of
    // this user's: another user's lock file would keep the saver from
    // starting, and a symlink would make it create a file where it points.
    const std::string dir = RuntimeDir();
    const int fd = MakeDirectories(dir) ? OpenOwnFile(dir + "/" + name + ".lock", O_RDWR, 0600) : -1;
    if (fd < 0) {
        g_LastError = ERROR_ACCESS_DENIED;
        return nullptr;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        g_LastError = errno == EWOULDBLOCK ? ERROR_ALREADY_EXISTS : ERROR_ACCESS_DENIED;
        close(fd);
        return nullptr;
    }
    g_LastError = ERROR_SUCCESS;
    g_Mutex.fd = fd;
    return &g_Mutex;
}

BOOL ReleaseMutex(HANDLE mutex) {
    if (!mutex || mutex->fd < 0) return FALSE;
    return flock(mutex->fd, LOCK_UN) == 0;
}

BOOL CloseHandle(HANDLE mutex) {
    if (!mutex || mutex->fd < 0) return FALSE;
    close(mutex->fd);
    mutex->fd = -1;
    return TRUE;
}

DWORD GetLastError() { return g_LastError; }

void ForgetInheritedMutexForTest() {
    if (g_Mutex.fd >= 0) close(g_Mutex.fd);
    g_Mutex.fd = -1;
}
