#include "kestrand/reports/layouts.h"

#include <cstring>
#include <string>

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

// Splits at ", "; false when the line has more than kMaxFields fields.
bool splitComma(std::string_view line, std::array<std::string_view, kMaxFields>& fields,
                std::size_t& count) {
    count = 0;
    const char* p = line.data();
    const char* end = p + line.size();
    const char* fieldStart = p;
    while (p < end) {
        const void* hit = std::memchr(p, ',', static_cast<std::size_t>(end - p));
        if (hit == nullptr) {
            break;
        }
        const char* comma = static_cast<const char*>(hit);
        if (comma + 1 < end && comma[1] == ' ') {
            if (count + 1 >= kMaxFields) {
                return false;
            }
            fields[count++] =
                std::string_view(fieldStart, static_cast<std::size_t>(comma - fieldStart));
            fieldStart = comma + 2;
            p = fieldStart;
        } else {
            p = comma + 1;
        }
    }
    fields[count++] = std::string_view(fieldStart, static_cast<std::size_t>(end - fieldStart));
    return true;
}

// Field i of a comma line of count fields, with the agent (2) joined back.
std::string_view commaField(const std::array<std::string_view, kMaxFields>& fields,
                            std::size_t count, int i) {
    const std::size_t extra = count - kCommaFieldCount;
    if (i < 2) {
        return fields[static_cast<std::size_t>(i)];
    }
    if (i == 2) {
        const std::string_view last = fields[2 + extra];
        return std::string_view(
            fields[2].data(),
            static_cast<std::size_t>(last.data() + last.size() - fields[2].data()));
    }
    return fields[static_cast<std::size_t>(i) + extra];
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
    std::array<std::string_view, kMaxFields> fields;
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
        std::size_t count = 0;
        if (!splitComma(line, fields, count) || count < kCommaFieldCount) {
            continue;
        }
        const bool samples = parseLoggedDate(commaField(fields, count, kSamples.date)) &&
                             parseLoggedTime(commaField(fields, count, kSamples.time));
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
    std::array<std::string_view, kMaxFields> fields;
    std::size_t count = 0;
    if (!splitComma(line, fields, count) || count < kCommaFieldCount) {
        return LineKind::Skipped;
    }
    const CommaColumns& c = layout_ == Layout::CommaSamples ? kSamples : kDocumented;
    out.address = fields[0];
    out.user = fields[1];
    out.agent = commaField(fields, count, 2);
    out.host = commaField(fields, count, c.host);
    out.destination = commaField(fields, count, c.destination);
    out.bytes = commaField(fields, count, c.bytes);
    out.uri = commaField(fields, count, c.uri);
    out.mime = commaField(fields, count, c.mime);
    if (!readMoment(commaField(fields, count, c.date), commaField(fields, count, c.time), out)) {
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
    std::array<std::string_view, kMaxFields> fields;
    std::size_t count = 0;
    std::size_t start = 0;
    const auto needed = static_cast<std::size_t>(columns_->needed);
    if (needed > kMaxFields) {
        return LineKind::Skipped;
    }
    while (count < needed) {
        const std::size_t tab = line.find('\t', start);
        if (tab == std::string_view::npos) {
            fields[count++] = line.substr(start);
            break;
        }
        fields[count++] = line.substr(start, tab - start);
        start = tab + 1;
    }
    if (count < needed) {
        return LineKind::Skipped;
    }
    const auto field = [&](int index) {
        return index < 0 ? std::string_view("-") : fields[static_cast<std::size_t>(index)];
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
