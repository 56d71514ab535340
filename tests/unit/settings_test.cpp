// Settings defaults and their registry file: round trip, missing values,
// garbage, atomic replacement.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <random>
#include <string>
#include <thread>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/os/registry.h"
#include "settings/settings.h"
#include "settings/settings_table.h"
#include "tests/support/settings_file.h"

namespace {

class SettingsFileTest : public ::testing::Test {
protected:
    void SetUp() override { std::filesystem::remove(SettingsFile()); }
    void TearDown() override { std::filesystem::remove(SettingsFile()); }
    static void WriteFile(const std::string& text) {
        std::filesystem::create_directories(std::filesystem::path(SettingsFile()).parent_path());
        std::ofstream(SettingsFile(), std::ios::binary) << text;
    }
};

}  // namespace

TEST_F(SettingsFileTest, NoFileMeansDefaultsAndSaveWritesEveryValueInRecordOrder) {
    Settings s;
    s.Load();
    EXPECT_EQ(s.intWhlNumCur, 30);
    EXPECT_EQ(s.intWhlAliForceCur, 20);
    EXPECT_STREQ(s.strBGMUsr, "tune_main.mid");
    EXPECT_FALSE(std::filesystem::exists(SettingsFile()));  // loading alone writes nothing
    s.Save();

    std::string text = ReadAll(SettingsFile());
    EXPECT_EQ(text.rfind("Windows Registry Editor Version 5.00\n", 0), 0u);
    EXPECT_NE(text.find("[HKEY_CURRENT_USER\\Software\\Ostrelin\\NerevalSaver\\1.4]\n"), std::string::npos);
    std::vector<std::string> names;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line[0] == '"') names.push_back(line.substr(1, line.find('"', 1) - 1));
    }
    ASSERT_EQ(names.size(), std::size(kSettingRows));
    EXPECT_EQ(names[0], "intChkFPS");
    EXPECT_EQ(names[14], "intChkBGM");
    EXPECT_EQ(names[15], "strBGMUsr");
    EXPECT_EQ(names[16], "intChkLargeModel");
    EXPECT_EQ(names.back(), "intWhlCenForceCur");
    EXPECT_NE(text.find("\"intWhlNumCur\"=dword:0000001e\n"), std::string::npos);
    EXPECT_NE(text.find("\"strBGMUsr\"=\"tune_main.mid\"\n"), std::string::npos);
}

TEST_F(SettingsFileTest, RoundTripKeepsEveryValueIncludingNegativesAndOddPaths) {
    Settings a;
    a.intCamMod = 7;  // out of range values are stored and loaded as they are
    a.intWhlSpeedCur = -3;
    a.intChkCol = 1;
    std::strcpy(a.strBGMUsr, "/home/user/My \"Tunes\"\\back\\slash.mid");
    a.Save();
    Settings b;
    b.Load();
    EXPECT_EQ(b.intCamMod, 7);
    EXPECT_EQ(b.intWhlSpeedCur, -3);
    EXPECT_EQ(b.intChkCol, 1);
    EXPECT_STREQ(b.strBGMUsr, a.strBGMUsr);
}

TEST_F(SettingsFileTest, MissingValueKeepsItsFieldAndGarbageLinesAreSkipped) {
    WriteFile(
        "Windows Registry Editor Version 5.00\r\n\r\n"
        "[HKEY_CURRENT_USER\\Software\\Ostrelin\\NerevalSaver\\1.4]\r\n"
        "\"intChkFPS\"=dword:00000000\r\n"
        "this line is garbage\n"
        "\"intCamMod\"=dword:0003\n"             // wrong width: skipped
        "\"intDisMod\"=dword:00000002\n"
        "\"intAspMod\"=\"2\"\n"                  // a string where a number belongs: field kept
        "\"intWhlSpeedCur\"=dword:00000096\n"
        "\"strBGMUsr\"=\"unterminated\n"
        "\"intChkCelphn\"=dword:zzzzzzzz\n");
    Settings s;
    s.Load();
    EXPECT_EQ(s.intChkFPS, 0);
    EXPECT_EQ(s.intDisMod, 2);
    EXPECT_EQ(s.intWhlSpeedCur, 150);
    EXPECT_EQ(s.intWhlNumCur, 30);  // absent
    EXPECT_EQ(s.intCamMod, 1);
    EXPECT_EQ(s.intAspMod, 1);
    EXPECT_EQ(s.intChkCelphn, 0);
    EXPECT_STREQ(s.strBGMUsr, "tune_main.mid");
}

