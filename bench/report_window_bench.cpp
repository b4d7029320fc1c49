// kestrand's report window over a large answer of the engine (10,000 addresses and sites, all
// seven reports), on the offscreen platform:
// - the window on screen after the engine's end: its sections built from the answer, the
//   window built and painted;
// - switching between two tabs already shown, and to a tab shown for the first time;
// - sorting the 10,000 addresses by a number and by a text, each time painted, next to a
//   QSortFilterProxyModel over a QStandardItemModel of the same rows (Qt's stock way);
// - and on the engine's benchmark folder of 1 GB (bench/report_folder.h, in $TS_BENCH_DIR),
//   all seven reports: from the engine's end to the window on screen.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QHeaderView>
#include <QSortFilterProxyModel>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTableView>
#include <chrono>
#include <memory>

#include "bench/qt_benchmarks.h"
#include "bench/report_folder.h"
#include "kestrand/report_window/report_window.h"
#include "kestrand/report_window/sections.h"
#include "kestrand/report_window/web_page.h"
#include "kestrand/reports/engine.h"
#include "tests/support/scripted_platform.h"

namespace {

namespace reports = kestrand::reports;

constexpr int kRows = 10000;

std::string address(int n) {
    return "10." + std::to_string(n / 65536) + "." + std::to_string(n / 256 % 256) + "." +
           std::to_string(n % 256);
}

reports::Result largeResult() {
    reports::Result result;
    result.generator = "bench";
    result.folder = "/srv/logs";
    result.homeCountry = "IR";
    result.kinds.fill(true);
    result.first = "2024-03-01 08:00:00";
    result.last = "2024-03-31 18:30:00";
    result.files.push_back(reports::FileRow{"a.log", "w3c", 0, 100, 99, 0, 1, {7}, std::nullopt});
    result.totals = {3900000, 1073741824, kRows};
    const reports::Traffic part{12, 34567};
    for (int n = 0; n < kRows; ++n) {
        const auto requests = static_cast<std::uint64_t>(kRows * 3 - n * 2);
        result.addresses.push_back(
            reports::AddressRow{address(n),
                                requests,
                                requests * static_cast<std::uint64_t>(1000 + n % 977),
                                {"user" + std::to_string(n % 700)},
                                "2024-03-01 08:00:00",
                                "2024-03-31 18:30:00"});
        result.sites.push_back(reports::SiteRow{"www.site" + std::to_string(n) + ".example.ir",
                                                requests, requests / 3, requests * 2048,
                                                static_cast<std::uint64_t>(n % 300 + 1)});
        result.country.addresses.push_back(
            reports::CountryRow{address(n), {part, part, part, part}});
        result.searches.addresses.push_back(
            reports::CountRow{address(n), static_cast<std::uint64_t>(kRows - n)});
    }
    for (int n = 0; n < 100; ++n) {
        result.pages.push_back(
            reports::PageRow{"http://www.site" + std::to_string(n) + ".example.ir/index.html",
                             static_cast<std::uint64_t>(1000 - n)});
        result.searches.phrases.push_back(reports::CountRow{"عبارت جستجو " + std::to_string(n),
                                                            static_cast<std::uint64_t>(500 - n)});
    }
    for (int n = 0; n < 200; ++n) {
        result.browsers.push_back(reports::NamedRow{"Browser " + std::to_string(n),
                                                    static_cast<std::uint64_t>(200 - n),
                                                    static_cast<std::uint64_t>(9000 - n)});
        if (n < 40) {
            result.windows.push_back(reports::NamedRow{"Windows " + std::to_string(n),
                                                       static_cast<std::uint64_t>(40 - n),
                                                       static_cast<std::uint64_t>(900 - n)});
        }
    }
    for (int h = 0; h < 24; ++h) {
        const auto hour = static_cast<std::uint64_t>(h);
        result.hours[hour] = reports::HourRow{h, 1000 * hour, 1000000 * hour, 100 + hour};
        for (std::uint64_t d = 0; d < 7; ++d) {
            result.weekdays[d][hour] = d * 100 + hour * 10;
        }
    }
    result.busiestHour = 23;
    result.country.home = "IR";
    result.country.classes.fill(reports::Traffic{1000, 123456789});
    result.searches.total = 12345;
    result.searches.engines = {{"Google", 12000}, {"Parsijoo", 345}};
    return result;
}

const std::shared_ptr<const reports::Result>& answer() {
    static const auto result = std::make_shared<const reports::Result>(largeResult());
    return result;
}

// The window over `outcome`, shown and painted.
std::unique_ptr<kestrand::report_window::ReportWindow> showWindow(
    forms::Platform& platform, kestrand::report_window::ReportOutcome outcome) {
    auto window = std::make_unique<kestrand::report_window::ReportWindow>(
        platform, kestrand::report_window::ReportRequest{}, std::move(outcome));
    window->setAttribute(Qt::WA_DeleteOnClose, false);
    window->show();
    window->repaint();
    return window;
}

// Closes the window outside the timing.
void closeUntimed(benchmark::State& state,
                  std::unique_ptr<kestrand::report_window::ReportWindow>& window) {
    state.PauseTiming();
    window.reset();
    QApplication::processEvents();
    state.ResumeTiming();
}

// What the window does after the engine's end: the sections built, then the window.
std::unique_ptr<kestrand::report_window::ReportWindow> openWindow(forms::Platform& platform) {
    return showWindow(platform, kestrand::report_window::shownOutcome(answer()));
}

void BM_WindowShownAfterTheEngine(benchmark::State& state) {
    testing_support::ScriptedPlatform scripted;
    (void)answer();
    for (auto _ : state) {
        auto window = openWindow(scripted.platform);
        closeUntimed(state, window);
    }
    // The size of the answer as the JSON writer gives it.
    state.counters["json_MB"] = static_cast<double>(reports::writeJson(*answer()).size()) / 1e6;
}
BENCHMARK(BM_WindowShownAfterTheEngine)->Unit(benchmark::kMillisecond)->Repetitions(3);

// The part of the above that builds and paints the window.
void BM_WindowBuiltAndPainted(benchmark::State& state) {
    testing_support::ScriptedPlatform scripted;
    const kestrand::report_window::ReportOutcome shown =
        kestrand::report_window::shownOutcome(answer());
    for (auto _ : state) {
        auto window = showWindow(scripted.platform, shown);
        closeUntimed(state, window);
    }
}
BENCHMARK(BM_WindowBuiltAndPainted)->Unit(benchmark::kMillisecond)->Repetitions(3);

// The part of the above that builds the sections (in the program it runs on the worker thread).
void BM_SectionsOfTheAnswer(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(kestrand::report_window::buildReport(*answer()));
    }
}
BENCHMARK(BM_SectionsOfTheAnswer)->Unit(benchmark::kMillisecond)->Repetitions(3);

