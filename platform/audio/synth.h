// The music platform: a performance, a loader and segments shaped like the
// calls the saver makes on the original music system, implemented on
// FluidSynth with a General-MIDI soundfont and a sequencer of our own.
//
// Mapping of the original system's values:
//  - Default audio path "shared stereo plus reverb" (type 8): one stereo
//    output with FluidSynth's reverb and chorus on; CC91/CC93 feed them.
//  - Performance channels (128): FluidSynth's MIDI channel count, rounded up
//    to a multiple of 16 (16..256). Standard MIDI files address channels 0..15.
//  - Audio features (DMUS_AUDIOF_ALL): accepted; everything FluidSynth offers is on.
//  - Segment play flags: kPlayOnBeat starts on the next beat of the
//    performance's tempo (120 per minute while nothing plays); any other
//    value starts at once. Stop flags: stop at once.
//  - Master volume, hundredths of a decibel (-20000..+2000): FluidSynth's gain
//    is kBaseGain × 10^(volume / 2000), so +500 multiplies it by 10^(5/20).
//  - Instrument download: binds a segment to one performance and converts its
//    tempo map to that performance's sample clock; a segment plays only after it.
//
// Sequencing: the performance renders audio in blocks (on FluidSynth's audio
// thread, or on the caller's thread with Render in offline mode) and sends
// each event at its own sample position. A loop pass ends exactly at the
// tune's length; notes still held then are released, nothing else is reset,
// so reverb tails and sustained pads run across the seam. Nothing is
// allocated while playing.
//
// Audio devices: FluidSynth's drivers for the system's sound server
// ("pulseaudio", then "alsa"). The environment variable NEREVAL_AUDIO_DRIVER
// overrides that for developers and tests: a FluidSynth driver name, "null"
// (a silent output paced in real time, so the saver runs and synthesises on
// machines without sound), or "none" (no device can be opened: InitAudio
// fails as it would without any sound hardware). NEREVAL_SOUNDFONT names a
// soundfont to use instead of the system's General-MIDI one.
//
// Threads: every call comes from one thread; the audio thread only renders.
// A mutex guards the sequencer state they share.
#pragma once

#include <atomic>
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/audio/midi_file.h"
#include "platform/base/wintypes.h"

// Values of the original music system (same numbers).
constexpr DWORD kSegmentRepeatInfinite = 0xFFFFFFFF;
constexpr DWORD kPlayOnBeat = 0x1000;
constexpr DWORD kPathSharedStereoPlusReverb = 8;
constexpr DWORD kAudioFeaturesAll = 0x3F;
constexpr long kVolumeMin = -20000;  // hundredths of a decibel
constexpr long kVolumeMax = 2000;
constexpr HRESULT DSERR_NODRIVER = static_cast<HRESULT>(0x88780078u);  // no audio device
constexpr HRESULT CO_E_NOTINITIALIZED = static_cast<HRESULT>(0x800401F0u);

constexpr float kBaseGain = 0.2f;  // FluidSynth's own default gain: the level at volume 0

class SynthPerformance;
struct FluidState;  // FluidSynth's objects, hidden from the callers

// A loaded tune. Owned by its creator; unloads itself from the performance
// it was downloaded to when destroyed.
class SynthSegment {
public:
    SynthSegment() = default;
    SynthSegment(const SynthSegment&) = delete;
    SynthSegment& operator=(const SynthSegment&) = delete;
    ~SynthSegment();

    // Extra passes after the first; kSegmentRepeatInfinite loops forever.
    HRESULT SetRepeats(DWORD count);
    DWORD GetRepeats() const { return m_repeats; }
    // Marks the tune as a standard MIDI file on the General-MIDI set: every
    // channel starts from its GM defaults (program 0, controllers reset)
    // when the segment starts.
    void SetStandardMidiFile() { m_standardMidi = true; }
    const MidiSong& Song() const { return m_song; }
    double LengthSeconds() const { return m_song.lengthSeconds; }

private:
    friend class SynthLoader;
    friend class SynthPerformance;
    MidiSong m_song;
    DWORD m_repeats = 0;
    bool m_standardMidi = false;
    SynthPerformance* m_downloadedTo = nullptr;
    std::vector<std::uint64_t> m_samples;  // each event's sample offset in a pass (after Download)
    std::uint64_t m_length = 0;          // samples in one pass (after Download)
};

// Reads tunes through our own MIDI file reader.
class SynthLoader {
public:
    // E_FAIL when the file cannot be read or is refused; LastRefusal says why.
    HRESULT LoadSegmentFromFile(const char* path, std::unique_ptr<SynthSegment>* segment);
    // The bytes are copied as far as the segment needs them.
    HRESULT LoadSegmentFromMemory(const void* data, std::size_t size, std::unique_ptr<SynthSegment>* segment);
    // Why the last load failed (a static text), or null after a success.
    const char* LastRefusal() const { return m_refusal; }

private:
    const char* m_refusal = nullptr;
};

