#include "trailscan/scan/whole_log.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <limits>
#include <random>
#include <string>
#include <utility>

#include "tests/support/test_files.h"
#include "trailscan/log/channel.h"
#include "trailscan/log/field_bytes.h"
#include "trailscan/log/line_count.h"
#include "trailscan/log/record.h"

namespace {

using namespace trailscan::scan;
using namespace trailscan::table;
using testing_support::TempDir;
using trailscan::log::Channel;
using trailscan::log::FieldIndex;

// A log of `records` lines in the shapes real and damaged logs take: 23 fields mostly, some
// of 22 or 24, blank lines, blanks in front of fields, lone CRs, bare LFs, two fields longer
// than the channel keeps (one of them a site), and no line break at the end.
std::string quirkyLog(int records, unsigned seed) {
    std::mt19937 random(seed);
    const auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    const char* users[] = {"anna", "BOB", "carlos.m", "dina", "-", "eve\r", "frank  x"};
    const char* sites[] = {"http://a.example/x", "b.example", "-", "c.example/rare",
                           "http://d.example/zz"};
    std::string log;
    for (int n = 0; n < records; ++n) {
        const int shape = pick(100);
        if (shape == 0) {
            log += "\r\n";
            continue;
        }
        const int fields = shape == 1 ? 22 : shape == 2 ? 24 : 23;
        for (int f = 0; f < fields; ++f) {
            if (f > 0) log += pick(50) == 0 ? "," : ", ";
            switch (f) {
                case 0:
                    log += "10.0." + std::to_string(n % 256) + "." + std::to_string(pick(9));
                    break;
                case 1:
                    log += users[pick(7)];
                    break;
                case 5:
                    log += "2/14/01";
                    break;
                case 6:
                    log += "10:" + std::to_string(10 + pick(50)) + ":00";
                    break;
                case 7:
                    log += sites[pick(5)];
                    if (n == records / 3) log += std::string(66 * 1024, 'S') + "/rare";
                    break;
                default:
                    log += pick(3) == 0 ? "-" : std::to_string(pick(100000));
                    break;
            }
        }
        if (n == records / 2) log += ", " + std::string(70 * 1024, 'L') + "rare";
        log += pick(40) == 0 ? "\n" : "\r\n";
    }
    if (!log.empty() && pick(2) == 0) log.resize(log.size() - 2);
    return log;
}

using ModelRecord = std::array<std::string, 23>;

// The simplest reading of the whole file: the channel's field reader, one record after
// another, up to `limit` records. The channel keeps the first 64 KiB of a field and tells its
// full length; the rest of a longer field is the file's bytes after them.
std::vector<ModelRecord> modelRecords(
    const std::filesystem::path& file,
    std::int64_t limit = std::numeric_limits<std::int64_t>::max()) {
    std::ifstream in(file, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Channel channel;
    EXPECT_FALSE(channel.open(file));
    std::vector<ModelRecord> records;
    while (!channel.eof() && static_cast<std::int64_t>(records.size()) < limit) {
        ModelRecord& record = records.emplace_back();
        for (std::string& field : record) {
            if (channel.eof()) break;
            const auto at = static_cast<std::size_t>(channel.position() - 1);
            const std::size_t length = channel.readField(field);
            if (length > field.size())
                field = bytes.substr(bytes.find_first_not_of(' ', at), length);
        }
    }
    return records;
}

// The report of the searches' matching rule over those records: each entry as a search lists
// it, whole entries up to `capacity` bytes, then the line that says how many were left.
std::string modelReport(const std::vector<ModelRecord>& records, Selector selector,
                        const std::string& text, std::size_t capacity = kReportCapacity) {
    std::vector<std::string> entries;
    for (std::size_t r = 0; r < records.size(); ++r) {
        for (int c = 0; c < 23; ++c) {
            if (selector.kind == SelectorKind::Column && c != selector.column) continue;
            if (!matches(records[r][static_cast<std::size_t>(c)], text)) continue;
            std::string& entry = entries.emplace_back();
            if (selector.kind == SelectorKind::Column) {
                entry = records[r][7] + "\r\n";
                continue;
            }
            entry = std::to_string(r) + "- ";
            for (const std::string& field : records[r]) entry += field + " | ";
        }
    }
    std::string report;
    std::size_t listed = 0;
    while (listed < entries.size() && report.size() + entries[listed].size() <= capacity) {
        report += entries[listed++];
    }
    if (listed < entries.size()) {
        if (!report.empty() && !report.ends_with("\r\n")) report += "\r\n";
        report += reportStopsLine(capacity, entries.size() - listed) + "\r\n";
    }
    return report;
}

std::string modelReport(const std::filesystem::path& file, Selector selector,
                        const std::string& text) {
    return modelReport(modelRecords(file), selector, text);
}

struct ScanRun {
    std::string report;
    ScanOutcome outcome;
};

// `held`: the records held in memory; longer ones are read from the file field by field.
ScanRun scan(const std::filesystem::path& file, const FieldIndex* index, const WholeLogQuery& query,
             std::int64_t blockBytes, int threads = 2,
             std::int64_t held = ScanTuning().heldRecordBytes) {
    ScanRun run;
    ScanControl control;
    run.outcome = searchWholeLog(file, index, query, control,
                                 [&](std::string_view piece) { run.report += piece; },
                                 {blockBytes, threads, held});
    return run;
}

FieldIndex indexOf(const std::filesystem::path& file, std::size_t blockBytes) {
    Channel channel;
    EXPECT_FALSE(channel.open(file));
    trailscan::log::CountProgress progress;
    FieldIndex index;
    trailscan::log::CountTuning tuning;
    tuning.blockBytes = blockBytes;
    tuning.twoThreadsFrom = 0;
    EXPECT_TRUE(trailscan::log::lineTotal(channel, progress, tuning, &index));
    return index;
}

// Every kind of search over generated logs: the whole-log report equals the model over the
// whole file and, cut to the records the table holds, the report of "Go !"; with and without
// the count's index, with small blocks so records straddle them, and at a small capacity.
TEST(WholeLogSearch, AgreesWithTheTableAndTheFieldReader) {
    TempDir dir;
    for (const auto& [records, seed] : {std::pair{20000, 1U}, {3000, 2U}, {40, 3U}, {0, 4U}}) {
        const auto file = dir.write("log" + std::to_string(seed), quirkyLog(records, seed));
        Channel channel;
        ASSERT_FALSE(channel.open(file));
        RecordTable table;
        const bool fieldsCut =
            table.load(channel, static_cast<std::int64_t>(std::filesystem::file_size(file)))
                .fieldsCut;
        const FieldIndex index = indexOf(file, 8192);
        const FieldIndex marksWithinBlocks = indexOf(file, std::size_t{2} << 20);
        const std::vector<ModelRecord> whole = modelRecords(file);
        const std::vector<ModelRecord> tableRecords = modelRecords(file, table.endOfData());
        for (const Selector selector : {Selector::forColumn(1), Selector::forColumn(7),
                                        Selector::forColumn(0), Selector::allFields()}) {
            for (const std::string text : {"carlos", "rare", "eve\r", ".", "", "x, y", "BOB"}) {
                SCOPED_TRACE(std::to_string(seed) + " " + std::to_string(selector.number()) + " '" +
                             text + "'");
                const std::string model = modelReport(whole, selector, text);
                EXPECT_EQ(scan(file, &index, {selector, text}, 1 << 20).report, model);
                EXPECT_EQ(scan(file, &marksWithinBlocks, {selector, text}, 1 << 20).report, model);
                EXPECT_EQ(scan(file, nullptr, {selector, text}, 5000).report, model);
                EXPECT_EQ(scan(file, nullptr, {selector, text}, 1 << 22, 1).report, model);
                // Each block's last record read from the file field by field.
                EXPECT_EQ(scan(file, nullptr, {selector, text}, 5000, 2, 0).report, model);
                for (const std::size_t capacity : {kReportCapacity, std::size_t{3000}}) {
                    const std::string cut = modelReport(tableRecords, selector, text, capacity);
                    WholeLogQuery query{selector, text, table.endOfData(), capacity};
                    EXPECT_EQ(scan(file, &index, query, 1 << 20).report, cut);
                    EXPECT_EQ(scan(file, nullptr, query, 3000, 3, 100).report, cut);
                    // The table keeps 64 KiB of a field, so "Go !" gives the same report when
                    // no field is longer.
                    if (!fieldsCut) {
                        std::string goReport;
                        runSearch(table, selector, text, goReport, capacity);
                        EXPECT_EQ(goReport, cut);
                    }
                }
            }
        }
        // The block reader's fields are the channel's, one for one.
        {
            const std::string bytes = quirkyLog(records, seed);
            Channel reader;
            ASSERT_FALSE(reader.open(file));
            std::size_t at = 0;
            for (std::string field; !reader.eof();) {
                reader.readField(field);
                ASSERT_LT(at, bytes.size());
                const auto span = trailscan::log::fieldAt(bytes, at);
                ASSERT_EQ(span.keptValue(bytes), field) << "at byte " << at;
                at = span.next;
            }
            EXPECT_EQ(at, bytes.size());
        }
        // Record numbers: any record the file has, and one line with the count past it; a
        // record longer than the report's capacity is counted, not listed.
        const auto count = static_cast<std::int64_t>(whole.size());
        for (std::int64_t r : {std::int64_t{0}, std::int64_t{1}, count / 3, count / 2,
                               count / 2 + 1, count - 1, count, count + 7}) {
            if (r < 0) continue;
            const std::string text = " " + std::to_string(r);
            const ScanRun withIndex = scan(file, &index, {Selector::recordNumber(), text}, 4096);
            const ScanRun without = scan(file, nullptr, {Selector::recordNumber(), text}, 4096);
            EXPECT_EQ(withIndex.report, without.report);
            EXPECT_EQ(scan(file, &index, {Selector::recordNumber(), text}, 4096, 2, 0).report,
                      withIndex.report);
            if (r < count) {
                std::string lines = text + "= \r\n\r\n";
                for (const std::string& field : whole[static_cast<std::size_t>(r)]) {
                    lines += field + "\r\n";
                }
                EXPECT_EQ(withIndex.report, lines);
                const std::size_t capacity = 1000;
                EXPECT_EQ(scan(file, &index,
                               {Selector::recordNumber(), text,
                                std::numeric_limits<std::int64_t>::max(), capacity},
                               4096)
                              .report,
                          lines.size() <= capacity
                              ? lines
                              : text + "= \r\n\r\n" + reportStopsLine(capacity, 1) + "\r\n");
            }
            if (r < count && r <= 5000 && !fieldsCut) {
                EXPECT_EQ(withIndex.report, recordNumberSearch(table, text));
            }
            if (r >= count) {
                std::string digits = std::to_string(count);
                for (auto at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3) {
                    digits.insert(static_cast<std::size_t>(at), ",");
                }
                EXPECT_EQ(withIndex.report, text + "= \r\n\r\nThe log has " + digits +
                                                (count == 1 ? " record.\r\n" : " records.\r\n"));
                EXPECT_EQ(withIndex.outcome.matches, 0U);
            } else {
                EXPECT_EQ(withIndex.outcome.matches, 1U);
            }
        }
        EXPECT_EQ(scan(file, &index, {Selector::recordNumber(), "12a"}, 4096).report,
                  "12a= \r\n\r\n" + std::string(kBadWholeLogRecordNumber) + "\r\n");
    }
}

// Cancel keeps the records reported so far and ends with the line that says where it stopped.
TEST(WholeLogSearch, CancelKeepsWhatWasFound) {
    TempDir dir;
    const auto file = dir.write("log", quirkyLog(20000, 9));
    const std::string full = modelReport(file, Selector::forColumn(1), "a");
    std::string report;
    ScanControl control;
    const ScanOutcome outcome =
        searchWholeLog(file, nullptr, {Selector::forColumn(1), "a"}, control,
                       [&](std::string_view piece) {
                           report += piece;
                           control.cancel = true;
                       },
                       {4096, 2});
    ASSERT_EQ(outcome.end, ScanEnd::Cancelled);
    EXPECT_GT(outcome.nextRecord, 0);
    EXPECT_LT(outcome.stoppedAt, outcome.fileSize);
    const std::string last = stoppedLine(outcome) + "\r\n";
    ASSERT_TRUE(report.ends_with(last));
    report.resize(report.size() - last.size());
    EXPECT_FALSE(report.empty());
    EXPECT_TRUE(full.starts_with(report));
    EXPECT_EQ(modelReport(file, Selector::forColumn(1), "a").substr(0, report.size()), report);
    EXPECT_EQ(stoppedLine({ScanEnd::Cancelled, 4'300'000'000, 1'200'000'000, 4'411'023, 0, {}}),
              "Stopped at 1.1 GiB of 4.0 GiB, record 4,411,023.");
}

// A log cut while it is searched ends the report with a line that says so; what was reported
// before the cut stays.
TEST(WholeLogSearch, ALogCutMeanwhileEndsTheReportWithALine) {
    TempDir dir;
    const std::string bytes = quirkyLog(3000, 5);
    const auto file = dir.write("log", bytes);
    std::string report;
    ScanControl control;
    bool cut = false;
    const ScanOutcome outcome =
        searchWholeLog(file, nullptr, {Selector::allFields(), "-"}, control,
                       [&](std::string_view piece) {
                           report += piece;
                           if (!std::exchange(cut, true))
                               std::filesystem::resize_file(file, bytes.size() / 2);
                       },
                       {4096, 1});
    ASSERT_EQ(outcome.end, ScanEnd::Changed);
    EXPECT_LE(outcome.stoppedAt, static_cast<std::int64_t>(bytes.size() / 2));
    const std::string last = stoppedLine(outcome) + "\r\n";
    EXPECT_TRUE(last.starts_with("The log changed while it was searched. Stopped at "));
    ASSERT_TRUE(report.ends_with(last));
    report.resize(report.size() - last.size());
    if (report.ends_with("\r\n")) report.resize(report.size() - 2);  // put before the line
    EXPECT_FALSE(report.empty());
    testing_support::rewriteInPlace(file, bytes);
    EXPECT_TRUE(modelReport(file, Selector::allFields(), "-").starts_with(report));
}

// A field too long to copy is read from the file when the report is written; a log cut before
// then ends the report there with the same line, nothing written twice.
TEST(WholeLogSearch, ALogCutBeforeALongFieldIsWrittenEndsTheReportThere) {
    TempDir dir;
    std::vector<std::string> longSite = testing_support::sampleFields(1);
    longSite[7] = std::string(70 * 1024, 's');
    std::string bytes = testing_support::logLine(testing_support::sampleFields(0)) +
                        testing_support::logLine(longSite);
    for (int n = 2; n < 200; ++n)
        bytes += testing_support::logLine(testing_support::sampleFields(n));
    const auto file = dir.write("log", bytes);
    std::string report;
    ScanControl control;
    const ScanOutcome outcome = searchWholeLog(file, nullptr, {Selector::forColumn(7), ""}, control,
                                               [&](std::string_view piece) {
                                                   if (report.empty())
                                                       std::filesystem::resize_file(file, 100);
                                                   report += piece;
                                               },
                                               {4096, 2});
    ASSERT_EQ(outcome.end, ScanEnd::Changed);
    EXPECT_EQ(report, testing_support::sampleFields(0)[7] + "\r\n" + stoppedLine(outcome) + "\r\n");
    EXPECT_EQ(outcome.stoppedAt, 0);
}

}  // namespace
