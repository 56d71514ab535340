// The stopwatch behind FrameTimer, and the string helpers.
//
// Counter mode keeps raw 64-bit counts and divides by the frequency only when
// a value is returned; fallback mode keeps doubles in seconds from the
// millisecond clock. A stop time of zero means "not stopped".
#include "shell/frametimer.h"

#include <cstdint>
#include <cstring>

#include "platform/clock.h"

namespace {

struct TimerState {
    bool initialised = false;
    bool useCounter = false;
    std::int64_t frequency = 0;
    std::int64_t stopCount = 0, lastCount = 0, baseCount = 0;
    double stopSec = 0.0, lastSec = 0.0, baseSec = 0.0;
    bool stopped = true;
};
TimerState g_Timer;

double NowSeconds() { return timeGetTime() * 0.001; }

double CounterMode(TimerCommand command) {
    TimerState& t = g_Timer;
    std::int64_t now = 0;
    if (t.stopCount != 0 && command != TimerCommand::Start && command != TimerCommand::GetAbsoluteTime) {
        now = t.stopCount;
    } else {
        QueryPerformanceCounter(&now);
    }
    const double f = static_cast<double>(t.frequency);
    switch (command) {
        case TimerCommand::Reset:
            t.baseCount = now;
            t.lastCount = now;
            t.stopCount = 0;
            t.stopped = false;
            return 0.0;
        case TimerCommand::Start:
            if (t.stopped) t.baseCount += now - t.stopCount;
            t.stopCount = 0;
            t.lastCount = now;
            t.stopped = false;
            return 0.0;
        case TimerCommand::Stop:
            t.stopCount = now;
            t.lastCount = now;
            t.stopped = true;
            return 0.0;
        case TimerCommand::Advance:
            t.stopCount += t.frequency / 10;
            return 0.0;
        case TimerCommand::GetAbsoluteTime:
            return static_cast<double>(now) / f;
        case TimerCommand::GetAppTime:
            return static_cast<double>(now - t.baseCount) / f;
        case TimerCommand::GetElapsedTime: {
            double elapsed = static_cast<double>(now - t.lastCount) / f;
            t.lastCount = now;
            return elapsed;
        }
    }
    return -1.0;
}

double FallbackMode(TimerCommand command) {
    TimerState& t = g_Timer;
    double now = (t.stopSec != 0.0 && command != TimerCommand::Start && command != TimerCommand::GetAbsoluteTime)
                     ? t.stopSec
                     : NowSeconds();
    switch (command) {
        case TimerCommand::Reset:
            t.baseSec = now;
            t.lastSec = now;
            t.stopSec = 0.0;
            t.stopped = false;
            return 0.0;
        case TimerCommand::Start:
            if (t.stopped) t.baseSec += now - t.stopSec;
            t.stopSec = 0.0;
            t.lastSec = now;
            t.stopped = false;
            return 0.0;
        case TimerCommand::Stop:
            t.stopSec = now;
            t.lastSec = now;
            t.stopped = true;
            return 0.0;
        case TimerCommand::Advance:
            t.stopSec += 0.1;
            return 0.0;
        case TimerCommand::GetAbsoluteTime:
            return now;
        case TimerCommand::GetAppTime:
            return now - t.baseSec;
        case TimerCommand::GetElapsedTime: {
            double elapsed = now - t.lastSec;
            t.lastSec = now;
            return elapsed;
        }
    }
    return -1.0;
}

}  // namespace

double FrameTimer(TimerCommand command) {
    const int code = static_cast<int>(command);
    if (code < 0 || code > static_cast<int>(TimerCommand::GetElapsedTime)) return -1.0;
    if (!g_Timer.initialised) {
        g_Timer.initialised = true;
        g_Timer.useCounter = QueryPerformanceFrequency(&g_Timer.frequency) && g_Timer.frequency > 0;
    }
    return g_Timer.useCounter ? CounterMode(command) : FallbackMode(command);
}

void FrameTimerForgetState() { g_Timer = TimerState{}; }

namespace {

// Decodes one UTF-8 sequence at s; returns its length (1 for an invalid byte,
// which becomes U+FFFD so a bad name still converts).
int DecodeUtf8(const unsigned char* s, char32_t* out) {
    unsigned c = s[0];
    int len = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
    if (len == 0) {
        *out = 0xFFFD;
        return 1;
    }
    char32_t v = len == 1 ? c : c & (0x7Fu >> len);
    for (int i = 1; i < len; ++i) {
        if ((s[i] & 0xC0) != 0x80) {
            *out = 0xFFFD;
            return 1;
        }
        v = (v << 6) | (s[i] & 0x3F);
    }
    *out = v;
    return len;
}

}  // namespace

void AnsiToWide(wchar_t* wide, const char* ansi, int count) {
    if (!wide || !ansi) return;
    if (count == -1) count = static_cast<int>(std::strlen(ansi)) + 1;
    if (count <= 0) return;
    const auto* s = reinterpret_cast<const unsigned char*>(ansi);
    int n = 0;
    while (*s && n < count - 1) {
        char32_t c;
        s += DecodeUtf8(s, &c);
        wide[n++] = static_cast<wchar_t>(c);
    }
    wide[n] = 0;
    wide[count - 1] = 0;
}

void AnsiToWideGuarded(wchar_t* wide, const char* ansi, int count) {
    if (count == 0) return;
    AnsiToWide(wide, ansi, count);
}

void CopyStringBounded(char* dst, const char* src, int count) {
    if (!dst || !src || count == 0) return;
    if (count == -1) {
        std::strcpy(dst, src);
        return;
    }
    if (count < 0) return;
    std::strncpy(dst, src, static_cast<std::size_t>(count));
    dst[count - 1] = 0;
}
