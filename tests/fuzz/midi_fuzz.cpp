// libFuzzer target for the MIDI file reader: reads the input as a Standard
// MIDI File and checks what the sequencer relies on for anything accepted
// (events in time order within the tune's length, channel data below 0x80,
// SysEx payloads inside the pool, a length that can be looped).
// Build and run: see README.md in this folder.
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "platform/audio/midi_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t size) {
    MidiSong song;
    if (ReadMidiFile(input, size, &song)) return 0;
    if (!(song.lengthSeconds > 0.0) || !std::isfinite(song.lengthSeconds)) __builtin_trap();
    if (song.noteCount <= 0) __builtin_trap();
    double last = 0.0;
    for (const MidiEvent& e : song.events) {
        if (e.seconds < last || e.seconds > song.lengthSeconds + 1e-9) __builtin_trap();
        last = e.seconds;
        switch (e.kind) {
        case MidiEventKind::Channel:
            if (e.status < 0x80 || e.status > 0xEF || (e.data1 | e.data2) & 0x80) __builtin_trap();
            break;
        case MidiEventKind::SysEx:
            if (e.sysexLength == 0 || e.sysexOffset > song.sysex.size() ||
                e.sysexLength > song.sysex.size() - e.sysexOffset)
                __builtin_trap();
            break;
        case MidiEventKind::Tempo:
            if (e.tempo == 0 || e.tempo > 0xFFFFFF) __builtin_trap();
            break;
        }
    }
    // Nothing grows beyond what the input's bytes can describe.
    if (song.sysex.size() > size || song.events.size() > size) __builtin_trap();
    return 0;
}
