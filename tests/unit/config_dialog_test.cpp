// The configuration dialog's procedure, driven through an in-memory dialog:
// initial state from the settings file, clamping, OK / Cancel, Reset, the
// file chooser; the template's own consistency; dialog-unit arithmetic.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "platform/dialog/dialog_units.h"
#include "platform/os/registry.h"
#include "settings/config_dialog.h"
#include "settings/settings.h"
#include "settings/settings_table.h"
#include "tests/support/settings_file.h"
#include "tests/support/fake_dialog.h"

namespace {

class ConfigDialogTest : public ::testing::Test {
protected:
    void SetUp() override { std::filesystem::remove(SettingsFile()); }
    void TearDown() override { std::filesystem::remove(SettingsFile()); }

    // Stores a settings file holding `edit`'s changes to the defaults.
    template <typename F>
    static void StoreSettings(F edit) {
        Settings s;
        edit(s);
        s.Save();
    }
    static Settings Stored() {
        Settings s;
        s.Load();
        return s;
    }
    // Opens the dialog on a fresh record, as ShowConfigDialog does.
    void Open() {
        ASSERT_EQ(m_dlg.Init(reinterpret_cast<LPARAM>(&m_working)), FALSE);
        ASSERT_EQ(m_dlg.UnknownIdCalls(), 0);
    }
    static int SelectedCount(const FakeDialog& d, std::initializer_list<int> ids) {
        int n = 0;
        for (int id : ids) n += d.Checked(id);
        return n;
    }

    Settings m_working;
    FakeDialog m_dlg{kConfigDialogTemplate, ConfigDialogProc};
};

}  // namespace

TEST_F(ConfigDialogTest, NoSettingsFileShowsTheDefaults) {
    Open();
    EXPECT_EQ(m_dlg.Pos(IDC_SLD_WHLNUM), 30);
    EXPECT_EQ(m_dlg.Text(IDC_TXT_WHLNUM), "30");
    EXPECT_EQ(m_dlg.Pos(IDC_SLD_ALIFORCE), 20);
    EXPECT_EQ(m_dlg.Text(IDC_TXT_ALIFORCE), "20");
    EXPECT_EQ(m_dlg.Text(IDC_TXT_WHLSPEED), "100");
    EXPECT_EQ(m_dlg.Text(IDC_TXT_WHLRADIUS), "50");
    EXPECT_EQ(m_dlg.Text(IDC_EDIT_BGM), "tune_main.mid");
    EXPECT_TRUE(m_dlg.Checked(IDC_CHK_FPS));
    EXPECT_FALSE(m_dlg.Checked(IDC_CHK_COL));
    EXPECT_FALSE(m_dlg.Checked(IDC_CHK_BGM));
    EXPECT_TRUE(m_dlg.Checked(IDC_CHK_EARTH));
    EXPECT_TRUE(m_dlg.Checked(IDC_RAD_CAM1));
    EXPECT_TRUE(m_dlg.Checked(IDC_RAD_DIS640));
    EXPECT_TRUE(m_dlg.Checked(IDC_RAD_ASP43));
    EXPECT_TRUE(m_dlg.Checked(IDC_RAD_CLKWORLD));
    EXPECT_EQ(SelectedCount(m_dlg, {IDC_RAD_CAM1, IDC_RAD_CAM2, IDC_RAD_CAM3}), 1);
    EXPECT_FALSE(std::filesystem::exists(SettingsFile())) << "opening the dialog writes nothing";
}

