#include "trailscan/table/searches.h"

#include <algorithm>
#include <charconv>
#include <vector>

#include "common/code_pages.h"
#include "common/number_text.h"

namespace trailscan::table {

using common::grouped;
using common::sizeText;

namespace {

void endAtCapacity(std::string& report, std::size_t capacity, std::uint64_t unlisted) {
    if (!report.empty() && !std::string_view(report).ends_with(kLineBreak)) {
        report += kLineBreak;
    }
    report += reportStopsLine(capacity, unlisted);
    report += kLineBreak;
}

}  // namespace

bool matches(std::string_view field, std::string_view text) {
    return text.empty() ? !field.empty() : field.find(text) != std::string_view::npos;
}

std::string reportStopsLine(std::size_t capacity, std::uint64_t unlisted) {
    return "The report stops here: it passed " + sizeText(capacity) + ". " + grouped(unlisted) +
           (unlisted == 1 ? " more match is not listed." : " more matches are not listed.");
}

void columnSearch(const RecordTable& table, int column, std::string_view text, std::string& report,
                  std::size_t capacity) {
    columnSearch(
        table, column, [text](std::string_view field) { return matches(field, text); }, report,
        capacity);
}

void allFieldsSearch(const RecordTable& table, std::string_view text, std::string& report,
                     std::size_t capacity) {
    allFieldsSearch(
        table, [text](std::string_view field) { return matches(field, text); }, report, capacity);
}

void columnSearch(const RecordTable& table, int column, const FieldTest& test, std::string& report,
                  std::size_t capacity) {
    if (column < 0 || column >= log::kSlotCount) {
        return;
    }
    const int end = table.endOfData();
    std::uint64_t unlisted = 0;
    for (int r = 0; r < end; ++r) {
        if (!test(table.field(r, column))) {
            continue;
        }
        const std::string_view site = table.field(r, log::kColumnSite);
        if (unlisted > 0 || report.size() + site.size() + kLineBreak.size() > capacity) {
            ++unlisted;  // counted, not built
            continue;
        }
        report += site;
        report += kLineBreak;
    }
    if (unlisted > 0) {
        endAtCapacity(report, capacity, unlisted);
    }
}

void allFieldsSearch(const RecordTable& table, const FieldTest& test, std::string& report,
                     std::size_t capacity) {
    const int end = table.endOfData();
    // First the matching fields per record and the entries' sizes, so that the report, tens of
    // megabytes at worst, is allocated once.
    std::vector<int> hits(static_cast<std::size_t>(end), 0);
    std::vector<std::size_t> entrySizes(static_cast<std::size_t>(end), 0);
    std::size_t size = 0;
    for (int r = 0; r < end; ++r) {
        int count = 0;
        std::size_t entrySize = std::to_string(r).size() + kReportEntrySeparator.size();
        for (int c = 0; c < log::kFieldCount; ++c) {
            count += test(table.field(r, c)) ? 1 : 0;
            entrySize += table.field(r, c).size() + kReportFieldSeparator.size();
        }
        hits[static_cast<std::size_t>(r)] = count;
        entrySizes[static_cast<std::size_t>(r)] = entrySize;
        size += entrySize * static_cast<std::size_t>(count);
    }
    // Room for the stop line too, so a report cut at the capacity is never copied to grow.
    constexpr std::size_t kStopLineRoom = 128;
    report.reserve(std::min(report.size() + size, capacity + kStopLineRoom));
    std::uint64_t unlisted = 0;
    for (int r = 0; r < end; ++r) {
        const int count = hits[static_cast<std::size_t>(r)];
        if (count == 0) {
            continue;
        }
        const std::size_t entrySize = entrySizes[static_cast<std::size_t>(r)];
        const auto room = static_cast<std::size_t>(
            report.size() >= capacity ? 0 : (capacity - report.size()) / entrySize);
        const int listed =
            unlisted > 0
                ? 0
                : static_cast<int>(std::min<std::size_t>(room, static_cast<std::size_t>(count)));
        unlisted += static_cast<std::uint64_t>(count - listed);
        if (listed == 0) {
            continue;
        }
        // The entry is the same for every matching field: it is written once and copied.
        const std::size_t entryStart = report.size();
        report += std::to_string(r);
        report += kReportEntrySeparator;
        for (int k = 0; k < log::kFieldCount; ++k) {
            report += table.field(r, k);
            report += kReportFieldSeparator;
        }
        for (int h = 1; h < listed; ++h) {
            report.append(report, entryStart, entrySize);
        }
    }
    if (unlisted > 0) {
        endAtCapacity(report, capacity, unlisted);
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

std::u16string recordNumberSearch(const RecordTable& table, std::u16string_view typed) {
    if (const auto text = common::encodeWindows1252(typed)) {
        return common::decodeWindows1252(recordNumberSearch(table, *text));
    }
    std::u16string report(typed);
    report += u"= ";
    const std::u16string lineBreak = common::decodeWindows1252(kLineBreak);
    report += lineBreak;
    report += lineBreak;
    report += common::decodeWindows1252(kBadRecordNumber);
    report += lineBreak;
    return report;
}

void runSearch(const RecordTable& table, Selector selector, std::string_view text,
               std::string& report, std::size_t capacity) {
    report.clear();
    switch (selector.kind) {
        case SelectorKind::AllFields:
            allFieldsSearch(table, text, report, capacity);
            break;
        case SelectorKind::RecordNumber:
            recordNumberSearch(table, text, report);
            break;
        case SelectorKind::Column:
            columnSearch(table, selector.column, text, report, capacity);
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

std::string runSearch(const RecordTable& table, Selector selector, std::string_view text) {
    std::string report;
    runSearch(table, selector, text, report);
    return report;
}

std::optional<std::string> defaultQueryText(const RecordTable& table) {
    for (int r = 0; r < kRecordCapacity; ++r) {
        const std::string_view user = table.field(r, log::kColumnUser);
        if (user.size() > 5) {
            return std::string(user);
        }
    }
    return std::nullopt;
}

}  // namespace trailscan::table
