#include "bench/report_folder.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace bench {

namespace fs = std::filesystem;

namespace {

class Random {
  public:
    explicit Random(std::uint64_t seed) : state_(seed | 1) {}
    std::uint64_t next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 7;
        state_ ^= state_ << 17;
        return state_;
    }
    std::uint64_t below(std::uint64_t n) { return next() % n; }
    double unit() { return static_cast<double>(next() >> 11) / 9007199254740992.0; }

  private:
    std::uint64_t state_;
};

// Draws 0..n-1 with a Zipf-like skew: a few items are very common, most are rare.
class Skewed {
  public:
    explicit Skewed(std::size_t n) : cumulative_(n) {
        double sum = 0;
        for (std::size_t i = 0; i < n; ++i) {
            sum += 1.0 / std::pow(static_cast<double>(i + 1), 0.9);
            cumulative_[i] = sum;
        }
        for (double& c : cumulative_) {
            c /= sum;
        }
    }
    std::size_t draw(Random& random) const {
        const double u = random.unit();
        return static_cast<std::size_t>(
            std::lower_bound(cumulative_.begin(), cumulative_.end(), u) - cumulative_.begin());
    }

  private:
    std::vector<double> cumulative_;
};

std::vector<std::string> makeAgents() {
    std::vector<std::string> agents;
    const std::array<const char*, 5> platforms{
        "Windows NT 10.0; Win64; x64", "Windows NT 6.1; WOW64", "Macintosh; Intel Mac OS X 10_15_7",
        "X11; Linux x86_64", "Windows NT 6.3; Win64; x64"};
    for (int major = 70; major <= 124; ++major) {
        for (const char* platform : platforms) {
            agents.push_back(std::string("Mozilla/5.0 (") + platform +
                             ") AppleWebKit/537.36 (KHTML, like Gecko) Chrome/" +
                             std::to_string(major) + ".0.0.0 Safari/537.36");
        }
        agents.push_back("Mozilla/5.0 (Linux; Android " + std::to_string(6 + major % 8) +
                         "; SM-G9" + std::to_string(major) +
                         ") AppleWebKit/537.36 (KHTML, like Gecko) Chrome/" +
                         std::to_string(major) + ".0.0.0 Mobile Safari/537.36");
    }
    for (int major = 60; major <= 125; ++major) {
        for (const char* platform : {"Windows NT 10.0; Win64; x64", "X11; Ubuntu; Linux x86_64"}) {
            agents.push_back(std::string("Mozilla/5.0 (") + platform +
                             "; rv:" + std::to_string(major) + ".0) Gecko/20100101 Firefox/" +
                             std::to_string(major) + ".0");
        }
    }
    // Long agents are split over lines on purpose.
    // NOLINTBEGIN(bugprone-suspicious-missing-comma)
    for (const char* old :
         {"Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1)",
          "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1)",
          "Mozilla/4.0 (compatible; MSIE 7.0; Windows NT 5.1)",
          "Mozilla/4.0 (compatible; MSIE 8.0; Windows NT 6.1; Trident/4.0)",
          "Mozilla/4.0 (compatible; MSIE 5.5; Windows 98)",
          "Mozilla/4.0 (compatible; MSIE 5.0; Windows NT)",
          "Mozilla/5.0 (iPhone; CPU iPhone OS 16_5 like Mac OS X) "
          "AppleWebKit/605.1.15 (KHTML, like Gecko) Version/16.5 Mobile/15E148 "
          "Safari/604.1",
          "Mozilla/5.0 (compatible; Googlebot/2.1; +http://www.google.com/bot.html)",
          "Microsoft-CryptoAPI/10.0", "Windows-Update-Agent/10.0.10011.16384"}) {
        agents.emplace_back(old);
    }
    // NOLINTEND(bugprone-suspicious-missing-comma)
    return agents;
}

const std::array<const char*, 24> kWords{"kestrel",
                                         "weather",
                                         "tehran",
                                         "news",
                                         "football",
                                         "price",
                                         "dollar",
                                         "recipe",
                                         "music",
                                         "download",
                                         "free",
                                         "university",
                                         "exam",
                                         "result",
                                         "map",
                                         "train",
                                         "\xD8\xAA\xD9\x87\xD8\xB1\xD8\xA7\xD9\x86",
                                         "\xD8\xA7\xD8\xAE\xD8\xA8\xD8\xA7\xD8\xB1",
                                         "bank",
                                         "hotel",
                                         "flight",
                                         "movie",
                                         "game",
                                         "phone"};

