#pragma once

// The engine's whole answer: what the JSON writer writes and the window shows. Every list is
// already in its order: descending by its main count, ties by name (the Windows versions put
// the Windows rows first).

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrand::reports {

// The row of reports 1 and 2 that counts the requests of layouts that log no agent.
inline constexpr std::string_view kAgentNotLogged = "agent not logged";

struct Traffic {
    std::uint64_t requests = 0;
    std::uint64_t bytes = 0;
};

struct Totals {
    std::uint64_t requests = 0;
    std::uint64_t bytes = 0;
    std::uint64_t addresses = 0;
};

// One file found in the folder.
struct FileRow {
    std::string path;    // relative to the folder, '/' between names
    std::string layout;  // "w3c", "comma", "comma-samples", "squid", "squid-combined", or ""
    std::uint64_t size = 0;
    std::uint64_t lines = 0;
    std::uint64_t requests = 0;  // requests counted in the reports
    std::uint64_t proxyRequests = 0;
    std::uint64_t skipped = 0;
    std::vector<std::uint64_t> skippedLines;  // the first ten, from 1
    std::optional<std::string> error;         // why the file was not (wholly) read
    std::uint64_t denied = 0;                 // refused requests, counted apart
    Traffic cache{};                         // of the requests counted, those served from the cache
    std::uint64_t requestsWithoutAgent = 0;  // of the requests counted
};

struct AddressRow {
    std::string address;
    std::uint64_t requests = 0;
    std::uint64_t bytes = 0;
    std::vector<std::string> users;  // most requests first
    std::string first;               // "YYYY-MM-DD HH:MM:SS", refused requests included
    std::string last;
    std::uint64_t denied = 0;  // refused requests
};

// A row of the Windows versions or the browsers.
struct NamedRow {
    std::string name;
    std::uint64_t addresses = 0;
    std::uint64_t requests = 0;
};

struct HourRow {
    int hour = 0;
    std::uint64_t requests = 0;
    std::uint64_t bytes = 0;
    std::uint64_t addresses = 0;
};

struct SiteRow {
    std::string host;
    std::uint64_t requests = 0;
    std::uint64_t pages = 0;
    std::uint64_t bytes = 0;
    std::uint64_t addresses = 0;
};

struct PageRow {
    std::string page;
    std::uint64_t views = 0;
};

// Indexes of CountryRow::classes and CountryReport::classes.
enum Place : int { kInside = 0, kOutside = 1, kLocal = 2, kUnknown = 3 };
inline constexpr int kPlaceCount = 4;

struct CountryRow {
    std::string address;
    std::array<Traffic, kPlaceCount> classes{};
};

struct CountryReport {
    std::string home;
    std::array<Traffic, kPlaceCount> classes{};
    std::vector<CountryRow> addresses;  // by all requests, then address
    std::string database;               // the file used; empty when none
    std::string databaseNote;           // why none was used
};

struct CountRow {
    std::string name;
    std::uint64_t searches = 0;
};

struct SearchReport {
    std::uint64_t total = 0;
    std::vector<CountRow> engines;
    std::vector<CountRow> addresses;
    std::vector<CountRow> phrases;  // the 100 most searched
};

struct DeniedHost {
    std::string host;
    std::uint64_t requests = 0;
};

// The requests the proxy refused: in no report but this.
struct DeniedReport {
    std::uint64_t requests = 0;
    std::uint64_t bytes = 0;
    std::vector<DeniedHost> hosts;  // the 100 most refused
};

struct Result {
    // Why the folder could not be read at all (missing, not a folder, no permission) or the
    // country database asked for could not be opened; empty when the run went ahead.
    std::string error;
    bool cancelled = false;
    Totals totals;

    std::string generator;
    std::string folder;
    std::string homeCountry;
    std::string timeZone;  // of every time in the report ("Asia/Tehran")
    std::array<bool, 7> kinds{};
    // The period, "YYYY-MM-DD HH:MM:SS", of every request read (refused ones too).
    std::optional<std::string> first;
    std::optional<std::string> last;
    std::vector<FileRow> files;
    std::uint64_t otherFiles = 0;  // files passed over: not .log or .log.gz
    std::uint64_t proxyRequests = 0;
    DeniedReport denied;
    Traffic cache{};  // of the requests counted, those served from the proxy's cache
    // Why browsers and systems could not be named, and which files log no agent, if so.
    std::string agentNote;
    // Why what was read could not be kept in the cache, if so (the report is whole).
    std::string cacheNote;
    // How many files came from the cache unchanged, grew, and were read whole; not in the
    // JSON, which is the same however the files were read.
    std::uint64_t filesFromCache = 0;
    std::uint64_t filesGrown = 0;
    std::uint64_t filesRead = 0;
    // Whether it was made from the standing report of an earlier run and what was read since.
    bool fromStanding = false;

    std::vector<AddressRow> addresses;
    std::vector<NamedRow> windows;
    std::vector<NamedRow> browsers;
    std::array<HourRow, 24> hours{};
    std::array<std::array<std::uint64_t, 24>, 7> weekdays{};  // Monday first
    int busiestHour = -1;
    std::vector<SiteRow> sites;
    std::vector<PageRow> pages;  // the 100 most viewed
    CountryReport country;
    SearchReport searches;
};

}  // namespace kestrand::reports
