#pragma once

namespace bench {

// Runs the registered benchmarks in a QApplication on the offscreen platform (unless another
// is set), with the programs' font substitutions; `prepare`, when given, runs once the
// application exists and before the first benchmark.
int runQtBenchmarks(int argc, char** argv, void (*prepare)() = nullptr);

}  // namespace bench