std::string percentEncoded(const std::string& text) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b == ' ') {
            out += '+';
        } else if (b >= 0x80) {
            out += '%';
            out += hex[b >> 4];
            out += hex[b & 15];
        } else {
            out += c;
        }
    }
    return out;
}

struct Line {
    std::string client, user, agent, date, commaDate, time, host, destination, bytes, uri, path,
        mime;
    std::uint64_t epoch = 0;  // the moment as Unix seconds
};

constexpr std::uint64_t kJanuary2024 = 1704067200;  // 2024-01-01 00:00:00 UTC

class Generator {
  public:
    explicit Generator(std::uint64_t distinctPages)
        : random_(42),
          agents_(makeAgents()),
          agentPick_(agents_.size()),
          clientPick_(3000),
          hostPick_(20000),
          pagePick_(std::min<std::uint64_t>(distinctPages, 200000)),
          distinctPages_(distinctPages) {
        for (int i = 0; i < 3000; ++i) {
            clients_.push_back((i % 3 == 0 ? "10.10." : "192.168.") + std::to_string(i / 250) +
                               "." + std::to_string(i % 250 + 1));
            users_.push_back(i % 4 == 0 ? "-" : "user" + std::to_string(i % 700));
            clientAgent_.push_back(agentPick_.draw(random_));
            clientHost_.push_back(kNoHost);
        }
        for (int i = 0; i < 20000; ++i) {
            std::string host;
            switch (i) {
                case 0:
                    host = "www.google.com";
                    break;
                case 3:
                    host = "www.bing.com";
                    break;
                case 5:
                    host = "www.parsijoo.ir";
                    break;
                case 8:
                    host = "search.yahoo.com";
                    break;
                default:
                    host = (i % 5 == 0 ? "cdn" : "www") + std::string(".site") + std::to_string(i) +
                           (i % 3 == 0 ? ".ir" : (i % 3 == 1 ? ".com" : ".net"));
            }
            hosts_.push_back(host);
            const bool home = host.ends_with(".ir");
            destinations_.push_back(
                (home ? (i % 2 ? "2.144." : "185.143.") : (i % 2 ? "104.16." : "151.101.")) +
                std::to_string(i / 256 % 256) + "." + std::to_string(i % 256));
        }
    }

    Line next(std::uint64_t n, std::uint64_t total) {
        Line line;
        const std::size_t client = clientPick_.draw(random_);
        line.client = clients_[client];
        line.user = users_[client];
        const std::size_t agent =
            random_.below(10) < 8 ? clientAgent_[client] : agentPick_.draw(random_);
        line.agent = random_.below(400) == 0 ? "MSProxy/2.0" : agents_[agent];
        // 30 days, in order through the run.
        const std::uint64_t second = n * 30ull * 86400 / std::max<std::uint64_t>(total, 1);
        line.epoch = kJanuary2024 + second;
        const int day = static_cast<int>(second / 86400) + 1;
        const int inDay = static_cast<int>(second % 86400);
        char text[32];
        std::snprintf(text, sizeof text, "2024-01-%02d", day);
        line.date = text;
        std::snprintf(text, sizeof text, "1/%d/24", day);
        line.commaDate = text;
        std::snprintf(text, sizeof text, "%02d:%02d:%02d", inDay / 3600, inDay / 60 % 60,
                      inDay % 60);
        line.time = text;
        // A user stays on a site for a while: a page, its pictures, the next page.
        std::size_t host = clientHost_[client];
        if (host == kNoHost || random_.below(10) < 3) {
            host = random_.below(12) == 0 ? random_.below(4) * 3 % 9 : hostPick_.draw(random_);
            clientHost_[client] = host;
        }
        line.host = hosts_[host];
        line.destination = random_.below(7) == 0 ? "-" : destinations_[host];
        const double size = std::exp(5.5 + random_.unit() * 8.5);
        line.bytes = std::to_string(static_cast<std::uint64_t>(size));
        const std::uint64_t kind = random_.below(10);
        if (host == 0 || host == 3 || host == 5 || host == 8) {
            std::string phrase = kWords[random_.below(kWords.size())];
            for (std::uint64_t w = random_.below(3); w > 0; --w) {
                phrase += std::string(" ") + kWords[random_.below(kWords.size())];
            }
            line.path = std::string(host == 8 ? "/search?p=" : "/search?q=") +
                        percentEncoded(phrase) + "&hl=fa";
            line.mime = "text/html";
        } else if (kind < 4) {
            std::uint64_t page = 0;
            if (distinctPages_ > 200000) {
                // Exactly distinctPages URIs in all: the page's number decides its site.
                page = random_.below(distinctPages_);
                line.host = hosts_[page % hosts_.size()];
                line.destination = destinations_[page % hosts_.size()];
            } else {
                page = pagePick_.draw(random_);  // a page of the site the user is on
            }
            line.path = "/section" + std::to_string(page % 40) + "/article" + std::to_string(page) +
                        ".html" +
                        (random_.below(3) == 0 ? "?ref=" + std::to_string(random_.below(100)) : "");
            line.mime = "text/html";
        } else if (kind < 8) {
            line.path = "/img/" + std::to_string(random_.below(5000)) + ".jpg";
            line.mime = "image/jpeg";
        } else {
            line.path = random_.below(2) ? "/static/app.js" : "/static/site.css";
            line.mime = random_.below(2) ? "application/javascript" : "text/css";
        }
        if (random_.below(3) == 0) {
            line.mime = "-";
        }
        line.uri = "http://" + line.host + line.path;
        return line;
    }

