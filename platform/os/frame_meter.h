// Frame cost meter for the benchmarks: counts presented frames and, after a
// warm-up, the process CPU time (all threads) and wall time they took.
#pragma once

#include <cstdint>
#include <cstdio>

// Process CPU time of every thread (the kernel's utime + stime of the whole
// process, as /proc/<pid>/stat sums them), in nanoseconds.
std::int64_t ProcessCpuNs();
// CLOCK_MONOTONIC in nanoseconds.
std::int64_t MonotonicNs();

// OnPresent() once per presented frame. Measurement starts at the first
// present at least `warmupNs` after the first one, so start-up work (shader
// variants built in the first frames, caches filling) is not counted.
class FrameMeter {
public:
    explicit FrameMeter(std::int64_t warmupNs = 2'000'000'000) : m_warmupNs(warmupNs) {}
    void OnPresent();
    std::uint64_t Presented() const { return m_presented; }
    // Frames since the warm-up ended (0: not reached); CPU and wall time are
    // taken from the first measured present to the latest one.
    std::uint64_t MeasuredFrames() const { return m_started ? m_presented - m_startFrame : 0; }
    // One line: "<label>: frames F measured M cpu_ms C wall_ms W cpu_per_frame_ms X wall_per_frame_ms Y
    // first_present_unix_us T" (T: the wall-clock time of the first present, so
    // a launcher that noted its own launch time gets the start-up time).
    void Print(std::FILE* out, const char* label) const;

private:
    std::int64_t m_warmupNs;
    std::uint64_t m_presented = 0;
    std::int64_t m_firstNs = 0;
    std::int64_t m_firstUnixUs = 0;
    bool m_started = false;
    std::uint64_t m_startFrame = 0;
    std::int64_t m_startWallNs = 0;
    std::int64_t m_startCpuNs = 0;
    std::int64_t m_lastWallNs = 0;  // at the latest present
    std::int64_t m_lastCpuNs = 0;
};
