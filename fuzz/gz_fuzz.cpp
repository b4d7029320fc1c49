// Feeds any bytes to the compressed-log reader as a gzip file: every read, in any order, must
// give the bytes one front-to-back read gave, and nothing may crash or hang. The first byte
// picks the span between access points and seeds the reads' offsets; a gzip header is put in
// front of the rest so the reader gets past its first check.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "trailscan/gz/gz_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    const unsigned pick = data[0];
    std::string file = "\x1f\x8b";
    file.append(reinterpret_cast<const char*>(data + 1), size - 1);
    const auto read = [&file](std::int64_t offset, char* into, std::size_t want) -> std::int64_t {
        if (offset < 0 || offset >= static_cast<std::int64_t>(file.size())) {
            return 0;
        }
        const std::size_t n = std::min(want, file.size() - static_cast<std::size_t>(offset));
        std::copy_n(file.data() + offset, n, into);
        return static_cast<std::int64_t>(n);
    };
    trailscan::gz::GzReader reader(read, static_cast<std::int64_t>(file.size()),
                                   std::int64_t{64} << (pick % 8));
    // Ahead of the first pass, then the whole, then pieces behind it.
    std::string ahead(97, '\0');
    const std::int64_t early = reader.readAt(pick * 7, ahead.data(), ahead.size());
    const std::int64_t total = reader.size();
    if (total > (std::int64_t{64} << 20)) {
        return 0;  // a bomb: the first pass alone is the test
    }
    std::string whole(static_cast<std::size_t>(total), '\0');
    if (reader.readAt(0, whole.data(), whole.size()) != total) {
        std::abort();
    }
    if (early < 0 ||
        (early > 0 && whole.compare(pick * 7, static_cast<std::size_t>(early), ahead.data(),
                                    static_cast<std::size_t>(early)) != 0)) {
        std::abort();
    }
    std::uint32_t state = pick * 2654435761U + 1;
    for (int i = 0; i < 16 && total > 0; ++i) {
        state = state * 1664525U + 1013904223U;
        const auto at = static_cast<std::int64_t>(state % static_cast<std::uint32_t>(total));
        const std::size_t want = (state >> 8) % 5000;
        std::string piece(want, '\0');
        const std::int64_t got = reader.readAt(at, piece.data(), want);
        const std::size_t expected =
            std::min<std::size_t>(want, whole.size() - static_cast<std::size_t>(at));
        if (got != static_cast<std::int64_t>(expected) ||
            whole.compare(static_cast<std::size_t>(at), expected, piece.data(), expected) != 0) {
            std::abort();
        }
    }
    return 0;
}
