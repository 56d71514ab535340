// Modal dialog boxes shaped like the dialog-manager calls a settings page
// makes: a dialog built from an in-memory template, run modally, talking to
// its dialog procedure through init / horizontal-scroll / command messages,
// and the control calls that procedure uses (check boxes, radio groups, edit
// and static text, trackbars, end dialog, the open-file chooser).
//
// The procedure sees the open dialog as an `HDLG`, a pointer to the abstract
// `DialogWindow`. The GTK 3 implementation (dialog_gtk.cpp) is the real one;
// tests implement `DialogWindow` in memory to drive a procedure without a
// screen. The free functions below (CheckDlgButton, SendDlgItemMessageA, ...)
// only forward to it, so a procedure reads like its Windows original.
//
// Conventions kept from the original platform:
//   - Positions and sizes in templates are dialog units: x units are a
//     quarter, y units an eighth of the dialog font's average character width
//     and height (DialogUnitsToPixels, dialog_units.h).
//   - BM_SETCHECK with any non-zero state checks; on a radio button it sets
//     that button only (clearing it selects none); CheckRadioButton
//     selects one button of a range and clears the others.
//   - TBM_SETPOS clamps to the range; TBM_SETRANGE clamps the position.
//     Neither sends WM_HSCROLL; only the user's moves do.
//   - Control messages do not reach the procedure: WM_COMMAND is sent for
//     clicks by the user (and Enter / Escape), WM_HSCROLL for slider moves.
// Differences, chosen for this platform:
//   - WM_HSCROLL's lParam is the id of the slider that moved (the original
//     passes the slider's window, which procedures map back to its id).
//   - The open-file chooser is asked through the dialog that opens it, so a
//     test double can answer for it; the chooser itself has no owner.
// One thread only.
#pragma once

#include <cstdint>
#include <span>

#include "platform/base/wintypes.h"
#include "platform/os/window.h"

using INT_PTR = std::intptr_t;
using LONG_PTR = std::intptr_t;

// Messages to a dialog procedure.
constexpr UINT WM_INITDIALOG = 0x0110;  // lParam: the init parameter of the run call
constexpr UINT WM_COMMAND = 0x0111;     // wParam: MAKEWPARAM(control id, notification)
constexpr UINT WM_HSCROLL = 0x0114;     // wParam: MAKEWPARAM(scroll code, position); lParam: slider id

constexpr WORD BN_CLICKED = 0;
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDC_STATIC = -1;  // controls the procedure never addresses

constexpr WORD TB_THUMBTRACK = 5;  // the scroll code of every user move of a slider

// Button messages.
constexpr UINT BM_GETCHECK = 0x00F0;
constexpr UINT BM_SETCHECK = 0x00F1;  // wParam: BST_UNCHECKED / BST_CHECKED
constexpr UINT BST_UNCHECKED = 0;
constexpr UINT BST_CHECKED = 1;

// Trackbar messages. Range and position are integers.
constexpr UINT WM_USER = 0x0400;
constexpr UINT TBM_GETPOS = WM_USER;
constexpr UINT TBM_GETRANGEMIN = WM_USER + 1;
constexpr UINT TBM_GETRANGEMAX = WM_USER + 2;
constexpr UINT TBM_SETPOS = WM_USER + 5;    // wParam: redraw; lParam: position
constexpr UINT TBM_SETRANGE = WM_USER + 6;  // wParam: redraw; lParam: MAKELONG(min, max)

constexpr WORD LOWORD(std::uintptr_t v) { return static_cast<WORD>(v & 0xFFFF); }
constexpr WORD HIWORD(std::uintptr_t v) { return static_cast<WORD>((v >> 16) & 0xFFFF); }
constexpr WPARAM MAKEWPARAM(WORD lo, WORD hi) { return static_cast<WPARAM>(lo) | (static_cast<WPARAM>(hi) << 16); }
constexpr LPARAM MAKELONG(WORD lo, WORD hi) {
    return static_cast<LPARAM>(static_cast<std::int32_t>(static_cast<DWORD>(lo) | (static_cast<DWORD>(hi) << 16)));
}

// Styles (values of the original platform).
constexpr DWORD WS_GROUP = 0x00020000u;    // starts a radio group (and a tab group)
constexpr DWORD WS_TABSTOP = 0x00010000u;  // Tab stops here
constexpr DWORD DS_SETFONT = 0x00000040u;
constexpr DWORD BS_PUSHBUTTON = 0x0;
constexpr DWORD BS_DEFPUSHBUTTON = 0x1;  // activated by Enter
constexpr DWORD BS_AUTOCHECKBOX = 0x3;
constexpr DWORD BS_GROUPBOX = 0x7;
constexpr DWORD BS_AUTORADIOBUTTON = 0x9;
constexpr DWORD BS_TYPEMASK = 0xF;
constexpr DWORD BS_FLAT = 0x8000;  // two-dimensional look; GTK draws its own theme
constexpr DWORD SS_LEFT = 0x0;
constexpr DWORD SS_CENTER = 0x1;
constexpr DWORD ES_AUTOHSCROLL = 0x80;
constexpr DWORD TBS_HORZ = 0x0;
constexpr DWORD TBS_BOTH = 0x8;
constexpr DWORD TBS_NOTICKS = 0x10;

// Control classes of a template item.
enum class DialogItemClass { Button, Edit, Static, Trackbar };

// One control: id, class, text (UTF-8; null for none), rectangle in dialog
// units, style. Buttons are told apart by their BS_ type.
struct DialogItem {
    int id;
    DialogItemClass cls;
    const char* text;
    short x, y, cx, cy;
    DWORD style;
};

