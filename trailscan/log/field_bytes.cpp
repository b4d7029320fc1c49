#include "trailscan/log/field_bytes.h"

#include <algorithm>
#include <bit>

#include "common/processor.h"

#if defined(__x86_64__) || defined(_M_X64)
#include <immintrin.h>
#define TS_FIELDS_SSE2 1
#if defined(__GNUC__)
#define TS_FIELDS_AVX2 1
#endif
#endif

namespace trailscan::log {

namespace {

// Bytes equal to one of kBytes.
template <char... kBytes>
std::int64_t countPortable(const char* data, std::size_t size) {
    std::int64_t count = 0;
    for (std::size_t i = 0; i < size; ++i) {
        count += ((data[i] == kBytes) || ...) ? 1 : 0;
    }
    return count;
}

ByteTally tallyPortable(const char* data, std::size_t size) {
    ByteTally tally;
    for (std::size_t i = 0; i < size; ++i) {
        tally.lineFeeds += data[i] == kLineFeed;
        tally.separators += data[i] == kFieldSeparator;
    }
    return tally;
}

#ifdef TS_FIELDS_SSE2
// Each compare gives 0xFF per byte found; subtracting it adds 1 to a byte counter, which is
// summed into 64 bits (psadbw) every 255 rounds, before it can overflow. Bytes equal to one
// of kBytes, 16 at a time.
template <char... kBytes>
std::int64_t countSse2(const char* data, std::size_t size) {
    const __m128i zero = _mm_setzero_si128();
    __m128i total = zero;
    std::size_t i = 0;
    while (size - i >= 16) {
        const std::size_t rounds = std::min<std::size_t>((size - i) / 16, 255);
        __m128i counters = zero;
        for (std::size_t r = 0; r < rounds; ++r, i += 16) {
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
            __m128i found = zero;
            ((found = _mm_or_si128(found, _mm_cmpeq_epi8(bytes, _mm_set1_epi8(kBytes)))), ...);
            counters = _mm_sub_epi8(counters, found);
        }
        total = _mm_add_epi64(total, _mm_sad_epu8(counters, zero));
    }
    return _mm_cvtsi128_si64(total) + _mm_cvtsi128_si64(_mm_unpackhi_epi64(total, total)) +
           countPortable<kBytes...>(data + i, size - i);
}
#endif

#ifdef TS_FIELDS_AVX2
// The same, 32 bytes at a time, for processors that have AVX2.
template <char... kBytes>
__attribute__((target("avx2"))) std::int64_t countAvx2(const char* data, std::size_t size) {
    const __m256i zero = _mm256_setzero_si256();
    __m256i total = zero;
    std::size_t i = 0;
    while (size - i >= 32) {
        const std::size_t rounds = std::min<std::size_t>((size - i) / 32, 255);
        __m256i counters = zero;
        for (std::size_t r = 0; r < rounds; ++r, i += 32) {
            const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + i));
            __m256i found = zero;
            ((found = _mm256_or_si256(found, _mm256_cmpeq_epi8(bytes, _mm256_set1_epi8(kBytes)))),
             ...);
            counters = _mm256_sub_epi8(counters, found);
        }
        total = _mm256_add_epi64(total, _mm256_sad_epu8(counters, zero));
    }
    alignas(32) std::int64_t lanes[4];
    _mm256_store_si256(reinterpret_cast<__m256i*>(lanes), total);
    return lanes[0] + lanes[1] + lanes[2] + lanes[3] + countPortable<kBytes...>(data + i, size - i);
}

// 0xFF where one of 32 bytes equals what `table` gives for its low four bits.
__attribute__((target("avx2"))) inline __m256i fieldEndBytes(__m256i table, const char* at) {
    const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
    return _mm256_cmpeq_epi8(_mm256_shuffle_epi8(table, bytes), bytes);
}

