// The agent rules are read once a process, and workers that classify at the same time name
// every agent as one reader does.
#include "kestrand/reports/agents.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "kestrand/reports/country.h"
#include "kestrand/reports/engine.h"
#include "tests/support/test_files.h"

namespace {

namespace reports = kestrand::reports;

// Distinct agents of several browsers, systems and versions.
std::vector<std::string> manyAgents() {
    std::vector<std::string> agents;
    for (int major = 40; major < 120; ++major) {
        const std::string m = std::to_string(major);
        agents.push_back(
            "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, "
            "like Gecko) Chrome/" +
            m + ".0.0.0 Safari/537.36");
        agents.push_back("Mozilla/5.0 (X11; Ubuntu; Linux x86_64; rv:" + m +
                         ".0) Gecko/20100101 Firefox/" + m + ".0");
        agents.push_back("Mozilla/5.0 (Linux; Android " + std::to_string(4 + major % 10) +
                         "; SM-G" + m + ") AppleWebKit/537.36 (KHTML, like Gecko) Chrome/" + m +
                         ".0.0.0 Mobile Safari/537.36");
    }
    for (const char* system :
         {"Windows NT 5.1", "Windows NT 6.1", "Windows 98", "Windows NT 6.0"}) {
        for (int version = 5; version <= 9; ++version) {
            agents.push_back("Mozilla/4.0 (compatible; MSIE " + std::to_string(version) + ".0; " +
                             system + ")");
        }
    }
    return agents;
}

// Line n of a log in the samples' comma order, with that agent.
std::string logLine(int n, const std::string& agent) {
    char moment[16];
    std::snprintf(moment, sizeof moment, "%02d:%02d:00", 8 + n % 10, n % 60);
    return "192.168.7." + std::to_string(n % 50) + ", user" + std::to_string(n % 7) + ", " + agent +
           ", Y, -, 2/14/01, " + moment +
           ", www.example.com, W3Proxy, PROXY1, -, 8.8.8.8, 80, 1, 1, 100, http, TCP, GET, "
           "http://www.example.com/, text/html, Inet, 200\r\n";
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(AgentRules, AreReadOnceForEveryRunOfTheProcessAndAgainWhenChanged) {
    testing_support::TempDir folder;
    std::filesystem::create_directory(folder.path() / "logs");
    folder.write("logs/a.log", logLine(1, "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1)") +
                                   logLine(2, manyAgents()[0]));
    // A copy that no run before has read.
    const std::filesystem::path rules =
        folder.write("regexes.yaml", readFile(reports::defaultAgentRegexes()));
    reports::Options options;
    options.folder = folder.path() / "logs";
    options.agentRegexes = rules;

    const std::uint64_t before = reports::AgentClassifier::loadCount();
    const reports::Result first = reports::run(options);
    const reports::Result second = reports::run(options);
    EXPECT_EQ(reports::AgentClassifier::loadCount(), before + 1);
    EXPECT_EQ(reports::writeJson(second), reports::writeJson(first));
    ASSERT_EQ(second.windows.size(), 2u);
    EXPECT_EQ(second.windows[0].name, "Windows 10");
    EXPECT_EQ(second.windows[1].name, "Windows XP");
    EXPECT_TRUE(second.agentNote.empty());

    std::ofstream(rules, std::ios::app) << "\n# changed\n";
    reports::run(options);
    EXPECT_EQ(reports::AgentClassifier::loadCount(), before + 2);
}

TEST(AgentRules, WorkersNameEveryAgentAsOneReaderDoes) {
    const std::vector<std::string> agents = manyAgents();
    testing_support::TempDir folder;
    std::map<std::string, std::uint64_t> systems;
    std::map<std::string, std::uint64_t> browsers;
    std::string error;
    const auto classifier = reports::AgentClassifier::shared(reports::defaultAgentRegexes(), error);
    ASSERT_NE(classifier, nullptr) << error;
    int n = 0;
    for (const char* name : {"a.log", "b.log", "c.log"}) {
        std::string text;
        for (int i = 0; i < 2000; ++i, ++n) {
            const std::string& agent = agents[static_cast<std::size_t>(n * 7) % agents.size()];
            text += logLine(n, agent);
            const reports::AgentClass named = classifier->classify(agent);
            ++systems[named.os];
            ++browsers[named.browser];
        }
        folder.write(name, text);
    }
    reports::Options options;
    options.folder = folder.path();
    options.threads = 1;
    const reports::Result one = reports::run(options);
    const auto counts = [](const std::vector<reports::NamedRow>& rows) {
        std::map<std::string, std::uint64_t> out;
        for (const reports::NamedRow& row : rows) {
            out[row.name] = row.requests;
        }
        return out;
    };
    EXPECT_EQ(counts(one.windows), systems);
    EXPECT_EQ(counts(one.browsers), browsers);
    EXPECT_GT(browsers.size(), 100u);

    // Many small parts, so that workers meet the same new agents at the same time.
    options.threads = 4;
    options.chunkBytes = 4096;
    EXPECT_EQ(reports::writeJson(reports::run(options)), reports::writeJson(one));
}

}  // namespace
