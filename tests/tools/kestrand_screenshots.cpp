// Renders kestrand's windows to PNG files for the documentation:
//   kestrand_screenshots OUTPUT_FOLDER
// The settings dialog is opened the way a user opens it: Ctrl+P on the wide button; Browse
// is answered by a scripted folder chooser. The chart's tooltip is a window of its own, so
// it is grabbed and drawn over the main window where it stands.
#include <QApplication>
#include <QDir>
#include <QHelpEvent>
#include <QLabel>
#include <QPainter>
#include <QPolygonF>
#include <QPushButton>
#include <QTest>
#include <QToolTip>

#include "forms/fonts.h"
#include "kestrand/chart_layout.h"
#include "kestrand/main_window.h"
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
    } else {
        qWarning("the settings dialog did not open");
        return 1;
    }
    return 0;
}
