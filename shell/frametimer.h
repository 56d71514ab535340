// The saver's single time source: a process-wide stopwatch driven by command
// codes, on the high-resolution counter (fallback: the millisecond clock).
// Also two small string helpers (bounded copy, text conversion); nothing in
// the saver calls them yet, and the tests pin their rules.
#pragma once

#include <cstddef>

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

// Converts the NUL-terminated text (UTF-8, this platform's ANSI code page)
// into count wide characters, always terminating; count -1 means the text's
// length plus one. Does nothing when a pointer is null.
void AnsiToWide(wchar_t* wide, const char* ansi, int count);
// As above, and does nothing when count is 0.
void AnsiToWideGuarded(wchar_t* wide, const char* ansi, int count);

// Copies at most count characters and forces dst[count - 1] to NUL; count -1
// copies the whole string. Does nothing when a pointer is null or count is 0.
void CopyStringBounded(char* dst, const char* src, int count);
