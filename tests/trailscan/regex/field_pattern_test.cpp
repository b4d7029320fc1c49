#include "trailscan/regex/field_pattern.h"

#include <gtest/gtest.h>

namespace {

using trailscan::regex::requiredLiteral;
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

}  // namespace
