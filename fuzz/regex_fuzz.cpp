// Fuzzes regular-expression searches: the input is split at its first NUL byte into a pattern
// and the log's bytes. A pattern PCRE2 takes must give, over the whole log cut to the records
// the table holds, the report of the table's own search with the same pattern, which tries
// every field; the block scanner only chooses where to look, so it may never lose a match,
// whatever the block size. A pattern PCRE2 refuses must be named, never crash.
#include <cstdint>
#include <filesystem>
#include <string>

#include "fuzz/text_and_log.h"
#include "trailscan/regex/field_pattern.h"
#include "trailscan/scan/whole_log.h"
#include "trailscan/table/searches.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace trailscan::scan;
    using namespace trailscan::table;
    using trailscan::regex::FieldPattern;
    const auto [text, path] = fuzzing::splitTextAndLog(data, size, "regex-fuzz");
    std::string error;
    const auto pattern = FieldPattern::compile(text, error);
    if (!pattern) {
        if (error.rfind("The regular expression is not valid: ", 0) != 0) __builtin_trap();
        return 0;
    }
    static RecordTable table;
    trailscan::log::Channel channel;
    if (channel.open(path)) return 0;
    table.load(channel, 0);
    const std::int64_t blockBytes = size > 0 ? 64 + data[0] : 64;

    FieldPattern::Matcher matcher(*pattern);
    bool limited = false;
    const FieldTest test = [&](std::string_view field) {
        const auto verdict = matcher.test(field);
        limited = limited || verdict == trailscan::regex::Verdict::Limit;
        return verdict == trailscan::regex::Verdict::Yes;
    };
    for (int number : {0, 1, 7, 10}) {
        const Selector selector = Selector::fromNumber(number);
        std::string tableReport;
        if (selector.kind == SelectorKind::Column) {
            columnSearch(table, selector.column, test, tableReport);
        } else {
            allFieldsSearch(table, test, tableReport);
        }
        if (limited) return 0;  // the whole-log search stops there instead
        WholeLogQuery query{selector, text, table.endOfData()};
        query.pattern = pattern.get();
        std::string report;
        ScanControl control;
        const ScanOutcome outcome =
            searchWholeLog(path, nullptr, query, control,
                           [&](std::string_view piece) { report += piece; }, {blockBytes, 2});
        if (outcome.end != ScanEnd::Complete || report != tableReport) __builtin_trap();
    }
    return 0;
}
