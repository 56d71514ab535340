// Start-up probe (tools/startup-pairs.sh): a library loaded with LD_PRELOAD
// into the saver (or the floor program) that wraps SDL_GL_SwapWindow. At the
// first present it prints
//   "first present: wall_ms W cpu_ms C main_thread_cpu_ms M"
// to stderr and exits with 0: W from NEREVAL_LAUNCH_US (the launch, in
// microseconds of the real-time clock), C the whole process's CPU time, M the
// main thread's. A measuring tool, so it exits without cleaning up.
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace {

double Milliseconds(const timeval& user, const timeval& system) {
    return (user.tv_sec + system.tv_sec) * 1e3 + (user.tv_usec + system.tv_usec) / 1e3;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) void SDL_GL_SwapWindow(void*) {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    rusage process{}, thread{};
    getrusage(RUSAGE_SELF, &process);
    getrusage(RUSAGE_THREAD, &thread);
    const char* launch = std::getenv("NEREVAL_LAUNCH_US");
    const double nowUs = static_cast<double>(now.tv_sec) * 1e6 + static_cast<double>(now.tv_nsec) / 1e3;
    const double wall = launch ? (nowUs - std::atof(launch)) / 1e3 : -1.0;
    std::fprintf(stderr, "first present: wall_ms %.1f cpu_ms %.1f main_thread_cpu_ms %.1f\n", wall,
                 Milliseconds(process.ru_utime, process.ru_stime), Milliseconds(thread.ru_utime, thread.ru_stime));
    _exit(0);
}
