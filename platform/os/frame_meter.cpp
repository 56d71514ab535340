// Frame cost meter: presented frames, process CPU and wall time after a warm-up.
#include "platform/os/frame_meter.h"

#include <time.h>

namespace {
std::int64_t ClockNs(clockid_t id) {
    timespec ts{};
    clock_gettime(id, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}
}  // namespace

std::int64_t ProcessCpuNs() { return ClockNs(CLOCK_PROCESS_CPUTIME_ID); }
std::int64_t MonotonicNs() { return ClockNs(CLOCK_MONOTONIC); }

void FrameMeter::OnPresent() {
    ++m_presented;
    const std::int64_t now = MonotonicNs();
    if (m_started) {  // the measurement ends at the last present, not at teardown
        m_lastWallNs = now;
        m_lastCpuNs = ProcessCpuNs();
        return;
    }
    if (m_presented == 1) {
        m_firstNs = now;
        m_firstUnixUs = ClockNs(CLOCK_REALTIME) / 1000;
        return;
    }
    if (now - m_firstNs >= m_warmupNs) {
        m_started = true;
        m_startFrame = m_presented;
        m_startWallNs = m_lastWallNs = now;
        m_startCpuNs = m_lastCpuNs = ProcessCpuNs();
    }
}

void FrameMeter::Print(std::FILE* out, const char* label) const {
    const std::uint64_t frames = MeasuredFrames();
    const double cpuMs = static_cast<double>(m_lastCpuNs - m_startCpuNs) / 1e6;
    const double wallMs = static_cast<double>(m_lastWallNs - m_startWallNs) / 1e6;
    const double n = frames > 0 ? static_cast<double>(frames) : 1.0;
    std::fprintf(out,
                 "%s: frames %llu measured %llu cpu_ms %.1f wall_ms %.1f cpu_per_frame_ms %.3f "
                 "wall_per_frame_ms %.3f first_present_unix_us %lld\n",
                 label, static_cast<unsigned long long>(m_presented), static_cast<unsigned long long>(frames), cpuMs,
                 wallMs, cpuMs / n, wallMs / n, static_cast<long long>(m_firstUnixUs));
}
