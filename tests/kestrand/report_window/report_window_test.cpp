// OK in the settings dialog on the offscreen platform: the ticked reports of a small folder
// in a report window checked against the engine's own answer, the per-user detail, the date
// range, saving, Cancel; the web page, which never carries markup from a log, and the texts
// the window and the page show by name.
#include "kestrand/report_window/report_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QColor>
#include <QDateEdit>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <memory>

#include "kestrand/info/main_window.h"
#include "kestrand/report_window/report_windows.h"
#include "kestrand/report_window/table_models.h"
#include "kestrand/report_window/web_page.h"
#include "kestrand/reports/engine.h"
#include "kestrand/settings/settings_dialog.h"
#include "tests/kestrand/gui_helpers.h"
#include "tests/support/controls.h"
#include "tests/support/scripted_platform.h"
#include "tests/support/test_files.h"

namespace {

using testing_support::control;

std::vector<kestrand::report_window::ReportWindow*> reportWindows() {
    std::vector<kestrand::report_window::ReportWindow*> windows;
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (auto* window = qobject_cast<kestrand::report_window::ReportWindow*>(top)) {
            windows.push_back(window);
        }
    }
    return windows;
}

// A log in the samples' layout: `count` requests on each of two days, three addresses.
std::string twoDaysOfRequests(int count) {
    std::string log;
    for (const char* day : {"2/14/01", "2/15/01"}) {
        for (int n = 0; n < count; ++n) {
            std::vector<std::string> fields = testing_support::sampleFields(n);
            fields[0] = "192.168.1." + std::to_string(n % 3 + 1);
            fields[5] = day;
            fields[6] = (n % 2 ? "09:" : "14:") + std::to_string(10 + n % 40) + ":00";
            log += testing_support::logLine(fields);
        }
    }
    return log;
}

QTableView* tableIn(QWidget* page, const char* name) {
    return page->findChild<QTableView*>(QString::fromLatin1(name));
}

class ReportWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dialog = new kestrand::settings::SettingsDialog(scripted.platform, reports);
        guard = dialog;
        dialog->show();
    }
    void TearDown() override {
        for (kestrand::report_window::ReportWindow* window : reportWindows()) {
            delete window;
        }
        delete guard.data();
    }
    void tick(int index) { control<QCheckBox>(dialog, "Check1", index)->setChecked(true); }
    void pressOk() {
        QTest::mouseClick(control<QPushButton>(dialog, "Command1", 2), Qt::LeftButton);
    }
    void setFolder(const std::filesystem::path& folder) {
        control<QLineEdit>(dialog, "Text1")->setText(QString::fromStdString(folder.string()));
    }

    testing_support::ScriptedPlatform scripted;
    kestrand::report_window::ReportWindows reports{scripted.platform};
    kestrand::settings::SettingsDialog* dialog = nullptr;
    QPointer<kestrand::settings::SettingsDialog> guard;
};