TEST_F(ConfigDialogTest, StoredValuesAreShownAndOutOfRangeOnesClamped) {
    StoreSettings([](Settings& s) {
        s.intWhlNumCur = 80;
        s.intWhlRadiusCur = 3;
        s.intCamMod = 7;
        s.intDisMod = 2;
        s.intAspMod = 2;
        s.intClkMod = 5;
        s.intChkFPS = 0;
        s.intChkCol = 1;
        s.intChkEarth = 2;  // not 0/1: the saver reads it as on
        std::strcpy(s.strBGMUsr, "/music/umi.mid");
    });
    Open();
    EXPECT_TRUE(m_dlg.Checked(IDC_CHK_EARTH));
    EXPECT_EQ(m_dlg.Pos(IDC_SLD_WHLNUM), 50);
    EXPECT_EQ(m_dlg.Text(IDC_TXT_WHLNUM), "50");
    EXPECT_EQ(m_dlg.Text(IDC_TXT_WHLRADIUS), "12");
    EXPECT_TRUE(m_dlg.Checked(IDC_RAD_CAM1)) << "an unknown camera mode shows mode 1";
    EXPECT_EQ(SelectedCount(m_dlg, {IDC_RAD_CAM1, IDC_RAD_CAM2, IDC_RAD_CAM3}), 1);
    EXPECT_TRUE(m_dlg.Checked(IDC_RAD_DIS800));
    EXPECT_TRUE(m_dlg.Checked(IDC_RAD_ASP169));
    EXPECT_TRUE(m_dlg.Checked(IDC_RAD_CLKNORMAL));
    EXPECT_FALSE(m_dlg.Checked(IDC_CHK_FPS));
    EXPECT_TRUE(m_dlg.Checked(IDC_CHK_COL));
    EXPECT_EQ(m_dlg.Text(IDC_EDIT_BGM), "/music/umi.mid");

    m_dlg.Click(IDOK);
    EXPECT_TRUE(m_dlg.Ended());
    EXPECT_EQ(m_dlg.Result(), 1);
    Settings s = Stored();
    EXPECT_EQ(s.intWhlNumCur, 50);
    EXPECT_EQ(s.intWhlRadiusCur, 12);
    EXPECT_EQ(s.intCamMod, 1);
    EXPECT_EQ(s.intClkMod, 1);
    EXPECT_EQ(s.intDisMod, 2);
    EXPECT_EQ(s.intChkEarth, 1) << "a check box shown checked is stored as 1, not cleared";
}

TEST_F(ConfigDialogTest, OkStoresEveryFieldAsTheControlsShowIt) {
    Open();
    Settings want;  // the defaults, with what the user changes below
    auto flip = [&](int id, int Settings::*field) {
        m_dlg.Click(id);
        want.*field = 1 - want.*field;
    };
    flip(IDC_CHK_FPS, &Settings::intChkFPS);
    flip(IDC_CHK_CELPHN, &Settings::intChkCelphn);
    flip(IDC_CHK_COL, &Settings::intChkCol);
    flip(IDC_CHK_EARTH, &Settings::intChkEarth);
    flip(IDC_CHK_PILLAR, &Settings::intChkPillar);
    flip(IDC_CHK_FLTPILLAR, &Settings::intChkFltPillar);
    flip(IDC_CHK_MOON, &Settings::intChkMoon);
    flip(IDC_CHK_CLOCK, &Settings::intChkClock);
    flip(IDC_CHK_ANIM, &Settings::intChkAnim);
    flip(IDC_CHK_CLSN, &Settings::intChkClsn);
    flip(IDC_CHK_BGM, &Settings::intChkBGM);
    flip(IDC_CHK_LARGEMODEL, &Settings::intChkLargeModel);
    auto choose = [&](int id, int Settings::*field, int value) {
        m_dlg.Click(id);
        want.*field = value;
    };
    choose(IDC_RAD_CAM3, &Settings::intCamMod, 3);
    choose(IDC_RAD_DIS800, &Settings::intDisMod, 2);
    choose(IDC_RAD_ASP169, &Settings::intAspMod, 2);
    choose(IDC_RAD_CLKNORMAL, &Settings::intClkMod, 1);
    auto slide = [&](int id, int Settings::*field, int value) {
        m_dlg.Slide(id, value);
        want.*field = value;
    };
    slide(IDC_SLD_WHLNUM, &Settings::intWhlNumCur, 7);
    slide(IDC_SLD_WHLRADIUS, &Settings::intWhlRadiusCur, 99);
    slide(IDC_SLD_WHLSPEED, &Settings::intWhlSpeedCur, 150);
    slide(IDC_SLD_SEPFORCE, &Settings::intWhlSepForceCur, 1);
    slide(IDC_SLD_ALIFORCE, &Settings::intWhlAliForceCur, 64);
    slide(IDC_SLD_COHFORCE, &Settings::intWhlCohForceCur, 33);
    slide(IDC_SLD_MIGFORCE, &Settings::intWhlMigForceCur, 2);
    slide(IDC_SLD_CENFORCE, &Settings::intWhlCenForceCur, 77);
    m_dlg.Type(IDC_EDIT_BGM, "/home/u/kujira.mid");
    EXPECT_FALSE(m_dlg.Ended());
    m_dlg.Click(IDOK);
    EXPECT_TRUE(m_dlg.Ended());
    EXPECT_EQ(m_dlg.UnknownIdCalls(), 0);

    Settings got = Stored();
    for (const SettingRow& row : kSettingRows) {
        if (row.field) {
            EXPECT_EQ(got.*row.field, want.*row.field) << row.name;
        }
    }
    EXPECT_STREQ(got.strBGMUsr, "/home/u/kujira.mid");
}

