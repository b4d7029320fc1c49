#include "kestrand/reports/text.h"

#include <date/date.h>

#include <algorithm>
#include <array>
#include <cstdio>

#include "common/code_pages.h"

namespace kestrand::reports {

namespace {

bool readNumber(std::string_view text, std::size_t& pos, std::size_t minDigits,
                std::size_t maxDigits, int& value) {
    const std::size_t start = pos;
    value = 0;
    while (pos < text.size() && pos - start < maxDigits && text[pos] >= '0' && text[pos] <= '9') {
        value = value * 10 + (text[pos] - '0');
        ++pos;
    }
    return pos - start >= minDigits;
}

bool leapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

// A single-byte code page to UTF-8, by the character of each byte.
std::string fromCodePage(std::string_view text, char16_t (*characterOf)(unsigned char)) {
    std::string out;
    out.reserve(text.size() + text.size() / 2);
    for (const char ch : text) {
        common::appendUtf8(out, characterOf(static_cast<unsigned char>(ch)));
    }
    return out;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    c = asciiLower(c);
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

}  // namespace

std::optional<Date> parseLoggedDate(std::string_view text) {
    Date d;
    std::size_t pos = 0;
    int first = 0;
    if (!readNumber(text, pos, 1, 4, first) || pos >= text.size()) {
        return std::nullopt;
    }
    if (text[pos] == '-' && pos == 4) {
        d.year = first;
        ++pos;
        if (!readNumber(text, pos, 1, 2, d.month) || pos >= text.size() || text[pos] != '-') {
            return std::nullopt;
        }
        ++pos;
        if (!readNumber(text, pos, 1, 2, d.day)) {
            return std::nullopt;
        }
    } else if (text[pos] == '/' && pos <= 2) {
        d.month = first;
        ++pos;
        if (!readNumber(text, pos, 1, 2, d.day) || pos >= text.size() || text[pos] != '/') {
            return std::nullopt;
        }
        ++pos;
        const std::size_t yearStart = pos;
        if (!readNumber(text, pos, 2, 4, d.year) || pos - yearStart == 3) {
            return std::nullopt;
        }
        if (pos - yearStart == 2) {
            d.year += d.year < 70 ? 2000 : 1900;
        }
    } else {
        return std::nullopt;
    }
    if (pos != text.size() || !isRealDate(d)) {
        return std::nullopt;
    }
    return d;
}

std::optional<int> parseLoggedTime(std::string_view text) {
    std::size_t pos = 0;
    int h = 0;
    int m = 0;
    int s = 0;
    if (!readNumber(text, pos, 1, 2, h) || pos >= text.size() || text[pos++] != ':' ||
        !readNumber(text, pos, 2, 2, m) || pos >= text.size() || text[pos++] != ':' ||
        !readNumber(text, pos, 2, 2, s)) {
        return std::nullopt;
    }
    if (pos < text.size()) {
        if (text[pos] != '.') {
            return std::nullopt;
        }
        for (++pos; pos < text.size(); ++pos) {
            if (text[pos] < '0' || text[pos] > '9') {
                return std::nullopt;
            }
        }
    }
    if (h > 23 || m > 59 || s > 60) {
        return std::nullopt;
    }
    return h * 3600 + m * 60 + (s == 60 ? 59 : s);
}

bool isRealDate(const Date& d) {
    static constexpr std::array<int, 12> kDays{31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (d.year < 1900 || d.year > 9999 || d.month < 1 || d.month > 12 || d.day < 1) {
        return false;
    }
    if (d.month == 2 && !leapYear(d.year)) {
        return d.day <= 28;
    }
    return d.day <= kDays[static_cast<std::size_t>(d.month - 1)];
}

std::int64_t daysFromCivil(const Date& d) {
    const date::year_month_day day{date::year{d.year}, date::month{static_cast<unsigned>(d.month)},
                                   date::day{static_cast<unsigned>(d.day)}};
    return date::sys_days{day}.time_since_epoch().count();
}

Date civilFromDays(std::int64_t days) {
    // Days far outside any log are clamped (to about 5800 years either way), which
    // isRealDate refuses.
    constexpr std::int64_t kFar = 2'000'000;
    const date::year_month_day day{
        date::sys_days{date::days{std::clamp<std::int64_t>(days, -kFar, kFar)}}};
    return Date{static_cast<int>(day.year()), static_cast<int>(static_cast<unsigned>(day.month())),
                static_cast<int>(static_cast<unsigned>(day.day()))};
}

int weekday(const Date& d) {
    // 1970-01-01 was a Thursday.
    const std::int64_t days = daysFromCivil(d);
    return static_cast<int>(((days % 7) + 7 + 3) % 7);
}

int monthOfName(std::string_view name) {
    static constexpr std::array<std::string_view, 12> kMonths{
        "jan", "feb", "mar", "apr", "may", "jun", "jul", "aug", "sep", "oct", "nov", "dec"};
    if (name.size() != 3) {
        return 0;
    }
    const char lower[3] = {asciiLower(name[0]), asciiLower(name[1]), asciiLower(name[2])};
    for (std::size_t m = 0; m < kMonths.size(); ++m) {
        if (std::string_view(lower, 3) == kMonths[m]) {
            return static_cast<int>(m) + 1;
        }
    }
    return 0;
}

std::string formatMoment(std::int64_t moment) {
    const auto day = static_cast<int>(moment / 1000000);
    const auto time = static_cast<int>(moment % 1000000);
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", day / 10000,
                  day / 100 % 100, day % 100, time / 10000, time / 100 % 100, time % 100);
    return buffer;
}

bool isValidUtf8(std::string_view text) {
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        std::size_t extra = 0;
        char32_t value = 0;
        if (c >= 0xC2 && c <= 0xDF) {
            extra = 1;
            value = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            extra = 2;
            value = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            extra = 3;
            value = c & 0x07;
        } else {
            return false;
        }
        if (i + extra >= n) {
            return false;
        }
        for (std::size_t k = 1; k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            value = (value << 6) | (next & 0x3F);
        }
        if ((extra == 2 && (value < 0x800 || (value >= 0xD800 && value <= 0xDFFF))) ||
            (extra == 3 && (value < 0x10000 || value > 0x10FFFF))) {
            return false;
        }
        i += extra + 1;
    }
    return true;
}

std::string fromWindows1256(std::string_view text) {
    return fromCodePage(text, common::windows1256Char);
}
std::string fromWindows1252(std::string_view text) {
    return fromCodePage(text, common::windows1252Char);
}

std::string displayText(std::string_view text) {
    if (isValidUtf8(text)) {
        return std::string(text);
    }
    return fromWindows1252(text);
}

std::string percentDecode(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '+') {
            out += ' ';
        } else if (c == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 &&
                   hexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
            i += 2;
        } else {
            out += c;
        }
    }
    return out;
}

