#include "trailscan/folder/folder_search.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "tests/support/test_files.h"

namespace {

using namespace trailscan;
using scan::ScanControl;
using scan::ScanEnd;
using scan::WholeLogQuery;
using table::Selector;

// The folder's report as one log after the other gives it, each log's search counting the
// report bytes before it against the capacity: the model the searches at once must equal.
std::string oneAfterTheOther(const folder::LogListing& listing, const WholeLogQuery& query) {
    std::string report;
    for (const folder::LogEntry& log : listing.logs) {
        WholeLogQuery logQuery = query;
        logQuery.used = std::min(report.size(), query.capacity);
        bool headed = false;
        ScanControl control;
        const scan::ScanOutcome searched =
            scan::searchWholeLog(log.path, nullptr, logQuery, control, [&](std::string_view piece) {
                if (!std::exchange(headed, true)) report += folder::headingLine(log.shown);
                report += piece;
            });
        if (searched.end == ScanEnd::Unreadable) {
            report += "! " + log.shown + ": " + searched.error + "\n";
            continue;
        }
        if (!headed) report += folder::headingLine(log.shown);
        report += "\r\n";
    }
    return report;
}

// Logs of every size and density of hits, searched several at once, give the report of one
// after the other, whatever the capacity: one that no log reaches, one reached in the middle of
// the folder (where logs searched ahead counted too few bytes before them), and a tiny one.
TEST(FolderSearch, SeveralLogsAtOnceGiveTheReportOfOneAfterTheOther) {
    testing_support::TempDir dir;
    std::mt19937 random(3);
    std::filesystem::create_directories(dir.path() / "logs");
    std::vector<std::string> paths;
    for (int f = 0; f < 24; ++f) {
        const int lines = f % 7 == 0 ? 3000 : static_cast<int>(random() % 400);
        std::string log;
        for (int n = 0; n < lines; ++n) {
            auto fields = testing_support::sampleFields(static_cast<int>(random() % 5000));
            if (f % 5 == 0) fields[7] = "hit.example/" + std::to_string(n);  // dense hits
            log += testing_support::logLine(fields);
        }
        const std::string name = "logs/X" + std::to_string(10 + f) + ".log";
        paths.push_back(dir.write(name, log).string());
    }
    dir.write("logs/empty.log", "");
    const folder::LogListing listing = folder::listLogs({(dir.path() / "logs").string()});
    ASSERT_EQ(listing.logs.size(), 25U);
    for (const WholeLogQuery& base : {WholeLogQuery{Selector::forColumn(7), "hit.example/1"},
                                      WholeLogQuery{Selector::allFields(), "1"},
                                      WholeLogQuery{Selector::recordNumber(), "2"}}) {
        for (const std::size_t capacity :
             {table::kReportCapacity, std::size_t{40000}, std::size_t{300}}) {
            SCOPED_TRACE(base.text + " " + std::to_string(capacity));
            WholeLogQuery query = base;
            query.capacity = capacity;
            const std::string expected = oneAfterTheOther(listing, query);
            for (int run = 0; run < 3; ++run) {
                std::string report;
                ScanControl control;
                const folder::FolderOutcome outcome = folder::searchLogs(
                    listing, query, control, [&](std::string_view piece) { report += piece; },
                    [&](const folder::LogEntry& log, const std::string& reason) {
                        report += "! " + log.shown + ": " + reason + "\n";
                    });
                ASSERT_EQ(report, expected);
                EXPECT_FALSE(outcome.cancelled);
                EXPECT_EQ(outcome.logsDone, listing.logs.size());
                EXPECT_EQ(control.bytesDone.load(), folder::totalBytes(listing));
            }
        }
    }
}

}  // namespace
