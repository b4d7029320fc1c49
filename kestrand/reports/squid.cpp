#include "kestrand/reports/squid.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kestrand::reports {

namespace {

constexpr std::size_t kNativeFields = 10;

bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool allDigits(std::string_view text, std::size_t minimum, std::size_t maximum) {
    if (text.size() < minimum || text.size() > maximum) {
        return false;
    }
    for (const char c : text) {
        if (!isDigit(c)) {
            return false;
        }
    }
    return true;
}

// Letters, digits and '_', at least one: Squid's result and hierarchy codes.
bool isCodeWord(std::string_view text) {
    if (text.empty()) {
        return false;
    }
    for (const char c : text) {
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || isDigit(c) || c == '_')) {
            return false;
        }
    }
    return true;
}

bool isBytes(std::string_view text) { return text == "-" || allDigits(text, 1, 20); }

// The tokens of a line between runs of blanks; how many there are, or max + 1 as soon as
// there are more.
std::size_t splitBlanks(std::string_view line, std::string_view* tokens, std::size_t max) {
    const char* base = line.data();
    const std::size_t size = line.size();
    std::size_t count = 0;
    std::size_t start = 0;
    bool inside = false;
    const auto change = [&](std::size_t at) {
        if (!inside) {
            start = at;
            inside = true;
            return true;
        }
        inside = false;
        if (count == max) {
            return false;
        }
        tokens[count++] = std::string_view(base + start, at - start);
        return true;
    };
    std::size_t i = 0;
#if defined(__SSE2__)
    // Sixteen bytes at a time: the bits where a byte's kind (blank or not) differs from the
    // byte before it are where tokens start and end.
    const __m128i space = _mm_set1_epi8(' ');
    const __m128i tab = _mm_set1_epi8('\t');
    for (; i + 16 <= size; i += 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(base + i));
        const auto blanks = static_cast<unsigned>(_mm_movemask_epi8(
            _mm_or_si128(_mm_cmpeq_epi8(block, space), _mm_cmpeq_epi8(block, tab))));
        const unsigned filled = ~blanks & 0xFFFFu;
        unsigned changes = (filled ^ ((filled << 1) | (inside ? 1u : 0u))) & 0xFFFFu;
        while (changes != 0) {
            if (!change(i + static_cast<std::size_t>(__builtin_ctz(changes)))) {
                return max + 1;
            }
            changes &= changes - 1;
        }
    }
#endif
    for (; i < size; ++i) {
        if (isBlank(base[i]) == inside && !change(i)) {
            return max + 1;
        }
    }
    if (inside && !change(size)) {
        return max + 1;
    }
    return count;
}

// "CODE/rest" split at its first '/'; false without one.
bool splitSlash(std::string_view text, std::string_view& code, std::string_view& rest) {
    const std::size_t slash = text.find('/');
    if (slash == std::string_view::npos) {
        return false;
    }
    code = text.substr(0, slash);
    rest = text.substr(slash + 1);
    return true;
}

bool hasWord(std::string_view code, std::string_view word) {
    std::size_t at = code.find(word);
    while (at != std::string_view::npos) {
        const std::size_t end = at + word.size();
        if ((at == 0 || code[at - 1] == '_') && (end == code.size() || code[end] == '_')) {
            return true;
        }
        at = code.find(word, at + 1);
    }
    return false;
}

