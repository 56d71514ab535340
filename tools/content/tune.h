// The built-in tune "tune_main.mid": its score, written to be read, and the
// encoder that turns it into a format-1 Standard MIDI File. Header-only; used
// by tools/gen_tune and by the test that checks the committed file.
//
// The piece: 64 beats per minute in 4/4, 480 ticks per quarter, 40 bars
// (76 800 ticks, 150 s) in the form A (16 bars) A' (16 bars, strings and horn
// join) B (8 bars, choir), then back to A. One chord per 2 bars: D Dorian for
// A and A', F Lydian for B, the last chord stepping into the first. Warm pad,
// contrabass roots, a sparse celesta melody with horn answers, and three
// phrases of a "whale" voice that moans with pitch bends where only the pads
// play.
//
// Seamless loop: every track ends at tick 76 800 exactly; every note ends at
// or before it (note-offs first at equal ticks); the melody rests in the last
// two bars, so only reverb and the pads' release cross the seam; at the end
// the sustain pedal is up and bends are centred; the set-up at tick 0
// (programs, volumes, pans, sends, bend range) is idempotent and sends no
// "all notes off" or "reset controllers". Humanised timing never touches the
// first or last tick. Deterministic: no clock, no library random generator.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace content {

constexpr int kTunePpq = 480;
constexpr int kTuneBar = 4 * kTunePpq;            // ticks per 4/4 bar
constexpr int kTuneBars = 40;
constexpr int kTuneEnd = kTuneBars * kTuneBar;    // 76 800: every End of Track
constexpr std::uint32_t kTuneTempo = 937500;      // microseconds per quarter: 64 per minute

// ---- the score ----

// Channels (0-based) and their sounds. Program bytes are the GM number - 1.
// The balance was set from measured levels on the Debian General-MIDI
// soundfont (TimGM6mb), each track rendered alone: while they sound, the
// celesta sits about 9 dB, horn, whale and bass 6-8 dB, strings and choir
// about 4 dB under the pad (the celesta's attack carries above its RMS).
// The level of the whole: velocities of 90-118, channel volumes at or near
// full and expression near 120 put one pass, through the saver's synthesizer
// at its +5 dB, at peaks near -4 dBFS and an RMS near -19 dBFS, unclipped
// (tools/tunerender and sox); the celesta keeps its place by velocity, its
// volume being full already.
struct TuneVoice {
    int channel;
    const char* name;   // track name
    int program;        // program byte
    int velocity;       // centre of the humanised note velocities
    int volume, pan, reverb, chorus, expression;  // CC7, CC10, CC91, CC93, CC11 at tick 0
};
inline constexpr TuneVoice kTuneVoices[] = {
    {0, "Pad", 0x59, 92, 127, 64, 100, 40, 114},       // GM 90 Pad 2 (warm); CC11 = the swell at tick 0
    {1, "Strings", 0x31, 100, 127, 40, 90, 30, 40},     // GM 50 String Ensemble 2
    {2, "Choir", 0x5B, 100, 127, 88, 110, 20, 40},     // GM 92 Pad 4 (choir)
    {3, "Contrabass", 0x2B, 100, 127, 64, 60, 0, 120},  // GM 44 Contrabass
    {4, "Celesta", 0x08, 118, 127, 84, 110, 20, 124},  // GM 9 Celesta
    {5, "Horn", 0x3C, 92, 124, 48, 100, 10, 120},      // GM 61 French Horn
    {6, "Whale", 0x36, 100, 127, 30, 120, 30, 120},    // GM 55 Synth Voice
};

