#include "kestrand/reports/engine.h"

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

#include "kestrand/reports/agents.h"
#include "kestrand/reports/country.h"
#include "kestrand/reports/folder.h"
#include "kestrand/reports/layouts.h"
#include "kestrand/reports/sources.h"
#include "kestrand/reports/tables.h"
#include "kestrand/reports/time_zone.h"

namespace kestrand::reports {

namespace {

constexpr std::size_t kBlock = std::size_t{1} << 20;  // bytes read at a time; the longest line
constexpr std::size_t kHead = std::size_t{64} << 10;  // bytes that decide a layout
constexpr std::uint64_t kChunk = std::uint64_t{16} << 20;
constexpr std::size_t kSkippedLinesKept = 10;
constexpr std::size_t kFilesNamedInNotes = 10;

// A part of a file that one worker reads: the lines that start in [begin, end).
struct Unit {
    std::size_t file = 0;
    std::uint64_t begin = 0;
    std::uint64_t end = 0;
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
};

struct PlannedFile {
    Layout layout = Layout::Unknown;
    std::uint64_t size = 0;  // as planned: a file that grows later is read to here
    std::atomic<std::size_t> unitsLeft{0};
};

class Run {
  public:
    Run(const Options& options, const Control& control, const TimeZone& zone)
        : options_(options), control_(control), zone_(zone) {}

    void plan(const FolderListing& listing);
    void work(Tables& tables);
    void finish(Result& result, const FolderListing& listing);
    std::size_t unitCount() const { return units_.size(); }
    bool cancelled() const { return cancelled_.load(); }
    Progress progress() const {
        return Progress{bytesRead_.load(), bytesTotal_, filesRead_.load(), filesTotal_};
    }

  private:
    void readUnit(std::size_t index, Tables& tables);
    bool cancelRequested() const {
        return control_.cancel != nullptr && control_.cancel->load(std::memory_order_relaxed);
    }
    void reportProgress(bool force);

