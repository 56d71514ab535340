// The stopwatch behind FrameTimer.
//
// Counter mode keeps raw 64-bit counts and divides by the frequency only when
// a value is returned; fallback mode keeps doubles in seconds from the
// millisecond clock. A stop time of zero means "not stopped".
#include "shell/frametimer.h"

#include <cstdint>

#include "platform/os/clock.h"

namespace {

// One stopwatch over a time type: raw counts (int64) or seconds (double).
// A stop time of zero means "not stopped".
template <typename T>
struct Watch {
    T stop{}, last{}, base{};
};

struct TimerState {
    bool initialised = false;
    bool useCounter = false;
    std::int64_t frequency = 0;
    Watch<std::int64_t> counter;
    Watch<double> fallback;
    bool stopped = true;  // shared by both modes
};
TimerState g_Timer;

// `clock` is the current time in T; `tenth` is 0.1 s in T; `perSecond`
// turns T into seconds by division.
template <typename T>
double Run(Watch<T>& w, TimerCommand command, T clock, T tenth, double perSecond) {
    bool& stopped = g_Timer.stopped;
    const T now = (w.stop != T{} && command != TimerCommand::Start && command != TimerCommand::GetAbsoluteTime)
                      ? w.stop
                      : clock;
    switch (command) {
        case TimerCommand::Reset:
            w.base = now;
            w.last = now;
            w.stop = T{};
            stopped = false;
            return 0.0;
        case TimerCommand::Start:
            if (stopped) w.base += now - w.stop;  // time spent stopped is not application time
            w.stop = T{};
            w.last = now;
            stopped = false;
            return 0.0;
        case TimerCommand::Stop:
            w.stop = now;
            w.last = now;
            stopped = true;
            return 0.0;
        case TimerCommand::Advance:
            w.stop += tenth;
            return 0.0;
        case TimerCommand::GetAbsoluteTime:
            return static_cast<double>(now) / perSecond;
        case TimerCommand::GetAppTime:
            return static_cast<double>(now - w.base) / perSecond;
        case TimerCommand::GetElapsedTime: {
            double elapsed = static_cast<double>(now - w.last) / perSecond;
            w.last = now;
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
    if (g_Timer.useCounter) {
        std::int64_t now = 0;
        QueryPerformanceCounter(&now);
        return Run(g_Timer.counter, command, now, g_Timer.frequency / 10, static_cast<double>(g_Timer.frequency));
    }
    return Run(g_Timer.fallback, command, timeGetTime() * 0.001, 0.1, 1.0);
}

void FrameTimerForgetState() { g_Timer = TimerState{}; }
