#include "kestrand/reports/searches.h"

#include <array>

#include "kestrand/reports/text.h"

namespace kestrand::reports {

namespace {

struct Engine {
    std::string_view name;
    std::string_view host;  // "google." takes any country domain after it
    std::string_view parameter;
};

constexpr std::array<Engine, kEngineCount> kEngines{{
    {"Google", "google.", "q"},
    {"Bing", "bing.com", "q"},
    {"Yahoo", "search.yahoo.com", "p"},
    {"Yandex", "yandex.", "text"},
    {"DuckDuckGo", "duckduckgo.com", "q"},
    {"Baidu", "baidu.com", "wd"},
    {"Ask", "ask.com", "q"},
    {"Parsijoo", "parsijoo.ir", "q"},
    {"Yooz", "yooz.ir", "q"},
}};

bool isLetters(std::string_view text) {
    if (text.empty()) {
        return false;
    }
    for (const char c : text) {
        if (c < 'a' || c > 'z') {
            return false;
        }
    }
    return true;
}

// "com", "de", "co.uk", "com.br": one label, or a short second-level label and a country.
bool isCountryDomain(std::string_view tail) {
    const std::size_t dot = tail.find('.');
    if (dot == std::string_view::npos) {
        return isLetters(tail) && tail.size() <= 6;
    }
    const std::string_view second = tail.substr(0, dot);
    const std::string_view top = tail.substr(dot + 1);
    return isLetters(second) && second.size() <= 3 && isLetters(top) && top.size() == 2;
}

// host equals entry-with-tail or ends in "." + it.
bool matchesEntry(std::string_view host, std::string_view entry) {
    const bool wildcard = entry.back() == '.';
    if (!wildcard) {
        if (host == entry) {
            return true;
        }
        return host.size() > entry.size() && host.substr(host.size() - entry.size()) == entry &&
               host[host.size() - entry.size() - 1] == '.';
    }
    // Every place "google." starts a label, the rest must be a country domain.
    for (std::size_t at = host.find(entry); at != std::string_view::npos;
         at = host.find(entry, at + 1)) {
        if ((at == 0 || host[at - 1] == '.') && isCountryDomain(host.substr(at + entry.size()))) {
            return true;
        }
    }
    return false;
}

}  // namespace

std::string_view engineName(int engine) { return kEngines[static_cast<std::size_t>(engine)].name; }

int searchEngineOf(std::string_view host) {
    if (const std::size_t colon = host.find(':'); colon != std::string_view::npos) {
        host = host.substr(0, colon);
    }
    while (!host.empty() && host.back() == '.') {
        host.remove_suffix(1);
    }
    for (int i = 0; i < kEngineCount; ++i) {
        if (matchesEntry(host, kEngines[static_cast<std::size_t>(i)].host)) {
            return i;
        }
    }
    return -1;
}

std::string searchPhrase(int engine, std::string_view uri) {
    const std::size_t question = uri.find('?');
    if (question == std::string_view::npos) {
        return {};
    }
    std::string_view query = uri.substr(question + 1);
    if (const std::size_t hash = query.find('#'); hash != std::string_view::npos) {
        query = query.substr(0, hash);
    }
    const std::string_view parameter = kEngines[static_cast<std::size_t>(engine)].parameter;
    while (!query.empty()) {
        const std::size_t amp = query.find('&');
        const std::string_view pair = query.substr(0, amp);
        query = amp == std::string_view::npos ? std::string_view{} : query.substr(amp + 1);
        const std::size_t equals = pair.find('=');
        if (equals == std::string_view::npos || pair.substr(0, equals) != parameter) {
            continue;
        }
        const std::string decoded = percentDecode(pair.substr(equals + 1));
        return foldBlanks(isValidUtf8(decoded) ? decoded : fromWindows1256(decoded));
    }
    return {};
}

std::string_view hostOfUri(std::string_view uri) {
    const std::size_t scheme = uri.find("://");
    if (scheme == std::string_view::npos) {
        return {};
    }
    std::string_view rest = uri.substr(scheme + 3);
    for (std::size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] == '/' || rest[i] == '?' || rest[i] == '#') {
            rest = rest.substr(0, i);
            break;
        }
    }
    if (const std::size_t at = rest.rfind('@'); at != std::string_view::npos) {
        rest = rest.substr(at + 1);
    }
    if (const std::size_t colon = rest.rfind(':');
        colon != std::string_view::npos && rest.find(']') == std::string_view::npos) {
        rest = rest.substr(0, colon);
    }
    return rest;
}

}  // namespace kestrand::reports
