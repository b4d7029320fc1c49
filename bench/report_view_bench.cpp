// The report box against the worst all-fields report: 5001 records, every one of their 23
// fields matching, so 5001 x 23 entries of about 330 characters follow one another in a single
// line of about 38 million characters. Runs on the offscreen platform.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QString>
#include <cstdlib>
#include <string>

#include "bench/window_benchmarks.h"
#include "trailscan/report/report_view.h"

namespace {

constexpr int kRecords = 5001;
constexpr int kFields = 23;

// The 23 fields of a realistic record; user, site and path vary with the record.
QString recordFields(int record) {
    const QString fields[kFields] = {
        QStringLiteral("192.168.%1.%2").arg(record / 250).arg(record % 250),
        QStringLiteral("GATEWAY\\username%1").arg(record % 97),
        QStringLiteral("Mozilla/4.0 (compatible; MSIE 5.5; Windows NT 5.0)"),
        QStringLiteral("Y"),
        QStringLiteral("2/14/01"),
        QStringLiteral("10:%1:%2")
            .arg(record / 60 % 60, 2, 10, QLatin1Char('0'))
            .arg(record % 60, 2, 10, QLatin1Char('0')),
        QStringLiteral("W3Proxy"),
        QStringLiteral("PROXYGATE01"),
        QStringLiteral("-"),
        QStringLiteral("www.site%1.example.com").arg(record % 613),
        QStringLiteral("10.0.0.%1").arg(record % 200),
        QStringLiteral("80"),
        QStringLiteral("%1").arg(100 + record % 900),
        QStringLiteral("%1").arg(300 + record % 700),
        QStringLiteral("%1").arg(2000 + record * 13 % 50000),
        QStringLiteral("http"),
        QStringLiteral("TCP"),
        QStringLiteral("GET"),
        QStringLiteral("http://www.site%1.example.com/images/banners/top/page%2.gif")
            .arg(record % 613)
            .arg(record % 50),
        QStringLiteral("image/gif"),
        QStringLiteral("Inet"),
        QStringLiteral("200"),
        QStringLiteral("-"),
    };
    QString entry;
    for (const QString& field : fields) {
        entry += field;
        entry += QStringLiteral(" | ");
    }
    return entry;
}

const QString& worstReport() {
    static const QString report = [] {
        QString text;
        text.reserve(qsizetype{kRecords} * kFields * 340);
        for (int record = 0; record < kRecords; ++record) {
            const QString entry =
                QString::number(record) + QStringLiteral("- ") + recordFields(record);
            for (int field = 0; field < kFields; ++field) {
                text += entry;
            }
        }
        return text;
    }();
    return report;
}

void BM_ReportViewShowWorstReport(benchmark::State& state) {
    const QString& report = worstReport();
    trailscan::report::ReportView view;
    view.resize(345, 216);
    view.show();
    QApplication::processEvents();
    for (auto _ : state) {
        view.setText(report);
        QScrollBar* horizontal = view.horizontalScrollBar();
        horizontal->setValue(horizontal->maximum());
        benchmark::DoNotOptimize(view.viewport()->grab());
        view.clear();
    }
    state.counters["chars"] = double(report.size());
}
BENCHMARK(BM_ReportViewShowWorstReport)->Unit(benchmark::kMillisecond);

// The caret walks to the far end with Ctrl+End and the view paints there.
void BM_ReportViewScrollWorstReport(benchmark::State& state) {
    trailscan::report::ReportView view;
    view.resize(345, 216);
    view.setText(worstReport());
    view.show();
    QApplication::processEvents();
    bool atEnd = false;
    for (auto _ : state) {
        view.setCursorPosition(atEnd ? 0 : view.text().size());
        atEnd = !atEnd;
        benchmark::DoNotOptimize(view.viewport()->grab());
    }
}
BENCHMARK(BM_ReportViewScrollWorstReport)->Unit(benchmark::kMicrosecond);

// A column search appends one line per hit.
void BM_ReportViewAppendHits(benchmark::State& state) {
    trailscan::report::ReportView view;
    view.resize(345, 216);
    view.show();
    QApplication::processEvents();
    const QString hit = QStringLiteral("www.site17.example.com\r\n");
    for (auto _ : state) {
        view.clear();
        for (int record = 0; record < kRecords; ++record) {
            view.appendText(hit);
        }
        QApplication::processEvents();
    }
}
BENCHMARK(BM_ReportViewAppendHits)->Unit(benchmark::kMillisecond);

// A whole-log column report of a million short lines: the caret jumps far into it and the view
// paints there.
void BM_ReportViewJumpInManyLines(benchmark::State& state) {
    std::string bytes;
    for (int n = 0; n < 1'000'000; ++n) {
        bytes += "192.168." + std::to_string(n % 250) + "." + std::to_string(n % 200) + "\r\n";
    }
    trailscan::report::ReportView view;
    view.resize(345, 216);
    view.setReport(std::move(bytes));
    view.show();
    QApplication::processEvents();
    qsizetype line = 0;
    for (auto _ : state) {
        line = (line + 123'457) % view.lineCount();
        view.setCursorPosition(view.lineStart(line) + 3);
        benchmark::DoNotOptimize(view.viewport()->grab());
    }
}
BENCHMARK(BM_ReportViewJumpInManyLines)->Unit(benchmark::kMicrosecond);

// The same text in a QPlainTextEdit; its range is the share of the report it is given.
void BM_PlainTextEditWorstReport(benchmark::State& state) {
    const QString report = worstReport().left(worstReport().size() * state.range(0) / 100);
    QPlainTextEdit edit;
    edit.setReadOnly(true);
    edit.resize(345, 216);
    edit.show();
    QApplication::processEvents();
    for (auto _ : state) {
        edit.setPlainText(report);
        QScrollBar* horizontal = edit.horizontalScrollBar();
        horizontal->setValue(horizontal->maximum());
        benchmark::DoNotOptimize(edit.viewport()->grab());
        state.PauseTiming();
        edit.clear();
        state.ResumeTiming();
    }
    state.counters["chars"] = double(report.size());
}
BENCHMARK(BM_PlainTextEditWorstReport)
    ->Arg(13)
    ->Arg(100)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) { return bench::runWindowBenchmarks(argc, argv); }
