#include "trailscan/regex/field_pattern.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

using trailscan::regex::FieldPattern;
using trailscan::regex::requiredLiteral;
using trailscan::regex::Verdict;
using trailscan::regex::withoutAnchors;

// The literal the block search looks for first must be in every match, so anything that may be
// absent, repeated into another text, or read under options is left out; a pattern that may
// match without any literal gives none.
TEST(RequiredLiteral, IsOnlyWhatEveryMatchHolds) {
    const struct {
        const char* pattern;
        const char* literal;
    } cases[] = {
        {"[0-9]{3}\\.exe", ".exe"},
        {"mail\\.[a-z]+\\.(ir|com)", "mail."},
        {"abcd?efg", "abc"},    // d may be absent; the first of two as long
        {"abc+def", "abc"},     // c once at least, then perhaps more
        {"ab{2}cdef", "cdef"},  // b{n}: left out
        {"x(abcdef)?yz", ""},   // the group may be absent; "x", "yz" are short
        {"(?:abc)+tail", "tail"},
        {"[abc]]def", "]def"},  // a class, then a literal ']'
        {"\\dhost\\.ir\\b", "host.ir"},
        {"abc|defgh", ""},   // an alternative at the top
        {"(?i)abcdef", ""},  // options
        {"abc(?i)def", ""},
        {"\\Qabc\\E", ""},
        {"(*UCP)abcdef", ""},
        {"a.c", ""},
        {"(?<=user)name", "name"},
        {"(a)\\1longer", "longer"},
        {"\\x41\\x42\\x43", ""},  // escapes of letters are not read as literals
    };
    for (const auto& c : cases) {
        EXPECT_EQ(requiredLiteral(c.pattern), c.literal) << c.pattern;
    }
}

// Anchors go; what only looks like one (in a class, escaped, quoted, a comment) stays.
TEST(WithoutAnchors, DropsZeroWidthAssertionsOnly) {
    EXPECT_EQ(withoutAnchors("^ab$"), "ab");
    EXPECT_EQ(withoutAnchors("\\Aa\\bb\\Bc\\z\\Z\\G"), "abc");
    EXPECT_EQ(withoutAnchors("[^$]\\^\\$"), "[^$]\\^\\$");
    EXPECT_EQ(withoutAnchors("[]^]x"), "[]^]x");
    EXPECT_EQ(withoutAnchors("\\Q^$\\E^"), "\\Q^$\\E");
    EXPECT_EQ(withoutAnchors("(?#^)a"), "(?#^)a");
    EXPECT_EQ(withoutAnchors("\\p{L}\\x{24}$"), "\\p{L}\\x{24}");
    EXPECT_EQ(withoutAnchors("[[:alpha:]^]$"), "[[:alpha:]^]");
}

// The block scanner may name a place too early, never one after the end of the first match.
// The model: the shortest prefix of the bytes that holds a match, found by the verdicts alone.
// The bytes are mostly one letter and start at a random one of 64 places in memory: wide loads
// of a block scanner have missed matches by where the bytes lay.
TEST(BlockScan, NeverPassesTheFirstMatch) {
    const std::vector<std::string> atoms = {
        "a", "b",      "ab",     "ba",  "a+",      "b?", "[ab]",   "aa",       "abc",
        ".", "a{2,3}", "(a|bc)", "b+a", "mail\\.", "m",  "[a-z]+", "[0-9]{3}", "\\.exe"};
    std::mt19937 random(20261209);
    const auto pick = [&](std::size_t n) {
        return std::uniform_int_distribution<std::size_t>(0, n - 1)(random);
    };
    std::string room(4096 + 64, 'x');
    int scanned = 0;
    for (int round = 0; round < 250; ++round) {
        std::string text;
        for (std::size_t alternative = 0, n = 1 + pick(3); alternative < n; ++alternative) {
            text += alternative > 0 ? "|" : "";
            for (std::size_t k = 0, m = 1 + pick(3); k < m; ++k) text += atoms[pick(atoms.size())];
        }
        std::string error;
        const auto pattern = FieldPattern::compile(text, error);
        ASSERT_NE(pattern, nullptr) << text << ": " << error;
        scanned += pattern->scansBlocks() ? 1 : 0;
        FieldPattern::Matcher matcher(*pattern);
        for (int sample = 0; sample < 24; ++sample) {
            const std::size_t size = 1 + pick(3000);
            const std::size_t shift = pick(64);
            const std::size_t density = pick(6);
            std::fill(room.begin(), room.end(), 'x');
            for (std::size_t i = 0; i < size; ++i) {
                if (pick(100) < density) room[shift + i] = "abcm.e1"[pick(7)];
            }
            const std::string_view bytes(room.data() + shift, size);
            const std::size_t from = pick(4) == 0 ? pick(size) : 0;
            const std::string_view rest = bytes.substr(from);
            const auto holds = [&](std::size_t n) {
                return matcher.test(rest.substr(0, n)) == Verdict::Yes;
            };
            if (!holds(rest.size())) continue;
            std::size_t low = 0, high = rest.size();
            while (low < high) {
                const std::size_t mid = (low + high) / 2;
                holds(mid) ? high = mid : low = mid + 1;
            }
            const std::size_t firstEnd = from + (low > 0 ? low - 1 : 0);
            const std::size_t candidate = matcher.nextCandidate(bytes, from);
            ASSERT_LE(candidate, firstEnd)
                << text << " over " << size << " bytes at shift " << shift << " from " << from;
        }
    }
    EXPECT_GT(scanned, 200);  // the block scanner is what is tried here
}

}  // namespace
