// Settings defaults and registry persistence.
#include "settings/settings.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/os/clock.h"
#include "platform/os/registry.h"

Settings::Settings() {
    SRand(timeGetTime());
    SetDefaults();
}

void Settings::SetDefaults() {
    intChkFPS = 1;
    intChkCelphn = 0;
    intChkCol = 0;
    intCamMod = 1;
    intDisMod = 1;
    intAspMod = 1;
    intChkEarth = 1;
    intChkPillar = 1;
    intChkFltPillar = 1;
    intChkMoon = 1;
    intChkClock = 1;
    intClkMod = 0;
    intChkAnim = 1;
    intChkClsn = 1;
    intChkBGM = 0;
    std::memset(strBGMUsr, 0, sizeof strBGMUsr);
    std::strcpy(strBGMUsr, kBuiltInTune);
    intChkLargeModel = 0;
    intWhlNumCur = 30;
    intWhlRadiusCur = 50;
    intWhlSpeedCur = 100;
    intWhlSepForceCur = 100;
    intWhlAliForceCur = 20;
    intWhlCohForceCur = 100;
    intWhlMigForceCur = 100;
    intWhlCenForceCur = 100;
}

namespace {

void ReadInt(HKEY key, const char* name, int* field) {
    DWORD type = 0;
    BYTE data[4];
    DWORD size = sizeof data;
    if (RegQueryValueExA(key, name, &type, data, &size) == 0 && type == REG_DWORD && size == 4) {
        std::memcpy(field, data, 4);
    }
}

// Returns false when a stored value could not be taken: a value longer than
// the field (ERROR_MORE_DATA) is not cut into a different path, the field
// keeps its value, and the caller must leave the stored text alone.
bool ReadString(HKEY key, const char* name, char* field) {
    DWORD type = 0;
    char data[kBGMPathSize];
    DWORD size = sizeof data;
    LONG status = RegQueryValueExA(key, name, &type, reinterpret_cast<BYTE*>(data), &size);
    if (status == 0 && type == REG_SZ) {
        std::memcpy(field, data, size);
        field[kBGMPathSize - 1] = 0;
        return true;
    }
    return status != ERROR_MORE_DATA;
}

void WriteInt(HKEY key, const char* name, int value) {
    RegSetValueExA(key, name, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4);
}

}  // namespace

int Settings::Load() {
    HKEY key = nullptr;
    DWORD disposition = 0;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKey, &key, &disposition) != 0) return 1;
    m_bStoredBGMKept = false;
    if (disposition != REG_CREATED_NEW_KEY) {
        int i = 0;
        for (const SettingsIntField& f : kSettingsIntFields) {
            if (i++ == kSettingsStringAfter && !ReadString(key, "strBGMUsr", strBGMUsr)) {
                m_bStoredBGMKept = true;
                std::memcpy(m_szBGMAtLoad, strBGMUsr, sizeof m_szBGMAtLoad);
            }
            ReadInt(key, f.name, &(this->*f.field));
        }
    }
    RegCloseKey(key);
    m_bLoaded = true;
    return 1;
}

int Settings::Save() const {
    HKEY key = nullptr;
    DWORD disposition = 0;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKey, &key, &disposition) != 0) return 1;
    int i = 0;
    for (const SettingsIntField& f : kSettingsIntFields) {
        // A stored path too long to use stays on disk as the user wrote it,
        // unless a new one was chosen since.
        const bool keepStored = m_bStoredBGMKept && std::memcmp(strBGMUsr, m_szBGMAtLoad, sizeof strBGMUsr) == 0;
        if (i++ == kSettingsStringAfter && !keepStored) {
            RegSetValueExA(key, "strBGMUsr", REG_SZ, reinterpret_cast<const BYTE*>(strBGMUsr),
                           static_cast<DWORD>(strnlen(strBGMUsr, kBGMPathSize - 1) + 1));
        }
        WriteInt(key, f.name, this->*f.field);
    }
    RegCloseKey(key);
    return 1;
}

bool SetSettingsValue(Settings* settings, const char* assignment) {
    if (!settings || !assignment) return false;
    const char* eq = std::strchr(assignment, '=');
    if (!eq) return false;
    const std::string name(assignment, eq);
    char* end = nullptr;
    const long value = std::strtol(eq + 1, &end, 0);
    if (end == eq + 1 || *end != '\0') return false;
    for (const SettingsIntField& f : kSettingsIntFields) {
        if (name == f.name) {
            settings->*f.field = static_cast<int>(value);
            return true;
        }
    }
    return false;
}