TEST_F(ConfigDialogTest, SlidingUpdatesOnlyThatSlidersLabel) {
    Open();
    m_dlg.Slide(IDC_SLD_COHFORCE, 42);
    EXPECT_EQ(m_dlg.Text(IDC_TXT_COHFORCE), "42");
    EXPECT_EQ(m_dlg.Text(IDC_TXT_MIGFORCE), "100");
    EXPECT_EQ(m_dlg.Text(IDC_TXT_SEPFORCE), "100");
    m_dlg.Slide(IDC_SLD_WHLSPEED, 500);  // the control clamps, the label follows it
    EXPECT_EQ(m_dlg.Text(IDC_TXT_WHLSPEED), "150");
}

TEST_F(ConfigDialogTest, ResetRestoresFactoryValuesButSavesNothingUntilOk) {
    StoreSettings([](Settings& s) {
        s.intCamMod = 3;
        s.intDisMod = 2;
        s.intAspMod = 2;
        s.intClkMod = 1;
        s.intChkFPS = 0;
        s.intWhlAliForceCur = 90;
        std::strcpy(s.strBGMUsr, "/music/umi.mid");
    });
    const std::string before = ReadAll(SettingsFile());
    Open();
    m_dlg.Slide(IDC_SLD_WHLNUM, 3);
    m_dlg.Click(IDC_BTN_RESET);

    EXPECT_EQ(m_dlg.Text(IDC_EDIT_BGM), "tune_main.mid");
    EXPECT_EQ(m_dlg.Text(IDC_TXT_ALIFORCE), "25");
    EXPECT_EQ(m_dlg.Pos(IDC_SLD_ALIFORCE), 25);
    EXPECT_EQ(m_dlg.Text(IDC_TXT_WHLNUM), "30");
    EXPECT_EQ(m_dlg.Text(IDC_TXT_WHLRADIUS), "50");
    EXPECT_EQ(m_dlg.Text(IDC_TXT_WHLSPEED), "100");
    EXPECT_TRUE(m_dlg.Checked(IDC_RAD_CAM1));
    EXPECT_EQ(SelectedCount(m_dlg, {IDC_RAD_CAM1, IDC_RAD_CAM2, IDC_RAD_CAM3}), 1);
    EXPECT_TRUE(m_dlg.Checked(IDC_RAD_DIS640));
    EXPECT_EQ(SelectedCount(m_dlg, {IDC_RAD_DIS640, IDC_RAD_DIS800}), 1);
    // Not Reset's business: check boxes, aspect, clock kind.
    EXPECT_FALSE(m_dlg.Checked(IDC_CHK_FPS));
    EXPECT_TRUE(m_dlg.Checked(IDC_RAD_ASP169));
    EXPECT_TRUE(m_dlg.Checked(IDC_RAD_CLKNORMAL));
    EXPECT_EQ(ReadAll(SettingsFile()), before) << "Reset alone saves nothing";

    m_dlg.Click(IDOK);
    Settings s = Stored();
    EXPECT_EQ(s.intCamMod, 1);
    EXPECT_EQ(s.intDisMod, 1);
    EXPECT_EQ(s.intAspMod, 2);
    EXPECT_EQ(s.intWhlAliForceCur, 25);
    EXPECT_STREQ(s.strBGMUsr, "tune_main.mid");
}

TEST_F(ConfigDialogTest, ChoosingAFileShowsItAndCancelLeavesTheFileUnchanged) {
    StoreSettings([](Settings& s) { std::strcpy(s.strBGMUsr, "/music/umi.mid"); });
    const std::string before = ReadAll(SettingsFile());
    Open();
    m_dlg.AnswerFileChooser("/music/other.mid");
    m_dlg.Click(IDC_BTN_BGMFILE);
    EXPECT_EQ(m_dlg.ChooserCalls(), 1);
    EXPECT_EQ(m_dlg.ChooserTitle(), "Choose a MIDI file");  // English: no locale set here
    EXPECT_EQ(m_dlg.ChooserInitialName(), "/music/umi.mid");
    EXPECT_EQ(m_dlg.Text(IDC_EDIT_BGM), "/music/other.mid");

    m_dlg.Click(IDCANCEL);
    EXPECT_TRUE(m_dlg.Ended());
    EXPECT_EQ(m_dlg.Result(), 1);
    EXPECT_EQ(ReadAll(SettingsFile()), before);
}

