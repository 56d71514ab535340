// schoolshots: runs the whole saver headless in its test window, on a
// hand-driven clock with a fixed time step, and saves frames as PNG files —
// the raw material of the animated README image and of review screenshots.
// Settings and logs live in a private temporary folder, never the user's.
//
//   schoolshots OUTDIR [--warmup S] [--seconds S] [--fps N] [--dt D] [--set NAME=VALUE]...
//
// Simulates --warmup seconds unseen, then --seconds more, saving --fps frames
// per simulated second as OUTDIR/frame_0000.png, frame_0001.png, ...
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/image/image_write.h"
#include "platform/os/clock.h"
#include "platform/os/window.h"
#include "shell/frametimer.h"
#include "shell/lifecycle.h"
#include "shell/saver.h"
#include "tools/private_home.h"

namespace {

std::int64_t g_Micros = 1'000'000;  // the hand-driven clock, microseconds
std::int64_t Counter() { return g_Micros; }
DWORD Millis() { return static_cast<DWORD>(g_Micros / 1000); }
const ClockOverride kClock{Millis, Counter, 1'000'000};

int Usage() {
    std::fprintf(stderr,
                 "usage: schoolshots OUTDIR [--warmup S] [--seconds S] [--fps N] [--dt D] [--set NAME=VALUE]...\n"
                 "  --warmup S   simulated seconds before the first saved frame (default 20)\n"
                 "  --seconds S  simulated seconds of saved frames (default 6)\n"
                 "  --fps N      saved frames per simulated second (default 10)\n"
                 "  --dt D       time step per frame in seconds (default 0.05)\n"
                 "  --set N=V    an integer settings value, e.g. --set intCamMod=2\n");
    return 2;
}

// Advances the hand-driven clock by dt and runs one frame.
void Step(HWND hwnd, double dt) {
    g_Micros += std::llround(dt * 1e6);
    Frame(hwnd);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argv[1][0] == '-') return Usage();
    const std::filesystem::path outDir = argv[1];
    double warmup = 20.0, seconds = 6.0, dt = 0.05;
    int fps = 10;
    std::vector<const char*> sets;
    for (int i = 2; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        if (!std::strcmp(argv[i], "--warmup") && hasValue) {
            warmup = std::atof(argv[++i]);
        } else if (!std::strcmp(argv[i], "--seconds") && hasValue) {
            seconds = std::atof(argv[++i]);
        } else if (!std::strcmp(argv[i], "--fps") && hasValue) {
            fps = std::atoi(argv[++i]);
        } else if (!std::strcmp(argv[i], "--dt") && hasValue) {
            dt = std::atof(argv[++i]);
        } else if (!std::strcmp(argv[i], "--set") && hasValue) {
            sets.push_back(argv[++i]);
        } else {
            return Usage();
        }
    }
    if (!(warmup >= 0.0) || !(seconds > 0.0) || fps < 1 || !(dt > 0.0) || dt > 0.05) return Usage();

    const std::string home = UsePrivateHome("schoolshots");
    if (home.empty()) return 1;
    std::error_code ec;
    std::filesystem::create_directories(outDir, ec);

    Settings settings;
    for (const char* s : sets) {
        if (!SetSettingsValue(&settings, s)) {
            std::fprintf(stderr, "schoolshots: --set %s: not NAME=INTEGER with a settings name\n", s);
            std::filesystem::remove_all(home, ec);
            return 2;
        }
    }
    settings.Save();  // Initiate loads the settings from the (private) file

    SetClockOverride(&kClock);
    g_bWindowed = 1;
    RegisterClassA(kWindowClass, WndProc);
    HWND hwnd = CreateWindowExA(0, kWindowClass, kWindowTitle, WS_CAPTION | WS_SYSMENU, 0, 0, 640, 480);
    int status = 0;
    if (!hwnd || Initiate(hwnd) != 1) {
        std::fprintf(stderr, "schoolshots: the saver did not start:\n%s", g_ErrLog.Text());
        status = 1;
    }
    if (status == 0) {
        FrameTimer(TimerCommand::Start);
        const long warmFrames = std::lround(warmup / dt);
        for (long f = 0; f < warmFrames; ++f) Step(hwnd, dt);

        const UINT w = g_pDevice->GetBackBufferWidth(), h = g_pDevice->GetBackBufferHeight();
        std::vector<std::uint8_t> rgba(static_cast<std::size_t>(w) * h * 4);
        const long shots = std::lround(seconds * fps);
        const double between = 1.0 / fps;
        double owed = 0.0;
        for (long n = 0; n < shots && status == 0; ++n) {
            // Frames of at most dt until the next shot is due.
            owed += between;
            while (owed > 1e-9) {
                const double step = owed < dt ? owed : dt;
                Step(hwnd, step);
                owed -= step;
            }
            g_pDevice->ReadBackBuffer(rgba.data());
            const std::vector<std::uint8_t> png = EncodePng(static_cast<int>(w), static_cast<int>(h), rgba);
            char name[32];
            std::snprintf(name, sizeof name, "frame_%04ld.png", n);
            std::ofstream out(outDir / name, std::ios::binary);
            out.write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
            if (png.empty() || !out) {
                std::fprintf(stderr, "schoolshots: cannot write %s\n", (outDir / name).c_str());
                status = 1;
            }
        }
        std::printf("schoolshots: %ld frames of %ux%u in %s (after %.1f s, one every %.3f s)\n", shots, w, h,
                    outDir.c_str(), warmup, between);
    }
    ReleaseAll();
    if (hwnd) DestroyWindow(hwnd);
    SetClockOverride(nullptr);
    std::filesystem::remove_all(home, ec);
    return status;
}
