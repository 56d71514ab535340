// The music platform on FluidSynth: synthesizer set-up, audio outputs, the
// loader, and the sample-accurate sequencer that loops a segment.
#include "platform/audio/synth.h"

#include <fluidsynth.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

#include <dlfcn.h>
#include <pthread.h>
#include <sys/stat.h>

// FluidSynth is opened when the first synthesizer is made, not with the
// program: a saver that plays no music never maps it, nor the sound servers
// and codecs it brings (a tenth of the libraries, about 5 ms of every start).
// Its functions are called through these pointers, named as the library
// names them.
#define NRV_FLUID_FUNCTIONS(X) \
    X(new_fluid_settings) \
    X(delete_fluid_settings) \
    X(fluid_settings_setint) \
    X(fluid_settings_setnum) \
    X(fluid_settings_setstr) \
    X(new_fluid_synth) \
    X(delete_fluid_synth) \
    X(fluid_synth_sfload) \
    X(new_fluid_audio_driver2) \
    X(delete_fluid_audio_driver) \
    X(fluid_set_log_function) \
    X(fluid_synth_set_gain) \
    X(fluid_synth_get_gain) \
    X(fluid_synth_get_active_voice_count) \
    X(fluid_synth_write_float) \
    X(fluid_synth_program_reset) \
    X(fluid_synth_cc) \
    X(fluid_synth_sysex) \
    X(fluid_synth_noteoff) \
    X(fluid_synth_noteon) \
    X(fluid_synth_key_pressure) \
    X(fluid_synth_program_change) \
    X(fluid_synth_channel_pressure) \
    X(fluid_synth_pitch_bend)
namespace fl {
#define NRV_FLUID_POINTER(name) decltype(&::name) name = nullptr;
NRV_FLUID_FUNCTIONS(NRV_FLUID_POINTER)
#undef NRV_FLUID_POINTER
}  // namespace fl