void BM_SwitchBetweenShownTabs(benchmark::State& state) {
    testing_support::ScriptedPlatform scripted;
    auto window = openWindow(scripted.platform);
    QTabWidget* tabs = window->tabs();
    tabs->setCurrentIndex(1);
    window->repaint();
    int next = 0;
    for (auto _ : state) {
        tabs->setCurrentIndex(next);
        window->repaint();
        next = 1 - next;
    }
}
BENCHMARK(BM_SwitchBetweenShownTabs)->Unit(benchmark::kMillisecond)->Repetitions(3);

void BM_SwitchToATabShownFirst(benchmark::State& state) {
    testing_support::ScriptedPlatform scripted;
    const int tab = static_cast<int>(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        auto window = openWindow(scripted.platform);
        state.ResumeTiming();
        window->tabs()->setCurrentIndex(tab);
        window->repaint();
        state.PauseTiming();
        window.reset();
        QApplication::processEvents();
        state.ResumeTiming();
    }
}
// 1 pages viewed (two tables of 10,000 and 100 rows), 2 hours (bars and heat map),
// 5 country (pie and 10,000 rows of nine columns).
BENCHMARK(BM_SwitchToATabShownFirst)->Arg(1)->Arg(2)->Arg(5)->Unit(benchmark::kMillisecond);

