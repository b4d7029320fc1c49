#include "trailscan/scan/byte_find.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <system_error>
#include <thread>

#include "common/processor.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define TS_FIND_X86 1
#endif

namespace trailscan::scan {

namespace {

constexpr std::size_t npos = std::string_view::npos;
// Below this many start positions one thread is quicker than starting a second.
constexpr std::size_t kParallelFrom = std::size_t{16} << 20;
// How often the second thread looks whether the first has already found the answer.
constexpr std::size_t kStopCheck = std::size_t{1} << 20;
// The backward search looks at windows before `to`, growing from this size.
constexpr std::size_t kFirstBackwardWindow = std::size_t{256} << 10;
constexpr std::size_t kLargestBackwardWindow = std::size_t{16} << 20;

// How common a byte is in a report of log text, the most common first; bytes not listed are
// rare. The filter tests the needle's two rarest bytes, so few places pass it.
constexpr std::array<std::uint8_t, 256> kCommonness = [] {
    std::array<std::uint8_t, 256> table{};
    constexpr std::string_view kByFrequency =
        " |.e0tao1in2s3r54-6/h98l7c:dmupgwfybvESATNORIkCLDMPHxWGUBFjqzKVYXJQZ,_=?&%\r\n";
    for (std::size_t i = 0; i < kByFrequency.size(); ++i) {
        table[static_cast<unsigned char>(kByFrequency[i])] = static_cast<std::uint8_t>(255 - i);
    }
    return table;
}();

// The needle and where its two rarest bytes stand in it.
struct Needle {
    const char* data;
    std::size_t size;
    std::size_t first;   // offset of the rarest byte
    std::size_t second;  // offset of the next rarest (the same one for a single byte)
    // The needle's last byte, or its first, whichever is not one of the two: a third test
    // for needles whose rarest bytes are common together in the text ("page" of "page123456").
    std::size_t third;
    char a;
    char b;
    char c;
    bool useThird = true;
};

Needle plan(std::string_view needle) {
    const auto commonness = [&](std::size_t i) {
        return kCommonness[static_cast<unsigned char>(needle[i])];
    };
    std::size_t first = 0;
    for (std::size_t i = 1; i < needle.size(); ++i) {
        if (commonness(i) < commonness(first)) {
            first = i;
        }
    }
    std::size_t second = first;
    for (std::size_t i = 0; i < needle.size(); ++i) {
        if (i != first && (second == first || commonness(i) < commonness(second))) {
            second = i;
        }
    }
    std::size_t third = needle.size() - 1;
    if (third == first || third == second) {
        third = 0;
        if (third == first || third == second) {
            third = second;
        }
    }
    return {needle.data(), needle.size(), first,          second,
            third,         needle[first], needle[second], needle[third]};
}

// How many start positions of `sample` have the needle's bytes at offsets i and j (and k,
// unless it is npos).
std::size_t passCount(std::string_view sample, std::string_view needle, std::size_t i,
                      std::size_t j, std::size_t k) {
    const std::size_t starts = sample.size() - needle.size() + 1;
    // 1 where the sample holds the needle's byte `at` at start p: summed without branches.
    const auto holds = [&](std::size_t p, std::size_t at) {
        return static_cast<std::size_t>(sample[p + at] == needle[at]);
    };
    std::size_t count = 0;
    if (k == npos) {
        for (std::size_t p = 0; p < starts; ++p) {
            count += holds(p, i) & holds(p, j);
        }
        return count;
    }
    for (std::size_t p = 0; p < starts; ++p) {
        count += holds(p, i) & holds(p, j) & holds(p, k);
    }
    return count;
}

// The plan tried on a sample of the text: of the needle's bytes rarest there (at most
// kTried), the pair that the fewest places pass; and where that pair still passes more than
// one place in kThirdFrom, the third of them that cuts the most.
Needle planOn(std::string_view needle, std::string_view sample) {
    constexpr std::size_t kTried = 6;
    constexpr std::size_t kThirdFrom = 512;
    Needle n = plan(needle);
    if (needle.size() < 2 || sample.size() < needle.size() + 1024) {
        return n;
    }
    std::array<std::size_t, 256> seen{};
    for (const char ch : sample) {
        ++seen[static_cast<unsigned char>(ch)];
    }
    std::array<std::size_t, kTried> tried{};
    std::size_t triedCount = 0;
    // The first kTried offsets by their byte's count in the sample, rarest first.
    for (std::size_t i = 0; i < needle.size(); ++i) {
        const auto often = [&](std::size_t at) {
            return seen[static_cast<unsigned char>(needle[at])];
        };
        std::size_t slot = triedCount;
        while (slot > 0 && often(tried[slot - 1]) > often(i)) {
            if (slot < kTried) {
                tried[slot] = tried[slot - 1];
            }
            --slot;
        }
        if (slot < kTried) {
            tried[slot] = i;
            triedCount = std::min(triedCount + 1, kTried);
        }
    }
    std::size_t best = npos;
    for (std::size_t x = 0; x < triedCount; ++x) {
        for (std::size_t y = x + 1; y < triedCount; ++y) {
            const std::size_t passed = passCount(sample, needle, tried[x], tried[y], npos);
            if (passed < best) {
                best = passed;
                n.first = tried[x];
                n.second = tried[y];
            }
        }
    }
    n.useThird = false;
    if (best * kThirdFrom > sample.size()) {
        std::size_t bestThird = best;
        for (std::size_t z = 0; z < triedCount; ++z) {
            if (tried[z] == n.first || tried[z] == n.second) {
                continue;
            }
            const std::size_t passed = passCount(sample, needle, n.first, n.second, tried[z]);
            if (passed < bestThird) {
                bestThird = passed;
                n.third = tried[z];
                n.useThird = true;
            }
        }
    }
    n.a = needle[n.first];
    n.b = needle[n.second];
    n.c = needle[n.third];
    return n;
}

bool matchesAt(const char* text, std::size_t start, const Needle& n) {
    return std::memcmp(text + start, n.data, n.size) == 0;
}

// Start positions [begin, end) one at a time, from the rarest byte's occurrences.
std::size_t scanScalar(const char* text, std::size_t begin, std::size_t end, const Needle& n) {
    const char* base = text + n.first;
    for (std::size_t p = begin; p < end;) {
        const void* hit = std::memchr(base + p, n.a, end - p);
        if (hit == nullptr) {
            return npos;
        }
        p = static_cast<std::size_t>(static_cast<const char*>(hit) - base);
        if (text[p + n.second] == n.b && matchesAt(text, p, n)) {
            return p;
        }
        ++p;
    }
    return npos;
}

#ifdef TS_FIND_X86
template <class Mask>
std::size_t verify(const char* text, std::size_t at, Mask mask, const Needle& n) {
    while (mask != 0) {
        const auto bit = static_cast<std::size_t>(__builtin_ctzll(mask));
        if (matchesAt(text, at + bit, n)) {
            return at + bit;
        }
        mask &= mask - 1;
    }
    return npos;
}

// Loads at p + first and p + second stay inside the text: p + 16 <= end and end + second is
// at most the text's size.
std::size_t scanSse2(const char* text, std::size_t begin, std::size_t end, const Needle& n) {
    const __m128i a = _mm_set1_epi8(n.a);
    const __m128i b = _mm_set1_epi8(n.b);
    std::size_t p = begin;
    for (; p + 16 <= end; p += 16) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + p + n.first));
        const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + p + n.second));
        const auto mask = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(x, a), _mm_cmpeq_epi8(y, b))));
        if (mask != 0) {
            if (const std::size_t found = verify(text, p, mask, n); found != npos) {
                return found;
            }
        }
    }
    return scanScalar(text, p, end, n);
}

