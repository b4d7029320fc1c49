#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "trailscan/log/format.h"

namespace trailscan::log {

// Fields taken out of a block of log bytes by the rules of format.h, the same fields the
// channel's field reader gives, for readers that hold many bytes at once.

// One field of a block.
struct FieldSpan {
    std::size_t valueBegin = 0;  // after the blanks in front
    std::size_t valueEnd = 0;    // before the delimiter (and the CR of a CR LF)
    std::size_t next = 0;        // where the next field begins: after the delimiter
    bool ended = false;          // a comma or an LF ended it (not the end of the block)

    // The whole value, as a whole-log search reports it.
    std::string_view value(std::string_view block) const {
        return block.substr(valueBegin, valueEnd - valueBegin);
    }
    // The value as the channel keeps it: at most kMaxFieldLength bytes.
    std::string_view keptValue(std::string_view block) const {
        return value(block).substr(0, kMaxFieldLength);
    }
};

// The field from `begin` to the field end at `end`, or to the block's end when `end` is
// block.size(): right only where the block ends with the file, and a trailing CR then stays in
// the value, as the channel keeps it at the end of a file.
inline FieldSpan fieldSpan(std::string_view block, std::size_t begin, std::size_t end) {
    FieldSpan span;
    while (begin < end && block[begin] == kBlank) {
        ++begin;
    }
    span.valueBegin = begin;
    span.valueEnd = end;
    span.next = end;
    if (end < block.size()) {
        span.ended = true;
        if (block[end] == kLineFeed && end > begin && block[end - 1] == kCarriageReturn) {
            --span.valueEnd;
        }
        ++span.next;
    }
    return span;
}

// The field that begins at `at` (at most block.size()).
inline FieldSpan fieldAt(std::string_view block, std::size_t at) {
    std::size_t end = at;
    while (end < block.size() && !endsField(block[end])) {
        ++end;
    }
    return fieldSpan(block, at, end);
}

// How many bytes of [data, data + size) end a field (commas and LFs).
std::int64_t countFieldEnds(const char* data, std::size_t size);
// How many of them are LFs, so end a line.
std::int64_t countLineFeeds(const char* data, std::size_t size);

// Where the `count`-th byte that ends a field (count >= 1) stands in [data, data + size), as
// an offset from data; size when there are fewer.
std::size_t findFieldEnd(const char* data, std::size_t size, std::int64_t count);

// The offsets of the next field ends (commas and LFs) from data, at most `count` (up to
// 64) of them, into `ends`; returns how many there were in [data, data + size).
int findFieldEnds(const char* data, std::size_t size, std::size_t* ends, int count);

// Commas and LFs, counted apart, for the line count that also keeps the field index.
struct ByteTally {
    std::int64_t lineFeeds = 0;
    std::int64_t separators = 0;
};
ByteTally tallyLineFeedsAndSeparators(const char* data, std::size_t size);

}  // namespace trailscan::log
