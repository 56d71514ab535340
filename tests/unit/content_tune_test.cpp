// The built-in tune "tune_main.mid": the committed file is what the score
// gives, and it keeps the rules of a seamless, calm loop (equal End of
// Track everywhere, paired notes, sends set at the start, nothing left
// bent or held at the end, small voice-leading steps across the seam).
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <map>
#include <vector>

#include "platform/audio/midi_file.h"
#include "platform/os/resource.h"
#include "tools/content/tune.h"

namespace {

struct Tune : ::testing::Test {
    void SetUp() override {
        res = FindResourceData("tune_main.mid", "Midi");
        ASSERT_TRUE(res) << "tune_main.mid is not embedded";
        ASSERT_EQ(ReadMidiFile(res.data, res.size, &song), nullptr);
    }
    ResourceData res;
    MidiSong song;
};

TEST_F(Tune, MatchesTheGeneratorByteForByte) {
    const std::vector<std::uint8_t> bytes = content::BuildTune();
    EXPECT_TRUE(res.size == bytes.size() && std::equal(bytes.begin(), bytes.end(), res.data))
        << "tune_main.mid differs from the score: run `gen_tune resources/tune_main.mid`";
}

TEST_F(Tune, FrameAndLength) {
    EXPECT_EQ(song.format, 1);
    EXPECT_EQ(song.division, 480);
    EXPECT_EQ(song.trackCount, 8);
    // Every track closes with its own End of Track, all at the same tick.
    EXPECT_EQ(song.endOfTrackCount, song.trackCount);
    for (std::uint64_t end : song.trackEndTicks) EXPECT_EQ(end, 76800u);
    EXPECT_NEAR(song.lengthSeconds, 150.0, 1e-9);  // 40 bars at 64 per minute
    int tempos = 0;
    for (const MidiEvent& e : song.events) {
        if (e.kind != MidiEventKind::Tempo) continue;
        ++tempos;
        EXPECT_EQ(e.seconds, 0.0);
        EXPECT_EQ(e.tempo, 937500u);
    }
    EXPECT_EQ(tempos, 1);
}

TEST_F(Tune, NotesPairUpStayInRangeAndTheWhaleSingsAlone) {
    std::array<std::array<int, 128>, 16> held{};
    std::array<int, 16> sounding{};
    for (const MidiEvent& e : song.events) {
        if (e.kind != MidiEventKind::Channel) continue;
        const int ch = e.status & 0x0F;
        const int kind = e.status & 0xF0;
        EXPECT_NE(ch, 9) << "the drum channel stays empty";
        if (kind == 0x90) {
            EXPECT_EQ(held[ch][e.data1], 0) << "note " << int(e.data1) << " struck twice on channel " << ch;
            held[ch][e.data1] = 1;
            ++sounding[ch];
            if (ch == 4) {
                EXPECT_TRUE(e.data1 >= 62 && e.data1 <= 77) << "melody range D4-F5";
            }
            if (ch == 6) {
                EXPECT_TRUE(e.data1 >= 43 && e.data1 <= 55) << "whale moans in 98-196 Hz";
                EXPECT_EQ(sounding[ch], 1) << "a bend moves every note: the whale voice is monophonic";
            }
            // The melody and the whale rest in the last two bars: only reverb crosses the seam.
            if (ch >= 4) {
                EXPECT_LT(e.seconds, 142.5);
            }
        } else if (kind == 0x80) {
            EXPECT_EQ(held[ch][e.data1], 1) << "note-off without a note at " << e.seconds << " s";
            held[ch][e.data1] = 0;
            --sounding[ch];
            EXPECT_LE(e.seconds, song.lengthSeconds);
        } else if (kind == 0xB0) {
            // These would cut or release the tails still sounding at the seam.
            EXPECT_TRUE(e.data1 != 120 && e.data1 != 121 && e.data1 != 123) << "CC" << int(e.data1);
        }
    }
    for (int ch = 0; ch < 16; ++ch) EXPECT_EQ(sounding[ch], 0) << "notes left on at the end on channel " << ch;
}

TEST_F(Tune, SendsAreSetAtTheStartAndNothingIsLeftBentOrHeldAtTheEnd) {
    std::map<int, std::map<int, int>> firstCc;  // channel -> controller -> value at time 0
    std::map<int, int> lastBend, lastPedal;
    std::map<int, double> firstNote;
    for (const MidiEvent& e : song.events) {
        if (e.kind != MidiEventKind::Channel) continue;
        const int ch = e.status & 0x0F;
        const int kind = e.status & 0xF0;
        if (kind == 0xB0 && e.seconds == 0.0 && !firstNote.count(ch)) firstCc[ch][e.data1] = e.data2;
        if (kind == 0x90 && !firstNote.count(ch)) firstNote[ch] = e.seconds;
        if (kind == 0xE0) lastBend[ch] = e.data1 | (e.data2 << 7);
        if (kind == 0xB0 && e.data1 == 64) lastPedal[ch] = e.data2;
    }
    ASSERT_EQ(firstNote.size(), 7u);
    for (const auto& [ch, when] : firstNote) {
        EXPECT_GT(firstCc[ch][91], 0) << "reverb send of channel " << ch << " (FluidSynth's default is 0)";
        EXPECT_TRUE(firstCc[ch].count(93)) << "chorus send of channel " << ch;
        EXPECT_TRUE(firstCc[ch].count(7)) << "volume of channel " << ch;
        EXPECT_EQ(lastBend[ch], 8192) << "bend centred at the end on channel " << ch;
        EXPECT_EQ(lastPedal[ch], 0) << "sustain pedal up at the end on channel " << ch;
    }
    // The whale channel's bend range is set by RPN 0, then the RPN is nulled.
    EXPECT_EQ(firstCc[6][6], content::kTuneBendRange);
    EXPECT_EQ(firstCc[6][101], 127);
    EXPECT_EQ(firstCc[6][100], 127);
}

// Pad and bass notes sounding into the seam move by 3 semitones or less into
// the notes that start the tune.
TEST_F(Tune, VoicesStepAcrossTheSeam) {
    for (int ch : {0, 3}) {
        std::vector<int> first, last;
        for (const MidiEvent& e : song.events) {
            if (e.kind != MidiEventKind::Channel || (e.status & 0x0F) != ch) continue;
            if ((e.status & 0xF0) == 0x90) {
                if (e.seconds == 0.0) first.push_back(e.data1);
            } else if ((e.status & 0xF0) == 0x80 && e.seconds == song.lengthSeconds) {
                last.push_back(e.data1);
            }
        }
        ASSERT_FALSE(first.empty());
        ASSERT_EQ(first.size(), last.size()) << "channel " << ch;
        std::sort(first.begin(), first.end());
        std::sort(last.begin(), last.end());
        for (std::size_t i = 0; i < first.size(); ++i)
            EXPECT_LE(std::abs(first[i] - last[i]), 3) << "channel " << ch << " voice " << i;
    }
}

}  // namespace
