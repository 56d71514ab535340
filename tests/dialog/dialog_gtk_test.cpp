// The real GTK dialog layer under a virtual X server: the configuration page
// shows its texts in the user's language (run under a Japanese and an
// English locale), every one in the Japanese font with no missing glyphs at
// its template rectangle, no control over another; controls answer messages
// as the original platform's do.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "platform/dialog/dialog.h"
#include "platform/dialog/dialog_inspect.h"
#include "settings/config_dialog.h"
#include "settings/settings.h"
#include "tests/support/private_folders.h"

namespace {

// Runs `tmpl` with `proc`; `shown` runs once the dialog is on screen, and the
// dialog ends with 77 afterwards unless `shown` ended it.
INT_PTR RunShown(const DialogTemplate& tmpl, DLGPROC proc, LPARAM param, std::function<void(HDLG)> shown) {
    struct Ctx {
        std::function<void(HDLG)> fn;
    } ctx{std::move(shown)};
    SetDialogShownHook(
        [](HDLG dlg, void* c) {
            static_cast<Ctx*>(c)->fn(dlg);
            EndDialog(dlg, 77);  // no effect when the hook ended it already
        },
        &ctx);
    INT_PTR r = DialogBoxIndirectParamA(tmpl, nullptr, proc, param);
    SetDialogShownHook(nullptr, nullptr);
    return r;
}

// A small template for the control semantics, with a procedure that records
// what reached it.
constexpr int kCheck = 10, kRadioA = 11, kRadioB = 12, kRadioC = 13, kSlider = 14, kEdit = 15, kLabel = 16;
constexpr DialogItem kItems[] = {
    {kCheck, DialogItemClass::Button, "check", 5, 5, 60, 10, BS_AUTOCHECKBOX | WS_TABSTOP},
    {kRadioA, DialogItemClass::Button, "a", 5, 20, 30, 10, BS_AUTORADIOBUTTON | WS_GROUP | WS_TABSTOP},
    {kRadioB, DialogItemClass::Button, "b", 40, 20, 30, 10, BS_AUTORADIOBUTTON},
    {kRadioC, DialogItemClass::Button, "c", 75, 20, 30, 10, BS_AUTORADIOBUTTON},
    {kSlider, DialogItemClass::Trackbar, nullptr, 5, 35, 100, 15, TBS_NOTICKS | WS_GROUP | WS_TABSTOP},
    {kEdit, DialogItemClass::Edit, nullptr, 5, 55, 100, 12, WS_TABSTOP},
    {kLabel, DialogItemClass::Static, "label", 5, 70, 50, 8, SS_LEFT},
    {IDOK, DialogItemClass::Button, "OK", 60, 85, 50, 14, BS_DEFPUSHBUTTON | WS_TABSTOP},
};
const DialogTemplate kSmall = {"small", 120, 105, "ＭＳ Ｐゴシック", 9, DS_SETFONT, kItems};

std::vector<UINT> g_Messages;
INT_PTR RecordingProc(HDLG, UINT msg, WPARAM, LPARAM) {
    g_Messages.push_back(msg);
    return FALSE;
}

// The page's Japanese texts in template order (null: the control has none).
constexpr const char* kJapanese[] = {
    "全般の設定", "動作", "映像", "物体", "高負荷（低速）オプション", "ＢＧＭの設定", "MIDIファイル", "鯨の設定", "鯨の数", "移動速度", "影響範囲",
    "高度な設定（説明書をよく読んでから設定してください）", "反発", "整列", "擬集", "指向", "集合", "2005.2", "モード１（浮遊カメラ）", "モード２（複合カメラ）",
    "モード３（回転カメラ）", "深海", "640*480", "800*600", "4:3", "16:9", "FPS表示", "青セロファン", "アニメーション", "障害物回避", "地球",
    "柱状物体（遠景）", "柱状物体（浮遊）", "月", "時計", "世界時計", "通常時計", "BGMを鳴らす", "Midiファイルの選択", nullptr, nullptr, nullptr, nullptr,
    "モデルを拡大（説明書参照）", nullptr, nullptr, nullptr, nullptr, nullptr, "設定をリセット", "OK", "ｷｬﾝｾﾙ", nullptr, nullptr,
    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr
};

// More than a pixel's overlap (rounding to pixels lets neighbours touch).
bool Overlap(const RECT& a, const RECT& b) {
    return a.left < b.right - 1 && b.left < a.right - 1 && a.top < b.bottom - 1 && b.top < a.bottom - 1;
}

}  // namespace

