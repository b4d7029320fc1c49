#pragma once

#include <cstdint>
#include <vector>

#include "trailscan/log/file_io.h"

namespace trailscan::log {

// A sparse index of where fields, and so records, stand in a log: for a mark every few
// megabytes (a few thousand records), how many fields ended before it. Record r begins right
// after the (23 r)-th field end, so a reader finds any record by reading from the mark before
// it, and a whole-log search knows the record index at any mark without reading up to it.
// The line count fills it as it reads every byte anyway; it takes a few bytes a mark.
struct FieldIndex {
    struct Mark {
        std::int64_t offset = 0;     // 0-based file offset
        std::int64_t fieldEnds = 0;  // commas and LFs in [0, offset)
    };
    std::vector<Mark> marks;   // ascending offsets, the first at 0, the last at the end counted
    file_io::FileStamp stamp;  // the file as it was counted; a file changed since is read anew

    bool empty() const { return marks.empty(); }
    std::int64_t endOffset() const { return marks.empty() ? 0 : marks.back().offset; }
};

}  // namespace trailscan::log
