// Fuzzes the report engine's line readers: the first byte picks the layout (W3C, the
// documented comma order, the samples' order, Squid's native and combined formats) and the
// time zone (UTC or one with summer time), the rest is read line by line. Every field of a
// request must lie inside its line (a decoded user or agent no longer than it), and its date
// and time must be real ones.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "kestrand/reports/layouts.h"
#include "kestrand/reports/searches.h"
#include "kestrand/reports/time_zone.h"

namespace reports = kestrand::reports;

namespace {

void expectInside(std::string_view field, std::string_view line) {
    if (field == "-" && field.data() != nullptr &&
        (field.data() < line.data() || field.data() >= line.data() + line.size())) {
        return;  // the placeholder of a missing W3C column
    }
    if (field.data() < line.data() || field.data() + field.size() > line.data() + line.size()) {
        std::abort();
    }
}

// A user or agent decoded from %XX, or from '+' for a blank, is a copy no longer than its line.
void expectInsideOrDecoded(std::string_view field, std::string_view line) {
    if (field.empty()) {
        return;  // no agent in Squid's native lines
    }
    if (field == "-") {
        expectInside(field, line);
        return;
    }
    const bool copied =
        field.data() < line.data() || field.data() + field.size() > line.data() + line.size();
    if (!copied) {
        return;
    }
    if ((line.find('%') == std::string_view::npos && line.find('+') == std::string_view::npos) ||
        field.size() > line.size()) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    constexpr reports::Layout kLayouts[] = {reports::Layout::W3c, reports::Layout::Comma,
                                            reports::Layout::CommaSamples, reports::Layout::Squid,
                                            reports::Layout::SquidCombined};
    static const reports::TimeZone utc = reports::TimeZone::utc();
    static const reports::TimeZone summer = [] {
        std::string error;
        return reports::TimeZone::named("Asia/Tehran", error).value_or(reports::TimeZone::utc());
    }();
    reports::LineReader reader(kLayouts[data[0] % 5], data[0] / 5 % 2 == 0 ? &utc : &summer);
    std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    (void)reports::detectLayout(text, true);
    reports::Request request;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        if (reader.read(line, request) != reports::LineKind::Request) {
            continue;
        }
        for (const std::string_view field : {request.address, request.host, request.destination,
                                             request.bytes, request.uri, request.mime}) {
            expectInside(field, line);
        }
        if (!request.query.empty()) {
            expectInside(request.query, line);
        }
        expectInsideOrDecoded(request.user, line);
        expectInsideOrDecoded(request.agent, line);
        if (request.date.month < 1 || request.date.month > 12 || request.date.day < 1 ||
            request.date.day > 31 || request.seconds < 0 || request.seconds >= 86400) {
            std::abort();
        }
        const int engine = reports::searchEngineOf(reports::hostOfUri(request.uri));
        if (engine >= 0) {
            (void)reports::searchPhrase(engine, request.uri);
        }
    }
    return 0;
}
