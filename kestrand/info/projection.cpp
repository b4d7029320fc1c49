#include "kestrand/info/projection.h"

#include <cmath>
#include <cstddef>
#include <numbers>

namespace kestrand::info {

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

VisibleFaces visibleFaces(const View& view) {
    // A face is seen when its outward normal points toward the viewer, that is when moving
    // along the normal makes the depth smaller.
    const Vec3 origin{};
    const double base = depthOf(origin, view);
    return {depthOf({1, 0, 0}, view) < base, depthOf({0, 0, -1}, view) < base,
            depthOf({0, 1, 0}, view) < base};
}

}  // namespace kestrand::info
