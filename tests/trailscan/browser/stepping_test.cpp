#include "trailscan/browser/stepping.h"

#include <gtest/gtest.h>

#include "tests/support/test_files.h"

namespace trailscan::browser {
namespace {

TEST(SavedLengths, EachStoreOverwritesTheOtherLengthInTurn) {
    SavedLengths lengths;
    EXPECT_EQ(lengths.first(), 0);
    EXPECT_EQ(lengths.second(), 0);
    EXPECT_FALSE(lengths.toggle());

    // Records of 200, 210, 190 and 205 bytes read one after the other.
    lengths.store(200);
    EXPECT_EQ(lengths.first(), 200);
    EXPECT_TRUE(lengths.toggle());
    lengths.store(210);
    EXPECT_EQ(lengths.second(), 210);
    EXPECT_FALSE(lengths.toggle());
    lengths.store(190);
    lengths.store(205);
    EXPECT_EQ(lengths.first(), 190);
    EXPECT_EQ(lengths.second(), 205);

    // A read that meets the end at once stores 0.
    lengths.store(0);
    EXPECT_EQ(lengths.first(), 0);
    EXPECT_EQ(lengths.second(), 205);

    lengths.clear();
    EXPECT_EQ(lengths.first(), 0);
    EXPECT_EQ(lengths.second(), 0);
    EXPECT_FALSE(lengths.toggle());
}

SavedLengths lengthsOf(std::int64_t first, std::int64_t second) {
    SavedLengths lengths;
    lengths.store(first);
    lengths.store(second);
    return lengths;
}

TEST(PlanStepBack, BelowTwoThereIsNothingToReturnTo) {
    for (std::int64_t counter : {-3, 0, 1}) {
        EXPECT_EQ(planStepBack(counter, 500, lengthsOf(200, 210)).kind, StepBack::Kind::AtStart)
            << counter;
    }
}

TEST(PlanStepBack, AtTwoReadsTheFirstRecordAgain) {
    const StepBack step = planStepBack(2, 411, lengthsOf(200, 210));
    EXPECT_EQ(step.kind, StepBack::Kind::FirstRecord);
    EXPECT_EQ(step.seekPosition, 1);
    EXPECT_EQ(step.counter, 0);
}

TEST(PlanStepBack, AboveTwoStepsBackByBothLengthsAndTheMargin) {
    // Records of 200, 210, 190 and 205 bytes, after the fourth has been read.
    StepBack step = planStepBack(4, 806, lengthsOf(190, 205));
    EXPECT_EQ(step.kind, StepBack::Kind::FromPosition);
    EXPECT_EQ(step.seekPosition, 361);
    EXPECT_EQ(step.counter, 2);

    // After that step back showed record 3 (the position is then 601).
    step = planStepBack(3, 601, lengthsOf(190, 205));
    EXPECT_EQ(step.seekPosition, 156);
    EXPECT_EQ(step.counter, 1);
}

TEST(PlanStepBack, ATargetBeforeTheFileStepsBackToTheFirstRecord) {
    // Records of 100, 100, 150 and 300 bytes: the second step back from record 4 computes
    // 351 - 150 - 300 - 50 = -149.
    const StepBack step = planStepBack(3, 351, lengthsOf(150, 300));
    EXPECT_EQ(step.kind, StepBack::Kind::FirstRecord);
    EXPECT_EQ(step.seekPosition, 1);
    EXPECT_EQ(step.counter, 0);

    // A target of exactly the first byte is still a position to read on from.
    const StepBack atFirstByte = planStepBack(3, 401, lengthsOf(150, 200));
    EXPECT_EQ(atFirstByte.kind, StepBack::Kind::FromPosition);
    EXPECT_EQ(atFirstByte.seekPosition, 1);
}

TEST(PlanStepBack, PositionsBeyondFourGigabytesStayExact) {
    const std::int64_t position = 10'000'000'000;
    const StepBack step = planStepBack(40'000'000, position, lengthsOf(250, 260));
    EXPECT_EQ(step.seekPosition, position - 250 - 260 - 50);
    EXPECT_EQ(step.counter, 39'999'998);
}

TEST(PositionText, CounterOfLineTotal) {
    EXPECT_EQ(positionText(12, 3457), "12 OF 3457");
    EXPECT_EQ(positionText(1, 5), "1 OF 5");
}

TEST(BoxText, ThePlaceholderShowsAsAnEmptyBox) {
    EXPECT_EQ(boxText("-"), "");
    EXPECT_EQ(boxText("--"), "--");
    EXPECT_EQ(boxText(" -"), " -");
    EXPECT_EQ(boxText("GET"), "GET");
    EXPECT_EQ(boxText(""), "");
}

TEST(StepButtonColours, FollowOpenForwardEndAndStart) {
    StepButtonColours colours;
    EXPECT_EQ(colours.forward, kButtonColour);
    EXPECT_EQ(colours.back, kButtonColour);

    colours.fileOpened();
    EXPECT_EQ(colours.forward, kButtonColour);
    EXPECT_EQ(colours.back, kAlertColour);

    colours.forwardPressed();
    EXPECT_EQ(colours.back, kButtonColour);

    colours.endReached();
    EXPECT_EQ(colours.forward, kAlertColour);
    EXPECT_EQ(colours.back, kButtonColour);

    colours.startReached();
    EXPECT_EQ(colours.back, kAlertColour);

    colours.fileOpened();
    EXPECT_EQ(colours.forward, kButtonColour);
    EXPECT_EQ((Rgb{255, 192, 128}), kButtonColour);
    EXPECT_EQ((Rgb{255, 0, 0}), kAlertColour);
}

TEST(StepReading, ReadsCountAndSaveLengthsAlsoWhenTheEndCutsThemShort) {
    testing_support::TempDir dir;
    const auto path = dir.write("two.log", testing_support::lineOfLength(1, 120) + "b0, b1\r\n");
    log::Channel channel;
    ASSERT_FALSE(channel.open(path).has_value());
    log::FieldSlots slots{};
    SavedLengths lengths;
    std::int64_t counter = 0;

    EXPECT_FALSE(readNext(channel, slots, lengths, counter).reachedEnd);
    EXPECT_EQ(counter, 1);
    EXPECT_EQ(lengths.first(), 120);

    const log::RecordRead cut = readNext(channel, slots, lengths, counter);
    EXPECT_TRUE(cut.reachedEnd);
    EXPECT_EQ(cut.fieldsRead, 2);
    EXPECT_EQ(counter, 2);
    EXPECT_EQ(lengths.second(), 8);  // "b0" and "b1", each plus 2
    EXPECT_EQ(slots[2], "x");        // from the first line
    EXPECT_EQ(slots[23], "");

    // Counter 2: back to the first byte; the read that follows counts it as record 1.
    EXPECT_EQ(moveBack(channel, counter, lengths).kind, StepBack::Kind::FirstRecord);
    EXPECT_EQ(counter, 0);
    EXPECT_EQ(channel.position(), 1);
    readNext(channel, slots, lengths, counter);
    EXPECT_EQ(slots[0], "r1");
    EXPECT_EQ(counter, 1);

    // Counter 1: nothing moves.
    const std::int64_t before = channel.position();
    EXPECT_EQ(moveBack(channel, counter, lengths).kind, StepBack::Kind::AtStart);
    EXPECT_EQ(counter, 1);
    EXPECT_EQ(channel.position(), before);
}

}  // namespace
}  // namespace trailscan::browser
