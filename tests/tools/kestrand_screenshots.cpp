// Renders kestrand's windows to PNG files for the documentation:
//   kestrand_screenshots OUTPUT_FOLDER [LOG_FOLDER]
// With a folder of logs, OK in the settings dialog makes every report over it: the report
// window is grabbed on three of its tabs and the web page is written beside the pictures.
// The settings dialog is opened the way a user opens it: Ctrl+P on the wide button; Browse
// is answered by a scripted folder chooser. The chart's tooltip is a window of its own, so
// it is grabbed and drawn over the main window where it stands.
#include <QApplication>
#include <QCheckBox>
#include <QDir>
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
#include "kestrand/chart_layout.h"
#include "kestrand/main_window.h"
#include "kestrand/report_page.h"
#include "kestrand/report_window.h"
#include "kestrand/settings_dialog.h"
#include "kestrand/usage_chart.h"
#include "tests/support/scripted_platform.h"

namespace {

// The middle of a column's face toward the viewer, in the chart's coordinates.
QPoint columnCentre(const kestrand::UsageChart& chart, std::size_t index) {
    const kestrand::ChartLayout layout = chart.currentLayout();
    const auto seen = kestrand::visibleFaces(chart.view());
    kestrand::Point2 sum;
    for (const kestrand::Vec3& corner :
         kestrand::columnFaces(chart.geometry().columns[index], seen).facing) {
        const kestrand::Point2 p = layout.plot.toScreen(kestrand::project(corner, chart.view()));
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

kestrand::ReportWindow* shownReportWindow() {
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (auto* window = qobject_cast<kestrand::ReportWindow*>(top)) {
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
    kestrand::ReportWindow* window = shownReportWindow();
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
                 {0, "kestrand-report-addresses"}};
    for (const auto& shot : shots) {
        window->tabs()->setCurrentWidget(window->tabOfKind(shot.kind));
        QApplication::processEvents();
        window->grab().save(
            out.filePath(QStringLiteral("%1%2.png").arg(QLatin1String(shot.name), suffix)));
    }
    std::string error;
    if (!kestrand::writeHtmlReport(
            window->json(), out.filePath(QStringLiteral("kestrand-report.html")).toStdString(),
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
    kestrand::MainWindow window(scripted.platform);
    window.show();
    (void)QTest::qWaitForWindowExposed(&window);
    window.grab().save(out.filePath(QStringLiteral("kestrand-main%1.png").arg(suffix)));

    auto* chart = window.findChild<kestrand::UsageChart*>(QStringLiteral("Chart1"));
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
        if (argc > 2) {
            return reportShots(*dialog, QString::fromLocal8Bit(argv[2]), out, suffix);
        }
    } else {
        qWarning("the settings dialog did not open");
        return 1;
    }
    return 0;
}
