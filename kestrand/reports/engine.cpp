#include "kestrand/reports/engine.h"

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <tuple>
#include <unordered_map>
#include <unordered_set>

#include "kestrand/cache/entry_store.h"
#include "kestrand/cache/file_identity.h"
#include "kestrand/cache/open_file.h"
#include "kestrand/cache/seal.h"
#include "kestrand/reports/agents.h"
#include "kestrand/reports/codec.h"
#include "kestrand/reports/country.h"
#include "kestrand/reports/folder.h"
#include "kestrand/reports/layouts.h"
#include "kestrand/reports/result_codec.h"
#include "kestrand/reports/sources.h"
#include "kestrand/reports/summary.h"
#include "kestrand/reports/tables.h"
#include "kestrand/reports/time_zone.h"

namespace kestrand::reports {

namespace {

constexpr std::size_t kBlock = std::size_t{1} << 20;  // bytes read at a time; the longest line
constexpr std::size_t kHead = std::size_t{64} << 10;  // bytes that decide a layout
constexpr std::uint64_t kChunk = std::uint64_t{16} << 20;
constexpr std::size_t kSkippedLinesKept = 10;
constexpr std::size_t kFilesNamedInNotes = 10;
constexpr std::uint64_t kWholeFileBytes = std::uint64_t{2} << 30;

// What one worker counted of one day of a file, in a summary's tables.
struct DayWork {
    DayCounts counts;
    std::unique_ptr<Tables> tables;
    std::uint64_t used = 0;  // when a worker last counted into it
};
using Days = std::map<Day, DayWork>;

// The workers the options ask for: one per core unless a number is given.
unsigned workersFor(const Options& options) {
    return options.threads != 0 ? options.threads : std::thread::hardware_concurrency();
}

// A day's work as a summary's part: its counts and its tables' bytes.
SummaryPart partOf(Day day, const DayWork& work) {
    Writer out;
    work.tables->encode(out);
    SummaryPart part;
    part.day = day;
    part.counts = work.counts;
    part.tables = out.take();
    part.tables.shrink_to_fit();  // kept until its file is done: without the writer's room
    return part;
}

// A part of a file that one worker reads: the lines that start in [begin, end); or, for a
// file already summarized, its parts to count.
struct Unit {
    std::size_t file = 0;
    std::uint64_t begin = 0;
    std::uint64_t end = 0;
    bool summarized = false;
};

struct UnitResult {
    std::uint64_t lines = 0;
    std::uint64_t requests = 0;
    std::uint64_t proxy = 0;
    std::uint64_t denied = 0;
    Traffic cache;
    std::uint64_t withoutAgent = 0;
    std::uint64_t skipped = 0;
    std::vector<std::uint64_t> skippedLines;  // counted from the unit's first line
    std::optional<std::string> error;
    Layout layout = Layout::Unknown;
    std::string fields;         // the last #Fields: line read
    bool endsAtLineEnd = true;  // its last line ended with a line break
};

// A part's lines, skipped lines, layout and first error added to its file's row, the part
// read after the row's.
void addLines(FileRow& row, const UnitResult& part) {
    for (const std::uint64_t line : part.skippedLines) {
        if (row.skippedLines.size() < kSkippedLinesKept) {
            row.skippedLines.push_back(row.lines + line);
        }
    }
    row.lines += part.lines;
    row.skipped += part.skipped;
    if (part.layout != Layout::Unknown) {
        row.layout = std::string(layoutName(part.layout));
    }
    if (part.error && !row.error) {
        row.error = part.error;
    }
}

// How a file stands against what the cache holds of it.
enum class Known { Not, Unchanged, Grown };

struct PlannedFile {
    Layout layout = Layout::Unknown;
    std::uint64_t size = 0;  // as planned: a file that grows later is read to here
    std::atomic<std::size_t> unitsLeft{0};
    // With summaries:
    Known known = Known::Not;
    // What the cache or a summary file holds of it; then what was read.
    std::optional<SummaryFile> summary;
    std::string entry;           // the key of its cache entry
    std::uint64_t entrySum = 0;  // the checksum of that entry's head
    bool written = false;        // its entry written in this run
    bool stood = false;          // counted by its summary file's standing, not by its parts
    cache::FileIdentity identity;
    bool identified = false;
    std::mutex mutex;
    Days days;                        // what this run read, by day
    std::vector<SummaryPart> sealed;  // days' parts workers finished as they read
    std::size_t holders = 0;          // workers holding tables of it
};

// One input of a run: a folder's files, or a summary file's.
struct Input {
    std::filesystem::path path;
    std::string prefix;  // put before its files' paths when a run has several inputs
    bool summaryFile = false;
};

class Run {
  public:
    // With summaries, every file is read into day parts, the parts of those in the period
    // counted into the report when `report` is set, and kept in store when there is one.
    Run(const Options& options, const Control& control, const TimeZone& zone, SharedLookups& shared,
        bool summaries, bool report, const cache::EntryStore* store)
        : options_(options),
          control_(control),
          zone_(zone),
          shared_(shared),
          summaries_(summaries),
          report_(report),
          store_(store) {}

    // Takes what is known of each file: the summaries given (of summary files), and what the
    // store holds of files unchanged or grown since. Then plan() plans the rest.
    void know(const FolderListing& listing, const cache::EntryStore* store,
              std::vector<std::optional<SummaryFile>>& given);
    void plan(const FolderListing& listing);
    void work(Tables& tables);
    void finish(Result& result, const FolderListing& listing);
    std::size_t unitCount() const { return units_.size(); }
    bool cancelled() const { return cancelled_.load(); }
    Progress progress() const {
        return Progress{bytesRead_.load(), bytesTotal_, filesRead_.load(), filesTotal_};
    }
    // The file's summary: what the cache or a summary file held, or what was read; nothing
    // for a file not read.
    const std::optional<SummaryFile>& summary(std::size_t file) const {
        return files_[file]->summary;
    }
    Known known(std::size_t file) const { return files_[file]->known; }
    // The same, taken out of the run, which no longer needs it.
    std::optional<SummaryFile> takeSummary(std::size_t file) {
        return std::move(files_[file]->summary);
    }
    bool damagedEntry() const { return damagedEntry_.load(); }
    // What a finished report of these files depends on in them: each file's entry as the
    // cache holds it, or why it was not read; nothing while a file is still to be read.
    std::optional<std::string> filesKey() const;
    // The same for the files known from the cache (unchanged or grown), before any is read:
    // what a standing report of them must have been made of. Files new to the cache are left
    // out: they are counted on top of it.
    std::string knownKey() const;
    // The parts the cache holds are in the standing report: only what is read now is counted.
    void countOnlyNew() { onlyNew_ = true; }
    // A file of a summary file whose standing is counted instead of its parts.
    void countByStanding(std::size_t file) { files_[file]->stood = true; }
    // The cache entries whose parts did not read back.
    std::vector<std::string> damagedEntries() {
        const std::lock_guard lock(noteMutex_);
        return damagedEntries_;
    }
    const std::string& cacheError() const { return cacheError_; }

  private:
    // What a worker holds of the file it reads: given to the file when it turns to another,
    // and the file is complete when its last part is read and every holder gave it.
    static constexpr std::size_t kNoFile = ~std::size_t{0};
    struct Held {
        std::size_t file = kNoFile;
        Days days;
        std::vector<SummaryPart> sealed;
        std::uint64_t clock = 0;  // counts the turns from day to day
    };
    void readUnit(std::size_t index, Tables& tables, Held& held);
    // A day's work made a part (into `parts`) and counted into the report tables.
    void sealDay(Day day, DayWork& work, Tables& tables, std::vector<SummaryPart>& parts);
    void handOver(Held& held, Tables& tables);
    void countSummarized(const Unit& unit, Tables& tables);
    void completeFile(std::size_t file, Tables& tables);
    bool inPeriod(Day day) const {
        return (!options_.from || day >= *options_.from) && (!options_.to || day <= *options_.to);
    }
    bool cancelRequested() const {
        return control_.cancel != nullptr && control_.cancel->load(std::memory_order_relaxed);
    }
    void reportProgress(bool force);