namespace {

// Opens the library and finds every function, once; the text says why not.
bool LoadFluid(const char** why) {
    static const char* const failure = []() -> const char* {
        void* lib = dlopen(NEREVAL_FLUIDSYNTH_SONAME, RTLD_NOW | RTLD_LOCAL);
        if (!lib) return "the FluidSynth library (" NEREVAL_FLUIDSYNTH_SONAME ") cannot be opened";
#define NRV_FLUID_RESOLVE(name)                                               \
    fl::name = reinterpret_cast<decltype(fl::name)>(dlsym(lib, #name));       \
    if (!fl::name) return "the FluidSynth library lacks " #name;
        NRV_FLUID_FUNCTIONS(NRV_FLUID_RESOLVE)
#undef NRV_FLUID_RESOLVE
        return nullptr;  // kept open for the process: its threads may outlive any one synthesizer
    }();
    *why = failure;
    return failure == nullptr;
}

}  // namespace

struct FluidState {
    fluid_settings_t* settings = nullptr;
    fluid_synth_t* synth = nullptr;
    fluid_audio_driver_t* driver = nullptr;
};

namespace {

std::atomic<int> g_liveSynths{0};

constexpr int kNullPeriod = 512;  // frames per block of the "null" output

// FluidSynth's warnings and notices would go to stderr of a program that
// usually has none; errors still do.
// FluidSynth's last error message: its errors are not printed (the saver says
// in one line of its own why music is off), but the output's reason is kept.
std::mutex g_fluidErrorLock;
char g_szFluidError[256];

void KeepFluidError(int, const char* message, void*) {
    std::lock_guard<std::mutex> lock(g_fluidErrorLock);
    std::snprintf(g_szFluidError, sizeof g_szFluidError, "%s", message ? message : "");
}

void QuietFluidLogs() {
    static const bool done = [] {
        fl::fluid_set_log_function(FLUID_PANIC, KeepFluidError, nullptr);
        fl::fluid_set_log_function(FLUID_ERR, KeepFluidError, nullptr);
        fl::fluid_set_log_function(FLUID_WARN, nullptr, nullptr);
        fl::fluid_set_log_function(FLUID_INFO, nullptr, nullptr);
        fl::fluid_set_log_function(FLUID_DBG, nullptr, nullptr);
        return true;
    }();
    (void)done;
}

bool FileExists(const char* path) {
    std::ifstream f(path, std::ios::binary);
    return static_cast<bool>(f);
}

}  // namespace

const char* const* KnownSoundFonts() {
    static const char* const kPaths[] = {
        "/usr/share/sounds/sf2/default-GM.sf2",  // the Debian alternative
        "/usr/share/sounds/sf2/FluidR3_GM.sf2",
        "/usr/share/sounds/sf2/TimGM6mb.sf2",
        "/usr/share/sounds/sf3/default-GM.sf3",
        "/usr/share/sounds/sf3/MuseScore_General.sf3",
        "/usr/share/soundfonts/default.sf2",
        "/usr/share/soundfonts/FluidR3_GM.sf2",
        nullptr,
    };
    return kPaths;
}

// ---- segment and loader ----

SynthSegment::~SynthSegment() {
    if (m_downloadedTo) m_downloadedTo->Unload(this);
}

HRESULT SynthSegment::SetRepeats(DWORD count) {
    m_repeats = count;
    return S_OK;
}

HRESULT SynthLoader::LoadSegmentFromMemory(const void* data, std::size_t size, std::unique_ptr<SynthSegment>* segment) {
    segment->reset();
    auto seg = std::make_unique<SynthSegment>();
    m_refusal = ReadMidiFile(static_cast<const std::uint8_t*>(data), size, &seg->m_song);
    if (m_refusal) return E_FAIL;
    *segment = std::move(seg);
    return S_OK;
}

HRESULT SynthLoader::LoadSegmentFromFile(const char* path, std::unique_ptr<SynthSegment>* segment) {
    segment->reset();
    if (!path || !*path) {
        m_refusal = "no file name";
        return E_FAIL;
    }
    // Folders, pipes and devices are refused before opening: a pipe would block.
    struct stat st {};
    if (::stat(path, &st) != 0) {
        m_refusal = "the file cannot be opened";
        return E_FAIL;
    }
    if (!S_ISREG(st.st_mode)) {
        m_refusal = "not a regular file";
        return E_FAIL;
    }
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) {
        m_refusal = "the file cannot be opened";
        return E_FAIL;
    }
    const std::streamoff size = in.tellg();
    if (size < 0) {
        m_refusal = "the file cannot be read";
        return E_FAIL;
    }
    // The size checked here is the file's, before anything is allocated.
    if (static_cast<std::uint64_t>(size) > kMaxMidiFileBytes) {
        m_refusal = "the file is too large";
        return E_FAIL;
    }
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    in.seekg(0);
    if (size > 0 && !in.read(reinterpret_cast<char*>(bytes.data()), size)) {
        m_refusal = "the file cannot be read";
        return E_FAIL;
    }
    return LoadSegmentFromMemory(bytes.data(), bytes.size(), segment);
}

// ---- performance: set-up and close-down ----

SynthPerformance::SynthPerformance() = default;

SynthPerformance::~SynthPerformance() {
    CloseDown();
    for (SynthSegment* seg : m_downloaded) seg->m_downloadedTo = nullptr;
}

int SynthPerformance::LiveSynthCount() {
    return g_liveSynths.load();
}

HRESULT SynthPerformance::InitAudio(DWORD defaultPathType, DWORD channelCount, DWORD, const SynthOptions& options) {
    if (m_fluid) return E_FAIL;  // already initialised
    m_initFailure[0] = '\0';
    const char* unavailable = nullptr;
    if (!LoadFluid(&unavailable)) {
        std::snprintf(m_initFailure, sizeof m_initFailure, "%s", unavailable);
        return E_FAIL;
    }
    QuietFluidLogs();
    (void)defaultPathType;  // every path type maps to the one stereo output with reverb (see the header)
    m_sampleRate = std::clamp(options.sampleRate, 8000, 96000);
    if (!CreateSynth(channelCount) || !LoadSoundFont(options)) {
        CloseDown();
        return E_FAIL;
    }
    m_now = 0;
    m_tempoAnchor = 0;
    m_tempo = 500000;
    const HRESULT hr = OpenOutput(options);
    if (FAILED(hr)) CloseDown();
    return hr;
}

bool SynthPerformance::CreateSynth(DWORD channelCount) {
    m_fluid = std::make_unique<FluidState>();
    FluidState& f = *m_fluid;
    f.settings = fl::new_fluid_settings();
    if (!f.settings) return false;
    const int channels = std::clamp((static_cast<int>(std::min<DWORD>(channelCount, 256)) + 15) / 16 * 16, 16, 256);
    fl::fluid_settings_setint(f.settings, "synth.midi-channels", channels);
    fl::fluid_settings_setnum(f.settings, "synth.sample-rate", m_sampleRate);
    fl::fluid_settings_setint(f.settings, "synth.audio-channels", 1);
    fl::fluid_settings_setint(f.settings, "synth.reverb.active", 1);
    fl::fluid_settings_setint(f.settings, "synth.chorus.active", 1);
    fl::fluid_settings_setnum(f.settings, "synth.gain", kBaseGain);
    fl::fluid_settings_setint(f.settings, "synth.cpu-cores", 1);
    f.synth = fl::new_fluid_synth(f.settings);
    if (!f.synth) return false;
    ++g_liveSynths;
    return true;
}

bool SynthPerformance::LoadSoundFont(const SynthOptions& options) {
    // The caller's, the developer's, or the system's GM set.
    const char* font = options.soundFont ? options.soundFont : std::getenv("NEREVAL_SOUNDFONT");
    if (!font || !*font) {
        font = nullptr;
        for (const char* const* p = KnownSoundFonts(); *p; ++p) {
            if (FileExists(*p)) {
                font = *p;
                break;
            }
        }
    }
    if (!font || fl::fluid_synth_sfload(m_fluid->synth, font, 1) == FLUID_FAILED) {
        if (font) {
            std::snprintf(m_initFailure, sizeof m_initFailure, "the soundfont %s cannot be loaded", font);
        } else {
            std::snprintf(m_initFailure, sizeof m_initFailure,
                          "no General-MIDI soundfont is installed (looked for %s and the other usual places)",
                          KnownSoundFonts()[0]);
        }
        return false;
    }
    std::snprintf(m_soundFontBuf, sizeof m_soundFontBuf, "%s", font);
    m_soundFont = m_soundFontBuf;
    return true;
}

HRESULT SynthPerformance::OpenOutput(const SynthOptions& options) {
    FluidState& f = *m_fluid;
    const char* driver = options.driver ? options.driver : std::getenv("NEREVAL_AUDIO_DRIVER");
    if (driver && !*driver) driver = nullptr;
    if (driver && std::strcmp(driver, "offline") == 0) {
        m_driver = "offline";
        return S_OK;
    }
    if (driver && std::strcmp(driver, "none") == 0) {
        std::snprintf(m_initFailure, sizeof m_initFailure, "no audio output (NEREVAL_AUDIO_DRIVER=none)");
        return DSERR_NODRIVER;
    }
    if (driver && std::strcmp(driver, "null") == 0) {
        m_nullBuffer.assign(2 * kNullPeriod, 0.0f);
        m_nullRun = true;
        m_nullThread = std::thread(&SynthPerformance::NullDriverLoop, this);
        m_driver = "null";
        return S_OK;
    }
    static const char* const kSystemDrivers[] = {"pulseaudio", "alsa"};
    for (const char* name : kSystemDrivers) {
        if (driver && std::strcmp(driver, name) != 0) continue;
        fl::fluid_settings_setstr(f.settings, "audio.driver", name);
        f.driver = fl::new_fluid_audio_driver2(f.settings, &SynthPerformance::AudioCallback, this);
        if (f.driver) {
            m_driver = name;
            return S_OK;
        }
    }
    if (driver && std::strcmp(driver, "pulseaudio") != 0 && std::strcmp(driver, "alsa") != 0) {
        // Another FluidSynth driver asked for by name (jack, sdl2, ...).
        if (fl::fluid_settings_setstr(f.settings, "audio.driver", driver) == FLUID_OK) {
            f.driver = fl::new_fluid_audio_driver2(f.settings, &SynthPerformance::AudioCallback, this);
            if (f.driver) {
                m_driver = driver;
                return S_OK;
            }
        }
    }
    std::lock_guard<std::mutex> lock(g_fluidErrorLock);
    std::snprintf(m_initFailure, sizeof m_initFailure, "no audio output could be opened (tried %s%s%s)",
                  driver ? driver : "pulseaudio, alsa", *g_szFluidError ? ": " : "", g_szFluidError);
    return DSERR_NODRIVER;
}

void SynthPerformance::CloseDown() {
    if (m_nullRun) {
        m_nullRun = false;
        if (m_nullThread.joinable()) m_nullThread.join();
    }
    if (m_fluid) {
        // The output goes first: after it the audio thread no longer runs.
        if (m_fluid->driver) fl::delete_fluid_audio_driver(m_fluid->driver);
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_current) m_current = nullptr;
        }
        if (m_fluid->synth) {
            fl::delete_fluid_synth(m_fluid->synth);
            --g_liveSynths;
        }
        if (m_fluid->settings) fl::delete_fluid_settings(m_fluid->settings);
        m_fluid.reset();
    }
    m_driver = nullptr;
    m_soundFont = nullptr;
    m_held.reset();
}

