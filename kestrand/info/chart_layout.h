#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <vector>

#include "kestrand/info/chart_data.h"
#include "kestrand/info/projection.h"

namespace kestrand::info {

// The shape of a clustered column chart.
struct ClusterLayout {
    double gapPercent = 150;     // gap between categories, in column widths
    double depthPercent = 100;   // floor depth, in widths of one category
    double heightPercent = 100;  // wall height, in widths of the floor
};

// One column: its series, category and the faces of its box in world units.
struct Column {
    int series = 0;
    int category = 0;
    double left = 0;
    double right = 0;
    double front = 0;
    double back = 0;
    double top = 0;
};

struct ChartGeometry {
    BoxSize box;  // floor, back wall and side wall
    ValueScale scale;
    std::vector<Column> columns;  // series by series within each category, left to right
    double valueToHeight(double value) const { return value / scale.maximum * box.height; }
};

// Each category takes one unit of width; its columns stand side by side (no overlap) with
// the gap shared equally on both sides, and centred in the floor's depth.
ChartGeometry layoutColumns(const ChartData& data, const ClusterLayout& layout);

// Indexes into `columns` in the order to paint them: farthest first, so nearer columns
// cover the ones behind.
std::vector<std::size_t> paintingOrder(const std::vector<Column>& columns, const View& view);

// The faces of a column that the viewer sees, as they are painted: the front or back face,
// the right or left side, and the top, which is seen only from above. Corners go round
// each face.
struct ColumnFaces {
    Quad facing;
    Quad side;
    Quad top;
    bool topSeen = true;
};
ColumnFaces columnFaces(const Column& column, const VisibleFaces& faces);

// Maps projected points into a screen rectangle (y down), as large as fits, centred.
struct ScreenFit {
    double scaleX = 1;
    double scaleY = 1;
    double offsetX = 0;
    double offsetY = 0;
    Point2 toScreen(const Point2& point) const {
        return {offsetX + point.x * scaleX, offsetY - point.y * scaleY};
    }
};

// With maxStretch 1 both axes share one scale. Above 1 the picture may be widened by up to
// that factor to fill a wide rectangle, as chart components autoscale a 3D plot.
ScreenFit fitToRect(const std::vector<Point2>& points, double left, double top, double width,
                    double height, double maxStretch = 1);

// Room between a label and what it names, and the length of an axis tick, in pixels.
inline constexpr double kChartLabelGap = 5;
inline constexpr double kChartTickLength = 3;

// A rectangle in widget coordinates (y down).
struct Box {
    double left = 0;
    double top = 0;
    double width = 0;
    double height = 0;
    double right() const { return left + width; }
    double bottom() const { return top + height; }
    bool contains(const Point2& p) const {
        return p.x >= left && p.x < right() && p.y >= top && p.y < bottom();
    }
};

// What the chart's texts measure in its font, in pixels.
struct TextMetrics {
    double lineHeight = 0;       // one line of axis or legend text
    double seriesNameWidth = 0;  // the widest series name
    double valueLabelWidth = 0;  // the value axis's widest label
};

// The legend at the right edge, centred in height: one row a series, a swatch and its name.
struct LegendLayout {
    Box box;
    double rowHeight = 0;
    double rowGap = 0;
    std::array<Box, kSeriesCount> swatches;
    std::array<Box, kSeriesCount> names;
};

// Where the parts of the chart go at one widget size.
struct ChartLayout {
    LegendLayout legend;
    ScreenFit plot;  // projected world points to widget coordinates
};

// The legend takes its width at the right; the box of walls and floor is fitted into what
// the axis labels and the legend leave.
ChartLayout layoutChart(const ChartGeometry& geometry, const View& view, double width,
                        double height, const TextMetrics& text);

// The column painted at a widget point: the nearest of those whose visible faces cover it.
// An index into geometry.columns.
std::optional<std::size_t> columnAt(const ChartGeometry& geometry, const View& view,
                                    const ScreenFit& plot, const Point2& at);

// The legend entry (series) at a widget point. Every point of the legend's box belongs to
// the row nearest to it, so the gaps between rows answer too.
std::optional<int> legendEntryAt(const LegendLayout& legend, const Point2& at);

}  // namespace kestrand::info
