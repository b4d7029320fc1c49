// kestrand's cache and summaries over a generated folder of 30 daily logs (4 GB, every layout,
// in the page cache), each figure measured in the same run as the one it is held against:
// - the first report (an empty cache) and the second (nothing changed), with their JSON
//   compared;
// - the report after today's log grew by 100 MB, next to a report without the cache over
//   those 100 MB alone;
// - a week of the folder from the cache;
// - the folder summarized in three parts on "three machines", the three summaries merged;
// - the cache's size against the logs'.
// Set TS_BENCH_DIR to keep the generated folder somewhere roomy; TS_SUMMARY_BENCH_MB sets its
// size (default 4096).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "bench/report_folder.h"
#include "kestrand/reports/engine.h"
#include "kestrand/reports/summary.h"

namespace {

namespace fs = std::filesystem;
namespace reports = kestrand::reports;

std::uint64_t folderBytes() {
    if (const char* mb = std::getenv("TS_SUMMARY_BENCH_MB")) {
        return std::strtoull(mb, nullptr, 10) << 20;
    }
    return std::uint64_t{4} << 30;
}

const bench::DailyFolder& daily() {
    static const bench::DailyFolder generated = bench::generatedDailyFolder(folderBytes(), 200000);
    return generated;
}

fs::path scratch(const std::string& name) {
    const fs::path path = fs::temp_directory_path() / ("kestrand-summary-bench-" + name);
    return path;
}

void warmUp(const fs::path& folder) {
    const std::string command = "cat '" + folder.string() + "'/* > /dev/null";
    if (std::system(command.c_str()) != 0) {
        std::abort();
    }
}

reports::Options optionsFor(const fs::path& folder, const fs::path& cache) {
    reports::Options options;
    options.folder = folder;
    options.timeZone = "UTC";
    options.cache = cache;
    options.cacheBytes = std::uint64_t{4} << 30;
    return options;
}

// The JSON without the line that names the folders read.
std::string withoutFolder(std::string json) {
    const std::size_t at = json.find("\"folder\":");
    if (at != std::string::npos) {
        json.erase(at, json.find('\n', at) - at);
    }
    return json;
}

double seconds(const std::chrono::steady_clock::time_point& start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

const std::string& coldJson() {
    static const std::string json = [] {
        warmUp(daily().folder);
        return reports::writeJson(reports::run(optionsFor(daily().folder, {})));
    }();
    return json;
}

// First and second report, pair by pair: the second over the cache the first filled.
void BM_FirstThenSecond(benchmark::State& state) {
    const fs::path cache = scratch("cache");
    warmUp(daily().folder);
    double first = 0;
    double second = 0;
    for (auto _ : state) {
        fs::remove_all(cache);
        auto start = std::chrono::steady_clock::now();
        const reports::Result a = reports::run(optionsFor(daily().folder, cache));
        const double one = seconds(start);
        start = std::chrono::steady_clock::now();
        const reports::Result b = reports::run(optionsFor(daily().folder, cache));
        const double two = seconds(start);
        first += one;
        second += two;
        if (reports::writeJson(b) != reports::writeJson(a) || b.filesFromCache != 30) {
            state.SkipWithError("the second report differs from the first");
        }
        state.SetIterationTime(two);
    }
    const auto n = static_cast<double>(state.iterations());
    state.counters["first_s"] = first / n;
    state.counters["second_s"] = second / n;
    state.counters["second/first_%"] = 100 * second / first;
    std::uint64_t cacheBytes = 0;
    for (const auto& entry : fs::directory_iterator(cache)) {
        cacheBytes += entry.file_size();
    }
    state.counters["cache_MB"] = static_cast<double>(cacheBytes) / 1e6;
    state.counters["cache/logs_%"] =
        100 * static_cast<double>(cacheBytes) / static_cast<double>(daily().bytes);
    if (reports::writeJson(reports::run(optionsFor(daily().folder, cache))) != coldJson()) {
        state.SkipWithError("the cached report differs from one without the cache");
    }
}
BENCHMARK(BM_FirstThenSecond)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

// Today's log grows by 100 MB between two reports; the same 100 MB alone without the cache.
void BM_GrownBy100MB(benchmark::State& state) {
    const fs::path cache = scratch("cache-grown");
    fs::remove_all(cache);
    const fs::path today = daily().files.back();
    const std::uint64_t size = fs::file_size(today);
    const std::string more = bench::moreLinesOfTheLastDay(daily(), std::uint64_t{100} << 20);
    const fs::path alone = scratch("alone");
    fs::remove_all(alone);
    fs::create_directories(alone);
    std::ofstream(alone / "today.log", std::ios::binary) << more;
    reports::run(optionsFor(daily().folder, cache));
    double grown = 0;
    double cold = 0;
    for (auto _ : state) {
        std::ofstream(today, std::ios::binary | std::ios::app) << more;
        auto start = std::chrono::steady_clock::now();
        const reports::Result result = reports::run(optionsFor(daily().folder, cache));
        const double one = seconds(start);
        if (result.filesGrown != 1 || result.filesFromCache != 29) {
            state.SkipWithError("the grown log was not read on from where it ended");
        }
        fs::resize_file(today, size);
        // Back to the folder as the cache knows it: the shrunk log is read anew once.
        reports::run(optionsFor(daily().folder, cache));
        start = std::chrono::steady_clock::now();
        reports::run(optionsFor(alone, {}));
        const double two = seconds(start);
        grown += one;
        cold += two;
        state.SetIterationTime(one);
    }
    const auto n = static_cast<double>(state.iterations());
    state.counters["grown_s"] = grown / n;
    state.counters["cold_100MB_s"] = cold / n;
    state.counters["grown-cold_s"] = (grown - cold) / n;
    fs::remove_all(alone);
}
BENCHMARK(BM_GrownBy100MB)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

// A week of the folder from a full cache, a week not asked for before each time: no log is
// opened, and no report of that week is kept yet.
void BM_WeekFromTheCache(benchmark::State& state) {
    const fs::path cache = scratch("cache-week");
    fs::remove_all(cache);
    reports::run(optionsFor(daily().folder, cache));
    int first = 1;
    for (auto _ : state) {
        reports::Options options = optionsFor(daily().folder, cache);
        char from[32];
        char to[32];
        std::snprintf(from, sizeof from, "2024-01-%02d", first);
        std::snprintf(to, sizeof to, "2024-01-%02d", first + 6);
        first += 3;
        options.from = reports::parseDay(from);
        options.to = reports::parseDay(to);
        const reports::Result result = reports::run(options);
        if (result.filesRead + result.filesGrown != 0 || result.totals.requests == 0) {
            state.SkipWithError("a log was read");
        }
    }
}
BENCHMARK(BM_WeekFromTheCache)->Unit(benchmark::kMillisecond)->Iterations(5);

// Three "machines" each summarize a third of the folder; one merges the three summaries.
void BM_MergeThreeSummaries(benchmark::State& state) {
    std::vector<fs::path> summaries;
    for (int part = 0; part < 3; ++part) {
        const fs::path machine = scratch("machine" + std::to_string(part));
        fs::remove_all(machine);
        fs::create_directories(machine);
        for (int day = part * 10; day < part * 10 + 10; ++day) {
            const fs::path file = daily().files[static_cast<std::size_t>(day)];
            fs::create_symlink(file, machine / file.filename());
        }
        const fs::path summary = scratch("part" + std::to_string(part) + ".kestrand");
        std::string error;
        if (!reports::writeSummary(optionsFor(machine, {}), {}, summary, error)) {
            state.SkipWithError(error.c_str());
            return;
        }
        summaries.push_back(summary);
    }
    reports::Options options = optionsFor(summaries[0], {});
    options.more = {summaries[1], summaries[2]};
    const std::string expected = withoutFolder(coldJson());  // before the clock runs
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const reports::Result result = reports::run(options);
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        if (!result.fromStanding || withoutFolder(reports::writeJson(result)) != expected) {
            state.SkipWithError("the merged report differs from one run over the folder");
        }
    }
    std::uint64_t bytes = 0;
    for (const fs::path& summary : summaries) {
        bytes += fs::file_size(summary);
    }
    state.counters["summaries_MB"] = static_cast<double>(bytes) / 1e6;
}
BENCHMARK(BM_MergeThreeSummaries)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
