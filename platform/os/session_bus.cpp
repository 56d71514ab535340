// The session bus check that runs before SDL starts (session_bus.h).
#include "platform/os/session_bus.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

void DisableSessionBusAutolaunch() {
    if (const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS"); address && *address) return;
    // The socket libdbus itself connects to when the variable is unset.
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && runtime[0] == '/') {
        const std::string bus = std::string(runtime) + "/bus";
        struct stat st {};
        if (stat(bus.c_str(), &st) == 0 && S_ISSOCK(st.st_mode) && st.st_uid == getuid()) return;
    }
    setenv("DBUS_SESSION_BUS_ADDRESS", "disabled:", 1);
}
