#include "kestrand/report_window/sections.h"

#include <algorithm>

#include "common/number_text.h"
#include "kestrand/reports/text.h"
#include "kestrand/text/qt_text.h"
#include "kestrand/text/stored_strings.h"

namespace kestrand::report_window {

namespace {

// How many rows a bar chart shows before the rest is summed as "other".
constexpr int kTopBars = 10;

const QString kRequests = QStringLiteral("درخواست");
const QString kBytes = QStringLiteral("حجم");
const QString kAddresses = QStringLiteral("آدرس‌ها");
const QString kAddress = QStringLiteral("آدرس");
const QString kOther = QStringLiteral("سایر");
const QString kSearches = QStringLiteral("جستجو");
const QString kDenied = QStringLiteral("مسدود شده");
const QString kFromCache = QStringLiteral("از حافظه‌ی نهان");
// The row of reports 1 and 2 for the requests of logs that hold no agent.
const QString kAgentNotLogged = QStringLiteral("عامل کاربر ثبت نشده");

const std::array<QString, reports::kPlaceCount> kClassTitles = {
    QStringLiteral("داخل کشور"), QStringLiteral("خارج از کشور"), QStringLiteral("محلی"),
    QStringLiteral("نامعلوم")};
const std::array<QString, 7> kWeekdays = {
    QStringLiteral("دوشنبه"),   QStringLiteral("سه‌شنبه"),
    QStringLiteral("چهارشنبه"), QStringLiteral("پنج‌شنبه"),
    QStringLiteral("جمعه"),     QStringLiteral("شنبه"),
    QStringLiteral("یکشنبه")};

// A text of the engine's answer as shown: UTF-8 as it is, other bytes in the logs' code page,
// as the JSON writer reads them.
QString logText(const std::string& raw) {
    if (reports::isValidUtf8(raw)) {
        return visibleText(QString::fromUtf8(raw.data(), static_cast<qsizetype>(raw.size())));
    }
    return visibleText(QString::fromStdString(reports::fromWindows1252(raw)));
}

ReportCell textCell(const std::string& raw) { return {logText(raw), 0}; }
ReportCell numberCell(std::uint64_t value) { return {QString(), static_cast<std::int64_t>(value)}; }

ReportColumn text(const QString& title) { return {title, CellKind::Text}; }
ReportColumn count(const QString& title) { return {title, CellKind::Count}; }
ReportColumn bytes(const QString& title) { return {title, CellKind::Bytes}; }

// One table row for each of `rows`, in the engine's order; `cells` gives a row's cells.
template <typename Rows, typename Cells>
ReportTable tableOf(const QString& name, const QString& title, std::vector<ReportColumn> columns,
                    const Rows& rows, Cells cells) {
    ReportTable table{name, title, std::move(columns), {}};
    table.rows.reserve(rows.size());
    for (const auto& row : rows) {
        table.rows.push_back(cells(row));
    }
    return table;
}

// Bars for the first rows of a table, then one bar for the sum of the rest.
ReportChart topBars(const QString& name, const QString& title, const ReportTable& table,
                    int labelColumn, int valueColumn) {
    ReportChart chart{ReportChart::Kind::Bars, name, title, {}, {}, {}, {}, false};
    std::int64_t rest = 0;
    for (std::size_t i = 0; i < table.rows.size(); ++i) {
        const auto& row = table.rows[i];
        if (static_cast<int>(i) < kTopBars) {
            chart.labels << row[static_cast<std::size_t>(labelColumn)].text;
            chart.values.push_back(row[static_cast<std::size_t>(valueColumn)].number);
        } else {
            rest += row[static_cast<std::size_t>(valueColumn)].number;
        }
    }
    if (table.rows.size() > static_cast<std::size_t>(kTopBars)) {
        chart.labels << kOther;
        chart.values.push_back(rest);
    }
    return chart;
}

ReportSection addressesSection(const reports::Result& result) {
    ReportSection section{0, kindTitle(0), {}, {}, {}};
    section.tables.push_back(
        tableOf(QStringLiteral("addresses"), kindTitle(0),
                {text(kAddress), count(kRequests), bytes(kBytes), count(kDenied),
                 text(QStringLiteral("نام‌های کاربری")),
                 text(QStringLiteral("اولین درخواست")), text(QStringLiteral("آخرین درخواست"))},
                result.addresses, [](const reports::AddressRow& row) {
                    QStringList users;
                    for (const std::string& user : row.users) {
                        users << logText(user);
                    }
                    return std::vector<ReportCell>{textCell(row.address),
                                                   numberCell(row.requests),
                                                   numberCell(row.bytes),
                                                   numberCell(row.denied),
                                                   {users.join(QStringLiteral("، ")), 0},
                                                   textCell(row.first),
                                                   textCell(row.last)};
                }));
    return section;
}

ReportSection namedCountsSection(int kind, const QString& name, const QString& nameTitle,
                                 const std::vector<reports::NamedRow>& rows) {
    ReportSection section{kind, kindTitle(kind), {}, {}, {}};
    ReportTable table =
        tableOf(name, kindTitle(kind), {text(nameTitle), count(kAddresses), count(kRequests)}, rows,
                [](const reports::NamedRow& row) {
                    const ReportCell name = row.name == reports::kAgentNotLogged
                                                ? ReportCell{kAgentNotLogged, 0}
                                                : textCell(row.name);
                    return std::vector<ReportCell>{name, numberCell(row.addresses),
                                                   numberCell(row.requests)};
                });
    if (!table.rows.empty()) {
        section.charts.push_back(topBars(name, kindTitle(kind), table, 0, 2));
    }
    section.tables.push_back(std::move(table));
    return section;
}

ReportSection hoursSection(const reports::Result& result) {
    ReportSection section{3, kindTitle(3), {}, {}, {}};
    ReportTable table =
        tableOf(QStringLiteral("hours"), QStringLiteral("ساعت‌ها"),
                {count(QStringLiteral("ساعت")), count(kRequests), bytes(kBytes), count(kAddresses)},
                result.hours, [](const reports::HourRow& row) {
                    return std::vector<ReportCell>{{QString(), row.hour},
                                                   numberCell(row.requests),
                                                   numberCell(row.bytes),
                                                   numberCell(row.addresses)};
                });
    ReportChart bars{ReportChart::Kind::HourBars,
                     QStringLiteral("hours"),
                     QStringLiteral("درخواست‌ها در ۲۴ ساعت"),
                     {},
                     {},
                     {},
                     {},
                     false};
    for (const reports::HourRow& row : result.hours) {
        bars.labels << QString::number(row.hour);
        bars.values.push_back(static_cast<std::int64_t>(row.requests));
    }
    if (result.busiestHour >= 0 && result.busiestHour < static_cast<int>(result.hours.size())) {
        const reports::HourRow& busiest =
            result.hours[static_cast<std::size_t>(result.busiestHour)];
        section.notes << QStringLiteral("پرکارترین ساعت: %1 (%2 درخواست)")
                             .arg(busiest.hour)
                             .arg(groupedNumber(static_cast<std::int64_t>(busiest.requests)));
    }
    ReportChart heat{
        ReportChart::Kind::HeatMap,
        QStringLiteral("weekdays"),
        QStringLiteral("درخواست‌ها بر حسب روز هفته و ساعت"),
        {},
        {},
        {},
        {},
        false};
    for (int hour = 0; hour < 24; ++hour) {
        heat.labels << QString::number(hour);
    }
    for (std::size_t day = 0; day < result.weekdays.size(); ++day) {
        heat.rowLabels << kWeekdays[day];
        heat.grid.emplace_back(result.weekdays[day].begin(), result.weekdays[day].end());
    }
    section.charts.push_back(std::move(bars));
    section.charts.push_back(std::move(heat));
    section.tables.push_back(std::move(table));
    return section;
}

ReportSection pagesSection(const reports::Result& result) {
    ReportSection section{4, kindTitle(4), {}, {}, {}};
    section.tables.push_back(
        tableOf(QStringLiteral("sites"), QStringLiteral("سایت‌ها"),
                {text(QStringLiteral("سایت")), count(kRequests), count(QStringLiteral("صفحه")),
                 bytes(kBytes), count(kAddresses)},
                result.sites, [](const reports::SiteRow& row) {
                    return std::vector<ReportCell>{textCell(row.host), numberCell(row.requests),
                                                   numberCell(row.pages), numberCell(row.bytes),
                                                   numberCell(row.addresses)};
                }));
    section.tables.push_back(
        tableOf(QStringLiteral("pages"), QStringLiteral("پربازدیدترین صفحات"),
                {text(QStringLiteral("صفحه")), count(QStringLiteral("بازدید"))}, result.pages,
                [](const reports::PageRow& row) {
                    return std::vector<ReportCell>{textCell(row.page), numberCell(row.views)};
                }));
    return section;
}

ReportSection countrySection(const reports::Result& result) {
    const reports::CountryReport& country = result.country;
    ReportSection section{5, kindTitle(5), {}, {}, {}};
    section.notes << QStringLiteral("کشور: %1").arg(logText(country.home));
    ReportTable classes{QStringLiteral("country"),
                        QStringLiteral("سهم ترافیک"),
                        {text(QStringLiteral("مقصد")), count(kRequests), bytes(kBytes)},
                        {}};
    ReportChart shares{ReportChart::Kind::Shares,
                       QStringLiteral("country"),
                       QStringLiteral("سهم حجم"),
                       {},
                       {},
                       {},
                       {},
                       true};
    for (std::size_t i = 0; i < kClassTitles.size(); ++i) {
        const reports::Traffic& part = country.classes[i];
        classes.rows.push_back(
            {{kClassTitles[i], 0}, numberCell(part.requests), numberCell(part.bytes)});
        shares.labels << kClassTitles[i];
        shares.values.push_back(static_cast<std::int64_t>(part.bytes));
    }
    std::vector<ReportColumn> perAddressColumns{text(kAddress)};
    for (const QString& title : kClassTitles) {
        perAddressColumns.push_back(count(kRequests + QStringLiteral(" ") + title));
        perAddressColumns.push_back(bytes(kBytes + QStringLiteral(" ") + title));
    }
    ReportTable perAddress = tableOf(QStringLiteral("country-addresses"),
                                     QStringLiteral("ترافیک هر آدرس"), std::move(perAddressColumns),
                                     country.addresses, [](const reports::CountryRow& row) {
                                         std::vector<ReportCell> cells{textCell(row.address)};
                                         cells.reserve(1 + 2 * row.classes.size());
                                         for (const reports::Traffic& part : row.classes) {
                                             cells.push_back(numberCell(part.requests));
                                             cells.push_back(numberCell(part.bytes));
                                         }
                                         return cells;
                                     });
    section.charts.push_back(std::move(shares));
    section.tables.push_back(std::move(classes));
    section.tables.push_back(std::move(perAddress));
    return section;
}

// The engines, the addresses and the phrases: a name and its searches.
ReportTable searchCounts(const QString& name, const QString& title, const QString& nameTitle,
                         const std::vector<reports::CountRow>& rows) {
    return tableOf(name, title, {text(nameTitle), count(kSearches)}, rows,
                   [](const reports::CountRow& row) {
                       return std::vector<ReportCell>{textCell(row.name), numberCell(row.searches)};
                   });
}

ReportSection searchesSection(const reports::Result& result) {
    const reports::SearchReport& searches = result.searches;
    ReportSection section{6, kindTitle(6), {}, {}, {}};
    section.notes << QStringLiteral("همه‌ی جستجوها: %1")
                         .arg(groupedNumber(static_cast<std::int64_t>(searches.total)));
    ReportTable engines = searchCounts(QStringLiteral("engines"), QStringLiteral("موتورهای جستجو"),
                                       QStringLiteral("موتور جستجو"), searches.engines);
    if (!engines.rows.empty()) {
        section.charts.push_back(
            topBars(QStringLiteral("engines"), QStringLiteral("موتورهای جستجو"), engines, 0, 1));
    }
    section.tables.push_back(std::move(engines));
    section.tables.push_back(searchCounts(QStringLiteral("search-addresses"),
                                          QStringLiteral("جستجوی هر آدرس"), kAddress,
                                          searches.addresses));
    section.tables.push_back(searchCounts(QStringLiteral("phrases"),
                                          QStringLiteral("عبارت‌های جستجو"),
                                          QStringLiteral("عبارت"), searches.phrases));
    return section;
}

ReportTable filesTable(const std::vector<reports::FileRow>& files) {
    return tableOf(
        QStringLiteral("files"), QStringLiteral("فایل‌ها"),
        {text(QStringLiteral("فایل")), text(QStringLiteral("قالب")), count(QStringLiteral("خط")),
         count(kRequests), count(QStringLiteral("درخواست‌های خود پروکسی")),
         count(kDenied), count(kFromCache), count(QStringLiteral("خطوط رد شده")),
         text(QStringLiteral("شماره‌ی خطوط رد شده")), text(QStringLiteral("خطا"))},
        files, [](const reports::FileRow& file) {
            QStringList skippedLines;
            for (const std::uint64_t line : file.skippedLines) {
                skippedLines << QString::number(line);
            }
            return std::vector<ReportCell>{textCell(file.path),
                                           textCell(file.layout),
                                           numberCell(file.lines),
                                           numberCell(file.requests),
                                           numberCell(file.proxyRequests),
                                           numberCell(file.denied),
                                           numberCell(file.cache.requests),
                                           numberCell(file.skipped),
                                           {skippedLines.join(QStringLiteral(" ")), 0},
                                           textCell(file.error.value_or(std::string()))};
        });
}

}  // namespace

Report buildReport(const reports::Result& result) {
    Report report;
    report.folder = logText(result.folder);
    report.first = logText(result.first.value_or(std::string()));
    report.last = logText(result.last.value_or(std::string()));
    report.requests = static_cast<std::int64_t>(result.totals.requests);
    report.bytes = static_cast<std::int64_t>(result.totals.bytes);
    report.addresses = static_cast<std::int64_t>(result.totals.addresses);
    report.timeZone = logText(result.timeZone);
    report.deniedRequests = static_cast<std::int64_t>(result.denied.requests);
    report.deniedBytes = static_cast<std::int64_t>(result.denied.bytes);
    report.cacheRequests = static_cast<std::int64_t>(result.cache.requests);
    report.cacheBytes = static_cast<std::int64_t>(result.cache.bytes);
    for (const reports::FileRow& file : result.files) {
        report.filesRead += file.error ? 0 : 1;
        report.skippedLines += static_cast<std::int64_t>(file.skipped);
    }
    report.files = filesTable(result.files);

    for (const int kind : kReportKindScreenOrder) {
        if (!result.kinds[static_cast<std::size_t>(kind)]) {
            continue;
        }
        switch (kind) {
            case 0:
                report.sections.push_back(addressesSection(result));
                break;
            case 1:
                report.sections.push_back(namedCountsSection(
                    1, QStringLiteral("windows"), QStringLiteral("سیستم عامل"), result.windows));
                break;
            case 2:
                report.sections.push_back(namedCountsSection(
                    2, QStringLiteral("browsers"), QStringLiteral("مرورگر"), result.browsers));
                break;
            case 3:
                report.sections.push_back(hoursSection(result));
                break;
            case 4:
                report.sections.push_back(pagesSection(result));
                break;
            case 5:
                report.sections.push_back(countrySection(result));
                break;
            default:
                report.sections.push_back(searchesSection(result));
                break;
        }
    }
    return report;
}

QString groupedNumber(std::int64_t value) {
    const std::string digits =
        common::grouped(static_cast<std::uint64_t>(value < 0 ? -value : value));
    return (value < 0 ? QStringLiteral("-") : QString()) + QString::fromStdString(digits);
}

// The window's own units (B, KB, MB, GB in binary multiples), as its tables and pages have
// always shown them; the English texts' IEC names (common::sizeText) would change the page.
QString byteSize(std::int64_t value) {
    if (value < 1024) {
        return QStringLiteral("%1 B").arg(value);
    }
    static const char* const units[] = {"KB", "MB", "GB", "TB"};
    double size = static_cast<double>(value) / 1024.0;
    std::size_t unit = 0;
    while (size >= 1024.0 && unit + 1 < std::size(units)) {
        size /= 1024.0;
        ++unit;
    }
    return QStringLiteral("%1 %2")
        .arg(size, 0, 'f', size < 10 ? 2 : 1)
        .arg(QLatin1String(units[unit]));
}

QString cellText(const ReportColumn& column, const ReportCell& cell) {
    switch (column.kind) {
        case CellKind::Count:
            return groupedNumber(cell.number);
        case CellKind::Bytes:
            return byteSize(cell.number);
        default:
            return cell.text;
    }
}

QString visibleText(const QString& text) {
    const auto hidden = [](char16_t c) {
        // Controls (C0, DEL, C1); the invisible marks of a strong direction (LRM, RLM, the
        // Arabic letter mark, the Syriac abbreviation mark); the line and paragraph separators
        // (a paragraph's end also closes every embedding and isolate) and the embeddings,
        // overrides and isolates.
        return c < 0x20 || (c >= 0x7F && c < 0xA0) || c == 0x061C || c == 0x070F || c == 0x200E ||
               c == 0x200F || (c >= 0x2028 && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
    };
    if (std::none_of(text.begin(), text.end(), [&](QChar c) { return hidden(c.unicode()); })) {
        return text;
    }
    QString shown;
    shown.reserve(text.size() + 16);
    for (const QChar c : text) {
        if (hidden(c.unicode())) {
            shown += QStringLiteral("[U+%1]").arg(c.unicode(), 4, 16, QLatin1Char('0')).toUpper();
        } else {
            shown += c;
        }
    }
    return shown;
}

QString isolated(const QString& text) { return QChar(0x2068) + text + QChar(0x2069); }

QString reportTitle() { return text::toQString(text::kReportsTitle); }

QString periodText(const Report& report) {
    if (report.first.isEmpty()) {
        return QStringLiteral("دوره: —");
    }
    return QStringLiteral("دوره: از %1 تا %2").arg(isolated(report.first), isolated(report.last));
}

QString filesSummary(const Report& report) {
    return QStringLiteral(
               "فایل‌های خوانده شده: %1 از %2، خطوط رد شده: %3")
        .arg(groupedNumber(report.filesRead),
             groupedNumber(static_cast<std::int64_t>(report.files.rows.size())),
             groupedNumber(report.skippedLines));
}

QString totalsText(const Report& report) {
    return QStringLiteral("درخواست‌ها: %1، حجم: %2، آدرس‌ها: %3")
        .arg(groupedNumber(report.requests), isolated(byteSize(report.bytes)),
             groupedNumber(report.addresses));
}

QString timeZoneText(const Report& report) {
    return QStringLiteral("منطقه‌ی زمانی: %1")
        .arg(isolated(report.timeZone.isEmpty() ? QStringLiteral("—") : report.timeZone));
}

QString deniedAndCacheText(const Report& report) {
    const QString denied = QStringLiteral("%1: %2 درخواست، حجم %3")
                               .arg(kDenied, groupedNumber(report.deniedRequests),
                                    isolated(byteSize(report.deniedBytes)));
    const QString cached = QStringLiteral("%1: %2 درخواست، حجم %3")
                               .arg(kFromCache, groupedNumber(report.cacheRequests),
                                    isolated(byteSize(report.cacheBytes)));
    return denied + QStringLiteral("؛ ") + cached;
}

QString kindTitle(int kind) {
    return text::toQString(text::kReportKinds[static_cast<std::size_t>(kind)]);
}

}  // namespace kestrand::report_window
