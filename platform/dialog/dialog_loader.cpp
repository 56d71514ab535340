// The calls of dialog.h and dialog_inspect.h, forwarded to the GTK dialog
// module (dialog_module.h), which the first call opens. Where the module is:
// in the build tree for a program run from the build tree it was built in,
// otherwise in PREFIX/lib/nereval under the prefix compiled in
// (NEREVAL_DIALOG_INSTALLED_DIR, platform/CMakeLists.txt). Never a place found from
// the program's own folder, which a copy of the program would choose, and
// never a module that another user could have written or replaced: its
// constructors run before any check of its contents could.
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/dialog/dialog_module.h"
#include "platform/dialog/dialog_text.h"

namespace {

// The marker, then the build tree's folder. Installing the program blanks
// the whole text in the installed copy (cmake/BlankBuildTree.cmake), as CMake
// removes a build tree's RPATH, so an installed program never looks into a
// build tree and carries no build path.
constexpr char kBuildTreeMarker[] = "nereval-build-tree:";
__attribute__((used)) const char kBuildTree[] = "nereval-build-tree:" NEREVAL_BUILD_DIR;

std::string BuildTree() {
    const char* text = kBuildTree;
    asm("" : "+r"(text));  // the installation rewrites the bytes: read them, never a folded copy
    const std::size_t marker = sizeof kBuildTreeMarker - 1;
    return std::strncmp(text, kBuildTreeMarker, marker) == 0 ? std::string(text + marker) : std::string();
}

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
    const std::string build = BuildTree();
    if (!build.empty() && (folder == build || folder.starts_with(build + "/"))) {
        return build + "/" NEREVAL_DIALOG_MODULE;
    }
    return NEREVAL_DIALOG_INSTALLED_DIR "/" NEREVAL_DIALOG_MODULE;
}

// The dialog's message catalogs come from the tree its module (at
// `modulePath`) comes from: the build tree's locale folder, or
// PREFIX/share/locale (NEREVAL_LOCALEDIR, platform/CMakeLists.txt).
std::string CatalogFolder(const std::string& modulePath) {
    const std::string build = BuildTree();
    return !build.empty() && modulePath.starts_with(build + "/") ? build + "/locale" : NEREVAL_LOCALEDIR;
}

// Owned by root or this user, and writable by nobody else: by the group only
// when it is this user's own group, by everyone only with the sticky bit
// (which keeps others from renaming what is inside, as in /tmp).
bool SafeOwner(const struct stat& st, bool folder) {
    if (st.st_uid != 0 && st.st_uid != getuid()) return false;
    if ((st.st_mode & S_IWGRP) && st.st_gid != getgid() && st.st_gid != 0) return false;
    return !(st.st_mode & S_IWOTH) || (folder && (st.st_mode & S_ISVTX));
}

// Null when the module at `path` and every folder above it are safe to load
// from; else why not.
const char* UnsafeModule(const std::string& path, std::string* real) {
    char resolved[PATH_MAX];
    if (!realpath(path.c_str(), resolved)) return "cannot be opened";
    *real = resolved;
    struct stat st {};
    if (stat(resolved, &st) != 0 || !S_ISREG(st.st_mode)) return "is not a file";
    if (!SafeOwner(st, false)) return "could be written by another user: not loaded";
    for (std::string folder = *real; folder.size() > 1;) {
        folder.resize(std::max<std::size_t>(folder.rfind('/'), 1));
        if (stat(folder.c_str(), &st) != 0 || !SafeOwner(st, true)) {
            return "is in a folder another user could change: not loaded";
        }
    }
    return nullptr;
}

struct Loaded {
    const DialogModule* module = nullptr;
    std::string failure;  // why there is none
};

// Opened once and kept: GTK cannot be unloaded. The dialog's texts are bound
// to their catalogs once, with it.
const Loaded& Load() {
    static const Loaded loaded = [] {
        Loaded l;
        const std::string path = ModulePath();
        std::string real;
        if (const char* why = UnsafeModule(path, &real)) {
            l.failure = path + " " + why;
            return l;
        }
        void* lib = dlopen(real.c_str(), RTLD_NOW | RTLD_LOCAL);
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
        BindDialogTexts(CatalogFolder(path).c_str());
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
