#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace common {

// The single-byte code pages of the logs and of the Persian texts, and UTF-8 out.

// Windows-1252, the proxy logs' code page, to UTF-16 and back. Every byte decodes and encodes
// back to itself: the five bytes the code page leaves undefined map to the C1 control of the
// same number, as browsers decode it. Text with a character the code page lacks has no
// encoding (nullopt), since no log text can hold it.
std::u16string decodeWindows1252(std::string_view bytes);
// The character of one byte.
char16_t windows1252Char(unsigned char byte);
// Decodes into `out`, which has room for bytes.size() characters.
void decodeWindows1252(std::string_view bytes, char16_t* out);
std::optional<std::string> encodeWindows1252(std::u16string_view text);

// Windows-1256, the Arabic-script code page: every byte has a character.
char16_t windows1256Char(unsigned char byte);

// Appends the UTF-8 form of a code point (up to U+10FFFF; the caller passes no surrogate).
void appendUtf8(std::string& out, char32_t c);

}  // namespace common
