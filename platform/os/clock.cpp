// Monotonic clocks and the 15-bit linear congruential generator.
#include "platform/os/clock.h"

#include <time.h>

namespace {

const ClockOverride* g_Override = nullptr;
std::uint32_t g_RandState = 1;

std::int64_t MonotonicNanoseconds() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

}  // namespace

DWORD timeGetTime() {
    if (g_Override && g_Override->milliseconds) return g_Override->milliseconds();
    return static_cast<DWORD>(static_cast<std::uint64_t>(MonotonicNanoseconds() / 1000000));
}

UINT timeBeginPeriod(UINT) { return 0; }
UINT timeEndPeriod(UINT) { return 0; }

BOOL QueryPerformanceFrequency(std::int64_t* frequency) {
    if (!frequency) return FALSE;
    std::int64_t f = g_Override ? g_Override->frequency : 1000000000;
    *frequency = f;
    return f != 0;
}

BOOL QueryPerformanceCounter(std::int64_t* count) {
    if (!count) return FALSE;
    if (g_Override) {
        if (!g_Override->counter || g_Override->frequency == 0) return FALSE;
        *count = g_Override->counter();
        return TRUE;
    }
    *count = MonotonicNanoseconds();
    return TRUE;
}

void SetClockOverride(const ClockOverride* clock) { g_Override = clock; }

int Rand() {
    g_RandState = g_RandState * 214013u + 2531011u;
    return static_cast<int>((g_RandState >> 16) & 0x7FFFu);
}

void SRand(unsigned seed) { g_RandState = seed; }
