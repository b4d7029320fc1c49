// The record table's load and the searches on a full table of realistic records.
#include <benchmark/benchmark.h>

#include "bench/bench_logs.h"
#include "trailscan/table/searches.h"

namespace {

using trailscan::log::Channel;
using trailscan::table::RecordTable;

// A log of 5001 realistic lines; the table is full after a load.
std::filesystem::path fullTableLog() {
    static const auto path = [] {
        const auto dir = std::filesystem::temp_directory_path() / "trailscan-bench";
        std::filesystem::create_directories(dir);
        const auto file = dir / "X3full.log";
        std::string text;
        for (int n = 0; n < trailscan::table::kRecordCapacity; ++n) text += bench::logLine(n);
        std::FILE* out = std::fopen(file.c_str(), "wb");
        std::fwrite(text.data(), 1, text.size(), out);
        std::fclose(out);
        return file;
    }();
    return path;
}

RecordTable& loadedTable() {
    static RecordTable table;
    static const bool loaded = [] {
        Channel channel;
        channel.open(fullTableLog());
        return table.load(channel, 0).records == trailscan::table::kRecordCapacity;
    }();
    (void)loaded;
    return table;
}

void BM_LoadFullTable(benchmark::State& state) {
    RecordTable table;
    Channel channel;
    for (auto _ : state) {
        channel.open(fullTableLog());
        benchmark::DoNotOptimize(table.load(channel, 0));
    }
}
BENCHMARK(BM_LoadFullTable)->Unit(benchmark::kMillisecond);

void BM_ColumnSearch(benchmark::State& state) {
    const RecordTable& table = loadedTable();
    std::size_t size = 0;
    for (auto _ : state) {
        const auto report = trailscan::table::columnSearch(table, 1, "MARYAM");
        size = report.size();
        benchmark::DoNotOptimize(report.data());
    }
    state.counters["report_bytes"] = static_cast<double>(size);
}
BENCHMARK(BM_ColumnSearch)->Unit(benchmark::kMillisecond);

// Every field of every record matches an empty text: the largest report there is.
void BM_WorstAllFieldsReport(benchmark::State& state) {
    const RecordTable& table = loadedTable();
    std::size_t size = 0;
    for (auto _ : state) {
        const auto report = trailscan::table::allFieldsSearch(table, "");
        size = report.size();
        benchmark::DoNotOptimize(report.data());
    }
    state.counters["report_MB"] = static_cast<double>(size) / 1e6;
}
BENCHMARK(BM_WorstAllFieldsReport)->Unit(benchmark::kMillisecond);

void BM_DefaultQueryAndReport(benchmark::State& state) {
    const RecordTable& table = loadedTable();
    for (auto _ : state) {
        const auto text = trailscan::table::defaultQueryText(table);
        benchmark::DoNotOptimize(trailscan::table::columnSearch(table, 1, text.value_or("")));
    }
}
BENCHMARK(BM_DefaultQueryAndReport)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
