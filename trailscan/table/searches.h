#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "trailscan/table/record_table.h"

namespace trailscan::table {

enum class SelectorKind { Column, AllFields, RecordNumber };

// What "Go !" searches: one slot of the record table, every field, or the record a number
// names.
struct Selector {
    SelectorKind kind = SelectorKind::Column;
    int column = 0;  // the slot a column search reads

    // The window keeps its selector as one 16-bit number: the slot, or these two, which is why
    // slots 10 and 11 are never searched as columns.
    static constexpr int kAllFieldsNumber = 10;
    static constexpr int kRecordNumberNumber = 11;

    static constexpr Selector forColumn(int column) { return {SelectorKind::Column, column}; }
    static constexpr Selector allFields() { return {SelectorKind::AllFields, 0}; }
    static constexpr Selector recordNumber() { return {SelectorKind::RecordNumber, 0}; }

    static constexpr Selector fromNumber(int number) {
        switch (number) {
            case kAllFieldsNumber:
                return allFields();
            case kRecordNumberNumber:
                return recordNumber();
            default:
                return forColumn(number);
        }
    }
    constexpr int number() const {
        switch (kind) {
            case SelectorKind::AllFields:
                return kAllFieldsNumber;
            case SelectorKind::RecordNumber:
                return kRecordNumberNumber;
            case SelectorKind::Column:
                break;
        }
        return column;
    }

    friend constexpr bool operator==(const Selector&, const Selector&) = default;
};

// The selector the open flow's reset and the default query set: the user-name column.
inline constexpr Selector kSelectUserName = Selector::forColumn(log::kColumnUser);

// The report box holds reports up to this size (256 MiB), eight times the worst report of an
// ordinary full table. A longer report lists its matches up to here, then ends with one line
// that says where it stops and how many matches it did not list.
inline constexpr std::size_t kReportCapacity = std::size_t{256} << 20;

// Line break of the reports.
inline constexpr std::string_view kLineBreak = "\r\n";
// An all-fields entry: the record index, kReportEntrySeparator, then each field followed by
// kReportFieldSeparator (not the log's own field separator, log::kFieldSeparator).
inline constexpr std::string_view kReportEntrySeparator = "- ";
inline constexpr std::string_view kReportFieldSeparator = " | ";
// Shown under the heading when a record-number text is not a record number.
inline constexpr std::string_view kBadRecordNumber =
    "A record number is a whole number from 0 to 5000.";

// A field matches when the text occurs in it (exact bytes, so case matters); an empty
// text matches every field that is not empty.
bool matches(std::string_view field, std::string_view text);

// Column search: slot 7 of every record, up to the end of the data, whose slot `column`
// matches, one per line. A column outside the record's slots finds nothing.
std::string columnSearch(const RecordTable& table, int column, std::string_view text);

// All fields: for every matching field of every record up to the end of the data, the
// record index, "- " and its 23 fields each followed by " | ", with no line break.
std::string allFieldsSearch(const RecordTable& table, std::string_view text);

// Record number: the text, "= ", two line breaks, then the 23 fields of that record one
// per line. The text is a whole number from 0 to 5000, blanks around it allowed; any
// other text gives the heading and kBadRecordNumber.
std::string recordNumberSearch(const RecordTable& table, std::string_view text);

// The record index a record-number text names, if it names one.
std::optional<int> parseRecordNumber(std::string_view text);

// The search "Go !" runs for a selector.
std::string runSearch(const RecordTable& table, Selector selector, std::string_view text);
// The same into `report`, which is emptied first; its memory is kept, so a window that
// searches again and again does not allocate tens of megabytes each time.
void runSearch(const RecordTable& table, Selector selector, std::string_view text,
               std::string& report, std::size_t capacity = kReportCapacity);

// The three searches appending to `report`, which they keep within `capacity` bytes and
// the line that says where it stopped.
void columnSearch(const RecordTable& table, int column, std::string_view text, std::string& report,
                  std::size_t capacity = kReportCapacity);
void allFieldsSearch(const RecordTable& table, std::string_view text, std::string& report,
                     std::size_t capacity = kReportCapacity);
void recordNumberSearch(const RecordTable& table, std::string_view text, std::string& report);
// The column and all-fields searches with another test of a field than `matches`, a regular
// expression's say; the reports are the same.
using FieldTest = std::function<bool(std::string_view field)>;
void columnSearch(const RecordTable& table, int column, const FieldTest& test, std::string& report,
                  std::size_t capacity = kReportCapacity);
void allFieldsSearch(const RecordTable& table, const FieldTest& test, std::string& report,
                     std::size_t capacity = kReportCapacity);
// Record number on the text as typed, for texts the log's code page may not hold; the
// report's fields are decoded. A character outside the code page is never a digit, so such a
// text gives the heading and kBadRecordNumber.
std::u16string recordNumberSearch(const RecordTable& table, std::u16string_view typed);

// The last line of a report that reached `capacity` with `unlisted` matches left, for example
// "The report stops here: it passed 256 MiB. 91,332 more matches are not listed."
std::string reportStopsLine(std::size_t capacity, std::uint64_t unlisted);

// The default query's text: slot 1 of the first record (of all 5001, with no end-of-data
// test) whose slot 1 is longer than 5 characters.
std::optional<std::string> defaultQueryText(const RecordTable& table);

}  // namespace trailscan::table