// One chord per two bars: its name, bass note and four pad notes (C4 = 60).
struct TuneChord {
    const char* name;
    int bass;
    int pad[4];
};
// P1, D Dorian (bars 1-16 and 17-32).
inline constexpr TuneChord kTuneP1[8] = {
    {"Dm9", 38, {53, 57, 60, 64}},     {"G6/D", 38, {55, 59, 62, 64}}, {"Fmaj7", 41, {53, 57, 60, 64}},
    {"C/E", 40, {52, 55, 60, 62}},     {"Dm9", 38, {53, 57, 60, 64}},  {"Em7", 40, {52, 55, 59, 62}},
    {"Fmaj7#11", 41, {53, 57, 59, 64}}, {"G6", 43, {55, 59, 62, 64}},
};
// P2, F Lydian (bars 33-40), leading back into Dm9.
inline constexpr TuneChord kTuneP2[4] = {
    {"Fmaj7#11", 41, {53, 57, 59, 64}},
    {"G6/F", 41, {55, 59, 62, 64}},
    {"Am9", 45, {55, 59, 60, 64}},
    {"Gsus2", 43, {55, 57, 62, 64}},
};
// Where the G chord leads back to Dm9 (end of A, end of B) the bass walks
// down through E in the chord's second bar, so no voice leaps more than 3
// semitones into the next chord.
inline constexpr int kTuneBassWalk = 40;

// Melody phrases: a starting bar (1-based) and notes as "NAME/BEATS" (C4 = 60;
// half, dotted-half and whole notes). The horn answers the celesta.
struct TunePhrase {
    int channel;
    int bar;
    const char* notes;
};
inline constexpr TunePhrase kTunePhrases[] = {
    // A: the celesta alone, every fourth bar pair.
    {4, 3, "B4/3 C5/2 D5/3"},     // over G6/D, ends on the 5th
    {4, 7, "C5/3 D5/2 E5/3"},     // over C/E, ends on the 3rd
    {4, 11, "D5/3 C5/2 B4/3"},    // over Em7, ends on the 5th
    // A': celesta and horn in turn.
    {4, 17, "D5/2 C5/2 A4/4"},    // Dm9, 5th
    {5, 19, "D4/3 C4/2 B3/3"},    // G6/D, 3rd
    {4, 21, "F5/2 E5/2 C5/4"},    // Fmaj7, 5th
    {5, 23, "C4/3 D4/2 E4/3"},    // C/E, 3rd
    {4, 25, "D5/2 E5/2 F5/4"},    // Dm9, 3rd
    {5, 27, "D4/3 E4/2 G4/3"},    // Em7, 3rd
    // B: the Lydian B natural, then rest through the seam.
    {4, 33, "C5/2 B4/2 A4/4"},    // Fmaj7#11, 3rd
    {5, 35, "D4/3 E4/2 D4/3"},    // G6/F, 5th of G
};

// Whale-song phrases: a starting bar and 2-4 moans, each "NOTE/SECONDS".
struct TuneWhalePhrase {
    int bar;
    const char* moans;
};
inline constexpr TuneWhalePhrase kTuneWhale[] = {
    {5, "F3/3.0 C3/2.6"},             // under Fmaj7, no melody
    {13, "A2/2.4 E3/3.6"},            // under Fmaj7#11
    {29, "G3/2.8 D3/3.0 A2/4.4"},     // under Fmaj7#11 and G6, strings only
};
constexpr int kTuneBendRange = 12;  // semitones, set with RPN 0 on the whale channel

// ---- encoding ----

