// kestrand's report window over a large answer of the engine (10,000 addresses and sites, all
// seven reports), on the offscreen platform:
// - the window on screen after the engine's end: its JSON read, the window built and painted;
// - switching between two tabs already shown, and to a tab shown for the first time;
// - sorting the 10,000 addresses by a number and by a text, each time painted, next to a
//   QSortFilterProxyModel over a QStandardItemModel of the same rows (Qt's stock way);
// - and on the engine's benchmark folder of 1 GB (bench/report_folder.h, in $TS_BENCH_DIR),
//   all seven reports: from the engine's end to the window on screen.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QHeaderView>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
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

constexpr int kRows = 10000;

QString address(int n) {
    return QStringLiteral("10.%1.%2.%3").arg(n / 65536).arg(n / 256 % 256).arg(n % 256);
}

std::string largeJson() {
    QJsonArray addresses, sites, countryAddresses, searchAddresses, pages, phrases, windows,
        browsers, hours, weekdays;
    const QJsonObject part{{"requests", 12}, {"bytes", 34567}};
    for (int n = 0; n < kRows; ++n) {
        const int requests = kRows * 3 - n * 2;
        addresses.append(QJsonObject{{"address", address(n)},
                                     {"requests", requests},
                                     {"bytes", static_cast<qint64>(requests) * (1000 + n % 977)},
                                     {"users", QJsonArray{QStringLiteral("user%1").arg(n % 700)}},
                                     {"first", "2024-03-01 08:00:00"},
                                     {"last", "2024-03-31 18:30:00"}});
        sites.append(QJsonObject{{"host", QStringLiteral("www.site%1.example.ir").arg(n)},
                                 {"requests", requests},
                                 {"pages", requests / 3},
                                 {"bytes", static_cast<qint64>(requests) * 2048},
                                 {"addresses", n % 300 + 1}});
        countryAddresses.append(QJsonObject{{"address", address(n)},
                                            {"inside", part},
                                            {"outside", part},
                                            {"local", part},
                                            {"unknown", part}});
        searchAddresses.append(QJsonObject{{"address", address(n)}, {"searches", kRows - n}});
    }
    for (int n = 0; n < 100; ++n) {
        pages.append(
            QJsonObject{{"page", QStringLiteral("http://www.site%1.example.ir/index.html").arg(n)},
                        {"views", 1000 - n}});
        phrases.append(QJsonObject{{"phrase", QStringLiteral("عبارت جستجو %1").arg(n)},
                                   {"searches", 500 - n}});
    }
    for (int n = 0; n < 200; ++n) {
        browsers.append(QJsonObject{{"name", QStringLiteral("Browser %1").arg(n)},
                                    {"addresses", 200 - n},
                                    {"requests", 9000 - n}});
        if (n < 40) {
            windows.append(QJsonObject{{"name", QStringLiteral("Windows %1").arg(n)},
                                       {"addresses", 40 - n},
                                       {"requests", 900 - n}});
        }
    }
    for (int h = 0; h < 24; ++h) {
        hours.append(QJsonObject{
            {"hour", h}, {"requests", 1000 * h}, {"bytes", 1000000 * h}, {"addresses", 100 + h}});
    }
    for (int d = 0; d < 7; ++d) {
        QJsonArray day;
        for (int h = 0; h < 24; ++h) {
            day.append(d * 100 + h * 10);
        }
        weekdays.append(day);
    }
    const QJsonObject classes{{"requests", 1000}, {"bytes", 123456789}};
    const QJsonObject root{
        {"generator", "bench"},
        {"folder", "/srv/logs"},
        {"home_country", "IR"},
        {"period", QJsonObject{{"first", "2024-03-01 08:00:00"}, {"last", "2024-03-31 18:30:00"}}},
        {"files", QJsonArray{QJsonObject{{"path", "a.log"},
                                         {"layout", "w3c"},
                                         {"lines", 100},
                                         {"requests", 99},
                                         {"proxy_requests", 0},
                                         {"skipped", 1},
                                         {"skipped_lines", QJsonArray{7}},
                                         {"error", QJsonValue()}}}},
        {"totals", QJsonObject{{"requests", 3900000}, {"bytes", 1073741824}, {"addresses", kRows}}},
        {"addresses", addresses},
        {"windows", windows},
        {"browsers", browsers},
        {"hours", hours},
        {"weekdays", weekdays},
        {"sites", sites},
        {"pages", pages},
        {"country", QJsonObject{{"home", "IR"},
                                {"inside", classes},
                                {"outside", classes},
                                {"local", classes},
                                {"unknown", classes},
                                {"addresses", countryAddresses}}},
        {"searches",
         QJsonObject{
             {"total", 12345},
             {"engines", QJsonArray{QJsonObject{{"engine", "Google"}, {"searches", 12000}},
                                    QJsonObject{{"engine", "Parsijoo"}, {"searches", 345}}}},
             {"addresses", searchAddresses},
             {"phrases", phrases}}},
    };
    return QJsonDocument(root).toJson(QJsonDocument::Compact).toStdString();
}

