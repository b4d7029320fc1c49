// `kestrand --report` as the program runs it: the words parsed, the run, what reaches
// standard error and the exit status.
#include "kestrand/app/report_command.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "kestrand/reports/engine.h"
#include "tests/support/test_files.h"

namespace {

namespace app = kestrand::app;
namespace reports = kestrand::reports;

struct Outcome {
    int status = -1;
    std::string err;  // what the command wrote to standard error
};

Outcome runWords(const std::vector<std::string>& words) {
    const std::optional<app::ReportCommand> command = app::parseReportCommand(words);
    EXPECT_TRUE(command.has_value());
    if (!command) {
        return {};
    }
    std::FILE* err = std::tmpfile();
    Outcome outcome;
    outcome.status = app::runReportCommand(*command, err, false);
    std::rewind(err);
    char buffer[4096];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, err)) > 0) {
        outcome.err.append(buffer, n);
    }
    std::fclose(err);
    return outcome;
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string logLine(int n) {
    return "192.168.1." + std::to_string(n % 9) +
           ", ali, Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1), Y, -, 2/1" +
           std::to_string(n % 3) + "/01, 08:00:00, www.example.com, W3Proxy, PROXY1, -, " +
           "8.8.8.8, 80, 1, 1, 100, http, TCP, GET, http://www.example.com/, text/html, Inet, " +
           "200\r\n";
}

class ReportCommandTest : public testing::Test {
  protected:
    void SetUp() override {
        std::string text;
        for (int n = 0; n < 30; ++n) {
            text += logLine(n);
        }
        std::filesystem::create_directory(dir.path() / "logs");
        dir.write("logs/a.log", text);
        std::filesystem::create_directory(dir.path() / "empty");
    }
    std::string logs() const { return (dir.path() / "logs").string(); }
    std::string out(const std::string& name) const { return (dir.path() / name).string(); }

    testing_support::TempDir dir;
};

TEST_F(ReportCommandTest, EveryBadArgumentIsNamedOnStandardErrorWithStatus2) {
    const std::string json = out("r.json");
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases{
        {{"--report", logs(), "-o", json, "--colour", "red"}, "unknown option --colour"},
        {{"--report", logs(), "-o", json, "stray"}, "unexpected argument stray"},
        {{"--report", logs(), "--summary", logs(), "-o", json},
         "--report and --summary cannot go together"},
        {{"--summary", logs(), "-o", json},
         "-o FILE of --summary must end in .kestrand, not " + json},
        {{"--report", logs(), "-o", json, "--cache-size", "lots"},
         "--cache-size takes bytes, or a number with K, M or G, not lots"},
        {{"--report", logs(), "-o", json, "--no-cache=yes"}, "--no-cache takes no value"},
        {{"--report", logs(), "-o", json, "--no-cache", "--cache", logs()},
         "--cache and --no-cache cannot go together"},
        {{"--report", logs(), "-o"}, "-o needs a value"},
        {{"--report", "-o", json}, "--report needs a value"},
        {{"--report=", "-o", json}, "--report needs a value"},
        {{"--report", logs(), "-o", json, "--from", "2001-02-30"},
         "--from takes a day as YYYY-MM-DD, not 2001-02-30"},
        {{"--report", logs(), "-o", json, "--to=14/2/01"},
         "--to takes a day as YYYY-MM-DD, not 14/2/01"},
        {{"--report", logs(), "-o", json, "--kinds", "0,7"},
         "--kinds takes numbers 0 to 6 separated by commas, not 0,7"},
        {{"--report", logs(), "-o", json, "--kinds", "1,,2"},
         "--kinds takes numbers 0 to 6 separated by commas, not 1,,2"},
        {{"--report", logs(), "-o", json, "--from", "2001-02-15", "--to", "2001-02-14"},
         "--from comes after --to"},
        {{"--report", logs(), "-o", out("r.txt")},
         "-o FILE must end in .json, .csv or .html, not " + out("r.txt")},
        {{"--report", logs(), "-o", json, "--threads", "two"},
         "--threads takes a number of workers, not two"},
        {{"--report", logs(), "-o", json, "--threads", "-1"},
         "--threads takes a number of workers, not -1"},
        {{"--report", logs(), "-o", json, "--tz", "Mars/Olympus"},
         "--tz takes a time zone of the tz database such as Asia/Tehran or UTC, not "
         "Mars/Olympus"},
        {{"--report", logs(), "-o", json, "--tz=+0330"},
         "--tz takes a time zone of the tz database such as Asia/Tehran or UTC, not +0330"},
        {{"--report", logs(), "-o", json, "--country", "IRN"},
         "--country takes a two-letter country code, not IRN"},
        {{"--report", logs(), "-o", json, "--country", "I1"},
         "--country takes a two-letter country code, not I1"},
        {{"-o", json}, "--report FOLDER is needed"},
        {{"--report", logs()}, "-o FILE is needed"},
    };
    for (const auto& [words, message] : cases) {
        const Outcome outcome = runWords(words);
        EXPECT_EQ(outcome.status, app::kExitBadArguments) << message;
        EXPECT_EQ(outcome.err, "kestrand: " + message + "\nSee kestrand --help.\n");
    }
    EXPECT_FALSE(std::filesystem::exists(json));
}

