#include "trailscan/gz/gz_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/test_files.h"

namespace {

using testing_support::gzipped;
using testing_support::inflated;
using trailscan::gz::GzReader;

// Log-like lines with runs that compress well and bytes that do not.
std::string sampleData(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string data;
    while (data.size() < size) {
        data += "10.0." + std::to_string(random() % 256) + ".1, user" +
                std::to_string(random() % 50) + ", -, ";
        const int noise = static_cast<int>(random() % 40);
        for (int i = 0; i < noise; ++i) {
            data += static_cast<char>(random() % 256);
        }
        data += "\r\n";
    }
    data.resize(size);
    return data;
}

GzReader readerOf(const std::string& gz, std::int64_t span) {
    return GzReader(
        [&gz](std::int64_t offset, char* into, std::size_t size) -> std::int64_t {
            if (offset >= static_cast<std::int64_t>(gz.size())) {
                return 0;
            }
            const std::size_t n = std::min(size, gz.size() - static_cast<std::size_t>(offset));
            std::copy_n(gz.data() + offset, n, into);
            return static_cast<std::int64_t>(n);
        },
        static_cast<std::int64_t>(gz.size()), span);
}

std::string readAt(GzReader& reader, std::int64_t offset, std::size_t size) {
    std::string bytes(size, '\0');
    const std::int64_t got = reader.readAt(offset, bytes.data(), size);
    bytes.resize(static_cast<std::size_t>(std::max<std::int64_t>(got, 0)));
    return bytes;
}

// Random reads, from several threads at once and before and after the first pass has gone by,
// give the bytes zlib inflates, for files of one member and of several, flushed or not.
TEST(GzReader, AnyReadGivesTheBytesZlibInflates) {
    const std::string a = sampleData(300000, 1);
    const std::string b = sampleData(70000, 2);
    struct Case {
        std::string gz;
        std::string data;
    };
    const std::vector<Case> cases = {
        {gzipped(a), a},
        {gzipped(a, 1, 5000), a},
        {gzipped(a, 9, 777) + gzipped("") + gzipped(b, 6, 3000) + std::string(7, '\0'), a + b},
        {gzipped(""), ""},
    };
    for (std::size_t c = 0; c < cases.size(); ++c) {
        SCOPED_TRACE(c);
        const Case& one = cases[c];
        ASSERT_EQ(inflated(one.gz), one.data);
        GzReader reader = readerOf(one.gz, 4096);
        const auto total = static_cast<std::int64_t>(one.data.size());
        // Ahead of the pass first: the reads go from the front on.
        EXPECT_EQ(readAt(reader, total / 2, 1000), one.data.substr(one.data.size() / 2, 1000));
        std::vector<std::thread> threads;
        std::vector<int> wrong(4, 0);
        for (int t = 0; t < 4; ++t) {
            threads.emplace_back([&, t] {
                std::mt19937 random(static_cast<unsigned>(t));
                for (int i = 0; i < 300; ++i) {
                    const std::int64_t at = total == 0 ? 0 : random() % (total + 100);
                    const std::size_t size = random() % 20000;
                    const std::string expected =
                        at >= total ? "" : one.data.substr(static_cast<std::size_t>(at), size);
                    wrong[static_cast<std::size_t>(t)] += readAt(reader, at, size) != expected;
                }
            });
        }
        for (auto& thread : threads) {
            thread.join();
        }
        EXPECT_EQ(wrong, std::vector<int>(4, 0));
        EXPECT_EQ(reader.size(), total);
        EXPECT_EQ(readAt(reader, 0, one.data.size() + 10), one.data);
        EXPECT_FALSE(reader.damage());
        EXPECT_GE(reader.points(), one.data.size() / 4096 / 40);
        EXPECT_EQ(reader.fileBytesRead(), static_cast<std::int64_t>(one.gz.size()));
    }
}

// A file cut short, damaged or followed by other bytes gives the bytes before the fault, the
// same for every read, and says where it ended.
TEST(GzReader, ADamagedFileGivesTheBytesBeforeTheFaultAndSaysWhere) {
    const std::string data = sampleData(200000, 3);
    const std::string gz = gzipped(data, 6, 10000);
    std::vector<std::pair<std::string, std::string>> cases = {
        {gz.substr(0, gz.size() / 2), "ends early"},
        {gz.substr(0, gz.size() - 3), "ends early"},
        {gz.substr(0, 12), "ends early"},
        {gz + "trailing words", "not gzip data"},
        {gz + gz.substr(0, 40), "ends early"},
    };
    std::string flipped = gz;
    flipped[gz.size() / 3] = static_cast<char>(flipped[gz.size() / 3] ^ 0x55);
    cases.emplace_back(flipped, "damaged");
    std::string badCheck = gz;
    badCheck[gz.size() - 6] = static_cast<char>(badCheck[gz.size() - 6] ^ 1);
    cases.emplace_back(badCheck, "damaged");
    for (const auto& [bytes, why] : cases) {
        SCOPED_TRACE(why + " " + std::to_string(bytes.size()));
        GzReader reader = readerOf(bytes, 2048);
        const std::string whole = readAt(reader, 0, data.size() * 2);
        EXPECT_EQ(static_cast<std::int64_t>(whole.size()), reader.size());
        ASSERT_TRUE(reader.damage());
        EXPECT_NE(reader.damage()->find(why), std::string::npos) << *reader.damage();
        EXPECT_LE(whole.size(), data.size());
        EXPECT_EQ(whole, inflated(bytes));  // all zlib gives, up to the last bit before the end
        if (why != "damaged") {
            EXPECT_EQ(whole, data.substr(0, whole.size()));  // nothing made up before a cut
        }
        // The last bytes one at a time, each inflated from a point: the bits zlib holds past
        // the last input byte come out too.
        for (std::size_t back = 1; back <= std::min<std::size_t>(whole.size(), 3); ++back) {
            const std::size_t at = whole.size() - back;
            EXPECT_EQ(readAt(reader, static_cast<std::int64_t>(at), 1), whole.substr(at, 1));
        }
        std::mt19937 random(5);
        for (int i = 0; i < 100 && !whole.empty(); ++i) {
            const std::size_t at = random() % whole.size();
            ASSERT_EQ(readAt(reader, static_cast<std::int64_t>(at), 5000), whole.substr(at, 5000));
        }
    }
}

}  // namespace
