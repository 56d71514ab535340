// The configuration dialog: template 101 as data and the dialog procedure that
// moves the settings record in and out of its controls.
#include "settings/config_dialog.h"

#include <cstdio>

#include "platform/dialog/dialog_text.h"
#include "platform/os/registry.h"
#include "settings/settings.h"
#include "settings/settings_table.h"

namespace {

using C = DialogItemClass;
constexpr DWORD kCheck = BS_AUTOCHECKBOX | BS_FLAT | WS_TABSTOP;
constexpr DWORD kRadio = BS_AUTORADIOBUTTON | BS_FLAT;
constexpr DWORD kRadioFirst = kRadio | WS_GROUP | WS_TABSTOP;
constexpr DWORD kPush = BS_PUSHBUTTON | BS_FLAT | WS_TABSTOP;
constexpr DWORD kGroup = BS_GROUPBOX | BS_FLAT;
constexpr DWORD kSlider = TBS_HORZ | TBS_NOTICKS | TBS_BOTH | WS_TABSTOP;

// Template order: group boxes and labels first (drawn beneath), then the
// controls in tab order, then the value labels. Texts are English message
// ids, shown in the user's language (po/ja.po holds the page's Japanese
// texts exactly, "擬集" included); each English text fits its rectangle in
// the dialog font. The value labels' rectangles sit beside their sliders,
// inside the group boxes.
constexpr DialogItem kItems[] = {
    {IDC_STATIC, C::Button, N_("General settings"), 7, 8, 401, 101, kGroup},
    {IDC_STATIC, C::Static, N_("Motion"), 14, 27, 24, 14, SS_LEFT},
    {IDC_STATIC, C::Static, N_("Picture"), 14, 55, 24, 14, SS_LEFT},
    {IDC_STATIC, C::Static, N_("Objects"), 14, 83, 24, 14, SS_LEFT},
    {IDC_STATIC, C::Button, N_("Heavy (slow) options"), 318, 26, 82, 45, kGroup},
    {IDC_STATIC, C::Button, N_("Background music"), 6, 111, 402, 55, kGroup},
    {IDC_STATIC, C::Static, N_("MIDI file"), 12, 135, 38, 11, SS_LEFT},
    {IDC_STATIC, C::Button, N_("Whale settings"), 6, 170, 402, 249, kGroup},
    {IDC_STATIC, C::Static, N_("Whales"), 13, 181, 22, 11, SS_LEFT},
    {IDC_STATIC, C::Static, N_("Speed"), 13, 213, 28, 14, SS_LEFT},
    {IDC_STATIC, C::Static, N_("Range"), 13, 248, 28, 12, SS_LEFT},
    {IDC_STATIC, C::Button, N_("Advanced settings (read the manual carefully before changing these)"), 14, 283, 387, 127, kGroup},
    {IDC_STATIC, C::Static, N_("Apart"), 22, 317, 15, 8, SS_LEFT},
    {IDC_STATIC, C::Static, N_("Align"), 22, 335, 15, 8, SS_LEFT},
    {IDC_STATIC, C::Static, N_("Unite"), 22, 353, 15, 8, SS_LEFT},
    {IDC_STATIC, C::Static, N_("Lead"), 22, 371, 15, 8, SS_LEFT},
    {IDC_STATIC, C::Static, N_("Core"), 22, 389, 15, 8, SS_LEFT},
    {IDC_STATIC, C::Static, N_("Feb 2005"), 7, 427, 19, 8, SS_LEFT},

    {IDC_RAD_CAM1, C::Button, N_("1: Floating camera"), 81, 25, 72, 16, kRadioFirst},
    {IDC_RAD_CAM2, C::Button, N_("2: Mixed camera"), 162, 25, 72, 16, kRadio},
    {IDC_RAD_CAM3, C::Button, N_("3: Rotating camera"), 243, 25, 72, 16, kRadio},
    {IDC_CHK_COL, C::Button, N_("Abyss"), 42, 25, 30, 16, kCheck | WS_GROUP},
    {IDC_RAD_DIS640, C::Button, "640*480", 42, 53, 40, 14, kRadioFirst},
    {IDC_RAD_DIS800, C::Button, "800*600", 90, 53, 40, 14, kRadio},
    {IDC_RAD_ASP43, C::Button, "4:3", 138, 53, 27, 14, kRadioFirst},
    {IDC_RAD_ASP169, C::Button, "16:9", 172, 53, 27, 14, kRadio},
    {IDC_CHK_FPS, C::Button, N_("Show FPS"), 210, 49, 41, 21, kCheck | WS_GROUP},  // ends the aspect group
    {IDC_CHK_CELPHN, C::Button, N_("Blue tint"), 254, 50, 58, 21, kCheck},
    {IDC_CHK_ANIM, C::Button, N_("Animation"), 326, 37, 57, 10, kCheck},
    {IDC_CHK_CLSN, C::Button, N_("Avoidance"), 327, 52, 50, 10, kCheck},
    {IDC_CHK_EARTH, C::Button, N_("Earth"), 42, 85, 30, 10, kCheck},
    {IDC_CHK_PILLAR, C::Button, N_("Distant pillars"), 78, 85, 64, 10, kCheck},
    {IDC_CHK_FLTPILLAR, C::Button, N_("Floating pillars"), 148, 85, 64, 10, kCheck},
    // "Moon" needs 31 units where one kanji took 23: the clock controls
    // after it stand 3 units further right, in the row's free end.
    {IDC_CHK_MOON, C::Button, N_("Moon"), 214, 85, 31, 10, kCheck},
    {IDC_CHK_CLOCK, C::Button, N_("Clock"), 245, 85, 30, 10, kCheck},
    {IDC_RAD_CLKWORLD, C::Button, N_("World"), 279, 85, 43, 10, kRadioFirst},
    {IDC_RAD_CLKNORMAL, C::Button, N_("Local"), 327, 85, 43, 10, kRadio},
    {IDC_CHK_BGM, C::Button, N_("Play music"), 12, 122, 55, 10, kCheck | WS_GROUP},  // ends the clock group
    {IDC_BTN_BGMFILE, C::Button, N_("Choose MIDI file"), 311, 125, 87, 16, kPush},
    {IDC_EDIT_BGM, C::Edit, nullptr, 12, 149, 387, 12, ES_AUTOHSCROLL | WS_TABSTOP},
    {IDC_SLD_WHLNUM, C::Trackbar, nullptr, 10, 192, 371, 18, kSlider},
    {IDC_SLD_WHLSPEED, C::Trackbar, nullptr, 10, 227, 371, 18, kSlider},
    {IDC_SLD_WHLRADIUS, C::Trackbar, nullptr, 10, 261, 371, 18, kSlider},
    {IDC_CHK_LARGEMODEL, C::Button, N_("Larger whales (see manual)"), 22, 299, 97, 10, kCheck},
    {IDC_SLD_SEPFORCE, C::Trackbar, nullptr, 42, 316, 323, 9, kSlider},
    {IDC_SLD_ALIFORCE, C::Trackbar, nullptr, 42, 335, 323, 9, kSlider},
    {IDC_SLD_COHFORCE, C::Trackbar, nullptr, 42, 352, 323, 9, kSlider},
    {IDC_SLD_MIGFORCE, C::Trackbar, nullptr, 42, 371, 323, 9, kSlider},
    {IDC_SLD_CENFORCE, C::Trackbar, nullptr, 42, 391, 323, 9, kSlider},
    {IDC_BTN_RESET, C::Button, N_("Reset settings"), 174, 428, 71, 14, kPush},
    {IDOK, C::Button, "OK", 256, 428, 71, 14, BS_DEFPUSHBUTTON | BS_FLAT | WS_TABSTOP},
    {IDCANCEL, C::Button, N_("Cancel"), 338, 428, 71, 14, kPush},

    {IDC_TXT_WHLNUM, C::Static, nullptr, 382, 196, 22, 10, SS_CENTER},
    {IDC_TXT_WHLSPEED, C::Static, nullptr, 382, 231, 22, 10, SS_CENTER},
    {IDC_TXT_WHLRADIUS, C::Static, nullptr, 382, 265, 22, 10, SS_CENTER},
    {IDC_TXT_SEPFORCE, C::Static, nullptr, 368, 317, 20, 8, SS_LEFT},
    {IDC_TXT_ALIFORCE, C::Static, nullptr, 368, 335, 20, 8, SS_LEFT},
    {IDC_TXT_COHFORCE, C::Static, nullptr, 368, 353, 20, 8, SS_LEFT},
    {IDC_TXT_MIGFORCE, C::Static, nullptr, 368, 371, 20, 8, SS_LEFT},
    {IDC_TXT_CENFORCE, C::Static, nullptr, 368, 391, 20, 8, SS_LEFT},
};

// The controls bound to settings, by the settings' registry names: each
// value's range, default and Reset come from its row (settings_table.h).

// Check boxes and the 0/1 values they show.
struct CheckBinding {
    int id;
    const SettingRow* row;
};
constexpr CheckBinding kChecks[] = {
    {IDC_CHK_FPS, &SettingNamed("intChkFPS")},
    {IDC_CHK_CELPHN, &SettingNamed("intChkCelphn")},
    {IDC_CHK_COL, &SettingNamed("intChkCol")},
    {IDC_CHK_EARTH, &SettingNamed("intChkEarth")},
    {IDC_CHK_PILLAR, &SettingNamed("intChkPillar")},
    {IDC_CHK_FLTPILLAR, &SettingNamed("intChkFltPillar")},
    {IDC_CHK_MOON, &SettingNamed("intChkMoon")},
    {IDC_CHK_CLOCK, &SettingNamed("intChkClock")},
    {IDC_CHK_ANIM, &SettingNamed("intChkAnim")},
    {IDC_CHK_CLSN, &SettingNamed("intChkClsn")},
    {IDC_CHK_BGM, &SettingNamed("intChkBGM")},
    {IDC_CHK_LARGEMODEL, &SettingNamed("intChkLargeModel")},
};

// Sliders in initialisation order, with their value label.
struct SliderBinding {
    int id;
    int label;
    const SettingRow* row;
};
constexpr SliderBinding kSliders[] = {
    {IDC_SLD_WHLNUM, IDC_TXT_WHLNUM, &SettingNamed("intWhlNumCur")},
    {IDC_SLD_WHLRADIUS, IDC_TXT_WHLRADIUS, &SettingNamed("intWhlRadiusCur")},
    {IDC_SLD_WHLSPEED, IDC_TXT_WHLSPEED, &SettingNamed("intWhlSpeedCur")},
    {IDC_SLD_SEPFORCE, IDC_TXT_SEPFORCE, &SettingNamed("intWhlSepForceCur")},
    {IDC_SLD_ALIFORCE, IDC_TXT_ALIFORCE, &SettingNamed("intWhlAliForceCur")},
    {IDC_SLD_COHFORCE, IDC_TXT_COHFORCE, &SettingNamed("intWhlCohForceCur")},
    {IDC_SLD_MIGFORCE, IDC_TXT_MIGFORCE, &SettingNamed("intWhlMigForceCur")},
    {IDC_SLD_CENFORCE, IDC_TXT_CENFORCE, &SettingNamed("intWhlCenForceCur")},
};

// Radio groups, buttons in id order: a stored value no button has shows the
// button of the value the saver takes it for (`other`); on OK the first
// selected button gives its value.
struct RadioChoice {
    int id;
    int value;
};
struct RadioBinding {
    RadioChoice choices[3];
    int count;
    int other;  // index of the button a value no button has shows
    const SettingRow* row;
};
constexpr RadioBinding kRadios[] = {
    {{{IDC_RAD_CAM1, kCameraFloating}, {IDC_RAD_CAM2, kCameraComposite}, {IDC_RAD_CAM3, kCameraRotating}}, 3, 0,
     &SettingNamed("intCamMod")},
    {{{IDC_RAD_DIS640, 1}, {IDC_RAD_DIS800, 2}}, 2, 0, &SettingNamed("intDisMod")},
    {{{IDC_RAD_ASP43, 1}, {IDC_RAD_ASP169, 2}}, 2, 0, &SettingNamed("intAspMod")},
    {{{IDC_RAD_CLKWORLD, 0}, {IDC_RAD_CLKNORMAL, 1}}, 2, 1, &SettingNamed("intClkMod")},  // any non-zero is local time
};

// The edit box of the MIDI file's path.
constexpr const SettingRow& kMusicPath = SettingNamed("strBGMUsr");

// Selects the button of `value` in its group; CheckRadioButton clears the
// rest of the group, so exactly one stays selected.
void SelectRadio(HDLG hDlg, const RadioBinding& r, int value) {
    int id = r.choices[r.other].id;
    for (int i = 0; i < r.count; ++i) {
        if (r.choices[i].value == value) id = r.choices[i].id;
    }
    CheckRadioButton(hDlg, r.choices[0].id, r.choices[r.count - 1].id, id);
}

// Writes the slider's position into its value label ("%d").
void ShowSliderValue(HDLG hDlg, const SliderBinding& s) {
    char text[16];
    std::snprintf(text, sizeof text, "%d", static_cast<int>(SendDlgItemMessageA(hDlg, s.id, TBM_GETPOS, 0, 0)));
    SetDlgItemTextA(hDlg, s.label, text);
}

void SetSlider(HDLG hDlg, const SliderBinding& s, int pos) {
    SendDlgItemMessageA(hDlg, s.id, TBM_SETPOS, TRUE, pos);
    ShowSliderValue(hDlg, s);
}

// Tells the user, in the user's language, that the settings file exists but
// could not be read: the page shows the defaults, and OK will not replace
// the file with them.
void ReportReadFailure(HDLG hDlg) {
    char text[700];
    std::snprintf(text, sizeof text,
                  DialogText("The settings file could not be read.\nFile: %s\nThe page shows the default settings. "
                             "The file will not be overwritten (OK does not save)."),
                  RegistryFilePath(kSettingsKey).c_str());
    MessageBoxA(hDlg, text, kConfigDialogTemplate.caption, MB_OK | MB_ICONERROR);
}

void InitDialog(HDLG hDlg, Settings& settings) {
    settings.Load();
    if (settings.ReadFailed()) ReportReadFailure(hDlg);
    for (const CheckBinding& c : kChecks) {
        SendDlgItemMessageA(hDlg, c.id, BM_SETCHECK, static_cast<WPARAM>(settings.*c.row->field), 0);
    }
    for (const RadioBinding& r : kRadios) SelectRadio(hDlg, r, settings.*r.row->field);
    SetDlgItemTextA(hDlg, IDC_EDIT_BGM, settings.strBGMUsr);
    for (const SliderBinding& s : kSliders) {
        SendDlgItemMessageA(hDlg, s.id, TBM_SETRANGE, TRUE,
                            MAKELONG(static_cast<WORD>(s.row->lo), static_cast<WORD>(s.row->hi)));
        SetSlider(hDlg, s, settings.*s.row->field);  // the label shows the clamped position
    }
}

// True when the settings were written (or nothing needed writing).
bool StoreAndSave(HDLG hDlg, Settings& settings) {
    for (const CheckBinding& c : kChecks) {
        settings.*c.row->field = IsDlgButtonChecked(hDlg, c.id) == BST_CHECKED ? 1 : 0;
    }
    for (const RadioBinding& r : kRadios) {
        for (int i = 0; i < r.count; ++i) {
            if (IsDlgButtonChecked(hDlg, r.choices[i].id) == BST_CHECKED) {
                settings.*r.row->field = r.choices[i].value;
                break;
            }
        }
    }
    GetDlgItemTextA(hDlg, IDC_EDIT_BGM, settings.strBGMUsr, kBGMPathSize);
    for (const SliderBinding& s : kSliders) {
        settings.*s.row->field = static_cast<int>(SendDlgItemMessageA(hDlg, s.id, TBM_GETPOS, 0, 0));
    }
    return settings.Save() != 0;
}

// Tells the user, in the user's language, that OK could not save (a
// read-only or full home folder): the settings in effect are still the old ones.
void ReportSaveFailure(HDLG hDlg) {
    char text[600];
    std::snprintf(text, sizeof text,
                  DialogText("The settings could not be saved.\nSaving to: %s\nThe previous settings remain."),
                  RegistryFilePath(kSettingsKey).c_str());
    MessageBoxA(hDlg, text, kConfigDialogTemplate.caption, MB_OK | MB_ICONERROR);
}

void ChooseMidiFile(HDLG hDlg, Settings& settings) {
    OPENFILENAMEA ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = nullptr;
    ofn.lpstrFilter = "Midi Files(*.mid)\0*.mid\0";  // fixed text
    ofn.lpstrFile = settings.strBGMUsr;               // the current text is the initial name
    ofn.nMaxFile = kBGMPathSize;
    ofn.lpstrTitle = DialogText("Choose a MIDI file");
    ofn.Flags = OFN_FILEMUSTEXIST;
    ofn.lpstrDefExt = "mid";
    GetOpenFileNameA(hDlg, &ofn);  // on cancel the field keeps its text
    SetDlgItemTextA(hDlg, IDC_EDIT_BGM, settings.strBGMUsr);
}

// Puts back the factory values of the rows Reset touches; nothing is saved.
void Reset(HDLG hDlg) {
    if (kMusicPath.reset != kResetKeeps) SetDlgItemTextA(hDlg, IDC_EDIT_BGM, kMusicPath.text);
    for (const SliderBinding& s : kSliders) {
        if (s.row->reset != kResetKeeps) SetSlider(hDlg, s, ResetValue(*s.row));
    }
    for (const RadioBinding& r : kRadios) {
        if (r.row->reset != kResetKeeps) SelectRadio(hDlg, r, ResetValue(*r.row));
    }
    for (const CheckBinding& c : kChecks) {
        if (c.row->reset != kResetKeeps) CheckDlgButton(hDlg, c.id, ResetValue(*c.row) ? BST_CHECKED : BST_UNCHECKED);
    }
}

}  // namespace

