#include "kestrand/info/chart_layout.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace kestrand::info {

namespace {

constexpr double kMargin = 8;
constexpr double kSwatch = 9;
constexpr double kLegendPadding = 6;
constexpr double kLegendRowGap = 4;
constexpr double kMaxStretch = 1.6;

LegendLayout layoutLegend(double width, double height, const TextMetrics& text) {
    LegendLayout legend;
    legend.rowHeight = std::max(text.lineHeight, kSwatch);
    legend.rowGap = kLegendRowGap;
    const double boxWidth = 2 * kLegendPadding + kSwatch + kChartLabelGap + text.seriesNameWidth;
    const double boxHeight =
        2 * kLegendPadding + kSeriesCount * legend.rowHeight + (kSeriesCount - 1) * kLegendRowGap;
    legend.box = {width - kMargin - boxWidth, (height - boxHeight) / 2, boxWidth, boxHeight};
    double y = legend.box.top + kLegendPadding;
    for (int series = 0; series < kSeriesCount; ++series) {
        const Box swatch{legend.box.left + kLegendPadding, y + (legend.rowHeight - kSwatch) / 2,
                         kSwatch, kSwatch};
        legend.swatches[series] = swatch;
        const double nameLeft = swatch.right() + kChartLabelGap;
        legend.names[series] = {nameLeft, y, legend.box.right() - kLegendPadding - nameLeft,
                                legend.rowHeight};
        y += legend.rowHeight + kLegendRowGap;
    }
    return legend;
}

// Whether p lies inside or on the edge of a convex polygon given corner by corner.
bool insideConvex(const std::array<Point2, 4>& corners, const Point2& p) {
    bool anyLeft = false;
    bool anyRight = false;
    for (std::size_t i = 0; i < corners.size(); ++i) {
        const Point2& a = corners[i];
        const Point2& b = corners[(i + 1) % corners.size()];
        const double cross = (b.x - a.x) * (p.y - a.y) - (b.y - a.y) * (p.x - a.x);
        anyLeft = anyLeft || cross > 1e-9;
        anyRight = anyRight || cross < -1e-9;
    }
    return !(anyLeft && anyRight);
}

bool covers(const Quad& face, const View& view, const ScreenFit& plot, const Point2& at) {
    std::array<Point2, 4> corners;
    for (std::size_t i = 0; i < face.size(); ++i) {
        corners[i] = plot.toScreen(project(face[i], view));
    }
    // A face seen edge on covers nothing.
    const double area = (corners[1].x - corners[0].x) * (corners[3].y - corners[0].y) -
                        (corners[1].y - corners[0].y) * (corners[3].x - corners[0].x);
    return std::abs(area) > 1e-9 && insideConvex(corners, at);
}

}  // namespace

ChartLayout layoutChart(const ChartGeometry& geometry, const View& view, double width,
                        double height, const TextMetrics& text) {
    ChartLayout layout;
    layout.legend = layoutLegend(width, height, text);

    const double left = kMargin + text.valueLabelWidth + kChartLabelGap + kChartTickLength;
    const double top = kMargin + text.lineHeight / 2;
    const double right = layout.legend.box.left - 2 * kMargin;
    const double bottom = height - kMargin - text.lineHeight - kChartLabelGap;
    std::vector<Point2> projected;
    for (const Vec3& corner : boxCorners(geometry.box)) {
        projected.push_back(project(corner, view));
    }
    layout.plot = fitToRect(projected, left, top, std::max(1.0, right - left),
                            std::max(1.0, bottom - top), kMaxStretch);
    return layout;
}

std::optional<std::size_t> columnAt(const ChartGeometry& geometry, const View& view,
                                    const ScreenFit& plot, const Point2& at) {
    // Nearest first: the reverse of the painting order.
    const std::vector<std::size_t> order = paintingOrder(geometry.columns, view);
    const VisibleFaces seen = visibleFaces(view);
    for (auto it = order.rbegin(); it != order.rend(); ++it) {
        const ColumnFaces faces = columnFaces(geometry.columns[*it], seen);
        if (covers(faces.facing, view, plot, at) || covers(faces.side, view, plot, at) ||
            (faces.topSeen && covers(faces.top, view, plot, at))) {
            return *it;
        }
    }
    return std::nullopt;
}

