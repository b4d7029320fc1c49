#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>

namespace trailscan::log {

// The few file calls that differ between platforms, kept in one place.
namespace file_io {

// Opens a regular file for reading in binary mode. Anything else (missing, a folder, a
// FIFO, a device) is refused without being opened, so no open can block or read forever.
// On failure returns nullptr and sets `error` to a sentence for the user.
std::FILE* openRegularForReading(const std::filesystem::path& path, std::string& error);

// 64-bit seek to a byte offset from the start (0-based). False on failure.
bool seekTo(std::FILE* file, std::int64_t offset);

// Size and last change of an open file: when either differs from an earlier look, the
// file was appended to, truncated or rewritten since.
struct FileStamp {
    std::int64_t size = -1;
    std::int64_t modifiedNanoseconds = 0;
    friend bool operator==(const FileStamp&, const FileStamp&) = default;
};
FileStamp stampOf(std::FILE* file);

}  // namespace file_io
}  // namespace trailscan::log