template <bool kThird>
__attribute__((target("avx2"))) inline __m256i pairMask(const char* text, std::size_t at,
                                                        const Needle& n, __m256i a, __m256i b,
                                                        __m256i c) {
    const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(text + at + n.first));
    const __m256i y = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(text + at + n.second));
    const __m256i pair = _mm256_and_si256(_mm256_cmpeq_epi8(x, a), _mm256_cmpeq_epi8(y, b));
    if constexpr (!kThird) {
        return pair;
    }
    const __m256i z = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(text + at + n.third));
    return _mm256_and_si256(pair, _mm256_cmpeq_epi8(z, c));
}

template <bool kThird>
__attribute__((target("avx2"))) std::size_t scanAvx2(const char* text, std::size_t begin,
                                                     std::size_t end, const Needle& n) {
    const __m256i a = _mm256_set1_epi8(n.a);
    const __m256i b = _mm256_set1_epi8(n.b);
    const __m256i c = _mm256_set1_epi8(n.c);
    std::size_t p = begin;
    for (; p + 64 <= end; p += 64) {
        const __m256i low = pairMask<kThird>(text, p, n, a, b, c);
        const __m256i high = pairMask<kThird>(text, p + 32, n, a, b, c);
        if (_mm256_testz_si256(_mm256_or_si256(low, high), _mm256_or_si256(low, high)) != 0) {
            continue;
        }
        const std::uint64_t mask =
            static_cast<std::uint32_t>(_mm256_movemask_epi8(low)) |
            (std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(high))} << 32);
        if (const std::size_t found = verify(text, p, mask, n); found != npos) {
            return found;
        }
    }
    return scanSse2(text, p, end, n);
}

