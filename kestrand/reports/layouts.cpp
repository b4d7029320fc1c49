#include "kestrand/reports/layouts.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>

#include "kestrand/reports/squid.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kestrand::reports {

namespace {

constexpr std::size_t kMaxFields = 128;

// Field positions of the two comma layouts, counted as if the agent were one field.
struct CommaColumns {
    int date, time, host, destination, bytes, uri, mime, source, status;
};
constexpr CommaColumns kDocumented{4, 5, 9, 10, 14, 18, 19, 20, 21};
constexpr CommaColumns kSamples{5, 6, 7, 11, 15, 19, 20, 21, 22};

const TimeZone& utcZone() {
    static const TimeZone zone = TimeZone::utc();
    return zone;
}

// The old proxy's object source and W3C's s-object-source: "Cache", "Fresh Cache", "VCache".
bool isCacheSource(std::string_view source) { return containsNoCase(source, "cache"); }

// W3C's action of a refused request: "Denied", "Failed".
bool isRefusedAction(std::string_view action) {
    return (action.size() >= 6 &&
            (startsWithNoCase(action, "denied") || startsWithNoCase(action, "failed")));
}

// A field of a blank-separated W3C line, which writes '+' for a blank inside it.
std::string_view withBlanks(std::string_view field, std::string& scratch) {
    if (field.find('+') == std::string_view::npos) {
        return field;
    }
    scratch.assign(field);
    std::replace(scratch.begin(), scratch.end(), '+', ' ');
    return scratch;
}

bool sameNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && startsWithNoCase(a, b);
}

std::string_view trimCr(std::string_view line) {
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    return line;
}

// The fields of a comma line as the positions of their separators; nothing is initialised
// beyond the fields found.
struct CommaFields {
    const char* base = nullptr;
    std::size_t size = 0;
    std::size_t count = 0;
    std::uint32_t separators[kMaxFields];  // separators[i] ends field i

    std::string_view raw(std::size_t i) const {
        const std::size_t begin = i == 0 ? 0 : separators[i - 1] + 2;
        const std::size_t end = i + 1 < count ? separators[i] : size;
        return std::string_view(base + begin, end - begin);
    }
    // Field i with the agent (2) joined back from its extra parts.
    std::string_view field(int i) const {
        const std::size_t extra = count - kCommaFieldCount;
        if (i < 2) {
            return raw(static_cast<std::size_t>(i));
        }
        if (i == 2) {
            const std::size_t begin = separators[1] + 2;
            const std::size_t end = separators[2 + extra];
            return std::string_view(base + begin, end - begin);
        }
        return raw(static_cast<std::size_t>(i) + extra);
    }
};

// Splits at ", "; false when the line has more than kMaxFields fields or is too long to index.
bool splitComma(std::string_view line, CommaFields& fields) {
    const char* base = line.data();
    const std::size_t size = line.size();
    fields.base = base;
    fields.size = size;
    fields.count = 0;
    if (size > 0xFFFFFFF0u) {
        return false;
    }
    std::size_t count = 0;
    std::size_t i = 0;
#if defined(__SSE2__)
    // Sixteen bytes at a time: the commas of a block that a blank follows, as the bits of a
    // mask (the blanks are read one byte further on).
    const __m128i comma = _mm_set1_epi8(',');
    const __m128i blank = _mm_set1_epi8(' ');
    for (; i + 17 <= size; i += 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(base + i));
        const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(base + i + 1));
        auto mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, comma)) &
                                          _mm_movemask_epi8(_mm_cmpeq_epi8(next, blank)));
        while (mask != 0) {
            if (count + 1 >= kMaxFields) {
                return false;
            }
            fields.separators[count++] =
                static_cast<std::uint32_t>(i + static_cast<std::size_t>(__builtin_ctz(mask)));
            mask &= mask - 1;
        }
    }