TEST_F(SettingsFileTest, OverlongPathIsNotCutIntoAnotherPath) {
    std::string longPath = "/" + std::string(300, 'a') + ".mid";
    WriteFile("\"strBGMUsr\"=\"" + longPath + "\"\n\"intChkBGM\"=dword:00000001\n");
    Settings s;
    s.Load();
    EXPECT_STREQ(s.strBGMUsr, "tune_main.mid");
    EXPECT_EQ(s.intChkBGM, 1);

    // Saving keeps the user's stored text, which the program cannot use but
    // must not destroy; a path chosen afterwards replaces it.
    s.Save();
    EXPECT_NE(ReadAll(SettingsFile()).find("\"strBGMUsr\"=\"" + longPath + "\""), std::string::npos);
    std::strcpy(s.strBGMUsr, "/music/new.mid");
    s.Save();
    const std::string text = ReadAll(SettingsFile());
    EXPECT_EQ(text.find(longPath), std::string::npos);
    EXPECT_NE(text.find("\"strBGMUsr\"=\"/music/new.mid\""), std::string::npos);
}

// The saver holds the file from its start to its exit while the dialog saves
// a change; the user wrote one line the reader does not take.
TEST_F(SettingsFileTest, SaveWritesOnlyWhatChangedSinceLoadAndKeepsLinesItCannotRead) {
    const std::string userLine = "\"intWhlNumCur\"=12";
    WriteFile("Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Ostrelin\\NerevalSaver\\1.4]\n" +
              userLine + "\n; a comment\n\"intChkCol\"=dword:00000000\n");
    Settings saver;
    testing::internal::CaptureStderr();
    saver.Load();
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("line 4: " + userLine), std::string::npos) << err;
    EXPECT_EQ(err.find(userLine), err.rfind(userLine)) << "named once";
    EXPECT_EQ(err.find("comment"), std::string::npos);
    EXPECT_EQ(saver.intWhlNumCur, 30);

    Settings dialog;
    testing::internal::CaptureStderr();
    dialog.Load();
    testing::internal::GetCapturedStderr();
    dialog.intChkCol = 1;
    ASSERT_EQ(dialog.Save(), 1);
    ASSERT_EQ(saver.Save(), 1);

    const std::string text = ReadAll(SettingsFile());
    EXPECT_NE(text.find("\"intChkCol\"=dword:00000001\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\n" + userLine + "\n; a comment\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("\"intWhlNumCur\"=dword"), std::string::npos) << text;
    EXPECT_NE(text.find("\"intWhlCenForceCur\"=dword:00000064\n"), std::string::npos) << "missing values are added";

    // Nothing differs from what was read: the file is not written at all.
    struct stat before{}, after{};
    ::stat(SettingsFile().c_str(), &before);
    Settings again;
    testing::internal::CaptureStderr();
    again.Load();
    testing::internal::GetCapturedStderr();
    ASSERT_EQ(again.Save(), 1);
    ::stat(SettingsFile().c_str(), &after);
    EXPECT_EQ(before.st_ino, after.st_ino);
}

