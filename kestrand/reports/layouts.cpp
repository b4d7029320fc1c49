#include "kestrand/reports/layouts.h"

#include <cstring>
#include <string>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kestrand::reports {

namespace {

constexpr std::size_t kMaxFields = 128;

// Field positions of the two comma layouts, counted as if the agent were one field.
struct CommaColumns {
    int date, time, host, destination, bytes, uri, mime;
};
constexpr CommaColumns kDocumented{4, 5, 9, 10, 14, 18, 19};
constexpr CommaColumns kSamples{5, 6, 7, 11, 15, 19, 20};

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
        int* slot = nullptr;
        if (name == "c-ip") {
            slot = &columns.address;
        } else if (name == "cs-username") {
            slot = &columns.user;
        } else if (name == "c-agent") {
            slot = &columns.agent;
        } else if (name == "date") {
            slot = &columns.date;
        } else if (name == "time") {
            slot = &columns.time;
        } else if (name == "r-host") {
            slot = &columns.host;
        } else if (name == "r-ip") {
            slot = &columns.destination;
        } else if (name == "sc-bytes") {
            slot = &columns.bytes;
        } else if (name == "cs-uri") {
            slot = &columns.uri;
        } else if (name == "cs-mime-type") {
            slot = &columns.mime;
        }
        if (slot != nullptr && *slot < 0) {
            *slot = index;
            columns.needed = index + 1;
        }
        ++index;
    }
    if (columns.address < 0 || columns.date < 0 || columns.time < 0) {
        columns.needed = index;
    }
    return columns;
}

Layout detectLayout(std::string_view head, bool wholeFile) {
    CommaFields fields;
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
        if (!splitComma(line, fields) || fields.count < kCommaFieldCount) {
            continue;
        }
        const bool samples = parseLoggedDate(fields.field(kSamples.date)) &&
                             parseLoggedTime(fields.field(kSamples.time));
        return samples ? Layout::CommaSamples : Layout::Comma;
    }
    return Layout::Unknown;
}

LineKind LineReader::read(std::string_view line, Request& out) {
    line = trimCr(line);
    if (line.empty()) {
        return LineKind::Empty;
    }
    if (std::memchr(line.data(), '\0', line.size()) != nullptr) {
        return LineKind::Skipped;
    }
    if (layout_ == Layout::W3c) {
        return readW3c(line, out);
    }
    return readComma(line, out);
}

bool LineReader::readMoment(std::string_view date, std::string_view time, Request& out) {
    if (date.size() == lastDateSize_ && lastDateSize_ > 0 &&
        std::memcmp(date.data(), lastDateText_.data(), lastDateSize_) == 0) {
        out.date = lastDate_;
    } else {
        const std::optional<Date> parsed = parseLoggedDate(date);
        if (!parsed) {
            return false;
        }
        out.date = *parsed;
        if (date.size() <= lastDateText_.size()) {
            std::memcpy(lastDateText_.data(), date.data(), date.size());
            lastDateSize_ = date.size();
            lastDate_ = *parsed;
        }
    }
    const std::optional<int> seconds = parseLoggedTime(time);
    if (!seconds) {
        return false;
    }
    out.seconds = *seconds;
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
    while (count < needed) {
        const std::size_t tab = line.find('\t', start);
        begins[count] = static_cast<std::uint32_t>(start);
        if (tab == std::string_view::npos) {
            ends[count++] = static_cast<std::uint32_t>(line.size());
            break;
        }
        ends[count++] = static_cast<std::uint32_t>(tab);
        start = tab + 1;
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
    out.host = field(columns_->host);
    out.destination = field(columns_->destination);
    out.bytes = field(columns_->bytes);
    out.uri = field(columns_->uri);
    out.mime = field(columns_->mime);
    if (!readMoment(field(columns_->date), field(columns_->time), out)) {
        return LineKind::Skipped;
    }
    return LineKind::Request;
}

bool isProxyAgent(std::string_view agent) {
    return containsNoCase(agent, "MSProxy/") || containsNoCase(agent, "ISA Server") ||
           containsNoCase(agent, "Microsoft-ISA") || containsNoCase(agent, "Forefront TMG") ||
           containsNoCase(agent, "Microsoft-TMG");
}

}  // namespace kestrand::reports