    const Options& options_;
    const Control& control_;
    const TimeZone& zone_;
    SharedLookups& shared_;
    const bool summaries_;  // every file read into a summary, day by day
    const bool report_;
    bool onlyNew_ = false;
    const cache::EntryStore* store_;
    std::mutex noteMutex_;
    std::string cacheError_;  // the first entry that could not be written
    std::vector<std::string> damagedEntries_;
    void damaged(std::size_t file) {
        damagedEntry_ = true;
        const std::lock_guard lock(noteMutex_);
        if (!files_[file]->entry.empty()) {
            damagedEntries_.push_back(files_[file]->entry);
        }
    }
    const FolderListing* listing_ = nullptr;
    std::vector<std::unique_ptr<PlannedFile>> files_;
    std::vector<std::optional<std::string>> planErrors_;
    std::vector<Unit> units_;            // by file, then by place in the file
    std::vector<std::size_t> schedule_;  // the order workers take them: biggest first
    std::vector<UnitResult> results_;
    std::atomic<std::size_t> nextUnit_{0};
    std::atomic<bool> cancelled_{false};
    std::atomic<bool> damagedEntry_{false};
    std::atomic<std::uint64_t> bytesRead_{0};
    std::atomic<std::size_t> filesRead_{0};
    std::uint64_t bytesTotal_ = 0;
    std::size_t filesTotal_ = 0;
    std::atomic<std::int64_t> lastReport_{0};
    std::mutex progressMutex_;
};

// The cache entry of a file: its path and zone, its identity, then its summary.
std::string entryKey(const std::string& path, const std::string& zone) {
    return cache::keyOf(path + '\n' + zone);
}

void writeIdentity(Writer& out, const cache::FileIdentity& id) {
    out.number(id.device);
    out.number(id.inode);
    out.number(id.size);
    out.signedNumber(id.modified);
    out.signedNumber(id.changed);
    out.number(id.head);
    out.number(id.tail);
}

void readIdentity(Reader& in, cache::FileIdentity& id) {
    id.device = in.number();
    id.inode = in.number();
    id.size = in.number();
    id.modified = in.signedNumber();
    id.changed = in.signedNumber();
    id.head = in.number();
    id.tail = in.number();
}

// A cache entry: a sealed head (the path, zone, identity and the file's row, with where each
// part is and its checksum), then the parts, read only when a report needs them. Every part
// must be held. The pieces are the head, kept in `head`, and the parts' bytes where they are.
std::vector<std::string_view> entryPieces(const std::string& path, const std::string& zone,
                                          const cache::FileIdentity& id, const SummaryFile& file,
                                          std::uint64_t& headSum, std::string& head) {
    Writer out;
    out.text(path);
    out.text(zone);
    writeIdentity(out, id);
    encodeFile(out, file, false);
    headSum = cache::checksum(out.bytes());
    head = cache::seal(kCacheMagic, kSummaryFormat, out.bytes());
    std::vector<std::string_view> pieces{head};
    for (const SummaryPart& part : file.parts) {
        pieces.push_back(part.tables);
    }
    return pieces;
}

constexpr std::size_t kEntryHead = std::size_t{64} << 10;

// The head of a cache entry, its parts left where they are; nothing when it is not one of
// this file and zone.
std::optional<SummaryFile> readEntry(const cache::EntryStore& store, const std::string& key,
                                     const std::string& path, const std::string& zone,
                                     cache::FileIdentity& was, std::uint64_t& headSum) {
    // Held open: its parts are read from this file, even when another process writes the
    // entry again meanwhile.
    const std::shared_ptr<const cache::OpenFile> held = store.open(key);
    if (!held) {
        return std::nullopt;
    }
    const auto readHead = [&](std::uint64_t most) {
        std::string bytes(std::min(held->size(), most), '\0');
        return held->read(bytes.data(), bytes.size(), 0) ? bytes : std::string();
    };
    std::string bytes = readHead(kEntryHead);
    std::string why;
    std::uint64_t needed = 0;
    std::optional<std::string_view> head =
        cache::unsealHead(bytes, kCacheMagic, kSummaryFormat, "a cache entry", why, needed);
    if (!head && needed > bytes.size() && needed <= held->size()) {
        bytes = readHead(needed);
        head = cache::unsealHead(bytes, kCacheMagic, kSummaryFormat, "a cache entry", why, needed);
    }
    if (!head) {
        return std::nullopt;
    }
    headSum = cache::checksum(*head);
    Reader in(*head);
    SummaryFile entry;
    const bool same = in.text() == path && in.text() == zone;
    readIdentity(in, was);
    if (!same || !decodeFile(in, entry, false) || !in.atEnd()) {
        return std::nullopt;
    }
    for (SummaryPart& part : entry.parts) {
        part.file = held;
        part.offset += cache::kSealHeader + head->size();
    }
    return entry;
}

std::string absoluteText(const std::filesystem::path& path) {
    std::error_code ec;
    const std::filesystem::path full = std::filesystem::absolute(path, ec);
    return (ec ? path : full).lexically_normal().string();
}

// A file's parts of one day merged into one, when a file that grew in many steps has many.
constexpr std::size_t kPartsADay = 4;
// The days a worker keeps as tables while it reads a file; the others are parts.
constexpr std::size_t kLiveDays = 3;

void compactParts(SummaryFile& file, SharedLookups& shared) {
    std::map<Day, std::size_t> perDay;
    bool many = false;
    for (const SummaryPart& part : file.parts) {
        many = ++perDay[part.day] > kPartsADay || many;
    }
    if (!many) {
        return;
    }
    std::vector<SummaryPart> kept;
    Days merged;
    for (SummaryPart& part : file.parts) {
        if (perDay[part.day] <= kPartsADay) {
            kept.push_back(std::move(part));
            continue;
        }
        DayWork& work = merged[part.day];
        if (!work.tables) {
            work.tables = std::make_unique<Tables>(shared, Tables::Scope::Whole);
        }
        work.counts.add(part.counts);
        Reader in(part.tables);
        if (!work.tables->absorbEncoded(in)) {
            return;  // left as they were: each part still reads
        }
    }
    for (const auto& [day, work] : merged) {
        kept.push_back(partOf(day, work));
    }
    std::stable_sort(kept.begin(), kept.end(),
                     [](const SummaryPart& a, const SummaryPart& b) { return a.day < b.day; });
    file.parts = std::move(kept);
}

void Run::know(const FolderListing& listing, const cache::EntryStore* store,
               std::vector<std::optional<SummaryFile>>& given) {
    listing_ = &listing;
    files_.resize(listing.files.size());
    planErrors_.resize(listing.files.size());
    for (std::size_t i = 0; i < listing.files.size(); ++i) {
        files_[i] = std::make_unique<PlannedFile>();
        PlannedFile& planned = *files_[i];
        if (i < given.size() && given[i]) {
            planned.summary = std::move(given[i]);
            planned.known = Known::Unchanged;
            continue;
        }
        const FoundFile& file = listing.files[i];
        if (store == nullptr || file.error) {
            continue;
        }
        const std::string path = absoluteText(file.path);
        const std::string key = entryKey(path, zone_.name());
        cache::FileIdentity was;
        std::uint64_t headSum = 0;
        std::optional<SummaryFile> read = readEntry(*store, key, path, zone_.name(), was, headSum);
        if (!read) {
            continue;  // read anew, and the entry written again
        }
        SummaryFile& entry = *read;
        cache::FileIdentity now;
        if (!cache::statIdentity(file.path, now)) {
            continue;
        }
        planned.entry = key;
        planned.entrySum = headSum;
        if (now.sameStat(was)) {
            planned.summary = std::move(entry);
            planned.known = Known::Unchanged;
            continue;
        }
        if (now.size < was.size || (file.compressed && now.size != was.size)) {
            continue;
        }
        std::string openError;
        const int fd = openRegular(file.path, openError);
        if (fd < 0) {
            continue;
        }
        const FileHandle handle(fd);
        cache::FileIdentity ends = now;
        if (!cache::hashEnds(fd, was.size, ends) || ends.head != was.head ||
            ends.tail != was.tail) {
            continue;
        }
        if (now.size == was.size) {
            // Touched, not written: the entry is kept with the file's new times.
            bool held = true;
            for (SummaryPart& part : entry.parts) {
                held = part.hold() && held;
            }
            if (!held) {
                continue;
            }
            planned.summary = std::move(entry);
            planned.known = Known::Unchanged;
            std::string ignored;
            std::string head;
            if (!store->store(
                    key,
                    entryPieces(path, zone_.name(), ends, *planned.summary, planned.entrySum, head),
                    ignored)) {
                planned.entry.clear();
            }
            continue;
        }
        if (entry.resumable && !file.compressed && entry.end == was.size) {
            planned.summary = std::move(entry);
            planned.known = Known::Grown;
        }
    }
}

std::optional<std::string> Run::filesKey() const {
    std::string key;
    for (std::size_t i = 0; i < files_.size(); ++i) {
        const PlannedFile& file = *files_[i];
        const FoundFile& found = listing_->files[i];
        key += found.relative;
        if (found.error || planErrors_[i]) {
            key += "\nerror " + (found.error ? *found.error : *planErrors_[i]) + '\n';
        } else if (!file.entry.empty() && file.summary &&
                   (file.known == Known::Unchanged || file.written)) {
            key += "\nentry " + file.entry + ' ' + std::to_string(file.entrySum) + '\n';
        } else {
            return std::nullopt;
        }
    }
    return key;
}

std::string Run::knownKey() const {
    std::string key;
    for (std::size_t i = 0; i < files_.size(); ++i) {
        const PlannedFile& file = *files_[i];
        const FoundFile& found = listing_->files[i];
        if (found.error || planErrors_[i]) {
            key += found.relative;
            key += "\nerror " + (found.error ? *found.error : *planErrors_[i]) + '\n';
        } else if (!file.entry.empty() && file.summary &&
                   (file.known == Known::Unchanged || file.known == Known::Grown)) {
            key += found.relative;
            key += "\nentry " + file.entry + ' ' + std::to_string(file.entrySum) + '\n';
        }
    }
    return key;
}

void Run::plan(const FolderListing& listing) {
    listing_ = &listing;
    if (files_.size() != listing.files.size()) {
        files_.resize(listing.files.size());
        planErrors_.resize(listing.files.size());
        for (auto& file : files_) {
            file = std::make_unique<PlannedFile>();
        }
    }
    std::vector<char> head(kHead);
    const unsigned workers = std::max(1u, workersFor(options_));
    std::size_t toRead = 0;
    for (std::size_t i = 0; i < listing.files.size(); ++i) {
        toRead += files_[i]->known != Known::Unchanged && !listing.files[i].error ? 1 : 0;
    }
    for (std::size_t i = 0; i < listing.files.size(); ++i) {
        PlannedFile& planned = *files_[i];
        const FoundFile& file = listing.files[i];
        if (planned.known == Known::Unchanged) {
            units_.push_back(Unit{i, 0, 0, true});
            planned.unitsLeft = 1;
            continue;
        }
        if (file.error) {
            continue;
        }
        std::string error;
        const int fd = openRegular(file.path, error);
        if (fd < 0) {
            planErrors_[i] = error;
            continue;
        }
        const FileHandle handle(fd);
        planned.identified = summaries_ && cache::statIdentity(fd, planned.identity);
        struct stat info {};
        ::fstat(fd, &info);
        const auto size = static_cast<std::uint64_t>(info.st_size);
        if (size == 0) {
            planErrors_[i] = "an empty file";
            continue;
        }
        planned.size = size;
        planned.identity.size = size;
        ++filesTotal_;
        const std::uint64_t from = planned.known == Known::Grown ? planned.summary->end : 0;
        bytesTotal_ += size - from;
        if (file.compressed) {
            units_.push_back(Unit{i, 0, size});
            planned.unitsLeft = 1;
            continue;
        }
        Layout layout = Layout::Unknown;
        if (planned.known == Known::Grown) {
            for (const Layout known : {Layout::W3c, Layout::Comma, Layout::CommaSamples,
                                       Layout::Squid, Layout::SquidCombined}) {
                if (layoutName(known) == planned.summary->row.layout) {
                    layout = known;
                }
            }
        } else {
            const ssize_t n = readAt(fd, head.data(), head.size(), 0);
            if (n <= 0) {
                planErrors_[i] = n < 0 ? errnoText("cannot read it") : std::string("an empty file");
                --filesTotal_;
                bytesTotal_ -= size;
                continue;
            }
            const std::string_view text(head.data(), static_cast<std::size_t>(n));
            layout = detectLayout(text, static_cast<std::uint64_t>(n) == size);
            if (layout == Layout::Unknown) {
                planErrors_[i] = text.find('\0') != std::string_view::npos
                                     ? "binary data, not a log"
                                     : "no line in a known layout among its first lines";
                --filesTotal_;
                bytesTotal_ -= size;
                continue;
            }
        }
        planned.layout = layout;
        // A W3C file is read by one worker: a #Fields: line may change the columns anywhere.
        // With summaries and files enough for every worker, so is every file: its tables are
        // then one worker's, and never merged from two.
        const std::uint64_t chunk = options_.chunkBytes != 0 ? options_.chunkBytes : kChunk;
        const bool wholeFiles = summaries_ && options_.chunkBytes == 0 && toRead >= 2 * workers &&
                                size <= kWholeFileBytes;
        const std::uint64_t step = layout == Layout::W3c || wholeFiles ? size : chunk;
        std::size_t parts = 0;
        for (std::uint64_t begin = from; begin < size; begin += step) {
            units_.push_back(Unit{i, begin, std::min(size, begin + step)});
            ++parts;
        }
        planned.unitsLeft = parts;
    }
    results_.resize(units_.size());
    // A whole W3C or compressed file cannot be shared: starting the biggest parts first keeps
    // one worker from reading a big file alone at the end. Summaries already made go first.
    schedule_.resize(units_.size());
    for (std::size_t u = 0; u < units_.size(); ++u) {
        schedule_[u] = u;
    }
    std::stable_sort(schedule_.begin(), schedule_.end(), [&](std::size_t a, std::size_t b) {
        if (units_[a].summarized != units_[b].summarized) {
            return units_[a].summarized;
        }
        return units_[a].end - units_[a].begin > units_[b].end - units_[b].begin;
    });
}

void Run::reportProgress(bool force) {
    if (!control_.progress) {
        return;
    }
    const std::int64_t now = std::chrono::duration_cast<std::chrono::milliseconds>(
                                 std::chrono::steady_clock::now().time_since_epoch())
                                 .count();
    std::int64_t last = lastReport_.load();
    if (!force && (now - last < 100 || !lastReport_.compare_exchange_strong(last, now))) {
        return;
    }
    const std::lock_guard lock(progressMutex_);
    control_.progress(progress());
}

void Run::work(Tables& tables) {
    Held held;
    for (;;) {
        if (cancelRequested()) {
            cancelled_ = true;
            handOver(held, tables);
            return;
        }
        const std::size_t next = nextUnit_.fetch_add(1);
        if (next >= units_.size()) {
            handOver(held, tables);
            return;
        }
        const std::size_t index = schedule_[next];
        const Unit& unit = units_[index];
        if (unit.summarized) {
            countSummarized(unit, tables);
        } else {
            if (held.file != unit.file) {
                handOver(held, tables);
                held.file = unit.file;
                const std::lock_guard lock(files_[unit.file]->mutex);
                ++files_[unit.file]->holders;
            }
            readUnit(index, tables, held);
        }
        if (files_[unit.file]->unitsLeft.fetch_sub(1) == 1) {
            ++filesRead_;
            if (!unit.summarized) {
                handOver(held, tables);
            }
        }
        reportProgress(false);
    }
}

void Run::handOver(Held& held, Tables& tables) {
    if (held.file == kNoFile) {
        return;
    }
    PlannedFile& planned = *files_[held.file];
    bool complete = false;
    {
        const std::lock_guard lock(planned.mutex);
        for (auto& [day, work] : held.days) {
            DayWork& mine = planned.days[day];
            mine.counts.add(work.counts);
            if (!mine.tables) {
                mine.tables = std::move(work.tables);
            } else {
                mine.tables->absorb(*work.tables);
            }
        }
        std::move(held.sealed.begin(), held.sealed.end(), std::back_inserter(planned.sealed));
        complete = --planned.holders == 0 && planned.unitsLeft.load() == 0;
    }
    const std::size_t file = held.file;
    held.days.clear();
    held.sealed.clear();
    held.file = kNoFile;
    if (complete && summaries_ && !cancelled_.load()) {
        completeFile(file, tables);
    }
}

void Run::countSummarized(const Unit& unit, Tables& tables) {
    if (!report_ || onlyNew_ || files_[unit.file]->stood) {
        return;
    }
    std::string scratch;
    for (const SummaryPart& part : files_[unit.file]->summary->parts) {
        if (!inPeriod(part.day)) {
            continue;
        }
        const std::optional<std::string_view> bytes = part.bytes(scratch);
        Reader in(bytes.value_or(std::string_view()));
        if (!bytes || !tables.absorbEncoded(in) || !in.atEnd()) {
            damaged(unit.file);
            return;
        }
    }
}

void Run::completeFile(std::size_t index, Tables& tables) {
    PlannedFile& planned = *files_[index];
    const FoundFile& found = listing_->files[index];
    SummaryFile file;
    if (planned.known == Known::Grown) {
        file = std::move(*planned.summary);
        file.row.path = found.relative;
        for (SummaryPart& part : file.parts) {
            if (!part.hold()) {
                damaged(index);
            }
        }
        // The parts kept from before count as the parts read now.
        if (report_ && !onlyNew_) {
            for (const SummaryPart& part : file.parts) {
                if (inPeriod(part.day)) {
                    Reader in(part.tables);
                    if (!tables.absorbEncoded(in) || !in.atEnd()) {
                        damaged(index);
                    }
                }
            }
        }
    } else {
        file.row.path = found.relative;
    }
    FileRow& row = file.row;
    row.size = planned.size;
    if (planned.layout != Layout::Unknown) {
        row.layout = std::string(layoutName(planned.layout));
    }
    bool endsAtLineEnd = true;
    for (std::size_t u = 0; u < units_.size(); ++u) {
        if (units_[u].file != index) {
            continue;
        }
        const UnitResult& part = results_[u];
        addLines(row, part);
        if (!part.fields.empty()) {
            file.fields = part.fields;
        }
        endsAtLineEnd = part.endsAtLineEnd;
    }
    file.resumable = !found.compressed && !row.error && endsAtLineEnd && !row.layout.empty();
    file.end = planned.size;
    std::vector<SummaryPart> parts = std::move(planned.sealed);
    planned.sealed.clear();
    for (auto& [day, work] : planned.days) {
        sealDay(day, work, tables, parts);
        work.tables.reset();
    }
    planned.days.clear();
    std::stable_sort(parts.begin(), parts.end(),
                     [](const SummaryPart& a, const SummaryPart& b) { return a.day < b.day; });
    std::move(parts.begin(), parts.end(), std::back_inserter(file.parts));
    compactParts(file, shared_);
    const bool keep = store_ != nullptr && planned.identified && !row.error && !row.layout.empty();
    planned.summary = std::move(file);

    if (keep) {
        std::string openError;
        const int fd = openRegular(found.path, openError);
        if (fd >= 0) {
            const FileHandle handle(fd);
            if (cache::hashEnds(fd, planned.size, planned.identity)) {
                const std::string path = absoluteText(found.path);
                std::string error;
                planned.entry = entryKey(path, zone_.name());
                std::string head;
                if (!store_->store(planned.entry,
                                   entryPieces(path, zone_.name(), planned.identity,
                                               *planned.summary, planned.entrySum, head),
                                   error)) {
                    planned.entry.clear();
                    const std::lock_guard lock(noteMutex_);
                    if (cacheError_.empty()) {
                        cacheError_ = error;
                    }
                } else {
                    planned.written = true;
                }
            }
        }
    }
}

void Run::sealDay(Day day, DayWork& work, Tables& tables, std::vector<SummaryPart>& parts) {
    parts.push_back(partOf(day, work));
    if (report_ && inPeriod(day)) {
        tables.absorb(*work.tables);
    }
}

void Run::readUnit(std::size_t index, Tables& tables, Held& held) {
    Days& days = held.days;
    const Unit& unit = units_[index];
    UnitResult& out = results_[index];
    const FoundFile& file = listing_->files[unit.file];
    std::string openError;
    const int fd = openRegular(file.path, openError);
    if (fd < 0) {
        out.error = openError;
        return;
    }
    const FileHandle handle(fd);
    std::unique_ptr<Source> source;
    if (file.compressed) {
        source = makeGzipSource(fd);
    } else {
        source = makePlainSource(fd, unit.begin > 0 ? unit.begin - 1 : 0, files_[unit.file]->size);
    }
    PlannedFile& planned = *files_[unit.file];
    Layout layout = planned.layout;
    std::optional<LineReader> reader;
    Request request;
    if (layout != Layout::Unknown) {
        reader.emplace(layout, &zone_);
        // A file read on from where its summary ended reads with the columns in force there.
        if (planned.known == Known::Grown && layout == Layout::W3c &&
            !planned.summary->fields.empty()) {
            reader->read(planned.summary->fields, request);
        }
    }
    // With summaries, each day's requests go to tables of their own, which the worker keeps
    // over the parts of one file it reads.
    Day lastDay = 0;
    DayWork* today = nullptr;
    // A day the lines have not come back to for a while is made a part at once, so that a
    // big file's days are not all held as tables.
    const auto dayOf = [&](const Request& r) -> DayWork& {
        const Day day = dayNumber(r.date);
        if (today == nullptr || day != lastDay) {
            if (!days.contains(day) && days.size() >= kLiveDays) {
                auto oldest = days.begin();
                for (auto it = days.begin(); it != days.end(); ++it) {
                    oldest = it->second.used < oldest->second.used ? it : oldest;
                }
                sealDay(oldest->first, oldest->second, tables, held.sealed);
                days.erase(oldest);
            }
            DayWork& work = days[day];
            if (!work.tables) {
                work.tables = std::make_unique<Tables>(shared_, Tables::Scope::Whole);
            }
            work.used = ++held.clock;
            today = &work;
            lastDay = day;
        }
        return *today;
    };

    std::vector<char> buffer(kBlock);
    std::size_t have = 0;
    std::uint64_t bufferOffset = unit.begin > 0 ? unit.begin - 1 : 0;
    bool dropFirst = unit.begin > 0;  // the line that began in the part before
    bool discarding = false;          // inside a line longer than the buffer
    bool stop = false;
    bool end = false;
    std::uint64_t reported = 0;

    const auto skip = [&] {
        ++out.skipped;
        if (out.skippedLines.size() < kSkippedLinesKept) {
            out.skippedLines.push_back(out.lines);
        }
    };
    const auto handleLine = [&](std::string_view line, std::uint64_t start) {
        if (discarding) {
            discarding = false;
            return;
        }
        if (dropFirst) {
            dropFirst = false;
            return;
        }
        if (!file.compressed && start >= unit.end) {
            stop = true;
            return;
        }
        ++out.lines;
        switch (reader->read(line, request)) {
            case LineKind::Request: {
                DayCounts* counts = nullptr;
                Tables* into = &tables;
                if (summaries_) {
                    DayWork& work = dayOf(request);
                    counts = &work.counts;
                    into = work.tables.get();
                }
                switch (into->add(request)) {
                    case Tables::Outcome::Counted: {
                        const std::uint64_t cached = request.cached ? 1 : 0;
                        const std::uint64_t cachedBytes = cached ? parseBytes(request.bytes) : 0;
                        const std::uint64_t withoutAgent = request.agentLogged ? 0 : 1;
                        ++out.requests;
                        out.cache.requests += cached;
                        out.cache.bytes += cachedBytes;
                        out.withoutAgent += withoutAgent;
                        if (counts != nullptr) {
                            ++counts->requests;
                            counts->cache.requests += cached;
                            counts->cache.bytes += cachedBytes;
                            counts->withoutAgent += withoutAgent;
                        }
                        break;
                    }
                    case Tables::Outcome::Refused:
                        ++out.denied;
                        if (counts != nullptr) {
                            ++counts->denied;
                        }
                        break;
                    case Tables::Outcome::Proxy:
                        ++out.proxy;
                        if (counts != nullptr) {
                            ++counts->proxy;
                        }
                        break;
                    case Tables::Outcome::Filtered:
                        break;
                }
                break;
            }
            case LineKind::Skipped:
                skip();
                break;
            case LineKind::Directive:
                if (summaries_ && line.starts_with("#Fields:")) {
                    out.fields = std::string(line);
                }
                break;
            case LineKind::Empty:
                break;
        }
    };
    const auto flushAll = [&] {
        tables.flush();
        for (auto& [day, work] : days) {
            work.tables->flush();
        }
    };

    while (!stop && !end) {
        if (cancelRequested()) {
            cancelled_ = true;
            break;
        }
        const std::size_t n = source->read(buffer.data() + have, buffer.size() - have);
        end = n == 0;
        have += n;
        bytesRead_ += source->consumed - reported;
        reported = source->consumed;
        if (!reader) {
            // A compressed file shows its layout in its first bytes.
            if (have < kHead && !end) {
                continue;
            }
            layout = detectLayout(std::string_view(buffer.data(), have), end);
            if (layout == Layout::Unknown) {
                out.error = std::memchr(buffer.data(), '\0', have) != nullptr
                                ? "binary data, not a log"
                                : (have == 0 ? "an empty file"
                                             : "no line in a known layout among its first lines");
                if (source->error && have == 0) {
                    out.error = source->error;
                }
                return;
            }
            out.layout = layout;
            reader.emplace(layout, &zone_);
        }
        std::size_t pos = 0;
        while (!stop && pos < have) {
            const void* hit = std::memchr(buffer.data() + pos, '\n', have - pos);
            if (hit == nullptr) {
                break;
            }
            const auto newline =
                static_cast<std::size_t>(static_cast<const char*>(hit) - buffer.data());
            handleLine(std::string_view(buffer.data() + pos, newline - pos), bufferOffset + pos);
            pos = newline + 1;
        }
        if (!stop && end && pos < have) {
            out.endsAtLineEnd = false;
            handleLine(std::string_view(buffer.data() + pos, have - pos), bufferOffset + pos);
            pos = have;
        }
        if (end && discarding) {
            out.endsAtLineEnd = false;
        }
        if (pos == 0 && have == buffer.size()) {
            // A line longer than the buffer: skipped, and its rest passed over.
            if (!discarding) {
                if (dropFirst) {
                    dropFirst = false;
                } else if (!file.compressed && bufferOffset >= unit.end) {
                    stop = true;
                } else {
                    ++out.lines;
                    skip();
                }
            }
            discarding = true;
            pos = have;
        }
        flushAll();  // before the lines they point into move
        std::memmove(buffer.data(), buffer.data() + pos, have - pos);
        have -= pos;
        bufferOffset += pos;
        reportProgress(false);
    }
    flushAll();
    if (source->error && !out.error) {
        out.error = source->error;
    }
}

void Run::finish(Result& result, const FolderListing& listing) {
    std::vector<FileRow> rows(listing.files.size());
    for (std::size_t i = 0; i < listing.files.size(); ++i) {
        const FoundFile& file = listing.files[i];
        rows[i].path = file.relative;
        rows[i].size = files_[i]->size != 0 ? files_[i]->size : file.size;
        rows[i].error = file.error ? file.error : planErrors_[i];
        rows[i].layout = std::string(layoutName(files_[i]->layout));
        if (const std::optional<SummaryFile>& summary = files_[i]->summary) {
            // A summarized file counts its days of the period.
            rows[i] = summary->row;
            rows[i].path = file.relative;  // as this run reaches it
            for (const SummaryPart& part : summary->parts) {
                if (!inPeriod(part.day)) {
                    continue;
                }
                rows[i].requests += part.counts.requests;
                rows[i].proxyRequests += part.counts.proxy;
                rows[i].denied += part.counts.denied;
                rows[i].cache.requests += part.counts.cache.requests;
                rows[i].cache.bytes += part.counts.cache.bytes;
                rows[i].requestsWithoutAgent += part.counts.withoutAgent;
                result.proxyRequests += part.counts.proxy;
                result.cache.requests += part.counts.cache.requests;
                result.cache.bytes += part.counts.cache.bytes;
            }
        }
    }
    for (std::size_t u = 0; u < units_.size(); ++u) {
        if (files_[units_[u].file]->summary) {
            continue;
        }
        const UnitResult& part = results_[u];
        FileRow& row = rows[units_[u].file];
        addLines(row, part);
        row.requests += part.requests;
        row.proxyRequests += part.proxy;
        row.denied += part.denied;
        row.cache.requests += part.cache.requests;
        row.cache.bytes += part.cache.bytes;
        row.requestsWithoutAgent += part.withoutAgent;
        result.proxyRequests += part.proxy;
        result.cache.requests += part.cache.requests;
        result.cache.bytes += part.cache.bytes;
    }
    // Reports 1 and 2 count the requests of files without agents under one row; the note
    // names those files.
    std::string unnamed;
    std::size_t named = 0;
    std::size_t files = 0;
    for (const FileRow& row : rows) {
        if (row.requestsWithoutAgent == 0) {
            continue;
        }
        ++files;
        if (named < kFilesNamedInNotes) {
            unnamed += (named++ == 0 ? "" : ", ") + row.path;
        }
    }
    if (files > 0) {
        if (files > named) {
            unnamed += " and " + std::to_string(files - named) + " more";
        }
        std::string note = std::string(files == 1 ? "a log" : "logs") +
                           " without agents, counted as \"" + std::string(kAgentNotLogged) +
                           "\": " + unnamed;
        result.agentNote = result.agentNote.empty() ? note : result.agentNote + "; " + note;
    }
    result.files = std::move(rows);
}

}  // namespace

std::optional<Day> parseDay(const std::string& text) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') {
        return std::nullopt;
    }
    const std::optional<Date> date = parseLoggedDate(text);
    if (!date) {
        return std::nullopt;
    }
    return dayNumber(*date);
}

