#include "kestrand/report_window/sections.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QLocale>
#include <algorithm>

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

const std::array<QString, 4> kClassKeys = {QStringLiteral("inside"), QStringLiteral("outside"),
                                           QStringLiteral("local"), QStringLiteral("unknown")};
const std::array<QString, 4> kClassTitles = {QStringLiteral("داخل کشور"),
                                             QStringLiteral("خارج از کشور"), QStringLiteral("محلی"),
                                             QStringLiteral("نامعلوم")};
const std::array<QString, 7> kWeekdays = {
    QStringLiteral("دوشنبه"),   QStringLiteral("سه‌شنبه"),
    QStringLiteral("چهارشنبه"), QStringLiteral("پنج‌شنبه"),
    QStringLiteral("جمعه"),     QStringLiteral("شنبه"),
    QStringLiteral("یکشنبه")};

std::int64_t number(const QJsonValue& value) {
    if (value.isDouble()) {
        return value.toInteger(static_cast<qint64>(value.toDouble()));
    }
    return 0;
}

QString logText(const QJsonValue& value) { return visibleText(value.toString()); }

ReportCell textCell(const QString& text) { return {text, 0}; }
ReportCell numberCell(std::int64_t value) { return {QString(), value}; }

ReportColumn text(const QString& title) { return {title, CellKind::Text}; }
ReportColumn count(const QString& title) { return {title, CellKind::Count}; }
ReportColumn bytes(const QString& title) { return {title, CellKind::Bytes}; }

