// Time and random numbers as the saver's code expects them: a millisecond
// clock, a high-resolution counter, and the 15-bit rand()/srand() pair.
// Tests may replace the clocks and seed the generator.
#pragma once

#include <cstdint>

#include "platform/base/wintypes.h"

// Milliseconds from a monotonic clock; wraps like a 32-bit counter.
DWORD timeGetTime();
// Asks for 1 ms timer resolution; a monotonic clock already has it.
UINT timeBeginPeriod(UINT periodMs);
UINT timeEndPeriod(UINT periodMs);

// Counts per second of the performance counter; FALSE when there is none
// (never on Linux unless a test says so).
BOOL QueryPerformanceFrequency(std::int64_t* frequency);
BOOL QueryPerformanceCounter(std::int64_t* count);

// Test hooks: replace the clocks (null restores the real ones). A counter
// frequency of 0 makes QueryPerformanceFrequency report "no counter".
struct ClockOverride {
    DWORD (*milliseconds)();
    std::int64_t (*counter)();
    std::int64_t frequency;
};
void SetClockOverride(const ClockOverride* clock);

// Pseudo-random numbers in 0..32767 (RAND_MAX of the original platform), so
// rand() / 32767.0 spans [0, 1] and rand() % 2 picks a side.
constexpr int kRandMax = 32767;
int Rand();
void SRand(unsigned seed);
// Rand() / 32767: a random value in [0, 1].
inline float RandUnit() { return static_cast<float>(Rand() / 32767.0); }
