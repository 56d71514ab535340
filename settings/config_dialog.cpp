// The configuration dialog. The dialog itself is not built yet: for now the
// switch loads the settings (so a broken file is noticed) and exits with 0,
// changing nothing.
#include "settings/config_dialog.h"

#include "settings/settings.h"

int ShowConfigDialog(HWND) {
    Settings settings;
    settings.Load();
    return 0;
}
