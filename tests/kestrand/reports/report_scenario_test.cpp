// One folder with a log of each layout, written from a list of requests; every report is
// computed again from that list by a plain model and compared with the engine's JSON. The
// requests are moments in the report's time zone; each layout writes them its own way (local
// time, UTC, Unix seconds, a time with an offset), and writes refused requests, cache hits,
// missing agents and destinations as its format documents them.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "kestrand/cache/open_file.h"
#include "kestrand/cache/seal.h"
#include "kestrand/reports/engine.h"
#include "kestrand/reports/searches.h"
#include "kestrand/reports/summary.h"
#include "tests/kestrand/reports/report_json.h"
#include "tests/support/test_files.h"

namespace {

using namespace report_test;
namespace reports = kestrand::reports;
namespace cache = kestrand::cache;

constexpr char kZone[] = "Asia/Tehran";
constexpr char kNoAgent[] = "agent not logged";

struct Agent {
    std::string text;
    std::string system;
    std::string browser;
};

// Where a request went, and what the reports should make of it.
struct Target {
    std::string host;  // as logged; "-": the URI's
    std::string destination;
    std::string uri;
    std::string mime;
    std::string site;    // the host the report names
    const char* place;   // of the destination
    std::string engine;  // empty: not a search
    std::string phrase;
    bool tunnel = false;  // CONNECT host:port, only in Squid's logs
};

enum class Shape { Documented, Samples, W3c, Squid, SquidCombined };
constexpr int kShapes = 5;

struct Entry {
    std::string address;
    std::string user;
    const Agent* agent;
    int year, month, day, hour, minute, second;  // in the report's zone
    const Target* target;
    std::uint64_t bytes;
    bool refused;
    bool cached;
    Shape shape;
    int variant;       // 0..3: how its layout writes it
    bool iis = false;  // a W3C line in the web server's names, blank-separated
};

const std::vector<Agent> kAgents{
    {"Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1)", "Windows XP", "IE 6"},
    {"Mozilla/4.0 (compatible; MSIE 5.5; Windows 98)", "Windows 98", "IE 5"},
    // ", " inside the agent: the comma layouts join the extra fields back.
    {"Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) "
     "Chrome/120.0.0.0 Safari/537.36",
     "Windows 10", "Chrome 120"},
    {"Mozilla/5.0 (Linux; Android 4.4.2; Nexus 5 Build/KOT49H) AppleWebKit/537.36 (KHTML, like "
     "Gecko) Chrome/30.0.0.0 Mobile Safari/537.36",
     "Android 4", "Chrome Mobile 30"},
    // Quotes inside: the combined layout quotes the agent and does not escape them.
    {"Mozilla/5.0 \"q\" (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) "
     "\"x\" \"y\" Chrome/120.0.0.0 Safari/537.36",
     "Windows 10", "Chrome 120"},
};

const std::vector<Target> kTargets{
    {"www.google.com", "8.8.8.8", "http://www.google.com/search?q=kestrel+bird&hl=en", "text/html",
     "www.google.com", "outside", "Google", "kestrel bird"},
    {"www.google.co.uk", "8.8.8.8", "http://www.google.co.uk/search?q=%D8%B3%D9%84%D8%A7%D9%85",
     "text/html; charset=UTF-8", "www.google.co.uk", "outside", "Google",
     "\xD8\xB3\xD9\x84\xD8\xA7\xD9\x85"},
    // A look-alike of an engine, at an address no database knows.
    {"google.com.evil.net", "240.0.0.1", "http://google.com.evil.net/search?q=trap", "text/html",
     "google.com.evil.net", "unknown", "", ""},
    // From the cache ("-"), under the home domain; the phrase is Windows-1256.
    {"www.parsijoo.ir", "-", "http://www.parsijoo.ir/web?q=%D3%E1%C7%E3++%20news", "-",
     "www.parsijoo.ir", "inside", "Parsijoo", "\xD8\xB3\xD9\x84\xD8\xA7\xD9\x85 news"},
    {"-", "2.144.0.1", "http://www.example.ir/logo.gif", "-", "www.example.ir", "inside", "", ""},
    {"intranet.local", "10.1.2.3", "http://intranet.local/index.html", "-", "intranet.local",
     "local", "", ""},
    {"search.yahoo.com", "240.0.0.1", "http://search.yahoo.com/search?p=&q=x", "text/html",
     "search.yahoo.com", "unknown", "", ""},
    {"www.bing.com", "8.8.8.8", "http://www.bing.com/search?q=a%20%20b", "image/png",
     "www.bing.com", "outside", "Bing", "a b"},
    {"cdn.example.com", "8.8.8.8", "http://cdn.example.com/app.js?v=1", "-", "cdn.example.com",
     "outside", "", ""},
    {"-", "2.144.0.9", "mail.example.ir:443", "-", "mail.example.ir", "inside", "", "", true},
};

const std::vector<std::string> kAddresses{"192.168.0.1", "192.168.0.2", "192.168.0.10",
                                          "10.0.0.7",    "172.16.5.5",  "2001:db8::7"};
const std::vector<std::string> kUsers{"-", "ali", "SARA", "reza", "DOMAIN\\hamid", "ali reza"};
// 2008-06-10 falls in the zone's summer time (+04:30), the others in its standard time.
const std::array<std::array<int, 3>, 4> kDays{
    {{2001, 2, 14}, {1999, 12, 31}, {2024, 3, 1}, {2008, 6, 10}}};
constexpr std::array<const char*, 12> kMonthNames{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                  "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

std::vector<Entry> makeEntries(int count) {
    std::vector<Entry> entries;
    unsigned seed = 7;
    const auto next = [&seed](unsigned n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) % n;
    };
    for (int i = 0; i < count; ++i) {
        const auto& day = kDays[next(4)];
        Entry e{kAddresses[next(6)],
                kUsers[next(6)],
                &kAgents[next(5)],
                day[0],
                day[1],
                day[2],
                static_cast<int>(next(24)),
                static_cast<int>(next(60)),
                static_cast<int>(next(60)),
                &kTargets[next(static_cast<unsigned>(kTargets.size()))],
                next(2) == 0 ? 0 : 100 + next(100000),
                next(8) == 0,
                next(6) == 0,
                static_cast<Shape>(i % kShapes),
                static_cast<int>(next(4))};
        const bool squid = e.shape == Shape::Squid || e.shape == Shape::SquidCombined;
        if (e.target->tunnel && !squid) {
            e.target = &kTargets[0];
        }
        // Squid's common and combined lines tell a hit only in their code:hierarchy field.
        e.cached = e.cached && !e.refused &&
                   !(e.shape == Shape::SquidCombined && (e.variant == 1 || e.variant == 3));
        entries.push_back(e);
    }
    return entries;
}

// The entry's moment as seconds since the epoch, through the C library's own reading of the
// tz database.
std::int64_t utcOf(const Entry& e) {
    const char* before = std::getenv("TZ");
    const std::optional<std::string> saved =
        before != nullptr ? std::optional<std::string>(before) : std::nullopt;
    setenv("TZ", kZone, 1);
    tzset();
    std::tm local{};
    local.tm_year = e.year - 1900;
    local.tm_mon = e.month - 1;
    local.tm_mday = e.day;
    local.tm_hour = e.hour;
    local.tm_min = e.minute;
    local.tm_sec = e.second;
    local.tm_isdst = -1;
    const std::time_t utc = std::mktime(&local);
    if (saved) {
        setenv("TZ", saved->c_str(), 1);
    } else {
        unsetenv("TZ");
    }
    tzset();
    return utc;
}

std::string twoDigits(int n) {
    char text[8];
    std::snprintf(text, sizeof text, "%02d", n);
    return text;
}

std::string commaDate(const Entry& e) {
    return std::to_string(e.month) + "/" + std::to_string(e.day) + "/" + twoDigits(e.year % 100);
}
std::string timeText(int hour, int minute, int second) {
    return twoDigits(hour) + ":" + twoDigits(minute) + ":" + twoDigits(second);
}
std::string timeText(const Entry& e) { return timeText(e.hour, e.minute, e.second); }
std::string bytesText(const Entry& e) { return e.bytes == 0 ? "-" : std::to_string(e.bytes); }
std::string isoDate(int year, int month, int day) {
    return std::to_string(year) + "-" + twoDigits(month) + "-" + twoDigits(day);
}

// A moment in UTC seconds, shifted by `offset` seconds, as its calendar fields.
std::tm calendarOf(std::int64_t utc, int offset) {
    const std::time_t shifted = static_cast<std::time_t>(utc + offset);
    std::tm out{};
    gmtime_r(&shifted, &out);
    return out;
}

std::string join(const std::vector<std::string>& fields, const char* separator) {
    std::string line;
    for (const std::string& field : fields) {
        line += (line.empty() ? "" : separator) + field;
    }
    return line + "\r\n";
}

// Squid writes user names percent-encoded.
std::string percentEncoded(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (c == ' ' || c == '\\' || c == '%') {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", static_cast<unsigned char>(c));
            out += escaped;
        } else {
            out += c;
        }
    }
    return out;
}