// Commas and LFs together, 128 bytes a round: a byte ends a field when the table indexed by
// its low four bits gives the byte itself. The table holds an LF at 0xA and a comma at 0xC
// and 0x80 elsewhere, which no byte below 0x80 equals; a byte from 0x80 up is looked up as 0.
__attribute__((target("avx2"))) std::int64_t countFieldEndsAvx2(const char* data,
                                                                std::size_t size) {
    static_assert(kLineFeed == 0x0A && kFieldSeparator == 0x2C);
    constexpr char kNone = static_cast<char>(0x80);
    const __m256i table = _mm256_setr_epi8(
        kNone, kNone, kNone, kNone, kNone, kNone, kNone, kNone, kNone, kNone, kLineFeed, kNone,
        kFieldSeparator, kNone, kNone, kNone, kNone, kNone, kNone, kNone, kNone, kNone, kNone,
        kNone, kNone, kNone, kLineFeed, kNone, kFieldSeparator, kNone, kNone, kNone);
    const __m256i zero = _mm256_setzero_si256();
    __m256i total = zero;
    std::size_t i = 0;
    while (size - i >= 128) {
        const std::size_t rounds = std::min<std::size_t>((size - i) / 128, 255);
        __m256i c0 = zero;
        __m256i c1 = zero;
        __m256i c2 = zero;
        __m256i c3 = zero;
        for (std::size_t r = 0; r < rounds; ++r, i += 128) {
            c0 = _mm256_sub_epi8(c0, fieldEndBytes(table, data + i));
            c1 = _mm256_sub_epi8(c1, fieldEndBytes(table, data + i + 32));
            c2 = _mm256_sub_epi8(c2, fieldEndBytes(table, data + i + 64));
            c3 = _mm256_sub_epi8(c3, fieldEndBytes(table, data + i + 96));
        }
        total = _mm256_add_epi64(
            total, _mm256_add_epi64(_mm256_sad_epu8(c0, zero), _mm256_sad_epu8(c1, zero)));
        total = _mm256_add_epi64(
            total, _mm256_add_epi64(_mm256_sad_epu8(c2, zero), _mm256_sad_epu8(c3, zero)));
    }
    alignas(32) std::int64_t lanes[4];
    _mm256_store_si256(reinterpret_cast<__m256i*>(lanes), total);
    return lanes[0] + lanes[1] + lanes[2] + lanes[3] +
           countPortable<kLineFeed, kFieldSeparator>(data + i, size - i);
}

// LFs and commas counted apart, in one pass.
__attribute__((target("avx2"))) ByteTally tallyAvx2(const char* data, std::size_t size) {
    const __m256i lineFeed = _mm256_set1_epi8(kLineFeed);
    const __m256i separator = _mm256_set1_epi8(kFieldSeparator);
    const __m256i zero = _mm256_setzero_si256();
    __m256i lineFeeds = zero;
    __m256i separators = zero;
    std::size_t i = 0;
    while (size - i >= 32) {
        const std::size_t rounds = std::min<std::size_t>((size - i) / 32, 255);
        __m256i lf = zero;
        __m256i sep = zero;
        for (std::size_t r = 0; r < rounds; ++r, i += 32) {
            const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + i));
            lf = _mm256_sub_epi8(lf, _mm256_cmpeq_epi8(bytes, lineFeed));
            sep = _mm256_sub_epi8(sep, _mm256_cmpeq_epi8(bytes, separator));
        }
        lineFeeds = _mm256_add_epi64(lineFeeds, _mm256_sad_epu8(lf, zero));
        separators = _mm256_add_epi64(separators, _mm256_sad_epu8(sep, zero));
    }
    alignas(32) std::int64_t a[4];
    alignas(32) std::int64_t b[4];
    _mm256_store_si256(reinterpret_cast<__m256i*>(a), lineFeeds);
    _mm256_store_si256(reinterpret_cast<__m256i*>(b), separators);
    ByteTally tally = tallyPortable(data + i, size - i);
    tally.lineFeeds += a[0] + a[1] + a[2] + a[3];
    tally.separators += b[0] + b[1] + b[2] + b[3];
    return tally;
}
#endif

#ifdef TS_FIELDS_SSE2
ByteTally tallySse2(const char* data, std::size_t size) {
    const __m128i lineFeed = _mm_set1_epi8(kLineFeed);
    const __m128i separator = _mm_set1_epi8(kFieldSeparator);
    const __m128i zero = _mm_setzero_si128();
    __m128i lineFeeds = zero;
    __m128i separators = zero;
    std::size_t i = 0;
    while (size - i >= 16) {
        const std::size_t rounds = std::min<std::size_t>((size - i) / 16, 255);
        __m128i lf = zero;
        __m128i sep = zero;
        for (std::size_t r = 0; r < rounds; ++r, i += 16) {
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
            lf = _mm_sub_epi8(lf, _mm_cmpeq_epi8(bytes, lineFeed));
            sep = _mm_sub_epi8(sep, _mm_cmpeq_epi8(bytes, separator));
        }
        lineFeeds = _mm_add_epi64(lineFeeds, _mm_sad_epu8(lf, zero));
        separators = _mm_add_epi64(separators, _mm_sad_epu8(sep, zero));
    }
    ByteTally tally = tallyPortable(data + i, size - i);
    tally.lineFeeds +=
        _mm_cvtsi128_si64(lineFeeds) + _mm_cvtsi128_si64(_mm_unpackhi_epi64(lineFeeds, lineFeeds));
    tally.separators += _mm_cvtsi128_si64(separators) +
                        _mm_cvtsi128_si64(_mm_unpackhi_epi64(separators, separators));
    return tally;
}

#endif

