#pragma once

#include <cstdint>

#include "trailscan/log/channel.h"
#include "trailscan/log/format.h"

namespace trailscan::log {

// What one record read found.
struct RecordRead {
    int fieldsRead = 0;       // 23 unless the end of the file came first
    std::int64_t length = 0;  // sum of (field length + 2) over the fields read
    bool reachedEnd = false;  // the end of the file stopped the read early
};

// Reads the next 23 fields into slots 0 to 22, testing for the end of the file before
// every field. Slots not reached keep their values; slot 23 is never written.
RecordRead readRecord(Channel& channel, FieldSlots& slots);

// Record length of fields as the line format counts them.
std::int64_t recordLength(const FieldSlots& slots);

}  // namespace trailscan::log
