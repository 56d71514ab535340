// soak: the whole saver headless in its test window, with the heaviest
// settings (50 whales, deep sea, every set piece, tint, frame rate), on a
// hand-driven clock at a fixed time step, for a length of wall time. Checks
// what a saver left running for hours must keep: memory flat, every
// simulated value finite, every frame drawn.
//
//   soak [--seconds WALL] [--dt D] [--size WxH] [--simulated S]
//
// Always headless, on the video system's offscreen driver, whatever DISPLAY
// or WAYLAND_DISPLAY say. Prints a line per 10 simulated minutes and, last,
//   soak: simulated S s, frames F, rss start A MiB, end B MiB, rss growth G MiB/h (bound L), nan N, draws D
// (the resident size is read every simulated minute after a one-minute
// warm-up; A and B are the first and the last reading, G their least-squares
// slope in MiB per simulated hour and L its bound (tools/soak_trend.h): the
// driver's working set swings with the picture for minutes at a time, which
// moves single readings but not the trend of a series. nan: values found NaN
// or infinite, counted every frame; draws: the device's draw calls over all
// frames). Exit status 1 when a value was ever NaN, the slope exceeded its
// bound or a frame drew nothing.
//
// --leak-bytes-per-frame N, for checking the check, allocates and touches N
// bytes every frame and keeps them to the end: a leak of known size.
// Settings and logs live in a private temporary folder, never the user's.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "flock/school.h"
#include "platform/os/clock.h"
#include "platform/os/window.h"
#include "shell/frametimer.h"
#include "shell/lifecycle.h"
#include "shell/saver.h"
#include "tools/private_home.h"
#include "tools/soak_trend.h"

namespace {

std::int64_t g_Micros = 1'000'000;  // the hand-driven clock, microseconds
std::int64_t Counter() { return g_Micros; }
DWORD Millis() { return static_cast<DWORD>(g_Micros / 1000); }
const ClockOverride kClock{Millis, Counter, 1'000'000};

constexpr const char* kHeaviest[] = {
    "intWhlNumCur=50", "intChkCol=1",    "intChkEarth=1", "intChkPillar=1", "intChkFltPillar=1", "intChkMoon=1",
    "intChkClock=1",   "intChkCelphn=1", "intChkFPS=1",   "intChkAnim=1",   "intChkClsn=1",
};
constexpr double kReportEvery = 600.0;  // simulated seconds between report lines
constexpr double kWarmUp = 60.0;        // simulated seconds before the first memory reading
constexpr double kSampleEvery = 60.0;   // simulated seconds between memory readings

double ResidentMiB() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// A leak of known size for the check's own test: blocks chained through
// their first word, so they can all be freed at the end.
struct DeliberateLeak {
    std::size_t bytesPerFrame = 0;
    void* chain = nullptr;