// ---- segments on the performance ----

HRESULT SynthPerformance::Download(SynthSegment* segment) {
    if (!segment) return E_INVALIDARG;
    if (!m_fluid) return CO_E_NOTINITIALIZED;
    if (segment->m_downloadedTo && segment->m_downloadedTo != this) return E_FAIL;
    // The tempo map in samples of this performance; a pass is at least one sample.
    const double rate = m_sampleRate;
    std::vector<std::uint64_t> samples;
    samples.reserve(segment->m_song.events.size());
    for (const MidiEvent& ev : segment->m_song.events) samples.push_back(std::llround(ev.seconds * rate));
    const std::uint64_t length = std::max<std::uint64_t>(1, std::llround(segment->m_song.lengthSeconds * rate));
    std::lock_guard<std::mutex> lock(m_mutex);
    segment->m_samples = std::move(samples);
    segment->m_length = length;
    if (segment->m_downloadedTo != this) m_downloaded.push_back(segment);
    segment->m_downloadedTo = this;
    return S_OK;
}

HRESULT SynthPerformance::Unload(SynthSegment* segment) {
    if (!segment || segment->m_downloadedTo != this) return E_INVALIDARG;
    Stop(segment, 0);
    std::lock_guard<std::mutex> lock(m_mutex);
    segment->m_downloadedTo = nullptr;
    m_downloaded.erase(std::remove(m_downloaded.begin(), m_downloaded.end(), segment), m_downloaded.end());
    return S_OK;
}

