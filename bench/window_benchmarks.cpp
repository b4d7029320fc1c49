#include "bench/window_benchmarks.h"

#include "bench/qt_benchmarks.h"
#include "trailscan/app/memory.h"

namespace bench {

int runWindowBenchmarks(int argc, char** argv) {
    return runQtBenchmarks(argc, argv, &trailscan::app::keepLargeBlocks);
}

}  // namespace bench
