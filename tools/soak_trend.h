// The soak's memory check: the trend of the resident-memory readings (their
// least-squares slope, MiB per simulated hour) and the bound it must stay
// under. Header-only, so the check's own test can feed it readings.
#pragma once

#include <algorithm>
#include <cmath>
#include <vector>

namespace soak {

struct Reading {
    double t;    // simulated seconds
    double mib;  // resident size
};

// The driver's working set follows the picture: sound runs of the heaviest
// scene swing by up to 7.5 MiB peak to peak, often in steps of about 3.4 MiB
// that come and go over minutes, with no trend over hours. A step of height S
// at the middle of a run of T hours tilts its least-squares slope by
// 1.5 S / T, the most any swing of that height can.
constexpr double kSwingMiB = 7.5;
// The bound on the slope, MiB per simulated hour: half of what a leak of
// 1 KiB a frame gives at 0.05 s a frame (70.3 MiB/h; more at shorter steps).
// Runs shorter than 1.5 kSwingMiB / kMaxSlopeMiBPerHour hours (19 minutes)
// are bound by the swing's largest tilt instead, and judge only larger leaks.
constexpr double kMaxSlopeMiBPerHour = 35.0;

// The least-squares slope of the readings, MiB per simulated hour; 0 with
// fewer than two readings or all at one instant.
inline double SlopePerHour(const std::vector<Reading>& readings) {
    if (readings.size() < 2) return 0.0;
    const double n = static_cast<double>(readings.size());
    double meanHours = 0.0, meanMiB = 0.0;
    for (const Reading& r : readings) {
        meanHours += r.t / 3600.0;
        meanMiB += r.mib;
    }
    meanHours /= n;
    meanMiB /= n;
    double stt = 0.0, stm = 0.0;
    for (const Reading& r : readings) {
        const double h = r.t / 3600.0 - meanHours;
        stt += h * h;
        stm += h * (r.mib - meanMiB);
    }
    return stt > 0.0 ? stm / stt : 0.0;
}

// The bound for readings spanning `spanHours` of simulated time; infinite
// (nothing to judge) when they span none.
inline double SlopeBound(double spanHours) {
    if (!(spanHours > 0.0)) return HUGE_VAL;
    return std::max(kMaxSlopeMiBPerHour, 1.5 * kSwingMiB / spanHours);
}

// The simulated hours the readings span.
inline double SpanHours(const std::vector<Reading>& readings) {
    return readings.empty() ? 0.0 : (readings.back().t - readings.front().t) / 3600.0;
}

// The soak's judgement: the memory's slope stays within the bound for the span.
inline bool WithinBound(const std::vector<Reading>& readings) {
    return SlopePerHour(readings) <= SlopeBound(SpanHours(readings));
}

}  // namespace soak
