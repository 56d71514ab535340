// The dialog layer on GTK 3: a template becomes a fixed-layout window whose
// controls sit at their dialog-unit rectangles converted with the dialog
// font's metrics; GTK signals from the user become WM_COMMAND / WM_HSCROLL
// for the procedure; a nested main loop makes the run modal. The template's
// texts are shown in the user's language (its text domain's catalog).
#include <gtk/gtk.h>
#include <libintl.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/dialog/dialog.h"
#include "platform/dialog/dialog_inspect.h"
#include "platform/dialog/dialog_module.h"
#include "platform/dialog/dialog_units.h"
#include "platform/os/wayland_seat.h"

namespace {

DialogShownHook g_ShownHook = nullptr;
void* g_ShownContext = nullptr;

// Theme adjustments: the template's rectangles are sized for the original
// platform's compact controls, GTK's default theme pads them for touch. The
// dialog's window is named so the rules reach it and nothing else (not the
// file chooser).
constexpr const char* kDialogName = "nrv-dialog";
std::string DialogCss(const char* family, int pointSize) {
    char head[256];
    std::snprintf(head, sizeof head, "#%s, #%s * { font-family: \"%s\"; font-size: %dpt; }\n", kDialogName,
                  kDialogName, family, pointSize);
    return std::string(head) + R"css(
#nrv-dialog button { padding: 0 4px; min-height: 0; min-width: 0; }
#nrv-dialog checkbutton, #nrv-dialog radiobutton { padding: 0; min-height: 0; }
#nrv-dialog check, #nrv-dialog radio { min-width: 12px; min-height: 12px; margin: 0 3px 0 0; padding: 0; }
#nrv-dialog entry { min-height: 0; padding: 0 3px; }
#nrv-dialog scale { padding: 0 6px; min-height: 0; }
#nrv-dialog scale trough { min-height: 4px; }
#nrv-dialog scale slider { min-width: 10px; min-height: 10px; margin: -4px; }
#nrv-dialog frame > border { border-radius: 0; }
)css";
}

struct Control {
    const DialogItem* item = nullptr;
    GtkWidget* widget = nullptr;
    GtkAdjustment* adjustment = nullptr;  // trackbars
    bool radio = false;
    bool check = false;
    RECT wanted{};
    // An edit given text that is not UTF-8 (a file name in another encoding)
    // shows a readable form of it; while it still shows that form, its text
    // is these exact bytes.
    std::string rawText;
    std::string shownText;
};

class TemplateDialog final : public DialogWindow {
public:
    TemplateDialog(const DialogTemplate& tmpl, DLGPROC proc) : m_tmpl(tmpl), m_proc(proc) {}
    ~TemplateDialog() override {
        if (m_window) gtk_widget_destroy(m_window);
        if (m_css) {
            gtk_style_context_remove_provider_for_screen(gdk_screen_get_default(), GTK_STYLE_PROVIDER(m_css));
            g_object_unref(m_css);
        }
        // Let the server see the window go before the caller carries on.
        while (gtk_events_pending()) gtk_main_iteration();
    }

    void Build();
    INT_PTR Run(LPARAM initParam);

    LRESULT SendItemMessage(int id, UINT message, WPARAM wParam, LPARAM lParam) override;
    BOOL SetItemText(int id, const char* text) override;
    UINT GetItemText(int id, char* buffer, int size) override;
    BOOL CheckRadio(int first, int last, int check) override;
    BOOL End(INT_PTR result) override;
    LONG_PTR SetUserData(LONG_PTR value) override {
        LONG_PTR old = m_userData;
        m_userData = value;
        return old;
    }
    LONG_PTR GetUserData() override { return m_userData; }
    BOOL GetOpenFileName(OPENFILENAMEA* ofn) override;
    int MessageBox(const char* text, const char* caption, UINT type) override;

