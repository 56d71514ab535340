// The music path rendered offline (no sound device): the built-in tune is
// audible, never clips and loops without a gap or cut tails; +5 dB is
// +5 dB; user files play for their tempo map's length, start on the beat,
// release stuck notes, and fall back to the built-in tune when they are
// missing, empty, truncated, not MIDI or absurd.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "music/bgm.h"
#include "tests/support/midi_bytes.h"
#include "tests/support/temp_folder.h"

namespace {

using miditest::Append;
using miditest::Bytes;

constexpr int kRate = 22050;  // enough for levels and timing, and twice as fast as 44.1 kHz

// An offline performance with one segment slot.
struct OfflineMusic {
    bool Open() {
        SynthOptions o;
        o.driver = "offline";
        o.sampleRate = kRate;
        return manager.Initialize(nullptr, 128, kPathSharedStereoPlusReverb, o) == S_OK;
    }
    SynthPerformance* Perf() { return manager.GetPerformance(); }

    // Renders `seconds` and returns the left+right average, sample by sample.
    std::vector<float> Render(double seconds, int block = 512) {
        const auto frames = static_cast<std::size_t>(std::llround(seconds * kRate));
        const auto b = static_cast<std::size_t>(block);
        std::vector<float> mono(frames), l(b), r(b);
        for (std::size_t done = 0; done < frames;) {
            const std::size_t n = std::min(b, frames - done);
            EXPECT_EQ(Perf()->Render(l.data(), r.data(), static_cast<int>(n)), S_OK);
            for (std::size_t i = 0; i < n; ++i) mono[done + i] = 0.5f * (l[i] + r[i]);
            done += n;
        }
        return mono;
    }

    MusicManager manager;
    std::unique_ptr<MusicSegment> segment;  // declared after its manager: destroyed before it
};

class MusicRender : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m.Open()) << "no General-MIDI soundfont? (tools/install-deps.sh installs one)"; }

    std::string WriteTemp(const std::string& name, const Bytes& bytes) const {
        const std::string path = temp / name;
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                    static_cast<std::streamsize>(bytes.size()));
        return path;
    }

    OfflineMusic m;
    TempFolder temp;
};

double Rms(const std::vector<float>& s, double from, double to) {
    const auto a = static_cast<std::size_t>(from * kRate), b = std::min(s.size(), static_cast<std::size_t>(to * kRate));
    double sum = 0.0;
    for (std::size_t i = a; i < b; ++i) sum += double{s[i]} * s[i];
    return b > a ? std::sqrt(sum / static_cast<double>(b - a)) : 0.0;
}

double Peak(const std::vector<float>& s) {
    float p = 0.0f;
    for (float v : s) p = std::max(p, std::fabs(v));
    return p;
}

// First sample louder than `threshold`, in seconds; -1 when none is.
double Onset(const std::vector<float>& s, float threshold = 1e-3f) {
    for (std::size_t i = 0; i < s.size(); ++i)
        if (std::fabs(s[i]) > threshold) return static_cast<double>(i) / kRate;
    return -1.0;
}

TEST_F(MusicRender, BuiltInTuneIsAudibleNeverClipsAndLoopsWithoutAGap) {
    bool fellBack = true;
    ASSERT_EQ(LoadBGMSegment(&m.manager, kBGMResourceName, &m.segment, &fellBack), S_OK);
    EXPECT_FALSE(fellBack);
    ASSERT_EQ(PlayBGMSegment(&m.manager, m.segment.get()), S_OK);
    const double length = m.segment->GetSegment()->LengthSeconds();
    std::vector<float> s = m.Render(0.02);
    const int voicesAtFirstStart = m.Perf()->ActiveVoiceCount();
    const std::vector<float> rest = m.Render(length - 0.02);
    s.insert(s.end(), rest.begin(), rest.end());
    const std::vector<float> seam = m.Render(0.02);
    s.insert(s.end(), seam.begin(), seam.end());
    const int voicesAtSeam = m.Perf()->ActiveVoiceCount();
    const std::vector<float> after = m.Render(6.0 - 0.02);
    s.insert(s.end(), after.begin(), after.end());

    const double rms = Rms(s, 0.0, length);
    EXPECT_GT(20.0 * std::log10(rms), -40.0) << "RMS " << rms;  // silence would be far below -90 dB
    EXPECT_LT(Peak(s), 0.8f) << "headroom left at +5 dB";

    // Across the seam every 50 ms window keeps sounding: no gap, no cut.
    std::vector<double> windows;
    for (double t = length - 3.0; t < length + 3.0; t += 0.05) windows.push_back(Rms(s, t, t + 0.05));
    std::vector<double> sorted = windows;
    std::sort(sorted.begin(), sorted.end());
    const double median = sorted[sorted.size() / 2];
    for (std::size_t i = 0; i < windows.size(); ++i)
        EXPECT_GT(windows[i], 0.25 * median) << "dip at " << (length - 3.0 + 0.05 * static_cast<double>(i)) << " s";
    // 20 ms into the second pass the notes of the first still sound in their
    // release, on top of the notes that start the tune again. A synthesizer
    // reset at the seam would cut them: as many voices as at the first start.
    EXPECT_GT(voicesAtSeam, voicesAtFirstStart + 4) << voicesAtFirstStart << " voices at the first start";
    EXPECT_EQ(m.segment->IsPlaying(), 1);
}

