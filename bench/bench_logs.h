#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include <benchmark/benchmark.h>

namespace bench {

// A realistic 23-field log line (about 250 bytes) for record number n.
std::string logLine(std::uint64_t n);

// A generated log of at least `bytes` bytes, written once into the benchmark folder
// ($TS_BENCH_DIR, else the system temp folder) and reused by later runs.
std::filesystem::path generatedLog(std::uint64_t bytes);

// The reference the line count is held to: `wc -l` on a generated log of `bytes` bytes,
// timed as a whole process per iteration.
void measureWcL(benchmark::State& state, std::uint64_t bytes);

}  // namespace bench
