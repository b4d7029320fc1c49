#include "trailscan/app/search_command.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/far_log.h"
#include "tests/support/test_files.h"

namespace {

using testing_support::farEntry;
using testing_support::farLog;
using testing_support::farRecord;
using testing_support::farRecordReport;
using testing_support::TempDir;

// The same searches the window runs, from a terminal: the report on standard output.
struct Terminal {
    int status = -1;
    std::string out;
    std::string err;
};

// With `out`, the report goes there; the caller keeps and closes it.
Terminal runCommand(const std::vector<std::string>& words, std::FILE* out = nullptr) {
    std::vector<std::u16string> typed;
    for (const auto& word : words) typed.emplace_back(word.begin(), word.end());
    std::string error;
    const auto command = trailscan::app::parseSearchCommand(words, typed, error);
    Terminal terminal;
    if (!command || !error.empty()) {
        terminal.status = trailscan::app::kExitTrouble;
        terminal.err = error;
        return terminal;
    }
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> report(out ? nullptr : std::tmpfile(),
                                                                 &std::fclose);
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> err(std::tmpfile(), &std::fclose);
    terminal.status =
        trailscan::app::runSearchCommand(*command, out ? out : report.get(), err.get(), false);
    for (auto [file, text] : {std::pair{report.get(), &terminal.out}, {err.get(), &terminal.err}}) {
        if (file == nullptr) continue;
        std::rewind(file);
        char buffer[4096];
        for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;)
            text->append(buffer, got);
    }
    return terminal;
}

// With the far record's site 100,000 bytes long, every report that lists it lists it whole,
// and a text in its last bytes finds it.
TEST(WholeLogFromATerminal, FindsARecordPastTheTableWithEachSearch) {
    TempDir dir;
    std::string file;
    for (const std::size_t siteBytes : {std::size_t{0}, std::size_t{100'000}}) {
        file = dir.write("X3010214.log", farLog(siteBytes)).string();
        const std::string site = farRecord(siteBytes)[7] + "\r\n";
        const struct {
            const char* field;
            const char* text;
            std::string report;
        } cases[] = {{"user", "zed.f", site},
                     {"site", "far.ex", site},
                     {"site", siteBytes > 0 ? "y/end" : "far.example/only", site},
                     {"date", "9/9/", site},
                     {"time", "23:59", site},
                     {"all", "zed.far", farEntry(siteBytes)},
                     {"record", "5500", farRecordReport(siteBytes)},
                     {"record", "6000", "6000= \r\n\r\nThe log has 6,000 records.\r\n"}};
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.field) + " " + c.text + " " + std::to_string(siteBytes));
            const Terminal found = runCommand({"--search", c.field, c.text, file});
            EXPECT_EQ(found.out, c.report);
            EXPECT_EQ(found.status, std::string(c.text) == "6000" ? 1 : 0);
            // The table's 5001 records do not reach it.
            const Terminal table = runCommand({"--search", c.field, c.text, file, "--table"});
            EXPECT_EQ(table.status, 1);
        }
    }
    EXPECT_EQ(runCommand({"--search", "ip", "192.168.1.7", file, "--table"}).status, 0);
    EXPECT_EQ(runCommand({"--search", "site", "no such site", file}).status, 1);
    const Terminal missing = runCommand({"--search", "site", "x", dir.path().string() + "/none"});
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.err,
              "trailscan: " + dir.path().string() + "/none: The file does not exist.\n");
    EXPECT_EQ(runCommand({"--search", "name", "x", file}).status, 2);
    EXPECT_EQ(runCommand({"--search", "site", file}).status, 2);
}

// A report that cannot be written is no success: on a full disk the command stops at the first
// write that fails, names the reason and exits 2, for a short report (lost when the stream is
// flushed) and a long one (lost while it is written) alike, from the table as from the whole log.
// A pipe whose reader has gone ends it quietly, as a reader that has read enough expects.
TEST(WholeLogFromATerminal, AReportThatCannotBeWrittenIsNoSuccess) {
    TempDir dir;
    const std::string file = dir.write("X3010214.log", farLog()).string();
    const std::vector<std::vector<std::string>> searches = {
        {"--search", "site", "far.ex", file},
        {"--search", "all", "-", file},
        {"--search", "record", "5500", file},
        {"--search", "user", "a", file, "--table"}};
    for (const auto& words : searches) {
        const std::unique_ptr<std::FILE, int (*)(std::FILE*)> full(std::fopen("/dev/full", "w"),
                                                                   &std::fclose);
        ASSERT_NE(full, nullptr);
        const Terminal lost = runCommand(words, full.get());
        EXPECT_EQ(lost.status, 2) << words[1];
        EXPECT_EQ(lost.err, "trailscan: cannot write the report: No space left on device\n")
            << words[1];
    }
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    ::close(ends[0]);
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> closed(::fdopen(ends[1], "w"),
                                                                 &std::fclose);
    // As when a parent starts the program with SIGPIPE ignored; by default it ends the program.
    const auto before = std::signal(SIGPIPE, SIG_IGN);
    const Terminal gone = runCommand({"--search", "all", "-", file}, closed.get());
    std::signal(SIGPIPE, before);
    EXPECT_EQ(gone.err, "");
    EXPECT_EQ(gone.status, 0);
}

}  // namespace
