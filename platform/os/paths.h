// Where the saver keeps its files on this platform (XDG base directories).
#pragma once

#include <string>

// ${XDG_CONFIG_HOME:-~/.config}: settings.
std::string ConfigHome();
// ${XDG_STATE_HOME:-~/.local/state}: the start-up error log.
std::string StateHome();
// ${XDG_RUNTIME_DIR}, else a folder of this user's own in the temporary
// directory (/tmp/nereval-<uid>, mode 0700): the single-instance lock.
std::string RuntimeDir();
// mkdir -p; true when the folder exists afterwards.
bool MakeDirectories(const std::string& path);
