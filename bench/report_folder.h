#pragma once

// Generated folders of proxy logs for the report engine's benchmark: realistic agents, hosts,
// searches and sizes in the three layouts, and the same requests as one tab-separated file
// for a comparison tool.

#include <cstdint>
#include <filesystem>

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

// The log format of the tab-separated file, in the comparison tool's notation.
inline constexpr char kTsvLogFormat[] = "%d\\t%t\\t%h\\t%e\\t%u\\t%v\\t%m\\t%U\\t%s\\t%b\\t%M";

}  // namespace bench
