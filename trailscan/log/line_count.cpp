#include "trailscan/log/line_count.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <system_error>
#include <thread>
#include <vector>

#include "common/aligned_bytes.h"
#include "trailscan/log/field_bytes.h"
#include "trailscan/log/file_io.h"

namespace trailscan::log {

std::int64_t lineTotal(Channel& channel) { return 1 + channel.countLinesToEnd(); }

namespace {

// What one block held.
struct BlockTally {
    std::int64_t bytes = 0;
    std::int64_t lineFeeds = 0;
    // Only for a field index: the commas and LFs of each kMarkBytes of the block.
    std::vector<std::int64_t> markFieldEnds;
    int lastByte = -1;
};

// The field index has a mark this often, so a search reads its blocks between marks in
// pieces that stay in the processor's cache.
constexpr std::int64_t kMarkBytes = 256 * 1024;

// Counts a block's LFs, and its field ends per mark when a field index is kept.
BlockTally tallyBlock(const char* data, std::int64_t size, bool withSeparators) {
    BlockTally tally;
    tally.bytes = size;
    if (withSeparators) {
        for (std::int64_t at = 0; at < size; at += kMarkBytes) {
            const ByteTally bytes = tallyLineFeedsAndSeparators(
                data + at, static_cast<std::size_t>(std::min(kMarkBytes, size - at)));
            tally.lineFeeds += bytes.lineFeeds;
            tally.markFieldEnds.push_back(bytes.lineFeeds + bytes.separators);
        }
    } else {
        tally.lineFeeds = countLineFeeds(data, static_cast<std::size_t>(size));
    }
    tally.lastByte = size > 0 ? static_cast<unsigned char>(data[size - 1]) : -1;
    return tally;
}

// Reads blocks first, first + step, ... of [from, to) into their slots of `tallies`. Stops
// after a block that came up short (the file ended there), and also before a block behind
// one that another reader found short, since nothing after that is counted.
class BlockReader {
  public:
    BlockReader(Source* file, std::int64_t from, std::int64_t to, std::int64_t blockBytes,
                CountProgress& progress, const CountTuning& tuning,
                std::vector<BlockTally>& tallies, bool withSeparators)
        : file_(file),
          from_(from),
          to_(to),
          blockBytes_(blockBytes),
          progress_(progress),
          tuning_(tuning),
          tallies_(tallies),
          withSeparators_(withSeparators),
          shortBlock_(static_cast<std::int64_t>(tallies.size())) {}

    void run(std::size_t first, std::size_t step, char* buffer) {
        for (std::size_t block = first; block < tallies_.size(); block += step) {
            if (progress_.cancel.load(std::memory_order_relaxed) || failed_.load() ||
                static_cast<std::int64_t>(block) > shortBlock_.load()) {
                return;
            }
            const std::int64_t offset = from_ + static_cast<std::int64_t>(block) * blockBytes_;
            const std::int64_t want = std::min(blockBytes_, to_ - offset);
            if (tuning_.beforeBlock) {
                tuning_.beforeBlock(offset);
            }
            const std::int64_t got = file_->readAt(offset, buffer, static_cast<std::size_t>(want));
            if (got < 0) {
                failed_ = true;
                return;
            }
            tallies_[block] = tallyBlock(buffer, got, withSeparators_);
            progress_.bytesRead.fetch_add(got, std::memory_order_relaxed);
            if (got < want) {
                const auto index = static_cast<std::int64_t>(block);
                auto known = shortBlock_.load();
                while (index < known && !shortBlock_.compare_exchange_weak(known, index)) {
                }
                return;
            }
        }
    }

    bool failed() const { return failed_.load(); }