// The save at exit killed at random moments, 200 times: the file is always
// the old one or the new one, never empty or torn.
TEST_F(SettingsFileTest, ASaveKilledAtAnyMomentLeavesTheOldFileOrTheNew) {
    const std::string old = "Windows Registry Editor Version 5.00\n\n\"intWhlNumCur\"=dword:00000007\n";
    WriteFile(old);
    Settings probe;
    probe.Load();
    const auto t0 = std::chrono::steady_clock::now();
    ASSERT_EQ(probe.Save(), 1);  // adds the missing values: the new file
    const long saveMicros = std::max<long>(
        50, std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - t0).count());
    const std::string fresh = ReadAll(SettingsFile());
    ASSERT_NE(fresh, old);

    std::mt19937 random(12345);
    int olds = 0, news = 0;
    for (int i = 0; i < 200; ++i) {
        WriteFile(old);
        int ready[2];
        ASSERT_EQ(pipe(ready), 0);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            Settings s;
            s.Load();
            const char go = 1;
            if (write(ready[1], &go, 1) != 1) _exit(2);
            s.Save();
            _exit(0);
        }
        char go = 0;
        ASSERT_EQ(read(ready[0], &go, 1), 1);
        close(ready[0]);
        close(ready[1]);
        std::this_thread::sleep_for(std::chrono::microseconds(random() % (2 * saveMicros)));
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        const std::string text = ReadAll(SettingsFile());
        ASSERT_TRUE(text == old || text == fresh) << "kill " << i << " left:\n" << text;
        (text == old ? olds : news)++;
    }
    std::printf("200 kills during the save: %d left the old file, %d the new one\n", olds, news);
    EXPECT_GT(olds, 0);
    EXPECT_GT(news, 0);
    for (const auto& e : std::filesystem::directory_iterator(std::filesystem::path(SettingsFile()).parent_path())) {
        if (e.path() != SettingsFile()) std::filesystem::remove(e.path());  // temporary files of killed saves
    }
}

TEST_F(SettingsFileTest, OnlyLoadedSettingsCountAsLoaded) {
    Settings s;
    EXPECT_FALSE(s.IsLoaded());
    s.Load();
    EXPECT_TRUE(s.IsLoaded());
}

TEST_F(SettingsFileTest, SaveKeepsValuesItDoesNotKnowAndLeavesNoTemporaryFiles) {
    WriteFile("\"futureOption\"=dword:0000002a\n\"intChkFPS\"=dword:00000000\n");
    Settings s;
    s.Load();
    s.Save();
    std::string text = ReadAll(SettingsFile());
    EXPECT_NE(text.find("\"futureOption\"=dword:0000002a"), std::string::npos);
    EXPECT_NE(text.find("\"intChkFPS\"=dword:00000000"), std::string::npos);
    int files = 0;
    for (const auto& e : std::filesystem::directory_iterator(std::filesystem::path(SettingsFile()).parent_path())) {
        (void)e;
        ++files;
    }
    EXPECT_EQ(files, 1);
}

// Whatever stands at the settings path and cannot be read whole, the record
// keeps its defaults, one line says so, and nothing is ever written there.
TEST_F(SettingsFileTest, AFileThatCannotBeReadWholeIsNeitherUsedNorWritten) {
    namespace fs = std::filesystem;
    const std::string path = SettingsFile();
    const std::string value = "\"intWhlNumCur\"=dword:0000000c\n";
    auto check = [&](const char* what, bool regular) {
        // In a child, so that a read that blocks ends in a failure, not a hang.
        const pid_t child = fork();
        if (child == 0) {
            alarm(5);
            Settings s;
            testing::internal::CaptureStderr();
            const int loaded = s.Load();
            const std::string err = testing::internal::GetCapturedStderr();
            const bool oneLine = err.find("cannot be read") != std::string::npos && err.find('\n') == err.size() - 1;
            _exit(loaded == 0 && s.ReadFailed() && s.intWhlNumCur == 30 && oneLine && s.Save() == 0 ? 0 : 1);
        }
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << what;
        EXPECT_EQ(fs::is_regular_file(fs::symlink_status(path)), regular) << what << ": replaced";
    };
    fs::create_directories(fs::path(path).parent_path());

    fs::create_symlink("1.4.reg", path);  // a loop: the open fails
    check("a loop of symlinks", false);
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(path)));
    fs::remove(path);

    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    check("a FIFO", false);
    EXPECT_EQ(fs::status(path).type(), fs::file_type::fifo);
    fs::remove(path);

    fs::create_directory(path);
    check("a folder", false);
    fs::remove(path);

    const std::string large = value + std::string(kRegMaxFileBytes, ';') + "\n";
    WriteFile(large);
    check("a file over 1 MiB", true);
    EXPECT_TRUE(ReadAll(path) == large);

    if (geteuid() != 0) {  // the superuser reads any file
        WriteFile(value);
        fs::permissions(path, fs::perms::none);
        check("a file without read permission", true);
        fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write);
        EXPECT_EQ(ReadAll(path), value);
    }
}

