#pragma once

namespace trailscan::app {

// Keeps large freed blocks in the process instead of handing them back to the system, so
// a window that builds a report of tens of megabytes again and again reuses the same
// pages rather than faulting in fresh ones each time. Does nothing where the C library
// offers no such setting.
void keepLargeBlocks();

}  // namespace trailscan::app