TEST_F(MusicRender, MasterVolumeOf500RaisesTheLevelBy5dB) {
    ASSERT_EQ(LoadBGMSegment(&m.manager, kBGMResourceName, &m.segment), S_OK);
    ASSERT_EQ(m.segment->Play(0), S_OK);
    const double quiet = Rms(m.Render(8.0), 0.0, 8.0);  // master volume 0 dB

    OfflineMusic louder;
    ASSERT_TRUE(louder.Open());
    ASSERT_EQ(LoadBGMSegment(&louder.manager, kBGMResourceName, &louder.segment), S_OK);
    ASSERT_EQ(louder.Perf()->SetMasterVolume(kBGMMasterVolume), S_OK);
    ASSERT_EQ(louder.segment->Play(0), S_OK);
    const double loud = Rms(louder.Render(8.0), 0.0, 8.0);

    ASSERT_GT(quiet, 0.0);
    EXPECT_NEAR(20.0 * std::log10(loud / quiet), 5.0, 0.3);
    EXPECT_EQ(m.Perf()->SetMasterVolume(kVolumeMax + 1), E_INVALIDARG);
}

TEST_F(MusicRender, UserFilePlaysForTheLengthOfItsTempoMap) {
    bool fellBack = true;
    const std::string path = WriteTemp("format1.mid", miditest::Format1File());
    ASSERT_EQ(LoadBGMSegment(&m.manager, path.c_str(), &m.segment, &fellBack), S_OK);
    EXPECT_FALSE(fellBack);
    EXPECT_DOUBLE_EQ(m.segment->GetSegment()->LengthSeconds(), 3.5);
    m.segment->SetRepeats(2);  // three passes
    ASSERT_EQ(m.segment->Play(0), S_OK);
    std::size_t frames = 0;
    while (m.segment->IsPlaying() == 1 && frames < 60u * kRate) {
        m.Render(64.0 / kRate, 64);
        frames += 64;
    }
    EXPECT_NEAR(static_cast<double>(frames) / kRate, 3 * 3.5, 64.0 / kRate);
}

TEST_F(MusicRender, PlayOnBeatWaitsForTheNextBeatAndPlayNowDoesNot) {
    const std::string path = WriteTemp("note.mid", miditest::SingleNoteFile(96));
    ASSERT_EQ(m.manager.CreateSegmentFromFile(&m.segment, path.c_str(), TRUE, TRUE), S_OK);
    EXPECT_EQ(Onset(m.Render(0.3)), -1.0);  // nothing plays yet
    ASSERT_EQ(m.segment->Play(kPlayOnBeat), S_OK);
    EXPECT_EQ(m.segment->IsPlaying(), 1);  // waiting for its beat counts as playing
    // At 120 per minute the next beat after 0.3 s is at 0.5 s.
    const double onset = 0.3 + Onset(m.Render(1.0));
    EXPECT_NEAR(onset, 0.5, 0.01);

    ASSERT_EQ(m.segment->Stop(0), S_OK);
    EXPECT_EQ(m.segment->IsPlaying(), 0);
    m.Render(3.0);  // let it fade
    ASSERT_EQ(m.segment->Play(0), S_OK);
    EXPECT_NEAR(Onset(m.Render(0.5)), 0.0, 0.01);
}

