#pragma once

#include <array>
#include <string_view>

namespace kestrand::info {

inline constexpr int kSeriesCount = 3;
inline constexpr int kCategoryCount = 4;

// The usage figures the main window's chart shows: three series over the four seasons.
struct ChartData {
    std::array<std::u16string_view, kCategoryCount> categories;
    std::array<std::u16string_view, kSeriesCount> seriesNames;
    std::array<std::array<double, kCategoryCount>, kSeriesCount> values;  // [series][category]
};

// The fixed data sheet of the main window's chart.
const ChartData& usageChartData();

// The value axis: from zero to `maximum` in steps of `step`.
struct ValueScale {
    double maximum = 0;
    double step = 0;
};

// A round axis maximum at or above the largest value, in three to six steps of 1, 2 or 5
// times a power of ten.
ValueScale valueScaleFor(double largestValue);

double largestValue(const ChartData& data);

}  // namespace kestrand::info
