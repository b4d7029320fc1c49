// A compressed log of 1 GiB (the generated lines, about 100 MB as .gz, written once with
// `gzip -6`), in the page cache: a rare literal searched in it from a fresh start next to
// `zgrep -c -F`; the open flow's count of it (which also keeps its access points) next to
// `gzip -dc > /dev/null`; and a step of the record browser to any place in it. Compare the rows'
// times; TS_BENCH_GZ_GB sets another size.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "bench/bench_logs.h"
#include "trailscan/log/channel.h"
#include "trailscan/log/line_count.h"
#include "trailscan/scan/whole_log.h"

namespace {

using trailscan::table::Selector;

constexpr const char* kRare = "page123456";

std::uint64_t plainBytes() {
    const char* gb = std::getenv("TS_BENCH_GZ_GB");
    return static_cast<std::uint64_t>((gb != nullptr ? std::atof(gb) : 1.0) * (1ULL << 30));
}

const std::filesystem::path& compressedLog() {
    static const auto path = [] {
        const auto plain = bench::generatedLog(plainBytes());
        auto gz = plain;
        gz += ".gz";
        std::error_code error;
        if (!std::filesystem::exists(gz, error)) {
            const std::string line = "gzip -6 -c '" + plain.string() + "' > '" + gz.string() + "'";
            if (std::system(line.c_str()) != 0) {
                std::filesystem::remove(gz, error);
            }
        }
        bench::warm(gz);
        return gz;
    }();
    return path;
}

bool run(benchmark::State& state, const std::string& line) {
    for (auto _ : state) {
        if (std::system(line.c_str()) == -1) {
            state.SkipWithError("the tool did not start");
            return false;
        }
    }
    return true;
}

void BM_Compressed_RareColumn(benchmark::State& state) {
    const auto& gz = compressedLog();  // written before the first timed run
    std::uint64_t matches = 0;
    for (auto _ : state) {
        trailscan::scan::ScanControl control;
        matches = trailscan::scan::searchWholeLog(gz, nullptr, {Selector::forColumn(19), kRare},
                                                  control, [](std::string_view) {})
                      .matches;
    }
    state.counters["matches"] = static_cast<double>(matches);
}
BENCHMARK(BM_Compressed_RareColumn)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseRealTime();

void BM_Zgrep_Rare(benchmark::State& state) {
    const auto& gz = compressedLog();
    run(state, std::string("zgrep -c -F ") + kRare + " '" + gz.string() + "' > '" +
                   (gz.parent_path() / "count.txt").string() + "'");
}
BENCHMARK(BM_Zgrep_Rare)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseRealTime();

// The open flow reads a log by its count, which keeps the field index and, for a compressed
// log, the access points.
void BM_Compressed_OpenCount(benchmark::State& state) {
    trailscan::log::FieldIndex index;
    for (auto _ : state) {
        trailscan::log::Channel channel;
        if (channel.open(compressedLog())) {
            state.SkipWithError("cannot open the compressed log");
            return;
        }
        trailscan::log::CountProgress progress;
        benchmark::DoNotOptimize(trailscan::log::lineTotal(channel, progress, {}, &index));
    }
}
BENCHMARK(BM_Compressed_OpenCount)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseRealTime();

void BM_GzipDc(benchmark::State& state) {
    run(state, "gzip -dc '" + compressedLog().string() + "' > /dev/null");
}
BENCHMARK(BM_GzipDc)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseRealTime();

// A step of the record browser to a random place: a seek and the line that follows, each from
// the access point before it.
void BM_Compressed_BrowserStep(benchmark::State& state) {
    trailscan::log::Channel channel;
    if (channel.open(compressedLog())) {
        state.SkipWithError("cannot open the compressed log");
        return;
    }
    trailscan::log::CountProgress progress;
    if (!trailscan::log::lineTotal(channel, progress)) {
        state.SkipWithError("cannot count the compressed log");
        return;
    }
    const std::int64_t size = channel.source()->size();
    std::mt19937_64 random(7);
    std::string field;
    for (auto _ : state) {
        channel.seek(static_cast<std::int64_t>(random() % static_cast<std::uint64_t>(size)) + 1);
        channel.readLine();
        channel.readField(field);
        benchmark::DoNotOptimize(field);
    }
}
BENCHMARK(BM_Compressed_BrowserStep)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
