#include "trailscan/search/record_table.h"

namespace trailscan::search {

RecordTable::RecordTable() : records_(kRecordCapacity) {}

int RecordTable::load(log::Channel& channel) {
    // Records of an earlier, longer file must not survive into this one's searches.
    for (auto& record : records_) {
        for (auto& slot : record) {
            slot.clear();
        }
    }
    int touched = 0;
    for (auto& record : records_) {
        for (int s = 0; s < log::kFieldCount; ++s) {
            if (channel.eof()) {
                return touched;
            }
            channel.readField(record[static_cast<std::size_t>(s)]);
            if (s == 0) {
                ++touched;
            }
        }
    }
    return touched;
}

int RecordTable::endOfData() const {
    for (int r = 0; r < kRecordCapacity; ++r) {
        if (field(r, 0).empty()) {
            return r;
        }
    }
    return kRecordCapacity;
}

}  // namespace trailscan::search
