#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace trailscan::gz {

// Whether `head` (the first bytes of a file) begins a gzip stream.
bool startsGzip(const unsigned char* head, std::size_t size);

// The bytes a gzip file holds, decompressed, by 0-based offsets: a log compressed by rotation
// read as if it were the plain log. The file is inflated front to back once, on demand, and
// that pass keeps access points into the stream (the deflate state at a block boundary and the
// 32 KiB before it), so that a read anywhere later starts at the point before it and inflates
// at most a span, about a megabyte, to get there. Reads that go on where an earlier one ended
// go on inflating without going back to a point.
//
// A file of several gzip members is read whole. A damaged or cut file gives the bytes before
// the damage, and damage() says where it ended. Several threads may read at once.
class GzReader {
  public:
    // Reads the compressed file through `read` (bytes at a 0-based offset, as pread gives them;
    // it may be called from several threads at once), from its first byte, which must begin a
    // gzip stream (see startsGzip). `fileSize` is the compressed file's size, for progress.
    using ReadAt = std::function<std::int64_t(std::int64_t offset, char* into, std::size_t size)>;
    // `span`: the data between access points (tests make it small).
    GzReader(ReadAt read, std::int64_t fileSize, std::int64_t span = kDefaultSpan);
    static constexpr std::int64_t kDefaultSpan = std::int64_t{1} << 20;
    ~GzReader();
    GzReader(const GzReader&) = delete;
    GzReader& operator=(const GzReader&) = delete;

    // Up to `size` bytes from `offset` into `into`; fewer only where the data ends, 0 past it,
    // -1 when the file could not be read at all.
    std::int64_t readAt(std::int64_t offset, char* into, std::size_t size);

    // All the bytes the file holds: inflates to the end the first time.
    std::int64_t size();
    // Inflates to the end, passing the compressed bytes used so far to `progress` every few
    // megabytes; false when `cancel` was set first (the pass then goes on later from there).
    bool readThrough(const std::atomic<bool>* cancel,
                     const std::function<void(std::int64_t)>& progress);
    bool complete() const { return complete_.load(); }
    // The compressed bytes the front-to-back pass has used so far, for a progress bar against
    // the file's size.
    std::int64_t fileBytesRead() const { return fileBytesRead_.load(std::memory_order_relaxed); }
    // Set once the pass has reached the end: why the data ended before the file did, for
    // example "the compressed data ends early, at byte 52,428,800 of the file". Empty for a
    // whole file, or while the pass is under way.
    std::optional<std::string> damage() const;

    // The access points kept so far (tests and memory figures).
    std::size_t points() const;

  private:
    struct Point;
    struct Cursor;
    struct Front;

    // Frontier work: inflates on from the end of the pass, handing [from, to) to `into`;
    // returns the bytes handed over. Called with frontMutex_ held.
    std::int64_t advance(std::int64_t from, std::int64_t to, char* into);
    void addPoint(std::int64_t out, std::int64_t in, int bits, bool memberStart);
    void finish(std::optional<std::string> why);
    // A read of bytes the pass has already gone past.
    std::int64_t readBehind(std::int64_t offset, char* into, std::size_t size);
    // The last point at or before `offset`; null when there is none yet.
    const Point* pointBefore(std::int64_t offset) const;
    // The member-start point at `out`, after compressed offset `in`.
    const Point* memberAt(std::int64_t out, std::int64_t in) const;

    ReadAt read_;
    std::int64_t fileSize_ = 0;

    mutable std::mutex frontMutex_;
    std::unique_ptr<Front> front_;
    std::atomic<std::int64_t> frontOut_{0};  // bytes the pass has inflated
    std::atomic<bool> complete_{false};
    std::optional<std::string> damage_;
    std::atomic<std::int64_t> fileBytesRead_{0};

    mutable std::mutex pointsMutex_;
    std::vector<std::unique_ptr<Point>> points_;
    std::int64_t span_;

    std::mutex cursorsMutex_;
    std::vector<std::unique_ptr<Cursor>> cursors_;
};

}  // namespace trailscan::gz
