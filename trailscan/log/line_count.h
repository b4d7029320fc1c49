#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>

#include "trailscan/log/channel.h"
#include "trailscan/log/field_index.h"

namespace trailscan::log {

// The line total as the windows keep it: one more than the number of lines from the
// channel's position to the end. A file with no line at all gives 1. The channel is
// left at the end of the file.
std::int64_t lineTotal(Channel& channel);

// Shared between a count running on a worker thread and the window that waits for it.
struct CountProgress {
    // Bytes read so far from the channel's position on, for a progress bar against the
    // file's size. Set to 0 when the count starts.
    std::atomic<std::int64_t> bytesRead{0};
    // Set by the waiting side; the count stops at its next block and gives nothing.
    std::atomic<bool> cancel{false};
};

// How the count reads. The defaults suit real logs; tests make the sizes small.
struct CountTuning {
    std::size_t blockBytes = std::size_t{2} << 20;
    // From this many bytes to count on, two threads read alternate blocks.
    std::int64_t twoThreadsFrom = std::int64_t{64} << 20;
    // Runs before each block is read, with the block's 0-based file offset (tests only).
    std::function<void(std::int64_t offset)> beforeBlock;
};

// The same total as lineTotal(channel), read in large blocks at file offsets and never
// mapped into memory, so a file truncated meanwhile cannot crash it; from
// tuning.twoThreadsFrom bytes on, two threads read alternate blocks. The blocks up to the
// size seen at the start are taken in file order up to the first that came up short (the
// file was cut there; what the other thread read beyond it is dropped), then reading goes
// on from where they stop until a read finds nothing. So the total is always that of one
// front-to-back reader of the bytes counted: a cut file ends where its bytes ended, bytes
// appended meanwhile count too. Gives nothing when cancelled or on a read error, and the
// channel stays where it was; otherwise it is left at the end of what was counted.
// With `index`, a count from the first byte also fills it with a mark at every block (it is
// left empty otherwise).
std::optional<std::int64_t> lineTotal(Channel& channel, CountProgress& progress,
                                      const CountTuning& tuning = {}, FieldIndex* index = nullptr);

}  // namespace trailscan::log
