#pragma once

// The engine's answer as the report window and the web page both show it: a header, then one
// section per report kind with its charts and tables, every text already in the form it is
// shown in. Qt Core only, so the page can be written without a display.

#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <vector>

#include "kestrand/reports/result.h"

namespace kestrand::report_window {

inline constexpr int kReportKindCount = 7;
// The kinds as the settings dialog shows them, top to bottom.
inline constexpr std::array<int, kReportKindCount> kReportKindScreenOrder = {0, 4, 3, 2, 1, 5, 6};

enum class CellKind { Text, Count, Bytes };

struct ReportColumn {
    QString title;
    CellKind kind = CellKind::Text;
};

// One cell: the text of a text column, the number of a numeric one.
struct ReportCell {
    QString text;
    std::int64_t number = 0;
};

struct ReportTable {
    QString name;  // a stable name for tests and the page's anchors
    QString title;
    std::vector<ReportColumn> columns;
    std::vector<std::vector<ReportCell>> rows;
};

struct ReportChart {
    enum class Kind { Bars, HourBars, HeatMap, Shares };
    Kind kind = Kind::Bars;
    QString name;
    QString title;
    QStringList labels;  // one per value; for the heat map, one per column
    std::vector<std::int64_t> values;
    QStringList rowLabels;  // heat map only
    std::vector<std::vector<std::int64_t>> grid;
    bool bytes = false;
};

struct ReportSection {
    int kind = 0;
    QString title;
    QStringList notes;
    std::vector<ReportChart> charts;
    std::vector<ReportTable> tables;
};

struct Report {
    QString folder;
    QString first;  // "YYYY-MM-DD HH:MM:SS", empty when nothing was read
    QString last;
    std::int64_t requests = 0;
    std::int64_t bytes = 0;
    std::int64_t addresses = 0;
    QString timeZone;                 // of every time shown
    std::int64_t deniedRequests = 0;  // refused by the proxy, in no report but 0
    std::int64_t deniedBytes = 0;
    std::int64_t cacheRequests = 0;  // served from the proxy's cache
    std::int64_t cacheBytes = 0;
    std::int64_t skippedLines = 0;
    int filesRead = 0;
    ReportTable files;
    std::vector<ReportSection> sections;
};

// The header and the sections of the kinds the engine was asked for, in the dialog's order.
Report buildReport(const reports::Result& result);

// "1,234,567".
QString groupedNumber(std::int64_t value);
// "512 B", "1.5 KB", "12.0 MB", "3.25 GB" (binary multiples).
QString byteSize(std::int64_t value);
// What a cell shows.
QString cellText(const ReportColumn& column, const ReportCell& cell);

// A text from a log as it may be shown. The characters that turn the direction of text are
// replaced by a visible name ("[U+202E]"), so a log cannot reorder what the reader sees; so
// are control characters and line breaks, which would only garble a one-line cell. Every
// other character stands as itself, the half-space of Persian words (U+200C) among them.
QString visibleText(const QString& text);

// A text set apart from the direction of what surrounds it, its own direction taken from its
// first letter (left to right where it has none): dates, sizes and addresses in a Persian line.
QString isolated(const QString& text);

// The window's title and the header's texts, shared by the window and the page.
QString reportTitle();
QString periodText(const Report& report);
QString filesSummary(const Report& report);
QString totalsText(const Report& report);
QString timeZoneText(const Report& report);
// The refused requests and those served from the cache.
QString deniedAndCacheText(const Report& report);
QString kindTitle(int kind);

}  // namespace kestrand::report_window
