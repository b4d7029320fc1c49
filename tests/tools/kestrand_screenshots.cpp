// Renders kestrand's windows to PNG files for the documentation:
//   kestrand_screenshots OUTPUT_FOLDER [LOG_FOLDER [demo]]
// With a folder of logs, OK in the settings dialog makes every report over it: the report
// window is grabbed on five of its tabs and the web page is written beside the pictures. With
// "demo", LOG_FOLDER is first filled with a week of a small office's requests.
// The settings dialog is opened the way a user opens it: Ctrl+P on the wide button; Browse
// is answered by a scripted folder chooser. The chart's tooltip is a window of its own, so
// it is grabbed and drawn over the main window where it stands.
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPolygonF>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QToolTip>

#include "forms/fonts.h"
#include "kestrand/info/chart_layout.h"
#include "kestrand/info/main_window.h"
#include "kestrand/info/usage_chart.h"
#include "kestrand/report_window/report_window.h"
#include "kestrand/report_window/report_windows.h"
#include "kestrand/report_window/web_page.h"
#include "kestrand/settings/settings_dialog.h"
#include "tests/support/scripted_platform.h"
#include "tests/support/test_files.h"

namespace {

// The middle of a column's face toward the viewer, in the chart's coordinates.
QPoint columnCentre(const kestrand::info::UsageChart& chart, std::size_t index) {
    const kestrand::info::ChartLayout layout = chart.currentLayout();
    const auto seen = kestrand::info::visibleFaces(chart.view());
    kestrand::info::Point2 sum;
    for (const kestrand::info::Vec3& corner :
         kestrand::info::columnFaces(chart.geometry().columns[index], seen).facing) {
        const kestrand::info::Point2 p =
            layout.plot.toScreen(kestrand::info::project(corner, chart.view()));
        sum = {sum.x + p.x / 4, sum.y + p.y / 4};
    }
    return QPointF(sum.x, sum.y).toPoint();
}

// An arrow pointer with its tip at `at`, as the screen would show the mouse.
void drawPointer(QPainter& painter, const QPoint& at) {
    const QPointF outline[] = {{0, 0},    {0, 16},     {4, 12.5},   {7, 19},
                               {9.5, 18}, {6.5, 11.5}, {11.5, 11.5}};
    QPolygonF arrow;
    for (const QPointF& corner : outline) {
        arrow << corner + at;
    }
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(Qt::white);
    painter.drawPolygon(arrow);
}

QWidget* shownToolTip() {
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (top->inherits("QTipLabel") && top->isVisible()) {
            return top;
        }
    }
    return nullptr;
}

// A week of a small office behind the gateway: forty addresses, browsers of several ages, sites
// inside and outside the country, searches; in the layout of the samples.
void writeDemoLogs(const QString& folder) {
    // Long agents are split over lines on purpose.
    // NOLINTBEGIN(bugprone-suspicious-missing-comma)
    const std::vector<std::string> agents = {
        "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1)",
        "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) "
        "Chrome/120.0.0.0 Safari/537.36",
        "Mozilla/5.0 (Windows NT 6.1; rv:45.0) Gecko/20100101 Firefox/45.0",
        "Mozilla/5.0 (Windows NT 6.1; WOW64; Trident/7.0; rv:11.0) like Gecko",
        "Mozilla/5.0 (Linux; Android 4.4.2; SM-G7102) AppleWebKit/537.36 (KHTML, like Gecko) "
        "Chrome/34.0.1847.114 Mobile Safari/537.36",
        "Mozilla/5.0 (Windows NT 10.0; Win64; x64; rv:115.0) Gecko/20100101 Firefox/115.0",
        "Mozilla/4.0 (compatible; MSIE 7.0; Windows NT 6.0)",
    };
    // NOLINTEND(bugprone-suspicious-missing-comma)
    struct Site {
        const char* host;
        const char* address;
        const char* path;
    };
    const std::vector<Site> sites = {
        {"www.google.com", "142.250.185.68", "/search?q=%D8%A2%D8%A8+%D9%88+%D9%87%D9%88%D8%A7"},
        {"www.google.com", "142.250.185.68", "/search?q=qt+charts+tutorial"},
        {"www.bing.com", "13.107.21.200", "/search?q=tehran+weather"},
        // "کتاب‌ها", with the half-space of Persian spelling.
        {"parsijoo.ir", "185.143.233.10", "/web?q=%DA%A9%D8%AA%D8%A7%D8%A8%E2%80%8C%D9%87%D8%A7"},
        {"www.varzesh3.com", "185.143.232.5", "/news/index.html"},
        {"www.digikala.com", "185.147.178.11", "/product/list.html"},
        {"www.aparat.com", "-", "/v/clip.html"},
        {"en.wikipedia.org", "185.15.59.224", "/wiki/Proxy_server"},
        {"intranet.office.local", "192.168.1.250", "/reports/index.html"},
        {"mail.yahoo.com", "87.248.119.252", "/inbox.html"},
        {"www.isna.ir", "-", "/news/today.html"},
        {"cdn.example.net", "93.184.216.34", "/img/logo.gif"},
    };
    const std::vector<std::string> users = {"ALIREZA", "MARYAM", "reza", "SHIRIN", "babak", "-"};
    std::string log;
    unsigned seed = 7;
    const auto next = [&seed](unsigned range) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) % range;
    };
    for (int n = 0; n < 3000; ++n) {
        std::vector<std::string> fields = testing_support::sampleFields(n);
        const unsigned client = next(40) * next(40) / 40;  // a few busy addresses
        const Site& site = sites[next(static_cast<unsigned>(sites.size()))];
        const unsigned day = 10 + next(7);
        const unsigned hour = 8 + next(10) - (next(5) == 0 ? 0 : next(3));
        fields[0] = "192.168.1." + std::to_string(client + 2);
        fields[1] = users[client % users.size()];
        fields[2] = agents[client % agents.size()];
        fields[5] = "3/" + std::to_string(day) + "/24";
        fields[6] = std::to_string(hour) + ":" + std::to_string(10 + next(50)) + ":" +
                    std::to_string(10 + next(50));
        fields[7] = site.host;
        fields[11] = site.address;
        fields[15] = std::to_string(2000 + next(60000) * (next(10) == 0 ? 40 : 1));
        fields[19] = std::string("http://") + site.host + site.path;
        fields[20] = std::string(site.path).ends_with(".gif") ? "image/gif" : "text/html";
        log += testing_support::logLine(fields);
    }
    QDir().mkpath(folder);
    QFile file(QDir(folder).filePath(QStringLiteral("W3240310.log")));
    if (file.open(QIODevice::WriteOnly)) {
        file.write(log.data(), static_cast<qint64>(log.size()));
    }
}

