#include "kestrand/reports/time_zone.h"

#include <date/tz.h>

#include <cstdlib>
#include <exception>
#include <limits>

namespace kestrand::reports {

namespace {

constexpr std::string_view kUtc = "UTC";
constexpr std::int64_t kFirst = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t kLast = std::numeric_limits<std::int64_t>::max();

// The zone TZ names: ":Asia/Tehran", "Asia/Tehran" or a path into the zone files.
std::string_view zoneOfTz(std::string_view tz) {
    if (!tz.empty() && tz[0] == ':') {
        tz.remove_prefix(1);
    }
    constexpr std::string_view kFolder = "zoneinfo/";
    if (const std::size_t at = tz.rfind(kFolder);
        !tz.empty() && tz[0] == '/' && at != std::string_view::npos) {
        tz.remove_prefix(at + kFolder.size());
    }
    return tz;
}

}  // namespace

std::optional<TimeZone> TimeZone::named(std::string_view name, std::string& error) {
    try {
        const date::time_zone* zone = date::locate_zone(name);
        return TimeZone(zone, std::string(zone->name()));
    } catch (const std::exception& e) {
        if (name == kUtc) {
            return utc();
        }
        error =
            "no time zone is named " + std::string(name) + " in the tz database (" + e.what() + ")";
    }
    return std::nullopt;
}

TimeZone TimeZone::machine() {
    std::string error;
    if (const char* tz = std::getenv("TZ"); tz != nullptr && *tz != '\0') {
        if (std::optional<TimeZone> zone = named(zoneOfTz(tz), error)) {
            return *zone;
        }
    }
    try {
        const date::time_zone* zone = date::current_zone();
        return TimeZone(zone, std::string(zone->name()));
    } catch (const std::exception&) {
        return utc();
    }
}

TimeZone TimeZone::utc() { return TimeZone(nullptr, std::string(kUtc)); }

OffsetSpan TimeZone::spanAt(std::int64_t utc) const {
    if (zone_ == nullptr) {
        return OffsetSpan{kFirst, kLast, 0};
    }
    try {
        const date::sys_info info = zone_->get_info(date::sys_seconds{std::chrono::seconds{utc}});
        return OffsetSpan{info.begin.time_since_epoch().count(),
                          info.end.time_since_epoch().count(), info.offset.count()};
    } catch (const std::exception&) {
        // A moment the database cannot place: taken as UTC, for that second only.
        return OffsetSpan{utc, utc == kLast ? kLast : utc + 1, 0};
    }
}

std::int64_t LocalClock::localSlow(std::int64_t utc) {
    if (utc >= spans_[1].begin && utc < spans_[1].end) {
        std::swap(spans_[0], spans_[1]);
    } else {
        spans_[1] = spans_[0];
        spans_[0] = zone_->spanAt(utc);
    }
    return utc + spans_[0].offset;
}

}  // namespace kestrand::reports
