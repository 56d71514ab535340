// Standard MIDI File reader: chunk checks, track decoding with running
// status, and the tempo map that turns ticks into seconds.
#include "platform/audio/midi_file.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::uint32_t kDefaultTempo = 500000;  // microseconds per quarter: 120 beats per minute
constexpr double kMinLengthSeconds = 0.25;       // anything shorter cannot be looped usefully
constexpr double kMaxLengthSeconds = 6 * 3600.0; // longer is absurd, and keeps sample counts far from overflow

std::uint32_t Be32(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}
std::uint16_t Be16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>((p[0] << 8) | p[1]);
}

// One event before the tempo map is applied: its absolute tick.
struct RawEvent {
    std::uint64_t tick;
    MidiEvent ev;
};

struct Cursor {
    const std::uint8_t* p;
    const std::uint8_t* end;
    std::size_t Left() const { return static_cast<std::size_t>(end - p); }
};

constexpr const char* kPastTrackEnd = "an event runs past the end of its track";

// Reads a variable-length number of at most 4 bytes (at most 0x0FFFFFFF).
const char* ReadVlq(Cursor& c, std::uint32_t* value) {
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i) {
        if (c.p == c.end) return kPastTrackEnd;
        const std::uint8_t b = *c.p++;
        v = (v << 7) | (b & 0x7F);
        if (!(b & 0x80)) {
            *value = v;
            return nullptr;
        }
    }
    return "a variable-length number is longer than 4 bytes";
}

// Decodes one track chunk's bytes, appending its events; `endTick` receives
// the tick of its End of Track (or of its last event when that is missing).
const char* ReadTrack(Cursor c, std::vector<RawEvent>& out, std::vector<std::uint8_t>& pool, int* notes,
                      std::uint64_t* endTick, int* endOfTracks) {
    std::uint64_t tick = 0;
    std::uint8_t running = 0;
    while (c.p < c.end) {
        std::uint32_t delta = 0;
        if (const char* e = ReadVlq(c, &delta)) return e;
        tick += delta;
        if (c.p == c.end) return kPastTrackEnd;
        std::uint8_t status = *c.p;
        if (status & 0x80) {
            ++c.p;
        } else if (running) {
            status = running;  // running status: this byte is the first data byte
        } else {
            return "a data byte comes before any status byte";
        }

        // Meta and SysEx events leave the running status as it was: files
        // in the wild rely on that, and common players accept it.
        if (status == 0xFF) {  // meta event
            if (c.p == c.end) return kPastTrackEnd;
            const std::uint8_t type = *c.p++;
            std::uint32_t len = 0;
            if (const char* e = ReadVlq(c, &len)) return e;
            if (len > c.Left()) return kPastTrackEnd;
            if (type == 0x2F) {  // End of Track: anything after it in the chunk is ignored
                *endTick = tick;
                ++*endOfTracks;
                return nullptr;
            }
            if (type == 0x51) {
                if (len < 3) return "a tempo event is shorter than 3 bytes";
                const std::uint32_t tempo = (std::uint32_t{c.p[0]} << 16) | (std::uint32_t{c.p[1]} << 8) | c.p[2];
                if (tempo == 0) return "a tempo of zero";
                MidiEvent ev;
                ev.kind = MidiEventKind::Tempo;
                ev.tempo = tempo;
                out.push_back({tick, ev});
            }
            c.p += len;
        } else if (status == 0xF0 || status == 0xF7) {  // SysEx, or an escaped byte sequence (ignored)
            std::uint32_t len = 0;
            if (const char* e = ReadVlq(c, &len)) return e;
            if (len > c.Left()) return kPastTrackEnd;
            std::uint32_t payload = len;
            if (payload > 0 && c.p[payload - 1] == 0xF7) --payload;  // the closing F7 is not sent
            if (status == 0xF0 && payload > 0) {
                MidiEvent ev;
                ev.kind = MidiEventKind::SysEx;
                ev.sysexOffset = static_cast<std::uint32_t>(pool.size());
                ev.sysexLength = payload;
                pool.insert(pool.end(), c.p, c.p + payload);
                out.push_back({tick, ev});
            }
            c.p += len;
        } else if (status >= 0xF0) {
            return "a system status byte that has no place in a file";
        } else {
            running = status;
            const std::uint8_t kind = status & 0xF0;
            const int count = (kind == 0xC0 || kind == 0xD0) ? 1 : 2;
            if (c.Left() < static_cast<std::size_t>(count)) return kPastTrackEnd;
            MidiEvent ev;
            ev.status = status;
            ev.data1 = c.p[0];
            ev.data2 = count == 2 ? c.p[1] : 0;
            if ((ev.data1 | ev.data2) & 0x80) return "a data byte has its top bit set";
            c.p += count;
            if (kind == 0x90 && ev.data2 == 0) {
                ev.status = static_cast<std::uint8_t>(0x80 | (status & 0x0F));  // Note On at velocity 0 is a Note Off
            } else if (kind == 0x90) {
                ++*notes;
            }
            out.push_back({tick, ev});
        }
    }
    *endTick = tick;  // no End of Track: the chunk's end closes the track
    return nullptr;
}

