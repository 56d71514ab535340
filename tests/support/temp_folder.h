// A fresh folder of the test's own in the temporary directory (mkdtemp),
// removed with everything in it when the object goes: fixed names in /tmp
// would collide between two runs, or with another user's files.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include <unistd.h>

class TempFolder {
public:
    explicit TempFolder(const char* prefix = "nereval-test") {
        std::error_code ec;
        std::string tmpl = (std::filesystem::temp_directory_path(ec) / (std::string(prefix) + "-XXXXXX")).string();
        if (ec || !mkdtemp(tmpl.data())) std::abort();
        m_path = tmpl;
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& Path() const { return m_path; }
    // The path of `name` inside the folder.
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};
