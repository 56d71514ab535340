// One row per value of the settings file, in record order: everything the
// file, the command line, the dialog and XScreenSaver's page know about a
// value. The file's reading and writing, the record's defaults, the flags
// and --help, and the dialog's ranges and Reset all come from here; the
// settings page (tools/install/nereval.xml) and the manual page's flag list
// (tools/install/nereval.6x.in) are checked against it by the unit tests.
#pragma once

#include <climits>
#include <cstddef>
#include <iterator>
#include <string_view>

#include "settings/settings.h"

// The command-line flag a row gives.
enum class SettingFlag {
    None,    // no flag of its own (another row's flag sets it, or none does)
    Switch,  // --NAME sets 1, --no-NAME sets 0
    Number,  // --NAME N, one of lo..hi
    Choice,  // --NAME WORD, one of the row's words
    Clock,   // --clock WORD: this switch and intClkMod; word value −1 is "off"
    Music,   // --music FILE: this switch on and strBGMUsr = FILE; --no-music
};

// How XScreenSaver's settings page offers the flag. The page shows what a
// daemon's window starts with when nothing is chosen.
enum class SettingPage {
    None,       // not on the page
    Slider,     // <number type="slider" arg="--NAME %"> with lo, hi and the default
    CheckSets,  // <boolean arg-set="--NAME">: unticked on the page
    CheckClears,  // <boolean arg-unset="--no-NAME">: ticked on the page
    Select,     // <select>: the default word's option has no arg-set, every other word's has
    MusicFile,  // <select> of the file's music, the built-in tune or none, and a <file> for --music
};

// What Load does with a stored value outside the row's range.
enum class SettingLoad {
    AsStored,  // uses it as it is (each reader copes)
    Clamped,   // holds it to lo..hi
};

// What the dialog's Reset button does to the row's control.
inline constexpr int kResetKeeps = INT_MIN;          // leaves it as it is
inline constexpr int kResetToDefault = INT_MIN + 1;  // shows the default

struct SettingWord {
    const char* word;
    int value;
};

struct SettingRow {
    const char* name;      // the registry value's name
    int Settings::*field;  // null for strBGMUsr, the one text value
    int lo, hi;            // what the dialog's control and the flag offer; the file is not held to it
    int byDefault;         // integer rows: the default
    const char* text;      // the text row: its default
    int reset;             // the dialog's Reset: a value, kResetToDefault or kResetKeeps
    const char* flag;      // the flag's name without dashes, or null
    SettingFlag kind;
    SettingWord words[3];  // Choice and Clock: the words, in --help's order
    const char* help;      // --help's text; the range and the default are added to it
    SettingPage page;
    SettingLoad load = SettingLoad::AsStored;
};