TEST_F(ReportWindowTest, OkShowsTheTickedReportsAsTheEngineGivesThem) {
    testing_support::TempDir empty;
    tick(3);
    tick(0);
    // A missing folder, then a folder without a log: each a warning that names it, no window.
    const std::filesystem::path missing = empty.path() / "missing";
    setFolder(missing);
    pressOk();
    setFolder(empty.path());
    pressOk();
    ASSERT_EQ(scripted.messenger.messages.size(), 2u);
    EXPECT_TRUE(scripted.messenger.messages[0].warning);
    EXPECT_TRUE(
        scripted.messenger.messages[0].text.contains(QString::fromStdString(missing.string())));
    EXPECT_TRUE(scripted.messenger.messages[1].text.contains(
        QString::fromStdString(empty.path().string())));
    EXPECT_TRUE(reportWindows().empty());
    scripted.messenger.messages.clear();

    testing_support::TempDir folder;
    folder.write("a.log", twoDaysOfRequests(30));
    setFolder(folder.path());
    pressOk();
    EXPECT_TRUE(scripted.messenger.messages.empty());
    ASSERT_EQ(reportWindows().size(), 1u);
    kestrand::report_window::ReportWindow* window = reportWindows()[0];
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_TRUE(control<QCheckBox>(dialog, "Check1", 0)->isChecked());
    EXPECT_EQ(window->windowTitle(), QStringLiteral("گزارش کاربران"));
    EXPECT_EQ(window->layoutDirection(), Qt::RightToLeft);

    // The engine's answer for the same folder and kinds is what the window shows.
    kestrand::reports::Options options;
    options.folder = folder.path();
    options.kinds = {true, false, false, true, false, false, false};
    const kestrand::reports::Result answer = kestrand::reports::run(options);
    EXPECT_EQ(kestrand::reports::writeJson(window->result()), kestrand::reports::writeJson(answer));

    // One tab per ticked kind, in the dialog's order from the top: addresses, then hours.
    QTabWidget* tabs = window->tabs();
    ASSERT_EQ(tabs->count(), 2);
    EXPECT_EQ(tabs->tabText(0), QStringLiteral("آدرس کاربران"));
    EXPECT_EQ(tabs->tabText(1), QStringLiteral("ساعات پر کاربرد"));

    QTableView* addresses = tableIn(window->tabOfKind(0), "table-addresses");
    ASSERT_NE(addresses, nullptr);
    ASSERT_EQ(addresses->model()->rowCount(), static_cast<int>(answer.addresses.size()));
    ASSERT_FALSE(answer.addresses.empty());
    const kestrand::reports::AddressRow& top = answer.addresses.front();
    const QAbstractItemModel* model = addresses->model();
    EXPECT_EQ(model->index(0, 0).data().toString(), QString::fromStdString(top.address));
    EXPECT_EQ(model->index(0, 1).data().toString(),
              QLocale(QLocale::English).toString(static_cast<qulonglong>(top.requests)));
    EXPECT_EQ(model->index(0, 1).data(Qt::UserRole).toULongLong(), top.requests);

    tabs->setCurrentIndex(1);
    QTableView* hours = tableIn(tabs->widget(1), "table-hours");
    ASSERT_NE(hours, nullptr);
    ASSERT_EQ(hours->model()->rowCount(), 24);
    for (int h : {9, 14}) {
        EXPECT_EQ(hours->model()->index(h, 1).data(Qt::UserRole).toULongLong(),
                  answer.hours[static_cast<std::size_t>(h)].requests);
    }
    auto* busiest = tabs->widget(1)->findChild<QLabel*>(QStringLiteral("note"));
    ASSERT_NE(busiest, nullptr);
    ASSERT_GE(answer.busiestHour, 0);
    EXPECT_EQ(busiest->text(),
              QStringLiteral("پرکارترین ساعت: %1 (%2 درخواست)")
                  .arg(answer.busiestHour)
                  .arg(answer.hours[static_cast<std::size_t>(answer.busiestHour)].requests));
    EXPECT_NE(tabs->widget(1)->findChild<QWidget*>(QStringLiteral("chart-hours")), nullptr);
    EXPECT_NE(tabs->widget(1)->findChild<QWidget*>(QStringLiteral("chart-weekdays")), nullptr);

    // Sorting by bytes, ascending, then back down.
    addresses->sortByColumn(2, Qt::AscendingOrder);
    for (int row = 1; row < model->rowCount(); ++row) {
        EXPECT_LE(model->index(row - 1, 2).data(Qt::UserRole).toLongLong(),
                  model->index(row, 2).data(Qt::UserRole).toLongLong());
    }

    // The per-user detail: that address's pages, hours and searches.
    const QString address = model->index(0, 0).data(Qt::UserRole).toString();
    tabs->setCurrentIndex(0);
    QApplication::processEvents();
    const QRect cell = addresses->visualRect(model->index(0, 0));
    // A double-click is a click followed by a second press.
    QTest::mouseClick(addresses->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(addresses->viewport(), Qt::LeftButton, {}, cell.center());
    ASSERT_EQ(window->detailWindows().size(), 1u);
    kestrand::report_window::ReportWindow* detail = window->detailWindows()[0];
    EXPECT_TRUE(detail->windowTitle().contains(address));
    ASSERT_EQ(detail->tabs()->count(), 3);
    EXPECT_EQ(detail->tabs()->tabText(0), QStringLiteral("صفحات ديده شده"));
    EXPECT_EQ(detail->tabs()->tabText(2), QStringLiteral("تعداد جستجوها"));
    options.onlyAddress = address.toStdString();
    options.kinds = {false, false, false, true, true, false, true};
    EXPECT_EQ(detail->report().requests,
              static_cast<std::int64_t>(kestrand::reports::run(options).totals.requests));

    // The date range starts as the period; one day runs the reports again for that day.
    auto* from = window->findChild<QDateEdit*>(QStringLiteral("fromDate"));
    auto* to = window->findChild<QDateEdit*>(QStringLiteral("toDate"));
    EXPECT_EQ(from->date(), QDate(2001, 2, 14));
    EXPECT_EQ(to->date(), QDate(2001, 2, 15));
    from->setDate(QDate(2001, 2, 15));
    QTest::mouseClick(window->findChild<QPushButton*>(QStringLiteral("rerunButton")),
                      Qt::LeftButton);
    EXPECT_TRUE(window->report().first.startsWith(QStringLiteral("2001-02-15")));
    EXPECT_EQ(window->report().requests, 30);
    EXPECT_EQ(window->tabs()->count(), 2);

    // Ctrl+S saves the page; "Save as" a .json name saves the JSON. Both are the engine's
    // answer for that day.
    testing_support::TempDir out;
    const QString page = QString::fromStdString((out.path() / "r.html").string());
    const QString data = QString::fromStdString((out.path() / "r.json").string());
    scripted.chooser.answerSave(page);
    scripted.chooser.answerSave(data);
    window->activateWindow();
    QApplication::setActiveWindow(window);
    QTest::keyClick(window, Qt::Key_S, Qt::ControlModifier);
    QTest::mouseClick(window->findChild<QPushButton*>(QStringLiteral("saveAsButton")),
                      Qt::LeftButton);
    EXPECT_EQ(scripted.chooser.unexpected, 0);
    options.onlyAddress.clear();
    options.kinds = {true, false, false, true, false, false, false};
    options.from = 20010215;
    options.to = 20010215;
    const kestrand::reports::Result dayAnswer = kestrand::reports::run(options);
    QFile saved(page);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll(),
              kestrand::report_window::reportPage(kestrand::report_window::buildReport(dayAnswer))
                  .toUtf8());
    QFile savedJson(data);
    ASSERT_TRUE(savedJson.open(QIODevice::ReadOnly));
    EXPECT_EQ(savedJson.readAll().toStdString(), kestrand::reports::writeJson(dayAnswer));
    EXPECT_TRUE(scripted.messenger.messages.empty());
}

