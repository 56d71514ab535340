// Background music in the lifecycle: off means no synthesizer at all; no
// audio device or no soundfont means a start without music, said on stderr;
// a broken built-in tune stops start-up with the music log lines; a missing user file
// falls back to the built-in tune, a good one plays instead of it; frames
// with music playing allocate nothing; tear-down closes the synthesizer.
// Audio goes to the silent real-time output (NEREVAL_AUDIO_DRIVER=null), or
// to none at all ("none").
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "core/errlog.h"
#include "platform/os/paths.h"
#include "platform/os/resource.h"
#include "shell/frametimer.h"
#include "shell/lifecycle.h"
#include "tests/gl/saver_fixture.h"
#include "tests/support/midi_bytes.h"
#include "tests/support/temp_folder.h"

long CountedNewCalls() __attribute__((weak));

namespace {

class MusicLifecycle : public gltest::SaverTest {
protected:
    void TearDown() override {
        SaverTest::TearDown();
        unsetenv("NEREVAL_AUDIO_DRIVER");
    }

    // Saves settings with music on and the given tune, and picks the audio output.
    static void MusicOn(const char* tune, const char* driver) {
        Settings s;
        s.intChkBGM = 1;
        std::snprintf(s.strBGMUsr, sizeof s.strBGMUsr, "%s", tune);
        s.Save();
        setenv("NEREVAL_AUDIO_DRIVER", driver, 1);
    }

    static std::string Log(std::size_t from = 0) { return g_ErrLog.Text() + from; }
};

TEST_F(MusicLifecycle, MusicOffCreatesNoSynthesizer) {
    ASSERT_EQ(Start(), 1) << Log();
    EXPECT_EQ(g_pMusicManager, nullptr);
    EXPECT_EQ(g_pSegment, nullptr);
    EXPECT_EQ(SynthPerformance::LiveSynthCount(), 0);
    EXPECT_EQ(Log().find("InitiateBGM"), std::string::npos);
}

TEST_F(MusicLifecycle, NoAudioOutputOrSoundfontStartsWithoutMusicButABrokenBuiltInTuneStops) {
    // The program's own tune missing means a damaged build: that start fails.
    MusicOn("tune_main.mid", "null");
    HideResourceForTest("tune_main.mid");
    const int failed = Start();
    HideResourceForTest(nullptr);
    ASSERT_EQ(failed, 0);
    const std::string log = Log();
    const std::string tail = "\tLoading Midi File...\n\tFailed hr=80004005Failed\n";
    ASSERT_GE(log.size(), tail.size());
    EXPECT_EQ(log.substr(log.size() - tail.size()), tail) << log;
    EXPECT_EQ(log.find("InitiateFont"), std::string::npos);
    // The log file holds exactly the in-memory log.
    std::ifstream in(StateHome() + "/" + ErrLogFileName(), std::ios::binary);
    const std::string file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(file, log);
    ReleaseAll();

    // No audio output, or no soundfont: the saver starts without music and says why in one line.
    for (const char* font : {"", "/nonexistent.sf2"}) {
        MusicOn("tune_main.mid", *font ? "null" : "none");
        setenv("NEREVAL_SOUNDFONT", font, 1);
        testing::internal::CaptureStderr();
        const int started = Start();
        const std::string err = testing::internal::GetCapturedStderr();
        unsetenv("NEREVAL_SOUNDFONT");
        ASSERT_EQ(started, 1) << Log();
        EXPECT_EQ(g_pMusicManager, nullptr);
        EXPECT_EQ(SynthPerformance::LiveSynthCount(), 0) << "the failed performance is closed down again";
        EXPECT_NE(err.find(*font ? "the soundfont /nonexistent.sf2 cannot be loaded" : "no audio output"),
                  std::string::npos)
            << err;
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
        ReleaseAll();
    }
}

// Hosted savers, one per monitor: while another holds the music, this one
// starts silent; once that one has ended, this one plays.
TEST_F(MusicLifecycle, OneHostedSaverPlaysTheMusic) {
    MusicOn("tune_main.mid", "null");
    g_bHostedWindow = 1;
    const std::string lock = RuntimeDir() + "/NEREVAL_MUSIC.lock";
    const int other = open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(other, 0);
    ASSERT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);
    testing::internal::CaptureStderr();
    const int started = Start();
    const std::string err = testing::internal::GetCapturedStderr();
    ASSERT_EQ(started, 1) << Log();
    EXPECT_EQ(g_pMusicManager, nullptr);
    EXPECT_NE(err.find("another monitor plays it"), std::string::npos) << err;
    ReleaseAll();
    close(other);
    ASSERT_EQ(Start(), 1) << Log();
    EXPECT_NE(g_pMusicManager, nullptr);
    ReleaseAll();
    g_bHostedWindow = 0;
}

