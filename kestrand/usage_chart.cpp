#include "kestrand/usage_chart.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QStringList>
#include <cmath>

#include "forms/fonts.h"
#include "kestrand/qt_text.h"

namespace kestrand {

namespace {

const QColor kChartBackground(255, 255, 255);
const QColor kBackWall(232, 234, 238);
const QColor kSideWall(214, 218, 224);
const QColor kFloor(190, 195, 203);
const QColor kEdge(110, 115, 122);
const QColor kGridline(150, 156, 164);
const QColor kText(20, 20, 20);

constexpr double kMargin = 8;
constexpr double kSwatch = 9;
constexpr double kLegendPadding = 6;
constexpr double kLegendRowGap = 4;
constexpr double kLabelGap = 5;
constexpr double kMaxStretch = 1.6;

QFont chartFont() { return forms::designFont(QStringLiteral("ZARVENA"), 9, true); }

QString valueText(double value) { return QString::number(value, 'g', 6); }

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
// "series: category value, ...; series: ...". The left-to-right mark inside a stored name
// only steers drawing; read aloud, the name's two parts are one word.
QString spokenData(const ChartData& data) {
    QStringList series;
    for (int s = 0; s < kSeriesCount; ++s) {
        QStringList values;
        for (int c = 0; c < kCategoryCount; ++c) {
            values << toQString(data.categories[c]) + QLatin1Char(' ') +
                          valueText(data.values[s][c]);
        }
        QString name = toQString(data.seriesNames[s]);
        name.replace(QChar(0x200E), QChar(0x200C));
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

QRectF UsageChart::legendRect() const {
    const QFontMetricsF metrics(font());
    double textWidth = 0;
    for (const auto& name : data_.seriesNames) {
        textWidth = std::max(textWidth, metrics.horizontalAdvance(toQString(name)));
    }
    const double rowHeight = std::max(metrics.height(), kSwatch);
    const double width = 2 * kLegendPadding + kSwatch + kLabelGap + textWidth;
    const double height =
        2 * kLegendPadding + kSeriesCount * rowHeight + (kSeriesCount - 1) * kLegendRowGap;
    return {this->width() - kMargin - width, (this->height() - height) / 2, width, height};
}

QPointF UsageChart::toScreen(const ScreenFit& fit, const Vec3& point) const {
    const Point2 p = fit.toScreen(project(point, view_));
    return {p.x, p.y};
}

void UsageChart::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(rect(), kChartBackground);

    // The box takes what the axis labels and the legend leave.
    const QFontMetricsF metrics(font());
    const double valueLabelWidth = metrics.horizontalAdvance(valueText(geometry_.scale.maximum));
    const double left = kMargin + valueLabelWidth + kLabelGap + 3;
    const double top = kMargin + metrics.height() / 2;
    const double right = legendRect().left() - 2 * kMargin;
    const double bottom = height() - kMargin - metrics.height() - kLabelGap;

    std::vector<Point2> projected;
    for (const Vec3& corner : boxCorners(geometry_.box)) {
        projected.push_back(project(corner, view_));
    }
    const ScreenFit fit = fitToRect(projected, left, top, std::max(1.0, right - left),
                                    std::max(1.0, bottom - top), kMaxStretch);
    paintWalls(painter, fit);
    paintLabels(painter, fit);
    paintColumns(painter, fit);
    paintLegend(painter);
}

void UsageChart::paintWalls(QPainter& painter, const ScreenFit& fit) const {
    const BoxSize& box = geometry_.box;
    const double w = box.width, h = box.height, d = box.depth;
    auto face = [&](std::initializer_list<Vec3> corners, const QColor& color) {
        QPolygonF polygon;
        for (const Vec3& corner : corners) {
            polygon << toScreen(fit, corner);
        }
        painter.setPen(QPen(kEdge, 1));
        painter.setBrush(color);
        painter.drawPolygon(polygon);
    };
    face({{0, 0, d}, {w, 0, d}, {w, h, d}, {0, h, d}}, kBackWall);
    face({{0, 0, 0}, {0, 0, d}, {0, h, d}, {0, h, 0}}, kSideWall);
    face({{0, 0, 0}, {w, 0, 0}, {w, 0, d}, {0, 0, d}}, kFloor);

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
        painter.drawLine(at, at - QPointF(3, 0));
        const QRectF box(at.x() - 3 - kLabelGap - 100, at.y() - metrics.height() / 2, 100,
                         metrics.height());
        painter.drawText(box, Qt::AlignRight | Qt::AlignVCenter, valueText(value));
    }

    // Category axis: along the front edge of the floor, each name under its cluster.
    const QPointF axisRight = toScreen(fit, {geometry_.box.width, 0, 0});
    painter.drawLine(axisBottom, axisRight);
    for (int category = 0; category < kCategoryCount; ++category) {
        const QPointF tick = toScreen(fit, {static_cast<double>(category), 0, 0});
        painter.drawLine(tick, tick + QPointF(0, 3));
        const QPointF at = toScreen(fit, {category + 0.5, 0, 0});
        const QRectF box(at.x() - 60, at.y() + kLabelGap - 1, 120, metrics.height());
        painter.drawText(box, Qt::AlignHCenter | Qt::AlignTop | Qt::TextForceRightToLeft,
                         toQString(data_.categories[category]));
    }
}

void UsageChart::paintColumns(QPainter& painter, const ScreenFit& fit) const {
    const VisibleFaces faces = visibleFaces(view_);
    for (std::size_t index : paintingOrder(geometry_.columns, view_)) {
        const Column& c = geometry_.columns[index];
        const double side = faces.right ? c.right : c.left;
        const double near = faces.front ? c.front : c.back;
        const QColor base = seriesColor(c.series);
        painter.setPen(QPen(base.darker(220), 0.8));
        auto face = [&](std::initializer_list<Vec3> corners, const QColor& color) {
            QPolygonF polygon;
            for (const Vec3& corner : corners) {
                polygon << toScreen(fit, corner);
            }
            painter.setBrush(color);
            painter.drawPolygon(polygon);
        };
        face({{c.left, 0, near}, {c.right, 0, near}, {c.right, c.top, near}, {c.left, c.top, near}},
             base);
        face({{side, 0, c.front}, {side, 0, c.back}, {side, c.top, c.back}, {side, c.top, c.front}},
             base.darker(140));
        if (faces.top) {
            face({{c.left, c.top, c.front},
                  {c.right, c.top, c.front},
                  {c.right, c.top, c.back},
                  {c.left, c.top, c.back}},
                 base.lighter(125));
        }
    }
}

void UsageChart::paintLegend(QPainter& painter) const {
    const QRectF box = legendRect();
    painter.setPen(QPen(kEdge, 1));
    painter.setBrush(kChartBackground);
    painter.drawRect(box);

    const QFontMetricsF metrics(font());
    const double rowHeight = std::max(metrics.height(), kSwatch);
    double y = box.top() + kLegendPadding;
    for (int series = 0; series < kSeriesCount; ++series) {
        const QRectF swatch(box.left() + kLegendPadding, y + (rowHeight - kSwatch) / 2, kSwatch,
                            kSwatch);
        painter.setPen(QPen(seriesColor(series).darker(220), 0.8));
        painter.setBrush(seriesColor(series));
        painter.drawRect(swatch);
        const QRectF textBox(swatch.right() + kLabelGap, y,
                             box.right() - kLegendPadding - swatch.right() - kLabelGap, rowHeight);
        painter.setPen(kText);
        painter.drawText(
            textBox,
            Qt::AlignLeft | Qt::AlignAbsolute | Qt::AlignVCenter | Qt::TextForceRightToLeft,
            toQString(data_.seriesNames[series]));
        y += rowHeight + kLegendRowGap;
    }
}

}  // namespace kestrand
