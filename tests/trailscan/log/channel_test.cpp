#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <fstream>
#include <string>

#include "tests/support/test_files.h"
#include "trailscan/log/channel.h"
#include "trailscan/log/line_count.h"
#include "trailscan/log/record.h"

namespace {

using testing_support::logLine;
using testing_support::TempDir;
using trailscan::log::Channel;
using trailscan::log::FieldSlots;
using trailscan::log::kMaxFieldLength;
using trailscan::log::lineTotal;
using trailscan::log::readRecord;

std::vector<std::string> oneCharFields() {
    std::vector<std::string> fields;
    for (int i = 0; i < 23; ++i) fields.push_back(std::string(1, static_cast<char>('a' + i % 26)));
    return fields;
}

TEST(FieldReader, ReadsRecordsOfTheLineFormatAndTheirLengths) {
    TempDir dir;
    auto fields = oneCharFields();
    fields[4] = "-";
    const std::string line = logLine(fields);
    ASSERT_EQ(line.size(), 69u);
    const auto path = dir.write("log.log", line + logLine(testing_support::sampleFields(1)));

    Channel channel;
    ASSERT_FALSE(channel.open(path).has_value());
    FieldSlots slots;
    auto first = readRecord(channel, slots);
    EXPECT_EQ(first.fieldsRead, 23);
    EXPECT_EQ(first.length, 69);
    EXPECT_FALSE(first.reachedEnd);
    EXPECT_EQ(slots[0], "a");
    EXPECT_EQ(slots[4], "-");  // the placeholder reads as exactly "-"
    EXPECT_EQ(slots[22], "w");
    EXPECT_EQ(channel.position(), 70);  // the next read starts on the following line

    auto second = readRecord(channel, slots);
    EXPECT_EQ(second.length,
              static_cast<std::int64_t>(logLine(testing_support::sampleFields(1)).size()));
    EXPECT_EQ(slots[1], "anonymous");
    EXPECT_TRUE(slots[23].empty());

    // At the end before the first field: nothing read, slots kept.
    auto third = readRecord(channel, slots);
    EXPECT_TRUE(third.reachedEnd);
    EXPECT_EQ(third.fieldsRead, 0);
    EXPECT_EQ(third.length, 0);
    EXPECT_EQ(slots[1], "anonymous");
    EXPECT_TRUE(slots[23].empty());
}

TEST(FieldReader, ShortAndLongLinesAndCommasShiftLaterRecords) {
    TempDir dir;
    auto fields22 = oneCharFields();
    fields22.pop_back();  // 22 fields
    auto fields24 = oneCharFields();
    fields24.push_back("extra");
    auto comma = oneCharFields();
    comma[3] = "x,y";  // a comma inside a value splits it
    const auto path = dir.write("shift.log", logLine(fields22) + logLine(oneCharFields()) +
                                                 logLine(fields24) + logLine(comma));
    Channel channel;
    ASSERT_FALSE(channel.open(path).has_value());
    FieldSlots slots;
    readRecord(channel, slots);
    EXPECT_EQ(slots[21], "v");
    EXPECT_EQ(slots[22], "a");  // taken from the start of the next line
    readRecord(channel, slots);
    EXPECT_EQ(slots[0], "b");  // every later record starts one field later in its line
    EXPECT_EQ(slots[21], "w");
    EXPECT_EQ(slots[22], "a");
    readRecord(channel, slots);
    EXPECT_EQ(slots[0], "b");
    EXPECT_EQ(slots[22], "extra");
    // The 24-field line has made up the field the 22-field line lacked.
    readRecord(channel, slots);
    EXPECT_EQ(slots[0], "a");
    EXPECT_EQ(slots[3], "x");
    EXPECT_EQ(slots[4], "y");
    EXPECT_EQ(slots[22], "v");
    readRecord(channel, slots);
    EXPECT_EQ(slots[0], "w");
}

TEST(FieldReader, KeepsQuotesAndTrailingBlanksAndReadsBareLineFeeds) {
    TempDir dir;
    auto fields = oneCharFields();
    fields[2] = "\"quoted";
    fields[5] = "tail  ";
    std::string crlf = logLine(fields);
    std::string lf = crlf.substr(0, crlf.size() - 2) + "\n";
    const auto path = dir.write("mixed.log", lf + crlf);
    Channel channel;
    ASSERT_FALSE(channel.open(path).has_value());
    FieldSlots slots;
    const auto first = readRecord(channel, slots);
    EXPECT_EQ(slots[2], "\"quoted");
    EXPECT_EQ(slots[5], "tail  ");
    EXPECT_EQ(slots[22], "w");
    EXPECT_EQ(first.length, static_cast<std::int64_t>(crlf.size()));
    const auto second = readRecord(channel, slots);
    EXPECT_EQ(slots[0], "a");
    EXPECT_EQ(slots[22], "w");
    EXPECT_EQ(second.length, static_cast<std::int64_t>(crlf.size()));
    EXPECT_TRUE(channel.eof());
}

TEST(FieldReader, KeepsALoneCarriageReturnInTheValue) {
    TempDir dir;
    const auto path = dir.write("cr.log", "a\rb, c\r\n");
    Channel channel;
    ASSERT_FALSE(channel.open(path).has_value());
    std::string value;
    EXPECT_EQ(channel.readField(value), 3u);
    EXPECT_EQ(value, "a\rb");
    EXPECT_EQ(channel.readField(value), 1u);
    EXPECT_EQ(value, "c");
    EXPECT_TRUE(channel.eof());
}

TEST(FieldReader, StoresABoundedPrefixOfAHugeFieldButCountsItAll) {
    TempDir dir;
    const std::string huge(3 * kMaxFieldLength + 17, 'z');
    const auto path = dir.write("huge.log", huge + ", next\r\n");
    Channel channel;
    ASSERT_FALSE(channel.open(path).has_value());
    std::string value;
    EXPECT_EQ(channel.readField(value), huge.size());
    EXPECT_EQ(value.size(), kMaxFieldLength);
    EXPECT_EQ(channel.readField(value), 4u);
    EXPECT_EQ(value, "next");
}

TEST(LineReader, ALineFeedEndingACarriageReturnBelongsToThatLine) {
    TempDir dir;
    // Lines start at 1, 7 and 13; byte 6 is the LF of line 1.
    const auto path = dir.write("lines.log", "aaaa\r\nbbbb\r\ncccc\r\n");
    Channel channel;
    ASSERT_FALSE(channel.open(path).has_value());
    channel.seek(3);  // inside line 1
    channel.readLine();
    EXPECT_EQ(channel.position(), 7);
    channel.seek(5);  // on the CR of line 1
    channel.readLine();
    EXPECT_EQ(channel.position(), 7);
    channel.seek(6);  // on the LF of line 1: runs on to the end of line 2
    channel.readLine();
    EXPECT_EQ(channel.position(), 13);
    std::string value;
    channel.readField(value);
    EXPECT_EQ(value, "cccc");
    channel.readLine();  // at the end: nothing happens
    EXPECT_TRUE(channel.eof());
    channel.seek(1000);
    EXPECT_TRUE(channel.eof());
    channel.seek(-5);
    EXPECT_EQ(channel.position(), 1);
}

TEST(LineReader, SeeksAcrossBufferBoundariesInABigFile) {
    TempDir dir;
    std::string text;
    std::vector<std::int64_t> starts;
    for (int n = 0; n < 4000; ++n) {
        starts.push_back(static_cast<std::int64_t>(text.size()) + 1);
        text += testing_support::lineOfLength(n, 200 + n % 50);
    }
    const auto path = dir.write("big.log", text);
    Channel channel;
    ASSERT_FALSE(channel.open(path).has_value());
    FieldSlots slots;
    for (int n : {3999, 10, 2000, 1311, 0, 3998}) {
        // One byte before line n's start is the LF of line n - 1: the line read from the
        // byte before that (the CR) lands on line n.
        channel.seek(n == 0 ? 1 : starts[static_cast<std::size_t>(n)] - 2);
        if (n != 0) channel.readLine();
        EXPECT_EQ(channel.position(), starts[static_cast<std::size_t>(n)]);
        readRecord(channel, slots);
        EXPECT_EQ(slots[0], "r" + std::to_string(n));
    }
}

TEST(LineCount, CountsLinesPlusOne) {
    TempDir dir;
    const std::string line = logLine(oneCharFields());
    struct Case {
        std::string name;
        std::string bytes;
        std::int64_t total;
    };
    const Case cases[] = {
        {"three.log", line + line + line, 4},
        {"open-end.log", line + line + line.substr(0, line.size() - 2), 4},
        {"bare-lf.log", "a\nb\nc\n", 4},
        {"empty.log", "", 1},
        {"crlf-only.log", "\r\n", 2},
        {"no-break.log", std::string(100000, 'q'), 2},
    };
    for (const auto& c : cases) {
        Channel channel;
        ASSERT_FALSE(channel.open(dir.write(c.name, c.bytes)).has_value()) << c.name;
        EXPECT_EQ(lineTotal(channel), c.total) << c.name;
        EXPECT_TRUE(channel.eof()) << c.name;
    }
}

TEST(ChannelOpen, RefusesWhatIsNotAReadableRegularFile) {
    TempDir dir;
    Channel channel;
    auto missing = channel.open(dir.path() / "nothing.log");
    ASSERT_TRUE(missing.has_value());
    EXPECT_NE(missing->find("does not exist"), std::string::npos);
    EXPECT_FALSE(channel.isOpen());
    EXPECT_TRUE(channel.eof());

    EXPECT_TRUE(channel.open(dir.path()).has_value());
#ifndef _WIN32
    const auto fifo = dir.path() / "pipe.log";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const auto fifoError = channel.open(fifo);  // must not block
    ASSERT_TRUE(fifoError.has_value());
    EXPECT_NE(fifoError->find("not a regular file"), std::string::npos);
    EXPECT_TRUE(channel.open("/dev/zero").has_value());
    EXPECT_FALSE(channel.isOpen());

    if (geteuid() != 0) {  // root reads anything
        const auto locked = dir.write("locked.log", "a\r\n");
        chmod(locked.c_str(), 0);
        EXPECT_TRUE(channel.open(locked).has_value());
    }
#endif
}

TEST(ChannelOpen, SeesBytesAppendedAfterTheEndWasReached) {
    TempDir dir;
    const auto path = dir.write("growing.log", "a, b\r\n");
    Channel channel;
    ASSERT_FALSE(channel.open(path).has_value());
    std::string value;
    channel.readField(value);
    channel.readField(value);
    EXPECT_TRUE(channel.eof());
    {
        std::ofstream out(path, std::ios::binary | std::ios::app);
        out << "c, d\r\n";
    }
    EXPECT_FALSE(channel.eof());
    channel.readField(value);
    EXPECT_EQ(value, "c");
    EXPECT_EQ(channel.position(), 9);  // after "c," of the appended line
}

}  // namespace