// Digits and dots with three dots, or hexadecimal digits, ':' and '.' with a ':'.
bool looksLikeAddress(std::string_view text) {
    int dots = 0;
    int colons = 0;
    for (const char c : text) {
        if (c == '.') {
            ++dots;
        } else if (c == ':') {
            ++colons;
        } else if (!(isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'))) {
            return false;
        }
    }
    return colons >= 2 || (colons == 0 && dots == 3 &&
                           text.find_first_of("abcdefABCDEF") == std::string_view::npos);
}

int hexValue(char c) {
    if (isDigit(c)) {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// Takes the text up to the next blank from `rest`; false when rest is empty or starts blank.
bool takeToken(std::string_view& rest, std::string_view& token) {
    const std::size_t blank = rest.find(' ');
    token = rest.substr(0, blank);
    rest = blank == std::string_view::npos ? std::string_view{} : rest.substr(blank + 1);
    return !token.empty();
}

}  // namespace

bool splitSquidNative(std::string_view line, SquidNativeFields& out) {
    std::string_view f[kNativeFields];
    if (splitBlanks(line, f, kNativeFields) != kNativeFields) {
        return false;
    }
    const std::string_view elapsed = f[1].starts_with('-') ? f[1].substr(1) : f[1];
    if (!parseUnixTime(f[0]) || !allDigits(elapsed, 1, elapsed.size())) {
        return false;
    }
    if (!splitSlash(f[3], out.code, out.status) || !isCodeWord(out.code) ||
        !allDigits(out.status, 1, 3) || !isBytes(f[4])) {
        return false;
    }
    if (!splitSlash(f[8], out.hierarchy, out.peer) || !isCodeWord(out.hierarchy) ||
        out.peer.empty()) {
        return false;
    }
    out.time = f[0];
    out.client = f[2];
    out.bytes = f[4];
    out.method = f[5];
    out.url = f[6];
    out.user = f[7];
    out.type = f[9];
    return true;
}

bool splitSquidCombined(std::string_view line, SquidCombinedFields& out) {
    std::string_view rest = line;
    std::string_view ident;
    if (!takeToken(rest, out.client) || !takeToken(rest, ident) || !takeToken(rest, out.user)) {
        return false;
    }
    // [10/Oct/2000:13:55:36 -0700]
    constexpr std::size_t kStamp = 28;
    if (rest.size() < kStamp || rest[0] != '[' || rest[kStamp - 1] != ']' || rest[12] != ':' ||
        rest[21] != ' ') {
        return false;
    }
    out.day = rest.substr(1, 11);
    out.time = rest.substr(13, 8);
    out.offset = rest.substr(22, 5);
    rest.remove_prefix(kStamp);
    if (rest.size() < 2 || rest[0] != ' ' || rest[1] != '"') {
        return false;
    }
    rest.remove_prefix(2);
    const std::size_t close = rest.find('"');
    if (close == std::string_view::npos) {
        return false;
    }
    // METHOD URL HTTP/v; an unencoded blank in the URL stays in it.
    const std::string_view request = rest.substr(0, close);
    rest.remove_prefix(close + 1);
    const std::size_t first = request.find(' ');
    const std::size_t last = request.rfind(' ');
    if (first == std::string_view::npos || first == 0) {
        return false;
    }
    out.method = request.substr(0, first);
    const bool versioned = last > first && request.substr(last + 1).starts_with("HTTP/");
    out.url = request.substr(first + 1, (versioned ? last : request.size()) - first - 1);
    if (out.url.empty() || rest.empty() || rest[0] != ' ') {
        return false;
    }
    rest.remove_prefix(1);
    if (!takeToken(rest, out.status) || !allDigits(out.status, 3, 3) ||
        !takeToken(rest, out.bytes) || !isBytes(out.bytes)) {
        return false;
    }
    out.hasAgent = false;
    out.agent = {};
    out.code = {};
    if (!rest.empty() && rest[0] == '"') {
        // "referer" "agent": the referer is a URL, so the first `" "` ends it; the agent
        // runs to the last quote and may hold quotes of its own.
        const std::size_t between = rest.find("\" \"", 1);
        const std::size_t end = rest.rfind('"');
        if (between == std::string_view::npos || end < between + 2) {
            return false;
        }
        out.agent = rest.substr(between + 3, end - between - 3);
        out.hasAgent = true;
        rest.remove_prefix(end + 1);
        if (!rest.empty()) {
            if (rest[0] != ' ') {
                return false;
            }
            rest.remove_prefix(1);
        }
    }
    if (!rest.empty()) {
        // code:hierarchy, Squid's own last field.
        const std::size_t colon = rest.find(':');
        if (colon == std::string_view::npos || !isCodeWord(rest.substr(0, colon)) ||
            !isCodeWord(rest.substr(colon + 1))) {
            return false;
        }
        out.code = rest.substr(0, colon);
    }
    return true;
}

bool isDeniedCode(std::string_view code) { return hasWord(code, "DENIED"); }
bool isHitCode(std::string_view code) { return hasWord(code, "HIT"); }

std::string_view destinationOfPeer(std::string_view hierarchy, std::string_view peer) {
    if (hierarchy.find("PARENT") != std::string_view::npos ||
        hierarchy.find("SIBLING") != std::string_view::npos ||
        hierarchy.find("CARP") != std::string_view::npos || !looksLikeAddress(peer)) {
        return "-";
    }
    return peer;
}

std::optional<std::int64_t> parseUnixTime(std::string_view text) {
    std::int64_t seconds = 0;
    std::size_t i = 0;
    for (; i < text.size() && isDigit(text[i]); ++i) {
        if (i == 12) {
            return std::nullopt;
        }
        seconds = seconds * 10 + (text[i] - '0');
    }
    if (i == 0 || seconds == 0 || (i < text.size() && text[i] != '.')) {
        return std::nullopt;
    }
    for (++i; i < text.size(); ++i) {
        if (!isDigit(text[i])) {
            return std::nullopt;
        }
    }
    return seconds;
}

std::string_view hostOfTunnel(std::string_view target) {
    if (target.starts_with('[')) {
        const std::size_t close = target.find(']');
        return close == std::string_view::npos ? target : target.substr(0, close + 1);
    }
    return target.substr(0, target.rfind(':'));
}

std::string_view percentDecoded(std::string_view text, std::string& scratch) {
    if (text.empty() || std::memchr(text.data(), '%', text.size()) == nullptr) {
        return text;
    }
    scratch.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 &&
            hexValue(text[i + 2]) >= 0) {
            scratch += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
            i += 2;
        } else {
            scratch += text[i];
        }
    }
    return scratch;
}

}  // namespace kestrand::reports
