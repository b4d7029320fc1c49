#pragma once

#include <string>

namespace trailscan::log {

// The search window's description of a log, read from the end of its file name, which
// the proxy service writes as two letters, the date as yymmdd and ".log"
// (for example "X3010214.log"). Nothing checks that a name has this shape. A name ending in
// ".gz" (any case) is read without it, as the log was named before it was compressed.
struct PanelTexts {
    std::u16string shownName;  // the last 12 characters (the whole name when shorter)
    std::u16string date;       // "20yy/mm/dd" from the last 10 characters
    std::u16string kind;       // "Email" when the 11th character from the end is '3', else "Sites"
};

PanelTexts panelTexts(const std::u16string& fileName);

}  // namespace trailscan::log