    const Options& options_;
    const Control& control_;
    const TimeZone& zone_;
    const FolderListing* listing_ = nullptr;
    std::vector<std::unique_ptr<PlannedFile>> files_;
    std::vector<std::optional<std::string>> planErrors_;
    std::vector<Unit> units_;            // by file, then by place in the file
    std::vector<std::size_t> schedule_;  // the order workers take them: biggest first
    std::vector<UnitResult> results_;
    std::atomic<std::size_t> nextUnit_{0};
    std::atomic<bool> cancelled_{false};
    std::atomic<std::uint64_t> bytesRead_{0};
    std::atomic<std::size_t> filesRead_{0};
    std::uint64_t bytesTotal_ = 0;
    std::size_t filesTotal_ = 0;
    std::atomic<std::int64_t> lastReport_{0};
    std::mutex progressMutex_;
};

void Run::plan(const FolderListing& listing) {
    listing_ = &listing;
    files_.resize(listing.files.size());
    planErrors_.resize(listing.files.size());
    std::vector<char> head(kHead);
    for (std::size_t i = 0; i < listing.files.size(); ++i) {
        files_[i] = std::make_unique<PlannedFile>();
        const FoundFile& file = listing.files[i];
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
        struct stat info {};
        ::fstat(fd, &info);
        const auto size = static_cast<std::uint64_t>(info.st_size);
        if (size == 0) {
            planErrors_[i] = "an empty file";
            continue;
        }
        files_[i]->size = size;
        ++filesTotal_;
        bytesTotal_ += size;
        if (file.compressed) {
            units_.push_back(Unit{i, 0, size});
            files_[i]->unitsLeft = 1;
            continue;
        }
        const ssize_t n = readAt(fd, head.data(), head.size(), 0);
        if (n <= 0) {
            planErrors_[i] = n < 0 ? errnoText("cannot read it") : std::string("an empty file");
            --filesTotal_;
            bytesTotal_ -= size;
            continue;
        }
        const std::string_view text(head.data(), static_cast<std::size_t>(n));
        const Layout layout = detectLayout(text, static_cast<std::uint64_t>(n) == size);
        if (layout == Layout::Unknown) {
            planErrors_[i] = text.find('\0') != std::string_view::npos
                                 ? "binary data, not a log"
                                 : "no line in a known layout among its first lines";
            --filesTotal_;
            bytesTotal_ -= size;
            continue;
        }
        files_[i]->layout = layout;
        // A W3C file is read by one worker: a #Fields: line may change the columns anywhere.
        const std::uint64_t chunk = options_.chunkBytes != 0 ? options_.chunkBytes : kChunk;
        const std::uint64_t step = layout == Layout::W3c ? size : chunk;
        std::size_t parts = 0;
        for (std::uint64_t begin = 0; begin < size; begin += step) {
            units_.push_back(Unit{i, begin, std::min(size, begin + step)});
            ++parts;
        }
        files_[i]->unitsLeft = parts;
    }
    results_.resize(units_.size());
    // A whole W3C or compressed file cannot be shared: starting the biggest parts first keeps
    // one worker from reading a big file alone at the end.
    schedule_.resize(units_.size());
    for (std::size_t u = 0; u < units_.size(); ++u) {
        schedule_[u] = u;
    }
    std::stable_sort(schedule_.begin(), schedule_.end(), [&](std::size_t a, std::size_t b) {
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
    for (;;) {
        if (cancelRequested()) {
            cancelled_ = true;
            return;
        }
        const std::size_t next = nextUnit_.fetch_add(1);
        if (next >= units_.size()) {
            return;
        }
        const std::size_t index = schedule_[next];
        readUnit(index, tables);
        const Unit& unit = units_[index];
        if (files_[unit.file]->unitsLeft.fetch_sub(1) == 1) {
            ++filesRead_;
        }
        reportProgress(false);
    }
}

void Run::readUnit(std::size_t index, Tables& tables) {
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
    Layout layout = files_[unit.file]->layout;
    std::optional<LineReader> reader;
    if (layout != Layout::Unknown) {
        reader.emplace(layout, &zone_);
    }

    std::vector<char> buffer(kBlock);
    std::size_t have = 0;
    std::uint64_t bufferOffset = unit.begin > 0 ? unit.begin - 1 : 0;
    bool dropFirst = unit.begin > 0;  // the line that began in the part before
    bool discarding = false;          // inside a line longer than the buffer
    bool stop = false;
    bool end = false;
    std::uint64_t reported = 0;
    Request request;

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
            case LineKind::Request:
                switch (tables.add(request)) {
                    case Tables::Outcome::Counted:
                        ++out.requests;
                        if (request.cached) {
                            ++out.cache.requests;
                            out.cache.bytes += parseBytes(request.bytes);
                        }
                        out.withoutAgent += request.agentLogged ? 0 : 1;
                        break;
                    case Tables::Outcome::Refused:
                        ++out.denied;
                        break;
                    case Tables::Outcome::Proxy:
                        ++out.proxy;
                        break;
                    case Tables::Outcome::Filtered:
                        break;
                }
                break;
            case LineKind::Skipped:
                skip();
                break;
            case LineKind::Directive:
            case LineKind::Empty:
                break;
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
            handleLine(std::string_view(buffer.data() + pos, have - pos), bufferOffset + pos);
            pos = have;
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
        tables.flush();  // before the lines it points into move
        std::memmove(buffer.data(), buffer.data() + pos, have - pos);
        have -= pos;
        bufferOffset += pos;
        reportProgress(false);
    }
    tables.flush();
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
    }
    for (std::size_t u = 0; u < units_.size(); ++u) {
        const UnitResult& part = results_[u];
        FileRow& row = rows[units_[u].file];
        for (const std::uint64_t line : part.skippedLines) {
            if (row.skippedLines.size() < kSkippedLinesKept) {
                row.skippedLines.push_back(row.lines + line);
            }
        }
        row.lines += part.lines;
        row.requests += part.requests;
        row.proxyRequests += part.proxy;
        row.denied += part.denied;
        row.cache.requests += part.cache.requests;
        row.cache.bytes += part.cache.bytes;
        row.requestsWithoutAgent += part.withoutAgent;
        row.skipped += part.skipped;
        if (part.layout != Layout::Unknown) {
            row.layout = std::string(layoutName(part.layout));
        }
        if (part.error && !row.error) {
            row.error = part.error;
        }
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

Result run(const Options& given, const Control& control) {
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

    const FolderListing listing = listFolder(options.folder);
    if (!listing.error.empty()) {
        result.error = listing.error;
        return result;
    }
    result.otherFiles = listing.otherFiles;

    std::shared_ptr<const AgentClassifier> agents;
    if (options.kinds[static_cast<int>(Kind::Windows)] ||
        options.kinds[static_cast<int>(Kind::Browsers)]) {
        const std::filesystem::path file =
            options.agentRegexes.empty() ? defaultAgentRegexes() : options.agentRegexes;
        agents = AgentClassifier::shared(file, result.agentNote);
    }
    std::unique_ptr<CountryDatabase> countries;
    if (options.kinds[static_cast<int>(Kind::Country)]) {
        if (!options.geoip.empty()) {
            std::string error;
            countries = CountryDatabase::open(options.geoip, error);
            if (!countries) {
                result.error = error;
                return result;
            }
            result.country.database = options.geoip.string();
        } else if (const std::filesystem::path file = defaultCountryDatabase(); !file.empty()) {
            countries = CountryDatabase::open(file, result.country.databaseNote);
            if (countries) {
                result.country.database = file.string();
            }
        } else {
            result.country.databaseNote = "no country database was found";
        }
        if (!countries) {
            result.country.databaseNote +=
                "; destinations are sorted by their top-level domain only";
        }
    }

    SharedLookups shared(options, agents.get(), countries.get(), randomHashSeed());
    Run pass(options, control, *zone);
    pass.plan(listing);

    unsigned threads = options.threads != 0 ? options.threads : std::thread::hardware_concurrency();
    threads = std::max(1u, std::min<unsigned>(threads, static_cast<unsigned>(pass.unitCount())));
    std::vector<std::unique_ptr<Tables>> tables;
    for (unsigned i = 0; i < std::max(1u, threads); ++i) {
        tables.push_back(std::make_unique<Tables>(shared));
    }
    std::vector<std::thread> workers;
    for (unsigned i = 1; i < threads; ++i) {
        workers.emplace_back([&pass, &tables, i] { pass.work(*tables[i]); });
    }
    pass.work(*tables[0]);
    for (std::thread& worker : workers) {
        worker.join();
    }
    for (unsigned i = 1; i < tables.size(); ++i) {
        tables[0]->absorb(*tables[i]);
        tables[i].reset();
    }
    result.cancelled = pass.cancelled();
    pass.finish(result, listing);
    tables[0]->settle();
    tables[0]->fill(result);
    if (control.progress) {
        control.progress(pass.progress());
    }
    return result;
}

}  // namespace kestrand::reports
