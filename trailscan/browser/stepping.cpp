#include "trailscan/browser/stepping.h"

namespace trailscan::browser {

void SavedLengths::store(std::int64_t length) {
    (toggle_ ? second_ : first_) = length;
    toggle_ = !toggle_;
}

void SavedLengths::clear() { *this = SavedLengths{}; }

StepBack planStepBack(std::int64_t counter, std::int64_t position, const SavedLengths& lengths) {
    if (counter < 2) {
        return {StepBack::Kind::AtStart, position, counter};
    }
    const StepBack firstRecord{StepBack::Kind::FirstRecord, 1, 0};
    if (counter == 2) {
        return firstRecord;
    }
    const std::int64_t target = position - lengths.first() - lengths.second() - kStepBackMargin;
    if (target < 1) {
        return firstRecord;
    }
    return {StepBack::Kind::FromPosition, target, counter - 2};
}

log::RecordRead readNext(log::Channel& channel, log::FieldSlots& slots, SavedLengths& lengths,
                         std::int64_t& counter) {
    channel.refresh();
    const log::RecordRead record = log::readRecord(channel, slots);
    lengths.store(record.length);
    ++counter;
    return record;
}

StepBack moveBack(log::Channel& channel, std::int64_t& counter, const SavedLengths& lengths) {
    channel.refresh();
    const StepBack step = planStepBack(counter, channel.position(), lengths);
    if (step.kind == StepBack::Kind::AtStart) {
        return step;
    }
    channel.seek(step.seekPosition);
    if (step.kind == StepBack::Kind::FromPosition) {
        // The target lies inside a record: read on to the start of the next one.
        channel.readLine();
    }
    counter = step.counter;
    return step;
}

std::string positionText(std::int64_t counter, std::int64_t lineTotal) {
    return std::to_string(counter) + " OF " + std::to_string(lineTotal);
}

std::string_view boxText(std::string_view field) {
    return field == log::kPlaceholder ? std::string_view{} : field;
}

}  // namespace trailscan::browser