namespace tune_detail {

// A MIDI note number from a name such as "C4", "F#3" or "Bb2" (C4 = 60); -1 when malformed.
inline int NoteNumber(const std::string& name) {
    static const int kSteps[7] = {9, 11, 0, 2, 4, 5, 7};  // A B C D E F G
    if (name.size() < 2 || name[0] < 'A' || name[0] > 'G') return -1;
    int n = kSteps[name[0] - 'A'];
    std::size_t i = 1;
    if (name[i] == '#') n += 1, ++i;
    else if (name[i] == 'b') n -= 1, ++i;
    if (i >= name.size() || name[i] < '0' || name[i] > '9') return -1;
    return n + 12 * (name[i] - '0' + 1);
}

// "NAME/VALUE NAME/VALUE ..." into pairs.
struct Token {
    int note;
    double value;
};
inline std::vector<Token> Tokens(const char* text) {
    std::vector<Token> out;
    const std::string s(text);
    std::size_t pos = 0;
    while (pos < s.size()) {
        std::size_t end = s.find(' ', pos);
        if (end == std::string::npos) end = s.size();
        const std::string word = s.substr(pos, end - pos);
        const std::size_t slash = word.find('/');
        if (slash != std::string::npos) out.push_back({NoteNumber(word.substr(0, slash)), std::stod(word.substr(slash + 1))});
        pos = end + 1;
    }
    return out;
}

// Small deterministic hash for humanising: -range..+range.
inline int Jitter(std::uint32_t seed, int range) {
    seed ^= seed >> 16;
    seed *= 0x7feb352dU;
    seed ^= seed >> 15;
    seed *= 0x846ca68bU;
    seed ^= seed >> 16;
    return static_cast<int>(seed % static_cast<std::uint32_t>(2 * range + 1)) - range;
}

// One event before encoding. Order at equal ticks: note-offs, then
// controllers and bends, then note-ons.
struct Ev {
    int tick;
    int order;  // 0 note-off, 1 control, 2 note-on
    int seq;    // insertion order among equals
    std::uint8_t bytes[3];
    int length;
};

class Track {
public:
    void Off(int tick, int ch, int note) { Add(tick, 0, {std::uint8_t(0x80 | ch), std::uint8_t(note), 0}, 3); }
    void On(int tick, int ch, int note, int vel) {
        Add(tick, 2, {std::uint8_t(0x90 | ch), std::uint8_t(note), std::uint8_t(std::clamp(vel, 1, 127))}, 3);
    }
    void Note(int tick, int end, int ch, int note, int vel) {
        On(tick, ch, note, vel);
        Off(end, ch, note);
    }
    void Cc(int tick, int ch, int cc, int value) {
        Add(tick, 1, {std::uint8_t(0xB0 | ch), std::uint8_t(cc), std::uint8_t(std::clamp(value, 0, 127))}, 3);
    }
    void Program(int tick, int ch, int program) { Add(tick, 1, {std::uint8_t(0xC0 | ch), std::uint8_t(program), 0}, 2); }
    void Bend(int tick, int ch, int value) {
        value = std::clamp(value, 0, 16383);
        Add(tick, 1, {std::uint8_t(0xE0 | ch), std::uint8_t(value & 0x7F), std::uint8_t(value >> 7)}, 3);
    }

    // The track chunk: name, events with running status, End of Track at `end`.
    std::vector<std::uint8_t> Encode(const char* name, int end, const std::vector<std::vector<std::uint8_t>>& metas) {
        std::stable_sort(m_events.begin(), m_events.end(), [](const Ev& a, const Ev& b) {
            return a.tick != b.tick ? a.tick < b.tick : a.order != b.order ? a.order < b.order : a.seq < b.seq;
        });
        std::vector<std::uint8_t> body;
        Meta(body, 0x03, std::vector<std::uint8_t>(name, name + std::strlen(name)));
        for (const auto& m : metas) Meta(body, m[0], std::vector<std::uint8_t>(m.begin() + 1, m.end()));
        int last = 0;
        std::uint8_t running = 0;
        for (const Ev& e : m_events) {
            Vlq(body, static_cast<std::uint32_t>(e.tick - last));
            last = e.tick;
            if (e.bytes[0] != running) body.push_back(e.bytes[0]);
            running = e.bytes[0];
            body.insert(body.end(), e.bytes + 1, e.bytes + e.length);
        }
        Vlq(body, static_cast<std::uint32_t>(end - last));
        body.insert(body.end(), {0xFF, 0x2F, 0x00});
        std::vector<std::uint8_t> chunk = {'M', 'T', 'r', 'k'};
        Be32(chunk, static_cast<std::uint32_t>(body.size()));
        chunk.insert(chunk.end(), body.begin(), body.end());
        return chunk;
    }

