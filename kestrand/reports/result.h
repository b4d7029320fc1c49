#pragma once

// The engine's whole answer: what the JSON writer writes and the window shows.

#include <cstdint>
#include <string>

namespace kestrand::reports {

struct Totals {
    std::uint64_t requests = 0;
    std::uint64_t bytes = 0;
    std::uint64_t addresses = 0;
};

struct Result {
    // Why the folder could not be read at all (missing, not a folder, no permission); empty
    // when it was read.
    std::string error;
    bool cancelled = false;
    Totals totals;
};

}  // namespace kestrand::reports
