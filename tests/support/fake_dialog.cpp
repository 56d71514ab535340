// The in-memory dialog: control state in a map by id, messages answered as
// the original platform's button and trackbar controls answer them.
#include "tests/support/fake_dialog.h"

#include <algorithm>
#include <cstring>

FakeDialog::FakeDialog(const DialogTemplate& tmpl, DLGPROC proc) : m_proc(proc) {
    int group = 0;
    for (const DialogItem& it : tmpl.items) {
        if (it.id == IDC_STATIC) continue;
        Control c;
        c.cls = it.cls;
        c.type = it.cls == DialogItemClass::Button ? (it.style & BS_TYPEMASK) : 0;
        if (it.style & WS_GROUP) ++group;
        c.group = group;
        c.text = it.text ? it.text : "";
        m_controls[it.id] = c;
    }
}

FakeDialog::Control* FakeDialog::Find(int id) {
    auto it = m_controls.find(id);
    if (it == m_controls.end()) {
        ++m_unknownIdCalls;
        return nullptr;
    }
    return &it->second;
}

INT_PTR FakeDialog::Init(LPARAM initParam) { return m_proc(this, WM_INITDIALOG, 0, initParam); }

void FakeDialog::Click(int id) {
    Control* c = Find(id);
    if (!c) return;
    if (c->type == BS_AUTOCHECKBOX) c->checked = !c->checked;
    if (c->type == BS_AUTORADIOBUTTON) {
        for (auto& [otherId, other] : m_controls) {
            if (other.type == BS_AUTORADIOBUTTON && other.group == c->group) other.checked = false;
        }
        c->checked = true;
    }
    m_proc(this, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), BN_CLICKED), 0);
}

void FakeDialog::Slide(int id, int pos) {
    Control* c = Find(id);
    if (!c) return;
    c->pos = std::clamp(pos, c->min, c->max);
    m_proc(this, WM_HSCROLL, MAKEWPARAM(TB_THUMBTRACK, static_cast<WORD>(c->pos)), id);
}

void FakeDialog::Type(int id, const std::string& text) {
    if (Control* c = Find(id)) c->text = text;
}

bool FakeDialog::Checked(int id) const {
    auto it = m_controls.find(id);
    return it != m_controls.end() && it->second.checked;
}

std::string FakeDialog::Text(int id) const {
    auto it = m_controls.find(id);
    return it != m_controls.end() ? it->second.text : std::string{};
}

int FakeDialog::Pos(int id) const {
    auto it = m_controls.find(id);
    return it != m_controls.end() ? it->second.pos : -1;
}

LRESULT FakeDialog::SendItemMessage(int id, UINT message, WPARAM wParam, LPARAM lParam) {
    Control* c = Find(id);
    if (!c) return 0;
    bool button = c->type == BS_AUTOCHECKBOX || c->type == BS_AUTORADIOBUTTON;
    bool trackbar = c->cls == DialogItemClass::Trackbar;
    switch (message) {
        case BM_GETCHECK:
            return button && c->checked ? BST_CHECKED : BST_UNCHECKED;
        case BM_SETCHECK:
            if (button) c->checked = wParam != BST_UNCHECKED;  // this button only
            return 0;
        case TBM_GETPOS:
            return trackbar ? c->pos : 0;
        case TBM_GETRANGEMIN:
            return trackbar ? c->min : 0;
        case TBM_GETRANGEMAX:
            return trackbar ? c->max : 0;
        case TBM_SETPOS:
            if (trackbar) c->pos = std::clamp(static_cast<int>(lParam), c->min, c->max);
            return 0;
        case TBM_SETRANGE:
            if (trackbar) {
                c->min = LOWORD(static_cast<std::uintptr_t>(lParam));
                c->max = std::max<int>(c->min, HIWORD(static_cast<std::uintptr_t>(lParam)));
                c->pos = std::clamp(c->pos, c->min, c->max);
            }
            return 0;
        default:
            return 0;
    }
}

BOOL FakeDialog::SetItemText(int id, const char* text) {
    Control* c = Find(id);
    if (!c) return FALSE;
    c->text = text ? text : "";
    return TRUE;
}

UINT FakeDialog::GetItemText(int id, char* buffer, int size) {
    Control* c = Find(id);
    return CopyItemText(c ? c->text.c_str() : "", buffer, size);
}

BOOL FakeDialog::CheckRadio(int first, int last, int check) {
    for (auto& [id, c] : m_controls) {
        if (id >= first && id <= last) c.checked = id == check;
    }
    return Find(check) != nullptr;
}

BOOL FakeDialog::End(INT_PTR result) {
    m_ended = true;
    m_result = result;
    return TRUE;
}

LONG_PTR FakeDialog::SetUserData(LONG_PTR value) {
    LONG_PTR old = m_userData;
    m_userData = value;
    return old;
}

BOOL FakeDialog::GetOpenFileName(OPENFILENAMEA* ofn) {
    ++m_chooserCalls;
    m_chooserTitle = ofn->lpstrTitle ? ofn->lpstrTitle : "";
    m_chooserInitial.assign(ofn->lpstrFile, strnlen(ofn->lpstrFile, ofn->nMaxFile));
    if (!m_chooserAnswer || m_chooserAnswer->size() + 1 > ofn->nMaxFile) return FALSE;
    std::memcpy(ofn->lpstrFile, m_chooserAnswer->c_str(), m_chooserAnswer->size() + 1);
    return TRUE;
}
