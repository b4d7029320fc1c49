#pragma once

// Texts to values that every worker of a run shares: what a slow classification made of
// each distinct text. In shards by the text's hash, each behind a lock of its own, so workers
// rarely wait for one another and never for a classification: a value is made outside the
// lock. Two workers that meet a new text at once may both make its value; the one kept first
// is the one every worker gets.

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string_view>
#include <utility>
#include <vector>

#include "kestrand/reports/key_table.h"

namespace kestrand::reports {

template <typename Value>
class SharedCache {
  public:
    explicit SharedCache(std::uint64_t seed) : seed_(seed) {
        for (auto& shard : shards_) {
            shard = std::make_unique<Shard>(seed);
        }
    }

    // The value kept for text, made by make(text) when there is none.
    template <typename Make>
    Value get(std::string_view text, Make&& make) {
        const std::uint64_t h = hashBytes(text, seed_);
        Shard& shard = *shards_[h >> kShardShift];
        {
            const std::lock_guard lock(shard.mutex);
            if (const std::uint32_t id = shard.keys.find(text, h); id != KeyTable::kMissing) {
                return shard.values[id];
            }
        }
        Value made = make(text);
        const std::lock_guard lock(shard.mutex);
        bool isNew = false;
        const std::uint32_t id = shard.keys.intern(text, h, isNew);
        if (isNew) {
            shard.values.push_back(std::move(made));
        }
        return shard.values[id];
    }

  private:
    struct Shard {
        explicit Shard(std::uint64_t seed) : keys(seed) {}
        std::mutex mutex;
        KeyTable keys;
        std::vector<Value> values;  // by id
    };
    static constexpr std::size_t kShards = 64;
    static constexpr int kShardShift = 58;  // the hash's top bits pick the shard
    std::uint64_t seed_;
    std::array<std::unique_ptr<Shard>, kShards> shards_;
};

}  // namespace kestrand::reports
