// The search window's whole open flow on a generated 1 GB log (file panel, line count,
// load, default query, report shown) next to `wc -l` on the same file, and the process's
// peak resident memory with that log open against an empty window's.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>

#include "bench/bench_logs.h"
#include "bench/window_benchmarks.h"
#include "tests/support/scripted_platform.h"
#include "trailscan/report/report_view.h"
#include "trailscan/search/search_window.h"

namespace {

constexpr std::uint64_t kGigabyte = 1ull << 30;

double peakResidentMegabytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// Registered first, so the peak it reads is not raised by the other benchmarks.
void BM_PeakMemoryWith1GBOpen(benchmark::State& state) {
    const auto path = bench::generatedLog(kGigabyte);
    testing_support::ScriptedPlatform scripted;
    trailscan::search::SearchWindow window(scripted.platform);
    window.show();
    QApplication::processEvents();
    const double empty = peakResidentMegabytes();
    for (auto _ : state) {
        scripted.chooser.answer(QString::fromStdString(path.string()));
        window.Command2->click();
        QApplication::processEvents();
    }
    state.counters["empty_window_MB"] = empty;
    state.counters["with_1GB_open_MB"] = peakResidentMegabytes();
    state.counters["growth_MB"] = peakResidentMegabytes() - empty;
}
BENCHMARK(BM_PeakMemoryWith1GBOpen)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_OpenFlow1GB(benchmark::State& state) {
    const auto path = bench::generatedLog(kGigabyte);
    testing_support::ScriptedPlatform scripted;
    trailscan::search::SearchWindow window(scripted.platform);
    window.show();
    QApplication::processEvents();
    for (auto _ : state) {
        scripted.chooser.answer(QString::fromStdString(path.string()));
        window.Command2->click();
        window.Text3->repaint();  // the report on screen
    }
    state.counters["line_total"] = window.Text5->text().toDouble();
}
BENCHMARK(BM_OpenFlow1GB)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

void BM_WcL1GB(benchmark::State& state) { bench::measureWcL(state, kGigabyte); }
BENCHMARK(BM_WcL1GB)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

}  // namespace

int main(int argc, char** argv) { return bench::runWindowBenchmarks(argc, argv); }
