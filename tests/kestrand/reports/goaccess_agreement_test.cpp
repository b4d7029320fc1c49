// The engine and GoAccess (Debian's goaccess, when it is installed) read the same generated
// Squid log: every client's requests, refused ones included, are GoAccess's hits of that host,
// and so are the bytes of every client none of whose requests was refused.
#include <gtest/gtest.h>

#include <QFile>
#include <cstdlib>
#include <map>
#include <string>

#include "kestrand/reports/engine.h"
#include "tests/kestrand/reports/report_json.h"
#include "tests/support/test_files.h"

namespace {

using namespace report_test;
namespace reports = kestrand::reports;

// Squid's native format in GoAccess's notation: time.ms, padded elapsed, client,
// code/status, bytes, method, URL, user, hierarchy/peer, type.
constexpr char kSquidFormat[] = "%x.%^ %~%L %h %^/%s %b %m %U %e %^ %M";

std::string squidLog() {
    const char* clients[] = {"192.168.1.10",  "192.168.1.11", "10.0.0.5",    "2001:db8::7",
                             "2001:db8::1:2", "172.16.0.9",   "192.168.1.12"};
    const char* codes[] = {"TCP_MISS/200",   "TCP_HIT/200",    "TCP_MISS/404",
                           "TCP_DENIED/403", "TCP_DENIED/407", "TCP_MEM_HIT/304"};
    std::string log;
    unsigned seed = 11;
    const auto next = [&seed](unsigned n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) % n;
    };
    for (int i = 0; i < 3000; ++i) {
        const unsigned client = next(7);
        // Clients 0 and 1 are never refused; client 6 is always.
        unsigned code = next(6);
        if (client <= 1 && (code == 3 || code == 4)) {
            code = 0;
        }
        if (client == 6) {
            code = 3 + next(2);
        }
        const bool tunnel = code == 0 && next(3) == 0;
        log += std::to_string(1700000000 + i * 7) + "." + std::to_string(100 + next(900)) + " " +
               std::string(1 + next(5), ' ') + std::to_string(next(90000)) + " " + clients[client] +
               " " + (tunnel ? "TCP_TUNNEL/200" : codes[code]) + " " +
               std::to_string(next(500000)) +
               (tunnel ? " CONNECT www.site" + std::to_string(next(20)) + ".com:443"
                       : " GET http://www.site" + std::to_string(next(20)) + ".com/p" +
                             std::to_string(next(100)) + ".html") +
               (next(3) == 0 ? " user" + std::to_string(client) : " -") +
               (code >= 3 ? " HIER_NONE/-" : " HIER_DIRECT/93.184.216.34") +
               (tunnel ? " -" : " text/html") + "\n";
    }
    return log;
}

TEST(GoAccessAgreement, EveryClientsRequestsAndUnrefusedBytesAreItsHostsHitsAndBytes) {
    if (std::system("command -v goaccess > /dev/null 2>&1") != 0) {
        GTEST_SKIP() << "goaccess is not installed";
    }
    testing_support::TempDir folder;
    const std::filesystem::path log = folder.write("access.log", squidLog());
    const std::filesystem::path json = folder.path() / "goaccess.json";
    const std::string command = "goaccess '" + log.string() +
                                "' --no-global-config --log-format='" + kSquidFormat +
                                "' --date-format=%s --time-format=%s --no-progress -o '" +
                                json.string() + "' > /dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    QFile file(QString::fromStdString(json.string()));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QJsonObject theirs = parseJson(file.readAll().toStdString());
    EXPECT_EQ(num(theirs["general"]["failed_requests"]), 0);
    std::map<std::string, std::pair<long long, long long>> hosts;  // hits, bytes
    for (const QJsonValue row : theirs["hosts"]["data"].toArray()) {
        hosts[str(row["data"])] = {num(row["hits"]["count"]), num(row["bytes"]["count"])};
    }

    reports::Options options;
    options.folder = folder.path();
    options.kinds = {true, false, false, false, false, false, false};
    const reports::Result ours = reports::run(options);
    ASSERT_EQ(ours.files.size(), 1u);
    EXPECT_EQ(ours.files[0].layout, "squid");
    EXPECT_EQ(ours.files[0].skipped, 0u);
    ASSERT_EQ(ours.addresses.size(), hosts.size());
    bool someRefused = false;
    bool someNot = false;
    for (const reports::AddressRow& row : ours.addresses) {
        ASSERT_TRUE(hosts.contains(row.address)) << row.address;
        const auto& [hits, bytes] = hosts[row.address];
        EXPECT_EQ(static_cast<long long>(row.requests + row.denied), hits) << row.address;
        if (row.denied == 0) {
            EXPECT_EQ(static_cast<long long>(row.bytes), bytes) << row.address;
            someNot = true;
        } else {
            someRefused = true;
        }
    }
    EXPECT_TRUE(someRefused && someNot);
}

}  // namespace
