// MusicSegment: the segment calls, checked in the order the saver relies on.
#include "music/music_segment.h"

#include <utility>

MusicSegment::MusicSegment(SynthPerformance* performance, SynthLoader* loader, std::unique_ptr<SynthSegment> segment)
    : m_pSegment(std::move(segment)), m_pLoader(loader), m_pPerformance(performance) {}

MusicSegment::~MusicSegment() {
    if (m_pSegment && m_bDownloaded && m_pPerformance) m_pPerformance->Unload(m_pSegment.get());
    m_pSegment.reset();
    m_pPerformance = nullptr;
}

HRESULT MusicSegment::Download() {
    if (!m_pSegment) return CO_E_NOTINITIALIZED;
    if (!m_pPerformance) return CO_E_NOTINITIALIZED;
    HRESULT hr = m_pPerformance->Download(m_pSegment.get());
    if (SUCCEEDED(hr)) m_bDownloaded = 1;
    return hr;
}

HRESULT MusicSegment::Play(DWORD flags) {
    if (!m_pSegment || !m_pPerformance) return CO_E_NOTINITIALIZED;
    if (!m_bDownloaded) return E_FAIL;
    return m_pPerformance->PlaySegment(m_pSegment.get(), flags);
}

HRESULT MusicSegment::Stop(DWORD flags) {
    if (!m_pSegment || !m_pPerformance) return CO_E_NOTINITIALIZED;
    return m_pPerformance->Stop(m_pSegment.get(), flags);
}

HRESULT MusicSegment::IsPlaying() {
    if (!m_pSegment || !m_pPerformance) return CO_E_NOTINITIALIZED;
    return m_pPerformance->IsPlaying(m_pSegment.get()) == S_OK ? 1 : 0;
}

HRESULT MusicSegment::SetRepeats(DWORD count) {
    if (!m_pSegment) return CO_E_NOTINITIALIZED;
    return m_pSegment->SetRepeats(count);
}