inline constexpr SettingRow kSettingRows[] = {
    // The frame-rate text is off on XScreenSaver's page: a daemon's window
    // shows it only with --fps, as every hack does.
    {"intChkFPS", &Settings::intChkFPS, 0, 1, 1, nullptr, kResetKeeps,
     "fps", SettingFlag::Switch, {}, "frame-rate text", SettingPage::CheckSets},
    {"intChkCelphn", &Settings::intChkCelphn, 0, 1, 0, nullptr, kResetKeeps,
     "tint", SettingFlag::Switch, {}, "blue cellophane tint", SettingPage::CheckSets},
    {"intChkCol", &Settings::intChkCol, 0, 1, 0, nullptr, kResetKeeps,
     "deep-sea", SettingFlag::Switch, {}, "deep sea: black sea, tumbling light, bubbles", SettingPage::CheckSets},
    {"intCamMod", &Settings::intCamMod, kCameraFloating, kCameraRotating, kCameraFloating, nullptr, kResetToDefault,
     "camera-mode", SettingFlag::Choice, {{"1", kCameraFloating}, {"2", kCameraComposite}, {"3", kCameraRotating}},
     "camera: 1 floating on the rig, 2 composite, 3 rotating", SettingPage::Select},
    // The picture size and aspect belong to the own full screen and the test
    // window: a daemon's window has its own size and aspect.
    {"intDisMod", &Settings::intDisMod, 1, 2, 1, nullptr, kResetToDefault,
     "picture-size", SettingFlag::Choice, {{"640x480", 1}, {"800x600", 2}},
     "picture size of the own full screen", SettingPage::None},
    {"intAspMod", &Settings::intAspMod, 1, 2, 1, nullptr, kResetKeeps,
     "aspect", SettingFlag::Choice, {{"4:3", 1}, {"16:9", 2}},
     "projection aspect of the own full screen and test window", SettingPage::None},
    {"intChkEarth", &Settings::intChkEarth, 0, 1, 1, nullptr, kResetKeeps,
     "earth", SettingFlag::Switch, {}, "the Earth below", SettingPage::CheckClears},
    {"intChkPillar", &Settings::intChkPillar, 0, 1, 1, nullptr, kResetKeeps,
     "pillars", SettingFlag::Switch, {}, "the distant pillars", SettingPage::CheckClears},
    {"intChkFltPillar", &Settings::intChkFltPillar, 0, 1, 1, nullptr, kResetKeeps,
     "floating-pillars", SettingFlag::Switch, {}, "the swinging ring of floating pillars", SettingPage::CheckClears},
    {"intChkMoon", &Settings::intChkMoon, 0, 1, 1, nullptr, kResetKeeps,
     "moons", SettingFlag::Switch, {}, "the moons", SettingPage::CheckClears},
    {"intChkClock", &Settings::intChkClock, 0, 1, 1, nullptr, kResetKeeps,
     "clock", SettingFlag::Clock, {{"world", 0}, {"local", 1}, {"off", -1}},
     "the twelve clocks: world time zones, all local time, or none", SettingPage::Select},
    {"intClkMod", &Settings::intClkMod, 0, 1, 0, nullptr, kResetKeeps,  // set by --clock
     nullptr, SettingFlag::None, {}, nullptr, SettingPage::None},
    {"intChkAnim", &Settings::intChkAnim, 0, 1, 1, nullptr, kResetKeeps,
     "animation", SettingFlag::Switch, {}, "swimming (skinned) whales", SettingPage::CheckClears},
    {"intChkClsn", &Settings::intChkClsn, 0, 1, 1, nullptr, kResetKeeps,
     "collisions", SettingFlag::Switch, {}, "whales avoid the obstacles", SettingPage::CheckClears},
    {"intChkBGM", &Settings::intChkBGM, 0, 1, 0, nullptr, kResetKeeps,
     "music", SettingFlag::Music, {},
     "play this MIDI file (tune_main.mid: the built-in tune); --no-music: silence", SettingPage::MusicFile},
    // The MIDI file's path, kBGMPathSize bytes with its terminator; set by --music.
    {"strBGMUsr", nullptr, 0, kBGMPathSize - 1, 0, kBuiltInTune, kResetToDefault,
     nullptr, SettingFlag::None, {}, nullptr, SettingPage::None},
    {"intChkLargeModel", &Settings::intChkLargeModel, 0, 1, 0, nullptr, kResetKeeps,
     "large-whales", SettingFlag::Switch, {}, "larger whale models", SettingPage::CheckSets},
    // The program draws 1 to 50 whales (the draw queue holds the whales with
    // the clocks and obstacles only up to 50): a stored count is held to them.
    {"intWhlNumCur", &Settings::intWhlNumCur, 1, 50, 30, nullptr, kResetToDefault,
     "whales", SettingFlag::Number, {}, "number of whales", SettingPage::Slider, SettingLoad::Clamped},
    {"intWhlRadiusCur", &Settings::intWhlRadiusCur, 12, 100, 50, nullptr, kResetToDefault,
     "radius", SettingFlag::Number, {}, "how far a whale sees its neighbours", SettingPage::Slider},
    {"intWhlSpeedCur", &Settings::intWhlSpeedCur, 1, 150, 100, nullptr, kResetToDefault,
     "speed", SettingFlag::Number, {}, "swimming speed in percent", SettingPage::Slider},
    {"intWhlSepForceCur", &Settings::intWhlSepForceCur, 1, 100, 100, nullptr, kResetToDefault,
     "separation", SettingFlag::Number, {}, "separation weight in percent", SettingPage::Slider},
    // Reset gives 25 where a fresh record holds 20: the dialog's factory
    // value has always been 25, and files saved after a Reset hold it.
    {"intWhlAliForceCur", &Settings::intWhlAliForceCur, 1, 100, 20, nullptr, 25,
     "alignment", SettingFlag::Number, {}, "alignment weight in percent", SettingPage::Slider},
    {"intWhlCohForceCur", &Settings::intWhlCohForceCur, 1, 100, 100, nullptr, kResetToDefault,
     "cohesion", SettingFlag::Number, {}, "cohesion weight in percent", SettingPage::Slider},
    {"intWhlMigForceCur", &Settings::intWhlMigForceCur, 1, 100, 100, nullptr, kResetToDefault,
     "migration", SettingFlag::Number, {}, "pull toward the guide whale in percent", SettingPage::Slider},
    {"intWhlCenForceCur", &Settings::intWhlCenForceCur, 1, 100, 100, nullptr, kResetToDefault,
     "centring", SettingFlag::Number, {}, "pull toward the school's centre in percent", SettingPage::Slider},
};
inline constexpr int kSettingsValueCount = static_cast<int>(std::size(kSettingRows));
static_assert(kSettingsValueCount <= kMaxSettingsValues, "raise kMaxSettingsValues in settings/settings.h");

// The row of a registry name, found while compiling: a name that is not in
// the table stops the build at the caller.
consteval const SettingRow& SettingNamed(std::string_view name) {
    for (const SettingRow& row : kSettingRows) {
        if (name == row.name) return row;
    }
    throw "no settings value has this name";
}

// Where a row is in the table (record order).
constexpr int SettingIndex(const SettingRow& row) { return static_cast<int>(&row - kSettingRows); }

// The value the dialog's Reset shows for an integer row (kResetKeeps when it
// leaves the control alone).
constexpr int ResetValue(const SettingRow& row) { return row.reset == kResetToDefault ? row.byDefault : row.reset; }
