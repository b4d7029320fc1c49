// Texts that a log could bring to make the engine's tables slow: keys whose hashes are all the
// same under a table's seed. The work of a lookup is counted, not timed.
#include "kestrand/reports/key_table.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using kestrand::reports::hashBytes;
using kestrand::reports::hashStart;
using kestrand::reports::hashStep;
using kestrand::reports::KeyTable;

// Keys of 16 bytes whose second word undoes the first: after it every key's hash state is the
// same, so under `seed` they all have one hash.
std::vector<std::string> collidingKeys(std::uint64_t seed, std::size_t count) {
    std::vector<std::string> keys;
    for (std::uint64_t first = 1; first <= count; ++first) {
        const std::uint64_t second = hashStep(hashStart(seed, 16), first) ^ 0x5EED;
        std::string key(16, '\0');
        std::memcpy(key.data(), &first, 8);
        std::memcpy(key.data() + 8, &second, 8);
        keys.push_back(key);
    }
    return keys;
}

// The comparisons each key cost, in blocks of `block` keys, while the keys are added and
// other texts are added between them (so the table grows past them).
std::vector<double> costPerKey(KeyTable& table, const std::vector<std::string>& keys,
                               std::size_t block) {
    std::vector<double> costs;
    std::uint64_t before = table.comparisons();
    for (std::size_t i = 0; i < keys.size(); ++i) {
        const std::size_t id = table.size();
        bool isNew = false;
        EXPECT_EQ(table.intern(keys[i], isNew), id);
        EXPECT_TRUE(isNew);
        table.intern("other " + std::to_string(i));
        if ((i + 1) % block == 0) {
            const std::uint64_t now = table.comparisons();
            costs.push_back(static_cast<double>(now - before) / static_cast<double>(2 * block));
            before = now;
        }
    }
    return costs;
}

TEST(KeyTable, KeysThatCollideUnderItsSeedCostNoMoreLateThanEarly) {
    constexpr std::uint64_t kSeed = 0x1234;
    const std::vector<std::string> keys = collidingKeys(kSeed, 20000);
    for (const std::string& key : keys) {
        ASSERT_EQ(hashBytes(key, kSeed), hashBytes(keys[0], kSeed));
    }

    KeyTable table(kSeed);
    const std::vector<double> costs = costPerKey(table, keys, 2000);
    // The first block fills the slots the hash points to; after it, a key costs the same
    // wherever it comes, instead of one comparison more for every key before it.
    for (std::size_t b = 2; b < costs.size(); ++b) {
        EXPECT_LT(costs[b], 1.5 * costs[1]) << ::testing::PrintToString(costs);
    }

    // Every key, near its slot or not, is found again under its id, also after the growing.
    for (std::uint32_t id = 0; id < table.size(); ++id) {
        ASSERT_EQ(table.find(table.key(id)), id);
        bool isNew = true;
        ASSERT_EQ(table.intern(table.key(id), isNew), id);
        ASSERT_FALSE(isNew);
    }
    EXPECT_EQ(table.find("never added"), KeyTable::kMissing);

    // Under another seed the same keys do not collide at all.
    KeyTable seeded(kSeed + 1);
    const std::vector<double> spread = costPerKey(seeded, keys, 2000);
    for (const double cost : spread) {
        EXPECT_LT(cost, 4.0) << ::testing::PrintToString(spread);
    }
}

}  // namespace