#endif
    for (; i < size; ++i) {
        if (base[i] == ',' && i + 1 < size && base[i + 1] == ' ') {
            if (count + 1 >= kMaxFields) {
                return false;
            }
            fields.separators[count++] = static_cast<std::uint32_t>(i);
        }
    }
    fields.count = count + 1;
    return true;
}

}  // namespace

std::string_view layoutName(Layout layout) {
    switch (layout) {
        case Layout::W3c:
            return "w3c";
        case Layout::Comma:
            return "comma";
        case Layout::CommaSamples:
            return "comma-samples";
        case Layout::Squid:
            return "squid";
        case Layout::SquidCombined:
            return "squid-combined";
        case Layout::Unknown:
            break;
    }
    return "";
}

std::optional<W3cColumns> parseFieldsDirective(std::string_view line) {
    line = trimCr(line);
    constexpr std::string_view kPrefix = "#Fields:";
    if (line.substr(0, kPrefix.size()) != kPrefix) {
        return std::nullopt;
    }
    line.remove_prefix(kPrefix.size());
    W3cColumns columns;
    W3cColumns other;
    int index = 0;
    std::size_t pos = 0;
    while (pos < line.size()) {
        while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) {
            ++pos;
        }
        const std::size_t start = pos;
        while (pos < line.size() && line[pos] != ' ' && line[pos] != '\t') {
            ++pos;
        }
        if (pos == start) {
            break;
        }
        const std::string_view name = line.substr(start, pos - start);
        // The proxy's own names first, then the web server's for the same column.
        struct Name {
            std::string_view text;
            int W3cColumns::*column;
        };
        static constexpr Name kNames[] = {
            {"c-ip", &W3cColumns::address},
            {"cs-username", &W3cColumns::user},
            {"c-agent", &W3cColumns::agent},
            {"date", &W3cColumns::date},
            {"time", &W3cColumns::time},
            {"r-host", &W3cColumns::host},
            {"r-ip", &W3cColumns::destination},
            {"sc-bytes", &W3cColumns::bytes},
            {"cs-uri", &W3cColumns::uri},
            {"cs-mime-type", &W3cColumns::mime},
            {"sc-status", &W3cColumns::status},
            {"action", &W3cColumns::action},
            {"s-object-source", &W3cColumns::source},
        };
        static constexpr Name kOtherNames[] = {
            {"cs(user-agent)", &W3cColumns::agent},  {"cs-host", &W3cColumns::host},
            {"cs(host)", &W3cColumns::host},         {"s-ip", &W3cColumns::destination},
            {"cs-uri-stem", &W3cColumns::uri},       {"cs-uri-query", &W3cColumns::query},
            {"sc(content-type)", &W3cColumns::mime},
        };
        int* slot = nullptr;
        for (const Name& known : kNames) {
            if (sameNoCase(name, known.text)) {
                slot = &(columns.*known.column);
            }
        }
        for (const Name& known : kOtherNames) {
            if (sameNoCase(name, known.text)) {
                slot = &(other.*known.column);
            }
        }
        if (slot != nullptr && *slot < 0) {
            *slot = index;
        }
        ++index;
    }
    for (int W3cColumns::*column :
         {&W3cColumns::agent, &W3cColumns::host, &W3cColumns::destination, &W3cColumns::mime}) {
        if (columns.*column < 0) {
            columns.*column = other.*column;
        }
    }
    // cs-uri-stem and cs-uri-query together give the URI where cs-uri is missing.
    if (columns.uri < 0) {
        columns.uri = other.uri;
        columns.query = other.query;
    }
    if (columns.address < 0 || columns.date < 0 || columns.time < 0) {
        columns.needed = index;
        return columns;
    }
    for (const int column :
         {columns.address, columns.user, columns.agent, columns.date, columns.time, columns.host,
          columns.destination, columns.bytes, columns.uri, columns.query, columns.mime,
          columns.status, columns.action, columns.source}) {
        columns.needed = std::max(columns.needed, column + 1);
    }
    return columns;
}

