// Fuzzes the whole-log search against the record table: the input is split at its first NUL
// byte into a search text and the log's bytes. Cut to the records the table holds, every
// whole-log report must be the report of "Go !", whatever the block size, with or without the
// count's field index, with records held in memory or read from the file field by field; a
// record-number search must list what the table lists. (Inputs stay below 64 KiB, so no field
// is longer than the table keeps.)
#include <cstdint>
#include <filesystem>
#include <string>

#include "fuzz/text_and_log.h"
#include "trailscan/log/line_count.h"
#include "trailscan/scan/whole_log.h"
#include "trailscan/table/searches.h"

namespace {

// Records longer than `held` bytes are read from the file field by field.
std::string wholeLog(const std::filesystem::path& path, const trailscan::log::FieldIndex* index,
                     const trailscan::scan::WholeLogQuery& query, std::int64_t blockBytes,
                     std::int64_t held = trailscan::scan::ScanTuning().heldRecordBytes) {
    std::string report;
    trailscan::scan::ScanControl control;
    trailscan::scan::searchWholeLog(path, index, query, control,
                                    [&](std::string_view piece) { report += piece; },
                                    {blockBytes, 2, held});
    return report;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace trailscan::scan;
    using namespace trailscan::table;
    const auto [text, path] = fuzzing::splitTextAndLog(data, size, "whole-log-fuzz");

    static RecordTable table;
    trailscan::log::Channel channel;
    if (channel.open(path)) return 0;
    table.load(channel, 0);
    const std::int64_t blockBytes = size > 0 ? 64 + data[0] : 64;
    const std::size_t capacity = size > 1 ? std::size_t{data[1]} * 16 : kReportCapacity;
    const std::int64_t held = size > 2 ? std::int64_t{data[2]} * 4 : 0;

    if (channel.open(path)) return 0;
    trailscan::log::CountProgress progress;
    trailscan::log::CountTuning tuning;
    tuning.blockBytes = static_cast<std::size_t>(blockBytes) + 7;
    tuning.twoThreadsFrom = 0;
    trailscan::log::FieldIndex index;
    if (!trailscan::log::lineTotal(channel, progress, tuning, &index)) __builtin_trap();

    for (int number : {0, 1, 7, 22, 23, 10}) {
        const Selector selector = Selector::fromNumber(number);
        std::string goReport;
        runSearch(table, selector, text, goReport, capacity);
        const WholeLogQuery query{selector, text, table.endOfData(), capacity};
        if (wholeLog(path, nullptr, query, blockBytes) != goReport) __builtin_trap();
        if (wholeLog(path, &index, query, blockBytes, held) != goReport) __builtin_trap();
        const WholeLogQuery all{selector, text};
        if (wholeLog(path, nullptr, all, blockBytes) != wholeLog(path, &index, all, 1 << 20)) {
            __builtin_trap();
        }
    }
    // Record numbers the table holds whole list the same fields.
    const int records = table.endOfData();
    for (int r : {0, records / 2, records - 1}) {
        if (r < 0 || r >= records) continue;
        const std::string number = std::to_string(r);
        const WholeLogQuery query{Selector::recordNumber(), number};
        const std::string whole = wholeLog(path, &index, query, blockBytes);
        if (whole != recordNumberSearch(table, number)) __builtin_trap();
        if (whole != wholeLog(path, nullptr, query, blockBytes, held)) __builtin_trap();
    }
    return 0;
}
