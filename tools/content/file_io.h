// Whole-file reading for the content generators' --check modes.
#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace content {

// The file's bytes into *text; false when it cannot be opened or read.
inline bool ReadFile(const std::filesystem::path& path, std::string* text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream s;
    s << in.rdbuf();
    *text = s.str();
    return static_cast<bool>(in) || in.eof();
}

}  // namespace content
