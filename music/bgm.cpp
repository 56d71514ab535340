// The saver's choice of tune and its playback settings.
#include "music/bgm.h"

#include <cstring>

HRESULT LoadBGMSegment(MusicManager* manager, const char* userFile, std::unique_ptr<MusicSegment>* segment, bool* fellBack,
                       const char** reason) {
    if (fellBack) *fellBack = false;
    if (reason) *reason = nullptr;
    segment->reset();
    if (userFile && std::strcmp(userFile, kBGMResourceName) != 0) {
        HRESULT hr = manager->CreateSegmentFromFile(segment, userFile, TRUE, TRUE);
        if (SUCCEEDED(hr)) return hr;
        // A user file that cannot be used is not an error: the built-in tune plays.
        if (fellBack) *fellBack = true;
        if (reason) *reason = manager->LastRefusal() ? manager->LastRefusal() : "the tune cannot be played";
        segment->reset();
    }
    return manager->CreateSegmentFromResource(segment, kBGMResourceName, kBGMResourceType, TRUE, TRUE);
}

HRESULT PlayBGMSegment(MusicManager* manager, MusicSegment* segment) {
    segment->SetRepeats(kSegmentRepeatInfinite);
    if (FAILED(manager->GetPerformance()->SetMasterVolume(kBGMMasterVolume))) return E_FAIL;
    return segment->Play(kPlayOnBeat);
}
