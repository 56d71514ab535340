// Time zones on GLib's GTimeZone: the identifier is looked up in the system
// database (TZDIR, else /usr/share/zoneinfo) once, when the zone is opened.
#include "platform/os/timezone.h"

#include <glib.h>

#include <utility>

namespace {
GTimeZone* Zone(void* zone) { return static_cast<GTimeZone*>(zone); }
}  // namespace

TimeZone::TimeZone(const char* identifier) {
    // Null for an identifier the database does not have (GLib ≥ 2.68); never
    // the local or UTC stand-in that g_time_zone_new would give instead.
    if (identifier && *identifier) m_zone = g_time_zone_new_identifier(identifier);
}

TimeZone::~TimeZone() {
    if (m_zone) g_time_zone_unref(Zone(m_zone));
}

TimeZone::TimeZone(TimeZone&& other) noexcept : m_zone(std::exchange(other.m_zone, nullptr)) {}

TimeZone& TimeZone::operator=(TimeZone&& other) noexcept {
    TimeZone taken(std::move(other));  // `other` is left not open, as after a move construction
    std::swap(m_zone, taken.m_zone);   // the zone held before is dropped by taken's destructor
    return *this;
}

int TimeZone::OffsetAt(std::int64_t utc, int fallback) const {
    if (!m_zone) return fallback;
    // A universal instant falls in exactly one interval; the search walks the
    // zone's transition table in place.
    const gint interval = g_time_zone_find_interval(Zone(m_zone), G_TIME_TYPE_UNIVERSAL, utc);
    if (interval < 0) return fallback;
    return g_time_zone_get_offset(Zone(m_zone), interval);
}
