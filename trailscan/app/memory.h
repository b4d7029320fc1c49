#pragma once

#include <cstddef>

namespace trailscan::app {

// Keeps large freed blocks in the process instead of handing them back to the system, so
// a window that builds a report of tens of megabytes again and again reuses the same
// pages rather than faulting in fresh ones each time. Does nothing where the C library
// offers no such setting.
void keepLargeBlocks();

// Asks the system to back a large block that is about to be written for the first time
// with large pages, so filling tens of megabytes takes a few page faults instead of
// thousands. A hint only; does nothing where the system offers no such hint.
void preferLargePages(void* data, std::size_t bytes);

}  // namespace trailscan::app
