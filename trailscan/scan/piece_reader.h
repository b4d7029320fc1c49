#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string_view>
#include <vector>

#include "trailscan/log/format.h"
#include "trailscan/log/source.h"
#include "trailscan/scan/byte_find.h"

namespace trailscan::scan {

// Bytes [begin, end) of a log file, by 0-based offsets.
struct FileRange {
    std::int64_t begin = 0;
    std::int64_t end = 0;
    std::int64_t size() const { return end - begin; }
};

// Where the values of one record's fields stand in the file, as log/format.h forms them.
struct FileRecord {
    std::array<FileRange, log::kFieldCount> values;
    int fields = 0;  // fewer than 23 where the file ended first
};

enum class ReadEnd { Done, Failed, Cancelled };

// Reads a record, or a field, of any length from the file a piece at a time, holding a
// megabyte at most (and the search text), for records too long to hold in memory whole.
// Failed: the file gave fewer bytes than it had, so it was cut or could not be read.
// Cancelled: `cancel` was set, checked before each piece.
class PieceReader {
  public:
    PieceReader(log::Source* file, std::int64_t size, const std::atomic<bool>* cancel = nullptr)
        : file_(file), size_(size), cancel_(cancel) {}

    // The fields of the record that begins at `at`.
    ReadEnd readRecord(std::int64_t at, FileRecord& record);
    // Whether `range` holds the finder's text; an empty text is held by any range not empty.
    ReadEnd holds(FileRange range, std::string_view text, const ByteFinder& finder, bool& found);
    // Passes the bytes of `range` to `take`, a piece at a time.
    ReadEnd read(FileRange range, const std::function<void(std::string_view)>& take);

  private:
    // [offset, offset + size) into the buffer from `keep` on; the bytes before stay.
    ReadEnd load(std::int64_t offset, std::size_t size, std::size_t keep);

    log::Source* file_;
    std::int64_t size_;
    const std::atomic<bool>* cancel_;
    std::vector<char> buffer_;
};

}  // namespace trailscan::scan