TEST_F(MusicLifecycle, MissingUserFilePlaysTheBuiltInTuneAtPlus5dB) {
    MusicOn("/nonexistent/whale-song.mid", "null");
    testing::internal::CaptureStderr();
    ASSERT_EQ(Start(), 1) << Log();
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "nereval: the tune /nonexistent/whale-song.mid cannot be played (the file cannot be opened); "
                   "the built-in tune plays instead\n");
    EXPECT_NE(Log().find("InitiateBGM...\n\tpMusicManager->Initialize...\n\tLoading Midi File...\n"), std::string::npos);
    EXPECT_EQ(Log().find("Failed"), std::string::npos);
    ASSERT_NE(g_pSegment, nullptr);
    EXPECT_DOUBLE_EQ(g_pSegment->GetSegment()->LengthSeconds(), 150.0);
    EXPECT_EQ(g_pSegment->GetSegment()->GetRepeats(), kSegmentRepeatInfinite);
    EXPECT_EQ(g_pSegment->IsPlaying(), 1);
    SynthPerformance* perf = g_pMusicManager->GetPerformance();
    EXPECT_STREQ(perf->DriverName(), "null");
    EXPECT_NEAR(perf->Gain(), kBaseGain * std::pow(10.0, 5.0 / 20.0), 1e-5);
    // The output runs on its own thread, in real time; the tune starts on the
    // next beat (at most half a second away at the performance's first tempo).
    // A loaded machine (or a sanitizer build) may take much longer to get
    // there: wait up to ten seconds.
    for (int i = 0; i < 200 && (perf->ActiveVoiceCount() == 0 || perf->SamplesRendered() <= 2000u); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_GT(perf->SamplesRendered(), 2000u);
    EXPECT_GT(perf->ActiveVoiceCount(), 0);

    ReleaseAll();
    EXPECT_EQ(g_pSegment, nullptr);
    EXPECT_EQ(g_pMusicManager, nullptr);
    EXPECT_EQ(SynthPerformance::LiveSynthCount(), 0);
}

TEST_F(MusicLifecycle, GoodUserFilePlaysInsteadOfTheBuiltInTune) {
    const TempFolder temp;
    const std::string path = temp / "user_tune.mid";
    const miditest::Bytes bytes = miditest::Format1File();
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
    MusicOn(path.c_str(), "null");
    ASSERT_EQ(Start(), 1) << Log();
    ASSERT_NE(g_pSegment, nullptr);
    EXPECT_DOUBLE_EQ(g_pSegment->GetSegment()->LengthSeconds(), 3.5);
    EXPECT_EQ(g_pSegment->IsPlaying(), 1);
}

TEST_F(MusicLifecycle, FramesWithMusicPlayingAllocateNothing) {
    if (!CountedNewCalls || CountedNewCalls() < 0) GTEST_SKIP() << "operator new is not counted in this build";
    MusicOn("tune_main.mid", "null");
    UseManualClock(1'000'000);
    ASSERT_EQ(Start(), 1) << Log();
    FrameTimer(TimerCommand::Start);
    auto frames = [&](int count) {
        for (int n = 0; n < count; ++n) {
            AdvanceClock(16'000);
            Frame(m_hwnd);
        }
    };
    frames(20);
    const std::uint64_t rendered = g_pMusicManager->GetPerformance()->SamplesRendered();
    const long before = CountedNewCalls();
    frames(100);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // the audio thread renders meanwhile
    EXPECT_EQ(CountedNewCalls() - before, 0) << "operator new called during frames or audio blocks";
    EXPECT_GT(g_pMusicManager->GetPerformance()->SamplesRendered(), rendered);
}

}  // namespace
