#include <array>
#include <cstdio>
#include <string>

#include "kestrand/reports/engine.h"
#include "kestrand/reports/text.h"

namespace kestrand::reports {

namespace {

constexpr std::array<const char*, kPlaceCount> kPlaceKeys{"inside", "outside", "local", "unknown"};

void appendJsonString(std::string& out, std::string_view raw) {
    const std::string text = displayText(raw);
    out += '"';
    for (const char c : text) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x",
                                  static_cast<unsigned char>(c));
                    out += escaped;
                } else {
                    out += c;
                }
        }
    }
    out += '"';
}

// A small writer that keeps commas and indentation right.
class Json {
  public:
    std::string out;

    void key(std::string_view name) {
        separate();
        appendJsonString(out, name);
        out += ": ";
        afterKey_ = true;
    }
    void string(std::string_view text) {
        separate();
        appendJsonString(out, text);
    }
    void number(std::uint64_t value) {
        separate();
        out += std::to_string(value);
    }
    void integer(long long value) {
        separate();
        out += std::to_string(value);
    }
    void null() {
        separate();
        out += "null";
    }
    void boolean(bool value) {
        separate();
        out += value ? "true" : "false";
    }
    void optionalString(const std::optional<std::string>& text) {
        if (text) {
            string(*text);
        } else {
            null();
        }
    }
    void open(char bracket, bool lines = true) {
        separate();
        out += bracket;
        stack_.push_back(Level{lines, true});
    }
    void close(char bracket) {
        const Level level = stack_.back();
        stack_.pop_back();
        if (level.lines && !level.first) {
            newline();
        }
        out += bracket;
    }
    // key: number pairs in one go.
    void field(std::string_view name, std::uint64_t value) {
        key(name);
        number(value);
    }
    void field(std::string_view name, std::string_view value) {
        key(name);
        string(value);
    }

  private:
    struct Level {
        bool lines;
        bool first;
    };
    void separate() {
        if (afterKey_) {
            afterKey_ = false;
            return;
        }
        if (stack_.empty()) {
            return;
        }
        Level& level = stack_.back();
        if (!level.first) {
            out += level.lines ? "," : ", ";
        }
        level.first = false;
        if (level.lines) {
            newline();
        }
    }
    void newline() {
        out += '\n';
        std::size_t depth = 0;
        for (const Level& level : stack_) {
            depth += level.lines ? 1 : 0;
        }
        out.append(depth * 2, ' ');
    }
    std::vector<Level> stack_;
    bool afterKey_ = false;
};

void countRows(Json& json, std::string_view listKey, std::string_view nameKey,
               const std::vector<CountRow>& rows) {
    json.key(listKey);
    json.open('[');
    for (const CountRow& row : rows) {
        json.open('{', false);
        json.field(nameKey, row.name);
        json.field("searches", row.searches);
        json.close('}');
    }
    json.close(']');
}

// "key": {"requests": r, "bytes": b} on one line.
void traffic(Json& json, std::string_view key, const Traffic& figures) {
    json.key(key);
    json.open('{', false);
    json.field("requests", figures.requests);
    json.field("bytes", figures.bytes);
    json.close('}');
}

void namedRows(Json& json, std::string_view listKey, const std::vector<NamedRow>& rows) {
    json.key(listKey);
    json.open('[');
    for (const NamedRow& row : rows) {
        json.open('{', false);
        json.field("name", row.name);
        json.field("addresses", row.addresses);
        json.field("requests", row.requests);
        json.close('}');
    }
    json.close(']');
}

bool wants(const Result& result, Kind kind) { return result.kinds[static_cast<std::size_t>(kind)]; }

// RFC 4180: quoted when it holds a comma, a quote or a line break.
std::string csvField(std::string_view raw) {
    const std::string text = displayText(raw);
    if (text.find_first_of(",\"\r\n") == std::string::npos) {
        return text;
    }
    std::string out = "\"";
    for (const char c : text) {
        out += c;
        if (c == '"') {
            out += '"';
        }
    }
    out += '"';
    return out;
}

