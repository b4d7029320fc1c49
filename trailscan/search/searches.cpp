#include "trailscan/search/searches.h"

#include <charconv>
#include <vector>

namespace trailscan::search {

namespace {
constexpr std::string_view kEntrySeparator = "- ";
constexpr std::string_view kFieldSeparator = " | ";
}  // namespace

bool matches(std::string_view field, std::string_view text) {
    return text.empty() ? !field.empty() : field.find(text) != std::string_view::npos;
}

void columnSearch(const RecordTable& table, int column, std::string_view text, std::string& report) {
    if (column < 0 || column >= log::kSlotCount) {
        return;
    }
    const int end = table.endOfData();
    for (int r = 0; r < end; ++r) {
        if (matches(table.field(r, column), text)) {
            report += table.field(r, log::kColumnSite);
            report += kLineBreak;
        }
    }
}

void allFieldsSearch(const RecordTable& table, std::string_view text, std::string& report) {
    const int end = table.endOfData();
    // First the matching fields per record and the report's size, so that the report,
    // tens of megabytes at worst, is allocated once.
    std::vector<int> hits(static_cast<std::size_t>(end), 0);
    std::size_t size = 0;
    for (int r = 0; r < end; ++r) {
        int count = 0;
        std::size_t entrySize = std::to_string(r).size() + kEntrySeparator.size();
        for (int c = 0; c < log::kFieldCount; ++c) {
            count += matches(table.field(r, c), text) ? 1 : 0;
            entrySize += table.field(r, c).size() + kFieldSeparator.size();
        }
        hits[static_cast<std::size_t>(r)] = count;
        size += entrySize * static_cast<std::size_t>(count);
    }
    report.reserve(report.size() + size);
    for (int r = 0; r < end; ++r) {
        const int count = hits[static_cast<std::size_t>(r)];
        if (count == 0) {
            continue;
        }
        // The entry is the same for every matching field: it is written once and copied.
        const std::size_t entryStart = report.size();
        report += std::to_string(r);
        report += kEntrySeparator;
        for (int k = 0; k < log::kFieldCount; ++k) {
            report += table.field(r, k);
            report += kFieldSeparator;
        }
        const std::size_t entrySize = report.size() - entryStart;
        for (int h = 1; h < count; ++h) {
            report.append(report, entryStart, entrySize);
        }
    }
}

std::optional<int> parseRecordNumber(std::string_view text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) {
        return std::nullopt;
    }
    const auto last = text.find_last_not_of(' ');
    const std::string_view digits = text.substr(first, last - first + 1);
    for (char c : digits) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
    }
    // Leading zeros are allowed; anything that overflows is simply too large.
    const auto significant = digits.find_first_not_of('0');
    if (significant == std::string_view::npos) {
        return 0;
    }
    const std::string_view value = digits.substr(significant);
    int number = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), number);
    if (error != std::errc() || end != value.data() + value.size() || number >= kRecordCapacity) {
        return std::nullopt;
    }
    return number;
}

void recordNumberSearch(const RecordTable& table, std::string_view text, std::string& report) {
    report += text;
    report += "= ";
    report += kLineBreak;
    report += kLineBreak;
    const auto record = parseRecordNumber(text);
    if (!record) {
        report += kBadRecordNumber;
        report += kLineBreak;
        return;
    }
    for (int k = 0; k < log::kFieldCount; ++k) {
        report += table.field(*record, k);
        report += kLineBreak;
    }
}

void runSearch(const RecordTable& table, int selector, std::string_view text, std::string& report) {
    report.clear();
    switch (selector) {
        case kSelectAllFields:
            allFieldsSearch(table, text, report);
            break;
        case kSelectRecordNumber:
            recordNumberSearch(table, text, report);
            break;
        default:
            columnSearch(table, selector, text, report);
            break;
    }
}

std::string columnSearch(const RecordTable& table, int column, std::string_view text) {
    std::string report;
    columnSearch(table, column, text, report);
    return report;
}

std::string allFieldsSearch(const RecordTable& table, std::string_view text) {
    std::string report;
    allFieldsSearch(table, text, report);
    return report;
}

std::string recordNumberSearch(const RecordTable& table, std::string_view text) {
    std::string report;
    recordNumberSearch(table, text, report);
    return report;
}

std::string runSearch(const RecordTable& table, int selector, std::string_view text) {
    std::string report;
    runSearch(table, selector, text, report);
    return report;
}

std::optional<std::string> defaultQueryText(const RecordTable& table) {
    for (int r = 0; r < kRecordCapacity; ++r) {
        const std::string& user = table.field(r, log::kColumnUser);
        if (user.size() > 5) {
            return user;
        }
    }
    return std::nullopt;
}

}  // namespace trailscan::search
