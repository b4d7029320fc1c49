#include "trailscan/table/record_table.h"

#include <algorithm>

namespace trailscan::table {

static_assert(kTableBudget < UINT32_MAX, "slot ends are 32-bit offsets");

RecordTable::RecordTable()
    : ends_(static_cast<std::size_t>(kRecordCapacity) * log::kSlotCount, 0) {}

LoadOutcome RecordTable::load(log::Channel& channel, std::int64_t fileSize, std::size_t budget) {
    budget = std::min(budget, kTableBudget);
    bytes_.clear();
    bytes_.reserve(std::min<std::size_t>(
        budget, static_cast<std::size_t>(std::max<std::int64_t>(fileSize, 0))));
    LoadOutcome outcome;
    std::string field;
    std::size_t index = 0;
    // The slots from `index` on stay empty: they end where the kept bytes end.
    const auto finish = [&] {
        std::fill(ends_.begin() + static_cast<std::ptrdiff_t>(index), ends_.end(),
                  static_cast<std::uint32_t>(bytes_.size()));
        return outcome;
    };
    for (int r = 0; r < kRecordCapacity; ++r) {
        const std::size_t recordStart = bytes_.size();
        for (int s = 0; s < log::kFieldCount; ++s, ++index) {
            if (channel.eof()) {
                return finish();
            }
            const std::size_t length = channel.readField(field);
            outcome.fieldsCut = outcome.fieldsCut || length > field.size();
            if (bytes_.size() + field.size() > budget) {
                // Only whole records are kept: this one is dropped with the rest of the file.
                outcome.budgetReached = true;
                outcome.records = r;
                bytes_.resize(recordStart);
                index = slotIndex(r, 0);
                return finish();
            }
            bytes_ += field;
            ends_[index] = static_cast<std::uint32_t>(bytes_.size());
            if (s == 0) {
                ++outcome.records;
            }
        }
        ends_[index++] = static_cast<std::uint32_t>(bytes_.size());  // slot 23, never written
    }
    return finish();
}

void RecordTable::release() {
    std::string().swap(bytes_);
    std::fill(ends_.begin(), ends_.end(), 0);
}

int RecordTable::endOfData() const {
    for (int r = 0; r < kRecordCapacity; ++r) {
        if (field(r, 0).empty()) {
            return r;
        }
    }
    return kRecordCapacity;
}

}  // namespace trailscan::table