  private:
    Source* file_;
    std::int64_t from_;
    std::int64_t to_;
    std::int64_t blockBytes_;
    CountProgress& progress_;
    const CountTuning& tuning_;
    std::vector<BlockTally>& tallies_;
    bool withSeparators_;
    std::atomic<std::int64_t> shortBlock_;
    std::atomic<bool> failed_{false};
};

}  // namespace

std::optional<std::int64_t> lineTotal(Channel& channel, CountProgress& progress,
                                      const CountTuning& tuning, FieldIndex* index) {
    progress.bytesRead = 0;
    if (index != nullptr) {
        *index = {};
    }
    Source* file = channel.source();
    if (file == nullptr) {
        return 1;
    }
    const std::int64_t start = channel.position() - 1;
    // A compressed log's size is known only once it is read: it is read on until it ends.
    const std::int64_t seenEnd = file->compressed() ? start : std::max(start, file->size());
    const auto blockBytes = static_cast<std::int64_t>(std::max<std::size_t>(tuning.blockBytes, 1));

    std::vector<BlockTally> tallies(
        static_cast<std::size_t>((seenEnd - start + blockBytes - 1) / blockBytes));
    // Field ends are counted from the first byte only; a count from elsewhere keeps no index.
    const bool keepIndex = index != nullptr && start == 0;
    BlockReader reader(file, start, seenEnd, blockBytes, progress, tuning, tallies, keepIndex);
    const bool twoThreads = seenEnd - start >= tuning.twoThreadsFrom && tallies.size() > 1;
    const common::AlignedBytes buffers =
        common::alignedBytes(static_cast<std::size_t>(blockBytes) * (twoThreads ? 2 : 1));
    if (twoThreads) {
        std::thread second;
        try {
            second = std::thread([&] { reader.run(1, 2, buffers.get() + blockBytes); });
        } catch (const std::system_error&) {
        }
        reader.run(0, 2, buffers.get());
        if (second.joinable()) {
            second.join();
        } else {
            reader.run(1, 2, buffers.get() + blockBytes);
        }
    } else {
        reader.run(0, 1, buffers.get());
    }
    // On Windows the reads move the file's offset under the channel's buffer.
    auto giveUp = [&]() -> std::optional<std::int64_t> {
        channel.reloadAt(start + 1);
        return std::nullopt;
    };
    if (reader.failed() || progress.cancel) {
        return giveUp();
    }

    // The blocks in file order, up to the first that came up short.
    std::int64_t at = start;
    std::int64_t lineFeeds = 0;
    std::int64_t fieldEnds = 0;
    int lastByte = -1;
    std::vector<FieldIndex::Mark> marks;
    auto take = [&](const BlockTally& tally) {
        if (keepIndex) {
            for (std::size_t m = 0; m < tally.markFieldEnds.size(); ++m) {
                marks.push_back({at + static_cast<std::int64_t>(m) * kMarkBytes, fieldEnds});
                fieldEnds += tally.markFieldEnds[m];
            }
        }
        at += tally.bytes;
        lineFeeds += tally.lineFeeds;
        if (tally.bytes > 0) {
            lastByte = tally.lastByte;
        }
    };
    for (const BlockTally& tally : tallies) {
        const std::int64_t want = std::min(blockBytes, seenEnd - at);
        take(tally);
        if (tally.bytes < want) {
            break;
        }
    }

    // Then on from there, one block at a time, until a read finds nothing.
    for (;;) {
        if (progress.cancel) {
            return giveUp();
        }
        if (tuning.beforeBlock) {
            tuning.beforeBlock(at);
        }
        const std::int64_t got =
            file->readAt(at, buffers.get(), static_cast<std::size_t>(blockBytes));
        if (got < 0) {
            return giveUp();
        }
        if (got == 0) {
            break;
        }
        take(tallyBlock(buffers.get(), got, keepIndex));
        if (file->compressed()) {
            progress.bytesRead.store(file->fileBytesRead(), std::memory_order_relaxed);
        } else {
            progress.bytesRead.fetch_add(got, std::memory_order_relaxed);
        }
    }

    channel.reloadAt(at + 1);
    if (keepIndex) {
        marks.push_back({at, fieldEnds});
        index->marks = std::move(marks);
        index->stamp = file->stamp();
    }
    const bool openLastLine = lastByte != -1 && lastByte != '\n';
    return 1 + lineFeeds + (openLastLine ? 1 : 0);
}

}  // namespace trailscan::log