HRESULT SynthPerformance::PlaySegment(SynthSegment* segment, DWORD flags) {
    if (!segment) return E_INVALIDARG;
    if (!m_fluid) return CO_E_NOTINITIALIZED;
    if (segment->m_downloadedTo != this) return E_FAIL;
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_current) ReleaseHeldNotes();
    std::uint64_t start = m_now;
    if (flags & kPlayOnBeat) {
        // The next beat of the performance's tempo grid (now, when on a beat).
        const std::uint64_t beat =
            std::max<std::uint64_t>(1, std::llround(m_tempo / 1e6 * m_sampleRate));
        const std::uint64_t since = m_now - m_tempoAnchor;
        start = m_tempoAnchor + (since + beat - 1) / beat * beat;
    }
    m_current = segment;
    m_next = 0;
    m_passStart = start;
    m_repeatsLeft = segment->m_repeats;
    m_resetChannels = segment->m_standardMidi;
    return S_OK;
}

HRESULT SynthPerformance::Stop(SynthSegment* segment, DWORD) {
    if (!m_fluid) return CO_E_NOTINITIALIZED;
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_current && (!segment || segment == m_current)) {
        ReleaseHeldNotes();
        m_current = nullptr;
    }
    return S_OK;
}

HRESULT SynthPerformance::IsPlaying(SynthSegment* segment) {
    if (!m_fluid) return CO_E_NOTINITIALIZED;
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_current && (!segment || segment == m_current) ? S_OK : S_FALSE;
}

HRESULT SynthPerformance::SetMasterVolume(long hundredthsOfDb) {
    if (!m_fluid) return CO_E_NOTINITIALIZED;
    if (hundredthsOfDb < kVolumeMin || hundredthsOfDb > kVolumeMax) return E_INVALIDARG;
    fl::fluid_synth_set_gain(m_fluid->synth, kBaseGain * static_cast<float>(std::pow(10.0, hundredthsOfDb / 2000.0)));
    return S_OK;
}

float SynthPerformance::Gain() const {
    return m_fluid ? fl::fluid_synth_get_gain(m_fluid->synth) : 0.0f;
}

int SynthPerformance::ActiveVoiceCount() const {
    return m_fluid ? fl::fluid_synth_get_active_voice_count(m_fluid->synth) : 0;
}

std::uint64_t SynthPerformance::SamplesRendered() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_now;
}

// ---- rendering and sequencing ----

HRESULT SynthPerformance::Render(float* left, float* right, int frames) {
    if (!m_fluid) return CO_E_NOTINITIALIZED;
    if (m_fluid->driver || m_nullRun) return E_FAIL;  // a device is rendering already
    if (!left || !right || frames < 0) return E_INVALIDARG;
    std::lock_guard<std::mutex> lock(m_mutex);
    RenderLocked(left, right, frames);
    return S_OK;
}

int SynthPerformance::AudioCallback(void* self, int len, int, float*[], int nout, float* out[]) {
    auto* p = static_cast<SynthPerformance*>(self);
    if (nout < 2) return FLUID_FAILED;
    std::lock_guard<std::mutex> lock(p->m_mutex);
    p->RenderLocked(out[0], out[1], len);
    return FLUID_OK;
}

