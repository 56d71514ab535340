// The calls of dialog.h and dialog_inspect.h, forwarded to the GTK dialog
// module (dialog_module.h), which the first call opens. Where the module is:
// beside the build tree's programs for a program run from the build tree,
// otherwise in lib/nereval under the prefix the program is installed in
// (PREFIX/libexec/xscreensaver/nereval finds PREFIX/lib/nereval/).
#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <string>

#include "platform/dialog/dialog_module.h"

namespace {

std::string ExecutableFolder() {
    char path[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return {};
    path[n] = '\0';
    std::string folder(path);
    const std::size_t slash = folder.rfind('/');
    return slash == std::string::npos ? std::string{} : folder.substr(0, slash);
}

std::string ModulePath() {
    const std::string folder = ExecutableFolder();
    const std::string build = NEREVAL_BUILD_DIR;
    if (folder == build || folder.starts_with(build + "/")) return build + "/" NEREVAL_DIALOG_MODULE;
    return folder + "/../../lib/nereval/" NEREVAL_DIALOG_MODULE;
}

struct Loaded {
    const DialogModule* module = nullptr;
    std::string failure;  // why there is none
};

// Opened once and kept: GTK cannot be unloaded.
const Loaded& Load() {
    static const Loaded loaded = [] {
        Loaded l;
        const std::string path = ModulePath();
        void* lib = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!lib) {
            const char* why = dlerror();
            l.failure = why ? why : path + " cannot be opened";
            return l;
        }
        using Entry = const DialogModule* (*)();
        const auto entry = reinterpret_cast<Entry>(dlsym(lib, kDialogModuleEntry));
        const DialogModule* module = entry ? entry() : nullptr;
        if (!module || module->version != kDialogModuleVersion) {
            l.failure = path + " is not this version's dialog module";
            dlclose(lib);
            return l;
        }
        l.module = module;
        return l;
    }();
    return loaded;
}

const DialogModule* Module() { return Load().module; }

}  // namespace

INT_PTR DialogBoxIndirectParamA(const DialogTemplate& tmpl, HWND owner, DLGPROC proc, LPARAM initParam) {
    const Loaded& l = Load();
    if (!l.module) {
        std::fprintf(stderr, "nereval: cannot show the configuration dialog: %s\n", l.failure.c_str());
        return -1;
    }
    return l.module->run(tmpl, owner, proc, initParam);
}

std::vector<DialogControlReport> InspectDialog(HDLG dlg) {
    const DialogModule* m = Module();
    return m ? m->inspect(dlg) : std::vector<DialogControlReport>{};
}

int DialogFocusId(HDLG dlg) {
    const DialogModule* m = Module();
    return m ? m->focusId(dlg) : 0;
}

DialogBaseUnits DialogBaseUnitsOf(HDLG dlg) {
    const DialogModule* m = Module();
    return m ? m->baseUnits(dlg) : DialogBaseUnits{0, 0};
}

std::string DialogCaption(HDLG dlg) {
    const DialogModule* m = Module();
    return m ? m->caption(dlg) : std::string{};
}

void SetDialogShownHook(DialogShownHook hook, void* context) {
    if (const DialogModule* m = Module()) m->setShownHook(hook, context);
}
