#pragma once

// The time zone of a report, from the system's tz database, and a per-reader clock that turns
// UTC seconds into the zone's local seconds.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace date {
class time_zone;
}

namespace kestrand::reports {

// The zone's offset from UTC over a span of UTC seconds [begin, end).
struct OffsetSpan {
    std::int64_t begin = 0;
    std::int64_t end = 0;
    std::int64_t offset = 0;
};

class TimeZone {
  public:
    // A zone of the tz database by its name ("Asia/Tehran", "UTC"); nothing, and why, when
    // the database has no such zone or cannot be read.
    static std::optional<TimeZone> named(std::string_view name, std::string& error);
    // The machine's zone: the one TZ names where it names one, else the system's, else UTC.
    static TimeZone machine();
    // UTC itself, which needs no database.
    static TimeZone utc();

    const std::string& name() const { return name_; }
    // The offset in force at `utc` and the span it holds over. Thread-safe.
    OffsetSpan spanAt(std::int64_t utc) const;

  private:
    TimeZone(const date::time_zone* zone, std::string name) : zone_(zone), name_(std::move(name)) {}
    const date::time_zone* zone_;  // nullptr for UTC without the database
    std::string name_;
};

// UTC seconds to local seconds of one zone. The last two spans are kept, so a log in order
// asks the database once a span, and one whose times step back over a change twice.
class LocalClock {
  public:
    explicit LocalClock(const TimeZone& zone) : zone_(&zone) {}
    std::int64_t local(std::int64_t utc) {
        if (utc >= spans_[0].begin && utc < spans_[0].end) {
            return utc + spans_[0].offset;
        }
        return localSlow(utc);
    }

  private:
    std::int64_t localSlow(std::int64_t utc);
    const TimeZone* zone_;
    OffsetSpan spans_[2];
};

// Seconds since the epoch split into a day and the seconds into it.
inline std::int64_t floorDays(std::int64_t seconds) {
    return seconds >= 0 ? seconds / 86400 : -((-seconds + 86399) / 86400);
}

}  // namespace kestrand::reports
