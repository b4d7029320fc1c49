#include "kestrand/reports/agents.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>
#include <yaml-cpp/yaml.h>

#include <atomic>
#include <exception>
#include <map>
#include <mutex>
#include <system_error>
#include <utility>

namespace kestrand::reports {

struct AgentClassifier::Parser {
    pcre2_code* code = nullptr;
    std::string name;     // family or os replacement
    std::string version;  // v1 or os_v1 replacement
};

namespace {

// "$1".."$9" in a replacement take the groups of the match.
std::string substitute(const std::string& pattern, std::string_view subject,
                       const PCRE2_SIZE* ovector, std::uint32_t groups) {
    std::string out;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '$' && i + 1 < pattern.size() && pattern[i + 1] >= '1' &&
            pattern[i + 1] <= '9') {
            const auto group = static_cast<std::uint32_t>(pattern[i + 1] - '0');
            if (group < groups && ovector[2 * group] != PCRE2_UNSET) {
                out.append(subject.substr(ovector[2 * group],
                                          ovector[2 * group + 1] - ovector[2 * group]));
            }
            ++i;
        } else {
            out += pattern[i];
        }
    }
    return out;
}

std::string group(std::string_view subject, const PCRE2_SIZE* ovector, std::uint32_t groups,
                  std::uint32_t index) {
    if (index >= groups || ovector[2 * index] == PCRE2_UNSET) {
        return {};
    }
    return std::string(
        subject.substr(ovector[2 * index], ovector[2 * index + 1] - ovector[2 * index]));
}

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

std::string scalar(const YAML::Node& entry, const char* key) {
    const YAML::Node value = entry[key];
    return value && value.IsScalar() ? value.as<std::string>() : std::string();
}

constexpr std::uint32_t kGroups = 20;

// The calling thread's match data; it serves every classifier.
pcre2_match_data* threadMatchData() {
    struct Holder {
        pcre2_match_data* data = pcre2_match_data_create(kGroups, nullptr);
        ~Holder() { pcre2_match_data_free(data); }
    };
    thread_local const Holder holder;
    return holder.data;
}

std::atomic<std::uint64_t> loads{0};

// What a loaded file was when it was read: a change reads it again.
struct Loaded {
    std::filesystem::file_time_type written;
    std::uintmax_t size = 0;
    std::shared_ptr<const AgentClassifier> rules;
};

}  // namespace

AgentClassifier::AgentClassifier() = default;

AgentClassifier::~AgentClassifier() {
    for (auto* list : {&browsers_, &systems_}) {
        for (Parser& parser : *list) {
            pcre2_code_free(parser.code);
        }
    }
}

std::uint64_t AgentClassifier::loadCount() { return loads.load(); }

std::shared_ptr<const AgentClassifier> AgentClassifier::shared(const std::filesystem::path& regexes,
                                                               std::string& error) {
    static std::mutex mutex;
    static std::map<std::filesystem::path, Loaded> loaded;
    std::error_code ec;
    const std::filesystem::file_time_type written = std::filesystem::last_write_time(regexes, ec);
    const std::uintmax_t size = ec ? 0 : std::filesystem::file_size(regexes, ec);
    // Two runs that start together wait for one load.
    const std::lock_guard lock(mutex);
    if (const auto it = loaded.find(regexes);
        it != loaded.end() && !ec && it->second.written == written && it->second.size == size) {
        return it->second.rules;
    }
    std::shared_ptr<const AgentClassifier> rules = load(regexes, error);
    if (rules && !ec) {
        loaded[regexes] = Loaded{written, size, rules};
    }
    return rules;
}

std::unique_ptr<AgentClassifier> AgentClassifier::load(const std::filesystem::path& regexes,
                                                       std::string& error) {
    ++loads;
    YAML::Node root;
    try {
        root = YAML::LoadFile(regexes.string());
    } catch (const std::exception& e) {
        error = "cannot read the agent regexes " + regexes.string() + ": " + e.what();
        return nullptr;
    }
    std::unique_ptr<AgentClassifier> classifier(new AgentClassifier());
    const auto compile = [&](const char* section, const char* nameKey, const char* versionKey,
                             std::vector<Parser>& into) {
        const YAML::Node list = root[section];
        if (!list || !list.IsSequence()) {
            return false;
        }
        for (const YAML::Node& entry : list) {
            const std::string pattern = scalar(entry, "regex");
            if (pattern.empty()) {
                continue;
            }
            std::uint32_t flags = 0;
            if (scalar(entry, "regex_flag") == "i") {
                flags |= PCRE2_CASELESS;
            }
            int code = 0;
            PCRE2_SIZE offset = 0;
            pcre2_code* compiled = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.c_str()),
                                                 pattern.size(), flags, &code, &offset, nullptr);
            if (compiled == nullptr) {
                continue;  // an expression this library cannot read is left out
            }
            pcre2_jit_compile(compiled, PCRE2_JIT_COMPLETE);
            into.push_back(Parser{compiled, scalar(entry, nameKey), scalar(entry, versionKey)});
        }
        return true;
    };
    try {
        if (!compile("user_agent_parsers", "family_replacement", "v1_replacement",
                     classifier->browsers_) ||
            !compile("os_parsers", "os_replacement", "os_v1_replacement", classifier->systems_)) {
            error = "the agent regexes " + regexes.string() + " have no parsers";
            return nullptr;
        }
    } catch (const std::exception& e) {
        error = "cannot read the agent regexes " + regexes.string() + ": " + e.what();
        return nullptr;
    }
    return classifier;
}

AgentClass AgentClassifier::classify(std::string_view agent) const {
    pcre2_match_data* data = threadMatchData();
    const auto name = [&](const std::vector<Parser>& parsers) {
        for (const Parser& parser : parsers) {
            const int groups = pcre2_match(parser.code, reinterpret_cast<PCRE2_SPTR>(agent.data()),
                                           agent.size(), 0, 0, data, nullptr);
            if (groups < 0) {
                continue;
            }
            const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(data);
            const auto count = static_cast<std::uint32_t>(groups == 0 ? kGroups : groups);
            std::string family =
                trimmed(parser.name.empty() ? group(agent, ovector, count, 1)
                                            : substitute(parser.name, agent, ovector, count));
            std::string major =
                trimmed(parser.version.empty() ? group(agent, ovector, count, 2)
                                               : substitute(parser.version, agent, ovector, count));
            if (family.empty()) {
                return std::string("Other");
            }
            return major.empty() ? family : family + " " + major;
        }
        return std::string("Other");
    };
    return AgentClass{name(systems_), name(browsers_)};
}

}  // namespace kestrand::reports
