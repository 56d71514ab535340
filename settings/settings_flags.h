// Settings given on the command line, one flag per value of the settings
// record (--whales 12, --deep-sea, --no-fps, --clock local, --music FILE...).
// They are collected into an overlay that is laid over the settings read
// from the file: the saver's objects see the result, and the file keeps what
// it held, so a flag is never written back.
#pragma once

#include <cstdio>
#include <string>

#include "settings/settings.h"
#include "settings/settings_table.h"

class SettingsOverlay {
public:
    // Records one integer value; a later value for the same field wins.
    void Set(int Settings::*field, int value);
    // Music on with this file (kBuiltInTune: the built-in tune).
    void SetMusic(const std::string& path);
    bool Empty() const { return m_count == 0 && !m_hasMusic; }
    // Whether a value for this field was recorded.
    bool Has(int Settings::*field) const;
    // Writes every recorded value into the record, in the order given.
    void ApplyTo(Settings* settings) const;

private:
    static constexpr int kMaxValues = 64;
    struct Value {
        int Settings::*field;
        int value;
    };
    Value m_values[kMaxValues]{};
    int m_count = 0;
    bool m_hasMusic = false;
    std::string m_music;
};

// A whole decimal number in lo..hi (nothing else in the text); false, *out
// unchanged, otherwise.
bool ParseNumber(const char* text, int lo, int hi, int* out);

enum class FlagResult {
    NotAFlag,     // no settings flag has this name
    TookName,     // a switch (--deep-sea, --no-fps): the value was not used
    TookValue,    // a flag with a value (--whales 12): the value was used
    BadValue,     // a known flag with a missing or unusable value; *error says why
};

// Interprets one settings flag given by its name without dashes ("whales",
// "no-deep-sea") and the command-line word after it (null when there is
// none). On BadValue, *error holds one line for the user (no newline).
FlagResult ParseSettingsFlag(const char* name, const char* value, SettingsOverlay* overlay, std::string* error);

// Whether a name (without dashes) is a settings flag.
bool IsSettingsFlagName(const char* name);

// Prints one line per flag, in record order: "  --whales N  number of whales, 1-50 (30)".
void PrintSettingsFlags(std::FILE* out);

// A flag's value as the help shows it ("N", "1|2|3", "FILE"; empty for a switch).
std::string SettingFlagArgument(const SettingRow& row);
// What a run gets without the flag, in the flag's words ("30", "on", "world").
std::string SettingFlagDefault(const SettingRow& row);