    void Frame() {
        if (bytesPerFrame == 0) return;
        const std::size_t n = std::max(bytesPerFrame, sizeof(void*));
        void* block = std::malloc(n);
        if (!block) return;
        std::memset(block, 0x5a, n);  // touched, so resident
        std::memcpy(block, &chain, sizeof(void*));
        chain = block;
    }
    ~DeliberateLeak() {
        while (chain) {
            void* next = nullptr;
            std::memcpy(&next, chain, sizeof(void*));
            std::free(chain);
            chain = next;
        }
    }
};

int Usage() {
    std::fprintf(stderr,
                 "usage: soak [--seconds WALL] [--dt D]\n"
                 "  --seconds WALL  wall-clock seconds to run (default 600)\n"
                 "  --dt D          simulated seconds per frame (default 0.05, the saver's cap)\n"
                 "  --size WxH      the window's client size (default 640x480, the test window's)\n"
                 "  --simulated S   stop earlier, once S seconds are simulated\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    double wall = 600.0, dt = 0.05;
    int width = 640, height = 480;
    double simulated = 0.0;  // 0: no limit of simulated time
    DeliberateLeak leak;
    for (int i = 1; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        if (!std::strcmp(argv[i], "--seconds") && hasValue) {
            wall = std::atof(argv[++i]);
        } else if (!std::strcmp(argv[i], "--dt") && hasValue) {
            dt = std::atof(argv[++i]);
        } else if (!std::strcmp(argv[i], "--simulated") && hasValue) {
            simulated = std::atof(argv[++i]);
        } else if (!std::strcmp(argv[i], "--leak-bytes-per-frame") && hasValue) {
            leak.bytesPerFrame = static_cast<std::size_t>(std::strtoul(argv[++i], nullptr, 10));
        } else if (!std::strcmp(argv[i], "--size") && hasValue) {
            if (std::sscanf(argv[++i], "%dx%d", &width, &height) != 2) return Usage();
        } else {
            return Usage();
        }
    }
    if (!(wall > 0.0) || !(dt > 0.0) || dt > 0.05 || width < 64 || height < 48) return Usage();

    // Headless whatever the environment says: a DISPLAY naming a server that
    // is gone would make the video system try it, fail over to a driver that
    // shows nothing, and the device refuse to start.
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    const std::string home = UsePrivateHome("soak");
    if (home.empty()) return 1;
    std::error_code ec;
    Settings settings;
    for (const char* s : kHeaviest) SetSettingsValue(&settings, s);
    settings.Save();  // Initiate loads the settings from the (private) file

    SetClockOverride(&kClock);
    g_bWindowed = 1;
    RegisterClassA(kWindowClass, WndProc);
    HWND hwnd = CreateWindowExA(0, kWindowClass, kWindowTitle, WS_CAPTION | WS_SYSMENU, 0, 0, width, height);
    if (!hwnd || Initiate(hwnd) != 1) {
        std::fprintf(stderr, "soak: the saver did not start:\n%s", g_ErrLog.Text());
        std::filesystem::remove_all(home, ec);
        return 1;
    }
    FrameTimer(TimerCommand::Start);
    const auto start = std::chrono::steady_clock::now();
    const auto wallSeconds = [&] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(); };

    long frames = 0, emptyFrames = 0, nonFinite = 0;
    unsigned long long draws = 0, drawsSinceReport = 0;
    long framesSinceReport = 0;
    std::vector<soak::Reading> readings;
    readings.reserve(16384);  // 273 simulated hours; past that the vector grows, harmlessly
    const long warmFrames = std::lround(kWarmUp / dt);
    const long sampleFrames = std::max(1L, std::lround(kSampleEvery / dt));
    const long reportFrames = std::lround(kReportEvery / dt);
    // A run stopped by --simulated within the warm-up reads the memory once
    // and judges nothing.
    const long lastFrame = simulated > 0.0 ? std::max(1L, std::lround(simulated / dt)) : -1;
    while ((frames < warmFrames || wallSeconds() < wall) && frames != lastFrame) {
        g_Micros += std::llround(dt * 1e6);
        Frame(hwnd);
        leak.Frame();
        ++frames;
        const DWORD drawn = g_pDevice->GetFrameStats().drawCalls;
        draws += drawn;
        drawsSinceReport += drawn;
        ++framesSinceReport;
        emptyFrames += drawn == 0;
        nonFinite += CountNonFinite(g_Boids, g_Goal, g_Ferguson, g_CameraRig, g_Camera);
        if (frames >= warmFrames && (frames - warmFrames) % sampleFrames == 0) {
            readings.push_back(soak::Reading{frames * dt, ResidentMiB()});
        }
        if (frames % reportFrames == 0) {
            std::printf("soak: t %7.0f s  frames %8ld  rss %7.1f MiB  draws/frame %6.1f  nan %ld  wall %6.0f s\n",
                        frames * dt, frames, ResidentMiB(), static_cast<double>(drawsSinceReport) / framesSinceReport,
                        nonFinite, wallSeconds());
            std::fflush(stdout);
            drawsSinceReport = 0;
            framesSinceReport = 0;
        }
    }
    if (readings.empty()) readings.push_back(soak::Reading{frames * dt, ResidentMiB()});
    const double rssStart = readings.front().mib, rssEnd = readings.back().mib;
    const double growth = soak::SlopePerHour(readings);
    const double spanHours = soak::SpanHours(readings);
    const double bound = soak::SlopeBound(spanHours);
    ReleaseAll();
    std::filesystem::remove_all(home, ec);
    if (emptyFrames) std::printf("soak: %ld frames drew nothing\n", emptyFrames);
    char judged[48] = "not judged: one reading";
    if (spanHours > 0.0) std::snprintf(judged, sizeof judged, "bound %.1f", bound);
    std::printf("soak: simulated %.0f s, frames %ld, rss start %.1f MiB, end %.1f MiB, rss growth %.2f MiB/h (%s), "
                "nan %ld, draws %llu\n",
                frames * dt, frames, rssStart, rssEnd, growth, judged, nonFinite, draws);
    return nonFinite == 0 && soak::WithinBound(readings) && emptyFrames == 0 ? 0 : 1;
}
