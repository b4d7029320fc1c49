#pragma once

// The stored texts as a screen reader should read them.

#include <string>
#include <string_view>

namespace kestrand::text {

// How the two parts of a stored text stand around its left-to-right mark: in reading order
// (the chart's series name) or swapped so that a left-to-right control shows them right (the
// dialog's button captions).
enum class PartOrder { Reading, Swapped };

// The mark only steers drawing: read aloud, the two parts come in reading order and make one
// word, joined by a zero-width non-joiner. Kashidas only stretch a word on screen.
inline std::u16string spokenCaption(std::u16string_view stored, PartOrder order) {
    std::u16string caption;
    if (const auto mark = stored.find(u'\u200E'); mark != std::u16string_view::npos) {
        const std::u16string_view first = stored.substr(0, mark);
        const std::u16string_view second = stored.substr(mark + 1);
        caption = order == PartOrder::Swapped
                      ? std::u16string(second) + u'\u200C' + std::u16string(first)
                      : std::u16string(first) + u'\u200C' + std::u16string(second);
    } else {
        caption = stored;
    }
    std::erase(caption, u'\u0640');
    return caption;
}

// A label's colon is stored first so that it shows at the left end; read aloud it ends the
// caption.
inline std::u16string spokenLabel(std::u16string_view stored) {
    if (stored.starts_with(u':')) {
        return std::u16string(stored.substr(1)) + u':';
    }
    return std::u16string(stored);
}

}  // namespace kestrand::text