std::string replaced(std::string text, char from, char to) {
    std::replace(text.begin(), text.end(), from, to);
    return text;
}

std::string commaStatus(const Entry& e) {
    return e.refused ? (e.variant % 2 ? "12202" : "407") : "200";
}
std::string commaSource(const Entry& e) { return e.cached ? "Cache" : "Inet"; }

std::string documentedLine(const Entry& e) {
    const Target& t = *e.target;
    return join({e.address,
                 e.user,
                 e.agent->text,
                 "Y",
                 commaDate(e),
                 timeText(e),
                 "W3Proxy",
                 "PROXY1",
                 "-",
                 t.host,
                 t.destination,
                 "80",
                 "120",
                 "340",
                 bytesText(e),
                 "http",
                 "TCP",
                 "GET",
                 t.uri,
                 t.mime,
                 commaSource(e),
                 commaStatus(e),
                 "0"},
                ", ");
}

std::string samplesLine(const Entry& e) {
    const Target& t = *e.target;
    return join({e.address,    e.user,         e.agent->text, "Y",       "-",
                 commaDate(e), timeText(e),    t.host,        "W3Proxy", "PROXY1",
                 "-",          t.destination,  "80",          "1462",    "325",
                 bytesText(e), "http",         "TCP",         "GET",     t.uri,
                 t.mime,       commaSource(e), commaStatus(e)},
                ", ");
}

constexpr char kW3cProxyFields[] =
    "#Fields: c-ip cs-username c-agent date time r-host r-ip sc-bytes cs-uri cs-mime-type "
    "sc-status s-object-source action\r\n";
// The web server's names, its query apart from the path; fields between blanks, '+' for a
// blank inside one.
constexpr char kW3cServerFields[] =
    "#Fields: date time s-ip cs-method cs-uri-stem cs-uri-query c-ip cs-username "
    "cs(User-Agent) cs-host sc-status sc-bytes s-object-source\r\n";

std::string w3cLine(const Entry& e) {
    const Target& t = *e.target;
    const std::tm utc = calendarOf(utcOf(e), 0);
    const std::string date = isoDate(utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday);
    const std::string time = timeText(utc.tm_hour, utc.tm_min, utc.tm_sec);
    const std::string source = e.cached ? "Cache" : "Internet";
    if (!e.iis) {
        const bool byStatus = e.refused && e.variant % 2 == 0;
        const bool byAction = e.refused && !byStatus;
        return join(
            {e.address, e.user, e.agent->text, date, time, t.host, t.destination, bytesText(e),
             t.uri, t.mime, byStatus ? "12209" : "200", source, byAction ? "Denied" : "Allowed"},
            "\t");
    }
    const std::size_t question = t.uri.find('?');
    const std::string query = question == std::string::npos ? "-" : t.uri.substr(question + 1);
    return join({date, time, t.destination, "GET", t.uri.substr(0, question), query, e.address,
                 replaced(e.user, ' ', '+'), replaced(e.agent->text, ' ', '+'), t.host,
                 e.refused ? "407" : "200", bytesText(e), source},
                " ");
}

std::string squidCode(const Entry& e) {
    if (e.refused) {
        return e.variant % 2 ? "TCP_DENIED/403" : "TCP_DENIED/407";
    }
    if (e.cached) {
        return e.variant % 2 ? "TCP_MEM_HIT/200" : "TCP_HIT/200";
    }
    return e.target->tunnel ? "TCP_TUNNEL/200" : "TCP_MISS/200";
}

// The hierarchy field; its address is the destination's only when it went there directly.
std::string squidPeer(const Entry& e) {
    if (e.target->destination == "-") {
        return "HIER_NONE/-";
    }
    switch (e.variant) {
        case 1:
            return "FIRSTUP_PARENT/parent.example.net";
        case 3:
            return "FIRSTUP_PARENT/10.0.0.5";
        default:
            return "HIER_DIRECT/" + e.target->destination;
    }
}

std::string squidLine(const Entry& e) {
    const Target& t = *e.target;
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%lld.%03d %6d", static_cast<long long>(utcOf(e)),
                  e.second * 7 % 1000, e.minute * 97);
    // Squid logs the MIME type without its parameters.
    return std::string(stamp) + " " + e.address + " " + squidCode(e) + " " +
           std::to_string(e.bytes) + (t.tunnel ? " CONNECT " : " GET ") + t.uri + " " +
           percentEncoded(e.user) + " " + squidPeer(e) + " " + t.mime.substr(0, t.mime.find(';')) +
           "\n";
}

// Variants: 0 combined with code:hierarchy, 1 combined, 2 common with code:hierarchy, 3 common.
std::string squidCombinedLine(const Entry& e) {
    const Target& t = *e.target;
    const std::int64_t utc = utcOf(e);
    constexpr std::array<int, 3> kOffsets{0, -7 * 3600, 5 * 3600 + 45 * 60};
    int offset = 0;
    if (e.minute % 4 < 3) {
        offset = kOffsets[static_cast<std::size_t>(e.minute % 4)];
    } else {
        // The zone's own offset that day, as a Squid in that zone writes it.
        const std::tm local = calendarOf(utc, 0);
        offset = e.hour * 3600 + e.minute * 60 + e.second -
                 (local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec);
        offset = (offset + 86400 * 3 / 2) % 86400 - 86400 / 2;
    }
    const std::tm shown = calendarOf(utc, offset);
    char stamp[64];
    const int minutes = (offset < 0 ? -offset : offset) / 60;
    std::snprintf(stamp, sizeof stamp, "[%02d/%s/%04d:%s %c%02d%02d]", shown.tm_mday,
                  kMonthNames[static_cast<std::size_t>(shown.tm_mon)], shown.tm_year + 1900,
                  timeText(shown.tm_hour, shown.tm_min, shown.tm_sec).c_str(),
                  offset < 0 ? '-' : '+', minutes / 60, minutes % 60);
    std::string line = e.address + " - " + percentEncoded(e.user) + " " + stamp + " \"" +
                       (t.tunnel ? "CONNECT " : "GET ") + t.uri + " HTTP/1.1\" " +
                       (e.refused ? "407" : "200") + " " + bytesText(e);
    if (e.variant < 2) {
        line += " \"http://www.example.com/from\" \"" + e.agent->text + "\"";
    }
    if (e.variant % 2 == 0) {
        line += e.refused ? " TCP_DENIED:HIER_NONE"
                          : (e.cached ? " TCP_MEM_HIT:HIER_NONE" : " TCP_MISS:HIER_DIRECT");
    }
    return line + "\n";
}