    std::vector<DialogControlReport> Inspect() const;
    int FocusId() const;
    DialogBaseUnits BaseUnits() const { return m_base; }
    std::string Caption() const {
        const char* title = gtk_window_get_title(GTK_WINDOW(m_window));
        return title ? title : "";
    }

private:
    Control* Find(int id) {
        if (id == IDC_STATIC) return nullptr;
        for (Control& c : m_controls) {
            if (c.item->id == id) return &c;
        }
        return nullptr;
    }
    void Send(UINT message, WPARAM wParam, LPARAM lParam) {
        if (!m_ended) m_proc(this, message, wParam, lParam);
    }
    void Command(int id) { Send(WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), BN_CLICKED), 0); }
    void MeasureBaseUnits();
    GtkWidget* MakeWidget(Control& c, GtkWidget* radioGroup);

    static void OnClicked(GtkButton* button, gpointer self);
    static void OnValueChanged(GtkAdjustment* adjustment, gpointer self);
    static gboolean OnKeyPress(GtkWidget*, GdkEventKey* event, gpointer self);
    static gboolean OnDelete(GtkWidget*, GdkEvent*, gpointer self);
    static gboolean OnMapped(GtkWidget*, GdkEvent*, gpointer self);
    static gboolean OnShownIdle(gpointer self);
    static void OnSetFocus(GtkWindow*, GtkWidget* widget, gpointer self);

    const DialogTemplate& m_tmpl;
    DLGPROC m_proc;
    const char* m_family = nullptr;
    DialogBaseUnits m_base{4, 8};
    GtkWidget* m_window = nullptr;
    GtkWidget* m_fixed = nullptr;
    GtkCssProvider* m_css = nullptr;
    std::vector<Control> m_controls;
    int m_quiet = 0;  // > 0 while the program (not the user) changes a control
    bool m_ended = false;
    bool m_looping = false;
    bool m_trace = false;  // NEREVAL_DIALOG_TRACE set: focus moves and showing go to stderr
    INT_PTR m_result = 0;
    LONG_PTR m_userData = 0;
};

// Programmatic changes emit the same GTK signals as the user's; the original
// platform sends no notification for them, so they are muted.
struct Quiet {
    explicit Quiet(int& n) : n(n) { ++n; }
    ~Quiet() { --n; }
    int& n;
};

void TemplateDialog::MeasureBaseUnits() {
    PangoFontDescription* font = pango_font_description_new();
    pango_font_description_set_family(font, m_family);
    pango_font_description_set_size(font, m_tmpl.pointSize * PANGO_SCALE);
    PangoLayout* layout = gtk_widget_create_pango_layout(m_window, kBaseUnitSample);
    pango_layout_set_font_description(layout, font);
    int width = 0, height = 0;
    pango_layout_get_pixel_size(layout, &width, &height);
    PangoFontMetrics* metrics =
        pango_context_get_metrics(pango_layout_get_context(layout), font, pango_language_get_default());
    // The character height is the font's line height (ascent + descent of
    // the unhinted design, which the original platform rounds as a whole);
    // hinted ascent and descent are each rounded up and would add a pixel.
    int cy = PANGO_PIXELS(pango_font_metrics_get_height(metrics));
    if (cy <= 0) cy = PANGO_PIXELS(pango_font_metrics_get_ascent(metrics) + pango_font_metrics_get_descent(metrics));
    pango_font_metrics_unref(metrics);
    g_object_unref(layout);
    pango_font_description_free(font);
    int cx = AverageCharWidth(width);
    if (cx > 0 && cy > 0) m_base = DialogBaseUnits{cx, cy};
}

