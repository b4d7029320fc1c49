#pragma once

#include <QWidget>

#include "kestrand/info/chart_data.h"
#include "kestrand/info/chart_layout.h"
#include "kestrand/info/projection.h"

namespace kestrand::info {

// A 3D clustered column chart of fixed data, drawn with QPainter: walls and floor with
// value gridlines, value and category labels, columns painted far to near, and a legend at
// the right. Everything is laid out from the widget's current size. Hovering a column
// tells its series, season and value; hovering a legend entry, that series' four values.
class UsageChart final : public QWidget {
    Q_OBJECT
  public:
    UsageChart(const ChartData& data, QWidget* parent = nullptr);

    // Series fill colours, by series index.
    static QColor seriesColor(int series);
    // The legend's box in widget coordinates, for the current size.
    QRectF legendRect() const;

    const ChartGeometry& geometry() const { return geometry_; }
    const View& view() const { return view_; }
    // Where legend and plot go at the current size and font.
    ChartLayout currentLayout() const;

    // The tooltip texts, laid out right to left.
    QString columnToolTip(int series, int category) const;
    QString legendToolTip(int series) const;

  protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

  private:
    void paintWalls(QPainter& painter, const ScreenFit& fit) const;
    void paintLabels(QPainter& painter, const ScreenFit& fit) const;
    void paintColumns(QPainter& painter, const ScreenFit& fit) const;
    void paintLegend(QPainter& painter, const LegendLayout& legend) const;
    QPointF toScreen(const ScreenFit& fit, const Vec3& point) const;
    // One face of a box in the painter's current pen.
    void paintFace(QPainter& painter, const ScreenFit& fit, const Quad& corners,
                   const QColor& color) const;
    // The tooltip at a widget point; empty over nothing that has one.
    QString toolTipAt(const QPointF& at) const;

    const ChartData& data_;
    View view_;
    ChartGeometry geometry_;
};

}  // namespace kestrand::info