// Run with LANG=ja_JP.UTF-8 (the page's Japanese texts) and LANG=C (the
// English ones, the template's message ids).
TEST(ConfigDialogOnScreen, EveryTextIsInTheUsersLanguageInTheDialogFontAtItsRectangle) {
    PrivateFolders folders("nereval-dialog");
    Settings settings;
    std::vector<DialogControlReport> reports;
    std::string caption;
    DialogBaseUnits base{};
    int focus = 0;
    INT_PTR r = RunShown(kConfigDialogTemplate, ConfigDialogProc, reinterpret_cast<LPARAM>(&settings), [&](HDLG dlg) {
        reports = InspectDialog(dlg);
        caption = DialogCaption(dlg);
        base = DialogBaseUnitsOf(dlg);
        focus = DialogFocusId(dlg);
    });
    EXPECT_EQ(r, 77);
    EXPECT_EQ(caption, "Nereval1.4");
    EXPECT_EQ(focus, IDC_RAD_CAM1) << "the first tab stop (the selected camera mode) starts with the focus";
    std::printf("base units %d x %d pixels\n", base.cx, base.cy);
    EXPECT_GE(base.cx, 5);
    EXPECT_LE(base.cx, 8);
    EXPECT_GE(base.cy, 11);
    EXPECT_LE(base.cy, 14);
    ASSERT_EQ(reports.size(), kConfigDialogTemplate.items.size());
    const char* lang = std::getenv("LANG");
    const bool japanese = lang && std::strncmp(lang, "ja", 2) == 0;
    if (japanese) {
        ASSERT_EQ(std::strncmp(std::setlocale(LC_MESSAGES, nullptr), "ja", 2), 0)
            << lang << " is not generated (tools/install-deps.sh --test generates it)";
    }
    ASSERT_EQ(std::size(kJapanese), reports.size());

    int texts = 0;
    for (std::size_t i = 0; i < reports.size(); ++i) {
        const DialogControlReport& c = reports[i];
        const DialogItem& item = kConfigDialogTemplate.items[i];
        SCOPED_TRACE(c.text);
        if (item.text) {
            EXPECT_EQ(c.text, japanese ? kJapanese[i] : item.text);
        }
        // Every text fits beside its neighbours: a control GTK made larger
        // than its rectangle covers no other (group boxes hold the others).
        bool group = item.cls == DialogItemClass::Button && (item.style & BS_TYPEMASK) == BS_GROUPBOX;
        for (std::size_t j = 0; j < i && !group; ++j) {
            const DialogItem& other = kConfigDialogTemplate.items[j];
            if (other.cls == DialogItemClass::Button && (other.style & BS_TYPEMASK) == BS_GROUPBOX) continue;
            EXPECT_FALSE(Overlap(c.actual, reports[j].actual)) << "over \"" << reports[j].text << "\"";
        }
        // Controls are placed at their rectangles; GTK may make a control
        // larger than asked for (never smaller), growing right and down.
        EXPECT_EQ(c.actual.left, c.wanted.left);
        EXPECT_EQ(c.actual.top, c.wanted.top);
        EXPECT_GE(c.actual.right - c.actual.left, c.wanted.right - c.wanted.left);
        int grownX = (c.actual.right - c.actual.left) - (c.wanted.right - c.wanted.left);
        int grownY = (c.actual.bottom - c.actual.top) - (c.wanted.bottom - c.wanted.top);
        if (grownX > 0 || grownY > 0) std::printf("id %d \"%s\": %+d x %+d pixels\n", c.id, c.text.c_str(), grownX, grownY);
        if (c.text.empty()) continue;
        ++texts;
        EXPECT_EQ(c.unknownGlyphs, 0) << c.families;
        // The family's name as fontconfig gives it: Japanese under a Japanese locale.
        EXPECT_TRUE(c.families == "IPAPGothic" || c.families == "IPA Pゴシック") << c.families;
    }
    EXPECT_GE(texts, 50);  // every label, group, button and value label, and the edit's path
}

