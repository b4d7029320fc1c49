#pragma once

// The weekday-by-hour heat map's colour scale, one for the window and the page: from a pale
// blue-grey for an empty hour to a deep blue for the busiest one. Plain C++.

#include <cstdint>

namespace kestrand::report_window {

struct HeatColour {
    int red = 0;
    int green = 0;
    int blue = 0;
    bool dark = false;  // a text on it reads in white
};

// The colour of a cell holding `value` on a map whose busiest cell holds `most`.
HeatColour heatColour(std::int64_t value, std::int64_t most);

}  // namespace kestrand::report_window
