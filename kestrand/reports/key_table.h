#pragma once

// Compact hash tables for the aggregation: strings are copied once into an arena and given
// dense ids, so every per-key figure lives in a plain vector indexed by id. Memory grows with
// the distinct keys only.

#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <string_view>
#include <vector>

namespace kestrand::reports {

__extension__ using Wide = unsigned __int128;

// A seed for the hashes of one run. Texts in a log cannot be chosen to collide in a table
// without it, and it is never shown.
inline std::uint64_t randomHashSeed() {
    std::random_device device;
    return (static_cast<std::uint64_t>(device()) << 32) ^ device();
}

inline constexpr std::uint64_t kHashMultiplier = 0x9E3779B97F4A7C15ull;

// The hash of a byte string under a seed, 8 bytes a step: the state before the first step,
// a step (multiply and fold), and the last mixing.
inline std::uint64_t hashStart(std::uint64_t seed, std::size_t size) {
    return seed ^ 0x243F6A8885A308D3ull ^ (size * kHashMultiplier);
}
inline std::uint64_t hashStep(std::uint64_t h, std::uint64_t word) {
    const Wide m = static_cast<Wide>(h ^ word) * kHashMultiplier;
    return static_cast<std::uint64_t>(m) ^ static_cast<std::uint64_t>(m >> 64);
}
inline std::uint64_t hashBytes(std::string_view text, std::uint64_t seed) {
    std::uint64_t h = hashStart(seed, text.size());
    const char* p = text.data();
    std::size_t n = text.size();
    while (n >= 8) {
        std::uint64_t word;
        std::memcpy(&word, p, 8);
        h = hashStep(h, word);
        p += 8;
        n -= 8;
    }
    if (n > 0) {
        std::uint64_t word = 0;
        std::memcpy(&word, p, n);
        h = hashStep(h, word);
    }
    h ^= h >> 29;
    h *= 0xBF58476D1CE4E5B9ull;
    h ^= h >> 32;
    return h;
}

// A summary of a text from its size and three of its 8-byte words, without a loop: texts that
// differ mostly differ in it, so a list of candidates is checked without reading their bytes.
inline std::uint64_t fingerprint(std::string_view text) {
    const std::size_t n = text.size();
    std::uint64_t head = 0;
    std::uint64_t middle = 0;
    std::uint64_t tail = 0;
    if (n >= 8) {
        std::memcpy(&head, text.data(), 8);
        std::memcpy(&middle, text.data() + n / 2 - 4, 8);
        std::memcpy(&tail, text.data() + n - 8, 8);
    } else {
        for (std::size_t i = 0; i < n; ++i) {
            head = (head << 8) | static_cast<unsigned char>(text[i]);
        }
    }
    return ((head * 0x9E3779B97F4A7C15ull) ^ middle) * 0xBF58476D1CE4E5B9ull ^ tail ^
           (static_cast<std::uint64_t>(n) << 48);
}

// Whether size bytes at a and b are the same. Texts of the logs' keys are short: up to 16
// bytes are compared in two overlapping words each way, without a call.
[[gnu::always_inline]] inline bool sameBytes(const char* a, const char* b, std::size_t size) {
    if (size >= 8 && size <= 16) {
        std::uint64_t a0, a1, b0, b1;
        std::memcpy(&a0, a, 8);
        std::memcpy(&b0, b, 8);
        std::memcpy(&a1, a + size - 8, 8);
        std::memcpy(&b1, b + size - 8, 8);
        return ((a0 ^ b0) | (a1 ^ b1)) == 0;
    }
    if (size >= 4 && size < 8) {
        std::uint32_t a0, a1, b0, b1;
        std::memcpy(&a0, a, 4);
        std::memcpy(&b0, b, 4);
        std::memcpy(&a1, a + size - 4, 4);
        std::memcpy(&b1, b + size - 4, 4);
        return ((a0 ^ b0) | (a1 ^ b1)) == 0;
    }
    if (size < 4) {
        for (std::size_t i = 0; i < size; ++i) {
            if (a[i] != b[i]) {
                return false;
            }
        }
        return true;
    }
    return std::memcmp(a, b, size) == 0;
}
[[gnu::always_inline]] inline bool sameText(std::string_view a, std::string_view b) {
    return a.size() == b.size() && sameBytes(a.data(), b.data(), a.size());
}

inline std::uint64_t hashNumber(std::uint64_t x) {
    x ^= x >> 30;
    x *= 0xBF58476D1CE4E5B9ull;
    x ^= x >> 27;
    x *= 0x94D049BB133111EBull;
    x ^= x >> 31;
    return x;
}

// Bytes that never move once written, so string_views into them stay valid.
class Arena {
  public:
    std::string_view store(std::string_view text) {
        if (text.size() > blockSize_ / 4) {
            big_.push_back(std::make_unique<char[]>(text.size() + 1));
            std::memcpy(big_.back().get(), text.data(), text.size());
            return {big_.back().get(), text.size()};
        }
        if (used_ + text.size() > blockSize_ || blocks_.empty()) {
            // Left unwritten: a table of few keys (a shard of a cache) takes only the memory
            // its keys fill.
            blocks_.push_back(std::make_unique_for_overwrite<char[]>(blockSize_));
            used_ = 0;
        }
        char* out = blocks_.back().get() + used_;
        if (!text.empty()) {
            std::memcpy(out, text.data(), text.size());
        }
        used_ += text.size();
        return {out, text.size()};
    }