Layout detectLayout(std::string_view head, bool wholeFile) {
    CommaFields fields;
    SquidNativeFields native;
    SquidCombinedFields combined;
    int linesSeen = 0;
    while (!head.empty() && linesSeen < 200) {
        const std::size_t end = head.find('\n');
        if (end == std::string_view::npos && !wholeFile && linesSeen > 0) {
            break;
        }
        const std::string_view line = trimCr(head.substr(0, end));
        head = end == std::string_view::npos ? std::string_view{} : head.substr(end + 1);
        ++linesSeen;
        if (line.empty()) {
            continue;
        }
        if (line.find('\0') != std::string_view::npos) {
            continue;
        }
        if (line[0] == '#') {
            return Layout::W3c;
        }
        if (splitSquidNative(line, native)) {
            return Layout::Squid;
        }
        if (splitSquidCombined(line, combined)) {
            return Layout::SquidCombined;
        }
        if (!splitComma(line, fields) || fields.count < kCommaFieldCount) {
            continue;
        }
        const bool samples = parseLoggedDate(fields.field(kSamples.date)) &&
                             parseLoggedTime(fields.field(kSamples.time));
        return samples ? Layout::CommaSamples : Layout::Comma;
    }
    return Layout::Unknown;
}

LineReader::LineReader(Layout layout, const TimeZone* zone)
    : layout_(layout), clock_(zone != nullptr ? *zone : utcZone()) {}

LineKind LineReader::read(std::string_view line, Request& out) {
    line = trimCr(line);
    if (line.empty()) {
        return LineKind::Empty;
    }
    // Squid's native lines are checked for NUL bytes while they are split.
    if (layout_ != Layout::Squid && std::memchr(line.data(), '\0', line.size()) != nullptr) {
        return LineKind::Skipped;
    }
    out.query = {};
    out.agentLogged = true;
    out.refused = false;
    out.cached = false;
    out.tunnel = false;
    switch (layout_) {
        case Layout::W3c:
            return readW3c(line, out);
        case Layout::Squid:
            return readSquid(line, out);
        case Layout::SquidCombined:
            return readSquidCombined(line, out);
        case Layout::Comma:
        case Layout::CommaSamples:
        case Layout::Unknown:
            break;
    }
    return readComma(line, out);
}

bool LineReader::readDate(std::string_view date, Date& out) {
    if (date.size() == lastDateSize_ && lastDateSize_ > 0 &&
        std::memcmp(date.data(), lastDateText_.data(), lastDateSize_) == 0) {
        out = lastDate_;
        return true;
    }
    const std::optional<Date> parsed = parseLoggedDate(date);
    if (!parsed) {
        return false;
    }
    out = *parsed;
    if (date.size() <= lastDateText_.size()) {
        std::memcpy(lastDateText_.data(), date.data(), date.size());
        lastDateSize_ = date.size();
        lastDate_ = *parsed;
        lastDateDays_ = daysFromCivil(*parsed);
    }
    return true;
}

bool LineReader::readMoment(std::string_view date, std::string_view time, Request& out) {
    if (!readDate(date, out.date)) {
        return false;
    }
    const std::optional<int> seconds = parseLoggedTime(time);
    if (!seconds) {
        return false;
    }
    out.seconds = *seconds;
    return true;
}

bool LineReader::setMoment(std::int64_t utc, Request& out) {
    const std::int64_t local = clock_.local(utc);
    const std::int64_t day = floorDays(local);
    if (!haveLocalDay_ || day != lastLocalDay_) {
        const Date date = civilFromDays(day);
        if (!isRealDate(date)) {
            return false;
        }
        lastLocalDay_ = day;
        lastLocalDate_ = date;
        haveLocalDay_ = true;
    }
    out.date = lastLocalDate_;
    out.seconds = static_cast<int>(local - day * 86400);
    return true;
}

