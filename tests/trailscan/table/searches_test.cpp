#include "trailscan/table/searches.h"

#include <gtest/gtest.h>

#include <string>

#include "common/code_pages.h"
#include "tests/support/test_files.h"

namespace {

using namespace trailscan::table;
using namespace std::string_literals;
using testing_support::logLine;
using testing_support::TempDir;
using trailscan::log::Channel;

std::vector<std::string> record(const std::string& ip, const std::string& user,
                                const std::string& site, const std::string& extra = "x") {
    std::vector<std::string> fields(23, extra);
    fields[0] = ip;
    fields[1] = user;
    fields[5] = "2/14/01";
    fields[6] = "10:00:00";
    fields[7] = site;
    return fields;
}

std::string entry(int index, const std::vector<std::string>& fields) {
    std::string text = std::to_string(index) + "- ";
    for (const auto& f : fields) text += f + " | ";
    return text;
}

class SearchesTest : public testing::Test {
  protected:
    void load(const std::vector<std::vector<std::string>>& records) {
        std::string text;
        for (const auto& r : records) text += logLine(r);
        Channel channel;
        ASSERT_FALSE(channel.open(dir.write("log.log", text)).has_value());
        table.load(channel, 0);
    }
    TempDir dir;
    RecordTable table;
};

TEST_F(SearchesTest, ColumnSearchReportsSlot7OfMatchesUpToTheEndOfData) {
    const auto a = record("10.0.0.1", "ALIREZA", "www.a.com");
    const auto b = record("10.0.0.2", "alireza", "www.b.com");
    const auto c = record("10.0.0.3", "XALIREZAX", "www.c.com");
    const auto stop = record("", "ALIREZA", "www.hidden.com");  // empty slot 0 ends the data
    const auto after = record("10.0.0.5", "ALIREZA", "www.after.com");
    load({a, b, c, stop, after});
    EXPECT_EQ(table.endOfData(), 3);
    EXPECT_EQ(columnSearch(table, 1, "ALIREZA"), "www.a.com\r\nwww.c.com\r\n");
    EXPECT_EQ(columnSearch(table, 1, "alireza"), "www.b.com\r\n");  // case matters
    EXPECT_EQ(columnSearch(table, 7, "b.com"), "www.b.com\r\n");
    EXPECT_EQ(columnSearch(table, 0, "10.0.0"), "www.a.com\r\nwww.b.com\r\nwww.c.com\r\n");
    EXPECT_EQ(columnSearch(table, 1, "nobody"), "");
    // An empty text matches every non-empty field and no empty one.
    EXPECT_EQ(columnSearch(table, 1, ""), "www.a.com\r\nwww.b.com\r\nwww.c.com\r\n");
    EXPECT_EQ(columnSearch(table, 23, ""), "");
    EXPECT_EQ(columnSearch(table, 99, "x"), "");
    EXPECT_EQ(runSearch(table, Selector::forColumn(5), "2/14"), columnSearch(table, 5, "2/14"));
}

TEST_F(SearchesTest, AllFieldsListsARecordOncePerMatchingField) {
    auto three = record("10.0.0.1", "abcUSER", "abc.com");
    three[20] = "xabc";
    const auto none = record("10.0.0.2", "reza", "www.b.com");
    load({none, three});
    const std::string expected = entry(1, three) + entry(1, three) + entry(1, three);
    EXPECT_EQ(allFieldsSearch(table, "abc"), expected);
    EXPECT_EQ(runSearch(table, Selector::allFields(), "abc"), expected);
    EXPECT_EQ(allFieldsSearch(table, "ABC"), "");
    EXPECT_EQ(allFieldsSearch(table, "no such text"), "");
    EXPECT_EQ(allFieldsSearch(table, "reza"), entry(0, none));
}

TEST_F(SearchesTest, RecordNumberListsTheFieldsOnePerLine) {
    const auto first = record("10.0.0.1", "ALIREZA", "www.a.com");
    load({first, record("10.0.0.2", "b", "www.b.com")});
    std::string expected = "0= \r\n\r\n";
    for (const auto& f : first) expected += f + "\r\n";
    EXPECT_EQ(recordNumberSearch(table, "0"), expected);
    EXPECT_EQ(runSearch(table, Selector::recordNumber(), "0"), expected);
    // Past the loaded records: the heading and 23 empty lines.
    std::string empty = "5000= \r\n\r\n";
    for (int i = 0; i < 23; ++i) empty += "\r\n";
    EXPECT_EQ(recordNumberSearch(table, "5000"), empty);
    EXPECT_EQ(
        recordNumberSearch(table, " 001 "), " 001 = \r\n\r\n" + [&] {
            std::string s;
            for (const auto& f : record("10.0.0.2", "b", "www.b.com")) s += f + "\r\n";
            return s;
        }());
}

TEST_F(SearchesTest, ASelectorNumberIsASlotOr10ForAllFieldsOr11ForARecordNumber) {
    EXPECT_EQ(Selector::fromNumber(10), Selector::allFields());
    EXPECT_EQ(Selector::fromNumber(11), Selector::recordNumber());
    EXPECT_EQ(Selector::fromNumber(7), Selector::forColumn(7));
    for (int number : {0, 1, 5, 6, 7, 10, 11, 22}) {
        EXPECT_EQ(Selector::fromNumber(number).number(), number);
    }
    load({record("10.0.0.1", "ALIREZA", "www.a.com")});
    EXPECT_EQ(runSearch(table, Selector::fromNumber(10), "ALIREZA"),
              allFieldsSearch(table, "ALIREZA"));
    EXPECT_EQ(runSearch(table, Selector::fromNumber(11), "0"), recordNumberSearch(table, "0"));
    EXPECT_EQ(runSearch(table, Selector::fromNumber(1), "ALIREZA"), "www.a.com\r\n");
}

TEST_F(SearchesTest, RecordNumberOnTypedTextDecodesTheReport) {
    load({record("10.0.0.1", "caf\xe9", "www.a.com")});
    EXPECT_EQ(recordNumberSearch(table, u"0"),
              common::decodeWindows1252(recordNumberSearch(table, "0")));
    EXPECT_EQ(recordNumberSearch(table, u"\u06A9"),
              u"\u06A9= \r\n\r\nA record number is a whole number from 0 to 5000.\r\n");
}

TEST(RecordNumber, ANumberOutsideTheTableNamesNoRecord) {
    EXPECT_EQ(parseRecordNumber("0"), 0);
    EXPECT_EQ(parseRecordNumber("5000"), 5000);
    EXPECT_EQ(parseRecordNumber(" 7 "), 7);
    EXPECT_EQ(parseRecordNumber("00000000000000000000042"), 42);
    for (const char* bad :
         {"", "   ", "-1", "+1", "5001", "99999999999999999999", "1e3", "7a", "1 2", "\t3"}) {
        EXPECT_FALSE(parseRecordNumber(bad).has_value()) << bad;
    }
    RecordTable table;
    EXPECT_EQ(recordNumberSearch(table, "-1"),
              "-1= \r\n\r\nA record number is a whole number from 0 to 5000.\r\n");
    EXPECT_EQ(recordNumberSearch(table, ""),
              "= \r\n\r\nA record number is a whole number from 0 to 5000.\r\n");
}

TEST_F(SearchesTest, DefaultQueryTakesTheFirstUserNameLongerThanFiveCharacters) {
    load({record("10.0.0.1", "reza", "a"), record("", "-", "b"), record("10.0.0.3", "MARYAM", "c"),
          record("10.0.0.4", "ALIREZA", "d")});
    // No end-of-data test here: the record after the empty slot 0 still counts.
    EXPECT_EQ(defaultQueryText(table), "MARYAM");
    load({record("10.0.0.1", "reza", "a"), record("10.0.0.2", "sixsix", "b")});
    EXPECT_EQ(defaultQueryText(table), "sixsix");
    load({record("10.0.0.1", "reza", "a"), record("10.0.0.2", "five5", "b")});
    EXPECT_FALSE(defaultQueryText(table).has_value());
}

TEST_F(SearchesTest, AReportAtItsCapacityEndsWithALineThatCountsTheRest) {
    std::vector<std::vector<std::string>> records;
    for (int i = 0; i < 40; ++i) {
        records.push_back(
            record("10.0.0." + std::to_string(i), "OMID", "www.s" + std::to_string(i) + ".com"));
    }
    load(records);
    const std::string whole = columnSearch(table, 1, "OMID");
    ASSERT_EQ(whole.size(), 10 * 12 + 30 * 13);  // "www.sN.com\r\n", 12 or 13 bytes

    // 100 bytes hold the first 8 sites whole; the other 32 are counted, not listed.
    std::string report;
    columnSearch(table, 1, "OMID", report, 100);
    EXPECT_EQ(
        report,
        whole.substr(0, 8 * 12) +
            "The report stops here: it passed 100 bytes. 32 more matches are not listed.\r\n");

    // All fields: every record matches in slot 1 only; whole entries stop at the capacity,
    // the cut falls between entries, and the stop line starts a line of its own.
    const std::string all = allFieldsSearch(table, "OMID");
    const std::size_t first = all.find("1- ");
    ASSERT_NE(first, std::string::npos);
    report.clear();
    allFieldsSearch(table, "OMID", report, first + 1);
    EXPECT_EQ(report, all.substr(0, first) + "\r\n" + "The report stops here: it passed " +
                          std::to_string(first + 1) +
                          " bytes. 39 more matches are not listed.\r\n");
    // One left over is a single match.
    report.clear();
    allFieldsSearch(table, "10.0.0.39", report, 0);
    EXPECT_EQ(report, "The report stops here: it passed 0 bytes. 1 more match is not listed.\r\n");
    EXPECT_EQ(reportStopsLine(std::size_t{256} << 20, 91332),
              "The report stops here: it passed 256 MiB. 91,332 more matches are not listed.");
    // Under the capacity, the report is what it always was.
    runSearch(table, Selector::forColumn(1), "OMID", report, whole.size());
    EXPECT_EQ(report, whole);
}

}  // namespace
