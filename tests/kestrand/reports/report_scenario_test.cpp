// One folder with a log of each layout, written from a list of requests; every report is
// computed again from that list by a plain model and compared with the engine's JSON.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "kestrand/reports/engine.h"
#include "kestrand/reports/searches.h"
#include "tests/kestrand/reports/report_json.h"
#include "tests/support/test_files.h"

namespace {

using namespace report_test;
namespace reports = kestrand::reports;

struct Agent {
    std::string text;
    std::string system;
    std::string browser;
};

// Where a request went, and what the reports should make of it.
struct Target {
    std::string host;  // as logged
    std::string destination;
    std::string uri;
    std::string mime;
    std::string site;  // the host the report names
    const char* place;
    bool page;
    std::string engine;  // empty: not a search
    std::string phrase;
};

struct Entry {
    std::string address;
    std::string user;
    const Agent* agent;
    int year, month, day, hour, minute, second;
    const Target* target;
    std::uint64_t bytes;
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
};

const std::vector<Target> kTargets{
    {"www.google.com", "8.8.8.8", "http://www.google.com/search?q=kestrel+bird&hl=en", "text/html",
     "www.google.com", "outside", true, "Google", "kestrel bird"},
    {"www.google.co.uk", "8.8.8.8", "http://www.google.co.uk/search?q=%D8%B3%D9%84%D8%A7%D9%85",
     "text/html; charset=UTF-8", "www.google.co.uk", "outside", true, "Google",
     "\xD8\xB3\xD9\x84\xD8\xA7\xD9\x85"},
    // A look-alike of an engine, at an address no database knows.
    {"google.com.evil.net", "240.0.0.1", "http://google.com.evil.net/search?q=trap", "text/html",
     "google.com.evil.net", "unknown", true, "", ""},
    // From the cache ("-"), under the home domain; the phrase is Windows-1256.
    {"www.parsijoo.ir", "-", "http://www.parsijoo.ir/web?q=%D3%E1%C7%E3++%20news", "-",
     "www.parsijoo.ir", "inside", true, "Parsijoo", "\xD8\xB3\xD9\x84\xD8\xA7\xD9\x85 news"},
    {"-", "2.144.0.1", "http://www.example.ir/logo.gif", "-", "www.example.ir", "inside", false, "",
     ""},
    {"intranet.local", "10.1.2.3", "http://intranet.local/index.html", "-", "intranet.local",
     "local", true, "", ""},
    {"search.yahoo.com", "240.0.0.1", "http://search.yahoo.com/search?p=&q=x", "text/html",
     "search.yahoo.com", "unknown", true, "", ""},
    {"www.bing.com", "8.8.8.8", "http://www.bing.com/search?q=a%20%20b", "image/png",
     "www.bing.com", "outside", false, "Bing", "a b"},
    {"cdn.example.com", "8.8.8.8", "http://cdn.example.com/app.js?v=1", "-", "cdn.example.com",
     "outside", false, "", ""},
};

const std::vector<std::string> kAddresses{"192.168.0.1", "192.168.0.2", "192.168.0.10", "10.0.0.7",
                                          "172.16.5.5"};
const std::vector<std::string> kUsers{"-", "ali", "SARA", "reza"};
const std::array<std::array<int, 3>, 3> kDays{{{2001, 2, 14}, {1999, 12, 31}, {2024, 3, 1}}};

std::vector<Entry> makeEntries(int count) {
    std::vector<Entry> entries;
    unsigned seed = 7;
    const auto next = [&seed](unsigned n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) % n;
    };
    for (int i = 0; i < count; ++i) {
        const auto& day = kDays[next(3)];
        entries.push_back(Entry{kAddresses[next(5)], kUsers[next(4)], &kAgents[next(4)], day[0],
                                day[1], day[2], static_cast<int>(next(24)),
                                static_cast<int>(next(60)), static_cast<int>(next(60)),
                                &kTargets[next(static_cast<unsigned>(kTargets.size()))],
                                next(2) == 0 ? 0 : 100 + next(100000)});
    }
    return entries;
}

std::string twoDigits(int n) {
    char text[8];
    std::snprintf(text, sizeof text, "%02d", n);
    return text;
}

std::string commaDate(const Entry& e) {
    return std::to_string(e.month) + "/" + std::to_string(e.day) + "/" + twoDigits(e.year % 100);
}
std::string timeText(const Entry& e) {
    return twoDigits(e.hour) + ":" + twoDigits(e.minute) + ":" + twoDigits(e.second);
}
std::string bytesText(const Entry& e) { return e.bytes == 0 ? "-" : std::to_string(e.bytes); }