    static void Vlq(std::vector<std::uint8_t>& out, std::uint32_t v) {
        std::uint8_t buf[4];
        int n = 0;
        do {
            buf[n++] = static_cast<std::uint8_t>(v & 0x7F);
            v >>= 7;
        } while (v && n < 4);
        while (n > 1) out.push_back(static_cast<std::uint8_t>(buf[--n] | 0x80));
        out.push_back(buf[0]);
    }
    static void Be32(std::vector<std::uint8_t>& out, std::uint32_t v) {
        for (int i = 3; i >= 0; --i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    }

private:
    void Add(int tick, int order, std::initializer_list<std::uint8_t> bytes, int length) {
        Ev e{tick, order, m_seq++, {0, 0, 0}, length};
        std::copy(bytes.begin(), bytes.end(), e.bytes);
        m_events.push_back(e);
    }
    // Meta events at tick 0; they break running status, so they come first.
    static void Meta(std::vector<std::uint8_t>& out, std::uint8_t type, const std::vector<std::uint8_t>& data) {
        out.push_back(0x00);
        out.push_back(0xFF);
        out.push_back(type);
        Vlq(out, static_cast<std::uint32_t>(data.size()));
        out.insert(out.end(), data.begin(), data.end());
    }

    std::vector<Ev> m_events;
    int m_seq = 0;
};

inline int BarTick(int bar) {  // 1-based bar to its first tick
    return (bar - 1) * kTuneBar;
}

// The chord sounding in a 1-based bar.
inline const TuneChord& ChordAt(int bar) {
    if (bar <= 32) return kTuneP1[((bar - 1) % 16) / 2];
    return kTuneP2[(bar - 33) / 2];
}

// CC11 over the whole loop: a slow swell with a period of 8 bars (5 per loop,
// so the value at the end meets the value at the start).
inline int Swell(int tick, int base, int depth) {
    const double phase = 2.0 * 3.14159265358979323846 * tick / (8.0 * kTuneBar);
    return base + static_cast<int>(std::lround(depth * std::sin(phase)));
}

inline void SetUp(Track& t, const TuneVoice& v) {
    t.Program(0, v.channel, v.program);
    t.Cc(0, v.channel, 7, v.volume);
    t.Cc(0, v.channel, 10, v.pan);
    t.Cc(0, v.channel, 91, v.reverb);
    t.Cc(0, v.channel, 93, v.chorus);
    t.Cc(0, v.channel, 11, v.expression);
    t.Cc(0, v.channel, 64, 0);
    t.Bend(0, v.channel, 8192);
}

// Sustain pedal up and bend centred at the loop's end.
inline void CloseOut(Track& t, int ch) {
    t.Cc(kTuneEnd, ch, 64, 0);
    t.Bend(kTuneEnd, ch, 8192);
}

inline Track PadTrack() {
    Track t;
    const TuneVoice& v = kTuneVoices[0];
    SetUp(t, v);
    for (int bar = 1; bar <= kTuneBars; bar += 2) {
        const TuneChord& c = ChordAt(bar);
        for (int i = 0; i < 4; ++i) {
            const int vel = v.velocity + Jitter(static_cast<std::uint32_t>(bar * 16 + i), 5);
            t.Note(BarTick(bar), BarTick(bar + 2), v.channel, c.pad[i], vel);
        }
    }
    int last = v.expression;
    for (int tick = 240; tick < kTuneEnd; tick += 240) {
        const int value = Swell(tick, v.expression, 10);
        if (value != last) t.Cc(tick, v.channel, 11, value);
        last = value;
    }
    CloseOut(t, v.channel);
    return t;
}

// The strings' and choir's expression once faded in.
inline constexpr int kTuneLayerExpression = 120;

// Strings an octave above the pad in A' and B; choir on the pad's top two
// voices in B. Both fade in over their first two bars and out over the last two.
inline Track LayerTrack(const TuneVoice& v, int firstBar, int lowestVoice, int octave) {
    Track t;
    SetUp(t, v);
    for (int bar = firstBar; bar <= kTuneBars; bar += 2) {
        const TuneChord& c = ChordAt(bar);
        for (int i = lowestVoice; i < 4; ++i) {
            const int vel = v.velocity + Jitter(static_cast<std::uint32_t>(v.channel * 1000 + bar * 16 + i), 5);
            t.Note(BarTick(bar), BarTick(bar + 2), v.channel, c.pad[i] + octave, vel);
        }
    }
    const int in0 = BarTick(firstBar), in1 = BarTick(firstBar + 2);
    const int out0 = BarTick(kTuneBars - 1), out1 = kTuneEnd;
    int last = v.expression;
    for (int tick = in0; tick < out1; tick += 120) {
        int value = kTuneLayerExpression;
        if (tick < in1) value = 40 + (kTuneLayerExpression - 40) * (tick - in0) / (in1 - in0);
        else if (tick >= out0) value = kTuneLayerExpression - (kTuneLayerExpression - 40) * (tick - out0) / (out1 - out0);
        if (value != last) t.Cc(tick, v.channel, 11, value);
        last = value;
    }
    CloseOut(t, v.channel);
    return t;
}

inline Track BassTrack() {
    Track t;
    const TuneVoice& v = kTuneVoices[3];
    SetUp(t, v);
    for (int bar = 1; bar <= kTuneBars; bar += 2) {
        const TuneChord& c = ChordAt(bar);
        const int vel = v.velocity + Jitter(static_cast<std::uint32_t>(5000 + bar), 2);
        // The G chords before Dm9 (bars 15-16 and 39-40) walk down through E.
        if (bar == 15 || bar == 39) {
            t.Note(BarTick(bar), BarTick(bar + 1), v.channel, c.bass, vel);
            t.Note(BarTick(bar + 1), BarTick(bar + 2), v.channel, kTuneBassWalk, vel - 4);
        } else {
            t.Note(BarTick(bar), BarTick(bar + 2), v.channel, c.bass, vel);
        }
    }
    CloseOut(t, v.channel);
    return t;
}

inline Track MelodyTrack(const TuneVoice& v) {
    Track t;
    SetUp(t, v);
    int index = 0;
    for (const TunePhrase& p : kTunePhrases) {
        if (p.channel != v.channel) continue;
        int tick = BarTick(p.bar);
        for (const Token& n : Tokens(p.notes)) {
            const int length = static_cast<int>(n.value * kTunePpq);
            // Humanised: velocity ±8, onset ±10 ticks (never at the loop's ends:
            // phrases lie well inside it), a short breath before the next note.
            const int on = tick + Jitter(static_cast<std::uint32_t>(9000 + index * 7), 10);
            const int vel = v.velocity + Jitter(static_cast<std::uint32_t>(7000 + index * 13), 8);
            t.Note(on, tick + length - 30, v.channel, n.note, vel);
            tick += length;
            ++index;
        }
    }
    CloseOut(t, v.channel);
    return t;
}

// The whale voice: RPN 0 sets a ±12 semitone bend range. Each moan starts
// 2 semitones flat, rises to 4 sharp over its first 40 %, then sinks to 5
// flat while its expression fades; bends every 16 ticks (31 ms). The voice is
// monophonic, since a bend moves every note on the channel. Under a ±2
// range the same bends become a gentle waver.
inline Track WhaleTrack() {
    Track t;
    const TuneVoice& v = kTuneVoices[6];
    const int ch = v.channel;
    SetUp(t, v);
    t.Cc(0, ch, 101, 0);
    t.Cc(0, ch, 100, 0);
    t.Cc(0, ch, 6, kTuneBendRange);
    t.Cc(0, ch, 38, 0);
    t.Cc(0, ch, 101, 127);
    t.Cc(0, ch, 100, 127);
    auto bendValue = [](double semitones) { return 8192 + static_cast<int>(std::lround(semitones / kTuneBendRange * 8192.0)); };
    const double ticksPerSecond = kTunePpq * 1e6 / kTuneTempo;  // 512
    int index = 0;
    for (const TuneWhalePhrase& p : kTuneWhale) {
        int tick = BarTick(p.bar) + kTunePpq;  // on the phrase bar's second beat
        for (const Token& m : Tokens(p.moans)) {
            const int length = static_cast<int>(std::lround(m.value * ticksPerSecond / 16.0)) * 16;
            const int rise = length * 2 / 5;
            const int vel = v.velocity + Jitter(static_cast<std::uint32_t>(3000 + index), 6);
            t.Bend(tick, ch, bendValue(-2.0));
            t.Cc(tick, ch, 11, v.expression);
            t.On(tick, ch, m.note, vel);
            for (int d = 16; d < length; d += 16) {
                double semis;
                int expression = v.expression;
                if (d <= rise) {
                    const double x = static_cast<double>(d) / rise;
                    semis = -2.0 + 6.0 * (0.5 - 0.5 * std::cos(3.14159265358979323846 * x));
                } else {
                    const double x = static_cast<double>(d - rise) / (length - rise);
                    semis = 4.0 - 9.0 * (0.5 - 0.5 * std::cos(3.14159265358979323846 * x));
                    expression = v.expression - static_cast<int>(std::lround(0.75 * v.expression * x));
                }
                t.Bend(tick + d, ch, bendValue(semis));
                if (d % 64 == 0) t.Cc(tick + d, ch, 11, expression);
            }
            t.Off(tick + length, ch, m.note);
            tick += length + 3 * kTunePpq / 4;  // a breath between moans
            ++index;
        }
        t.Bend(tick, ch, 8192);
        t.Cc(tick, ch, 11, v.expression);
    }
    CloseOut(t, ch);
    return t;
}

}  // namespace tune_detail

// The whole file, byte for byte.
inline std::vector<std::uint8_t> BuildTune() {
    using namespace tune_detail;
    std::vector<std::uint8_t> out = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1};
    std::vector<std::vector<std::uint8_t>> tracks;

