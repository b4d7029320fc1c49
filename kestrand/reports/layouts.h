#pragma once

// The log layouts and the reader that turns one line into a request.

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "kestrand/reports/text.h"
#include "kestrand/reports/time_zone.h"

namespace kestrand::reports {

enum class Layout { Unknown, W3c, Comma, CommaSamples, Squid, SquidCombined };

// "w3c", "comma", "comma-samples", "squid", "squid-combined"; "" for Unknown.
std::string_view layoutName(Layout layout);

// The fields of a comma line; a longer line has its extra fields joined into the agent.
inline constexpr int kCommaFieldCount = 23;

// One request as logged; the views point into the line, the user and agent sometimes into
// the reader (decoded), until the next line is read.
struct Request {
    std::string_view address;
    std::string_view user;
    std::string_view agent;
    std::string_view host;
    std::string_view destination;
    std::string_view bytes;
    std::string_view uri;
    std::string_view mime;
    // The query of a W3C log that writes it apart (cs-uri-query): the URI is then uri?query.
    std::string_view query;
    Date date;  // in the report's time zone
    int seconds = 0;
    bool agentLogged = true;  // false where the layout or the line has no agent
    bool refused = false;     // the proxy refused it
    bool cached = false;      // served from the proxy's cache
    bool tunnel = false;      // CONNECT host:port: never a page
};

enum class LineKind { Request, Directive, Empty, Skipped };

// The columns a W3C #Fields: directive names; -1 where a column is absent. Where the proxy's
// own name is missing, the web server's is read (cs(User-Agent), cs-host, s-ip, cs-uri-stem).
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
    int query = -1;  // cs-uri-query, read only with cs-uri-stem
    int mime = -1;
    int status = -1;
    int action = -1;
    int source = -1;  // s-object-source
    int needed = 0;   // fields a line must have
};
std::optional<W3cColumns> parseFieldsDirective(std::string_view line);

// The layout of a file from its first bytes (whole lines; an unfinished last line is left
// out unless it is all there is).
Layout detectLayout(std::string_view head, bool wholeFile);

class LineReader {
  public:
    // Times logged in UTC (W3C, Squid's seconds) or with an offset are turned into zone's
    // local time; zone must outlive the reader. Without a zone, into UTC. The comma layouts'
    // times are local already and stay as logged.
    explicit LineReader(Layout layout, const TimeZone* zone = nullptr);
    // line has no line break; a CR before it is allowed.
    LineKind read(std::string_view line, Request& out);
    Layout layout() const { return layout_; }

  private:
    LineKind readComma(std::string_view line, Request& out);
    LineKind readW3c(std::string_view line, Request& out);
    LineKind readSquid(std::string_view line, Request& out);
    LineKind readSquidCombined(std::string_view line, Request& out);
    // The date as logged, through the cache below; false when it is no date.
    bool readDate(std::string_view date, Date& out);
    bool readMoment(std::string_view date, std::string_view time, Request& out);
    // Sets the request's local day and time from seconds since the epoch in UTC; false for
    // a day outside the years 1900 to 9999.
    bool setMoment(std::int64_t utc, Request& out);

    Layout layout_;
    LocalClock clock_;
    std::optional<W3cColumns> columns_;
    // The last date text and its value: most lines repeat the date of the line before.
    std::array<char, 16> lastDateText_{};
    std::size_t lastDateSize_ = 0;
    Date lastDate_;
    std::int64_t lastDateDays_ = 0;  // lastDate_ as days since 1970-01-01
    // The last local day set and its date.
    std::int64_t lastLocalDay_ = 0;
    Date lastLocalDate_;
    bool haveLocalDay_ = false;
    std::string userScratch_;
    std::string agentScratch_;
};

// A status that says the proxy refused the request: 407 (authentication first) and the
// refusals of the old proxy and its successors (12202 URL denied, 12204 port not allowed,
// 12209 authorization needed, 12217 rejected by the HTTP filter, 12302 the server denied it).
bool isRefusedStatus(std::string_view status);

// Requests whose agent is the proxy itself: cache refreshes, not users.
bool isProxyAgent(std::string_view agent);

// A placeholder "-" or nothing.
inline bool isPlaceholder(std::string_view field) {
    return field.empty() || (field.size() == 1 && field[0] == '-');
}

}  // namespace kestrand::reports
