#pragma once

#include <cstdint>
#include <string>

namespace common {

// Numbers as the programs' English texts write them.

// "91,332": digits in groups of three.
std::string grouped(std::uint64_t value);

// A byte size in binary multiples with their IEC names: "256 MiB" when it is a whole number of
// the unit, otherwise one decimal ("1.1 GiB"); "N bytes" below 1 KiB ("1 byte", "1,000 bytes").
std::string sizeText(std::uint64_t bytes);

}  // namespace common
