#include "kestrand/info/usage_chart.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QFontMetricsF>
#include <QHelpEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QStringList>
#include <QToolTip>
#include <cmath>

#include "forms/fonts.h"
#include "kestrand/text/qt_text.h"
#include "kestrand/text/spoken_text.h"

namespace kestrand::info {

using text::toQString;

namespace {

const QColor kChartBackground(255, 255, 255);
const QColor kBackWall(232, 234, 238);
const QColor kSideWall(214, 218, 224);
const QColor kFloor(190, 195, 203);
const QColor kEdge(110, 115, 122);
const QColor kGridline(150, 156, 164);
const QColor kText(20, 20, 20);

// Starting a tooltip with a right-to-left mark lays the whole of it out right to left.
constexpr QChar kRightToLeftMark(0x200F);

QFont chartFont() { return forms::designFont(QStringLiteral("ZARVENA"), 9, true); }

QString valueText(double value) { return QString::number(value, 'g', 6); }

QRectF toQRectF(const Box& box) { return {box.left, box.top, box.width, box.height}; }

// Screen readers meet the chart as a chart rather than as an empty panel.
QAccessibleInterface* accessibleForChart(const QString& className, QObject* object) {
    if (className == QLatin1String(UsageChart::staticMetaObject.className())) {
        if (auto* chart = qobject_cast<UsageChart*>(object)) {
            return new QAccessibleWidget(chart, QAccessible::Chart);
        }
    }
    return nullptr;
}

void installAccessibleFactory() {
    static const bool installed = [] {
        QAccessible::installFactory(&accessibleForChart);
        return true;
    }();
    Q_UNUSED(installed);
}

// The data as a screen reader reads it: each series with its value in every category,
// "series: category value, ...; series: ...".
QString spokenData(const ChartData& data) {
    QStringList series;
    for (int s = 0; s < kSeriesCount; ++s) {
        QStringList values;
        for (int c = 0; c < kCategoryCount; ++c) {
            values << toQString(data.categories[c]) + QLatin1Char(' ') +
                          valueText(data.values[s][c]);
        }
        const QString name =
            toQString(text::spokenCaption(data.seriesNames[s], text::PartOrder::Reading));
        series << name + QStringLiteral(": ") + values.join(QStringLiteral(", "));
    }
    return series.join(QStringLiteral("; "));
}

}  // namespace

UsageChart::UsageChart(const ChartData& data, QWidget* parent)
    : QWidget(parent), data_(data), geometry_(layoutColumns(data, ClusterLayout{})) {
    setFont(chartFont());
    installAccessibleFactory();
    setAccessibleName(QStringLiteral("Usage by season chart"));
    setAccessibleDescription(spokenData(data_));
}

QColor UsageChart::seriesColor(int series) {
    static const QColor colors[kSeriesCount] = {QColor(74, 110, 196), QColor(166, 58, 92),
                                                QColor(236, 196, 72)};
    return colors[series % kSeriesCount];
}

ChartLayout UsageChart::currentLayout() const {
    const QFontMetricsF metrics(font());
    TextMetrics text;
    text.lineHeight = metrics.height();
    for (const auto& name : data_.seriesNames) {
        text.seriesNameWidth =
            std::max(text.seriesNameWidth, metrics.horizontalAdvance(toQString(name)));
    }
    text.valueLabelWidth = metrics.horizontalAdvance(valueText(geometry_.scale.maximum));
    return layoutChart(geometry_, view_, width(), height(), text);
}

QRectF UsageChart::legendRect() const { return toQRectF(currentLayout().legend.box); }

QString UsageChart::columnToolTip(int series, int category) const {
    return kRightToLeftMark + toQString(data_.seriesNames[series]) + QStringLiteral(" — ") +
           toQString(data_.categories[category]) + QStringLiteral(": ") +
           valueText(data_.values[series][category]);
}

QString UsageChart::legendToolTip(int series) const {
    QString text = kRightToLeftMark + toQString(data_.seriesNames[series]);
    for (int category = 0; category < kCategoryCount; ++category) {
        text += QLatin1Char('\n') + toQString(data_.categories[category]) + QStringLiteral(": ") +
                valueText(data_.values[series][category]);
    }
    return text;
}

QString UsageChart::toolTipAt(const QPointF& at) const {
    const ChartLayout layout = currentLayout();
    const Point2 point{at.x(), at.y()};
    if (const auto series = legendEntryAt(layout.legend, point)) {
        return legendToolTip(*series);
    }
    if (const auto index = columnAt(geometry_, view_, layout.plot, point)) {
        const Column& column = geometry_.columns[*index];
        return columnToolTip(column.series, column.category);
    }
    return {};
}

bool UsageChart::event(QEvent* event) {
    if (event->type() != QEvent::ToolTip) {
        return QWidget::event(event);
    }
    const auto* help = static_cast<QHelpEvent*>(event);
    const QString text = toolTipAt(help->pos());
    if (text.isEmpty()) {
        QToolTip::hideText();
        event->ignore();
    } else {
        QToolTip::showText(help->globalPos(), text, this);
    }
    return true;
}

QPointF UsageChart::toScreen(const ScreenFit& fit, const Vec3& point) const {
    const Point2 p = fit.toScreen(project(point, view_));
    return {p.x, p.y};
}

void UsageChart::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(rect(), kChartBackground);