// A file of 36,000 values and 400 long lines that cannot be read (with an
// escape sequence): read at once, and stderr gets a few short lines.
TEST_F(SettingsFileTest, ABigFileIsReadQuicklyAndItsBadLinesReportedBriefly) {
    std::string text;
    for (int i = 0; i < 36000; ++i) text += "\"v" + std::to_string(100000 + i) + "\"=dword:00000001\n";
    for (int i = 0; i < 400; ++i) text += "\x1b[2J" + std::string(100, 'x') + "\n";
    text += "\"intWhlSpeedCur\"=dword:00000007\n";
    ASSERT_LT(text.size(), static_cast<size_t>(kRegMaxFileBytes));
    WriteFile(text);
    Settings s;
    testing::internal::CaptureStderr();
    const auto t0 = std::chrono::steady_clock::now();
    s.Load();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(s.intWhlSpeedCur, 7);
    EXPECT_LT(seconds, 1.0);
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), kRegMaxReportedLines + 1) << err;
    EXPECT_NE(err.find("390 more lines"), std::string::npos) << err;
    EXPECT_EQ(err.find('\x1b'), std::string::npos);
    EXPECT_LT(err.size(), 3000u);
}

TEST_F(SettingsFileTest, SavingThroughASymlinkWritesItsTargetAndKeepsItsMode) {
    namespace fs = std::filesystem;
    const fs::path link = SettingsFile();
    const fs::path dotfiles = link.parent_path().parent_path() / "dotfiles";
    fs::create_directories(dotfiles);
    fs::create_directories(link.parent_path());
    std::ofstream(dotfiles / "nereval.reg") << "\"intWhlSpeedCur\"=dword:00000007\n";
    fs::permissions(dotfiles / "nereval.reg", fs::perms::owner_read | fs::perms::owner_write |
                                                  fs::perms::group_read | fs::perms::others_read);
    fs::create_symlink("../dotfiles/nereval.reg", link);
    Settings s;
    s.Load();
    s.intWhlSpeedCur = 9;
    ASSERT_EQ(s.Save(), 1);
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(link)));
    EXPECT_NE(ReadAll(dotfiles / "nereval.reg").find("\"intWhlSpeedCur\"=dword:00000009\n"), std::string::npos);
    EXPECT_EQ(fs::status(dotfiles / "nereval.reg").permissions(), fs::perms(0644));
    EXPECT_EQ(std::distance(fs::directory_iterator(dotfiles), fs::directory_iterator()), 1) << "no temporary files";
    fs::remove_all(dotfiles);
}

TEST_F(SettingsFileTest, AStoredWhaleCountIsClampedToWhatIsDrawn) {
    for (const auto& [stored, loaded] : {std::pair{80, 50}, {1000, 50}, {0, 1}, {-3, 1}, {12, 12}}) {
        char line[64];
        std::snprintf(line, sizeof line, "\"intWhlNumCur\"=dword:%08x\n", static_cast<unsigned>(stored));
        WriteFile(line);
        Settings s;
        s.Load();
        EXPECT_EQ(s.intWhlNumCur, loaded) << stored;
    }
}