#endif

// The first match among start positions [begin, end).
std::size_t scan(const char* text, std::size_t begin, std::size_t end, const Needle& n) {
#ifdef TS_FIND_X86
    if (!common::hasAvx2()) {
        return scanSse2(text, begin, end, n);
    }
    return n.useThird ? scanAvx2<true>(text, begin, end, n) : scanAvx2<false>(text, begin, end, n);
#else
    return scanScalar(text, begin, end, n);
#endif
}

// The same with the later half of a long range searched on a second thread, which stops as
// soon as the first half has an answer.
std::size_t scanShared(const char* text, std::size_t begin, std::size_t end, const Needle& n) {
    if (end - begin < kParallelFrom) {
        return scan(text, begin, end, n);
    }
    const std::size_t middle = begin + (end - begin) / 2;
    std::atomic<bool> firstHalfFound{false};
    std::size_t later = npos;
    std::thread second;
    try {
        second = std::thread([&] {
            for (std::size_t at = middle;
                 at < end && !firstHalfFound.load(std::memory_order_relaxed); at += kStopCheck) {
                later = scan(text, at, std::min(end, at + kStopCheck), n);
                if (later != npos) {
                    return;
                }
            }
        });
    } catch (const std::system_error&) {
        return scan(text, begin, end, n);
    }
    const std::size_t earlier = scan(text, begin, middle, n);
    if (earlier != npos) {
        firstHalfFound.store(true, std::memory_order_relaxed);
    }
    second.join();
    return earlier != npos ? earlier : later;
}

}  // namespace

ByteFinder::ByteFinder(std::string_view needle) : ByteFinder(needle, {}) {}

ByteFinder::ByteFinder(std::string_view needle, std::string_view sample) : needle_(needle) {
    if (!needle.empty()) {
        const Needle n = planOn(needle, sample);
        first_ = n.first;
        second_ = n.second;
        third_ = n.third;
        useThird_ = n.useThird;
    }
}

std::size_t ByteFinder::find(std::string_view text, std::size_t from) const {
    if (needle_.empty() || needle_.size() > text.size() || from > text.size() - needle_.size()) {
        return npos;
    }
    const Needle n{needle_.data(),  needle_.size(),   first_,          second_,  third_,
                   needle_[first_], needle_[second_], needle_[third_], useThird_};
    return scan(text.data(), from, text.size() - needle_.size() + 1, n);
}

std::size_t findBytes(std::string_view text, std::string_view needle, std::size_t from) {
    if (needle.empty() || needle.size() > text.size() || from > text.size() - needle.size()) {
        return npos;
    }
    return scanShared(text.data(), from, text.size() - needle.size() + 1, plan(needle));
}

std::size_t findBytesBackward(std::string_view text, std::string_view needle, std::size_t to) {
    to = std::min(to, text.size());
    if (needle.empty() || needle.size() > to) {
        return npos;
    }
    const Needle n = plan(needle);
    // Windows of start positions, nearest first; within one, the last match is the answer.
    std::size_t end = to - needle.size() + 1;
    std::size_t window = kFirstBackwardWindow;
    while (end > 0) {
        const std::size_t begin = end > window ? end - window : 0;
        std::size_t last = npos;
        for (std::size_t at = scanShared(text.data(), begin, end, n); at != npos;
             at = scan(text.data(), at + 1, end, n)) {
            last = at;
        }
        if (last != npos) {
            return last;
        }
        end = begin;
        window = std::min(window * 2, kLargestBackwardWindow);
    }
    return npos;
}

}  // namespace trailscan::scan