  private:
    Random random_;
    std::vector<std::string> agents_;
    Skewed agentPick_;
    Skewed clientPick_;
    Skewed hostPick_;
    Skewed pagePick_;
    std::uint64_t distinctPages_;
    std::vector<std::string> clients_;
    std::vector<std::string> users_;
    std::vector<std::size_t> clientAgent_;
    static constexpr std::size_t kNoHost = ~std::size_t{0};
    std::vector<std::size_t> clientHost_;
    std::vector<std::string> hosts_;
    std::vector<std::string> destinations_;
};

fs::path benchFolder() {
    if (const char* dir = std::getenv("TS_BENCH_DIR")) {
        return dir;
    }
    return fs::temp_directory_path();
}

// One line of Squid's native log for a generated request. Most HTTPS goes through CONNECT
// tunnels; a few requests are refused (403 by a rule, 407 before authentication) or hits.
std::string squidLine(const Line& l, Random& random) {
    char stamp[48];
    const std::uint64_t kind = random.below(100);
    const bool tunnel = kind < 45;
    const char* code = "TCP_MISS/200";
    if (kind >= 95) {
        code = kind >= 98 ? "TCP_DENIED/403" : "TCP_DENIED/407";
    } else if (kind >= 85) {
        code = kind >= 90 ? "TCP_MEM_HIT/200" : "TCP_HIT/200";
    } else if (tunnel) {
        code = "TCP_TUNNEL/200";
    }
    const bool direct = kind < 85 && l.destination != "-";
    std::snprintf(stamp, sizeof stamp, "%llu.%03llu %6llu ",
                  static_cast<unsigned long long>(l.epoch),
                  static_cast<unsigned long long>(random.below(1000)),
                  static_cast<unsigned long long>(random.below(tunnel ? 120000 : 3000)));
    std::string line = stamp;
    line += l.client;
    line += ' ';
    line += code;
    line += ' ';
    line += kind >= 95 ? "3920" : l.bytes;
    if (tunnel) {
        line += " CONNECT " + l.host + ":443 ";
    } else {
        line += " GET " + l.uri + " ";
    }
    line += l.user;
    line += direct ? " HIER_DIRECT/" + l.destination : std::string(" HIER_NONE/-");
    line += ' ';
    line += tunnel ? "-" : l.mime;
    line += '\n';
    return line;
}

// Writes out what `buffer` holds, adds its size to `written` and empties it; the generators
// write a megabyte at a time.
constexpr std::size_t kWriteAt = 1 << 20;
void writeOut(std::ofstream& file, std::string& buffer, std::uint64_t& written) {
    file << buffer;
    written += buffer.size();
    buffer.clear();
}

