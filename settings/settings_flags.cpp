// The settings flags: one table, read by the parser and the help text.
#include "settings/settings_flags.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

enum class Kind {
    Switch,  // --NAME sets 1, --no-NAME sets 0
    Number,  // --NAME N, lo..hi
    Choice,  // --NAME WORD, one of the words
    Clock,   // --clock world|local|off: the clocks switch and their kind
    Music,   // --music FILE sets the tune and music on; --no-music
};

struct Word {
    const char* word;
    int value;
};

struct Flag {
    const char* name;
    Kind kind;
    int Settings::*field;
    int lo, hi;
    Word words[3];
    const char* argument;  // as the help shows it
    const char* help;
};

constexpr Flag kFlags[] = {
    {"whales", Kind::Number, &Settings::intWhlNumCur, 1, 50, {}, "N", "number of whales, 1-50 (30)"},
    {"speed", Kind::Number, &Settings::intWhlSpeedCur, 1, 150, {}, "N", "swimming speed in percent, 1-150 (100)"},
    {"radius", Kind::Number, &Settings::intWhlRadiusCur, 12, 100, {}, "N",
     "how far a whale sees its neighbours, 12-100 (50)"},
    {"separation", Kind::Number, &Settings::intWhlSepForceCur, 1, 100, {}, "N",
     "separation weight in percent, 1-100 (100)"},
    {"alignment", Kind::Number, &Settings::intWhlAliForceCur, 1, 100, {}, "N",
     "alignment weight in percent, 1-100 (20)"},
    {"cohesion", Kind::Number, &Settings::intWhlCohForceCur, 1, 100, {}, "N",
     "cohesion weight in percent, 1-100 (100)"},
    {"migration", Kind::Number, &Settings::intWhlMigForceCur, 1, 100, {}, "N",
     "pull toward the guide whale in percent, 1-100 (100)"},
    {"centring", Kind::Number, &Settings::intWhlCenForceCur, 1, 100, {}, "N",
     "pull toward the school's centre in percent, 1-100 (100)"},
    {"camera-mode", Kind::Choice, &Settings::intCamMod, 0, 0, {{"1", kCameraFloating}, {"2", kCameraComposite}, {"3", kCameraRotating}}, "1|2|3",
     "camera: 1 floating on the rig, 2 composite, 3 rotating (1)"},
    {"picture-size", Kind::Choice, &Settings::intDisMod, 0, 0, {{"640x480", 1}, {"800x600", 2}}, "640x480|800x600",
     "picture size of the own full screen (640x480)"},
    {"aspect", Kind::Choice, &Settings::intAspMod, 0, 0, {{"4:3", 1}, {"16:9", 2}}, "4:3|16:9",
     "projection aspect of the own full screen and test window (4:3)"},
    {"clock", Kind::Clock, nullptr, 0, 0, {}, "world|local|off",
     "the twelve clocks: world time zones, all local time, or none (world)"},
    {"music", Kind::Music, nullptr, 0, 0, {}, "FILE",
     "play this MIDI file (tune_main.mid: the built-in tune); --no-music: silence (off)"},
    {"fps", Kind::Switch, &Settings::intChkFPS, 0, 1, {}, nullptr, "frame-rate text (on)"},
    {"tint", Kind::Switch, &Settings::intChkCelphn, 0, 1, {}, nullptr, "blue cellophane tint (off)"},
    {"deep-sea", Kind::Switch, &Settings::intChkCol, 0, 1, {}, nullptr,
     "deep sea: black sea, tumbling light, bubbles (off)"},
    {"earth", Kind::Switch, &Settings::intChkEarth, 0, 1, {}, nullptr, "the Earth below (on)"},
    {"pillars", Kind::Switch, &Settings::intChkPillar, 0, 1, {}, nullptr, "the distant pillars (on)"},
    {"floating-pillars", Kind::Switch, &Settings::intChkFltPillar, 0, 1, {}, nullptr,
     "the swinging ring of floating pillars (on)"},
    {"moons", Kind::Switch, &Settings::intChkMoon, 0, 1, {}, nullptr, "the moons (on)"},
    {"animation", Kind::Switch, &Settings::intChkAnim, 0, 1, {}, nullptr, "swimming (skinned) whales (on)"},
    {"collisions", Kind::Switch, &Settings::intChkClsn, 0, 1, {}, nullptr, "whales avoid the obstacles (on)"},
    {"large-whales", Kind::Switch, &Settings::intChkLargeModel, 0, 1, {}, nullptr, "larger whale models (off)"},
};

