// Test environment shared by the test executables: settings, logs and locks
// go to a private temporary folder, never to the user's real files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

class PrivateDirs : public ::testing::Environment {
public:
    void SetUp() override {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);  // windows never need a screen here
        std::string tmpl = (std::filesystem::temp_directory_path() / "nereval-test-XXXXXX").string();
        if (!mkdtemp(tmpl.data())) std::abort();
        m_root = tmpl;
        for (const char* v : {"XDG_CONFIG_HOME", "XDG_STATE_HOME", "XDG_RUNTIME_DIR"}) {
            std::filesystem::path p = m_root / v;
            std::filesystem::create_directories(p);
            setenv(v, p.c_str(), 1);
        }
    }
    void TearDown() override {
        std::error_code ec;
        std::filesystem::remove_all(m_root, ec);
    }

private:
    std::filesystem::path m_root;
};

const auto* const kEnv = ::testing::AddGlobalTestEnvironment(new PrivateDirs);

}  // namespace