TEST_F(ConfigDialogTest, CancelledChooserKeepsTheTextAndOkSavesAChosenFile) {
    Open();
    m_dlg.AnswerFileChooser(std::nullopt);
    m_dlg.Click(IDC_BTN_BGMFILE);
    EXPECT_EQ(m_dlg.Text(IDC_EDIT_BGM), "tune_main.mid");
    m_dlg.AnswerFileChooser(std::string(300, 'a'));  // too long for the field: refused
    m_dlg.Click(IDC_BTN_BGMFILE);
    EXPECT_EQ(m_dlg.Text(IDC_EDIT_BGM), "tune_main.mid");
    m_dlg.AnswerFileChooser("/music/third.mid");
    m_dlg.Click(IDC_BTN_BGMFILE);
    m_dlg.Click(IDOK);
    EXPECT_STREQ(Stored().strBGMUsr, "/music/third.mid");
}

TEST_F(ConfigDialogTest, ATypedPathLongerThanTheFieldIsCutAtACharacter) {
    Open();
    std::string path = "/" + std::string(257, 'a') + "鯨.mid";  // byte 259 falls inside 鯨
    m_dlg.Type(IDC_EDIT_BGM, path);
    m_dlg.Click(IDOK);
    Settings s = Stored();
    EXPECT_EQ(std::string(s.strBGMUsr), path.substr(0, 258));
}

TEST_F(ConfigDialogTest, OkThatCannotSaveTellsTheUserAndEndsAsAFailure) {
    // A settings folder that cannot be made: its parent is a file.
    const std::string home = getenv("XDG_CONFIG_HOME");
    const std::string blocked = home + "/blocked";
    std::ofstream(blocked) << "a file, not a folder\n";
    setenv("XDG_CONFIG_HOME", blocked.c_str(), 1);
    Open();
    m_dlg.Click(IDC_CHK_COL);
    m_dlg.Click(IDOK);
    setenv("XDG_CONFIG_HOME", home.c_str(), 1);
    std::filesystem::remove(blocked);
    EXPECT_TRUE(m_dlg.Ended());
    EXPECT_EQ(m_dlg.Result(), kConfigDialogSaveFailed);
    ASSERT_EQ(m_dlg.Messages().size(), 1u);
    EXPECT_NE(m_dlg.Messages()[0].find("The settings could not be saved."), std::string::npos);
}

TEST_F(ConfigDialogTest, AnUnreadableFileIsNamedAtOpeningAndOkDoesNotReplaceIt) {
    std::filesystem::create_directories(std::filesystem::path(SettingsFile()).parent_path());
    std::filesystem::create_symlink("1.4.reg", SettingsFile());  // a loop: the file cannot be read
    testing::internal::CaptureStderr();
    Open();
    testing::internal::GetCapturedStderr();
    ASSERT_EQ(m_dlg.Messages().size(), 1u);
    EXPECT_NE(m_dlg.Messages()[0].find("The settings file could not be read."), std::string::npos);
    EXPECT_EQ(m_dlg.Pos(IDC_SLD_WHLNUM), 30);
    m_dlg.Click(IDOK);
    EXPECT_EQ(m_dlg.Result(), kConfigDialogSaveFailed);
    EXPECT_TRUE(std::filesystem::is_symlink(std::filesystem::symlink_status(SettingsFile())));
}

TEST_F(ConfigDialogTest, MessagesBeforeInitAndOtherNotificationsDoNothing) {
    EXPECT_EQ(ConfigDialogProc(&m_dlg, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0), FALSE);
    EXPECT_FALSE(m_dlg.Ended());
    Open();
    // Reset and the chooser react to clicks only.
    m_dlg.Slide(IDC_SLD_WHLNUM, 5);
    ConfigDialogProc(&m_dlg, WM_COMMAND, MAKEWPARAM(IDC_BTN_RESET, 1), 0);
    ConfigDialogProc(&m_dlg, WM_COMMAND, MAKEWPARAM(IDC_BTN_BGMFILE, 1), 0);
    EXPECT_EQ(m_dlg.Text(IDC_TXT_WHLNUM), "5");
    EXPECT_EQ(m_dlg.ChooserCalls(), 0);
    EXPECT_EQ(ConfigDialogProc(&m_dlg, 0x000F /* paint */, 0, 0), FALSE);
    EXPECT_FALSE(std::filesystem::exists(SettingsFile()));
}

