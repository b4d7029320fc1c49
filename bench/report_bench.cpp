// Reports in the search window: the worst report of an ordinary full table (every field of
// 5001 records matching, about 35 MB on one line) built, shown and scrolled to its end, the
// first time after the program starts and later; an all-fields search on a 115 MB log of
// 1,000-byte fields whose report would be 2.7 GB, with the peak resident memory it takes; and
// find-next across a report at the report box's capacity. The first-time and peak-memory
// cases each run in a process of their own, so nothing before them has faulted in their pages.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <chrono>
#include <cstdio>
#include <string>

#include "bench/bench_logs.h"
#include "bench/window_benchmarks.h"
#include "tests/support/scripted_platform.h"
#include "trailscan/report/report_view.h"
#include "trailscan/search/search_window.h"
#include "trailscan/table/searches.h"

namespace {

namespace fs = std::filesystem;

double peakResidentMegabytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

fs::path writeOnce(const std::string& name, const std::function<std::string()>& make) {
    const fs::path dir = fs::temp_directory_path() / "trailscan-bench";
    fs::create_directories(dir);
    const fs::path path = dir / name;
    if (!fs::exists(path)) {
        const std::string text = make();
        std::FILE* out = std::fopen(path.c_str(), "wb");
        std::fwrite(text.data(), 1, text.size(), out);
        std::fclose(out);
    }
    return path;
}

// 5001 realistic records whose 23 fields all begin with "~".
fs::path worstLog() {
    return writeOnce("X3worst.log", [] {
        std::string text;
        for (int n = 0; n < trailscan::table::kRecordCapacity; ++n) {
            std::string line = "~" + bench::logLine(static_cast<std::uint64_t>(n));
            for (auto at = line.find(", "); at != std::string::npos; at = line.find(", ", at + 3)) {
                line.insert(at + 2, "~");
            }
            text += line;
        }
        return text;
    });
}

// 5001 lines of 23 fields of 1,000 bytes, each holding an "a": 115 MB.
fs::path wideFieldLog() {
    return writeOnce("X3wide.log", [] {
        std::string text;
        for (int n = 0; n < trailscan::table::kRecordCapacity; ++n) {
            for (int f = 0; f < 23; ++f) {
                std::string field(1000, static_cast<char>('b' + (n + f) % 20));
                field[static_cast<std::size_t>((n * 31 + f * 7) % 1000)] = 'a';
                text += field;
                text += f == 22 ? "\r\n" : ", ";
            }
        }
        return text;
    });
}

struct Window {
    testing_support::ScriptedPlatform scripted;
    trailscan::search::SearchWindow window{scripted.platform};

    explicit Window(const fs::path& log, const QString& text) {
        window.show();
        scripted.chooser.answer(QString::fromStdString(log.string()));
        window.Command2->click();
        window.Command1[6]->click();  // All Fields
        window.Text4->setText(text);
        QApplication::processEvents();
    }
    // "Go !", the report on screen and scrolled to its far end, as a user waits for it.
    void go() {
        window.Command3->click();
        QKeyEvent end(QEvent::KeyPress, Qt::Key_End, Qt::ControlModifier);
        QApplication::sendEvent(window.Text3, &end);
        window.Text3->repaint();
        QApplication::processEvents();
    }
};

void worstReport(benchmark::State& state) {
    Window open(worstLog(), QStringLiteral("~"));
    for (auto _ : state) {
        open.go();
    }
    state.counters["report_MB"] = static_cast<double>(open.window.Text3->size()) / 1e6;
}

void BM_WorstReportFirstAfterStart(benchmark::State& state) { worstReport(state); }
BENCHMARK(BM_WorstReportFirstAfterStart)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_WorstReportLater(benchmark::State& state) { worstReport(state); }
BENCHMARK(BM_WorstReportLater)->Unit(benchmark::kMillisecond)->MinTime(1.0);

void BM_AllFieldsOn115MBLog(benchmark::State& state) {
    const fs::path log = wideFieldLog();
    double empty = 0;
    {
        testing_support::ScriptedPlatform scripted;
        trailscan::search::SearchWindow window(scripted.platform);
        window.show();
        QApplication::processEvents();
        empty = peakResidentMegabytes();
    }
    Window open(log, QStringLiteral("a"));
    for (auto _ : state) {
        open.go();
    }
    state.counters["report_MB"] = static_cast<double>(open.window.Text3->size()) / 1e6;
    // Above an empty window's: the table of the 115 MB log, the report and the search's own.
    state.counters["peak_above_empty_MB"] = peakResidentMegabytes() - empty;
}
BENCHMARK(BM_AllFieldsOn115MBLog)->Iterations(1)->Unit(benchmark::kMillisecond);

// A report at the capacity whose only occurrences stand at its two ends: each step crosses
// the whole report (forward from the start to the end, then wrapping back to the start).
void BM_FindNextAcrossCapacity(benchmark::State& state) {
    std::string bytes(trailscan::table::kReportCapacity, 'x');
    for (std::size_t at = 0; at < bytes.size(); at += 333) {
        bytes[at] = static_cast<char>('a' + at % 26);
    }
    bytes.replace(0, 6, "needle");
    bytes.replace(bytes.size() - 6, 6, "needle");
    trailscan::report::ReportView view;
    view.resize(400, 300);
    view.setReport(std::move(bytes));
    view.show();
    QApplication::processEvents();
    bool backward = state.range(0) != 0;
    for (auto _ : state) {
        if (!view.find(QStringLiteral("needle"), backward)) {
            state.SkipWithError("not found");
        }
    }
    state.counters["report_MiB"] = static_cast<double>(view.size()) / (1 << 20);
}
BENCHMARK(BM_FindNextAcrossCapacity)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// Runs one benchmark in a child process with a program start of its own.
int runAlone(const char* self, const char* name) {
    const pid_t child = fork();
    if (child == 0) {
        const std::string filter = std::string("--benchmark_filter=^") + name + "(/|$)";
        execl(self, self, filter.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static char filter[] = "--benchmark_filter=BM_WorstReportLater|BM_FindNext";
    char* rest[] = {argv[0], filter, nullptr};
    if (argc == 1) {
        // The whole set: each isolated case in its own process, then the rest here.
        int failed = 0;
        for (const char* name : {"BM_WorstReportFirstAfterStart", "BM_AllFieldsOn115MBLog"}) {
            failed |= runAlone(argv[0], name);
        }
        std::fflush(stdout);
        argc = 2;
        argv = rest;
        if (failed != 0) {
            return failed;
        }
    }
    return bench::runWindowBenchmarks(argc, argv);
}
