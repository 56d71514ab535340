// tunerender: runs a MIDI file through the saver's own music path (our
// reader, the fall-back to the built-in tune, the synthesizer at the saver's
// +5 dB, looping) offline, without a sound device, and writes a WAV file.
//
//   tunerender FILE OUT.wav [--seconds S]
//
// Prints "accepted, length N.NN s" (the tune's length from its tempo map) or
// "fell back: REASON" (the built-in tune is rendered instead); exits 0 in both
// cases, 1 when it cannot do its own work (no synthesizer or soundfont, an
// unwritable output), 2 for a wrong command line. Without --seconds one pass
// of the tune is rendered (at most an hour).
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "music/bgm.h"

namespace {

constexpr int kRate = 44100;
constexpr double kMaxSeconds = 3600.0;

void PutLe(std::FILE* f, std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) std::fputc(static_cast<int>((v >> (8 * i)) & 0xFF), f);
}

// A 16-bit stereo PCM header for `frames` frames.
void WriteWavHeader(std::FILE* f, std::uint32_t frames) {
    const std::uint32_t data = frames * 4;
    std::fwrite("RIFF", 1, 4, f);
    PutLe(f, 36 + data, 4);
    std::fwrite("WAVEfmt ", 1, 8, f);
    PutLe(f, 16, 4);
    PutLe(f, 1, 2);  // PCM
    PutLe(f, 2, 2);  // stereo
    PutLe(f, kRate, 4);
    PutLe(f, kRate * 4, 4);
    PutLe(f, 4, 2);
    PutLe(f, 16, 2);
    std::fwrite("data", 1, 4, f);
    PutLe(f, data, 4);
}

std::int16_t ToPcm(float s) {
    const float c = s > 1.0f ? 1.0f : (s < -1.0f ? -1.0f : s);
    return static_cast<std::int16_t>(std::lround(c * 32767.0f));
}

int Usage() {
    std::fprintf(stderr, "usage: tunerender FILE OUT.wav [--seconds S]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 && argc != 5) return Usage();
    double seconds = -1.0;
    if (argc == 5) {
        if (std::strcmp(argv[3], "--seconds") != 0) return Usage();
        char* end = nullptr;
        seconds = std::strtod(argv[4], &end);
        if (!end || *end || !(seconds > 0.0) || seconds > kMaxSeconds) return Usage();
    }
    const char* input = argv[1];
    const char* output = argv[2];

    std::FILE* out = std::fopen(output, "wb");
    if (!out) {
        std::fprintf(stderr, "tunerender: cannot write %s\n", output);
        return 1;
    }

    SynthOptions options;
    options.driver = "offline";
    options.sampleRate = kRate;
    MusicManager manager;
    if (FAILED(manager.Initialize(nullptr, 128, kPathSharedStereoPlusReverb, options))) {
        std::fprintf(stderr, "tunerender: no synthesizer (is a General-MIDI soundfont installed?)\n");
        std::fclose(out);
        std::remove(output);
        return 1;
    }
    std::unique_ptr<MusicSegment> segment;
    bool fellBack = false;
    const char* reason = nullptr;
    HRESULT hr = LoadBGMSegment(&manager, input, &segment, &fellBack, &reason);
    if (FAILED(hr) || FAILED(PlayBGMSegment(&manager, segment.get()))) {
        std::fprintf(stderr, "tunerender: the built-in tune cannot be played (hr=%x)\n", static_cast<unsigned>(hr));
        std::fclose(out);
        std::remove(output);
        return 1;
    }
    const double length = segment->GetSegment()->LengthSeconds();
    if (fellBack) {
        std::printf("fell back: %s\n", reason);
    } else {
        std::printf("accepted, length %.2f s\n", length);
    }
    std::fflush(stdout);

    if (seconds < 0.0) seconds = length < kMaxSeconds ? length : kMaxSeconds;
    const auto frames = static_cast<std::uint32_t>(std::llround(seconds * kRate));
    WriteWavHeader(out, frames);
    constexpr int kBlock = 1024;
    std::vector<float> left(kBlock), right(kBlock);
    std::vector<std::int16_t> pcm(2 * kBlock);
    SynthPerformance* performance = manager.GetPerformance();
    for (std::uint32_t done = 0; done < frames;) {
        const int n = static_cast<int>(frames - done < kBlock ? frames - done : kBlock);
        performance->Render(left.data(), right.data(), n);
        for (int i = 0; i < n; ++i) {
            pcm[2 * i] = ToPcm(left[i]);
            pcm[2 * i + 1] = ToPcm(right[i]);
        }
        if (std::fwrite(pcm.data(), sizeof(std::int16_t), 2 * static_cast<std::size_t>(n), out) !=
            2 * static_cast<std::size_t>(n)) {
            break;
        }
        done += static_cast<std::uint32_t>(n);
    }
    segment.reset();  // the segment before its manager
    const bool ok = !std::ferror(out);
    if (std::fclose(out) != 0 || !ok) {
        std::fprintf(stderr, "tunerender: cannot write %s\n", output);
        return 1;
    }
    return 0;
}
