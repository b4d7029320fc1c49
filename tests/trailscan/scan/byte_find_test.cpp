#include "trailscan/scan/byte_find.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

#include "trailscan/log/field_bytes.h"

namespace {

using trailscan::scan::ByteFinder;

// Text over a few letters, so that the filters' bytes pass often and every plan, with and
// without its third test, has candidates to turn down.
std::string textOf(std::mt19937& random, std::size_t size, std::string_view letters) {
    std::string text(size, ' ');
    for (char& c : text) {
        c = letters[random() % letters.size()];
    }
    return text;
}

// Whatever sample a finder was planned on, it finds what a plain search finds, from every
// start; planned on the text itself, on another text, and on none.
TEST(ByteFinder, AgreesWithAPlainSearchWhateverItWasPlannedOn) {
    std::mt19937 random(7);
    const std::string_view alphabets[] = {"ab", "abc,\n", "page123456", "ab\x80\xff"};
    for (int round = 0; round < 300; ++round) {
        const std::string_view letters = alphabets[round % 4];
        const std::string text = textOf(random, 1000 + random() % 40000, letters);
        const std::string other = textOf(random, 5000, alphabets[(round + 1) % 4]);
        const std::size_t length = 1 + random() % 12;
        std::string needle = textOf(random, length, letters);
        if (round % 3 == 0) {
            // Sure to be there, late in the text.
            const std::size_t at = text.size() - length - random() % 50;
            needle = text.substr(at, length);
        }
        for (const std::string_view sample :
             {std::string_view(text), std::string_view(other), std::string_view()}) {
            const ByteFinder finder(needle, sample);
            for (std::size_t from = 0; from <= text.size(); from += 1 + random() % 3000) {
                ASSERT_EQ(finder.find(text, from), std::string_view(text).find(needle, from))
                    << "round " << round << " needle " << needle << " from " << from;
            }
        }
    }
}

// Field ends counted in blocks agree with a count byte by byte, every byte value and every
// start and length around the vector widths.
TEST(FieldEndCount, AgreesWithCountingByteByByte) {
    std::mt19937 random(11);
    std::string bytes(4096 + 300, ' ');
    for (char& c : bytes) {
        const unsigned r = random() % 8;
        c = r == 0 ? ',' : r == 1 ? '\n' : static_cast<char>(random() % 256);
    }
    for (std::size_t begin = 0; begin < 70; ++begin) {
        for (std::size_t size : {0UL, 1UL, 31UL, 32UL, 127UL, 128UL, 129UL, 1000UL, 4096UL}) {
            const char* data = bytes.data() + begin;
            const auto expected =
                std::count_if(data, data + size, [](char c) { return c == ',' || c == '\n'; });
            ASSERT_EQ(trailscan::log::countFieldEnds(data, size), expected)
                << "begin " << begin << " size " << size;
        }
    }
    // Past 255 rounds of 128 bytes, where the byte counters are summed.
    const std::string many(255 * 128 * 3 + 77, ',');
    EXPECT_EQ(trailscan::log::countFieldEnds(many.data(), many.size()),
              static_cast<std::int64_t>(many.size()));
}

}  // namespace
