// Start-up log, frame timer and string helpers.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/os/clock.h"
#include "platform/os/paths.h"
#include "core/errlog.h"
#include "core/strings.h"
#include "shell/command_line.h"
#include "shell/frametimer.h"
#include "shell/lifecycle.h"

TEST(ErrLog, AppendsUntilTheTenThousandByteLimit) {
    auto log = std::make_unique<ErrLog>();
    std::string chunk(1000, 'a');
    for (int i = 0; i < 9; ++i) ASSERT_EQ(log->Append(chunk.c_str()), 0);
    ASSERT_EQ(log->Append(std::string(998, 'b').c_str()), 0);  // 9998 bytes
    EXPECT_EQ(log->Append("xy"), 9998);                        // 9998 + 2 + 1 > 10000: dropped
    EXPECT_EQ(log->Length(), 9998u);
    EXPECT_EQ(log->Append("z"), 0);  // 9998 + 1 + 1 = 10000 fits
    EXPECT_EQ(log->Length(), 9999u);
    EXPECT_EQ(log->Text()[9998], 'z');
    EXPECT_EQ(log->Text()[9999], '\0');
}

TEST(ErrLog, WritesExactlyTheTextAndReplacesAnOlderFile) {
    std::string path = StateHome() + "/" + ErrLogFileName();
    {
        std::ofstream old(path);
        old << "an older, longer log that must disappear entirely\n";
    }
    auto log = std::make_unique<ErrLog>();
    log->Append("InitiateD3D...\n");
    log->Append("\tpMusicManager == NULL");  // lines may end without a newline
    log->Append("Failed\n");
    log->Write();
    std::ifstream in(path, std::ios::binary);
    std::stringstream got;
    got << in.rdbuf();
    EXPECT_EQ(got.str(), "InitiateD3D...\n\tpMusicManager == NULLFailed\n");
}

TEST(ErrLog, WriteIntoAnUnwritablePlaceDoesNothing) {
    const char* saved = std::getenv("XDG_STATE_HOME");
    std::string keep = saved ? saved : "";
    setenv("XDG_STATE_HOME", "/proc/nereval-no-such-dir", 1);
    ErrLog log;
    log.Append("x\n");
    EXPECT_FALSE(log.Write()) << "nothing can be written under /proc";
    setenv("XDG_STATE_HOME", keep.c_str(), 1);
    EXPECT_TRUE(log.Write()) << "the same log writes once the place is writable";
}

// A hand-driven clock: counter in microseconds, milliseconds derived.
namespace {
std::int64_t g_FakeMicros = 0;
std::int64_t FakeCounter() { return g_FakeMicros; }
DWORD FakeMillis() { return static_cast<DWORD>(g_FakeMicros / 1000); }

class FrameTimerTest : public ::testing::TestWithParam<std::int64_t> {
protected:
    void SetUp() override {
        m_clock = ClockOverride{FakeMillis, FakeCounter, GetParam()};
        SetClockOverride(&m_clock);
        FrameTimerForgetState();
        g_FakeMicros = 5'000'000;  // the clock does not start at zero
    }
    void TearDown() override {
        SetClockOverride(nullptr);
        FrameTimerForgetState();
    }
    static void Wait(double seconds) { g_FakeMicros += static_cast<std::int64_t>(seconds * 1e6); }
    ClockOverride m_clock{};
};
}  // namespace

TEST_P(FrameTimerTest, ElapsedTimeMeasuresBetweenCalls) {
    FrameTimer(TimerCommand::Start);
    Wait(0.25);
    EXPECT_NEAR(FrameTimer(TimerCommand::GetElapsedTime), 0.25, 1e-3);
    EXPECT_NEAR(FrameTimer(TimerCommand::GetElapsedTime), 0.0, 1e-3);
    Wait(0.016);
    EXPECT_NEAR(FrameTimer(TimerCommand::GetElapsedTime), 0.016, 1e-3);
    EXPECT_NEAR(FrameTimer(TimerCommand::GetAppTime), 0.266, 1e-3);
}

TEST_P(FrameTimerTest, StoppedTimerFreezesAppAndElapsedButNotAbsoluteTime) {
    FrameTimer(TimerCommand::Start);
    Wait(1.0);
    FrameTimer(TimerCommand::Stop);
    double absBefore = FrameTimer(TimerCommand::GetAbsoluteTime);
    Wait(2.0);
    EXPECT_NEAR(FrameTimer(TimerCommand::GetAppTime), 1.0, 1e-3);
    EXPECT_NEAR(FrameTimer(TimerCommand::GetElapsedTime), 0.0, 1e-3);
    EXPECT_NEAR(FrameTimer(TimerCommand::GetAbsoluteTime) - absBefore, 2.0, 1e-3);

    // Start again: the 2 s spent stopped do not count as application time.
    FrameTimer(TimerCommand::Start);
    Wait(0.5);
    EXPECT_NEAR(FrameTimer(TimerCommand::GetAppTime), 1.5, 1e-3);
}