TEST_F(ReportWindowTest, CancelShowsNothing) {
    testing_support::TempDir folder;
    folder.write("a.log", twoDaysOfRequests(10));
    setFolder(folder.path());
    tick(6);
    scripted.progress.cancelNext = true;
    pressOk();
    EXPECT_EQ(scripted.progress.runs, 1);
    EXPECT_TRUE(reportWindows().empty());
    EXPECT_TRUE(scripted.messenger.messages.empty());
    EXPECT_TRUE(dialog->isVisible());
}

TEST_F(ReportWindowTest, ClosingTheMainWindowClosesTheReportWindows) {
    testing_support::TempDir folder;
    folder.write("a.log", twoDaysOfRequests(10));
    auto main = std::make_unique<kestrand::info::MainWindow>(scripted.platform, reports);
    setFolder(folder.path());
    tick(0);
    pressOk();
    ASSERT_EQ(reportWindows().size(), 1u);
    main->close();
    kestrand_test::flushDeletes();
    EXPECT_TRUE(reportWindows().empty());
    EXPECT_EQ(scripted.programEnd.count, 1);
}

// Every text of the engine's answer holds markup, quotes, direction marks, a line break and
// Persian words with half-spaces (U+200C) and a joiner (U+200D); one count is past 2^53.
const std::string kBad =
    "\"'><script>alert(1)</script>\u202Eexe.gnp\u200F&amp;\n"
    "نرم\u200Cافزار می\u200Cخواهم\u200D";
constexpr std::uint64_t kHuge = (std::uint64_t{1} << 53) + 1;