    // Conductor: tempo 64 per minute and 4/4 at tick 0.
    Track conductor;
    tracks.push_back(conductor.Encode("Nereval", kTuneEnd,
                                      {{0x51, std::uint8_t(kTuneTempo >> 16), std::uint8_t(kTuneTempo >> 8),
                                        std::uint8_t(kTuneTempo)},
                                       {0x58, 4, 2, 24, 8}}));
    tracks.push_back(PadTrack().Encode(kTuneVoices[0].name, kTuneEnd, {}));
    tracks.push_back(LayerTrack(kTuneVoices[1], 17, 1, 12).Encode(kTuneVoices[1].name, kTuneEnd, {}));
    tracks.push_back(LayerTrack(kTuneVoices[2], 33, 2, 0).Encode(kTuneVoices[2].name, kTuneEnd, {}));
    tracks.push_back(BassTrack().Encode(kTuneVoices[3].name, kTuneEnd, {}));
    tracks.push_back(MelodyTrack(kTuneVoices[4]).Encode(kTuneVoices[4].name, kTuneEnd, {}));
    tracks.push_back(MelodyTrack(kTuneVoices[5]).Encode(kTuneVoices[5].name, kTuneEnd, {}));
    tracks.push_back(WhaleTrack().Encode(kTuneVoices[6].name, kTuneEnd, {}));

    out.push_back(0);
    out.push_back(static_cast<std::uint8_t>(tracks.size()));
    out.push_back(kTunePpq >> 8);
    out.push_back(kTunePpq & 0xFF);
    for (const auto& t : tracks) out.insert(out.end(), t.begin(), t.end());
    return out;
}

}  // namespace content