LineKind LineReader::readComma(std::string_view line, Request& out) {
    CommaFields fields;
    if (!splitComma(line, fields) || fields.count < kCommaFieldCount) {
        return LineKind::Skipped;
    }
    const CommaColumns& c = layout_ == Layout::CommaSamples ? kSamples : kDocumented;
    out.address = fields.field(0);
    out.user = fields.field(1);
    out.agent = fields.field(2);
    out.host = fields.field(c.host);
    out.destination = fields.field(c.destination);
    out.bytes = fields.field(c.bytes);
    out.uri = fields.field(c.uri);
    out.mime = fields.field(c.mime);
    out.refused = isRefusedStatus(fields.field(c.status));
    out.cached = !out.refused && isCacheSource(fields.field(c.source));
    if (!readMoment(fields.field(c.date), fields.field(c.time), out)) {
        return LineKind::Skipped;
    }
    return LineKind::Request;
}

LineKind LineReader::readW3c(std::string_view line, Request& out) {
    if (line[0] == '#') {
        if (std::optional<W3cColumns> columns = parseFieldsDirective(line)) {
            columns_ = *columns;
        }
        return LineKind::Directive;
    }
    if (!columns_ || columns_->address < 0 || columns_->date < 0 || columns_->time < 0) {
        return LineKind::Skipped;
    }
    if (line.size() > 0xFFFFFFF0u) {
        return LineKind::Skipped;
    }
    std::uint32_t begins[kMaxFields];
    std::uint32_t ends[kMaxFields];
    std::size_t count = 0;
    std::size_t start = 0;
    const auto needed = static_cast<std::size_t>(columns_->needed);
    if (needed > kMaxFields) {
        return LineKind::Skipped;
    }
    // The proxy separates its fields by tabs; a web server (IIS) by blanks, with '+' for a
    // blank inside a field.
    const bool tabs = std::memchr(line.data(), '\t', line.size()) != nullptr;
    const char separator = tabs ? '\t' : ' ';
    while (count < needed) {
        const std::size_t next = line.find(separator, start);
        begins[count] = static_cast<std::uint32_t>(start);
        if (next == std::string_view::npos) {
            ends[count++] = static_cast<std::uint32_t>(line.size());
            break;
        }
        ends[count++] = static_cast<std::uint32_t>(next);
        start = next + 1;
    }
    if (count < needed) {
        return LineKind::Skipped;
    }
    const auto field = [&](int index) {
        if (index < 0) {
            return std::string_view("-");
        }
        const auto i = static_cast<std::size_t>(index);
        return line.substr(begins[i], ends[i] - begins[i]);
    };
    out.address = field(columns_->address);
    out.user = field(columns_->user);
    out.agent = field(columns_->agent);
    out.agentLogged = columns_->agent >= 0;
    if (!tabs) {
        out.user = withBlanks(out.user, userScratch_);
        out.agent = withBlanks(out.agent, agentScratch_);
    }
    out.host = field(columns_->host);
    out.destination = field(columns_->destination);
    out.bytes = field(columns_->bytes);
    out.uri = field(columns_->uri);
    if (columns_->query >= 0 && !isPlaceholder(field(columns_->query))) {
        out.query = field(columns_->query);
    }
    out.mime = field(columns_->mime);
    out.refused =
        isRefusedStatus(field(columns_->status)) || isRefusedAction(field(columns_->action));
    out.cached = !out.refused && columns_->source >= 0 && isCacheSource(field(columns_->source));
    // W3C's date and time are UTC.
    Date date;
    const std::optional<int> seconds = parseLoggedTime(field(columns_->time));
    if (!readDate(field(columns_->date), date) || !seconds) {
        return LineKind::Skipped;
    }
    const std::int64_t days =
        date.year == lastDate_.year && date.month == lastDate_.month && date.day == lastDate_.day
            ? lastDateDays_
            : daysFromCivil(date);
    if (!setMoment(days * 86400 + *seconds, out)) {
        return LineKind::Skipped;
    }
    return LineKind::Request;
}

