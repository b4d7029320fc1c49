// kestrand's report engine over a 1 GB folder of logs (all seven reports, in the page cache),
// next to the comparison tool on the same requests as one tab-separated file and `cat` of the
// folder, in the same run. Then the peak resident memory on a 4 GB folder with two million
// distinct pages, in a process of its own.
// Set TS_BENCH_DIR to keep the generated folders (a few GB) somewhere roomy.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "bench/report_folder.h"
#include "kestrand/reports/engine.h"

namespace {

namespace reports = kestrand::reports;

constexpr std::uint64_t kFolderBytes = std::uint64_t{1} << 30;
constexpr std::uint64_t kBigFolderBytes = std::uint64_t{4} << 30;

const bench::ReportFolder& folder() {
    static const bench::ReportFolder generated =
        bench::generatedReportFolder(kFolderBytes, 200000, true);
    return generated;
}

void setRates(benchmark::State& state, const bench::ReportFolder& f) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * f.bytes));
    state.counters["lines/s"] = benchmark::Counter(
        static_cast<double>(state.iterations() * f.requests), benchmark::Counter::kIsRate);
}

void warmUp(const bench::ReportFolder& f) {
    const std::string command = "cat $(find '" + f.folder.string() + "' -name '*.log') '" +
                                f.tsv.string() + "' > /dev/null";
    if (std::system(command.c_str()) != 0) {
        std::abort();
    }
}

void BM_EngineAllSeven(benchmark::State& state) {
    const bench::ReportFolder& f = folder();
    warmUp(f);
    reports::Options options;
    options.folder = f.folder;
    options.threads = static_cast<unsigned>(state.range(0));
    std::uint64_t requests = 0;
    for (auto _ : state) {
        const reports::Result result = reports::run(options);
        const std::string json = reports::writeJson(result);
        benchmark::DoNotOptimize(json.data());
        requests = result.totals.requests;
    }
    setRates(state, f);
    state.counters["requests"] = static_cast<double>(requests);
}
BENCHMARK(BM_EngineAllSeven)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

void BM_ComparisonToolTsv(benchmark::State& state) {
    const bench::ReportFolder& f = folder();
    warmUp(f);
    const std::string command = std::string("goaccess '") + f.tsv.string() + "' --log-format='" +
                                bench::kTsvLogFormat +
                                "' --date-format=%Y-%m-%d --time-format=%H:%M:%S --no-progress "
                                "-o /tmp/kestrand-bench-goaccess.json > /dev/null 2>&1";
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("goaccess failed (is it installed?)");
            return;
        }
    }
    setRates(state, f);
}
BENCHMARK(BM_ComparisonToolTsv)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

void BM_CatFolder(benchmark::State& state) {
    const bench::ReportFolder& f = folder();
    warmUp(f);
    const std::string command = "cat $(find '" + f.folder.string() + "' -name '*.log') > /dev/null";
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("cat failed");
            return;
        }
    }
    setRates(state, f);
}
BENCHMARK(BM_CatFolder)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

// Peak resident memory of a child process that runs all seven reports on the 4 GB folder.
void BM_PeakMemoryBigFolder(benchmark::State& state) {
    const bench::ReportFolder f = bench::generatedReportFolder(kBigFolderBytes, 2000000, false);
    long peakKiB = 0;
    for (auto _ : state) {
        const pid_t child = fork();
        if (child == 0) {
            reports::Options options;
            options.folder = f.folder;
            const reports::Result result = reports::run(options);
            const std::string json = reports::writeJson(result);
            _exit(result.totals.requests > 0 && !json.empty() ? 0 : 1);
        }
        int status = 0;
        waitpid(child, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("the report failed");
            return;
        }
        rusage usage{};
        getrusage(RUSAGE_CHILDREN, &usage);
        peakKiB = usage.ru_maxrss;
    }
    setRates(state, f);
    state.counters["peak_MiB"] = static_cast<double>(peakKiB) / 1024.0;
}
BENCHMARK(BM_PeakMemoryBigFolder)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
