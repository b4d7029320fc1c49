#include "kestrand/reports/squid.h"

#include <array>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kestrand::reports {

namespace {

constexpr std::size_t kNativeFields = 10;

// Classes of bytes, looked up once a byte.
enum : std::uint8_t { kDigit = 1, kCodeLetter = 2, kBlank = 4 };
constexpr std::array<std::uint8_t, 256> kClasses = [] {
    std::array<std::uint8_t, 256> classes{};
    for (int c = '0'; c <= '9'; ++c) {
        classes[static_cast<std::size_t>(c)] = kDigit;
    }
    for (int c = 'A'; c <= 'Z'; ++c) {
        classes[static_cast<std::size_t>(c)] = kCodeLetter;
        classes[static_cast<std::size_t>(c + 32)] = kCodeLetter;
    }
    classes['_'] = kCodeLetter;
    classes[' '] = kBlank;
    classes['\t'] = kBlank;
    return classes;
}();

std::uint8_t classOf(char c) { return kClasses[static_cast<unsigned char>(c)]; }
bool isBlank(char c) { return (classOf(c) & kBlank) != 0; }
bool isDigit(char c) { return (classOf(c) & kDigit) != 0; }

// Whether every byte of text is of one of the classes.
bool allOf(std::string_view text, std::uint8_t classes) {
    for (const char c : text) {
        if ((classOf(c) & classes) == 0) {
            return false;
        }
    }
    return true;
}

bool allDigits(std::string_view text, std::size_t minimum, std::size_t maximum) {
    return text.size() >= minimum && text.size() <= maximum && allOf(text, kDigit);
}

// Letters, digits and '_', at least one: Squid's result and hierarchy codes.
bool isCodeWord(std::string_view text) {
    return !text.empty() && allOf(text, kDigit | kCodeLetter);
}

bool isBytes(std::string_view text) {
    return (text.size() == 1 && text[0] == '-') || allDigits(text, 1, 20);
}

// Where the tokens of a line between runs of blanks start and end: changes[2k] and
// changes[2k + 1] bound token k. The number of positions, or more than max once there are.
std::size_t blankChanges(std::string_view line, std::uint32_t* changes, std::size_t max) {
    const char* base = line.data();
    const std::size_t size = line.size();
    std::size_t count = 0;
    bool inside = false;  // the byte before is not blank
    std::size_t i = 0;
#if defined(__SSE2__)
    // Sixteen bytes at a time: the bits where a byte's kind (blank or not) differs from the
    // byte before it are where tokens start and end. The last bytes are padded with blanks.
    const __m128i space = _mm_set1_epi8(' ');
    const __m128i tab = _mm_set1_epi8('\t');
    const auto block = [&](const char* bytes, std::size_t offset) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
        const auto blanks = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, space), _mm_cmpeq_epi8(v, tab))));
        const unsigned filled = ~blanks & 0xFFFFu;
        unsigned bits = (filled ^ ((filled << 1) | (inside ? 1u : 0u))) & 0xFFFFu;
        inside = (filled >> 15) != 0;
        while (bits != 0) {
            if (count == max) {
                return false;
            }
            changes[count++] = static_cast<std::uint32_t>(offset) +
                               static_cast<std::uint32_t>(__builtin_ctz(bits));
            bits &= bits - 1;
        }
        return true;
    };
    for (; i + 16 <= size; i += 16) {
        if (!block(base + i, i)) {
            return max + 1;
        }
    }
    if (i < size) {
        char tail[16];
        std::memset(tail, ' ', sizeof tail);
        std::memcpy(tail, base + i, size - i);
        if (!block(tail, i)) {
            return max + 1;
        }
        i = size;
    }
#endif
    for (; i < size; ++i) {
        if (isBlank(base[i]) == inside) {
            if (count == max) {
                return max + 1;
            }
            changes[count++] = static_cast<std::uint32_t>(i);
            inside = !inside;
        }
    }
    if (inside) {
        if (count == max) {
            return max + 1;
        }
        changes[count++] = static_cast<std::uint32_t>(size);
    }
    return count;
}

