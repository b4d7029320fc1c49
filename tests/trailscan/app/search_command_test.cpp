#include "trailscan/app/search_command.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
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
using testing_support::sampleFields;
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

// Logs of a few sample lines each, the sample users and sites varying with `first`.
std::string sampleLog(int first, int lines) {
    std::string log;
    for (int n = first; n < first + lines; ++n) log += testing_support::logLine(sampleFields(n));
    return log;
}

// A folder is searched log by log: its report is each log's own report, in path order, under
// its heading and followed by an empty line, for every kind of search, literal and regular.
// What is not a log is passed over; what cannot be searched is named and makes the status 2,
// and the other logs are still searched. Patterns: bad ones are named, huge or empty ones run.
TEST(SearchFromATerminal, AFolderGivesEachLogsOwnReportUnderItsHeading) {
    TempDir dir;
    const std::filesystem::path root = dir.path() / "logs";
    std::filesystem::create_directories(root / "sub" / "deeper");
    const auto put = [&](const std::string& name, const std::string& bytes) {
        return dir.write("logs/" + name, bytes).string();
    };
    std::string binary(5000, '\0');
    for (std::size_t i = 0; i < binary.size(); ++i) binary[i] = static_cast<char>(i * 131 % 251);
    // In path order: the names inside the folder sorted as bytes.
    const std::vector<std::pair<std::string, std::string>> logs = {
        {"B.LOG", sampleLog(0, 30)},
        {"a.log", sampleLog(40, 12)},
        {"binary.log", binary},
        {"c.log.gz", testing_support::gzipped(sampleLog(9, 40))},
        {"empty.log", ""},
        {"sub/deeper/z.log", farLog()},
        {"sub/x.Log", sampleLog(7, 3)}};
    for (const auto& [name, bytes] : logs) put(name, bytes);
    put("notes.txt", sampleLog(0, 5));
    put("sub/a.log.bak", sampleLog(0, 5));
    std::filesystem::create_directory_symlink(root, root / "sub" / "loop");
    const std::string given = root.string();
    const std::vector<std::vector<std::string>> searches = {
        {"site", "example"},
        {"all", "1"},
        {"user", "^[a-z]+\\.", "--regex"},
        {"record", "2"},
        {"all", "(?i)ZED", "--regex"},
        {"site", "x", "--table"},
        {"ip", "", "--regex"},
        {"user", "^[a-z]+\\.", "--regex", "--table"}};
    for (const auto& search : searches) {
        SCOPED_TRACE(search[0] + " " + search[1]);
        std::vector<std::string> words = {"--search", search[0], search[1], given};
        words.insert(words.end(), search.begin() + 2, search.end());
        const Terminal folder = runCommand(words);
        std::string expected;
        bool found = false;
        for (const auto& [name, bytes] : logs) {
            words[3] = (root / name).string();
            const Terminal alone = runCommand(words);
            ASSERT_NE(alone.status, 2) << name << ": " << alone.err;
            found = found || alone.status == 0;
            if (name.ends_with(".gz")) {
                // A compressed log is searched as the log it holds.
                words[3] = dir.write("c.log", sampleLog(9, 40)).string();
                EXPECT_EQ(runCommand(words).out, alone.out);
            }
            expected += "==> " + given + "/" + name + " <==\r\n" + alone.out + "\r\n";
        }
        EXPECT_EQ(folder.out, expected);
        EXPECT_EQ(folder.err,
                  "trailscan: " + given +
                      "/sub/loop: a link to a folder already searched; searched once\n");
        EXPECT_EQ(folder.status, found ? 0 : 1);
    }
    // A FIFO named like a log is named and never opened; a missing path too; the rest is
    // searched and the status says that not everything was.
    ASSERT_EQ(::mkfifo((root / "sub" / "pipe.log").c_str(), 0600), 0);
    put("sub/old.log.GZ", "not gzip at all");
    const std::string gz = testing_support::gzipped(sampleLog(0, 400));
    put("sub/cut.log.gz", gz.substr(0, gz.size() / 2));
    const std::string lone = (root / "a.log").string();
    const Terminal troubled = runCommand({"--search", "site", "example", given, "nothere", lone});
    EXPECT_EQ(troubled.status, 2);
    EXPECT_NE(
        troubled.err.find("trailscan: " + given +
                          "/sub/pipe.log: not a regular file (a FIFO or a device); not opened\n"),
        std::string::npos);
    EXPECT_NE(troubled.err.find("trailscan: nothere: "), std::string::npos);
    EXPECT_NE(
        troubled.err.find("trailscan: " + given + "/sub/old.log.GZ: It is not gzip-compressed"),
        std::string::npos);
    // A log cut short is searched up to the cut, and named with where it ended.
    EXPECT_NE(troubled.err.find("trailscan: " + given +
                                "/sub/cut.log.gz: the compressed data ends early, at byte "),
              std::string::npos);
    EXPECT_NE(troubled.out.find("==> " + given + "/sub/cut.log.gz <==\r\n"), std::string::npos);
    EXPECT_TRUE(troubled.out.ends_with("==> " + lone + " <==\r\n" +
                                       runCommand({"--search", "site", "example", lone}).out +
                                       "\r\n"));
    // Patterns: a bad one is named with its place; a very long one and an empty one run.
    const Terminal bad = runCommand({"--search", "site", "exa(mple", given, "--regex"});
    EXPECT_EQ(bad.status, 2);
    EXPECT_EQ(bad.out, "");
    EXPECT_EQ(bad.err,
              "The regular expression is not valid: missing closing parenthesis at "
              "position 8.\n");
    EXPECT_EQ(runCommand({"--search", "record", "1", lone, "--regex"}).status, 2);
    std::string longPattern;
    for (int i = 0; i < 1000; ++i) longPattern += "(a|b)[0-9]";
    EXPECT_EQ(runCommand({"--search", "all", longPattern, lone, "--regex"}).status, 1);
    EXPECT_EQ(runCommand({"--search", "all", "", lone, "--regex"}).status, 0);
}

}  // namespace
