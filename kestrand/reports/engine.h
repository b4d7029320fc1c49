#pragma once

// The report engine: reads a folder of proxy logs once and answers the seven report kinds of
// the settings dialog. No Qt. The window, the command line and the tests all go through
// run() and the writers below; the JSON written by writeJson is the contract between them.

#include <array>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "kestrand/reports/result.h"

namespace kestrand::reports {

// The report kinds, numbered as the dialog's check boxes number them.
enum class Kind : int {
    Addresses = 0,
    Windows = 1,
    Browsers = 2,
    Hours = 3,
    Pages = 4,
    Country = 5,
    Searches = 6,
};
inline constexpr int kKindCount = 7;

// A day as YYYY-MM-DD, compared as a number (year * 10000 + month * 100 + day).
using Day = int;
// "2024-03-01" -> 20240301; nothing for a text that is not a valid date.
std::optional<Day> parseDay(const std::string& text);

struct Options {
    std::filesystem::path folder;
    // More folders, and summary files (written by --summary), read with the folder; a report
    // of them all is the report of one run over all their logs.
    std::vector<std::filesystem::path> more;
    std::array<bool, kKindCount> kinds{true, true, true, true, true, true, true};
    std::optional<Day> from;  // inclusive
    std::optional<Day> to;    // inclusive
    std::string homeCountry = "IR";
    // The time zone of every time in the report, a name of the tz database ("Asia/Tehran",
    // "UTC"); empty takes the machine's (TZ where it names one).
    std::string timeZone;
    // A country database (.mmdb); empty takes the installed default, a missing default means
    // report 5 sorts by top-level domain only.
    std::filesystem::path geoip;
    // uap-core's regexes.yaml; empty takes the installed default.
    std::filesystem::path agentRegexes;
    // When not empty, only requests from this client address count (the per-user detail).
    std::string onlyAddress;
    // Worker threads; 0 takes one per core.
    unsigned threads = 0;
    // Bytes of a plain log one worker takes at a time; 0 takes the default (16 MiB).
    std::uint64_t chunkBytes = 0;
    // What the JSON names as its writer.
    std::string generator = "kestrand";
    // The folder of the files' summaries kept between runs; empty keeps none and reads every
    // file anew. The least recently used go first when they take more than cacheBytes.
    std::filesystem::path cache;
    std::uint64_t cacheBytes = std::uint64_t{1} << 30;
    // The most viewed pages a finished report keeps by name, so that the report after a log
    // grew counts only the new lines; the rest are kept as a bound on their views.
    std::size_t standingPages = 4096;
};

// $XDG_CACHE_HOME/kestrand, else ~/.cache/kestrand; empty when neither can be found.
std::filesystem::path defaultCacheFolder();

struct Progress {
    std::uint64_t bytesRead = 0;
    std::uint64_t bytesTotal = 0;
    std::size_t filesRead = 0;
    std::size_t filesTotal = 0;
};

// Cancel is checked between blocks; progress is called from a worker a few times a second
// (it must be thread-safe and quick).
struct Control {
    const std::atomic<bool>* cancel = nullptr;
    std::function<void(const Progress&)> progress;
};

// Runs the reports asked for over the folder. A folder that cannot be read, a time zone that
// the tz database does not have, or a country database named in the options that cannot be
// opened, gives a Result whose error says why; a cancelled run gives one whose cancelled flag
// is set.
Result run(const Options& options, const Control& control = {});

// The writers. JSON is the contract (UTF-8, the keys of the README); CSV is one section per
// report, each headed by its title line.
std::string writeJson(const Result& result);
std::string writeCsv(const Result& result);

// The title of a report kind as the CSV sections head it ("Users' addresses").
std::string kindTitle(Kind kind);

}  // namespace kestrand::reports