std::string join(const std::vector<std::string>& fields, const char* separator) {
    std::string line;
    for (const std::string& field : fields) {
        line += (line.empty() ? "" : separator) + field;
    }
    return line + "\r\n";
}

std::string documentedLine(const Entry& e) {
    const Target& t = *e.target;
    return join(
        {e.address,    e.user, e.agent->text, "Y",           commaDate(e), timeText(e), "W3Proxy",
         "PROXY1",     "-",    t.host,        t.destination, "80",         "120",       "340",
         bytesText(e), "http", "TCP",         "GET",         t.uri,        t.mime,      "Inet",
         "200",        "0"},
        ", ");
}

std::string samplesLine(const Entry& e) {
    const Target& t = *e.target;
    return join({e.address,   e.user, e.agent->text, "Y",          "-",    commaDate(e),
                 timeText(e), t.host, "W3Proxy",     "PROXY1",     "-",    t.destination,
                 "80",        "1462", "325",         bytesText(e), "http", "TCP",
                 "GET",       t.uri,  t.mime,        "Inet",       "200"},
                ", ");
}

std::string w3cDate(const Entry& e) {
    return std::to_string(e.year) + "-" + twoDigits(e.month) + "-" + twoDigits(e.day);
}

// The report the engine should give, computed plainly from the entries.
struct Model {
    struct Address {
        std::uint64_t requests = 0, bytes = 0;
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
    std::map<std::string, std::uint64_t> pages, engines, phrases;
    std::map<std::string, std::pair<std::uint64_t, std::uint64_t>> places;
    std::uint64_t requests = 0, bytes = 0;

    void add(const Entry& e) {
        const Target& t = *e.target;
        const std::string moment = w3cDate(e) + " " + timeText(e);
        Address& a = addresses[e.address];
        if (a.requests == 0 || moment < a.first) {
            a.first = moment;
        }
        if (a.requests == 0 || moment > a.last) {
            a.last = moment;
        }
        ++a.requests;
        a.bytes += e.bytes;
        if (e.user != "-") {
            ++a.users[e.user];
        }
        ++requests;
        bytes += e.bytes;
        systems[e.agent->system].first.insert(e.address);
        ++systems[e.agent->system].second;
        browsers[e.agent->browser].first.insert(e.address);
        ++browsers[e.agent->browser].second;
        auto& [hourRequests, hourBytes, hourAddresses] = hours[static_cast<std::size_t>(e.hour)];
        ++hourRequests;
        hourBytes += e.bytes;
        hourAddresses.insert(e.address);
        // 2001-02-14 was a Wednesday, 1999-12-31 and 2024-03-01 were Fridays.
        const int weekday = e.year == 2001 ? 2 : 4;
        ++weekdays[static_cast<std::size_t>(weekday)][static_cast<std::size_t>(e.hour)];
        Site& site = sites[t.site];
        ++site.requests;
        site.bytes += e.bytes;
        site.addresses.insert(e.address);
        if (t.page) {
            ++site.pages;
            ++pages[t.uri.substr(0, t.uri.find('?'))];
        }
        ++places[t.place].first;
        places[t.place].second += e.bytes;
        ++a.places[t.place].first;
        a.places[t.place].second += e.bytes;
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
        entries = makeEntries(300);
        std::string documented, samples, w3c;
        w3c =
            "#Software: Proxy Server\r\n#Version: 1.0\r\n#Date: 2001-02-14 00:00:00\r\n"
            "#Fields: c-ip cs-username c-agent date time r-host r-ip sc-bytes cs-uri "
            "cs-mime-type sc-status\r\n";
        int w3cLines = 0;
        for (std::size_t i = 0; i < entries.size(); ++i) {
            const Entry& e = entries[i];
            const Target& t = *e.target;
            switch (i % 3) {
                case 0:
                    documented += documentedLine(e);
                    break;
                case 1:
                    samples += samplesLine(e);
                    break;
                default:
                    // Half way, the columns change order.
                    if (++w3cLines == 50) {
                        w3c +=
                            "#Fields: date time c-ip r-host cs-uri cs-mime-type c-agent r-ip "
                            "sc-bytes cs-username\r\n";
                    }
                    if (w3cLines < 50) {
                        w3c += join({e.address, e.user, e.agent->text, w3cDate(e), timeText(e),
                                     t.host, t.destination, bytesText(e), t.uri, t.mime, "200"},
                                    "\t");
                    } else {
                        w3c += join({w3cDate(e), timeText(e), e.address, t.host, t.uri, t.mime,
                                     e.agent->text, t.destination, bytesText(e), e.user},
                                    "\t");
                    }
            }
            model.add(e);
        }
        // The proxy's own refresh, a line with too few fields, a date that is no date.
        documented +=
            "192.168.0.99, -, MSProxy/2.0, N, 2/14/01, 10:00:00, W3Proxy, PROXY1, -, "
            "www.example.com, 8.8.8.8, 80, 1, 1, 999, http, TCP, GET, "
            "http://www.example.com/, text/html, Inet, 200, 0\r\n";
        documented += "192.168.0.1, -, short line\r\n";
        samples +=
            "192.168.0.1, -, Mozilla/4.0, Y, -, 2/30/01, 10:00:00, a.com, W3Proxy, PROXY1, "
            "-, 8.8.8.8, 80, 1, 1, 1, http, TCP, GET, http://a.com/, -, Inet, 200\r\n";
        std::filesystem::create_directories(folder.path() / "logs" / "older");
        folder.write("logs/documented.LOG", documented);
        folder.write("logs/older/samples.log", samples);
        folder.write("w3c.log", w3c);
        folder.write("notes.txt", "not a log");
        options.folder = folder.path();
    }