// One line of a generated request in layout 0 to 4 (the samples' comma order, the documented
// comma order, W3C, Squid's native format, Squid's combined format).
std::string dailyLine(int layout, const Line& l, Random& random) {
    switch (layout) {
        case 0:
            return l.client + ", " + l.user + ", " + l.agent + ", Y, -, " + l.commaDate + ", " +
                   l.time + ", " + l.host + ", W3Proxy, PROXY1, -, " + l.destination +
                   ", 80, 1462, 325, " + l.bytes + ", http, TCP, GET, " + l.uri + ", " + l.mime +
                   ", Inet, 200\r\n";
        case 1:
            return l.client + ", " + l.user + ", " + l.agent + ", Y, " + l.commaDate + ", " +
                   l.time + ", W3Proxy, PROXY1, -, " + l.host + ", " + l.destination +
                   ", 80, 1462, 325, " + l.bytes + ", http, TCP, GET, " + l.uri + ", " + l.mime +
                   ", Inet, 200, 0\r\n";
        case 2:
            return l.client + "\t" + l.user + "\t" + l.agent + "\t" + l.date + "\t" + l.time +
                   "\t" + l.host + "\t" + l.destination + "\t" + l.bytes + "\t" + l.uri + "\t" +
                   l.mime + "\t200\r\n";
        case 3:
            return squidLine(l, random);
        default: {
            static const char* months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                           "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
            const int day = std::atoi(l.date.c_str() + 8);
            const int month = std::atoi(l.date.c_str() + 5);
            char stamp[64];
            std::snprintf(stamp, sizeof stamp, "[%02d/%s/%.4s:%s +0000]", day,
                          months[(month + 11) % 12], l.date.c_str(), l.time.c_str());
            return l.client + " - " + (l.user == "-" ? std::string("-") : l.user) + " " + stamp +
                   " \"GET " + l.uri + " HTTP/1.1\" 200 " + l.bytes + " \"-\" \"" + l.agent +
                   "\" TCP_MISS:HIER_DIRECT\n";
        }
    }
}

constexpr const char* kW3cHead =
    "#Software: Proxy Server\r\n#Version: 1.0\r\n#Fields: c-ip cs-username c-agent date time "
    "r-host r-ip sc-bytes cs-uri cs-mime-type sc-status\r\n";

}  // namespace

DailyFolder generatedDailyFolder(std::uint64_t bytes, std::uint64_t distinctPages) {
    DailyFolder out;
    const fs::path base = benchFolder() / "daily";
    const std::string name =
        "daily-" + std::to_string(bytes >> 20) + "MB-" + std::to_string(distinctPages);
    out.folder = base / name;
    for (int d = 1; d <= 30; ++d) {
        char file[32];
        std::snprintf(file, sizeof file, "access-2024-01-%02d.log", d);
        out.files.push_back(out.folder / file);
    }
    const fs::path done = base / (name + ".done");
    if (fs::exists(done)) {
        std::ifstream in(done);
        in >> out.bytes;
        return out;
    }
    fs::remove_all(out.folder);
    fs::create_directories(out.folder);
    Generator generator(distinctPages);
    Random random(11);
    const std::uint64_t estimatedLines = bytes / 257;  // the mean line of the five layouts
    std::ofstream file;
    std::string buffer;
    int openDay = 0;
    for (std::uint64_t n = 0; n < estimatedLines; ++n) {
        const Line l = generator.next(n, estimatedLines);
        const int day = std::atoi(l.date.c_str() + 8);
        if (day != openDay) {
            writeOut(file, buffer, out.bytes);
            file.close();
            file.open(out.files[static_cast<std::size_t>(day - 1)],
                      std::ios::binary | std::ios::trunc);
            openDay = day;
            if (day % 5 == 2) {
                buffer += kW3cHead;
            }
        }
        buffer += dailyLine(day % 5, l, random);
        if (buffer.size() > kWriteAt) {
            writeOut(file, buffer, out.bytes);
        }
    }
    writeOut(file, buffer, out.bytes);
    file.close();
    std::ofstream(done) << out.bytes << '\n';
    return out;
}

std::string moreLinesOfTheLastDay(const DailyFolder& folder, std::uint64_t bytes) {
    (void)folder;
    // The same requests as the folder's, moved to the evening of the last day.
    Generator generator(200000);
    Random random(13);
    std::string out;
    for (std::uint64_t n = 0; out.size() < bytes; ++n) {
        Line l = generator.next(n, bytes / 190 * 30);
        l.date = "2024-01-30";
        l.commaDate = "1/30/24";
        l.epoch = kJanuary2024 + 29 * 86400 + (l.epoch - kJanuary2024) % 86400;
        out += dailyLine(30 % 5, l, random);
    }
    return out;
}

