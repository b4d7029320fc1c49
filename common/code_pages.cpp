#include "trailscan/log/code_page.h"

#include <array>

namespace trailscan::log {

namespace {
// Bytes 0x80 to 0x9F; the five bytes the code page leaves undefined map to the C1
// control of the same number, so every byte decodes and encodes back to itself.
constexpr std::array<char16_t, 32> kHigh = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// Every byte's character, so decoding is one table look-up a byte.
constexpr std::array<char16_t, 256> kDecode = [] {
    std::array<char16_t, 256> table{};
    for (std::size_t byte = 0; byte < 256; ++byte) {
        table[byte] = byte >= 0x80 && byte <= 0x9F ? kHigh[byte - 0x80] : char16_t(byte);
    }
    return table;
}();
}  // namespace

char16_t windows1252Char(unsigned char byte) { return kDecode[byte]; }

void decodeWindows1252(std::string_view bytes, char16_t* out) {
    const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        out[i] = kDecode[in[i]];
    }
}

std::u16string decodeWindows1252(std::string_view bytes) {
    std::u16string text(bytes.size(), u'\0');
    decodeWindows1252(bytes, text.data());
    return text;
}

std::optional<std::string> encodeWindows1252(std::u16string_view text) {
    std::string bytes;
    bytes.resize(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
            bytes[i] = static_cast<char>(c);
            continue;
        }
        std::size_t k = 0;
        while (k < kHigh.size() && kHigh[k] != c) {
            ++k;
        }
        if (k == kHigh.size()) {
            return std::nullopt;
        }
        bytes[i] = static_cast<char>(0x80 + k);
    }
    return bytes;
}

}  // namespace trailscan::log
