#pragma once

#include <string>
#include <vector>

#include "trailscan/log/channel.h"
#include "trailscan/log/format.h"

namespace trailscan::search {

// Room for 5001 records; whatever a log holds beyond record 5000 is not loaded.
inline constexpr int kRecordCapacity = 5001;

// The loaded records: a fixed table of 5001 records of 24 slots, allocated once.
// Record r is the r-th run of 23 fields read from the file (line r + 1 when every
// line holds 23 fields). A record whose slot 0 is empty ends the data for the searches.
class RecordTable {
public:
    RecordTable();

    // Empties every slot (keeping the memory), then reads runs of 23 fields from the
    // channel into records 0, 1, ..., testing for the end of the file before every field.
    // Stops after record 5000 with the channel positioned after the last field read.
    // Returns how many records received at least one field.
    int load(log::Channel& channel);

    const std::string& field(int record, int slot) const {
        return records_[static_cast<std::size_t>(record)][static_cast<std::size_t>(slot)];
    }
    // Index of the first record whose slot 0 is empty (kRecordCapacity when none is).
    int endOfData() const;

private:
    std::vector<log::FieldSlots> records_;
};

}  // namespace trailscan::search
