#include "trailscan/table/record_table.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/test_files.h"
#include "trailscan/log/line_count.h"

namespace {

using testing_support::logLine;
using testing_support::sampleFields;
using testing_support::TempDir;
using trailscan::log::Channel;
using trailscan::table::kRecordCapacity;
using trailscan::table::RecordTable;

std::string lines(int count, int from = 0) {
    std::string text;
    for (int n = from; n < from + count; ++n) text += logLine(sampleFields(n));
    return text;
}

TEST(RecordTable, LoadsAtMost5001RecordsWhileTheLineTotalCountsEveryLine) {
    TempDir dir;
    for (int count : {5001, 5002}) {
        const auto path = dir.write("full" + std::to_string(count) + ".log", lines(count));
        Channel channel;
        ASSERT_FALSE(channel.open(path).has_value());
        EXPECT_EQ(trailscan::log::lineTotal(channel), count + 1);
        channel.close();
        ASSERT_FALSE(channel.open(path).has_value());
        RecordTable table;
        EXPECT_EQ(table.load(channel, 0).records, kRecordCapacity);
        EXPECT_EQ(table.endOfData(), kRecordCapacity);
        EXPECT_EQ(table.field(0, 13), "100");
        EXPECT_EQ(table.field(5000, 13), "5100");
        for (int r = 0; r < kRecordCapacity; ++r) {
            ASSERT_TRUE(table.field(r, 23).empty()) << r;
        }
        // The channel stays open after the last field read: the 5002nd line is next.
        EXPECT_EQ(channel.eof(), count == 5001);
    }
}

TEST(RecordTable, CutShortAndShiftedRecords) {
    TempDir dir;
    auto shortLast = sampleFields(2);
    shortLast.resize(5);
    auto line22 = sampleFields(1);
    line22.pop_back();
    const auto path = dir.write("odd.log", logLine(sampleFields(0)) + logLine(line22) +
                                               logLine(sampleFields(2)) + logLine(shortLast));
    Channel channel;
    ASSERT_FALSE(channel.open(path).has_value());
    RecordTable table;
    EXPECT_EQ(table.load(channel, 0).records, 4);
    EXPECT_EQ(table.field(1, 21), sampleFields(1)[21]);
    EXPECT_EQ(table.field(1, 22), sampleFields(2)[0]);  // taken from the next line
    EXPECT_EQ(table.field(2, 0), sampleFields(2)[1]);   // every later record starts later
    EXPECT_EQ(table.field(2, 22), shortLast[0]);
    // The last record holds the rest of the short last line; its later slots stay empty.
    EXPECT_EQ(table.field(3, 0), shortLast[1]);
    EXPECT_EQ(table.field(3, 3), shortLast[4]);
    EXPECT_TRUE(table.field(3, 4).empty());
    EXPECT_EQ(table.endOfData(), 4);
}

TEST(RecordTable, ASecondShorterFileLeavesNothingOfTheFirst) {
    TempDir dir;
    const auto longer = dir.write("long.log", lines(30));
    const auto shorter = dir.write("short.log", lines(3, 100));
    Channel channel;
    RecordTable table;
    ASSERT_FALSE(channel.open(longer).has_value());
    table.load(channel, 0);
    EXPECT_EQ(table.endOfData(), 30);
    ASSERT_FALSE(channel.open(shorter).has_value());
    table.load(channel, 0);
    EXPECT_EQ(table.endOfData(), 3);
    EXPECT_EQ(table.field(0, 13), "200");
    EXPECT_TRUE(table.field(10, 7).empty());
}

TEST(RecordTable, EmptyFileAndOnlyLineBreaks) {
    TempDir dir;
    Channel channel;
    RecordTable table;
    ASSERT_FALSE(channel.open(dir.write("empty.log", "")).has_value());
    EXPECT_EQ(table.load(channel, 0).records, 0);
    EXPECT_EQ(table.endOfData(), 0);
    ASSERT_FALSE(channel.open(dir.write("breaks.log", "\r\n\r\n\r\n")).has_value());
    EXPECT_EQ(table.load(channel, 0).records, 1);  // three empty fields make one record
    EXPECT_EQ(table.endOfData(), 0);               // whose empty slot 0 ends the data
}

TEST(RecordTable, ALoadStopsAtItsBudgetBeforeARecordThatDoesNotFitAndSaysSo) {
    TempDir dir;
    std::string text;
    for (int i = 0; i < 10; ++i) {
        std::vector<std::string> fields(23, std::string(100, static_cast<char>('a' + i)));
        text += logLine(fields);
    }
    Channel channel;
    RecordTable table;
    ASSERT_FALSE(channel.open(dir.write("wide.log", text)).has_value());
    // 2300 field bytes a record: 3.5 records fit, so 3 are kept whole.
    const auto outcome =
        table.load(channel, static_cast<std::int64_t>(text.size()), 2300 * 3 + 1150);
    EXPECT_EQ(outcome.records, 3);
    EXPECT_TRUE(outcome.budgetReached);
    EXPECT_FALSE(outcome.fieldsCut);
    EXPECT_EQ(table.endOfData(), 3);
    EXPECT_EQ(table.field(2, 22), std::string(100, 'c'));
    EXPECT_TRUE(table.field(3, 0).empty());  // no part of the fourth record

    // A field longer than a box holds is kept cut, and the load says that too.
    ASSERT_FALSE(
        channel.open(dir.write("long.log", logLine({std::string(70'000, 'x'), "u"}))).has_value());
    const auto cut = table.load(channel, 0);
    EXPECT_EQ(cut.records, 1);
    EXPECT_FALSE(cut.budgetReached);
    EXPECT_TRUE(cut.fieldsCut);
    EXPECT_EQ(table.field(0, 0).size(), trailscan::log::kMaxFieldLength);
    EXPECT_EQ(table.field(0, 1), "u");
}

}  // namespace