const std::string& json() {
    static const std::string text = largeJson();
    return text;
}

// What the window does after the engine's end: the JSON read into the report, then the window.
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

std::unique_ptr<kestrand::report_window::ReportWindow> openWindow(forms::Platform& platform) {
    std::optional<kestrand::report_window::Report> report = kestrand::report_window::readReport(
        QByteArray::fromRawData(json().data(), static_cast<qsizetype>(json().size())));
    kestrand::report_window::ReportOutcome outcome;
    outcome.json = json();
    outcome.report = std::make_shared<const kestrand::report_window::Report>(std::move(*report));
    return showWindow(platform, std::move(outcome));
}

void BM_WindowShownAfterTheEngine(benchmark::State& state) {
    testing_support::ScriptedPlatform scripted;
    (void)json();
    for (auto _ : state) {
        auto window = openWindow(scripted.platform);
        closeUntimed(state, window);
    }
    state.counters["json_MB"] = static_cast<double>(json().size()) / 1e6;
}
BENCHMARK(BM_WindowShownAfterTheEngine)->Unit(benchmark::kMillisecond)->Repetitions(3);

// The part of the above that builds and paints the window.
void BM_WindowBuiltAndPainted(benchmark::State& state) {
    testing_support::ScriptedPlatform scripted;
    std::optional<kestrand::report_window::Report> report = kestrand::report_window::readReport(
        QByteArray::fromRawData(json().data(), static_cast<qsizetype>(json().size())));
    const auto shared = std::make_shared<const kestrand::report_window::Report>(std::move(*report));
    for (auto _ : state) {
        kestrand::report_window::ReportOutcome outcome;
        outcome.report = shared;
        auto window = showWindow(scripted.platform, std::move(outcome));
        closeUntimed(state, window);
    }
}
BENCHMARK(BM_WindowBuiltAndPainted)->Unit(benchmark::kMillisecond)->Repetitions(3);

// The part of the above that reads the JSON (in the program it runs on the worker thread).
void BM_ReadTheAnswer(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(kestrand::report_window::readReport(
            QByteArray::fromRawData(json().data(), static_cast<qsizetype>(json().size()))));
    }
}
BENCHMARK(BM_ReadTheAnswer)->Unit(benchmark::kMillisecond)->Repetitions(3);

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
    std::optional<kestrand::report_window::Report> report = kestrand::report_window::readReport(
        QByteArray::fromRawData(json().data(), static_cast<qsizetype>(json().size())));
    const kestrand::report_window::ReportTable& table = report->sections.front().tables.front();
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
    kestrand::reports::Options options;
    options.folder = logs.folder;
    double engineSeconds = 0;
    std::size_t jsonBytes = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const auto started = std::chrono::steady_clock::now();
        const kestrand::reports::Result result = kestrand::reports::run(options);
        engineSeconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        state.ResumeTiming();
        // What follows the engine in the program: the JSON written and read on the worker
        // thread, then the window built and painted on the window's thread.
        kestrand::report_window::ReportOutcome outcome;
        outcome.json = kestrand::reports::writeJson(result);
        jsonBytes = outcome.json.size();
        std::optional<kestrand::report_window::Report> report =
            kestrand::report_window::readReport(QByteArray::fromRawData(
                outcome.json.data(), static_cast<qsizetype>(outcome.json.size())));
        outcome.report =
            std::make_shared<const kestrand::report_window::Report>(std::move(*report));
        auto window = showWindow(scripted.platform, std::move(outcome));
        closeUntimed(state, window);
    }
    state.counters["engine_s"] = engineSeconds;
    state.counters["json_MB"] = static_cast<double>(jsonBytes) / 1e6;
    state.counters["log_GB"] = static_cast<double>(logs.bytes) / 1e9;
}
BENCHMARK(BM_EngineEndToWindowOn1GBFolder)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_WebPageOfTheLargeAnswer(benchmark::State& state) {
    std::string error;
    std::size_t size = 0;
    for (auto _ : state) {
        size = kestrand::report_window::htmlReportPage(json(), error)->size();
    }
    state.counters["page_MB"] = static_cast<double>(size) / 1e6;
}
BENCHMARK(BM_WebPageOfTheLargeAnswer)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) { return bench::runQtBenchmarks(argc, argv); }