const DialogTemplate kConfigDialogTemplate = {
    "Nereval1.4", 415, 453, "ＭＳ Ｐゴシック", 9, DS_SETFONT | WS_CAPTION | WS_POPUP, kItems, kDialogTextDomain,
};

INT_PTR ConfigDialogProc(HDLG hDlg, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_INITDIALOG) {
        auto* settings = reinterpret_cast<Settings*>(lParam);
        SetWindowLongPtrA(hDlg, DWLP_USER, lParam);
        if (settings) InitDialog(hDlg, *settings);
        return FALSE;
    }
    auto* settings = reinterpret_cast<Settings*>(GetWindowLongPtrA(hDlg, DWLP_USER));
    if (!settings) return FALSE;  // nothing to edit before WM_INITDIALOG
    switch (msg) {
        case WM_HSCROLL:
            for (const SliderBinding& s : kSliders) {
                if (s.id == static_cast<int>(lParam)) ShowSliderValue(hDlg, s);
            }
            return TRUE;
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case IDOK:
                    if (StoreAndSave(hDlg, *settings)) {
                        EndDialog(hDlg, 1);
                    } else {
                        ReportSaveFailure(hDlg);
                        EndDialog(hDlg, kConfigDialogSaveFailed);
                    }
                    return TRUE;
                case IDCANCEL:
                    EndDialog(hDlg, 1);
                    return TRUE;
                case IDC_BTN_BGMFILE:
                    if (HIWORD(wParam) == BN_CLICKED) ChooseMidiFile(hDlg, *settings);
                    return TRUE;
                case IDC_BTN_RESET:
                    if (HIWORD(wParam) == BN_CLICKED) Reset(hDlg);
                    return TRUE;
                default:
                    return TRUE;
            }
        default:
            return FALSE;
    }
}

int ShowConfigDialog(HWND owner) {
    Settings settings;  // the dialog's working copy, loaded by WM_INITDIALOG
    return static_cast<int>(
        DialogBoxIndirectParamA(kConfigDialogTemplate, owner, ConfigDialogProc, reinterpret_cast<LPARAM>(&settings)));
}