    std::vector<Entry> entries;
    Model model;
    testing_support::TempDir folder;
    reports::Options options;
};

TEST_F(ReportScenario, EveryReportMatchesThePlainModel) {
    options.threads = 1;
    const reports::Result result = reports::run(options);
    ASSERT_TRUE(result.error.empty()) << result.error;
    const QJsonObject report = parseJson(reports::writeJson(result));

    const QJsonObject documented = fileRow(report, "logs/documented.LOG");
    EXPECT_EQ(str(documented["layout"]), "comma");
    EXPECT_EQ(num(documented["lines"]), 102);
    EXPECT_EQ(num(documented["requests"]), 100);
    EXPECT_EQ(num(documented["proxy_requests"]), 1);
    EXPECT_EQ(num(documented["skipped"]), 1);
    EXPECT_EQ(documented["skipped_lines"].toArray(), QJsonArray({102}));
    EXPECT_TRUE(documented["error"].isNull());
    const QJsonObject samples = fileRow(report, "logs/older/samples.log");
    EXPECT_EQ(str(samples["layout"]), "comma-samples");
    EXPECT_EQ(samples["skipped_lines"].toArray(), QJsonArray({101}));
    const QJsonObject w3c = fileRow(report, "w3c.log");
    EXPECT_EQ(str(w3c["layout"]), "w3c");
    EXPECT_EQ(num(w3c["requests"]), 100);
    EXPECT_EQ(num(w3c["skipped"]), 0);
    EXPECT_EQ(num(report["other_files"]), 1);

    EXPECT_EQ(str(report["home_country"]), "IR");
    EXPECT_EQ(num(report["totals"]["requests"]), static_cast<long long>(model.requests));
    EXPECT_EQ(num(report["totals"]["bytes"]), static_cast<long long>(model.bytes));
    EXPECT_EQ(num(report["totals"]["addresses"]), static_cast<long long>(model.addresses.size()));
    std::string first = model.addresses.begin()->second.first;
    std::string last = model.addresses.begin()->second.last;
    for (const auto& [address, a] : model.addresses) {
        first = std::min(first, a.first);
        last = std::max(last, a.last);
    }
    EXPECT_EQ(str(report["period"]["first"]), first);
    EXPECT_EQ(str(report["period"]["last"]), last);

    // 0: addresses, with their users, first and last requests.
    using AddressLine = std::tuple<std::string, long long, long long, std::vector<std::string>,
                                   std::string, std::string>;
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
        expected.emplace_back(address, a.requests, a.bytes, names, a.first, a.last);
    }
    byCount(expected);
    for (const QJsonValue value : report["addresses"].toArray()) {
        const QJsonObject row = value.toObject();
        std::vector<std::string> users;
        for (const QJsonValue user : row["users"].toArray()) {
            users.push_back(str(user));
        }
        actual.emplace_back(str(row["address"]), num(row["requests"]), num(row["bytes"]), users,
                            str(row["first"]), str(row["last"]));
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
        expected += (e.year == 2001 && e.address == "192.168.0.2") ? 1 : 0;
    }
    EXPECT_EQ(static_cast<long long>(result.totals.requests), expected);
    ASSERT_EQ(result.addresses.size(), 1u);
    EXPECT_EQ(result.addresses[0].address, "192.168.0.2");
    EXPECT_EQ(result.first->substr(0, 10), "2001-02-14");
    EXPECT_EQ(result.last->substr(0, 10), "2001-02-14");
    EXPECT_FALSE(reports::parseDay("2001-02-30"));
    EXPECT_FALSE(reports::parseDay("2/14/01"));
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

}  // namespace
