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

// Reads `size` bytes at a 0-based offset into `into`, fewer only where the file ends, and
// returns how many (0 past the end), or -1 on a read error. Several threads may read one
// file at once. On POSIX the file's own offset stays where it was; elsewhere it may move.
std::int64_t readAt(std::FILE* file, std::int64_t offset, char* into, std::size_t size);

// Size and last change of an open file: when either differs from an earlier look, the
// file was appended to, truncated or rewritten since.
// The device and file number tell a file replaced under its name from the one opened.
struct FileStamp {
    std::int64_t size = -1;
    std::int64_t modifiedNanoseconds = 0;
    std::uint64_t device = 0;
    std::uint64_t node = 0;
    friend bool operator==(const FileStamp&, const FileStamp&) = default;
};
FileStamp stampOf(std::FILE* file);

}  // namespace file_io
}  // namespace trailscan::log
