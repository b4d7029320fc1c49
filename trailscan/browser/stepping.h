#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "trailscan/log/channel.h"
#include "trailscan/log/format.h"
#include "trailscan/log/record.h"

namespace trailscan::browser {

// A back colour of the browser's buttons.
struct Rgb {
    int red = 0;
    int green = 0;
    int blue = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

// The buttons' own colour, and the colour that marks a direction with nothing left to show.
inline constexpr Rgb kButtonColour{255, 192, 128};
inline constexpr Rgb kAlertColour{255, 0, 0};

// Back colours of ">>" and "<<"; every change of state the window makes is named here.
struct StepButtonColours {
    Rgb forward = kButtonColour;
    Rgb back = kButtonColour;

    // A log was opened: the first record is the only way back.
    void fileOpened() {
        forward = kButtonColour;
        back = kAlertColour;
    }
    // ">>" was pressed: there is a record to go back to again.
    void forwardPressed() { back = kButtonColour; }
    void endReached() { forward = kAlertColour; }
    void startReached() { back = kAlertColour; }
};

// The record lengths of the last two records read. Each read overwrites one of them in
// turn, so together they always span the record shown and the one read before it.
class SavedLengths {
  public:
    void store(std::int64_t length);
    void clear();

    std::int64_t first() const { return first_; }
    std::int64_t second() const { return second_; }
    // Which length the next store overwrites: false the first, true the second.
    bool toggle() const { return toggle_; }

  private:
    std::int64_t first_ = 0;
    std::int64_t second_ = 0;
    bool toggle_ = false;
};

// Bytes stepped back beyond the two saved lengths, so that the position lands inside the
// record before the one to show even when the lengths fall a little short of the lines.
inline constexpr std::int64_t kStepBackMargin = 50;

// What "<<" does with a file open.
struct StepBack {
    enum class Kind {
        AtStart,      // nothing before the record shown: tell the user, change nothing
        FirstRecord,  // read record 1 again from the start of the file
        FromPosition  // seek, discard the rest of the line found there, read the next record
    };
    Kind kind = Kind::AtStart;
    std::int64_t seekPosition = 1;  // where to seek (from 1), unless AtStart
    std::int64_t counter = 0;       // record counter before the read that follows
};

// The step back from record counter `counter` with the channel at `position`. A target
// before the first byte of the file (possible only after an earlier step back) has no
// record to land in, so it steps back to the first record as counter 2 does.
StepBack planStepBack(std::int64_t counter, std::int64_t position, const SavedLengths& lengths);

// The reading part of ">>" and of a step back: reads the record at the channel's position
// into the slots, saves its length under the toggle and counts it, also when the end of the
// file cut the read short. Closing the channel at the end is left to the caller. Both this
// and moveBack first take in any change made to the file since the last step (it may
// have grown, or been truncated or rewritten while open).
log::RecordRead readNext(log::Channel& channel, log::FieldSlots& slots, SavedLengths& lengths,
                         std::int64_t& counter);

// Moves the channel to the start of the record a step back reads, and sets the counter
// for that read. With nothing before the record shown (AtStart) nothing changes.
StepBack moveBack(log::Channel& channel, std::int64_t& counter, const SavedLengths& lengths);

// The position box: "12 OF 3457".
std::string positionText(std::int64_t counter, std::int64_t lineTotal);

// What a record box shows for a field: the placeholder shows as an empty box.
std::string_view boxText(std::string_view field);

}  // namespace trailscan::browser
