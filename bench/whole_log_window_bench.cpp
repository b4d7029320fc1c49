// The search window on a 4 GB log: Ctrl+Enter's search for a text in about half of the records,
// with the time it takes and the peak resident memory above the window with the log open (the
// report box then holds a report of about 170 MB). The progress runner is the program's own,
// so the report box takes the results in batches as in use.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <fstream>
#include <string>

#include "bench/bench_logs.h"
#include "bench/window_benchmarks.h"
#include "forms/progress.h"
#include "tests/support/scripted_platform.h"
#include "trailscan/report/report_view.h"
#include "trailscan/search/search_window.h"

namespace {

// VmRSS or VmHWM of this process, in MiB.
double residentMiB(const std::string& key) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(key + ":", 0) == 0) {
            return std::stod(line.substr(key.size() + 1)) / 1024.0;
        }
    }
    return 0;
}

void BM_WindowHalfOfTheRecords(benchmark::State& state) {
    const auto log = bench::generatedLog(bench::bigLogBytes());
    testing_support::ScriptedPlatform scripted;
    forms::DialogProgressRunner runner;
    forms::Platform platform{scripted.chooser, scripted.programEnd, scripted.messenger,
                             scripted.folderChooser, runner};
    trailscan::search::SearchWindow window(platform);
    window.show();
    window.openGiven(QString::fromStdString(log.string()));
    QApplication::processEvents();
    const double open = residentMiB("VmRSS");
    // The "I P" button, then the text.
    window.Command1[5]->click();
    window.Text4->setText(QStringLiteral("192.168.1"));
    for (auto _ : state) {
        window.searchWholeLog();
    }
    state.counters["report_MB"] = static_cast<double>(window.Text3->size()) / 1e6;
    state.counters["peak_above_open_MiB"] = residentMiB("VmHWM") - open;
}
BENCHMARK(BM_WindowHalfOfTheRecords)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    return bench::runWindowBenchmarks(argc, argv);
}
