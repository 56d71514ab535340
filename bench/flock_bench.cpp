// Cost of one step of the whale school (Boids::Update) for 1 to 1000 whales,
// headless: the default settings, the saver's obstacle field (collision
// hulls, check range 200) and the guide whale leading, as in the saver's
// frame. The guide's own steps are recorded beforehand. The *NoCollision
// variant switches the feeler off to show what the neighbour pass costs alone.
#include <benchmark/benchmark.h>

#include <vector>

#include "flock/boids.h"
#include "flock/goal.h"
#include "scene/background_obj.h"
#include "settings/settings.h"

namespace {

// The obstacle field, loaded once without a device; it lives until exit.
BackGroundObj* Obstacles() {
    static BackGroundObj field;
    static const bool loaded = [] {
        field.InitDeviceObjects(nullptr, "OBSTACLE01.X", "OBSTACLE01.BPS", nullptr);
        field.m_fCheckRange = 200.0f;
        return true;
    }();
    (void)loaded;
    return &field;
}

void RunSchool(benchmark::State& state, int collision) {
    Settings settings;
    settings.intWhlNumCur = static_cast<int>(state.range(0));
    settings.intChkClsn = collision;
    Boids boids;
    boids.ApplySettings(&settings);
    if (FAILED(boids.CreateWhales(7, nullptr))) {
        state.SkipWithError("no school");
        return;
    }
    Goal goal;
    goal.ApplySettings(&settings);
    BackGroundObj* obstacles = Obstacles();
    if (obstacles->GetObjectNum() == 0) {
        state.SkipWithError("no obstacle field");
        return;
    }
    const float dt = 0.05f;
    const D3DXVECTOR3 eye(0.0f, 0.0f, -240.0f);
    // The guide's path is recorded first (20 minutes of it), so the timed
    // loop only hands its positions to the school.
    std::vector<D3DXVECTOR3> guide(24000);
    for (D3DXVECTOR3& p : guide) {
        goal.UpdateTarget(eye, dt);
        goal.Update(dt, obstacles);
        goal.GetInstance().GetPosition(&p);
    }
    std::size_t frame = 0;
    // A minute of swimming first, so the school has formed.
    for (; frame < 1200; ++frame) {
        boids.SetGoalPoint(guide[frame]);
        boids.Update(dt, obstacles);
    }
    for (auto _ : state) {
        boids.SetGoalPoint(guide[frame]);
        frame = frame + 1 < guide.size() ? frame + 1 : 1200;
        boids.Update(dt, obstacles);
        benchmark::DoNotOptimize(boids.GetBoids());
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_BoidsUpdate(benchmark::State& state) { RunSchool(state, 1); }
void BM_BoidsUpdateNoCollision(benchmark::State& state) { RunSchool(state, 0); }

}  // namespace

BENCHMARK(BM_BoidsUpdate)->Arg(1)->Arg(10)->Arg(30)->Arg(50)->Arg(200)->Arg(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BoidsUpdateNoCollision)->Arg(1)->Arg(10)->Arg(30)->Arg(50)->Arg(200)->Arg(1000)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