const Flag* Find(const char* name, bool* negated) {
    *negated = false;
    for (const Flag& f : kFlags) {
        if (std::strcmp(name, f.name) == 0) return &f;
    }
    if (std::strncmp(name, "no-", 3) == 0) {
        for (const Flag& f : kFlags) {
            if ((f.kind == Kind::Switch || f.kind == Kind::Music) && std::strcmp(name + 3, f.name) == 0) {
                *negated = true;
                return &f;
            }
        }
    }
    return nullptr;
}

FlagResult Bad(std::string* error, const Flag& f, const char* value) {
    if (error) {
        const std::string wanted = f.kind == Kind::Number ? "a whole number from " + std::to_string(f.lo) + " to " +
                                                                std::to_string(f.hi)
                                                          : std::string("one of ") + f.argument;
        *error = "--" + std::string(f.name) + (value ? ": \"" + std::string(value) + "\" is not " : " needs ") + wanted;
    }
    return FlagResult::BadValue;
}

}  // namespace

bool ParseNumber(const char* text, int lo, int hi, int* out) {
    if (!text || !*text) return false;
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (errno != 0 || *end != '\0' || v < lo || v > hi) return false;
    *out = static_cast<int>(v);
    return true;
}

void SettingsOverlay::Set(int Settings::*field, int value) {
    for (int i = 0; i < m_count; ++i) {
        if (m_values[i].field == field) {
            m_values[i].value = value;
            return;
        }
    }
    if (m_count < kMaxValues) m_values[m_count++] = Value{field, value};
}

bool SettingsOverlay::Has(int Settings::*field) const {
    for (int i = 0; i < m_count; ++i) {
        if (m_values[i].field == field) return true;
    }
    return false;
}

void SettingsOverlay::SetMusic(const std::string& path) {
    m_hasMusic = true;
    m_music = path;
}

void SettingsOverlay::ApplyTo(Settings* settings) const {
    if (!settings) return;
    for (int i = 0; i < m_count; ++i) settings->*m_values[i].field = m_values[i].value;
    if (m_hasMusic) {
        std::memset(settings->strBGMUsr, 0, sizeof settings->strBGMUsr);
        std::memcpy(settings->strBGMUsr, m_music.data(), m_music.size());
    }
}

FlagResult ParseSettingsFlag(const char* name, const char* value, SettingsOverlay* overlay, std::string* error) {
    bool negated = false;
    const Flag* f = name ? Find(name, &negated) : nullptr;
    if (!f || !overlay) return FlagResult::NotAFlag;
    switch (f->kind) {
        case Kind::Switch:
            overlay->Set(f->field, negated ? 0 : 1);
            return FlagResult::TookName;
        case Kind::Number: {
            int v = 0;
            if (!ParseNumber(value, f->lo, f->hi, &v)) return Bad(error, *f, value);
            overlay->Set(f->field, v);
            return FlagResult::TookValue;
        }
        case Kind::Choice:
            if (value) {
                for (const Word& w : f->words) {
                    if (w.word && std::strcmp(value, w.word) == 0) {
                        overlay->Set(f->field, w.value);
                        return FlagResult::TookValue;
                    }
                }
            }
            return Bad(error, *f, value);
        case Kind::Clock:
            if (value && std::strcmp(value, "off") == 0) {
                overlay->Set(&Settings::intChkClock, 0);
            } else if (value && (std::strcmp(value, "world") == 0 || std::strcmp(value, "local") == 0)) {
                overlay->Set(&Settings::intChkClock, 1);
                overlay->Set(&Settings::intClkMod, value[0] == 'l' ? 1 : 0);
            } else {
                return Bad(error, *f, value);
            }
            return FlagResult::TookValue;
        case Kind::Music:
            if (negated) {
                overlay->Set(&Settings::intChkBGM, 0);
                return FlagResult::TookName;
            }
            // The record holds the path with its terminator in kBGMPathSize bytes.
            if (!value || !*value) return Bad(error, *f, value);
            if (std::strlen(value) >= static_cast<size_t>(kBGMPathSize)) {
                if (error) *error = "--music: the path is longer than " + std::to_string(kBGMPathSize - 1) + " bytes";
                return FlagResult::BadValue;
            }
            overlay->Set(&Settings::intChkBGM, 1);
            overlay->SetMusic(value);
            return FlagResult::TookValue;
    }
    return FlagResult::NotAFlag;
}

bool IsSettingsFlagName(const char* name) {
    bool negated = false;
    return name && Find(name, &negated) != nullptr;
}

void PrintSettingsFlags(std::FILE* out) {
    for (const Flag& f : kFlags) {
        std::string left = "--" + std::string(f.name);
        if (f.kind == Kind::Switch) left += ", --no-" + std::string(f.name);
        if (f.argument) left += " " + std::string(f.argument);
        if (f.kind == Kind::Music) left += ", --no-music";
        std::fprintf(out, "  %-36s %s\n", left.c_str(), f.help);
    }
}
