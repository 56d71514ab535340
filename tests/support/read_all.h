// Whole files for the tests: any file by its path, and the project's own
// files (sources, test data) by their path in the source tree.
#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

// The file's bytes; "" when it cannot be read.
inline std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// A file of the source tree ("tools/install/nereval.xml"), found from this
// header's own place in it.
inline std::string ReadSourceFile(const std::string& relative) {
    return ReadAll((std::filesystem::path(__FILE__).parent_path().parent_path().parent_path() / relative).string());
}