LineKind LineReader::readSquid(std::string_view line, Request& out) {
    SquidNativeFields f;
    if (!splitSquidNative(line, f)) {
        return LineKind::Skipped;
    }
    if (!setMoment(f.seconds, out)) {
        return LineKind::Skipped;
    }
    out.address = f.client;
    out.user = percentDecoded(f.user, userScratch_);
    out.agent = {};
    out.agentLogged = false;
    out.bytes = f.bytes;
    out.uri = f.url;
    out.mime = f.type;
    out.tunnel = f.method == "CONNECT";
    out.host = out.tunnel ? hostOfTunnel(f.url) : std::string_view("-");
    out.destination = destinationOfPeer(f.hierarchy, f.peer);
    out.refused = f.words.denied || f.status == "407";
    out.cached = !out.refused && f.words.hit;
    return LineKind::Request;
}

LineKind LineReader::readSquidCombined(std::string_view line, Request& out) {
    SquidCombinedFields f;
    if (!splitSquidCombined(line, f)) {
        return LineKind::Skipped;
    }
    // dd/Mon/yyyy:hh:mm:ss +zzzz, local time at the offset it names.
    const std::string_view day = f.day;
    Date date;
    if (day.size() == lastDateSize_ && lastDateSize_ > 0 &&
        std::memcmp(day.data(), lastDateText_.data(), lastDateSize_) == 0) {
        date = lastDate_;
    } else {
        if (day[2] != '/' || day[6] != '/' || !std::isdigit(static_cast<unsigned char>(day[0])) ||
            !std::isdigit(static_cast<unsigned char>(day[1]))) {
            return LineKind::Skipped;
        }
        int year = 0;
        for (std::size_t i = 7; i < 11; ++i) {
            if (!std::isdigit(static_cast<unsigned char>(day[i]))) {
                return LineKind::Skipped;
            }
            year = year * 10 + (day[i] - '0');
        }
        date = Date{year, monthOfName(day.substr(3, 3)), (day[0] - '0') * 10 + (day[1] - '0')};
        if (!isRealDate(date)) {
            return LineKind::Skipped;
        }
        std::memcpy(lastDateText_.data(), day.data(), day.size());
        lastDateSize_ = day.size();
        lastDate_ = date;
        lastDateDays_ = daysFromCivil(date);
    }
    const std::optional<int> seconds = parseLoggedTime(f.time);
    const std::string_view offset = f.offset;
    if (!seconds || (offset[0] != '+' && offset[0] != '-')) {
        return LineKind::Skipped;
    }
    int hhmm = 0;
    for (std::size_t i = 1; i < 5; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(offset[i]))) {
            return LineKind::Skipped;
        }
        hhmm = hhmm * 10 + (offset[i] - '0');
    }
    if (hhmm / 100 > 23 || hhmm % 100 > 59) {
        return LineKind::Skipped;
    }
    const int east = (hhmm / 100 * 3600 + hhmm % 100 * 60) * (offset[0] == '-' ? -1 : 1);
    if (!setMoment(lastDateDays_ * 86400 + *seconds - east, out)) {
        return LineKind::Skipped;
    }
    out.address = f.client;
    out.user = percentDecoded(f.user, userScratch_);
    out.agent = f.agent;
    out.agentLogged = f.hasAgent;
    out.bytes = f.bytes;
    out.uri = f.url;
    out.mime = "-";
    out.tunnel = f.method == "CONNECT";
    out.host = out.tunnel ? hostOfTunnel(f.url) : std::string_view("-");
    out.destination = "-";
    out.refused = f.words.denied || f.status == "407";
    out.cached = !out.refused && f.words.hit;
    return LineKind::Request;
}

bool isRefusedStatus(std::string_view status) {
    if (status.size() == 3) {
        return status == "407";
    }
    return status == "12202" || status == "12204" || status == "12209" || status == "12217" ||
           status == "12302";
}

bool isProxyAgent(std::string_view agent) {
    return containsNoCase(agent, "MSProxy/") || containsNoCase(agent, "ISA Server") ||
           containsNoCase(agent, "Microsoft-ISA") || containsNoCase(agent, "Forefront TMG") ||
           containsNoCase(agent, "Microsoft-TMG");
}

}  // namespace kestrand::reports
