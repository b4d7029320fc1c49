#include "trailscan/log/file_panel.h"

#include <string>

#include "trailscan/log/source.h"

namespace trailscan::log {

namespace {
std::u16string lastChars(const std::u16string& text, std::size_t count) {
    return text.size() <= count ? text : text.substr(text.size() - count);
}

// Characters `from` to `from + 1` (0-based); positions past the end give nothing.
std::u16string pair(const std::u16string& text, std::size_t from) {
    return from >= text.size() ? std::u16string() : text.substr(from, 2);
}
}  // namespace

PanelTexts panelTexts(const std::u16string& givenName) {
    // A compressed log is described by the name it had before it was compressed.
    std::u16string fileName = givenName;
    if (fileName.size() >= 3) {
        std::string end;  // the last three characters, those outside ASCII as NUL
        for (std::size_t i = fileName.size() - 3; i < fileName.size(); ++i) {
            end += fileName[i] < 0x80 ? static_cast<char>(fileName[i]) : '\0';
        }
        if (isCompressedName(end)) {
            fileName.resize(fileName.size() - 3);
        }
    }
    PanelTexts texts;
    texts.shownName = lastChars(fileName, 12);
    const std::u16string dateDigits = lastChars(fileName, 10);
    texts.date =
        u"20" + pair(dateDigits, 0) + u"/" + pair(dateDigits, 2) + u"/" + pair(dateDigits, 4);
    const std::u16string kindChars = lastChars(fileName, 11);
    texts.kind = !kindChars.empty() && kindChars.front() == u'3' ? u"Email" : u"Sites";
    return texts;
}

}  // namespace trailscan::log
