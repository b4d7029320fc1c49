// The whole-log search of a 4 GB log in the page cache, next to `grep -c -F TEXT FILE` and
// `rg -c -F TEXT FILE` for the same text in the same run: a column search for a rare text
// (about 100 records), for one in about a tenth and one in about half of the records, and an
// all-fields search for the rare text. Then a record-number search for the last record with
// the open flow's field index, and the open flow's count with and without keeping that index.
// Then regular expressions against `rg -c` and `grep -c -E`, and a folder of 30 logs. Compare the
// rows' times; TS_BENCH_GB sets another size.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "bench/bench_logs.h"
#include "trailscan/folder/folder_search.h"
#include "trailscan/folder/log_folder.h"
#include "trailscan/log/channel.h"
#include "trailscan/log/format.h"
#include "trailscan/log/line_count.h"
#include "trailscan/regex/field_pattern.h"
#include "trailscan/scan/whole_log.h"

namespace {

using trailscan::table::Selector;

const std::filesystem::path& bigLog() {
    static const auto path = [] {
        const auto log = bench::generatedLog(bench::bigLogBytes());
        bench::warm(log);
        return log;
    }();
    return path;
}

// The searched texts of bench::logLine: the URL of records 123456, 1234560 to 1234569 and
// 12345600 to 12345699 (111 records in a 4 GB log); the minute or hour 22 (8.9 %); the
// addresses 192.168.1.x, 192.168.1x.x and 192.168.1xx.x (55.5 %).
struct Case {
    const char* text;
    Selector selector;
};
constexpr std::uint64_t kDayBytes = std::uint64_t{140} * 1000 * 1000;
constexpr Case kRare{"page123456", Selector::forColumn(19)};
constexpr Case kTenth{"22:", Selector::forColumn(6)};
constexpr Case kHalf{"192.168.1", Selector::forColumn(0)};
constexpr Case kRareAllFields{"page123456", Selector::allFields()};

void wholeLog(benchmark::State& state, const Case& c) {
    const auto& path = bigLog();
    std::uint64_t matches = 0;
    std::size_t reportBytes = 0;
    for (auto _ : state) {
        trailscan::scan::ScanControl control;
        reportBytes = 0;
        const auto outcome = trailscan::scan::searchWholeLog(
            path, nullptr, {c.selector, c.text}, control,
            [&](std::string_view piece) { reportBytes += piece.size(); });
        matches = outcome.matches;
    }
    state.counters["matches"] = static_cast<double>(matches);
    state.counters["report_MB"] = static_cast<double>(reportBytes) / 1e6;
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(std::filesystem::file_size(path)));
}

// Runs `command` with its output to a file once an iteration; false when it did not start.
// Not to /dev/null: grep notices that and stops at the first match.
bool runTool(benchmark::State& state, const std::string& command,
             const std::filesystem::path& near) {
    const std::string line = command + " > '" + (near.parent_path() / "count.txt").string() + "'";
    for (auto _ : state) {
        if (std::system(line.c_str()) == -1) {
            state.SkipWithError("the tool did not start");
            return false;
        }
    }
    return true;
}

void tool(benchmark::State& state, const char* program, const Case& c) {
    if (!runTool(state,
                 std::string(program) + " -c -F '" + c.text + "' '" + bigLog().string() + "'",
                 bigLog())) {
        return;
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(std::filesystem::file_size(bigLog())));
}

bool installed(const char* program) {
    return std::system((std::string("command -v ") + program + " > /dev/null 2>&1").c_str()) == 0;
}

