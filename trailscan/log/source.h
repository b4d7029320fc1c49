#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "trailscan/log/file_io.h"

namespace trailscan::gz {
class GzReader;
}

namespace trailscan::log {

// Whether a file name ends in ".gz" (any case): such a log is read decompressed.
bool isCompressedName(std::string_view name);

// The bytes of a log by 0-based offsets: a plain file's own, or for a file whose name ends in
// ".gz" the bytes it holds decompressed. Several threads may read one source at once.
class Source {
  public:
    // Opens a regular file (see file_io::openRegularForReading); a ".gz" must hold gzip data.
    // On failure returns null and sets `error` to a sentence for the user.
    static std::shared_ptr<Source> open(const std::filesystem::path& path, std::string& error);
    ~Source();
    Source(const Source&) = delete;
    Source& operator=(const Source&) = delete;

    // As file_io::readAt, on the log's bytes.
    std::int64_t readAt(std::int64_t offset, char* into, std::size_t size);
    // The file's own size, time and identity, which change when it is written to or replaced.
    file_io::FileStamp stamp() const { return file_io::stampOf(file_); }
    // Bytes of the log: a plain file's size now; a compressed file's data, inflated to its end
    // the first time it is asked.
    std::int64_t size();
    bool compressed() const { return gz_ != nullptr; }
    // Whether size() is known without reading: always for a plain file, for a compressed one
    // once it has been read through.
    bool sizeKnown() const;
    // Reads a compressed file through to learn its size, passing its bytes used so far to
    // `progress`; false when `cancel` was set first. True at once for a plain file.
    bool readThrough(const std::atomic<bool>* cancel,
                     const std::function<void(std::int64_t fileBytes)>& progress);
    // A compressed file's bytes used so far by the first reading through it, for progress
    // against the file's size.
    std::int64_t fileBytesRead() const;
    // Once a compressed file has been read to its end: why its data ended before the file did
    // (damaged, cut short), as a clause such as "the compressed data ends early, at byte 1,024
    // of the file". Empty for a plain file and a whole one.
    std::optional<std::string> damage() const;

  private:
    explicit Source(std::FILE* file);

    std::FILE* file_;
    std::unique_ptr<gz::GzReader> gz_;
};

// "The compressed data ends early, ..., so the log ends there." for a report, a panel and a
// terminal.
std::string damageSentence(const std::string& damage);

}  // namespace trailscan::log
