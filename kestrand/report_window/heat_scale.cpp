#include "kestrand/report_window/heat_scale.h"

#include <cmath>

namespace kestrand::report_window {

HeatColour heatColour(std::int64_t value, std::int64_t most) {
    const double t = most > 0 ? static_cast<double>(value) / static_cast<double>(most) : 0.0;
    const auto mix = [t](int from, int to) {
        return static_cast<int>(std::lround(from + (to - from) * t));
    };
    return {mix(244, 8), mix(248, 81), mix(251, 156), t > 0.5};
}

}  // namespace kestrand::report_window