namespace {

// Every input's files in one listing, their paths put after the input's when there are
// several; and the summaries of the summary files among them.
struct Gathered {
    FolderListing listing;
    std::vector<std::optional<SummaryFile>> given;
    std::string folders;
    // The standings of the summary files given, and by file the one of its summary file.
    static constexpr std::size_t kNone = ~std::size_t{0};
    std::vector<SummaryStanding> standings;
    std::vector<std::size_t> standingOf;
};

// Paths compared name by name, as a walk that sorts each folder's names lists them.
bool walkLess(std::string_view a, std::string_view b) {
    for (;;) {
        const std::size_t aEnd = std::min(a.find('/'), a.size());
        const std::size_t bEnd = std::min(b.find('/'), b.size());
        const std::string_view aName = a.substr(0, aEnd);
        const std::string_view bName = b.substr(0, bEnd);
        if (aName != bName) {
            return aName < bName;
        }
        if (aEnd == a.size() || bEnd == b.size()) {
            return aEnd == a.size() && bEnd != b.size();
        }
        a.remove_prefix(aEnd + 1);
        b.remove_prefix(bEnd + 1);
    }
}

// Room for a whole summary file, kept for the next one and given its pages at once: a month's
// summary is hundreds of megabytes, and memory touched for the first time, page by page, costs
// more than the bytes cost to read. (Huge pages would be quicker still, but the kernel may
// stall for hundreds of milliseconds to find them.)
#ifdef MAP_POPULATE
constexpr int kPopulate = MAP_POPULATE;
#else
constexpr int kPopulate = 0;
#endif

class FileBuffer {
  public:
    FileBuffer() = default;
    FileBuffer(const FileBuffer&) = delete;
    FileBuffer& operator=(const FileBuffer&) = delete;
    ~FileBuffer() { release(); }
    // The whole file, or nothing (and why) when it cannot be read.
    std::optional<std::string_view> read(const cache::OpenFile& file, std::string& why) {
        if (file.size() > 0 && !room(file.size() + 1)) {
            why = "is too big to be read";
            return std::nullopt;
        }
        std::size_t used = 0;
        for (;;) {
            if (used == size_ && !room(std::max<std::size_t>(2 * size_, 1 << 16))) {
                why = "is too big to be read";
                return std::nullopt;
            }
            const ssize_t n =
                ::pread(file.descriptor(), data_ + used, size_ - used, static_cast<off_t>(used));
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0) {
                why = std::string("cannot be read: ") + std::strerror(errno);
                return std::nullopt;
            }
            if (n == 0) {
                break;  // the end (what was added since it was opened is read too)
            }
            used += static_cast<std::size_t>(n);
        }
        return std::string_view(data_, used);
    }