#define TS_CASE(name, c)                                                                       \
    void BM_WholeLog_##name(benchmark::State& state) { wholeLog(state, c); }                   \
    BENCHMARK(BM_WholeLog_##name)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime(); \
    void BM_Grep_##name(benchmark::State& state) { tool(state, "grep", c); }                   \
    BENCHMARK(BM_Grep_##name)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();     \
    void BM_Rg_##name(benchmark::State& state) {                                               \
        if (!installed("rg")) {                                                                \
            state.SkipWithError("rg is not installed");                                        \
            return;                                                                            \
        }                                                                                      \
        tool(state, "rg", c);                                                                  \
    }                                                                                          \
    BENCHMARK(BM_Rg_##name)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

TS_CASE(RareColumn, kRare)
TS_CASE(TenthColumn, kTenth)
TS_CASE(HalfColumn, kHalf)
TS_CASE(RareAllFields, kRareAllFields)

// Regular expressions, next to `rg -c PATTERN` and `grep -c -E PATTERN`: the site column for
// mail hosts of two domains (none of the generated sites is one: a rare pattern), every field
// for a three-digit .exe (none), and the URL column for a page number of 123450 to 123459 and
// the ten-times longer numbers that begin so (1,111 records).
struct PatternCase {
    const char* pattern;
    Selector selector;
};
constexpr PatternCase kMailHosts{"mail\\.[a-z]+\\.(ir|com)",
                                 Selector::forColumn(trailscan::log::kColumnSite)};
constexpr PatternCase kExeAllFields{"[0-9]{3}\\.exe", Selector::allFields()};
constexpr PatternCase kPages{"page12345[0-9]+\\.html", Selector::forColumn(19)};

void wholeLogPattern(benchmark::State& state, const PatternCase& c) {
    const auto& path = bigLog();
    std::string error;
    const auto pattern = trailscan::regex::FieldPattern::compile(c.pattern, error);
    if (!pattern) {
        state.SkipWithError(error.c_str());
        return;
    }
    std::uint64_t matches = 0;
    for (auto _ : state) {
        trailscan::scan::ScanControl control;
        trailscan::scan::WholeLogQuery query{c.selector, c.pattern};
        query.pattern = pattern.get();
        matches =
            trailscan::scan::searchWholeLog(path, nullptr, query, control, [](std::string_view) {
            }).matches;
    }
    state.counters["matches"] = static_cast<double>(matches);
    state.counters["blocks_scanned"] = pattern->scansBlocks() ? 1 : 0;
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(std::filesystem::file_size(path)));
}

void patternTool(benchmark::State& state, const char* command, const PatternCase& c) {
    if (!installed(command)) {
        state.SkipWithError("the tool is not installed");
        return;
    }
    const std::string line = std::string(command) + (std::string(command) == "grep" ? " -E" : "") +
                             " -c '" + c.pattern + "' '" + bigLog().string() + "'";
    if (!runTool(state, line, bigLog())) {
        return;
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(std::filesystem::file_size(bigLog())));
}

#define TS_PATTERN_CASE(name, c)                                                                  \
    void BM_WholeLogPattern_##name(benchmark::State& state) { wholeLogPattern(state, c); }        \
    BENCHMARK(BM_WholeLogPattern_##name)                                                          \
        ->Unit(benchmark::kMillisecond)                                                           \
        ->MinTime(2.0)                                                                            \
        ->UseRealTime();                                                                          \
    void BM_GrepPattern_##name(benchmark::State& state) { patternTool(state, "grep", c); }        \
    BENCHMARK(BM_GrepPattern_##name)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime(); \
    void BM_RgPattern_##name(benchmark::State& state) { patternTool(state, "rg", c); }            \
    BENCHMARK(BM_RgPattern_##name)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

TS_PATTERN_CASE(MailHosts, kMailHosts)
TS_PATTERN_CASE(ExeAllFields, kExeAllFields)
TS_PATTERN_CASE(Pages, kPages)

// A month of logs: a folder of 30 logs of 140 MB (the generated lines, numbered on from log
// to log), a rare literal over all of them next to `rg -c -F` and `grep -r -c -F` over the
// same folder.
const std::filesystem::path& monthFolder() {
    static const auto folder = [] {
        const auto dir = bench::generatedLog(1 << 20).parent_path() / "month";
        std::filesystem::create_directories(dir);
        std::uint64_t n = 0;
        for (int day = 1; day <= 30; ++day) {
            const auto path = dir / ("X30101" + std::to_string(10 + day) + ".log");
            std::error_code error;
            if (std::filesystem::exists(path, error) &&
                std::filesystem::file_size(path, error) >= kDayBytes) {
                continue;  // written by an earlier run
            }
            std::ofstream out(path, std::ios::binary | std::ios::trunc);
            std::string chunk;
            for (std::uint64_t written = 0; written < kDayBytes; ++n) {
                chunk += bench::logLine(n);
                if (chunk.size() >= (1u << 20)) {
                    out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
                    written += chunk.size();
                    chunk.clear();
                }
            }
        }
        for (const auto& entry : std::filesystem::directory_iterator(dir))
            bench::warm(entry.path());
        return dir;
    }();
    return folder;
}

void BM_Folder_Rare(benchmark::State& state) {
    const auto listing = trailscan::folder::listLogs({monthFolder().string()});
    std::uint64_t matches = 0;
    for (auto _ : state) {
        trailscan::scan::ScanControl control;
        matches = trailscan::folder::searchLogs(
                      listing, {kRare.selector, kRare.text}, control, [](std::string_view) {},
                      [](const trailscan::folder::LogEntry&, const std::string&) {})
                      .matches;
    }
    state.counters["logs"] = static_cast<double>(listing.logs.size());
    state.counters["matches"] = static_cast<double>(matches);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            trailscan::folder::totalBytes(listing));
}
BENCHMARK(BM_Folder_Rare)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

void folderTool(benchmark::State& state, const std::string& command) {
    runTool(state, command + " '" + kRare.text + "' '" + monthFolder().string() + "'",
            monthFolder());
}
void BM_FolderRg_Rare(benchmark::State& state) { folderTool(state, "rg -c -F"); }
BENCHMARK(BM_FolderRg_Rare)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
void BM_FolderGrep_Rare(benchmark::State& state) { folderTool(state, "grep -r -c -F"); }
BENCHMARK(BM_FolderGrep_Rare)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

std::optional<std::int64_t> count(trailscan::log::FieldIndex* index);

// As the window searches: with the field index its open flow's count kept, so the blocks need
// no count of their own.
void wholeLogIndexed(benchmark::State& state, const Case& c) {
    static trailscan::log::FieldIndex index;
    if (index.empty() && !count(&index)) {
        state.SkipWithError("cannot count the generated log");
        return;
    }
    for (auto _ : state) {
        trailscan::scan::ScanControl control;
        benchmark::DoNotOptimize(trailscan::scan::searchWholeLog(
            bigLog(), &index, {c.selector, c.text}, control, [](std::string_view) {}));
    }
}
void BM_WholeLogIndexed_RareColumn(benchmark::State& state) { wholeLogIndexed(state, kRare); }
BENCHMARK(BM_WholeLogIndexed_RareColumn)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0)
    ->UseRealTime();
void BM_WholeLogIndexed_HalfColumn(benchmark::State& state) { wholeLogIndexed(state, kHalf); }
BENCHMARK(BM_WholeLogIndexed_HalfColumn)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0)
    ->UseRealTime();

std::optional<std::int64_t> count(trailscan::log::FieldIndex* index) {
    trailscan::log::Channel channel;
    if (channel.open(bigLog())) {
        return std::nullopt;
    }
    trailscan::log::CountProgress progress;
    return trailscan::log::lineTotal(channel, progress, {}, index);
}

// The open flow's count as it was, and as it is now with the field index.
void BM_CountWithoutIndex(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(count(nullptr));
    }
}
BENCHMARK(BM_CountWithoutIndex)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

void BM_CountWithIndex(benchmark::State& state) {
    trailscan::log::FieldIndex index;
    for (auto _ : state) {
        benchmark::DoNotOptimize(count(&index));
    }
    state.counters["marks"] = static_cast<double>(index.marks.size());
}
BENCHMARK(BM_CountWithIndex)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

// The last record, found with the index the open flow's count keeps.
void BM_RecordNumberLast(benchmark::State& state) {
    trailscan::log::FieldIndex index;
    const auto lines = count(&index);
    if (!lines) {
        state.SkipWithError("cannot count the generated log");
        return;
    }
    const std::string last = std::to_string(*lines - 2);
    std::string report;
    for (auto _ : state) {
        report.clear();
        trailscan::scan::ScanControl control;
        trailscan::scan::searchWholeLog(bigLog(), &index, {Selector::recordNumber(), last}, control,
                                        [&](std::string_view piece) { report += piece; });
    }
    state.counters["report_bytes"] = static_cast<double>(report.size());
}
BENCHMARK(BM_RecordNumberLast)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
