// The configuration dialog: the settings page (template 101, in the user's
// language: English, or Japanese from the catalog) and its dialog procedure,
// which loads the settings, shows every field, resets some to factory values
// and saves them on OK.
#pragma once

#include "platform/dialog/dialog.h"
#include "platform/os/window.h"

class Settings;

// Control ids of the template.
enum ConfigDialogId : int {
    IDC_CHK_FPS = 1000,
    IDC_CHK_BGM = 1001,
    IDC_CHK_CELPHN = 1002,
    IDC_EDIT_BGM = 1003,
    IDC_CHK_LARGEMODEL = 1004,
    IDC_SLD_WHLNUM = 1005,
    IDC_TXT_WHLNUM = 1006,
    IDC_SLD_WHLSPEED = 1007,
    IDC_TXT_WHLSPEED = 1008,
    IDC_BTN_BGMFILE = 1009,
    IDC_BTN_RESET = 1010,
    IDC_SLD_WHLRADIUS = 1011,
    IDC_TXT_WHLRADIUS = 1012,
    IDC_RAD_CAM1 = 1013,
    IDC_RAD_CAM2 = 1014,
    IDC_RAD_CAM3 = 1015,
    IDC_RAD_DIS640 = 1016,
    IDC_RAD_DIS800 = 1017,
    IDC_CHK_EARTH = 1018,
    IDC_CHK_PILLAR = 1019,
    IDC_CHK_MOON = 1020,
    IDC_CHK_CLOCK = 1021,
    IDC_RAD_CLKWORLD = 1022,
    IDC_RAD_CLKNORMAL = 1023,
    IDC_CHK_COL = 1024,
    IDC_CHK_ANIM = 1025,
    IDC_CHK_CLSN = 1026,
    IDC_RAD_ASP43 = 1027,
    IDC_RAD_ASP169 = 1028,
    IDC_CHK_FLTPILLAR = 1029,
    IDC_SLD_SEPFORCE = 1030,
    IDC_SLD_ALIFORCE = 1031,
    IDC_SLD_COHFORCE = 1032,
    IDC_SLD_MIGFORCE = 1033,
    IDC_TXT_SEPFORCE = 1034,
    IDC_SLD_CENFORCE = 1035,
    IDC_TXT_ALIFORCE = 1036,
    IDC_TXT_COHFORCE = 1037,
    IDC_TXT_MIGFORCE = 1038,
    IDC_TXT_CENFORCE = 1039,
};

// Dialog 101: caption "Nereval1.4", 415 x 453 dialog units, 9-point Japanese gothic.
extern const DialogTemplate kConfigDialogTemplate;

// The dialog procedure. WM_INITDIALOG's lParam is the Settings record the
// dialog edits (kept for the dialog's life; it is loaded from the registry
// first); OK saves it, Cancel leaves the registry as it was. When OK cannot
// save, a message box says so and the dialog ends with
// kConfigDialogSaveFailed. Returns FALSE for
// WM_INITDIALOG and for messages it does not handle, TRUE otherwise.
INT_PTR ConfigDialogProc(HDLG hDlg, UINT msg, WPARAM wParam, LPARAM lParam);

// Runs the dialog owned by `owner` (may be null) on a fresh settings record.
// Returns the dialog's result: 1 after OK and after Cancel, -1 when it could
// not be shown, kConfigDialogSaveFailed when OK could not save.
int ShowConfigDialog(HWND owner);
constexpr int kConfigDialogSaveFailed = 2;
