#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <limits>
#include <string>
#include <string_view>

#include "trailscan/log/field_index.h"
#include "trailscan/log/source.h"
#include "trailscan/regex/field_pattern.h"
#include "trailscan/table/searches.h"

namespace trailscan::scan {

// The searches of "Go !" over every record of a log file instead of the table's 5001: the same
// reports, records formed by the same field rules (log/format.h), record indexes from 0 to the
// end of the file. Column and all-fields searches do not stop at a record whose slot 0 is
// empty: in a whole file such a record is a blank line, not the end of the data. Fields are
// matched and reported whole, where the table keeps the first 64 KiB of each.
//
// The file is read in blocks at file offsets on every core; a block is searched for the text
// first and only the records around a find are taken apart. Record indexes come from a field
// index (the open flow's count keeps one) or from counting the field ends of each block. A file
// cut or rewritten meanwhile ends the search with a line that says so.

struct WholeLogQuery {
    table::Selector selector;
    std::string text;  // log bytes, as the search box's text encodes
    // Only records below this index are searched (the first 5001 give the report of "Go !" on a
    // log whose first 5001 records all have a slot 0).
    std::int64_t recordLimit = std::numeric_limits<std::int64_t>::max();
    std::size_t capacity = table::kReportCapacity;
    // Bytes of a larger report before this one (several logs' reports in one): they count
    // against the capacity.
    std::size_t used = 0;
    // When set, a field matches this regular expression instead of holding `text`.
    const regex::FieldPattern* pattern = nullptr;
};

// Shared between a search on worker threads and whoever waits for it.
struct ScanControl {
    std::atomic<std::int64_t> bytesDone{0};  // bytes whose records are in the report so far
    std::atomic<bool> cancel{false};         // stops the search at its next block
    // Added to bytesDone: the bytes of the logs searched before this one, when one progress
    // counts several. Set before the search starts.
    std::int64_t bytesBefore = 0;
};

struct ScanTuning {
    std::int64_t blockBytes = std::int64_t{256} << 10;
    int threads = 0;  // 0: one per core
    // A record is held in memory up to about this size; a longer one is read from the file
    // field by field and a megabyte at a time, so no log, not even one without a line break,
    // fills the memory. Tests make it small.
    std::int64_t heldRecordBytes = std::int64_t{8} << 20;
    // Blocks of a compressed log, each of which inflates from the access point before it, up
    // to a megabyte of data that is not its own.
    std::int64_t compressedBlockBytes = std::int64_t{8} << 20;
};

// PatternLimit: a field took the regular expression past its match limit; the report holds
// the records before that one.
enum class ScanEnd { Complete, Cancelled, Changed, Unreadable, PatternLimit };

struct ScanOutcome {
    ScanEnd end = ScanEnd::Complete;
    std::int64_t fileSize = 0;    // the size searched, as it was at the start
    std::int64_t stoppedAt = 0;   // bytes whose records the report covers
    std::int64_t nextRecord = 0;  // the first record the report does not cover
    std::uint64_t matches = 0;    // hits, listed or not; 1 for a record number that names one
    std::uint64_t unlisted = 0;   // hits past the capacity: counted, not listed
    std::string error;            // why the file could not be read (Unreadable)
    // Why a compressed log's data ended before its file did (damaged, cut short); the report
    // ends with a line that says so, and the records before are searched.
    std::string damage;
};

// Receives the report in order, a piece at a time, from one thread at a time.
using ReportSink = std::function<void(std::string_view piece)>;

// Runs `query` over the log at `path`. `index` may be null, or one kept by the line count of
// the same file; an index of a file that has changed since is not used. The report ends with
// the capacity line when it passed its capacity (a record-number report that would pass it
// gives its heading and that line), and with a line that says where it stopped when it was
// cancelled or the file changed. Nothing is written when the file cannot be opened
// (Unreadable).
ScanOutcome searchWholeLog(const std::filesystem::path& path, const log::FieldIndex* index,
                           const WholeLogQuery& query, ScanControl& control, const ReportSink& sink,
                           const ScanTuning& tuning = {});
// The same over a log already open, such as the window's (a compressed one keeps its access
// points from the open flow's count).
ScanOutcome searchWholeLog(log::Source& source, const log::FieldIndex* index,
                           const WholeLogQuery& query, ScanControl& control, const ReportSink& sink,
                           const ScanTuning& tuning = {});

// The last line of a search that stopped early, for example
// "Stopped at 1.1 GiB of 4.0 GiB, record 4,411,023." or, at a pattern's limit,
// "The regular expression passed its match limit in record 4,411,023. Stopped at 1.1 GiB of
// 4.0 GiB."
std::string stoppedLine(const ScanOutcome& outcome);

// A field longer than this is matched against a regular expression on its first bytes only;
// the report says which records had such a field.
inline constexpr std::int64_t kPatternFieldBytes = std::int64_t{16} << 20;

// Shown under the heading when a record-number text is not a whole number.
inline constexpr std::string_view kBadWholeLogRecordNumber =
    "A record number is a whole number, 0 for the first record.";

}  // namespace trailscan::scan