kestrand::reports::Result hostileResult() {
    namespace reports = kestrand::reports;
    reports::Result result;
    result.kinds.fill(true);
    result.generator = result.folder = result.homeCountry = kBad;
    result.first = result.last = kBad;
    reports::FileRow file;
    file.path = file.layout = kBad;
    file.size = 10;
    file.lines = 3;
    file.requests = 2;
    file.skipped = 1;
    file.skippedLines = {2};
    file.error = kBad;
    result.files.push_back(file);
    result.totals = {2, 10, 1};
    result.addresses.push_back(reports::AddressRow{kBad, kHuge, 10, {kBad, kBad}, kBad, kBad});
    result.windows.push_back(reports::NamedRow{kBad, 1, 2});
    result.browsers = result.windows;
    for (int h = 0; h < 24; ++h) {
        const auto hour = static_cast<std::uint64_t>(h);
        result.hours[hour] = reports::HourRow{h, hour, hour, 1};
        result.weekdays[hour % 7][hour] = hour;
    }
    result.busiestHour = 23;
    result.sites.push_back(reports::SiteRow{kBad, 1, 1, 1, 1});
    result.pages.push_back(reports::PageRow{kBad, 1});
    result.country.home = kBad;
    result.country.classes.fill(reports::Traffic{1, 10});
    result.country.addresses.push_back(reports::CountryRow{kBad, result.country.classes});
    result.searches.total = 1;
    result.searches.engines.push_back(reports::CountRow{kBad, 1});
    result.searches.addresses = result.searches.engines;
    result.searches.phrases = result.searches.engines;
    return result;
}

TEST(ReportPage, NoTextFromALogBecomesMarkupOrTurnsTheText) {
    const auto result = std::make_shared<const kestrand::reports::Result>(hostileResult());
    const QString page =
        kestrand::report_window::reportPage(kestrand::report_window::buildReport(*result));

    EXPECT_TRUE(page.startsWith(QStringLiteral("<!DOCTYPE html>\n<html lang=\"fa\" dir=\"rtl\">")));
    EXPECT_TRUE(page.contains(QStringLiteral("<meta charset=\"utf-8\">")));
    // Only the page's own elements, and no script, handler, link or outside reference.
    const QSet<QString> allowed = {
        "html", "head",   "meta",       "title", "style",   "body",  "h1",    "h2", "div",
        "p",    "bdi",    "section",    "table", "caption", "thead", "tbody", "tr", "th",
        "td",   "figure", "figcaption", "svg",   "rect",    "text",  "line"};
    const QRegularExpression tag(QStringLiteral("<\\s*/?\\s*([A-Za-z][A-Za-z0-9]*)"));
    for (auto match = tag.globalMatch(page); match.hasNext();) {
        const QString name = match.next().captured(1).toLower();
        EXPECT_TRUE(allowed.contains(name)) << name.toStdString();
    }
    EXPECT_FALSE(page.contains(QStringLiteral("<script"), Qt::CaseInsensitive));
    EXPECT_FALSE(page.contains(QRegularExpression(QStringLiteral("\\son[a-z]+\\s*="))));
    EXPECT_FALSE(page.contains(QStringLiteral("src=")));
    EXPECT_FALSE(page.contains(QStringLiteral("href=")));
    EXPECT_FALSE(page.contains(QStringLiteral("url(")));
    // The marks and the line break are named, not obeyed; the rest of the text is all there,
    // escaped, its half-spaces and joiner as they are.
    EXPECT_FALSE(page.contains(QChar(0x202E)));
    EXPECT_FALSE(page.contains(QChar(0x200F)));
    const QString shown = QStringLiteral(
        "&quot;&#39;&gt;&lt;script&gt;alert(1)&lt;/script&gt;[U+202E]exe.gnp[U+200F]&amp;amp;"
        "[U+000A]نرم\u200Cافزار می\u200Cخواهم\u200D");
    // Folder, period (twice), files (path, layout, error), addresses (address, users, first,
    // last), windows, browsers (table and chart each), sites, pages, country, searches.
    EXPECT_GE(page.count(shown), 20);
    // Counts arrive exact.
    EXPECT_TRUE(page.contains(QStringLiteral("9,007,199,254,740,993")));

    // The window shows the same texts as plain text, the phrase's half-spaces joined.
    testing_support::ScriptedPlatform scripted;
    auto* window = new kestrand::report_window::ReportWindow(
        scripted.platform, {}, kestrand::report_window::shownOutcome(result));
    const QPointer<kestrand::report_window::ReportWindow> guard(window);
    const QString plain = QStringLiteral(
        "\"'><script>alert(1)</script>[U+202E]exe.gnp[U+200F]&amp;[U+000A]نرم\u200Cافزار "
        "می\u200Cخواهم\u200D");
    auto* folder = window->findChild<QLabel*>(QStringLiteral("folderLabel"));
    EXPECT_EQ(folder->textFormat(), Qt::PlainText);
    EXPECT_TRUE(folder->text().contains(plain));
    const QAbstractItemModel* addresses = tableIn(window->tabOfKind(0), "table-addresses")->model();
    EXPECT_EQ(addresses->index(0, 0).data(Qt::UserRole).toString(), plain);
    EXPECT_EQ(addresses->index(0, 1).data(Qt::UserRole).toULongLong(), kHuge);
    QTableView* phrases = tableIn(window->tabOfKind(6), "table-phrases");
    ASSERT_NE(phrases, nullptr);
    EXPECT_EQ(phrases->model()->index(0, 0).data().toString(), plain);
    delete guard.data();
}

