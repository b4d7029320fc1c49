#pragma once

// The two shapes of Squid's access log: its native format (`logformat squid`) and the web
// servers' combined and common formats as Squid writes them. Splitting checks the shape of
// every field, so that a line of another shape is refused rather than read into the wrong
// columns.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kestrand::reports {

// Squid's result codes are words joined by '_' (TCP_DENIED_REPLY, TCP_MEM_HIT_ABORTED): a word
// DENIED is a refusal, a word HIT a hit.
struct SquidCodeWords {
    bool denied = false;
    bool hit = false;
};

// time elapsed client code/status bytes method URL user hierarchy/peer type
struct SquidNativeFields {
    std::int64_t seconds = 0;  // of the time, Unix seconds and milliseconds (UTC)
    std::string_view client;
    std::string_view code;  // TCP_MISS
    SquidCodeWords words;
    std::string_view status;
    std::string_view bytes;  // sent to the client
    std::string_view method;
    std::string_view url;
    std::string_view user;  // "-" for none; may be percent-encoded
    std::string_view hierarchy;
    std::string_view peer;
    std::string_view type;
};
bool splitSquidNative(std::string_view line, SquidNativeFields& out);

// client ident user [dd/Mon/yyyy:hh:mm:ss +zzzz] "METHOD URL HTTP/v" status bytes
// ["referer" "agent"] [code:hierarchy]
struct SquidCombinedFields {
    std::string_view client;
    std::string_view user;
    std::string_view day;     // dd/Mon/yyyy
    std::string_view time;    // hh:mm:ss
    std::string_view offset;  // +zzzz
    std::string_view method;
    std::string_view url;
    std::string_view status;
    std::string_view bytes;
    std::string_view agent;
    std::string_view code;  // empty when the line has no code:hierarchy field
    SquidCodeWords words;
    bool hasAgent = false;  // combined, not common
};
bool splitSquidCombined(std::string_view line, SquidCombinedFields& out);

// The destination from the hierarchy field: what follows the '/' when the request went to
// the origin; "-" for none and for a parent or sibling cache (whose address is not the
// destination's). A name there (as older Squids log it) is no address, and the country
// lookup takes it as none.
std::string_view destinationOfPeer(std::string_view hierarchy, std::string_view peer);

// "1477879888.909" as whole seconds; nothing for another text or a time of 0.
std::optional<std::int64_t> parseUnixTime(std::string_view text);

// The host of a CONNECT target "host:port" ("[v6]:port" keeps its brackets).
std::string_view hostOfTunnel(std::string_view target);

// %XX decoded; the text itself when it holds no '%'. The result may point into scratch.
std::string_view percentDecoded(std::string_view text, std::string& scratch);

}  // namespace kestrand::reports