GtkWidget* TemplateDialog::MakeWidget(Control& c, GtkWidget* radioGroup) {
    const DialogItem& it = *c.item;
    const char* text = it.text ? it.text : "";
    // An empty message id would give the catalog's header.
    if (m_tmpl.textDomain && *text) text = dgettext(m_tmpl.textDomain, text);
    switch (it.cls) {
        case DialogItemClass::Static: {
            GtkWidget* w = gtk_label_new(text);
            gtk_label_set_xalign(GTK_LABEL(w), (it.style & SS_CENTER) ? 0.5f : 0.0f);
            gtk_label_set_yalign(GTK_LABEL(w), 0.0f);
            return w;
        }
        case DialogItemClass::Edit: {
            GtkWidget* w = gtk_entry_new();
            gtk_entry_set_text(GTK_ENTRY(w), text);
            gtk_entry_set_activates_default(GTK_ENTRY(w), TRUE);  // Enter in the edit means OK
            gtk_entry_set_width_chars(GTK_ENTRY(w), 1);           // the rectangle decides the width
            // The selection is shown only while the edit has the focus.
            g_signal_connect(w, "focus-out-event", G_CALLBACK(+[](GtkWidget* e, GdkEvent*, gpointer) -> gboolean {
                                 gtk_editable_select_region(GTK_EDITABLE(e), 0, 0);
                                 return FALSE;
                             }),
                             nullptr);
            return w;
        }
        case DialogItemClass::Trackbar: {
            c.adjustment = gtk_adjustment_new(0, 0, 100, 1, 20, 0);
            GtkWidget* w = gtk_scale_new(GTK_ORIENTATION_HORIZONTAL, c.adjustment);
            gtk_scale_set_draw_value(GTK_SCALE(w), FALSE);
            gtk_scale_set_has_origin(GTK_SCALE(w), FALSE);
            gtk_range_set_round_digits(GTK_RANGE(w), 0);
            g_signal_connect(c.adjustment, "value-changed", G_CALLBACK(OnValueChanged), this);
            return w;
        }
        case DialogItemClass::Button:
            break;
    }
    GtkWidget* w = nullptr;
    switch (it.style & BS_TYPEMASK) {
        case BS_GROUPBOX: {
            w = gtk_frame_new(text);
            gtk_frame_set_label_align(GTK_FRAME(w), 0.0f, 0.5f);
            return w;
        }
        case BS_AUTOCHECKBOX:
            w = gtk_check_button_new_with_label(text);
            c.check = true;
            break;
        case BS_AUTORADIOBUTTON:
            w = radioGroup ? gtk_radio_button_new_with_label_from_widget(GTK_RADIO_BUTTON(radioGroup), text)
                           : gtk_radio_button_new_with_label(nullptr, text);
            c.radio = true;
            break;
        default:
            w = gtk_button_new_with_label(text);
            if ((it.style & BS_TYPEMASK) == BS_DEFPUSHBUTTON) gtk_widget_set_can_default(w, TRUE);
            break;
    }
    g_signal_connect(w, "clicked", G_CALLBACK(OnClicked), this);
    return w;
}

void TemplateDialog::Build() {
    m_family = DialogFontFamily(m_tmpl.fontFace);
    m_window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_widget_set_name(m_window, kDialogName);
    gtk_window_set_title(GTK_WINDOW(m_window), m_tmpl.caption ? m_tmpl.caption : "");
    gtk_window_set_resizable(GTK_WINDOW(m_window), FALSE);
    gtk_window_set_position(GTK_WINDOW(m_window), GTK_WIN_POS_CENTER);
    gtk_window_set_type_hint(GTK_WINDOW(m_window), GDK_WINDOW_TYPE_HINT_DIALOG);
    gtk_window_set_modal(GTK_WINDOW(m_window), TRUE);

    m_css = gtk_css_provider_new();
    std::string css = DialogCss(m_family, m_tmpl.pointSize);
    gtk_css_provider_load_from_data(m_css, css.c_str(), -1, nullptr);
    gtk_style_context_add_provider_for_screen(gdk_screen_get_default(), GTK_STYLE_PROVIDER(m_css),
                                              GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    MeasureBaseUnits();

    m_fixed = gtk_fixed_new();
    RECT client = DialogUnitsToPixels(m_base, 0, 0, m_tmpl.cx, m_tmpl.cy);
    gtk_widget_set_size_request(m_fixed, client.right, client.bottom);
    gtk_container_add(GTK_CONTAINER(m_window), m_fixed);

    m_controls.reserve(m_tmpl.items.size());
    GtkWidget* radioGroup = nullptr;  // the first radio of the group being built
    GList* focusChain = nullptr;
    for (const DialogItem& it : m_tmpl.items) {
        Control& c = m_controls.emplace_back();
        c.item = &it;
        bool radio = it.cls == DialogItemClass::Button && (it.style & BS_TYPEMASK) == BS_AUTORADIOBUTTON;
        // A radio group runs from a WS_GROUP radio over the radios that follow it.
        if (!radio || (it.style & WS_GROUP)) radioGroup = nullptr;
        c.widget = MakeWidget(c, radioGroup);
        if (radio && !radioGroup) radioGroup = c.widget;
        c.wanted = DialogUnitsToPixels(m_base, it.x, it.y, it.cx, it.cy);
        gtk_widget_set_size_request(c.widget, c.wanted.right - c.wanted.left, c.wanted.bottom - c.wanted.top);
        gtk_fixed_put(GTK_FIXED(m_fixed), c.widget, c.wanted.left, c.wanted.top);
        // Tab visits WS_TABSTOP controls in template order; in a radio group
        // GTK stops only at the selected button, as the original does.
        bool tabStop = (it.style & WS_TABSTOP) || (radio && radioGroup);
        if (it.cls != DialogItemClass::Static && !(it.cls == DialogItemClass::Button &&
                                                   (it.style & BS_TYPEMASK) == BS_GROUPBOX)) {
            gtk_widget_set_can_focus(c.widget, tabStop);
            if (tabStop) focusChain = g_list_append(focusChain, c.widget);
        }
        if (it.cls == DialogItemClass::Button && (it.style & BS_TYPEMASK) == BS_DEFPUSHBUTTON) {
            gtk_window_set_default(GTK_WINDOW(m_window), c.widget);
        }
    }
    // The explicit chain is the only way to give a fixed layout a tab order
    // other than by position; it is deprecated in GTK 3 but still honoured.
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    gtk_container_set_focus_chain(GTK_CONTAINER(m_fixed), focusChain);
    G_GNUC_END_IGNORE_DEPRECATIONS
    g_list_free(focusChain);

    // Every radio starts unchecked, as on the original platform: the procedure
    // selects one. GTK always has one selected per group, so the group is
    // given a hidden extra member that holds the "none" state.
    for (Control& c : m_controls) {
        if (!c.radio) continue;
        GSList* group = gtk_radio_button_get_group(GTK_RADIO_BUTTON(c.widget));
        bool first = group && g_slist_last(group)->data == c.widget;  // GTK prepends: the last is the first made
        if (first) {
            GtkWidget* none = gtk_radio_button_new_from_widget(GTK_RADIO_BUTTON(c.widget));
            g_object_ref_sink(none);
            g_object_set_data_full(G_OBJECT(c.widget), "nrv-none", none, g_object_unref);
            Quiet q(m_quiet);
            gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(none), TRUE);
        }
    }

    g_signal_connect(m_window, "key-press-event", G_CALLBACK(OnKeyPress), this);
    g_signal_connect(m_window, "delete-event", G_CALLBACK(OnDelete), this);
    g_signal_connect(m_window, "map-event", G_CALLBACK(OnMapped), this);
    // A debug aid for whole-program tests: where keyboard focus goes.
    m_trace = g_getenv("NEREVAL_DIALOG_TRACE") != nullptr;
    if (m_trace) g_signal_connect(m_window, "set-focus", G_CALLBACK(OnSetFocus), this);
}