TEST_F(ReportCommandTest, AnOutputThatCannotBeWrittenIsStatus2WithItsReason) {
    std::filesystem::create_directory(dir.path() / "taken.json");
    const std::vector<std::pair<std::string, std::string>> cases{
        {out("taken.json"), "Is a directory"},
        {out("missing/r.json"), "No such file or directory"},
        {out("missing/r.html"), "No such file or directory"},
        {(dir.path() / "logs" / "a.log" / "r.csv").string(), "Not a directory"},
    };
    for (const auto& [file, reason] : cases) {
        const Outcome outcome = runWords({"--report", logs(), "-o", file});
        EXPECT_EQ(outcome.status, app::kExitBadArguments) << file;
        EXPECT_EQ(outcome.err, "kestrand: cannot write " + file + ": " + reason + "\n");
    }
}

TEST_F(ReportCommandTest, OptionsReachTheEngineAndTheOutputIsItsAnswer) {
    const std::vector<std::string> spaced{"--report",  logs(),        "--kinds",   "0,3",
                                          "--from",    "2001-02-10",  "--to",      "2001-02-11",
                                          "--country", "fr",          "--geoip",   "/x/db.mmdb",
                                          "--address", "192.168.1.4", "--threads", "3",
                                          "--tz",      "Asia/Tehran", "-o",        out("r.JSON")};
    const std::vector<std::string> joined{
        "--report=" + logs(), "--kinds=0,3",        "--from=2001-02-10",     "--to=2001-02-11",
        "--country=fr",       "--geoip=/x/db.mmdb", "--address=192.168.1.4", "--threads=3",
        "--tz=Asia/Tehran",   "-o=" + out("r.JSON")};
    for (const auto& words : {spaced, joined}) {
        const auto command = app::parseReportCommand(words);
        ASSERT_TRUE(command);
        EXPECT_EQ(command->error, "");
        const reports::Options& options = command->options;
        EXPECT_EQ(options.folder, logs());
        EXPECT_EQ(options.kinds,
                  (std::array<bool, 7>{true, false, false, true, false, false, false}));
        EXPECT_EQ(options.from, reports::parseDay("2001-02-10"));
        EXPECT_EQ(options.to, reports::parseDay("2001-02-11"));
        EXPECT_EQ(options.homeCountry, "fr");
        EXPECT_EQ(options.geoip, "/x/db.mmdb");
        EXPECT_EQ(options.onlyAddress, "192.168.1.4");
        EXPECT_EQ(options.threads, 3u);
        EXPECT_EQ(options.timeZone, "Asia/Tehran");
        EXPECT_EQ(options.generator, "kestrand 1.0.0.4");
        EXPECT_EQ(command->output, out("r.JSON"));
        EXPECT_EQ(command->kind, app::ReportOutput::Json);
    }

    // Each output holds what the engine answers for the same options.
    reports::Options options;
    options.folder = logs();
    options.generator = "kestrand 1.0.0.4";
    const reports::Result result = reports::run(options);
    for (const auto& [name, text] : {std::pair{std::string("r.json"), reports::writeJson(result)},
                                     std::pair{std::string("r.Csv"), reports::writeCsv(result)}}) {
        const Outcome outcome = runWords({"--report", logs(), "-o", out(name)});
        EXPECT_EQ(outcome.status, app::kExitRead);
        EXPECT_EQ(outcome.err, "");
        EXPECT_EQ(readFile(out(name)), text) << name;
    }
    const Outcome page = runWords({"--report", logs(), "-o", out("r.html")});
    EXPECT_EQ(page.status, app::kExitRead);
    const std::string html = readFile(out("r.html"));
    EXPECT_TRUE(html.starts_with("<!DOCTYPE html>")) << html.substr(0, 40);
    EXPECT_NE(html.find("192.168.1.4"), std::string::npos);
}

TEST_F(ReportCommandTest, NoRequestReadIsStatus1WithTheReason) {
    Outcome outcome = runWords({"--report", out("empty"), "-o", out("e.json")});
    EXPECT_EQ(outcome.status, app::kExitNothingRead);
    EXPECT_EQ(outcome.err, "kestrand: the folder holds no .log or .log.gz file\n");
    // The output is written all the same: it lists what was found.
    EXPECT_TRUE(std::filesystem::exists(out("e.json")));

    outcome = runWords({"--report", logs(), "--from", "2002-01-01", "-o", out("e.json")});
    EXPECT_EQ(outcome.status, app::kExitNothingRead);
    EXPECT_EQ(outcome.err, "kestrand: no request matches the period or address asked for\n");

    outcome = runWords({"--report", out("nowhere"), "-o", out("n.json")});
    EXPECT_EQ(outcome.status, app::kExitNothingRead);
    EXPECT_TRUE(outcome.err.starts_with("kestrand: cannot read the folder " + out("nowhere")))
        << outcome.err;
    EXPECT_FALSE(std::filesystem::exists(out("n.json")));
}

TEST(ReportCommandWords, OnlyReportOptionsWithoutHelpAskForAReport) {
    EXPECT_FALSE(app::parseReportCommand({}));
    EXPECT_FALSE(app::parseReportCommand({"-platform", "offscreen"}));
    EXPECT_FALSE(app::parseReportCommand({"--report", "logs", "-o", "r.json", "--help"}));
    EXPECT_FALSE(app::parseReportCommand({"--version", "--report", "logs"}));
    EXPECT_TRUE(app::parseReportCommand({"--threads=2"}));

    // --help lists every option the command takes.
    const std::string help = app::kReportCommandHelp;
    for (const std::string_view name : app::reportOptionNames()) {
        EXPECT_NE(help.find("  " + std::string(name) + " "), std::string::npos) << name;
    }
}

}  // namespace
