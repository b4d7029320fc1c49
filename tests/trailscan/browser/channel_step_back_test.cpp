// The channel operations a step back relies on: seek, read one line and discard it, then
// read a record.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/test_files.h"
#include "trailscan/log/channel.h"
#include "trailscan/log/record.h"

namespace {

using testing_support::lineOfLength;
using testing_support::TempDir;
using trailscan::log::Channel;
using trailscan::log::FieldSlots;
using trailscan::log::readRecord;

// Records of 100 bytes: record n starts at 100 (n - 1) + 1, its CR is byte 100 n - 1 and
// its LF byte 100 n.
std::string hundredByteRecords(int count) {
    std::string bytes;
    for (int n = 1; n <= count; ++n) {
        bytes += lineOfLength(n, 100);
    }
    return bytes;
}

std::string recordAfterLineSkip(Channel& channel, std::int64_t position) {
    channel.seek(position);
    channel.readLine();
    FieldSlots slots{};
    readRecord(channel, slots);
    return slots[0];
}

TEST(ChannelStepBack, ALineReadFromInsideARecordOrItsCrMovesToTheNextRecord) {
    TempDir dir;
    const auto path = dir.write("steps.log", hundredByteRecords(4));
    Channel channel;
    ASSERT_FALSE(channel.open(path).has_value());
    EXPECT_EQ(recordAfterLineSkip(channel, 101), "r3");  // first byte of record 2
    EXPECT_EQ(recordAfterLineSkip(channel, 150), "r3");
    EXPECT_EQ(recordAfterLineSkip(channel, 199), "r3");  // CR of record 2
}

TEST(ChannelStepBack, ALineReadFromTheLfOfACrLfRunsOnToTheNextLineEnd) {
    TempDir dir;
    const auto path = dir.write("steps.log", hundredByteRecords(4));
    Channel channel;
    ASSERT_FALSE(channel.open(path).has_value());
    EXPECT_EQ(recordAfterLineSkip(channel, 200), "r4");  // LF of record 2
}

TEST(ChannelStepBack, AnLfAtTheStartOfTheBufferStillKnowsTheCrBeforeIt) {
    // A seek that loads the buffer from the LF of a CR LF, then a seek back onto that LF:
    // the line read must still see the CR in front of it and run on to the next line end,
    // exactly as it does when the same LF is reached in any other way.
    TempDir dir;
    const auto path = dir.write("steps.log", hundredByteRecords(4));
    Channel channel;
    ASSERT_FALSE(channel.open(path).has_value());
    channel.seek(201);  // loads the buffer from byte 200, the LF of record 2
    EXPECT_EQ(channel.position(), 201);
    EXPECT_EQ(recordAfterLineSkip(channel, 200), "r4");
}

TEST(ChannelStepBack, SeekingBackAfterTheEndReadsAgain) {
    TempDir dir;
    const auto path = dir.write("steps.log", hundredByteRecords(3));
    Channel channel;
    ASSERT_FALSE(channel.open(path).has_value());
    FieldSlots slots{};
    for (int n = 0; n < 3; ++n) {
        readRecord(channel, slots);
    }
    EXPECT_TRUE(channel.eof());
    EXPECT_EQ(channel.position(), 301);
    EXPECT_EQ(recordAfterLineSkip(channel, 301 - 100 - 100 - 50), "r2");
}

}  // namespace
