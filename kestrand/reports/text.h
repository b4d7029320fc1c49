#pragma once

// Small text helpers of the engine: dates and times as logged, character sets, URL decoding.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kestrand::reports {

struct Date {
    int year = 0;
    int month = 0;
    int day = 0;
};

// "m/d/yy", "m/d/yyyy" (the comma layouts) or "yyyy-mm-dd" (W3C). A two-digit year yy is
// 20yy below 70 and 19yy otherwise.
std::optional<Date> parseLoggedDate(std::string_view text);
// "h:mm:ss" or "hh:mm:ss", an optional fraction after the seconds; seconds in 0..59 (60 for a
// leap second).
std::optional<int> parseLoggedTime(std::string_view text);  // seconds since midnight

// A real day of the years 1900 to 9999.
bool isRealDate(const Date& d);
inline int dayNumber(const Date& d) { return d.year * 10000 + d.month * 100 + d.day; }
// 0 = Monday.
int weekday(const Date& d);
// Days since 1970-01-01 and back (the proleptic Gregorian calendar).
std::int64_t daysFromCivil(const Date& d);
Date civilFromDays(std::int64_t days);
// "Jan" .. "Dec" (any case) as 1 .. 12; 0 for anything else.
int monthOfName(std::string_view name);
// A moment as one comparable number, YYYYMMDDhhmmss.
inline std::int64_t momentOf(const Date& d, int seconds) {
    return static_cast<std::int64_t>(dayNumber(d)) * 1000000 + (seconds / 3600) * 10000 +
           (seconds / 60 % 60) * 100 + seconds % 60;
}
// "YYYY-MM-DD HH:MM:SS".
std::string formatMoment(std::int64_t moment);

bool isValidUtf8(std::string_view text);
// Single-byte code pages to UTF-8.
std::string fromWindows1256(std::string_view text);
std::string fromWindows1252(std::string_view text);
// UTF-8 as it is, else read as Windows-1252 (the logs' code page).
std::string displayText(std::string_view text);

// %XX decoded, '+' as a blank.
std::string percentDecode(std::string_view text);
// Runs of blanks (space, tab, CR, LF, form feed, vertical tab; U+00A0 is left alone) to one
// space, none at either end.
std::string foldBlanks(std::string_view text);

inline char asciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }
std::string lowerAscii(std::string_view text);
bool startsWithNoCase(std::string_view text, std::string_view head);
bool endsWithNoCase(std::string_view text, std::string_view tail);
bool containsNoCase(std::string_view text, std::string_view part);

}  // namespace kestrand::reports
