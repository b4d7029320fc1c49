// Fuzzes the record table load and the searches: the input is split at its first NUL
// byte into a search text and the log's bytes; every selector and the default query run.
#include <cstdint>
#include <filesystem>
#include <string>

#include "fuzz/text_and_log.h"
#include "trailscan/table/searches.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto [text, path] = fuzzing::splitTextAndLog(data, size, "search-fuzz");

    static trailscan::table::RecordTable table;
    trailscan::log::Channel channel;
    if (channel.open(path)) return 0;
    // A budget and a capacity from the input, so loads and reports that stop short run too.
    const std::size_t limit = size > 0 ? std::size_t{data[0]} * 16 : 0;
    table.load(channel, 0, limit == 0 ? trailscan::table::kTableBudget : limit);
    std::string kept;
    for (int number : {0, 1, 5, 6, 7, 10, 11, 22, 23, 24, -1, 32767}) {
        const auto selector = trailscan::table::Selector::fromNumber(number);
        const auto report = trailscan::table::runSearch(table, selector, text);
        if (number == 11 && report.compare(0, text.size(), text) != 0) __builtin_trap();
        // A report cut at a capacity is the whole report's start, then the line that stops it.
        trailscan::table::runSearch(table, selector, text, kept, limit);
        if (kept != report) {
            std::size_t stop = kept.rfind("The report stops here: it passed ");
            // The stop line starts a line of its own; a CR LF put before it is not the report's.
            if (stop != std::string::npos && stop >= 2 && kept.compare(stop - 2, 2, "\r\n") == 0 &&
                report.compare(stop - 2, 2, "\r\n") != 0) {
                stop -= 2;
            }
            if (stop == std::string::npos || report.compare(0, stop, kept, 0, stop) != 0 ||
                !kept.ends_with(" not listed.\r\n")) {
                __builtin_trap();
            }
        }
    }
    if (const auto user = trailscan::table::defaultQueryText(table)) {
        if (user->size() <= 5) __builtin_trap();
    }
    return 0;
}
