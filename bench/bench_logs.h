#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace bench {

// A realistic 23-field log line (about 250 bytes) for record number n.
std::string logLine(std::uint64_t n);

// A generated log of at least `bytes` bytes, written once into the benchmark folder
// ($TS_BENCH_DIR, else the system temp folder) and reused by later runs.
std::filesystem::path generatedLog(std::uint64_t bytes);

// Runs `wc -l` on the file as a whole process, the reference the line count is held to.
// False when it fails.
bool runWcL(const std::filesystem::path& path);

}  // namespace bench
