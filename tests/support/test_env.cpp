// Test environment shared by the test executables: settings, logs and locks
// go to a private temporary folder, never to the user's real files.
#include <gtest/gtest.h>

#include <memory>

#include "tests/support/private_folders.h"

namespace {

class PrivateDirs : public ::testing::Environment {
public:
    void SetUp() override { m_folders = std::make_unique<PrivateFolders>("nereval-test"); }
    void TearDown() override { m_folders.reset(); }

private:
    std::unique_ptr<PrivateFolders> m_folders;
};

const auto* const kEnv = ::testing::AddGlobalTestEnvironment(new PrivateDirs);

}  // namespace
