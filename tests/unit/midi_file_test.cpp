// The MIDI file reader: the kinds of file it must play (formats 0, 1 and 2,
// tempo maps, running status, velocity-0 note-offs, SysEx, 4-byte numbers,
// unknown chunks, a missing End of Track, SMPTE time) and the files it must
// refuse (empty, not MIDI, truncated anywhere, absurd lengths, malformed
// events, zero length, no notes).
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>

#include "platform/audio/midi_file.h"
#include "platform/audio/synth.h"
#include "tests/support/midi_bytes.h"
#include "tests/support/temp_folder.h"

namespace {

using miditest::Append;
using miditest::Bytes;

const char* Read(const Bytes& b, MidiSong* song) {
    return ReadMidiFile(b.data(), b.size(), song);
}

// The channel events of a song as (seconds, status, data1, data2) lines, for readable failures.
std::string ChannelEvents(const MidiSong& s) {
    std::string out;
    char line[64];
    for (const MidiEvent& e : s.events) {
        if (e.kind != MidiEventKind::Channel) continue;
        std::snprintf(line, sizeof line, "%.4f %02x %d %d\n", e.seconds, e.status, e.data1, e.data2);
        out += line;
    }
    return out;
}

TEST(MidiFile, Format0WithRunningStatusSysExAndLongNumbers) {
    MidiSong s;
    ASSERT_EQ(Read(miditest::Format0File(), &s), nullptr);
    EXPECT_EQ(s.format, 0);
    EXPECT_EQ(s.trackCount, 1);
    EXPECT_DOUBLE_EQ(s.lengthSeconds, 2.0);
    EXPECT_EQ(s.noteCount, 3);
    // Velocity-0 Note Ons become Note Offs; running status carries across
    // note-on and note-off; the 4-byte delta is 96 ticks (0.5 s).
    EXPECT_EQ(ChannelEvents(s),
              "0.0000 c0 0 0\n0.0000 b0 91 64\n0.0000 90 60 80\n0.5000 80 60 0\n0.5000 90 64 80\n"
              "1.0000 80 64 0\n1.0000 90 67 70\n2.0000 80 67 0\n");
    // The SysEx payload without F0 and the closing F7.
    ASSERT_EQ(s.events.front().kind, MidiEventKind::SysEx);
    ASSERT_EQ(s.events.front().sysexLength, 4u);
    EXPECT_EQ(Bytes(s.sysex.begin() + s.events.front().sysexOffset, s.sysex.begin() + s.events.front().sysexOffset + 4),
              (Bytes{0x7E, 0x7F, 0x09, 0x01}));
}

// A meta event or SysEx between two notes of one running status does not
// end it.
TEST(MidiFile, RunningStatusCarriesAcrossMetaAndSysEx) {
    Bytes t = {0x00, 0x90, 60, 100, 0x60, 0xFF, 0x01, 0x01, 'x', 0x00, 60, 0,
               0x00, 0xF0, 0x02, 0x7E, 0xF7, 0x00, 64, 90, 0x60, 64, 0};
    Append(t, miditest::kEndOfTrack);
    Bytes f = miditest::Header(0, 1, 96);
    Append(f, miditest::Chunk("MTrk", t));
    MidiSong s;
    ASSERT_EQ(Read(f, &s), nullptr);
    EXPECT_EQ(ChannelEvents(s), "0.0000 90 60 100\n0.5000 80 60 0\n0.5000 90 64 90\n1.0000 80 64 0\n");
}

TEST(MidiFile, Format1TempoMapAppliesToEveryTrack) {
    MidiSong s;
    ASSERT_EQ(Read(miditest::Format1File(), &s), nullptr);
    EXPECT_EQ(s.trackCount, 3);
    EXPECT_EQ(s.endOfTrackCount, 3);
    EXPECT_DOUBLE_EQ(s.lengthSeconds, 3.5);
    EXPECT_EQ(ChannelEvents(s),
              "0.0000 90 62 70\n0.0000 91 45 60\n2.0000 80 62 0\n2.0000 90 65 70\n3.2500 80 65 0\n3.5000 81 45 0\n");
    // Tempo events stay in the list (the performance's beat grid follows them).
    int tempos = 0;
    for (const MidiEvent& e : s.events) tempos += e.kind == MidiEventKind::Tempo;
    EXPECT_EQ(tempos, 3);
}

TEST(MidiFile, Format2PatternsPlayOneAfterAnother) {
    MidiSong s;
    ASSERT_EQ(Read(miditest::Format2File(), &s), nullptr);
    EXPECT_DOUBLE_EQ(s.lengthSeconds, 1.5);
    // The second pattern has its own tempo (60 per minute) and starts when the first ends.
    EXPECT_EQ(ChannelEvents(s), "0.0000 90 60 80\n1.0000 80 60 0\n1.0000 90 72 80\n1.5000 80 72 0\n");
}

TEST(MidiFile, ToleratesUnknownChunksMissingEndOfTrackPaddingAndSmpteTime) {
    MidiSong reference;
    ASSERT_EQ(Read(miditest::SingleNoteFile(192), &reference), nullptr);

    // An unknown chunk before and after the track, and 5 bytes of padding.
    Bytes withJunk = miditest::Header(0, 1, 96);
    Append(withJunk, miditest::Chunk("XFIH", {1, 2, 3, 4, 5, 6}));
    const Bytes original = miditest::SingleNoteFile(192);
    Append(withJunk, Bytes(original.begin() + 14, original.end()));
    Append(withJunk, miditest::Chunk("junk", {}));
    Append(withJunk, {0, 0, 0, 0, 0});
    MidiSong s;
    ASSERT_EQ(Read(withJunk, &s), nullptr);
    EXPECT_EQ(ChannelEvents(s), ChannelEvents(reference));
    EXPECT_DOUBLE_EQ(s.lengthSeconds, 1.0);

    // No End of Track: the track ends with its last event.
    Bytes t = {0x00, 0x90, 60, 100, 0x83, 0x00, 0x80, 60, 0};  // off after 384 ticks
    Bytes noEnd = miditest::Header(0, 1, 96);
    Append(noEnd, miditest::Chunk("MTrk", t));
    ASSERT_EQ(Read(noEnd, &s), nullptr);
    EXPECT_DOUBLE_EQ(s.lengthSeconds, 2.0);
    EXPECT_EQ(s.endOfTrackCount, 0);

    // 25 frames per second, 40 ticks per frame: 1000 ticks a second; tempo is ignored.
    Bytes smpte = miditest::Header(0, 1, 0xE728);
    Bytes st = miditest::Tempo(0, 250000);
    Append(st, {0x00, 0x90, 60, 100, 0x87, 0x68, 0x80, 60, 0});  // 1000 ticks
    Append(st, miditest::kEndOfTrack);
    Append(smpte, miditest::Chunk("MTrk", st));
    ASSERT_EQ(Read(smpte, &s), nullptr);
    EXPECT_DOUBLE_EQ(s.lengthSeconds, 1.0);
}

TEST(MidiFile, RefusesWhatCannotBePlayed) {
    MidiSong s;
    EXPECT_STREQ(ReadMidiFile(nullptr, 0, &s), "the file is empty");
    EXPECT_STREQ(Read(Bytes{}, &s), "the file is empty");
    EXPECT_STREQ(Read(Bytes{'R', 'I', 'F', 'F', 0, 0, 0, 4, 'W', 'A', 'V', 'E'}, &s), "not a MIDI file");

    const Bytes good = miditest::Format1File();
    // Absurd lengths: the header's, and a track chunk's, far past the end.
    Bytes bad = good;
    bad[7] = 0xFF;
    bad[6] = 0xFF;
    EXPECT_STREQ(Read(bad, &s), "the header runs past the end of the file");
    bad = good;
    bad[18] = bad[19] = bad[20] = bad[21] = 0xFF;
    EXPECT_STREQ(Read(bad, &s), "a chunk runs past the end of the file");

    // Every truncation of a valid file is refused, never read past its end.
    for (std::size_t n = 1; n < good.size(); ++n) {
        EXPECT_NE(ReadMidiFile(good.data(), n, &s), nullptr) << "prefix of " << n << " bytes";
    }

    auto track = [](const Bytes& body, int division = 96) {
        Bytes f = miditest::Header(0, 1, division);
        Append(f, miditest::Chunk("MTrk", body));
        return f;
    };
    EXPECT_STREQ(Read(track({0x80, 0x80, 0x80, 0x80, 0x00, 0x90, 60, 100}), &s),
                 "a variable-length number is longer than 4 bytes");
    EXPECT_STREQ(Read(track({0x00, 60, 100}), &s), "a data byte comes before any status byte");
    EXPECT_STREQ(Read(track({0x00, 0x90, 60, 0xC0}), &s), "a data byte has its top bit set");
    EXPECT_STREQ(Read(track({0x00, 0xF8}), &s), "a system status byte that has no place in a file");
    EXPECT_STREQ(Read(track({0x00, 0xF0, 0x8F, 0xFF, 0xFF, 0x7F, 0x01}), &s), "an event runs past the end of its track");
    EXPECT_STREQ(Read(track({0x00, 0xFF, 0x51, 0x03, 0, 0, 0}), &s), "a tempo of zero");
    EXPECT_STREQ(Read(track({0x00, 0x90, 60, 100, 0x00, 0x80, 60, 0, 0x00, 0xFF, 0x2F, 0x00}), &s),
                 "the tune has zero length");
    EXPECT_STREQ(Read(track({0x00, 0xFF, 0x2F, 0x00}), &s), "the tune has zero length");
    EXPECT_STREQ(Read(track({0x08, 0x90, 60, 100, 0x08, 0x80, 60, 0}), &s), "the tune is too short to loop");
    EXPECT_STREQ(Read(track({0x00, 0xB0, 7, 100, 0x83, 0x00, 0xFF, 0x2F, 0x00}), &s), "the tune has no notes");
    // 0x0FFFFFFF ticks at 96 per quarter and 120 per minute: 15.5 days.
    EXPECT_STREQ(Read(track({0x00, 0x90, 60, 100, 0xFF, 0xFF, 0xFF, 0x7F, 0x80, 60, 0}), &s),
                 "the tune is longer than six hours");
    EXPECT_STREQ(Read(track(miditest::kEndOfTrack, 0), &s), "the division is zero");

    Bytes fewer = miditest::Format1File();
    fewer[11] = 4;  // four tracks declared, three present
    EXPECT_STREQ(Read(fewer, &s), "fewer track chunks than the header declares");
    Bytes format3 = miditest::Format1File();
    format3[9] = 3;
    EXPECT_STREQ(Read(format3, &s), "unknown MIDI file format");
}

// Sizes claimed by a file are never allocated: in a child process whose
// address space is capped 64 MiB above what it uses, files that claim
// gigabyte chunks, SysEx and meta events, and 65535 tracks are all refused.
TEST(MidiFile, ClaimedSizesAreNeverAllocated) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's own reservations make an address-space cap meaningless";
#else
    auto track = [](const Bytes& body, int tracks = 1) {
        Bytes f = miditest::Header(1, tracks, 96);
        Append(f, miditest::Chunk("MTrk", body));
        return f;
    };
    Bytes hugeChunk = miditest::SingleNoteFile(96);
    hugeChunk[18] = 0x7F, hugeChunk[19] = hugeChunk[20] = hugeChunk[21] = 0xFF;
    const Bytes files[] = {
        hugeChunk,
        track({0x00, 0xF0, 0xFF, 0xFF, 0xFF, 0x7F, 0x01, 0x02}),        // SysEx of 256 MiB - 1
        track({0x00, 0xFF, 0x01, 0xFF, 0xFF, 0xFF, 0x7F, 'a'}),         // text of 256 MiB - 1
        track({0x00, 0x90, 60, 100, 0xFF, 0xFF, 0xFF, 0x7F}, 65535),     // 65535 tracks declared
    };
    const TempFolder temp;
    const std::string path = temp / "huge_chunk.mid";
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(hugeChunk.data()),
                                                static_cast<std::streamsize>(hugeChunk.size()));
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        long pages = 0;
        if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
            if (std::fscanf(f, "%ld", &pages) != 1) pages = 0;
            std::fclose(f);
        }
        const rlim_t cap = static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + (64u << 20);
        const rlimit limit{cap, cap};
        if (pages == 0 || setrlimit(RLIMIT_AS, &limit) != 0) _exit(3);
        int refused = 0;
        for (const Bytes& b : files) {
            MidiSong song;
            refused += ReadMidiFile(b.data(), b.size(), &song) != nullptr;
        }
        SynthLoader loader;
        std::unique_ptr<SynthSegment> segment;
        refused += FAILED(loader.LoadSegmentFromFile(path.c_str(), &segment));
        _exit(refused == 5 ? 0 : 4);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "the reader died under the memory cap (signal " << WTERMSIG(status) << ")";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "3: no cap could be set; 4: a file was accepted";
#endif
}

}  // namespace