  private:
    // At least `size` bytes, what was read kept; false when the memory cannot be had.
    bool room(std::size_t size) {
        if (size <= size_) {
            return true;
        }
        size += size / 8;  // room for the next file, which is mostly about as big
        void* data = ::mmap(nullptr, size, PROT_READ | PROT_WRITE,
                            MAP_PRIVATE | MAP_ANONYMOUS | kPopulate, -1, 0);
        if (data == MAP_FAILED) {
            return false;
        }
        if (data_ != nullptr) {
            std::memcpy(data, data_, size_);
        }
        release();
        data_ = static_cast<char*>(data);
        size_ = size;
        return true;
    }
    void release() {
        if (data_ != nullptr) {
            ::munmap(data_, size_);
        }
        data_ = nullptr;
        size_ = 0;
    }
    char* data_ = nullptr;
    std::size_t size_ = 0;
};

bool isSummaryFile(const std::filesystem::path& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::optional<Gathered> gather(const Options& options, const std::string& zone,
                               std::string& error) {
    std::vector<std::filesystem::path> inputs{options.folder};
    inputs.insert(inputs.end(), options.more.begin(), options.more.end());
    const bool several = inputs.size() > 1;
    Gathered out;
    FileBuffer buffer;
    for (const std::filesystem::path& input : inputs) {
        std::string named = input.string();
        while (named.size() > 1 && named.back() == '/') {
            named.pop_back();
        }
        out.folders += (out.folders.empty() ? "" : ", ") + input.string();
        if (isSummaryFile(input)) {
            std::optional<std::string_view> bytes;
            std::string why;
            const std::shared_ptr<const cache::OpenFile> file = cache::OpenFile::open(input);
            if (file) {
                bytes = buffer.read(*file, why);
            } else {
                why = std::string("cannot be opened: ") + std::strerror(errno);
            }
            std::optional<Summary> summary;
            if (bytes) {
                summary = decodeSummary(*bytes, why, file);
            }
            if (!summary) {
                error = input.string() + ": " + why;
                return std::nullopt;
            }
            if (summary->timeZone != zone) {
                error = input.string() + " was summarized in the time zone " + summary->timeZone +
                        ", not " + zone + ": give --tz " + summary->timeZone;
                return std::nullopt;
            }
            out.listing.otherFiles += summary->otherFiles;
            std::size_t standing = Gathered::kNone;
            if (summary->standing) {
                standing = out.standings.size();
                out.standings.push_back(std::move(*summary->standing));
            }
            for (SummaryFile& file : summary->files) {
                FoundFile found;
                found.path = input;
                found.relative = file.row.path;
                found.size = file.row.size;
                out.listing.files.push_back(std::move(found));
                out.given.resize(out.listing.files.size());
                out.given.back() = std::move(file);
                out.standingOf.resize(out.listing.files.size(), Gathered::kNone);
                out.standingOf.back() = standing;
            }
            continue;
        }
        FolderListing listing = listFolder(input);
        if (!listing.error.empty()) {
            error = several ? input.string() + ": " + listing.error : listing.error;
            return std::nullopt;
        }
        out.listing.otherFiles += listing.otherFiles;
        for (FoundFile& file : listing.files) {
            if (several) {
                file.relative = named + "/" + file.relative;
            }
            out.listing.files.push_back(std::move(file));
        }
    }
    out.given.resize(out.listing.files.size());
    out.standingOf.resize(out.listing.files.size(), Gathered::kNone);
    if (several) {
        // In the order one folder's walk gives: name by name, each folder's names sorted.
        std::vector<std::size_t> order(out.listing.files.size());
        for (std::size_t i = 0; i < order.size(); ++i) {
            order[i] = i;
        }
        std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
            return walkLess(out.listing.files[a].relative, out.listing.files[b].relative);
        });
        FolderListing sorted;
        sorted.otherFiles = out.listing.otherFiles;
        std::vector<std::optional<SummaryFile>> given;
        std::vector<std::size_t> standingOf;
        for (const std::size_t i : order) {
            sorted.files.push_back(std::move(out.listing.files[i]));
            given.push_back(std::move(out.given[i]));
            standingOf.push_back(out.standingOf[i]);
        }
        out.listing = std::move(sorted);
        out.given = std::move(given);
        out.standingOf = std::move(standingOf);
    }
    return out;
}

