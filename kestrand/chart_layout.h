#pragma once

#include <array>
#include <cstddef>
#include <optional>

#include "kestrand/chart_data.h"
#include "kestrand/projection.h"

namespace kestrand {

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

}  // namespace kestrand