// The set bits of a word, without the processor's instruction (not in the baseline).
std::uint64_t bitCount(std::uint64_t x) {
    x = x - ((x >> 1) & 0x5555555555555555ull);
    x = (x & 0x3333333333333333ull) + ((x >> 2) & 0x3333333333333333ull);
    x = (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0Full;
    return (x * 0x0101010101010101ull) >> 56;
}

// Eight bytes of text, all digits, as their number; nothing when one is no digit.
std::optional<std::uint64_t> eightDigits(const char* text) {
    std::uint64_t x = 0;
    std::memcpy(&x, text, 8);
    constexpr std::uint64_t kHigh = 0xF0F0F0F0F0F0F0F0ull;
    constexpr std::uint64_t kZeros = 0x3030303030303030ull;
    if ((x & kHigh) != kZeros || ((x + 0x0606060606060606ull) & kHigh) != kZeros) {
        return std::nullopt;
    }
    // The first byte is the highest digit: pairs, then fours, then all eight.
    x = ((x & 0x0F0F0F0F0F0F0F0Full) * 2561) >> 8;
    x = ((x & 0x00FF00FF00FF00FFull) * 6553601) >> 16;
    return ((x & 0x0000FFFF0000FFFFull) * 42949672960001ull) >> 32;
}

#if defined(__SSE2__)
// The token bounds of a line of 16 to 255 bytes from one mask of the whole line: bit i is
// set where byte i and the byte before it differ in kind (blank or not), with the bytes from
// the line's end on taken as blanks. Exactly `wanted` bounds or false, without a branch a
// bound while they are found.
constexpr std::size_t kShortLine = 255;
bool shortLineChanges(std::string_view line, std::uint32_t* changes, std::size_t wanted) {
    const char* base = line.data();
    const std::size_t size = line.size();
    const __m128i space = _mm_set1_epi8(' ');
    const __m128i tab = _mm_set1_epi8('\t');
    __m128i zeros = _mm_setzero_si128();  // where a NUL byte was seen
    const auto filled = [&](const char* bytes) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
        zeros = _mm_or_si128(zeros, _mm_cmpeq_epi8(v, _mm_setzero_si128()));
        return ~static_cast<unsigned>(_mm_movemask_epi8(
                   _mm_or_si128(_mm_cmpeq_epi8(v, space), _mm_cmpeq_epi8(v, tab)))) &
               0xFFFFu;
    };
    std::uint64_t words[4] = {0, 0, 0, 0};
    std::size_t i = 0;
    for (; i + 16 <= size; i += 16) {
        words[i >> 6] |= static_cast<std::uint64_t>(filled(base + i)) << (i & 63);
    }
    if (i < size) {
        // The last 16 bytes, without those seen already.
        const unsigned tail = filled(base + size - 16) >> (16 - (size - i));
        words[i >> 6] |= static_cast<std::uint64_t>(tail) << (i & 63);
    }
    std::uint64_t bounds[4];
    std::uint64_t carry = 0;
    std::uint64_t count = 0;
    for (std::size_t w = 0; w < 4; ++w) {
        bounds[w] = words[w] ^ ((words[w] << 1) | carry);
        carry = words[w] >> 63;
        count += bitCount(bounds[w]);
    }
    if (static_cast<std::size_t>(count) != wanted || _mm_movemask_epi8(zeros) != 0) {
        return false;
    }
    for (std::size_t w = 0; w < 4; ++w) {
        for (std::uint64_t bits = bounds[w]; bits != 0; bits &= bits - 1) {
            *changes++ = static_cast<std::uint32_t>(w * 64) +
                         static_cast<std::uint32_t>(__builtin_ctzll(bits));
        }
    }
    return true;
}
#endif

