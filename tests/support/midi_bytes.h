// Builds Standard MIDI Files byte by byte for the music tests: headers,
// chunks, variable-length numbers, and a few complete files of the kinds
// real files come in (format 0 with running status and SysEx, format 1 with
// a tempo map, format 2 patterns).
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace miditest {

using Bytes = std::vector<std::uint8_t>;

inline void Append(Bytes& out, std::initializer_list<int> bytes) {
    for (int b : bytes) out.push_back(static_cast<std::uint8_t>(b));
}
inline void Append(Bytes& out, const Bytes& more) {
    out.insert(out.end(), more.begin(), more.end());
}

// Variable-length number, shortest form (up to 4 bytes).
inline Bytes Vlq(std::uint32_t v) {
    Bytes tmp;
    do {
        tmp.insert(tmp.begin(), static_cast<std::uint8_t>((v & 0x7F) | (tmp.empty() ? 0 : 0x80)));
        v >>= 7;
    } while (v);
    return tmp;
}

inline Bytes Be32(std::uint32_t v) {
    return {static_cast<std::uint8_t>(v >> 24), static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 8),
            static_cast<std::uint8_t>(v)};
}

inline Bytes Chunk(const char* id, const Bytes& body) {
    Bytes out(id, id + 4);
    Append(out, Be32(static_cast<std::uint32_t>(body.size())));
    Append(out, body);
    return out;
}

inline Bytes Header(int format, int tracks, int division) {
    return Chunk("MThd", {0, static_cast<std::uint8_t>(format), static_cast<std::uint8_t>(tracks >> 8),
                          static_cast<std::uint8_t>(tracks), static_cast<std::uint8_t>(division >> 8),
                          static_cast<std::uint8_t>(division)});
}

inline const Bytes kEndOfTrack = {0x00, 0xFF, 0x2F, 0x00};

inline Bytes Tempo(std::uint32_t delta, std::uint32_t microsPerQuarter) {
    Bytes out = Vlq(delta);
    Append(out, {0xFF, 0x51, 0x03, static_cast<int>(microsPerQuarter >> 16), static_cast<int>((microsPerQuarter >> 8) & 0xFF),
                 static_cast<int>(microsPerQuarter & 0xFF)});
    return out;
}

// Format 0, 96 ticks per quarter at 120 per minute. Covers running status,
// Note On at velocity 0 as the note-off, a GM System On SysEx, a
// controller and program change, a 4-byte variable-length delta (2 097 152
// ticks = 10 922.67 s would be absurd, so the 4-byte form encodes a small
// value padded: 0x80 0x80 0x80 0x60 = 96 ticks) and a text meta event.
// Notes: C4 at 0..96, E4 at 96..192 (running status), G4 192..384.
// Length 384 ticks = 2.0 s.
inline Bytes Format0File() {
    Bytes t;
    Append(t, {0x00, 0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7});  // GM System On
    Append(t, {0x00, 0xFF, 0x01, 0x04, 't', 'e', 's', 't'});      // text
    Append(t, {0x00, 0xC0, 0x00});                               // program 0
    Append(t, {0x00, 0xB0, 0x5B, 0x40});                         // CC91 = 64
    Append(t, {0x00, 0x90, 60, 80});                             // C4 on
    Append(t, {0x60, 60, 0});                                    // running status: C4 off (velocity 0)
    Append(t, {0x00, 64, 80});                                   // E4 on
    Append(t, {0x80, 0x80, 0x80, 0x60, 64, 0});                  // 4-byte delta (96): E4 off
    Append(t, {0x00, 67, 70});                                   // G4 on
    Append(t, {0x81, 0x40, 0x80, 67, 0});                        // 192 ticks later: G4 off, status 0x80
    Append(t, kEndOfTrack);
    Bytes f = Header(0, 1, 96);
    Append(f, Chunk("MTrk", t));
    return f;
}

// Format 1, 480 ticks per quarter: a conductor track with 120 per minute,
// then 60 per minute from tick 960 (1.0 s), and 240 per minute from tick
// 1920 (3.0 s); a note track whose notes change at tick 1440 (2.0 s) and end
// at tick 2400 (3.25 s), and a second note track ending at tick 2880
// (3.5 s), the tune's length.
inline Bytes Format1File() {
    Bytes conductor;
    Append(conductor, Tempo(0, 500000));
    Append(conductor, Tempo(960, 1000000));
    Append(conductor, Tempo(960, 250000));
    Append(conductor, kEndOfTrack);
    Bytes a;
    Append(a, {0x00, 0x90, 62, 70});
    Append(a, Vlq(1440));
    Append(a, {0x80, 62, 0});
    Append(a, {0x00, 0x90, 65, 70});
    Append(a, Vlq(960));
    Append(a, {0x80, 65, 0});
    Append(a, kEndOfTrack);
    Bytes b;
    Append(b, {0x00, 0x91, 45, 60});
    Append(b, Vlq(2880));
    Append(b, {0x81, 45, 0});
    Append(b, kEndOfTrack);
    Bytes f = Header(1, 3, 480);
    Append(f, Chunk("MTrk", conductor));
    Append(f, Chunk("MTrk", a));
    Append(f, Chunk("MTrk", b));
    return f;
}

// Format 2: two independent patterns of 1.0 s and 0.5 s (96 ticks per
// quarter; the second pattern at 60 per minute).
inline Bytes Format2File() {
    Bytes p1;
    Append(p1, {0x00, 0x90, 60, 80});
    Append(p1, Vlq(192));
    Append(p1, {0x80, 60, 0});
    Append(p1, kEndOfTrack);
    Bytes p2;
    Append(p2, Tempo(0, 1000000));
    Append(p2, {0x00, 0x90, 72, 80});
    Append(p2, Vlq(48));
    Append(p2, {0x80, 72, 0});
    Append(p2, kEndOfTrack);
    Bytes f = Header(2, 2, 96);
    Append(f, Chunk("MTrk", p1));
    Append(f, Chunk("MTrk", p2));
    return f;
}

// One piano note at tick 0 lasting `ticks` at 96 per quarter and 120 per minute.
inline Bytes SingleNoteFile(std::uint32_t ticks, int note = 60, int velocity = 100) {
    Bytes t;
    Append(t, {0x00, 0xC0, 0x00, 0x00, 0x90, note, velocity});
    Append(t, Vlq(ticks));
    Append(t, {0x80, note, 0});
    Append(t, kEndOfTrack);
    Bytes f = Header(0, 1, 96);
    Append(f, Chunk("MTrk", t));
    return f;
}

}  // namespace miditest
