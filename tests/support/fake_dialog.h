// An in-memory DialogWindow built from a template, with the original
// platform's control semantics (unchecked radios at start, BM_SETCHECK on one
// radio only, trackbar clamping), so a dialog procedure runs without a screen.
// The user's side: Click, Slide, Type and a queued answer for the file chooser.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/dialog/dialog.h"

class FakeDialog final : public DialogWindow {
public:
    FakeDialog(const DialogTemplate& tmpl, DLGPROC proc);

    // WM_INITDIALOG with the init parameter; returns the procedure's result.
    INT_PTR Init(LPARAM initParam);
    // The user clicks a button (auto check boxes toggle, auto radios select
    // and clear their group first), then WM_COMMAND / BN_CLICKED.
    void Click(int id);
    // The user drags a slider to `pos` (clamped), then WM_HSCROLL.
    void Slide(int id, int pos);
    // The user types into an edit (no message, as the procedure asks for none).
    void Type(int id, const std::string& text);
    // The next GetOpenFileName answers with this path, or cancels (nullopt).
    void AnswerFileChooser(std::optional<std::string> path) { m_chooserAnswer = std::move(path); }

    bool Checked(int id) const;
    std::string Text(int id) const;
    int Pos(int id) const;
    bool Ended() const { return m_ended; }
    INT_PTR Result() const { return m_result; }
    int ChooserCalls() const { return m_chooserCalls; }
    // Calls that named an id the template does not have.
    int UnknownIdCalls() const { return m_unknownIdCalls; }
    // What the last chooser call was asked.
    const std::string& ChooserTitle() const { return m_chooserTitle; }
    const std::string& ChooserInitialName() const { return m_chooserInitial; }

    LRESULT SendItemMessage(int id, UINT message, WPARAM wParam, LPARAM lParam) override;
    BOOL SetItemText(int id, const char* text) override;
    UINT GetItemText(int id, char* buffer, int size) override;
    BOOL CheckRadio(int first, int last, int check) override;
    BOOL End(INT_PTR result) override;
    LONG_PTR SetUserData(LONG_PTR value) override;
    LONG_PTR GetUserData() override { return m_userData; }
    BOOL GetOpenFileName(OPENFILENAMEA* ofn) override;
    int MessageBox(const char* text, const char*, UINT) override {
        m_messages.push_back(text ? text : "");
        return IDOK;
    }
    // The texts of the message boxes shown so far.
    const std::vector<std::string>& Messages() const { return m_messages; }

private:
    struct Control {
        DialogItemClass cls;
        DWORD type;  // BS_ type for buttons
        int group;   // radio group number
        bool checked = false;
        std::string text;
        int min = 0, max = 100, pos = 0;
    };
    Control* Find(int id);

    DLGPROC m_proc;
    std::map<int, Control> m_controls;
    bool m_ended = false;
    INT_PTR m_result = 0;
    LONG_PTR m_userData = 0;
    std::optional<std::string> m_chooserAnswer;
    int m_chooserCalls = 0;
    int m_unknownIdCalls = 0;
    std::string m_chooserTitle;
    std::string m_chooserInitial;
    std::vector<std::string> m_messages;
};