// "WORD_WORD<separator>rest": the code before the separator, of letters, digits and '_', at
// least one; and whether DENIED or HIT is one of its words. False without a separator or for
// another byte in the code. One pass.
bool splitCode(std::string_view text, char separator, std::string_view& code,
               std::string_view& rest, SquidCodeWords& words) {
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == separator || c == '_') {
            const std::string_view word = text.substr(start, i - start);
            words.denied |= word.size() == 6 && word == "DENIED";
            words.hit |= word.size() == 3 && word == "HIT";
            start = i + 1;
            if (c == separator) {
                code = text.substr(0, i);
                rest = text.substr(i + 1);
                return i > 0;
            }
        } else if ((classOf(c) & (kDigit | kCodeLetter)) == 0) {
            return false;
        }
    }
    return false;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') {
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
    if (line.size() > 0xFFFFFFF0u) {
        return false;
    }
    std::uint32_t at[2 * kNativeFields];
#if defined(__SSE2__)
    if (line.size() >= 16 && line.size() <= kShortLine) {
        if (!shortLineChanges(line, at, 2 * kNativeFields)) {
            return false;
        }
    } else
#endif
        if (blankChanges(line, at, 2 * kNativeFields) != 2 * kNativeFields ||
            std::memchr(line.data(), '\0', line.size()) != nullptr) {
        return false;
    }
    const auto field = [&](std::size_t k) {
        return std::string_view(line.data() + at[2 * k], at[2 * k + 1] - at[2 * k]);
    };
    const std::optional<std::int64_t> seconds = parseUnixTime(field(0));
    const std::string_view elapsed = field(1);
    const std::string_view digits = elapsed[0] == '-' ? elapsed.substr(1) : elapsed;
    if (!seconds || !allDigits(digits, 1, digits.size())) {
        return false;
    }
    out.words = SquidCodeWords{};
    SquidCodeWords hierarchyWords;
    if (!splitCode(field(3), '/', out.code, out.status, out.words) ||
        !allDigits(out.status, 1, 3) || !isBytes(field(4)) ||
        !splitCode(field(8), '/', out.hierarchy, out.peer, hierarchyWords) || out.peer.empty()) {
        return false;
    }
    out.seconds = *seconds;
    out.client = field(2);
    out.bytes = field(4);
    out.method = field(5);
    out.url = field(6);
    out.user = field(7);
    out.type = field(9);
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
    out.words = SquidCodeWords{};
    if (!rest.empty()) {
        // code:hierarchy, Squid's own last field.
        std::string_view hierarchy;
        if (!splitCode(rest, ':', out.code, hierarchy, out.words) || !isCodeWord(hierarchy)) {
            return false;
        }
    }
    return true;
}

std::string_view destinationOfPeer(std::string_view hierarchy, std::string_view peer) {
    if (hierarchy == "HIER_DIRECT") {
        return peer;
    }
    if (hierarchy.find("PARENT") != std::string_view::npos ||
        hierarchy.find("SIBLING") != std::string_view::npos ||
        hierarchy.find("CARP") != std::string_view::npos) {
        return "-";
    }
    return peer;
}

std::optional<std::int64_t> parseUnixTime(std::string_view text) {
    // Squid's own shape, ten digits and milliseconds, without a loop.
    if (text.size() == 14 && text[10] == '.') {
        const std::optional<std::uint64_t> high = eightDigits(text.data());
        if (high && isDigit(text[8]) && isDigit(text[9]) && isDigit(text[11]) &&
            isDigit(text[12]) && isDigit(text[13])) {
            return static_cast<std::int64_t>(
                *high * 100 + static_cast<std::uint64_t>((text[8] - '0') * 10 + (text[9] - '0')));
        }
        return std::nullopt;
    }
    std::size_t dot = 0;
    while (dot < text.size() && text[dot] != '.') {
        ++dot;
    }
    const std::string_view whole = text.substr(0, dot);
    if (whole.empty() || whole.size() > 12 || !allOf(whole, kDigit) ||
        (dot < text.size() && !allOf(text.substr(dot + 1), kDigit))) {
        return std::nullopt;
    }
    std::int64_t seconds = 0;
    for (const char c : whole) {
        seconds = seconds * 10 + (c - '0');
    }
    if (seconds == 0) {
        return std::nullopt;
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
    std::size_t at = 0;
    while (at < text.size() && text[at] != '%') {
        ++at;
    }
    if (at == text.size()) {
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