// What each file should report about itself.
struct FileModel {
    std::string text;
    long long lines = 0;
    long long requests = 0;
    long long denied = 0;
    long long proxy = 0;
    long long cacheRequests = 0;
    long long cacheBytes = 0;
    std::vector<long long> skipped;  // line numbers, from 1

    void add(const std::string& line) {
        text += line;
        ++lines;
    }
    void addSkipped(const std::string& line) {
        add(line);
        skipped.push_back(lines);
    }
};

bool agentLogged(const Entry& e) {
    return e.shape != Shape::Squid && !(e.shape == Shape::SquidCombined && e.variant >= 2);
}

// The MIME type and the destination as the entry's line holds them.
std::string mimeWritten(const Entry& e) {
    return e.shape == Shape::SquidCombined || e.iis ? "-" : e.target->mime;
}
std::string destinationWritten(const Entry& e) {
    if (e.shape == Shape::SquidCombined || (e.shape == Shape::Squid && e.variant % 2 == 1)) {
        return "-";
    }
    return e.target->destination;
}

// A page view: HTML by its MIME type; without one, a path that is no picture, style or script.
bool isPage(const Entry& e) {
    if (e.target->tunnel) {
        return false;
    }
    const std::string mime = mimeWritten(e);
    if (mime != "-") {
        return mime.rfind("text/html", 0) == 0;
    }
    const std::string path = e.target->uri.substr(0, e.target->uri.find('?'));
    for (const char* extension : {".gif", ".jpg", ".png", ".css", ".js"}) {
        if (path.ends_with(extension)) {
            return false;
        }
    }
    return true;
}

// The report the engine should give, computed plainly from the entries.
struct Model {
    struct Address {
        std::uint64_t requests = 0, bytes = 0, denied = 0;
        std::map<std::string, int> users;
        std::string first, last;
        std::map<std::string, std::pair<std::uint64_t, std::uint64_t>> places;
        std::uint64_t searches = 0;
    };
    std::map<std::string, Address> addresses;
    std::map<std::string, std::pair<std::set<std::string>, std::uint64_t>> systems, browsers;
    std::array<std::tuple<std::uint64_t, std::uint64_t, std::set<std::string>>, 24> hours{};
    std::array<std::array<std::uint64_t, 24>, 7> weekdays{};
    struct Site {
        std::uint64_t requests = 0, pages = 0, bytes = 0;
        std::set<std::string> addresses;
    };
    std::map<std::string, Site> sites;
    std::map<std::string, std::uint64_t> pages, engines, phrases, deniedHosts;
    std::map<std::string, std::pair<std::uint64_t, std::uint64_t>> places;
    std::uint64_t requests = 0, bytes = 0, denied = 0, deniedBytes = 0;
    std::uint64_t cacheRequests = 0, cacheBytes = 0;
    std::string first, last;

    void add(const Entry& e, FileModel& file) {
        const Target& t = *e.target;
        const std::string moment = isoDate(e.year, e.month, e.day) + " " + timeText(e);
        first = first.empty() ? moment : std::min(first, moment);
        last = std::max(last, moment);
        Address& a = addresses[e.address];
        a.first = a.first.empty() ? moment : std::min(a.first, moment);
        a.last = std::max(a.last, moment);
        if (e.refused) {
            ++a.denied;
            ++denied;
            deniedBytes += e.bytes;
            ++deniedHosts[t.site];
            ++file.denied;
            return;
        }
        ++file.requests;
        if (e.cached) {
            ++cacheRequests;
            cacheBytes += e.bytes;
            ++file.cacheRequests;
            file.cacheBytes += static_cast<long long>(e.bytes);
        }
        ++a.requests;
        a.bytes += e.bytes;
        if (e.user != "-") {
            ++a.users[e.user];
        }
        ++requests;
        bytes += e.bytes;
        const bool logged = agentLogged(e);
        systems[logged ? e.agent->system : kNoAgent].first.insert(e.address);
        ++systems[logged ? e.agent->system : kNoAgent].second;
        browsers[logged ? e.agent->browser : kNoAgent].first.insert(e.address);
        ++browsers[logged ? e.agent->browser : kNoAgent].second;
        auto& [hourRequests, hourBytes, hourAddresses] = hours[static_cast<std::size_t>(e.hour)];
        ++hourRequests;
        hourBytes += e.bytes;
        hourAddresses.insert(e.address);
        // 2001-02-14 was a Wednesday, 2008-06-10 a Tuesday, 1999-12-31 and 2024-03-01 Fridays.
        const int weekday = e.year == 2001 ? 2 : (e.year == 2008 ? 1 : 4);
        ++weekdays[static_cast<std::size_t>(weekday)][static_cast<std::size_t>(e.hour)];
        Site& site = sites[t.site];
        ++site.requests;
        site.bytes += e.bytes;
        site.addresses.insert(e.address);
        if (isPage(e)) {
            ++site.pages;
            ++pages[t.uri.substr(0, t.uri.find('?'))];
        }
        // Without a destination's address, the home domain decides.
        const std::string place = destinationWritten(e) != "-" ? t.place
                                  : t.site.ends_with(".ir")    ? "inside"
                                                               : "unknown";
        ++places[place].first;
        places[place].second += e.bytes;
        ++a.places[place].first;
        a.places[place].second += e.bytes;
        if (!t.engine.empty()) {
            ++engines[t.engine];
            ++phrases[t.phrase];
            ++a.searches;
        }
    }
};

// Rows sorted by a count, descending, ties by name.
template <typename Row>
void byCount(std::vector<Row>& rows) {
    std::sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) {
        if (std::get<1>(a) != std::get<1>(b)) {
            return std::get<1>(a) > std::get<1>(b);
        }
        return std::get<0>(a) < std::get<0>(b);
    });
}

using CountList = std::vector<std::tuple<std::string, long long>>;

CountList countList(const QJsonArray& rows, const char* name, const char* count) {
    CountList out;
    for (const QJsonValue row : rows) {
        out.emplace_back(str(row.toObject()[name]), num(row.toObject()[count]));
    }
    return out;
}

CountList countList(const std::map<std::string, std::uint64_t>& counts) {
    CountList out;
    for (const auto& [name, count] : counts) {
        out.emplace_back(name, static_cast<long long>(count));
    }
    byCount(out);
    return out;
}