// A Squid log in the window and the page: the zone of its times, the refused and cached
// figures in the header, each file's layout, the refused column of report 0 and the one row,
// in Persian, of the requests without an agent.
TEST(ReportWindowHeader, ShowsTheZoneTheRefusedAndCachedAndTheirColumns) {
    std::string log;
    const char* codes[] = {"TCP_MISS/200", "TCP_DENIED/407", "TCP_MEM_HIT/200"};
    for (int n = 0; n < 30; ++n) {
        log += std::to_string(1700000000 + n * 60) + ".000     5 10.0.0." + std::to_string(n % 3) +
               " " + codes[n % 3] + " 1024 GET http://www.example.ir/p" + std::to_string(n) +
               ".html - HIER_DIRECT/2.144.0.1 text/html\n";
    }
    testing_support::TempDir folder;
    folder.write("access.log", log);
    kestrand::reports::Options options;
    options.folder = folder.path();
    options.timeZone = "Asia/Tehran";
    const auto result =
        std::make_shared<const kestrand::reports::Result>(kestrand::reports::run(options));
    ASSERT_EQ(result->denied.requests, 10u);
    ASSERT_EQ(result->cache.requests, 10u);

    testing_support::ScriptedPlatform scripted;
    auto* window = new kestrand::report_window::ReportWindow(
        scripted.platform, {}, kestrand::report_window::shownOutcome(result));
    const QPointer<kestrand::report_window::ReportWindow> guard(window);
    const QString zone = window->findChild<QLabel*>(QStringLiteral("zoneLabel"))->text();
    EXPECT_EQ(zone, QStringLiteral("منطقه‌ی زمانی: \u2068Asia/Tehran\u2069"));
    const QString denied = window->findChild<QLabel*>(QStringLiteral("deniedLabel"))->text();
    EXPECT_EQ(denied, QStringLiteral("مسدود شده: 10 درخواست، حجم \u206810.0 KB\u2069؛ از "
                                     "حافظه‌ی "
                                     "نهان: 10 درخواست، حجم \u206810.0 KB\u2069"));
    const QAbstractItemModel* files =
        window->findChild<QTableView*>(QStringLiteral("table-files"))->model();
    EXPECT_EQ(files->index(0, 1).data().toString(), QStringLiteral("squid"));
    EXPECT_EQ(files->headerData(5, Qt::Horizontal).toString(), QStringLiteral("مسدود شده"));
    EXPECT_EQ(files->index(0, 5).data(Qt::UserRole).toULongLong(), 10u);
    EXPECT_EQ(files->index(0, 6).data(Qt::UserRole).toULongLong(), 10u);
    const QAbstractItemModel* addresses = tableIn(window->tabOfKind(0), "table-addresses")->model();
    EXPECT_EQ(addresses->headerData(3, Qt::Horizontal).toString(), QStringLiteral("مسدود شده"));
    for (int row = 0; row < addresses->rowCount(); ++row) {
        const kestrand::reports::AddressRow& engine =
            result->addresses[static_cast<std::size_t>(row)];
        EXPECT_EQ(addresses->index(row, 3).data(Qt::UserRole).toULongLong(), engine.denied);
    }
    const QAbstractItemModel* browsers = tableIn(window->tabOfKind(2), "table-browsers")->model();
    ASSERT_EQ(browsers->rowCount(), 1);
    EXPECT_EQ(browsers->index(0, 0).data().toString(), QStringLiteral("عامل کاربر ثبت نشده"));

    const QString page =
        kestrand::report_window::reportPage(kestrand::report_window::buildReport(*result));
    EXPECT_TRUE(page.contains(zone));
    EXPECT_TRUE(page.contains(denied));
    delete guard.data();
}

