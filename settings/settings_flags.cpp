// The settings flags: the rows of the settings table that name a flag, read
// by the parser and the help text.
#include "settings/settings_flags.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

// Whether the flag also has a --no-NAME form.
bool Negatable(const SettingRow& row) { return row.kind == SettingFlag::Switch || row.kind == SettingFlag::Music; }

const SettingRow* Find(const char* name, bool* negated) {
    *negated = false;
    for (const SettingRow& row : kSettingRows) {
        if (row.flag && std::strcmp(name, row.flag) == 0) return &row;
    }
    if (std::strncmp(name, "no-", 3) == 0) {
        for (const SettingRow& row : kSettingRows) {
            if (row.flag && Negatable(row) && std::strcmp(name + 3, row.flag) == 0) {
                *negated = true;
                return &row;
            }
        }
    }
    return nullptr;
}

// The row's words as the help shows them: "1|2|3".
std::string Words(const SettingRow& row) {
    std::string words;
    for (const SettingWord& w : row.words) {
        if (!w.word) break;
        if (!words.empty()) words += '|';
        words += w.word;
    }
    return words;
}

const char* WordOf(const SettingRow& row, int value) {
    for (const SettingWord& w : row.words) {
        if (w.word && w.value == value) return w.word;
    }
    return "";
}

FlagResult Bad(std::string* error, const SettingRow& row, const char* value) {
    if (error) {
        std::string wanted = "one of " + Words(row);
        if (row.kind == SettingFlag::Number) {
            wanted = "a whole number from " + std::to_string(row.lo) + " to " + std::to_string(row.hi);
        }
        if (row.kind == SettingFlag::Music) wanted = "a MIDI file's path";
        const std::string given = value ? ": \"" + std::string(value) + "\" is not " : " needs ";
        *error = "--" + std::string(row.flag) + given + wanted;
    }
    return FlagResult::BadValue;
}

}  // namespace

std::string SettingFlagArgument(const SettingRow& row) {
    switch (row.kind) {
        case SettingFlag::Number: return "N";
        case SettingFlag::Choice:
        case SettingFlag::Clock: return Words(row);
        case SettingFlag::Music: return "FILE";
        default: return "";
    }
}

std::string SettingFlagDefault(const SettingRow& row) {
    switch (row.kind) {
        case SettingFlag::Switch:
        case SettingFlag::Music: return row.byDefault ? "on" : "off";
        case SettingFlag::Number: return std::to_string(row.byDefault);
        case SettingFlag::Choice: return WordOf(row, row.byDefault);
        case SettingFlag::Clock:
            return row.byDefault ? WordOf(row, SettingNamed("intClkMod").byDefault) : WordOf(row, -1);
        default: return "";
    }
}

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
    const SettingRow* row = name ? Find(name, &negated) : nullptr;
    if (!row || !overlay) return FlagResult::NotAFlag;
    switch (row->kind) {
        case SettingFlag::Switch:
            overlay->Set(row->field, negated ? 0 : 1);
            return FlagResult::TookName;
        case SettingFlag::Number: {
            int v = 0;
            if (!ParseNumber(value, row->lo, row->hi, &v)) return Bad(error, *row, value);
            overlay->Set(row->field, v);
            return FlagResult::TookValue;
        }
        case SettingFlag::Choice:
        case SettingFlag::Clock:
            for (const SettingWord& w : row->words) {
                if (!value || !w.word || std::strcmp(value, w.word) != 0) continue;
                if (row->kind == SettingFlag::Choice) {
                    overlay->Set(row->field, w.value);
                } else {
                    overlay->Set(row->field, w.value < 0 ? 0 : 1);
                    if (w.value >= 0) overlay->Set(SettingNamed("intClkMod").field, w.value);
                }
                return FlagResult::TookValue;
            }
            return Bad(error, *row, value);
        case SettingFlag::Music:
            if (negated) {
                overlay->Set(row->field, 0);
                return FlagResult::TookName;
            }
            // The record holds the path with its terminator in kBGMPathSize bytes.
            if (!value || !*value) return Bad(error, *row, value);
            if (std::strlen(value) >= static_cast<size_t>(kBGMPathSize)) {
                if (error) *error = "--music: the path is longer than " + std::to_string(kBGMPathSize - 1) + " bytes";
                return FlagResult::BadValue;
            }
            overlay->Set(row->field, 1);
            overlay->SetMusic(value);
            return FlagResult::TookValue;
        case SettingFlag::None:
            break;
    }
    return FlagResult::NotAFlag;
}

bool IsSettingsFlagName(const char* name) {
    bool negated = false;
    return name && Find(name, &negated) != nullptr;
}

namespace {

std::string FlagLeftColumn(const SettingRow& row) {
    std::string left = "--" + std::string(row.flag);
    if (row.kind == SettingFlag::Switch) left += ", --no-" + std::string(row.flag);
    if (row.kind != SettingFlag::Switch) left += " " + SettingFlagArgument(row);
    if (row.kind == SettingFlag::Music) left += ", --no-music";
    return left;
}

}  // namespace

void PrintSettingsFlags(std::FILE* out) {
    int width = 0;
    for (const SettingRow& row : kSettingRows) {
        if (row.flag) width = std::max(width, static_cast<int>(FlagLeftColumn(row).size()));
    }
    for (const SettingRow& row : kSettingRows) {
        if (!row.flag) continue;
        std::string help = row.help;
        if (row.kind == SettingFlag::Number) help += ", " + std::to_string(row.lo) + "-" + std::to_string(row.hi);
        std::fprintf(out, "  %-*s  %s (%s)\n", width, FlagLeftColumn(row).c_str(), help.c_str(),
                     SettingFlagDefault(row).c_str());
    }
}
