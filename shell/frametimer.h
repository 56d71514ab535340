// The saver's single time source: a process-wide stopwatch driven by command
// codes, on the high-resolution counter (fallback: the millisecond clock).
#pragma once

enum class TimerCommand : int {
    Reset = 0,
    Start = 1,
    Stop = 2,
    Advance = 3,          // moves a stopped timer on by 0.1 s
    GetAbsoluteTime = 4,  // seconds, never frozen
    GetAppTime = 5,       // seconds since Start/Reset, minus time spent stopped
    GetElapsedTime = 6,   // seconds since the previous GetElapsedTime
};

// Returns seconds for the Get commands, 0.0 for the others, -1.0 for an
// unknown command. The timer starts stopped.
double FrameTimer(TimerCommand command);

// Tests only: forget all timer state, as at process start.
void FrameTimerForgetState();
