// The block-reading line count of a 4 GB log, in the same run as its references: warm (the
// file in the page cache) next to `wc -l`, and cold (the file evicted before each run) next
// to `cat FILE > /dev/null`. Compare the rows' times; TS_BENCH_GB sets another size.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "bench/bench_logs.h"
#include "trailscan/log/channel.h"
#include "trailscan/log/line_count.h"

namespace {

const std::filesystem::path& bigLog() {
    static const auto path = bench::generatedLog(bench::bigLogBytes());
    return path;
}

void countOnce(benchmark::State& state, const std::filesystem::path& path) {
    trailscan::log::Channel channel;
    if (channel.open(path)) {
        state.SkipWithError("cannot open the generated log");
        return;
    }
    trailscan::log::CountProgress progress;
    const auto total = trailscan::log::lineTotal(channel, progress);
    if (!total) {
        state.SkipWithError("the count failed");
        return;
    }
    state.counters["lines"] = static_cast<double>(*total - 1);
}

void setBytes(benchmark::State& state, const std::filesystem::path& path) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(std::filesystem::file_size(path)));
}

void BM_LineTotalWarm(benchmark::State& state) {
    const auto& path = bigLog();
    if (!bench::warm(path)) {
        state.SkipWithError("cannot read the generated log");
        return;
    }
    for (auto _ : state) {
        countOnce(state, path);
    }
    setBytes(state, path);
}
BENCHMARK(BM_LineTotalWarm)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseRealTime();

void BM_WcLWarm(benchmark::State& state) { bench::measureWcLWarm(state); }
BENCHMARK(BM_WcLWarm)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseRealTime();

void BM_LineTotalCold(benchmark::State& state) {
    const auto& path = bigLog();
    bench::forEachColdRun(state, path, [&] { countOnce(state, path); });
    setBytes(state, path);
}
BENCHMARK(BM_LineTotalCold)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void BM_CatCold(benchmark::State& state) { bench::measureCatCold(state, bigLog()); }
BENCHMARK(BM_CatCold)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
