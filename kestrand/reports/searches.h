#pragma once

// Searches found in requested URLs: the known engines, their hosts and query parameters.

#include <string>
#include <string_view>

namespace kestrand::reports {

inline constexpr int kEngineCount = 9;

std::string_view engineName(int engine);
// The engine whose host this is (lower case), or -1. A host matches an entry when it equals
// it or ends in "." followed by it; "google.*" and "yandex.*" take a country domain.
int searchEngineOf(std::string_view host);
// The phrase the URI searched for at that engine: its parameter percent-decoded, '+' as a
// blank, UTF-8 (Windows-1256 where the bytes are not UTF-8), blanks folded; empty when the
// URI carries no such parameter or it is empty.
std::string searchPhrase(int engine, std::string_view uri);

// The host of an absolute URI ("http://host:port/path" -> "host"), empty when it has none.
std::string_view hostOfUri(std::string_view uri);

}  // namespace kestrand::reports