class Csv {
  public:
    std::string out;
    template <typename... Fields>
    void row(const Fields&... fields) {
        bool first = true;
        (add(fields, first), ...);
        out += "\r\n";
    }
    void section(std::string_view title) {
        if (!out.empty()) {
            out += "\r\n";
        }
        out += csvField(title);
        out += "\r\n";
    }

  private:
    void add(std::string_view text, bool& first) {
        separator(first);
        out += csvField(text);
    }
    void add(const std::string& text, bool& first) { add(std::string_view(text), first); }
    void add(const char* text, bool& first) { add(std::string_view(text), first); }
    void add(std::uint64_t value, bool& first) {
        separator(first);
        out += std::to_string(value);
    }
    void add(int value, bool& first) {
        separator(first);
        out += std::to_string(value);
    }
    void separator(bool& first) {
        if (!first) {
            out += ',';
        }
        first = false;
    }
};

std::string joined(const std::vector<std::string>& names) {
    std::string out;
    for (const std::string& name : names) {
        if (!out.empty()) {
            out += "; ";
        }
        out += name;
    }
    return out;
}

}  // namespace

std::string kindTitle(Kind kind) {
    switch (kind) {
        case Kind::Addresses:
            return "Users' addresses";
        case Kind::Windows:
            return "Users' Windows versions";
        case Kind::Browsers:
            return "Users' browser types";
        case Kind::Hours:
            return "Hours of heavy use";
        case Kind::Pages:
            return "Pages viewed";
        case Kind::Country:
            return "Traffic inside the country";
        case Kind::Searches:
            return "Number of searches";
    }
    return {};
}