INT_PTR TemplateDialog::Run(LPARAM initParam) {
    Send(WM_INITDIALOG, 0, initParam);
    if (m_ended) return m_result;  // ended during its initialisation: never shown
    gtk_widget_show_all(m_window);
    // The first control Tab would reach has the focus, as when the procedure
    // leaves the focus to the dialog manager.
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    GList* chain = nullptr;
    if (gtk_container_get_focus_chain(GTK_CONTAINER(m_fixed), &chain)) {
        for (GList* l = chain; l; l = l->next) {
            GtkWidget* w = GTK_WIDGET(l->data);
            bool radio = GTK_IS_RADIO_BUTTON(w);
            if (radio && !gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(w))) continue;
            gtk_widget_grab_focus(w);
            break;
        }
        g_list_free(chain);
    }
    G_GNUC_END_IGNORE_DEPRECATIONS
    gtk_window_present(GTK_WINDOW(m_window));
    m_looping = true;
    gtk_main();
    m_looping = false;
    return m_result;
}

BOOL TemplateDialog::End(INT_PTR result) {
    if (m_ended) return TRUE;
    m_ended = true;
    m_result = result;
    if (m_window) gtk_widget_hide(m_window);
    if (m_looping) {
        m_looping = false;
        gtk_main_quit();
    }
    return TRUE;
}

void TemplateDialog::OnClicked(GtkButton* button, gpointer self) {
    auto* d = static_cast<TemplateDialog*>(self);
    if (d->m_quiet) return;
    // A radio button reports its selection, not the one it replaced.
    if (GTK_IS_RADIO_BUTTON(button) && !gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(button))) return;
    for (const Control& c : d->m_controls) {
        if (c.widget == GTK_WIDGET(button)) {
            d->Command(c.item->id);
            return;
        }
    }
}

void TemplateDialog::OnValueChanged(GtkAdjustment* adjustment, gpointer self) {
    auto* d = static_cast<TemplateDialog*>(self);
    if (d->m_quiet) return;
    for (const Control& c : d->m_controls) {
        if (c.adjustment == adjustment) {
            auto pos = static_cast<WORD>(std::lround(gtk_adjustment_get_value(adjustment)));
            d->Send(WM_HSCROLL, MAKEWPARAM(TB_THUMBTRACK, pos), c.item->id);
            return;
        }
    }
}