kestrand::report_window::ReportWindow* shownReportWindow() {
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (auto* window = qobject_cast<kestrand::report_window::ReportWindow*>(top)) {
            return window;
        }
    }
    return nullptr;
}

int reportShots(QWidget& dialog, const QString& logs, const QDir& out, const QString& suffix) {
    dialog.findChild<QLineEdit*>(QStringLiteral("Text1"))->setText(logs);
    for (int i = 0; i < 7; ++i) {
        dialog.findChild<QCheckBox*>(QStringLiteral("Check1(%1)").arg(i))->setChecked(true);
    }
    QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("Command1(2)")),
                      Qt::LeftButton);
    kestrand::report_window::ReportWindow* window = shownReportWindow();
    if (window == nullptr) {
        qWarning("no report window opened");
        return 1;
    }
    (void)QTest::qWaitForWindowExposed(window);
    const struct {
        int kind;
        const char* name;
    } shots[] = {{3, "kestrand-report-hours"},
                 {2, "kestrand-report-browsers"},
                 {5, "kestrand-report-country"},
                 {0, "kestrand-report-addresses"},
                 {6, "kestrand-report-searches"}};
    for (const auto& shot : shots) {
        window->tabs()->setCurrentWidget(window->tabOfKind(shot.kind));
        QApplication::processEvents();
        window->grab().save(
            out.filePath(QStringLiteral("%1%2.png").arg(QLatin1String(shot.name), suffix)));
    }
    std::string error;
    if (!kestrand::report_window::writeHtmlReport(
            window->report(), out.filePath(QStringLiteral("kestrand-report.html")).toStdString(),
            error)) {
        qWarning("%s", error.c_str());
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    forms::installFontSubstitutions();
    if (argc < 2) {
        qWarning("usage: kestrand_screenshots OUTPUT_FOLDER");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    const qreal ratio = qApp->devicePixelRatio();
    const QString suffix = ratio == 1.0 ? QString() : QStringLiteral("@%1x").arg(ratio);

    testing_support::ScriptedPlatform scripted;
    kestrand::report_window::ReportWindows reports(scripted.platform);
    kestrand::info::MainWindow window(scripted.platform, reports);
    window.show();
    (void)QTest::qWaitForWindowExposed(&window);
    window.grab().save(out.filePath(QStringLiteral("kestrand-main%1.png").arg(suffix)));

    auto* chart = window.findChild<kestrand::info::UsageChart*>(QStringLiteral("Chart1"));
    const QPoint hovered = columnCentre(*chart, 0);
    QHelpEvent help(QEvent::ToolTip, hovered, chart->mapToGlobal(hovered));
    QApplication::sendEvent(chart, &help);
    QWidget* tip = shownToolTip();
    if (tip == nullptr) {
        qWarning("the chart showed no tooltip");
        return 1;
    }
    (void)QTest::qWaitForWindowExposed(tip);
    QPixmap withTip = window.grab();
    {
        QPainter painter(&withTip);
        painter.drawPixmap(tip->pos() - window.mapToGlobal(QPoint(0, 0)), tip->grab());
        drawPointer(painter, chart->mapTo(&window, hovered));
    }
    withTip.save(out.filePath(QStringLiteral("kestrand-chart-tooltip%1.png").arg(suffix)));
    QToolTip::hideText();

    auto* wide = window.findChild<QPushButton*>(QStringLiteral("Command1"));
    wide->setFocus();
    QTest::keyClick(wide, Qt::Key_P, Qt::ControlModifier);
    if (auto* dialog = window.settingsDialog()) {
        (void)QTest::qWaitForWindowExposed(dialog);
        dialog->grab().save(out.filePath(QStringLiteral("kestrand-settings%1.png").arg(suffix)));
        scripted.folderChooser.answer(QStringLiteral("/srv/log-server"));
        QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("Command2")),
                          Qt::LeftButton);
        dialog->grab().save(
            out.filePath(QStringLiteral("kestrand-settings-browse%1.png").arg(suffix)));
        if (argc > 3 && QString::fromLocal8Bit(argv[3]) == QLatin1String("demo")) {
            writeDemoLogs(QString::fromLocal8Bit(argv[2]));
        }
        if (argc > 2) {
            return reportShots(*dialog, QString::fromLocal8Bit(argv[2]), out, suffix);
        }
    } else {
        qWarning("the settings dialog did not open");
        return 1;
    }
    return 0;
}
