// kestrand's report engine over a 1 GB folder of logs (all seven reports, in the page cache),
// next to the comparison tool on the same requests as one tab-separated file and `cat` of the
// folder, in the same run. Then the peak resident memory on a 4 GB folder with two million
// distinct pages, in a process of its own. The same for one Squid log of 1 GB next to the
// comparison tool on that very file, and its peak memory on 4 GB.
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

const bench::SquidLog& squidLog() {
    static const bench::SquidLog generated = bench::generatedSquidLog(kFolderBytes, 200000);
    return generated;
}

template <typename Logs>
void setRates(benchmark::State& state, const Logs& f) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * f.bytes));
    state.counters["lines/s"] = benchmark::Counter(
        static_cast<double>(state.iterations() * f.requests), benchmark::Counter::kIsRate);
}

void warmUp(const std::filesystem::path& file) {
    const std::string command = "cat '" + file.string() + "' > /dev/null";
    if (std::system(command.c_str()) != 0) {
        std::abort();
    }
}

// All seven reports and their JSON over a folder; the requests counted.
std::uint64_t allSeven(const std::filesystem::path& folder, unsigned threads) {
    reports::Options options;
    options.folder = folder;
    options.threads = threads;
    const reports::Result result = reports::run(options);
    const std::string json = reports::writeJson(result);
    benchmark::DoNotOptimize(json.data());
    return result.totals.requests;
}

// The comparison tool over one file, writing its JSON; false when it fails.
bool comparisonTool(const std::filesystem::path& file, const std::string& formats) {
    const std::string command = "goaccess '" + file.string() + "' --no-global-config " + formats +
                                " --no-progress -o /tmp/kestrand-bench-goaccess.json > /dev/null "
                                "2>&1";
    return std::system(command.c_str()) == 0;
}

// Peak resident memory of a child process that runs all seven reports over the folder, in
// MiB; negative when the report failed.
double peakMemoryMiB(const std::filesystem::path& folder) {
    const pid_t child = fork();
    if (child == 0) {
        _exit(allSeven(folder, 0) > 0 ? 0 : 1);
    }
    // That child's own figures: RUSAGE_CHILDREN would give the largest of every child waited
    // for, the comparison tool's included.
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return -1;
    }
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
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
    std::uint64_t requests = 0;
    for (auto _ : state) {
        requests = allSeven(f.folder, static_cast<unsigned>(state.range(0)));
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
    const std::string formats = std::string("--log-format='") + bench::kTsvLogFormat +
                                "' --date-format=%Y-%m-%d --time-format=%H:%M:%S";
    for (auto _ : state) {
        if (!comparisonTool(f.tsv, formats)) {
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
    double peak = 0;
    for (auto _ : state) {
        peak = peakMemoryMiB(f.folder);
        if (peak < 0) {
            state.SkipWithError("the report failed");
            return;
        }
    }
    setRates(state, f);
    state.counters["peak_MiB"] = peak;
}
BENCHMARK(BM_PeakMemoryBigFolder)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

void BM_EngineSquid(benchmark::State& state) {
    const bench::SquidLog& log = squidLog();
    warmUp(log.file);
    std::uint64_t requests = 0;
    for (auto _ : state) {
        requests = allSeven(log.folder, static_cast<unsigned>(state.range(0)));
    }
    setRates(state, log);
    state.counters["requests"] = static_cast<double>(requests);
}
BENCHMARK(BM_EngineSquid)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

void BM_ComparisonToolSquid(benchmark::State& state) {
    const bench::SquidLog& log = squidLog();
    warmUp(log.file);
    const std::string formats = std::string("--log-format='") + bench::kSquidLogFormat +
                                "' --date-format=%s --time-format=%s";
    for (auto _ : state) {
        if (!comparisonTool(log.file, formats)) {
            state.SkipWithError("goaccess failed (is it installed?)");
            return;
        }
    }
    setRates(state, log);
}
BENCHMARK(BM_ComparisonToolSquid)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

// The engine again after the comparison tool, so that a ratio can be taken from either side.
BENCHMARK(BM_EngineSquid)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_PeakMemorySquid(benchmark::State& state) {
    const bench::SquidLog log = bench::generatedSquidLog(kBigFolderBytes, 2000000);
    double peak = 0;
    for (auto _ : state) {
        peak = peakMemoryMiB(log.folder);
        if (peak < 0) {
            state.SkipWithError("the report failed");
            return;
        }
    }
    setRates(state, log);
    state.counters["peak_MiB"] = peak;
}
BENCHMARK(BM_PeakMemorySquid)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
