// MusicManager: performance set-up, segments from files and resources,
// close-down.
#include "music/music_manager.h"

#include <cstdio>
#include <utility>

#include "platform/base/alloc.h"
#include "platform/os/resource.h"

MusicManager::~MusicManager() {
    if (m_pPerformance) {
        m_pPerformance->Stop(nullptr, 0);
        m_pPerformance->CloseDown();
        m_pPerformance.reset();
    }
}

HRESULT MusicManager::Initialize(HWND hwnd, DWORD channelCount, DWORD defaultPathType) {
    return Initialize(hwnd, channelCount, defaultPathType, SynthOptions{});
}

HRESULT MusicManager::Initialize(HWND, DWORD channelCount, DWORD defaultPathType, const SynthOptions& options) {
    if (m_pPerformance) return E_FAIL;
    auto performance = std::make_unique<SynthPerformance>();
    HRESULT hr = performance->InitAudio(defaultPathType, channelCount, kAudioFeaturesAll, options);
    std::snprintf(m_szInitFailure, sizeof m_szInitFailure, "%s", performance->InitFailure());
    if (FAILED(hr)) return hr;
    m_pPerformance = std::move(performance);
    return S_OK;
}

HRESULT MusicManager::Wrap(std::unique_ptr<MusicSegment>* segment, std::unique_ptr<SynthSegment> loaded, BOOL download, BOOL isMidi) {
    *segment = NewUnique<MusicSegment>(m_pPerformance.get(), &m_Loader, std::move(loaded));
    MusicSegment* wrapper = segment->get();
    if (!wrapper) return E_OUTOFMEMORY;
    if (isMidi) wrapper->GetSegment()->SetStandardMidiFile();
    if (download) {
        HRESULT hr = wrapper->Download();
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

HRESULT MusicManager::CreateSegmentFromFile(std::unique_ptr<MusicSegment>* segment, const char* fileName, BOOL download,
                                            BOOL isMidi) {
    if (!segment) return E_INVALIDARG;
    segment->reset();
    if (!m_pPerformance) return CO_E_NOTINITIALIZED;
    std::unique_ptr<SynthSegment> loaded;
    HRESULT hr = m_Loader.LoadSegmentFromFile(fileName, &loaded);
    if (FAILED(hr)) return hr;
    return Wrap(segment, std::move(loaded), download, isMidi);
}

HRESULT MusicManager::CreateSegmentFromResource(std::unique_ptr<MusicSegment>* segment, const char* name, const char* type,
                                                BOOL download, BOOL isMidi) {
    if (!segment) return E_INVALIDARG;
    segment->reset();
    if (!m_pPerformance) return CO_E_NOTINITIALIZED;
    const ResourceData res = FindResourceData(name, type);
    if (!res) return E_FAIL;
    std::unique_ptr<SynthSegment> loaded;
    HRESULT hr = m_Loader.LoadSegmentFromMemory(res.data, res.size, &loaded);
    if (FAILED(hr)) return hr;
    return Wrap(segment, std::move(loaded), download, isMidi);
}