std::string foldBlanks(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    bool pending = false;
    for (const char c : text) {
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v') {
            pending = !out.empty();
            continue;
        }
        if (pending) {
            out += ' ';
            pending = false;
        }
        out += c;
    }
    return out;
}

std::string lowerAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        c = asciiLower(c);
    }
    return out;
}

bool startsWithNoCase(std::string_view text, std::string_view head) {
    return head.size() <= text.size() && endsWithNoCase(text.substr(0, head.size()), head);
}

bool endsWithNoCase(std::string_view text, std::string_view tail) {
    if (tail.size() > text.size()) {
        return false;
    }
    const std::size_t offset = text.size() - tail.size();
    for (std::size_t i = 0; i < tail.size(); ++i) {
        if (asciiLower(text[offset + i]) != asciiLower(tail[i])) {
            return false;
        }
    }
    return true;
}

bool containsNoCase(std::string_view text, std::string_view part) {
    if (part.empty()) {
        return true;
    }
    for (std::size_t start = 0; start + part.size() <= text.size(); ++start) {
        std::size_t i = 0;
        while (i < part.size() && asciiLower(text[start + i]) == asciiLower(part[i])) {
            ++i;
        }
        if (i == part.size()) {
            return true;
        }
    }
    return false;
}

}  // namespace kestrand::reports
