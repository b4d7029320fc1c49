#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace trailscan::regex {

// A regular expression matched anywhere inside a log's field, as the literal searches match
// their text. PCRE2 (with its JIT) gives every verdict, on the field's bytes alone, so `^` and
// `$` stand at the field's ends. Where vectorscan can compile the pattern, or a looser one (its
// anchors left out, or its prefilter form), it scans whole blocks for the places a match may
// end, and only the records there are taken apart.
//
// Patterns are bytes in the log's code page, matched byte by byte (no UTF), case-sensitive
// unless the pattern says `(?i)`. Every match stops at a step limit, so no pattern can hang a
// search.

enum class Verdict { No, Yes, Limit };

class FieldPattern {
  public:
    // The pattern, or nothing with `error` set to a line such as
    // "The regular expression is not valid: missing closing parenthesis at position 4."
    static std::unique_ptr<FieldPattern> compile(std::string_view pattern, std::string& error);
    ~FieldPattern();
    FieldPattern(const FieldPattern&) = delete;
    FieldPattern& operator=(const FieldPattern&) = delete;

    // Whether blocks are scanned by vectorscan; without it every record is a candidate.
    bool scansBlocks() const;
    const std::string& pattern() const { return pattern_; }
    // Bytes every match holds (requiredLiteral), empty when none is known; the longest a
    // match of the block scanner's pattern can be, npos when there is no bound.
    const std::string& literal() const { return literal_; }
    std::size_t maxMatchBytes() const { return maxMatchBytes_; }

    // What one thread needs to match: PCRE2's match data, vectorscan's scratch.
    class Matcher {
      public:
        explicit Matcher(const FieldPattern& pattern);
        ~Matcher();
        Matcher(const Matcher&) = delete;
        Matcher& operator=(const Matcher&) = delete;

        // Whether `field` holds a match; Limit when the match passed its step limit.
        Verdict test(std::string_view field);
        // The first offset at or after `from` where a match of the pattern may end: its last
        // byte, or where an empty match stands. Every field that holds a match and begins at
        // or after `from` has such an offset within it. npos when there is none; `from` when
        // blocks are not scanned. Only matches that end before `end` are looked for.
        std::size_t nextCandidate(std::string_view bytes, std::size_t from,
                                  std::size_t end = std::string_view::npos);

      private:
        const FieldPattern& pattern_;
        struct State;
        std::unique_ptr<State> state_;
    };

  private:
    FieldPattern() = default;
    struct Compiled;
    std::string pattern_;
    std::string literal_;
    std::size_t maxMatchBytes_ = std::string_view::npos;
    std::unique_ptr<Compiled> compiled_;
};

// A pattern with a character the log's code page cannot hold.
inline constexpr std::string_view kPatternOutsideCodePage =
    "The regular expression is not valid: it holds a character the log's code page does not "
    "have.";

// PCRE2's steps for one field before a match gives up (its match limit).
inline constexpr std::uint32_t kMatchLimit = 10'000'000;

// The pattern with its zero-width anchors (^, $, \A, \z, \Z, \G, \b, \B) left out: it matches
// wherever the pattern does, and more, so it may choose the records the pattern is tried on.
std::string withoutAnchors(std::string_view pattern);

// The longest run of bytes that every match of the pattern holds as they stand, found in the
// pattern's top-level sequence ("exe" and "." of `[0-9]{3}\.exe` give ".exe"); empty when
// there is none of three bytes or more, or the pattern has an alternative at its top level,
// options (such as `(?i)`) or \Q.
std::string requiredLiteral(std::string_view pattern);

}  // namespace trailscan::regex
