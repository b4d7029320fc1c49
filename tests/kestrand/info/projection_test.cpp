// The chart's geometry: projection of the floor-and-walls box, the column layout and the
// order in which columns are painted.
#include "kestrand/info/projection.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "kestrand/info/chart_data.h"
#include "kestrand/info/chart_layout.h"
#include "kestrand/text/key_codes.h"

namespace {

using kestrand::info::BoxSize;
using kestrand::info::Column;
using kestrand::info::View;

TEST(Projection, EightCornersOfTheBoxAtThirtyFiveAndForty) {
    struct Expected {
        double x, y, z, screenX, screenY;
    };
    // Worked out by hand from cos/sin of 35 and 40 degrees for a box 4 wide, 4 high, 1 deep.
    const Expected expected[8] = {
        {0, 0, 0, 0.000000, 0.000000}, {4, 0, 0, 3.276608, -1.474751},
        {0, 4, 0, 0.000000, 3.064178}, {4, 4, 0, 3.276608, 1.589426},
        {0, 0, 1, 0.573576, 0.526541}, {4, 0, 1, 3.850185, -0.948211},
        {0, 4, 1, 0.573576, 3.590719}, {4, 4, 1, 3.850185, 2.115967},
    };
    const auto corners = kestrand::info::boxCorners(BoxSize{4, 4, 1});
    for (int i = 0; i < 8; ++i) {
        SCOPED_TRACE(i);
        EXPECT_DOUBLE_EQ(corners[i].x, expected[i].x);
        EXPECT_DOUBLE_EQ(corners[i].y, expected[i].y);
        EXPECT_DOUBLE_EQ(corners[i].z, expected[i].z);
        const auto p = kestrand::info::project(corners[i], View{35, 40});
        EXPECT_NEAR(p.x, expected[i].screenX, 1e-6);
        EXPECT_NEAR(p.y, expected[i].screenY, 1e-6);
    }
}

TEST(Projection, TheViewerStandsInFrontToTheRightAndAbove) {
    const View view{35, 40};
    const auto corners = kestrand::info::boxCorners(BoxSize{4, 4, 1});
    auto depth = [&](int i) { return kestrand::info::depthOf(corners[i], view); };
    // Nearest: front right top. Farthest: back left bottom, where the two walls meet the floor.
    for (int i = 0; i < 8; ++i) {
        EXPECT_LE(depth(3), depth(i));
        EXPECT_GE(depth(4), depth(i));
    }
    const auto faces = kestrand::info::visibleFaces(view);
    EXPECT_TRUE(faces.right);
    EXPECT_TRUE(faces.front);
    EXPECT_TRUE(faces.top);
    const auto mirrored = kestrand::info::visibleFaces(View{-35, 40});
    EXPECT_FALSE(mirrored.right);
    const auto fromBelow = kestrand::info::visibleFaces(View{35, -20});
    EXPECT_FALSE(fromBelow.top);
}

TEST(ColumnLayout, ClusteredColumnsWithAGapOfOneAndAHalfColumns) {
    const auto geometry = kestrand::info::layoutColumns(kestrand::info::usageChartData(), {});
    ASSERT_EQ(geometry.columns.size(), 12u);
    EXPECT_DOUBLE_EQ(geometry.box.width, 4);
    EXPECT_DOUBLE_EQ(geometry.box.height, 4);  // 100 % of the base
    EXPECT_DOUBLE_EQ(geometry.box.depth, 1);   // 100 % of a category's width
    EXPECT_DOUBLE_EQ(geometry.scale.maximum, 60);
    EXPECT_DOUBLE_EQ(geometry.scale.step, 10);

    const double width = 1.0 / 4.5;
    for (const Column& c : geometry.columns) {
        EXPECT_NEAR(c.right - c.left, width, 1e-12);
        EXPECT_GT(c.front, 0);
        EXPECT_LT(c.back, geometry.box.depth);
    }
    // Side by side inside a cluster, 1.5 column widths between clusters.
    const auto& cols = geometry.columns;
    EXPECT_NEAR(cols[1].left, cols[0].right, 1e-12);
    EXPECT_NEAR(cols[2].left, cols[1].right, 1e-12);
    EXPECT_NEAR(cols[3].left - cols[2].right, 1.5 * width, 1e-12);
    EXPECT_NEAR(cols[0].left, 0.75 * width, 1e-12);
    // Heights on the 0..60 axis: "جستجو" in autumn is 56, "کاربر" in spring 20.4.
    EXPECT_EQ(cols[7].series, 1);
    EXPECT_EQ(cols[7].category, 2);
    EXPECT_NEAR(cols[7].top, 56.0 / 60 * 4, 1e-12);
    EXPECT_NEAR(cols[0].top, 20.4 / 60 * 4, 1e-12);
}

TEST(ColumnLayout, FarColumnsArePaintedFirst) {
    const auto geometry = kestrand::info::layoutColumns(kestrand::info::usageChartData(), {});
    const auto& cols = geometry.columns;

    // Turned 35 degrees the left end is farthest: left to right, series by series.
    const auto order = kestrand::info::paintingOrder(cols, View{35, 40});
    ASSERT_EQ(order.size(), cols.size());
    for (std::size_t i = 1; i < order.size(); ++i) {
        EXPECT_LT(cols[order[i - 1]].left, cols[order[i]].left);
    }
    EXPECT_EQ(order.front(), 0u);
    EXPECT_EQ(order.back(), 11u);

    // Turned the other way the right end is farthest.
    const auto mirrored = kestrand::info::paintingOrder(cols, View{-35, 40});
    EXPECT_EQ(mirrored.front(), 11u);
    EXPECT_EQ(mirrored.back(), 0u);

    // Whatever the view, nothing is painted after a nearer column.
    for (double rotation : {-70.0, -10.0, 20.0, 35.0, 80.0}) {
        const View view{rotation, 40};
        const auto o = kestrand::info::paintingOrder(cols, view);
        auto depth = [&](const Column& c) {
            return kestrand::info::depthOf({(c.left + c.right) / 2, 0, (c.front + c.back) / 2},
                                           view);
        };
        for (std::size_t i = 1; i < o.size(); ++i) {
            EXPECT_GE(depth(cols[o[i - 1]]), depth(cols[o[i]])) << "rotation " << rotation;
        }
    }
}

TEST(ValueAxis, RoundMaximumAndStep) {
    auto check = [](double largest, double maximum, double step) {
        const auto scale = kestrand::info::valueScaleFor(largest);
        EXPECT_DOUBLE_EQ(scale.maximum, maximum) << largest;
        EXPECT_DOUBLE_EQ(scale.step, step) << largest;
    };
    check(56, 60, 10);
    check(60, 60, 10);
    check(100, 100, 20);
    check(0.9, 1.0, 0.2);
    check(7, 8, 2);
}

TEST(ScreenFit, TheBoxFillsTheRectangleCentred) {
    std::vector<kestrand::info::Point2> points;
    for (const auto& corner : kestrand::info::boxCorners(BoxSize{4, 4, 1})) {
        points.push_back(kestrand::info::project(corner, View{35, 40}));
    }
    const auto fit = kestrand::info::fitToRect(points, 10, 20, 300, 200, 1);
    EXPECT_DOUBLE_EQ(fit.scaleX, fit.scaleY);
    double minX = 1e9, maxX = -1e9, minY = 1e9, maxY = -1e9;
    for (const auto& p : points) {
        const auto s = fit.toScreen(p);
        minX = std::min(minX, s.x);
        maxX = std::max(maxX, s.x);
        minY = std::min(minY, s.y);
        maxY = std::max(maxY, s.y);
    }
    // Taller than wide: it spans the full height and is centred across.
    EXPECT_NEAR(minY, 20, 1e-9);
    EXPECT_NEAR(maxY, 220, 1e-9);
    EXPECT_NEAR((minX + maxX) / 2, 160, 1e-9);
    EXPECT_LT(maxX - minX, 300);
    // The top of the box (high y in the world) lands near the top of the screen.
    EXPECT_LT(fit.toScreen(points[6]).y, fit.toScreen(points[1]).y);

    // Allowed to stretch, it is widened but never past the rectangle.
    const auto wide = kestrand::info::fitToRect(points, 10, 20, 300, 200, 1.6);
    EXPECT_GT(wide.scaleX, wide.scaleY);
    EXPECT_LE(wide.scaleX, 1.6 * wide.scaleY + 1e-12);
    EXPECT_LE((3.850185 - 0) * wide.scaleX, 300 + 1e-6);
}

TEST(KeyCodes, SettingsShortcutAndEscape) {
    EXPECT_TRUE(kestrand::text::isSettingsShortcut(u'\u06A9'));
    EXPECT_TRUE(kestrand::text::isSettingsShortcut(u'\u0010'));
    EXPECT_FALSE(kestrand::text::isSettingsShortcut(u'k'));
    EXPECT_FALSE(kestrand::text::isSettingsShortcut(u'\u0643'));  // Arabic kaf, not keheh
    EXPECT_FALSE(kestrand::text::isSettingsShortcut(char16_t{152}));
    EXPECT_FALSE(kestrand::text::isSettingsShortcut(u'p'));
    EXPECT_TRUE(kestrand::text::isEscape(char16_t{27}));
    EXPECT_FALSE(kestrand::text::isEscape(u'\r'));
}

}  // namespace
