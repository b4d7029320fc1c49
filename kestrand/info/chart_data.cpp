#include "kestrand/info/chart_data.h"

#include <algorithm>
#include <cmath>

#include "kestrand/text/stored_strings.h"

namespace kestrand::info {

const ChartData& usageChartData() {
    static const ChartData data{
        text::kSeasons,
        text::kSeriesNames,
        {{
            {20.4, 25, 21, 55},
            {30.6, 10, 56, 32},
            {45.9, 22, 25, 10},
        }},
    };
    return data;
}

double largestValue(const ChartData& data) {
    double largest = 0;
    for (const auto& series : data.values) {
        for (double value : series) {
            largest = std::max(largest, value);
        }
    }
    return largest;
}

ValueScale valueScaleFor(double largestValue) {
    if (!(largestValue > 0)) {
        return {1, 0.2};
    }
    // Aim at about six steps and round the step up to 1, 2 or 5 times a power of ten.
    const double rough = largestValue / 6;
    const double magnitude = std::pow(10.0, std::floor(std::log10(rough)));
    double step = 10 * magnitude;
    for (double factor : {1.0, 2.0, 5.0}) {
        if (factor * magnitude >= rough) {
            step = factor * magnitude;
            break;
        }
    }
    return {std::ceil(largestValue / step - 1e-9) * step, step};
}

}  // namespace kestrand::info
