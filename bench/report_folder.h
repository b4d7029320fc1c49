#pragma once

// Generated folders of proxy logs for the report engine's benchmark: realistic agents, hosts,
// searches and sizes in the three layouts of the old proxy, and the same requests as one
// tab-separated file for a comparison tool; and Squid logs of the same requests.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace bench {

struct ReportFolder {
    std::filesystem::path folder;  // the logs
    std::filesystem::path tsv;     // the same requests, tab-separated
    std::uint64_t bytes = 0;       // of the logs
    std::uint64_t requests = 0;
};

// A folder of about `bytes` bytes whose page URIs are drawn from `distinctPages` paths,
// written once into $TS_BENCH_DIR (else the temp folder) and reused.
ReportFolder generatedReportFolder(std::uint64_t bytes, std::uint64_t distinctPages, bool withTsv);

// One Squid log in its native format, about `bytes` long, in a folder of its own under
// $TS_BENCH_DIR/squid/ (else the temp folder), written once and reused. The same generated
// requests as the folder above, a share of them CONNECT tunnels, refused or cache hits.
struct SquidLog {
    std::filesystem::path folder;
    std::filesystem::path file;
    std::uint64_t bytes = 0;
    std::uint64_t requests = 0;
};
SquidLog generatedSquidLog(std::uint64_t bytes, std::uint64_t distinctPages);

// A folder of 30 daily logs, about `bytes` in all, of every layout in turn: the old proxy's
// two comma orders, W3C, Squid's native and combined formats. Days are UTC (every layout
// reads them as the same days with --tz UTC). Written once into $TS_BENCH_DIR/daily/.
struct DailyFolder {
    std::filesystem::path folder;
    std::vector<std::filesystem::path> files;  // by day
    std::uint64_t bytes = 0;
};
DailyFolder generatedDailyFolder(std::uint64_t bytes, std::uint64_t distinctPages);

// Lines of the day after the folder's last, in that file's layout, about `bytes` long:
// what a log being written gains.
std::string moreLinesOfTheLastDay(const DailyFolder& folder, std::uint64_t bytes);

// Squid's native format in the comparison tool's notation.
inline constexpr char kSquidLogFormat[] = "%x.%^ %~%L %h %^/%s %b %m %U %e %^ %M";

// The log format of the tab-separated file, in the comparison tool's notation.
inline constexpr char kTsvLogFormat[] = "%d\\t%t\\t%h\\t%e\\t%u\\t%v\\t%m\\t%U\\t%s\\t%b\\t%M";

}  // namespace bench