// Named: controls, line and paragraph separators, and the format characters that steer the
// direction (the explicit embeddings, overrides and isolates and the invisible strong marks),
// as Qt's Unicode tables class them. Every other character, the half-space among them, stands
// as itself.
TEST(ReportText, OnlyWhatTurnsTheTextOrBreaksTheLineIsShownByName) {
    const auto byName = [](QChar c) {
        switch (c.category()) {
            case QChar::Other_Control:
            case QChar::Separator_Line:
            case QChar::Separator_Paragraph:
                return true;
            case QChar::Other_Format:
                return c.direction() != QChar::DirBN && c.direction() != QChar::DirAN &&
                       c.direction() != QChar::DirON;
            default:
                return false;
        }
    };
    int named = 0;
    for (char32_t code = 0; code <= 0xFFFF; ++code) {
        const QChar c(static_cast<char16_t>(code));
        const QString expected = byName(c)
                                     ? QStringLiteral("[U+%1]").arg(
                                           QString::number(code, 16).toUpper(), 4, QLatin1Char('0'))
                                     : QString(c);
        EXPECT_EQ(kestrand::report_window::visibleText(QString(c)), expected)
            << std::hex << static_cast<unsigned>(code);
        named += byName(c) ? 1 : 0;
    }
    EXPECT_EQ(named, 32 + 1 + 32 + 2 + 2 + 2 + 5 + 4);
    for (const QString& word : {QStringLiteral("نرم\u200Cافزار"), QStringLiteral("می\u200Cخواهم"),
                                QStringLiteral("ک\u200Dه")}) {
        EXPECT_EQ(kestrand::report_window::visibleText(word), word);
    }
    EXPECT_EQ(kestrand::report_window::visibleText(QStringLiteral("a\u202Egnp.exe\u2069")),
              QStringLiteral("a[U+202E]gnp.exe[U+2069]"));
}

// The weekday-by-hour heat map: each hour's cell in the window has the colour of the page's.
TEST(ReportPage, HeatMapCellsHaveTheWindowsColours) {
    kestrand::reports::Result result;
    result.kinds[3] = true;
    for (std::size_t day = 0; day < 7; ++day) {
        for (std::size_t hour = 0; hour < 24; ++hour) {
            result.weekdays[day][hour] = (day * 24 + hour) * 37 % 1001;
        }
    }
    const kestrand::report_window::Report report = kestrand::report_window::buildReport(result);
    const kestrand::report_window::ReportChart& heat = report.sections.front().charts.at(1);
    ASSERT_EQ(heat.kind, kestrand::report_window::ReportChart::Kind::HeatMap);
    const QString page = kestrand::report_window::reportPage(report);
    const QRegularExpression cell(QStringLiteral(
        "fill=\"rgb\\((\\d+),(\\d+),(\\d+)\\)\" stroke=\"#fff\"><title>[^<]* (\\d+): "));
    const kestrand::report_window::HeatMapModel model(heat);
    int day = 0;
    int cells = 0;
    for (auto match = cell.globalMatch(page); match.hasNext(); ++cells) {
        const QRegularExpressionMatch m = match.next();
        const int hour = m.captured(4).toInt();
        const auto colour = model.data(model.index(day, hour), Qt::BackgroundRole).value<QColor>();
        EXPECT_EQ(colour,
                  QColor(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt()))
            << day << " " << hour;
        day += hour == 23 ? 1 : 0;
    }
    EXPECT_EQ(cells, 7 * 24);
}

}  // namespace