// Whether the first bytes of a cache entry name a file that is gone (or are of another
// version, which this one never reads).
bool entryGone(std::string_view first) {
    if (first.size() >= cache::kSealHeader && first.substr(0, 8) == "KESTRES\n" &&
        static_cast<unsigned char>(first[8]) == kSummaryFormat) {
        return false;  // a kept report: only the bound removes it
    }
    if (first.size() < cache::kSealHeader || first.substr(0, 8) != kCacheMagic ||
        static_cast<unsigned char>(first[8]) != kSummaryFormat) {
        return true;
    }
    Reader in(first.substr(cache::kSealHeader));
    const std::string_view path = in.text();
    if (!in.ok()) {
        return false;  // a path longer than the bytes given: cannot tell
    }
    struct stat info {};
    return ::stat(std::string(path).c_str(), &info) != 0;
}

enum class Mode { Report, SummaryOnly };

// Each file's tables are made and freed in turn; glibc would hand each big block back to the
// system at its free and take it again, zeroed, for the next file. Blocks are kept instead.
void keepFreedMemory() {
#ifdef __GLIBC__
    static const bool set = [] {
        mallopt(M_MMAP_THRESHOLD, 256 << 20);
        mallopt(M_TRIM_THRESHOLD, 512 << 20);
        return true;
    }();
    (void)set;
#endif
}

inline constexpr std::string_view kReportMagic = "KESTRES\n";

// A file's path and what its stat tells of it, for a key: another file there is another key.
std::string fileStamp(const std::filesystem::path& path) {
    cache::FileIdentity id;
    if (!cache::statIdentity(path, id)) {
        return path.string() + " missing";
    }
    return path.string() + ' ' + std::to_string(id.size) + ' ' + std::to_string(id.modified) + ' ' +
           std::to_string(id.inode);
}

