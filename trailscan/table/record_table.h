#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "trailscan/log/channel.h"
#include "trailscan/log/format.h"

namespace trailscan::table {

// Room for 5001 records; whatever a log holds beyond record 5000 is not loaded.
inline constexpr int kRecordCapacity = 5001;
// The field bytes one table keeps at most (256 MiB). An ordinary log's 5001 records take
// about 1.3 MB; records long enough to pass this are loaded up to the last whole record
// that fits, and the load says so.
inline constexpr std::size_t kTableBudget = std::size_t{256} << 20;

// What one load kept of the log.
struct LoadOutcome {
    int records = 0;             // records that received at least one field
    bool budgetReached = false;  // the next record did not fit in the budget: not loaded
    bool fieldsCut = false;      // a field was longer than log::kMaxFieldLength: kept cut
};

// The loaded records: 5001 records of 24 slots. Record r is the r-th run of 23 fields read
// from the file (line r + 1 when every line holds 23 fields). A record whose slot 0 is empty
// ends the data for the searches. The fields' bytes stand one after another in one block,
// so a load allocates once and a field costs 4 bytes besides its text.
class RecordTable {
  public:
    RecordTable();

    // Empties the table, then reads runs of 23 fields from the channel into records 0, 1,
    // ..., testing for the end of the file before every field. Stops after record 5000 with
    // the channel positioned after the last field read, or before the first record whose
    // fields would take the table past `budget` bytes. `fileSize` sizes the block up front.
    LoadOutcome load(log::Channel& channel, std::int64_t fileSize,
                     std::size_t budget = kTableBudget);
    // Empties the table and gives its memory back.
    void release();

    std::string_view field(int record, int slot) const {
        const std::size_t index = slotIndex(record, slot);
        const std::uint32_t begin = index == 0 ? 0 : ends_[index - 1];
        return std::string_view(bytes_).substr(begin, ends_[index] - begin);
    }
    // Index of the first record whose slot 0 is empty (kRecordCapacity when none is).
    int endOfData() const;

  private:
    static std::size_t slotIndex(int record, int slot) {
        return static_cast<std::size_t>(record) * log::kSlotCount + static_cast<std::size_t>(slot);
    }

    std::string bytes_;
    // Where each slot's bytes end in bytes_; a slot begins where the one before it ends.
    std::vector<std::uint32_t> ends_;
};

}  // namespace trailscan::table
