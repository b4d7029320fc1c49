#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace trailscan::report {

// The text of the report box: the log's Windows-1252 bytes, one byte a character, decoded
// only where it meets the screen, the clipboard or a screen reader. A text that the code page
// cannot hold (a typed heading of a record-number search) is held as UTF-16 instead; such a
// report is a few lines long, so the second form never holds a big report.
class ReportText {
  public:
    bool isWide() const { return wide_.has_value(); }
    std::size_t size() const { return wide_ ? wide_->size() : bytes_.size(); }
    bool empty() const { return size() == 0; }

    void clear();
    void assignBytes(std::string bytes);
    void assignWide(std::u16string text);
    // Takes the bytes out, leaving the text empty; a caller builds the next report in their
    // memory instead of fresh pages.
    std::string releaseBytes();
    // Appends log bytes (decoded when the text is held as UTF-16).
    void append(std::string_view bytes);

    // The held bytes; empty when the text is held as UTF-16.
    std::string_view bytes() const { return wide_ ? std::string_view() : bytes_; }
    char16_t at(std::size_t offset) const;
    // Characters [from, to) into out, which has room for to - from.
    void decode(std::size_t from, std::size_t to, char16_t* out) const;
    std::u16string decode(std::size_t from, std::size_t to) const;
    // The form a saved report takes: the bytes exactly as held; a text held as UTF-16 in UTF-8,
    // which keeps every typed character.
    std::string_view savedBytes(std::string& scratch) const;

    // Where `needle` next occurs: the first occurrence starting at or after `from`, or the last
    // one ending at or before `to` (exact characters, so case matters). Nothing for an empty
    // needle or one with a character the text cannot hold.
    std::optional<std::size_t> findForward(std::u16string_view needle, std::size_t from) const;
    std::optional<std::size_t> findBackward(std::u16string_view needle, std::size_t to) const;

  private:
    std::string bytes_;
    std::optional<std::u16string> wide_;
};

}  // namespace trailscan::report
