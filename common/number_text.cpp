#include "common/number_text.h"

#include <array>
#include <string_view>

namespace common {

std::string grouped(std::uint64_t value) {
    std::string digits = std::to_string(value);
    for (auto at = static_cast<std::ptrdiff_t>(digits.size()) - 3; at > 0; at -= 3) {
        digits.insert(static_cast<std::size_t>(at), 1, ',');
    }
    return digits;
}

std::string sizeText(std::uint64_t bytes) {
    constexpr std::array<std::string_view, 6> kUnits = {"KiB", "MiB", "GiB", "TiB", "PiB", "EiB"};
    if (bytes < 1024) {
        return grouped(bytes) + (bytes == 1 ? " byte" : " bytes");
    }
    std::size_t unit = 0;
    std::uint64_t size = 1024;
    while (unit + 1 < kUnits.size() && bytes / 1024 >= size) {
        size *= 1024;
        ++unit;
    }
    const std::string name(kUnits[unit]);
    if (bytes % size == 0) {
        return grouped(bytes / size) + " " + name;
    }
    // Tenths of the unit, rounded; in integers, so no locale turns the point into a comma.
    const std::uint64_t tenths = bytes / size * 10 + (bytes % size * 10 + size / 2) / size;
    if (tenths >= 10240 && unit + 1 < kUnits.size()) {
        // Rounded up to 1024 of this unit: one of the next.
        return "1.0 " + std::string(kUnits[unit + 1]);
    }
    return grouped(tenths / 10) + "." + std::to_string(tenths % 10) + " " + name;
}

}  // namespace common
