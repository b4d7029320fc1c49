#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <unordered_map>
#include <vector>

#include "trailscan/search/report_text.h"

namespace trailscan::search {

// Where the characters of a report stand when it is laid out without wrapping: lines end at
// CR LF and nowhere else, and every character takes its own advance (no kerning), so the x of
// a character is the sum of the advances before it in its line. Per-line start offsets and the
// running x at every 4096th character find the x of any offset and the offset at any x in
// O(log n + 4096), so a line of hundreds of millions of characters costs nothing to scroll.
// Widths are in 1/64 pixel. The text is read, never copied; rebuild() or extend() follow a
// change of it.
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
    Offset lineCount() const { return static_cast<Offset>(lineStarts_.size()); }
    Offset lineStart(Offset line) const { return lineStarts_[static_cast<std::size_t>(line)]; }
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

    std::int32_t advanceAt(Offset offset) const;
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

    // Line i starts at lineStarts_[i] and at x lineX_[i] of the text laid out as one row
    // (line breaks have no width); blockX_[k] is that x at offset k * kBlockSize.
    std::vector<Offset> lineStarts_;
    std::vector<std::int64_t> lineX_;
    std::vector<std::int64_t> blockX_;
    Offset indexed_ = 0;
    std::int64_t runningX_ = 0;
    std::int64_t widestClosedLine_ = 0;
};

}  // namespace trailscan::search
