#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <unordered_map>
#include <vector>

#include "trailscan/report/report_text.h"

namespace trailscan::report {

// Where the characters of a report stand when it is laid out without wrapping: lines end at
// CR LF and nowhere else, and every character takes its own advance (no kerning), so the x of
// a character is the sum of the advances before it in its line. The index is sparse, so that a
// report of millions of short lines takes a few bytes per line at most: the start of every 64th
// line, and the line and running x at every 4096th character. Any line start, line of an offset,
// x of an offset or offset at an x is found in O(log n) plus a scan of fewer than 64 line breaks
// or 2 x 4096 characters, so a line of hundreds of millions of characters costs nothing to
// scroll either. Widths are in 1/64 pixel. The text is read, never copied; rebuild() or
// extend() follow a change of it.
class ReportLayout {
  public:
    using Offset = std::ptrdiff_t;
    static constexpr std::int64_t kFixedOne = 64;
    // The advance of a character as the view paints it, asked once per distinct character.
    using Measure = std::function<std::int32_t(char16_t)>;
    using WordClass = std::function<bool(char16_t)>;

    ReportLayout(const ReportText& text, Measure measure, WordClass isWordChar);

    // The font changed: every advance is measured again.
    void setMeasure(Measure measure);
    // The text was replaced.
    void rebuild();
    // Characters were appended to the text since the last rebuild or extend.
    void extend();

    Offset size() const { return static_cast<Offset>(text_.size()); }
    Offset lineCount() const { return lineCount_; }
    Offset lineStart(Offset line) const;
    // The offset of the line's CR LF, or the end of the text for the last line.
    Offset lineEnd(Offset line) const;
    Offset lineOf(Offset offset) const;
    // The x of an offset from its line's start; offsets outside the line are clamped to it.
    std::int64_t xInLine(Offset line, Offset offset) const;
    // nearest: the character boundary closest to x; otherwise the character that covers x.
    // x past the line's end gives lineEnd.
    Offset offsetAt(Offset line, std::int64_t x, bool nearest) const;
    std::int64_t maxLineWidth() const;
    std::int32_t advanceOf(char16_t c) const;

    // The word around an offset (letters, digits and '_'); a character that is not part of a
    // word is a word of its own. Neither crosses a line break.
    Offset wordStart(Offset offset) const;
    Offset wordEnd(Offset offset) const;

  private:
    static constexpr int kBlockShift = 12;
    static constexpr Offset kBlockSize = Offset{1} << kBlockShift;
    static constexpr int kGroupShift = 6;
    static constexpr Offset kGroupMask = (Offset{1} << kGroupShift) - 1;

    std::int32_t advanceAt(Offset offset) const;
    // The sum of the advances of [from, to), which holds no line break.
    std::int64_t advances(Offset from, Offset to) const;
    // The x of `offset` from `start`, both in one line.
    std::int64_t xBetween(Offset start, Offset offset) const;
    // The first CR followed by an LF at or after `from` and before `limit`; -1 if none.
    Offset nextBreak(Offset from, Offset limit) const;
    std::int32_t byteAdvance(unsigned char byte) const;
    bool isWordAt(Offset offset) const;
    template <class Advance>
    void indexFrom(Offset from, Advance advance, const char16_t* wide, const char* bytes);
    void resetIndex();

    const ReportText& text_;
    Measure measure_;
    WordClass isWordChar_;
    // Advances of the 256 bytes (-1 until measured), and of the characters of a UTF-16 text.
    mutable std::array<std::int32_t, 256> byteAdvances_{};
    mutable std::unordered_map<char16_t, std::int32_t> wideAdvances_;
    mutable std::array<std::int8_t, 256> byteIsWord_{};

    // groupStarts_[g] is where line g * 64 starts. blockLines_[k] is the line of offset
    // k * kBlockSize and blockX_[k] its x in the text laid out as one row (line breaks have no
    // width).
    std::vector<Offset> groupStarts_;
    std::vector<Offset> blockLines_;
    std::vector<std::int64_t> blockX_;
    Offset lineCount_ = 1;
    // The last two line starts looked up: painting asks for a line and the next one, row
    // after row, and each is then one line's scan from the one before.
    struct KnownStart {
        Offset line = 0;
        Offset start = 0;
    };
    mutable std::array<KnownStart, 2> known_{};
    mutable std::size_t nextKnown_ = 0;
    Offset lastLineStart_ = 0;
    std::int64_t lastLineX_ = 0;
    Offset indexed_ = 0;
    std::int64_t runningX_ = 0;
    std::int64_t widestClosedLine_ = 0;
};

}  // namespace trailscan::report