TEST_P(FrameTimerTest, AdvanceStepsAStoppedTimerByATenth) {
    FrameTimer(TimerCommand::Start);
    Wait(1.0);
    FrameTimer(TimerCommand::Stop);
    FrameTimer(TimerCommand::Advance);
    FrameTimer(TimerCommand::Advance);
    EXPECT_NEAR(FrameTimer(TimerCommand::GetAppTime), 1.2, 1e-3);
}

TEST_P(FrameTimerTest, UnknownCommandReturnsMinusOneAndChangesNothing) {
    FrameTimer(TimerCommand::Start);
    Wait(0.3);
    EXPECT_EQ(FrameTimer(static_cast<TimerCommand>(7)), -1.0);
    EXPECT_NEAR(FrameTimer(TimerCommand::GetElapsedTime), 0.3, 1e-3);
}

TEST_P(FrameTimerTest, FirstStartMakesAppTimeCountFromStart) {
    Wait(10.0);
    FrameTimer(TimerCommand::Start);
    Wait(0.125);
    EXPECT_NEAR(FrameTimer(TimerCommand::GetAppTime), 0.125, 1e-3);
}

// 1 MHz counter, and no counter at all (millisecond fallback).
INSTANTIATE_TEST_SUITE_P(CounterAndFallback, FrameTimerTest, ::testing::Values(1'000'000, 0));

TEST(FrameTimerFallback, HasMillisecondResolution) {
    ClockOverride clock{FakeMillis, FakeCounter, 0};
    SetClockOverride(&clock);
    FrameTimerForgetState();
    g_FakeMicros = 1'000'000;
    FrameTimer(TimerCommand::Start);
    g_FakeMicros += 1700;  // 1.7 ms: the millisecond clock sees 1 ms
    EXPECT_NEAR(FrameTimer(TimerCommand::GetElapsedTime), 0.001, 1e-9);
    SetClockOverride(nullptr);
    FrameTimerForgetState();
}

TEST(StringHelpers, CopyStringBoundedTruncatesAndTerminates) {
    char dst[8];
    std::memset(dst, 'x', sizeof dst);
    CopyStringBounded(dst, "abcdefghijk", 8);
    EXPECT_STREQ(dst, "abcdefg");
    CopyStringBounded(dst, "hi", -1);
    EXPECT_STREQ(dst, "hi");
    CopyStringBounded(dst, "zz", 0);  // count 0: untouched
    EXPECT_STREQ(dst, "hi");
    CopyStringBounded(nullptr, "zz", 4);
    CopyStringBounded(dst, nullptr, 4);
    EXPECT_STREQ(dst, "hi");
}

TEST(StringHelpers, AnsiToWideConvertsUtf8AndAlwaysTerminates) {
    wchar_t w[16];
    AnsiToWide(w, "tune_main.mid", -1);
    EXPECT_EQ(std::wstring(w), L"tune_main.mid");
    AnsiToWide(w, "/home/\xe6\xb5\xb7/a.mid", -1);  // 海 in UTF-8 is one wide character
    EXPECT_EQ(std::wstring(w), L"/home/\x6d77/a.mid");
    AnsiToWide(w, "abcdefgh", 4);
    EXPECT_EQ(std::wstring(w), L"abc");
    w[0] = L'q';
    AnsiToWideGuarded(w, "abc", 0);
    EXPECT_EQ(w[0], L'q');
    AnsiToWide(w, "\xff\xfe", -1);  // invalid bytes become replacement characters
    EXPECT_EQ(std::wstring(w), L"\xfffd\xfffd");
}

