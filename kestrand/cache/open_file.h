#pragma once

// A file held open for the readers that share it. What it held when it was opened stays
// readable after another process renames a new file into its place (as a second kestrand
// does when it writes the same cache entry), so bytes named by offset in its head are read
// from the file the head came from.

#include <cstdint>
#include <filesystem>
#include <memory>

namespace kestrand::cache {

class OpenFile {
  public:
    // Nothing when it cannot be opened or is not a regular file (nor, with followLink false,
    // a link), and (errno EMFILE) when so many are held that the files still to be read might
    // find no descriptor.
    static std::shared_ptr<const OpenFile> open(const std::filesystem::path& path,
                                                bool followLink = true);
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;
    ~OpenFile();

    int descriptor() const { return fd_; }
    std::uint64_t size() const { return size_; }
    // Exactly `size` bytes from `offset`; false when they cannot all be read.
    bool read(char* into, std::uint64_t size, std::uint64_t offset) const;

  private:
    OpenFile(int fd, std::uint64_t size) : fd_(fd), size_(size) {}
    int fd_;
    std::uint64_t size_;
};

}  // namespace kestrand::cache
