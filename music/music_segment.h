// MusicSegment: one loaded tune on the performance: instrument download,
// repeats, play, stop, and unload when it is deleted.
#pragma once

#include <memory>

#include "platform/audio/synth.h"
#include "platform/base/wintypes.h"

class MusicSegment {
public:
    // Takes the loaded segment; the performance and loader are not owned and
    // must outlive this object.
    MusicSegment(SynthPerformance* performance, SynthLoader* loader, std::unique_ptr<SynthSegment> segment);
    MusicSegment(const MusicSegment&) = delete;
    MusicSegment& operator=(const MusicSegment&) = delete;
    // Unloads the instruments (stopping the tune if it plays) and frees the segment.
    virtual ~MusicSegment();

    // Standard MIDI files have no audio-path configuration of their own, so
    // there is no embedded path: the performance's default path is always used.
    HRESULT Download();
    // E_FAIL before a successful Download.
    HRESULT Play(DWORD flags);
    HRESULT Stop(DWORD flags);
    // 1 while playing, 0 otherwise; CO_E_NOTINITIALIZED without segment or performance.
    HRESULT IsPlaying();
    HRESULT SetRepeats(DWORD count);

    SynthSegment* GetSegment() const { return m_pSegment.get(); }
    int IsDownloaded() const { return m_bDownloaded; }

private:
    std::unique_ptr<SynthSegment> m_pSegment;
    SynthLoader* m_pLoader;             // not owned
    SynthPerformance* m_pPerformance;   // not owned
    int m_bDownloaded = 0;
};