#ifdef TS_FIELDS_AVX2
// Bits set where a comma or an LF stands among 64 bytes.
__attribute__((target("avx2"))) std::uint64_t fieldEndMask64(const char* data) {
    const __m256i lineFeed = _mm256_set1_epi8(kLineFeed);
    const __m256i separator = _mm256_set1_epi8(kFieldSeparator);
    const __m256i low = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data));
    const __m256i high = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + 32));
    const auto lowMask = static_cast<std::uint32_t>(_mm256_movemask_epi8(
        _mm256_or_si256(_mm256_cmpeq_epi8(low, lineFeed), _mm256_cmpeq_epi8(low, separator))));
    const auto highMask = static_cast<std::uint32_t>(_mm256_movemask_epi8(
        _mm256_or_si256(_mm256_cmpeq_epi8(high, lineFeed), _mm256_cmpeq_epi8(high, separator))));
    return lowMask | (std::uint64_t{highMask} << 32);
}

__attribute__((target("avx2,popcnt"))) std::size_t findFieldEndAvx2(const char* data,
                                                                    std::size_t size,
                                                                    std::int64_t count) {
    std::size_t i = 0;
    for (; i + 64 <= size; i += 64) {
        std::uint64_t mask = fieldEndMask64(data + i);
        const auto here = static_cast<std::int64_t>(std::popcount(mask));
        if (here < count) {
            count -= here;
            continue;
        }
        while (--count > 0) {
            mask &= mask - 1;
        }
        return i + static_cast<std::size_t>(std::countr_zero(mask));
    }
    for (; i < size; ++i) {
        if (endsField(data[i]) && --count == 0) {
            return i;
        }
    }
    return size;
}

__attribute__((target("avx2,bmi"))) int findFieldEndsAvx2(const char* data, std::size_t size,
                                                          std::size_t* ends, int count) {
    int found = 0;
    std::size_t i = 0;
    for (; i + 64 <= size; i += 64) {
        for (std::uint64_t mask = fieldEndMask64(data + i); mask != 0; mask &= mask - 1) {
            ends[found++] = i + static_cast<std::size_t>(std::countr_zero(mask));
            if (found == count) {
                return found;
            }
        }
    }
    for (; i < size; ++i) {
        if (endsField(data[i])) {
            ends[found++] = i;
            if (found == count) {
                return found;
            }
        }
    }
    return found;
}

#endif

std::size_t findFieldEndPortable(const char* data, std::size_t size, std::int64_t count) {
    for (std::size_t i = 0; i < size; ++i) {
        if (endsField(data[i]) && --count == 0) {
            return i;
        }
    }
    return size;
}

int findFieldEndsPortable(const char* data, std::size_t size, std::size_t* ends, int count) {
    int found = 0;
    for (std::size_t i = 0; i < size && found < count; ++i) {
        if (endsField(data[i])) {
            ends[found++] = i;
        }
    }
    return found;
}

// Bytes equal to one of kBytes, with the widest vectors this processor has.
template <char... kBytes>
std::int64_t countBytes(const char* data, std::size_t size) {
#ifdef TS_FIELDS_AVX2
    if (common::hasAvx2()) {
        return countAvx2<kBytes...>(data, size);
    }
#endif
#ifdef TS_FIELDS_SSE2
    return countSse2<kBytes...>(data, size);
#else
    return countPortable<kBytes...>(data, size);
#endif
}

}  // namespace

int findFieldEnds(const char* data, std::size_t size, std::size_t* ends, int count) {
    if (count <= 0) {
        return 0;
    }
#ifdef TS_FIELDS_AVX2
    if (common::hasAvx2()) {
        return findFieldEndsAvx2(data, size, ends, count);
    }
#endif
    return findFieldEndsPortable(data, size, ends, count);
}

ByteTally tallyLineFeedsAndSeparators(const char* data, std::size_t size) {
#ifdef TS_FIELDS_AVX2
    if (common::hasAvx2()) {
        return tallyAvx2(data, size);
    }
#endif
#ifdef TS_FIELDS_SSE2
    return tallySse2(data, size);
#else
    return tallyPortable(data, size);
#endif
}

std::int64_t countFieldEnds(const char* data, std::size_t size) {
#ifdef TS_FIELDS_AVX2
    if (common::hasAvx2()) {
        return countFieldEndsAvx2(data, size);
    }
#endif
    return countBytes<kLineFeed, kFieldSeparator>(data, size);
}

std::int64_t countLineFeeds(const char* data, std::size_t size) {
    return countBytes<kLineFeed>(data, size);
}

std::size_t findFieldEnd(const char* data, std::size_t size, std::int64_t count) {
    if (count <= 0) {
        return 0;
    }
#ifdef TS_FIELDS_AVX2
    if (common::hasAvx2()) {
        return findFieldEndAvx2(data, size, count);
    }
#endif
    return findFieldEndPortable(data, size, count);
}

}  // namespace trailscan::log
