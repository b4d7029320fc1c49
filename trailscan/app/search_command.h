#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace trailscan::app {

// `trailscan --search FIELD TEXT PATH... [--regex] [--table]`: the whole-log report of one
// search on standard output, without a window. A PATH may be a folder, which gives its logs
// (its .log and .log.gz files, sub-folders' too); with more than one log each report
// has a heading "==> PATH <==" and an empty line after it.

struct SearchCommand {
    std::string field;       // user, date, time, site, ip, all or record
    std::u16string text;     // as typed; turned into the log's code page as the window does
    std::string typedBytes;  // the same as the command line gave it
    std::vector<std::string> paths;
    bool table = false;  // the first 5001 records with the table's rules: the report of "Go !"
    bool regex = false;  // TEXT is a regular expression
};

// Exit statuses: hits (or a record found), none, and bad arguments, a log that could not be
// read or searched to its end, or a report that could not be written (a full disk, say).
inline constexpr int kExitFound = 0;
inline constexpr int kExitNothing = 1;
inline constexpr int kExitTrouble = 2;

// The words after the program name, the typed text decoded by the caller: nothing when they do
// not hold `--search`; an error sentence in `error` when they hold it wrongly.
std::optional<SearchCommand> parseSearchCommand(const std::vector<std::string>& words,
                                                const std::vector<std::u16string>& typedWords,
                                                std::string& error);

// Writes the report to `out` as the log's bytes and returns the exit status; reasons for
// status 2 go to `err`, and progress too when `showProgress` is set. The search stops at the
// first write that fails; a closed pipe ends it quietly.
int runSearchCommand(const SearchCommand& command, std::FILE* out, std::FILE* err,
                     bool showProgress);

// The help lines of the command, for --help.
inline constexpr std::string_view kSearchCommandHelp =
    "Writes the report of one search over the whole log to standard output and exits; no "
    "window opens. FIELD is user, date, time, site, ip, all or record. Each PATH is a log or a "
    "folder, whose .log and .log.gz files (sub-folders' too) are searched in path order, each "
    "report after a line \"==> PATH <==\"; a .gz log is searched as the log it holds. With "
    "--regex TEXT is a regular expression; with "
    "--table only the first 5001 records are searched, as \"Go !\" searches them. Exit status 0 "
    "with hits, 1 without, 2 for bad arguments, a log that cannot be read (or a compressed one "
    "cut short or damaged) or a report that cannot be written.";

}  // namespace trailscan::app
