#include "kestrand/projection.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace kestrand {

namespace {
double radians(double degrees) { return degrees * std::numbers::pi / 180.0; }
}  // namespace

Point2 project(const Vec3& point, const View& view) {
    const double r = radians(view.rotationDegrees);
    const double e = radians(view.elevationDegrees);
    // Turn about the vertical axis; `across` is the horizontal screen axis, `into` the
    // horizontal line of sight before the view is raised.
    const double across = point.x * std::cos(r) + point.z * std::sin(r);
    const double into = point.z * std::cos(r) - point.x * std::sin(r);
    return {across, point.y * std::cos(e) + into * std::sin(e)};
}

double depthOf(const Vec3& point, const View& view) {
    const double r = radians(view.rotationDegrees);
    const double e = radians(view.elevationDegrees);
    const double into = point.z * std::cos(r) - point.x * std::sin(r);
    return into * std::cos(e) - point.y * std::sin(e);
}

std::array<Vec3, 8> boxCorners(const BoxSize& size) {
    std::array<Vec3, 8> corners{};
    for (std::size_t i = 0; i < corners.size(); ++i) {
        corners[i] = {(i & 1) ? size.width : 0.0, (i & 2) ? size.height : 0.0,
                      (i & 4) ? size.depth : 0.0};
    }
    return corners;
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

VisibleFaces visibleFaces(const View& view) {
    // A face is seen when its outward normal points toward the viewer, that is when moving
    // along the normal makes the depth smaller.
    const Vec3 origin{};
    const double base = depthOf(origin, view);
    return {depthOf({1, 0, 0}, view) < base, depthOf({0, 0, -1}, view) < base,
            depthOf({0, 1, 0}, view) < base};
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

}  // namespace kestrand
