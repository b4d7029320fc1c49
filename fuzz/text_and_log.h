#pragma once

// The input of the search fuzzers: up to its first NUL byte a search text, after it the bytes
// of a log, written to a file of this process's own that each run overwrites.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

namespace fuzzing {

struct TextAndLog {
    std::string text;
    std::filesystem::path log;
};

inline TextAndLog splitTextAndLog(const uint8_t* data, size_t size, const char* name) {
    const auto* begin = reinterpret_cast<const char*>(data);
    const void* nul = std::memchr(begin, 0, size);
    const size_t textSize = nul ? static_cast<size_t>(static_cast<const char*>(nul) - begin) : size;
    const size_t fileStart = nul ? textSize + 1 : size;
    TextAndLog input{std::string(begin, textSize),
                     std::filesystem::temp_directory_path() /
                         (std::string(name) + "-" + std::to_string(::getpid()) + ".log")};
    std::FILE* out = std::fopen(input.log.c_str(), "wb");
    if (size > fileStart) std::fwrite(begin + fileStart, 1, size - fileStart, out);
    std::fclose(out);
    return input;
}

}  // namespace fuzzing