void BM_SortTenThousandRows(benchmark::State& state) {
    testing_support::ScriptedPlatform scripted;
    auto window = openWindow(scripted.platform);
    auto* view = window->tabOfKind(0)->findChild<QTableView*>(QStringLiteral("table-addresses"));
    const int column = static_cast<int>(state.range(0));
    Qt::SortOrder order = Qt::AscendingOrder;
    for (auto _ : state) {
        view->sortByColumn(column, order);
        window->repaint();
        order = order == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
    }
    state.counters["rows"] = view->model()->rowCount();
}
// Column 2 is the bytes (numbers), column 0 the address (text).
BENCHMARK(BM_SortTenThousandRows)->Arg(2)->Arg(0)->Unit(benchmark::kMillisecond)->Repetitions(3);

void BM_SortReferenceProxyModel(benchmark::State& state) {
    const kestrand::report_window::Report report = kestrand::report_window::buildReport(*answer());
    const kestrand::report_window::ReportTable& table = report.sections.front().tables.front();
    QStandardItemModel source(static_cast<int>(table.rows.size()),
                              static_cast<int>(table.columns.size()));
    for (std::size_t r = 0; r < table.rows.size(); ++r) {
        for (std::size_t c = 0; c < table.columns.size(); ++c) {
            auto* item = new QStandardItem(
                kestrand::report_window::cellText(table.columns[c], table.rows[r][c]));
            if (table.columns[c].kind != kestrand::report_window::CellKind::Text) {
                item->setData(static_cast<qlonglong>(table.rows[r][c].number), Qt::UserRole);
            } else {
                item->setData(table.rows[r][c].text, Qt::UserRole);
            }
            source.setItem(static_cast<int>(r), static_cast<int>(c), item);
        }
    }
    QSortFilterProxyModel proxy;
    proxy.setSourceModel(&source);
    proxy.setSortRole(Qt::UserRole);
    proxy.setSortLocaleAware(true);
    QTableView view;
    view.setModel(&proxy);
    view.resize(1000, 600);
    view.show();
    view.setSortingEnabled(true);
    const int column = static_cast<int>(state.range(0));
    Qt::SortOrder order = Qt::AscendingOrder;
    for (auto _ : state) {
        view.sortByColumn(column, order);
        view.repaint();
        order = order == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
    }
}
BENCHMARK(BM_SortReferenceProxyModel)
    ->Arg(2)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(3);

void BM_EngineEndToWindowOn1GBFolder(benchmark::State& state) {
    const bench::ReportFolder logs = bench::generatedReportFolder(1ull << 30, 200000, false);
    testing_support::ScriptedPlatform scripted;
    reports::Options options;
    options.folder = logs.folder;
    double engineSeconds = 0;
    std::size_t jsonBytes = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const auto started = std::chrono::steady_clock::now();
        auto result = std::make_shared<const reports::Result>(reports::run(options));
        engineSeconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        jsonBytes = reports::writeJson(*result).size();
        state.ResumeTiming();
        // What follows the engine in the program: the sections built on the worker thread,
        // then the window built and painted on the window's thread.
        auto window =
            showWindow(scripted.platform, kestrand::report_window::shownOutcome(std::move(result)));
        closeUntimed(state, window);
    }
    state.counters["engine_s"] = engineSeconds;
    state.counters["json_MB"] = static_cast<double>(jsonBytes) / 1e6;
    state.counters["log_GB"] = static_cast<double>(logs.bytes) / 1e9;
}
BENCHMARK(BM_EngineEndToWindowOn1GBFolder)->Unit(benchmark::kMillisecond)->Iterations(3);

// The page as the command line makes it: the sections built from the answer, then the page.
void BM_WebPageOfTheLargeAnswer(benchmark::State& state) {
    std::size_t size = 0;
    for (auto _ : state) {
        size = kestrand::report_window::reportPage(kestrand::report_window::buildReport(*answer()))
                   .toUtf8()
                   .size();
    }
    state.counters["page_MB"] = static_cast<double>(size) / 1e6;
}
BENCHMARK(BM_WebPageOfTheLargeAnswer)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) { return bench::runQtBenchmarks(argc, argv); }