// Everything a finished report depends on but its files: the program, the options, and the
// classification rules and country database it would use.
std::string reportSettings(const Options& options, const Result& result) {
    std::string key = "report\n" + options.generator + '\n' + result.timeZone + '\n' +
                      std::to_string(options.from.value_or(0)) + ' ' +
                      std::to_string(options.to.value_or(0)) + '\n' + options.homeCountry + '\n' +
                      result.folder + '\n' + std::to_string(result.otherFiles) + '\n';
    for (const bool kind : options.kinds) {
        key += kind ? '1' : '0';
    }
    key += '\n' +
           fileStamp(options.agentRegexes.empty() ? defaultAgentRegexes() : options.agentRegexes);
    key += '\n' + fileStamp(options.geoip.empty() ? defaultCountryDatabase() : options.geoip);
    return key + '\n';
}

std::optional<Result> keptReport(const cache::EntryStore& store, const std::string& key) {
    const std::optional<std::string> bytes = store.load(cache::keyOf(key));
    if (!bytes) {
        return std::nullopt;
    }
    std::string why;
    const std::optional<std::string_view> payload =
        cache::unseal(*bytes, kReportMagic, kSummaryFormat, "a kept report", why);
    if (!payload) {
        return std::nullopt;
    }
    Reader in(*payload);
    if (in.text() != key) {
        return std::nullopt;  // another key of the same hash
    }
    return decodeResult(payload->substr(payload->size() - in.left()));
}

void keepReport(const cache::EntryStore& store, const std::string& key, const Result& result) {
    Writer out;
    out.text(key);
    out.raw(encodeResult(result));
    std::string ignored;
    store.store(cache::keyOf(key), cache::seal(kReportMagic, kSummaryFormat, out.bytes()), ignored);
}

// The most viewed pages by name, at most `limit`, and a bound on the views of the others: the
// views of the first page left out (0 when none is), ties left out with it.
std::pair<std::vector<std::pair<std::string, std::uint64_t>>, std::uint64_t> leadingPages(
    const SharedPages& pages, std::size_t limit) {
    std::vector<std::pair<std::string, std::uint64_t>> named = pages.top(limit + 1);
    std::uint64_t bound = 0;
    if (named.size() > limit) {
        bound = named.back().second;
        while (!named.empty() && named.back().second <= bound) {
            named.pop_back();
        }
    }
    return {std::move(named), bound};
}

// A finished report kept to be grown from: what its files' entries counted (everything but the
// pages), its most viewed pages by name, and a bound on the views of every page it leaves out.
struct Standing {
    std::unique_ptr<std::string> bytes;  // the entry; the views below point into it
    std::string_view files;              // what it was made of, as Run::knownKey gives it
    std::uint64_t bound = 0;             // no page left out has more views
    std::vector<std::pair<std::string_view, std::uint64_t>> pages;
    std::string_view tables;  // Tables::encodeStanding's bytes
};

std::string standingKey(const std::string& settings) { return "standing\n" + settings; }

std::optional<Standing> readStanding(const cache::EntryStore& store, const std::string& key) {
    std::optional<std::string> bytes = store.load(cache::keyOf(key));
    if (!bytes) {
        return std::nullopt;
    }
    Standing standing;
    standing.bytes = std::make_unique<std::string>(std::move(*bytes));
    std::string why;
    const std::optional<std::string_view> payload =
        cache::unseal(*standing.bytes, kReportMagic, kSummaryFormat, "a standing report", why);
    if (!payload) {
        return std::nullopt;
    }
    Reader in(*payload);
    if (in.text() != key) {
        return std::nullopt;  // another key of the same hash
    }
    standing.files = in.text();
    standing.bound = in.number();
    for (std::uint64_t n = in.count(2); n > 0 && in.ok(); --n) {
        const std::string_view page = in.text();
        standing.pages.emplace_back(page, in.number());
    }
    if (!in.ok()) {
        return std::nullopt;
    }
    standing.tables = in.raw(in.left());
    return standing;
}

void keepStanding(const cache::EntryStore& store, const std::string& key, const std::string& files,
                  std::uint64_t bound,
                  const std::vector<std::pair<std::string, std::uint64_t>>& pages, Tables& tables) {
    Writer out;
    out.text(key);
    out.text(files);
    out.number(bound);
    out.number(pages.size());
    for (const auto& [page, views] : pages) {
        out.text(page);
        out.number(views);
    }
    tables.encodeStanding(out);
    std::string ignored;
    store.store(cache::keyOf(key), cache::seal(kReportMagic, kSummaryFormat, out.bytes()), ignored);
}

// What a report classifies with: the agent rules and the country database, with their notes;
// an error when a database named in the options cannot be opened.
struct Classifiers {
    std::shared_ptr<const AgentClassifier> agents;
    std::unique_ptr<CountryDatabase> countries;
    std::string agentNote;
    std::string database;
    std::string databaseNote;
    std::string error;
};

Classifiers loadClassifiers(const Options& options, bool report) {
    Classifiers out;
    if (report && (options.kinds[static_cast<int>(Kind::Windows)] ||
                   options.kinds[static_cast<int>(Kind::Browsers)])) {
        const std::filesystem::path file =
            options.agentRegexes.empty() ? defaultAgentRegexes() : options.agentRegexes;
        out.agents = AgentClassifier::shared(file, out.agentNote);
    }
    if (report && options.kinds[static_cast<int>(Kind::Country)]) {
        if (!options.geoip.empty()) {
            out.countries = CountryDatabase::open(options.geoip, out.error);
            if (!out.countries) {
                return out;
            }
            out.database = options.geoip.string();
        } else if (const std::filesystem::path file = defaultCountryDatabase(); !file.empty()) {
            out.countries = CountryDatabase::open(file, out.databaseNote);
            if (out.countries) {
                out.database = file.string();
            }
        } else {
            out.databaseNote = "no country database was found";
        }
        if (!out.countries) {
            out.databaseNote += "; destinations are sorted by their top-level domain only";
        }
    }
    return out;
}

// Items 0 ... count - 1 absorbed by `absorbOne` into tables of each worker's own, at most
// `threads` side by side (the first on this thread), then put together. Nothing when one does
// not read or the work is cancelled.
std::unique_ptr<Tables> absorbSideBySide(
    SharedLookups& shared, Tables::Scope scope, std::size_t count, unsigned threads,
    const Control& control,
    const std::function<bool(Tables&, std::size_t, std::string&)>& absorbOne) {
    threads = std::max(1u, std::min<unsigned>(threads, static_cast<unsigned>(count)));
    std::vector<std::unique_ptr<Tables>> tables(threads);
    std::atomic<std::size_t> next{0};
    std::atomic<bool> read{true};
    const auto work = [&](unsigned t) {
        tables[t] = std::make_unique<Tables>(shared, scope);
        std::string scratch;  // where bytes read from a file go, kept for the next item
        for (std::size_t i = next++; i < count && read; i = next++) {
            if ((control.cancel != nullptr && control.cancel->load()) ||
                !absorbOne(*tables[t], i, scratch)) {
                read = false;
            }
        }
    };
    std::vector<std::thread> workers;
    for (unsigned t = 1; t < threads; ++t) {
        workers.emplace_back(work, t);
    }
    work(0);
    for (std::thread& worker : workers) {
        worker.join();
    }
    if (!read) {
        return nullptr;
    }
    for (unsigned t = 1; t < threads; ++t) {
        tables[0]->absorb(*tables[t]);
        tables[t].reset();
    }
    return std::move(tables[0]);
}

// The tables of several standings, read side by side, then put together; `placed` places
// report 5's traffic as they are read. Nothing when one does not read.
std::unique_ptr<Tables> mergedStandings(const std::vector<const SummaryStanding*>& standings,
                                        SharedLookups& shared, bool placed, unsigned threads) {
    return absorbSideBySide(shared, Tables::Scope::Report, standings.size(), threads, Control{},
                            [&](Tables& tables, std::size_t k, std::string& scratch) {
                                const std::optional<std::string_view> bytes =
                                    standings[k]->tables.bytes(scratch);
                                Reader in(bytes.value_or(std::string_view()));
                                return bytes && tables.absorbMerged(in, placed) && in.atEnd();
                            });
}

// Counts the standings of summary files into `tables`, read side by side, and their named
// pages into the shared table. False when one does not read, or when
// `pages` asks for the most viewed pages and a page one of them left out might be among them.
bool countStandings(const std::vector<const SummaryStanding*>& standings, SharedLookups& shared,
                    std::unique_ptr<Tables>& tables, bool pages, unsigned threads) {
    std::unique_ptr<Tables> stood = mergedStandings(standings, shared, true, threads);
    if (!stood) {
        return false;
    }
    stood->absorb(*tables);
    tables = std::move(stood);

    // A page's views counted are exact when every standing with a bound names it; else the
    // bounds of those that do not name it may be missing from them.
    std::uint64_t bounds = 0;
    std::unordered_map<std::string_view, std::uint64_t> namedBounds;
    for (const SummaryStanding* standing : standings) {
        bounds += standing->bound;
        for (const auto& [page, views] : standing->pages) {
            shared.pages.add(page, views);
            namedBounds[page] += standing->bound;
        }
    }
    if (!pages || bounds == 0) {
        return true;
    }
    const auto missing = [&](std::string_view page) {
        const auto named = namedBounds.find(page);
        return named == namedBounds.end() ? bounds : bounds - std::min(bounds, named->second);
    };
    // The leading pages must be exact, and no other page (nor one counted nowhere) may reach
    // the last of them.
    const auto top = shared.pages.top(kTopPages);
    if (top.size() < kTopPages || bounds >= top.back().second) {
        return false;
    }
    std::unordered_set<std::string_view> leading;
    for (const auto& [page, views] : top) {
        if (missing(page) != 0) {
            return false;
        }
        leading.insert(page);
    }
    bool sure = true;
    shared.pages.forEach([&](std::string_view page, std::uint64_t views) {
        if (!leading.contains(page) && views + missing(page) >= top.back().second) {
            sure = false;
        }
    });
    return sure;
}

