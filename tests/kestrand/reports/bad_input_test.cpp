// A folder of everything a log folder should not hold, next to good logs: each gets a row
// with its reason, and the good requests are all counted.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "kestrand/reports/engine.h"
#include "tests/kestrand/reports/report_json.h"
#include "tests/support/test_files.h"

namespace {

using namespace report_test;
namespace reports = kestrand::reports;

std::string goodLine(int n) {
    return "192.168.1." + std::to_string(n % 200) +
           ", ali, Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1), Y, -, 2/14/01, 08:" +
           (n % 60 < 10 ? "0" : "") + std::to_string(n % 60) +
           ":00, www.example.com, W3Proxy, PROXY1, -, 8.8.8.8, 80, 1, 1, 100, http, TCP, GET, "
           "http://www.example.com/index.html, text/html, Inet, 200\r\n";
}

std::string goodLines(int count) {
    std::string text;
    for (int i = 0; i < count; ++i) {
        text += goodLine(i);
    }
    return text;
}

void writeGzip(const std::filesystem::path& path, const std::string& text) {
    gzFile file = gzopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    gzwrite(file, text.data(), static_cast<unsigned>(text.size()));
    gzclose(file);
}

TEST(BadInput, EachBadFileHasItsReasonAndTheRestIsCounted) {
    testing_support::TempDir folder;
    const std::filesystem::path& root = folder.path();
    folder.write("good.log", goodLines(10));
    folder.write("empty.log", "");
    std::string binary;
    for (int i = 0; i < 5000; ++i) {
        binary += static_cast<char>((i * 7919) % 256);
    }
    folder.write("binary.log", binary);
    folder.write("locked.log", goodLines(3));
    chmod((root / "locked.log").c_str(), 0);
    ASSERT_EQ(mkfifo((root / "pipe.log").c_str(), 0600), 0);
    std::filesystem::create_directory(root / "folder.log");
    folder.write("folder.log/inner.log", goodLines(4));
    {
        std::ofstream huge(root / "huge.log", std::ios::binary);
        huge << goodLine(1);
        const std::string block(1 << 20, 'x');
        for (int i = 0; i < 100; ++i) {
            huge << block;
        }
        huge << "\r\n" << goodLine(2);
    }
    writeGzip(root / "packed.LOG.GZ", goodLines(20));
    const std::string many = goodLines(5000);
    writeGzip(root / "cut.log.gz", many);
    std::filesystem::resize_file(root / "cut.log.gz",
                                 std::filesystem::file_size(root / "cut.log.gz") / 2);
    std::filesystem::create_directory_symlink("..", root / "folder.log" / "loop");
    std::filesystem::create_symlink(root / "good.log", root / "again.log");

    reports::Options options;
    options.folder = root;
    const reports::Result result = reports::run(options);
    ASSERT_TRUE(result.error.empty());
    const QJsonObject report = parseJson(reports::writeJson(result));

    const auto error = [&](const std::string& path) { return str(fileRow(report, path)["error"]); };
    EXPECT_EQ(error("empty.log"), "an empty file");
    EXPECT_EQ(error("binary.log"), "binary data, not a log");
    EXPECT_EQ(error("pipe.log"), "a named pipe (FIFO), not opened");
    EXPECT_EQ(error("folder.log"), "a folder, not a file (its files are read as a sub-folder)");
    // The link comes first by name, so the file itself is the one passed over.
    EXPECT_EQ(error("good.log"), "the same file as one listed before");
    EXPECT_EQ(num(fileRow(report, "again.log")["requests"]), 10);
    EXPECT_NE(error("cut.log.gz").find("truncated"), std::string::npos);
    // The lines before the cut are kept.
    const long long cutRequests = num(fileRow(report, "cut.log.gz")["requests"]);
    EXPECT_GT(cutRequests, 0);
    EXPECT_LT(cutRequests, 5000);
    EXPECT_EQ(num(fileRow(report, "packed.LOG.GZ")["requests"]), 20);
    EXPECT_EQ(num(fileRow(report, "folder.log/inner.log")["requests"]), 4);
    EXPECT_TRUE(fileRow(report, "folder.log/loop/good.log").isEmpty());

    const QJsonObject huge = fileRow(report, "huge.log");
    EXPECT_EQ(num(huge["requests"]), 2);
    EXPECT_EQ(huge["skipped_lines"].toArray(), QJsonArray({2}));

    // Root reads any file whatever its mode, so the missing permission shows only for others.
    long long locked = 0;
    if (geteuid() != 0) {
        EXPECT_EQ(error("locked.log"), "no permission to read it");
    } else {
        locked = 3;
    }
    EXPECT_EQ(num(report["totals"]["requests"]), 10 + 4 + 2 + 20 + cutRequests + locked);
}

// Squid's lines at their oddest: each is read into the right columns or skipped and counted.
TEST(BadInput, OddSquidLinesAreReadWhereTheyCanBeAndCountedWhereNot) {
    const std::string direct = " - HIER_DIRECT/8.8.8.8 text/html\n";
    std::string log;
    log += "1700000300.000      5 10.0.0.1 TCP_MISS/200 100 GET http://b.example.com/" + direct;
    // Times run backwards; a clock that stepped back gives a negative elapsed.
    log += "1700000000.500     -3 10.0.0.1 TCP_MISS/200 100 GET http://a.example.com/" + direct;
    log +=
        "1700000100.000 99999999999999999999999999999 fe80::1%eth0 NONE/000 0 GET "
        "http://c.example.com/x - HIER_NONE/- -\n";
    log += "0.000      1 10.0.0.2 TCP_MISS/200 100 GET http://d.example.com/" + direct;
    log += "1700000200.000 1 10.0.0.3 TCP_MISS/200 55 GET http://long.example.com/" +
           std::string(1000000, 'a') + direct;
    log += std::string(std::size_t{2} << 20, 'x') + "\n";
    log += "1700000400.000      1 10.0.0.1 TCP_MISS/200 100 GET http://cut.exa";
    testing_support::TempDir folder;
    folder.write("access.log", log);
    reports::Options options;
    options.folder = folder.path();
    options.timeZone = "UTC";
    const reports::Result result = reports::run(options);
    ASSERT_EQ(result.files.size(), 1u);
    const reports::FileRow& file = result.files[0];
    EXPECT_EQ(file.layout, "squid");
    EXPECT_EQ(file.lines, 7u);
    EXPECT_EQ(file.requests, 4u);
    EXPECT_EQ(file.skipped, 3u);
    EXPECT_EQ(file.skippedLines, (std::vector<std::uint64_t>{4, 6, 7}));
    EXPECT_FALSE(file.error);

    ASSERT_EQ(result.addresses.size(), 3u);
    EXPECT_EQ(result.addresses[0].address, "10.0.0.1");
    EXPECT_EQ(result.addresses[0].requests, 2u);
    EXPECT_EQ(result.addresses[0].first, "2023-11-14 22:13:20");
    EXPECT_EQ(result.addresses[0].last, "2023-11-14 22:18:20");
    EXPECT_EQ(result.addresses[1].address, "10.0.0.3");
    EXPECT_EQ(result.addresses[1].bytes, 55u);
    EXPECT_EQ(result.addresses[2].address, "fe80::1%eth0");
    EXPECT_EQ(result.addresses[2].bytes, 0u);
    EXPECT_EQ(*result.first, "2023-11-14 22:13:20");
    EXPECT_EQ(*result.last, "2023-11-14 22:18:20");
    std::vector<std::string> sites;
    for (const reports::SiteRow& site : result.sites) {
        sites.push_back(site.host);
    }
    std::sort(sites.begin(), sites.end());
    EXPECT_EQ(sites, (std::vector<std::string>{"a.example.com", "b.example.com", "c.example.com",
                                               "long.example.com"}));

    // Split into parts at every few bytes, the file reads the same.
    options.threads = 2;
    options.chunkBytes = 4096;
    EXPECT_EQ(reports::writeJson(reports::run(options)), reports::writeJson(result));
}

TEST(BadInput, AFileThatShrinksWhileReadKeepsWhatWasRead) {
    testing_support::TempDir folder;
    folder.write("shrinks.log", goodLines(30000));
    const std::filesystem::path path = folder.path() / "shrinks.log";
    reports::Options options;
    options.folder = folder.path();
    options.threads = 1;
    bool cut = false;
    reports::Control control;
    // The first progress report comes after the first block.
    control.progress = [&](const reports::Progress&) {
        if (!cut) {
            cut = true;
            std::filesystem::resize_file(path, 2000);
        }
    };
    const reports::Result result = reports::run(options, control);
    ASSERT_EQ(result.files.size(), 1u);
    ASSERT_TRUE(result.files[0].error);
    EXPECT_NE(result.files[0].error->find("shorter"), std::string::npos);
    EXPECT_GT(result.totals.requests, 0u);
    EXPECT_LT(result.totals.requests, 30000u);
}

TEST(BadInput, MissingFolderAndCancelAreValues) {
    reports::Options options;
    options.folder = "/nonexistent/folder";
    EXPECT_NE(reports::run(options).error.find("cannot read the folder"), std::string::npos);

    testing_support::TempDir folder;
    folder.write("a.log", goodLines(100));
    options.folder = folder.path();
    const std::atomic<bool> cancel{true};
    reports::Control control;
    control.cancel = &cancel;
    const reports::Result result = reports::run(options, control);
    EXPECT_TRUE(result.cancelled);
    EXPECT_EQ(result.totals.requests, 0u);
    EXPECT_TRUE(parseJson(reports::writeJson(result))["cancelled"].toBool());
}

}  // namespace
