#include "kestrand/report_window/web_page.h"

#include <QByteArray>
#include <QFile>
#include <QSaveFile>
#include <algorithm>

#include "kestrand/report_window/heat_scale.h"

namespace kestrand::report_window {

namespace {

constexpr int kSvgWidth = 640;

const char* const kStyle = R"(
body { font-family: "ZARVENA", "Noto Naskh Arabic", "Noto Sans Arabic", Tahoma, sans-serif;
       margin: 1.5em; color: #1d2733; background: #fff; }
h1 { font-size: 1.6em; margin: 0 0 .4em; }
h2 { font-size: 1.3em; border-bottom: 2px solid #2f5d8a; padding-bottom: .2em; margin-top: 1.6em; }
.header p { margin: .2em 0; }
table { border-collapse: collapse; margin: .6em 0 1.2em; font-size: .92em; }
caption { text-align: right; font-weight: bold; padding: .3em 0; }
th, td { border: 1px solid #c9d3dd; padding: .2em .5em; }
th { background: #e8eef4; }
td { unicode-bidi: isolate; }
td.n { text-align: left; direction: ltr; font-variant-numeric: tabular-nums; white-space: nowrap; }
tbody tr:nth-child(even) { background: #f6f8fa; }
figure { margin: .6em 0; }
figcaption { font-weight: bold; margin-bottom: .3em; }
svg text { font-size: 12px; }
.note { font-weight: bold; color: #2f5d8a; }
)";

const char* const kShareColors[] = {"#2e7d32", "#c62828", "#1565c0", "#9e9e9e"};

// Escapes a text for an element's content or a quoted attribute.
QString escaped(const QString& text) {
    QString out;
    out.reserve(text.size() + 8);
    for (const QChar c : text) {
        switch (c.unicode()) {
            case u'&':
                out += QLatin1String("&amp;");
                break;
            case u'<':
                out += QLatin1String("&lt;");
                break;
            case u'>':
                out += QLatin1String("&gt;");
                break;
            case u'"':
                out += QLatin1String("&quot;");
                break;
            case u'\'':
                out += QLatin1String("&#39;");
                break;
            default:
                out += c;
        }
    }
    return out;
}

QString num(double value) { return QString::number(value, 'f', 1); }

QString valueText(const ReportChart& chart, std::int64_t value) {
    return chart.bytes ? byteSize(value) : groupedNumber(value);
}

std::int64_t largest(const std::vector<std::int64_t>& values) {
    return values.empty()
               ? 0
               : std::max<std::int64_t>(0, *std::max_element(values.begin(), values.end()));
}

// Horizontal bars, the labels at the right where a Persian reader starts.
void barsSvg(QString& out, const ReportChart& chart) {
    constexpr int kRow = 24;
    constexpr int kLabelWidth = 190;
    const int height = kRow * static_cast<int>(chart.values.size()) + 8;
    const double barRight = kSvgWidth - kLabelWidth - 8;
    const double room = barRight - 90;
    const std::int64_t most = largest(chart.values);
    out += QStringLiteral(
               "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%1\" height=\"%2\" "
               "viewBox=\"0 0 %1 %2\" role=\"img\">")
               .arg(kSvgWidth)
               .arg(height);
    for (std::size_t i = 0; i < chart.values.size(); ++i) {
        const double y = 4 + kRow * static_cast<double>(i);
        const double length =
            most > 0 ? room * static_cast<double>(chart.values[i]) / static_cast<double>(most) : 0;
        const QString label = escaped(chart.labels.value(static_cast<int>(i)));
        const QString value = escaped(valueText(chart, chart.values[i]));
        out += QStringLiteral("<text x=\"%1\" y=\"%2\" text-anchor=\"end\">%3</text>")
                   .arg(kSvgWidth - 4)
                   .arg(num(y + 15), label);
        out += QStringLiteral(
                   "<rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" fill=\"%5\">"
                   "<title>%6: %7</title></rect>")
                   .arg(num(barRight - length), num(y + 3), num(length), num(kRow - 6),
                        QStringLiteral("#3b78b0"), label, value);
        out += QStringLiteral(
                   "<text x=\"%1\" y=\"%2\" text-anchor=\"end\" direction=\"ltr\" "
                   "fill=\"#333\">%3</text>")
                   .arg(num(barRight - length - 4), num(y + 15), value);
    }
    out += QLatin1String("</svg>");
}

// Columns for the 24 hours, the hours from left to right as on a clock's scale.
void hourBarsSvg(QString& out, const ReportChart& chart) {
    constexpr int kHeight = 220;
    constexpr int kBase = 190;
    constexpr int kLeft = 56;
    const double step = (kSvgWidth - kLeft - 8) / 24.0;
    const std::int64_t most = largest(chart.values);
    out += QStringLiteral(
               "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%1\" height=\"%2\" "
               "viewBox=\"0 0 %1 %2\" role=\"img\" direction=\"ltr\">")
               .arg(kSvgWidth)
               .arg(kHeight);
    out += QStringLiteral("<line x1=\"%1\" y1=\"%2\" x2=\"%3\" y2=\"%2\" stroke=\"#888\"/>")
               .arg(kLeft)
               .arg(kBase)
               .arg(kSvgWidth - 8);
    out += QStringLiteral("<text x=\"%1\" y=\"18\" text-anchor=\"end\">%2</text>")
               .arg(kLeft - 4)
               .arg(escaped(groupedNumber(most)));
    out += QStringLiteral("<text x=\"%1\" y=\"%2\" text-anchor=\"end\">0</text>")
               .arg(kLeft - 4)
               .arg(kBase);
    for (std::size_t i = 0; i < chart.values.size() && i < 24; ++i) {
        const double x = kLeft + step * static_cast<double>(i);
        const double h = most > 0 ? (kBase - 14) * static_cast<double>(chart.values[i]) /
                                        static_cast<double>(most)
                                  : 0;
        out += QStringLiteral(
                   "<rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" "
                   "fill=\"#3b78b0\"><title>%5: %6</title></rect>")
                   .arg(num(x + 2), num(kBase - h), num(step - 4), num(h),
                        escaped(chart.labels.value(static_cast<int>(i))),
                        escaped(groupedNumber(chart.values[i])));
        out += QStringLiteral("<text x=\"%1\" y=\"%2\" text-anchor=\"middle\">%3</text>")
                   .arg(num(x + step / 2))
                   .arg(kBase + 16)
                   .arg(escaped(chart.labels.value(static_cast<int>(i))));
    }
    out += QLatin1String("</svg>");
}

QString heatFill(std::int64_t value, std::int64_t most) {
    const HeatColour colour = heatColour(value, most);
    return QStringLiteral("rgb(%1,%2,%3)").arg(colour.red).arg(colour.green).arg(colour.blue);
}

void heatMapSvg(QString& out, const ReportChart& chart) {
    constexpr int kLabelWidth = 80;
    constexpr int kCellHeight = 22;
    constexpr int kTop = 18;
    const double cell = (kSvgWidth - kLabelWidth - 8) / 24.0;
    const int height = kTop + kCellHeight * static_cast<int>(chart.grid.size()) + 4;
    std::int64_t most = 0;
    for (const auto& row : chart.grid) {
        most = std::max(most, largest(row));
    }
    out += QStringLiteral(
               "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%1\" height=\"%2\" "
               "viewBox=\"0 0 %1 %2\" role=\"img\" direction=\"ltr\">")
               .arg(kSvgWidth)
               .arg(height);
    for (int hour = 0; hour < chart.labels.size(); ++hour) {
        out += QStringLiteral("<text x=\"%1\" y=\"13\" text-anchor=\"middle\">%2</text>")
                   .arg(num(4 + cell * hour + cell / 2), escaped(chart.labels.at(hour)));
    }
    for (std::size_t day = 0; day < chart.grid.size(); ++day) {
        const double y = kTop + kCellHeight * static_cast<double>(day);
        const QString dayName = escaped(chart.rowLabels.value(static_cast<int>(day)));
        out += QStringLiteral("<text x=\"%1\" y=\"%2\" text-anchor=\"end\">%3</text>")
                   .arg(kSvgWidth - 4)
                   .arg(num(y + 15), dayName);
        const auto& row = chart.grid[day];
        for (std::size_t hour = 0; hour < row.size(); ++hour) {
            out += QStringLiteral(
                       "<rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" "
                       "fill=\"%5\" stroke=\"#fff\"><title>%6 %7: %8</title></rect>")
                       .arg(num(4 + cell * static_cast<double>(hour)), num(y), num(cell),
                            num(kCellHeight), heatFill(row[hour], most), dayName,
                            QString::number(hour), groupedNumber(row[hour]));
        }
    }
    out += QLatin1String("</svg>");
}

// One bar of the whole, cut into the classes' shares, with a legend under it.
void sharesSvg(QString& out, const ReportChart& chart) {
    constexpr int kBarHeight = 30;
    constexpr int kRow = 22;
    const int height = kBarHeight + 12 + kRow * static_cast<int>(chart.values.size());
    std::int64_t total = 0;
    for (const std::int64_t value : chart.values) {
        total += std::max<std::int64_t>(value, 0);
    }
    out += QStringLiteral(
               "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%1\" height=\"%2\" "
               "viewBox=\"0 0 %1 %2\" role=\"img\">")
               .arg(kSvgWidth)
               .arg(height);
    double right = kSvgWidth - 4;
    const double room = kSvgWidth - 8;
    for (std::size_t i = 0; i < chart.values.size(); ++i) {
        const double share = total > 0
                                 ? static_cast<double>(std::max<std::int64_t>(chart.values[i], 0)) /
                                       static_cast<double>(total)
                                 : 0.0;
        const double width = room * share;
        const char* colour = kShareColors[i % std::size(kShareColors)];
        const QString label = escaped(chart.labels.value(static_cast<int>(i)));
        const QString percent = QString::number(share * 100.0, 'f', 1) + QLatin1Char('%');
        out += QStringLiteral(
                   "<rect x=\"%1\" y=\"4\" width=\"%2\" height=\"%3\" fill=\"%4\">"
                   "<title>%5: %6</title></rect>")
                   .arg(num(right - width), num(width))
                   .arg(kBarHeight)
                   .arg(QLatin1String(colour), label, percent);
        right -= width;
        const double y = kBarHeight + 12 + kRow * static_cast<double>(i);
        out += QStringLiteral("<rect x=\"%1\" y=\"%2\" width=\"14\" height=\"14\" fill=\"%3\"/>")
                   .arg(kSvgWidth - 18)
                   .arg(num(y))
                   .arg(QLatin1String(colour));
        out += QStringLiteral("<text x=\"%1\" y=\"%2\" text-anchor=\"end\">%3: %4 (%5)</text>")
                   .arg(kSvgWidth - 24)
                   .arg(num(y + 12), label, percent, escaped(valueText(chart, chart.values[i])));
    }
    out += QLatin1String("</svg>");
}

void chartHtml(QString& out, const ReportChart& chart) {
    out += QStringLiteral("<figure id=\"chart-%1\"><figcaption>%2</figcaption>")
               .arg(escaped(chart.name), escaped(chart.title));
    switch (chart.kind) {
        case ReportChart::Kind::Bars:
            barsSvg(out, chart);
            break;
        case ReportChart::Kind::HourBars:
            hourBarsSvg(out, chart);
            break;
        case ReportChart::Kind::HeatMap:
            heatMapSvg(out, chart);
            break;
        case ReportChart::Kind::Shares:
            sharesSvg(out, chart);
            break;
    }
    out += QLatin1String("</figure>\n");
}

void tableHtml(QString& out, const ReportTable& table) {
    out += QStringLiteral("<table id=\"table-%1\"><caption>%2</caption><thead><tr>")
               .arg(escaped(table.name), escaped(table.title));
    for (const ReportColumn& column : table.columns) {
        out += QStringLiteral("<th>%1</th>").arg(escaped(column.title));
    }
    out += QLatin1String("</tr></thead><tbody>\n");
    for (const auto& row : table.rows) {
        out += QLatin1String("<tr>");
        for (std::size_t i = 0; i < row.size() && i < table.columns.size(); ++i) {
            const ReportColumn& column = table.columns[i];
            if (column.kind == CellKind::Text) {
                out += QLatin1String("<td dir=\"auto\">");
            } else {
                out += QLatin1String("<td class=\"n\">");
            }
            out += escaped(cellText(column, row[i]));
            out += QLatin1String("</td>");
        }
        out += QLatin1String("</tr>\n");
    }
    out += QLatin1String("</tbody></table>\n");
}

}  // namespace

QString reportPage(const Report& report) {
    QString out;
    std::size_t cells = report.files.rows.size();
    for (const ReportSection& section : report.sections) {
        for (const ReportTable& table : section.tables) {
            cells += table.rows.size() * table.columns.size();
        }
    }
    // About forty characters a cell, plus the page's own text.
    const std::size_t expected = 8192 + cells * 40;
    out.reserve(static_cast<qsizetype>(expected));
    out += QStringLiteral(
               "<!DOCTYPE html>\n<html lang=\"fa\" dir=\"rtl\">\n<head>\n"
               "<meta charset=\"utf-8\">\n<title>%1</title>\n<style>")
               .arg(escaped(reportTitle()));
    out += QLatin1String(kStyle);
    out += QStringLiteral("</style>\n</head>\n<body>\n<h1>%1</h1>\n<div class=\"header\">\n")
               .arg(escaped(reportTitle()));
    out += QStringLiteral("<p>%1 <bdi dir=\"ltr\">%2</bdi></p>\n")
               .arg(escaped(QStringLiteral("پوشه:")), escaped(report.folder));
    out += QStringLiteral("<p>%1</p>\n<p>%2</p>\n<p>%3</p>\n<p>%4</p>\n<p>%5</p>\n</div>\n")
               .arg(escaped(periodText(report)), escaped(timeZoneText(report)),
                    escaped(totalsText(report)), escaped(deniedAndCacheText(report)),
                    escaped(filesSummary(report)));
    tableHtml(out, report.files);
    for (const ReportSection& section : report.sections) {
        out += QStringLiteral("<section id=\"kind-%1\">\n<h2>%2</h2>\n")
                   .arg(section.kind)
                   .arg(escaped(section.title));
        for (const QString& note : section.notes) {
            out += QStringLiteral("<p class=\"note\">%1</p>\n").arg(escaped(note));
        }
        for (const ReportChart& chart : section.charts) {
            chartHtml(out, chart);
        }
        for (const ReportTable& table : section.tables) {
            tableHtml(out, table);
        }
        out += QLatin1String("</section>\n");
    }
    out += QLatin1String("</body>\n</html>\n");
    return out;
}

bool writeHtmlReport(const Report& report, const std::filesystem::path& out, std::string& error) {
    const QByteArray page = reportPage(report).toUtf8();
    QSaveFile file(QString::fromStdU16String(out.u16string()));
    if (!file.open(QIODevice::WriteOnly) || file.write(page) != page.size() || !file.commit()) {
        error = "cannot write " + out.string() + ": " + file.errorString().toStdString();
        return false;
    }
    return true;
}

bool writeHtmlReport(const reports::Result& result, const std::filesystem::path& out,
                     std::string& error) {
    return writeHtmlReport(buildReport(result), out, error);
}

}  // namespace kestrand::report_window
