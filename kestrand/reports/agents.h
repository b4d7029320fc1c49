#pragma once

// Names an agent's operating system and browser with uap-core's regular expressions.

#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace kestrand::reports {

struct AgentClass {
    std::string os;       // "Windows XP", "Android 4", "Other"
    std::string browser;  // "IE 6", "Chrome 120", "Other"
};

class AgentClassifier {
  public:
    // Reads and compiles the regexes file; nothing and a reason when it cannot.
    static std::unique_ptr<AgentClassifier> load(const std::filesystem::path& regexes,
                                                 std::string& error);
    ~AgentClassifier();
    AgentClassifier(const AgentClassifier&) = delete;
    AgentClassifier& operator=(const AgentClassifier&) = delete;

    // Thread-safe.
    AgentClass classify(std::string_view agent) const;

  private:
    struct Parser;
    AgentClassifier();
    std::vector<Parser> browsers_;
    std::vector<Parser> systems_;
    mutable std::mutex mutex_;
    void* matchData_ = nullptr;
};

}  // namespace kestrand::reports