std::optional<int> legendEntryAt(const LegendLayout& legend, const Point2& at) {
    if (!legend.box.contains(at)) {
        return std::nullopt;
    }
    const double pitch = legend.rowHeight + legend.rowGap;
    const double fromFirstRow = at.y - legend.box.top - kLegendPadding + legend.rowGap / 2;
    const int row = static_cast<int>(std::floor(fromFirstRow / pitch));
    return std::clamp(row, 0, kSeriesCount - 1);
}

ChartGeometry layoutColumns(const ChartData& data, const ClusterLayout& layout) {
    ChartGeometry geometry;
    const double gap = layout.gapPercent / 100.0;
    const double columnWidth = 1.0 / (kSeriesCount + gap);
    geometry.box.width = kCategoryCount;
    geometry.box.depth = layout.depthPercent / 100.0;
    geometry.box.height = geometry.box.width * layout.heightPercent / 100.0;
    geometry.scale = valueScaleFor(largestValue(data));

    // Columns take the middle of the floor's depth, with the same share of gap before and
    // behind as a category has beside it.
    const double columnDepth = geometry.box.depth / (1.0 + gap);
    const double front = (geometry.box.depth - columnDepth) / 2;
    for (int category = 0; category < kCategoryCount; ++category) {
        for (int series = 0; series < kSeriesCount; ++series) {
            Column column;
            column.series = series;
            column.category = category;
            column.left = category + columnWidth * (gap / 2 + series);
            column.right = column.left + columnWidth;
            column.front = front;
            column.back = front + columnDepth;
            column.top = geometry.valueToHeight(data.values[series][category]);
            geometry.columns.push_back(column);
        }
    }
    return geometry;
}

std::vector<std::size_t> paintingOrder(const std::vector<Column>& columns, const View& view) {
    std::vector<double> depth(columns.size());
    for (std::size_t i = 0; i < columns.size(); ++i) {
        const Column& c = columns[i];
        depth[i] = depthOf({(c.left + c.right) / 2, 0, (c.front + c.back) / 2}, view);
    }
    std::vector<std::size_t> order(columns.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        order[i] = i;
    }
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return depth[a] > depth[b]; });
    return order;
}

ColumnFaces columnFaces(const Column& c, const VisibleFaces& faces) {
    const double side = faces.right ? c.right : c.left;
    const double near = faces.front ? c.front : c.back;
    return {
        {{{c.left, 0, near}, {c.right, 0, near}, {c.right, c.top, near}, {c.left, c.top, near}}},
        {{{side, 0, c.front}, {side, 0, c.back}, {side, c.top, c.back}, {side, c.top, c.front}}},
        {{{c.left, c.top, c.front},
          {c.right, c.top, c.front},
          {c.right, c.top, c.back},
          {c.left, c.top, c.back}}},
        faces.top,
    };
}

ScreenFit fitToRect(const std::vector<Point2>& points, double left, double top, double width,
                    double height, double maxStretch) {
    if (points.empty()) {
        return {};
    }
    double minX = points.front().x, maxX = minX, minY = points.front().y, maxY = minY;
    for (const Point2& p : points) {
        minX = std::min(minX, p.x);
        maxX = std::max(maxX, p.x);
        minY = std::min(minY, p.y);
        maxY = std::max(maxY, p.y);
    }
    const double spanX = std::max(maxX - minX, 1e-9);
    const double spanY = std::max(maxY - minY, 1e-9);
    ScreenFit fit;
    const double uniform = std::max(0.0, std::min(width / spanX, height / spanY));
    fit.scaleY = uniform;
    fit.scaleX = std::clamp(width / spanX, uniform, uniform * std::max(1.0, maxStretch));
    fit.offsetX = left + (width - spanX * fit.scaleX) / 2 - minX * fit.scaleX;
    fit.offsetY = top + (height + spanY * fit.scaleY) / 2 + minY * fit.scaleY;
    return fit;
}

}  // namespace kestrand::info