struct SynthOptions {
    // Null: NEREVAL_AUDIO_DRIVER, else the system's sound server.
    // "offline": no device and no thread; the caller renders with Render.
    const char* driver = nullptr;
    int sampleRate = 44100;
    // Null: NEREVAL_SOUNDFONT, else the first General-MIDI soundfont found
    // among the system's usual paths (KnownSoundFonts).
    const char* soundFont = nullptr;
};

// The standard places of a General-MIDI soundfont, in order of preference;
// ended by a null.
const char* const* KnownSoundFonts();

class SynthPerformance {
public:
    SynthPerformance();
    SynthPerformance(const SynthPerformance&) = delete;
    SynthPerformance& operator=(const SynthPerformance&) = delete;
    ~SynthPerformance();  // closes down

    // Creates the synthesizer, loads the soundfont and opens the audio
    // output. DSERR_NODRIVER when no audio device opens, E_FAIL when no
    // soundfont loads; the performance is then closed down again and
    // InitFailure says why in the user's terms.
    HRESULT InitAudio(DWORD defaultPathType, DWORD channelCount, DWORD features, const SynthOptions& options = {});
    HRESULT Download(SynthSegment* segment);
    HRESULT Unload(SynthSegment* segment);
    // Starts a downloaded segment as the one playing (replacing any other).
    HRESULT PlaySegment(SynthSegment* segment, DWORD flags);
    // Stops the segment (null: whatever plays) and releases its notes; the
    // sounds fade by their own release and reverb.
    HRESULT Stop(SynthSegment* segment, DWORD flags);
    // S_OK while the segment plays (or waits for its beat), S_FALSE otherwise.
    HRESULT IsPlaying(SynthSegment* segment);
    HRESULT SetMasterVolume(long hundredthsOfDb);
    // Stops everything, closes the audio output and frees the synthesizer.
    void CloseDown();

    // Offline mode only: renders `frames` stereo frames into the two buffers
    // (overwritten), sequencing the playing segment.
    HRESULT Render(float* left, float* right, int frames);

    int SampleRate() const { return m_sampleRate; }
    float Gain() const;
    // Voices sounding now, including notes in their release (0 when closed).
    int ActiveVoiceCount() const;
    std::uint64_t SamplesRendered() const;
    // The audio driver in use ("offline", "null", "pulseaudio", ...), or null.
    const char* DriverName() const { return m_driver; }
    const char* SoundFontPath() const { return m_soundFont; }
    // Why the last InitAudio failed, or an empty text.
    const char* InitFailure() const { return m_initFailure; }
    // Performances whose synthesizer currently exists (for tests).
    static int LiveSynthCount();

private:
    static int AudioCallback(void* self, int len, int nfx, float* fx[], int nout, float* out[]);
    void NullDriverLoop();
    // The three steps of InitAudio; each false or failing leaves the
    // reason in m_initFailure where it has one, and InitAudio closes down.
    bool CreateSynth(DWORD channelCount);
    bool LoadSoundFont(const SynthOptions& options);
    HRESULT OpenOutput(const SynthOptions& options);
    void RenderLocked(float* left, float* right, int frames);
    void DispatchDue();
    std::uint64_t NextChange() const;
    void Send(const SynthSegment& seg, const MidiEvent& ev);
    void ReleaseHeldNotes();

    std::unique_ptr<FluidState> m_fluid;
    int m_sampleRate = 44100;
    const char* m_driver = nullptr;
    const char* m_soundFont = nullptr;
    char m_soundFontBuf[512] = {};
    char m_initFailure[600] = {};

    // Sequencer state, shared with the audio thread under m_mutex.
    mutable std::mutex m_mutex;
    SynthSegment* m_current = nullptr;
    std::size_t m_next = 0;            // next event of the current pass
    std::uint64_t m_passStart = 0;    // sample where the current pass starts
    DWORD m_repeatsLeft = 0;
    bool m_resetChannels = false;      // GM defaults due at the segment's start
    std::uint64_t m_now = 0;          // samples rendered since InitAudio
    std::uint32_t m_tempo = 500000;   // microseconds per quarter, for the beat grid
    std::uint64_t m_tempoAnchor = 0;  // sample where that tempo took effect
    std::bitset<16 * 128> m_held;       // notes on, per channel and key
    std::vector<SynthSegment*> m_downloaded;  // forgotten by the segments when the performance goes

    // The "null" output: a thread paced in real time.
    std::thread m_nullThread;
    std::atomic<bool> m_nullRun{false};
    std::vector<float> m_nullBuffer;
};