void SynthPerformance::NullDriverLoop() {
    pthread_setname_np(pthread_self(), "nrv-audio");  // visible in top -H and /proc
    using clock = std::chrono::steady_clock;
    const auto period = std::chrono::duration_cast<clock::duration>(
        std::chrono::duration<double>(static_cast<double>(kNullPeriod) / m_sampleRate));
    auto next = clock::now();
    while (m_nullRun) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            RenderLocked(m_nullBuffer.data(), m_nullBuffer.data() + kNullPeriod, kNullPeriod);
        }
        next += period;
        std::this_thread::sleep_until(next);
    }
}

void SynthPerformance::RenderLocked(float* left, float* right, int frames) {
    int done = 0;
    while (done < frames) {
        int n = frames - done;
        if (m_current) {
            DispatchDue();
            if (m_current) {
                const std::uint64_t next = NextChange();
                if (next > m_now) n = static_cast<int>(std::min<std::uint64_t>(n, next - m_now));
            }
        }
        fl::fluid_synth_write_float(m_fluid->synth, n, left, done, 1, right, done, 1);
        done += n;
        m_now += n;
    }
}

// The sample at which the sequencer next has something to do.
std::uint64_t SynthPerformance::NextChange() const {
    const SynthSegment& seg = *m_current;
    if (m_now < m_passStart) return m_passStart;
    if (m_next < seg.m_samples.size()) return m_passStart + seg.m_samples[m_next];
    return m_passStart + seg.m_length;
}

// Sends every event due at the current sample; at the end of a pass,
// releases held notes and starts the next pass (or ends the segment).
void SynthPerformance::DispatchDue() {
    while (m_current && m_now >= m_passStart) {
        const SynthSegment& seg = *m_current;
        if (m_resetChannels) {
            m_resetChannels = false;
            fl::fluid_synth_program_reset(m_fluid->synth);
            for (int ch = 0; ch < 16; ++ch) fl::fluid_synth_cc(m_fluid->synth, ch, 121, 0);
        }
        const std::size_t count = seg.m_samples.size();
        while (m_next < count && m_passStart + seg.m_samples[m_next] <= m_now) {
            Send(seg, seg.m_song.events[m_next]);
            ++m_next;
        }
        if (m_next < count || m_passStart + seg.m_length > m_now) return;
        // The pass is over at this very sample.
        ReleaseHeldNotes();
        if (m_repeatsLeft == 0) {
            m_current = nullptr;
            return;
        }
        if (m_repeatsLeft != kSegmentRepeatInfinite) --m_repeatsLeft;
        m_passStart += seg.m_length;
        m_next = 0;
        m_tempo = 500000;
        m_tempoAnchor = m_passStart;
    }
}

void SynthPerformance::Send(const SynthSegment& seg, const MidiEvent& ev) {
    fluid_synth_t* s = m_fluid->synth;
    switch (ev.kind) {
    case MidiEventKind::Tempo:
        m_tempo = ev.tempo;
        m_tempoAnchor = m_now;
        return;
    case MidiEventKind::SysEx:
        fl::fluid_synth_sysex(s, reinterpret_cast<const char*>(seg.m_song.sysex.data() + ev.sysexOffset),
                          static_cast<int>(ev.sysexLength), nullptr, nullptr, nullptr, 0);
        return;
    case MidiEventKind::Channel:
        break;
    }
    const int ch = ev.status & 0x0F;
    switch (ev.status & 0xF0) {
    case 0x80:
        fl::fluid_synth_noteoff(s, ch, ev.data1);
        m_held.reset(static_cast<std::size_t>(ch * 128 + ev.data1));
        break;
    case 0x90:
        fl::fluid_synth_noteon(s, ch, ev.data1, ev.data2);
        m_held.set(static_cast<std::size_t>(ch * 128 + ev.data1));
        break;
    case 0xA0: fl::fluid_synth_key_pressure(s, ch, ev.data1, ev.data2); break;
    case 0xB0: fl::fluid_synth_cc(s, ch, ev.data1, ev.data2); break;
    case 0xC0: fl::fluid_synth_program_change(s, ch, ev.data1); break;
    case 0xD0: fl::fluid_synth_channel_pressure(s, ch, ev.data1); break;
    case 0xE0: fl::fluid_synth_pitch_bend(s, ch, ev.data1 | (ev.data2 << 7)); break;
    default: break;
    }
}

void SynthPerformance::ReleaseHeldNotes() {
    if (m_held.none()) return;
    for (std::size_t i = 0; i < m_held.size(); ++i) {
        if (!m_held.test(i)) continue;
        fl::fluid_synth_noteoff(m_fluid->synth, static_cast<int>(i / 128), static_cast<int>(i % 128));
    }
    m_held.reset();
}
