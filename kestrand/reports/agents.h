#pragma once

// Names an agent's operating system and browser with uap-core's regular expressions.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kestrand::reports {

struct AgentClass {
    std::string os;       // "Windows XP", "Android 4", "Other"
    std::string browser;  // "IE 6", "Chrome 120", "Other"
};

// The compiled expressions are only read once loaded, so any number of threads classify at
// once; each thread matches with match data of its own.
class AgentClassifier {
  public:
    // The rules of that file, read and compiled once in the process and shared by every run
    // after (again when the file has changed since); nothing and a reason when it cannot be
    // read.
    static std::shared_ptr<const AgentClassifier> shared(const std::filesystem::path& regexes,
                                                         std::string& error);
    // How many times a regexes file was read and compiled in this process.
    static std::uint64_t loadCount();

    ~AgentClassifier();
    AgentClassifier(const AgentClassifier&) = delete;
    AgentClassifier& operator=(const AgentClassifier&) = delete;

    AgentClass classify(std::string_view agent) const;

  private:
    struct Parser;
    AgentClassifier();
    // Reads and compiles the regexes file; nothing and a reason when it cannot.
    static std::unique_ptr<AgentClassifier> load(const std::filesystem::path& regexes,
                                                 std::string& error);
    std::vector<Parser> browsers_;
    std::vector<Parser> systems_;
};

}  // namespace kestrand::reports