// A note that is never switched off is released where its pass ends.
TEST_F(MusicRender, NotesStillHeldAtTheEndOfAPassAreReleased) {
    Bytes t = {0x00, 0xC0, 19, 0x00, 0x90, 60, 100};  // church organ: sustains for ever
    Append(t, miditest::Vlq(192));                   // 1 s at 96 per quarter, 120 per minute
    Append(t, {0xFF, 0x2F, 0x00});                   // End of Track after that delta
    Bytes f = miditest::Header(0, 1, 96);
    Append(f, miditest::Chunk("MTrk", t));
    ASSERT_EQ(m.manager.CreateSegmentFromFile(&m.segment, WriteTemp("stuck.mid", f).c_str(), TRUE, TRUE), S_OK);
    ASSERT_EQ(m.segment->Play(0), S_OK);
    const std::vector<float> s = m.Render(4.0);
    EXPECT_EQ(m.segment->IsPlaying(), 0);
    EXPECT_GT(Rms(s, 0.5, 1.0), 0.005);
    EXPECT_LT(Rms(s, 3.5, 4.0), 0.05 * Rms(s, 0.5, 1.0));
}

TEST_F(MusicRender, UnusableUserFilesFallBackToTheBuiltInTune) {
    Bytes absurd = miditest::Format1File();
    absurd[18] = absurd[19] = absurd[20] = absurd[21] = 0xFF;
    const Bytes good = miditest::Format1File();
    const struct {
        std::string path;
        const char* reason;
    } cases[] = {
        {temp / "missing.mid", "the file cannot be opened"},
        {WriteTemp("empty.mid", {}), "the file is empty"},
        {WriteTemp("text.mid", Bytes{'h', 'e', 'l', 'l', 'o', ' ', 'w', 'h', 'a', 'l', 'e', 's'}), "not a MIDI file"},
        {WriteTemp("truncated.mid", Bytes(good.begin(), good.begin() + 40)), "a chunk runs past the end of the file"},
        {WriteTemp("absurd.mid", absurd), "a chunk runs past the end of the file"},
        {temp.Path(), "not a regular file"},  // a folder (a pipe would block)
    };
    for (const auto& c : cases) {
        bool fellBack = false;
        const char* reason = nullptr;
        std::unique_ptr<MusicSegment> seg;
        ASSERT_EQ(LoadBGMSegment(&m.manager, c.path.c_str(), &seg, &fellBack, &reason), S_OK) << c.path;
        EXPECT_TRUE(fellBack) << c.path;
        EXPECT_STREQ(reason, c.reason) << c.path;
        ASSERT_NE(seg, nullptr);
        EXPECT_DOUBLE_EQ(seg->GetSegment()->LengthSeconds(), 150.0) << "the built-in tune";
        EXPECT_EQ(seg->IsDownloaded(), 1);
    }
    // The built-in tune's name goes straight to the resource.
    bool fellBack = true;
    ASSERT_EQ(LoadBGMSegment(&m.manager, "tune_main.mid", &m.segment, &fellBack), S_OK);
    EXPECT_FALSE(fellBack);
}

TEST(MusicSegmentCalls, RefuseWhatTheSaverNeverDoes) {
    MusicManager manager;
    std::unique_ptr<MusicSegment> seg;
    // Before Initialize there is no performance to load into.
    EXPECT_EQ(manager.CreateSegmentFromResource(&seg, kBGMResourceName, kBGMResourceType, TRUE, TRUE),
              CO_E_NOTINITIALIZED);
    EXPECT_EQ(seg, nullptr);
    SynthOptions o;
    o.driver = "offline";
    ASSERT_EQ(manager.Initialize(nullptr, 128, kPathSharedStereoPlusReverb, o), S_OK);
    EXPECT_EQ(manager.CreateSegmentFromResource(&seg, "no_such.mid", kBGMResourceType, TRUE, TRUE), E_FAIL);
    // Without download a segment does not play.
    ASSERT_EQ(manager.CreateSegmentFromResource(&seg, kBGMResourceName, kBGMResourceType, FALSE, TRUE), S_OK);
    EXPECT_EQ(seg->Play(kPlayOnBeat), E_FAIL);
    EXPECT_EQ(seg->Download(), S_OK);
    EXPECT_EQ(seg->Play(kPlayOnBeat), S_OK);
    EXPECT_EQ(SynthPerformance::LiveSynthCount(), 1);
}

}  // namespace