// Full screen over several monitors: each monitor's part of the back buffer
// sits where the monitor sits, the largest gets the settings' picture size,
// and each is projected at its own monitor's shape.
TEST(MonitorViews, EachMonitorGetsItsPartAndItsOwnAspect) {
    const RECT pair[2] = {{0, 0, 800, 600}, {800, 0, 1600, 600}};
    PlanMonitorViews(pair, 2, 640, 480);
    ASSERT_EQ(g_nViews, 2);
    EXPECT_EQ(g_nScreenWidth, 1280);
    EXPECT_EQ(g_nScreenHeight, 480);
    EXPECT_EQ(g_Views[1].viewport.X, 640u);
    EXPECT_EQ(g_Views[1].viewport.Width, 640u);
    EXPECT_EQ(g_Views[1].viewport.Height, 480u);
    EXPECT_FLOAT_EQ(g_Views[0].aspect, 4.0f / 3.0f);

    // A wide monitor beside a 5:4 one, the second lower down.
    const RECT mixed[2] = {{0, 0, 1920, 1080}, {1920, 200, 3200, 1224}};
    PlanMonitorViews(mixed, 2, 640, 480);
    ASSERT_EQ(g_nViews, 2);
    EXPECT_EQ(g_Views[0].viewport.Width, 640u);  // 1920 x 1080 at a third
    EXPECT_EQ(g_Views[0].viewport.Height, 360u);
    EXPECT_FLOAT_EQ(g_Views[0].aspect, 16.0f / 9.0f);
    EXPECT_FLOAT_EQ(g_Views[1].aspect, 1.25f);
    EXPECT_EQ(g_Views[1].viewport.X, 640u);
    EXPECT_EQ(g_Views[1].viewport.Y, 67u);
    for (int i = 0; i < g_nViews; ++i) {
        const D3DVIEWPORT8& v = g_Views[i].viewport;
        EXPECT_LE(v.X + v.Width, static_cast<DWORD>(g_nScreenWidth));
        EXPECT_LE(v.Y + v.Height, static_cast<DWORD>(g_nScreenHeight));
    }
    g_nViews = 0;
    g_nScreenWidth = 640;
    g_nScreenHeight = 480;
}

// Mirrored monitors (cloned outputs at one position) show parts of one
// picture: a monitor inside another's rectangle gets no view of its own, and
// of two identical ones only the first draws.
TEST(MonitorViews, AMirrorInsideAnotherMonitorSharesItsView) {
    const RECT laptopAndProjector[2] = {{0, 0, 1024, 768}, {0, 0, 1365, 768}};
    PlanMonitorViews(laptopAndProjector, 2, 640, 480);
    ASSERT_EQ(g_nViews, 1);
    EXPECT_FLOAT_EQ(g_Views[0].aspect, 1365.0f / 768.0f);
    EXPECT_EQ(g_Views[0].viewport.Width, static_cast<DWORD>(g_nScreenWidth));
    EXPECT_EQ(g_Views[0].viewport.Height, static_cast<DWORD>(g_nScreenHeight));

    const RECT twins[3] = {{0, 0, 800, 600}, {0, 0, 800, 600}, {800, 0, 1600, 600}};
    PlanMonitorViews(twins, 3, 640, 480);
    ASSERT_EQ(g_nViews, 2);
    EXPECT_EQ(g_Views[0].viewport.X, 0u);
    EXPECT_EQ(g_Views[1].viewport.X, 640u);
    g_nViews = 0;
    g_nScreenWidth = 640;
    g_nScreenHeight = 480;
}

// The daemons' conventions: in hosted mode the frame-rate text shows only
// when --fps asks for it (s and w keep the settings file's value), and
// --delay, microseconds after each frame, is taken in every mode.
TEST(CommandLine, HostedModeShowsTheFrameRateOnlyWhenAskedAndTakesADelay) {
    auto fps = [](std::initializer_list<const char*> words) {
        std::vector<const char*> argv = {"nereval"};
        argv.insert(argv.end(), words);
        const CommandLine c = ParseCommandLine(static_cast<int>(argv.size()), argv.data(), nullptr);
        Settings s;
        s.intChkFPS = 7;  // as the settings file says
        c.flags.ApplyTo(&s);
        return s.intChkFPS;
    };
    EXPECT_EQ(fps({"--root"}), 0);
    EXPECT_EQ(fps({"--window-id", "0x42"}), 0);
    EXPECT_EQ(fps({"--root", "--fps"}), 1);
    EXPECT_EQ(fps({"s"}), 7);
    EXPECT_EQ(fps({"w", "--no-fps"}), 0);

    const char* delayed[] = {"nereval", "-delay", "33000", "--root"};
    const CommandLine c = ParseCommandLine(4, delayed, nullptr);
    EXPECT_EQ(c.action, CommandLine::Action::Hosted);
    EXPECT_EQ(c.frameDelayMicros, 33000);
    const char* inWindow[] = {"nereval", "w", "--delay=0"};
    EXPECT_EQ(ParseCommandLine(3, inWindow, nullptr).frameDelayMicros, 0);
    for (const char* bad : {"-5", "x", "2000000", ""}) {
        const char* argv[] = {"nereval", "--root", "--delay", bad};
        EXPECT_EQ(ParseCommandLine(4, argv, nullptr).action, CommandLine::Action::Error) << bad;
    }
}

// The frame-rate text keeps its size up to 480 lines and grows with the view beyond.
TEST(FrameRateText, TheFontGrowsWithTheViewBeyondFourHundredEightyLines) {
    EXPECT_EQ(FrameRateText::CellHeightFor(240, 16), 16);
    EXPECT_EQ(FrameRateText::CellHeightFor(480, 16), 16);
    EXPECT_EQ(FrameRateText::CellHeightFor(1080, 16), 36);
    EXPECT_EQ(FrameRateText::CellHeightFor(2160, 16), 72);
}