// Applies the tempo map to events that share one time line (sorted by tick
// here), appending them to the song from `startSeconds` on. Returns the
// time at `endTick`.
double Sequence(std::vector<RawEvent>& raw, std::uint64_t endTick, int division, double startSeconds,
                MidiSong* song) {
    std::stable_sort(raw.begin(), raw.end(), [](const RawEvent& a, const RawEvent& b) { return a.tick < b.tick; });
    double secondsPerTick;
    const bool smpte = division & 0x8000;
    if (smpte) {
        const int fps = -static_cast<std::int8_t>(division >> 8);
        const double frames = fps == 29 ? 29.97 : fps;
        secondsPerTick = 1.0 / (frames * (division & 0xFF));
    } else {
        secondsPerTick = kDefaultTempo / 1e6 / division;
    }
    double seconds = 0.0;
    std::uint64_t last = 0;
    for (RawEvent& r : raw) {
        seconds += static_cast<double>(r.tick - last) * secondsPerTick;
        last = r.tick;
        r.ev.seconds = startSeconds + seconds;
        // Tempo changes mean nothing under an SMPTE division (time is absolute there).
        if (r.ev.kind == MidiEventKind::Tempo && !smpte) secondsPerTick = r.ev.tempo / 1e6 / division;
        song->events.push_back(r.ev);
    }
    if (endTick > last) seconds += static_cast<double>(endTick - last) * secondsPerTick;
    raw.clear();
    return startSeconds + seconds;
}

}  // namespace

const char* ReadMidiFile(const std::uint8_t* data, std::size_t size, MidiSong* song) {
    *song = MidiSong{};
    if (!data || size == 0) return "the file is empty";
    if (size > kMaxMidiFileBytes) return "the file is too large";
    if (size < 8 || std::memcmp(data, "MThd", 4) != 0) return "not a MIDI file";
    const std::uint32_t headerLen = Be32(data + 4);
    if (headerLen > size - 8) return "the header runs past the end of the file";
    if (headerLen < 6) return "the header is too short";
    const int format = Be16(data + 8);
    const int declared = Be16(data + 10);
    const int division = Be16(data + 12);
    if (format > 2) return "unknown MIDI file format";
    if (declared == 0) return "the file has no tracks";
    if (division == 0) return "the division is zero";
    if (division & 0x8000) {
        const int fps = -static_cast<std::int8_t>(division >> 8);
        if ((fps != 24 && fps != 25 && fps != 29 && fps != 30) || (division & 0xFF) == 0) return "bad SMPTE division";
    }
    song->format = format;
    song->division = division;

    std::vector<RawEvent> raw;
    std::uint64_t sharedEnd = 0;  // formats 0 and 1: all tracks run on one time line
    double seconds = 0.0;         // format 2: patterns are played one after another
    std::size_t pos = 8 + static_cast<std::size_t>(headerLen);
    // Trailing bytes too few for a chunk header are padding, not an error.
    while (size - pos >= 8) {
        const std::uint8_t* chunk = data + pos;
        const std::uint32_t len = Be32(chunk + 4);
        if (len > size - pos - 8) return "a chunk runs past the end of the file";
        if (std::memcmp(chunk, "MTrk", 4) == 0 && song->trackCount < declared) {
            std::uint64_t endTick = 0;
            if (const char* e = ReadTrack({chunk + 8, chunk + 8 + len}, raw, song->sysex, &song->noteCount, &endTick,
                                          &song->endOfTrackCount))
                return e;
            ++song->trackCount;
            song->trackEndTicks.push_back(endTick);
            if (format == 2) {
                seconds = Sequence(raw, endTick, division, seconds, song);
            } else {
                sharedEnd = std::max(sharedEnd, endTick);
            }
        }
        pos += 8 + static_cast<std::size_t>(len);  // unknown chunks are skipped
    }
    if (song->trackCount < declared) return "fewer track chunks than the header declares";
    if (format != 2) seconds = Sequence(raw, sharedEnd, division, 0.0, song);
    song->lengthSeconds = seconds;

    if (seconds <= 0.0) return "the tune has zero length";
    if (seconds < kMinLengthSeconds) return "the tune is too short to loop";
    if (!(seconds <= kMaxLengthSeconds)) return "the tune is longer than six hours";
    if (song->noteCount == 0) return "the tune has no notes";
    return nullptr;
}
