#include "kestrand/reports/text.h"

#include <array>
#include <cstdio>

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

bool validDate(const Date& d) {
    static constexpr std::array<int, 12> kDays{31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (d.year < 1900 || d.year > 9999 || d.month < 1 || d.month > 12 || d.day < 1) {
        return false;
    }
    if (d.month == 2 && !leapYear(d.year)) {
        return d.day <= 28;
    }
    return d.day <= kDays[static_cast<std::size_t>(d.month - 1)];
}

constexpr std::array<char16_t, 128> kWindows1256{
    0x20AC, 0x067E, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0679, 0x2039,
    0x0152, 0x0686, 0x0698, 0x0688, 0x06AF, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x06A9, 0x2122, 0x0691, 0x203A, 0x0153, 0x200C, 0x200D, 0x06BA, 0x00A0, 0x060C, 0x00A2, 0x00A3,
    0x00A4, 0x00A5, 0x00A6, 0x00A7, 0x00A8, 0x00A9, 0x06BE, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x00AF,
    0x00B0, 0x00B1, 0x00B2, 0x00B3, 0x00B4, 0x00B5, 0x00B6, 0x00B7, 0x00B8, 0x00B9, 0x061B, 0x00BB,
    0x00BC, 0x00BD, 0x00BE, 0x061F, 0x06C1, 0x0621, 0x0622, 0x0623, 0x0624, 0x0625, 0x0626, 0x0627,
    0x0628, 0x0629, 0x062A, 0x062B, 0x062C, 0x062D, 0x062E, 0x062F, 0x0630, 0x0631, 0x0632, 0x0633,
    0x0634, 0x0635, 0x0636, 0x00D7, 0x0637, 0x0638, 0x0639, 0x063A, 0x0640, 0x0641, 0x0642, 0x0643,
    0x00E0, 0x0644, 0x00E2, 0x0645, 0x0646, 0x0647, 0x0648, 0x00E7, 0x00E8, 0x00E9, 0x00EA, 0x00EB,
    0x0649, 0x064A, 0x00EE, 0x00EF, 0x064B, 0x064C, 0x064D, 0x064E, 0x00F4, 0x064F, 0x0650, 0x00F7,
    0x0651, 0x00F9, 0x0652, 0x00FB, 0x00FC, 0x200E, 0x200F, 0x06D2,
};
constexpr std::array<char16_t, 128> kWindows1252{
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039,
    0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178, 0x00A0, 0x00A1, 0x00A2, 0x00A3,
    0x00A4, 0x00A5, 0x00A6, 0x00A7, 0x00A8, 0x00A9, 0x00AA, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x00AF,
    0x00B0, 0x00B1, 0x00B2, 0x00B3, 0x00B4, 0x00B5, 0x00B6, 0x00B7, 0x00B8, 0x00B9, 0x00BA, 0x00BB,
    0x00BC, 0x00BD, 0x00BE, 0x00BF, 0x00C0, 0x00C1, 0x00C2, 0x00C3, 0x00C4, 0x00C5, 0x00C6, 0x00C7,
    0x00C8, 0x00C9, 0x00CA, 0x00CB, 0x00CC, 0x00CD, 0x00CE, 0x00CF, 0x00D0, 0x00D1, 0x00D2, 0x00D3,
    0x00D4, 0x00D5, 0x00D6, 0x00D7, 0x00D8, 0x00D9, 0x00DA, 0x00DB, 0x00DC, 0x00DD, 0x00DE, 0x00DF,
    0x00E0, 0x00E1, 0x00E2, 0x00E3, 0x00E4, 0x00E5, 0x00E6, 0x00E7, 0x00E8, 0x00E9, 0x00EA, 0x00EB,
    0x00EC, 0x00ED, 0x00EE, 0x00EF, 0x00F0, 0x00F1, 0x00F2, 0x00F3, 0x00F4, 0x00F5, 0x00F6, 0x00F7,
    0x00F8, 0x00F9, 0x00FA, 0x00FB, 0x00FC, 0x00FD, 0x00FE, 0x00FF,
};

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::string fromCodePage(std::string_view text, const std::array<char16_t, 128>& high) {
    std::string out;
    out.reserve(text.size() + text.size() / 2);
    for (const char ch : text) {
        const auto byte = static_cast<unsigned char>(ch);
        appendUtf8(out, byte < 0x80 ? char32_t{byte} : char32_t{high[byte - 0x80]});
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
    if (pos != text.size() || !validDate(d)) {
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

int weekday(const Date& d) {
    // Days since 1970-01-01 (a Thursday), after the civil-from-days algorithm.
    const int y = d.month <= 2 ? d.year - 1 : d.year;
    const int era = y / 400;
    const int yoe = y - era * 400;
    const int mp = (d.month + 9) % 12;
    const int doy = (153 * mp + 2) / 5 + d.day - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const long days = static_cast<long>(era) * 146097 + doe - 719468;
    return static_cast<int>(((days % 7) + 7 + 3) % 7);
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

std::string fromWindows1256(std::string_view text) { return fromCodePage(text, kWindows1256); }
std::string fromWindows1252(std::string_view text) { return fromCodePage(text, kWindows1252); }

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
