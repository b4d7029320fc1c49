#include "trailscan/log/line_count.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/test_files.h"
#include "trailscan/log/channel.h"

namespace {

using testing_support::TempDir;
using trailscan::log::Channel;
using trailscan::log::CountProgress;
using trailscan::log::CountTuning;
using trailscan::log::lineTotal;

// The total the channel's own front-to-back count gives from `position` on.
std::int64_t sequentialTotal(const std::filesystem::path& path, std::int64_t position = 1) {
    Channel channel;
    EXPECT_FALSE(channel.open(path).has_value());
    channel.seek(position);
    return lineTotal(channel);
}

// Mixed line lengths and line ends, about `bytes` long.
std::string mixedLog(std::size_t bytes) {
    std::string text;
    for (int n = 0; text.size() < bytes; ++n) {
        text += testing_support::lineOfLength(n, 90 + (n * 37) % 300);
        if (n % 7 == 0) text.replace(text.size() - 2, 2, "\n");
        if (n % 11 == 0) text += "\r";
    }
    return text;
}

// One block reader alone, and two on alternate blocks.
const CountTuning kOneThread{.blockBytes = 4096, .twoThreadsFrom = INT64_MAX, .beforeBlock = {}};
const CountTuning kTwoThreads{.blockBytes = 4096, .twoThreadsFrom = 0, .beforeBlock = {}};

TEST(FastLineCount, AgreesWithTheChannelCountOnEveryKindOfFile) {
    TempDir dir;
    struct Case {
        std::string name;
        std::string bytes;
    };
    const std::string line = testing_support::lineOfLength(0, 100);
    const std::vector<Case> cases = {
        {"empty.log", ""},
        {"one-crlf.log", "\r\n"},
        {"open-end.log", line + line + line.substr(0, 50)},
        {"crlf-only.log", std::string(5000, '\r') + std::string(3, '\n')},
        {"only-breaks.log",
         [] {
             std::string s;
             for (int i = 0; i < 3000; ++i) s += "\r\n";
             return s;
         }()},
        {"lf-only.log", "a\nb\nc\n"},
        {"cr-only.log", "a\rb\rc\r"},
        {"no-break.log", std::string(100000, 'q')},
        // Byte counters of the vector count run full on a long run of line feeds.
        {"all-lf.log", std::string(300000, '\n')},
        {"mixed.log", mixedLog(200000)},
    };
    const std::vector<std::size_t> blockSizes = {1, 2, 3, 7, 31, 33, 4096, 65536};
    for (const auto& c : cases) {
        const auto path = dir.write(c.name, c.bytes);
        const auto size = static_cast<std::int64_t>(c.bytes.size());
        for (const std::int64_t from : {std::int64_t{1}, std::int64_t{6}}) {
            const std::int64_t expected = sequentialTotal(path, from);
            for (const std::size_t block : blockSizes) {
                if (block < 31 && size > 10000) continue;  // byte-sized blocks of big files
                for (const std::int64_t threshold : {std::int64_t{0}, INT64_MAX}) {
                    const CountTuning tuning{
                        .blockBytes = block, .twoThreadsFrom = threshold, .beforeBlock = {}};
                    Channel channel;
                    ASSERT_FALSE(channel.open(path).has_value());
                    channel.seek(from);
                    CountProgress progress;
                    const auto total = lineTotal(channel, progress, tuning);
                    const std::string what = c.name + " from " + std::to_string(from) +
                                             ", blocks of " + std::to_string(block) +
                                             (threshold == 0 ? ", two threads" : "");
                    ASSERT_TRUE(total.has_value()) << what;
                    EXPECT_EQ(*total, expected) << what;
                    EXPECT_EQ(progress.bytesRead.load(), std::max<std::int64_t>(size - from + 1, 0))
                        << what;
                    EXPECT_TRUE(channel.eof()) << what;
                    EXPECT_EQ(channel.position(), std::max(size + 1, from)) << what;
                }
            }
        }
    }

    // The default sizes, and a closed channel.
    const auto big = dir.write("big.log", mixedLog(3 << 20));
    Channel channel;
    ASSERT_FALSE(channel.open(big).has_value());
    CountProgress progress;
    EXPECT_EQ(lineTotal(channel, progress), sequentialTotal(big));
    channel.close();
    EXPECT_EQ(lineTotal(channel, progress), 1);
}

TEST(FastLineCount, CancelStopsAtTheNextBlockAndGivesNothing) {
    TempDir dir;
    const std::string text = mixedLog(100 * 4096);
    const auto path = dir.write("cancel.log", text);
    const auto size = static_cast<std::int64_t>(text.size());
    for (const CountTuning& base : {kOneThread, kTwoThreads}) {
        Channel channel;
        ASSERT_FALSE(channel.open(path).has_value());
        CountProgress before;
        before.cancel = true;
        EXPECT_FALSE(lineTotal(channel, before, base).has_value());
        EXPECT_EQ(before.bytesRead.load(), 0);

        CountProgress progress;
        CountTuning tuning = base;
        tuning.beforeBlock = [&](std::int64_t offset) {
            if (offset == 2 * 4096) progress.cancel = true;
        };
        EXPECT_FALSE(lineTotal(channel, progress, tuning).has_value());
        EXPECT_LT(progress.bytesRead.load(), size);
        if (base.twoThreadsFrom != 0) {
            EXPECT_EQ(progress.bytesRead.load(), 3 * 4096);  // blocks 0, 1 and the one read on
        }

        // Nothing is left behind: the next count gives the full total.
        channel.reloadAt(1);
        CountProgress again;
        EXPECT_EQ(lineTotal(channel, again, base), sequentialTotal(path));
    }
}

TEST(FastLineCount, CountsWhatWasReadWhenTheFileIsCutOrGrowsMeanwhile) {
    TempDir dir;
    const std::string text = mixedLog(50 * 4096);
    const std::int64_t cut = 2 * 4096 + 1234;  // inside block 2, which the first reader reads
    const std::string added = mixedLog(30000);
    const auto prefix = dir.write("prefix.log", text.substr(0, cut));
    const auto whole = dir.write("whole.log", text + added);
    for (const CountTuning& base : {kOneThread, kTwoThreads}) {
        const auto path = dir.write("changing.log", text);
        Channel channel;
        ASSERT_FALSE(channel.open(path).has_value());
        CountProgress progress;
        CountTuning tuning = base;
        // With two readers, the second has read block 3 in full before the cut; the count
        // still ends where block 2 came up short.
        const bool twoThreads = base.twoThreadsFrom == 0;
        std::atomic<bool> block3Read{false};
        tuning.beforeBlock = [&](std::int64_t offset) {
            if (offset == 5 * 4096) block3Read = true;
            if (offset != 0) return;
            while (twoThreads && !block3Read) std::this_thread::yield();
            std::filesystem::resize_file(path, static_cast<std::uintmax_t>(cut));
        };
        EXPECT_EQ(lineTotal(channel, progress, tuning), sequentialTotal(prefix));
        EXPECT_EQ(channel.position(), cut + 1);

        dir.write("changing.log", text);
        channel.reloadAt(1);
        tuning.beforeBlock = [&](std::int64_t offset) {
            if (offset == 0) {
                std::ofstream out(path, std::ios::binary | std::ios::app);
                out << added;
            }
        };
        EXPECT_EQ(lineTotal(channel, progress, tuning), sequentialTotal(whole));
        EXPECT_EQ(progress.bytesRead.load(), static_cast<std::int64_t>(text.size() + added.size()));
    }
}

}  // namespace
