#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

namespace bench {

// A realistic 23-field log line (about 250 bytes) for record number n.
std::string logLine(std::uint64_t n);

// A generated log of at least `bytes` bytes, written once into the benchmark folder
// ($TS_BENCH_DIR, else the system temp folder) and reused by later runs.
std::filesystem::path generatedLog(std::uint64_t bytes);

// The reference the line count is held to: `wc -l` on a generated log of `bytes` bytes,
// timed as a whole process per iteration.
void measureWcL(benchmark::State& state, std::uint64_t bytes);

#ifndef _WIN32
// Drops the file's pages from the page cache (written pages are flushed first, or they
// would stay). False when the system refuses.
bool evict(const std::filesystem::path& path);

// Reads the file once so a warm row does not pay for an earlier cold one.
bool warm(const std::filesystem::path& path);

// Runs `step` once an iteration, with the file evicted from the page cache (untimed) before
// each.
void forEachColdRun(benchmark::State& state, const std::filesystem::path& path,
                    const std::function<void()>& step);

// The cold reference: `cat FILE > /dev/null` with the file evicted before each iteration.
void measureCatCold(benchmark::State& state, const std::filesystem::path& path);
#endif

// The size of the 4 GB benchmark log; TS_BENCH_GB sets another.
std::uint64_t bigLogBytes();

// The warm reference: `wc -l` on the log of bigLogBytes(), read once before.
void measureWcLWarm(benchmark::State& state);

}  // namespace bench
