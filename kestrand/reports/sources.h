#pragma once

// The bytes of a log file: read in place with pread, or its gzip stream decompressed with zlib.

#include <sys/types.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace kestrand::reports {

// "what: " and the reason errno holds.
std::string errnoText(const char* what);

class FileHandle {
  public:
    explicit FileHandle(int fd) : fd_(fd) {}
    ~FileHandle() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    int get() const { return fd_; }

  private:
    int fd_;
};

// Opens a file for reading without ever blocking on a FIFO that took a log's place, and
// checks that it is still a regular file.
int openRegular(const std::filesystem::path& path, std::string& error);

ssize_t readAt(int fd, char* into, std::size_t size, std::uint64_t offset);

// Where the bytes come from: the file itself, or its gzip stream decompressed.
class Source {
  public:
    virtual ~Source() = default;
    // Up to size bytes; 0 at the end. error is set when the bytes stop early.
    virtual std::size_t read(char* into, std::size_t size) = 0;
    std::optional<std::string> error;
    std::uint64_t consumed = 0;  // bytes of the file read so far
};

// The bytes of fd from `from` up to `limit`.
std::unique_ptr<Source> makePlainSource(int fd, std::uint64_t from, std::uint64_t limit);
// The decompressed bytes of a gzip (or zlib) file read from fd; members one after another.
std::unique_ptr<Source> makeGzipSource(int fd);

}  // namespace kestrand::reports