class ReportScenario : public testing::Test {
  protected:
    void SetUp() override {
        entries = makeEntries(500);
        FileModel& w3c = files["w3c.log"];
        w3c.add("#Software: Proxy Server\r\n");
        w3c.add("#Version: 1.0\r\n");
        w3c.add(kW3cProxyFields);
        int w3cLines = 0;
        for (Entry& e : entries) {
            switch (e.shape) {
                case Shape::Documented:
                    model.add(e, files["logs/documented.LOG"]);
                    files["logs/documented.LOG"].add(documentedLine(e));
                    break;
                case Shape::Samples:
                    model.add(e, files["logs/older/samples.log"]);
                    files["logs/older/samples.log"].add(samplesLine(e));
                    break;
                case Shape::W3c:
                    // Half way, the columns change to the web server's.
                    if (++w3cLines == 50) {
                        w3c.add(kW3cServerFields);
                    }
                    e.iis = w3cLines >= 50;
                    model.add(e, w3c);
                    w3c.add(w3cLine(e));
                    break;
                case Shape::Squid:
                    model.add(e, files["squid/access.log"]);
                    files["squid/access.log"].add(squidLine(e));
                    break;
                case Shape::SquidCombined:
                    model.add(e, files["squid/combined.log"]);
                    files["squid/combined.log"].add(squidCombinedLine(e));
                    break;
            }
        }
        // The proxy's own refresh, a line with too few fields, a date that is no date; in the
        // Squid files a line of the other Squid shape and a line of blanks.
        FileModel& documented = files["logs/documented.LOG"];
        documented.add(
            "192.168.0.99, -, MSProxy/2.0, N, 2/14/01, 10:00:00, W3Proxy, PROXY1, -, "
            "www.example.com, 8.8.8.8, 80, 1, 1, 999, http, TCP, GET, "
            "http://www.example.com/, text/html, Inet, 200, 0\r\n");
        ++documented.proxy;
        documented.addSkipped("192.168.0.1, -, short line\r\n");
        files["logs/older/samples.log"].addSkipped(
            "192.168.0.1, -, Mozilla/4.0, Y, -, 2/30/01, 10:00:00, a.com, W3Proxy, PROXY1, "
            "-, 8.8.8.8, 80, 1, 1, 1, http, TCP, GET, http://a.com/, -, Inet, 200\r\n");
        files["squid/access.log"].addSkipped(squidCombinedLine(entries[4]));
        files["squid/access.log"].addSkipped(" \t  \n");
        files["squid/combined.log"].addSkipped(squidLine(entries[3]));
        std::filesystem::create_directories(folder.path() / "logs" / "older");
        std::filesystem::create_directories(folder.path() / "squid");
        for (const auto& [path, file] : files) {
            folder.write(path, file.text);
        }
        folder.write("notes.txt", "not a log");
        options.folder = folder.path();
        options.timeZone = kZone;
    }

    std::vector<Entry> entries;
    std::map<std::string, FileModel> files;
    Model model;
    testing_support::TempDir folder;
    reports::Options options;
};

TEST_F(ReportScenario, EveryReportMatchesThePlainModel) {
    options.threads = 1;
    const reports::Result result = reports::run(options);
    ASSERT_TRUE(result.error.empty()) << result.error;
    const QJsonObject report = parseJson(reports::writeJson(result));

    const std::map<std::string, std::string> layouts{{"logs/documented.LOG", "comma"},
                                                     {"logs/older/samples.log", "comma-samples"},
                                                     {"w3c.log", "w3c"},
                                                     {"squid/access.log", "squid"},
                                                     {"squid/combined.log", "squid-combined"}};
    for (const auto& [path, file] : files) {
        const QJsonObject row = fileRow(report, path);
        EXPECT_EQ(str(row["layout"]), layouts.at(path)) << path;
        EXPECT_EQ(num(row["lines"]), file.lines) << path;
        EXPECT_EQ(num(row["requests"]), file.requests) << path;
        EXPECT_EQ(num(row["proxy_requests"]), file.proxy) << path;
        EXPECT_EQ(num(row["denied"]), file.denied) << path;
        EXPECT_EQ(num(row["cache"]["requests"]), file.cacheRequests) << path;
        EXPECT_EQ(num(row["cache"]["bytes"]), file.cacheBytes) << path;
        EXPECT_EQ(num(row["skipped"]), static_cast<long long>(file.skipped.size())) << path;
        QJsonArray skipped;
        for (const long long line : file.skipped) {
            skipped.append(line);
        }
        EXPECT_EQ(row["skipped_lines"].toArray(), skipped) << path;
        EXPECT_TRUE(row["error"].isNull()) << path;
    }
    EXPECT_EQ(num(report["other_files"]), 1);
    EXPECT_EQ(str(report["agent_note"]), std::string("logs without agents, counted as \"") +
                                             kNoAgent + "\": squid/access.log, squid/combined.log");

    EXPECT_EQ(str(report["home_country"]), "IR");
    EXPECT_EQ(str(report["time_zone"]), kZone);
    EXPECT_EQ(num(report["totals"]["requests"]), static_cast<long long>(model.requests));
    EXPECT_EQ(num(report["totals"]["bytes"]), static_cast<long long>(model.bytes));
    long long trafficAddresses = 0;
    for (const auto& [address, a] : model.addresses) {
        trafficAddresses += a.requests > 0 ? 1 : 0;
    }
    EXPECT_EQ(num(report["totals"]["addresses"]), trafficAddresses);
    EXPECT_EQ(str(report["period"]["first"]), model.first);
    EXPECT_EQ(str(report["period"]["last"]), model.last);

    // The refused requests and the cache.
    EXPECT_GT(model.denied, 0u);
    EXPECT_EQ(num(report["denied"]["requests"]), static_cast<long long>(model.denied));
    EXPECT_EQ(num(report["denied"]["bytes"]), static_cast<long long>(model.deniedBytes));
    EXPECT_EQ(countList(report["denied"]["hosts"].toArray(), "host", "requests"),
              countList(model.deniedHosts));
    EXPECT_GT(model.cacheRequests, 0u);
    EXPECT_EQ(num(report["cache"]["requests"]), static_cast<long long>(model.cacheRequests));
    EXPECT_EQ(num(report["cache"]["bytes"]), static_cast<long long>(model.cacheBytes));

    // 0: addresses, with their users, first and last requests; refused requests counted apart.
    using AddressLine = std::tuple<std::string, long long, long long, long long,
                                   std::vector<std::string>, std::string, std::string>;
    std::vector<AddressLine> expected, actual;
    for (const auto& [address, a] : model.addresses) {
        std::vector<std::pair<std::string, int>> users(a.users.begin(), a.users.end());
        std::sort(users.begin(), users.end(), [](const auto& x, const auto& y) {
            return x.second != y.second ? x.second > y.second : x.first < y.first;
        });
        std::vector<std::string> names;
        for (const auto& user : users) {
            names.push_back(user.first);
        }
        expected.emplace_back(address, a.requests, a.bytes, a.denied, names, a.first, a.last);
    }
    byCount(expected);
    for (const QJsonValue value : report["addresses"].toArray()) {
        const QJsonObject row = value.toObject();
        std::vector<std::string> users;
        for (const QJsonValue user : row["users"].toArray()) {
            users.push_back(str(user));
        }
        actual.emplace_back(str(row["address"]), num(row["requests"]), num(row["bytes"]),
                            num(row["denied"]), users, str(row["first"]), str(row["last"]));
    }
    EXPECT_EQ(actual, expected);

    // 1 and 2: systems (Windows first) and browsers.
    using NamedLine = std::tuple<std::string, long long, long long>;
    const auto named = [](const auto& map, bool windowsFirst) {
        std::vector<NamedLine> rows;
        for (const auto& [name, value] : map) {
            rows.emplace_back(name, value.second, value.first.size());
        }
        byCount(rows);
        if (windowsFirst) {
            std::stable_partition(rows.begin(), rows.end(), [](const NamedLine& row) {
                return std::get<0>(row).rfind("Windows", 0) == 0;
            });
        }
        return rows;
    };
    const auto namedJson = [](const QJsonArray& rows) {
        std::vector<NamedLine> out;
        for (const QJsonValue row : rows) {
            out.emplace_back(str(row["name"]), num(row["requests"]), num(row["addresses"]));
        }
        return out;
    };
    EXPECT_EQ(namedJson(report["windows"].toArray()), named(model.systems, true));
    EXPECT_EQ(namedJson(report["browsers"].toArray()), named(model.browsers, false));

    // 3: hours and weekdays.
    const QJsonArray hours = report["hours"].toArray();
    ASSERT_EQ(hours.size(), 24);
    long long busiest = 0;
    for (int h = 0; h < 24; ++h) {
        const auto& [requests, bytes, addresses] = model.hours[static_cast<std::size_t>(h)];
        EXPECT_EQ(num(hours[h]["hour"]), h);
        EXPECT_EQ(num(hours[h]["requests"]), static_cast<long long>(requests));
        EXPECT_EQ(num(hours[h]["bytes"]), static_cast<long long>(bytes));
        EXPECT_EQ(num(hours[h]["addresses"]), static_cast<long long>(addresses.size()));
        if (requests > std::get<0>(model.hours[static_cast<std::size_t>(busiest)])) {
            busiest = h;
        }
    }
    EXPECT_EQ(num(report["busiest_hour"]), busiest);
    for (int d = 0; d < 7; ++d) {
        for (int h = 0; h < 24; ++h) {
            EXPECT_EQ(
                num(report["weekdays"][d][h]),
                static_cast<long long>(
                    model.weekdays[static_cast<std::size_t>(d)][static_cast<std::size_t>(h)]));
        }
    }

    // 4: sites and pages.
    using SiteLine = std::tuple<std::string, long long, long long, long long, long long>;
    std::vector<SiteLine> sites, siteJson;
    for (const auto& [host, s] : model.sites) {
        sites.emplace_back(host, s.requests, s.pages, s.bytes, s.addresses.size());
    }
    byCount(sites);
    for (const QJsonValue row : report["sites"].toArray()) {
        siteJson.emplace_back(str(row["host"]), num(row["requests"]), num(row["pages"]),
                              num(row["bytes"]), num(row["addresses"]));
    }
    EXPECT_EQ(siteJson, sites);
    EXPECT_EQ(countList(report["pages"].toArray(), "page", "views"), countList(model.pages));

    // 5: traffic by place, in total and by address.
    const QJsonObject country = report["country"].toObject();
    EXPECT_EQ(str(country["home"]), "IR");
    for (const char* place : {"inside", "outside", "local", "unknown"}) {
        EXPECT_EQ(num(country[place]["requests"]),
                  static_cast<long long>(model.places[place].first))
            << place;
        EXPECT_EQ(num(country[place]["bytes"]), static_cast<long long>(model.places[place].second))
            << place;
    }
    EXPECT_EQ(country["addresses"].toArray().size(), trafficAddresses);
    for (const QJsonValue value : country["addresses"].toArray()) {
        const Model::Address& a = model.addresses[str(value["address"])];
        for (const char* place : {"inside", "outside", "local", "unknown"}) {
            const auto it = a.places.find(place);
            const auto requests = it == a.places.end() ? 0 : it->second.first;
            EXPECT_EQ(num(value[place]["requests"]), static_cast<long long>(requests));
        }
    }

    // 6: searches.
    const QJsonObject searches = report["searches"].toObject();
    std::uint64_t total = 0;
    std::map<std::string, std::uint64_t> byAddress;
    for (const auto& [address, a] : model.addresses) {
        total += a.searches;
        if (a.searches > 0) {
            byAddress[address] = a.searches;
        }
    }
    EXPECT_EQ(num(searches["total"]), static_cast<long long>(total));
    EXPECT_EQ(countList(searches["engines"].toArray(), "engine", "searches"),
              countList(model.engines));
    EXPECT_EQ(countList(searches["addresses"].toArray(), "address", "searches"),
              countList(byAddress));
    EXPECT_EQ(countList(searches["phrases"].toArray(), "phrase", "searches"),
              countList(model.phrases));
}

