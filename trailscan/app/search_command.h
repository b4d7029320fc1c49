#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace trailscan::app {

// `trailscan --search FIELD TEXT FILE [--table]`: the whole-log report of one search on
// standard output, without a window.

struct SearchCommand {
    std::string field;       // user, date, time, site, ip, all or record
    std::u16string text;     // as typed; turned into the log's code page as the window does
    std::string typedBytes;  // the same as the command line gave it
    std::string file;
    bool table = false;  // the first 5001 records with the table's rules: the report of "Go !"
};

// Exit statuses: hits (or a record found), none, and bad arguments, an unreadable file or a
// report that could not be written (a full disk, say).
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
    "window opens. FIELD is user, date, time, site, ip, all or record. With --table only the "
    "first 5001 records are searched, as \"Go !\" searches them. Exit status 0 with hits, 1 "
    "without, 2 for bad arguments, a file that cannot be read or a report that cannot be "
    "written.";

}  // namespace trailscan::app
