#include "trailscan/report/report_text.h"

#include <algorithm>

#include "common/code_pages.h"
#include "trailscan/scan/byte_find.h"

namespace trailscan::report {

using scan::findBytes;
using scan::findBytesBackward;

namespace {

// UTF-8 of UTF-16 text; a lone surrogate becomes U+FFFD.
std::string toUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size() * 3);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] < 0xE000) {
            common::appendUtf8(out,
                               0x10000 + ((char32_t{c} - 0xD800) << 10) + (text[i + 1] - 0xDC00));
            ++i;
        } else if (c >= 0xD800 && c < 0xE000) {
            common::appendUtf8(out, 0xFFFD);
        } else {
            common::appendUtf8(out, c);
        }
    }
    return out;
}

}  // namespace

void ReportText::clear() {
    bytes_.clear();
    wide_.reset();
}

void ReportText::assignBytes(std::string bytes) {
    wide_.reset();
    bytes_ = std::move(bytes);
}

void ReportText::assignWide(std::u16string text) {
    bytes_.clear();
    wide_ = std::move(text);
}

std::string ReportText::releaseBytes() {
    std::string out = std::move(bytes_);
    bytes_ = std::string();
    wide_.reset();
    return out;
}

void ReportText::append(std::string_view bytes) {
    if (wide_) {
        wide_->append(common::decodeWindows1252(bytes));
    } else {
        bytes_.append(bytes);
    }
}

char16_t ReportText::at(std::size_t offset) const {
    if (wide_) {
        return (*wide_)[offset];
    }
    return common::windows1252Char(static_cast<unsigned char>(bytes_[offset]));
}

void ReportText::decode(std::size_t from, std::size_t to, char16_t* out) const {
    if (wide_) {
        std::copy(wide_->begin() + static_cast<std::ptrdiff_t>(from),
                  wide_->begin() + static_cast<std::ptrdiff_t>(to), out);
    } else {
        common::decodeWindows1252(std::string_view(bytes_).substr(from, to - from), out);
    }
}

std::u16string ReportText::decode(std::size_t from, std::size_t to) const {
    std::u16string out(to - from, u'\0');
    decode(from, to, out.data());
    return out;
}

std::string_view ReportText::savedBytes(std::string& scratch) const {
    if (!wide_) {
        return bytes_;
    }
    scratch = toUtf8(*wide_);
    return scratch;
}

std::optional<std::size_t> ReportText::findForward(std::u16string_view needle,
                                                   std::size_t from) const {
    std::size_t at = std::string_view::npos;
    if (wide_) {
        at = needle.empty() ? at : std::u16string_view(*wide_).find(needle, from);
    } else if (const auto bytes = common::encodeWindows1252(needle)) {
        at = findBytes(bytes_, *bytes, from);
    }
    return at == std::string_view::npos ? std::nullopt : std::optional<std::size_t>(at);
}

std::optional<std::size_t> ReportText::findBackward(std::u16string_view needle,
                                                    std::size_t to) const {
    std::size_t at = std::string_view::npos;
    if (wide_) {
        if (!needle.empty() && needle.size() <= std::min(to, wide_->size())) {
            at = std::u16string_view(*wide_).rfind(needle,
                                                   std::min(to, wide_->size()) - needle.size());
        }
    } else if (const auto bytes = common::encodeWindows1252(needle)) {
        at = findBytesBackward(bytes_, *bytes, to);
    }
    return at == std::string_view::npos ? std::nullopt : std::optional<std::size_t>(at);
}

}  // namespace trailscan::report
