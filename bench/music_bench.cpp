// The music's processor cost, measured offline (no sound device):
//   - RenderTune: synthesising one second of the built-in tune at 44.1 kHz
//     in the audio driver's block size, from its densest stretch (A', with
//     strings, horn and celesta); items per second = audio seconds per second.
//   - LoadTune: reading and downloading the built-in tune (start-up cost).
#include <benchmark/benchmark.h>

#include <vector>

#include "music/bgm.h"

namespace {

constexpr int kRate = 44100;
constexpr int kBlock = 512;

void RenderTune(benchmark::State& state) {
    MusicManager manager;
    SynthOptions o;
    o.driver = "offline";
    o.sampleRate = kRate;
    if (FAILED(manager.Initialize(nullptr, 128, kPathSharedStereoPlusReverb, o))) {
        state.SkipWithError("no synthesizer or soundfont");
        return;
    }
    std::unique_ptr<MusicSegment> segment;
    LoadBGMSegment(&manager, kBGMResourceName, &segment);
    PlayBGMSegment(&manager, segment.get());
    std::vector<float> l(kBlock), r(kBlock);
    SynthPerformance* perf = manager.GetPerformance();
    for (int i = 0; i < 70 * kRate / kBlock; ++i) perf->Render(l.data(), r.data(), kBlock);  // to bar 19
    for (auto _ : state) {
        for (int i = 0; i < kRate / kBlock; ++i) perf->Render(l.data(), r.data(), kBlock);
        benchmark::DoNotOptimize(l.data());
    }
    state.SetItemsProcessed(state.iterations());
    segment.reset();
}
BENCHMARK(RenderTune)->Unit(benchmark::kMillisecond);

void LoadTune(benchmark::State& state) {
    MusicManager manager;
    SynthOptions o;
    o.driver = "offline";
    if (FAILED(manager.Initialize(nullptr, 128, kPathSharedStereoPlusReverb, o))) {
        state.SkipWithError("no synthesizer or soundfont");
        return;
    }
    for (auto _ : state) {
        std::unique_ptr<MusicSegment> segment;
        LoadBGMSegment(&manager, kBGMResourceName, &segment);
        benchmark::DoNotOptimize(segment);
        segment.reset();
    }
}
BENCHMARK(LoadTune)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
