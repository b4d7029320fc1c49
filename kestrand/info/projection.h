#pragma once

#include <array>

namespace kestrand::info {

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

// Which face of each opposite pair of a box faces the viewer.
struct VisibleFaces {
    bool right = true;  // else the left face
    bool front = true;  // else the back face
    bool top = true;    // else the bottom face
};
VisibleFaces visibleFaces(const View& view);

// One face of a box, its corners in order round it.
using Quad = std::array<Vec3, 4>;

}  // namespace kestrand::info