// A save killed before its rename leaves SETTINGS.XXXXXX behind: the next
// save removes it, but never the temporary file of a save still running
// (the saver and the dialog saving at once, 100 times each).
TEST_F(SettingsFileTest, TemporaryFilesOfKilledSavesGoButNotThoseOfRunningSaves) {
    namespace fs = std::filesystem;
    const fs::path folder = fs::path(SettingsFile()).parent_path();
    WriteFile("\"intChkFPS\"=dword:00000000\n");
    for (const char* name : {"1.4.reg.aB3xYz", "1.4.reg.keep", "1.4.reg.aB3xYz7", "other.reg.aB3xYz"}) {
        std::ofstream(folder / name) << "x";
    }
    Settings s;
    s.Load();
    s.intChkFPS = 1;
    ASSERT_EQ(s.Save(), 1);
    EXPECT_FALSE(fs::exists(folder / "1.4.reg.aB3xYz"));
    for (const char* name : {"1.4.reg.keep", "1.4.reg.aB3xYz7", "other.reg.aB3xYz"}) {
        EXPECT_TRUE(fs::exists(folder / name)) << name;
        fs::remove(folder / name);
    }

    auto saveMany = [](int speed0) {
        Settings own;
        own.Load();
        int failed = 0;
        for (int i = 0; i < 100; ++i) {
            own.intWhlSpeedCur = speed0 + i;  // differs from what was read: written each time
            failed += own.Save() == 0;
        }
        return failed;
    };
    const pid_t child = fork();
    if (child == 0) _exit(saveMany(1000) ? 1 : 0);
    EXPECT_EQ(saveMany(2000), 0);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a save of the other process failed";
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
}

TEST(Registry, RejectsSubKeysThatLeaveTheConfigurationFolder) {
    HKEY key = nullptr;
    DWORD disposition = 0;
    EXPECT_NE(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\..\\..\\etc", &key, &disposition), 0);
    EXPECT_NE(RegCreateKeyExA(HKEY_CURRENT_USER, "", &key, &disposition), 0);
    EXPECT_EQ(key, nullptr);
}

TEST(Registry, QueryReportsSizesAndTooSmallBuffers) {
    HKEY key = nullptr;
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\NerevalTest\\Query", &key, &disposition), 0);
    const char text[] = "hello";
    ASSERT_EQ(RegSetValueExA(key, "s", REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof text), 0);
    DWORD type = 0, size = 0;
    EXPECT_EQ(RegQueryValueExA(key, "s", &type, nullptr, &size), 0);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(size, 6u);
    char small[3] = {'k', 'k', 'k'};
    size = sizeof small;
    EXPECT_EQ(RegQueryValueExA(key, "s", &type, reinterpret_cast<BYTE*>(small), &size), ERROR_MORE_DATA);
    EXPECT_EQ(small[0], 'k');
    EXPECT_EQ(RegQueryValueExA(key, "missing", &type, nullptr, &size), ERROR_FILE_NOT_FOUND);
    RegCloseKey(key);
}

TEST(SettingsValue, SetsANamedIntegerAndRefusesWhatItCannotRead) {
    Settings s;
    EXPECT_TRUE(SetSettingsValue(&s, "intWhlNumCur=7"));
    EXPECT_EQ(s.intWhlNumCur, 7);
    EXPECT_TRUE(SetSettingsValue(&s, "intCamMod=0x3"));
    EXPECT_EQ(s.intCamMod, 3);
    for (const char* bad : {"intWhlNumCur", "intWhlNumCur=", "intWhlNumCur=7x", "noSuchValue=1", "strBGMUsr=1"}) {
        EXPECT_FALSE(SetSettingsValue(&s, bad)) << bad;
    }
    EXPECT_EQ(s.intWhlNumCur, 7) << "a refused assignment changes nothing";
}
