#include "trailscan/log/record.h"

namespace trailscan::log {

RecordRead readRecord(Channel& channel, FieldSlots& slots) {
    RecordRead result;
    for (int i = 0; i < kFieldCount; ++i) {
        if (channel.eof()) {
            result.reachedEnd = true;
            break;
        }
        const std::size_t length = channel.readField(slots[static_cast<std::size_t>(i)]);
        result.length += static_cast<std::int64_t>(length) + kFieldOverhead;
        ++result.fieldsRead;
    }
    return result;
}

std::int64_t recordLength(const FieldSlots& slots) {
    std::int64_t sum = 0;
    for (int i = 0; i < kFieldCount; ++i) {
        sum +=
            static_cast<std::int64_t>(slots[static_cast<std::size_t>(i)].size()) + kFieldOverhead;
    }
    return sum;
}

}  // namespace trailscan::log