// Rows of objects whose keys are the columns' keys, in the JSON's order.
ReportTable objectTable(const QString& name, const QString& title, const QJsonArray& list,
                        const std::vector<std::pair<QString, ReportColumn>>& columns) {
    ReportTable table{name, title, {}, {}};
    for (const auto& [key, column] : columns) {
        table.columns.push_back(column);
    }
    table.rows.reserve(static_cast<std::size_t>(list.size()));
    for (const QJsonValue item : list) {
        const QJsonObject object = item.toObject();
        std::vector<ReportCell> row;
        row.reserve(columns.size());
        for (const auto& [key, column] : columns) {
            row.push_back(column.kind == CellKind::Text ? textCell(logText(object.value(key)))
                                                        : numberCell(number(object.value(key))));
        }
        table.rows.push_back(std::move(row));
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

ReportSection addressesSection(const QJsonObject& root) {
    ReportSection section{0, kindTitle(0), {}, {}, {}};
    ReportTable table{
        QStringLiteral("addresses"),
        kindTitle(0),
        {text(kAddress), count(kRequests), bytes(kBytes),
         text(QStringLiteral("نام‌های کاربری")),
         text(QStringLiteral("اولین درخواست")), text(QStringLiteral("آخرین درخواست"))},
        {}};
    const QJsonArray list = root.value(QStringLiteral("addresses")).toArray();
    table.rows.reserve(static_cast<std::size_t>(list.size()));
    for (const QJsonValue item : list) {
        const QJsonObject object = item.toObject();
        QStringList users;
        for (const QJsonValue user : object.value(QStringLiteral("users")).toArray()) {
            users << logText(user);
        }
        table.rows.push_back({textCell(logText(object.value(QStringLiteral("address")))),
                              numberCell(number(object.value(QStringLiteral("requests")))),
                              numberCell(number(object.value(QStringLiteral("bytes")))),
                              textCell(users.join(QStringLiteral("، "))),
                              textCell(logText(object.value(QStringLiteral("first")))),
                              textCell(logText(object.value(QStringLiteral("last"))))});
    }
    section.tables.push_back(std::move(table));
    return section;
}

ReportSection namedCountsSection(const QJsonObject& root, int kind, const QString& key,
                                 const QString& nameTitle) {
    ReportSection section{kind, kindTitle(kind), {}, {}, {}};
    ReportTable table = objectTable(key, kindTitle(kind), root.value(key).toArray(),
                                    {{QStringLiteral("name"), text(nameTitle)},
                                     {QStringLiteral("addresses"), count(kAddresses)},
                                     {QStringLiteral("requests"), count(kRequests)}});
    if (!table.rows.empty()) {
        section.charts.push_back(topBars(key, kindTitle(kind), table, 0, 2));
    }
    section.tables.push_back(std::move(table));
    return section;
}

ReportSection hoursSection(const QJsonObject& root) {
    ReportSection section{3, kindTitle(3), {}, {}, {}};
    ReportTable table = objectTable(QStringLiteral("hours"), QStringLiteral("ساعت‌ها"),
                                    root.value(QStringLiteral("hours")).toArray(),
                                    {{QStringLiteral("hour"), count(QStringLiteral("ساعت"))},
                                     {QStringLiteral("requests"), count(kRequests)},
                                     {QStringLiteral("bytes"), bytes(kBytes)},
                                     {QStringLiteral("addresses"), count(kAddresses)}});
    ReportChart bars{ReportChart::Kind::HourBars,
                     QStringLiteral("hours"),
                     QStringLiteral("درخواست‌ها در ۲۴ ساعت"),
                     {},
                     {},
                     {},
                     {},
                     false};
    int busiest = -1;
    std::int64_t most = 0;
    for (const auto& row : table.rows) {
        bars.labels << QString::number(row[0].number);
        bars.values.push_back(row[1].number);
        if (row[1].number > most) {
            most = row[1].number;
            busiest = static_cast<int>(row[0].number);
        }
    }
    if (busiest >= 0) {
        section.notes << QStringLiteral("پرکارترین ساعت: %1 (%2 درخواست)")
                             .arg(busiest)
                             .arg(groupedNumber(most));
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
    const QJsonArray days = root.value(QStringLiteral("weekdays")).toArray();
    for (int day = 0; day < 7; ++day) {
        heat.rowLabels << kWeekdays[static_cast<std::size_t>(day)];
        const QJsonArray hours = days.at(day).toArray();
        std::vector<std::int64_t> counts(24, 0);
        for (int hour = 0; hour < 24 && hour < hours.size(); ++hour) {
            counts[static_cast<std::size_t>(hour)] = number(hours.at(hour));
        }
        heat.grid.push_back(std::move(counts));
    }
    section.charts.push_back(std::move(bars));
    section.charts.push_back(std::move(heat));
    section.tables.push_back(std::move(table));
    return section;
}

ReportSection pagesSection(const QJsonObject& root) {
    ReportSection section{4, kindTitle(4), {}, {}, {}};
    section.tables.push_back(objectTable(QStringLiteral("sites"), QStringLiteral("سایت‌ها"),
                                         root.value(QStringLiteral("sites")).toArray(),
                                         {{QStringLiteral("host"), text(QStringLiteral("سایت"))},
                                          {QStringLiteral("requests"), count(kRequests)},
                                          {QStringLiteral("pages"), count(QStringLiteral("صفحه"))},
                                          {QStringLiteral("bytes"), bytes(kBytes)},
                                          {QStringLiteral("addresses"), count(kAddresses)}}));
    section.tables.push_back(
        objectTable(QStringLiteral("pages"), QStringLiteral("پربازدیدترین صفحات"),
                    root.value(QStringLiteral("pages")).toArray(),
                    {{QStringLiteral("page"), text(QStringLiteral("صفحه"))},
                     {QStringLiteral("views"), count(QStringLiteral("بازدید"))}}));
    return section;
}

ReportSection countrySection(const QJsonObject& root) {
    ReportSection section{5, kindTitle(5), {}, {}, {}};
    const QJsonObject country = root.value(QStringLiteral("country")).toObject();
    section.notes << QStringLiteral("کشور: %1").arg(logText(country.value(QStringLiteral("home"))));
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
    for (std::size_t i = 0; i < kClassKeys.size(); ++i) {
        const QJsonObject part = country.value(kClassKeys[i]).toObject();
        const std::int64_t partBytes = number(part.value(QStringLiteral("bytes")));
        classes.rows.push_back({textCell(kClassTitles[i]),
                                numberCell(number(part.value(QStringLiteral("requests")))),
                                numberCell(partBytes)});
        shares.labels << kClassTitles[i];
        shares.values.push_back(partBytes);
    }
    ReportTable perAddress{
        QStringLiteral("country-addresses"), QStringLiteral("ترافیک هر آدرس"), {}, {}};
    perAddress.columns.push_back(text(kAddress));
    for (const QString& title : kClassTitles) {
        perAddress.columns.push_back(count(kRequests + QStringLiteral(" ") + title));
        perAddress.columns.push_back(bytes(kBytes + QStringLiteral(" ") + title));
    }
    const QJsonArray list = country.value(QStringLiteral("addresses")).toArray();
    perAddress.rows.reserve(static_cast<std::size_t>(list.size()));
    for (const QJsonValue item : list) {
        const QJsonObject object = item.toObject();
        std::vector<ReportCell> row{textCell(logText(object.value(QStringLiteral("address"))))};
        for (const QString& key : kClassKeys) {
            const QJsonObject part = object.value(key).toObject();
            row.push_back(numberCell(number(part.value(QStringLiteral("requests")))));
            row.push_back(numberCell(number(part.value(QStringLiteral("bytes")))));
        }
        perAddress.rows.push_back(std::move(row));
    }
    section.charts.push_back(std::move(shares));
    section.tables.push_back(std::move(classes));
    section.tables.push_back(std::move(perAddress));
    return section;
}

ReportSection searchesSection(const QJsonObject& root) {
    ReportSection section{6, kindTitle(6), {}, {}, {}};
    const QJsonObject searches = root.value(QStringLiteral("searches")).toObject();
    section.notes << QStringLiteral("همه‌ی جستجوها: %1")
                         .arg(groupedNumber(number(searches.value(QStringLiteral("total")))));
    ReportTable engines =
        objectTable(QStringLiteral("engines"), QStringLiteral("موتورهای جستجو"),
                    searches.value(QStringLiteral("engines")).toArray(),
                    {{QStringLiteral("engine"), text(QStringLiteral("موتور جستجو"))},
                     {QStringLiteral("searches"), count(kSearches)}});
    if (!engines.rows.empty()) {
        section.charts.push_back(
            topBars(QStringLiteral("engines"), QStringLiteral("موتورهای جستجو"), engines, 0, 1));
    }
    section.tables.push_back(std::move(engines));
    section.tables.push_back(objectTable(QStringLiteral("search-addresses"),
                                         QStringLiteral("جستجوی هر آدرس"),
                                         searches.value(QStringLiteral("addresses")).toArray(),
                                         {{QStringLiteral("address"), text(kAddress)},
                                          {QStringLiteral("searches"), count(kSearches)}}));
    section.tables.push_back(objectTable(QStringLiteral("phrases"),
                                         QStringLiteral("عبارت‌های جستجو"),
                                         searches.value(QStringLiteral("phrases")).toArray(),
                                         {{QStringLiteral("phrase"), text(QStringLiteral("عبارت"))},
                                          {QStringLiteral("searches"), count(kSearches)}}));
    return section;
}

ReportTable filesTable(const QJsonArray& files, Report& report) {
    ReportTable table{
        QStringLiteral("files"),
        QStringLiteral("فایل‌ها"),
        {text(QStringLiteral("فایل")), text(QStringLiteral("قالب")), count(QStringLiteral("خط")),
         count(kRequests), count(QStringLiteral("درخواست‌های خود پروکسی")),
         count(QStringLiteral("خطوط رد شده")),
         text(QStringLiteral("شماره‌ی خطوط رد شده")), text(QStringLiteral("خطا"))},
        {}};
    for (const QJsonValue item : files) {
        const QJsonObject file = item.toObject();
        QStringList skippedLines;
        for (const QJsonValue line : file.value(QStringLiteral("skipped_lines")).toArray()) {
            skippedLines << QString::number(number(line));
        }
        const QJsonValue error = file.value(QStringLiteral("error"));
        const std::int64_t skipped = number(file.value(QStringLiteral("skipped")));
        if (error.isNull() || error.isUndefined()) {
            ++report.filesRead;
        }
        report.skippedLines += skipped;
        table.rows.push_back({textCell(logText(file.value(QStringLiteral("path")))),
                              textCell(logText(file.value(QStringLiteral("layout")))),
                              numberCell(number(file.value(QStringLiteral("lines")))),
                              numberCell(number(file.value(QStringLiteral("requests")))),
                              numberCell(number(file.value(QStringLiteral("proxy_requests")))),
                              numberCell(skipped), textCell(skippedLines.join(QStringLiteral(" "))),
                              textCell(logText(error))});
    }
    return table;
}

}  // namespace

std::optional<Report> readReport(const QByteArray& json, QString* error,
                                 const std::array<bool, kReportKindCount>* kinds) {
    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject()) {
        if (error != nullptr) {
            *error = parseError.error != QJsonParseError::NoError
                         ? QStringLiteral("not JSON: %1 at byte %2")
                               .arg(parseError.errorString())
                               .arg(parseError.offset)
                         : QStringLiteral("the JSON is not an object");
        }
        return std::nullopt;
    }
    const QJsonObject root = document.object();
    Report report;
    report.folder = logText(root.value(QStringLiteral("folder")));
    const QJsonObject period = root.value(QStringLiteral("period")).toObject();
    report.first = logText(period.value(QStringLiteral("first")));
    report.last = logText(period.value(QStringLiteral("last")));
    const QJsonObject totals = root.value(QStringLiteral("totals")).toObject();
    report.requests = number(totals.value(QStringLiteral("requests")));
    report.bytes = number(totals.value(QStringLiteral("bytes")));
    report.addresses = number(totals.value(QStringLiteral("addresses")));
    report.files = filesTable(root.value(QStringLiteral("files")).toArray(), report);

    const auto wanted = [&](int kind, const char* key) {
        return (kinds == nullptr || (*kinds)[static_cast<std::size_t>(kind)]) &&
               root.contains(QLatin1String(key));
    };
    for (const int kind : kReportKindScreenOrder) {
        switch (kind) {
            case 0:
                if (wanted(0, "addresses")) {
                    report.sections.push_back(addressesSection(root));
                }
                break;
            case 1:
                if (wanted(1, "windows")) {
                    report.sections.push_back(namedCountsSection(root, 1, QStringLiteral("windows"),
                                                                 QStringLiteral("سیستم عامل")));
                }
                break;
            case 2:
                if (wanted(2, "browsers")) {
                    report.sections.push_back(namedCountsSection(
                        root, 2, QStringLiteral("browsers"), QStringLiteral("مرورگر")));
                }
                break;
            case 3:
                if (wanted(3, "hours")) {
                    report.sections.push_back(hoursSection(root));
                }
                break;
            case 4:
                if (wanted(4, "sites")) {
                    report.sections.push_back(pagesSection(root));
                }
                break;
            case 5:
                if (wanted(5, "country")) {
                    report.sections.push_back(countrySection(root));
                }
                break;
            default:
                if (wanted(6, "searches")) {
                    report.sections.push_back(searchesSection(root));
                }
                break;
        }
    }
    return report;
}

QString groupedNumber(std::int64_t value) {
    static const QLocale english(QLocale::English);
    return english.toString(static_cast<qlonglong>(value));
}

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

QString kindTitle(int kind) {
    return text::toQString(text::kReportKinds[static_cast<std::size_t>(kind)]);
}

}  // namespace kestrand::report_window
