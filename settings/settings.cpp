// Settings defaults and registry persistence.
#include "settings/settings.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>

#include "platform/os/clock.h"
#include "platform/os/registry.h"
#include "settings/settings_table.h"

Settings::Settings() {
    SRand(timeGetTime());
    SetDefaults();
}

void Settings::SetDefaults() {
    for (const SettingRow& row : kSettingRows) {
        if (row.field) {
            this->*row.field = row.byDefault;
        } else {
            std::memset(strBGMUsr, 0, sizeof strBGMUsr);
            std::strncpy(strBGMUsr, row.text, sizeof strBGMUsr - 1);
        }
    }
}

namespace {

// True when the file has the value, readable or not.
bool ReadInt(HKEY key, const char* name, int* field) {
    DWORD type = 0;
    BYTE data[4];
    DWORD size = sizeof data;
    const LONG status = RegQueryValueExA(key, name, &type, data, &size);
    if (status == 0 && type == REG_DWORD && size == 4) std::memcpy(field, data, 4);
    return status != ERROR_FILE_NOT_FOUND;
}

// A stored value longer than the field (ERROR_MORE_DATA) is not cut into a
// different path: the field keeps its value. True when the file has the value.
bool ReadString(HKEY key, const char* name, char* field) {
    DWORD type = 0;
    char data[kBGMPathSize];
    DWORD size = sizeof data;
    LONG status = RegQueryValueExA(key, name, &type, reinterpret_cast<BYTE*>(data), &size);
    if (status == 0 && type == REG_SZ) {
        std::memcpy(field, data, size);
        field[kBGMPathSize - 1] = 0;
    }
    return status != ERROR_FILE_NOT_FOUND;
}

bool Absent(HKEY key, const char* name) {
    DWORD size = 0;
    return RegQueryValueExA(key, name, nullptr, nullptr, &size) == ERROR_FILE_NOT_FOUND;
}

void WriteInt(HKEY key, const char* name, int value) {
    RegSetValueExA(key, name, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4);
}

void WriteString(HKEY key, const char* name, const char* text) {
    RegSetValueExA(key, name, REG_SZ, reinterpret_cast<const BYTE*>(text),
                   static_cast<DWORD>(strnlen(text, kBGMPathSize - 1) + 1));
}

const char* ReadFailure(LONG status) {
    switch (status) {
        case ERROR_ACCESS_DENIED: return "permission denied";
        case ERROR_BAD_FILE_TYPE: return "not a regular file";
        case ERROR_FILE_TOO_LARGE: return "larger than 1 MiB";
        case ERROR_PATH_NOT_FOUND: return "no configuration folder";
        default: return "read error";
    }
}

}  // namespace

int Settings::Load() {
    HKEY key = nullptr;
    DWORD disposition = 0;
    const std::string path = RegistryFilePath(kSettingsKey);
    const LONG status = RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKey, &key, &disposition);
    m_bReadFailed = status != 0;
    if (status != 0) {
        std::fprintf(stderr, "nereval: settings file %s cannot be read (%s): running on the defaults; the file is "
                     "left as it is and not saved\n", path.c_str(), ReadFailure(status));
        return 0;
    }
    for (bool& absent : m_abAbsentAtLoad) absent = true;
    if (disposition != REG_CREATED_NEW_KEY) {
        for (const std::string& line : RegUnreadableLines(key)) {
            std::fprintf(stderr, "nereval: settings file %s, %s: cannot be read; left in the file as written\n",
                         path.c_str(), line.c_str());
        }
        const int more = RegUnreadableLineCount(key) - static_cast<int>(RegUnreadableLines(key).size());
        if (more > 0) {
            std::fprintf(stderr, "nereval: settings file %s: %d more lines cannot be read; left in the file as written\n",
                         path.c_str(), more);
        }
        for (const SettingRow& row : kSettingRows) {
            m_abAbsentAtLoad[SettingIndex(row)] =
                row.field ? !ReadInt(key, row.name, &(this->*row.field)) : !ReadString(key, row.name, strBGMUsr);
        }
    }
    RegCloseKey(key);
    for (const SettingRow& row : kSettingRows) {
        if (!row.field) continue;
        if (row.load == SettingLoad::Clamped) this->*row.field = std::clamp(this->*row.field, row.lo, row.hi);
        m_aiAtLoad[SettingIndex(row)] = this->*row.field;
    }
    std::memcpy(m_szBGMAtLoad, strBGMUsr, sizeof m_szBGMAtLoad);
    m_bLoaded = true;
    return 1;
}

int Settings::Save() const {
    if (m_bReadFailed) return 0;
    HKEY key = nullptr;
    DWORD disposition = 0;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKey, &key, &disposition) != 0) return 0;
    // A value is written when it changed since Load, or when neither Load nor
    // now found it in the file.
    for (const SettingRow& row : kSettingRows) {
        const bool changed = row.field ? this->*row.field != m_aiAtLoad[SettingIndex(row)]
                                       : std::strncmp(strBGMUsr, m_szBGMAtLoad, kBGMPathSize) != 0;
        if (m_bLoaded && !changed && !(m_abAbsentAtLoad[SettingIndex(row)] && Absent(key, row.name))) continue;
        if (row.field) {
            WriteInt(key, row.name, this->*row.field);
        } else {
            WriteString(key, row.name, strBGMUsr);
        }
    }
    return RegCloseKey(key) == 0 ? 1 : 0;
}

bool SetSettingsValue(Settings* settings, const char* assignment) {
    if (!settings || !assignment) return false;
    const char* eq = std::strchr(assignment, '=');
    if (!eq) return false;
    const std::string name(assignment, eq);
    char* end = nullptr;
    const long value = std::strtol(eq + 1, &end, 0);
    if (end == eq + 1 || *end != '\0') return false;
    for (const SettingRow& row : kSettingRows) {
        if (row.field && name == row.name) {
            settings->*row.field = static_cast<int>(value);
            return true;
        }
    }
    return false;
}
