// The search window's whole open flow on a 4 GB log, as a user runs it: the choice
// confirmed, the count on its worker thread under the real progress runner, the load, the
// default query and the report shown. In the same run as its references: warm next to
// `wc -l`, cold (the file evicted before each run) next to `cat FILE > /dev/null`, and the
// time from confirming a cold log to the progress dialog showing. TS_BENCH_GB sets another
// size.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>

#include "bench/bench_logs.h"
#include "bench/window_benchmarks.h"
#include "tests/support/scripted_platform.h"
#include "trailscan/report/report_view.h"
#include "trailscan/search/search_window.h"

namespace {

const std::filesystem::path& bigLog() {
    static const auto path = bench::generatedLog(bench::bigLogBytes());
    return path;
}

// A search window whose dialogs are scripted but whose long reads run under the desktop's
// progress runner, worker thread and dialog included.
struct OpenWindow {
    testing_support::ScriptedPlatform scripted;
    forms::Platform platform{scripted.chooser, scripted.programEnd, scripted.messenger,
                             scripted.folderChooser, forms::desktopProgressRunner()};
    trailscan::search::SearchWindow window{platform};

    OpenWindow() {
        window.show();
        QApplication::processEvents();
    }

    // Presses "Open a log file ..." and confirms the big log; returns when the report shows.
    bool open() {
        scripted.chooser.answer(QString::fromStdString(bigLog().string()));
        window.Command2->click();
        window.Text3->repaint();
        return window.isFileOpen() && scripted.messenger.messages.empty();
    }
};

void openOnce(benchmark::State& state, OpenWindow& open) {
    if (!open.open()) {
        state.SkipWithError("the open flow failed");
        return;
    }
    state.counters["line_total"] = open.window.Text5->text().toDouble();
}

void BM_OpenFlowWarm(benchmark::State& state) {
    OpenWindow open;
    if (!bench::warm(bigLog())) {
        state.SkipWithError("cannot read the generated log");
        return;
    }
    for (auto _ : state) {
        openOnce(state, open);
    }
}
BENCHMARK(BM_OpenFlowWarm)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseRealTime();

void BM_WcLWarm(benchmark::State& state) { bench::measureWcLWarm(state); }
BENCHMARK(BM_WcLWarm)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseRealTime();

void BM_OpenFlowCold(benchmark::State& state) {
    OpenWindow open;
    bench::forEachColdRun(state, bigLog(), [&] { openOnce(state, open); });
}
BENCHMARK(BM_OpenFlowCold)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void BM_CatCold(benchmark::State& state) { bench::measureCatCold(state, bigLog()); }
BENCHMARK(BM_CatCold)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

// Notes when the progress dialog shows, then presses its Cancel so the next run starts soon.
class DialogWatch final : public QObject {
  public:
    QElapsedTimer sinceConfirm;
    qint64 shownAfterNs = -1;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show && shownAfterNs < 0 &&
            watched->objectName() == QLatin1String("progressDialog")) {
            shownAfterNs = sinceConfirm.nsecsElapsed();
            if (auto* dialog = qobject_cast<QProgressDialog*>(watched)) {
                QTimer::singleShot(0, dialog, &QProgressDialog::cancel);
            }
        }
        return false;
    }
};

void BM_ConfirmToProgressDialogCold(benchmark::State& state) {
    OpenWindow open;
    DialogWatch watch;
    qApp->installEventFilter(&watch);
    for (auto _ : state) {
        if (!bench::evict(bigLog())) {
            state.SkipWithError("cannot evict the log from the page cache");
            break;
        }
        open.scripted.chooser.answer(QString::fromStdString(bigLog().string()));
        watch.shownAfterNs = -1;
        watch.sinceConfirm.start();  // the scripted dialog confirms at once
        open.window.Command2->click();
        if (watch.shownAfterNs < 0) {
            state.SkipWithError("no progress dialog showed");
            break;
        }
        state.SetIterationTime(static_cast<double>(watch.shownAfterNs) / 1e9);
    }
    qApp->removeEventFilter(&watch);
}
BENCHMARK(BM_ConfirmToProgressDialogCold)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5)
    ->UseManualTime();

}  // namespace

int main(int argc, char** argv) { return bench::runWindowBenchmarks(argc, argv); }