gboolean TemplateDialog::OnKeyPress(GtkWidget*, GdkEventKey* event, gpointer self) {
    if (event->keyval != GDK_KEY_Escape) return FALSE;
    static_cast<TemplateDialog*>(self)->Command(IDCANCEL);  // Escape is Cancel
    return TRUE;
}

gboolean TemplateDialog::OnDelete(GtkWidget*, GdkEvent*, gpointer self) {
    static_cast<TemplateDialog*>(self)->Command(IDCANCEL);  // the window manager's close is Cancel too
    return TRUE;                                       // the procedure decides whether it ends
}

gboolean TemplateDialog::OnMapped(GtkWidget*, GdkEvent*, gpointer self) {
    // Layout and first drawing finish after the map; look after them.
    auto* d = static_cast<TemplateDialog*>(self);
    if (g_ShownHook || d->m_trace) g_idle_add_full(G_PRIORITY_LOW, OnShownIdle, self, nullptr);
    return FALSE;
}

gboolean TemplateDialog::OnShownIdle(gpointer self) {
    auto* d = static_cast<TemplateDialog*>(self);
    if (d->m_trace) {
        std::fprintf(stderr, "dialog shown, focus %d\n", d->FocusId());
        std::fflush(stderr);
    }
    if (g_ShownHook && !d->m_ended) g_ShownHook(d, g_ShownContext);
    return G_SOURCE_REMOVE;
}

void TemplateDialog::OnSetFocus(GtkWindow*, GtkWidget* widget, gpointer self) {
    auto* d = static_cast<TemplateDialog*>(self);
    for (const Control& c : d->m_controls) {
        if (c.widget == widget) {
            std::fprintf(stderr, "dialog focus %d\n", c.item->id);
            std::fflush(stderr);
        }
    }
}

LRESULT TemplateDialog::SendItemMessage(int id, UINT message, WPARAM wParam, LPARAM lParam) {
    Control* c = Find(id);
    if (!c) return 0;
    Quiet q(m_quiet);
    switch (message) {
        case BM_GETCHECK:
            if (!c->check && !c->radio) return 0;
            return gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(c->widget)) ? BST_CHECKED : BST_UNCHECKED;
        case BM_SETCHECK:
            if (c->check) {
                gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(c->widget), wParam != BST_UNCHECKED);
            } else if (c->radio && wParam != BST_UNCHECKED) {
                gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(c->widget), TRUE);
            } else if (c->radio && gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(c->widget))) {
                // Clearing the selected radio selects the group's hidden "none".
                GSList* group = gtk_radio_button_get_group(GTK_RADIO_BUTTON(c->widget));
                for (GSList* l = group; l; l = l->next) {
                    if (!gtk_widget_get_parent(GTK_WIDGET(l->data))) {
                        gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(l->data), TRUE);
                    }
                }
            }
            return 0;
        default:
            break;
    }
    if (!c->adjustment) return 0;
    GtkAdjustment* a = c->adjustment;
    switch (message) {
        case TBM_GETPOS:
            return std::lround(gtk_adjustment_get_value(a));
        case TBM_GETRANGEMIN:
            return std::lround(gtk_adjustment_get_lower(a));
        case TBM_GETRANGEMAX:
            return std::lround(gtk_adjustment_get_upper(a));
        case TBM_SETPOS:
            gtk_adjustment_set_value(a, static_cast<double>(static_cast<std::int32_t>(lParam)));  // clamps
            return 0;
        case TBM_SETRANGE: {
            double lo = LOWORD(static_cast<std::uintptr_t>(lParam));
            double hi = HIWORD(static_cast<std::uintptr_t>(lParam));
            if (hi < lo) hi = lo;
            // Arrow keys move by one, Page keys by a fifth of the range.
            gtk_adjustment_configure(a, gtk_adjustment_get_value(a), lo, hi, 1, std::max(1.0, std::floor((hi - lo) / 5)),
                                     0);
            return 0;
        }
        default:
            return 0;
    }
}