  private:
    static constexpr std::size_t blockSize_ = 1 << 16;
    std::vector<std::unique_ptr<char[]>> blocks_;
    std::vector<std::unique_ptr<char[]>> big_;
    std::size_t used_ = 0;
};

// Distinct strings to dense ids 0, 1, 2, ... in order of first sight. A slot holds the
// key's place in the arena, so a lookup touches the slot and the key's bytes only. No key is
// placed further than kLongestProbe slots from where its hash points; keys that would be go
// to an ordered map instead, so that texts whose hashes collide cost a bounded probe and a
// logarithmic search each rather than a walk past all the keys before them.
class KeyTable {
  public:
    static constexpr std::uint32_t kMissing = 0xFFFFFFFFu;
    static constexpr std::uint32_t kLongestProbe = 64;

    explicit KeyTable(std::uint64_t seed) : seed_(seed) { slots_.assign(16, Slot{}); }

    // The hash a precomputed-hash call below takes.
    std::uint64_t hash(std::string_view text) const { return hashBytes(text, seed_); }

    // The id of text, added if new; isNew tells which.
    std::uint32_t intern(std::string_view text, bool& isNew) {
        return intern(text, hash(text), isNew);
    }
    // The same with hash(text) already known.
    std::uint32_t intern(std::string_view text, std::uint64_t h, bool& isNew) {
        const auto tag = static_cast<std::uint32_t>(h >> 32) | 1u;
        const std::size_t mask = slots_.size() - 1;
        std::size_t i = h & mask;
        for (std::uint32_t probes = 1;; ++probes, i = (i + 1) & mask) {
            Slot& slot = slots_[i];
            if (slot.tag == 0) {
                compared_ += probes;
                return internNew(text, h, &slot, isNew);
            }
            if (slot.tag == tag && slot.size == text.size() &&
                sameBytes(slot.bytes, text.data(), text.size())) {
                compared_ += probes;
                isNew = false;
                return slot.id;
            }
            if (probes == kLongestProbe) {
                compared_ += probes;
                return internNew(text, h, nullptr, isNew);
            }
        }
    }
    std::uint32_t intern(std::string_view text) {
        bool isNew = false;
        return intern(text, isNew);
    }
    std::uint32_t find(std::string_view text) const { return find(text, hash(text)); }
    std::uint32_t find(std::string_view text, std::uint64_t h) const {
        const auto tag = static_cast<std::uint32_t>(h >> 32) | 1u;
        const std::size_t mask = slots_.size() - 1;
        std::size_t i = h & mask;
        for (std::uint32_t probes = 1;; ++probes, i = (i + 1) & mask) {
            const Slot& slot = slots_[i];
            if (slot.tag == tag && slot.size == text.size() &&
                sameBytes(slot.bytes, text.data(), text.size())) {
                compared_ += probes;
                return slot.id;
            }
            if (slot.tag == 0 || probes == kLongestProbe) {
                compared_ += probes;
                return findLong(text);
            }
        }
    }
    // Starts loading the slot where a key of this hash is looked up first.
    void prefetch(std::uint64_t h) const { __builtin_prefetch(&slots_[h & (slots_.size() - 1)]); }
    std::size_t size() const { return keys_.size(); }
    std::string_view key(std::uint32_t id) const { return keys_[id]; }
    // Slots and keys of the ordered map looked at so far: the work of every lookup.
    std::uint64_t comparisons() const {
        return compared_ + (overflow_ != nullptr ? overflow_->compared : 0);
    }