TEST(DialogLayerOnScreen, ControlsAnswerLikeTheOriginalPlatform) {
    g_Messages.clear();
    INT_PTR r = RunShown(kSmall, RecordingProc, 0, [](HDLG dlg) {
        // Radios start with none selected; BM_SETCHECK selects, CheckRadioButton moves.
        EXPECT_EQ(IsDlgButtonChecked(dlg, kRadioA), BST_UNCHECKED);
        EXPECT_EQ(IsDlgButtonChecked(dlg, kRadioB), BST_UNCHECKED);
        CheckDlgButton(dlg, kRadioB, BST_CHECKED);
        EXPECT_EQ(IsDlgButtonChecked(dlg, kRadioB), BST_CHECKED);
        CheckRadioButton(dlg, kRadioA, kRadioC, kRadioC);
        EXPECT_EQ(IsDlgButtonChecked(dlg, kRadioB), BST_UNCHECKED);
        EXPECT_EQ(IsDlgButtonChecked(dlg, kRadioC), BST_CHECKED);
        CheckDlgButton(dlg, kRadioC, BST_UNCHECKED);
        EXPECT_EQ(IsDlgButtonChecked(dlg, kRadioA) + IsDlgButtonChecked(dlg, kRadioB) +
                      IsDlgButtonChecked(dlg, kRadioC),
                  0u);
        CheckDlgButton(dlg, kCheck, BST_CHECKED);
        EXPECT_EQ(IsDlgButtonChecked(dlg, kCheck), BST_CHECKED);
        CheckDlgButton(dlg, kCheck, BST_UNCHECKED);
        EXPECT_EQ(IsDlgButtonChecked(dlg, kCheck), BST_UNCHECKED);
        CheckDlgButton(dlg, kCheck, 2);  // any non-zero state reads back as checked
        EXPECT_EQ(IsDlgButtonChecked(dlg, kCheck), BST_CHECKED);
        CheckDlgButton(dlg, kCheck, BST_UNCHECKED);

        // Trackbar: the range clamps the position both ways.
        SendDlgItemMessageA(dlg, kSlider, TBM_SETRANGE, TRUE, MAKELONG(12, 100));
        EXPECT_EQ(SendDlgItemMessageA(dlg, kSlider, TBM_GETRANGEMIN, 0, 0), 12);
        EXPECT_EQ(SendDlgItemMessageA(dlg, kSlider, TBM_GETRANGEMAX, 0, 0), 100);
        SendDlgItemMessageA(dlg, kSlider, TBM_SETPOS, TRUE, 80);
        EXPECT_EQ(SendDlgItemMessageA(dlg, kSlider, TBM_GETPOS, 0, 0), 80);
        SendDlgItemMessageA(dlg, kSlider, TBM_SETPOS, TRUE, 300);
        EXPECT_EQ(SendDlgItemMessageA(dlg, kSlider, TBM_GETPOS, 0, 0), 100);
        SendDlgItemMessageA(dlg, kSlider, TBM_SETPOS, TRUE, -4);
        EXPECT_EQ(SendDlgItemMessageA(dlg, kSlider, TBM_GETPOS, 0, 0), 12);
        SendDlgItemMessageA(dlg, kSlider, TBM_SETPOS, TRUE, 90);
        SendDlgItemMessageA(dlg, kSlider, TBM_SETRANGE, TRUE, MAKELONG(1, 50));
        EXPECT_EQ(SendDlgItemMessageA(dlg, kSlider, TBM_GETPOS, 0, 0), 50);

        // Text: round trip, truncation at a character, unknown ids.
        SetDlgItemTextA(dlg, kEdit, "/音楽/鯨.mid");
        char buf[64];
        EXPECT_EQ(GetDlgItemTextA(dlg, kEdit, buf, sizeof buf), std::strlen("/音楽/鯨.mid"));
        EXPECT_STREQ(buf, "/音楽/鯨.mid");
        EXPECT_EQ(GetDlgItemTextA(dlg, kEdit, buf, 6), 4u);  // "/音" is 4 bytes; 楽 would not fit
        EXPECT_STREQ(buf, "/音");
        // A character no font has is counted (so a missing Japanese font would be).
        SetDlgItemTextA(dlg, kLabel, "\xf3\xb0\x80\x80");  // U+F0000, private use
        for (const DialogControlReport& c : InspectDialog(dlg)) {
            if (c.id == kLabel) {
                EXPECT_EQ(c.unknownGlyphs, 1);
            }
        }
        // A path named in Shift-JIS: shown readably, its exact bytes kept
        // until the user edits the text.
        const char* sjis = "/\x89\xb9\x8a\x79/\x8c\x7e\x82\xcc\x89\xcc.mid";  // /音楽/鯨の歌.mid
        SetDlgItemTextA(dlg, kEdit, sjis);
        EXPECT_EQ(GetDlgItemTextA(dlg, kEdit, buf, sizeof buf), std::strlen(sjis));
        EXPECT_STREQ(buf, sjis);
        for (const DialogControlReport& c : InspectDialog(dlg)) {
            if (c.id == kEdit) {
                EXPECT_EQ(c.text, "/音楽/鯨の歌.mid");
            }
        }

        SetDlgItemTextA(dlg, kLabel, "42");
        EXPECT_EQ(GetDlgItemTextA(dlg, kLabel, buf, sizeof buf), 2u);
        EXPECT_EQ(GetDlgItemTextA(dlg, 999, buf, sizeof buf), 0u);
        EXPECT_STREQ(buf, "");
        EXPECT_EQ(SetDlgItemTextA(dlg, 999, "x"), FALSE);
        EXPECT_EQ(SendDlgItemMessageA(dlg, 999, TBM_GETPOS, 0, 0), 0);
        EXPECT_EQ(SendDlgItemMessageA(dlg, kCheck, TBM_GETPOS, 0, 0), 0);

        SetWindowLongPtrA(dlg, DWLP_USER, 1234);
        EXPECT_EQ(GetWindowLongPtrA(dlg, DWLP_USER), 1234);
        EXPECT_EQ(DialogFocusId(dlg), kCheck);
        EndDialog(dlg, 5);
    });
    EXPECT_EQ(r, 5);
    // Only WM_INITDIALOG: the program's own changes notify nobody.
    ASSERT_EQ(g_Messages.size(), 1u);
    EXPECT_EQ(g_Messages[0], WM_INITDIALOG);
}

TEST(DialogLayerOnScreen, EndingDuringInitNeverShowsTheDialog) {
    bool shown = false;
    INT_PTR r = RunShown(
        kSmall,
        [](HDLG dlg, UINT msg, WPARAM, LPARAM) -> INT_PTR {
            if (msg == WM_INITDIALOG) EndDialog(dlg, 3);
            return FALSE;
        },
        0, [&](HDLG) { shown = true; });
    EXPECT_EQ(r, 3);
    EXPECT_FALSE(shown);
    EXPECT_EQ(DialogBoxIndirectParamA(kSmall, nullptr, nullptr, 0), -1) << "no procedure, no dialog";
}
