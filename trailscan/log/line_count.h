#pragma once

#include <cstdint>

#include "trailscan/log/channel.h"

namespace trailscan::log {

// The line total as the windows keep it: one more than the number of lines from the
// channel's position to the end. A file with no line at all gives 1. The channel is
// left at the end of the file.
std::int64_t lineTotal(Channel& channel);

}  // namespace trailscan::log