  private:
    struct Slot {
        const char* bytes = nullptr;
        std::uint32_t size = 0;
        std::uint32_t tag = 0;
        std::uint32_t id = 0;
        std::uint32_t low = 0;  // the hash's low half: growing never reads the keys again
    };
    struct CountingLess {
        std::uint64_t* count;
        bool operator()(std::string_view a, std::string_view b) const {
            ++*count;
            return a < b;
        }
    };
    // The keys placed too far from their slot, with their count of comparisons (kept beside
    // the map, so that a moved table still counts).
    struct Overflow {
        Overflow() = default;
        Overflow(const Overflow&) = delete;
        Overflow& operator=(const Overflow&) = delete;
        std::uint64_t compared = 0;
        std::map<std::string_view, std::uint32_t, CountingLess> keys{CountingLess{&compared}};
    };

    std::uint32_t findLong(std::string_view text) const {
        if (overflow_ == nullptr) {
            return kMissing;
        }
        const auto it = overflow_->keys.find(text);
        return it == overflow_->keys.end() ? kMissing : it->second;
    }
    // text was not in the slots; free is the empty slot found for it, or nothing when the
    // probe ran too long.
    std::uint32_t internNew(std::string_view text, std::uint64_t h, Slot* free, bool& isNew) {
        if (const std::uint32_t id = findLong(text); id != kMissing) {
            isNew = false;
            return id;
        }
        isNew = true;
        const auto id = static_cast<std::uint32_t>(keys_.size());
        const std::string_view stored = arena_.store(text);
        keys_.push_back(stored);
        if (free != nullptr) {
            *free =
                Slot{stored.data(), static_cast<std::uint32_t>(text.size()),
                     static_cast<std::uint32_t>(h >> 32) | 1u, id, static_cast<std::uint32_t>(h)};
        } else {
            placeFar(stored, id);
        }
        if (keys_.size() * 2 > slots_.size()) {
            grow();
        }
        return id;
    }
    void placeFar(std::string_view stored, std::uint32_t id) {
        if (overflow_ == nullptr) {
            overflow_ = std::make_unique<Overflow>();
        }
        overflow_->keys.emplace(stored, id);
    }
    void grow() {
        std::vector<Slot> old(slots_.size() * 2);
        old.swap(slots_);
        const std::size_t mask = slots_.size() - 1;
        for (const Slot& slot : old) {
            if (slot.tag == 0) {
                continue;
            }
            std::size_t i = slot.low & mask;
            std::uint32_t probes = 1;
            while (slots_[i].tag != 0 && probes < kLongestProbe) {
                i = (i + 1) & mask;
                ++probes;
            }
            if (slots_[i].tag == 0) {
                slots_[i] = slot;
            } else {
                placeFar(keys_[slot.id], slot.id);
            }
        }
    }

    std::uint64_t seed_;
    std::vector<Slot> slots_;
    std::vector<std::string_view> keys_;
    Arena arena_;
    std::unique_ptr<Overflow> overflow_;
    mutable std::uint64_t compared_ = 0;
};

// A set of 64-bit numbers (pairs of ids), open addressing; the value ~0 is reserved. The
// numbers are seeded before they are mixed, so ids in the order a log brings them cannot be
// made to gather in a few slots.
class NumberSet {
  public:
    explicit NumberSet(std::uint64_t seed) : seed_(seed) { slots_.assign(16, kEmpty); }
    bool insert(std::uint64_t value) {
        std::size_t mask = slots_.size() - 1;
        for (std::size_t i = slotOf(value) & mask;; i = (i + 1) & mask) {
            if (slots_[i] == value) {
                return false;
            }
            if (slots_[i] == kEmpty) {
                slots_[i] = value;
                if (++size_ * 2 > slots_.size()) {
                    grow();
                }
                return true;
            }
        }
    }
    // Inserts many, loading the slots of the ones ahead while one is placed.
    void insertAll(const std::vector<std::uint64_t>& values) {
        constexpr std::size_t kAhead = 8;
        // A batch bigger than the set (a whole summary's) is given its room at once.
        if (values.size() > size_) {
            while ((size_ + values.size()) * 2 > slots_.size()) {
                grow();
            }
        }
        for (std::size_t i = 0; i < values.size(); ++i) {
            if (i + kAhead < values.size()) {
                __builtin_prefetch(&slots_[slotOf(values[i + kAhead]) & (slots_.size() - 1)]);
            }
            insert(values[i]);
        }
    }
    std::size_t size() const { return size_; }
    template <typename Visit>
    void forEach(Visit&& visit) const {
        for (const std::uint64_t value : slots_) {
            if (value != kEmpty) {
                visit(value);
            }
        }
    }

