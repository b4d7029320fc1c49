#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace trailscan::folder {

// One log a list of paths gives: where it is, and the path shown for it in a report's heading.
struct LogEntry {
    std::filesystem::path path;
    std::string shown;       // the path as given, or the folder as given joined with the log's
                             // path inside it
    std::int64_t size = -1;  // as the listing saw it; -1 when it could not be seen
};

// A path that gave no log to search, and why: a missing path, a folder that cannot be read,
// a link back into a folder already listed, a FIFO or device named like a log.
struct ListingTrouble {
    std::string shown;
    std::string reason;
    bool failure = true;  // false for a note only: a folder reached again by a link
};

struct LogListing {
    std::vector<LogEntry> logs;
    std::vector<ListingTrouble> troubles;
    bool headed = false;  // more than one path, or a folder: each log's report gets a heading
};

// Whether a file name is a log's: it ends in ".log" or ".log.gz", in any case.
bool isLogName(std::string_view name);

// The logs `paths` give, in order: a path that is not a folder is a log whatever its name; a
// folder gives its logs and its sub-folders' logs, sorted by their path inside it. Links are
// followed, each folder at most once, so a link loop ends. Nothing is opened; a FIFO named
// like a log is a trouble, never a log.
LogListing listLogs(const std::vector<std::string>& paths);

// Bytes of all the logs of a listing that could be seen.
std::int64_t totalBytes(const LogListing& listing);

}  // namespace trailscan::folder