TEST_F(ReportScenario, PartsAndWorkersGiveTheSameReportAsOneReader) {
    options.threads = 1;
    const std::string whole = reports::writeJson(reports::run(options));
    // Parts far smaller than a line: every boundary case of the split is met.
    for (const std::uint64_t chunk : {std::uint64_t{97}, std::uint64_t{4096}}) {
        options.threads = 2;
        options.chunkBytes = chunk;
        EXPECT_EQ(reports::writeJson(reports::run(options)), whole) << "chunk " << chunk;
    }
}

TEST_F(ReportScenario, PeriodAndAddressRestrictEveryReport) {
    options.from = reports::parseDay("2001-01-01");
    options.to = reports::parseDay("2001-12-31");
    options.onlyAddress = "192.168.0.2";
    const reports::Result result = reports::run(options);
    long long expected = 0;
    for (const Entry& e : entries) {
        expected += (e.year == 2001 && e.address == "192.168.0.2" && !e.refused) ? 1 : 0;
    }
    EXPECT_EQ(static_cast<long long>(result.totals.requests), expected);
    ASSERT_EQ(result.addresses.size(), 1u);
    EXPECT_EQ(result.addresses[0].address, "192.168.0.2");
    EXPECT_EQ(result.first->substr(0, 10), "2001-02-14");
    EXPECT_EQ(result.last->substr(0, 10), "2001-02-14");
    EXPECT_FALSE(reports::parseDay("2001-02-30"));
    EXPECT_FALSE(reports::parseDay("2/14/01"));
}

// Squid's seconds on both sides of the zone's changes to and from summer time, read in the
// zone asked for and in the machine's zone that TZ names.
TEST(TimeZones, SummerTimeChangesMoveTheHoursAndTzNamesTheMachineZone) {
    std::string log;
    for (const long long seconds : {1616358599LL, 1616358600LL, 1663788599LL, 1663788600LL}) {
        log += std::to_string(seconds) +
               ".000      1 10.0.0.1 TCP_MISS/200 1 GET http://a.example.com/ - HIER_NONE/- -\n";
    }
    testing_support::TempDir folder;
    folder.write("access.log", log);
    reports::Options options;
    options.folder = folder.path();
    options.kinds = {false, false, false, true, false, false, false};
    const auto hoursOf = [](const reports::Result& result) {
        std::vector<int> hours;
        for (const reports::HourRow& row : result.hours) {
            for (std::uint64_t i = 0; i < row.requests; ++i) {
                hours.push_back(row.hour);
            }
        }
        return hours;
    };
    options.timeZone = kZone;
    const reports::Result tehran = reports::run(options);
    EXPECT_EQ(tehran.timeZone, kZone);
    // 23:59:59 +0330, 01:00:00 +0430, 23:59:59 +0430, 23:00:00 +0330.
    EXPECT_EQ(hoursOf(tehran), (std::vector<int>{1, 23, 23, 23}));
    EXPECT_EQ(*tehran.first, "2021-03-21 23:59:59");
    EXPECT_EQ(*tehran.last, "2022-09-21 23:59:59");

    options.timeZone = "UTC";
    EXPECT_EQ(hoursOf(reports::run(options)), (std::vector<int>{19, 19, 20, 20}));

    const char* before = std::getenv("TZ");
    const std::optional<std::string> saved =
        before != nullptr ? std::optional<std::string>(before) : std::nullopt;
    options.timeZone.clear();
    setenv("TZ", (std::string(":") + kZone).c_str(), 1);
    const reports::Result machine = reports::run(options);
    if (saved) {
        setenv("TZ", saved->c_str(), 1);
    } else {
        unsetenv("TZ");
    }
    EXPECT_EQ(machine.timeZone, kZone);
    EXPECT_EQ(hoursOf(machine), hoursOf(tehran));

    options.timeZone = "Mars/Olympus";
    EXPECT_NE(reports::run(options).error.find("Mars/Olympus"), std::string::npos);
}