// GTK shows UTF-8 only. Text in another encoding is shown as the file
// system's encoding (G_FILENAME_ENCODING) reads it, else as Shift-JIS (the
// usual legacy encoding of Japanese names), else with replacement characters.
gchar* ReadableText(const char* text) {
    if (g_utf8_validate(text, -1, nullptr)) return g_strdup(text);
    for (const char* charset : {"", "CP932"}) {
        gchar* converted = *charset ? g_convert(text, -1, "UTF-8", charset, nullptr, nullptr, nullptr)
                                    : g_filename_to_utf8(text, -1, nullptr, nullptr, nullptr);
        if (converted) return converted;
    }
    return g_utf8_make_valid(text, -1);
}

BOOL TemplateDialog::SetItemText(int id, const char* text) {
    Control* c = Find(id);
    if (!c) return FALSE;
    gchar* valid = ReadableText(text ? text : "");
    c->rawText = text && std::strcmp(text, valid) != 0 ? text : "";
    c->shownText = valid;
    Quiet q(m_quiet);
    if (GTK_IS_ENTRY(c->widget)) {
        gtk_entry_set_text(GTK_ENTRY(c->widget), valid);
    } else if (GTK_IS_LABEL(c->widget)) {
        gtk_label_set_text(GTK_LABEL(c->widget), valid);
    } else if (GTK_IS_FRAME(c->widget)) {
        gtk_frame_set_label(GTK_FRAME(c->widget), valid);
    } else if (GTK_IS_BUTTON(c->widget)) {
        gtk_button_set_label(GTK_BUTTON(c->widget), valid);
    }
    g_free(valid);
    return TRUE;
}

UINT TemplateDialog::GetItemText(int id, char* buffer, int size) {
    Control* c = Find(id);
    const char* text = "";
    if (c && GTK_IS_ENTRY(c->widget)) {
        text = gtk_entry_get_text(GTK_ENTRY(c->widget));
        if (!c->rawText.empty() && c->shownText == text) text = c->rawText.c_str();  // not edited since
    } else if (c && GTK_IS_LABEL(c->widget)) {
        text = gtk_label_get_text(GTK_LABEL(c->widget));
    } else if (c && GTK_IS_FRAME(c->widget)) {
        text = gtk_frame_get_label(GTK_FRAME(c->widget));
    } else if (c && GTK_IS_BUTTON(c->widget)) {
        text = gtk_button_get_label(GTK_BUTTON(c->widget));
    }
    return CopyItemText(text ? text : "", buffer, size);
}

int TemplateDialog::MessageBox(const char* text, const char* caption, UINT) {
    GtkWidget* box = gtk_message_dialog_new(GTK_WINDOW(m_window), GTK_DIALOG_MODAL, GTK_MESSAGE_ERROR, GTK_BUTTONS_OK,
                                            "%s", text ? text : "");
    gtk_window_set_title(GTK_WINDOW(box), caption ? caption : "");
    if (m_trace) std::fprintf(stderr, "dialog message: %s\n", text ? text : "");
    gtk_dialog_run(GTK_DIALOG(box));
    gtk_widget_destroy(box);
    return IDOK;
}

BOOL TemplateDialog::CheckRadio(int first, int last, int check) {
    for (Control& c : m_controls) {
        int id = c.item->id;
        if (id >= first && id <= last && id != check) SendItemMessage(id, BM_SETCHECK, BST_UNCHECKED, 0);
    }
    SendItemMessage(check, BM_SETCHECK, BST_CHECKED, 0);
    return TRUE;
}

// Adds the patterns of one filter entry ("*.mid;*.midi") in both cases: the
// original platform matches names without regard to case.
void AddPatterns(GtkFileFilter* filter, const char* patterns) {
    std::string all = patterns;
    std::size_t start = 0;
    while (start <= all.size()) {
        std::size_t end = all.find(';', start);
        if (end == std::string::npos) end = all.size();
        std::string p = all.substr(start, end - start);
        if (!p.empty()) {
            gtk_file_filter_add_pattern(filter, p.c_str());
            std::string upper = p;
            for (char& ch : upper) ch = static_cast<char>(g_ascii_toupper(ch));
            if (upper != p) gtk_file_filter_add_pattern(filter, upper.c_str());
        }
        start = end + 1;
    }
}

// A button text of GTK's own, in the user's language from GTK's catalog
// ("gtk30", bound as UTF-8 by gtk_init).
const char* GtkText(const char* msgid) { return dgettext("gtk30", msgid); }

