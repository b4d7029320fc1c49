#pragma once

// A summary: everything the seven reports need from a set of log lines, before anything is
// sorted, cut to the top 100 or classified, in parts of one file and one day of the report's
// time zone. Summaries merge by putting their parts together; a report of parts is the report
// of one run over their lines.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kestrand/reports/engine.h"
#include "kestrand/reports/result.h"

namespace kestrand::cache {
class OpenFile;  // a file held open, where a part's bytes are read
}

namespace kestrand::reports {

class Writer;
class Reader;

// What a file's row counts on one day.
struct DayCounts {
    std::uint64_t requests = 0;
    std::uint64_t proxy = 0;
    std::uint64_t denied = 0;
    Traffic cache;
    std::uint64_t withoutAgent = 0;

    void add(const DayCounts& other) {
        requests += other.requests;
        proxy += other.proxy;
        denied += other.denied;
        cache.requests += other.cache.requests;
        cache.bytes += other.cache.bytes;
        withoutAgent += other.withoutAgent;
    }
};

struct SummaryPart {
    Day day = 0;
    DayCounts counts;
    std::string tables;  // the part's report tables, as Tables::encode writes them
    // A part of a cache entry is read only when a report needs it: its bytes are then in the
    // entry's file, `size` bytes from `offset`, with this XXH3.
    std::shared_ptr<const cache::OpenFile> file;
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
    std::uint64_t checksum = 0;

    bool held() const { return file == nullptr; }
    // The part's bytes: held, or read from the entry (into scratch) and checked; nothing when
    // the entry no longer holds them.
    std::optional<std::string_view> bytes(std::string& scratch) const;
    // Holds the bytes from now on; false when they cannot be read.
    bool hold();
};

struct SummaryFile {
    FileRow row;  // its day figures are zero: they are in the parts
    std::vector<SummaryPart> parts;
    // Where reading goes on when the file grows: a plain file read to the end of a line.
    bool resumable = false;
    std::uint64_t end = 0;  // the bytes read
    std::string fields;     // a W3C file's #Fields: line in force there
};

// What a summary file keeps of all its parts together, so that a report of all of them needs
// none of its parts: their tables merged (without the pages), its most viewed pages by name,
// and a bound on the views of every page it leaves out (0 when it names every page).
struct SummaryStanding {
    SummaryPart tables;  // Tables::encodeMerged's bytes; its day and counts unused
    std::uint64_t bound = 0;
    std::vector<std::pair<std::string, std::uint64_t>> pages;
};

struct Summary {
    std::string timeZone;
    std::string folders;  // what it was made of, as given
    std::uint64_t otherFiles = 0;
    std::vector<SummaryFile> files;
    std::optional<SummaryStanding> standing;
};

inline constexpr std::string_view kSummaryMagic = "KESTSUM\n";
inline constexpr std::string_view kCacheMagic = "KESTCAC\n";
// The version of every cache entry's bytes; another is refused.
inline constexpr std::uint32_t kSummaryFormat = 1;
// The version of a summary file's bytes: the first version's files (without a standing)
// still read, others are refused.
inline constexpr std::uint32_t kSummaryFileFormat = 2;

// A file with its parts' bytes inline (a summary file), or with only where they are (a cache
// entry's head, the parts' bytes after it in the same order).
void encodeFile(Writer& out, const SummaryFile& file, bool inlineParts = true);
bool decodeFile(Reader& in, SummaryFile& file, bool inlineParts = true);

// A summary file's bytes, sealed (nothing when a part no longer reads); and back, with the
// reason when they are not a summary of this version, whole and undamaged.
std::optional<std::string> encodeSummary(const Summary& summary);
// The payload of that seal, given to `piece` in order: each part's tables apart, never
// copied (a part not held is read from where it is), so that a big summary is written
// without a second copy in memory. False when a part no longer reads: the pieces are then
// not a summary.
bool encodeSummaryPieces(const Summary& summary,
                         const std::function<void(std::string_view)>& piece);
// With `source`, the file the bytes were read from: each part's tables are then left there,
// known by their place and checksum, and read from it when they are needed.
std::optional<Summary> decodeSummary(std::string_view bytes, std::string& error,
                                     const std::shared_ptr<const cache::OpenFile>& source = {});

// Writes the summary of the options' folders (every kind, day and address; --from and --to
// keep days) to path. False with the reason when the folders or the file fail.
bool writeSummary(const Options& options, const Control& control, const std::filesystem::path& path,
                  std::string& error, Summary* written = nullptr);

}  // namespace kestrand::reports
