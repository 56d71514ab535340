// The flat settings record, its defaults and its persistence in the current
// user's registry key "Software\Ostrelin\NerevalSaver\1.4". Fields are named
// after the registry values; record order is load and save order.
#pragma once

constexpr const char* kSettingsKey = "Software\\Ostrelin\\NerevalSaver\\1.4";
constexpr const char* kBuiltInTune = "tune_main.mid";
constexpr int kBGMPathSize = 260;  // bytes of strBGMUsr, NUL included
// How many values the file can hold: kSettingRows (settings/settings_table.h)
// lists them, one row each.
constexpr int kMaxSettingsValues = 64;

// The values of intCamMod. A stored value outside them behaves as floating.
enum CameraMode : int {
    kCameraFloating = 1,   // rides the camera rig, looks at the school
    kCameraComposite = 2,  // swings between the rig and a fixed point, zooming on the school
    kCameraRotating = 3,   // circles the point (0, 10, 0)
};

class Settings {
public:
    // Seeds the pseudo-random generator with the millisecond clock, then
    // fills the defaults.
    Settings();

    // Every value from its row's default (settings/settings_table.h).
    void SetDefaults();
    // Reads every value present in the registry; missing or unreadable values
    // keep their field. Values are taken as stored, not range-checked, except
    // those whose row says SettingLoad::Clamped (the whale count). The first
    // lines of the file that cannot be read are named once on stderr, cut
    // short, then how many more there are. When the file exists but cannot be
    // read whole (no permission, not a regular file, over 1 MiB), every field
    // keeps its value, one line on stderr says so, and Save refuses from then
    // on. Returns 1, or 0 when the file could not be read.
    int Load();
    // After Load: writes only the values whose field differs from what Load
    // read, and adds the values the file did not have, so a value another
    // program (the dialog) changed meanwhile survives, and a line that could
    // not be read (a strBGMUsr too long for the field too) stays as the user
    // wrote it while its field keeps what Load left in it. Without Load:
    // writes every value in record order. Returns 1, or 0 when the file
    // could not be written (the old one is then left as it was) or Load
    // could not read it.
    int Save() const;
    // Whether Load ran: a caller that saves on exit must not replace the
    // user's file with defaults it never read.
    bool IsLoaded() const { return m_bLoaded; }
    // Whether Load found a file it could not read: the record holds what it
    // held before (the defaults), and Save would replace the user's file.
    bool ReadFailed() const { return m_bReadFailed; }

    int intChkFPS;          // frame-rate text on/off
    int intChkCelphn;       // blue tint overlay on/off
    int intChkCol;          // deep-sea mode: black sea, tumbling light, bubbles
    int intCamMod;          // camera: a CameraMode
    int intDisMod;          // back buffer: 1 → 640×480, 2 → 800×600
    int intAspMod;          // projection aspect: 1 → 4:3, 2 → 16:9
    int intChkEarth;        // show the Earth
    int intChkPillar;       // show the distant pillars
    int intChkFltPillar;    // show the floating pillars
    int intChkMoon;         // show the moons
    int intChkClock;        // show the clocks
    int intClkMod;          // 0 world clock, 1 normal clock
    int intChkAnim;         // animate the whales
    int intChkClsn;         // obstacle avoidance
    int intChkBGM;          // background music
    char strBGMUsr[kBGMPathSize];  // MIDI file; kBuiltInTune selects the built-in tune
    int intChkLargeModel;   // enlarge the whale models
    int intWhlNumCur;       // number of whales
    int intWhlRadiusCur;    // neighbourhood radius
    int intWhlSpeedCur;     // speed, percent
    int intWhlSepForceCur;  // separation weight, percent
    int intWhlAliForceCur;  // alignment weight, percent
    int intWhlCohForceCur;  // cohesion weight, percent
    int intWhlMigForceCur;  // migration weight, percent
    int intWhlCenForceCur;  // centring weight, percent

private:
    // What Load left in each value, and whether the file had it at all (a
    // value on a line that cannot be read counts as had), by row.
    bool m_bLoaded = false;
    bool m_bReadFailed = false;
    int m_aiAtLoad[kMaxSettingsValues]{};  // the integer rows
    bool m_abAbsentAtLoad[kMaxSettingsValues]{};
    char m_szBGMAtLoad[kBGMPathSize]{};
};

// Sets one integer value from text of the form "NAME=VALUE" (a registry value
// name of an integer row of kSettingRows; VALUE decimal, or hexadecimal with 0x). False,
// with the record unchanged, for an unknown name or a malformed number.
// For tools that take settings on their command line.
bool SetSettingsValue(Settings* settings, const char* assignment);
