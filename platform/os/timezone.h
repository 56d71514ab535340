// Time zones from the system's time-zone database (the tz files that tzdata
// installs, read through GLib): a zone is opened once by its identifier, and
// its offset from UTC at any instant, summer time included, is then read
// without touching the disk or allocating.
#pragma once

#include <cstdint>

class TimeZone {
public:
    TimeZone() = default;  // not open
    // Opens `identifier` ("Europe/London"); not open when the database lacks it.
    explicit TimeZone(const char* identifier);
    ~TimeZone();
    TimeZone(TimeZone&& other) noexcept;
    TimeZone& operator=(TimeZone&& other) noexcept;
    TimeZone(const TimeZone&) = delete;
    TimeZone& operator=(const TimeZone&) = delete;

    bool IsOpen() const { return m_zone != nullptr; }
    // Seconds to add to `utc` (seconds since 1970) for the zone's civil time
    // at that instant; `fallback` when the zone is not open.
    int OffsetAt(std::int64_t utc, int fallback) const;

private:
    void* m_zone = nullptr;  // a GTimeZone reference, ours to drop
};
