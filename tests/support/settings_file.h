// The settings file as the tests see it: its path and its whole text.
#pragma once

#include <string>

#include "platform/os/registry.h"
#include "settings/settings.h"
#include "tests/support/read_all.h"

inline std::string SettingsFile() { return RegistryFilePath(kSettingsKey); }
