#include "trailscan/app/memory.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace trailscan::app {

void keepLargeBlocks() {
#if defined(__GLIBC__)
    constexpr int kLargest = 256 * 1024 * 1024;
    mallopt(M_MMAP_THRESHOLD, kLargest);
    mallopt(M_TRIM_THRESHOLD, kLargest);
#endif
}

}  // namespace trailscan::app
