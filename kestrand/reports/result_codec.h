#pragma once

// A finished report as bytes, and back: what the cache keeps of a report, so that the same
// report of files unchanged since is answered without counting them again.

#include <optional>
#include <string>
#include <string_view>

#include "kestrand/reports/result.h"

namespace kestrand::reports {

std::string encodeResult(const Result& result);
// Nothing when the bytes are not what encodeResult writes.
std::optional<Result> decodeResult(std::string_view bytes);

}  // namespace kestrand::reports
