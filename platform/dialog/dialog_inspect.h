// Looking at a real dialog from outside: what each control's text renders
// with (families, glyphs the fonts lack) and where the control ended up, the
// dialog's base units and a hook that runs once the dialog is on screen.
// For tests and review tools; the dialog works the same without them.
#pragma once

#include <string>
#include <vector>

#include "platform/dialog/dialog.h"
#include "platform/dialog/dialog_units.h"

struct DialogControlReport {
    int id;                 // the template id (IDC_STATIC for labels and groups)
    std::string text;       // the text as shown (UTF-8); empty for sliders
    std::string families;   // font families used for the text, comma-separated
    int unknownGlyphs;      // characters no installed font could draw
    RECT wanted;            // the template rectangle in pixels
    RECT actual;            // where the control was laid out, pixels in the client area
    bool focusable;         // Tab can stop here
};

// Every control of a dialog run by DialogBoxIndirectParamA, in template order.
// Empty for any other HDLG (for example a test double).
std::vector<DialogControlReport> InspectDialog(HDLG dlg);
// The id of the control that has the keyboard focus; 0 when none does.
int DialogFocusId(HDLG dlg);
// The base units the dialog was laid out with.
DialogBaseUnits DialogBaseUnitsOf(HDLG dlg);
// The window title as the window has it.
std::string DialogCaption(HDLG dlg);

// Called once per run, when the dialog is shown and laid out (the procedure
// has had WM_INITDIALOG). Null removes it. The hook may call EndDialog.
using DialogShownHook = void (*)(HDLG dlg, void* context);
void SetDialogShownHook(DialogShownHook hook, void* context);
