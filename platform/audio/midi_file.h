// Our own reader of Standard MIDI Files (formats 0, 1 and 2): checks the
// header and every chunk against the bytes that remain, and turns the tracks
// into one time-ordered list of events in seconds, ready to be sequenced.
// Pure C++: no synthesizer, no I/O.
//
// What is refused (so that the caller can fall back to another tune): an
// empty file, a missing "MThd", a chunk or event that runs past the end of
// its chunk or file, fewer track chunks than the header declares, a malformed
// event (data byte with bit 7 set, a status byte that has no place in a file,
// a variable-length number longer than 4 bytes, an event before any status),
// a division of 0, a tune of zero length, shorter than a quarter second or
// longer than six hours, and a tune without a single note.
// What is accepted: unknown chunks (skipped), a missing End of Track at the
// end of a track chunk (the track ends with its last event), trailing bytes
// too few to hold a chunk header, meta events of any type (only tempo and End
// of Track mean anything here), SMPTE divisions.
//
// Memory: nothing is allocated from a size read out of the file. The event
// list grows only with events actually decoded, so it is bounded by the
// number of bytes handed in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Kinds of sequenced event. Channel messages carry their status byte.
enum class MidiEventKind : std::uint8_t {
    Channel,  // status 0x80..0xEF in `status`, data in data1/data2
    SysEx,    // payload bytes (without the leading F0 and trailing F7) in the pool
    Tempo,    // microseconds per quarter note in `tempo` (not sent to a synthesizer)
};

struct MidiEvent {
    double seconds = 0.0;  // from the start of the tune
    MidiEventKind kind = MidiEventKind::Channel;
    std::uint8_t status = 0;
    std::uint8_t data1 = 0;
    std::uint8_t data2 = 0;
    std::uint32_t tempo = 0;         // Tempo: microseconds per quarter note
    std::uint32_t sysexOffset = 0;   // SysEx: first byte in MidiSong::sysex
    std::uint32_t sysexLength = 0;   // SysEx: payload length
};

struct MidiSong {
    int format = 0;        // 0, 1 or 2 as in the header
    int trackCount = 0;    // track chunks read
    int division = 0;      // the header's raw division word
    double lengthSeconds = 0.0;  // where the last track ends (format 2: all patterns in turn)
    int noteCount = 0;     // Note On events with a velocity above 0
    int endOfTrackCount = 0;  // tracks that close with an End of Track event
    std::vector<std::uint64_t> trackEndTicks;  // per track read: the tick where it ends
    std::vector<MidiEvent> events;      // ordered by time; equal times keep file order
    std::vector<std::uint8_t> sysex;    // SysEx payloads, see MidiEvent
};

// Files larger than this are refused before they are read (bytes). Our tune
// is a few kilobytes; the largest real-world MIDI files are well below this.
constexpr std::size_t kMaxMidiFileBytes = 8u << 20;

// Reads `size` bytes at `data` into `song`. Returns null on success, or a
// short static text saying why the file was refused ("not a MIDI file",
// "track chunk 2 runs past the end of the file", ...). `song` is cleared first.
const char* ReadMidiFile(const std::uint8_t* data, std::size_t size, MidiSong* song);