    const ChartLayout layout = currentLayout();
    paintWalls(painter, layout.plot);
    paintLabels(painter, layout.plot);
    paintColumns(painter, layout.plot);
    paintLegend(painter, layout.legend);
}

void UsageChart::paintWalls(QPainter& painter, const ScreenFit& fit) const {
    const BoxSize& box = geometry_.box;
    const double w = box.width, h = box.height, d = box.depth;
    painter.setPen(QPen(kEdge, 1));
    paintFace(painter, fit, {{{0, 0, d}, {w, 0, d}, {w, h, d}, {0, h, d}}}, kBackWall);
    paintFace(painter, fit, {{{0, 0, 0}, {0, 0, d}, {0, h, d}, {0, h, 0}}}, kSideWall);
    paintFace(painter, fit, {{{0, 0, 0}, {w, 0, 0}, {w, 0, d}, {0, 0, d}}}, kFloor);

    // Value gridlines run along the side wall and across the back wall.
    painter.setPen(QPen(kGridline, 1));
    const ValueScale& scale = geometry_.scale;
    for (double value = scale.step; value <= scale.maximum + 1e-9; value += scale.step) {
        const double y = geometry_.valueToHeight(value);
        const QPointF front = toScreen(fit, {0, y, 0});
        const QPointF corner = toScreen(fit, {0, y, d});
        const QPointF back = toScreen(fit, {w, y, d});
        painter.drawLine(front, corner);
        painter.drawLine(corner, back);
    }
}

void UsageChart::paintLabels(QPainter& painter, const ScreenFit& fit) const {
    const QFontMetricsF metrics(font());
    painter.setPen(QPen(kText, 1));
    painter.setBrush(Qt::NoBrush);

    // Value axis: along the front edge of the side wall, with a short tick at each step.
    const ValueScale& scale = geometry_.scale;
    const QPointF axisBottom = toScreen(fit, {0, 0, 0});
    const QPointF axisTop = toScreen(fit, {0, geometry_.box.height, 0});
    painter.drawLine(axisBottom, axisTop);
    const int steps = static_cast<int>(std::lround(scale.maximum / scale.step));
    for (int i = 0; i <= steps; ++i) {
        const double value = i * scale.step;
        const QPointF at = toScreen(fit, {0, geometry_.valueToHeight(value), 0});
        painter.drawLine(at, at - QPointF(kChartTickLength, 0));
        const QRectF box(at.x() - kChartTickLength - kChartLabelGap - 100,
                         at.y() - metrics.height() / 2, 100, metrics.height());
        painter.drawText(box, Qt::AlignRight | Qt::AlignVCenter, valueText(value));
    }

    // Category axis: along the front edge of the floor, each name under its cluster.
    const QPointF axisRight = toScreen(fit, {geometry_.box.width, 0, 0});
    painter.drawLine(axisBottom, axisRight);
    for (int category = 0; category < kCategoryCount; ++category) {
        const QPointF tick = toScreen(fit, {static_cast<double>(category), 0, 0});
        painter.drawLine(tick, tick + QPointF(0, kChartTickLength));
        const QPointF at = toScreen(fit, {category + 0.5, 0, 0});
        const QRectF box(at.x() - 60, at.y() + kChartLabelGap - 1, 120, metrics.height());
        painter.drawText(box, Qt::AlignHCenter | Qt::AlignTop | Qt::TextForceRightToLeft,
                         toQString(data_.categories[category]));
    }
}

void UsageChart::paintColumns(QPainter& painter, const ScreenFit& fit) const {
    const VisibleFaces faces = visibleFaces(view_);
    for (std::size_t index : paintingOrder(geometry_.columns, view_)) {
        const Column& c = geometry_.columns[index];
        const ColumnFaces seen = columnFaces(c, faces);
        const QColor base = seriesColor(c.series);
        painter.setPen(QPen(base.darker(220), 0.8));
        paintFace(painter, fit, seen.facing, base);
        paintFace(painter, fit, seen.side, base.darker(140));
        if (seen.topSeen) {
            paintFace(painter, fit, seen.top, base.lighter(125));
        }
    }
}

void UsageChart::paintFace(QPainter& painter, const ScreenFit& fit, const Quad& corners,
                           const QColor& color) const {
    QPolygonF polygon;
    for (const Vec3& corner : corners) {
        polygon << toScreen(fit, corner);
    }
    painter.setBrush(color);
    painter.drawPolygon(polygon);
}

void UsageChart::paintLegend(QPainter& painter, const LegendLayout& legend) const {
    painter.setPen(QPen(kEdge, 1));
    painter.setBrush(kChartBackground);
    painter.drawRect(toQRectF(legend.box));

    for (int series = 0; series < kSeriesCount; ++series) {
        painter.setPen(QPen(seriesColor(series).darker(220), 0.8));
        painter.setBrush(seriesColor(series));
        painter.drawRect(toQRectF(legend.swatches[series]));
        painter.setPen(kText);
        painter.drawText(
            toQRectF(legend.names[series]),
            Qt::AlignLeft | Qt::AlignAbsolute | Qt::AlignVCenter | Qt::TextForceRightToLeft,
            toQString(data_.seriesNames[series]));
    }
}

}  // namespace kestrand::info
