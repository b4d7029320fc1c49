// The search window's whole open flow on a generated 1 GB log (file panel, line count,
// load, default query, report shown) next to `wc -l` on the same file, and the process's
// peak resident memory with that log open against an empty window's.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>

#include "bench/bench_logs.h"
#include "forms/fonts.h"
#include "forms/memory.h"
#include "tests/support/scripted_platform.h"
#include "trailscan/search/report_view.h"
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

// The worst report: 5001 records whose 23 fields all hold "~", searched in all fields, so
// every field of every record matches; built, shown and scrolled to its far end.
void BM_WorstAllFieldsInWindow(benchmark::State& state) {
    const auto path = std::filesystem::temp_directory_path() / "trailscan-bench" / "X3worst.log";
    {
        std::string text;
        for (int n = 0; n < 5001; ++n) {
            std::string line = "~" + bench::logLine(static_cast<std::uint64_t>(n));
            for (std::size_t at = line.find(", "); at != std::string::npos; at = line.find(", ", at + 3)) {
                line.insert(at + 2, "~");
            }
            text += line;
        }
        std::filesystem::create_directories(path.parent_path());
        std::FILE* out = std::fopen(path.c_str(), "wb");
        std::fwrite(text.data(), 1, text.size(), out);
        std::fclose(out);
    }
    testing_support::ScriptedPlatform scripted;
    trailscan::search::SearchWindow window(scripted.platform);
    window.show();
    scripted.chooser.answer(QString::fromStdString(path.string()));
    window.Command2->click();
    window.Command1[6]->click();  // All Fields
    window.Text4->setText(QStringLiteral("~"));
    for (auto _ : state) {
        window.Command3->click();
        QKeyEvent end(QEvent::KeyPress, Qt::Key_End, Qt::ControlModifier);
        QApplication::sendEvent(window.Text3, &end);
        window.Text3->repaint();
    }
    state.counters["report_MB"] = static_cast<double>(window.Text3->text().size()) / 1e6;
}
BENCHMARK(BM_WorstAllFieldsInWindow)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    forms::keepLargeBlocks();
    forms::installFontSubstitutions();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
