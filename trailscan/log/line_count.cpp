#include "trailscan/log/line_count.h"

namespace trailscan::log {

std::int64_t lineTotal(Channel& channel) { return 1 + channel.countLinesToEnd(); }

}  // namespace trailscan::log