SquidLog generatedSquidLog(std::uint64_t bytes, std::uint64_t distinctPages) {
    SquidLog out;
    const fs::path folder = benchFolder() / "squid";
    const std::string name =
        "squid-" + std::to_string(bytes >> 20) + "MB-" + std::to_string(distinctPages);
    out.folder = folder / name;
    out.file = out.folder / "access.log";
    const fs::path done = folder / (name + ".done");
    if (fs::exists(done)) {
        std::ifstream in(done);
        in >> out.bytes >> out.requests;
        return out;
    }
    fs::remove_all(out.folder);
    fs::create_directories(out.folder);
    Generator generator(distinctPages);
    Random random(7);
    const std::uint64_t estimatedLines = bytes / 125;
    std::ofstream file(out.file, std::ios::binary | std::ios::trunc);
    std::string buffer;
    std::uint64_t n = 0;
    while (out.bytes + buffer.size() < bytes) {
        buffer += squidLine(generator.next(n++, estimatedLines), random);
        if (buffer.size() > kWriteAt) {
            writeOut(file, buffer, out.bytes);
        }
    }
    writeOut(file, buffer, out.bytes);
    out.requests = n;
    std::ofstream(done) << out.bytes << ' ' << out.requests << '\n';
    return out;
}

ReportFolder generatedReportFolder(std::uint64_t bytes, std::uint64_t distinctPages, bool withTsv) {
    ReportFolder out;
    const std::string name =
        "kestrand-logs-" + std::to_string(bytes >> 20) + "MB-" + std::to_string(distinctPages);
    out.folder = benchFolder() / name;
    out.tsv = benchFolder() / (name + ".tsv");
    const fs::path done = benchFolder() / (name + ".done");
    if (fs::exists(done) && (!withTsv || fs::exists(out.tsv))) {
        std::ifstream in(done);
        in >> out.bytes >> out.requests;
        return out;
    }
    fs::remove_all(out.folder);
    fs::create_directories(out.folder / "older");
    // Eight files: four in the samples' layout, three in the documented one, one W3C.
    constexpr int kFiles = 8;
    const std::uint64_t perFile = bytes / kFiles;
    const std::uint64_t estimatedLines = bytes / 260;
    Generator generator(distinctPages);
    Random random(3);  // for dailyLine; the old proxy's layouts draw nothing from it
    std::ofstream tsv;
    if (withTsv) {
        tsv.open(out.tsv, std::ios::binary | std::ios::trunc);
    }
    std::uint64_t n = 0;
    std::string buffer;
    std::string tsvBuffer;
    for (int f = 0; f < kFiles; ++f) {
        const int layout = f < 4 ? 3 : (f < 7 ? 2 : 1);
        const fs::path path =
            out.folder / (f % 2 ? "older" : ".") /
            ("ex" + std::to_string(240101 + f) + (layout == 1 ? "w3c" : "") + ".log");
        std::ofstream file(path, std::ios::binary | std::ios::trunc);
        std::uint64_t written = 0;
        if (layout == 1) {
            buffer = kW3cHead;
        }
        while (written + buffer.size() < perFile) {
            const Line l = generator.next(n++, estimatedLines);
            // Layouts 3, 2 and 1: the samples' comma order, the documented one, W3C.
            buffer += dailyLine(3 - layout, l, random);
            if (withTsv) {
                tsvBuffer += l.date + "\t" + l.time + "\t" + l.client + "\t" + l.user + "\t" +
                             l.agent + "\t" + l.host + "\tGET\t" + l.path + "\t200\t" + l.bytes +
                             "\t" + l.mime + "\n";
            }
            if (buffer.size() > kWriteAt) {
                writeOut(file, buffer, written);
                tsv << tsvBuffer;
                tsvBuffer.clear();
            }
        }
        writeOut(file, buffer, written);
        tsv << tsvBuffer;
        tsvBuffer.clear();
        out.bytes += written;
    }
    out.requests = n;
    std::ofstream(done) << out.bytes << ' ' << out.requests << '\n';
    return out;
}

}  // namespace bench