// One standing of several: their tables merged, and the pages every one with a bound names,
// with a bound on the rest: the most any page they do not all name might have. Nothing when
// one does not read.
std::optional<SummaryStanding> combineStandings(
    const std::vector<const SummaryStanding*>& standings, SharedLookups& shared, std::size_t limit,
    unsigned threads) {
    std::unique_ptr<Tables> tables = mergedStandings(standings, shared, false, threads);
    if (!tables) {
        return std::nullopt;
    }
    std::uint64_t bounds = 0;
    std::unordered_map<std::string_view, std::pair<std::uint64_t, std::uint64_t>> named;
    for (const SummaryStanding* standing : standings) {
        bounds += standing->bound;
        for (const auto& [page, views] : standing->pages) {
            auto& [sum, namedBound] = named[page];
            sum += views;
            namedBound += standing->bound;
        }
    }
    std::uint64_t bound = bounds;
    std::vector<std::pair<std::string, std::uint64_t>> exact;
    for (const auto& [page, counted] : named) {
        const std::uint64_t missing = bounds - std::min(bounds, counted.second);
        if (missing == 0) {
            exact.emplace_back(page, counted.first);
        } else {
            bound = std::max(bound, counted.first + missing);
        }
    }
    std::sort(exact.begin(), exact.end(), [](const auto& a, const auto& b) {
        return a.second != b.second ? a.second > b.second : a.first < b.first;
    });
    if (exact.size() > limit) {
        bound = std::max(bound, exact[limit].second);
    }
    std::erase_if(exact, [&](const auto& page) { return page.second <= bound; });
    SummaryStanding out;
    out.bound = bound;
    out.pages = std::move(exact);
    Writer encoded;
    tables->encodeMerged(encoded);
    out.tables.tables = std::move(encoded.bytes());
    return out;
}

// useStanding: a report may be made from the standing report of its files and what was read
// since; false makes it from every file's entry (and keeps a new standing report).
Result runPass(const Options& given, const Control& control, Mode mode, Summary* out,
               bool retry = true, bool useStanding = true) {
    keepFreedMemory();
    Result result;
    Options options = given;
    for (char& c : options.homeCountry) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 32);
        }
    }
    result.generator = options.generator;
    result.folder = options.folder.string();
    result.homeCountry = options.homeCountry;
    result.kinds = options.kinds;

    std::optional<TimeZone> zone;
    if (options.timeZone.empty()) {
        zone = TimeZone::machine();
    } else {
        zone = TimeZone::named(options.timeZone, result.error);
        if (!zone) {
            return result;
        }
    }
    result.timeZone = zone->name();

    // A report of summary files needs the classifiers soon after the files are read: they are
    // loaded meanwhile. A folder's report may be one kept, which needs none.
    std::future<Classifiers> early;
    if (mode == Mode::Report &&
        (isSummaryFile(options.folder) ||
         std::any_of(options.more.begin(), options.more.end(), isSummaryFile))) {
        early = std::async(std::launch::async, loadClassifiers, std::cref(options), true);
    }
    std::optional<Gathered> gathered = gather(options, zone->name(), result.error);
    if (!gathered) {
        return result;
    }
    const FolderListing& listing = gathered->listing;
    result.otherFiles = listing.otherFiles;
    if (!options.more.empty()) {
        result.folder = gathered->folders;
    }
    const bool givenSummaries =
        std::any_of(gathered->given.begin(), gathered->given.end(),
                    [](const std::optional<SummaryFile>& file) { return file.has_value(); });
    // Which files came from summary files (know() takes their summaries).
    std::vector<bool> fromSummaryFile(gathered->given.size());
    for (std::size_t i = 0; i < gathered->given.size(); ++i) {
        fromSummaryFile[i] = gathered->given[i].has_value();
    }
    if (givenSummaries && !options.onlyAddress.empty()) {
        result.error = "--address needs the logs themselves; a summary keeps no request apart";
        return result;
    }
    const bool summaries =
        mode == Mode::SummaryOnly ||
        ((!options.cache.empty() || givenSummaries) && options.onlyAddress.empty());
    const bool report = mode == Mode::Report;
    std::optional<cache::EntryStore> store;
    if (summaries && !options.cache.empty()) {
        store.emplace(options.cache);
    }

    // A summary keeps every day: the period is applied when the report counts the parts.
    Options whole = options;
    if (mode == Mode::SummaryOnly) {
        whole.kinds.fill(true);
    }
    SharedLookups shared(whole, nullptr, nullptr, randomHashSeed());
    Run pass(options, control, *zone, shared, summaries, report, store ? &*store : nullptr);
    pass.know(listing, store ? &*store : nullptr, gathered->given);
    pass.plan(listing);
    // A summary file whose every part is in the period is counted by its standing; a summary
    // of summary files that all have one, whole, is given theirs combined.
    std::vector<const SummaryStanding*> standings;
    bool everyFileStood = false;
    if (useStanding && givenSummaries) {
        std::vector<bool> usable(gathered->standings.size(), true);
        for (std::size_t i = 0; i < listing.files.size(); ++i) {
            const std::size_t s = gathered->standingOf[i];
            if (s != Gathered::kNone && pass.summary(i)) {
                for (const SummaryPart& part : pass.summary(i)->parts) {
                    if ((options.from && part.day < *options.from) ||
                        (options.to && part.day > *options.to)) {
                        usable[s] = false;
                    }
                }
            }
        }
        for (std::size_t s = 0; s < usable.size(); ++s) {
            if (usable[s]) {
                standings.push_back(&gathered->standings[s]);
            }
        }
        everyFileStood = standings.size() == usable.size();
        for (std::size_t i = 0; i < listing.files.size(); ++i) {
            const std::size_t s = gathered->standingOf[i];
            everyFileStood = everyFileStood && s != Gathered::kNone;
            if (report && s != Gathered::kNone && usable[s]) {
                pass.countByStanding(i);
            }
        }
    }

    // A report of files all unchanged since the same report was made is the report kept.
    const std::string settings = reportSettings(options, result);
    if (store && report) {
        if (const std::optional<std::string> files = pass.filesKey()) {
            if (std::optional<Result> kept = keptReport(*store, settings + *files)) {
                kept->filesFromCache = listing.files.size();
                store->trim(options.cacheBytes, nullptr);  // the bound, by the entries' sizes
                if (control.progress) {
                    control.progress(pass.progress());
                }
                return std::move(*kept);
            }
        }
    }

    // A report of files unchanged or grown since a report with these settings, and of new
    // ones, counts what was read since on top of that report's standing.
    const std::string standingName = standingKey(settings);
    const bool mayStand = store && report && !givenSummaries && options.onlyAddress.empty();
    std::optional<Standing> standing;
    if (mayStand && useStanding) {
        standing = readStanding(*store, standingName);
        if (standing && standing->files != pass.knownKey()) {
            standing.reset();
        }
        if (standing) {
            pass.countOnlyNew();
        }
    }

    Classifiers classifiers = early.valid() ? early.get() : loadClassifiers(options, report);
    if (!classifiers.error.empty()) {
        result.error = classifiers.error;
        return result;
    }
    result.agentNote = classifiers.agentNote;
    result.country.database = classifiers.database;
    result.country.databaseNote = classifiers.databaseNote;
    const std::shared_ptr<const AgentClassifier>& agents = classifiers.agents;
    const std::unique_ptr<CountryDatabase>& countries = classifiers.countries;
    shared.use(agents.get(), countries.get());

    unsigned threads = workersFor(options);
    threads = std::max(1u, std::min<unsigned>(threads, static_cast<unsigned>(pass.unitCount())));
    std::vector<std::unique_ptr<Tables>> tables;
    for (unsigned i = 0; i < std::max(1u, threads); ++i) {
        tables.push_back(std::make_unique<Tables>(shared));
        tables.back()->placeAsCounted();
    }
    std::vector<std::thread> workers;
    for (unsigned i = 1; i < threads; ++i) {
        workers.emplace_back([&pass, &tables, i] { pass.work(*tables[i]); });
    }
    pass.work(*tables[0]);
    for (std::thread& worker : workers) {
        worker.join();
    }
    if (pass.damagedEntry() && store && retry) {
        // Entries whose parts did not read back are dropped, and their files read anew.
        for (const std::string& key : pass.damagedEntries()) {
            store->remove(key);
        }
        return runPass(given, control, mode, out, false);
    }
    if (pass.damagedEntry() && store) {
        // What the cache held still did not read back: every file is read again instead.
        Options fresh = given;
        fresh.cache.clear();
        Result again = runPass(fresh, control, mode, out);
        again.cacheNote = "the cache held an entry that did not read; every file was read again";
        return again;
    }
    if (pass.damagedEntry()) {
        result.error = "a summary file holds a part that does not read";
        return result;
    }
    for (unsigned i = 1; i < tables.size(); ++i) {
        tables[0]->absorb(*tables[i]);
        tables[i].reset();
    }
    // How many files came from the cache, grew, and were read.
    const auto countFiles = [&](Result& counted) {
        counted.filesFromCache = counted.filesGrown = counted.filesRead = 0;
        for (std::size_t i = 0; i < listing.files.size(); ++i) {
            switch (pass.known(i)) {
                case Known::Unchanged:
                    counted.filesFromCache += fromSummaryFile[i] ? 0 : 1;
                    break;
                case Known::Grown:
                    ++counted.filesGrown;
                    break;
                case Known::Not:
                    counted.filesRead += pass.summary(i) || !listing.files[i].error ? 1 : 0;
                    break;
            }
        }
    };
    std::unordered_set<std::string_view> standingPages;
    std::uint64_t nextBound = 0;
    if (standing && !pass.cancelled()) {
        // The pages counted now are exact for the pages the standing names; any other page has
        // at most its bound more views than counted now.
        std::uint64_t mostNew = 0;
        standingPages.reserve(standing->pages.size());
        for (const auto& [page, views] : standing->pages) {
            standingPages.insert(page);
        }
        shared.pages.forEach([&](std::string_view page, std::uint64_t views) {
            if (!standingPages.contains(page)) {
                mostNew = std::max(mostNew, views);
            }
        });
        for (const auto& [page, views] : standing->pages) {
            shared.pages.add(page, views);
        }
        // Read into tables of its own, which keep its ids (and so its pairs as they are), then
        // what was counted now added.
        auto counted = std::make_unique<Tables>(shared);
        counted->placeAsCounted();
        Reader in(standing->tables);
        bool whole = counted->absorbStanding(in) && in.atEnd();
        if (whole) {
            counted->absorb(*tables[0]);
            tables[0] = std::move(counted);
        }
        if (whole && standing->bound > 0) {
            const auto top = shared.pages.top(kTopPages);
            whole = top.size() == kTopPages && standing->bound + mostNew < top.back().second;
        }
        if (!whole) {
            // A page it left out may now be among the most viewed, or it did not read back:
            // the report is made from every file's entry instead, where what this pass read
            // now is.
            Result again = runPass(given, control, mode, out, retry, false);
            countFiles(again);
            return again;
        }
        nextBound = standing->bound == 0 ? 0 : standing->bound + mostNew;
        result.fromStanding = true;
    }
    if (!standings.empty() && !pass.cancelled()) {
        if (!countStandings(standings, shared, tables[0], options.kinds[4], workersFor(options))) {
            // A page a standing left out might be among the most viewed, or a standing did not
            // read back: the report is made from the parts instead.
            return runPass(given, control, mode, out, retry, false);
        }
        result.fromStanding = true;
    }
    result.cancelled = pass.cancelled();
    pass.finish(result, listing);
    countFiles(result);
    if (!pass.cacheError().empty()) {
        result.cacheNote = pass.cacheError() + "; the report is whole, and the next one reads " +
                           "these files again";
    }
    if (report) {
        tables[0]->settle();
        tables[0]->fill(result);
        if (store && !result.cancelled && result.cacheNote.empty()) {
            if (const std::optional<std::string> files = pass.filesKey()) {
                keepReport(*store, settings + *files, result);
            }
        }
        if (mayStand && !result.cancelled && result.cacheNote.empty() &&
            (standing || !useStanding || result.filesRead + result.filesGrown > 0)) {
            if (const std::optional<std::string> files = pass.filesKey()) {
                std::vector<std::pair<std::string, std::uint64_t>> pages;
                std::uint64_t bound = 0;
                if (standing && standing->bound > 0) {
                    bound = nextBound;
                    shared.pages.forEach([&](std::string_view page, std::uint64_t views) {
                        if (views > bound && standingPages.contains(page)) {
                            pages.emplace_back(page, views);
                        }
                    });
                } else {
                    std::tie(pages, bound) = leadingPages(shared.pages, options.standingPages);
                }
                keepStanding(*store, standingName, *files, bound, pages, *tables[0]);
            }
        }
    }
    if (store) {
        // Entries of files that are gone go, then the least recently used beyond the bound.
        store->trim(options.cacheBytes, entryGone);
    }
    if (out != nullptr) {
        out->timeZone = result.timeZone;
        out->folders = gathered->folders;
        out->otherFiles = listing.otherFiles;
        if (mode == Mode::SummaryOnly && everyFileStood) {
            out->standing =
                combineStandings(standings, shared, options.standingPages, workersFor(options));
        }
        for (std::size_t i = 0; i < listing.files.size(); ++i) {
            if (std::optional<SummaryFile> file = pass.takeSummary(i)) {
                SummaryFile kept = std::move(*file);
                kept.row.path = listing.files[i].relative;
                // Only the days asked for.
                std::erase_if(kept.parts, [&](const SummaryPart& part) {
                    return (options.from && part.day < *options.from) ||
                           (options.to && part.day > *options.to);
                });
                // Parts of cache entries are held, as trimming the cache may remove them; a
                // summary file's stay in it until they are written.
                for (SummaryPart& part : kept.parts) {
                    if (!(i < fromSummaryFile.size() && fromSummaryFile[i]) && !part.hold()) {
                        result.error = "the cache changed while it was read; try again";
                        return result;
                    }
                }
                out->files.push_back(std::move(kept));
            } else {
                SummaryFile row;
                row.row = result.files[i];
                out->files.push_back(std::move(row));
            }
        }
    }
    if (control.progress) {
        control.progress(pass.progress());
    }
    return result;
}

}  // namespace

