// Where the saver writes: never a shared folder, never through a symlink, a
// runtime folder only when it is the user's own and private.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "core/errlog.h"
#include "platform/os/instance.h"
#include "platform/os/paths.h"
#include "platform/os/registry.h"
#include "tests/support/read_all.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_folder.h"

namespace {

bool Exists(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

}  // namespace

TEST(UserFolders, WithoutAHomeFolderNothingFallsBackToTmp) {
    ScopedEnv home("HOME", nullptr), config("XDG_CONFIG_HOME", nullptr), state("XDG_STATE_HOME", nullptr),
        runtime("XDG_RUNTIME_DIR", nullptr);
    SetPasswdHomeForTest([]() -> const char* { return nullptr; });
    EXPECT_EQ(ConfigHome(), "");
    EXPECT_EQ(StateHome(), "");
    EXPECT_EQ(RuntimeDir(), "");
    // Messages name where the file would be, never a path from the root.
    EXPECT_EQ(RegistryFilePath("Software\\Ostrelin\\NerevalSaver\\1.4"),
              "${XDG_CONFIG_HOME:-~/.config}/Ostrelin/NerevalSaver/1.4.reg");
    EXPECT_NE(UserFoldersMissing(), nullptr) << "a start refuses";
    ErrLog log;
    log.Append("x\n");
    EXPECT_FALSE(log.Write());
    HANDLE lock = CreateMutexA(nullptr, FALSE, "NEREVAL_TEST_NO_HOME");
    EXPECT_EQ(lock, nullptr);
    if (lock) CloseHandle(lock);
    {
        ScopedEnv relative("HOME", "relative/home");  // not a folder anyone can rely on
        EXPECT_EQ(ConfigHome(), "");
    }
    SetPasswdHomeForTest(nullptr);
    EXPECT_EQ(UserFoldersMissing(), nullptr) << "the test environment's own folders";
}

TEST(UserFolders, RuntimeFolderOnlyWhenOwnedAndPrivateAndLocksNeverFollowSymlinks) {
    const TempFolder temp;
    const std::string run = temp / "run", elsewhere = temp / "victim";
    ASSERT_EQ(mkdir(run.c_str(), 0700), 0);
    ASSERT_EQ(mkdir(elsewhere.c_str(), 0700), 0);
    ScopedEnv runtime("XDG_RUNTIME_DIR", run.c_str());
    EXPECT_EQ(RuntimeDir(), run);
    // Another user's symlink named as the lock, in a world-writable folder:
    // the folder is not used, and nothing is created where the link points.
    ASSERT_EQ(chmod(run.c_str(), 01777), 0);
    EXPECT_EQ(RuntimeDir(), StateHome());
    ASSERT_EQ(symlink((elsewhere + "/created").c_str(), (run + "/NEREVAL_TEST_PLANTED.lock").c_str()), 0);
    HANDLE lock = CreateMutexA(nullptr, FALSE, "NEREVAL_TEST_PLANTED");
    EXPECT_NE(lock, nullptr) << "the lock is taken in the state folder";
    CloseHandle(lock);
    EXPECT_FALSE(Exists(elsewhere + "/created"));
    ASSERT_EQ(chmod(run.c_str(), 0755), 0);
    EXPECT_EQ(RuntimeDir(), StateHome()) << "0755 is not private";
    // Even in a folder of the user's own, a symlink is never followed.
    ASSERT_EQ(chmod(run.c_str(), 0700), 0);
    EXPECT_EQ(CreateMutexA(nullptr, FALSE, "NEREVAL_TEST_PLANTED"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_FALSE(Exists(elsewhere + "/created"));
}

TEST(UserFolders, ErrorLogNeverWrittenThroughASymlinkNorInAWorldWritableFolder) {
    const TempFolder temp;
    const std::string state = temp / "state", victim = temp / "victim.txt";
    std::ofstream(victim) << "the victim's file\n";
    ScopedEnv env("XDG_STATE_HOME", state.c_str());
    ASSERT_TRUE(MakeDirectories(state));
    struct stat st {};
    ASSERT_EQ(stat(state.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0700u) << "folders are created private";
    ASSERT_EQ(symlink(victim.c_str(), ErrLogPath().c_str()), 0);
    ErrLog log;
    log.Append("Failed\n");
    EXPECT_FALSE(log.Write());
    EXPECT_EQ(ReadAll(victim), "the victim's file\n");
    ASSERT_EQ(unlink(ErrLogPath().c_str()), 0);
    ASSERT_EQ(chmod(state.c_str(), 0777), 0);
    EXPECT_FALSE(log.Write());
    EXPECT_FALSE(Exists(ErrLogPath()));
    ASSERT_EQ(chmod(state.c_str(), 0700), 0);
    EXPECT_TRUE(log.Write());
    EXPECT_EQ(ReadAll(ErrLogPath()), "Failed\n");
}
