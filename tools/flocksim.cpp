// flocksim: runs the school headless — the whales, the guide whale, the
// obstacle field (collision hulls only), the camera path, the rig and the
// camera mode — with no window and no device, and prints one line per
// simulated minute. For soak runs, tests and quick measurements.
// Exit status: 0 when no value ever became NaN or infinite, 1 when one did,
// 2 for a usage error or missing content.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "flock/school.h"
#include "scene/background_obj.h"
#include "settings/settings.h"
#include "view/camera.h"
#include "view/camera_mode.h"

namespace {

constexpr float kObstacleCheckRange = 200.0f;  // as the saver sets it
constexpr float kStartEyeZ = -240.0f;          // the saver's camera start (0, 0, -240)

void Usage(FILE* out) {
    std::fprintf(out,
                 "usage: flocksim [options]\n"
                 "  --whales N         whales in the school (default: the settings' 30)\n"
                 "  --seconds S        simulated time (default 600)\n"
                 "  --dt D             time step in seconds (default 0.05, the saver's cap)\n"
                 "  --seed K           random seed for the school and the guide (default 1)\n"
                 "  --camera-mode M    1 floating, 2 composite, 3 rotating (default 1)\n"
                 "  --set NAME=VALUE   any integer settings value, e.g. --set intChkClsn=0\n"
                 "  --help             this text\n"
                 "Prints per simulated minute: time, centroid, spread (largest distance of a\n"
                 "whale from the centroid), whale speed min/mean/max over the minute in world\n"
                 "units per second, nan (values found NaN or infinite in any whale, the guide,\n"
                 "the path or the rig, so far), escapes (whales and guide sent back, so far),\n"
                 "and the mean update time per frame in microseconds. The summary adds entries\n"
                 "(whales entering an obstacle's collision hull, summed over the run), eye-inside\n"
                 "(frames with the camera eye inside one), guide-distance (the mean distance\n"
                 "from the school's centroid to the guide whale), and the spread and whale\n"
                 "speed averaged over every frame.\n");
}

// 1 when p lies inside the collision hull of one of the obstacles.
int InsideObstacle(BackGroundObj& obstacles, const D3DXVECTOR3& p) {
    for (int k = 0; k < obstacles.GetObjectNum(); ++k) {
        if (obstacles.GetObjects()[k].HullBoxContains(p, 0.0f)) return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Settings settings;  // defaults; never loaded from or saved to the user's file
    double seconds = 600.0;
    float dt = 0.05f;
    unsigned seed = 1;
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (!std::strcmp(a, "--help")) {
            Usage(stdout);
            return 0;
        } else if (!std::strcmp(a, "--whales") && hasValue) {
            settings.intWhlNumCur = std::atoi(argv[++i]);
        } else if (!std::strcmp(a, "--seconds") && hasValue) {
            seconds = std::atof(argv[++i]);
        } else if (!std::strcmp(a, "--dt") && hasValue) {
            dt = static_cast<float>(std::atof(argv[++i]));
        } else if (!std::strcmp(a, "--seed") && hasValue) {
            seed = static_cast<unsigned>(std::strtoul(argv[++i], nullptr, 0));
        } else if (!std::strcmp(a, "--camera-mode") && hasValue) {
            settings.intCamMod = std::atoi(argv[++i]);
        } else if (!std::strcmp(a, "--set") && hasValue) {
            if (!SetSettingsValue(&settings, argv[++i])) {
                std::fprintf(stderr, "flocksim: --set %s: not NAME=INTEGER with a settings name\n", argv[i]);
                return 2;
            }
        } else {
            Usage(stderr);
            return 2;
        }
    }
    if (!(dt > 0.0f) || !(seconds > 0.0)) {
        std::fprintf(stderr, "flocksim: --dt and --seconds must be positive\n");
        return 2;
    }

    BackGroundObj obstacles;
    if (FAILED(obstacles.InitDeviceObjects(nullptr, "OBSTACLE01.X", "OBSTACLE01.BPS", nullptr))) {
        std::fprintf(stderr, "flocksim: the obstacle field did not load\n");
        return 2;
    }
    obstacles.m_fCheckRange = kObstacleCheckRange;
    Ferguson path;
    if (FAILED(path.InitDeviceObjects("CLOCK.FPP", nullptr))) {
        std::fprintf(stderr, "flocksim: the camera path did not load\n");
        return 2;
    }
    Boids boids;
    boids.ApplySettings(&settings);
    if (FAILED(boids.CreateWhales(seed, nullptr))) {
        std::fprintf(stderr, "flocksim: no memory for the school\n");
        return 2;
    }
    Goal goal;
    goal.ApplySettings(&settings);
    goal.SeedTargets(seed);  // the saver seeds both from nearly the same millisecond
    CameraRig rig;
    Camera camera;
    camera.SetPosition(0.0f, 0.0f, kStartEyeZ);
    CameraModes modes;

    const float base = boids.m_fBaseSpeed * 100.0f;  // world units per second
    std::printf("# flocksim: %d whales, dt %.3f s, seed %u, camera mode %d, collisions %s, %d obstacles\n",
                boids.GetCount(), dt, seed, settings.intCamMod, boids.m_bCollision ? "on" : "off",
                obstacles.GetObjectNum());
    std::printf("# whale speed clamps: %.3f .. %.3f units/s (up to %.3f for one frame)\n", base / 2.0f,
                2.0f * base, 2.0f * base + 0.75f * base * dt);

    const long frames = static_cast<long>(std::llround(seconds / dt));
    const long framesPerMinute = std::lround(60.0 / dt);
    long nonFinite = 0;
    double minuteMicros = 0.0, totalMicros = 0.0;
    long minuteFrames = 0;
    float minSpeed = 1e30f, maxSpeed = 0.0f, runMin = 1e30f, runMax = 0.0f, maxSpread = 0.0f;
    double speedSum = 0.0;
    long speedCount = 0;
    std::vector<char> inside(static_cast<std::size_t>(boids.GetCount()), 0);
    long entries = 0, eyeInside = 0;
    double guideDistanceSum = 0.0, spreadSum = 0.0, runSpeedSum = 0.0;

    for (long f = 1; f <= frames; ++f) {
        const auto start = std::chrono::steady_clock::now();
        const D3DXVECTOR3 centre =
            UpdateSchool(&goal, &boids, &path, &rig, &obstacles, camera.GetPosition(), dt);
        CameraModeInput in;
        in.mode = settings.intCamMod;
        in.rigPose = rig.GetWorldMatrix();
        in.flockCentre = centre;
        in.dt = dt;
        modes.Apply(nullptr, &camera, in);
        KeepEyeOutOfObstacles(nullptr, &camera, &obstacles);
        const auto stop = std::chrono::steady_clock::now();
        const double micros = std::chrono::duration<double, std::micro>(stop - start).count();
        minuteMicros += micros;
        totalMicros += micros;
        ++minuteFrames;

        nonFinite += CountNonFinite(boids, goal, path, rig, camera);
        for (int i = 0; i < boids.GetCount(); ++i) {
            const char now = static_cast<char>(InsideObstacle(obstacles, boids.GetBoids()[i].m_vPosition));
            if (now && !inside[i]) ++entries;
            inside[i] = now;
        }
        eyeInside += InsideObstacle(obstacles, camera.GetPosition());
        const D3DXVECTOR3 toGuide = goal.m_vPosition - centre;
        guideDistanceSum += D3DXVec3Length(&toGuide);
        for (int i = 0; i < boids.GetCount(); ++i) {
            const float v = boids.GetBoids()[i].m_fSpeed * 100.0f;
            if (v < minSpeed) minSpeed = v;
            if (v > maxSpeed) maxSpeed = v;
            speedSum += v;
            runSpeedSum += v;
            ++speedCount;
        }

        float spread = 0.0f;
        for (int i = 0; i < boids.GetCount(); ++i) {
            const D3DXVECTOR3 d = boids.GetBoids()[i].m_vPosition - centre;
            const float r = D3DXVec3Length(&d);
            if (r > spread) spread = r;
        }
        spreadSum += spread;
        if (f % framesPerMinute == 0 || f == frames) {
            if (spread > maxSpread) maxSpread = spread;
            if (minSpeed < runMin) runMin = minSpeed;
            if (maxSpeed > runMax) runMax = maxSpeed;
            std::printf("t %7.1f s  centroid (%8.1f %7.1f %8.1f)  spread %7.1f  speed %.3f/%.3f/%.3f  nan %ld  "
                        "escapes %lu  update %.1f us\n",
                        f * dt, centre.x, centre.y, centre.z, spread, minSpeed,
                        speedCount ? speedSum / speedCount : 0.0, maxSpeed, nonFinite,
                        static_cast<unsigned long>(boids.GetEscapeCount() + goal.GetEscapeCount()),
                        minuteMicros / minuteFrames);
            std::fflush(stdout);
            minuteMicros = 0.0;
            minuteFrames = 0;
            minSpeed = 1e30f;
            maxSpeed = 0.0f;
            speedSum = 0.0;
            speedCount = 0;
        }
    }
    std::printf("# summary: %ld frames, largest spread %.1f, speed %.3f .. %.3f units/s, nan %ld, escapes %lu "
                "(whales %lu, guide %lu), mean update %.1f us, entries %ld, eye-inside %ld, guide-distance %.1f, mean spread %.1f, "
                "mean speed %.3f\n",
                frames, maxSpread, runMin, runMax, nonFinite,
                static_cast<unsigned long>(boids.GetEscapeCount() + goal.GetEscapeCount()),
                static_cast<unsigned long>(boids.GetEscapeCount()), static_cast<unsigned long>(goal.GetEscapeCount()),
                frames ? totalMicros / frames : 0.0, entries, eyeInside, frames ? guideDistanceSum / frames : 0.0,
                frames ? spreadSum / frames : 0.0, frames ? runSpeedSum / (frames * static_cast<double>(boids.GetCount())) : 0.0);
    return nonFinite == 0 ? 0 : 1;
}
