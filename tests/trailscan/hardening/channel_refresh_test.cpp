// The channel under a file that changes between reads: what refresh() takes in.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/support/test_files.h"
#include "trailscan/browser/stepping.h"
#include "trailscan/log/channel.h"

namespace hardening {
namespace {

namespace fs = std::filesystem;
using testing_support::rewriteInPlace;
using testing_support::TempDir;
using trailscan::log::Channel;

TEST(ChannelRefresh, ATruncatedFileHasNoMoreBytesAfterARefresh) {
    TempDir dir;
    const auto path = dir.write("cut.log", "a, b\r\nc, d\r\n");
    Channel channel;
    ASSERT_FALSE(channel.open(path).has_value());
    std::string value;
    channel.readField(value);
    EXPECT_EQ(value, "a");
    fs::resize_file(path, 0);
    EXPECT_FALSE(channel.eof());  // still buffered
    channel.refresh();
    EXPECT_TRUE(channel.eof());
    EXPECT_EQ(channel.position(), 3);  // the position is kept
    channel.seek(1);
    EXPECT_TRUE(channel.eof());
}

TEST(ChannelRefresh, ARewrittenFileIsReadAgainAtTheSamePosition) {
    TempDir dir;
    const auto path = dir.write("redo.log", "a, b\r\nc, d\r\n");
    Channel channel;
    ASSERT_FALSE(channel.open(path).has_value());
    std::string value;
    channel.readLine();
    rewriteInPlace(path, "A, B\r\nCC, D\r\n");
    channel.refresh();
    channel.readField(value);
    EXPECT_EQ(value, "CC");
    // Reloaded at an LF, the channel still knows the CR before it: a line read from there
    // runs on to the next line end.
    rewriteInPlace(path, "A, B\r\nCCC, D\r\nE\r\n");
    channel.seek(6);
    channel.refresh();
    channel.readLine();
    channel.readField(value);
    EXPECT_EQ(value, "E");
}

TEST(ChannelRefresh, AnUnchangedOrClosedFileKeepsItsBuffer) {
    TempDir dir;
    const auto path = dir.write("same.log", "a, b\r\n");
    Channel channel;
    channel.refresh();  // closed: nothing to do
    EXPECT_TRUE(channel.eof());
    ASSERT_FALSE(channel.open(path).has_value());
    std::string value;
    channel.readField(value);
    channel.refresh();
    channel.readField(value);
    EXPECT_EQ(value, "b");
    EXPECT_TRUE(channel.eof());
}

// The browser's steps take in a truncation themselves, whichever window drives them.
TEST(SteppingOnAChangedFile, ReadsAndStepsBackAfterATruncationMeetTheEnd) {
    using namespace trailscan::browser;
    TempDir dir;
    std::string bytes;
    for (int n = 1; n <= 4; ++n) bytes += testing_support::lineOfLength(n, 100);
    const auto path = dir.write("steps.log", bytes);
    Channel channel;
    ASSERT_FALSE(channel.open(path).has_value());
    trailscan::log::FieldSlots slots{};
    SavedLengths lengths;
    std::int64_t counter = 0;
    readNext(channel, slots, lengths, counter);
    readNext(channel, slots, lengths, counter);
    readNext(channel, slots, lengths, counter);
    EXPECT_EQ(slots[0], "r3");

    fs::resize_file(path, 150);
    const StepBack step = moveBack(channel, counter, lengths);  // 301 - 200 - 50 = 51
    EXPECT_EQ(step.kind, StepBack::Kind::FromPosition);
    EXPECT_EQ(step.seekPosition, 51);
    const auto record = readNext(channel, slots, lengths, counter);
    // Record 2 is cut at byte 150: its first 17 fields, then the end.
    EXPECT_TRUE(record.reachedEnd);
    EXPECT_EQ(record.fieldsRead, 17);
    EXPECT_EQ(counter, 2);
    EXPECT_EQ(slots[0], "r2");
    EXPECT_GE(lengths.first(), 0);
    EXPECT_GE(lengths.second(), 0);
}

}  // namespace
}  // namespace hardening