BOOL TemplateDialog::GetOpenFileName(OPENFILENAMEA* ofn) {
    if (!ofn || !ofn->lpstrFile || ofn->nMaxFile == 0) return FALSE;
    GtkWidget* chooser = gtk_file_chooser_dialog_new(ofn->lpstrTitle ? ofn->lpstrTitle : "", nullptr,
                                                     GTK_FILE_CHOOSER_ACTION_OPEN, GtkText("_Cancel"),
                                                     GTK_RESPONSE_CANCEL, GtkText("_Open"), GTK_RESPONSE_ACCEPT, nullptr);
    gtk_window_set_modal(GTK_WINDOW(chooser), TRUE);
    gtk_window_set_position(GTK_WINDOW(chooser), GTK_WIN_POS_CENTER);
    gtk_window_set_default_size(GTK_WINDOW(chooser), 640, 440);  // GTK's own default can exceed a small screen
    for (const char* f = ofn->lpstrFilter; f && *f;) {
        const char* patterns = f + std::strlen(f) + 1;
        GtkFileFilter* filter = gtk_file_filter_new();
        gtk_file_filter_set_name(filter, f);
        AddPatterns(filter, patterns);
        gtk_file_chooser_add_filter(GTK_FILE_CHOOSER(chooser), filter);
        f = patterns + std::strlen(patterns) + 1;
    }
    // The initial name: a file that exists is selected; otherwise the chooser
    // opens in its folder (relative names: the current folder).
    std::string initial(ofn->lpstrFile, strnlen(ofn->lpstrFile, ofn->nMaxFile));
    gchar* absolute = g_canonicalize_filename(initial.empty() ? "." : initial.c_str(), nullptr);
    if (!initial.empty() && g_file_test(absolute, G_FILE_TEST_IS_REGULAR)) {
        gtk_file_chooser_set_filename(GTK_FILE_CHOOSER(chooser), absolute);
    } else {
        gchar* folder = g_file_test(absolute, G_FILE_TEST_IS_DIR) ? g_strdup(absolute) : g_path_get_dirname(absolute);
        if (g_file_test(folder, G_FILE_TEST_IS_DIR)) gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(chooser), folder);
        g_free(folder);
    }
    g_free(absolute);

    BOOL chosen = FALSE;
    while (!chosen && gtk_dialog_run(GTK_DIALOG(chooser)) == GTK_RESPONSE_ACCEPT) {
        gchar* name = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(chooser));
        if (!name) continue;  // not a local file
        std::string path = name;
        g_free(name);
        const char* base = std::strrchr(path.c_str(), '/');
        if (ofn->lpstrDefExt && *ofn->lpstrDefExt && !std::strchr(base ? base : path.c_str(), '.')) {
            path += '.';
            path += ofn->lpstrDefExt;
        }
        if ((ofn->Flags & OFN_FILEMUSTEXIST) && !g_file_test(path.c_str(), G_FILE_TEST_IS_REGULAR)) continue;
        // The original platform writes an error code over the buffer when the
        // path does not fit; here the buffer keeps its text and the choice is refused.
        if (path.size() + 1 > ofn->nMaxFile) {
            std::fprintf(stderr, "nereval: the chosen path is longer than %u bytes: %s\n",
                         static_cast<unsigned>(ofn->nMaxFile - 1), path.c_str());
            continue;
        }
        std::memcpy(ofn->lpstrFile, path.c_str(), path.size() + 1);
        if (ofn->lpstrFileTitle && ofn->nMaxFileTitle) {
            const char* slash = std::strrchr(ofn->lpstrFile, '/');
            CopyItemText(slash ? slash + 1 : ofn->lpstrFile, ofn->lpstrFileTitle, static_cast<int>(ofn->nMaxFileTitle));
        }
        chosen = TRUE;
    }
    gtk_widget_destroy(chooser);
    return chosen;
}

// The text a control shows and the layout it is drawn with.
PangoLayout* TextLayout(GtkWidget* w) {
    if (GTK_IS_LABEL(w)) return gtk_label_get_layout(GTK_LABEL(w));
    if (GTK_IS_ENTRY(w)) return gtk_entry_get_layout(GTK_ENTRY(w));
    if (GTK_IS_FRAME(w)) {
        GtkWidget* label = gtk_frame_get_label_widget(GTK_FRAME(w));
        return label ? TextLayout(label) : nullptr;
    }
    if (GTK_IS_BIN(w)) {
        GtkWidget* child = gtk_bin_get_child(GTK_BIN(w));
        return child ? TextLayout(child) : nullptr;
    }
    return nullptr;
}

