#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "trailscan/folder/log_folder.h"
#include "trailscan/scan/whole_log.h"

namespace trailscan::folder {

// One whole-log search over every log of a listing, its reports in the listing's order: the
// logs are searched several at once, one core each (a log that is most of what is left, on
// every core), so a small log never waits behind a big one. With a headed listing each log's report
// is preceded by
// "==> PATH <==" and followed by an empty line; record numbers count within each log. The
// report's capacity holds for all the logs together: once passed, each later log's report is
// its capacity line only.

// A log whose search did not complete: it could not be read, changed meanwhile or passed the
// pattern's limit. `reason` is a phrase such as "the file changed while it was searched".
using LogTrouble = std::function<void(const LogEntry& log, const std::string& reason)>;

struct FolderOutcome {
    std::uint64_t matches = 0;
    int troubled = 0;        // logs reported to the trouble callback
    bool cancelled = false;  // the search stopped in log `logsDone` (its report says where)
    std::size_t logsDone = 0;
};

// `control.bytesDone` counts the bytes of all the logs searched so far; `onLog` (when set) hears
// which log, by its index in the listing, is searched next.
FolderOutcome searchLogs(const LogListing& listing, const scan::WholeLogQuery& query,
                         scan::ScanControl& control, const scan::ReportSink& sink,
                         const LogTrouble& trouble,
                         const std::function<void(std::size_t)>& onLog = {});

// "==> PATH <==" and the report's line break.
std::string headingLine(std::string_view shown);

}  // namespace trailscan::folder
