// The settings file as the tests see it: its path and its whole text.
#pragma once

#include <fstream>
#include <sstream>
#include <string>

#include "platform/os/registry.h"
#include "settings/settings.h"

inline std::string SettingsFile() { return RegistryFilePath(kSettingsKey); }

inline std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}
