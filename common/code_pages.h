#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace trailscan::log {

// Log text is single-byte Windows-1252. These turn it into UTF-16 for the screen and
// typed UTF-16 text back into the log's bytes. Every byte decodes and encodes back to
// itself; text with a character the code page lacks has no encoding (nullopt), since
// no log text can hold it.
std::u16string decodeWindows1252(std::string_view bytes);
// The character of one byte.
char16_t windows1252Char(unsigned char byte);
// Decodes into `out`, which has room for bytes.size() characters.
void decodeWindows1252(std::string_view bytes, char16_t* out);
std::optional<std::string> encodeWindows1252(std::u16string_view text);

}  // namespace trailscan::log
