#pragma once

// `kestrand --report FOLDER [options] -o FILE`: the reports of a log folder written to a file,
// without a window or a display.

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kestrand/reports/engine.h"

namespace kestrand::app {

enum class ReportOutput { Json, Csv, Html, Summary };

struct ReportCommand {
    reports::Options options;  // the folder, and what the other options ask for
    std::filesystem::path output;
    ReportOutput kind = ReportOutput::Json;  // by the output's ending
    std::string error;                       // why the words are wrong; empty when they are not
    bool summary = false;                    // --summary rather than --report
    bool cacheChosen = false;                // --cache or --no-cache was given
    bool noCache = false;
};

// Exit statuses: a request was read; none could be; bad arguments, or an output that cannot
// be written.
inline constexpr int kExitRead = 0;
inline constexpr int kExitNothingRead = 1;
inline constexpr int kExitBadArguments = 2;

// The words after the program name: nothing when they ask for no report, or for help or the
// version; else the command, with `error` set when the words are wrong.
std::optional<ReportCommand> parseReportCommand(const std::vector<std::string>& words);

// Checks the output, runs the reports and writes them; returns the exit status. Reasons go to
// `err`, and a progress line too when `showProgress` is set.
int runReportCommand(const ReportCommand& command, std::FILE* err, bool showProgress);

// The options the command takes, each named in the help below.
std::vector<std::string_view> reportOptionNames();

inline constexpr char kReportCommandHelp[] =
    "Reports without a window:\n"
    "  --report PATH...    read every .log and .log.gz below each folder, and the\n"
    "                      summary files (.kestrand) among the PATHs\n"
    "  --summary FOLDER... -o FILE.kestrand\n"
    "                      write the summary of the folders' logs, for a report\n"
    "                      elsewhere (--from, --to and --tz as for reports)\n"
    "  --kinds 0,1,...     the reports: 0 addresses, 1 Windows versions, 2 browsers,\n"
    "                      3 hours, 4 pages, 5 traffic inside the country, 6 searches\n"
    "                      (default: all)\n"
    "  --from YYYY-MM-DD   only requests on or after that day\n"
    "  --to YYYY-MM-DD     only requests on or before that day\n"
    "  --tz ZONE           the time zone of the reports, such as Asia/Tehran or UTC\n"
    "                      (default: the machine's, TZ where set)\n"
    "  --country XX        the home country of report 5 (default IR)\n"
    "  --geoip FILE        another country database (.mmdb)\n"
    "  --address A         only the requests of client address A\n"
    "  --threads N         workers (default: one per core)\n"
    "  --cache DIR         keep what was read in DIR (default: $XDG_CACHE_HOME/kestrand,\n"
    "                      else ~/.cache/kestrand)\n"
    "  --no-cache          read every file anew and keep nothing\n"
    "  --cache-size N      the cache's bound, such as 512M or 2G (default 1G)\n"
    "  -o FILE             write FILE.json, FILE.csv or FILE.html\n"
    "Exit status: 0 when a request was read, 1 when none could be, 2 for bad arguments or\n"
    "an output file that cannot be written.\n"
    "\n"
    "Country data: the geo-whois-asn-country database of the ip-location-db project (CC0),\n"
    "built from the WHOIS and ASN data of the five regional Internet registries (AFRINIC,\n"
    "APNIC, ARIN, LACNIC, RIPE NCC), provided by the Number Resource Organization under\n"
    "CC BY 4.0 (nro.net).\n";

}  // namespace kestrand::app
