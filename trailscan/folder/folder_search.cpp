#include "trailscan/folder/folder_search.h"

#include <algorithm>

#include "common/number_text.h"
#include "trailscan/log/source.h"

namespace trailscan::folder {

using scan::ScanEnd;
using scan::ScanOutcome;
using table::kLineBreak;

std::string headingLine(std::string_view shown) {
    std::string line = "==> ";
    line += shown;
    line += " <==";
    line += kLineBreak;
    return line;
}

FolderOutcome searchLogs(const LogListing& listing, const scan::WholeLogQuery& query,
                         scan::ScanControl& control, const scan::ReportSink& sink,
                         const LogTrouble& trouble, const std::function<void(std::size_t)>& onLog) {
    FolderOutcome outcome;
    std::size_t written = 0;
    const scan::ReportSink counted = [&](std::string_view piece) {
        written += piece.size();
        sink(piece);
    };
    std::int64_t before = 0;
    for (const LogEntry& log : listing.logs) {
        if (control.cancel.load()) {
            outcome.cancelled = true;
            break;
        }
        if (onLog) {
            onLog(outcome.logsDone);
        }
        control.bytesBefore = before;
        // An unreadable log gets no heading: it is named to the trouble callback only.
        bool headed = !listing.headed;
        const scan::ReportSink piece = [&](std::string_view bytes) {
            if (!headed) {
                headed = true;
                counted(headingLine(log.shown));
            }
            counted(bytes);
        };
        scan::WholeLogQuery logQuery = query;
        logQuery.used = std::min(written, query.capacity);
        const ScanOutcome searched =
            scan::searchWholeLog(log.path, nullptr, logQuery, control, piece);
        outcome.matches += searched.matches;
        switch (searched.end) {
            case ScanEnd::Complete:
                break;
            case ScanEnd::Cancelled:
                outcome.cancelled = true;
                break;
            case ScanEnd::Unreadable:
                ++outcome.troubled;
                trouble(log, searched.error);
                break;
            case ScanEnd::Changed:
                ++outcome.troubled;
                trouble(log, "the file changed while it was searched");
                break;
            case ScanEnd::PatternLimit:
                ++outcome.troubled;
                trouble(log, "the regular expression passed its match limit in record " +
                                 common::grouped(static_cast<std::uint64_t>(searched.nextRecord)));
                break;
        }
        if (!searched.damage.empty() && searched.end != ScanEnd::Unreadable) {
            ++outcome.troubled;
            trouble(log, searched.damage + "; the records before it were searched");
        }
        if (listing.headed && searched.end != ScanEnd::Unreadable) {
            if (!headed) {
                headed = true;  // a log without hits still gets its heading
                counted(headingLine(log.shown));
            }
            counted(kLineBreak);
        }
        // Progress goes by the files' own bytes, compressed or not.
        before += log::isCompressedName(log.path.filename().string())
                      ? std::max<std::int64_t>(log.size, 0)
                      : std::max<std::int64_t>(searched.fileSize, 0);
        if (outcome.cancelled) {
            break;
        }
        ++outcome.logsDone;
    }
    return outcome;
}

}  // namespace trailscan::folder
