// The saver's background music, as start-up uses it: which tune to load (the
// user's file, else the built-in one) and how it plays (endless, +5 dB, on
// the beat). Shared by the lifecycle and tools/tunerender.
#pragma once

#include "music/music_manager.h"

constexpr const char* kBGMResourceName = "tune_main.mid";  // fixed resource name
constexpr const char* kBGMResourceType = "Midi";           // fixed resource type
constexpr long kBGMMasterVolume = 500;                     // hundredths of a decibel: +5 dB

// Loads the tune: when `userFile` differs (exactly) from "tune_main.mid" the
// file is tried first; when it fails, or otherwise, the built-in resource.
// Both with instrument download, as standard MIDI files. *segment holds the
// result (possibly a partly set-up segment after a failure). *fellBack is set when the user's file was tried and refused (the
// reason is the manager's LastRefusal at that moment, copied to *reason).
// Returns the built-in tune's result when that is needed and fails.
HRESULT LoadBGMSegment(MusicManager* manager, const char* userFile, std::unique_ptr<MusicSegment>* segment, bool* fellBack = nullptr,
                       const char** reason = nullptr);

// Endless repeats, master volume +5 dB (E_FAIL when it cannot be set), play
// on the next beat.
HRESULT PlayBGMSegment(MusicManager* manager, MusicSegment* segment);
