// The block-reading line count of a 4 GB log, in the same run as its references: warm (the
// file in the page cache) next to `wc -l`, and cold (the file evicted before each run) next
// to `cat FILE > /dev/null`. Compare the rows' times; TS_BENCH_GB sets another size.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include <fcntl.h>
#include <unistd.h>

#include "bench/bench_logs.h"
#include "trailscan/log/channel.h"
#include "trailscan/log/line_count.h"

namespace {

std::uint64_t logBytes() {
    const char* gigabytes = std::getenv("TS_BENCH_GB");
    return (gigabytes != nullptr ? std::strtoull(gigabytes, nullptr, 10) : 4) << 30;
}

const std::filesystem::path& bigLog() {
    static const auto path = bench::generatedLog(logBytes());
    return path;
}

// Drops the file's pages from the page cache (written pages are flushed first, or they
// would stay).
bool evict(const std::filesystem::path& path) {
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) {
        return false;
    }
    const bool done =
        ::fdatasync(descriptor) == 0 && ::posix_fadvise(descriptor, 0, 0, POSIX_FADV_DONTNEED) == 0;
    ::close(descriptor);
    return done;
}

// Reads the file once so a warm row does not pay for an earlier cold one.
bool warm(const std::filesystem::path& path) {
    const std::string command = "cat '" + path.string() + "' > /dev/null";
    return std::system(command.c_str()) == 0;
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
    if (!warm(path)) {
        state.SkipWithError("cannot read the generated log");
        return;
    }
    for (auto _ : state) {
        countOnce(state, path);
    }
    setBytes(state, path);
}
BENCHMARK(BM_LineTotalWarm)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseRealTime();

void BM_WcLWarm(benchmark::State& state) {
    if (!warm(bigLog())) {
        state.SkipWithError("cannot read the generated log");
        return;
    }
    bench::measureWcL(state, logBytes());
}
BENCHMARK(BM_WcLWarm)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseRealTime();

void BM_LineTotalCold(benchmark::State& state) {
    const auto& path = bigLog();
    for (auto _ : state) {
        state.PauseTiming();
        if (!evict(path)) {
            state.SkipWithError("cannot evict the log from the page cache");
            return;
        }
        state.ResumeTiming();
        countOnce(state, path);
    }
    setBytes(state, path);
}
BENCHMARK(BM_LineTotalCold)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void BM_CatCold(benchmark::State& state) {
    const auto& path = bigLog();
    const std::string command = "cat '" + path.string() + "' > /dev/null";
    for (auto _ : state) {
        state.PauseTiming();
        if (!evict(path)) {
            state.SkipWithError("cannot evict the log from the page cache");
            return;
        }
        state.ResumeTiming();
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("cat failed");
            return;
        }
    }
    setBytes(state, path);
}
BENCHMARK(BM_CatCold)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
