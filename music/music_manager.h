// MusicManager: owns the performance and the loader, and makes segments from
// a file or from an embedded resource. Created by the lifecycle only when
// music is on; deleting it stops everything and closes the performance down.
#pragma once

#include "music/music_segment.h"
#include "platform/audio/synth.h"
#include "platform/os/window.h"

class MusicManager {
public:
    MusicManager() = default;
    MusicManager(const MusicManager&) = delete;
    MusicManager& operator=(const MusicManager&) = delete;
    // Stops the performance and closes it down. Segments go first.
    ~MusicManager();

    // Opens the performance: `channelCount` performance channels on the
    // default audio path `defaultPathType` (see platform/audio/synth.h for
    // how both map to the synthesizer). The window is not needed here.
    HRESULT Initialize(HWND hwnd, DWORD channelCount, DWORD defaultPathType);
    // The same with explicit synthesizer options (offline rendering in tools and tests).
    HRESULT Initialize(HWND hwnd, DWORD channelCount, DWORD defaultPathType, const SynthOptions& options);

    // Loads a MIDI file into a new segment stored in *segment (left null when
    // loading fails). `download` downloads the instruments; `isMidi` marks a
    // standard MIDI file on the General-MIDI set. When a later step fails
    // the segment is already stored, as the caller expects.
    HRESULT CreateSegmentFromFile(std::unique_ptr<MusicSegment>* segment, const char* fileName, BOOL download, BOOL isMidi);
    // The same from the embedded resource `name` of type `type`; E_FAIL when
    // there is no such resource.
    HRESULT CreateSegmentFromResource(std::unique_ptr<MusicSegment>* segment, const char* name, const char* type, BOOL download,
                                      BOOL isMidi);

    SynthPerformance* GetPerformance() { return m_pPerformance.get(); }
    // Why the last Initialize failed (no soundfont, no audio output), or an empty text.
    const char* InitFailure() const { return m_szInitFailure; }
    // Why the last file or resource was refused (static text), or null.
    const char* LastRefusal() const { return m_Loader.LastRefusal(); }

private:
    HRESULT Wrap(std::unique_ptr<MusicSegment>* segment, std::unique_ptr<SynthSegment> loaded, BOOL download, BOOL isMidi);

    SynthLoader m_Loader;
    std::unique_ptr<SynthPerformance> m_pPerformance;  // null until Initialize
    char m_szInitFailure[600] = {};
};
