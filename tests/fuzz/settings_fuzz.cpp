// libFuzzer target for the settings file: the input is the user's
// 1.4.reg. Load reads it; Save with one value changed must keep every line
// as it was but the one value's line (appended values aside), and a second
// Load must read the changed value back.
// Build and run: see README.md in this folder.
#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/os/registry.h"
#include "settings/settings.h"

namespace {

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// Load names unreadable lines on stderr: keep the fuzzer's output readable.
void LoadQuietly(Settings* s) {
    const int saved = dup(2);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 2);
    s->Load();
    dup2(saved, 2);
    close(null);
    close(saved);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char dir[] = "/tmp/nereval-settings-fuzz-XXXXXX";
    if (!mkdtemp(dir)) std::abort();
    setenv("XDG_CONFIG_HOME", dir, 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t size) {
    if (size > 1 << 16) return 0;
    const std::string path = RegistryFilePath(kSettingsKey);
    const std::string original(reinterpret_cast<const char*>(input), size);
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        if (!out) {
            // First run: make the folders through a save of the defaults.
            Settings make;
            make.Save();
            out.open(path, std::ios::binary | std::ios::trunc);
        }
        out << original;
    }
    Settings s;
    LoadQuietly(&s);
    const int changed = s.intChkCol == 1 ? 0 : 1;
    s.intChkCol = changed;
    if (s.Save() != 1) __builtin_trap();

    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    const std::vector<std::string> before = Lines(original), after = Lines(text.str());
    if (!before.empty()) {
        if (after.size() < before.size()) __builtin_trap();
        int replaced = 0;
        for (std::size_t i = 0; i < before.size(); ++i) replaced += before[i] != after[i];
        if (replaced > 1) __builtin_trap();
    }
    Settings again;
    LoadQuietly(&again);
    if (again.intChkCol != changed) __builtin_trap();
    return 0;
}
