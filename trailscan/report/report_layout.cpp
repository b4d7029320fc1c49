#include "trailscan/report/report_layout.h"

#include <algorithm>
#include <cstring>

#include "common/code_pages.h"

namespace trailscan::report {

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
    groupStarts_.assign(1, 0);
    known_ = {};
    blockLines_.clear();
    blockX_.clear();
    lineCount_ = 1;
    lastLineStart_ = 0;
    lastLineX_ = 0;
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
        const auto byte = common::encodeWindows1252(std::u16string_view(&c, 1));
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
        width = std::max(0, measure_(common::windows1252Char(byte)));
    }
    return width;
}

std::int32_t ReportLayout::advanceAt(Offset offset) const {
    if (text_.isWide()) {
        return advanceOf(text_.at(static_cast<std::size_t>(offset)));
    }
    return byteAdvance(static_cast<unsigned char>(text_.bytes()[static_cast<std::size_t>(offset)]));
}

// One pass over the characters not yet indexed: the line count and the running x, with the
// start of every 64th line and the line and x at every block boundary. Within a block the
// characters up to the next CR are summed in a loop of their own.
template <class Advance>
void ReportLayout::indexFrom(Offset i, Advance advance, const char16_t* wide, const char* bytes) {
    const Offset size = this->size();
    const auto unit = [&](Offset at) -> char16_t {
        return wide != nullptr ? wide[at] : static_cast<unsigned char>(bytes[at]);
    };
    const auto nextCr = [&](Offset from, Offset stop) -> Offset {
        if (wide != nullptr) {
            return static_cast<Offset>(std::find(wide + from, wide + stop, u'\r') - wide);
        }
        const void* cr = std::memchr(bytes + from, '\r', static_cast<std::size_t>(stop - from));
        return cr != nullptr ? static_cast<const char*>(cr) - bytes : stop;
    };
    constexpr Offset blockMask = kBlockSize - 1;
    std::int64_t x = runningX_;
    const auto blockBoundary = [&](Offset at) {
        if ((at & blockMask) == 0 &&
            static_cast<std::size_t>(at >> kBlockShift) == blockX_.size()) {
            blockX_.push_back(x);
            blockLines_.push_back(lineCount_ - 1);
        }
    };
    while (i < size) {
        blockBoundary(i);
        const Offset stop = std::min(size, (i | blockMask) + 1);
        const Offset cr = nextCr(i, stop);
        for (; i < cr; ++i) {
            x += advance(i);
        }
        if (i == stop) {
            continue;
        }
        if (i + 1 < size && unit(i + 1) == u'\n') {
            widestClosedLine_ = std::max(widestClosedLine_, x - lastLineX_);
            blockBoundary(i + 1);
            i += 2;
            if ((lineCount_ & kGroupMask) == 0) {
                groupStarts_.push_back(i);
            }
            ++lineCount_;
            lastLineStart_ = i;
            lastLineX_ = x;
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

ReportLayout::Offset ReportLayout::nextBreak(Offset from, Offset limit) const {
    const Offset size = this->size();
    limit = std::min(limit, size - 1);
    if (!text_.isWide()) {
        const char* bytes = text_.bytes().data();
        while (from < limit) {
            const auto* cr = static_cast<const char*>(
                std::memchr(bytes + from, '\r', static_cast<std::size_t>(limit - from)));
            if (cr == nullptr) {
                return -1;
            }
            const Offset at = cr - bytes;
            if (bytes[at + 1] == '\n') {
                return at;
            }
            from = at + 1;
        }
        return -1;
    }
    for (; from < limit; ++from) {
        if (text_.at(static_cast<std::size_t>(from)) == u'\r' &&
            text_.at(static_cast<std::size_t>(from + 1)) == u'\n') {
            return from;
        }
    }
    return -1;
}

ReportLayout::Offset ReportLayout::lineStart(Offset line) const {
    if (line >= lineCount_ - 1) {
        return lastLineStart_;
    }
    const auto group = static_cast<std::size_t>(line >> kGroupShift);
    Offset from = groupStarts_[group];
    Offset fromLine = line & ~kGroupMask;
    if (fromLine == line) {
        return from;
    }
    // The last block that begins in an earlier line: the line starts within one block after it.
    const auto after = std::lower_bound(blockLines_.begin(), blockLines_.end(), line);
    if (after != blockLines_.begin()) {
        const Offset blockStart = static_cast<Offset>(after - blockLines_.begin() - 1)
                                  << kBlockShift;
        if (blockStart > from) {
            from = blockStart;
            fromLine = *(after - 1);
        }
    }
    for (const KnownStart& known : known_) {
        if (known.line == line) {
            return known.start;
        }
        if (known.line < line && known.start > from) {
            from = known.start;
            fromLine = known.line;
        }
    }
    // A break that begins just before `from` may still start a line after it.
    for (Offset at = std::max<Offset>(0, from - 1);; at += 2) {
        at = nextBreak(at, size());
        if (at < 0) {
            return lastLineStart_;
        }
        if (++fromLine == line) {
            known_[nextKnown_] = {line, at + 2};
            nextKnown_ ^= 1;
            return at + 2;
        }
    }
}

ReportLayout::Offset ReportLayout::lineEnd(Offset line) const {
    return line + 1 < lineCount() ? lineStart(line + 1) - 2 : size();
}

ReportLayout::Offset ReportLayout::lineOf(Offset offset) const {
    const auto after = std::upper_bound(groupStarts_.begin(), groupStarts_.end(), offset);
    const auto group = std::max<std::ptrdiff_t>(0, (after - groupStarts_.begin()) - 1);
    Offset from = groupStarts_[static_cast<std::size_t>(group)];
    Offset line = static_cast<Offset>(group) << kGroupShift;
    if (offset >= 0 && !blockLines_.empty()) {
        // The end of a text that fills its last block lies on a boundary not yet recorded.
        const std::size_t block =
            std::min(static_cast<std::size_t>(offset >> kBlockShift), blockLines_.size() - 1);
        if ((static_cast<Offset>(block) << kBlockShift) > from) {
            from = static_cast<Offset>(block) << kBlockShift;
            line = blockLines_[block];
        }
    }
    for (const KnownStart& known : known_) {
        if (known.start <= offset && known.start > from) {
            from = known.start;
            line = known.line;
        }
    }
    // Breaks whose next line starts in (from, offset].
    for (Offset at = std::max<Offset>(0, from - 1);; at += 2) {
        at = nextBreak(at, offset - 1);
        if (at < 0) {
            return line;
        }
        ++line;
    }
}

std::int64_t ReportLayout::advances(Offset from, Offset to) const {
    std::int64_t x = 0;
    for (; from < to; ++from) {
        x += advanceAt(from);
    }
    return x;
}

std::int64_t ReportLayout::xBetween(Offset start, Offset offset) const {
    if (!blockX_.empty()) {
        const std::size_t block =
            std::min(static_cast<std::size_t>(offset >> kBlockShift), blockX_.size() - 1);
        const Offset blockStart = static_cast<Offset>(block) << kBlockShift;
        if (blockStart > start) {
            // Across the blocks between the first boundary in the line and the offset's.
            const auto first = static_cast<std::size_t>((start + kBlockSize - 1) >> kBlockShift);
            return advances(start, static_cast<Offset>(first) << kBlockShift) + blockX_[block] -
                   blockX_[first] + advances(blockStart, offset);
        }
    }
    return advances(start, offset);
}

std::int64_t ReportLayout::xInLine(Offset line, Offset offset) const {
    const Offset start = lineStart(line);
    return xBetween(start, std::clamp(offset, start, lineEnd(line)));
}

ReportLayout::Offset ReportLayout::offsetAt(Offset line, std::int64_t x, bool nearest) const {
    const Offset start = lineStart(line);
    const Offset end = lineEnd(line);
    if (x <= 0) {
        return start;
    }
    Offset from = start;
    std::int64_t fromX = 0;
    const auto firstBlock = static_cast<std::size_t>((start + kBlockSize - 1) >> kBlockShift);
    const std::size_t lastBlock =
        std::min(blockX_.size(), static_cast<std::size_t>(end >> kBlockShift) + 1);
    if (firstBlock < lastBlock) {
        // The line's x in the text laid out as one row.
        const std::int64_t lineX =
            blockX_[firstBlock] - advances(start, static_cast<Offset>(firstBlock) << kBlockShift);
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
    return std::max(widestClosedLine_, runningX_ - lastLineX_);
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

}  // namespace trailscan::report