// A whole dialog. Items are in template order, which is the tab order, the
// radio grouping order and the drawing order (group boxes first).
struct DialogTemplate {
    const char* caption;
    short cx, cy;          // client size, dialog units
    const char* fontFace;  // a face name of the original platform; see DialogFontFamily
    int pointSize;
    DWORD style;
    std::span<const DialogItem> items;
    // The message catalog the items' texts are translated from when shown
    // (dialog_text.h); null shows them as written. The caption is never
    // translated: tools find the window by it.
    const char* textDomain = nullptr;
};

// The open-file request, as much of it as a settings page uses. The chosen
// path replaces lpstrFile only when it fits in nMaxFile bytes with its NUL.
constexpr DWORD OFN_FILEMUSTEXIST = 0x00001000u;
struct OPENFILENAMEA {
    DWORD lStructSize;
    HWND hwndOwner;           // not used: the chooser has no owner
    const char* lpstrFilter;  // pairs of NUL-terminated strings (name, patterns separated by ';'), ending in an empty one
    char* lpstrFile;          // in: the initial name; out: the chosen path
    DWORD nMaxFile;           // bytes of lpstrFile
    char* lpstrFileTitle;     // optional: the chosen name without its folder
    DWORD nMaxFileTitle;
    const char* lpstrTitle;
    DWORD Flags;
    const char* lpstrDefExt;  // appended (with a dot) to a name typed without extension
};

// One open dialog, as its procedure sees it.
class DialogWindow {
public:
    virtual ~DialogWindow() = default;
    // BM_GETCHECK / BM_SETCHECK / TBM_* to control `id`. 0 for an unknown id
    // or a message the control does not take.
    virtual LRESULT SendItemMessage(int id, UINT message, WPARAM wParam, LPARAM lParam) = 0;
    // Text of an edit, static, button or group box (UTF-8). FALSE for an unknown id.
    virtual BOOL SetItemText(int id, const char* text) = 0;
    // Copies at most size - 1 bytes (never half a character) and a NUL; returns
    // the bytes copied. 0 and an empty buffer for an unknown id.
    virtual UINT GetItemText(int id, char* buffer, int size) = 0;
    // Checks `check` and clears every other radio or check box with an id in first..last.
    virtual BOOL CheckRadio(int first, int last, int check) = 0;
    // Ends the modal run once the procedure returns; the run call returns `result`.
    virtual BOOL End(INT_PTR result) = 0;
    // One value the procedure keeps with its dialog (the original's DWLP_USER).
    virtual LONG_PTR SetUserData(LONG_PTR value) = 0;  // returns the previous value
    virtual LONG_PTR GetUserData() = 0;
    // Runs the open-file chooser modally. TRUE when a file was chosen and
    // written to ofn->lpstrFile; FALSE on cancel (the buffer is unchanged).
    virtual BOOL GetOpenFileName(OPENFILENAMEA* ofn) = 0;
    // Shows `text` in a modal message box over the dialog, with one OK button;
    // returns IDOK once the user closed it. `type` (MB_ flags) is taken as an error box.
    virtual int MessageBox(const char* text, const char* caption, UINT type) = 0;
};
using HDLG = DialogWindow*;
using DLGPROC = INT_PTR (*)(HDLG, UINT, WPARAM, LPARAM);

// Builds the dialog from `tmpl`, sends WM_INITDIALOG with `initParam`, shows it
// and runs until the procedure calls EndDialog; returns EndDialog's result.
// -1 when no dialog can be shown (no display); the reason goes to stderr.
// The owner is a saver window or null; the dialog is centred on the screen.
INT_PTR DialogBoxIndirectParamA(const DialogTemplate& tmpl, HWND owner, DLGPROC proc, LPARAM initParam);

// The control calls of a dialog procedure.
inline LRESULT SendDlgItemMessageA(HDLG dlg, int id, UINT message, WPARAM wParam, LPARAM lParam) {
    return dlg->SendItemMessage(id, message, wParam, lParam);
}
inline BOOL CheckDlgButton(HDLG dlg, int id, UINT check) {
    dlg->SendItemMessage(id, BM_SETCHECK, check, 0);
    return TRUE;
}
inline UINT IsDlgButtonChecked(HDLG dlg, int id) {
    return static_cast<UINT>(dlg->SendItemMessage(id, BM_GETCHECK, 0, 0));
}
inline BOOL CheckRadioButton(HDLG dlg, int first, int last, int check) { return dlg->CheckRadio(first, last, check); }
inline BOOL SetDlgItemTextA(HDLG dlg, int id, const char* text) { return dlg->SetItemText(id, text); }
inline UINT GetDlgItemTextA(HDLG dlg, int id, char* buffer, int size) { return dlg->GetItemText(id, buffer, size); }
inline BOOL EndDialog(HDLG dlg, INT_PTR result) { return dlg->End(result); }
constexpr int DWLP_USER = 0;  // the one user slot
inline LONG_PTR SetWindowLongPtrA(HDLG dlg, int /*DWLP_USER*/, LONG_PTR value) { return dlg->SetUserData(value); }
inline LONG_PTR GetWindowLongPtrA(HDLG dlg, int /*DWLP_USER*/) { return dlg->GetUserData(); }
inline BOOL GetOpenFileNameA(HDLG from, OPENFILENAMEA* ofn) { return from->GetOpenFileName(ofn); }
constexpr UINT MB_OK = 0x0;
constexpr UINT MB_ICONERROR = 0x10;
inline int MessageBoxA(HDLG owner, const char* text, const char* caption, UINT type) {
    return owner->MessageBox(text, caption, type);
}

// For implementations of GetItemText: copies `text` into buffer as that call
// promises (at most size - 1 bytes, cut before a partial UTF-8 character, NUL
// added); returns the bytes copied.
UINT CopyItemText(const char* text, char* buffer, int size);
