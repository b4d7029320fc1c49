#pragma once

namespace bench {

// Runs the registered benchmarks against trailscan's real windows: runQtBenchmarks with the
// program's memory settings.
int runWindowBenchmarks(int argc, char** argv);

}  // namespace bench
