#include "trailscan/scan/whole_log.h"

#include <gtest/gtest.h>

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <fstream>
#include <functional>
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
#include "trailscan/regex/field_pattern.h"

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
// `fieldMatches` stands for the searches' rule; a regular expression's model gives its own.
std::string modelReport(const std::vector<ModelRecord>& records, Selector selector,
                        const std::function<bool(const std::string&)>& fieldMatches,
                        std::size_t capacity = kReportCapacity) {
    std::vector<std::string> entries;
    for (std::size_t r = 0; r < records.size(); ++r) {
        for (int c = 0; c < 23; ++c) {
            if (selector.kind == SelectorKind::Column && c != selector.column) continue;
            if (!fieldMatches(records[r][static_cast<std::size_t>(c)])) continue;
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

std::string modelReport(const std::vector<ModelRecord>& records, Selector selector,
                        const std::string& text, std::size_t capacity = kReportCapacity) {
    return modelReport(
        records, selector, [&](const std::string& field) { return matches(field, text); },
        capacity);
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

// A compressed log gives the reports of the plain log, with the count's index or without, in
// blocks of any size; one cut short gives those of the lines before the cut and a line that says
// where it ended.
TEST(WholeLogSearch, ACompressedLogGivesThePlainLogsReports) {
    TempDir dir;
    for (const auto& [records, seed] : {std::pair{20000, 11U}, {300, 12U}}) {
        const std::string bytes = quirkyLog(records, seed);
        const auto plain = dir.write("p" + std::to_string(seed) + ".log", bytes);
        const std::string gz = testing_support::gzipped(bytes, 6, 30000);
        const auto packed = dir.write("p" + std::to_string(seed) + ".log.gz", gz);
        const auto cut =
            dir.write("c" + std::to_string(seed) + ".log.gz", gz.substr(0, gz.size() / 2));
        const auto cutPlain = dir.write("c" + std::to_string(seed) + ".log",
                                        testing_support::inflated(gz.substr(0, gz.size() / 2)));
        const FieldIndex index = indexOf(packed, 8192);
        ASSERT_FALSE(index.empty());
        const auto run = [](const std::filesystem::path& file, const FieldIndex* with,
                            const WholeLogQuery& query, std::int64_t blocks) {
            ScanRun result;
            ScanControl control;
            ScanTuning tuning;
            tuning.compressedBlockBytes = blocks;
            result.outcome = searchWholeLog(
                file, with, query, control, [&](std::string_view piece) { result.report += piece; },
                tuning);
            return result;
        };
        std::vector<WholeLogQuery> queries;
        for (const Selector selector : {Selector::forColumn(1), Selector::allFields()}) {
            for (const std::string text : {"carlos", "rare", "", "x, y"}) {
                queries.push_back({selector, text});
            }
        }
        for (const std::string& number :
             std::vector<std::string>{"0", "17", std::to_string(records - 1), "999999"}) {
            queries.push_back({Selector::recordNumber(), number});
        }
        // From a fresh start the log is read through first: progress ends at the file's own
        // size, and a cancel then stops the search before it has begun.
        {
            ScanControl control;
            searchWholeLog(packed, nullptr, queries.front(), control, [](std::string_view) {});
            EXPECT_NEAR(static_cast<double>(control.bytesDone.load()),
                        static_cast<double>(gz.size()), 2);
            ScanControl cancelled;
            cancelled.cancel = true;
            std::string report;
            const ScanOutcome outcome =
                searchWholeLog(packed, nullptr, queries.front(), cancelled,
                               [&](std::string_view piece) { report += piece; });
            EXPECT_EQ(outcome.end, ScanEnd::Cancelled);
            EXPECT_EQ(report, stoppedLine(outcome) + "\r\n");
            EXPECT_TRUE(report.starts_with("Stopped at 0 bytes of ")) << report;
        }
        for (const WholeLogQuery& query : queries) {
            SCOPED_TRACE(std::to_string(seed) + " " + std::to_string(query.selector.number()) +
                         " '" + query.text + "'");
            const std::string expected = scan(plain, nullptr, query, 1 << 16).report;
            EXPECT_EQ(run(packed, &index, query, 5000).report, expected);
            EXPECT_EQ(run(packed, nullptr, query, 1 << 20).report, expected);
            const ScanRun damaged = run(cut, nullptr, query, 7000);
            ASSERT_NE(damaged.outcome.damage.find("ends early"), std::string::npos);
            std::string before = scan(cutPlain, nullptr, query, 1 << 16).report;
            if (!before.empty() && !before.ends_with("\r\n")) {
                before += "\r\n";
            }
            EXPECT_EQ(damaged.report,
                      before + trailscan::log::damageSentence(damaged.outcome.damage) + "\r\n");
        }
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
    EXPECT_EQ(
        stoppedLine({ScanEnd::Cancelled, 4'300'000'000, 1'200'000'000, 4'411'023, 0, 0, {}, {}}),
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

// PCRE2's own verdict on one field, compiled and matched here without the search's code: the
// model the regular-expression searches must agree with.
class Pcre2Model {
  public:
    explicit Pcre2Model(const std::string& pattern) {
        int error = 0;
        PCRE2_SIZE offset = 0;
        code_ = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(),
                              PCRE2_NEVER_UTF, &error, &offset, nullptr);
        if (code_ != nullptr) {
            // The JIT, for the interpreter takes minutes on some of these fields, with a stack
            // big enough for any of them.
            pcre2_jit_compile(code_, PCRE2_JIT_COMPLETE);
            stack_ = pcre2_jit_stack_create(1 << 20, 256 << 20, nullptr);
            context_ = pcre2_match_context_create(nullptr);
            pcre2_jit_stack_assign(context_, nullptr, stack_);
            data_ = pcre2_match_data_create_from_pattern(code_, nullptr);
        }
    }
    ~Pcre2Model() {
        pcre2_match_context_free(context_);
        pcre2_jit_stack_free(stack_);
        pcre2_match_data_free(data_);
        pcre2_code_free(code_);
    }
    Pcre2Model(const Pcre2Model&) = delete;
    Pcre2Model& operator=(const Pcre2Model&) = delete;
    bool valid() const { return code_ != nullptr; }
    bool operator()(const std::string& field) const {
        const int found = pcre2_match(code_, reinterpret_cast<PCRE2_SPTR>(field.c_str()),
                                      field.size(), 0, 0, data_, context_);
        EXPECT_TRUE(found >= 0 || found == PCRE2_ERROR_NOMATCH) << "PCRE2 error " << found;
        return found >= 0;
    }

  private:
    pcre2_code* code_ = nullptr;
    pcre2_match_data* data_ = nullptr;
    pcre2_jit_stack* stack_ = nullptr;
    pcre2_match_context* context_ = nullptr;
};

// Two reports alike, or where they first differ (a report may run to megabytes).
testing::AssertionResult sameReport(const std::string& got, const std::string& expected) {
    if (got == expected) return testing::AssertionSuccess();
    std::size_t at = 0;
    while (at < got.size() && at < expected.size() && got[at] == expected[at]) ++at;
    return testing::AssertionFailure()
           << "reports of " << got.size() << " and " << expected.size() << " bytes differ at byte "
           << at << ": \"" << got.substr(at, 80) << "\" for \"" << expected.substr(at, 80) << "\"";
}

// Patterns put together from pieces of the quirky logs' text, classes, quantifiers, anchors,
// alternatives, and now and then a look-behind or a back-reference that the block scanner
// cannot take as they stand.
std::string randomPattern(std::mt19937& random) {
    const auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    static const char* const atoms[] = {"carlos", "rare", "example", "10\\.0\\.", "BOB",   "/",
                                        "-",      ":",    "\\r",     " ",         "[a-z]", "[0-9]",
                                        "\\d",    ".",    "[^,]",    "\\w",       "S",     "L",
                                        "x",      "e",    "[]a]",    "\\x2f",     "b\\.ex"};
    static const char* const quantifiers[] = {"", "", "", "+", "*", "?", "{2}", "{1,3}", "+?"};
    std::string pattern = pick(6) == 0 ? "(?i)" : "";
    if (pick(5) == 0) pattern += "^";
    const int pieces = 1 + pick(4);
    for (int p = 0; p < pieces; ++p) {
        switch (pick(12)) {
            case 0:
                pattern += std::string("(") + atoms[pick(23)] + "|" + atoms[pick(23)] + ")";
                break;
            case 1:
                pattern += "\\b";
                break;
            case 2:
                pattern += std::string("(?<=") + atoms[pick(5)] + ")";
                break;
            case 3:
                pattern += "(.)\\1";
                break;
            default:
                pattern += atoms[pick(23)];
                break;
        }
        pattern += quantifiers[pick(9)];
    }
    if (pick(5) == 0) pattern += "$";
    return pattern;
}

// Regular expressions over the whole log agree with PCRE2's verdict field by field, for
// random patterns over generated logs: with small blocks so records straddle them, on one
// thread and several, with each block's last record read from the file, and at a small
// capacity; patterns the block scanner takes and those it cannot.
TEST(WholeLogSearch, RegularExpressionsAgreeWithPcre2FieldByField) {
    TempDir dir;
    std::mt19937 random(77);
    int scanned = 0;
    for (const auto& [records, seed] : {std::pair{1500, 11U}, {300, 12U}}) {
        const auto file = dir.write("regex" + std::to_string(seed), quirkyLog(records, seed));
        const std::vector<ModelRecord> whole = modelRecords(file);
        std::vector<std::string> patterns = {
            "mail\\.[a-z]+\\.(ir|com)", "^-$", "", "x*", "(?i)bob", "rare$", "[0-9]{3}\\.exe", "^$",
            "\\A10",
            // Literals that a match begins before, far into a block.
            "\\/\\/[a-d]\\.example\\/", "[0-9]{2}:00$"};
        while (patterns.size() < 34) {
            std::string text = randomPattern(random);
            if (Pcre2Model(text).valid()) patterns.push_back(std::move(text));
        }
        for (const std::string& text : patterns) {
            const Pcre2Model model(text);
            ASSERT_TRUE(model.valid()) << text;
            std::string error;
            const auto pattern = trailscan::regex::FieldPattern::compile(text, error);
            ASSERT_TRUE(pattern) << text << ": " << error;
            scanned += pattern->scansBlocks() ? 1 : 0;
            for (const Selector selector :
                 {Selector::forColumn(1), Selector::forColumn(7), Selector::allFields()}) {
                SCOPED_TRACE(std::to_string(seed) + " " + std::to_string(selector.number()) + " /" +
                             text + "/");
                WholeLogQuery query{selector, text};
                query.pattern = pattern.get();
                const std::string expected = modelReport(whole, selector, std::cref(model));
                EXPECT_TRUE(sameReport(scan(file, nullptr, query, 1 << 20).report, expected));
                EXPECT_TRUE(sameReport(scan(file, nullptr, query, 3000, 1, 0).report, expected));
                query.capacity = 2000;
                EXPECT_TRUE(sameReport(scan(file, nullptr, query, 5000, 3).report,
                                       modelReport(whole, selector, std::cref(model), 2000)));
            }
        }
    }
    // Most patterns run with the block scanner; the back-references and look-behinds may not.
    EXPECT_GT(scanned, 50);
    std::string error;
    for (const char* text : {"mail\\.[a-z]+\\.(ir|com)", "[0-9]{3}\\.exe", "^user\\b"}) {
        EXPECT_TRUE(trailscan::regex::FieldPattern::compile(text, error)->scansBlocks()) << text;
    }
}

// A pattern that backtracks without end stops at its limit in the record that took it there:
// the records before are reported, then a line says where it stopped. A pattern that is not
// valid is named with its place.
TEST(WholeLogSearch, APatternPastItsLimitStopsTheSearchWithALine) {
    TempDir dir;
    std::string log;
    for (int r = 0; r < 200; ++r) {
        std::string user = r == 150 ? std::string(40, 'a') + "!" : r % 10 == 0 ? "aaa" : "bob";
        log += "10.0.0.1, " + user;
        for (int f = 2; f < 23; ++f) log += f == 7 ? ", site" + std::to_string(r) : ", -";
        log += "\r\n";
    }
    const auto file = dir.write("limit.log", log);
    std::string error;
    const auto pattern = trailscan::regex::FieldPattern::compile("^(a+)+$", error);
    ASSERT_TRUE(pattern);
    for (const int threads : {1, 2}) {
        WholeLogQuery query{Selector::forColumn(1), ""};
        query.pattern = pattern.get();
        const ScanRun run = scan(file, nullptr, query, 4096, threads);
        EXPECT_EQ(run.outcome.end, ScanEnd::PatternLimit);
        EXPECT_EQ(run.outcome.nextRecord, 150);
        std::string expected;
        for (int r = 0; r < 150; r += 10) expected += "site" + std::to_string(r) + "\r\n";
        expected += stoppedLine(run.outcome) + "\r\n";
        EXPECT_EQ(run.report, expected);
        EXPECT_TRUE(
            stoppedLine(run.outcome)
                .starts_with("The regular expression passed its match limit in record 150."));
    }
    EXPECT_FALSE(trailscan::regex::FieldPattern::compile("mail(\\.", error));
    EXPECT_EQ(error,
              "The regular expression is not valid: missing closing parenthesis at "
              "position 7.");
}

}  // namespace