// The template as data: ids unique, controls inside the dialog, each radio
// group opened by WS_GROUP and ended by the next WS_GROUP item, every
// addressed control present with its class.
TEST(ConfigDialogTemplate, IsConsistent) {
    const DialogTemplate& t = kConfigDialogTemplate;
    EXPECT_STREQ(t.caption, "Nereval1.4");
    std::set<int> ids;
    bool inRadioGroup = false;
    for (const DialogItem& it : t.items) {
        SCOPED_TRACE(it.id);
        if (it.id != IDC_STATIC) {
            EXPECT_TRUE(ids.insert(it.id).second) << "duplicate id";
        }
        EXPECT_GE(it.x, 0);
        EXPECT_GE(it.y, 0);
        EXPECT_LE(it.x + it.cx, t.cx);
        EXPECT_LE(it.y + it.cy, t.cy);
        bool radio = it.cls == DialogItemClass::Button && (it.style & BS_TYPEMASK) == BS_AUTORADIOBUTTON;
        if (radio && !inRadioGroup) {
            EXPECT_TRUE(it.style & WS_GROUP) << "a radio group must start with WS_GROUP";
        }
        if (!radio && inRadioGroup && it.cls != DialogItemClass::Static) {
            EXPECT_TRUE(it.style & WS_GROUP) << "the control after a radio group must end it";
        }
        if (it.cls != DialogItemClass::Static) inRadioGroup = radio;
    }
    auto classOf = [&](int id) {
        for (const DialogItem& it : t.items) {
            if (it.id == id) return static_cast<int>(it.cls);
        }
        return -1;
    };
    for (int id = IDC_CHK_FPS; id <= IDC_TXT_CENFORCE; ++id) EXPECT_NE(classOf(id), -1) << id;
    for (int id : {IDC_SLD_WHLNUM, IDC_SLD_WHLSPEED, IDC_SLD_WHLRADIUS, IDC_SLD_SEPFORCE, IDC_SLD_ALIFORCE,
                   IDC_SLD_COHFORCE, IDC_SLD_MIGFORCE, IDC_SLD_CENFORCE}) {
        EXPECT_EQ(classOf(id), static_cast<int>(DialogItemClass::Trackbar)) << id;
    }
    EXPECT_EQ(classOf(IDC_EDIT_BGM), static_cast<int>(DialogItemClass::Edit));
    EXPECT_EQ(classOf(IDOK), static_cast<int>(DialogItemClass::Button));
    EXPECT_EQ(classOf(IDCANCEL), static_cast<int>(DialogItemClass::Button));
}

TEST(DialogUnits, ConvertWithTheFontsBaseUnitsAndRoundLikeMulDiv) {
    EXPECT_EQ(MulDiv(7, 6, 4), 11);  // 10.5 rounds away from zero
    EXPECT_EQ(MulDiv(-7, 6, 4), -11);
    EXPECT_EQ(MulDiv(5, 6, 4), 8);  // 7.5
    EXPECT_EQ(MulDiv(3, 2, 0), -1);
    EXPECT_EQ(AverageCharWidth(337), 6);  // 6.48
    EXPECT_EQ(AverageCharWidth(338), 7);  // 6.5 rounds up
    RECT r = DialogUnitsToPixels(DialogBaseUnits{6, 12}, 415, 453, 71, 14);
    EXPECT_EQ(r.left, 623);   // 622.5
    EXPECT_EQ(r.top, 680);    // 679.5
    EXPECT_EQ(r.right, 623 + 107);  // 106.5
    EXPECT_EQ(r.bottom, 680 + 21);
    EXPECT_STREQ(DialogFontFamily("ＭＳ Ｐゴシック"), "IPAPGothic");
    EXPECT_STREQ(DialogFontFamily("DejaVu Sans"), "DejaVu Sans");
}

TEST(DialogText, CopiesWithinTheBufferWithoutSplittingACharacter) {
    char buf[6];
    EXPECT_EQ(CopyItemText("abc", buf, sizeof buf), 3u);
    EXPECT_STREQ(buf, "abc");
    EXPECT_EQ(CopyItemText("ab鯨", buf, sizeof buf), 5u);  // 2 + 3 bytes fit exactly
    EXPECT_STREQ(buf, "ab鯨");
    EXPECT_EQ(CopyItemText("abc鯨", buf, sizeof buf), 3u);  // 鯨 would need bytes 3..5
    EXPECT_STREQ(buf, "abc");
    EXPECT_EQ(CopyItemText("abcdefgh", buf, 1), 0u);
    EXPECT_STREQ(buf, "");
    EXPECT_EQ(CopyItemText("x", buf, 0), 0u);
}
