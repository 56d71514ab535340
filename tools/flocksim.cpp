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
#include <random>
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
constexpr double kSettleSeconds = 60.0;        // eye-distance and rig-speed are taken after this

void Usage(FILE* out) {
    std::fprintf(out,
                 "usage: flocksim [options]\n"
                 "  --whales N         whales in the school (default: the settings' 30)\n"
                 "  --seconds S        simulated time (default 600)\n"
                 "  --dt D             time step in seconds (default 0.05, the saver's cap)\n"
                 "  --jitter F         each frame's step varies at random by up to F of D\n"
                 "                     (uniform in D (1 - F) .. D (1 + F); default 0, F below 1)\n"
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
                 "from the school's centroid to the guide whale), the spread and whale speed\n"
                 "averaged over every frame and, after the first simulated minute, eye-distance\n"
                 "MIN..MAX (the eye's distance from the point the camera aims at) and rig-speed\n"
                 "MIN..MAX (the size of the camera rig's bob speed while its height is inside\n"
                 "-20..25, in units per second).\n");
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
    float jitter = 0.0f;
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
        } else if (!std::strcmp(a, "--jitter") && hasValue) {
            jitter = static_cast<float>(std::atof(argv[++i]));
        } else if (!std::strcmp(a, "--seed") && hasValue) {
            seed = static_cast<unsigned>(std::strtoul(argv[++i], nullptr, 0));
        } else if (!std::strcmp(a, "--camera-mode") && hasValue) {
            settings.intCamMod = std::atoi(argv[++i]);
            if (settings.intCamMod < kCameraFloating || settings.intCamMod > kCameraRotating) {
                std::fprintf(stderr, "flocksim: --camera-mode %s: not 1, 2 or 3\n", argv[i]);
                return 2;
            }
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
    if (!(jitter >= 0.0f && jitter < 1.0f)) {
        std::fprintf(stderr, "flocksim: --jitter must be at least 0 and below 1\n");
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
    std::printf("# flocksim: %d whales, dt %.3f s, jitter %.3f, seed %u, camera mode %d, collisions %s, "
                "%d obstacles\n",
                boids.GetCount(), dt, jitter, seed, settings.intCamMod, boids.m_bCollision ? "on" : "off",
                obstacles.GetObjectNum());
    std::printf("# whale speed clamps: %.3f .. %.3f units/s (up to %.3f for one frame)\n", base / 2.0f,
                2.0f * base, 2.0f * base + 0.75f * base * dt);

    // The frame steps' jitter has a generator of its own: the school's and the
    // guide's draws stay what they are without it.
    std::mt19937 jitterRandom(seed);
    std::uniform_real_distribution<float> jitterShare(-jitter, jitter);
    long nonFinite = 0;
    double minuteMicros = 0.0, totalMicros = 0.0;
    long minuteFrames = 0;
    float minSpeed = 1e30f, maxSpeed = 0.0f, runMin = 1e30f, runMax = 0.0f, maxSpread = 0.0f;
    double speedSum = 0.0;
    long speedCount = 0;
    std::vector<char> inside(static_cast<std::size_t>(boids.GetCount()), 0);
    long entries = 0, eyeInside = 0;
    double guideDistanceSum = 0.0, spreadSum = 0.0, runSpeedSum = 0.0;
    float eyeMin = 1e30f, eyeMax = 0.0f, rigMin = 1e30f, rigMax = 0.0f;
    long eyeFrames = 0, rigFrames = 0;

    // Frames run while the simulated time is half a nominal step or more
    // short of `seconds` (so a steady run has round(seconds / dt) frames); a
    // line is printed at each simulated minute, within a quarter step.
    double elapsed = 0.0;
    long f = 0;
    while (elapsed + 0.5 * dt < seconds) {
        ++f;
        const float step = jitter > 0.0f ? dt * (1.0f + jitterShare(jitterRandom)) : dt;
        const long minuteBefore = static_cast<long>((elapsed + 0.25 * dt) / 60.0);
        elapsed += step;
        const bool lastFrame = !(elapsed + 0.5 * dt < seconds);
        const bool minuteLine = lastFrame || static_cast<long>((elapsed + 0.25 * dt) / 60.0) != minuteBefore;
        const auto start = std::chrono::steady_clock::now();
        const D3DXVECTOR3 centre =
            UpdateSchool(&goal, &boids, &path, &rig, &obstacles, camera.GetPosition(), step);
        CameraModeInput in;
        in.mode = settings.intCamMod;
        in.rigPose = rig.GetWorldMatrix();
        in.flockCentre = centre;
        in.dt = step;
        modes.Apply(nullptr, &camera, in);
        KeepEyeOutOfObstacles(&camera, &obstacles);
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
        if (elapsed > kSettleSeconds) {
            const D3DXVECTOR3 toAim = modes.GetLastAim() - camera.GetPosition();
            const float eye = D3DXVec3Length(&toAim);
            if (eye < eyeMin) eyeMin = eye;
            if (eye > eyeMax) eyeMax = eye;
            ++eyeFrames;
            if (rig.m_fHeight >= CameraRig::kBobLow && rig.m_fHeight <= CameraRig::kBobHigh) {
                const float v = std::fabs(rig.m_fBobVelocity);
                if (v < rigMin) rigMin = v;
                if (v > rigMax) rigMax = v;
                ++rigFrames;
            }
        }
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
        if (minuteLine) {
            if (spread > maxSpread) maxSpread = spread;
            if (minSpeed < runMin) runMin = minSpeed;
            if (maxSpeed > runMax) runMax = maxSpeed;
            std::printf("t %7.1f s  centroid (%8.1f %7.1f %8.1f)  spread %7.1f  speed %.3f/%.3f/%.3f  nan %ld  "
                        "escapes %lu  update %.1f us\n",
                        elapsed, centre.x, centre.y, centre.z, spread, minSpeed,
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
    const long frames = f;
    char eyeText[48] = "none", rigText[48] = "none";  // none: a run of a minute or less
    if (eyeFrames) std::snprintf(eyeText, sizeof eyeText, "%.2f..%.2f", eyeMin, eyeMax);
    if (rigFrames) std::snprintf(rigText, sizeof rigText, "%.3f..%.3f", rigMin, rigMax);
    std::printf("# summary: %ld frames, largest spread %.1f, speed %.3f .. %.3f units/s, nan %ld, escapes %lu "
                "(whales %lu, guide %lu), mean update %.1f us, entries %ld, eye-inside %ld, guide-distance %.1f, mean spread %.1f, "
                "mean speed %.3f, eye-distance %s, rig-speed %s\n",
                frames, maxSpread, runMin, runMax, nonFinite,
                static_cast<unsigned long>(boids.GetEscapeCount() + goal.GetEscapeCount()),
                static_cast<unsigned long>(boids.GetEscapeCount()), static_cast<unsigned long>(goal.GetEscapeCount()),
                frames ? totalMicros / frames : 0.0, entries, eyeInside, frames ? guideDistanceSum / frames : 0.0,
                frames ? spreadSum / frames : 0.0,
                frames ? runSpeedSum / (frames * static_cast<double>(boids.GetCount())) : 0.0, eyeText, rigText);
    return nonFinite == 0 ? 0 : 1;
}