TEST(SearchEngines, HostsMatchAtLabelBoundariesOnly) {
    EXPECT_EQ(reports::searchEngineOf("www.google.com.br"), 0);
    EXPECT_EQ(reports::searchEngineOf("google.de"), 0);
    EXPECT_EQ(reports::searchEngineOf("yandex.ru"), 3);
    EXPECT_EQ(reports::searchEngineOf("www.yooz.ir"), 8);
    EXPECT_EQ(reports::searchEngineOf("notgoogle.com"), -1);
    EXPECT_EQ(reports::searchEngineOf("google.com.evil.net"), -1);
    EXPECT_EQ(reports::searchEngineOf("mybing.com"), -1);
    EXPECT_EQ(reports::searchEngineOf("yahoo.com"), -1);
    EXPECT_EQ(reports::searchPhrase(0, "http://google.com/search?hl=fa&q=+a+%2B+b+"), "a + b");
    EXPECT_EQ(reports::searchPhrase(0, "http://google.com/search?q="), "");
    EXPECT_EQ(reports::searchPhrase(0, "http://google.com/search?qq=x"), "");
}

// The JSON without the line that names the folders read.
std::string withoutFolder(std::string json) {
    const std::size_t at = json.find("\"folder\":");
    if (at != std::string::npos) {
        json.erase(at, json.find('\n', at) - at);
    }
    return json;
}

// Every way through summaries gives the JSON of one run without them: an empty cache and a
// full one, workers and parts, periods, the files spread at random over three "machines"
// whose summaries are merged, and each log grown in random steps (some cut inside a line).
TEST_F(ReportScenario, EveryPathThroughSummariesGivesTheJsonOfOneRun) {
    const std::string whole = reports::writeJson(reports::run(options));
    testing_support::TempDir caches;
    reports::Options cached = options;
    cached.cache = caches.path() / "cache";
    EXPECT_EQ(reports::writeJson(reports::run(cached)), whole);
    const reports::Result warm = reports::run(cached);
    EXPECT_EQ(reports::writeJson(warm), whole);
    EXPECT_EQ(warm.filesFromCache, files.size());
    EXPECT_EQ(warm.filesRead, 0u);

    // A sub-folder reaches the same files by other paths: its rows name them as it does.
    reports::Options inner = options;
    inner.folder = folder.path() / "squid";
    reports::Options innerCached = cached;
    innerCached.folder = inner.folder;
    const reports::Result fromEntries = reports::run(innerCached);
    EXPECT_EQ(fromEntries.filesFromCache, 2u);
    EXPECT_EQ(reports::writeJson(fromEntries), reports::writeJson(reports::run(inner)));

    for (const std::uint64_t chunk : {std::uint64_t{97}, std::uint64_t{4096}}) {
        reports::Options parts = cached;
        parts.cache = caches.path() / ("parts" + std::to_string(chunk));
        parts.threads = 3;
        parts.chunkBytes = chunk;
        EXPECT_EQ(reports::writeJson(reports::run(parts)), whole) << chunk;
    }

    for (const auto& [from, to] : std::vector<std::pair<const char*, const char*>>{
             {"2001-02-14", "2001-02-14"}, {"2001-01-01", "2001-12-31"}, {"2002-01-01", nullptr}}) {
        reports::Options period = options;
        period.from = reports::parseDay(from);
        period.to = to != nullptr ? reports::parseDay(to) : std::nullopt;
        reports::Options periodCached = cached;
        periodCached.from = period.from;
        periodCached.to = period.to;
        EXPECT_EQ(reports::writeJson(reports::run(periodCached)),
                  reports::writeJson(reports::run(period)))
            << from;
    }

    std::mt19937 random(2024);
    for (int round = 0; round < 3; ++round) {
        testing_support::TempDir machines;
        std::vector<std::filesystem::path> folders;
        for (int m = 0; m < 3; ++m) {
            folders.push_back(machines.path() / ("machine" + std::to_string(m)));
            std::filesystem::create_directories(folders.back());
        }
        for (const auto& [path, file] : files) {
            const std::filesystem::path into = folders[random() % 3] / path;
            std::filesystem::create_directories(into.parent_path());
            std::filesystem::copy_file(folder.path() / path, into);
        }
        // Each summary's standing names every page, or (tight) only a few of its leading ones.
        reports::Options merged = options;
        reports::Options mergedTight = options;
        for (int m = 0; m < 3; ++m) {
            reports::Options machine = options;
            machine.folder = folders[static_cast<std::size_t>(m)];
            const std::filesystem::path summary =
                machines.path() / ("part" + std::to_string(m) + ".kestrand");
            std::string error;
            ASSERT_TRUE(reports::writeSummary(machine, {}, summary, error)) << error;
            (m == 0 ? merged.folder : merged.more.emplace_back()) = summary;
            machine.standingPages = 1 + random() % 3;
            const std::filesystem::path tight = summary.string() + ".tight";
            ASSERT_TRUE(reports::writeSummary(machine, {}, tight, error)) << error;
            (m == 0 ? mergedTight.folder : mergedTight.more.emplace_back()) = tight;
        }
        // The text in no log of the "machines" is counted by the merged report.
        const auto noOtherFiles = [](std::string json) {
            json = withoutFolder(json);
            const std::size_t at = json.find("\"other_files\"");
            return json.substr(0, at) + "\"other_files\": 0" + json.substr(json.find(',', at));
        };
        const reports::Result fromStandings = reports::run(merged);
        EXPECT_TRUE(fromStandings.fromStanding);
        const std::string fromThree = withoutFolder(reports::writeJson(fromStandings));
        EXPECT_EQ(fromThree, noOtherFiles(whole)) << round;
        EXPECT_EQ(withoutFolder(reports::writeJson(reports::run(mergedTight))), fromThree) << round;
        // A period that leaves out some of their days is counted from the parts.
        reports::Options inPeriod = merged;
        inPeriod.from = inPeriod.to = reports::parseDay("2001-02-14");
        reports::Options period = options;
        period.from = period.to = inPeriod.from;
        const reports::Result fromParts = reports::run(inPeriod);
        EXPECT_FALSE(fromParts.fromStanding);
        EXPECT_EQ(withoutFolder(reports::writeJson(fromParts)),
                  noOtherFiles(reports::writeJson(reports::run(period))))
            << round;
        // The three merged into one summary file, their parts read from them as it is written
        // and their standings combined (or, for a period, the standing made from the parts).
        for (reports::Options into : {merged, mergedTight, inPeriod}) {
            const std::filesystem::path all = machines.path() / "all.kestrand";
            std::string error;
            into.standingPages = 1 + random() % 3;
            ASSERT_TRUE(reports::writeSummary(into, {}, all, error)) << error;
            reports::Options fromAll = options;
            fromAll.folder = all;
            EXPECT_EQ(withoutFolder(reports::writeJson(reports::run(fromAll))),
                      into.from ? withoutFolder(reports::writeJson(fromParts)) : fromThree)
                << round;
        }
    }

    // Grown logs are counted on top of the last report's standing; one that names only two of
    // these logs' pages must find each time that a page it left out might now lead.
    reports::Options tight = cached;
    tight.cache = caches.path() / "tight";
    tight.standingPages = 2;
    std::uint64_t grown = 0;
    std::uint64_t standing = 0;
    for (const auto& [path, file] : files) {
        const std::filesystem::path log = folder.path() / path;
        const std::string text = file.text;
        std::size_t written = 0;
        { std::ofstream(log, std::ios::binary | std::ios::trunc); }
        while (written < text.size()) {
            std::size_t next = std::min(text.size(), written + 1 + random() % (text.size() / 3));
            if (random() % 4 != 0) {
                // Mostly at the end of a line, as a proxy writes.
                const std::size_t end = text.find('\n', next);
                next = end == std::string::npos ? text.size() : end + 1;
            }
            std::ofstream(log, std::ios::binary | std::ios::app)
                << text.substr(written, next - written);
            written = next;
            const reports::Result now = reports::run(cached);
            const reports::Result nowTight = reports::run(tight);
            grown += now.filesGrown;
            standing += now.fromStanding ? 1 : 0;
            EXPECT_FALSE(nowTight.fromStanding);
            EXPECT_EQ(nowTight.filesGrown, now.filesGrown);
            const std::string fresh = reports::writeJson(reports::run(options));
            EXPECT_EQ(reports::writeJson(now), fresh) << path << " at " << written;
            EXPECT_EQ(reports::writeJson(nowTight), fresh) << path << " at " << written;
        }
    }
    EXPECT_GT(grown, 0u);
    EXPECT_GT(standing, 0u);
}

