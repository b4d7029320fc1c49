#include "trailscan/search/report_layout.h"

#include <algorithm>

#include "trailscan/log/code_page.h"

namespace trailscan::search {

ReportLayout::ReportLayout(const ReportText& text, Measure measure, WordClass isWordChar)
    : text_(text), measure_(std::move(measure)), isWordChar_(std::move(isWordChar)) {
    byteIsWord_.fill(-1);
    setMeasure(measure_);
}

void ReportLayout::setMeasure(Measure measure) {
    measure_ = std::move(measure);
    byteAdvances_.fill(-1);
    wideAdvances_.clear();
    rebuild();
}

void ReportLayout::resetIndex() {
    lineStarts_.assign(1, 0);
    lineX_.assign(1, 0);
    blockX_.clear();
    indexed_ = 0;
    runningX_ = 0;
    widestClosedLine_ = 0;
}

void ReportLayout::rebuild() {
    resetIndex();
    extend();
}

std::int32_t ReportLayout::advanceOf(char16_t c) const {
    if (c < 0x100 && !text_.isWide()) {
        // Bytes and characters below 0x80 and from 0xA0 on are the same in the code page.
        const auto byte = log::encodeWindows1252(std::u16string_view(&c, 1));
        if (byte) {
            return byteAdvance(static_cast<unsigned char>((*byte)[0]));
        }
    }
    const auto known = wideAdvances_.find(c);
    if (known != wideAdvances_.end()) {
        return known->second;
    }
    const std::int32_t width = measure_(c);
    wideAdvances_.emplace(c, width);
    return width;
}

std::int32_t ReportLayout::byteAdvance(unsigned char byte) const {
    std::int32_t& width = byteAdvances_[byte];
    if (width < 0) {
        width = std::max(0, measure_(log::windows1252Char(byte)));
    }
    return width;
}

std::int32_t ReportLayout::advanceAt(Offset offset) const {
    if (text_.isWide()) {
        return advanceOf(text_.at(static_cast<std::size_t>(offset)));
    }
    return byteAdvance(static_cast<unsigned char>(text_.bytes()[static_cast<std::size_t>(offset)]));
}

// One pass over the characters not yet indexed: line starts at each CR LF and the running x,
// recorded at every block boundary.
template <class Advance>
void ReportLayout::indexFrom(Offset i, Advance advance, const char16_t* wide, const char* bytes) {
    const Offset size = this->size();
    const auto unit = [&](Offset at) -> char16_t {
        return wide != nullptr ? wide[at] : static_cast<unsigned char>(bytes[at]);
    };
    constexpr Offset blockMask = kBlockSize - 1;
    std::int64_t x = runningX_;
    const auto blockBoundary = [&](Offset at) {
        if ((at & blockMask) == 0 &&
            static_cast<std::size_t>(at >> kBlockShift) == blockX_.size()) {
            blockX_.push_back(x);
        }
    };
    while (i < size) {
        blockBoundary(i);
        const char16_t c = unit(i);
        if (c == u'\r' && i + 1 < size && unit(i + 1) == u'\n') {
            widestClosedLine_ = std::max(widestClosedLine_, x - lineX_.back());
            blockBoundary(i + 1);
            i += 2;
            lineStarts_.push_back(i);
            lineX_.push_back(x);
            continue;
        }
        x += advance(i);
        ++i;
    }
    indexed_ = size;
    runningX_ = x;
}

void ReportLayout::extend() {
    const Offset size = this->size();
    if (size < indexed_) {
        rebuild();
        return;
    }
    Offset from = indexed_;
    // A CR that ended the earlier text was counted as a character; it may now begin a break.
    if (from > 0 && from < size && text_.at(static_cast<std::size_t>(from - 1)) == u'\r' &&
        text_.at(static_cast<std::size_t>(from)) == u'\n') {
        --from;
        runningX_ -= advanceAt(from);
    }
    if (text_.isWide()) {
        const std::u16string whole = text_.decode(0, text_.size());
        indexFrom(
            from, [&](Offset at) { return advanceAt(at); }, whole.data(), nullptr);
        return;
    }
    // Every byte's advance known up front, so the pass over the bytes is one look-up each.
    for (int byte = 0; byte < 256; ++byte) {
        byteAdvance(static_cast<unsigned char>(byte));
    }
    const auto* table = byteAdvances_.data();
    const char* bytes = text_.bytes().data();
    indexFrom(
        from, [&](Offset at) { return table[static_cast<unsigned char>(bytes[at])]; }, nullptr,
        bytes);
}

ReportLayout::Offset ReportLayout::lineEnd(Offset line) const {
    return line + 1 < lineCount() ? lineStart(line + 1) - 2 : size();
}

ReportLayout::Offset ReportLayout::lineOf(Offset offset) const {
    const auto it = std::upper_bound(lineStarts_.begin(), lineStarts_.end(), offset);
    return std::max<Offset>(0, (it - lineStarts_.begin()) - 1);
}

std::int64_t ReportLayout::xInLine(Offset line, Offset offset) const {
    const Offset start = lineStart(line);
    offset = std::clamp(offset, start, lineEnd(line));
    Offset from = start;
    std::int64_t x = 0;
    if (!blockX_.empty()) {
        const std::size_t block =
            std::min(static_cast<std::size_t>(offset >> kBlockShift), blockX_.size() - 1);
        const Offset blockStart = static_cast<Offset>(block) << kBlockShift;
        if (blockStart > start) {
            from = blockStart;
            x = blockX_[block] - lineX_[static_cast<std::size_t>(line)];
        }
    }
    for (; from < offset; ++from) {
        x += advanceAt(from);
    }
    return x;
}

ReportLayout::Offset ReportLayout::offsetAt(Offset line, std::int64_t x, bool nearest) const {
    const Offset start = lineStart(line);
    const Offset end = lineEnd(line);
    if (x <= 0) {
        return start;
    }
    const std::int64_t lineX = lineX_[static_cast<std::size_t>(line)];
    Offset from = start;
    std::int64_t fromX = 0;
    const auto firstBlock = static_cast<std::size_t>((start + kBlockSize - 1) >> kBlockShift);
    const std::size_t lastBlock =
        std::min(blockX_.size(), static_cast<std::size_t>(end >> kBlockShift) + 1);
    if (firstBlock < lastBlock) {
        const auto first = blockX_.begin() + static_cast<std::ptrdiff_t>(firstBlock);
        const auto last = blockX_.begin() + static_cast<std::ptrdiff_t>(lastBlock);
        auto it = std::upper_bound(first, last, lineX + x);
        if (it != first) {
            --it;
            from = static_cast<Offset>(it - blockX_.begin()) << kBlockShift;
            fromX = *it - lineX;
        }
    }
    for (; from < end; ++from) {
        const std::int32_t width = advanceAt(from);
        if (x < fromX + (nearest ? (width + 1) / 2 : width)) {
            return from;
        }
        fromX += width;
    }
    return end;
}

std::int64_t ReportLayout::maxLineWidth() const {
    return std::max(widestClosedLine_, runningX_ - lineX_.back());
}

bool ReportLayout::isWordAt(Offset offset) const {
    const char16_t c = text_.at(static_cast<std::size_t>(offset));
    if (text_.isWide()) {
        return isWordChar_(c);
    }
    std::int8_t& known =
        byteIsWord_[static_cast<unsigned char>(text_.bytes()[static_cast<std::size_t>(offset)])];
    if (known < 0) {
        known = isWordChar_(c) ? 1 : 0;
    }
    return known == 1;
}

ReportLayout::Offset ReportLayout::wordStart(Offset offset) const {
    const Offset start = lineStart(lineOf(offset));
    if (offset < size() && !isWordAt(offset)) {
        return offset;
    }
    while (offset > start && isWordAt(offset - 1)) {
        --offset;
    }
    return offset;
}

ReportLayout::Offset ReportLayout::wordEnd(Offset offset) const {
    const Offset end = lineEnd(lineOf(offset));
    if (offset < end && !isWordAt(offset)) {
        return offset + 1;
    }
    while (offset < end && isWordAt(offset)) {
        ++offset;
    }
    return offset;
}

}  // namespace trailscan::search
