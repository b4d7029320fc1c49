#pragma once

namespace bench {

// Runs the registered benchmarks against real windows: a QApplication on the offscreen
// platform (unless another is set), with the programs' memory and font settings.
int runWindowBenchmarks(int argc, char** argv);

}  // namespace bench