// After a log grew, the new lines are counted on top of the last report's standing, which names
// only its most viewed pages: it serves while no page it left out can reach the hundred most
// viewed, and steps aside for every file's entry once one can; each JSON is one run's.
TEST(Standing, NamesTheLeadingPagesAndStepsAsideWhenAnotherMightLead) {
    testing_support::TempDir dir;
    std::filesystem::create_directories(dir.path() / "logs");
    const std::filesystem::path log = dir.path() / "logs" / "access.log";
    long second = 1704067200;
    const auto views = [&](int page, int count) {
        std::string text;
        for (int v = 0; v < count; ++v) {
            char line[200];
            std::snprintf(line, sizeof line,
                          "%ld.000 5 10.0.0.%d TCP_MISS/200 100 GET http://site.example/p%d - "
                          "HIER_DIRECT/192.0.2.1 text/html\n",
                          second++, 1 + (page + v) % 7, page);
            text += line;
        }
        std::ofstream(log, std::ios::binary | std::ios::app) << text;
    };
    for (int page = 0; page < 160; ++page) {
        views(page, 200 - page);  // the 100th page has 101 views, the 121st 80
    }
    reports::Options fresh;
    fresh.folder = dir.path() / "logs";
    fresh.timeZone = "UTC";
    reports::Options cached = fresh;
    cached.cache = dir.path() / "cache";
    cached.standingPages = 120;
    EXPECT_EQ(reports::writeJson(reports::run(cached)), reports::writeJson(reports::run(fresh)));
    const auto grownReport = [&](bool fromStanding) {
        const reports::Result result = reports::run(cached);
        EXPECT_EQ(result.filesGrown, 1u);
        EXPECT_EQ(result.fromStanding, fromStanding);
        EXPECT_EQ(reports::writeJson(result), reports::writeJson(reports::run(fresh)));
    };
    views(0, 5);
    views(150, 3);  // left out: at most 80 + 3 views
    grownReport(true);
    views(159, 30);  // left out: at most 83 + 30, more than the 100th page's 101
    grownReport(false);
    views(159, 1);  // named by the standing made anew
    grownReport(true);
}

