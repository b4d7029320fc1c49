#pragma once

// The three log layouts and the reader that turns one line into a request.

#include <array>
#include <optional>
#include <string_view>

#include "kestrand/reports/text.h"

namespace kestrand::reports {

enum class Layout { Unknown, W3c, Comma, CommaSamples };

// "w3c", "comma", "comma-samples"; "" for Unknown.
std::string_view layoutName(Layout layout);

// The fields of a comma line; a longer line has its extra fields joined into the agent.
inline constexpr int kCommaFieldCount = 23;

// One request as logged; the views point into the line.
struct Request {
    std::string_view address;
    std::string_view user;
    std::string_view agent;
    std::string_view host;
    std::string_view destination;
    std::string_view bytes;
    std::string_view uri;
    std::string_view mime;
    Date date;
    int seconds = 0;
};

enum class LineKind { Request, Directive, Empty, Skipped };

// The columns a W3C #Fields: directive names; -1 where a column is absent.
struct W3cColumns {
    int address = -1;
    int user = -1;
    int agent = -1;
    int date = -1;
    int time = -1;
    int host = -1;
    int destination = -1;
    int bytes = -1;
    int uri = -1;
    int mime = -1;
    int needed = 0;  // fields a line must have
};
std::optional<W3cColumns> parseFieldsDirective(std::string_view line);

// The layout of a file from its first bytes (whole lines; an unfinished last line is left
// out unless it is all there is).
Layout detectLayout(std::string_view head, bool wholeFile);

class LineReader {
  public:
    explicit LineReader(Layout layout) : layout_(layout) {}
    // line has no line break; a CR before it is allowed.
    LineKind read(std::string_view line, Request& out);
    Layout layout() const { return layout_; }

  private:
    LineKind readComma(std::string_view line, Request& out);
    LineKind readW3c(std::string_view line, Request& out);
    bool readMoment(std::string_view date, std::string_view time, Request& out);

    Layout layout_;
    std::optional<W3cColumns> columns_;
    // The last date text and its value: most lines repeat the date of the line before.
    std::array<char, 16> lastDateText_{};
    std::size_t lastDateSize_ = 0;
    Date lastDate_;
};

// Requests whose agent is the proxy itself: cache refreshes, not users.
bool isProxyAgent(std::string_view agent);

// A placeholder "-" or nothing.
inline bool isPlaceholder(std::string_view field) {
    return field.empty() || (field.size() == 1 && field[0] == '-');
}

}  // namespace kestrand::reports