std::filesystem::path defaultCacheFolder() {
    if (const char* xdg = std::getenv("XDG_CACHE_HOME"); xdg != nullptr && xdg[0] == '/') {
        return std::filesystem::path(xdg) / "kestrand";
    }
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0') {
        return std::filesystem::path(home) / ".cache" / "kestrand";
    }
    return {};
}

Result run(const Options& options, const Control& control) {
    return runPass(options, control, Mode::Report, nullptr);
}

namespace {

// A summary's standing: its parts merged, side by side into tables of their own and then put
// together. False when a part no longer reads.
bool standSummary(const Options& options, const Control& control, Summary& summary) {
    Options whole = options;
    whole.kinds.fill(true);
    SharedLookups shared(whole, nullptr, nullptr, randomHashSeed());
    std::vector<const SummaryPart*> parts;
    for (const SummaryFile& file : summary.files) {
        for (const SummaryPart& part : file.parts) {
            parts.push_back(&part);
        }
    }
    const std::unique_ptr<Tables> tables =
        absorbSideBySide(shared, Tables::Scope::Whole, parts.size(), workersFor(options), control,
                         [&](Tables& tables, std::size_t i, std::string& scratch) {
                             const std::optional<std::string_view> bytes = parts[i]->bytes(scratch);
                             Reader in(bytes.value_or(std::string_view()));
                             return bytes && tables.absorbEncoded(in) && in.atEnd();
                         });
    if (!tables) {
        return false;
    }
    SummaryStanding& standing = summary.standing.emplace();
    std::tie(standing.pages, standing.bound) = leadingPages(tables->pages(), options.standingPages);
    Writer out;
    tables->encodeMerged(out);
    standing.tables.tables = std::move(out.bytes());
    return true;
}

}  // namespace

bool writeSummary(const Options& options, const Control& control, const std::filesystem::path& path,
                  std::string& error, Summary* written) {
    Summary summary;
    const Result result = runPass(options, control, Mode::SummaryOnly, &summary);
    if (!result.error.empty()) {
        error = result.error;
        return false;
    }
    if (result.cancelled) {
        error = "cancelled";
        return false;
    }
    if (!summary.standing && !standSummary(options, control, summary)) {
        error = control.cancel != nullptr && control.cancel->load()
                    ? "cancelled"
                    : "a summary file changed while it was read; try again";
        return false;
    }
    const std::filesystem::path temporary = path.string() + ".tmp";
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    if (file == nullptr) {
        error = "cannot write " + path.string() + ": " + std::strerror(errno);
        return false;
    }
    // The payload is written as it is encoded, after room for the seal's head, which is
    // written last, once the payload's length and checksum are known.
    bool wrote = std::fwrite(std::string(cache::kSealHeader, '\0').data(), 1, cache::kSealHeader,
                             file) == cache::kSealHeader;
    cache::Checksum checksum;
    std::uint64_t length = 0;
    const bool read = encodeSummaryPieces(summary, [&](std::string_view piece) {
        checksum.add(piece);
        length += piece.size();
        wrote = wrote && std::fwrite(piece.data(), 1, piece.size(), file) == piece.size();
    });
    const std::string head =
        cache::sealHead(kSummaryMagic, kSummaryFileFormat, length, checksum.value());
    wrote = wrote && std::fseek(file, 0, SEEK_SET) == 0 &&
            std::fwrite(head.data(), 1, head.size(), file) == head.size();
    const int saved = errno;
    if (!read) {
        std::fclose(file);
        std::remove(temporary.c_str());
        error = "a summary file changed while it was read; try again";
        return false;
    }
    if (std::fclose(file) != 0 || !wrote || std::rename(temporary.c_str(), path.c_str()) != 0) {
        error = "cannot write " + path.string() + ": " + std::strerror(wrote ? errno : saved);
        std::remove(temporary.c_str());
        return false;
    }
    if (written != nullptr) {
        *written = std::move(summary);
    }
    return true;
}

}  // namespace kestrand::reports
