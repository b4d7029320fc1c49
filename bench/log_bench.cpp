// Line count of a 1 GB log next to `wc -l` on the same file, in the same run.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "bench/bench_logs.h"
#include "trailscan/log/channel.h"
#include "trailscan/log/line_count.h"

namespace {

constexpr std::uint64_t kGigabyte = 1ull << 30;

void BM_LineTotal1GB(benchmark::State& state) {
    const auto path = bench::generatedLog(kGigabyte);
    std::int64_t total = 0;
    for (auto _ : state) {
        trailscan::log::Channel channel;
        if (channel.open(path)) {
            state.SkipWithError("cannot open the generated log");
            return;
        }
        total = trailscan::log::lineTotal(channel);
        benchmark::DoNotOptimize(total);
    }
    state.counters["lines"] = static_cast<double>(total - 1);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(std::filesystem::file_size(path)));
}
BENCHMARK(BM_LineTotal1GB)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

// The reference: the system's `wc -l` on the same file, timed as a whole process.
void BM_WcL1GB(benchmark::State& state) { bench::measureWcL(state, kGigabyte); }
BENCHMARK(BM_WcL1GB)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
