// The GTK dialog layer is a module of its own (nereval-dialog.so), opened the
// first time a dialog is asked for: the saver itself never maps GTK and the
// libraries it brings (a third of what the program would load at every
// start). The module hands its functions over in this table; dialog_loader.cpp
// finds the module and forwards the calls of dialog.h and dialog_inspect.h.
// Built from the same sources as the program, so C++ types cross freely.
#pragma once

#include <string>
#include <vector>

#include "platform/dialog/dialog.h"
#include "platform/dialog/dialog_inspect.h"

struct DialogModule {
    int version;  // kDialogModuleVersion
    INT_PTR (*run)(const DialogTemplate& tmpl, HWND owner, DLGPROC proc, LPARAM initParam);
    std::vector<DialogControlReport> (*inspect)(HDLG dlg);
    int (*focusId)(HDLG dlg);
    DialogBaseUnits (*baseUnits)(HDLG dlg);
    std::string (*caption)(HDLG dlg);
    void (*setShownHook)(DialogShownHook hook, void* context);
};
inline constexpr int kDialogModuleVersion = 2;

// The module's one exported symbol.
inline constexpr const char* kDialogModuleEntry = "NerevalDialogModule";
extern "C" const DialogModule* NerevalDialogModule();