std::string writeJson(const Result& result) {
    Json json;
    json.open('{');
    json.field("generator", result.generator);
    json.field("folder", result.folder);
    json.field("home_country", result.homeCountry);
    json.field("time_zone", result.timeZone);
    json.key("period");
    json.open('{', false);
    json.key("first");
    json.optionalString(result.first);
    json.key("last");
    json.optionalString(result.last);
    json.close('}');
    json.key("files");
    json.open('[');
    for (const FileRow& file : result.files) {
        json.open('{', false);
        json.field("path", file.path);
        json.key("layout");
        json.optionalString(file.layout.empty() ? std::nullopt
                                                : std::optional<std::string>(file.layout));
        json.field("lines", file.lines);
        json.field("requests", file.requests);
        json.field("proxy_requests", file.proxyRequests);
        json.field("denied", file.denied);
        traffic(json, "cache", file.cache);
        json.field("skipped", file.skipped);
        json.key("skipped_lines");
        json.open('[', false);
        for (const std::uint64_t line : file.skippedLines) {
            json.number(line);
        }
        json.close(']');
        json.key("error");
        json.optionalString(file.error);
        json.close('}');
    }
    json.close(']');
    json.field("other_files", result.otherFiles);
    if (!result.cacheNote.empty()) {
        json.field("cache_note", result.cacheNote);
    }
    json.field("proxy_requests", result.proxyRequests);
    json.key("totals");
    json.open('{', false);
    json.field("requests", result.totals.requests);
    json.field("bytes", result.totals.bytes);
    json.field("addresses", result.totals.addresses);
    json.close('}');
    json.key("denied");
    json.open('{');
    json.field("requests", result.denied.requests);
    json.field("bytes", result.denied.bytes);
    json.key("hosts");
    json.open('[');
    for (const DeniedHost& host : result.denied.hosts) {
        json.open('{', false);
        json.field("host", host.host);
        json.field("requests", host.requests);
        json.close('}');
    }
    json.close(']');
    json.close('}');
    traffic(json, "cache", result.cache);
    if (result.cancelled) {
        json.key("cancelled");
        json.boolean(true);
    }

    if (wants(result, Kind::Addresses)) {
        json.key("addresses");
        json.open('[');
        for (const AddressRow& row : result.addresses) {
            json.open('{', false);
            json.field("address", row.address);
            json.field("requests", row.requests);
            json.field("bytes", row.bytes);
            json.field("denied", row.denied);
            json.key("users");
            json.open('[', false);
            for (const std::string& user : row.users) {
                json.string(user);
            }
            json.close(']');
            json.field("first", row.first);
            json.field("last", row.last);
            json.close('}');
        }
        json.close(']');
    }
    if (wants(result, Kind::Windows)) {
        namedRows(json, "windows", result.windows);
    }
    if (wants(result, Kind::Browsers)) {
        namedRows(json, "browsers", result.browsers);
    }
    if ((wants(result, Kind::Windows) || wants(result, Kind::Browsers)) &&
        !result.agentNote.empty()) {
        json.field("agent_note", result.agentNote);
    }
    if (wants(result, Kind::Hours)) {
        json.key("hours");
        json.open('[');
        for (const HourRow& row : result.hours) {
            json.open('{', false);
            json.key("hour");
            json.integer(row.hour);
            json.field("requests", row.requests);
            json.field("bytes", row.bytes);
            json.field("addresses", row.addresses);
            json.close('}');
        }
        json.close(']');
        json.key("weekdays");
        json.open('[');
        for (const auto& day : result.weekdays) {
            json.open('[', false);
            for (const std::uint64_t count : day) {
                json.number(count);
            }
            json.close(']');
        }
        json.close(']');
        json.key("busiest_hour");
        if (result.busiestHour >= 0) {
            json.integer(result.busiestHour);
        } else {
            json.null();
        }
    }
    if (wants(result, Kind::Pages)) {
        json.key("sites");
        json.open('[');
        for (const SiteRow& row : result.sites) {
            json.open('{', false);
            json.field("host", row.host);
            json.field("requests", row.requests);
            json.field("pages", row.pages);
            json.field("bytes", row.bytes);
            json.field("addresses", row.addresses);
            json.close('}');
        }
        json.close(']');
        json.key("pages");
        json.open('[');
        for (const PageRow& row : result.pages) {
            json.open('{', false);
            json.field("page", row.page);
            json.field("views", row.views);
            json.close('}');
        }
        json.close(']');
    }
    if (wants(result, Kind::Country)) {
        const CountryReport& country = result.country;
        json.key("country");
        json.open('{');
        json.field("home", country.home);
        for (int p = 0; p < kPlaceCount; ++p) {
            traffic(json, kPlaceKeys[static_cast<std::size_t>(p)],
                    country.classes[static_cast<std::size_t>(p)]);
        }
        json.key("database");
        json.optionalString(
            country.database.empty() ? std::nullopt : std::optional<std::string>(country.database));
        json.key("database_note");
        json.optionalString(country.databaseNote.empty()
                                ? std::nullopt
                                : std::optional<std::string>(country.databaseNote));
        json.key("addresses");
        json.open('[');
        for (const CountryRow& row : country.addresses) {
            json.open('{', false);
            json.field("address", row.address);
            for (int p = 0; p < kPlaceCount; ++p) {
                traffic(json, kPlaceKeys[static_cast<std::size_t>(p)],
                        row.classes[static_cast<std::size_t>(p)]);
            }
            json.close('}');
        }
        json.close(']');
        json.close('}');
    }
    if (wants(result, Kind::Searches)) {
        const SearchReport& searches = result.searches;
        json.key("searches");
        json.open('{');
        json.field("total", searches.total);
        countRows(json, "engines", "engine", searches.engines);
        countRows(json, "addresses", "address", searches.addresses);
        countRows(json, "phrases", "phrase", searches.phrases);
        json.close('}');
    }
    json.close('}');
    json.out += '\n';
    return json.out;
}