// Whatever happens to the cache and the summary files, the report is right, or a summary is
// refused with its reason.
TEST_F(ReportScenario, AFaultInTheCacheOrASummaryNeverGivesAWrongReport) {
    const std::string whole = reports::writeJson(reports::run(options));
    testing_support::TempDir caches;
    reports::Options cached = options;
    cached.cache = caches.path() / "cache";
    reports::run(cached);
    const auto readAll = [](const std::filesystem::path& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    const auto writeAll = [](const std::filesystem::path& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    };
    // The files' entries, and the report kept of them all with its standing.
    std::vector<std::filesystem::path> entries;
    std::vector<std::filesystem::path> kept;
    const auto sortEntries = [&] {
        entries.clear();
        kept.clear();
        for (const auto& entry : std::filesystem::directory_iterator(cached.cache)) {
            (readAll(entry.path()).starts_with(reports::kCacheMagic) ? entries : kept)
                .push_back(entry.path());
        }
    };
    sortEntries();
    ASSERT_EQ(entries.size(), files.size());
    ASSERT_EQ(kept.size(), 2u);
    // A kept report or standing damaged: the report is made from the entries again.
    for (const std::filesystem::path& one : kept) {
        std::string keptBytes = readAll(one);
        keptBytes[keptBytes.size() / 2] ^= 0x04;
        writeAll(one, keptBytes);
        EXPECT_EQ(reports::writeJson(reports::run(cached)), whole) << one;
    }
    for (const std::filesystem::path& one : kept) {
        std::filesystem::remove(one);
    }
    // Cut short, a byte flipped, another version: each entry is read anew.
    const std::string first = readAll(entries[0]);
    writeAll(entries[0], first.substr(0, first.size() / 2));
    std::string flipped = readAll(entries[1]);
    flipped[flipped.size() * 2 / 3] ^= 0x20;
    writeAll(entries[1], flipped);
    std::string other = readAll(entries[2]);
    other[8] = static_cast<char>(other[8] + 1);
    writeAll(entries[2], other);
    reports::Result result = reports::run(cached);
    EXPECT_EQ(reports::writeJson(result), whole);
    EXPECT_GE(result.filesRead, 2u);  // the damaged parts are found when read, then read anew
    result = reports::run(cached);
    EXPECT_EQ(result.filesFromCache, files.size());  // every entry written again
    EXPECT_EQ(reports::writeJson(result), whole);

    // A cache that cannot be written: the report still comes, with a note.
    reports::Options unwritable = options;
    unwritable.cache = caches.path() / "a-file" / "cache";
    writeAll(caches.path() / "a-file", "not a folder");
    result = reports::run(unwritable);
    EXPECT_NE(result.cacheNote.find("cannot make the cache folder"), std::string::npos)
        << result.cacheNote;
    result.cacheNote.clear();
    EXPECT_EQ(reports::writeJson(result), whole);

    // A full disk while an entry is written: the entry before stays, and still serves.
    sortEntries();
    const std::filesystem::path squid = folder.path() / "squid" / "access.log";
    const std::string squidText = readAll(squid);
    std::map<std::filesystem::path, std::string> before;
    for (const std::filesystem::path& entry : entries) {
        before[entry] = readAll(entry);
    }
    for (const std::filesystem::path& report : kept) {
        std::filesystem::remove(report);
    }
    writeAll(squid, squidText + squidText);
    {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{};
        getrlimit(RLIMIT_FSIZE, &limit);
        const rlimit saved = limit;
        limit.rlim_cur = 256;
        setrlimit(RLIMIT_FSIZE, &limit);
        result = reports::run(cached);
        setrlimit(RLIMIT_FSIZE, &saved);
    }
    EXPECT_NE(result.cacheNote.find("File too large"), std::string::npos) << result.cacheNote;
    for (const std::filesystem::path& entry : entries) {
        EXPECT_TRUE(readAll(entry) == before[entry]) << entry;
    }
    // Written back as it was: the entry kept serves it, for its ends are as they were.
    writeAll(squid, squidText);
    result = reports::run(cached);
    EXPECT_EQ(reports::writeJson(result), whole);
    EXPECT_EQ(result.filesFromCache, files.size());

    // A log replaced by another of the same size and modification time, other first and last
    // bytes: read anew.
    const std::filesystem::path combined = folder.path() / "squid" / "combined.log";
    const std::string combinedText = readAll(combined);
    const auto modified = std::filesystem::last_write_time(combined);
    std::string replaced = combinedText;
    std::swap(replaced[0], replaced[1]);
    std::swap(replaced[replaced.size() - 3], replaced[replaced.size() - 4]);
    writeAll(combined, replaced);
    std::filesystem::last_write_time(combined, modified);
    result = reports::run(cached);
    EXPECT_EQ(result.filesRead, 1u);
    EXPECT_EQ(reports::writeJson(result), reports::writeJson(reports::run(options)));
    writeAll(combined, combinedText);

    // Two processes and a thread at once on one empty cache, then one from what they left.
    reports::Options shared = options;
    shared.cache = caches.path() / "shared";
    std::vector<pid_t> children;
    for (int child = 0; child < 2; ++child) {
        const pid_t pid = fork();
        if (pid == 0) {
            const bool right = reports::writeJson(reports::run(shared)) == whole;
            _exit(right ? 0 : 1);
        }
        children.push_back(pid);
    }
    std::string one;
    std::thread a([&] { one = reports::writeJson(reports::run(shared)); });
    const std::string two = reports::writeJson(reports::run(shared));
    a.join();
    for (const pid_t pid : children) {
        int status = -1;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    EXPECT_EQ(one, whole);
    EXPECT_EQ(two, whole);
    result = reports::run(shared);
    EXPECT_EQ(result.filesFromCache, files.size());
    EXPECT_EQ(reports::writeJson(result), whole);

    // The cache's bound: the least recently used entries go, and those of files that are gone.
    const auto cacheBytes = [&](const std::filesystem::path& folder) {
        std::uint64_t bytes = 0;
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            bytes += entry.file_size();
        }
        return bytes;
    };
    reports::Options bounded = shared;
    bounded.cacheBytes = cacheBytes(shared.cache) / 2;
    EXPECT_EQ(reports::writeJson(reports::run(bounded)), whole);
    EXPECT_LE(cacheBytes(shared.cache), bounded.cacheBytes);
    std::filesystem::remove(folder.path() / "w3c.log");
    reports::run(cached);
    std::size_t fileEntries = 0;
    for (const auto& entry : std::filesystem::directory_iterator(cached.cache)) {
        const std::string bytes = readAll(entry.path());
        if (bytes.starts_with(reports::kCacheMagic)) {
            ++fileEntries;
            EXPECT_EQ(bytes.find("w3c.log"), std::string::npos) << entry.path();
        }
    }
    EXPECT_EQ(fileEntries, files.size() - 1);
    folder.write("w3c.log", files["w3c.log"].text);

    // Summary files: one that is none, one cut short, one damaged, one of another version,
    // one of another time zone.
    const std::filesystem::path summary = caches.path() / "s.kestrand";
    std::string error;
    reports::Summary written;
    ASSERT_TRUE(reports::writeSummary(options, {}, summary, error, &written)) << error;
    const std::string good = readAll(summary);
    // Written piece by piece, its head last: the bytes of the summary encoded at once.
    EXPECT_EQ(good, reports::encodeSummary(written));
    // Read from its file, a summary leaves its parts there: another file renamed into its
    // place (another process writing it again) leaves them readable; cut, they no longer read.
    std::string why;
    const std::optional<reports::Summary> lazy =
        reports::decodeSummary(good, why, cache::OpenFile::open(summary));
    ASSERT_TRUE(lazy) << why;
    const std::filesystem::path replacement = caches.path() / "replacement.kestrand";
    writeAll(replacement, std::string(good.size(), 'x'));
    std::filesystem::rename(replacement, summary);
    EXPECT_EQ(reports::encodeSummary(*lazy), good);
    writeAll(summary, good);
    const std::optional<reports::Summary> cut =
        reports::decodeSummary(good, why, cache::OpenFile::open(summary));
    ASSERT_TRUE(cut) << why;
    writeAll(summary, good.substr(0, good.size() / 2));
    EXPECT_FALSE(reports::encodeSummary(*cut));
    // A summary of the first version, which kept no standing, still reads: from its parts.
    reports::Summary unstood = written;
    unstood.standing.reset();
    const std::string payload = reports::encodeSummary(unstood)->substr(cache::kSealHeader);
    writeAll(summary,
             cache::seal(reports::kSummaryMagic, 1, payload.substr(0, payload.size() - 1)));
    reports::Options fromFirst = options;
    fromFirst.folder = summary;
    const reports::Result old = reports::run(fromFirst);
    EXPECT_FALSE(old.fromStanding);
    writeAll(summary, good);
    const reports::Result now = reports::run(fromFirst);
    EXPECT_TRUE(now.fromStanding);
    EXPECT_EQ(reports::writeJson(old), reports::writeJson(now));
    std::string damaged = good;
    damaged[damaged.size() / 2] ^= 1;
    std::string newer = good;
    newer[8] = static_cast<char>(newer[8] + 1);
    const std::vector<std::pair<std::string, std::string>> bad{
        {"a plain text", "not a kestrand summary"},
        {good.substr(0, good.size() - 10), "cut short: "},
        {damaged, "damaged: its checksum does not match"},
        {newer, "written by another version of kestrand (format 3, this one reads 2)"}};
    for (const auto& [bytes, reason] : bad) {
        writeAll(summary, bytes);
        reports::Options given = options;
        given.folder = summary;
        result = reports::run(given);
        EXPECT_EQ(result.error.substr(0, summary.string().size() + 2 + reason.size()),
                  summary.string() + ": " + reason);
    }
    writeAll(summary, good);
    reports::Options elsewhere = options;
    elsewhere.folder = summary;
    elsewhere.timeZone = "UTC";
    EXPECT_EQ(reports::run(elsewhere).error,
              summary.string() +
                  " was summarized in the time zone Asia/Tehran, not UTC: give "
                  "--tz Asia/Tehran");
    elsewhere.timeZone = kZone;
    EXPECT_EQ(withoutFolder(reports::writeJson(reports::run(elsewhere))), withoutFolder(whole));
}

}  // namespace
