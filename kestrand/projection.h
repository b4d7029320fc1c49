#pragma once

#include <array>
#include <cstddef>
#include <vector>

#include "kestrand/chart_data.h"

namespace kestrand {

// World space of the chart: x runs along the categories to the right, y up the value axis,
// z from the front of the floor to the back wall.
struct Vec3 {
    double x = 0;
    double y = 0;
    double z = 0;
};

// A projected point; y grows upward.
struct Point2 {
    double x = 0;
    double y = 0;
};

// Orthographic view: the box is turned about the vertical axis by `rotation` (its right
// end comes toward the viewer) and then seen from `elevation` degrees above.
struct View {
    double rotationDegrees = 35;
    double elevationDegrees = 40;
};

Point2 project(const Vec3& point, const View& view);

// Distance along the line of sight, up to a constant: larger is farther from the viewer.
double depthOf(const Vec3& point, const View& view);

struct BoxSize {
    double width = 0;
    double height = 0;
    double depth = 0;
};

// Corner i has x = width when bit 0 is set, y = height for bit 1, z = depth for bit 2.
std::array<Vec3, 8> boxCorners(const BoxSize& size);

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

// Which face of each opposite pair of a box faces the viewer.
struct VisibleFaces {
    bool right = true;  // else the left face
    bool front = true;  // else the back face
    bool top = true;    // else the bottom face
};
VisibleFaces visibleFaces(const View& view);

// The faces of a column that the viewer sees, as they are painted: the front or back face,
// the right or left side, and the top, which is seen only from above. Corners go round
// each face.
using Quad = std::array<Vec3, 4>;
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

}  // namespace kestrand