std::string writeCsv(const Result& result) {
    Csv csv;
    csv.section("Files");
    csv.row("path", "layout", "lines", "requests", "proxy_requests", "skipped", "error", "denied",
            "cache_requests", "cache_bytes");
    for (const FileRow& file : result.files) {
        csv.row(file.path, file.layout, file.lines, file.requests, file.proxyRequests, file.skipped,
                file.error.value_or(""), file.denied, file.cache.requests, file.cache.bytes);
    }
    csv.section("Totals");
    csv.row("requests", "bytes", "addresses", "proxy_requests", "other_files", "denied_requests",
            "denied_bytes", "cache_requests", "cache_bytes", "time_zone");
    csv.row(result.totals.requests, result.totals.bytes, result.totals.addresses,
            result.proxyRequests, result.otherFiles, result.denied.requests, result.denied.bytes,
            result.cache.requests, result.cache.bytes, result.timeZone);
    csv.section("Refused requests");
    csv.row("host", "requests");
    for (const DeniedHost& host : result.denied.hosts) {
        csv.row(host.host, host.requests);
    }
    if (wants(result, Kind::Addresses)) {
        csv.section(kindTitle(Kind::Addresses));
        csv.row("address", "requests", "bytes", "users", "first", "last", "denied");
        for (const AddressRow& row : result.addresses) {
            csv.row(row.address, row.requests, row.bytes, joined(row.users), row.first, row.last,
                    row.denied);
        }
    }
    for (const Kind kind : {Kind::Windows, Kind::Browsers}) {
        if (!wants(result, kind)) {
            continue;
        }
        csv.section(kindTitle(kind));
        csv.row("name", "addresses", "requests");
        for (const NamedRow& row : kind == Kind::Windows ? result.windows : result.browsers) {
            csv.row(row.name, row.addresses, row.requests);
        }
    }
    if (wants(result, Kind::Hours)) {
        csv.section(kindTitle(Kind::Hours));
        csv.row("hour", "requests", "bytes", "addresses");
        for (const HourRow& row : result.hours) {
            csv.row(row.hour, row.requests, row.bytes, row.addresses);
        }
        csv.row("");
        csv.row("weekday", "hour 0..23");
        constexpr std::array<const char*, 7> kDays{"Monday", "Tuesday",  "Wednesday", "Thursday",
                                                   "Friday", "Saturday", "Sunday"};
        for (std::size_t d = 0; d < 7; ++d) {
            std::string line = kDays[d];
            for (const std::uint64_t count : result.weekdays[d]) {
                line += ',' + std::to_string(count);
            }
            csv.out += line + "\r\n";
        }
        if (result.busiestHour >= 0) {
            csv.row("busiest hour", result.busiestHour);
        }
    }
    if (wants(result, Kind::Pages)) {
        csv.section(kindTitle(Kind::Pages));
        csv.row("host", "requests", "pages", "bytes", "addresses");
        for (const SiteRow& row : result.sites) {
            csv.row(row.host, row.requests, row.pages, row.bytes, row.addresses);
        }
        csv.row("");
        csv.row("page", "views");
        for (const PageRow& row : result.pages) {
            csv.row(row.page, row.views);
        }
    }
    if (wants(result, Kind::Country)) {
        const CountryReport& country = result.country;
        csv.section(kindTitle(Kind::Country) + " (" + country.home + ")");
        if (!country.databaseNote.empty()) {
            csv.row(country.databaseNote);
        }
        csv.row("address", "inside requests", "inside bytes", "outside requests", "outside bytes",
                "local requests", "local bytes", "unknown requests", "unknown bytes");
        const auto line = [&](std::string_view name, const std::array<Traffic, kPlaceCount>& c) {
            csv.row(name, c[0].requests, c[0].bytes, c[1].requests, c[1].bytes, c[2].requests,
                    c[2].bytes, c[3].requests, c[3].bytes);
        };
        line("total", country.classes);
        for (const CountryRow& row : country.addresses) {
            line(row.address, row.classes);
        }
    }
    if (wants(result, Kind::Searches)) {
        const SearchReport& searches = result.searches;
        csv.section(kindTitle(Kind::Searches));
        csv.row("total", searches.total);
        csv.row("engine", "searches");
        for (const CountRow& row : searches.engines) {
            csv.row(row.name, row.searches);
        }
        csv.row("");
        csv.row("address", "searches");
        for (const CountRow& row : searches.addresses) {
            csv.row(row.name, row.searches);
        }
        csv.row("");
        csv.row("phrase", "searches");
        for (const CountRow& row : searches.phrases) {
            csv.row(row.name, row.searches);
        }
    }
    return csv.out;
}

}  // namespace kestrand::reports