  private:
    static constexpr std::uint64_t kEmpty = ~0ull;
    std::uint64_t slotOf(std::uint64_t value) const { return hashNumber(value ^ seed_); }
    void grow() {
        std::vector<std::uint64_t> old(slots_.size() * 2, kEmpty);
        old.swap(slots_);
        const std::size_t mask = slots_.size() - 1;
        for (const std::uint64_t value : old) {
            if (value == kEmpty) {
                continue;
            }
            std::size_t i = slotOf(value) & mask;
            while (slots_[i] != kEmpty) {
                i = (i + 1) & mask;
            }
            slots_[i] = value;
        }
    }
    std::uint64_t seed_;
    std::vector<std::uint64_t> slots_;
    std::size_t size_ = 0;
};

// Requests and bytes by a 64-bit number (a pair of ids), open addressing; the value ~0 is
// reserved. Counted in batches, whose slots are loaded ahead while one is counted.
class NumberTraffic {
  public:
    struct Entry {
        std::uint64_t key = 0;
        std::uint64_t requests = 0;
        std::uint64_t bytes = 0;
    };
    explicit NumberTraffic(std::uint64_t seed) : seed_(seed) { slots_.assign(16, Entry{kEmpty}); }
    void add(std::uint64_t key, std::uint64_t requests, std::uint64_t bytes) {
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t i = slotOf(key) & mask;; i = (i + 1) & mask) {
            Entry& slot = slots_[i];
            if (slot.key == key) {
                slot.requests += requests;
                slot.bytes += bytes;
                return;
            }
            if (slot.key == kEmpty) {
                slot = Entry{key, requests, bytes};
                if (++size_ * 4 > slots_.size() * 3) {
                    grow();
                }
                return;
            }
        }
    }
    void addAll(const std::vector<Entry>& entries) {
        constexpr std::size_t kAhead = 8;
        for (std::size_t i = 0; i < entries.size(); ++i) {
            if (i + kAhead < entries.size()) {
                __builtin_prefetch(&slots_[slotOf(entries[i + kAhead].key) & (slots_.size() - 1)]);
            }
            add(entries[i].key, entries[i].requests, entries[i].bytes);
        }
    }
    std::size_t size() const { return size_; }
    template <typename Visit>
    void forEach(Visit&& visit) const {
        for (const Entry& slot : slots_) {
            if (slot.key != kEmpty) {
                visit(slot);
            }
        }
    }

  private:
    static constexpr std::uint64_t kEmpty = ~0ull;
    std::uint64_t slotOf(std::uint64_t key) const { return hashNumber(key ^ seed_); }
    void grow() {
        std::vector<Entry> old(slots_.size() * 2, Entry{kEmpty});
        old.swap(slots_);
        const std::size_t mask = slots_.size() - 1;
        for (const Entry& slot : old) {
            if (slot.key == kEmpty) {
                continue;
            }
            std::size_t i = slotOf(slot.key) & mask;
            while (slots_[i].key != kEmpty) {
                i = (i + 1) & mask;
            }
            slots_[i] = slot;
        }
    }
    std::uint64_t seed_;
    std::vector<Entry> slots_;
    std::size_t size_ = 0;
};

inline std::uint64_t pairKey(std::uint32_t high, std::uint32_t low) {
    return (static_cast<std::uint64_t>(high) << 32) | low;
}

}  // namespace kestrand::reports