std::string LayoutFamilies(PangoLayout* layout) {
    std::string families;
    PangoLayoutIter* iter = pango_layout_get_iter(layout);
    do {
        PangoLayoutRun* run = pango_layout_iter_get_run_readonly(iter);
        if (!run) continue;
        PangoFontDescription* d = pango_font_describe(run->item->analysis.font);
        const char* family = pango_font_description_get_family(d);
        std::string f = family ? family : "?";
        if (("," + families + ",").find("," + f + ",") == std::string::npos) {
            if (!families.empty()) families += ',';
            families += f;
        }
        pango_font_description_free(d);
    } while (pango_layout_iter_next_run(iter));
    pango_layout_iter_free(iter);
    return families;
}

std::vector<DialogControlReport> TemplateDialog::Inspect() const {
    std::vector<DialogControlReport> out;
    for (const Control& c : m_controls) {
        DialogControlReport r{};
        r.id = c.item->id;
        r.wanted = c.wanted;
        GtkAllocation a;
        gtk_widget_get_allocation(c.widget, &a);
        int x = 0, y = 0;
        gtk_widget_translate_coordinates(c.widget, m_fixed, 0, 0, &x, &y);
        r.actual = RECT{x, y, x + a.width, y + a.height};
        r.focusable = gtk_widget_get_can_focus(c.widget);
        if (PangoLayout* layout = TextLayout(c.widget)) {
            r.text = pango_layout_get_text(layout);
            r.families = LayoutFamilies(layout);
            r.unknownGlyphs = pango_layout_get_unknown_glyphs_count(layout);
        }
        out.push_back(std::move(r));
    }
    return out;
}

int TemplateDialog::FocusId() const {
    GtkWidget* focus = gtk_window_get_focus(GTK_WINDOW(m_window));
    for (const Control& c : m_controls) {
        if (c.widget == focus) return c.item->id;
    }
    return 0;
}

TemplateDialog* Real(HDLG dlg) { return dynamic_cast<TemplateDialog*>(dlg); }

INT_PTR RunModal(const DialogTemplate& tmpl, HWND /*owner*/, DLGPROC proc, LPARAM initParam) {
    // The owner would be a saver window; the dialog is opened before any
    // exists, and other programs' windows are not ours to parent to.
    if (!proc) return -1;
    // GTK prefers a Wayland compositor when one answers. One without a seat
    // (a headless one) gives it no keyboard or pointer: the dialog could not
    // be used, and GTK complains at every turn. Its X server (Xwayland) has
    // both, so X is used when there is a display.
    if (!std::getenv("GDK_BACKEND") && QueryWaylandSeat() == WaylandSeat::None) {
        const char* x = std::getenv("DISPLAY");
        if (!x || !*x) {
            std::fprintf(stderr,
                         "nereval: cannot show the configuration dialog: the Wayland compositor offers no seat "
                         "(no keyboard or pointer)\n");
            return -1;
        }
        gdk_set_allowed_backends("x11");
    }
    if (!gtk_init_check(nullptr, nullptr)) {
        std::fprintf(stderr, "nereval: cannot open the display for the configuration dialog\n");
        return -1;
    }
    TemplateDialog dialog(tmpl, proc);
    dialog.Build();
    return dialog.Run(initParam);
}

std::vector<DialogControlReport> InspectOf(HDLG dlg) {
    TemplateDialog* d = Real(dlg);
    return d ? d->Inspect() : std::vector<DialogControlReport>{};
}

int FocusIdOf(HDLG dlg) {
    TemplateDialog* d = Real(dlg);
    return d ? d->FocusId() : 0;
}

DialogBaseUnits BaseUnitsOf(HDLG dlg) {
    TemplateDialog* d = Real(dlg);
    return d ? d->BaseUnits() : DialogBaseUnits{0, 0};
}

std::string CaptionOf(HDLG dlg) {
    TemplateDialog* d = Real(dlg);
    return d ? d->Caption() : std::string{};
}

void SetShownHook(DialogShownHook hook, void* context) {
    g_ShownHook = hook;
    g_ShownContext = context;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) const DialogModule* NerevalDialogModule() {
    static const DialogModule module = {kDialogModuleVersion, RunModal, InspectOf, FocusIdOf,
                                        BaseUnitsOf, CaptionOf, SetShownHook};
    return &module;
}
